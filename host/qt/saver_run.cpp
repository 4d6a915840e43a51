#include "host/qt/saver_run.h"

#include <QtGui/qguiapplication_platform.h>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QLockFile>
#include <QtCore/QStandardPaths>
#include <QtCore/QThread>
#include <QtCore/QUrl>
#include <QtGui/QDesktopServices>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QPixmap>
#include <QtGui/QScreen>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/audio_sync.h"
#include "audio/pulse_capture.h"
#include "base/elapsed_time.h"
#include "base/version.h"
#include "host/cpu_usage.h"
#include "host/display_plan.h"
#include "host/frame_driver.h"
#include "host/frame_pacer.h"
#include "host/processor_probe.h"
#include "host/qt/saver_window.h"
#include "host/qt/secondary_window.h"
#include "host/qt/text_view.h"
#include "library/slideshow_library.h"
#include "overlay/qt/art_overlay.h"
#include "overlay/qt/snapshot.h"
#include "overlay/snapshot_naming.h"
#include "present/presented_draw_wnd.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/pattern_selection.h"
#include "settings/preset_apply.h"
#include "settings/preset_mutation.h"

namespace quovis {

namespace {

std::atomic<bool> g_stopRequested{false};
std::atomic<int> g_stopSignal{0};  // the signal that asked the saver to stop, 0 for none

extern "C" void OnStopSignal(int signal) {
    g_stopSignal.store(signal, std::memory_order_relaxed);
    g_stopRequested.store(true, std::memory_order_relaxed);
}

// SIGTERM and SIGINT end the saver's loop while it runs; afterwards whatever handled them
// before is back. A saver run from inside another window's loop (the configuration window's
// Preview) must not leave its handler behind: the window would then ignore both signals.
class StopSignals {
  public:
    StopSignals() {
        g_stopRequested.store(false, std::memory_order_relaxed);
        g_stopSignal.store(0, std::memory_order_relaxed);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigaction(SIGTERM, &action, &m_oldTerm);
        sigaction(SIGINT, &action, &m_oldInt);
    }
    ~StopSignals() {
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        sigaction(SIGINT, &m_oldInt, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    struct sigaction m_oldTerm {};
    struct sigaction m_oldInt {};
};

// A full-screen saver puts itself back on top this often, in case another window covered it.
constexpr qint64 kOnTopMs = 2000;
// How often a keyboard and pointer grab that failed is tried again.
constexpr qint64 kGrabRetryMs = 100;

// The tone curves F5 steps through: identity, brighter midtones, more contrast.
constexpr double kTonePresets[3][2] = {{0.5, 1.0}, {8.0, 0.7}, {0.3, 2.0}};

// Puts the engine's frame into the saver window.
class WindowOutput final : public FrameOutput {
  public:
    explicit WindowOutput(SaverWindow*& window) : m_window(window) {}
    void Present(CDrawWnd& engine) override {
        auto* presented = static_cast<PresentedDrawWnd*>(&engine);
        CFlipperGDI32* flipper = presented->Flipper();
        if (flipper == nullptr || m_window == nullptr) return;
        flipper->ConvertToDisplay();
        m_window->Present(flipper->DisplayPixels(), flipper->Width(), flipper->Height(),
                          flipper->IsInverted());
        if (m_slideshow) WatchForDullPicture(engine, *flipper);
    }
    // With the slideshow on, a slide whose picture stays black or washed out ends early.
    void SetSlideshow(bool on) { m_slideshow = on; }
    bool UsesOpenGL() const override {
        return m_window != nullptr && m_window->Path() == OutputPath::OpenGL;
    }

  private:
    // A look every kLookFrames frames at every kLookStride-th pixel is plenty to tell a dull
    // picture from a lit one, and costs next to nothing.
    static constexpr int kLookFrames = 15;
    static constexpr std::size_t kLookStride = 7;

    void WatchForDullPicture(CDrawWnd& engine, const CFlipperGDI32& flipper) {
        if (engine.PatternPhase() != CDrawWnd::kPhaseRunning) {
            m_slideEnding = true;
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_slideEnding) {  // a new slide (or the first one) has begun
            m_slideEnding = false;
            m_watch.SlideStarted();
            m_lastLook = now;
            m_framesSinceLook = 0;
            return;
        }
        if (++m_framesSinceLook < kLookFrames) return;
        m_framesSinceLook = 0;
        // A machine that stalled (or slept) must not count the pause as a dull picture.
        const double seconds =
            std::min(1.0, std::chrono::duration<double>(now - m_lastLook).count());
        m_lastLook = now;
        const std::size_t pixels =
            static_cast<std::size_t>(flipper.Width()) * static_cast<std::size_t>(flipper.Height());
        double percent = MeanLumaPercent(flipper.DisplayPixels(), pixels, kLookStride);
        if (flipper.IsInverted()) percent = 100.0 - percent;
        if (m_watch.Look(percent, seconds)) {
            engine.RequestSlideChange();
            m_slideEnding = true;
        }
    }

    SaverWindow*& m_window;
    bool m_slideshow = false;
    DullPictureWatch m_watch;
    bool m_slideEnding = true;
    int m_framesSinceLook = 0;
    std::chrono::steady_clock::time_point m_lastLook{};
};

// What the frame step draws besides the dots: letters and the clock layer, and the desktop
// picture the full-screen saver starts over, fading to black before the art begins.
class SaverOverlay final : public ArtOverlay {
  public:
    SaverOverlay(SaverWindow*& window, const LetterFont& font)
        : ArtOverlay(font), m_window(window) {}
    void SetDesktop(QImage desktop) { m_desktop = std::move(desktop); }
    bool HasDesktop() const { return !m_desktop.isNull(); }
    bool ShowStartImage(CDrawWnd&, double alpha) override {
        if (m_window == nullptr || m_desktop.isNull()) return false;
        m_window->PresentStartImage(m_desktop, alpha);
        if (alpha <= 0.0) m_desktop = QImage();  // done with it
        return true;
    }

  private:
    SaverWindow*& m_window;
    QImage m_desktop;
};

// The slideshow's choice, with the audio drive told of every new preset: it steers around
// the values the preset brought, not those of the first one.
class AudioAwareSelector final : public PatternSelector {
  public:
    AudioAwareSelector(PatternSelector& selector, std::unique_ptr<AudioSync>& audio)
        : m_selector(selector), m_audio(audio) {}
    bool SelectNext(CDrawWnd& engine) override { return Rebased(m_selector.SelectNext(engine)); }
    bool NavigateHistory(CDrawWnd& engine, int direction) override {
        return Rebased(m_selector.NavigateHistory(engine, direction));
    }
    bool HasHistory(int direction) const override { return m_selector.HasHistory(direction); }

  private:
    bool Rebased(bool changed) {
        if (changed && m_audio != nullptr) m_audio->Rebase();
        return changed;
    }
    PatternSelector& m_selector;
    std::unique_ptr<AudioSync>& m_audio;
};

struct ForeignGeometry {
    bool exists = false;
    int width = 0;
    int height = 0;
};

// The size of a window of another program, asked of the X server directly: Qt does not
// follow foreign windows, and a window that is gone means the host wants the saver to end.
ForeignGeometry QueryForeignWindow(uint64_t id) {
    ForeignGeometry g;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return g;
    xcb_connection_t* c = x11->connection();
    if (xcb_connection_has_error(c) != 0) return g;
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* reply =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, static_cast<xcb_window_t>(id)), &error);
    if (reply != nullptr) {
        g.exists = true;
        g.width = reply->width;
        g.height = reply->height;
    }
    free(reply);
    free(error);
    return g;
}

class SaverSession {
  public:
    explicit SaverSession(const SaverRunOptions& options)
        : m_options(options),
          m_store(ProcessConfigStore()),
          m_engine(m_clock),
          m_library(MakeSlideshowLibrary(m_store)),
          m_selection(m_store, PresetApplyHost{&m_text, &m_store}, m_library.get()),
          m_snapshots(m_store, &m_text),
          m_pacing(ReadPacingConfig(m_store)),
          m_slowDown(m_pacing),
          m_pacer(m_pacing, SteadyPacingClock::Instance(), m_usage, m_slowDown),
          m_output(m_window),
          m_driver(m_engine, m_pacer, &m_output, &m_text) {}

    int Run();

  private:
    bool OpenWindows();
    void OpenTextWindow(QScreen* own);
    void ReadOverlaySettings();
    bool SetUpDisplay();
    void StartAudioSync();
    void StopAudioSync();
    void OnInput(const SaverInputResult& r);
    void Evolve();
    bool FollowHostWindow();
    void FitToHostWindow(const ForeignGeometry& g);
    double ConfiguredRenderScale();
    DisplayPlan PlanFor(const ForeignGeometry& host) const;
    void KeepOnTop();

    SaverRunOptions m_options;
    ConfigStore& m_store;
    SystemClock m_clock;
    PresentedDrawWnd m_engine;
    TextWindow m_text;
    // The library lists of the slideshow; only when it takes any (before the selection,
    // which uses it).
    std::unique_ptr<SlideshowLibrary> m_library;
    PatternSelection m_selection;
    SnapshotTaker m_snapshots;
    PacingConfig m_pacing;
    CpuUsageMeter m_usage;
    SlowDown m_slowDown;
    FramePacerImpl m_pacer;
    SaverWindow* m_window = nullptr;  // the main window, for the output
    WindowOutput m_output;
    SaverOverlay m_overlay{m_window, ReadLetterFont(m_store)};
    FrameDriver m_driver;
    std::unique_ptr<SaverWindow> m_main;
    std::unique_ptr<TextOverlayWindow> m_textWindow;
    std::unique_ptr<FrameTextView> m_frameText;
    std::vector<std::unique_ptr<SecondaryWindow>> m_secondary;  // before the engine goes
    std::unique_ptr<AudioSync> m_audio;  // music steering the engine, while audio sync is on
    std::unique_ptr<PulseCapture> m_capture;
    AudioAwareSelector m_selector{m_selection, m_audio};
    QObject m_connections;  // context of the session's connections to the application
    QWindow* m_foreign = nullptr;
    bool m_quit = false;
    DisplayPlan m_plan;
    double m_renderScale = 1.0;
    double m_inputScale = 1.0;  // window (logical) pixels to canvas pixels
    bool m_grabPending = false;
    int m_frames = 0;
};

// What the saver makes of the surface it was given: only a small window of a settings dialog
// is a preview. Known before any window exists: a full screen or a window of its own does not
// depend on its size, and a host window's size is asked of the X server.
DisplayPlan SaverSession::PlanFor(const ForeignGeometry& host) const {
    SurfaceFacts facts;
    facts.kind = m_options.kind;
    facts.hostedSaver = m_options.hostedSaver;
    facts.width = host.width;
    facts.height = host.height;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen->geometry().size() * screen->devicePixelRatio();
    facts.screenWidth = screenSize.width();
    facts.screenHeight = screenSize.height();
    return PlanDisplay(facts);
}

bool SaverSession::OpenWindows() {
    ForeignGeometry host;
    if (m_options.parentWindow != 0) {
        host = QueryForeignWindow(m_options.parentWindow);
        if (!host.exists) {
            std::fprintf(stderr, "quovis: window 0x%llx does not exist\n",
                         static_cast<unsigned long long>(m_options.parentWindow));
            return false;
        }
    }
    // The output is chosen before the window exists: a surface that never scales never needs
    // the OpenGL output for scaling.
    m_plan = PlanFor(host);
    m_renderScale = m_plan.fullScreenRendering ? ConfiguredRenderScale() : 1.0;
    const int useGdi = kConfigUseGDI.Read(m_store);
    const bool wantGl = useGdi == 2 || (useGdi == 1 && m_renderScale != 1.0);
    const OutputPath path = wantGl && OpenGlUsable() ? OutputPath::OpenGL : OutputPath::Raster;
    m_main = std::make_unique<SaverWindow>(path, m_options.kind, CapsLockState().value_or(false),
                                           [this](const SaverInputResult& r) { OnInput(r); });
    m_window = m_main.get();

    if (m_options.parentWindow != 0) {
        m_foreign = QWindow::fromWinId(static_cast<WId>(m_options.parentWindow));
        m_main->setParent(m_foreign);
        FitToHostWindow(host);
        m_main->show();
        OpenTextWindow(nullptr);
    } else if (m_options.kind == SaverWindowKind::FullScreen) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        const bool single = kConfigSnapshots.Read(m_store) != 0 && screens.size() >= 2;
        int preferred = kConfigPrefMonitor.Read(m_store);
        if (preferred > screens.size()) preferred = 0;
        QScreen* own = nullptr;
        QRect area = QGuiApplication::primaryScreen()->virtualGeometry();
        if (screens.size() == 1) {
            own = screens.front();
        } else if (single && preferred < screens.size()) {
            own = screens[preferred];
            area = own->geometry();
        }
        // The saver starts over a picture of what was on screen (where the platform lets a
        // program take one: not under Wayland) and fades it out.
        if (m_main->Path() == OutputPath::Raster && QGuiApplication::platformName() == u"xcb") {
            const QPixmap desktop = QGuiApplication::primaryScreen()->grabWindow(
                0, area.x(), area.y(), area.width(), area.height());
            if (!desktop.isNull()) m_overlay.SetDesktop(desktop.toImage());
        }
        if (own != nullptr) {
            ShowFullScreenOn(*m_main, own);
            // The other monitors show still pictures of the art, brought in by transitions.
            const int fadeType = ReadTransitionType(m_store);
            for (QScreen* screen : screens) {
                if (screen == own) continue;
                SecondarySetup setup;
                setup.fadeType = fadeType;
                setup.takeSnapshot = [this](Picture& p, int& x, int& y, bool& centred) {
                    return TakeArtSnapshot(m_engine, p, x, y, centred);
                };
                setup.slideChanging = [this] { return ArtChangingSlide(m_engine); };
                setup.onInput = [this](const SaverInputResult& r) { OnInput(r); };
                m_secondary.push_back(OpenSecondaryWindow(screen, std::move(setup)));
            }
        } else {
            ShowSpanning(*m_main, area);
        }
        m_main->requestActivate();
        m_grabPending = true;
        OpenTextWindow(own != nullptr ? own : QGuiApplication::primaryScreen());
    } else {
        m_main->resize(m_options.windowWidth, m_options.windowHeight);
        m_main->show();
        OpenTextWindow(nullptr);
    }
    return true;
}

// The text window floats over a full-screen saver where it can be translucent; everywhere
// else its lines are drawn into the frame at the same place.
void SaverSession::OpenTextWindow(QScreen* own) {
    if (own != nullptr && QGuiApplication::platformName() == u"xcb" && CompositorRunning()) {
        m_textWindow = std::make_unique<TextOverlayWindow>(m_main.get());
        m_textWindow->PlaceOn(own->geometry());
        m_text.SetView(m_textWindow.get());
    } else {
        m_frameText = std::make_unique<FrameTextView>(*m_main);
        m_text.SetView(m_frameText.get());
    }
}

void SaverSession::ReadOverlaySettings() {
    m_text.SetShowTitles(kConfigShowTitles.Read(m_store) != 0);
    // A pattern from the online library names its maker when the saver starts with it.
    const std::u16string fromWeb = kConfigFromWeb.Read(m_store);
    if (m_options.kind == SaverWindowKind::FullScreen && !fromWeb.empty()) {
        m_text.ShowInfo(fromWeb, kConfigFromWebA.Read(m_store), kConfigFromWebL.Read(m_store), 6.0);
    }
    m_engine.SetMessages(ReadMessages(m_store));
    m_engine.SetMessagesOn(kConfigMessages.Read(m_store) != 0);
    m_engine.SetClock(StoredClockLayer(m_store));
}

bool SaverSession::SetUpDisplay() {
    m_inputScale = m_renderScale * m_main->devicePixelRatio();
    const QSize device = m_main->DeviceSize();
    const RenderSize render = RenderSizeFor(device.width(), device.height(), m_renderScale);
    if (!m_plan.slideshow) m_selection.SwitchSlideshowOff();
    std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
    m_engine.SetCanvasSize(render.width, render.height);
    m_engine.SetWindowSize(render.width, render.height);
    m_engine.SetFullCount(m_plan.fullDotCount);
    const int fps = kConfigTargetFPS.Read(m_store);
    if (m_engine.CreateOutput(fps) != kEngineOk) return false;
    if (m_options.showFps) {
        // With the frame rate, say what it is the rate of.
        std::fprintf(stderr,
                     "quovis: drawing %d x %d for a window of %d x %d pixels, %s output%s\n",
                     render.width, render.height, device.width(), device.height(),
                     m_main->Path() == OutputPath::OpenGL ? "OpenGL" : "raster",
                     m_plan.slideshow && m_selection.SlideshowOn() ? ", slideshow" : "");
    }
    m_engine.SetRateLimit(fps);
    m_engine.SetSaverMode(m_plan.saverMode);
    m_engine.SetSlideshow(m_selection.SlideshowOn());
    const double minTime = kMessagesMinTime.Read(m_store);
    const double maxTime = kMessagesMaxTime.Read(m_store);
    m_engine.SetSlideTimes(minTime, maxTime);
    m_engine.SetSlideDuration(minTime, maxTime);
    StartAudioSync();
    FrameHooks hooks;
    hooks.pacer = &m_pacer;
    hooks.selector = &m_selector;
    hooks.snapshots = &m_snapshots;
    hooks.overlay = &m_overlay;
    hooks.audio = m_audio.get();
    m_engine.SetKeepDesktopPicture(m_overlay.HasDesktop());
    m_engine.SetFrameHooks(hooks);
    m_engine.SetAutoSave(kConfigAutoSave.Read(m_store) != 0);
    ReadOverlaySettings();
    if (!m_selector.SelectNext(m_engine)) return false;
    m_engine.ApplyCanvasSettings();
    m_driver.SetSlideshow(m_selection.SlideshowOn());
    m_output.SetSlideshow(m_selection.SlideshowOn());
    m_driver.SetTargetFps(fps);
    m_driver.SetShowFrameRateAlways(m_options.showFps);
    m_driver.StartRendering(true);
    return true;
}

// Music steers the art when "AudioSync" is on: the capture listens to what the speakers
// play (or to "AudioSource"), and each block it records steers the engine on its thread.
// Without a sound server or a source the saver runs on without audio and says why.
void SaverSession::StartAudioSync() {
    if (!m_plan.saverMode || kConfigAudioSync.Read(m_store) == 0) return;
    AudioSyncSettings settings;
    settings.sensitivity = static_cast<float>(kConfigAudioSyncSensitivity.Read(m_store) / 1000.0);
    settings.selectivity = static_cast<float>(kConfigAudioSyncQ.Read(m_store) / 100.0);
    for (int i = 0; i < kAudioStats; ++i) {
        float& stat = settings.stats[static_cast<std::size_t>(i)];
        stat = static_cast<float>(kAudioStat.ReadOr(m_store, i, stat));
    }
    settings.agc = static_cast<float>(kAudioAGC.Read(m_store));
    settings.seed = m_engine.RandomInteger();
    SystemClock* clock = &m_clock;
    m_audio = std::make_unique<AudioSync>(m_engine, settings, &m_text,
                                          [clock] { return clock->Milliseconds(); });
    m_capture = std::make_unique<PulseCapture>();
    AudioSync* sync = m_audio.get();
    const std::string source =
        QString::fromStdU16String(kConfigAudioSource.Read(m_store)).toStdString();
    const bool started = m_capture->Open(
                             [sync, clock](const int16_t* frames, int count) {
                                 sync->OnBlock(frames, count, clock->Milliseconds());
                             },
                             source) &&
                         m_capture->QueueBuffers(4) && m_capture->Start();
    if (!started) {
        std::fprintf(stderr, "quovis: audio sync is off: %s\n", m_capture->LastError().c_str());
        m_capture->Close();
        m_capture.reset();
        m_audio.reset();
    }
}

// Stops listening, then keeps what the analysis learnt for the next run.
void SaverSession::StopAudioSync() {
    if (m_capture != nullptr) m_capture->Close();
    m_capture.reset();
    if (m_audio == nullptr) return;
    const AudioStats stats = m_audio->Statistics();
    for (int i = 0; i < kAudioStats; ++i) {
        kAudioStat.Write(m_store, i, stats[static_cast<std::size_t>(i)]);
    }
    kAudioAGC.Write(m_store, m_audio->Agc());
    {
        std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
        FrameHooks hooks;
        hooks.pacer = &m_pacer;
        m_engine.SetFrameHooks(hooks);
    }
    m_audio.reset();
}

void SaverSession::Evolve() {
    std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
    PresetRecord record;
    if (!ReadPresetString(m_engine.PresetText(), record)) return;
    const UniformDraw u = [this] { return m_engine.RandomUniform(); };
    MutatePreset(record, u);
    std::u16string text;
    if (WritePresetString(record, true, text)) ApplyPresetString(m_engine, text);
}

void SaverSession::OnInput(const SaverInputResult& r) {
    // Pointer positions are logical window pixels; the engine draws at the render size.
    const int ex = r.x < 0 ? -1 : static_cast<int>(r.x * m_inputScale);
    const int ey = r.y < 0 ? -1 : static_cast<int>(r.y * m_inputScale);
    switch (r.action) {
        case SaverAction::EndSaver:
            m_quit = true;
            break;
        case SaverAction::HistoryBack:
        case SaverAction::HistoryForward:
            // Back with nothing shown before is refused: no slide change, no dimming.
            m_engine.RequestSlideChange(r.action == SaverAction::HistoryBack ? -1 : 1);
            break;
        case SaverAction::NextSlide:
            m_engine.RequestSlideChange();
            break;
        case SaverAction::Snapshot: {
            std::string reason;
            if (!EnsureSnapshotFolder(m_store, &reason)) {
                std::fprintf(stderr, "quovis: no snapshot folder: %s\n", reason.c_str());
            }
            TakeSnapshot(m_engine, r.value == 1, m_store, &m_text);
            break;
        }
        case SaverAction::ToggleAudioBars:
            if (m_audio != nullptr) m_audio->ToggleBars();
            break;
        case SaverAction::ToggleFrameRate:
            m_driver.ToggleFrameRateRequest();
            break;
        case SaverAction::PointerStirred:
            // Stirs the engine's random numbers with the time and counts as pointer activity,
            // which restarts the slow-down countdown.
            m_engine.PointerMovedSlightly();
            break;
        case SaverAction::CycleTone: {
            std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
            if (CFlipperGDI32* flipper = m_engine.Flipper()) {
                flipper->SetTone(kTonePresets[r.value][0], kTonePresets[r.value][1]);
            }
            m_driver.ResetFrameCount();
            break;
        }
        case SaverAction::ToggleSymmetry:
            m_engine.SetSymmetric(!m_engine.IsSymmetric());
            break;
        case SaverAction::SetReflections:
            m_engine.SetReflections(r.value);
            break;
        case SaverAction::Evolve:
            Evolve();
            break;
        case SaverAction::HelpPage:
            QDesktopServices::openUrl(
                QUrl(QString::fromUtf16(kMakerLocation.data(), kMakerLocation.size()) +
                     QStringLiteral("/Help/help.asp?p=QV&v=%1&r=1")
                         .arg(QString::fromUtf16(kVersionText.data(), kVersionText.size()))));
            break;
        case SaverAction::TypeCharacter:
            m_engine.SetTypedText(static_cast<char32_t>(r.value), r.style);
            break;
        case SaverAction::Hover:
            m_engine.MouseInput(ex, ey);
            break;
        case SaverAction::StrokePress:
            m_engine.MouseInput(-1, -1);
            m_engine.StrokeInput(ex, ey, 0, CDrawWnd::kStrokePressed);
            break;
        case SaverAction::StrokeMove:
            m_engine.StrokeInput(ex, ey, 0, CDrawWnd::kStrokeMoved);
            break;
        case SaverAction::StrokeRelease:
            m_engine.StrokeInput(ex, ey, 0, CDrawWnd::kStrokeReleased);
            break;
        default:
            break;
    }
}

void SaverSession::KeepOnTop() {
    RaiseAgain(*m_main);
    for (const std::unique_ptr<SecondaryWindow>& other : m_secondary) RaiseAgain(*other);
    if (m_textWindow != nullptr) RaiseAgain(*m_textWindow);
}

bool SaverSession::FollowHostWindow() {
    if (m_foreign == nullptr) return true;
    const ForeignGeometry g = QueryForeignWindow(m_options.parentWindow);
    if (!g.exists) return false;
    // The picture is stretched to the new size at once; the canvas keeps its size.
    FitToHostWindow(g);
    return true;
}

void SaverSession::FitToHostWindow(const ForeignGeometry& g) {
    // The X server speaks device pixels; the window's geometry is logical.
    const qreal ratio = m_main->devicePixelRatio();
    const QRect want(0, 0, std::max(8, static_cast<int>(g.width / ratio + 0.5)),
                     std::max(8, static_cast<int>(g.height / ratio + 0.5)));
    if (m_main->geometry() != want) m_main->setGeometry(want);
}

double SaverSession::ConfiguredRenderScale() {
    const int index = std::clamp(kConfigResolution.Read(m_store), 0,
                                 static_cast<int>(kResolutionScales.size()) - 1);
    return kResolutionScales[static_cast<std::size_t>(index)];
}

int SaverSession::Run() {
    const bool seeded = SeedFavorites(
        m_store,
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdU16String());
    m_selection.ReadSettings(seeded);
    m_engine.SetMachineSpeedFactor(m_options.machineSpeedFactor);
    if (!m_engine.IsUsable()) {
        std::fprintf(stderr, "quovis: not enough memory for the engine\n");
        return 1;
    }
    if (!OpenWindows()) return 1;
    if (!SetUpDisplay()) {
        std::fprintf(stderr, "quovis: the picture could not be set up for this window\n");
        return 1;
    }
    // The connection ends with the session (its context object): a saver run inside the
    // configuration window returns while the application goes on closing windows.
    QObject::connect(qGuiApp, &QGuiApplication::lastWindowClosed, &m_connections,
                     [this] { m_quit = true; });
    QElapsedTimer hostCheck;
    hostCheck.start();
    QElapsedTimer onTop;  // the last time the full-screen windows were put back on top
    onTop.start();
    QElapsedTimer grabTry;
    grabTry.start();
    QElapsedTimer rateLine;  // --fps: the rate on stderr too, once a second
    rateLine.start();
    const bool polled = !m_engine.IsSaverMode();
    while (!m_quit && !g_stopRequested.load(std::memory_order_relaxed)) {
        QGuiApplication::processEvents(QEventLoop::AllEvents);
        if (m_quit || !m_main->isVisible()) break;
        if (m_foreign != nullptr && hostCheck.elapsed() >= 100) {
            hostCheck.restart();
            if (!FollowHostWindow()) break;
        }
        if (m_grabPending && grabTry.elapsed() >= kGrabRetryMs) {
            // Another program may hold the keyboard for a moment (an open menu).
            grabTry.restart();
            m_grabPending = !GrabInput(*m_main);
        }
        if (m_options.showFps && rateLine.elapsed() >= 1000) {
            rateLine.restart();
            const std::u16string rate =
                FrameDriver::FrameRateText(m_pacer.MeasuredFrameRate(), m_output.UsesOpenGL());
            std::fprintf(stderr, "%s\n", QString::fromStdU16String(rate).toLocal8Bit().constData());
        }
        if (m_options.kind == SaverWindowKind::FullScreen && onTop.elapsed() >= kOnTopMs) {
            onTop.restart();
            KeepOnTop();
        }
        // A full-screen saver's pacer sleeps after drawing; a preview's pacer only says
        // whether it is time, so the loop waits a little between calls.
        const bool drew = m_driver.RunFrame();
        if (drew && m_options.maxFrames > 0 && ++m_frames >= m_options.maxFrames) break;
        if (polled && !drew) QThread::msleep(2);
    }
    StopAudioSync();
    m_text.SetView(nullptr);
    if (m_textWindow != nullptr) m_textWindow->hide();
    m_main->hide();
    return 0;
}

int RunSaverSession(const SaverRunOptions& options) {
    // One full-screen saver per user at a time.
    std::unique_ptr<QLockFile> lock;
    if (options.kind == SaverWindowKind::FullScreen && options.parentWindow == 0) {
        QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (dir.isEmpty()) dir = QDir::tempPath();
        lock = std::make_unique<QLockFile>(dir + QStringLiteral("/quovis-saver.lock"));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0)) return 0;
    }
    SaverSession session(options);
    return session.Run();
}

}  // namespace

int RunSaver(const SaverRunOptions& options) {
    int result = 0;
    {
        const StopSignals stopSignals;
        result = RunSaverSession(options);
    }
    // A signal that ended a Preview run from the configuration window meant the whole
    // program: with the old handling back, it gets the signal again.
    const int signal = g_stopSignal.load(std::memory_order_relaxed);
    if (options.nested && signal != 0) raise(signal);
    return result;
}

}  // namespace quovis
