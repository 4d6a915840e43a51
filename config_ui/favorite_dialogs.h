// The questions the favorites ask, as dialogs over the configuration window: the name of a
// new favorite, whether to replace one of the same name, whether to remove one.
//
// Each question is a modal dialog built by one of the Make... functions below, so a test can
// find the open dialog (QApplication::activeModalWidget()) and press its buttons.
#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <string>

#include "settings/favorites.h"

class QDialog;
class QMessageBox;
class QWidget;

namespace quovis {

// "Add New Favorite": the name for a new favorite, starting with `suggested` (name edit
// "edit999"). nullopt when cancelled. The name is trimmed; OK stays disabled while it is empty.
std::optional<std::u16string> AskNewFavoriteName(QWidget* parent, const QString& suggested);

// The dialogs themselves, unshown.
std::unique_ptr<QDialog> MakeNewFavoriteDialog(QWidget* parent, const QString& suggested);
// Yes, No and Cancel; in a batch with the "Repeat this answer for all following items" box.
std::unique_ptr<QMessageBox> MakeReplaceFavoriteBox(QWidget* parent, const QString& name,
                                                    bool inBatch);
// OK and Cancel.
std::unique_ptr<QMessageBox> MakeRemoveFavoriteBox(QWidget* parent, const QString& name);

class DialogFavoriteQuestions : public FavoriteQuestions {
  public:
    explicit DialogFavoriteQuestions(QWidget* parent) : m_parent(parent) {}

    ReplaceAnswer AskReplace(std::u16string_view name, bool inBatch, bool* repeatForAll) override;
    // After "No": the "Add New Favorite" dialog again, starting with the name given.
    std::optional<std::u16string> AskNewName(std::u16string_view name) override;
    bool ConfirmRemove(std::u16string_view name) override;

  private:
    QWidget* m_parent;
};

}  // namespace quovis
