// The dot-count setter, canvas geometry, pacing and slideshow values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/draw_wnd.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

// ---- Dot count ---------------------------------------------------------------------------

TEST(SetDotCount, APreviewRunsFewerDotsAndMoreCopiesFewerStill) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetReflections(1);
    e.SetDotCount(1000, false);
    EXPECT_EQ(Peer::Grains(e), 1000);
    EXPECT_EQ(Peer::Dots(e), 437);
    EXPECT_EQ(Peer::MaxDots(e), 437);
    EXPECT_FLOAT_EQ(Peer::DotScale(e), 0.437f);
    EXPECT_FLOAT_EQ(Peer::DotReduction(e), 0.437f);
    EXPECT_FLOAT_EQ(Peer::SpeedScale(e), 1.0f);

    e.SetReflections(4);
    e.SetDotCount(1000, false);
    EXPECT_EQ(Peer::Dots(e), 370);
    EXPECT_FLOAT_EQ(Peer::DotScale(e), 0.37f);
}

TEST(SetDotCount, ReducedCountsStayWithinTheStoreAndGrowWithTheRequest) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    for (int r : {1, 2, 3, 7, 60}) {
        e.SetReflections(r);
        int previous = 0;
        for (int n = 0; n <= CDrawWnd::kMaxDots; n += 997) {
            e.SetDotCount(n, false);
            const int dots = Peer::Dots(e);
            ASSERT_GE(dots, 1) << "reflections " << r << " n " << n;
            ASSERT_LE(dots, CDrawWnd::kMaxDots) << "reflections " << r << " n " << n;
            ASSERT_GE(dots, previous) << "reflections " << r << " n " << n;
            if (n >= 100) {
                ASSERT_LE(dots, n) << "reflections " << r << " n " << n;
            }
            if (n > 0) {
                ASSERT_NEAR(Peer::DotScale(e), static_cast<double>(dots) / n, 1e-6)
                    << "reflections " << r << " n " << n;
            }
            previous = dots;
        }
    }
}

TEST(SetDotCount, TheFullScreenSaverUsesTheMachineSpeedFactor) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    Peer::SetSaverMode(e, true);
    e.SetReflections(4);  // plays no part on this path

    e.SetDotCount(1001, false);
    EXPECT_EQ(Peer::Dots(e), 1001);
    EXPECT_FLOAT_EQ(Peer::DotReduction(e), 1.0f);

    e.SetMachineSpeedFactor(0.5);
    e.SetDotCount(1001, false);
    EXPECT_EQ(Peer::Dots(e), 501);  // rounded, not truncated
    EXPECT_FLOAT_EQ(Peer::DotReduction(e), 0.5f);
    EXPECT_FLOAT_EQ(Peer::SpeedScale(e), 0.5f);
    EXPECT_FLOAT_EQ(Peer::DotScale(e), 1.0f);

    e.SetMachineSpeedFactor(1.7);  // a fast machine gets no more than it asked for
    e.SetDotCount(1001, false);
    EXPECT_EQ(Peer::Dots(e), 1001);
    EXPECT_FLOAT_EQ(Peer::SpeedScale(e), 1.0f);
}

TEST(SetDotCount, APreviewWithTheFullCountSwitchBehavesLikeTheSaver) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetFullCount(true);
    e.SetMachineSpeedFactor(0.25);
    e.SetDotCount(4000, false);
    EXPECT_EQ(Peer::Dots(e), 1000);
    EXPECT_FLOAT_EQ(Peer::DotScale(e), 1.0f);
}

TEST(SetDotCount, OutOfRangeRequestsAndSpeedFactorsAreMadeSafe) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    Peer::SetSaverMode(e, true);
    e.SetDotCount(-50, false);
    EXPECT_EQ(Peer::Grains(e), 0);
    EXPECT_EQ(Peer::Dots(e), 1);  // never zero: cursors and statistics divide by it
    e.SetDotCount(std::numeric_limits<int>::max(), false);
    EXPECT_EQ(Peer::Grains(e), CDrawWnd::kMaxDots);
    EXPECT_EQ(Peer::Dots(e), CDrawWnd::kMaxDots);

    for (double bad : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        e.SetMachineSpeedFactor(bad);
        e.SetDotCount(2000, false);
        EXPECT_EQ(Peer::Dots(e), 2000) << "factor " << bad;
        EXPECT_FLOAT_EQ(Peer::DotReduction(e), 1.0f) << "factor " << bad;
    }
    e.SetMachineSpeedFactor(1e-9);
    e.SetDotCount(2000, false);
    EXPECT_EQ(Peer::Dots(e), 1);

    Peer::SetSaverMode(e, false);
    e.SetDotCount(0, false);
    EXPECT_EQ(Peer::Dots(e), 1);
    EXPECT_TRUE(std::isfinite(Peer::DotScale(e)));
}

TEST(SetDotCount, MoversFollowDotsSpreadEvenlyOverTheCount) {
    FixedClock clock(1000, 2000);
    for (int movers : {1, 3, 4, 32}) {
        for (int n : {1, 2, 3, 10, 5000}) {
            CDrawWnd e(clock, OneWorker());
            Peer::SetSaverMode(e, true);
            Peer::SetMovers(e, movers);
            e.SetDotCount(n, false);
            const int dots = Peer::Dots(e);
            EXPECT_EQ(Peer::MoverDot(e, 0), -1) << movers << " movers, " << n << " dots";
            int previous = 0;
            for (int k = 0; k < CDrawWnd::kMaxMovers; ++k) {
                const int index = -Peer::MoverDot(e, k) - 1;  // the dot it will attach to
                ASSERT_GE(index, 0) << "mover " << k << ", " << movers << " movers, " << n;
                ASSERT_LT(index, dots) << "mover " << k << ", " << movers << " movers, " << n;
                if (k < movers) {
                    ASSERT_GE(index, previous) << "mover " << k << ", " << movers << " movers";
                }
                previous = index;
            }
            if (movers > 1 && dots > 100) {
                // The last active mover sits near the end of the dots.
                EXPECT_GT(-Peer::MoverDot(e, movers - 1) - 1, dots / 2);
            }
        }
    }
}

TEST(SetDotCount, ARestartIsRequestedOnlyWhenAskedForAndTheCanvasIsTold) {
    FixedClock clock(1000, 2000);
    test::CanvasCalls calls;
    test::RecordingEngine e(clock, calls, OneWorker());
    ASSERT_EQ(e.CreateOutput(60.0), kEngineOk);
    e.SetDotCount(3000, false);
    EXPECT_FALSE(Peer::RestartPending(e));
    EXPECT_EQ(calls.clears, 0);
    e.SetDotCount(3000, true);
    EXPECT_TRUE(Peer::RestartPending(e));
    EXPECT_EQ(calls.clears, 1);
}

// ---- Canvas and window geometry ----------------------------------------------------------

TEST(SetCanvasSize, WidthIsCutToFourAndHeightToTwo) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(1023, 767);
    EXPECT_EQ(Peer::Width(e), 1020);
    EXPECT_EQ(Peer::Height(e), 766);
    EXPECT_EQ(Peer::CentreX(e), 510);
    EXPECT_EQ(Peer::CentreY(e), 383);
    e.SetCanvasSize(3, 1);
    EXPECT_EQ(Peer::Width(e), 0);
    EXPECT_EQ(Peer::Height(e), 0);
    e.SetCanvasSize(-400, -2);
    EXPECT_EQ(Peer::Width(e), 0);
    EXPECT_EQ(Peer::Height(e), 0);
    EXPECT_EQ(e.CanvasWidth(), 0);
}

TEST(SetCanvasSize, TheEdgeMarginsFollowTheSize) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(640, 480);
    const float small = Peer::MarginX(e);
    e.SetCanvasSize(1920, 1080);
    const float large = Peer::MarginX(e);
    EXPECT_GT(small, 0.0f);
    EXPECT_GT(large, small);
}

// ---- Pacing and slideshow ----------------------------------------------------------------

TEST(SetRateLimit, LimitsTheTargetAndHandsItToThePacer) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetRateLimit(75);
    EXPECT_EQ(Peer::TargetFps(e), 75);
    EXPECT_EQ(Peer::FrameGoal(e), 75.0);
    e.SetRateLimit(0);
    EXPECT_EQ(Peer::TargetFps(e), 3);
    e.SetRateLimit(100000);
    EXPECT_EQ(Peer::TargetFps(e), 1000);
    EXPECT_EQ(Peer::FrameGoal(e), 1000.0);
}

TEST(SetSlideDuration, DrawsALengthBetweenTheTwoTimes) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    uint32_t lowest = std::numeric_limits<uint32_t>::max();
    uint32_t highest = 0;
    for (int i = 0; i < 2000; ++i) {
        e.SetSlideDuration(60.0, 120.0);
        const uint32_t ms = Peer::SlideIntervalMs(e);
        ASSERT_GE(ms, 60000u);
        ASSERT_LE(ms, 120000u);
        lowest = std::min(lowest, ms);
        highest = std::max(highest, ms);
    }
    // Uniform: 2000 draws cover nearly the whole span.
    EXPECT_LT(lowest, 62000u);
    EXPECT_GT(highest, 118000u);

    e.SetSlideDuration(30.0, 10.0);  // the wrong way round
    EXPECT_GE(Peer::SlideIntervalMs(e), 10000u);
    EXPECT_LE(Peer::SlideIntervalMs(e), 30000u);
    e.SetSlideDuration(-5.0, 0.0);
    EXPECT_EQ(Peer::SlideIntervalMs(e), 0u);
    e.SetSlideDuration(5.0, 5.0);
    const uint32_t kept = Peer::SlideIntervalMs(e);
    e.SetSlideDuration(std::nan(""), 20.0);
    EXPECT_EQ(Peer::SlideIntervalMs(e), kept);
    e.SetSlideDuration(1e300, 1e300);  // would overflow the millisecond count
    EXPECT_GT(Peer::SlideIntervalMs(e), 4000000000u);
}

}  // namespace
}  // namespace quovis
