// Drift: the bounded random walk and the engine parameters it moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine/drift.h"
#include "engine/random.h"
#include "engine/style_table.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

EngineRandom SeededRandom(int32_t seed) {
    EngineRandom rng;
    rng.Seed(seed, 0, 0);
    return rng;
}

// The widths the engine uses, step by step: additive from 0.01 towards 0.75.
double NextAddRange(double r) {
    return 0.9 * r + 0.075;
}
double NextMultRange(double r) {
    return 0.9 * r + 0.1 * std::log(4.0);
}

// ---- The walk itself ---------------------------------------------------------------------

struct WalkCase {
    double base, lo, hi;
};

TEST(DriftWalk, AnAdditiveWalkNeverLeavesItsBand) {
    const WalkCase cases[] = {{0.5, 0.0, 1.0},     {0.0, 0.0, 1.0},     {1.0, 0.0, 1.0},
                              {0.0, -2000, 2000},  {1950, -2000, 2000}, {35, 0, 100},
                              {-999, -1000, 1000}, {1e-6, 0.0, 1e-5}};
    for (int32_t seed : {1, 77, 4242, 99991}) {
        for (const WalkCase& c : cases) {
            EngineRandom rng = SeededRandom(seed);
            double offset = 0.0;
            double r = 0.01;
            for (int step = 0; step < 20000; ++step) {
                r = NextAddRange(r);
                const double u = 2.0 * rng.RandomUniform() - 1.0;
                const double v = DriftWalk(offset, u, c.base, -r, 0.66, 0.98, c.lo, c.hi);
                const double low = std::max(c.lo, c.base - r * (c.hi - c.lo));
                const double high = std::min(c.hi, c.base + r * (c.hi - c.lo));
                ASSERT_GE(v, low) << "seed " << seed << " base " << c.base << " step " << step;
                ASSERT_LE(v, high) << "seed " << seed << " base " << c.base << " step " << step;
            }
        }
    }
}

TEST(DriftWalk, AnAdditiveWalkWandersBothWaysAroundItsBase) {
    for (int32_t seed : {3, 1234, 56789}) {
        EngineRandom rng = SeededRandom(seed);
        double offset = 0.0;
        double lowest = 1e9, highest = -1e9;
        for (int step = 0; step < 20000; ++step) {
            const double u = 2.0 * rng.RandomUniform() - 1.0;
            const double v = DriftWalk(offset, u, 0.5, -0.75, 0.66, 0.98, 0.0, 1.0);
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
        }
        EXPECT_GT(highest - lowest, 0.2) << "seed " << seed;
        EXPECT_LT(lowest, 0.5) << "seed " << seed;
        EXPECT_GT(highest, 0.5) << "seed " << seed;
    }
}

TEST(DriftWalk, AFarOffsetIsPulledBackTowardsTheBase) {
    // Over a wide range the pull grows with the square of the offset and soon dominates the
    // kicks. Without it the walk would stay where it is; with it the wrong way round it
    // would run off to a bound.
    for (int32_t seed : {3, 1234, 56789}) {
        for (double start : {60.0, -60.0}) {
            EngineRandom rng = SeededRandom(seed);
            double offset = start;
            for (int step = 0; step < 3000; ++step) {
                const double u = 2.0 * rng.RandomUniform() - 1.0;
                DriftWalk(offset, u, 300.0, -0.75, 0.66, 0.98, -2000.0, 2000.0);
            }
            EXPECT_LT(std::fabs(offset), 20.0) << "seed " << seed << " start " << start;
        }
    }
}

TEST(DriftWalk, AMultiplicativeWalkStaysWithinItsFactorAndBounds) {
    for (int32_t seed : {5, 808, 31337}) {
        for (double base : {0.001, 0.3, 1.0, 4.0, -50.0}) {
            EngineRandom rng = SeededRandom(seed);
            double offset = 0.0;
            double range = std::log(1.01);
            double lowest = 1e300, highest = -1e300;
            for (int step = 0; step < 20000; ++step) {
                range = NextMultRange(range);
                const double u = 2.0 * rng.RandomUniform() - 1.0;
                const double v = DriftWalk(offset, u, base, range, 0.55, 0.98, -100.0, 6.0);
                ASSERT_LE(std::fabs(offset), range + 1e-12) << "seed " << seed << " base " << base;
                ASSERT_GE(v, -100.0) << "seed " << seed << " base " << base << " step " << step;
                ASSERT_LE(v, 6.0) << "seed " << seed << " base " << base << " step " << step;
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
            }
            // The walk moves by a good factor each way, not just a hair.
            const double b = std::clamp(base, -100.0, 6.0);
            if (b > 0.0 && b < 1.5) {
                EXPECT_GT(highest / lowest, 1.5) << "seed " << seed;
            }
        }
    }
}

TEST(DriftWalk, ABaseOutsideTheBoundsOrNotANumberStillGivesABoundedValue) {
    EngineRandom rng = SeededRandom(11);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double base : {-5000.0, 5000.0, nan, std::numeric_limits<double>::infinity()}) {
        for (double range : {-0.5, 0.7}) {
            double offset = 0.0;
            for (int step = 0; step < 1000; ++step) {
                const double u = 2.0 * rng.RandomUniform() - 1.0;
                const double v = DriftWalk(offset, u, base, range, 0.66, 0.98, -2000.0, 2000.0);
                ASSERT_TRUE(std::isfinite(v)) << "base " << base << " range " << range;
                ASSERT_GE(v, -2000.0) << "base " << base << " range " << range;
                ASSERT_LE(v, 2000.0) << "base " << base << " range " << range;
            }
        }
    }
    double offset = nan;  // a poisoned state recovers
    EXPECT_TRUE(std::isfinite(DriftWalk(offset, 0.5, 1.0, -0.1, 0.66, 0.98, 0.0, 2.0)));
    EXPECT_TRUE(std::isfinite(offset));
}

// ---- The engine's drift ------------------------------------------------------------------

// An engine with a style, its default parameters and plausible motion and colour settings.
struct DriftingEngine {
    explicit DriftingEngine(int style) : clock(1000, 2000), engine(clock, OneWorker()) {
        engine.SetCanvasSize(640, 480);
        Peer::SetStyle(engine, style);
        Peer::SetMotion(engine, 1);
        Peer::SetMovers(engine, 4);
        int32_t count = 0;
        float values[kStyleParamSlots] = {};
        EXPECT_TRUE(GetStyleParams(style, count, values));
        engine.SetStyleParams(count, values);
        engine.SetActivity(1.2);
        engine.SetPace(1.0);
        engine.SetViscosity(400);
        engine.SetInfluenceRange(35);
        engine.SetTurbulence(0.5);
        engine.SetConfinement(500);
        engine.SetPointMagnitude(0.8);
        engine.SetPastels(0.3, false);
        engine.SetColourBright(0.9);
    }
    void Steps(int n) {
        for (int i = 0; i < n; ++i) engine.DriftStep();
    }
    FixedClock clock;
    CDrawWnd engine;
};

TEST(Drift, StepsComeEveryHundredMillisecondsWhileRunning) {
    DriftingEngine d(kStyleFullField);
    CDrawWnd& e = d.engine;
    EXPECT_FALSE(e.DriftTick());  // never enabled
    e.EnableDrift(true);
    EXPECT_TRUE(e.IsDriftRunning());
    d.clock.ms = 1100;
    EXPECT_FALSE(e.DriftTick());  // exactly 100 ms is not more than 100
    d.clock.ms = 1101;
    EXPECT_TRUE(e.DriftTick());
    d.clock.ms = 1150;
    EXPECT_FALSE(e.DriftTick());
    d.clock.ms = 1202;
    EXPECT_TRUE(e.DriftTick());
    e.EnableDrift(false);
    d.clock.ms = 5000;
    const double activity = Peer::Activity(e);
    EXPECT_FALSE(e.DriftTick());
    e.DriftStep();
    EXPECT_FALSE(e.IsDriftRunning());
    EXPECT_EQ(Peer::Activity(e), activity);  // switched off, nothing moves

    // Across the wrap of the millisecond clock.
    d.clock.ms = 0xffffffc0u;
    e.EnableDrift(true);
    d.clock.ms = 0x00000030u;  // 0x70 = 112 ms later
    EXPECT_TRUE(e.DriftTick());
}

TEST(Drift, EveryDriftedValueStaysWithinItsBoundsOverThousandsOfSteps) {
    for (int style : {kStyleFountain, kStyleLissajous, kStyleRadialNozzles, kStyleDraw}) {
        DriftingEngine d(style);
        CDrawWnd& e = d.engine;
        const StyleInfo* info = GetStyle(style);
        ASSERT_NE(info, nullptr);
        e.EnableDrift(true);
        for (int step = 0; step < 5000; ++step) {
            e.DriftStep();
            ASSERT_GE(Peer::Activity(e), 0.01) << "style " << style << " step " << step;
            ASSERT_LE(Peer::Activity(e), 6.0) << "style " << style << " step " << step;
            ASSERT_GE(Peer::Pace(e), 0.001) << "style " << style << " step " << step;
            ASSERT_LE(Peer::Pace(e), 2.0) << "style " << style << " step " << step;
            ASSERT_GE(Peer::Viscosity(e), 1.0) << "style " << style << " step " << step;
            ASSERT_LE(Peer::Viscosity(e), 5000.0) << "style " << style << " step " << step;
            ASSERT_GE(Peer::InfluenceRange(e), 1.0f) << "style " << style << " step " << step;
            ASSERT_LE(Peer::InfluenceRange(e), 100.0f) << "style " << style << " step " << step;
            ASSERT_GE(Peer::Confine(e), -2000.0) << "style " << style << " step " << step;
            ASSERT_LE(Peer::Confine(e), 2000.0) << "style " << style << " step " << step;
            ASSERT_GE(Peer::Pastel(e), 0.001) << "style " << style << " step " << step;
            ASSERT_LE(Peer::Pastel(e), 1.15) << "style " << style << " step " << step;
            ASSERT_GE(Peer::ColourBright(e), 0.001) << "style " << style << " step " << step;
            ASSERT_LE(Peer::ColourBright(e), 2.5) << "style " << style << " step " << step;
            ASSERT_GE(Peer::PointMagnitude(e), 0.0) << "style " << style << " step " << step;
            ASSERT_LE(Peer::PointMagnitude(e), 1.0) << "style " << style << " step " << step;
            for (int i = 0; i < info->paramCount; ++i) {
                const float p = Peer::StyleParam(e, i);
                ASSERT_GE(p, info->params[i].min) << "style " << style << " param " << i;
                ASSERT_LE(p, info->params[i].max) << "style " << style << " param " << i;
                const float live = Peer::StyleParamLive(e, i);
                if (live != CDrawWnd::kUnsetLiveParam) {
                    ASSERT_GE(live, info->params[i].min) << "style " << style << " param " << i;
                    ASSERT_LE(live, info->params[i].max) << "style " << style << " param " << i;
                }
            }
        }
    }
}

TEST(Drift, EnergyOfTheSecondKindDriftsInTheEnergySlot) {
    // "Lissajous" has no plain energy parameter but an energy of the second kind (index 3).
    DriftingEngine d(kStyleLissajous);
    CDrawWnd& e = d.engine;
    ASSERT_EQ(FindStyleParamByRole(kStyleLissajous, kRoleEnergy), -1);
    const int energy = FindStyleParamByRole(kStyleLissajous, kRoleEnergy2);
    ASSERT_GE(energy, 0);
    const int velocity = FindStyleParamByRole(kStyleLissajous, kRoleVelocity);
    const float velocityBefore = Peer::StyleParam(e, velocity);
    e.EnableDrift(true);
    d.Steps(200);
    const float live = Peer::StyleParamLive(e, energy);
    EXPECT_NE(live, CDrawWnd::kUnsetLiveParam);
    EXPECT_NE(live, Peer::StyleParam(e, energy));  // it moved off its value
    // The flow rate drifts through its live copy too; velocity has no slot and stays.
    const int flow = FindStyleParamByRole(kStyleLissajous, kRoleFlowRate);
    EXPECT_NE(Peer::StyleParamLive(e, flow), CDrawWnd::kUnsetLiveParam);
    EXPECT_EQ(Peer::StyleParam(e, velocity), velocityBefore);
    EXPECT_EQ(Peer::StyleParamLive(e, velocity), CDrawWnd::kUnsetLiveParam);
}

TEST(Drift, ASpinningRateDriftsAsTheSpinningParameterInWholeNumbers) {
    // "Radial Nozzles" has a plain energy (kept in its own slot) and a spinning rate of the
    // second kind, which takes the spinning slot and is written to the parameter itself.
    DriftingEngine d(kStyleRadialNozzles);
    CDrawWnd& e = d.engine;
    const int rate = FindStyleParamByRole(kStyleRadialNozzles, kRoleSpinningRate);
    const int energy = FindStyleParamByRole(kStyleRadialNozzles, kRoleEnergy);
    ASSERT_GE(rate, 0);
    ASSERT_GE(energy, 0);
    const float start = Peer::StyleParam(e, rate);
    e.EnableDrift(true);
    bool moved = false;
    for (int step = 0; step < 1000; ++step) {
        e.DriftStep();
        const float v = Peer::StyleParam(e, rate);
        ASSERT_EQ(v, std::trunc(v)) << "step " << step;
        moved = moved || v != start;
    }
    EXPECT_TRUE(moved);
    EXPECT_EQ(Peer::StyleParamLive(e, rate), CDrawWnd::kUnsetLiveParam);
    EXPECT_NE(Peer::StyleParamLive(e, energy), CDrawWnd::kUnsetLiveParam);
}

TEST(Drift, GroupSizesFollowADriftingGroupOrStrobeParameter) {
    // Dots per group (slot 5) and strobe period (slot 7) are written to the parameter, from
    // which the frame step derives the group size, but only for parameters marked changed.
    for (int style : {kStyleSidewaysSpray, kStyleFountain, kStyleTwirls, kStyleCircle, kStyleDraw,
                      kStyleCurves}) {
        DriftingEngine d(style);
        CDrawWnd& e = d.engine;
        e.SetDotCount(60000, false);
        int p = FindStyleParamByRole(style, kRoleDotsPerGroup);
        if (p < 0) p = FindStyleParamByRole(style, kRoleStrobePeriod);
        ASSERT_GE(p, 0) << "style " << style;
        e.ApplyStyleParams();
        Peer::ClearStyleParamsChanged(e);
        std::vector<int> groups{Peer::GroupSize(e)};
        e.EnableDrift(true);
        for (int step = 0; step < 600; ++step) {
            const float before = Peer::StyleParam(e, p);
            e.DriftStep();
            const bool moved = Peer::StyleParam(e, p) != before;
            ASSERT_EQ(Peer::StyleParamsChanged(e), moved) << "style " << style << " step " << step;
            if (!moved) continue;
            e.ApplyStyleParams();  // what the frame step does for a marked change
            Peer::ClearStyleParamsChanged(e);
            if (Peer::GroupSize(e) != groups.back()) groups.push_back(Peer::GroupSize(e));
        }
        EXPECT_GE(groups.size(), 3u) << "style " << style << ": the group size followed";
    }
}

TEST(Drift, AStyleWithoutRolesDriftsNoStyleParameter) {
    DriftingEngine d(kStyleGlobular);
    CDrawWnd& e = d.engine;
    e.EnableDrift(true);
    d.Steps(300);
    const StyleInfo* info = GetStyle(kStyleGlobular);
    for (int i = 0; i < kStyleParamSlots; ++i) {
        EXPECT_EQ(Peer::StyleParamLive(e, i), CDrawWnd::kUnsetLiveParam) << i;
    }
    for (int i = 1; i < info->paramCount; ++i) {
        EXPECT_EQ(Peer::StyleParam(e, i), info->params[i].defaultValue) << i;
    }
}

TEST(Drift, ReEnablingTakesTheCurrentValuesAsTheNewBases) {
    DriftingEngine d(kStyleFullField);
    CDrawWnd& e = d.engine;
    e.EnableDrift(true);
    d.Steps(400);  // the walk is now wide: up to a factor of about 4 either way

    // Without re-enabling, drift pulls a changed value straight back to its old base.
    e.SetActivity(5.0);
    e.DriftStep();
    EXPECT_LT(Peer::Activity(e), 4.9);

    // Re-enabled, the first step stays within a hair of the value drift found.
    e.SetActivity(5.0);
    e.SetViscosity(1000);  // stored 67.67
    const double viscosity = Peer::Viscosity(e);
    e.EnableDrift(true);
    e.DriftStep();
    EXPECT_NEAR(Peer::Activity(e), 5.0, 5.0 * 0.01);
    EXPECT_NEAR(Peer::Viscosity(e), viscosity, viscosity * 0.01);
    EXPECT_LT(Peer::DriftMultRange(e), 0.2);  // the walk starts narrow again
}

TEST(Drift, ANewStyleUnderARunningDriftIsCapturedAfresh) {
    DriftingEngine d(kStyleRadialNozzles);
    CDrawWnd& e = d.engine;
    e.EnableDrift(true);
    d.Steps(20);
    // Switch to a style whose parameters sit at other indices; the stale role table would
    // write the old indices with the old ranges.
    Peer::SetStyle(e, kStyleGlobular);
    int32_t count = 0;
    float values[kStyleParamSlots] = {};
    ASSERT_TRUE(GetStyleParams(kStyleGlobular, count, values));
    e.SetStyleParams(count, values);
    d.Steps(100);
    EXPECT_EQ(Peer::StyleParam(e, 1), values[1]);  // "Concentration" has no drift role
}

TEST(Drift, GlitterDriftsOnlyWhileGlitterIsOn) {
    DriftingEngine d(kStyleFullField);
    CDrawWnd& e = d.engine;
    e.SetShimmerNarrow(500);
    e.SetShineGlitter(600);  // shine, not glitter
    const float amount = Peer::SparkAmount(e);
    e.EnableDrift(true);
    d.Steps(100);
    EXPECT_EQ(Peer::SparkAmount(e), amount);

    e.SetShineGlitter(-600);
    e.EnableDrift(true);
    const float glitter = Peer::SparkAmount(e);
    bool moved = false;
    for (int i = 0; i < 300; ++i) {
        e.DriftStep();
        ASSERT_GE(Peer::SparkAmount(e), 1.0f);
        ASSERT_LE(Peer::SparkAmount(e), 5000.0f);
        ASSERT_GE(Peer::SparkExp(e), 1.0f);
        ASSERT_LE(Peer::SparkExp(e), 10000.0f);
        moved = moved || Peer::SparkAmount(e) != glitter;
    }
    EXPECT_TRUE(moved);
}

}  // namespace
}  // namespace quovis
