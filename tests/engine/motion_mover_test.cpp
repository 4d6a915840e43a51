// The movers: start, the per-frame update, their walls, the cursor mover, following dots.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/draw_wnd.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

using Engine = test::SeededEngine;

bool AllFinite(const float* a, int n) {
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(a[i])) return false;
    }
    return true;
}

TEST(MoverStart, RefusesWithoutAPatternAndFixesTheDamping) {
    Engine eng;
    EXPECT_FALSE((*eng).ResetMovers(0.1, true));

    MotionSetup s;
    s.viscosity = 400.0;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.1));
    EXPECT_FLOAT_EQ(Peer::DampX(*eng), 1.0f - 1.0f / 400.0f);

    // No viscosity set yet (0): the damping stops dots instead of being infinite.
    Peer::SetViscosity(*eng, 0.0);
    ASSERT_TRUE((*eng).ResetMovers(0.0, false));
    EXPECT_EQ(Peer::DampX(*eng), 0.0f);
}

TEST(MoverStart, SameSeedAndClockGiveTheSameFieldAndOtherSeedsAnother) {
    MotionSetup s;
    s.variant = 1;  // Clockwork: also draws a speed factor per mover
    Engine a, b, c;
    ASSERT_TRUE(Peer::Start(*a, s, 0.2));
    ASSERT_TRUE(Peer::Start(*b, s, 0.2));
    ASSERT_TRUE(Peer::Start(*c, s, -0.3));
    for (int k = 0; k < CDrawWnd::kMaxMovers; ++k) {
        EXPECT_EQ(Peer::FlowX(*a)[k], Peer::FlowX(*b)[k]) << "mover " << k;
        EXPECT_EQ(Peer::MoverX(*a)[k], Peer::MoverX(*b)[k]) << "mover " << k;
    }
    int differ = 0;
    for (int k = 0; k < s.movers; ++k) differ += Peer::Heading(*a)[k] != Peer::Heading(*c)[k];
    EXPECT_EQ(differ, s.movers);
    // The full start settles each flow: it is no longer zero and is finite.
    EXPECT_NE(Peer::FlowX(*a)[0], 0.0f);
    EXPECT_TRUE(AllFinite(Peer::FlowX(*a), CDrawWnd::kMaxMovers));
}

TEST(MoverStart, PositionsFollowTheStyle) {
    MotionSetup s;
    s.width = 800;
    s.height = 600;
    {
        Engine eng;
        s.style = 0;  // The Big Bang: movers start near the centre
        ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
        for (int k = 0; k < s.movers; ++k) {
            EXPECT_LE(std::hypot(Peer::MoverX(*eng)[k] - 400.0f, Peer::MoverY(*eng)[k] - 300.0f),
                      4.01f);
        }
    }
    {
        Engine eng;
        s.style = 9;  // Ball: within half the height of the centre
        ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
        for (int k = 0; k < s.movers; ++k) {
            EXPECT_LE(std::hypot(Peer::MoverX(*eng)[k] - 400.0f, Peer::MoverY(*eng)[k] - 300.0f),
                      300.01f);
        }
    }
    {
        Engine eng;
        s.style = 5;  // others: the middle 90 % of each axis
        ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
        for (int k = 0; k < CDrawWnd::kMaxMovers; ++k) {
            EXPECT_GE(Peer::MoverX(*eng)[k], 40.0f);
            EXPECT_LE(Peer::MoverX(*eng)[k], 760.0f);
            EXPECT_GE(Peer::MoverY(*eng)[k], 30.0f);
            EXPECT_LE(Peer::MoverY(*eng)[k], 570.0f);
        }
    }
}

TEST(MoverUpdate, WithOneMoverSlotsZeroAndOneStillMove) {
    Engine eng;
    MotionSetup s;
    s.movers = 1;
    s.motion = 1;  // Linear
    ASSERT_TRUE(Peer::Start(*eng, s, 0.1));
    float flow[3], x[3];
    for (int k = 0; k < 3; ++k) flow[k] = Peer::FlowX(*eng)[k], x[k] = Peer::MoverX(*eng)[k];
    Peer::UpdateMovers(*eng);
    EXPECT_NE(Peer::FlowX(*eng)[0], flow[0]);
    EXPECT_NE(Peer::FlowX(*eng)[1], flow[1]);
    EXPECT_NE(Peer::MoverX(*eng)[1], x[1]);
    EXPECT_EQ(Peer::FlowX(*eng)[2], flow[2]);
    EXPECT_EQ(Peer::MoverX(*eng)[2], x[2]);
}

TEST(MoverUpdate, StaticMoversOnlyJitterAndNeverMeetAWall) {
    Engine eng;
    MotionSetup s;
    s.motion = 0;
    s.movers = 32;
    s.activity = 6.0;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    // Two movers put outside the canvas stay outside: nothing reflects them.
    Peer::MoverX(*eng)[3] = -30.0f;
    Peer::MoverY(*eng)[4] = static_cast<float>(s.height) + 30.0f;
    for (int frame = 0; frame < 2000; ++frame) {
        float x[32], y[32];
        for (int k = 0; k < 32; ++k) x[k] = Peer::MoverX(*eng)[k], y[k] = Peer::MoverY(*eng)[k];
        Peer::UpdateMovers(*eng);
        for (int k = 0; k < 32; ++k) {
            ASSERT_LE(std::fabs(Peer::MoverX(*eng)[k] - x[k]), 0.05f + 1e-4f)
                << "frame " << frame << " mover " << k;
            ASSERT_LE(std::fabs(Peer::MoverY(*eng)[k] - y[k]), 0.05f + 1e-4f)
                << "frame " << frame << " mover " << k;
        }
    }
    EXPECT_LT(Peer::MoverX(*eng)[3], -20.0f);
    EXPECT_GT(Peer::MoverY(*eng)[4], static_cast<float>(s.height) + 20.0f);
}

TEST(MoverWalls, HardWallsReflectPositionAndVelocity) {
    for (int motion : {1, 4}) {  // Linear, Circular
        Engine eng;
        MotionSetup s;
        s.motion = motion;
        s.movers = 2;
        ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
        const float w = static_cast<float>(s.width);
        Peer::MoverX(*eng)[1] = w - 1.0f;
        Peer::MoverVX(*eng)[1] = 5.0f;
        Peer::MoverVY(*eng)[1] = 0.0f;
        Peer::UpdateMovers(*eng);
        // Circular turns the velocity a little first; the reflection is what matters.
        EXPECT_NEAR(Peer::MoverX(*eng)[1], w - 4.0f, 0.05f) << "motion " << motion;
        EXPECT_LT(Peer::MoverVX(*eng)[1], -4.9f) << "motion " << motion;

        // Over a long run every mover stays on the canvas.
        for (int frame = 0; frame < 3000; ++frame) {
            Peer::UpdateMovers(*eng);
            for (int k = 0; k < 2; ++k) {
                ASSERT_GE(Peer::MoverX(*eng)[k], 0.0f) << "motion " << motion << " frame " << frame;
                ASSERT_LE(Peer::MoverX(*eng)[k], w) << "motion " << motion << " frame " << frame;
                ASSERT_GE(Peer::MoverY(*eng)[k], 0.0f) << "motion " << motion << " frame " << frame;
                ASSERT_LE(Peer::MoverY(*eng)[k], static_cast<float>(s.height));
            }
        }
    }
}

TEST(MoverWalls, SoftWallsPushOrganicMoversBack) {
    Engine eng;
    MotionSetup s;
    s.motion = 2;  // Organic
    s.movers = 2;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::MoverX(*eng)[1] = -60.0f;
    Peer::MoverVX(*eng)[1] = -3.0f;
    const float before = Peer::MoverVX(*eng)[1];
    Peer::UpdateMovers(*eng);
    // Beyond the soft wall the push is 2 per frame (less the other wall's, which is tiny).
    const float gained = Peer::MoverVX(*eng)[1] - 0.997f * before;
    EXPECT_GT(gained, 2.0f - 0.75f);
    EXPECT_LT(gained, 2.0f + 0.75f);
    bool back = false;
    for (int frame = 0; frame < 200 && !back; ++frame) {
        Peer::UpdateMovers(*eng);
        back = Peer::MoverX(*eng)[1] > 0.0f;
    }
    EXPECT_TRUE(back);
}

TEST(MoverWalls, WrappingMoversReenterAcrossTheCanvasAndMoebiusMirrors) {
    Engine eng;
    MotionSetup s;
    s.motion = 1;
    s.movers = 2;
    s.wrapFlags = 1;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    const float w = static_cast<float>(s.width);
    const float h = static_cast<float>(s.height);
    Peer::MoverX(*eng)[1] = w - 1.0f;
    Peer::MoverY(*eng)[1] = 100.0f;
    Peer::MoverVX(*eng)[1] = 3.0f;
    Peer::MoverVY(*eng)[1] = 0.5f;
    Peer::UpdateMovers(*eng);
    EXPECT_FLOAT_EQ(Peer::MoverX(*eng)[1], 2.0f);
    EXPECT_FLOAT_EQ(Peer::MoverY(*eng)[1], 100.5f);
    EXPECT_FLOAT_EQ(Peer::MoverVX(*eng)[1], 3.0f);

    (*eng).SetWrapFlags(4);  // Moebius
    Peer::MoverX(*eng)[1] = w - 1.0f;
    Peer::MoverY(*eng)[1] = 100.0f;
    Peer::MoverVX(*eng)[1] = 3.0f;
    Peer::MoverVY(*eng)[1] = 0.5f;
    Peer::UpdateMovers(*eng);
    EXPECT_FLOAT_EQ(Peer::MoverX(*eng)[1], 2.0f);
    EXPECT_FLOAT_EQ(Peer::MoverY(*eng)[1], h - 100.5f);
    EXPECT_FLOAT_EQ(Peer::MoverVY(*eng)[1], -0.5f);

    // "Falls" keeps its floor: x wraps, y reflects.
    (*eng).SetWrapFlags(1);
    Peer::SetStyle(*eng, 24);
    Peer::MoverX(*eng)[1] = 1.0f;
    Peer::MoverY(*eng)[1] = h - 1.0f;
    Peer::MoverVX(*eng)[1] = -2.0f;
    Peer::MoverVY(*eng)[1] = 4.0f;
    Peer::UpdateMovers(*eng);
    EXPECT_FLOAT_EQ(Peer::MoverX(*eng)[1], w - 1.0f);
    EXPECT_FLOAT_EQ(Peer::MoverY(*eng)[1], h - 3.0f);
    EXPECT_FLOAT_EQ(Peer::MoverVY(*eng)[1], -4.0f);
}

TEST(CursorMover, JumpsOntoThePointerThenDragsAtMostEveryQuarterSecond) {
    Engine eng;
    MotionSetup s;
    s.motion = 0;  // Static: the motion step adds at most 0.05
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::SetCursor(*eng, 100.0f, 200.0f, true);
    Peer::UpdateMovers(*eng);
    EXPECT_NEAR(Peer::MoverX(*eng)[0], 100.0f, 0.05f);
    EXPECT_NEAR(Peer::MoverY(*eng)[0], 200.0f, 0.05f);
    EXPECT_GT(Peer::Strength(*eng)[0], 0.0f);

    // Within 250 ms of the jump it moves 0.8 of the way.
    eng.clock.ms += 100;
    Peer::SetCursor(*eng, 300.0f, 200.0f, true);
    const float from = Peer::MoverX(*eng)[0];
    Peer::UpdateMovers(*eng);
    EXPECT_NEAR(Peer::MoverX(*eng)[0], from + 0.8f * (300.0f - from), 0.06f);
    EXPECT_GT(Peer::FlowX(*eng)[0], 0.0f);  // the flow points the way the pointer went

    eng.clock.ms += 251;
    Peer::SetCursor(*eng, 500.0f, 50.0f, true);
    Peer::UpdateMovers(*eng);
    EXPECT_NEAR(Peer::MoverX(*eng)[0], 500.0f, 0.05f);
    EXPECT_NEAR(Peer::MoverY(*eng)[0], 50.0f, 0.05f);

    // Without interaction the pointer is ignored.
    Peer::SetCursor(*eng, 10.0f, 10.0f, false);
    Peer::UpdateMovers(*eng);
    EXPECT_NEAR(Peer::MoverX(*eng)[0], 500.0f, 0.1f);
}

TEST(RecursiveMovers, AttachToTheirDotsFollowAndWaitWhileTheDotIsParked) {
    Engine eng;
    MotionSetup s;
    s.motion = 3;
    s.movers = 4;
    s.dots = 1000;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::ScatterDots(*eng, 11);
    for (int k = 0; k < 4; ++k) ASSERT_LT(Peer::MoverDot(*eng)[k], 0) << "mover " << k;
    const int dot2 = -Peer::MoverDot(*eng)[2];
    EXPECT_EQ(dot2, (1000 - 2) * 2 / 4 + 1);
    // Mover 3's dot is parked: it must wait, unattached, instead of jumping off the canvas.
    const int dot3 = -Peer::MoverDot(*eng)[3];
    Peer::X(*eng)[dot3] = kParked;
    const float wait3 = Peer::MoverX(*eng)[3];

    Peer::UpdateMovers(*eng);
    EXPECT_EQ(Peer::MoverDot(*eng)[2], dot2);
    EXPECT_FLOAT_EQ(Peer::MoverX(*eng)[2], Peer::X(*eng)[dot2]);
    EXPECT_FLOAT_EQ(Peer::MoverY(*eng)[2], Peer::Y(*eng)[dot2]);
    EXPECT_LT(Peer::MoverDot(*eng)[3], 0);
    EXPECT_EQ(Peer::MoverX(*eng)[3], wait3);

    // The dot moves: the mover closes 4 % of the gap per frame.
    Peer::X(*eng)[dot2] += 50.0f;
    const float before = Peer::MoverX(*eng)[2];
    Peer::UpdateMovers(*eng);
    EXPECT_NEAR(Peer::MoverX(*eng)[2], before + 0.04f * 50.0f, 1e-3f);
    EXPECT_NEAR(Peer::MoverVX(*eng)[2], 0.04f * 50.0f, 1e-3f);

    // The dot wraps to the far side: the mover is mirrored to follow the short way.
    const float w = static_cast<float>(s.width);
    Peer::X(*eng)[dot2] = w - 5.0f;
    Peer::MoverX(*eng)[2] = 10.0f;
    Peer::UpdateMovers(*eng);
    EXPECT_NEAR(Peer::MoverX(*eng)[2], (w - 10.0f) + 0.04f * 5.0f, 1e-3f);

    // Once parked dots come back, the waiting mover attaches.
    Peer::X(*eng)[dot3] = 77.0f;
    Peer::UpdateMovers(*eng);
    EXPECT_EQ(Peer::MoverDot(*eng)[3], dot3);
    EXPECT_FLOAT_EQ(Peer::MoverX(*eng)[3], 77.0f);
}

TEST(WarpMovers, ABeatSendsExactlyOneMoverAtOnce) {
    Engine eng;
    MotionSetup s;
    s.motion = 5;
    s.movers = 6;
    s.pace = 0.0;  // chance jumps are rare: 0.2^3 / 100 per mover and frame
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    const auto moved = [&](const float* before) {
        int n = 0;
        for (int k = 0; k < 6; ++k) n += std::fabs(Peer::MoverX(*eng)[k] - before[k]) > 0.06f;
        return n;
    };
    float before[6];
    for (int k = 0; k < 6; ++k) before[k] = Peer::MoverX(*eng)[k];
    (*eng).FlagWarpBeat();
    Peer::UpdateMovers(*eng);
    EXPECT_EQ(moved(before), 1);
    for (int k = 0; k < 6; ++k) {
        EXPECT_GE(Peer::MoverX(*eng)[k], 0.0f);
        EXPECT_LE(Peer::MoverX(*eng)[k], static_cast<float>(s.width));
    }
    for (int k = 0; k < 6; ++k) before[k] = Peer::MoverX(*eng)[k];
    Peer::UpdateMovers(*eng);  // the beat was used up
    EXPECT_EQ(moved(before), 0);
}

TEST(FieldColourMovers, TurnTheirHuesAndKeepLightColours) {
    Engine eng;
    MotionSetup s;
    s.fieldColour = true;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    float hue0 = Peer::MoverHue(*eng)[0];
    for (int frame = 0; frame < 50; ++frame) Peer::UpdateMovers(*eng);
    EXPECT_NE(Peer::MoverHue(*eng)[0], hue0);
    for (int k = 0; k < s.movers; ++k) {
        const float c[3] = {Peer::MoverR(*eng)[k], Peer::MoverG(*eng)[k], Peer::MoverB(*eng)[k]};
        const float hi = std::max({c[0], c[1], c[2]});
        const float lo = std::min({c[0], c[1], c[2]});
        EXPECT_FLOAT_EQ(hi, 1.0f) << "mover " << k;
        EXPECT_FLOAT_EQ(lo, 0.5f) << "mover " << k;
    }
}

TEST(ShimmerDirection, FollowsMoverOnesFlowAndSurvivesAStillField) {
    Engine eng;
    MotionSetup s;
    s.motion = 0;
    s.inertia = 1.0f;  // the flow keeps whatever it holds
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    for (int k = 0; k < CDrawWnd::kMaxMovers; ++k) Peer::FlowX(*eng)[k] = Peer::FlowY(*eng)[k] = 0;
    Peer::UpdateMovers(*eng);  // a still field: no direction to take
    EXPECT_TRUE(std::isfinite(Peer::ShimmerDirX(*eng)));
    EXPECT_TRUE(std::isfinite(Peer::ShimmerDirY(*eng)));

    Peer::FlowX(*eng)[1] = 3.0f;
    Peer::FlowY(*eng)[1] = -4.0f;
    for (int frame = 0; frame < 10; ++frame) Peer::UpdateMovers(*eng);
    EXPECT_NEAR(Peer::ShimmerDirX(*eng), 0.6f, 1e-5f);
    EXPECT_NEAR(Peer::ShimmerDirY(*eng), -0.8f, 1e-5f);
}

TEST(MoverUpdate, EveryMotionAndVariantStaysFiniteWithUnsetParameters) {
    // An engine whose setters never ran (activity, period, reach, viscosity all 0) must still
    // produce numbers, not NaN.
    for (int motion = 0; motion < 6; ++motion) {
        for (int variant = 0; variant < 5; ++variant) {
            Engine eng;
            MotionSetup s;
            s.motion = motion;
            s.variant = variant;
            s.activity = 0.0;
            s.pace = 0.0;
            s.viscosity = 0.0;
            s.period = 0.0f;
            s.inertia = 0.0f;
            s.influenceRange = 0.0f;
            ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
            Peer::SetForceReach(*eng, 0.0f);
            for (int frame = 0; frame < 50; ++frame) Peer::UpdateMovers(*eng);
            Peer::PrepareMotionFrame(*eng);
            ASSERT_TRUE(AllFinite(Peer::FlowX(*eng), 32)) << motion << "/" << variant;
            ASSERT_TRUE(AllFinite(Peer::MoverX(*eng), 32)) << motion << "/" << variant;
            ASSERT_TRUE(AllFinite(Peer::Weight(*eng), 32)) << motion << "/" << variant;
        }
    }
}

}  // namespace
}  // namespace quovis
