// The frame function: what the host's loop (the saver window's loop, the configuration
// window's preview thread) calls once per iteration. One call holds the engine lock for the
// whole frame, steps the engine, presents the result, fades the text overlay, lets drift take
// a step and, on request, shows the measured frame rate.
//
// Wiring: the host puts the same FramePacerImpl into the engine's FrameHooks (the frame step
// calls the pacer from inside StepFrame) and hands it to the driver, which counts presented
// frames into it and reads its measured rate. The output back-end (GDI-like image drawing or
// OpenGL) comes in through the small interface below, the text window as the TextWindow that
// owns its lines and fades; either may be null (a headless run presents nothing and shows no
// text).
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "engine/draw_wnd.h"
#include "host/frame_pacer.h"
#include "present/text_window.h"

namespace quovis {

// The output back-end of one engine.
class FrameOutput {
  public:
    virtual ~FrameOutput() = default;
    // Puts the frame the engine has just drawn on the screen (tone curve, scaling, GDI-like
    // image drawing or OpenGL). Called with the engine lock held.
    virtual void Present(CDrawWnd& engine) = 0;
    // Whether frames go out through OpenGL; the frame-rate display names the path.
    virtual bool UsesOpenGL() const = 0;
    // Rendering stopped without a slideshow: repaint the whole window now, so what stays on
    // screen while the engine restarts is a complete picture.
    virtual void RedrawWindow() {}
};

class FrameDriver {
  public:
    // None of the objects is owned; all must outlive the driver.
    FrameDriver(CDrawWnd& engine, FramePacerImpl& pacer, FrameOutput* output, TextWindow* text);

    // One frame. Does nothing while the run state is off or the engine has no pattern or no
    // canvas. True when a new frame was produced.
    bool RunFrame();

    // The run state (on from the start): off pauses the driver entirely; switching it on
    // restarts pacing.
    void SetRunState(bool on);
    // Starts rendering. A first start, or a restart with restart set, clears a preview's
    // canvas so the new pattern does not appear over the old one. Pacing restarts.
    void StartRendering(bool restart);
    // Stops stepping (the slideshow, when on, keeps running) and has the window repainted.
    void StopRendering();
    bool IsRendering() const { return m_rendering.load(std::memory_order_relaxed); }
    // The slideshow, for both the engine and the driver (a running slideshow keeps frames
    // coming while rendering is stopped, and drives the title envelope).
    void SetSlideshow(bool on);
    // The frame-rate limit, set live: engine and pacer together; pacing restarts. A limit
    // set on the engine alone (the slideshow reads "TargetFPS" again at each slide change)
    // reaches the pacer after the next frame step, the same way, when it differs from the
    // engine's previous one.
    void SetTargetFps(int fps);
    // Frames since start counted afresh (the tone change restarts the count).
    void ResetFrameCount();

    // F11: show the measured frame rate once, at the next frame.
    void ToggleFrameRateRequest();
    // --fps: show it after every frame.
    void SetShowFrameRateAlways(bool on);
    // True while RunFrame is inside the engine's frame.
    bool InFrame() const { return m_inFrame.load(std::memory_order_relaxed); }

    // "%1.3g fps" with " (gl)" or " (gdi)".
    static std::u16string FrameRateText(double fps, bool openGL);

  private:
    void PresentFrame();
    void ShowFrameRate();
    void FollowEngineTarget();

    CDrawWnd& m_engine;
    FramePacerImpl& m_pacer;
    FrameOutput* m_output;
    TextWindow* m_text;

    std::atomic<bool> m_runState{true};
    std::atomic<bool> m_rendering{false};
    std::atomic<bool> m_slideshow{false};
    std::atomic<bool> m_inFrame{false};
    std::atomic<bool> m_rateRequested{false};
    std::atomic<bool> m_rateAlways{false};
    int m_engineTarget = 0;  // the engine's frame-rate limit the pacer last followed
};

}  // namespace quovis
