#include "config_ui/favorite_dialogs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/preset_record.h"

namespace quovis {

namespace {

QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::unique_ptr<QDialog> MakeNewFavoriteDialog(QWidget* parent, const QString& suggested) {
    auto dialog = std::make_unique<QDialog>(parent);
    dialog->setWindowTitle(QStringLiteral("Add New Favorite"));
    auto* layout = new QVBoxLayout(dialog.get());
    layout->addWidget(new QLabel(QStringLiteral("New Favorite's Name"), dialog.get()));
    auto* edit = new QLineEdit(dialog.get());
    edit->setObjectName(QStringLiteral("edit999"));
    edit->setMaxLength(static_cast<int>(kPresetNameMax));
    edit->setMinimumWidth(300);
    edit->setText(suggested);
    edit->selectAll();
    layout->addWidget(edit);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog.get());
    QDialog* raw = dialog.get();
    QObject::connect(buttons, &QDialogButtonBox::accepted, raw, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, raw, &QDialog::reject);
    // A favorite without a name could not be told apart in any list.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    const auto updateOk = [ok, edit] { ok->setEnabled(!edit->text().trimmed().isEmpty()); };
    QObject::connect(edit, &QLineEdit::textChanged, raw, updateOk);
    updateOk();
    layout->addWidget(buttons);
    return dialog;
}

std::optional<std::u16string> AskNewFavoriteName(QWidget* parent, const QString& suggested) {
    const std::unique_ptr<QDialog> dialog = MakeNewFavoriteDialog(parent, suggested);
    if (dialog->exec() != QDialog::Accepted) return std::nullopt;
    const QString name = dialog->findChild<QLineEdit*>(QStringLiteral("edit999"))->text().trimmed();
    if (name.isEmpty()) return std::nullopt;
    return name.toStdU16String();
}

std::unique_ptr<QMessageBox> MakeReplaceFavoriteBox(QWidget* parent, const QString& name,
                                                    bool inBatch) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(QStringLiteral("Replace Existing Favorite?"));
    box->setIcon(QMessageBox::Question);
    box->setText(QStringLiteral("Click 'Yes' to replace this favorite:"));
    box->setInformativeText(name);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Yes);
    box->setEscapeButton(QMessageBox::Cancel);
    if (inBatch) {
        auto* repeat = new QCheckBox(QStringLiteral("Repeat this answer for all following items"));
        repeat->setObjectName(QStringLiteral("checkRepeat"));
        box->setCheckBox(repeat);
    }
    return box;
}

std::unique_ptr<QMessageBox> MakeRemoveFavoriteBox(QWidget* parent, const QString& name) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(QStringLiteral("Remove Favorite?"));
    box->setIcon(QMessageBox::Question);
    box->setText(QStringLiteral("Press OK to remove this favorite:"));
    box->setInformativeText(name);
    box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    // Removing is the step that loses something: Enter alone does not take it.
    box->setDefaultButton(QMessageBox::Cancel);
    box->setEscapeButton(QMessageBox::Cancel);
    return box;
}

ReplaceAnswer DialogFavoriteQuestions::AskReplace(std::u16string_view name, bool inBatch,
                                                  bool* repeatForAll) {
    const std::unique_ptr<QMessageBox> box =
        MakeReplaceFavoriteBox(m_parent, FromU16(name), inBatch);
    box->exec();
    const auto clicked = box->standardButton(box->clickedButton());
    if (repeatForAll != nullptr) {
        *repeatForAll = box->checkBox() != nullptr && box->checkBox()->isChecked();
    }
    switch (clicked) {
        case QMessageBox::Yes:
            return ReplaceAnswer::Yes;
        case QMessageBox::No:
            return ReplaceAnswer::No;
        default:
            // Closing the box by its frame or Escape answers Cancel: nothing is changed.
            return ReplaceAnswer::Cancel;
    }
}

std::optional<std::u16string> DialogFavoriteQuestions::AskNewName(std::u16string_view name) {
    return AskNewFavoriteName(m_parent, FromU16(name));
}

bool DialogFavoriteQuestions::ConfirmRemove(std::u16string_view name) {
    const std::unique_ptr<QMessageBox> box = MakeRemoveFavoriteBox(m_parent, FromU16(name));
    box->exec();
    return box->standardButton(box->clickedButton()) == QMessageBox::Ok;
}

}  // namespace quovis
