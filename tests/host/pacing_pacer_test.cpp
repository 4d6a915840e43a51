// The frame pacer on a fake clock: the duty factor against the machine load, the preview's
// refusal to sleep long, the schedule after a stall, the rate it settles at, and the idle
// slow-down.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "tests/host/pacing_fakes.h"

namespace quovis {
namespace {

using test::FakePacingClock;
using test::FakeUsage;
using test::SteppedEngine;

PacingConfig Config(int targetFps, int cpuLimit, int slowAfterMinutes = 120) {
    PacingConfig c;
    c.targetFps = targetFps;
    c.cpuLimit = cpuLimit;
    c.slowAfterMinutes = slowAfterMinutes;
    return c;
}

// The loop around the pacer as the frame driver runs it: ask, count a drawn frame, then spend
// the frame's work time.
struct Rig {
    Rig(const PacingConfig& config, int busy, bool saverMode)
        : usage(busy),
          slowDown(config),
          stepped(saverMode),
          pacer(config, clock, usage, slowDown) {}
    bool Frame(double workMs) {
        const bool drawn = pacer.ShouldDraw(stepped.engine);
        if (drawn) pacer.CountFrame();
        clock.now += workMs;
        return drawn;
    }
    // Frames until the pacer has left its measuring frames (frames since start > 5).
    void PastMeasuring(double workMs) {
        while (pacer.FramesSinceStart() <= 5) ASSERT_TRUE(Frame(workMs));
    }
    FakePacingClock clock;
    FakeUsage usage;
    SlowDown slowDown;
    SteppedEngine stepped;
    FramePacerImpl pacer;
};

// ---- Duty factor ---------------------------------------------------------------------------

TEST(PacingDuty, LimitOfHundredTurnsTheLoadControlOff) {
    Rig rig(Config(60, 100), 100, true);
    for (int i = 0; i < 300; ++i) {
        rig.Frame(5.0);
        ASSERT_EQ(rig.pacer.Duty(), 1.0) << "frame " << i;
    }
    EXPECT_EQ(rig.usage.calls, 0) << "the machine load is not even read";
}

TEST(PacingDuty, IdleMachineRaisesTheDutyTowardOne) {
    // Limit 97 on an idle machine: 0.97 from the measuring frames, plus 0.0194 per frame.
    Rig rig(Config(60, 97), 0, true);
    rig.Frame(5.0);
    EXPECT_NEAR(rig.pacer.Duty(), 0.97 + 0.0194, 1e-12);
    rig.PastMeasuring(5.0);
    rig.Frame(5.0);
    EXPECT_EQ(rig.pacer.Duty(), 1.0) << "capped at 1";

    // A lower limit shows the steady climb: (60 - 0) / 100 * 0.02 per frame.
    Rig low(Config(60, 60), 0, true);
    low.PastMeasuring(5.0);
    double before = low.pacer.Duty();
    for (int i = 0; i < 20; ++i) {
        low.Frame(5.0);
        ASSERT_NEAR(low.pacer.Duty() - before, 0.012, 1e-12) << "frame " << i;
        before = low.pacer.Duty();
    }
    for (int i = 0; i < 40; ++i) low.Frame(5.0);
    EXPECT_EQ(low.pacer.Duty(), 1.0);
}

TEST(PacingDuty, LoadWithinFivePointsOfTheLimitLeavesTheDutyAlone) {
    for (int busy : {92, 95, 97, 102}) {
        Rig rig(Config(60, 97), busy, true);
        for (int i = 0; i < 60; ++i) rig.Frame(5.0);
        EXPECT_NEAR(rig.pacer.Duty(), 0.97, 1e-12) << "usage " << busy;
    }
    // Just outside the band the duty moves by the distance: 6 points give 0.0012 a frame.
    Rig above(Config(60, 97), 103, true);
    above.PastMeasuring(5.0);
    const double start = above.pacer.Duty();
    for (int i = 0; i < 10; ++i) above.Frame(5.0);
    EXPECT_NEAR(above.pacer.Duty(), start - 10 * 0.0012, 1e-9);
}

TEST(PacingDuty, SaturatedMachineLowersTheDutyToZeroAndPacingStaysSound) {
    // Limit 50 with the machine at 100: more than 15 points above, 0.005 less per frame.
    Rig rig(Config(60, 50), 100, true);
    rig.PastMeasuring(5.0);
    double before = rig.pacer.Duty();
    EXPECT_NEAR(before, 0.5 - 0.005, 1e-12);
    for (int i = 0; i < 20; ++i) {
        rig.Frame(5.0);
        ASSERT_NEAR(before - rig.pacer.Duty(), 0.005, 1e-12) << "frame " << i;
        before = rig.pacer.Duty();
    }
    // Down to zero and no further; the saver slows to its longest wait but keeps drawing, with
    // every number finite.
    for (int i = 0; i < 400; ++i) {
        ASSERT_TRUE(rig.Frame(5.0));
        ASSERT_TRUE(std::isfinite(rig.pacer.Goal()));
        ASSERT_TRUE(std::isfinite(rig.pacer.MeasuredFrameRate()));
    }
    EXPECT_EQ(rig.pacer.Duty(), 0.0);
    ASSERT_FALSE(rig.clock.sleeps.empty());
    for (int ms : rig.clock.sleeps) ASSERT_TRUE(ms >= 1 && ms <= 499) << ms;
    EXPECT_EQ(rig.clock.sleeps.back(), 499) << "at duty 0 the saver waits as long as it may";
}

// ---- Waiting ---------------------------------------------------------------------------------

TEST(PacingWait, SettlesAtTheTargetRateWhenTheMachineIsFastEnough) {
    Rig rig(Config(60, 100), 0, true);
    for (int i = 0; i < 300; ++i) rig.Frame(5.0);
    const double start = rig.clock.now;
    for (int i = 0; i < 600; ++i) rig.Frame(5.0);
    const double framesPerSecond = 600 * 1000.0 / (rig.clock.now - start);
    EXPECT_NEAR(framesPerSecond, 60.0, 1.0);
    EXPECT_NEAR(rig.pacer.MeasuredFrameRate(), 60.0, 2.0);
    EXPECT_EQ(rig.pacer.Goal(), 60.0);
}

TEST(PacingWait, NoBurstAboveTheTargetAfterANewSlide) {
    Rig rig(Config(60, 100), 0, true);
    for (int i = 0; i < 100; ++i) rig.Frame(5.0);
    rig.pacer.ResetPacing(rig.stepped.engine);  // a new slide: pacing measures afresh
    double last = rig.clock.now;
    for (int i = 0; i < 40; ++i) {
        rig.Frame(5.0);
        ASSERT_LE(rig.pacer.Goal(), 60.0) << "frame " << i << " after the slide change";
        if (i > 0) {
            ASSERT_GE(rig.clock.now - last, 1000.0 / 60.0 - 2.0) << "frame " << i;
        }
        last = rig.clock.now;
    }
}

TEST(PacingWait, SlowMachineRunsAsFastAsItCan) {
    // 40 ms of work a frame against a target of 60: the goal follows just under what the
    // machine manages, so the waits are no more than a millisecond or two.
    Rig rig(Config(60, 100), 0, true);
    for (int i = 0; i < 100; ++i) rig.Frame(40.0);
    const size_t sleptBefore = rig.clock.sleeps.size();
    for (int i = 0; i < 200; ++i) rig.Frame(40.0);
    for (size_t i = sleptBefore; i < rig.clock.sleeps.size(); ++i)
        ASSERT_LE(rig.clock.sleeps[i], 2);
    EXPECT_NEAR(rig.pacer.MeasuredFrameRate(), 24.5, 0.7);
}

TEST(PacingWait, PreviewSkipsAFrameDueInMoreThanThirtyMs) {
    Rig rig(Config(10, 100), 0, false);  // a frame every 100 ms
    ASSERT_TRUE(rig.Frame(0.0));
    const double drawnAt = rig.clock.now;
    const uint32_t counted = rig.pacer.FramesSinceStart();
    const double rate = rig.pacer.MeasuredFrameRate();
    rig.clock.now += 1.0;
    EXPECT_FALSE(rig.Frame(0.0)) << "due in 99 ms: the preview is told not to draw";
    EXPECT_TRUE(rig.clock.sleeps.empty()) << "and it does not sleep";
    EXPECT_EQ(rig.pacer.FramesSinceStart(), counted);
    EXPECT_EQ(rig.pacer.MeasuredFrameRate(), rate);
    // 15 ms before the frame is due it waits, one millisecond short.
    rig.clock.now = drawnAt + 85.0;
    EXPECT_TRUE(rig.Frame(0.0));
    ASSERT_EQ(rig.clock.sleeps.size(), 1u);
    EXPECT_EQ(rig.clock.sleeps[0], 14);

    // Polled every millisecond, it draws at its rate and never sleeps more than 30 ms.
    int drawn = 0;
    const double start = rig.clock.now;
    while (rig.clock.now - start < 3000.0) drawn += rig.Frame(1.0) ? 1 : 0;
    EXPECT_NEAR(drawn, 30, 2);
    for (int ms : rig.clock.sleeps) ASSERT_LE(ms, 30);

    // Full screen at the same rate sleeps the whole wait instead.
    Rig full(Config(10, 100), 0, true);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(full.Frame(1.0));
    EXPECT_GT(*std::max_element(full.clock.sleeps.begin(), full.clock.sleeps.end()), 90);
}

TEST(PacingWait, StallResynchronisesTheScheduleInsteadOfBursting) {
    Rig rig(Config(50, 100), 0, true);  // 20 ms a frame
    for (int i = 0; i < 100; ++i) rig.Frame(5.0);
    rig.clock.now += 1000.0;  // the machine stalls for fifty frame periods
    size_t slept = rig.clock.sleeps.size();
    rig.Frame(5.0);
    EXPECT_EQ(rig.clock.sleeps.size(), slept) << "the late frame goes out at once";
    for (int i = 0; i < 5; ++i) {
        slept = rig.clock.sleeps.size();
        rig.Frame(5.0);
        ASSERT_EQ(rig.clock.sleeps.size(), slept + 1) << "frame " << i << " after the stall";
        EXPECT_GE(rig.clock.sleeps.back(), 5) << "paced again, not catching up";
    }
}

TEST(PacingWait, FirstFramesOfAPatternAreNotDelayed) {
    FakePacingClock clock;
    FakeUsage usage(0);
    SlowDown slowDown(Config(5, 100));
    SteppedEngine stepped(true, 10);  // the pattern's tenth frame: not yet paced
    FramePacerImpl pacer(Config(5, 100), clock, usage, slowDown);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(pacer.ShouldDraw(stepped.engine));
        pacer.CountFrame();
    }
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST(PacingTarget, ZeroMeansThirtyAndOthersAreLimited) {
    FakePacingClock clock;
    FakeUsage usage(0);
    SlowDown slowDown(Config(60, 97));
    FramePacerImpl pacer(Config(0, 97), clock, usage, slowDown);
    EXPECT_EQ(pacer.TargetFps(), 30);
    pacer.SetTargetFps(2);
    EXPECT_EQ(pacer.TargetFps(), 3);
    pacer.SetTargetFps(5000);
    EXPECT_EQ(pacer.TargetFps(), 1000);
    pacer.SetTargetFps(-4);
    EXPECT_EQ(pacer.TargetFps(), 3);
}

TEST(PacingTarget, LiveChangeRestartsTheMeasurements) {
    Rig rig(Config(60, 100), 0, true);
    for (int i = 0; i < 100; ++i) rig.Frame(5.0);
    rig.pacer.SetTargetFps(20);
    EXPECT_EQ(rig.pacer.FramesSinceStart(), 0u);
    for (int i = 0; i < 300; ++i) rig.Frame(5.0);
    EXPECT_NEAR(rig.pacer.MeasuredFrameRate(), 20.0, 1.0);
}

// ---- Slow-down -------------------------------------------------------------------------------

constexpr double kMinute = 60000.0;

TEST(PacingSlowDown, LimitDropsAfterTheIdleMinutesAndComesBack) {
    SlowDown s(Config(60, 97, 120));
    s.Reset(1000.0);
    s.Check(1000.0 + 119 * kMinute);
    EXPECT_EQ(s.ActiveCpuLimit(), 97);
    EXPECT_FALSE(s.Slowed());
    s.Check(1000.0 + 120 * kMinute + 1.0);
    EXPECT_EQ(s.ActiveCpuLimit(), 15);
    EXPECT_TRUE(s.Slowed());
    const uint32_t wakes = s.WakeCount();
    s.Reset(1000.0 + 121 * kMinute);
    EXPECT_EQ(s.ActiveCpuLimit(), 97);
    EXPECT_FALSE(s.Slowed());
    EXPECT_EQ(s.WakeCount(), wakes + 1);
    // A reset while awake is not a wake-up.
    s.Reset(1000.0 + 122 * kMinute);
    EXPECT_EQ(s.WakeCount(), wakes + 1);
}

TEST(PacingSlowDown, LowerConfiguredLimitStaysAndZeroMinutesNeverSlows) {
    SlowDown low(Config(60, 10, 1));
    low.Reset(0.0);
    low.Check(2 * kMinute);
    EXPECT_TRUE(low.Slowed());
    EXPECT_EQ(low.ActiveCpuLimit(), 10);

    SlowDown never(Config(60, 97, 0));
    never.Reset(0.0);
    never.Check(1e12);
    EXPECT_FALSE(never.Slowed());
    EXPECT_EQ(never.ActiveCpuLimit(), 97);
}

TEST(PacingSlowDown, PointerActivityWakesASlowedSaverAndRestartsPacing) {
    // The pointer moving over an interactive saver, or slightly over a normal one.
    const std::pair<const char*, void (*)(CDrawWnd&)> inputs[] = {
        {"hover", [](CDrawWnd& e) { e.MouseInput(10, 10); }},
        {"slight move", [](CDrawWnd& e) { e.PointerMovedSlightly(); }},
    };
    for (const auto& [name, input] : inputs) {
        Rig rig(Config(60, 97, 120), 0, true);
        for (int i = 0; i < 50; ++i) rig.Frame(5.0);
        rig.clock.now += 121 * kMinute;
        rig.pacer.SlowDownCheck(rig.stepped.engine);
        EXPECT_EQ(rig.slowDown.ActiveCpuLimit(), 15) << name;
        // The machine at 60 percent is now far above the limit: the duty falls.
        rig.usage.percent = 60;
        const double awake = rig.pacer.Duty();
        for (int i = 0; i < 50; ++i) rig.Frame(5.0);
        EXPECT_NEAR(rig.pacer.Duty(), awake - 50 * 0.005, 1e-9) << name;

        input(rig.stepped.engine);
        rig.usage.percent = 97;
        rig.Frame(5.0);
        EXPECT_FALSE(rig.slowDown.Slowed()) << name;
        EXPECT_EQ(rig.slowDown.ActiveCpuLimit(), 97) << name;
        EXPECT_EQ(rig.pacer.FramesSinceStart(), 1u) << name << ": pacing restarted";
        EXPECT_NEAR(rig.pacer.Duty(), 0.97, 1e-12) << name;
    }
}

TEST(PacingSlowDown, EveryPacerSharingTheStateWakesUp) {
    FakePacingClock clock;
    FakeUsage usage(0);
    SlowDown shared(Config(60, 97, 1));
    SteppedEngine a(true), b(true);
    FramePacerImpl pa(Config(60, 97, 1), clock, usage, shared);
    FramePacerImpl pb(Config(60, 97, 1), clock, usage, shared);
    for (int i = 0; i < 30; ++i) {
        pa.ShouldDraw(a.engine);
        pa.CountFrame();
        pb.ShouldDraw(b.engine);
        pb.CountFrame();
        clock.now += 5.0;
    }
    clock.now += 2 * kMinute;
    pa.SlowDownCheck(a.engine);
    ASSERT_TRUE(shared.Slowed());
    shared.Reset(clock.now);  // the host saw a slight pointer movement
    pa.ShouldDraw(a.engine);
    pb.ShouldDraw(b.engine);
    EXPECT_EQ(pa.FramesSinceStart(), 0u);
    EXPECT_EQ(pb.FramesSinceStart(), 0u);
}

}  // namespace
}  // namespace quovis
