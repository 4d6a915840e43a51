// Frame pacing: when the next frame may be drawn, so that the saver reaches but does not
// exceed its target frame rate and keeps the whole machine's processor load near the
// configured CPU limit. After a long time without pointer movement the limit drops, so a
// saver left running overnight does not keep the fans going.
//
// How it fits together
//   The engine's frame step calls ShouldDraw once per frame: before drawing in a preview (a
//   "no" skips the frame, so the preview's window never stalls in a long sleep), after
//   drawing in full screen (it only sleeps). ResetPacing comes at each new slide,
//   SlowDownCheck every 60 frames. The frame driver counts presented frames (CountFrame) and
//   reads the measured rate for the frame-rate display.
//
//   The adaptive goal: the first five frames after a restart only measure; frames 6 to 19
//   follow fixed rules; from frame 20 on the goal is tracked through a smoothing filter. The
//   goal is the target rate scaled by a duty factor in 0..1 that the measured machine load
//   nudges up or down each frame. A small slack (0..2 ms) added to the frame period absorbs
//   the sleeps' systematic lateness.
//
// Threads: one pacer belongs to one engine and is used on that engine's frame thread with the
// engine lock held (ShouldDraw, ResetPacing, SlowDownCheck come from inside the frame step;
// the frame driver takes the lock for the others). SlowDown and the usage meter may be shared
// by the pacers of several engines and lock themselves.
#pragma once

#include <cstdint>
#include <mutex>

#include "base/smoothing_filter.h"
#include "engine/frame_hooks.h"
#include "host/cpu_usage.h"

namespace quovis {

class ConfigStore;

// Time for the pacer: a monotonic millisecond clock with at least 0.1 ms resolution, and
// the sleep it waits with. A test's clock advances when asked to sleep, so nothing sleeps.
class PacingClock {
  public:
    virtual ~PacingClock() = default;
    virtual double NowMs() = 0;
    // Sleeps about ms whole milliseconds (the pacer asks for 1..499).
    virtual void SleepMs(int ms) = 0;
};

// std::chrono::steady_clock and std::this_thread::sleep_for; Linux sleeps are accurate to a
// fraction of a millisecond, so no timer resolution needs raising.
class SteadyPacingClock final : public PacingClock {
  public:
    double NowMs() override;
    void SleepMs(int ms) override;
    static SteadyPacingClock& Instance();
};

// The configuration the pacer runs with; the host fills it from the store.
struct PacingConfig {
    int targetFps = 60;          // frames per second, 3..1000
    int cpuLimit = 97;           // percent of the whole machine, 1..100; 100 = no load control
    int slowAfterMinutes = 120;  // idle minutes before the limit drops; 0 = never
};

// "TargetFPS", "CPULimit" and "SlowAfter", checked: the target 4..1000 as the saver loads
// it, the limit 1..100, the minutes 0 and up.
PacingConfig ReadPacingConfig(ConfigStore& store);

// The idle slow-down, shared by every engine of the process: after slowAfterMinutes without
// pointer activity the active CPU limit drops to at most 15 percent; activity restores it.
class SlowDown {
  public:
    static constexpr int kSlowedLimit = 15;

    // The limit is taken as 1..100 percent and the minutes as 0 and up.
    explicit SlowDown(const PacingConfig& config);

    // Restarts the countdown and restores the configured limit. Waking a slowed saver also
    // bumps WakeCount, which tells every pacer to restart its measurements.
    void Reset(double nowMs);
    // Drops the limit once the countdown has run out.
    void Check(double nowMs);
    int ActiveCpuLimit() const;
    bool Slowed() const;
    uint32_t WakeCount() const;
    int ConfiguredCpuLimit() const { return m_configuredLimit; }

  private:
    mutable std::mutex m_mutex;
    const int m_configuredLimit;
    const int m_slowAfterMinutes;
    int m_activeLimit;
    bool m_counting = false;  // a countdown runs
    double m_deadlineMs = 0.0;
    bool m_slowed = false;
    uint32_t m_wakeCount = 0;
};

class FramePacerImpl final : public FramePacer {
  public:
    // Corners of the four filters, as fractions of the frame rate.
    static constexpr double kGoalCorner = 0.02;
    static constexpr double kMaxRateCorner = 0.07;
    static constexpr double kRateCorner = 0.05;
    static constexpr double kSleepCorner = 0.1;
    static constexpr int kMaxWaitMs = 500;
    static constexpr int kPreviewDeclineMs = 30;  // a preview waiting longer skips the frame

    // A new pacer restarts the slow-down countdown (a new engine counts as activity).
    FramePacerImpl(const PacingConfig& config, PacingClock& clock, MachineUsage& usage,
                   SlowDown& slowDown);

    // FramePacer, called by the frame step.
    bool ShouldDraw(CDrawWnd& engine) override;
    void ResetPacing(CDrawWnd& engine) override;
    void SlowDownCheck(CDrawWnd& engine) override;

    // Pacing measures afresh from the next frame (rendering started, the run state set, a
    // slowed saver woken).
    void RestartPacing();
    // The target rate, set live: 0 means 30, otherwise limited to 3..1000. Restarts pacing.
    void SetTargetFps(int fps);
    int TargetFps() const { return m_targetFps; }
    // The frame driver presented a frame.
    void CountFrame();
    // Frames presented since rendering or pacing last restarted (also the F5 tone change).
    void ResetFrameCount();
    uint32_t FramesSinceStart() const { return m_framesSinceStart; }

    // What the pacer has measured, for the frame-rate display and for tests.
    double MeasuredFrameRate() const { return m_measuredRate; }
    double Goal() const { return m_goal; }
    double Duty() const { return m_duty; }
    double Slack() const { return m_slack; }
    double MaximumRate() const { return m_maxRate; }
    double AverageSleep() const { return m_averageSleep; }
    PacingClock& Clock() { return m_clock; }
    SlowDown& SlowDownState() { return m_slowDown; }

  private:
    void NoticeActivity(CDrawWnd& engine, double now);
    double InstantRate(double now) const;
    void MeasureStart(double rate);
    void AdjustDuty();
    void AdjustSlack();
    // slack: the slack before this frame's adjustment.
    void UpdateGoal(double slack);
    // Step 8 of a frame: the wait before the frame may go ahead. False when a preview should
    // skip the frame instead of waiting; otherwise *sleptMs is the (possibly negative) slack
    // between the schedule and now.
    bool Wait(CDrawWnd& engine, double now, int* sleptMs);
    void Schedule(double now);
    void Measure(double now, int sleptMs);

    PacingClock& m_clock;
    MachineUsage& m_usage;
    SlowDown& m_slowDown;

    int m_targetFps;
    bool m_restartPending = true;
    uint32_t m_framesSinceStart = 0;
    int64_t m_lastTick = 0;  // tenths of a millisecond, at the end of the last ShouldDraw
    double m_nextFrameMs = 0.0;
    double m_goal = 0.0;
    double m_duty = 1.0;
    double m_slack = 0.0;
    double m_maxRate = -1.0;       // set to the target on the first call
    double m_measuredRate = -1.0;  // set to the target on the first call
    double m_averageSleep = 0.0;
    SmoothingFilter m_goalFilter;
    SmoothingFilter m_maxRateFilter;
    SmoothingFilter m_rateFilter;
    SmoothingFilter m_sleepFilter;
    uint32_t m_seenWakeCount = 0;
    uint32_t m_seenInputSerial = 0;
    bool m_inputSerialKnown = false;
};

}  // namespace quovis
