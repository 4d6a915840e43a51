#include "host/frame_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr double kRateDisplayFade = 1.0;  // 100 frames of fade-out

}  // namespace

FrameDriver::FrameDriver(CDrawWnd& engine, FramePacerImpl& pacer, FrameOutput* output,
                         TextWindow* text)
    : m_engine(engine), m_pacer(pacer), m_output(output), m_text(text) {
    Lock lock(m_engine.EngineLock());
    m_engineTarget = m_engine.TargetFps();
}

// ============================================================================================
// The frame
// ============================================================================================

bool FrameDriver::RunFrame() {
    if (!m_runState.load(std::memory_order_relaxed)) return false;
    Lock lock(m_engine.EngineLock());
    if (!m_engine.IsReady() || m_engine.Canvas() == nullptr) return false;
    m_inFrame.store(true, std::memory_order_relaxed);

    bool produced = false;
    if (IsRendering() || m_slideshow.load(std::memory_order_relaxed)) {
        produced = m_engine.StepFrame();
        FollowEngineTarget();
        if (produced) PresentFrame();
    }
    (void)m_engine.DriftTick();

    m_inFrame.store(false, std::memory_order_relaxed);
    ShowFrameRate();
    return produced;
}

void FrameDriver::PresentFrame() {
    // The first frames of a pattern hold no art yet: nothing to show or fade.
    const bool drawn = m_engine.FrameNumber() > 1;
    const bool fade = drawn && m_engine.TrailsOn();
    if (fade) m_engine.Canvas()->FadeWithNextConversion();
    if (drawn) {
        if (m_output != nullptr) m_output->Present(m_engine);
        if (m_text != nullptr) {
            // --fps keeps the rate on screen instead of the titles.
            const bool titles = m_slideshow.load(std::memory_order_relaxed) &&
                                !m_rateAlways.load(std::memory_order_relaxed);
            m_text->OnFrame(titles ? static_cast<double>(m_engine.MsSinceTitleStart()) : -1.0,
                            m_engine.LettersActive());
        }
    }
    m_pacer.CountFrame();
    if (fade) m_engine.Canvas()->FadeTrails();
}

// The engine's limit changes rarely (a slide change re-reads the same stored value), so
// only a change restarts pacing; an unchanged limit costs one comparison a frame.
void FrameDriver::FollowEngineTarget() {
    const int target = m_engine.TargetFps();
    if (target == m_engineTarget) return;
    m_engineTarget = target;
    m_pacer.SetTargetFps(target);
}

void FrameDriver::ShowFrameRate() {
    const bool always = m_rateAlways.load(std::memory_order_relaxed);
    if (!always && !m_rateRequested.load(std::memory_order_relaxed)) return;
    if (m_pacer.FramesSinceStart() == 0) return;
    m_rateRequested.store(false, std::memory_order_relaxed);
    const bool openGL = m_output != nullptr && m_output->UsesOpenGL();
    const std::u16string text = FrameRateText(m_pacer.MeasuredFrameRate(), openGL);
    if (text.empty()) return;
    if (m_text != nullptr) m_text->ShowInfo(u"", u"", text, kRateDisplayFade);
}

// ============================================================================================
// Control
// ============================================================================================

void FrameDriver::SetRunState(bool on) {
    Lock lock(m_engine.EngineLock());
    m_runState.store(on, std::memory_order_relaxed);
    if (on) m_pacer.RestartPacing();
}

void FrameDriver::StartRendering(bool restart) {
    Lock lock(m_engine.EngineLock());
    const bool clear = IsRendering() ? restart : true;
    m_rendering.store(true, std::memory_order_relaxed);
    m_pacer.RestartPacing();
    // Full screen starts over the desktop picture, which the start-up fade needs intact.
    if (clear && !m_engine.IsSaverMode() && m_engine.Canvas() != nullptr) {
        m_engine.Canvas()->BeginFrame(true);
    }
}

void FrameDriver::StopRendering() {
    Lock lock(m_engine.EngineLock());
    m_rendering.store(false, std::memory_order_relaxed);
    if (!m_slideshow.load(std::memory_order_relaxed) && m_output != nullptr) {
        m_output->RedrawWindow();
    }
}

void FrameDriver::SetSlideshow(bool on) {
    Lock lock(m_engine.EngineLock());
    m_engine.SetSlideshow(on);
    m_slideshow.store(on, std::memory_order_relaxed);
}

void FrameDriver::SetTargetFps(int fps) {
    Lock lock(m_engine.EngineLock());
    m_pacer.SetTargetFps(fps);
    m_engine.SetRateLimit(m_pacer.TargetFps());
    m_engineTarget = m_engine.TargetFps();
}

void FrameDriver::ResetFrameCount() {
    Lock lock(m_engine.EngineLock());
    m_pacer.ResetFrameCount();
}

void FrameDriver::ToggleFrameRateRequest() {
    m_rateRequested.store(!m_rateRequested.load(std::memory_order_relaxed),
                          std::memory_order_relaxed);
}

void FrameDriver::SetShowFrameRateAlways(bool on) {
    m_rateAlways.store(on, std::memory_order_relaxed);
}

// ============================================================================================
// Texts
// ============================================================================================

std::u16string FrameDriver::FrameRateText(double fps, bool openGL) {
    char buffer[64];
    const int n =
        std::snprintf(buffer, sizeof buffer, "%1.3g fps%s", fps, openGL ? " (gl)" : " (gdi)");
    if (n <= 0) return {};
    const std::string_view ascii(buffer,
                                 std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace quovis
