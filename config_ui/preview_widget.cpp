#include "config_ui/preview_widget.h"

#include <QDateTime>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "host/frame_driver.h"
#include "overlay/qt/art_overlay.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/preset_apply.h"
#include "settings/preset_record.h"

namespace quovis {

namespace {

// A preview this large (device pixels) has room for every dot the preset asks for.
constexpr int kFullCountArea = 640 * 480;
// The clock layer's grips, as fractions of min(width, height) x clock size: inside the
// first a drag moves the clock, out to the second (just beyond the face's rim at 0.5) it
// resizes it.
constexpr double kClockMoveGrip = 0.3;
constexpr double kClockSizeGrip = 0.6;
// Neither the clock's centre nor its size may leave the area.
constexpr double kClockAreaLimit = 0.99;
constexpr double kClockMinSize = 0.05;

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

int KeyFlags(Qt::KeyboardModifiers modifiers) {
    int flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= CDrawWnd::kKeyShift;
    if (modifiers & Qt::ControlModifier) flags |= CDrawWnd::kKeyControl;
    return flags;
}

}  // namespace

// Hands each finished frame to the widget; runs on the preview thread under the engine lock.
class PreviewWidget::Output final : public FrameOutput {
  public:
    explicit Output(PreviewWidget& widget) : m_widget(widget) {}
    void Present(CDrawWnd& engine) override {
        CFlipperGDI32* flipper = static_cast<PresentedDrawWnd&>(engine).Flipper();
        if (flipper == nullptr) return;
        flipper->ConvertToDisplay();
        m_widget.TakeFrame(flipper->DisplayPixels(), flipper->Width(), flipper->Height(),
                           flipper->IsInverted());
    }
    bool UsesOpenGL() const override { return false; }

  private:
    PreviewWidget& m_widget;
};

PreviewWidget::PreviewWidget(ConfigStore& store, double machineSpeedFactor, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_speedFactor(machineSpeedFactor),
      m_engine(m_clock),
      m_overlay(std::make_unique<ArtOverlay>(ReadLetterFont(store))),
      m_output(std::make_unique<Output>(*this)),
      m_pacing(ReadPacingConfig(store)) {
    setObjectName(QStringLiteral("preview1111"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The preview keeps the proportions of a screen and grows with the desktop font.
    const int unit = fontMetrics().height();
    setFixedSize(unit * 21, unit * 21 * 3 / 4);
    BuildPacing(m_pacing);
    m_idleTimer = new QTimer(this);
    m_idleTimer->setInterval(1000);
    connect(m_idleTimer, &QTimer::timeout, this, &PreviewWidget::CheckPointerIdle);
}

PreviewWidget::~PreviewWidget() {
    Stop();
    // The engine outlives the hooks that point at the pacer and the overlay.
    std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
    m_engine.SetFrameHooks(FrameHooks{});
}

QSize PreviewWidget::sizeHint() const {
    return size();
}

void PreviewWidget::BuildPacing(const PacingConfig& config) {
    std::lock_guard<std::mutex> driverGuard(m_driverMutex);
    std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
    const bool rendering = m_driver != nullptr && m_driver->IsRendering();
    m_pacing = config;
    m_driver.reset();
    m_pacer.reset();
    m_slowDown = std::make_unique<SlowDown>(m_pacing);
    m_pacer = std::make_unique<FramePacerImpl>(m_pacing, SteadyPacingClock::Instance(), m_usage,
                                               *m_slowDown);
    m_driver = std::make_unique<FrameDriver>(m_engine, *m_pacer, m_output.get(), nullptr);
    FrameHooks hooks;
    hooks.pacer = m_pacer.get();
    hooks.overlay = m_overlay.get();
    m_engine.SetFrameHooks(hooks);
    if (m_started) {
        m_driver->SetTargetFps(kConfigTargetFPS.Read(m_store));
        if (rendering) m_driver->StartRendering(false);
    }
}

void PreviewWidget::SetPacing(int cpuLimit, int slowAfterMinutes) {
    PacingConfig config = m_pacing;
    config.cpuLimit = std::clamp(cpuLimit, 1, 100);
    config.slowAfterMinutes = std::max(slowAfterMinutes, 0);
    if (config.cpuLimit == m_pacing.cpuLimit &&
        config.slowAfterMinutes == m_pacing.slowAfterMinutes) {
        return;
    }
    BuildPacing(config);
}

void PreviewWidget::ReadClockLayer() {
    m_engine.SetClock(StoredClockLayer(m_store));
}

bool PreviewWidget::Start(const PresetRecord& record,
                          const std::optional<std::u16string>& drawing) {
    if (m_started) return IsRunning();
    m_started = true;
    if (!m_engine.IsUsable()) return false;
    const qreal ratio = devicePixelRatioF();
    const int width = std::max(8, static_cast<int>(this->width() * ratio + 0.5)) & ~3;
    const int height = std::max(8, static_cast<int>(this->height() * ratio + 0.5)) & ~1;
    const int fps = kConfigTargetFPS.Read(m_store);
    {
        std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
        m_engine.SetMachineSpeedFactor(m_speedFactor);
        m_engine.SetCanvasSize(width, height);
        m_engine.SetWindowSize(width, height);
        m_engine.SetFullCount(kConfigAccuratePreview.Read(m_store) != 0 ||
                              width * height >= kFullCountArea);
        if (m_engine.CreateOutput(fps) != kEngineOk) return false;
        m_engine.SetRateLimit(fps);
        m_engine.SetSaverMode(false);
        m_engine.SetSlideshow(false);
        m_engine.SetDriftAllowed(kConfigDrift.Read(m_store) != 0);
    }
    ReadClockLayer();
    ShowSettings(record, drawing);
    {
        std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
        m_engine.ApplyCanvasSettings();
    }
    m_driver->SetSlideshow(false);
    m_driver->SetTargetFps(fps);
    m_driver->StartRendering(true);
    m_stop.store(false);
    m_thread = std::thread([this] { Run(); });
    m_idleTimer->start();
    return true;
}

void PreviewWidget::Stop() {
    m_stop.store(true);
    if (m_thread.joinable()) m_thread.join();
    if (m_idleTimer != nullptr) m_idleTimer->stop();
}

void PreviewWidget::Run() {
    while (!m_stop.load(std::memory_order_relaxed)) {
        if (!m_paused.load(std::memory_order_relaxed)) {
            std::lock_guard<std::mutex> guard(m_driverMutex);
            m_driver->RunFrame();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PreviewWidget::ShowSettings(const PresetRecord& record,
                                 const std::optional<std::u16string>& drawing) {
    if (m_engine.Flipper() == nullptr) return;  // no output: nothing to show it on
    std::u16string text;
    if (!WritePresetString(record, true, text)) return;
    std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
    if (!ApplyPresetString(m_engine, text, PresetApplyHost{nullptr, &m_store})) return;
    if (record.Style == kStyleDraw && drawing && !drawing->empty()) {
        m_engine.LoadStrokeList(*drawing);
    }
    m_engine.StartPattern(m_engine.RandomUniform() - 0.5, -1, -1, -1, false);
    if (m_driver != nullptr && m_driver->IsRendering()) m_driver->StartRendering(true);
}

void PreviewWidget::SetPaused(bool paused) {
    m_paused.store(paused);
    if (!paused && m_driver != nullptr) {
        // Pacing measures afresh: the pause is not a slow frame.
        std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
        m_pacer->RestartPacing();
    }
    update();
}

void PreviewWidget::TakeFrame(const uint32_t* pixels, int width, int height, bool inverted) {
    if (pixels == nullptr || width <= 0 || height <= 0) return;
    // Two images take turns, so a frame costs no allocation: a new one is made only for a
    // new size, or while a painter still holds the image this one was.
    if (m_back.width() != width || m_back.height() != height || !m_back.isDetached()) {
        m_back = QImage(width, height, QImage::Format_RGB32);
    }
    // The display image's rows run bottom-up.
    for (int y = 0; y < height; ++y) {
        std::memcpy(m_back.scanLine(y), pixels + static_cast<std::size_t>(height - 1 - y) * width,
                    static_cast<std::size_t>(width) * 4);
    }
    if (inverted) m_back.invertPixels();
    {
        std::lock_guard<std::mutex> guard(m_imageMutex);
        m_frame.swap(m_back);
    }
    m_frames.fetch_add(1, std::memory_order_relaxed);
    // One repaint waits at a time; the window paints whatever frame is newest then.
    if (!m_updateQueued.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_updateQueued.store(false);
                update();
            },
            Qt::QueuedConnection);
    }
}

QImage PreviewWidget::LastFrame() const {
    std::lock_guard<std::mutex> guard(m_imageMutex);
    return m_frame;
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QImage frame = LastFrame();
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRectF(rect()), frame);
}

QPoint PreviewWidget::CanvasPoint(const QPointF& position) const {
    const int w = m_engine.CanvasWidth();
    const int h = m_engine.CanvasHeight();
    if (width() <= 0 || height() <= 0) return {};
    return QPoint(static_cast<int>(position.x() * w / width()),
                  static_cast<int>(position.y() * h / height()));
}

void PreviewWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_engine.Flipper() == nullptr) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint p = CanvasPoint(event->position());
    bool drawing = false;
    ClockLayer clock;
    {
        std::lock_guard<std::recursive_mutex> guard(m_engine.EngineLock());
        drawing = m_engine.IsDrawStyle();
        clock = m_engine.Clock();
    }
    if (drawing) {
        // While drawing, the pattern's cursor would pull the dots off the line.
        m_engine.MouseInput(-1, -1);
        m_lastMoveMs = -1;
        m_engine.StrokeInput(p.x(), p.y(), KeyFlags(event->modifiers()), CDrawWnd::kStrokePressed);
        m_drag = Drag::Stroke;
        return;
    }
    if (!clock.on) return;
    const int w = m_engine.CanvasWidth();
    const int h = m_engine.CanvasHeight();
    const double reach = std::min(w, h) * static_cast<double>(clock.size);
    const double dx = p.x() - (clock.x * w + 0.5);
    const double dy = p.y() - clock.y * h;
    const double distance = std::hypot(dx, dy);
    if (distance <= kClockMoveGrip * reach) {
        m_drag = Drag::MoveClock;
    } else if (distance <= kClockSizeGrip * reach) {
        m_drag = Drag::SizeClock;
    } else {
        return;
    }
    m_dragStart = clock;
    m_dragOrigin = p;
}

void PreviewWidget::FollowClockDrag(const QPoint& canvas) {
    const int w = m_engine.CanvasWidth();
    const int h = m_engine.CanvasHeight();
    if (w <= 0 || h <= 0) return;
    ClockLayer clock = m_dragStart;
    if (m_drag == Drag::MoveClock) {
        const double x = m_dragStart.x + static_cast<double>(canvas.x() - m_dragOrigin.x()) / w;
        const double y = m_dragStart.y + static_cast<double>(canvas.y() - m_dragOrigin.y()) / h;
        clock.x = static_cast<float>(std::clamp(x, 1.0 - kClockAreaLimit, kClockAreaLimit));
        clock.y = static_cast<float>(std::clamp(y, 1.0 - kClockAreaLimit, kClockAreaLimit));
    } else {
        // The rim follows the pointer: the size grows with its distance from the centre.
        const double cx = m_dragStart.x * w + 0.5;
        const double cy = m_dragStart.y * h;
        const double before = std::hypot(m_dragOrigin.x() - cx, m_dragOrigin.y() - cy);
        const double now = std::hypot(canvas.x() - cx, canvas.y() - cy);
        if (before <= 0.0) return;
        clock.size = static_cast<float>(
            std::clamp(m_dragStart.size * now / before, kClockMinSize, kClockAreaLimit));
    }
    m_engine.SetClock(clock);
}

void PreviewWidget::mouseMoveEvent(QMouseEvent* event) {
    if (m_engine.Flipper() == nullptr) return;
    const QPoint p = CanvasPoint(event->position());
    switch (m_drag) {
        case Drag::Stroke:
            m_engine.StrokeInput(p.x(), p.y(), 0, CDrawWnd::kStrokeMoved);
            return;
        case Drag::MoveClock:
        case Drag::SizeClock:
            FollowClockDrag(p);
            return;
        case Drag::None:
            break;
    }
    m_engine.MouseInput(p.x(), p.y());
    m_lastMoveMs = NowMs();
}

void PreviewWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = CanvasPoint(event->position());
    const Drag drag = m_drag;
    if (drag == Drag::MoveClock || drag == Drag::SizeClock) FollowClockDrag(p);
    m_drag = Drag::None;
    if (drag == Drag::Stroke) {
        m_engine.StrokeInput(p.x(), p.y(), 0, CDrawWnd::kStrokeReleased);
    } else if (drag == Drag::MoveClock || drag == Drag::SizeClock) {
        const ClockLayer clock = m_engine.Clock();
        kConfigClockX.Write(m_store, clock.x);
        kConfigClockY.Write(m_store, clock.y);
        kConfigClockSize.Write(m_store, clock.size);
    }
}

void PreviewWidget::CheckPointerIdle() {
    if (m_lastMoveMs < 0 || m_drag != Drag::None) return;
    if (NowMs() - m_lastMoveMs > kPointerIdleMs) {
        m_engine.MouseInput(-1, -1);
        m_lastMoveMs = -1;
    }
}

}  // namespace quovis
