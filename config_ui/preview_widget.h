// PreviewWidget: the configuration window's live picture. A real drawing engine the size of
// the widget (in device pixels) runs on a thread of its own, so every change a page makes is
// seen at once; the widget shows the engine's frames and hands it the mouse.
//
// Threads: the preview thread calls FrameDriver::RunFrame, which takes the engine lock for
// the whole frame, and sleeps 1 ms between calls. The window's thread changes the engine
// through its setters (which take the same lock) and paints the last frame, which the thread
// leaves in a mutex-guarded image. Stop() (also the destructor) ends the thread before the
// engine goes.
//
// Mouse: moves are the engine's pointer (the pattern's cursor); after 10 s without a move the
// pointer counts as gone. With the "Draw" style a left drag draws a stroke (Shift or Ctrl adds
// to the drawing). Otherwise, while the clock layer shows, a left drag from its middle moves
// it and a drag from its rim resizes it; the new place and size are stored on release.
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/elapsed_time.h"
#include "engine/frame_hooks.h"
#include "host/frame_pacer.h"
#include "present/presented_draw_wnd.h"

class QTimer;

namespace quovis {

class ArtOverlay;
class ConfigStore;
class FrameDriver;
struct PresetRecord;

class PreviewWidget : public QWidget {
    Q_OBJECT

  public:
    // How long the pointer may rest before the engine is told it has gone.
    static constexpr int kPointerIdleMs = 10000;

    PreviewWidget(ConfigStore& store, double machineSpeedFactor, QWidget* parent = nullptr);
    ~PreviewWidget() override;

    // Builds the engine's output for the widget's present size, applies `record` (with its
    // drawing, for the "Draw" style) and starts the thread. False when the output cannot be
    // made: the widget then stays dark and the engine is never stepped.
    bool Start(const PresetRecord& record, const std::optional<std::u16string>& drawing);
    // Ends the thread (and waits for it). Safe to call more than once.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

    // Shows a whole new preset: applied to the engine, the pattern started afresh.
    void ShowSettings(const PresetRecord& record, const std::optional<std::u16string>& drawing);
    // While paused (a full-screen Preview runs) the thread skips frames.
    void SetPaused(bool paused);
    // New CPU limit and slow-down minutes, taken at once.
    void SetPacing(int cpuLimit, int slowAfterMinutes);
    // The clock layer as stored ("Clock", "Style", "ClockX", "ClockY", "ClockSize").
    void ReadClockLayer();

    PresentedDrawWnd& Engine() { return m_engine; }
    // The last frame shown, for tests and screenshots (null before the first one).
    QImage LastFrame() const;
    // Frames the thread has handed over so far.
    uint64_t FrameCount() const { return m_frames.load(std::memory_order_relaxed); }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    class Output;
    enum class Drag { None, Stroke, MoveClock, SizeClock };

    void Run();
    void BuildPacing(const PacingConfig& config);
    void TakeFrame(const uint32_t* pixels, int width, int height, bool inverted);
    QPoint CanvasPoint(const QPointF& position) const;
    void CheckPointerIdle();
    void FollowClockDrag(const QPoint& canvas);

    ConfigStore& m_store;
    double m_speedFactor;
    SystemClock m_clock;
    PresentedDrawWnd m_engine;
    std::unique_ptr<ArtOverlay> m_overlay;
    std::unique_ptr<Output> m_output;
    CpuUsageMeter m_usage;
    PacingConfig m_pacing;
    // Rebuilt together when the pacing changes; the thread uses them under m_driverMutex.
    std::unique_ptr<SlowDown> m_slowDown;
    std::unique_ptr<FramePacerImpl> m_pacer;
    std::unique_ptr<FrameDriver> m_driver;
    std::mutex m_driverMutex;

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_updateQueued{false};
    std::atomic<uint64_t> m_frames{0};
    bool m_started = false;

    mutable std::mutex m_imageMutex;
    QImage m_frame;  // top-down, ready to paint
    QImage m_back;   // the preview thread fills it, then swaps it with m_frame

    QTimer* m_idleTimer = nullptr;
    qint64 m_lastMoveMs = -1;  // -1: the engine knows the pointer is gone
    Drag m_drag = Drag::None;
    ClockLayer m_dragStart;
    QPoint m_dragOrigin;  // canvas pixels where the drag began
};

}  // namespace quovis
