// The configuration window's pages and what they may ask of the window.
//
// Contract: the window (ConfigDialog) creates every page once, in tab order, through the
// factories in config_ui/pages.h, and keeps it for the window's life. A page holds no
// settings of its own: it shows the settings block (the preset being edited, a PresetRecord)
// and the stored option values, and writes back only when asked:
//
//   Load()            fill the controls from the settings block and the store. Called when the
//                     window opens and again after the block was replaced (a favorite chosen,
//                     Evolve, a settings file dropped). Must not call FieldChanged.
//   Commit()          controls -> settings block (leaving the page, OK, Preview, Cancel).
//   StoreOptions()    OK: write this page's option values (not the preset) to the store.
//   Activated(prev)   the page became current; prev is the page index shown before (-1: none).
//   EnterPressed(e)   Enter in one of this page's line edits: commit that edit, stay open.
//   PreviewStarting() / PreviewEnded()   around a full-screen Preview.
//
// While the user edits, a page writes the changed field into Settings() and calls
// FieldChanged(field), which hands the value to the preview engine at once through the
// field's live setter. Controls carry object names taken from their ids in the design
// ("slider1062", "edit1000", "check1037", "list1005", "radio1020", "button1106"), so tests
// and accessibility tools can find them.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <string>

#include "settings/preset_record.h"

class QLineEdit;

namespace quovis {

class CDrawWnd;
class ConfigStore;
class ConfigPage;
class FavoriteQuestions;
struct PresetField;

// What a page may ask of the window.
class ConfigContext {
  public:
    virtual ~ConfigContext() = default;
    virtual ConfigStore& Store() = 0;
    // The settings block the pages edit: the current preset.
    virtual PresetRecord& Settings() = 0;
    // The preview engine. Its setters take the engine lock themselves.
    virtual CDrawWnd& Engine() = 0;
    // A field of Settings() changed: the preview takes it now. Motion, Style and Complexity
    // restart the preview's pattern; the rest change it in place.
    virtual void FieldChanged(const PresetField& field) = 0;
    // The pages edited Settings() wholesale (e.g. the style's parameters): the preview takes
    // the whole block and restarts its pattern.
    virtual void SettingsChanged() = 0;
    // Shows the page of this index (the About page from its button, later the Info page).
    virtual void ShowPage(int index) = 0;
    // The questions favorites ask, as dialogs over the window (tests answer them).
    virtual FavoriteQuestions& Questions() = 0;
    // The window, as parent for the page's own dialogs.
    virtual QWidget* Window() = 0;

    // The index ShowPage takes for this page; -1 when the window does not hold it.
    virtual int IndexOf(const ConfigPage* /*page*/) { return -1; }
    // Shows a whole other preset (with its drawing, for a drawing-style preset): it becomes
    // the settings block, the pages load it and the preview starts it afresh.
    virtual void ShowPreset(const PresetRecord& record,
                            const std::optional<std::u16string>& /*drawing*/) {
        Settings() = record;
        SettingsChanged();
    }
    // The drawing that goes with the settings block: what the preview holds for a
    // drawing-style block.
    virtual std::optional<std::u16string> SettingsDrawing() { return std::nullopt; }
    // A page added a favorite: the window's lists follow.
    virtual void FavoritesChanged() {}
};

class ConfigPage : public QWidget {
    Q_OBJECT

  public:
    // Page flags, as the window reads them.
    enum Flag : int {
        kTallArea = 2,             // uses the tall page area; the favorites selector hides
        kSlideshowPage = 4,        // carried by the slideshow page only
        kNoTab = 8,                // reached by a button, not a tab
        kNoCollectOnPreview = 32,  // Preview does not first commit this page
    };

    ConfigPage(ConfigContext& context, QString caption, int flags, QWidget* parent = nullptr)
        : QWidget(parent), m_context(context), m_caption(std::move(caption)), m_flags(flags) {}

    const QString& Caption() const { return m_caption; }
    int Flags() const { return m_flags; }

    virtual void Load() = 0;
    virtual void Commit() {}
    virtual void StoreOptions() {}
    virtual void Activated(int /*previous*/) {}
    virtual void EnterPressed(QLineEdit* /*edit*/) {}
    virtual void PreviewStarting() {}
    virtual void PreviewEnded() {}

  protected:
    ConfigContext& Context() { return m_context; }

  private:
    ConfigContext& m_context;
    QString m_caption;
    int m_flags;
};

}  // namespace quovis
