#include "present/transition_plan.h"

#include <algorithm>
#include <cmath>

namespace quovis {

TransitionPlan PlanTransition(int fadeType) {
    switch (fadeType) {
        case 0:
            return {TransitionKind::FadeIn, 96, 4000};
        case 1:
            return {TransitionKind::Reveal, 256, 5000};
        case 2:
            return {TransitionKind::Flip, 2, 100};
        case 3:
            return {TransitionKind::None, 0, 0};
        default:
            // A value no version wrote: keep the monitor useful rather than black.
            return {TransitionKind::Flip, 1, 0};
    }
}

int FadeOpacity(int step, int steps) {
    // The first three steps draw nothing: the fade starts from what is shown, unchanged.
    constexpr int kSilentSteps = 3;
    if (steps <= kSilentSteps || step >= steps) return 255;
    if (step <= kSilentSteps) return 0;
    return (step - kSilentSteps) * 255 / (steps - kSilentSteps);
}

RowSpan RevealRows(int previousStep, int step, int steps, int height) {
    if (steps <= 0 || height <= 0) return {};
    const auto row = [&](int s) {
        const int64_t clamped = std::clamp(s, 0, steps);
        return static_cast<int>(clamped * height / steps);
    };
    const int first = row(previousStep);
    return {first, std::max(first, row(step))};
}

namespace {

// The start of a `length`-long window into `full` centred on `centre`, which is kept at
// least a pixel inside the picture; centred on the middle when asked or when the window
// leaves no room to move.
double PlaceWindow(double full, double length, int centre, bool centred) {
    const double low = std::trunc(length / 2 + 1);
    const double high = std::trunc(full - length / 2 - 1);
    if (centred || low > high) return (full - length) / 2;
    return std::clamp(static_cast<double>(centre), low, high) - length / 2;
}

}  // namespace

CropRect FitCrop(int pictureWidth, int pictureHeight, int monitorWidth, int monitorHeight,
                 int centroidX, int centroidY, bool centred) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || monitorWidth <= 0 || monitorHeight <= 0) {
        return {};
    }
    const double W = pictureWidth;
    const double H = pictureHeight;
    const double w = monitorWidth;
    const double h = monitorHeight;
    CropRect r;
    if (h * W <= w * H) {
        // The monitor is relatively wider: all columns, a band of rows.
        r.width = W;
        r.height = h * W / w;
        r.y = PlaceWindow(H, r.height, centroidY, centred);
    } else {
        r.height = H;
        r.width = w * H / h;
        r.x = PlaceWindow(W, r.width, centroidX, centred);
    }
    return r;
}

void TransitionSchedule::Start(bool immediate, uint32_t nowMs) {
    m_previous = 0;
    m_startMs = nowMs;
    m_playing = m_plan.steps > 0;
    m_whole = immediate;
    m_current = immediate ? std::max(0, m_plan.steps - 1) : 0;
}

void TransitionSchedule::Stop() {
    m_playing = false;
    m_current = 0;
    m_previous = 0;
    m_whole = false;
}

bool TransitionSchedule::NextStep(uint32_t nowMs) {
    if (!m_playing) return false;
    m_previous = m_whole ? 0 : m_current;
    m_whole = false;
    ++m_current;
    if (m_current == 1) {
        m_startMs = nowMs;
    } else if (m_current < m_plan.steps && m_plan.durationMs > 0) {
        // Where the clock says the transition should be. Slow drawing jumps ahead to it, but
        // never past the final step, which brings in the whole picture.
        const int64_t elapsed = static_cast<uint32_t>(nowMs - m_startMs);
        const int64_t expected =
            std::min<int64_t>(elapsed * m_plan.steps / m_plan.durationMs + 1, m_plan.steps);
        if (m_current <= expected) m_current = static_cast<int>(expected);
    }
    if (m_current > m_plan.steps) {
        Stop();
        return false;
    }
    return true;
}

int TransitionSchedule::PauseMs(int drawMs) const {
    if (m_plan.steps <= 0) return 0;
    return std::max(0, m_plan.durationMs / m_plan.steps - drawMs);
}

}  // namespace quovis
