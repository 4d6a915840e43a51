// Derived style values, emission rates and the colour of new dots.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

// An engine set to a style with its table values, optionally changed, and N dots.
struct StyledEngine {
    FixedClock clock{1000, 2000};
    CDrawWnd e{clock, OneWorker()};

    StyledEngine(int style, int dots) {
        Peer::SetCanvas(e, 640, 480);
        Peer::SetDots(e, dots);
        Use(style);
    }
    void Use(int style) {
        Peer::SetStyle(e, style);
        int32_t count = 0;
        float v[6];
        GetStyleParams(style, count, v);
        Peer::SetParams(e, count, v);
    }
    StyledEngine& Set(int j, float v) {
        Peer::SetParam(e, j, v);
        return *this;
    }
    StyledEngine& Apply() {
        e.ApplyStyleParams();
        return *this;
    }
};

TEST(ApplyStyleParams, TheBigBangExplodesAShareOfTheDotsAndParksOnlyWhenItFlows) {
    StyledEngine s(kStyleBigBang, 10000);
    s.Apply();
    EXPECT_FALSE(Peer::StartParked(s.e));  // flow rate 0 by default
    EXPECT_EQ(Peer::GroupSize(s.e), 10000);
    EXPECT_FLOAT_EQ(Peer::EmitSpeed(s.e), 40.0f);  // explode power 50

    Peer::SetDotScale(s.e, 0.5f);
    s.Set(2, 10).Set(3, 25).Apply();
    EXPECT_TRUE(Peer::StartParked(s.e));
    EXPECT_EQ(Peer::GroupSize(s.e), 2500);
    EXPECT_FLOAT_EQ(Peer::EmitSpeed(s.e), 20.0f);

    // A tiny share of a few dots is still one dot.
    Peer::SetDots(s.e, 3);
    s.Set(3, 1).Apply();
    EXPECT_EQ(Peer::GroupSize(s.e), 1);
}

TEST(ApplyStyleParams, GroupSizesOfTheCountingStyles) {
    StyledEngine rings(kStyleRings, 10000);
    rings.Apply();
    EXPECT_EQ(Peer::GroupSize(rings.e), 3300);  // 33 percent
    EXPECT_FLOAT_EQ(Peer::EmitSpeed(rings.e), 0.05f);

    StyledEngine lines(kStyleLinesHorizontal, 700);
    lines.Apply();
    EXPECT_EQ(Peer::GroupSize(lines.e), 100);  // 7 lines
    StyledEngine bars(kStyleLinesVertical, 1200);
    bars.Apply();
    EXPECT_EQ(Peer::GroupSize(bars.e), 100);  // 12 bars

    // More lines than dots: a group of none would never emit; one dot per group instead.
    StyledEngine few(kStyleLinesHorizontal, 5);
    few.Set(1, 50).Set(3, 40).Apply();
    EXPECT_EQ(Peer::GroupSize(few.e), 1);
    // A line count outside the table's range (0) divides nothing by zero.
    few.Set(1, 0).Apply();
    EXPECT_EQ(Peer::GroupSize(few.e), 5);

    StyledEngine circle(kStyleCircle, 100000);
    circle.Apply();
    EXPECT_EQ(Peer::GroupSize(circle.e), 600);  // strobe period 30 of 5000
    EXPECT_FALSE(Peer::EveryFrame(circle.e));   // spin flow 0
    for (float spin : {1.0f, 2.0f}) {
        circle.Set(5, spin).Apply();
        EXPECT_TRUE(Peer::EveryFrame(circle.e)) << spin;
    }
    for (float spin : {-2.0f, -1.0f, 3.0f, 4.0f}) {
        circle.Set(5, spin).Apply();
        EXPECT_FALSE(Peer::EveryFrame(circle.e)) << spin;
    }

    StyledEngine horizon(kStyleEventHorizon, 5000);
    horizon.Set(1, 100).Apply();
    EXPECT_EQ(Peer::GroupSize(horizon.e), 30);
    EXPECT_NEAR(Peer::EmitSpeed(horizon.e), 4.958437f, 1e-5);
    EXPECT_TRUE(Peer::StartParked(horizon.e));
}

TEST(ApplyStyleParams, ForcesNeverCarryOverFromTheStyleBefore) {
    StyledEngine s(kStyleAurora, 1000);
    s.Apply();
    EXPECT_FLOAT_EQ(Peer::Gravity(s.e), 51.0f / 3000.0f);
    EXPECT_FLOAT_EQ(Peer::ForceScaleX(s.e), 0.744f);
    EXPECT_EQ(Peer::FallDir(s.e), 1);

    for (int style : {kStyleLissajous, kStyleGlobular, kStyleBall, kStyleSidewaysSpray}) {
        Peer::SetForces(s.e, 0.5f, 0.25f, 2);
        s.Use(style);
        s.Apply();
        EXPECT_EQ(Peer::Gravity(s.e), 0.0f) << style;
        EXPECT_EQ(Peer::ForceScaleX(s.e), 1.0f) << style;
        EXPECT_EQ(Peer::FallDir(s.e), 0) << style;
    }

    s.Use(kStylePhasing);
    s.Set(2, 1).Apply();
    EXPECT_EQ(Peer::FallDir(s.e), 2);
    EXPECT_FLOAT_EQ(Peer::Gravity(s.e), -7.0f / 3000.0f);
    s.Set(2, 0).Apply();
    EXPECT_EQ(Peer::FallDir(s.e), 1);
    s.Set(2, 9).Apply();  // outside the range: still a direction
    EXPECT_EQ(Peer::FallDir(s.e), 2);
}

TEST(ApplyStyleParams, SpraysParkAndLaunchAtTheSpraySpeed) {
    for (int style : {kStyleSidewaysSpray, kStyleWhiteHole, kStyleSpinningSprayer, kStyleRadarSweep,
                      kStyleRising, kStyleFalls}) {
        StyledEngine s(style, 2000);
        s.Apply();
        SCOPED_TRACE(style);
        EXPECT_TRUE(Peer::StartParked(s.e));
        EXPECT_FALSE(Peer::EveryFrame(s.e));
        EXPECT_FLOAT_EQ(Peer::EmitSpeed(s.e), 5.2347f);
        EXPECT_EQ(Peer::GroupSize(s.e), GetStyle(style)->params[1].defaultValue);
    }
    StyledEngine ether(kStyleFromTheEther, 2000);
    ether.Apply();
    EXPECT_FLOAT_EQ(Peer::EmitSpeed(ether.e), 4.0f);  // Energy 40 / 10
    StyledEngine rising(kStyleRising, 2000);
    rising.Apply();
    EXPECT_FLOAT_EQ(Peer::Gravity(rising.e), -42.0f / 3000.0f);
    for (int style : {kStyleDraw, kStylePolygon, kStyleCurves}) {
        StyledEngine s(style, 50000);
        s.Apply();
        EXPECT_TRUE(Peer::EveryFrame(s.e)) << style;
        EXPECT_EQ(Peer::GroupSize(s.e),
                  static_cast<int>(50000.0 * GetStyle(style)->params[1].defaultValue / 5000))
            << style;
    }
    StyledEngine fountain(kStyleFountain, 2000);
    fountain.Apply();
    EXPECT_TRUE(Peer::StartParked(fountain.e));
    EXPECT_EQ(Peer::GroupSize(fountain.e), 20);
    EXPECT_FLOAT_EQ(Peer::Gravity(fountain.e), 100.0f / 3000.0f);
}

TEST(ApplyStyleParams, WhichStylesStartParkedWithTheirTableValues) {
    for (int style = 0; style < StyleCount(); ++style) {
        StyledEngine s(style, 3000);
        s.Apply();
        const bool parks =
            !(style <= 4 || style == 6 || style == 7 || style == 14 || style == 16 || style == 17);
        EXPECT_EQ(Peer::StartParked(s.e), parks) << "style " << style;
        if (parks) {
            EXPECT_GE(Peer::GroupSize(s.e), 1) << "style " << style;
        }
    }
}

TEST(ApplyStyleParams, AStyleWithoutParametersRunsWithTheTableValues) {
    FixedClock clock(1, 2);
    CDrawWnd e(clock, OneWorker());
    Peer::SetDots(e, 1000);
    Peer::SetStyle(e, kStyleFountain);
    // A leftover of another style in the slots: not given to this style, so not used.
    const float junk[6] = {0, 0, 0, 0, 0, 0};
    Peer::SetParams(e, 0, junk);
    int32_t stored[6] = {1100, 333, 100, 100, 75, 200};
    ASSERT_TRUE(StoreStyleParams(kStyleFountain, 6, stored));
    e.ApplyStyleParams();
    EXPECT_EQ(Peer::ParamCount(e), 6);
    EXPECT_EQ(Peer::Params(e)[1], 333.0f);
    EXPECT_EQ(Peer::GroupSize(e), 333);

    // Given only the colour: the rest come from the table, the colour stays.
    Peer::SetStyle(e, kStyleRising);
    const float colourOnly[6] = {1020, 0, 0, 0, 0, 0};
    Peer::SetParams(e, 1, colourOnly);
    e.ApplyStyleParams();
    EXPECT_EQ(Peer::Params(e)[0], 1020.0f);
    EXPECT_EQ(Peer::Params(e)[1], 10.0f);
    EXPECT_EQ(Peer::GroupSize(e), 10);
    RestoreStyleDefaults(-1);
}

TEST(ApplyStyleParams, ParametersThatAreNotNumbersStillGiveAUsableGroup) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int style = 0; style < StyleCount(); ++style) {
        StyledEngine s(style, 500);
        for (int j = 1; j < 6; ++j) s.Set(j, j % 2 ? nan : 3e9f);
        s.Apply();
        // Styles that never park keep whatever group they had: they never emit.
        if (!Peer::StartParked(s.e)) continue;
        EXPECT_GE(Peer::GroupSize(s.e), 1) << "style " << style;
        EXPECT_TRUE(std::isfinite(s.e.EmissionRate())) << "style " << style;
        EXPECT_GE(Peer::GroupSize(s.e), 1) << "style " << style;
    }
}

TEST(EmissionRate, FollowsEachStylesFlowRate) {
    StyledEngine s(kStyleBigBang, 1000);
    s.Set(2, 37);
    EXPECT_EQ(s.e.EmissionRate(), 37.0);
    s.Use(kStyleSidewaysSpray);
    EXPECT_EQ(s.e.EmissionRate(), 70.0);
    s.Use(kStyleRings);
    s.Set(5, 12);
    EXPECT_EQ(s.e.EmissionRate(), 12.0);
    s.Use(kStyleRising);
    EXPECT_EQ(s.e.EmissionRate(), 70.0);

    // Lines: a square-root curve that reaches 100 at 100, then the value itself.
    s.Use(kStyleLinesVertical);
    s.Set(3, 25);
    EXPECT_NEAR(s.e.EmissionRate(), 50.0, 1e-9);
    s.Set(3, 0);
    EXPECT_EQ(s.e.EmissionRate(), 0.0);
    s.Set(3, 150);
    EXPECT_EQ(s.e.EmissionRate(), 150.0);
    s.Set(3, -20);  // never a square root of a negative number
    EXPECT_EQ(s.e.EmissionRate(), 0.0);

    // The phase-driven styles never drop below 30.
    s.Use(kStyleLissajous);
    s.Set(4, 100);
    EXPECT_NEAR(s.e.EmissionRate(), 92.0, 1e-9);
    s.Set(4, 25);
    EXPECT_NEAR(s.e.EmissionRate(), 61.0, 1e-9);
    s.Use(kStyleFleuret);
    s.Set(4, -25);
    EXPECT_NEAR(s.e.EmissionRate(), 61.0, 1e-9);

    s.Use(kStyleFountain);
    s.Set(4, 32);
    EXPECT_NEAR(s.e.EmissionRate(), 63.40, 0.01);
    s.Set(4, 100);
    EXPECT_NEAR(s.e.EmissionRate(), 100.0, 1e-9);
    s.Set(4, 120);
    EXPECT_EQ(s.e.EmissionRate(), 120.0);

    for (int style : {1, 2, 14, 16, 17}) {
        s.Use(style);
        EXPECT_EQ(s.e.EmissionRate(), 12.0) << style;
    }
}

TEST(EmissionRate, RefreshesTheGroupFromTheFlowRate) {
    StyledEngine s(kStyleFalls, 100000);
    s.Apply();
    EXPECT_EQ(Peer::GroupSize(s.e), 20);
    EXPECT_EQ(s.e.EmissionRate(), 100.0);
    EXPECT_EQ(Peer::GroupSize(s.e), 803);  // 0.7^4.5 of 4 % of the dots
    Peer::SetDotReduction(s.e, 0.5f);      // fewer dots than asked for: bigger groups
    s.e.EmissionRate();
    EXPECT_EQ(Peer::GroupSize(s.e), 1607);
    Peer::SetDotReduction(s.e, 0.0f);  // no reduction recorded: counts as none
    s.e.EmissionRate();
    EXPECT_EQ(Peer::GroupSize(s.e), 803);
    Peer::SetDots(s.e, 10);
    s.Set(4, 1);
    s.e.EmissionRate();
    EXPECT_EQ(Peer::GroupSize(s.e), 1);

    s.Use(kStyleRibbon);
    Peer::SetDots(s.e, 100000);
    Peer::SetDotReduction(s.e, 1.0f);
    s.Set(3, 50);
    EXPECT_EQ(s.e.EmissionRate(), 100.0);
    EXPECT_EQ(Peer::GroupSize(s.e), 1250);  // 0.5^3 of 10 %
}

TEST(EmissionRate, CircleStrobesOrFlowsByItsSpinFlow) {
    StyledEngine s(kStyleCircle, 100000);
    s.Apply();
    ASSERT_EQ(Peer::GroupSize(s.e), 600);
    // Strobing: the group stays, the rate is the number of frames between strobes.
    EXPECT_EQ(s.e.EmissionRate(), 1.0);  // 600 / 803, at least 1
    EXPECT_EQ(Peer::GroupSize(s.e), 600);
    s.Set(1, 5000).Apply();
    EXPECT_EQ(s.e.EmissionRate(), 124.0);  // 100000 / 803
    s.Set(5, 3).Apply();
    EXPECT_EQ(s.e.EmissionRate(), 124.0);
    // Flowing: a steady stream of the flow rate's group.
    s.Set(5, 1).Apply();
    EXPECT_EQ(s.e.EmissionRate(), 100.0);
    EXPECT_EQ(Peer::GroupSize(s.e), 803);
}

TEST(EmissionRate, TakesOverADriftingFlowRateOnce) {
    StyledEngine s(kStyleLissajous, 1000);
    EXPECT_EQ(Peer::Live(s.e, 4), CDrawWnd::kUnsetLiveParam);
    Peer::SetLive(s.e, 4, 100.0f);
    EXPECT_NEAR(s.e.EmissionRate(), 92.0, 1e-9);
    EXPECT_EQ(Peer::Params(s.e)[4], 100.0f);
    EXPECT_EQ(Peer::Live(s.e, 4), CDrawWnd::kUnsetLiveParam);
    s.Set(4, 25);  // without a pending value the parameter is left alone
    EXPECT_NEAR(s.e.EmissionRate(), 61.0, 1e-9);

    // Only the flow rate is taken over; other live copies belong to their own readers.
    Peer::SetLive(s.e, 3, 777.0f);
    s.e.EmissionRate();
    EXPECT_EQ(Peer::Live(s.e, 3), 777.0f);

    // "Ball" keeps its flow rate in another slot: a live 0 there shrinks the group to one.
    StyledEngine ball(kStyleBall, 100000);
    Peer::SetLive(ball.e, 2, 0.0f);
    EXPECT_EQ(ball.e.EmissionRate(), 100.0);
    EXPECT_EQ(Peer::Params(ball.e)[2], 0.0f);
    EXPECT_EQ(Peer::GroupSize(ball.e), 1);
}

// ---- New dots ----------------------------------------------------------------------------

struct Greys {
    double mean = 0, lo = 1e9, hi = -1e9;
    bool grey = true;  // all three channels equal
};

Greys ColourAll(CDrawWnd& e, int n) {
    e.SetNewDotColour();
    e.ColourNewDots(0, n - 1);
    Greys g;
    for (int i = 0; i < n; ++i) {
        const float r = Peer::R(e)[i];
        g.grey &= r == Peer::G(e)[i] && r == Peer::B(e)[i];
        g.mean += r;
        g.lo = std::min<double>(g.lo, r);
        g.hi = std::max<double>(g.hi, r);
    }
    g.mean /= n;
    return g;
}

TEST(NewDots, BlackAtOneEndWhiteAtTheOtherRandomGreysBetween) {
    StyledEngine s(kStyleSidewaysSpray, 20000);
    s.Set(0, 1000);
    Greys g = ColourAll(s.e, 20000);
    EXPECT_EQ(g.lo, 0.0);
    EXPECT_EQ(g.hi, 0.0);

    s.Set(0, 1100);
    g = ColourAll(s.e, 20000);
    EXPECT_EQ(g.lo, 255.0);
    EXPECT_EQ(g.hi, 255.0);

    // With trails, "Point Magnitude" dims them; without, it does not.
    Peer::SetPointMagnitude(s.e, 0.5);
    g = ColourAll(s.e, 100);
    EXPECT_EQ(g.hi, 255.0);
    Peer::SetLeaveTrails(s.e, true);
    g = ColourAll(s.e, 100);
    EXPECT_EQ(g.lo, 127.5);
    EXPECT_EQ(g.hi, 127.5);
    Peer::SetLeaveTrails(s.e, false);

    // The middle: evenly spread greys (squares of a uniform draw, mean a third).
    s.Set(0, 1050);
    g = ColourAll(s.e, 20000);
    EXPECT_TRUE(g.grey);
    EXPECT_NEAR(g.mean, 255.0 / 3.0, 3.0);
    EXPECT_LT(g.lo, 5.0);
    EXPECT_GT(g.hi, 250.0);

    // Near black only dark greys, near white only light ones.
    s.Set(0, 1010);
    g = ColourAll(s.e, 5000);
    EXPECT_LE(g.hi, 0.3 * 255.0 + 1e-3);
    s.Set(0, 1090);
    g = ColourAll(s.e, 5000);
    EXPECT_GE(g.lo, 0.69 * 255.0);
    EXPECT_LE(g.hi, 255.0);
}

TEST(NewDots, BrightnessGrowsSteadilyWithTheValue) {
    StyledEngine s(kStyleSidewaysSpray, 20000);
    double previous = -1.0;
    for (int v = 1000; v <= 1100; v += 10) {
        s.Set(0, static_cast<float>(v));
        const Greys g = ColourAll(s.e, 20000);
        EXPECT_GT(g.mean, previous) << "value " << v;
        EXPECT_GE(g.lo, 0.0) << "value " << v;
        EXPECT_LE(g.hi, 255.0) << "value " << v;
        previous = g.mean;
    }
}

TEST(NewDots, ValuesOutsideTheRangeAndOldEncodingsStayInside) {
    StyledEngine s(kStyleSidewaysSpray, 5000);
    struct Case {
        float value;
        double lo, hi;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (Case c : {Case{1200, 255, 255}, Case{-5, 0, 0}, Case{999, 0, 0}, Case{nan, 0, 0},
                   Case{0, 0, 0}, Case{1, 255, 255}}) {
        s.Set(0, c.value);
        const Greys g = ColourAll(s.e, 5000);
        EXPECT_EQ(g.lo, c.lo) << "value " << c.value;
        EXPECT_EQ(g.hi, c.hi) << "value " << c.value;
    }
    s.Set(0, 2);  // the old "random" encoding: the middle of the slider
    const Greys g = ColourAll(s.e, 5000);
    EXPECT_NEAR(g.mean, 255.0 / 3.0, 5.0);
}

TEST(NewDots, RunsWrapAroundTheRingAndColourEachDotOnce) {
    StyledEngine s(kStyleSidewaysSpray, 10);
    s.Set(0, 1100);
    s.e.SetNewDotColour();
    float* r = Peer::R(s.e);
    auto clear = [&] {
        for (int i = 0; i < 12; ++i) r[i] = -7.0f;
    };
    clear();
    s.e.ColourNewDots(8, 12);  // 8, 9, 0, 1, 2
    for (int i = 0; i < 12; ++i) {
        const bool hit = i == 8 || i == 9 || i <= 2;
        EXPECT_EQ(r[i], hit ? 255.0f : -7.0f) << "dot " << i;
    }
    clear();
    s.e.ColourNewDots(-3, 0);  // 7, 8, 9, 0
    for (int i = 0; i < 10; ++i) {
        const bool hit = i >= 7 || i == 0;
        EXPECT_EQ(r[i], hit ? 255.0f : -7.0f) << "dot " << i;
    }
    clear();
    s.e.ColourNewDots(5, 4);  // an empty run
    for (int i = 0; i < 12; ++i) EXPECT_EQ(r[i], -7.0f);

    // A run longer than the ring draws one grey per dot, like a run of exactly the ring.
    StyledEngine twin(kStyleSidewaysSpray, 10);
    s.Set(0, 1050);
    twin.Set(0, 1050);
    s.e.SetNewDotColour();
    twin.e.SetNewDotColour();
    s.e.ColourNewDots(3, 3 + 95);
    twin.e.ColourNewDots(3, 12);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r[i], Peer::R(twin.e)[i]) << "dot " << i;
    EXPECT_EQ(s.e.RandomSigned(1.0f), twin.e.RandomSigned(1.0f));

    // No dots: nothing to colour, nothing touched.
    Peer::SetDots(s.e, 0);
    clear();
    s.e.ColourNewDots(0, 5);
    EXPECT_EQ(r[0], -7.0f);
}

}  // namespace
}  // namespace quovis
