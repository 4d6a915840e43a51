#include "host/frame_pacer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/draw_wnd.h"
#include "settings/config_values.h"

namespace quovis {

namespace {

constexpr int kMinTargetFps = 3;
constexpr int kMaxTargetFps = 1000;
constexpr int kLoadedMinTargetFps = 4;
constexpr int kZeroTargetFps = 30;  // what a target of 0 stands for

// Frames after a restart that only measure, and the ends of the two fixed-rule stretches.
constexpr uint32_t kMeasureFrames = 5;
constexpr uint32_t kDutyRuleFrames = 10;
constexpr uint32_t kRateRuleFrames = 20;
// The pattern's own frame number from which the pacer waits at all: the first frames of a
// pattern (start-up fade, first emission) go out as soon as they are ready.
constexpr int kFirstWaitedFrame = 11;

// Duty factor control around the CPU limit (percent points and steps per frame).
constexpr double kFarAbove = 15.0;
constexpr double kBand = 5.0;
constexpr double kFarAboveStep = 0.005;
constexpr double kProportionalGain = 0.02;

// Slack control: sleeps that keep running late grow the slack, early ones shrink it.
constexpr double kSlackMax = 2.0;
constexpr double kSlackStep = 0.01;
constexpr double kLateSleepMs = -5.0;
constexpr double kEarlySleepMs = 1.5;

// A goal near zero (the duty factor driven to 0 on a saturated machine) must still give a
// finite frame period. The longest wait is capped at 500 ms anyway, so scheduling with at
// least one frame a second changes nothing a user could see; dividing by zero would.
constexpr double kMinScheduleRate = 1.0;
constexpr double kMinRate = 1e-3;

int64_t Tenths(double ms) {
    return static_cast<int64_t>(std::floor(ms * 10.0));
}

double PeriodMs(double rate) {
    return 1000.0 / std::max(rate, kMinScheduleRate);
}

int ClampTarget(int fps) {
    if (fps == 0) return kZeroTargetFps;
    return std::clamp(fps, kMinTargetFps, kMaxTargetFps);
}

}  // namespace

// ============================================================================================
// Clock
// ============================================================================================

double SteadyPacingClock::NowMs() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

void SteadyPacingClock::SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

SteadyPacingClock& SteadyPacingClock::Instance() {
    static SteadyPacingClock clock;
    return clock;
}

// ============================================================================================
// Configuration
// ============================================================================================

PacingConfig ReadPacingConfig(ConfigStore& store) {
    PacingConfig c;
    c.targetFps = std::clamp(kConfigTargetFPS.Read(store), kLoadedMinTargetFps, kMaxTargetFps);
    c.cpuLimit = std::clamp(kConfigCPULimit.Read(store), 1, 100);
    c.slowAfterMinutes = std::max(0, kConfigSlowAfter.Read(store));
    return c;
}

// ============================================================================================
// Slow-down
// ============================================================================================

SlowDown::SlowDown(const PacingConfig& config)
    : m_configuredLimit(std::clamp(config.cpuLimit, 1, 100)),
      m_slowAfterMinutes(std::max(0, config.slowAfterMinutes)),
      m_activeLimit(m_configuredLimit) {}

void SlowDown::Reset(double nowMs) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_counting = m_slowAfterMinutes != 0;
    m_deadlineMs = nowMs + m_slowAfterMinutes * 60000.0;
    m_activeLimit = m_configuredLimit;
    if (m_slowed) {
        m_slowed = false;
        ++m_wakeCount;
    }
}

void SlowDown::Check(double nowMs) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_counting || m_deadlineMs >= nowMs) return;
    m_activeLimit = std::min(m_configuredLimit, kSlowedLimit);
    m_counting = false;
    m_slowed = true;
}

int SlowDown::ActiveCpuLimit() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_activeLimit;
}

bool SlowDown::Slowed() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_slowed;
}

uint32_t SlowDown::WakeCount() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_wakeCount;
}

// ============================================================================================
// Pacer
// ============================================================================================

FramePacerImpl::FramePacerImpl(const PacingConfig& config, PacingClock& clock, MachineUsage& usage,
                               SlowDown& slowDown)
    : m_clock(clock),
      m_usage(usage),
      m_slowDown(slowDown),
      m_targetFps(ClampTarget(config.targetFps)) {
    m_slowDown.Reset(m_clock.NowMs());
    m_seenWakeCount = m_slowDown.WakeCount();
}

void FramePacerImpl::RestartPacing() {
    m_restartPending = true;
    m_framesSinceStart = 0;
}

void FramePacerImpl::SetTargetFps(int fps) {
    m_targetFps = ClampTarget(fps);
    RestartPacing();
}

void FramePacerImpl::CountFrame() {
    ++m_framesSinceStart;
}

void FramePacerImpl::ResetFrameCount() {
    m_framesSinceStart = 0;
}

void FramePacerImpl::ResetPacing(CDrawWnd& engine) {
    (void)engine;
    m_framesSinceStart = 0;
}

void FramePacerImpl::SlowDownCheck(CDrawWnd& engine) {
    (void)engine;
    m_slowDown.Check(m_clock.NowMs());
}

bool FramePacerImpl::ShouldDraw(CDrawWnd& engine) {
    const double now = m_clock.NowMs();
    NoticeActivity(engine, now);
    const double target = m_targetFps;
    if (m_maxRate < 0.0) m_maxRate = target;
    if (m_measuredRate < 0.0) m_measuredRate = target;
    if (m_restartPending) {
        m_restartPending = false;
        m_goal = target;
        m_framesSinceStart = 0;
        m_goalFilter.Init(target, kGoalCorner);
    }

    const double rate = InstantRate(now);
    if (m_framesSinceStart <= kMeasureFrames) {
        MeasureStart(rate);
    } else {
        m_maxRate = m_maxRateFilter.Update(rate);
    }
    AdjustDuty();
    const double slack = m_slack;
    AdjustSlack();
    UpdateGoal(slack);

    int slept = 0;
    if (!Wait(engine, now, &slept)) return false;
    const double after = m_clock.NowMs();
    Schedule(after);
    Measure(after, slept);
    m_lastTick = Tenths(after);
    return true;
}

// Pointer activity in the engine (interactive input) restarts the slow-down countdown, and a
// wake-up of a slowed saver, wherever it came from, restarts the measurements: the old ones
// were taken under the low limit.
void FramePacerImpl::NoticeActivity(CDrawWnd& engine, double now) {
    const uint32_t serial = engine.InputSerial();
    if (m_inputSerialKnown && serial != m_seenInputSerial) m_slowDown.Reset(now);
    m_seenInputSerial = serial;
    m_inputSerialKnown = true;
    const uint32_t wakes = m_slowDown.WakeCount();
    if (wakes != m_seenWakeCount) {
        m_seenWakeCount = wakes;
        RestartPacing();
    }
}

double FramePacerImpl::InstantRate(double now) const {
    int64_t d = Tenths(now) - m_lastTick;
    if (d <= 0) d = 1;
    return 10000.0 / static_cast<double>(d);
}

void FramePacerImpl::MeasureStart(double rate) {
    m_slack = 0.0;
    m_duty = m_slowDown.ActiveCpuLimit() / 100.0;
    m_maxRate = rate;
    m_goalFilter.Init(std::sqrt(m_duty) * m_goal, kGoalCorner);
    m_maxRateFilter.Init(rate, kMaxRateCorner);
}

void FramePacerImpl::AdjustDuty() {
    const int limit = m_slowDown.ActiveCpuLimit();
    if (limit == 100) return;
    const double u = m_usage.PercentBusy();
    if (u > limit + kFarAbove) {
        m_duty = std::max(0.0, m_duty - kFarAboveStep);
    } else if (u > limit + kBand) {
        m_duty = std::max(0.0, m_duty - (u - limit) / 100.0 * kProportionalGain);
    } else if (u < limit - kBand) {
        m_duty = std::min(1.0, m_duty + (limit - u) / 100.0 * kProportionalGain);
    }
}

void FramePacerImpl::AdjustSlack() {
    if (m_averageSleep < kLateSleepMs && m_slack < kSlackMax) {
        m_slack += kSlackStep;
    } else if (m_averageSleep > kEarlySleepMs && m_slack > 0.0) {
        m_slack -= kSlackStep;
    }
}

void FramePacerImpl::UpdateGoal(double slack) {
    const double target = m_targetFps;
    const double a = slack + 0.25;
    const double b = slack + 1.0;
    const double maxPeriod = 1000.0 / std::max(m_maxRate, kMinRate);
    if (m_framesSinceStart < kDutyRuleFrames) {
        m_goal = target * m_duty;
        m_goalFilter.Init(std::sqrt(m_duty) * m_goal, kGoalCorner);
    } else if (m_framesSinceStart < kRateRuleFrames) {
        m_goal = 1000.0 / (maxPeriod + a) * m_duty;
        m_goalFilter.Init(std::sqrt(m_duty) * m_goal, kGoalCorner);
    } else {
        const double low = 1000.0 / (maxPeriod + a) * m_duty * 0.98;
        const double high = 1000.0 / (maxPeriod + b) * m_duty;
        if (m_goal > low) {
            // Twice: coming down is urgent, the machine is already over budget.
            m_goalFilter.Update(low);
            m_goal = m_goalFilter.Update(low);
        } else if (m_measuredRate < high) {
            m_goal = m_goalFilter.Update(high);
        }
        m_goal = std::min(m_goal, m_maxRate * m_duty + 12.0);
    }
    // Never above the target, in every stretch: frames 10 to 19 would otherwise run at
    // whatever the machine manages, a visible burst after every slide change.
    m_goal = std::min(m_goal, target);
}

bool FramePacerImpl::Wait(CDrawWnd& engine, double now, int* sleptMs) {
    int w = 0;
    if (engine.FrameNumber() >= kFirstWaitedFrame) {
        const double due = m_nextFrameMs + PeriodMs(m_goal) - now;
        w = static_cast<int>(std::clamp(std::trunc(due), -1e9, 1e9));
    }
    if (w > 0) {
        w = std::min(w, kMaxWaitMs);
        if (w > kPreviewDeclineMs && !engine.IsSaverMode()) return false;
        if (w > 1) {
            // One millisecond early: a sleep ends late more often than early.
            w -= 1;
            m_clock.SleepMs(w);
        } else {
            w = 0;
        }
    }
    *sleptMs = w;
    return true;
}

// After a stall of more than two frame periods the schedule restarts from the present, so
// the saver does not race through a burst of catch-up frames.
void FramePacerImpl::Schedule(double now) {
    const double period = PeriodMs(m_goal);
    m_nextFrameMs += period;
    if (std::fabs(m_nextFrameMs - now) > 2.0 * period) m_nextFrameMs = now;
}

void FramePacerImpl::Measure(double now, int sleptMs) {
    const double rate = InstantRate(now);
    if (m_framesSinceStart <= kMeasureFrames) {
        m_rateFilter.Init(rate, kRateCorner);
        m_measuredRate = rate;
        m_sleepFilter.Init(0.0, kSleepCorner);
        m_averageSleep = 0.0;
    } else {
        m_measuredRate = m_rateFilter.Update(rate);
        m_averageSleep = m_sleepFilter.Update(sleptMs);
    }
}

}  // namespace quovis
