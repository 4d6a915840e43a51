// ConfigDialog: the configuration window. One modal dialog: a favorites selector, a row of
// tabs over the pages that edit the current preset and the program's options, the live
// preview beside them, the power and evolve groups, and the OK, Preview, About, Help and
// Updates buttons.
//
// The dialog is the pages' ConfigContext: it holds the settings block (the preset being
// edited) and its drawing, hands single field changes to the preview at once, and decides
// when the store is written:
//   OK       the current page commits, every page stores its options, the settings block
//            goes to "Settings" (with "Grains" kept to its field's range) and the window
//            closes;
//   Preview  stores the same way without closing, then runs the full-screen saver in-process;
//   Cancel   (Escape, closing the window) writes nothing to the configuration.
// Whatever way it closes, the window keeps its position and drops the configuration backup
// it took when it opened.
//
// Settings files: a file named when the window opens, files dropped on it and files a second
// instance hands over (SettingsFileListener) are imported into the favorites, and the first
// preset a file holds becomes the settings block.
#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config_ui/config_page.h"
#include "host/qt/saver_run.h"
#include "settings/preset_record.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabBar;

namespace quovis {

class PreviewWidget;
class SettingsFileListener;

struct ConfigDialogOptions {
    double machineSpeedFactor = 1.0;  // how much work this machine takes (1.0: a fast one)
    std::string settingsFile;         // imported when the window opens; empty: none
    // Where second instances find the window; empty: ConfigWindowServerName().
    QString listenerName;
    bool listen = true;
    // Who answers the favorites' questions; null: dialogs over the window. (Tests answer
    // them, including during the import of `settingsFile`.)
    FavoriteQuestions* questions = nullptr;
};

class ConfigDialog : public QDialog, public ConfigContext {
    Q_OBJECT

  public:
    ConfigDialog(ConfigStore& store, ConfigDialogOptions options = {}, QWidget* parent = nullptr);
    ~ConfigDialog() override;

    // ConfigContext.
    ConfigStore& Store() override { return m_store; }
    PresetRecord& Settings() override { return m_settings; }
    CDrawWnd& Engine() override;
    void FieldChanged(const PresetField& field) override;
    void SettingsChanged() override;
    void ShowPage(int index) override;
    FavoriteQuestions& Questions() override;
    QWidget* Window() override { return this; }
    int IndexOf(const ConfigPage* page) override;
    void ShowPreset(const PresetRecord& record,
                    const std::optional<std::u16string>& drawing) override;
    std::optional<std::u16string> SettingsDrawing() override { return CurrentDrawing(); }
    void FavoritesChanged() override { RefreshFavorites(); }

    // The pages in creation order; the current one.
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    ConfigPage* Page(int index) const;
    int CurrentPage() const { return m_current; }
    PreviewWidget& Preview() { return *m_preview; }
    bool PreviewRunning() const;

    // Imports settings files as a drop does: each name ending in ".oru" (any case) in turn,
    // stopping at the first that fails; other names are skipped. True when every ".oru" file
    // was read.
    bool ImportFiles(const QStringList& paths);

    // The two colours the window's background is tinted with while the page of design
    // index `page` shows (the pages' order in the design, tabless pages included).
    static std::pair<QColor, QColor> PageTint(int page);

    // Test hooks: other answers to the favorites' questions (null: the dialogs again), other
    // ways to open a web page, to show an error and to run the full-screen saver.
    void SetQuestions(FavoriteQuestions* questions) { m_questionsOverride = questions; }
    void SetUrlOpener(std::function<bool(const QUrl&)> open) { m_openUrl = std::move(open); }
    void SetErrorSink(std::function<void(const QString&)> show) { m_showError = std::move(show); }
    void SetSaverRunner(std::function<int(const SaverRunOptions&)> run) {
        m_runSaver = std::move(run);
    }
    // The listener's socket name, empty when the window does not listen.
    QString ListenerName() const;

    // The help page shipped with the program (a file URL), or the maker's help page.
    static QUrl HelpUrl();
    static QUrl UpdatesUrl();

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void done(int result) override;

  private:
    class ImportHost;
    struct PageEntry {
        ConfigPage* page = nullptr;
        int designIndex = 0;  // index in the design's page table (tint, "CurrentTab")
        int tab = -1;         // its tab, -1 for a page without one
    };

    void BuildControls();
    void CreatePages();
    void PlaceWindow();
    void LoadSettingsBlock();
    void SwitchToPage(int index);
    void LoadAllPages();
    void RefreshFavorites();
    void ChooseFavorite(int comboIndex);
    void AddFavoriteClicked();
    void RemoveFavoriteClicked();
    void EvolveClicked();
    void PreviewClicked();
    void HelpClicked();
    void UpdatesClicked();
    void PacingEdited();
    void TakeHandedOverFile();
    bool ImportFile(const std::string& path, bool single, ImportHost& host);
    void ShowBlock();
    // The drawing the preview holds, for a drawing-style block.
    std::optional<std::u16string> CurrentDrawing();
    // Everything OK stores, without closing.
    void StoreConfiguration();
    void ShowError(const QString& text);
    void OpenUrl(const QUrl& url);
    int ReadEditNumber(QLineEdit* edit, int fallback) const;

    ConfigStore& m_store;
    ConfigDialogOptions m_options;
    PresetRecord m_settings;
    std::optional<std::u16string> m_drawing;

    std::vector<PageEntry> m_pages;
    int m_current = -1;
    int m_aboutPage = -1;
    bool m_finished = false;
    bool m_saverRunning = false;  // a full-screen Preview runs inside PreviewClicked

    QGroupBox* m_favoritesGroup = nullptr;
    QComboBox* m_favorites = nullptr;
    QTabBar* m_tabs = nullptr;
    QStackedWidget* m_stack = nullptr;
    PreviewWidget* m_preview = nullptr;
    QLineEdit* m_cpuLimit = nullptr;
    QLineEdit* m_slowAfter = nullptr;
    QCheckBox* m_drift = nullptr;
    QPushButton* m_ok = nullptr;
    SettingsFileListener* m_listener = nullptr;

    std::unique_ptr<FavoriteQuestions> m_dialogQuestions;
    FavoriteQuestions* m_questionsOverride = nullptr;
    std::function<bool(const QUrl&)> m_openUrl;
    std::function<void(const QString&)> m_showError;
    std::function<int(const SaverRunOptions&)> m_runSaver;
};

}  // namespace quovis
