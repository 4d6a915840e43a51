// Starting, re-seeding and stopping patterns.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

// The value the engine's uniform generator gives after `skip` more draws.

TEST(StartPattern, MinusOneKeepsTheCurrentValueAndFailsWhenThereIsNone) {
    FixedClock clock(100, 200);
    CDrawWnd e(clock, OneWorker());
    CDrawWnd twin(clock, OneWorker());

    // Nothing to keep yet: refused, and not even a random number is used.
    EXPECT_FALSE(e.StartPattern(0.1, -1, -1, -1, false));
    EXPECT_FALSE(e.StartPattern(0.1, 1, -1, 5, false));
    EXPECT_FALSE(e.StartPattern(0.1, 1, 3, -1, false));
    EXPECT_FALSE(e.IsReady());
    EXPECT_EQ(Peer::Style(e), -1);
    EXPECT_EQ(e.RandomUniform(), twin.RandomUniform());

    ASSERT_TRUE(e.StartPattern(0.1, 2, 26, 5, false));
    EXPECT_TRUE(e.IsReady());
    EXPECT_TRUE(e.IsDrawStyle());

    ASSERT_TRUE(e.StartPattern(-0.3, -1, -1, -1, false));
    EXPECT_EQ(Peer::Motion(e), 2);
    EXPECT_EQ(Peer::Style(e), 26);
    EXPECT_EQ(Peer::Movers(e), 5);
    EXPECT_EQ(Peer::PatternSeed(e), -0.3);

    ASSERT_TRUE(e.StartPattern(0.0, -1, 9, -1, false));
    EXPECT_FALSE(e.IsDrawStyle());
    EXPECT_EQ(Peer::Motion(e), 2);
}

TEST(StartPattern, ValuesOutsideTheTablesAreRefusedAndTooManyMoversLimited) {
    FixedClock clock(100, 200);
    CDrawWnd e(clock, OneWorker());
    ASSERT_TRUE(e.StartPattern(0.25, 3, 12, 7, false));
    CDrawWnd twin(clock, OneWorker());
    ASSERT_TRUE(twin.StartPattern(0.25, 3, 12, 7, false));

    EXPECT_FALSE(e.StartPattern(0.4, 6, 12, 7, false));
    EXPECT_FALSE(e.StartPattern(0.4, -2, 12, 7, false));
    EXPECT_FALSE(e.StartPattern(0.4, 3, 30, 7, false));
    EXPECT_FALSE(e.StartPattern(0.4, 3, 99, 7, false));
    EXPECT_FALSE(e.StartPattern(0.4, 3, 12, 0, false));
    EXPECT_FALSE(e.StartPattern(0.4, 3, 12, -5, false));

    EXPECT_EQ(Peer::Motion(e), 3);
    EXPECT_EQ(Peer::Style(e), 12);
    EXPECT_EQ(Peer::Movers(e), 7);
    EXPECT_EQ(Peer::PatternSeed(e), 0.25);
    EXPECT_TRUE(e.IsReady());
    EXPECT_EQ(e.RandomUniform(), twin.RandomUniform());

    ASSERT_TRUE(e.StartPattern(0.0, 0, 0, 500, false));
    EXPECT_EQ(Peer::Movers(e), CDrawWnd::kMaxMovers);
}

TEST(StartPattern, KeepsDotsOnlyWhenMotionAndStyleStayTheSame) {
    FixedClock clock(0, 0);
    CDrawWnd e(clock, OneWorker());
    Peer::SetDots(e, 10);
    ASSERT_TRUE(e.StartPattern(0.0, 1, 5, 4, false));
    float* mobility = Peer::Mobility(e);
    float* spare = Peer::Spare1(e);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(mobility[i], 1.0f);
    // Dots beyond the count the pattern uses are left alone.
    EXPECT_EQ(mobility[10], 0.0f);

    mobility[3] = 0.25f;
    spare[3] = 7.0f;
    ASSERT_TRUE(e.StartPattern(0.1, 1, 5, 4, true));  // same motion and style
    EXPECT_EQ(mobility[3], 0.25f);
    ASSERT_TRUE(e.StartPattern(0.1, -1, -1, 9, true));  // -1 means the same
    EXPECT_EQ(mobility[3], 0.25f);

    ASSERT_TRUE(e.StartPattern(0.1, 1, 6, 4, true));  // new style: placed afresh
    EXPECT_EQ(mobility[3], 1.0f);
    EXPECT_EQ(spare[3], 0.0f);

    mobility[3] = 0.25f;
    ASSERT_TRUE(e.StartPattern(0.1, 2, 6, 4, true));  // new motion: placed afresh
    EXPECT_EQ(mobility[3], 1.0f);
}

TEST(StartPattern, SkipsThePinkNoiseReinitialisationWhileARestartIsPending) {
    // The re-initialisation draws 208 x 5 uniform numbers; skipping it leaves the stream
    // elsewhere. Twins started the same way stay in step, so the difference is the flag's.
    FixedClock clock(42, 4242);
    CDrawWnd pending(clock, OneWorker());
    CDrawWnd pendingTwin(clock, OneWorker());
    CDrawWnd normal(clock, OneWorker());
    CDrawWnd normalTwin(clock, OneWorker());
    Peer::SetRestartPending(pending, true);
    Peer::SetRestartPending(pendingTwin, true);
    for (CDrawWnd* e : {&pending, &pendingTwin, &normal, &normalTwin}) {
        ASSERT_TRUE(e->StartPattern(0.0, 0, 1, 3, false));
    }
    const double p = pending.RandomUniform();
    const double n = normal.RandomUniform();
    EXPECT_EQ(p, pendingTwin.RandomUniform());
    EXPECT_EQ(n, normalTwin.RandomUniform());
    EXPECT_NE(p, n);
}

TEST(ResetPattern, KeepingTheDotsLeavesThemWherePlacingMovesThem) {
    FixedClock clock(1, 1);
    CDrawWnd keep(clock, OneWorker());
    CDrawWnd place(clock, OneWorker());
    for (CDrawWnd* e : {&keep, &place}) {
        e->SetCanvasSize(320, 200);
        Peer::SetDots(*e, 500);
        ASSERT_TRUE(e->StartPattern(0.2, 1, 1, 2, false));
    }
    const float* arrays[CDrawWnd::kDotArrays];
    Peer::DotArrays(keep, arrays);
    const std::vector<float> keptX(arrays[3], arrays[3] + 500);
    ASSERT_TRUE(keep.ResetPattern(0.3, true));
    ASSERT_TRUE(place.ResetPattern(0.3, false));
    EXPECT_EQ(Peer::PatternSeed(keep), 0.3);
    EXPECT_EQ(std::vector<float>(arrays[3], arrays[3] + 500), keptX);
    const float* placed[CDrawWnd::kDotArrays];
    Peer::DotArrays(place, placed);
    int moved = 0;
    for (int i = 0; i < 500; ++i) moved += placed[3][i] != keptX[i];
    EXPECT_GT(moved, 400) << "a fresh placement should move nearly every dot";
}

TEST(StopPattern, ClearsReadyAndAStartBringsItBack) {
    FixedClock clock(0, 0);
    CDrawWnd e(clock, OneWorker());
    EXPECT_TRUE(e.StopPattern());  // stopping nothing is fine
    ASSERT_TRUE(e.StartPattern(0.0, 4, 20, 16, false));
    EXPECT_TRUE(e.StopPattern());
    EXPECT_FALSE(e.IsReady());
    EXPECT_EQ(Peer::Style(e), 20);  // the pattern is halted, not forgotten
    ASSERT_TRUE(e.StartPattern(0.0, -1, -1, -1, false));
    EXPECT_TRUE(e.IsReady());
}

TEST(PatternLocking, StartsAndStopsFromTwoThreadsStayConsistent) {
    FixedClock clock(0, 0);
    EngineOptions o;
    o.workerCount = 2;
    CDrawWnd e(clock, o);
    Peer::SetDots(e, 1000);
    std::thread starter([&] {
        for (int i = 0; i < 300; ++i) {
            EXPECT_TRUE(e.StartPattern(0.001 * i, i % 6, i % 30, 1 + i % 32, i % 2 == 0));
        }
    });
    std::thread other([&] {
        for (int i = 0; i < 300; ++i) {
            e.StopPattern();
            e.IsReady();
            e.IsDrawStyle();
            e.ResetMovers(0.0, false);
        }
    });
    starter.join();
    other.join();
    ASSERT_TRUE(e.StartPattern(0.0, -1, -1, -1, false));
    EXPECT_TRUE(e.IsReady());
    EXPECT_EQ(Peer::Style(e), 299 % 30);
}

}  // namespace
}  // namespace quovis
