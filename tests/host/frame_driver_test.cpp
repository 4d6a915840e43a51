// The frame function on a real engine and canvas: rendering on and off, presenting, the
// frame-rate text, the overlay fades, and pacing through the engine's own frame step.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <string>

#include "host/frame_driver.h"
#include "present/presented_draw_wnd.h"
#include "tests/host/pacing_fakes.h"

namespace quovis {
namespace {

using test::FakeUsage;

// One time source for the engine and the pacer, so the pacer's sleeps move the engine's
// clock too.
class SharedClock final : public EngineClock, public PacingClock {
  public:
    uint32_t Milliseconds() override { return static_cast<uint32_t>(now); }
    uint32_t TickCount() override { return static_cast<uint32_t>(now) + 777u; }
    double NowMs() override { return now; }
    void SleepMs(int ms) override {
        ++sleeps;
        longestSleep = std::max(longestSleep, ms);
        now += ms;
    }
    double now = 2000.0;
    int sleeps = 0;
    int longestSleep = 0;
};

// Presents the way a window would take the frame: the canvas converted to the display image.
class ImageOutput final : public FrameOutput {
  public:
    void Present(CDrawWnd& engine) override {
        static_cast<PresentedDrawWnd&>(engine).Flipper()->ConvertToDisplay();
        ++presented;
    }
    bool UsesOpenGL() const override { return openGL; }
    void RedrawWindow() override { ++redraws; }
    bool openGL = false;
    int presented = 0;
    int redraws = 0;
};

// The text window's view: what it was last asked to show, and how often its lines changed.
class RecordingView final : public TextWindowView {
  public:
    void ShowText(const TextShown& shown) override {
        if (shown.serial != last.serial) ++lineChanges;
        last = shown;
    }
    double Alpha() const { return last.alpha / 255.0; }
    TextShown last;
    int lineChanges = 0;
};

PacingConfig Config(int targetFps) {
    PacingConfig c;
    c.targetFps = targetFps;
    c.cpuLimit = 100;
    return c;
}

struct DriverRig {
    explicit DriverRig(bool saverMode, int targetFps = 60, bool trails = true)
        : usage(0),
          slowDown(Config(targetFps)),
          engine(clock, One()),
          pacer(Config(targetFps), clock, usage, slowDown),
          text(&view),
          driver(engine, pacer, &output, &text) {
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        engine.SetCanvasSize(96, 64);
        engine.SetFullCount(true);
        EXPECT_EQ(engine.CreateOutput(targetFps), kEngineOk);
        engine.Seed(3);
        EngineSettings s;
        s.Grains = 3000;
        s.LeaveTrails = trails ? 1 : 0;
        engine.ApplySettings(s);
        engine.ApplyCanvasSettings();
        EXPECT_TRUE(engine.StartPattern(0.2, -1, -1, -1, false));
        engine.SetSaverMode(saverMode);
        FrameHooks hooks;
        hooks.pacer = &pacer;
        engine.SetFrameHooks(hooks);
    }
    static EngineOptions One() {
        EngineOptions o;
        o.workerCount = 1;
        return o;
    }
    // Loop iterations of workMs each until `frames` frames were produced; false if the
    // engine stopped producing.
    bool Produce(int frames, double workMs = 2.0) {
        int produced = 0;
        for (int i = 0; i < 100000 && produced < frames; ++i) {
            produced += driver.RunFrame() ? 1 : 0;
            clock.now += workMs;
        }
        return produced == frames;
    }
    bool DisplayHasLight() {
        const uint32_t* p = engine.Flipper()->DisplayPixels();
        for (int i = 0; i < engine.CanvasWidth() * engine.CanvasHeight(); ++i) {
            if ((p[i] & 0x00FFFFFFu) != 0) return true;
        }
        return false;
    }
    SharedClock clock;
    FakeUsage usage;
    SlowDown slowDown;
    PresentedDrawWnd engine;
    FramePacerImpl pacer;
    ImageOutput output;
    RecordingView view;
    TextWindow text;
    FrameDriver driver;
};

TEST(FrameDriver, ProducesAndPresentsFramesOnlyWhileRendering) {
    DriverRig rig(true);
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(rig.driver.RunFrame());
        rig.clock.now += 20.0;
    }
    EXPECT_EQ(rig.engine.FrameNumber(), 0) << "not started: the engine is not stepped";

    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(40));
    EXPECT_EQ(rig.pacer.FramesSinceStart(), 40u);
    EXPECT_EQ(rig.output.presented, 40);
    EXPECT_TRUE(rig.DisplayHasLight()) << "the presented image shows the art";

    rig.driver.StopRendering();
    EXPECT_EQ(rig.output.redraws, 1) << "the window is repainted when rendering stops";
    const int frame = rig.engine.FrameNumber();
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(rig.driver.RunFrame());
    EXPECT_EQ(rig.engine.FrameNumber(), frame);

    rig.driver.SetRunState(true);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(3));
    rig.driver.SetRunState(false);
    const int paused = rig.engine.FrameNumber();
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(rig.driver.RunFrame());
    EXPECT_EQ(rig.engine.FrameNumber(), paused);
}

TEST(FrameDriver, SlideshowKeepsFramesComingWhileRenderingIsStopped) {
    DriverRig rig(true);
    rig.driver.SetSlideshow(true);
    rig.driver.StopRendering();
    EXPECT_EQ(rig.output.redraws, 0) << "a running slideshow repaints itself";
    ASSERT_TRUE(rig.Produce(10));
}

TEST(FrameDriver, FullScreenHoldsTheTargetRate) {
    DriverRig rig(true, 30);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(60));
    const double start = rig.clock.now;
    ASSERT_TRUE(rig.Produce(150));
    EXPECT_NEAR(150 * 1000.0 / (rig.clock.now - start), 30.0, 1.0);
    EXPECT_GT(rig.clock.sleeps, 100) << "the frame step slept after drawing";
}

TEST(FrameDriver, PreviewIsPacedBeforeDrawing) {
    DriverRig rig(false, 20);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(40, 1.0));
    const int presented = rig.output.presented;
    const double start = rig.clock.now;
    while (rig.clock.now - start < 2000.0) {
        rig.driver.RunFrame();
        rig.clock.now += 1.0;
    }
    EXPECT_NEAR(rig.output.presented - presented, 40, 2) << "20 frames a second";
    EXPECT_LE(rig.clock.longestSleep, 30) << "longer waits return at once instead of sleeping";
}

TEST(FrameDriver, FrameRateTextOnRequest) {
    DriverRig rig(true);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(30));
    EXPECT_EQ(rig.view.last.alpha, 0) << "nothing to show yet";

    rig.driver.ToggleFrameRateRequest();
    ASSERT_TRUE(rig.Produce(1));
    // The rate measured at this frame shows from the next one.
    const std::u16string expected =
        FrameDriver::FrameRateText(rig.pacer.MeasuredFrameRate(), false);
    ASSERT_TRUE(rig.Produce(1));
    const TextLines& lines = rig.view.last.lines;
    EXPECT_EQ(lines[2], expected);
    EXPECT_EQ(lines[2].substr(lines[2].size() - 10), u" fps (gdi)");
    EXPECT_EQ(lines[1], u"");
    EXPECT_EQ(lines[0], u"");

    // Shown once: the next frames only fade it, 0.01 per frame.
    const int changes = rig.view.lineChanges;
    ASSERT_TRUE(rig.Produce(49));
    EXPECT_EQ(rig.view.lineChanges, changes);
    EXPECT_NEAR(rig.view.Alpha(), 0.5, 0.01);
    ASSERT_TRUE(rig.Produce(60));
    EXPECT_EQ(rig.view.last.alpha, 0);

    rig.output.openGL = true;
    rig.driver.SetShowFrameRateAlways(true);
    ASSERT_TRUE(rig.Produce(3));
    EXPECT_EQ(rig.view.last.lines[2].substr(rig.view.last.lines[2].size() - 9), u" fps (gl)");
    EXPECT_GT(rig.view.last.alpha, 240) << "kept on screen";
}

TEST(FrameDriver, FrameRateWaitsForACountedFrame) {
    DriverRig rig(true);
    rig.driver.ToggleFrameRateRequest();
    for (int i = 0; i < 5; ++i) rig.driver.RunFrame();  // not rendering: nothing counted
    EXPECT_EQ(rig.text.InfoFade(), 0.0);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(1));
    EXPECT_EQ(rig.text.InfoFade(), 1.0) << "the request was kept until a frame was counted";
}

TEST(FrameDriver, StartUpTextFadesInHoldsAndFadesOut) {
    DriverRig rig(true);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(5));
    rig.text.ShowInfo(u"Galaxy", u"by someone", u"somewhere", 6.0);
    ASSERT_TRUE(rig.Produce(50));
    EXPECT_NEAR(rig.view.Alpha(), 0.5, 0.01) << "half way into the fade-in";
    EXPECT_EQ(rig.view.last.lines[0], u"Galaxy");
    ASSERT_TRUE(rig.Produce(300));
    EXPECT_EQ(rig.view.last.alpha, 255);
    ASSERT_TRUE(rig.Produce(200));
    EXPECT_NEAR(rig.view.Alpha(), 0.5, 0.01) << "half way out";
    ASSERT_TRUE(rig.Produce(60));
    EXPECT_EQ(rig.view.last.alpha, 0);
}

TEST(FrameDriver, SlideshowTitleFollowsTheSlideStart) {
    DriverRig rig(true);
    rig.text.SetTitleLines(u"\u201CSilk\u201D", u"by someone", u"");
    rig.driver.SetSlideshow(true);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(3));
    EXPECT_EQ(rig.view.last.alpha, 0) << "the title waits half a second";
    rig.clock.now += 1000.0;
    ASSERT_TRUE(rig.Produce(1));
    EXPECT_GT(rig.view.Alpha(), 0.2);
    EXPECT_LT(rig.view.Alpha(), 0.5);
    EXPECT_EQ(rig.view.last.lines[0], u"\u201CSilk\u201D");
    rig.clock.now += 4000.0;
    ASSERT_TRUE(rig.Produce(1));
    EXPECT_EQ(rig.view.last.alpha, 255);
    rig.clock.now += 10000.0;
    ASSERT_TRUE(rig.Produce(1));
    EXPECT_EQ(rig.view.last.alpha, 0);
}

TEST(FrameDriver, FrameRateTextFormat) {
    EXPECT_EQ(FrameDriver::FrameRateText(59.94, false), u"59.9 fps (gdi)");
    EXPECT_EQ(FrameDriver::FrameRateText(60.0, true), u"60 fps (gl)");
    EXPECT_EQ(FrameDriver::FrameRateText(7.25, false), u"7.25 fps (gdi)");
    EXPECT_EQ(FrameDriver::FrameRateText(1234.5, true), u"1.23e+03 fps (gl)");
}

TEST(FrameDriver, LiveTargetReachesEngineAndPacer) {
    DriverRig rig(true, 60);
    rig.driver.StartRendering(false);
    ASSERT_TRUE(rig.Produce(100));
    rig.driver.SetTargetFps(15);
    EXPECT_EQ(rig.pacer.TargetFps(), 15);
    ASSERT_TRUE(rig.Produce(100));
    const double start = rig.clock.now;
    ASSERT_TRUE(rig.Produce(60));
    EXPECT_NEAR(60 * 1000.0 / (rig.clock.now - start), 15.0, 0.5);
}

TEST(FrameDriver, ALimitSetOnTheEngineReachesThePacer) {
    // The slideshow sets the engine's limit at every slide change, usually to what it was.
    for (int limit : {15, 60, 2000}) {
        DriverRig rig(true, 60);
        rig.driver.StartRendering(false);
        ASSERT_TRUE(rig.Produce(100));
        rig.engine.SetRateLimit(limit);
        ASSERT_TRUE(rig.Produce(1));
        EXPECT_EQ(rig.pacer.TargetFps(), std::min(limit, 1000)) << limit;
        EXPECT_EQ(rig.pacer.FramesSinceStart(), limit == 60 ? 101u : 1u) << "restarted " << limit;
        rig.driver.SetTargetFps(30);  // a live change is not passed on a second time
        ASSERT_TRUE(rig.Produce(30));
        EXPECT_EQ(rig.pacer.FramesSinceStart(), 30u) << limit;
    }
}

}  // namespace
}  // namespace quovis
