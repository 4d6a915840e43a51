// Test doubles for pacing: a clock that moves only when told (and when slept on), scripted
// machine load, and an engine that has stepped past its first frames, so the pacer waits.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "host/frame_pacer.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/fixed_clock.h"

namespace quovis::test {

class FakePacingClock final : public PacingClock {
  public:
    explicit FakePacingClock(double startMs = 5000.0) : now(startMs) {}
    double NowMs() override { return now; }
    void SleepMs(int ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
    double now;
    std::vector<int> sleeps;
};

class FakeUsage final : public MachineUsage {
  public:
    explicit FakeUsage(int percent) : percent(percent) {}
    int PercentBusy() override {
        ++calls;
        return percent;
    }
    int percent;
    int calls = 0;
};

// A small engine with a canvas and a running pattern, stepped until its frame number is
// `frames`, so that pacing waits apply (they start after the pattern's tenth frame).
struct SteppedEngine {
    explicit SteppedEngine(bool saverMode, int frames = 12) : clock(1000, 1), engine(clock, One()) {
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        engine.SetCanvasSize(64, 48);
        engine.SetFullCount(true);
        EXPECT_EQ(engine.CreateOutput(60.0), kEngineOk);
        engine.Seed(7);
        EngineSettings s;
        s.Grains = 400;
        engine.ApplySettings(s);
        engine.ApplyCanvasSettings();
        EXPECT_TRUE(engine.StartPattern(0.1, -1, -1, -1, false));
        engine.SetSaverMode(saverMode);
        for (int i = 0; i < 1000 && engine.FrameNumber() < frames; ++i) {
            clock.ms += 17;
            (void)engine.StepFrame();
        }
        EXPECT_EQ(engine.FrameNumber(), frames);
    }
    static EngineOptions One() {
        EngineOptions o;
        o.workerCount = 1;
        return o;
    }
    FixedClock clock;
    PresentedDrawWnd engine;
};

}  // namespace quovis::test
