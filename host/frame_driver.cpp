#include "host/frame_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr double kInfoFadeStep = 0.01;
constexpr double kRateDisplayFade = 1.0;  // 100 frames of fade-out
constexpr int kRateLine = 2;

}  // namespace

FrameDriver::FrameDriver(CDrawWnd& engine, FramePacerImpl& pacer, FrameOutput* output,
                         FrameTextSink* text)
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
        const int phaseBefore = m_engine.PatternPhase();
        produced = m_engine.StepFrame();
        FollowEngineTarget();
        const double now = m_pacer.Clock().NowMs();
        // A slide ends in Dying or Waiting and the next one starts in Running, within one step.
        if (phaseBefore != CDrawWnd::kPhaseRunning &&
            m_engine.PatternPhase() == CDrawWnd::kPhaseRunning) {
            m_slideChangeMs = now;
        }
        if (produced) PresentFrame(now);
    }
    (void)m_engine.DriftTick();

    m_inFrame.store(false, std::memory_order_relaxed);
    ShowFrameRate();
    return produced;
}

void FrameDriver::PresentFrame(double now) {
    // The first frames of a pattern hold no art yet: nothing to show or fade.
    const bool drawn = m_engine.FrameNumber() > 1;
    if (drawn) {
        if (m_output != nullptr) m_output->Present(m_engine);
        FadeInfoText();
        if (m_slideshow.load(std::memory_order_relaxed) && m_text != nullptr &&
            !m_rateAlways.load(std::memory_order_relaxed)) {
            m_text->SetTextAlpha(TitleAlpha(now - m_slideChangeMs));
        }
    }
    m_pacer.CountFrame();
    if (drawn && m_engine.TrailsOn()) m_engine.Canvas()->FadeTrails();
}

// The engine's limit changes rarely (a slide change re-reads the same stored value), so
// only a change restarts pacing; an unchanged limit costs one comparison a frame.
void FrameDriver::FollowEngineTarget() {
    const int target = m_engine.TargetFps();
    if (target == m_engineTarget) return;
    m_engineTarget = target;
    m_pacer.SetTargetFps(target);
}

void FrameDriver::FadeInfoText() {
    double fade = m_infoFade.load(std::memory_order_relaxed);
    if (fade <= 0.0) return;
    fade -= kInfoFadeStep;
    m_infoFade.store(fade, std::memory_order_relaxed);
    if (m_text != nullptr) m_text->SetTextAlpha(InfoFadeAlpha(fade));
}

void FrameDriver::ShowFrameRate() {
    const bool always = m_rateAlways.load(std::memory_order_relaxed);
    if (!always && !m_rateRequested.load(std::memory_order_relaxed)) return;
    if (m_pacer.FramesSinceStart() == 0) return;
    m_rateRequested.store(false, std::memory_order_relaxed);
    const bool openGL = m_output != nullptr && m_output->UsesOpenGL();
    const std::u16string text = FrameRateText(m_pacer.MeasuredFrameRate(), openGL);
    if (text.empty()) return;
    if (m_text != nullptr) {
        m_text->SetTextLine(kRateLine, text);
        m_text->SetTextLine(1, u"");
        m_text->SetTextLine(0, u"");
    }
    m_infoFade.store(kRateDisplayFade, std::memory_order_relaxed);
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
    m_slideChangeMs = m_pacer.Clock().NowMs();
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

void FrameDriver::SetInfoFade(double value) {
    if (!std::isfinite(value)) return;
    m_infoFade.store(value, std::memory_order_relaxed);
}

// ============================================================================================
// Texts and envelopes
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

double FrameDriver::InfoFadeAlpha(double fade) {
    // Above 5 the text is still fading in (6 -> 5); below 1 it fades out.
    const double alpha = fade >= 5.0 ? 6.0 - fade : fade;
    return std::clamp(alpha, 0.0, 1.0);
}

double FrameDriver::TitleAlpha(double t) {
    if (t > 12000.0) return 0.0;
    if (t < 500.0) return 0.0;
    if (t < 1500.0) {
        const double x = (t - 500.0) / 1000.0;
        return x * x;
    }
    if (t > 8000.0) return (12000.0 - t) / 4000.0;
    return 1.0;
}

}  // namespace quovis
