// The motion setters: activity, pace, influence range, viscosity, turbulence, confinement,
// variant and wrapping.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/draw_wnd.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// ---- Viscosity ---------------------------------------------------------------------------

TEST(SetViscosity, TheSliderEndsGiveTheirDampings) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetViscosity(1200);
    EXPECT_DOUBLE_EQ(Peer::Viscosity(e), 1.0);
    EXPECT_EQ(Peer::DampX(e), 0.0f);  // dots stop unless pushed every frame
    EXPECT_EQ(Peer::DampY(e), 0.0f);
    e.SetViscosity(0);
    EXPECT_DOUBLE_EQ(Peer::Viscosity(e), 401.0);
    EXPECT_NEAR(Peer::DampX(e), 0.9975, 1e-4);
    EXPECT_EQ(Peer::DampX(e), Peer::DampY(e));
    e.SetViscosity(-200);
    EXPECT_NEAR(Peer::Viscosity(e), 40100.0, 1e-6);
    EXPECT_NEAR(Peer::DampX(e), 0.999975, 1e-6);
}

TEST(SetViscosity, DampingRisesSteadilyAndValuesPastTheSliderNeverSpeedDotsUp) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    float previous = -1.0f;
    // Past 1200 the stored value would reach 0 (a division by zero) and then go negative (a
    // damping above 1).
    for (double v : {1e9, 1500.0, 1203.0, 1200.0, 900.0, 400.0, 0.0, -100.0, -200.0, -1e9}) {
        e.SetViscosity(v);
        const float damp = Peer::DampX(e);
        ASSERT_GE(damp, previous) << "viscosity " << v;
        ASSERT_GE(damp, 0.0f) << "viscosity " << v;
        ASSERT_LE(damp, 1.0f) << "viscosity " << v;
        previous = damp;
    }
    e.SetViscosity(300);
    const float kept = Peer::DampX(e);
    e.SetViscosity(kNaN);
    e.SetViscosity(kInf);
    EXPECT_EQ(Peer::DampX(e), kept);
}

// ---- Activity, pace, influence range -----------------------------------------------------

TEST(SetActivity, MoreActivityOrAFasterPaceMeansFasterWanderingMovers) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetPace(1.0);
    e.SetInfluenceRange(35);
    float previous = 0.0f;
    for (double a = 0.1; a <= 6.0; a += 0.3) {
        e.SetActivity(a);
        ASSERT_GT(Peer::MoverSpeedK(e), previous) << "activity " << a;
        previous = Peer::MoverSpeedK(e);
    }
    e.SetActivity(1.0);
    previous = 0.0f;
    for (double p = 0.001; p <= 2.0; p += 0.1) {
        e.SetPace(p);
        ASSERT_GT(Peer::MoverSpeedK(e), previous) << "pace " << p;
        previous = Peer::MoverSpeedK(e);
    }
}

TEST(SetActivity, OrganicMotionWandersSlowerThanTheOthers) {
    FixedClock clock(1000, 2000);
    CDrawWnd linear(clock, OneWorker());
    CDrawWnd organic(clock, OneWorker());
    Peer::SetMotion(linear, 1);
    Peer::SetMotion(organic, 2);
    for (CDrawWnd* e : {&linear, &organic}) {
        e->SetPace(1.3);
        e->SetInfluenceRange(50);
        e->SetActivity(2.0);
    }
    EXPECT_NEAR(Peer::MoverSpeedK(organic) / Peer::MoverSpeedK(linear), 0.28, 1e-5);
}

TEST(SetActivity, AnUnchangedValueDoesNotRestartTheMovers) {
    // Restarting draws a random number; an engine that skips it stays in step with one that
    // never got the second call.
    FixedClock clock(1000, 2000);
    CDrawWnd once(clock, OneWorker());
    CDrawWnd twice(clock, OneWorker());
    once.Seed(99);
    twice.Seed(99);
    once.SetActivity(1.5);
    twice.SetActivity(1.5);
    twice.SetActivity(1.5);
    twice.SetPace(0.0);  // pace starts at 0: no change either
    EXPECT_EQ(once.RandomUniform(), twice.RandomUniform());

    twice.SetActivity(1.6);  // a change does restart them: one draw ahead now
    EXPECT_NE(once.RandomUniform(), twice.RandomUniform());
}

TEST(SetActivity, NegativeAndNonNumbersAreRefusedOrLimited) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetActivity(2.0);
    e.SetActivity(kNaN);
    e.SetActivity(-kInf);
    EXPECT_DOUBLE_EQ(Peer::Activity(e), 2.0);
    e.SetActivity(-3.0);
    EXPECT_DOUBLE_EQ(Peer::Activity(e), 0.0);
    e.SetPace(-1.0);
    EXPECT_DOUBLE_EQ(Peer::Pace(e), 0.0);
    EXPECT_TRUE(std::isfinite(Peer::MoverSpeedK(e)));
    EXPECT_GT(Peer::MoverSpeedK(e), 0.0f);
}

TEST(SetInfluenceRange, ReachRunsFromFiveToFiveHundredAndFiveAndIsLimited) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetInfluenceRange(0);
    EXPECT_FLOAT_EQ(Peer::ForceReach(e), 5.0f);
    e.SetInfluenceRange(100);
    EXPECT_FLOAT_EQ(Peer::ForceReach(e), 505.0f);
    e.SetInfluenceRange(250);
    EXPECT_FLOAT_EQ(Peer::InfluenceRange(e), 100.0f);
    EXPECT_FLOAT_EQ(Peer::ForceReach(e), 505.0f);
    e.SetInfluenceRange(-7);
    EXPECT_FLOAT_EQ(Peer::InfluenceRange(e), 0.0f);
    e.SetInfluenceRange(kNaN);
    EXPECT_FLOAT_EQ(Peer::InfluenceRange(e), 0.0f);

    // A longer reach moves more dots per mover, so the movers slow down.
    e.SetActivity(1.0);
    e.SetPace(1.0);
    float previous = std::numeric_limits<float>::max();
    for (int r = 0; r <= 100; r += 5) {
        e.SetInfluenceRange(r);
        ASSERT_LT(Peer::MoverSpeedK(e), previous) << "range " << r;
        previous = Peer::MoverSpeedK(e);
    }
}

// ---- Turbulence --------------------------------------------------------------------------

TEST(SetTurbulence, TurbulentFlowForgetsQuicklyGentleFlowSlowlyAndNothingBeyond) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetTurbulence(1.0);
    EXPECT_NEAR(Peer::MoverInertia(e), 0.0f, 1e-7);
    EXPECT_NEAR(Peer::MoverPeriod(e), 20.0f, 1e-3);
    e.SetTurbulence(0.5);
    EXPECT_NEAR(Peer::MoverPeriod(e), 200.0f, 0.01);  // geometric middle of 20 and 2000
    e.SetTurbulence(0.0);
    EXPECT_NEAR(Peer::MoverPeriod(e), 2000.0f, 0.05);
    EXPECT_GT(Peer::MoverInertia(e), 0.999f);
    EXPECT_LT(Peer::MoverInertia(e), 1.0f);
    e.SetTurbulence(kNaN);
    EXPECT_NEAR(Peer::MoverPeriod(e), 2000.0f, 0.05);
    // Above 1 the inertia would turn negative and the flow would grow without end.
    e.SetTurbulence(3.0);
    EXPECT_GE(Peer::MoverInertia(e), 0.0f);
    e.SetTurbulence(-4.0);
    EXPECT_LT(Peer::MoverInertia(e), 1.0f);
}

// ---- Confinement -------------------------------------------------------------------------

TEST(SetConfinement, NegativeValuesConfineToACircleOfTheSameStrength) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(800, 600);
    e.SetConfinement(500);
    EXPECT_FALSE(Peer::RoundConfine(e));
    const double square = Peer::ConfineGain(e);
    e.SetConfinement(-500);
    EXPECT_TRUE(Peer::RoundConfine(e));
    EXPECT_DOUBLE_EQ(Peer::ConfineGain(e), square);
    EXPECT_DOUBLE_EQ(Peer::Confine(e), -500.0);
}

TEST(SetConfinement, StrongerConfinementGivesStrongerWalls) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(800, 600);
    double previous = 0.0;
    for (int c = 0; c <= 1000; c += 50) {
        e.SetConfinement(c);
        ASSERT_GT(Peer::ConfineGain(e), previous) << "confinement " << c;
        previous = Peer::ConfineGain(e);
    }
    e.SetConfinement(1e12);  // would overflow to an infinite gain and no walls at all
    EXPECT_TRUE(std::isfinite(Peer::ConfineGain(e)));
    EXPECT_TRUE(std::isfinite(Peer::ConfineExp(e)));
}

TEST(SetConfinement, ThreeOrMoreReflectionsTripleTheWallsWhicheverIsSetFirst) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(800, 600);
    e.SetReflections(1);
    e.SetConfinement(700);
    const double one = Peer::ConfineGain(e);
    e.SetReflections(4);
    EXPECT_NEAR(Peer::ConfineGain(e) / one, 3.0, 1e-12);
    e.SetConfinement(700);
    EXPECT_NEAR(Peer::ConfineGain(e) / one, 3.0, 1e-12);
    e.SetReflections(2);
    EXPECT_NEAR(Peer::ConfineGain(e), one, 1e-12);
}

// ---- Wrapping ----------------------------------------------

TEST(SetWrapFlags, WrappingIsActiveOnlyBelowThreeReflections) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetReflections(2);
    e.SetWrapFlags(6);
    EXPECT_EQ(Peer::WrapActive(e), 6);
    e.SetReflections(3);
    EXPECT_EQ(Peer::WrapFlags(e), 6);  // remembered for later
    EXPECT_EQ(Peer::WrapActive(e), 0);
    e.SetWrapFlags(1);  // set while the copies forbid it
    EXPECT_EQ(Peer::WrapActive(e), 0);
    e.SetReflections(1);
    EXPECT_EQ(Peer::WrapActive(e), 1);
    e.SetWrapFlags(0x7fffffff);
    EXPECT_EQ(Peer::WrapFlags(e), 7);
}

}  // namespace
}  // namespace quovis
