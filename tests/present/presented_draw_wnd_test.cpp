// An engine with its own presenter: creating the output, drawing through the engine, and the
// canvas work running on several threads at once.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "flipper_support.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;
using test::DisplayAt;
using test::FixedClock;

using test::OneWorker;

TEST(PresentedDrawWnd, OutputNeedsACanvasSizeAndIsCreatedOnce) {
    FixedClock clock(10, 20);
    PresentedDrawWnd engine(clock, OneWorker());
    EXPECT_EQ(engine.CreateOutput(60.0), kEngineNoOutput);
    EXPECT_EQ(engine.Flipper(), nullptr);
    EXPECT_EQ(engine.Canvas(), nullptr);

    engine.SetCanvasSize(642, 481);
    ASSERT_EQ(engine.CreateOutput(60.0), kEngineOk);
    ASSERT_NE(engine.Flipper(), nullptr);
    EXPECT_EQ(engine.Canvas(), engine.Flipper());
    EXPECT_EQ(engine.Flipper()->Width(), 640);
    EXPECT_EQ(engine.Flipper()->Height(), 480);
    EXPECT_TRUE(engine.Flipper()->IsDeepActive());
    EXPECT_NEAR(engine.Flipper()->FrameInterval(), 1.0 / 60.0, 1e-12);
    EXPECT_EQ(engine.CreateOutput(60.0), kEngineNoOutput);
}

TEST(PresentedDrawWnd, TrailSettingsMadeBeforeTheOutputReachIt) {
    FixedClock clock(10, 20);
    PresentedDrawWnd engine(clock, OneWorker());
    engine.SetCanvasSize(320, 200);
    engine.SetLeaveTrails(true);
    engine.SetTrailLength(100);
    engine.SetQuickDirty(true);
    ASSERT_EQ(engine.CreateOutput(30.0), kEngineOk);
    EXPECT_TRUE(engine.Flipper()->TrailsOn());
    EXPECT_EQ(engine.Flipper()->Fade8(), 255);
    EXPECT_FALSE(engine.Flipper()->IsDeepActive());
}

TEST(PresentedDrawWnd, ToneAndInversionSetBeforeTheOutputReachIt) {
    FixedClock clock(10, 20);
    PresentedDrawWnd engine(clock, OneWorker());
    engine.SetCanvasSize(320, 200);
    engine.SetGamma(0.8);
    engine.SetInvert(true);
    ASSERT_EQ(engine.CreateOutput(30.0), kEngineOk);
    engine.ApplyCanvasSettings();
    EXPECT_FALSE(engine.Flipper()->ToneIsIdentity());
    EXPECT_TRUE(engine.Flipper()->IsInverted());
}

TEST(PresentedDrawWnd, ADotDrawnByTheEngineShowsInTheDisplayImage) {
    FixedClock clock(10, 20);
    PresentedDrawWnd engine(clock, OneWorker());
    engine.SetCanvasSize(128, 64);
    ASSERT_EQ(engine.CreateOutput(60.0), kEngineOk);
    Peer::SetPointCap(engine, 130560);
    Peer::SetReflections(engine, 1, false, 64, 32);
    engine.SetDotStyle(kDotPixels);
    Peer::PlotDotImages(engine, 20.0f, 10.0f, 200.0f, 100.0f, 50.0f, 1.0f, 0.0f);
    engine.Flipper()->ConvertToDisplay();
    EXPECT_EQ(DisplayAt(*engine.Flipper(), 20, 10) & 0xFFFFFFu, 200u << 16 | 100u << 8 | 50u);
}

// Dot bands add into the canvas from two threads while nothing else runs, then the
// presenter fades and converts on its own pool: the sanitizer builds check that every hand-over
// is ordered.
TEST(PresentedDrawWnd, BandsAndThePresenterPoolShareTheCanvasSafely) {
    FixedClock clock(10, 20);
    FlipperOptions flipperOptions;
    flipperOptions.bands = 2;
    PresentedDrawWnd engine(clock, OneWorker(), flipperOptions);
    engine.SetCanvasSize(96, 64);
    ASSERT_EQ(engine.CreateOutput(60.0), kEngineOk);
    Peer::SetPointCap(engine, 130560);
    Peer::SetReflections(engine, 3, true, 48, 32);
    engine.SetDotStyle(kDotLargePoints);
    engine.Flipper()->SetTrails(20, false, -1.0);
    for (int frame = 0; frame < 5; ++frame) {
        auto band = [&](float offset) {
            for (int i = 0; i < 500; ++i) {
                Peer::PlotDotImages(engine, 30.0f + offset + (i % 13), 20.0f + (i % 7), 30.0f,
                                    20.0f, 10.0f, 1.0f, 1.0f);
            }
        };
        std::thread a(band, 0.25f), b(band, 0.5f);
        a.join();
        b.join();
        engine.Flipper()->ConvertToDisplay();
        engine.Flipper()->FadeTrails();
    }
    EXPECT_NE(DisplayAt(*engine.Flipper(), 36, 23) & 0xFFFFFFu, 0u);
}

}  // namespace
}  // namespace quovis
