// The small dialogs of the option pages and the favorites' questions: what they store, what
// they show when they open, and which answer a pressed button gives.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../settings/config_test_support.h"
#include "config_ui/favorite_dialogs.h"
#include "config_ui/option_dialogs.h"
#include "modal_answer.h"
#include "settings/config_store.h"
#include "settings/config_values.h"

namespace quovis {
namespace {

using testing::AnswerNextModal;
using testing::TempDir;

class OptionDialogsTest : public ::testing::Test {
  protected:
    template <typename T>
    static T* Child(QWidget& dialog, const char* name) {
        T* child = dialog.findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    TempDir dir;
    ConfigStore store{dir.DatabasePath()};
};

// ---- Pop-up Messages ------------------------------------------------------------------------

TEST_F(OptionDialogsTest, MessagesDialogShowsItsOwnTimeDefaultsAndTheStoredMessages) {
    kMessagesNum.Write(store, 2);
    kMessagesMessage.Write(store, 1, u"Hello");
    kMessagesMessage.Write(store, 2, u"Two\\rlines");
    MessagesDialog dialog(store);
    EXPECT_EQ(Child<QLineEdit>(dialog, "edit999")->text(), "30");
    EXPECT_EQ(Child<QLineEdit>(dialog, "edit1002")->text(), "60");
    EXPECT_EQ(Child<QPlainTextEdit>(dialog, "edit1017")->toPlainText(), "Hello\nTwo\\rlines");
    EXPECT_EQ(Child<QComboBox>(dialog, "list1004")->currentText(), "Arial");
}

TEST_F(OptionDialogsTest, MessagesDialogStoresEveryNonBlankLineAndReloadsThem) {
    // An older, longer list must not leave messages behind the new count.
    kMessagesNum.Write(store, 4);
    for (int n = 1; n <= 4; ++n) kMessagesMessage.Write(store, n, u"old");
    {
        MessagesDialog dialog(store);
        Child<QPlainTextEdit>(dialog, "edit1017")->setPlainText("First\r\n\n   \nSecond\\rpart\n");
        Child<QCheckBox>(dialog, "check1013")->setChecked(true);
        Child<QLineEdit>(dialog, "edit999")->setText("45");
        Child<QLineEdit>(dialog, "edit1002")->setText("90");
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(ReadMessages(store), (std::vector<std::u16string>{u"First", u"Second\\rpart"}));
    EXPECT_EQ(kMessagesNum.Read(store), 2);
    EXPECT_FALSE(kMessagesMessage.ReadStored(store, 3).has_value());
    EXPECT_EQ(kMessagesBold.Read(store), 1);
    EXPECT_EQ(kMessagesMinTime.Read(store), 45);
    EXPECT_EQ(kMessagesMaxTime.Read(store), 90);

    MessagesDialog again(store);
    EXPECT_EQ(Child<QPlainTextEdit>(again, "edit1017")->toPlainText(), "First\nSecond\\rpart");
    EXPECT_TRUE(Child<QCheckBox>(again, "check1013")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(again, "check1011")->isChecked());
}

TEST_F(OptionDialogsTest, SlideTimesAreKeptApartAsStored) {
    struct Case {
        int minTime, maxTime;
        int storedMin, storedMax;
    };
    const Case cases[] = {
        {45, 90, 45, 90},  // as typed
        {0, 10, 1, 10},    // at least one second
        {30, 30, 30, 31},  // the longest at least a second longer
        {50, 20, 50, 51}, {-5, -5, 1, 2},
    };
    for (const Case& c : cases) {
        MessagesSettings settings = ReadMessagesSettings(store);
        settings.minTime = c.minTime;
        settings.maxTime = c.maxTime;
        ASSERT_TRUE(WriteMessagesSettings(store, settings));
        EXPECT_EQ(kMessagesMinTime.Read(store), c.storedMin) << c.minTime << ".." << c.maxTime;
        EXPECT_EQ(kMessagesMaxTime.Read(store), c.storedMax) << c.minTime << ".." << c.maxTime;
    }
}

TEST_F(OptionDialogsTest, MessagesPastTheLimitAreKeptOnlyWhenTheUserAgrees) {
    QStringList lines;
    for (int n = 1; n <= kMaxMessages + 3; ++n) lines << QStringLiteral("Message %1").arg(n);
    for (const auto& [button, stored] :
         {std::pair{QMessageBox::Cancel, false}, std::pair{QMessageBox::Ok, true}}) {
        MessagesDialog dialog(store);
        Child<QPlainTextEdit>(dialog, "edit1017")->setPlainText(lines.join('\n'));
        AnswerNextModal([button = button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            box->button(button)->click();
        });
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, stored);
        EXPECT_EQ(kMessagesNum.IsStored(store), stored);
    }
    const std::vector<std::u16string> messages = ReadMessages(store);
    ASSERT_EQ(messages.size(), static_cast<size_t>(kMaxMessages));
    EXPECT_EQ(messages.back(), QStringLiteral("Message %1").arg(kMaxMessages).toStdU16String());
}

// ---- Auto save folder -------------------------------------------------------------------------

TEST_F(OptionDialogsTest, AutoSaveDialogStoresFolderPrefixAndSettingsFileOption) {
    const std::string folder = dir / "shots";
    {
        AutoSaveDialog dialog(store, QString::fromStdString(dir.Path()));
        Child<QLineEdit>(dialog, "editFolder")->setText(QString::fromStdString(folder));
        Child<QLineEdit>(dialog, "editPrefix")->setText("Art-");
        Child<QCheckBox>(dialog, "checkSettingsFile")->setChecked(false);
        EXPECT_TRUE(Child<QLabel>(dialog, "labelExample")->text().endsWith("shots/Art-0001.jpg"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(kConfigAutoSaveDir.Read(store), QString::fromStdString(folder).toStdU16String());
    EXPECT_EQ(kConfigAutoSavePrefix.Read(store), u"Art-");
    EXPECT_EQ(kConfigAutoSaveOru.Read(store), 0);

    AutoSaveDialog again(store, QString::fromStdString(dir.Path()));
    EXPECT_EQ(Child<QLineEdit>(again, "editFolder")->text().toStdString(), folder);
    EXPECT_FALSE(Child<QCheckBox>(again, "checkSettingsFile")->isChecked());
}

TEST_F(OptionDialogsTest, AutoSaveDialogTakesTheDefaultFolderForAnEmptyOneAndRefusesSlashes) {
    kConfigAutoSaveDir.Write(store, u"/somewhere/else");
    AutoSaveDialog dialog(store, QString::fromStdString(dir.Path()));
    Child<QLineEdit>(dialog, "editFolder")->clear();
    QLineEdit* prefix = Child<QLineEdit>(dialog, "editPrefix");
    prefix->clear();
    QTest::keyClicks(prefix, "a/b");  // the slash cannot be typed
    EXPECT_EQ(prefix->text(), "ab");
    dialog.accept();
    EXPECT_FALSE(kConfigAutoSaveDir.ReadStored(store).has_value());
    EXPECT_EQ(kConfigAutoSavePrefix.Read(store), u"ab");
    EXPECT_TRUE(NextSnapshotPath(store, QString::fromStdString(dir.Path()))
                    .startsWith(QString::fromStdString(dir.Path())));
}

TEST_F(OptionDialogsTest, NextSnapshotPathSkipsPicturesThatExist) {
    const std::string folder = dir / "pics";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/Q-0001.jpg") << "x";
    kConfigAutoSaveDir.Write(store, QString::fromStdString(folder).toStdU16String());
    EXPECT_EQ(NextSnapshotPath(store, QString()).toStdString(), folder + "/Q-0002.jpg");
}

// ---- My Quovis ----------------------------------------------------------------------------------

TEST_F(OptionDialogsTest, PersonalDetailsAreStoredTrimmedAndShownAgain) {
    {
        PersonalDetailsDialog dialog(store);
        Child<QLineEdit>(dialog, "edit3000")->setText("  Night Owl ");
        Child<QLineEdit>(dialog, "edit3001")->setText("Lisbon, example.org");
        dialog.accept();
    }
    EXPECT_EQ(kConfigAuthor.Read(store), u"Night Owl");
    EXPECT_EQ(kConfigLocation.Read(store), u"Lisbon, example.org");
    PersonalDetailsDialog again(store);
    EXPECT_EQ(Child<QLineEdit>(again, "edit3000")->text(), "Night Owl");
    EXPECT_EQ(Child<QLineEdit>(again, "edit3001")->text(), "Lisbon, example.org");
}

TEST_F(OptionDialogsTest, CancelledPersonalDetailsStoreNothing) {
    PersonalDetailsDialog dialog(store);
    Child<QLineEdit>(dialog, "edit3000")->setText("Someone");
    dialog.reject();
    EXPECT_FALSE(kConfigAuthor.ReadStored(store).has_value());
}

// ---- Favorites' questions ----------------------------------------------------------------------

TEST(FavoriteDialogsTest, ReplaceAnswersTheButtonPressed) {
    struct Case {
        QMessageBox::StandardButton button;
        ReplaceAnswer answer;
    };
    const Case cases[] = {
        {QMessageBox::Yes, ReplaceAnswer::Yes},
        {QMessageBox::No, ReplaceAnswer::No},
        {QMessageBox::Cancel, ReplaceAnswer::Cancel},
    };
    QWidget parent;
    DialogFavoriteQuestions questions(&parent);
    for (const Case& c : cases) {
        QString title;
        QString text;
        AnswerNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text() + "|" + box->informativeText();
            EXPECT_EQ(box->checkBox(), nullptr);  // not in a batch
            box->button(c.button)->click();
        });
        bool repeat = true;
        EXPECT_EQ(questions.AskReplace(u"Beads", false, &repeat), c.answer);
        EXPECT_FALSE(repeat);
        EXPECT_EQ(title, "Replace Existing Favorite?");
        EXPECT_EQ(text, "Click 'Yes' to replace this favorite:|Beads");
    }
}

TEST(FavoriteDialogsTest, InABatchTheAnswerMayBeRepeatedForAll) {
    QWidget parent;
    DialogFavoriteQuestions questions(&parent);
    for (const bool tick : {true, false}) {
        AnswerNextModal([tick](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            ASSERT_NE(box->checkBox(), nullptr);
            EXPECT_EQ(box->checkBox()->text(), "Repeat this answer for all following items");
            box->checkBox()->setChecked(tick);
            box->button(QMessageBox::No)->click();
        });
        bool repeat = !tick;
        EXPECT_EQ(questions.AskReplace(u"Beads", true, &repeat), ReplaceAnswer::No);
        EXPECT_EQ(repeat, tick);
    }
}

TEST(FavoriteDialogsTest, RemoveIsConfirmedOnlyByOk) {
    QWidget parent;
    DialogFavoriteQuestions questions(&parent);
    for (const auto& [button, removes] :
         {std::pair{QMessageBox::Ok, true}, std::pair{QMessageBox::Cancel, false}}) {
        QString title;
        AnswerNextModal([&, button = button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            EXPECT_EQ(box->text(), "Press OK to remove this favorite:");
            EXPECT_EQ(box->informativeText(), "Twirls *");
            box->button(button)->click();
        });
        EXPECT_EQ(questions.ConfirmRemove(u"Twirls *"), removes);
        EXPECT_EQ(title, "Remove Favorite?");
    }
}

TEST(FavoriteDialogsTest, NewNameIsWhatWasTypedTrimmedAndNothingWhenCancelled) {
    QWidget parent;
    DialogFavoriteQuestions questions(&parent);
    AnswerNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Add New Favorite");
        auto* edit = dialog->findChild<QLineEdit*>("edit999");
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), "Beads");  // starts with the name asked about
        edit->setText("  Beads at Dusk ");
        dialog->accept();
    });
    EXPECT_EQ(questions.AskNewName(u"Beads"), std::optional<std::u16string>(u"Beads at Dusk"));

    AnswerNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(AskNewFavoriteName(&parent, "Beads"), std::nullopt);
}

TEST(FavoriteDialogsTest, AnEmptyNameCannotBeConfirmed) {
    const std::unique_ptr<QDialog> dialog = MakeNewFavoriteDialog(nullptr, "");
    auto* edit = dialog->findChild<QLineEdit*>("edit999");
    QPushButton* ok = nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text().remove('&') == "OK") ok = button;
    }
    ASSERT_NE(ok, nullptr);
    EXPECT_FALSE(ok->isEnabled());
    edit->setText("   ");
    EXPECT_FALSE(ok->isEnabled());
    edit->setText("Glow");
    EXPECT_TRUE(ok->isEnabled());
}

}  // namespace
}  // namespace quovis
