// The option pages: Options, Audio, Slideshow and About.
//
// They edit stored options, not the preset, so they read the store once, when the window
// first loads them, and keep what the user changed on them until OK (StoreOptions) even when
// the window loads a new preset into the other pages. OK writes only the values the user
// changed: a value the user never touched keeps whatever stands in the store, including its
// absence, which for some values means "let the program choose".
#include "config_ui/option_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/audio_capture.h"
#include "audio/audio_sync.h"
#include "audio/pulse_capture.h"
#include "base/elapsed_time.h"
#include "base/version.h"
#include "config_ui/bubble_slider.h"
#include "config_ui/config_page.h"
#include "config_ui/field_live.h"
#include "config_ui/option_dialogs.h"
#include "config_ui/pages.h"
#include "engine/draw_wnd.h"
#include "engine/preset_fields.h"
#include "host/display_plan.h"
#include "host/processor_probe.h"
#include "overlay/qt/snapshot.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/pattern_selection.h"

namespace quovis {

namespace {

QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The selectivity slider and "AudioSyncQ" mirror each other about this sum: the slider's
// 50 ("Broad") is a Q of 600, its 600 ("Pinpoint") a Q of 50.
constexpr int kSelectivityMirror = 650;
constexpr int kSelectivitySliderMin = 50;
constexpr int kSelectivitySliderMax = 600;
constexpr int kSensitivitySliderMin = 1;
constexpr int kSensitivitySliderMax = 1200;
// The spectrum view repaints about 30 times a second while it listens.
constexpr int kSpectrumRepaintMs = 33;

const SlideshowSource kSlideshowSources[] = {
    {-1, kSourceCurrentSettings, u"( Current Settings )"},
    {-50, kSourceLibraryNewest, u"( Ravar Idizovu - Newest )"},
    {-51, kSourceLibraryPopular, u"( Ravar Idizovu - Popular )"},
    {-52, kSourceLibraryRandom, u"( Ravar Idizovu - Random )"},
};

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QLineEdit* NumberEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(new QIntValidator(0, INT_MAX, edit));
    edit->setMaximumWidth(64);
    return edit;
}

int EditNumber(const QLineEdit* edit, int fallback) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// An "On" / "Off" pair of radio buttons, exclusive, in a row of their own.
QHBoxLayout* OnOffRow(QWidget* group, QObject* owner, const char* onName, const char* offName,
                      QRadioButton*& on, QRadioButton*& off) {
    on = Named(new QRadioButton(QStringLiteral("On"), group), onName);
    off = Named(new QRadioButton(QStringLiteral("Off"), group), offName);
    auto* switches = new QButtonGroup(owner);
    switches->addButton(on);
    switches->addButton(off);
    auto* row = new QHBoxLayout;
    row->addWidget(on);
    row->addWidget(off);
    row->addStretch(1);
    return row;
}

ScreenSize DeviceSize(const QSize& size, double ratio) {
    return {static_cast<int>(std::lround(size.width() * ratio)),
            static_cast<int>(std::lround(size.height() * ratio))};
}

}  // namespace

// ============================================================================================
// Lines and choices
// ============================================================================================

QStringList MonitorLines(std::span<const ScreenSize> monitors, ScreenSize virtualScreen) {
    QStringList lines;
    int number = 1;
    for (const ScreenSize& m : monitors) {
        lines << QStringLiteral("[%1]  (%2 x %3)").arg(number++).arg(m.width).arg(m.height);
    }
    lines << QStringLiteral("[ALL]  (%1 x %2)").arg(virtualScreen.width).arg(virtualScreen.height);
    return lines;
}

QStringList ResolutionLines(ScreenSize primary) {
    QStringList lines;
    for (const double scale : kResolutionScales) {
        const RenderSize size = RenderSizeFor(primary.width, primary.height, scale);
        lines << QStringLiteral("%1% (%2 x %3)")
                     .arg(std::lround(scale * 100.0))
                     .arg(size.width)
                     .arg(size.height);
    }
    return lines;
}

int MonitorLineFor(int prefMonitor, bool single, int monitorCount) {
    if (!single || prefMonitor == monitorCount) return monitorCount;
    if (prefMonitor < 0 || prefMonitor > monitorCount) return 0;
    return prefMonitor;
}

MonitorChoice MonitorChoiceFor(int line, int monitorCount) {
    if (line >= 0 && line < monitorCount) return {line, true};
    // Spanning: the saver reads either the cleared flag or the preferred monitor one past
    // the last as "all monitors"; both are stored so that neither reading picks one.
    return {monitorCount, false};
}

std::span<const SlideshowSource> SlideshowSources() {
    return kSlideshowSources;
}

int AudioSyncQForSlider(int slider) {
    return kSelectivityMirror - std::clamp(slider, kSelectivitySliderMin, kSelectivitySliderMax);
}

int SliderForAudioSyncQ(int q) {
    return std::clamp(kSelectivityMirror - q, kSelectivitySliderMin, kSelectivitySliderMax);
}

namespace {

// ============================================================================================
// Options
// ============================================================================================

class OptionsPage final : public ConfigPage {
  public:
    OptionsPage(ConfigContext& context, QWidget* parent)
        : ConfigPage(context, QStringLiteral("Options"), kTallArea, parent) {
        setObjectName(QStringLiteral("page2009"));
        Build();
    }

    void Load() override {
        UpdateSavePath();
        if (m_loadedOnce) return;  // the options stay as the user left them
        m_loadedOnce = true;
        ConfigStore& store = Context().Store();
        Values& v = m_loaded;
        v.monitorLine = MonitorLineFor(kConfigPrefMonitor.Read(store),
                                       kConfigSnapshots.Read(store) != 0, m_monitorCount);
        v.resolution = kConfigResolution.Read(store);
        v.fadeType = kConfigFadeType.Read(store);
        v.useGdi = kConfigUseGDI.Read(store);
        v.accuratePreview = kConfigAccuratePreview.Read(store) != 0;
        v.fps = kConfigTargetFPS.Read(store);
        v.clockOn = kConfigClock.Read(store) != 0;
        v.clockStyle = kConfigStyle.Read(store);
        v.titles = kConfigShowTitles.Read(store) != 0;
        v.messages = kConfigMessages.Read(store) != 0;
        v.autoSave = kConfigAutoSave.Read(store) != 0;
        Show(v);
    }

    void StoreOptions() override {
        if (!m_loadedOnce) return;
        ConfigStore& store = Context().Store();
        const Values now = Current();
        Values& was = m_loaded;
        // With one monitor the list is not offered: a choice made on a bigger desk stays.
        if (now.monitorLine != was.monitorLine && m_monitor->isEnabled()) {
            const MonitorChoice choice = MonitorChoiceFor(now.monitorLine, m_monitorCount);
            kConfigPrefMonitor.Write(store, choice.prefMonitor);
            kConfigSnapshots.Write(store, choice.single ? 1 : 0);
        }
        if (now.resolution != was.resolution) kConfigResolution.Write(store, now.resolution);
        if (now.fadeType != was.fadeType) kConfigFadeType.Write(store, now.fadeType);
        if (now.useGdi != was.useGdi) kConfigUseGDI.Write(store, now.useGdi);
        if (now.accuratePreview != was.accuratePreview) {
            kConfigAccuratePreview.Write(store, now.accuratePreview ? 1 : 0);
        }
        if (now.fps != was.fps) kConfigTargetFPS.Write(store, now.fps);
        if (now.clockOn != was.clockOn) kConfigClock.Write(store, now.clockOn ? 1 : 0);
        if (now.clockStyle != was.clockStyle) kConfigStyle.Write(store, now.clockStyle);
        if (now.titles != was.titles) kConfigShowTitles.Write(store, now.titles ? 1 : 0);
        if (now.messages != was.messages) kConfigMessages.Write(store, now.messages ? 1 : 0);
        if (now.autoSave != was.autoSave) kConfigAutoSave.Write(store, now.autoSave ? 1 : 0);
        was = now;
    }

    void EnterPressed(QLineEdit* edit) override {
        if (edit == m_fps) NormaliseFps();
    }

    // A full-screen Preview may have taken snapshots: the next number moved on.
    void Activated(int) override { UpdateSavePath(); }

  private:
    struct Values {
        int monitorLine = 0;
        int resolution = 0;
        int fadeType = 0;
        int useGdi = 0;
        bool accuratePreview = false;
        int fps = 0;
        bool clockOn = false;
        int clockStyle = 0;
        bool titles = false;
        bool messages = false;
        bool autoSave = false;
    };

    void Build() {
        auto* layout = new QVBoxLayout(this);

        auto* system = Named(new QGroupBox(QStringLiteral("System"), this), "groupSystem");
        auto* grid = new QGridLayout(system);
        int row = 0;
        const auto addRow = [&](const QString& label, QWidget* control) {
            auto* caption = new QLabel(label, system);
            caption->setBuddy(control);  // screen readers name the control after its label
            grid->addWidget(caption, row, 0);
            grid->addWidget(control, row, 1, 1, 2);
            ++row;
        };

        std::vector<ScreenSize> monitors;
        for (const QScreen* screen : QGuiApplication::screens()) {
            monitors.push_back(DeviceSize(screen->geometry().size(), screen->devicePixelRatio()));
        }
        m_monitorCount = static_cast<int>(monitors.size());
        const QScreen* primary = QGuiApplication::primaryScreen();
        const double ratio = primary != nullptr ? primary->devicePixelRatio() : 1.0;
        const ScreenSize all = primary != nullptr
                                   ? DeviceSize(primary->virtualGeometry().size(), ratio)
                                   : ScreenSize{};
        const ScreenSize first =
            primary != nullptr ? DeviceSize(primary->geometry().size(), ratio) : ScreenSize{};

        m_monitor = Named(new QComboBox(system), "list3101");
        m_monitor->addItems(MonitorLines(monitors, all));
        m_monitor->setEnabled(m_monitorCount >= 2);
        m_monitor->setToolTip(QStringLiteral(
            "The monitor the art runs on; the others show still pictures of it. ALL spans "
            "every monitor."));
        addRow(QStringLiteral("Active Monitor"), m_monitor);

        m_resolution = Named(new QComboBox(system), "list1104");
        m_resolution->addItems(ResolutionLines(first));
        m_resolution->setToolTip(QStringLiteral(
            "The size the art is rendered at before it is scaled to the screen. Smaller "
            "sizes need less computing power."));
        addRow(QStringLiteral("Resolution"), m_resolution);

        m_transition = Named(new QComboBox(system), "list3102");
        m_transition->addItems({QStringLiteral("Fade In"), QStringLiteral("Reveal"),
                                QStringLiteral("Flip"), QStringLiteral("None (black)")});
        m_transition->setToolTip(
            QStringLiteral("How the still pictures come in on the other monitors."));
        addRow(QStringLiteral("Snapshots"), m_transition);

        m_output = Named(new QComboBox(system), "list3103");
        m_output->addItems({QStringLiteral("Use GDI always"),
                            QStringLiteral("Use OpenGL when scaling"),
                            QStringLiteral("Use OpenGL always")});
        m_output->setToolTip(QStringLiteral(
            "GDI draws the picture with the processor; OpenGL lets the graphics card scale "
            "and show it."));
        addRow(QStringLiteral("OpenGL"), m_output);

        m_accurate =
            Named(new QCheckBox(QStringLiteral("High Accuracy Preview"), system), "check3012");
        grid->addWidget(m_accurate, row++, 0, 1, 3);

        grid->addWidget(new QLabel(QStringLiteral("Limit Frame Rate"), system), row, 0);
        m_fps = NumberEdit("edit999", system);
        m_fps->setAccessibleName(QStringLiteral("Limit Frame Rate (fps)"));
        grid->addWidget(m_fps, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("fps"), system), row, 2);
        ++row;
        grid->setColumnStretch(1, 1);
        connect(m_fps, &QLineEdit::editingFinished, this, [this] { NormaliseFps(); });
        layout->addWidget(system);

        auto* extras = Named(new QGroupBox(QStringLiteral("Extras"), this), "groupExtras");
        auto* ex = new QGridLayout(extras);
        ex->addWidget(new QLabel(QStringLiteral("Show Layers:"), extras), 0, 0);
        m_clock = Named(new QCheckBox(QStringLiteral("Clock"), extras), "check1102");
        m_zodiac = Named(new QCheckBox(QStringLiteral("Zodiac"), extras), "check1103");
        ex->addWidget(m_clock, 0, 1);
        ex->addWidget(m_zodiac, 0, 2);
        m_titles = Named(new QCheckBox(QStringLiteral("Slideshow Titles"), extras), "check3104");
        ex->addWidget(m_titles, 1, 0, 1, 3);
        m_messages = Named(new QCheckBox(QStringLiteral("Show Messages"), extras), "check1101");
        auto* editMessages =
            Named(new QPushButton(QStringLiteral("&Edit Messages..."), extras), "button1106");
        ex->addWidget(m_messages, 2, 0);
        ex->addWidget(editMessages, 2, 1, 1, 2);
        m_autoSave = Named(new QCheckBox(QStringLiteral("Auto Save"), extras), "check3106");
        m_autoSave->setToolTip(QStringLiteral("Save a picture of every slide when it ends."));
        auto* chooseFolder =
            Named(new QPushButton(QStringLiteral("Choose Save Folder..."), extras), "button3108");
        ex->addWidget(m_autoSave, 3, 0);
        ex->addWidget(chooseFolder, 3, 1, 1, 2);
        m_savePath = Named(new QLabel(extras), "labelSavePath");
        m_savePath->setWordWrap(true);
        m_savePath->setTextInteractionFlags(Qt::TextSelectableByMouse);
        ex->addWidget(m_savePath, 4, 0, 1, 3);
        ex->setColumnStretch(2, 1);
        layout->addWidget(extras);
        layout->addStretch(1);

        // Clock and zodiac share one layer: ticking one clears the other.
        connect(m_clock, &QCheckBox::clicked, this, [this](bool on) {
            if (on) m_zodiac->setChecked(false);
            ShowClockLive();
        });
        connect(m_zodiac, &QCheckBox::clicked, this, [this](bool on) {
            if (on) m_clock->setChecked(false);
            ShowClockLive();
        });
        connect(m_messages, &QCheckBox::clicked, this,
                [this](bool on) { Context().Engine().SetMessagesOn(on); });
        connect(editMessages, &QPushButton::clicked, this, [this] {
            if (EditMessages(Context().Store(), Context().Window())) {
                Context().Engine().SetMessages(ReadMessages(Context().Store()));
            }
        });
        connect(chooseFolder, &QPushButton::clicked, this, [this] {
            ChooseAutoSaveFolder(Context().Store(), Context().Window());
            UpdateSavePath();
        });
    }

    void Show(const Values& v) {
        m_monitor->setCurrentIndex(v.monitorLine);
        m_resolution->setCurrentIndex(v.resolution);
        m_transition->setCurrentIndex(v.fadeType);
        m_output->setCurrentIndex(v.useGdi);
        m_accurate->setChecked(v.accuratePreview);
        m_fps->setText(QString::number(v.fps));
        m_clock->setChecked(v.clockOn && v.clockStyle == kClockFaceClock);
        m_zodiac->setChecked(v.clockOn && v.clockStyle == kClockFaceZodiac);
        m_titles->setChecked(v.titles);
        m_messages->setChecked(v.messages);
        m_autoSave->setChecked(v.autoSave);
    }

    Values Current() const {
        Values v;
        v.monitorLine = m_monitor->currentIndex();
        v.resolution = m_resolution->currentIndex();
        v.fadeType = m_transition->currentIndex();
        v.useGdi = m_output->currentIndex();
        v.accuratePreview = m_accurate->isChecked();
        v.fps = kConfigTargetFPS.Checked(EditNumber(m_fps, m_loaded.fps));
        v.clockOn = m_clock->isChecked() || m_zodiac->isChecked();
        // Without a layer the face chosen last is kept for the next time one is shown.
        v.clockStyle = m_zodiac->isChecked()  ? kClockFaceZodiac
                       : m_clock->isChecked() ? kClockFaceClock
                                              : m_loaded.clockStyle;
        v.titles = m_titles->isChecked();
        v.messages = m_messages->isChecked();
        v.autoSave = m_autoSave->isChecked();
        return v;
    }

    // The edit shows the rate that will be kept.
    void NormaliseFps() {
        m_fps->setText(QString::number(kConfigTargetFPS.Checked(EditNumber(m_fps, m_loaded.fps))));
    }

    void ShowClockLive() {
        ClockLayer clock = Context().Engine().Clock();
        clock.on = m_clock->isChecked() || m_zodiac->isChecked();
        clock.face = m_zodiac->isChecked() ? kClockFaceZodiac : kClockFaceClock;
        Context().Engine().SetClock(clock);
    }

    void UpdateSavePath() {
        const QString path =
            NextSnapshotPath(Context().Store(), QString::fromStdU16String(PicturesFolder()));
        m_savePath->setText(QStringLiteral("Pictures go to: ") + path);
        m_savePath->setToolTip(path);
    }

    bool m_loadedOnce = false;
    int m_monitorCount = 0;
    Values m_loaded;
    QComboBox* m_monitor = nullptr;
    QComboBox* m_resolution = nullptr;
    QComboBox* m_transition = nullptr;
    QComboBox* m_output = nullptr;
    QCheckBox* m_accurate = nullptr;
    QLineEdit* m_fps = nullptr;
    QCheckBox* m_clock = nullptr;
    QCheckBox* m_zodiac = nullptr;
    QCheckBox* m_titles = nullptr;
    QCheckBox* m_messages = nullptr;
    QCheckBox* m_autoSave = nullptr;
    QLabel* m_savePath = nullptr;
};

// ============================================================================================
// Audio
// ============================================================================================

// The bands as bars, painted from the listening analysis; the backdrop alone while nothing
// listens.
class SpectrumView final : public QWidget {
  public:
    explicit SpectrumView(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("spectrumView"));
        setMinimumSize(140, 60);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void SetSource(const AudioSync* sync) {
        m_sync = sync;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        // Painted thirty times a second while listening: the image is made once per size.
        if (m_image.size() != size()) m_image = QImage(size(), QImage::Format_RGB32);
        m_image.fill(QColor(0, 0, 40));
        if (m_sync != nullptr && m_image.width() > 0 && m_image.height() > 0) {
            m_sync->PaintSpectrum(reinterpret_cast<uint32_t*>(m_image.bits()), m_image.width(),
                                  m_image.height(), m_image.bytesPerLine() / 4);
        }
        QPainter(this).drawImage(0, 0, m_image);
    }

  private:
    const AudioSync* m_sync = nullptr;
    QImage m_image;
};

// One listening: the capture, opened on a thread of its own (a sound server that does not
// answer must not hold up the window), and the analysis it feeds once the page has it.
struct Listening {
    PulseCapture capture;
    std::atomic<AudioSync*> sync{nullptr};
};

class AudioPage final : public ConfigPage {
  public:
    AudioPage(ConfigContext& context, QWidget* parent)
        : ConfigPage(context, QStringLiteral("Audio"), kTallArea, parent) {
        setObjectName(QStringLiteral("page2017"));
        Build();
    }

    // The preview engine may be gone by now: the analysis lets go of it without restoring it.
    ~AudioPage() override { StopListening(false); }

    void Load() override {
        if (m_loadedOnce) return;
        m_loadedOnce = true;
        ConfigStore& store = Context().Store();
        m_loaded.on = kConfigAudioSync.Read(store) != 0;
        m_loaded.sensitivity = std::clamp(
            kConfigAudioSyncSensitivity.ReadOr(store, kAudioSyncSensitivityWindowDefault),
            kSensitivitySliderMin, kSensitivitySliderMax);
        m_loaded.selectivity = SliderForAudioSyncQ(kConfigAudioSyncQ.Read(store));
        (m_loaded.on ? m_on : m_off)->setChecked(true);
        m_sensitivity->setValue(m_loaded.sensitivity);
        m_selectivity->setValue(m_loaded.selectivity);
        FollowSwitch();
    }

    void StoreOptions() override {
        if (!m_loadedOnce) return;
        ConfigStore& store = Context().Store();
        const bool on = m_on->isChecked();
        if (on != m_loaded.on) kConfigAudioSync.Write(store, on ? 1 : 0);
        if (m_sensitivity->value() != m_loaded.sensitivity) {
            kConfigAudioSyncSensitivity.Write(store, m_sensitivity->value());
        }
        if (m_selectivity->value() != m_loaded.selectivity) {
            kConfigAudioSyncQ.Write(store, AudioSyncQForSlider(m_selectivity->value()));
        }
        m_loaded = {on, m_sensitivity->value(), m_selectivity->value()};
    }

    // The full-screen preview listens for itself.
    void PreviewStarting() override {
        m_previewRunning = true;
        FollowSwitch();
    }
    void PreviewEnded() override {
        m_previewRunning = false;
        FollowSwitch();
    }

  protected:
    void showEvent(QShowEvent* event) override {
        ConfigPage::showEvent(event);
        FollowSwitch();
    }
    void hideEvent(QHideEvent* event) override {
        ConfigPage::hideEvent(event);
        FollowSwitch();
    }

  private:
    struct Values {
        bool on = false;
        int sensitivity = 0;
        int selectivity = 0;
    };

    void Build() {
        auto* layout = new QVBoxLayout(this);
        auto* group = Named(new QGroupBox(QStringLiteral("Audio Sync"), this), "groupAudioSync");
        auto* grid = new QGridLayout(group);

        grid->addLayout(OnOffRow(group, this, "radio1143", "radio1144", m_on, m_off), 0, 0, 1, 3);

        m_sensitivity = Named(new BubbleSlider(group), "slider1129");
        m_sensitivity->setAccessibleName(QStringLiteral("Sensitivity"));
        m_sensitivity->setRange(kSensitivitySliderMin, kSensitivitySliderMax);
        m_sensitivity->setPageStep(50);
        grid->addWidget(new QLabel(QStringLiteral("Less Sensitive"), group), 1, 0);
        grid->addWidget(m_sensitivity, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("Quite Touchy"), group), 1, 2);

        m_selectivity = Named(new BubbleSlider(group), "slider3130");
        m_selectivity->setAccessibleName(QStringLiteral("Selectivity"));
        m_selectivity->setRange(kSelectivitySliderMin, kSelectivitySliderMax);
        m_selectivity->setPageStep(25);
        grid->addWidget(new QLabel(QStringLiteral("Selectivity"), group), 2, 0, 1, 3);
        grid->addWidget(new QLabel(QStringLiteral("Broad"), group), 3, 0);
        grid->addWidget(m_selectivity, 3, 1);
        grid->addWidget(new QLabel(QStringLiteral("Pinpoint"), group), 3, 2);
        grid->setColumnStretch(1, 1);

        m_view = new SpectrumView(group);
        grid->addWidget(m_view, 4, 0, 1, 3);
        m_status = Named(new QLabel(group), "label3093");
        m_status->setWordWrap(true);
        m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(m_status, 5, 0, 1, 3);

        auto* devices = Named(new QPushButton(QStringLiteral("Devices..."), group), "button3109");
        auto* deviceRow = new QHBoxLayout;
        deviceRow->addWidget(devices);
        deviceRow->addStretch(1);
        grid->addLayout(deviceRow, 6, 0, 1, 3);

        auto* about =
            Named(WrappedLabel(
                      QStringLiteral(
                          "With Audio Sync on, Quovis listens to what your computer plays and lets "
                          "the music steer the pattern: loudness and the balance of high and low "
                          "sounds set the colours, beats turn the pattern, and the motion follows "
                          "the bands of the spectrum. Sensitivity sets how strongly the pattern "
                          "reacts; Selectivity how narrow the bands are that each setting follows. "
                          "After 20 seconds of silence the pattern dreams on by itself."),
                      group),
                  "label3097");
        grid->addWidget(about, 7, 0, 1, 3);
        layout->addWidget(group);
        layout->addStretch(1);

        connect(m_on, &QRadioButton::toggled, this, [this] { FollowSwitch(); });
        connect(m_sensitivity, &QAbstractSlider::valueChanged, this, [this](int value) {
            if (m_sync) m_sync->SetSensitivity(static_cast<float>(value / 1000.0));
        });
        connect(m_selectivity, &QAbstractSlider::valueChanged, this, [this](int value) {
            if (m_sync)
                m_sync->SetSelectivity(static_cast<float>(AudioSyncQForSlider(value) / 100.0));
        });
        connect(devices, &QPushButton::clicked, this, [this] { OpenDevices(); });

        m_repaint = new QTimer(this);
        m_repaint->setInterval(kSpectrumRepaintMs);
        connect(m_repaint, &QTimer::timeout, this, [this] {
            m_view->update();
            if (m_listening && !m_opening) {
                const std::string error = m_listening->capture.LastError();
                if (!error.empty())
                    ShowStatus(QStringLiteral("Audio stopped: ") + QString::fromStdString(error));
            }
        });
        ShowStatus(QString());
    }

    // Listens exactly while the page shows with Audio Sync on and no full-screen preview runs.
    void FollowSwitch() {
        const bool wanted = m_loadedOnce && isVisible() && m_on->isChecked() && !m_previewRunning;
        if (wanted && !m_listening) StartListening();
        if (!wanted && m_listening) StopListening();
        if (!m_listening) {
            ShowStatus(m_on->isChecked()
                           ? QStringLiteral("Audio Sync is on. The full-screen saver listens "
                                            "while it runs.")
                           : QStringLiteral("Audio Sync is off."));
        }
    }

    void StartListening() {
        auto listening = std::make_shared<Listening>();
        m_listening = listening;
        m_opening = true;
        ShowStatus(QStringLiteral("Connecting to the sound server..."));
        const std::string source =
            QString::fromStdU16String(kConfigAudioSource.Read(Context().Store())).toStdString();
        QPointer<AudioPage> page(this);
        std::thread([listening, source, page] {
            SystemClock* clock = &SystemClock::Instance();
            Listening* raw = listening.get();
            const bool opened = listening->capture.Open(
                                    [raw, clock](const int16_t* frames, int count) {
                                        if (AudioSync* sync = raw->sync.load()) {
                                            sync->OnBlock(frames, count, clock->Milliseconds());
                                        }
                                    },
                                    source) &&
                                listening->capture.QueueBuffers(kCaptureMaxBuffers);
            const std::string error = opened ? std::string() : listening->capture.LastError();
            QCoreApplication* app = QCoreApplication::instance();
            if (app == nullptr) return;
            QMetaObject::invokeMethod(
                app,
                [listening, page, opened, error] {
                    if (page) {
                        page->Opened(listening, opened, error);
                    } else {
                        listening->capture.Close();
                    }
                },
                Qt::QueuedConnection);
        }).detach();
    }

    void Opened(const std::shared_ptr<Listening>& listening, bool opened,
                const std::string& error) {
        if (listening != m_listening) {  // stopped meanwhile
            listening->capture.Close();
            return;
        }
        m_opening = false;
        if (!opened) {
            listening->capture.Close();
            m_listening.reset();
            ShowStatus(QStringLiteral("Audio is not available: ") +
                       QString::fromStdString(error.empty() ? "no sound server answered" : error));
            return;
        }
        ConfigStore& store = Context().Store();
        AudioSyncSettings settings;
        settings.sensitivity = static_cast<float>(m_sensitivity->value() / 1000.0);
        settings.selectivity =
            static_cast<float>(AudioSyncQForSlider(m_selectivity->value()) / 100.0);
        for (int i = 0; i < kAudioStats; ++i) {
            float& stat = settings.stats[static_cast<std::size_t>(i)];
            stat = static_cast<float>(kAudioStat.ReadOr(store, i, stat));
        }
        settings.agc = static_cast<float>(kAudioAGC.Read(store));
        settings.seed = Context().Engine().RandomInteger();
        // The preview follows the music as the saver would, so the sliders can be judged.
        SystemClock* clock = &SystemClock::Instance();
        m_sync = std::make_unique<AudioSync>(Context().Engine(), settings, nullptr,
                                             [clock] { return clock->Milliseconds(); });
        listening->sync.store(m_sync.get());
        if (!listening->capture.Start()) {
            const std::string why = listening->capture.LastError();
            StopListening();
            ShowStatus(QStringLiteral("Audio is not available: ") + QString::fromStdString(why));
            return;
        }
        m_view->SetSource(m_sync.get());
        m_repaint->start();
        const std::string current = listening->capture.CurrentSource();
        ShowStatus(QStringLiteral("Listening to ") + (current.empty()
                                                          ? QStringLiteral("the sound server")
                                                          : QString::fromStdString(current)));
    }

    void StopListening(bool restorePreview = true) {
        m_repaint->stop();
        m_view->SetSource(nullptr);
        const std::shared_ptr<Listening> listening = std::move(m_listening);
        m_listening.reset();
        if (listening == nullptr) return;
        if (m_opening) {
            // The opening thread still holds the capture; its report closes it.
            m_opening = false;
            return;
        }
        listening->capture.Close();  // no block arrives after this
        listening->sync.store(nullptr);
        if (m_sync == nullptr) return;
        m_sync.reset();
        if (restorePreview) RestorePreview();
    }

    // The music moved colour, motion and style parameters of the preview; it takes the
    // preset's own values again.
    void RestorePreview() {
        // Any one style parameter sends them all.
        static constexpr std::string_view kDriven[] = {
            "ColorBright", "Pastels",      "PointMagnitude", "Viscosity",
            "Activity",    "Confinement",  "InfluenceRange", "Pace",
            "Turbulence",  "ShineGlitter", "Param1"};
        for (const std::string_view name : kDriven) {
            if (const PresetField* field = FindPresetField(name)) {
                ApplyFieldLive(Context().Engine(), *field, Context().Settings());
            }
        }
    }

    void OpenDevices() {
        const QString panel = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
        if (!panel.isEmpty() && QProcess::startDetached(panel, {})) return;
        QMessageBox::information(
            Context().Window(), QStringLiteral("Audio Devices"),
            QStringLiteral(
                "No sound control panel was found (Quovis opens pavucontrol when it is "
                "installed: sudo apt install pavucontrol).\n\n"
                "Audio Sync listens to what your speakers or headphones play, and follows the "
                "output you switch to. To listen to a microphone or a line input instead, "
                "store the sound server's name of that source:\n\n"
                "    quovis-tool config set Config AudioSource text NAME\n\n"
                "\"pactl list short sources\" lists the names. To listen to the speakers "
                "again:\n\n"
                "    quovis-tool config delete Config AudioSource"));
    }

    void ShowStatus(const QString& text) { m_status->setText(text); }

    bool m_loadedOnce = false;
    bool m_previewRunning = false;
    bool m_opening = false;
    Values m_loaded;
    QRadioButton* m_on = nullptr;
    QRadioButton* m_off = nullptr;
    BubbleSlider* m_sensitivity = nullptr;
    BubbleSlider* m_selectivity = nullptr;
    SpectrumView* m_view = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_repaint = nullptr;
    std::shared_ptr<Listening> m_listening;
    std::unique_ptr<AudioSync> m_sync;
};

// ============================================================================================
// Slideshow
// ============================================================================================

class SlideshowPage final : public ConfigPage {
  public:
    SlideshowPage(ConfigContext& context, QWidget* parent)
        : ConfigPage(context, QStringLiteral("Slideshow"), kTallArea | kSlideshowPage, parent) {
        setObjectName(QStringLiteral("page2006"));
        Build();
    }

    void Load() override {
        if (m_loadedOnce) {
            // Favorites may have been added or removed meanwhile: the list follows them and
            // keeps what the user selected.
            FillList(SelectedData(), AllSelected());
            return;
        }
        m_loadedOnce = true;
        ConfigStore& store = Context().Store();
        m_loaded.on = kConfigRandom.Read(store) != 0;
        m_loaded.deviations = kConfigDeviations.Read(store);
        ReadTimes();
        (m_loaded.on ? m_on : m_off)->setChecked(true);
        m_deviations->setText(QString::number(m_loaded.deviations));
        const SlideshowSelection stored = RestoreSlideshowSelection(store, CountFavorites(store));
        std::set<int> selected(stored.favoriteSlots.begin(), stored.favoriteSlots.end());
        for (const SlideshowSource& source : SlideshowSources()) {
            if ((stored.sourceBits & source.sourceBit) != 0) selected.insert(source.itemData);
        }
        FillList(selected, false);
        for (int i = 0; i < m_list->count(); ++i) {
            if (m_list->item(i)->isSelected()) {
                m_list->scrollToItem(m_list->item(i));
                break;
            }
        }
    }

    // The window may have added or removed favorites meanwhile, and the pop-up messages
    // dialog edits the same times: show what it stored, unless the user already typed other
    // times here.
    void Activated(int) override {
        if (!m_loadedOnce) return;
        FillList(SelectedData(), AllSelected());
        if (EditNumber(m_minTime, -1) == m_loaded.minTime &&
            EditNumber(m_maxTime, -1) == m_loaded.maxTime) {
            ReadTimes();
        }
    }

    // Enter shows the numbers as they will be kept.
    void EnterPressed(QLineEdit* edit) override {
        if (edit == m_deviations) {
            m_deviations->setText(QString::number(
                kConfigDeviations.Checked(EditNumber(m_deviations, m_loaded.deviations))));
        } else if (edit == m_minTime || edit == m_maxTime) {
            int minTime = EditNumber(m_minTime, m_loaded.minTime);
            int maxTime = EditNumber(m_maxTime, m_loaded.maxTime);
            LimitSlideTimes(minTime, maxTime);
            m_minTime->setText(QString::number(minTime));
            m_maxTime->setText(QString::number(maxTime));
        }
    }

    void StoreOptions() override {
        if (!m_loadedOnce) return;
        ConfigStore& store = Context().Store();
        const bool on = m_on->isChecked();
        if (on != m_loaded.on) kConfigRandom.Write(store, on ? 1 : 0);
        const int deviations =
            kConfigDeviations.Checked(EditNumber(m_deviations, m_loaded.deviations));
        if (deviations != m_loaded.deviations) kConfigDeviations.Write(store, deviations);
        m_deviations->setText(QString::number(deviations));
        int minTime = EditNumber(m_minTime, m_loaded.minTime);
        int maxTime = EditNumber(m_maxTime, m_loaded.maxTime);
        LimitSlideTimes(minTime, maxTime);
        if (minTime != m_loaded.minTime || maxTime != m_loaded.maxTime) {
            kMessagesMinTime.Write(store, minTime);
            kMessagesMaxTime.Write(store, maxTime);
        }
        m_minTime->setText(QString::number(minTime));
        m_maxTime->setText(QString::number(maxTime));

        SlideshowSelection selection;
        for (const int data : SelectedData()) {
            if (data >= 0) {
                selection.favoriteSlots.push_back(data);
                continue;
            }
            for (const SlideshowSource& source : SlideshowSources()) {
                if (source.itemData == data) selection.sourceBits |= source.sourceBit;
            }
        }
        SaveSlideshowSelection(store, CountFavorites(store), selection);
        m_loaded = {on, deviations, minTime, maxTime};
    }

  private:
    struct Values {
        bool on = false;
        int deviations = 0;
        int minTime = 0;
        int maxTime = 0;
    };

    void Build() {
        auto* layout = new QVBoxLayout(this);
        auto* group =
            Named(new QGroupBox(QStringLiteral("Random Slideshow"), this), "groupSlideshow");
        auto* grid = new QGridLayout(group);
        grid->addLayout(OnOffRow(group, this, "radio1020", "radio1021", m_on, m_off), 0, 0, 1, 4);

        grid->addWidget(WrappedLabel(QStringLiteral("Favorites in the slideshow (click to select "
                                                    "or deselect; none selected means all):"),
                                     group),
                        1, 0, 1, 4);
        m_list = Named(new QListWidget(group), "list1075");
        m_list->setAccessibleName(QStringLiteral("Favorites in the slideshow"));
        m_list->setSelectionMode(QAbstractItemView::MultiSelection);
        m_list->setMinimumHeight(140);
        grid->addWidget(m_list, 2, 0, 1, 3);
        auto* all = Named(new QPushButton(QStringLiteral("All"), group), "button1106");
        grid->addWidget(all, 2, 3, Qt::AlignTop);

        grid->addWidget(new QLabel(QStringLiteral("Variation from original (evolutions)"), group),
                        3, 0);
        m_deviations = NumberEdit("edit3092", group);
        m_deviations->setAccessibleName(QStringLiteral("Variation from original (evolutions)"));
        grid->addWidget(m_deviations, 3, 1);

        grid->addWidget(new QLabel(QStringLiteral("Time between slides (seconds)"), group), 4, 0);
        auto* timeRow = new QHBoxLayout;
        m_minTime = NumberEdit("edit1076", group);
        m_maxTime = NumberEdit("edit1077", group);
        m_minTime->setAccessibleName(QStringLiteral("Shortest time between slides (seconds)"));
        m_maxTime->setAccessibleName(QStringLiteral("Longest time between slides (seconds)"));
        timeRow->addWidget(m_minTime);
        timeRow->addWidget(new QLabel(QStringLiteral("to"), group));
        timeRow->addWidget(m_maxTime);
        timeRow->addStretch(1);
        grid->addLayout(timeRow, 4, 1, 1, 3);
        grid->setColumnStretch(2, 1);
        layout->addWidget(group, 1);

        connect(all, &QPushButton::clicked, m_list, &QListWidget::selectAll);
    }

    void ReadTimes() {
        ConfigStore& store = Context().Store();
        m_loaded.minTime = kMessagesMinTime.Read(store);
        m_loaded.maxTime = kMessagesMaxTime.Read(store);
        LimitSlideTimes(m_loaded.minTime, m_loaded.maxTime);
        m_minTime->setText(QString::number(m_loaded.minTime));
        m_maxTime->setText(QString::number(m_loaded.maxTime));
    }

    std::set<int> SelectedData() const {
        std::set<int> data;
        for (const QListWidgetItem* item : m_list->selectedItems()) {
            data.insert(item->data(Qt::UserRole).toInt());
        }
        return data;
    }

    bool AllSelected() const {
        return m_list->count() > 0 && m_list->selectedItems().size() == m_list->count();
    }

    // The special entries first, then the favorites by name. With everything selected
    // before, favorites new to the list join the selection.
    void FillList(const std::set<int>& selected, bool selectNew) {
        std::set<int> known;
        for (int i = 0; i < m_list->count(); ++i) {
            known.insert(m_list->item(i)->data(Qt::UserRole).toInt());
        }
        m_list->clear();
        const auto add = [&](const QString& text, int data) {
            auto* item = new QListWidgetItem(text, m_list);
            item->setData(Qt::UserRole, data);
            const bool isNew = known.count(data) == 0;
            item->setSelected(selected.count(data) != 0 || (selectNew && isNew));
        };
        for (const SlideshowSource& source : SlideshowSources()) {
            add(QString::fromUtf16(source.text), source.itemData);
        }
        std::vector<std::pair<QString, int>> favorites;
        for (const FavoriteEntry& entry : ListFavorites(Context().Store())) {
            favorites.emplace_back(FromU16(FavoriteDisplayName(entry.record)), entry.slot);
        }
        std::stable_sort(favorites.begin(), favorites.end(), [](const auto& a, const auto& b) {
            return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
        });
        for (const auto& [name, slot] : favorites) add(name, slot);
    }

    bool m_loadedOnce = false;
    Values m_loaded;
    QRadioButton* m_on = nullptr;
    QRadioButton* m_off = nullptr;
    QListWidget* m_list = nullptr;
    QLineEdit* m_deviations = nullptr;
    QLineEdit* m_minTime = nullptr;
    QLineEdit* m_maxTime = nullptr;
};

// ============================================================================================
// About
// ============================================================================================

constexpr const char* kLicenceText =
    "Quovis is free to use, copy and give away, at home and at work, for as long as you "
    "like. You may not sell it or pass it off as your own.\n\n"
    "Quovis comes with no warranty of any kind: it is provided as it is, and neither its "
    "makers nor anyone who passes it on is liable for any harm or loss that comes from "
    "using it.\n\n"
    "The presets you make are yours. Presets you share through the library may be shown to, "
    "used and changed by everyone who uses Quovis, with your handle and location kept on "
    "them.";

class AboutPage final : public ConfigPage {
  public:
    AboutPage(ConfigContext& context, QWidget* parent)
        : ConfigPage(context, QStringLiteral("About"), kNoTab | kTallArea, parent) {
        setObjectName(QStringLiteral("page2014"));
        auto* layout = new QVBoxLayout(this);
        auto* title = Named(new QLabel(FromU16(kProductName), this), "labelTitle");
        QFont big = title->font();
        big.setPointSizeF(big.pointSizeF() * 2.2);
        big.setBold(true);
        title->setFont(big);
        layout->addWidget(title);
        layout->addWidget(Named(
            new QLabel(QStringLiteral("Version ") + FromU16(kVersionText), this), "labelVersion"));
        layout->addWidget(Named(
            WrappedLabel(
                QStringLiteral(
                    "Generative light art for your screen. Up to 144,000 dots are launched by "
                    "one of 30 pattern styles and carried by a flow field of wandering "
                    "movers; each dot is tinted by the direction it moves in, and their "
                    "trails of light build up and slowly fade."),
                this),
            "labelDescription"));
        layout->addWidget(
            Named(WrappedLabel(
                      QStringLiteral(
                          "The slideshow moves between your favorites and lets each one evolve a "
                          "little, so a pattern never looks quite the same twice. Music can steer "
                          "the art, messages can form out of the dots, and F12 saves the picture "
                          "on screen together with a settings file that recreates it."),
                      this),
                  "labelDescription2"));
        layout->addWidget(
            Named(WrappedLabel(QStringLiteral("My Quovis: the handle and location that go with the "
                                              "favorites you make and the presets you share."),
                               this),
                  "labelMyQuovis"));

        auto* buttons = new QHBoxLayout;
        auto* mine = Named(new QPushButton(QStringLiteral("My Quovis"), this), "button1108");
        auto* site = Named(new QPushButton(QStringLiteral("Web Site..."), this), "button1106");
        site->setToolTip(FromU16(kMakerLocation));
        auto* licence =
            Named(new QPushButton(QStringLiteral("License Agreement"), this), "button1099");
        buttons->addWidget(mine);
        buttons->addWidget(site);
        buttons->addWidget(licence);
        buttons->addStretch(1);
        layout->addLayout(buttons);
        layout->addStretch(1);

        connect(mine, &QPushButton::clicked, this,
                [this] { EditPersonalDetails(Context().Store(), Context().Window()); });
        connect(site, &QPushButton::clicked, this,
                [] { QDesktopServices::openUrl(QUrl(FromU16(kMakerLocation))); });
        connect(licence, &QPushButton::clicked, this, [this] {
            QMessageBox::information(Context().Window(), QStringLiteral("License Agreement"),
                                     QString::fromUtf8(kLicenceText));
        });
    }

    void Load() override {}
};

}  // namespace

ConfigPage* CreateOptionsPage(ConfigContext& context, QWidget* parent) {
    return new OptionsPage(context, parent);
}

ConfigPage* CreateAudioPage(ConfigContext& context, QWidget* parent) {
    return new AudioPage(context, parent);
}

ConfigPage* CreateSlideshowPage(ConfigContext& context, QWidget* parent) {
    return new SlideshowPage(context, parent);
}

ConfigPage* CreateAboutPage(ConfigContext& context, QWidget* parent) {
    return new AboutPage(context, parent);
}

}  // namespace quovis
