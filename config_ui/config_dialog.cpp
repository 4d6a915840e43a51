#include "config_ui/config_dialog.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

#include "base/version.h"
#include "config_ui/favorite_dialogs.h"
#include "config_ui/field_live.h"
#include "config_ui/pages.h"
#include "config_ui/preview_widget.h"
#include "host/qt/handoff.h"
#include "settings/builtin_presets.h"
#include "settings/config_lifecycle.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorite_transfer.h"
#include "settings/favorites.h"
#include "settings/pattern_slot.h"
#include "settings/preset_mutation.h"
#include "settings/settings_file.h"

namespace quovis {

namespace {

// The pages' places in the design's page table: the tint and the remembered tab ("CurrentTab")
// use these numbers.
constexpr int kDesignHome = 0;
constexpr int kDesignShare = 7;
constexpr int kDesignLibrary = 8;
constexpr int kDesignAbout = 9;
constexpr int kDesignInfo = 10;

// The two hue tables of the background tint, per design page 0..8.
constexpr std::array<int, 9> kFirstHue = {355, 5, 44, 105, 180, 210, 230, 245, 300};
constexpr std::array<int, 9> kSecondHue = {30, 43, 95, 200, 229, 240, 266, 305, 346};

// Hue (degrees), saturation and value (0..1) to a colour whose channels are the fractions
// scaled by 256 and cut to 8 bits.
QColor HsvColour(double hue, double saturation, double value) {
    hue = std::fmod(hue, 360.0) / 60.0;
    const int sector = static_cast<int>(std::floor(hue)) % 6;
    const double f = hue - std::floor(hue);
    const double p = value * (1.0 - saturation);
    const double q = value * (1.0 - saturation * f);
    const double t = value * (1.0 - saturation * (1.0 - f));
    const double rgb[6][3] = {{value, t, p}, {q, value, p}, {p, value, t},
                              {p, q, value}, {t, p, value}, {value, p, q}};
    const double* c = rgb[sector];
    const auto channel = [](double fraction) {
        return std::clamp(static_cast<int>(fraction * 256.0), 0, 255);
    };
    return QColor(channel(c[0]), channel(c[1]), channel(c[2]));
}

QString VersionText() {
    return QString::fromUtf16(kVersionText.data(), kVersionText.size());
}

// The first part of the version text ("2" of "2.1.4051"): the product's generation, which the
// version line names after the product.
QString ProductGeneration() {
    return VersionText().section(QLatin1Char('.'), 0, 0);
}

QString MakerPage(const QString& path) {
    return QString::fromUtf16(kMakerLocation.data(), kMakerLocation.size()) + path +
           QStringLiteral("?p=QV&v=%1&r=1").arg(VersionText());
}

bool IsSettingsFileName(const QString& path) {
    return path.endsWith(QStringLiteral(".oru"), Qt::CaseInsensitive);
}

QPushButton* Button(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QStringLiteral("button%1").arg(id));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

// Imports into the favorites and keeps the first preset a file holds (with its drawing), so
// the window can show it afterwards.
class ConfigDialog::ImportHost final : public SettingsImportHost {
  public:
    ImportHost(ConfigStore& store, FavoriteQuestions& questions, CDrawWnd& engine)
        : m_favorites(store, questions), m_engine(engine) {}

    void LoadStrokes(std::u16string_view strokes) override { m_engine.LoadStrokeList(strokes); }
    ImportOutcome AddImported(PresetRecord& record, std::u16string_view drawing,
                              bool keepExisting) override {
        if (!first) {
            first = record;
            if (!drawing.empty()) firstDrawing = std::u16string(drawing);
        }
        return m_favorites.AddImported(record, drawing, keepExisting);
    }

    std::optional<PresetRecord> first;
    std::optional<std::u16string> firstDrawing;

  private:
    FavoritesImport m_favorites;
    CDrawWnd& m_engine;
};

std::pair<QColor, QColor> ConfigDialog::PageTint(int page) {
    // Pages past the table (the About and Info pages) show the first page's tint.
    if (page < 0 || page >= static_cast<int>(kFirstHue.size())) page = kDesignHome;
    const auto index = static_cast<std::size_t>(page);
    const double first = (kFirstHue[index] + 360) % 360;
    const double second = (kSecondHue[index] + 360) % 360;
    const QColor a = page == 0 ? HsvColour(first, 0.42, 0.88) : HsvColour(first, 0.6, 0.79);
    const QColor b = page == 8 ? HsvColour(second, 0.25, 0.88) : HsvColour(second, 0.4, 0.65);
    return {a, b};
}

QUrl ConfigDialog::HelpUrl() {
    // Installed: <prefix>/bin/quovis and <prefix>/share/quovis/help; in a build tree, the
    // source tree's copy.
    QStringList candidates;
    candidates << QCoreApplication::applicationDirPath() +
                      QStringLiteral("/../share/quovis/help/index.html");
#ifdef QUOVIS_SOURCE_DIR
    candidates << QStringLiteral(QUOVIS_SOURCE_DIR "/docs/help/index.html");
#endif
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile()) return QUrl::fromLocalFile(info.canonicalFilePath());
    }
    return QUrl(MakerPage(QStringLiteral("/Help/help.asp")));
}

QUrl ConfigDialog::UpdatesUrl() {
    return QUrl(MakerPage(QStringLiteral("/Updates/ud.asp")));
}

ConfigDialog::ConfigDialog(ConfigStore& store, ConfigDialogOptions options, QWidget* parent)
    : QDialog(parent), m_store(store), m_options(std::move(options)) {
    setWindowTitle(QStringLiteral("Quovis"));
    setObjectName(QStringLiteral("dialog2003"));
    setAcceptDrops(true);
    m_openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_showError = [this](const QString& text) {
        QMessageBox::warning(this, QStringLiteral("Quovis"), text);
    };
    m_runSaver = [](const SaverRunOptions& saver) { return RunSaver(saver); };
    m_dialogQuestions = std::make_unique<DialogFavoriteQuestions>(this);
    m_questionsOverride = m_options.questions;

    // The preview engine is the window's first user of the favorites: a fresh profile gets
    // its built-in presets here as it would at the saver's first start.
    SeedFavorites(
        m_store,
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdU16String());
    LoadSettingsBlock();
    BuildControls();
    BackupConfig(m_store, BackupMode::Open);
    CreatePages();
    LoadAllPages();
    RefreshFavorites();

    // The remembered page; a page without a tab, or one this version lacks, shows the first.
    const int remembered = kConfigCurrentTab.Read(m_store);
    int start = 0;
    for (int i = 0; i < PageCount(); ++i) {
        if (m_pages[static_cast<std::size_t>(i)].designIndex == remembered &&
            m_pages[static_cast<std::size_t>(i)].tab >= 0) {
            start = i;
        }
    }
    if (PageCount() > 0) SwitchToPage(start);
    // Placed once the pages are filled, so that the window has its final size.
    PlaceWindow();

    if (!m_options.settingsFile.empty()) {
        ImportFiles({QString::fromStdString(m_options.settingsFile)});
    }
    // Without an output the window works on; the preview stays dark.
    m_preview->Start(m_settings, m_drawing);

    if (m_options.listen) {
        m_listener = new SettingsFileListener(this);
        const bool listening = m_options.listenerName.isEmpty()
                                   ? m_listener->Listen()
                                   : m_listener->Listen(m_options.listenerName);
        if (listening) {
            connect(m_listener, &SettingsFileListener::settingsFileSignalled, this,
                    &ConfigDialog::TakeHandedOverFile);
        }
    }
}

ConfigDialog::~ConfigDialog() {
    if (!m_finished) {
        m_finished = true;
        m_preview->Stop();
        DeleteConfigBackup(m_store);
    }
}

CDrawWnd& ConfigDialog::Engine() {
    return m_preview->Engine();
}

bool ConfigDialog::PreviewRunning() const {
    return m_preview != nullptr && m_preview->IsRunning();
}

FavoriteQuestions& ConfigDialog::Questions() {
    return m_questionsOverride != nullptr ? *m_questionsOverride : *m_dialogQuestions;
}

ConfigPage* ConfigDialog::Page(int index) const {
    if (index < 0 || index >= PageCount()) return nullptr;
    return m_pages[static_cast<std::size_t>(index)].page;
}

QString ConfigDialog::ListenerName() const {
    return m_listener != nullptr ? m_listener->ServerName() : QString();
}

// ---- Building ------------------------------------------------------------------------------

void ConfigDialog::BuildControls() {
    // Left: the tabs, the favorites selector and the page area. Right: the preview and the
    // groups and buttons beneath it.
    auto* outer = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    outer->addLayout(left, 1);
    outer->addLayout(right, 0);

    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("tab1110"));
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->setUsesScrollButtons(false);  // every tab in sight: the column widens to fit
    left->addWidget(m_tabs);

    m_favoritesGroup = new QGroupBox(QStringLiteral("Favorites"), this);
    m_favoritesGroup->setObjectName(QStringLiteral("group1071"));
    auto* favoritesRow = new QHBoxLayout(m_favoritesGroup);
    m_favorites = new QComboBox(m_favoritesGroup);
    m_favorites->setObjectName(QStringLiteral("list1023"));
    m_favorites->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_favorites->setMinimumContentsLength(24);
    favoritesRow->addWidget(m_favorites, 1);
    QPushButton* add = Button(QStringLiteral("+"), 1024, m_favoritesGroup);
    QPushButton* remove = Button(QStringLiteral("-"), 1026, m_favoritesGroup);
    add->setToolTip(QStringLiteral("Add New Favorite"));
    remove->setToolTip(QStringLiteral("Remove Favorite"));
    const int square = add->sizeHint().height();
    add->setFixedWidth(square * 3 / 2);
    remove->setFixedWidth(square * 3 / 2);
    favoritesRow->addWidget(add);
    favoritesRow->addWidget(remove);
    left->addWidget(m_favoritesGroup);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("static1065"));
    left->addWidget(m_stack, 1);

    m_preview = new PreviewWidget(m_store, m_options.machineSpeedFactor, this);
    right->addWidget(m_preview, 0, Qt::AlignHCenter);

    auto* groups = new QHBoxLayout;
    right->addLayout(groups);
    auto* power = new QGroupBox(QStringLiteral("Power"), this);
    power->setObjectName(QStringLiteral("group3083"));
    auto* powerGrid = new QGridLayout(power);
    m_cpuLimit = new QLineEdit(power);
    m_cpuLimit->setObjectName(QStringLiteral("edit1003"));
    m_cpuLimit->setValidator(new QIntValidator(1, 100, m_cpuLimit));
    m_slowAfter = new QLineEdit(power);
    m_slowAfter->setObjectName(QStringLiteral("edit1017"));
    m_slowAfter->setValidator(new QIntValidator(0, 99999, m_slowAfter));
    const int digits = m_cpuLimit->fontMetrics().horizontalAdvance(QStringLiteral("00000"));
    m_cpuLimit->setMaximumWidth(digits + 12);
    m_slowAfter->setMaximumWidth(digits + 12);
    auto* cpuLabel = new QLabel(QStringLiteral("Max CPU Usage"), power);
    cpuLabel->setBuddy(m_cpuLimit);
    auto* slowLabel = new QLabel(QStringLiteral("Lower CPU after"), power);
    slowLabel->setBuddy(m_slowAfter);
    powerGrid->addWidget(cpuLabel, 0, 0);
    powerGrid->addWidget(m_cpuLimit, 0, 1);
    powerGrid->addWidget(new QLabel(QStringLiteral("%"), power), 0, 2);
    powerGrid->addWidget(slowLabel, 1, 0);
    powerGrid->addWidget(m_slowAfter, 1, 1);
    powerGrid->addWidget(new QLabel(QStringLiteral("Minutes"), power), 1, 2);
    groups->addWidget(power);

    auto* evolve = new QGroupBox(QStringLiteral("Evolve"), this);
    evolve->setObjectName(QStringLiteral("group3084"));
    auto* evolveColumn = new QVBoxLayout(evolve);
    QPushButton* evolveNow = Button(QStringLiteral("&Evolve Settings Now"), 3110, evolve);
    m_drift = new QCheckBox(QStringLiteral("Allow Pattern Drift"), evolve);
    m_drift->setObjectName(QStringLiteral("check3140"));
    evolveColumn->addWidget(evolveNow);
    evolveColumn->addWidget(m_drift);
    groups->addWidget(evolve);

    auto* bottom = new QHBoxLayout;
    right->addStretch(1);
    right->addLayout(bottom);
    auto* version = new QLabel(
        QStringLiteral("Quovis %1\nVersion %2").arg(ProductGeneration(), VersionText()), this);
    version->setObjectName(QStringLiteral("label3064"));
    bottom->addWidget(version, 1);
    auto* buttons = new QGridLayout;
    bottom->addLayout(buttons);
    QPushButton* about = Button(QStringLiteral("About..."), 1107, this);
    QPushButton* help = Button(QStringLiteral("&Help..."), 1105, this);
    QPushButton* updates = Button(QStringLiteral("Updates..."), 3088, this);
    QPushButton* preview = Button(QStringLiteral("Pre&view"), 1112, this);
    m_ok = Button(QStringLiteral("&OK"), 1, this);
    m_ok->setDefault(true);
    // Cancel is reached by Escape and by closing the window; it has no button to press.
    QPushButton* cancel = Button(QStringLiteral("&Cancel"), 2, this);
    cancel->hide();
    buttons->addWidget(about, 0, 0);
    buttons->addWidget(help, 0, 1);
    buttons->addWidget(updates, 0, 2);
    buttons->addWidget(preview, 1, 0, 1, 2);
    buttons->addWidget(m_ok, 1, 2);

    m_cpuLimit->setText(QString::number(kConfigCPULimit.Read(m_store)));
    m_slowAfter->setText(QString::number(kConfigSlowAfter.Read(m_store)));
    m_drift->setChecked(kConfigDrift.Read(m_store) != 0);

    connect(m_favorites, &QComboBox::activated, this, &ConfigDialog::ChooseFavorite);
    connect(add, &QPushButton::clicked, this, &ConfigDialog::AddFavoriteClicked);
    connect(remove, &QPushButton::clicked, this, &ConfigDialog::RemoveFavoriteClicked);
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int tab) {
        for (int i = 0; i < PageCount(); ++i) {
            if (m_pages[static_cast<std::size_t>(i)].tab == tab) SwitchToPage(i);
        }
    });
    // A click on the selected tab leads back from a page without a tab.
    connect(m_tabs, &QTabBar::tabBarClicked, this, [this](int tab) {
        for (int i = 0; i < PageCount(); ++i) {
            if (m_pages[static_cast<std::size_t>(i)].tab == tab) SwitchToPage(i);
        }
    });
    connect(m_cpuLimit, &QLineEdit::editingFinished, this, &ConfigDialog::PacingEdited);
    connect(m_slowAfter, &QLineEdit::editingFinished, this, &ConfigDialog::PacingEdited);
    connect(evolveNow, &QPushButton::clicked, this, &ConfigDialog::EvolveClicked);
    connect(m_drift, &QCheckBox::toggled, this, [this](bool on) { Engine().SetDriftAllowed(on); });
    connect(about, &QPushButton::clicked, this, [this] {
        if (m_aboutPage >= 0) ShowPage(m_aboutPage);
    });
    connect(help, &QPushButton::clicked, this, &ConfigDialog::HelpClicked);
    connect(updates, &QPushButton::clicked, this, &ConfigDialog::UpdatesClicked);
    connect(preview, &QPushButton::clicked, this, &ConfigDialog::PreviewClicked);
    connect(m_ok, &QPushButton::clicked, this, &ConfigDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &ConfigDialog::reject);
}

void ConfigDialog::CreatePages() {
    using Factory = ConfigPage* (*)(ConfigContext&, QWidget*);
    struct Planned {
        Factory create;
        int designIndex;
    };
    const Planned planned[] = {
        {CreateHomePage, 0},
        {CreatePatternPage, 1},
        {CreateColorPage, 2},
        {CreateDisplayPage, 3},
        {CreateOptionsPage, 4},
        {CreateAudioPage, 5},
        {CreateSlideshowPage, 6},
        {CreateSharePage, kDesignShare},
        {CreateLibraryPage, kDesignLibrary},
        {CreateAboutPage, kDesignAbout},
        {CreateInfoPage, kDesignInfo},
    };
    for (const Planned& plan : planned) {
        ConfigPage* page = plan.create(*this, m_stack);
        if (page == nullptr) continue;
        PageEntry entry;
        entry.page = page;
        entry.designIndex = plan.designIndex;
        if ((page->Flags() & ConfigPage::kNoTab) == 0) {
            entry.tab = m_tabs->addTab(page->Caption());
        }
        if (plan.designIndex == kDesignAbout) m_aboutPage = PageCount();
        m_stack->addWidget(page);
        m_pages.push_back(entry);
    }
}

void ConfigDialog::PlaceWindow() {
    // Sized with the favorites selector in view, so that the window keeps one size whichever
    // page shows.
    const bool selectorHidden = m_favoritesGroup->isHidden();
    m_favoritesGroup->setHidden(false);
    adjustSize();
    m_favoritesGroup->setHidden(selectorHidden);
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) return;
    const QRect virtualScreen = primary->virtualGeometry();
    const QSize frame = frameGeometry().size().expandedTo(size());
    if (kConfigWinX.IsStored(m_store)) {
        const int x = kConfigWinX.Read(m_store);
        const int y = kConfigWinY.Read(m_store);
        // The window is put back only where enough of it lies in the inner part of the
        // virtual screen to be seen and grabbed.
        const qint64 vx = virtualScreen.x(), vy = virtualScreen.y();
        const qint64 vw = virtualScreen.width(), vh = virtualScreen.height();
        const bool visible = qint64{x} + frame.width() > vx + vw / 10 &&
                             qint64{y} + frame.height() > vy + vh / 10 &&
                             qint64{x} < vx + vw * 9 / 10 && qint64{y} < vy + vh * 9 / 10;
        if (visible) {
            move(x, y);
            return;
        }
    }
    const QRect area = primary->availableGeometry();
    const QPoint corner(area.x() + (area.width() - frame.width()) / 2,
                        area.y() + (area.height() - frame.height()) / 2);
    move(corner);
    kConfigWinX.Write(m_store, corner.x());
    kConfigWinY.Write(m_store, corner.y());
}

void ConfigDialog::LoadSettingsBlock() {
    PatternSlot slot;
    if (slot.LoadCurrentSettings(m_store)) {
        m_settings = slot.record;
        m_drawing = slot.drawing;
        return;
    }
    // No current settings yet: the default preset, as the saver would show.
    ReadPresetString(DefaultPresetString(), m_settings);
    m_settings.Name = u"*";
    m_drawing.reset();
}

// ---- Pages ---------------------------------------------------------------------------------

void ConfigDialog::SwitchToPage(int index) {
    if (index < 0 || index >= PageCount() || index == m_current) return;
    const int previous = m_current;
    if (ConfigPage* old = Page(previous)) old->Commit();
    const PageEntry& entry = m_pages[static_cast<std::size_t>(index)];
    m_favoritesGroup->setVisible((entry.page->Flags() & ConfigPage::kTallArea) == 0);
    m_current = index;
    m_stack->setCurrentWidget(entry.page);
    if (entry.tab >= 0 && m_tabs->currentIndex() != entry.tab) {
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(entry.tab);
    }
    update();  // the tint follows the page
    entry.page->Activated(previous);
}

void ConfigDialog::ShowPage(int index) {
    SwitchToPage(index);
}

int ConfigDialog::IndexOf(const ConfigPage* page) {
    for (int i = 0; i < PageCount(); ++i) {
        if (m_pages[static_cast<std::size_t>(i)].page == page) return i;
    }
    return -1;
}

void ConfigDialog::ShowPreset(const PresetRecord& record,
                              const std::optional<std::u16string>& drawing) {
    m_settings = record;
    m_drawing = drawing;
    LoadAllPages();
    ShowBlock();
    RefreshFavorites();
}

void ConfigDialog::LoadAllPages() {
    for (const PageEntry& entry : m_pages) entry.page->Load();
}

// ---- Settings block and preview --------------------------------------------------------------

void ConfigDialog::FieldChanged(const PresetField& field) {
    if (PreviewRunning()) ApplyFieldLive(Engine(), field, m_settings);
}

void ConfigDialog::SettingsChanged() {
    m_drawing = CurrentDrawing();
    ShowBlock();
}

void ConfigDialog::ShowBlock() {
    if (PreviewRunning()) m_preview->ShowSettings(m_settings, m_drawing);
}

std::optional<std::u16string> ConfigDialog::CurrentDrawing() {
    if (m_settings.Style != kStyleDraw) return m_drawing;
    if (!PreviewRunning()) return m_drawing;
    std::lock_guard<std::recursive_mutex> guard(Engine().EngineLock());
    // The preview holds what the user drew since the block was loaded.
    if (!Engine().IsDrawStyle()) return m_drawing;
    return Engine().StrokeListText();
}

void ConfigDialog::EvolveClicked() {
    if (ConfigPage* page = Page(m_current)) page->Commit();
    const std::optional<std::u16string> drawing = CurrentDrawing();
    {
        // The engine's generator belongs to the frame thread; the lock keeps it out.
        std::lock_guard<std::recursive_mutex> guard(Engine().EngineLock());
        CDrawWnd& engine = Engine();
        MutatePreset(m_settings, [&engine] { return engine.RandomUniform(); });
    }
    m_drawing = drawing;
    LoadAllPages();
    ShowBlock();
}

void ConfigDialog::PacingEdited() {
    const int cpu = ReadEditNumber(m_cpuLimit, kConfigCPULimit.Read(m_store));
    const int slow = ReadEditNumber(m_slowAfter, kConfigSlowAfter.Read(m_store));
    m_preview->SetPacing(cpu, slow);
}

int ConfigDialog::ReadEditNumber(QLineEdit* edit, int fallback) const {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

// ---- Favorites -----------------------------------------------------------------------------

void ConfigDialog::RefreshFavorites() {
    const QSignalBlocker blocker(m_favorites);
    m_favorites->clear();
    PatternSlot last;
    if (last.LoadLastPattern(m_store)) {
        m_favorites->addItem(QStringLiteral("[ Last Pattern Shown ]"), kLastPatternSlot);
    }
    for (const FavoriteEntry& entry : ListFavorites(m_store)) {
        m_favorites->addItem(QString::fromStdU16String(FavoriteDisplayName(entry.record)),
                             entry.slot);
    }
    // The favorite the current settings came from, when there is one.
    std::u16string text;
    int selected = -1;
    if (WritePresetString(m_settings, true, text)) {
        const int slot = FindFavorite(m_store, text);
        if (slot >= 0) selected = m_favorites->findData(slot);
    }
    m_favorites->setCurrentIndex(selected);
}

void ConfigDialog::ChooseFavorite(int comboIndex) {
    if (comboIndex < 0) return;
    const int slotNumber = m_favorites->itemData(comboIndex).toInt();
    PatternSlot slot;
    if (!slot.LoadFromFavorite(m_store, slotNumber) || slot.record.Valid == 0) return;
    m_settings = slot.record;
    m_drawing = slot.drawing;
    LoadAllPages();
    ShowBlock();
}

void ConfigDialog::AddFavoriteClicked() {
    if (ConfigPage* page = Page(m_current)) page->Commit();
    // The name starts as the selected favorite's when the user made that one.
    QString suggested;
    const int selected = m_favorites->currentIndex();
    if (selected >= 0) {
        PresetRecord chosen;
        if (LoadFavorite(m_store, m_favorites->itemData(selected).toInt(), chosen) &&
            chosen.Valid != 0 && chosen.Origin == 1) {
            suggested = QString::fromStdU16String(chosen.Name);
        }
    }
    const std::optional<std::u16string> name = Questions().AskNewName(suggested.toStdU16String());
    if (!name || name->empty()) return;
    PresetRecord record = m_settings;
    record.Author = kConfigAuthor.Read(m_store);
    record.Location = kConfigLocation.Read(m_store);
    record.Origin = 1;
    m_drawing = CurrentDrawing();
    const std::u16string* drawing = record.Style == kStyleDraw && m_drawing ? &*m_drawing : nullptr;
    const AddFavoriteResult added =
        AddFavorite(m_store, *name, record, drawing, Questions(), nullptr);
    RefreshFavorites();
    if (added.slot >= 0) {
        const QSignalBlocker blocker(m_favorites);
        m_favorites->setCurrentIndex(m_favorites->findData(added.slot));
    }
    if (added.outcome == AddOutcome::NoRoom) {
        ShowError(QStringLiteral("There is no room for another favorite."));
    } else if (added.outcome == AddOutcome::WriteFailed) {
        ShowError(QStringLiteral("The favorite could not be stored."));
    }
}

void ConfigDialog::RemoveFavoriteClicked() {
    const int selected = m_favorites->currentIndex();
    if (selected < 0) return;
    const int slot = m_favorites->itemData(selected).toInt();
    if (slot < 0) return;  // the last pattern shown is no favorite
    if (RemoveFavorite(m_store, slot, Questions())) RefreshFavorites();
}

// ---- Settings files ------------------------------------------------------------------------

bool ConfigDialog::ImportFile(const std::string& path, bool single, ImportHost& host) {
    const ImportReport report = ImportSettingsFile(path, single, host);
    const QString name = QString::fromStdString(path);
    if (report.cancelled) return false;
    if (report.unreadable) {
        ShowError(
            report.tooLarge
                ? QStringLiteral("The settings file \"%1\" is too large to be read.").arg(name)
                : QStringLiteral("The settings file \"%1\" could not be read.").arg(name));
        return false;
    }
    if (report.noSettings) {
        ShowError(QStringLiteral("The file \"%1\" holds no Quovis settings.").arg(name));
        return false;
    }
    return true;
}

bool ConfigDialog::ImportFiles(const QStringList& paths) {
    QStringList files;
    for (const QString& path : paths) {
        if (IsSettingsFileName(path)) files << path;
    }
    if (files.isEmpty()) return true;
    if (ConfigPage* page = Page(m_current)) page->Commit();
    // One batch over all files: "repeat this answer" holds across them.
    ImportHost host(m_store, Questions(), Engine());
    bool allRead = true;
    for (const QString& file : files) {
        if (!ImportFile(QFile::encodeName(file).toStdString(), files.size() == 1, host)) {
            allRead = false;
            break;
        }
    }
    if (host.first) {
        // The first preset that came in is what the window shows now.
        m_settings = *host.first;
        m_drawing = host.firstDrawing;
        LoadAllPages();
        ShowBlock();
    }
    RefreshFavorites();
    return allRead;
}

void ConfigDialog::TakeHandedOverFile() {
    const std::optional<std::u16string> path = TakeSettingsFilePath(m_store);
    if (!path || path->empty()) return;
    ImportFiles({QString::fromStdU16String(*path)});
    // The window comes forward to show the file, but not over a running full-screen Preview.
    if (!m_saverRunning) {
        raise();
        activateWindow();
    }
}

void ConfigDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ConfigDialog::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    ImportFiles(paths);
}

// ---- Commands ------------------------------------------------------------------------------

void ConfigDialog::StoreConfiguration() {
    kConfigCPULimit.Write(
        m_store, std::clamp(ReadEditNumber(m_cpuLimit, kConfigCPULimit.Read(m_store)), 1, 100));
    kConfigSlowAfter.Write(
        m_store, std::max(ReadEditNumber(m_slowAfter, kConfigSlowAfter.Read(m_store)), 0));
    kConfigDrift.Write(m_store, m_drift->isChecked() ? 1 : 0);
    for (const PageEntry& entry : m_pages) entry.page->StoreOptions();

    // The block is stored unnamed ("*,"), as the current settings always are.
    static constexpr const PresetField& kGrains = PresetFieldNamed("Grains");
    m_settings.*kGrains.recordInt = kGrains.Clamp(m_settings.*kGrains.recordInt);
    m_drawing = CurrentDrawing();
    std::u16string fields;
    if (WritePresetString(m_settings, false, fields)) {
        kConfigSettings.Write(m_store, u"*," + fields);
    }
    if (m_settings.Style == kStyleDraw && m_drawing && !m_drawing->empty()) {
        kConfigDrawing.Write(m_store, *m_drawing);
    }
    if (m_current >= 0) {
        kConfigCurrentTab.Write(m_store, m_pages[static_cast<std::size_t>(m_current)].designIndex);
    }
}

void ConfigDialog::accept() {
    QWidget* focus = QApplication::focusWidget();
    QLineEdit* edit = qobject_cast<QLineEdit*>(focus);
    if (edit == nullptr) {
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(focus))
            edit = spin->findChild<QLineEdit*>();
    }
    if (edit != nullptr && isAncestorOf(edit)) {
        // Enter in an edit box takes that edit's value; the window stays open.
        if (edit == m_cpuLimit || edit == m_slowAfter) {
            PacingEdited();
        } else if (ConfigPage* page = Page(m_current)) {
            page->EnterPressed(edit);
        }
        edit->selectAll();
        return;
    }
    if (ConfigPage* page = Page(m_current)) page->Commit();
    StoreConfiguration();
    QDialog::accept();
}

void ConfigDialog::reject() {
    if (ConfigPage* page = Page(m_current)) page->Commit();
    // Cancel writes nothing to the configuration: what was stored when the window opened is
    // still there. Values a full-screen Preview stored meanwhile stay too -- Preview shows
    // the saver as it will run, and it can only do so from the store; the user saw and
    // accepted that state. The backup copy is refreshed for the record.
    BackupConfig(m_store, BackupMode::Refresh);
    QDialog::reject();
}

void ConfigDialog::done(int result) {
    if (!m_finished) {
        m_finished = true;
        m_preview->Stop();
        DeleteConfigBackup(m_store);
        kConfigWinX.Write(m_store, pos().x());
        kConfigWinY.Write(m_store, pos().y());
    }
    QDialog::done(result);
}

void ConfigDialog::PreviewClicked() {
    if (m_saverRunning) return;  // the saver's own loop still delivers this window's events
    ConfigPage* page = Page(m_current);
    if (page != nullptr && (page->Flags() & ConfigPage::kNoCollectOnPreview) == 0) page->Commit();
    StoreConfiguration();
    if (page != nullptr) page->PreviewStarting();
    m_preview->SetPaused(true);
    SaverRunOptions saver;
    saver.kind = SaverWindowKind::FullScreen;
    saver.machineSpeedFactor = m_options.machineSpeedFactor;
    saver.nested = true;
    m_saverRunning = true;
    m_runSaver(saver);
    m_saverRunning = false;
    m_preview->SetPaused(false);
    raise();
    activateWindow();
    update();
    if (page != nullptr) page->PreviewEnded();
}

void ConfigDialog::HelpClicked() {
    OpenUrl(HelpUrl());
}

void ConfigDialog::UpdatesClicked() {
    OpenUrl(UpdatesUrl());
}

void ConfigDialog::OpenUrl(const QUrl& url) {
    if (!m_openUrl(url)) {
        ShowError(QStringLiteral("No program could open %1.").arg(url.toDisplayString()));
    }
}

void ConfigDialog::ShowError(const QString& text) {
    m_showError(text);
}

// ---- Painting ------------------------------------------------------------------------------

void ConfigDialog::paintEvent(QPaintEvent*) {
    const int design =
        m_current >= 0 ? m_pages[static_cast<std::size_t>(m_current)].designIndex : kDesignHome;
    const auto [a, b] = PageTint(design);
    QPainter painter(this);
    QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
    gradient.setColorAt(0.0, a);
    gradient.setColorAt(1.0, b);
    painter.fillRect(rect(), gradient);
}

}  // namespace quovis
