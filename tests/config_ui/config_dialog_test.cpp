// The configuration window as a whole: where it opens, what OK, Enter and Cancel store, the
// live preview, favorites, settings files dropped or handed over, and Preview.
#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config_ui/config_dialog.h"
#include "config_ui/preview_widget.h"
#include "engine/preset_fields.h"
#include "host/qt/handoff.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorite_transfer.h"
#include "settings/favorites.h"
#include "settings/preset_record.h"
#include "tests/config_ui/page_rig.h"

namespace quovis {
namespace {

using testing::ScopedEnv;
using testing::ScriptedQuestions;
using testing::TempDir;

// A preset whose name no built-in has.
constexpr std::u16string_view kImported =
    u"Imported One,1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,1";

class ConfigDialogTest : public ::testing::Test {
  protected:
    std::unique_ptr<ConfigDialog> Open(std::string settingsFile = {}) {
        ConfigDialogOptions options;
        options.listen = false;
        options.questions = &questions;
        options.settingsFile = std::move(settingsFile);
        return Hooked(std::make_unique<ConfigDialog>(store, options));
    }
    std::unique_ptr<ConfigDialog> Hooked(std::unique_ptr<ConfigDialog> dialog) {
        dialog->SetUrlOpener([this](const QUrl& url) {
            urls.push_back(url);
            return true;
        });
        dialog->SetErrorSink([this](const QString& text) { errors.push_back(text); });
        dialog->SetSaverRunner([this](const SaverRunOptions& options) {
            saverRuns.push_back(options);
            return 0;
        });
        return dialog;
    }

    template <typename T>
    static T* Find(QWidget& parent, const char* name) {
        T* widget = parent.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // A settings file holding one favorite of `other` named after `text`'s name.
    std::string ExportPreset(std::u16string_view text, const std::string& fileName) {
        ConfigStore source(m_other.DatabasePath());
        PresetRecord record;
        EXPECT_TRUE(ReadPresetString(text, record));
        ScriptedQuestions yes;
        const AddFavoriteResult added = AddFavorite(source, record.Name, record, nullptr, yes);
        std::string error;
        const std::string path = m_dir / fileName;
        EXPECT_TRUE(ExportFavorites(source, path, {added.slot}, error)) << error;
        return path;
    }

    bool HasFavorite(std::u16string_view name) {
        for (const FavoriteEntry& entry : ListFavorites(store)) {
            if (entry.record.Name == name) return true;
        }
        return false;
    }

    // Every stored Config value but the window's position, as text.
    std::vector<std::string> ConfigValues() {
        std::vector<std::string> out;
        for (const ConfigEntry& e : store.Values(*SectionKeyForRead(u"Config"))) {
            if (e.name == u"WinX" || e.name == u"WinY") continue;
            out.push_back(QString::fromStdU16String(e.name + u"=" + e.text).toStdString() + "/" +
                          std::to_string(e.number) + "/" + std::to_string(e.bytes.size()));
        }
        return out;
    }

    PresetRecord StoredSettings() {
        PresetRecord record;
        EXPECT_TRUE(ReadPresetString(kConfigSettings.Read(store), record));
        return record;
    }

    TempDir m_dir;
    TempDir m_other;
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path()};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    ScopedEnv m_home{"HOME", m_dir.Path()};
    ConfigStore store{m_dir.DatabasePath()};
    ScriptedQuestions questions;
    std::vector<QUrl> urls;
    std::vector<QString> errors;
    std::vector<SaverRunOptions> saverRuns;
};

// ---- Opening -------------------------------------------------------------------------------

TEST_F(ConfigDialogTest, WindowOpensWhereItCanBeSeen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* what;
        std::optional<QPoint> stored;
        bool kept;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, false},
        {"far right and below", QPoint(100000, 100000), false},
        {"far left and above", QPoint(-100000, -100000), false},
        {"on the screen", QPoint(screen.x() + 30, screen.y() + 20), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kConfigWinX.Delete(store);
        kConfigWinY.Delete(store);
        if (c.stored) {
            kConfigWinX.Write(store, c.stored->x());
            kConfigWinY.Write(store, c.stored->y());
        }
        const std::unique_ptr<ConfigDialog> dialog = Open();
        const QPoint stored(kConfigWinX.Read(store), kConfigWinY.Read(store));
        EXPECT_EQ(dialog->pos(), stored);
        if (c.kept) {
            EXPECT_EQ(stored, *c.stored);
        } else {
            // Centred on the screen, and remembered there.
            const QPoint centre = stored + QPoint(dialog->width() / 2, dialog->height() / 2);
            EXPECT_LE(std::abs(centre.x() - screen.center().x()), 1);
            EXPECT_LE(std::abs(centre.y() - screen.center().y()), 1);
        }
    }
}

TEST_F(ConfigDialogTest, EveryPageOpensAndTallPagesHideTheFavorites) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    ASSERT_EQ(dialog->PageCount(), 11);
    auto* favorites = Find<QGroupBox>(*dialog, "group1071");
    for (int i = 0; i < dialog->PageCount(); ++i) {
        dialog->ShowPage(i);
        ConfigPage* page = dialog->Page(i);
        SCOPED_TRACE(page->Caption().toStdString());
        EXPECT_EQ(dialog->CurrentPage(), i);
        EXPECT_FALSE(page->isHidden());
        EXPECT_EQ(favorites->isHidden(), (page->Flags() & ConfigPage::kTallArea) != 0);
    }

    // About and Info have no tab (About has a button); a click on the selected tab leads back.
    dialog->ShowPage(1);
    Find<QPushButton>(*dialog, "button1107")->click();
    EXPECT_EQ(dialog->Page(dialog->CurrentPage())->Caption(), QStringLiteral("About"));
    auto* tabs = Find<QTabBar>(*dialog, "tab1110");
    EXPECT_EQ(tabs->count(), dialog->PageCount() - 2);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tabs->currentIndex()).center());
    EXPECT_EQ(dialog->CurrentPage(), 1);
}

TEST_F(ConfigDialogTest, PreviewRunsAndShowsFrames) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    ASSERT_TRUE(dialog->PreviewRunning());
    QTRY_VERIFY_WITH_TIMEOUT(dialog->Preview().FrameCount() > 2, 20000);
    const QImage frame = dialog->Preview().LastFrame();
    EXPECT_EQ(frame.width(), dialog->Preview().Engine().CanvasWidth());
    EXPECT_EQ(frame.height(), dialog->Preview().Engine().CanvasHeight());
}

// ---- OK, Enter, Cancel ---------------------------------------------------------------------

TEST_F(ConfigDialogTest, OkStoresGrainsWithinTheFieldsRange) {
    const struct {
        const char* typed;
        int stored;
    } cases[] = {{"200000", 144000}, {"5", 10}, {"23456", 23456}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::unique_ptr<ConfigDialog> dialog = Open();
        dialog->ShowPage(0);
        Find<QLineEdit>(*dialog, "edit1000")->setText(QString::fromLatin1(c.typed));
        Find<QPushButton>(*dialog, "button1")->click();
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(StoredSettings().Grains, c.stored);
    }
}

TEST_F(ConfigDialogTest, EnterInAnEditCommitsItAndKeepsTheWindowOpen) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    dialog->ShowPage(0);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    auto* grains = Find<QLineEdit>(*dialog, "edit1000");
    grains->setFocus();
    grains->setText(QStringLiteral("7777"));
    QTest::keyClick(grains, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Settings().Grains, 7777);
    EXPECT_EQ(grains->selectedText(), grains->text());
    EXPECT_FALSE(kConfigSettings.ReadStored(store).has_value());
}

TEST_F(ConfigDialogTest, CancelAfterMovingSlidersStoresNothing) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    const std::vector<std::string> before = ConfigValues();
    dialog->ShowPage(0);
    auto* activity = Find<QAbstractSlider>(*dialog, "slider1010");
    activity->setValue(activity->value() == 5000 ? 4000 : 5000);
    Find<QLineEdit>(*dialog, "edit1003")->setText(QStringLiteral("42"));
    Find<QCheckBox>(*dialog, "check3140")->toggle();
    dialog->reject();
    EXPECT_EQ(ConfigValues(), before);
    EXPECT_FALSE(store.KeyExists(*SectionKeyForRead(u"Backup")));
}

// A control set, OK, and the window opened again shows it as set.
TEST_F(ConfigDialogTest, BoundControlsRoundTripThroughOk) {
    struct Case {
        int page;
        const char* name;
        int value;
    };
    const Case cases[] = {
        {0, "slider1010", 4321},  // Home: activity
        {2, "slider1012", 1999},  // Color: brightness
        {3, "slider3021", 150},   // Display: shimmer
        {5, "slider1129", 900},   // Audio: sensitivity
    };
    {
        const std::unique_ptr<ConfigDialog> dialog = Open();
        for (const Case& c : cases) {
            dialog->ShowPage(c.page);
            Find<QAbstractSlider>(*dialog->Page(c.page), c.name)->setValue(c.value);
        }
        Find<QLineEdit>(*dialog, "edit1003")->setText(QStringLiteral("55"));
        Find<QCheckBox>(*dialog, "check3140")->setChecked(true);
        dialog->accept();
    }
    const std::unique_ptr<ConfigDialog> dialog = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Find<QAbstractSlider>(*dialog->Page(c.page), c.name)->value(), c.value);
    }
    EXPECT_EQ(Find<QLineEdit>(*dialog, "edit1003")->text(), QStringLiteral("55"));
    EXPECT_TRUE(Find<QCheckBox>(*dialog, "check3140")->isChecked());
    // The page shown last opens again.
    EXPECT_EQ(dialog->CurrentPage(), 5);
}

// ---- Live preview ----------------------------------------------------------------------------

TEST_F(ConfigDialogTest, MovingASliderChangesThePreviewAtOnce) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    dialog->ShowPage(0);
    auto* activity = Find<QAbstractSlider>(*dialog, "slider1010");
    const int value = activity->value() == 5000 ? 4000 : 5000;
    activity->setValue(value);
    EXPECT_DOUBLE_EQ(dialog->Preview().Engine().Activity(),
                     PresetFieldNamed("Activity").ToEngine(value));
}

TEST_F(ConfigDialogTest, EvolveChangesTheSettingsAndThePages) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    const PresetRecord before = dialog->Settings();
    Find<QPushButton>(*dialog, "button3110")->click();
    EXPECT_NE(dialog->Settings(), before);
    EXPECT_EQ(Find<QAbstractSlider>(*dialog, "slider1010")->value(), dialog->Settings().Activity);
}

TEST_F(ConfigDialogTest, DraggingTheClockMovesItAndStoresWhereItWent) {
    kConfigClock.Write(store, 1);
    const std::unique_ptr<ConfigDialog> dialog = Open();
    PreviewWidget& preview = dialog->Preview();
    const ClockLayer before = preview.Engine().Clock();
    ASSERT_TRUE(before.on);
    const QPoint centre(preview.width() / 2, preview.height() / 2);
    QTest::mousePress(&preview, Qt::LeftButton, {}, centre);
    QTest::mouseMove(&preview, centre + QPoint(preview.width() / 5, 0));
    QTest::mouseRelease(&preview, Qt::LeftButton, {}, centre + QPoint(preview.width() / 5, 0));
    const ClockLayer after = preview.Engine().Clock();
    EXPECT_GT(after.x, before.x + 0.1f);
    EXPECT_FLOAT_EQ(after.y, before.y);
    EXPECT_FLOAT_EQ(after.size, before.size);
    EXPECT_DOUBLE_EQ(kConfigClockX.Read(store), after.x);
}

TEST_F(ConfigDialogTest, StrokeDrawnInThePreviewIsStoredWithTheSettings) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    dialog->Settings().Style = kStyleDraw;
    dialog->SettingsChanged();
    PreviewWidget& preview = dialog->Preview();
    ASSERT_TRUE(preview.Engine().IsDrawStyle());
    const int w = preview.width();
    const int h = preview.height();
    QTest::mousePress(&preview, Qt::LeftButton, {}, QPoint(w / 4, h / 2));
    for (int i = 1; i <= 30; ++i) QTest::mouseMove(&preview, QPoint(w / 4 + i * w / 70, h / 2));
    QTest::mouseRelease(&preview, Qt::LeftButton, {}, QPoint(3 * w / 4, h / 2));
    const std::u16string strokes = preview.Engine().StrokeListText();
    EXPECT_EQ(strokes.substr(0, 3), u"32,");  // press, 30 moves, release
    dialog->accept();
    EXPECT_EQ(StoredSettings().Style, kStyleDraw);
    EXPECT_EQ(kConfigDrawing.Read(store), strokes);
}

// ---- Favorites and settings files ------------------------------------------------------------

TEST_F(ConfigDialogTest, FavoritesAreChosenAddedAndRemoved) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    auto* list = Find<QComboBox>(*dialog, "list1023");
    ASSERT_GT(list->count(), 2);
    const int slot = list->itemData(2).toInt();
    PresetRecord favorite;
    ASSERT_TRUE(LoadFavorite(store, slot, favorite));
    emit list->activated(2);
    EXPECT_EQ(dialog->Settings().Name, favorite.Name);

    questions.newName = u"Mine";
    Find<QPushButton>(*dialog, "button1024")->click();
    ASSERT_TRUE(HasFavorite(u"Mine"));
    EXPECT_EQ(list->currentText(), QStringLiteral("Mine *"));

    Find<QPushButton>(*dialog, "button1026")->click();
    EXPECT_FALSE(HasFavorite(u"Mine"));
    EXPECT_EQ(list->findText(QStringLiteral("Mine *")), -1);
}

TEST_F(ConfigDialogTest, DroppedSettingsFilesAreImportedInTurn) {
    const std::string first = ExportPreset(kImported, "first.oru");
    const std::string second = ExportPreset(
        u"Imported Two,1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000,0,0,"
        u"0,150,1",
        "SECOND.ORU");
    const std::string text = ExportPreset(
        u"Imported Text,1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,1",
        "third.txt");
    const std::unique_ptr<ConfigDialog> dialog = Open();
    const auto drop = [&dialog](const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> list;
        for (const std::string& p : paths) list << QUrl::fromLocalFile(QString::fromStdString(p));
        mime.setUrls(list);
        // A drop comes only to a window that took the drag when it entered.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog.get(), &drop);
    };

    drop({text});
    EXPECT_FALSE(HasFavorite(u"Imported Text"));
    drop({first, second});
    EXPECT_TRUE(HasFavorite(u"Imported One"));
    EXPECT_TRUE(HasFavorite(u"Imported Two"));
    EXPECT_EQ(dialog->Settings().Name, u"Imported One");
    EXPECT_TRUE(errors.empty());

    // A file that fails ends the drop; the files after it are not read.
    const std::string third = ExportPreset(
        u"Imported Three,1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,1",
        "third.oru");
    drop({m_dir / "missing.oru", third});
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_FALSE(HasFavorite(u"Imported Three"));
}

TEST_F(ConfigDialogTest, SettingsFileNamedAtOpeningIsImportedAndShown) {
    const std::unique_ptr<ConfigDialog> dialog = Open(ExportPreset(kImported, "start.oru"));
    EXPECT_TRUE(HasFavorite(u"Imported One"));
    EXPECT_EQ(dialog->Settings().Name, u"Imported One");
}

TEST_F(ConfigDialogTest, FileHandedOverBySecondInstanceIsImported) {
    const std::string oldPath = ProcessConfigStore().Path();
    ProcessConfigStore().SetPath(m_dir.DatabasePath());
    {
        ConfigDialogOptions options;
        options.listenerName = QString::fromStdString(m_dir / "config.sock");
        options.questions = &questions;
        const std::unique_ptr<ConfigDialog> dialog =
            Hooked(std::make_unique<ConfigDialog>(store, options));
        ASSERT_FALSE(dialog->ListenerName().isEmpty());
        EXPECT_EQ(SendPathToConfigWindow(dialog->ListenerName(), ExportPreset(kImported, "h.oru")),
                  ConfigWindowDelivery::Delivered);
        QTRY_VERIFY_WITH_TIMEOUT(HasFavorite(u"Imported One"), 20000);
        EXPECT_FALSE(kCommonMailbox.ReadStored(store).has_value());
    }
    ProcessConfigStore().SetPath(oldPath);
}

// ---- Buttons ---------------------------------------------------------------------------------

TEST_F(ConfigDialogTest, PreviewStoresThenRunsTheSaverWhileThePreviewWaits) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    dialog->ShowPage(0);
    Find<QLineEdit>(*dialog, "edit1000")->setText(QStringLiteral("31000"));
    uint64_t framesDuringRun = 0;
    dialog->SetSaverRunner([&](const SaverRunOptions& options) {
        EXPECT_EQ(options.kind, SaverWindowKind::FullScreen);
        EXPECT_TRUE(options.nested);
        EXPECT_EQ(StoredSettings().Grains, 31000);
        const uint64_t start = dialog->Preview().FrameCount();
        QTest::qWait(100);
        framesDuringRun = dialog->Preview().FrameCount() - start;
        saverRuns.push_back(options);
        return 0;
    });
    QTRY_VERIFY_WITH_TIMEOUT(dialog->Preview().FrameCount() > 0, 20000);
    Find<QPushButton>(*dialog, "button1112")->click();
    ASSERT_EQ(saverRuns.size(), 1u);
    EXPECT_LE(framesDuringRun, 1u);  // at most the frame under way when it paused
    const uint64_t after = dialog->Preview().FrameCount();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->Preview().FrameCount() > after, 20000);
}

// The real saver, run in-process for a few frames, hands the window back as it found it.
TEST_F(ConfigDialogTest, SaverRunFromPreviewLeavesTheWindowWorking) {
    const std::string oldPath = ProcessConfigStore().Path();
    ProcessConfigStore().SetPath(m_dir.DatabasePath());
    struct sigaction before {};
    sigaction(SIGTERM, nullptr, &before);
    {
        const std::unique_ptr<ConfigDialog> dialog = Open();
        int result = -1;
        dialog->SetSaverRunner([&result](SaverRunOptions options) {
            options.maxFrames = 3;
            result = RunSaver(options);
            return result;
        });
        Find<QPushButton>(*dialog, "button1112")->click();
        EXPECT_EQ(result, 0);
        struct sigaction after {};
        sigaction(SIGTERM, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler);
        const uint64_t frames = dialog->Preview().FrameCount();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->Preview().FrameCount() > frames, 20000);
        // Closing a window now reaches no part of the finished saver.
        QWidget other;
        other.show();
        other.close();
        QCoreApplication::processEvents();
    }
    ProcessConfigStore().SetPath(oldPath);
}

TEST_F(ConfigDialogTest, HelpAndUpdatesOpenTheirPages) {
    const std::unique_ptr<ConfigDialog> dialog = Open();
    Find<QPushButton>(*dialog, "button1105")->click();
    Find<QPushButton>(*dialog, "button3088")->click();
    ASSERT_EQ(urls.size(), 2u);
    const QUrl& help = urls[0];
    EXPECT_TRUE(help.isLocalFile() ? QFileInfo(help.toLocalFile()).isFile()
                                   : help.scheme() == QStringLiteral("https"));
    EXPECT_EQ(urls[1].scheme(), QStringLiteral("https"));
    EXPECT_TRUE(urls[1].query().contains(QStringLiteral("2.1.4051")));

    // A desktop without a browser says so.
    dialog->SetUrlOpener([](const QUrl&) { return false; });
    Find<QPushButton>(*dialog, "button3088")->click();
    EXPECT_EQ(errors.size(), 1u);
}

}  // namespace
}  // namespace quovis
