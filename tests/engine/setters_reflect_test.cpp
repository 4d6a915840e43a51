// Reflections, style parameters and the trail settings forwarded to the canvas.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

constexpr double kPi = std::numbers::pi;

double EntryAngle(const CDrawWnd& e, int k) {
    return std::atan2(Peer::ReflSin(e, k), Peer::ReflCos(e, k));
}

// Difference of two angles folded into (-pi, pi].
double AngleBetween(double a, double b) {
    return std::remainder(a - b, 2.0 * kPi);
}

// ---- Reflection count and tables ---------------------------------------------------------

TEST(SetReflections, TheCountIsLimitedToOneToSixty) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetReflections(70);
    EXPECT_EQ(Peer::Reflections(e), 60);
    e.SetReflections(0);
    EXPECT_EQ(Peer::Reflections(e), 1);
    e.SetReflections(-8);
    EXPECT_EQ(Peer::Reflections(e), 1);
}

TEST(SetReflections, EachCopyIsTheFirstTurnedOneMoreStep) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    for (int n : {1, 2, 3, 5, 12, 60}) {
        e.SetReflections(n);
        EXPECT_FLOAT_EQ(Peer::ReflCos(e, 0), 1.0f) << n;
        EXPECT_FLOAT_EQ(Peer::ReflSin(e, 0), 0.0f) << n;
        // Compose the one-step rotation k times and compare with entry k.
        double c = 1.0, s = 0.0;
        const double c1 = Peer::ReflCos(e, n > 1 ? 1 : 0);
        const double s1 = Peer::ReflSin(e, n > 1 ? 1 : 0);
        for (int k = 0; k < n; ++k) {
            ASSERT_NEAR(Peer::ReflCos(e, k), c, 2e-5) << "entry " << k << " of " << n;
            ASSERT_NEAR(Peer::ReflSin(e, k), s, 2e-5) << "entry " << k << " of " << n;
            const double cn = c * c1 - s * s1;
            s = s * c1 + c * s1;
            c = cn;
        }
        if (n > 1) {
            EXPECT_NEAR(AngleBetween(EntryAngle(e, 1), 2.0 * kPi / n), 0.0, 1e-5) << n;
        }
        // The copies close the circle, and unused entries rotate nothing.
        EXPECT_NEAR(c, 1.0, 1e-4) << n;
        for (int k = n; k < CDrawWnd::kMaxReflections; ++k) {
            ASSERT_EQ(Peer::ReflCos(e, k), 1.0f) << "entry " << k << " of " << n;
            ASSERT_EQ(Peer::ReflSin(e, k), 0.0f) << "entry " << k << " of " << n;
        }
    }
}

TEST(SetReflections, TheBaseAngleTurnsEveryCopy) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    Peer::SetReflectAngle(e, 0.3);
    e.SetReflections(4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(AngleBetween(EntryAngle(e, k), 0.3 + k * kPi / 2), 0.0, 1e-6) << k;
    }
}

TEST(SetReflections, WrappingGoesOffAtThreeCopiesAndComesBack) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetWrapFlags(2);
    for (int n = 1; n <= 8; ++n) {
        e.SetReflections(n);
        EXPECT_EQ(Peer::WrapActive(e), n < 3 ? 2 : 0) << n;
    }
    e.SetReflections(2);
    EXPECT_EQ(Peer::WrapActive(e), 2);
}

TEST(SetReflections, TheTablesAreMarkedChanged) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    Peer::ClearReflectionsChanged(e);
    e.SetReflections(3);
    EXPECT_TRUE(Peer::ReflectionsChanged(e));
    Peer::ClearReflectionsChanged(e);
    e.SetSymmetric(true);
    EXPECT_TRUE(Peer::Symmetric(e));
    EXPECT_TRUE(Peer::ReflectionsChanged(e));
    Peer::ClearReflectionsChanged(e);
    e.SetSymmetric(true);  // no change, no mark
    EXPECT_FALSE(Peer::ReflectionsChanged(e));
    e.SetSymmetric(false);
    EXPECT_FALSE(Peer::Symmetric(e));
    EXPECT_TRUE(Peer::ReflectionsChanged(e));
}

// ---- Orientation -------------------------------------------------------------------------

TEST(SetReflectOrient, OrientationAppliesOnlyWhileTheSwitchIsOn) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetReflections(6);
    e.SetReflectOrient(0);
    EXPECT_NEAR(EntryAngle(e, 0), 0.0, 1e-7);  // switch off: no turn
    e.SetReflectOrientSwitch(true);
    // Orientation 0 turns every copy one step on.
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(AngleBetween(EntryAngle(e, k), (k + 1) * kPi / 3), 0.0, 1e-6) << k;
    }
    e.SetReflectOrient(7);  // no such orientation: unturned
    EXPECT_NEAR(EntryAngle(e, 0), 0.0, 1e-7);
    e.SetReflectOrientSwitch(false);
    e.SetReflectOrient(0);
    EXPECT_NEAR(EntryAngle(e, 0), 0.0, 1e-7);
}

TEST(SetReflectOrient, TheDateOrientationTurnsOnceAYear) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetReflections(12);
    e.SetReflectOrientSwitch(true);
    clock.day = 5;  // the zodiac wheel's reference day
    clock.hour = 0.0;
    e.SetReflectOrient(1);
    EXPECT_NEAR(AngleBetween(EntryAngle(e, 0), kPi / 12 - kPi), 0.0, 1e-6);

    // One day later the copies have turned back by a 365th of a turn; half a day, half that.
    clock.day = 6;
    e.SetReflections(12);
    const double dayLater = EntryAngle(e, 0);
    EXPECT_NEAR(AngleBetween(dayLater, kPi / 12 - kPi), -2.0 * kPi / 365, 1e-6);
    clock.day = 5;
    clock.hour = 12.0;
    e.SetReflections(12);
    EXPECT_NEAR(AngleBetween(EntryAngle(e, 0), kPi / 12 - kPi), -kPi / 365, 1e-6);
    // A year on, the same place.
    clock.day = 5 + 365;
    clock.hour = 0.0;
    e.SetReflections(12);
    EXPECT_NEAR(AngleBetween(EntryAngle(e, 0), kPi / 12 - kPi), 0.0, 1e-5);
}

TEST(DayOfYear, CountsFromTheFirstOfJanuaryWithCommonYearMonths) {
    EXPECT_EQ(DayOfYear(0, 1), 0);
    EXPECT_EQ(DayOfYear(2, 1), 59);  // no leap day
    EXPECT_EQ(DayOfYear(11, 31), 364);
    EXPECT_EQ(DayOfYear(15, 1), 334);  // out-of-range months are limited
    int day = -1;
    double hour = -1.0;
    EXPECT_TRUE(SystemClock::Instance().LocalDayOfYearAndHour(day, hour));
    EXPECT_GE(day, 0);
    EXPECT_LE(day, 364);
    EXPECT_GE(hour, 0.0);
    EXPECT_LT(hour, 24.0);
}

// ---- Style parameters --------------------------------------------------------------------

TEST(SetStyleParams, StoresTheValuesSafelyAndAsksForTheDerivedOnes) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    Peer::SetStyle(e, kStyleFountain);
    const int values[7] = {1050, 25, 120, 300, 80, 400, 9};
    Peer::ClearStyleParamsChanged(e);
    e.SetStyleParams(7, values);  // one too many
    EXPECT_EQ(Peer::StyleParamCount(e), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Peer::StyleParam(e, i), values[i]) << i;
    EXPECT_TRUE(Peer::StyleParamsChanged(e));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float fewer[3] = {1000.5f, nan, std::numeric_limits<float>::infinity()};
    e.SetStyleParams(3, fewer);
    EXPECT_EQ(Peer::StyleParamCount(e), 3);
    EXPECT_EQ(Peer::StyleParam(e, 0), 1000.5f);
    EXPECT_EQ(Peer::StyleParam(e, 1), 25.0f);   // not a number: kept
    EXPECT_EQ(Peer::StyleParam(e, 2), 120.0f);  // likewise
    EXPECT_EQ(Peer::StyleParam(e, 3), 300.0f);  // beyond the count: untouched

    e.SetStyleParams(-4, fewer);
    EXPECT_EQ(Peer::StyleParamCount(e), 0);
    e.SetStyleParams(3, static_cast<const int*>(nullptr));
    e.SetStyleParams(3, static_cast<const float*>(nullptr));
    EXPECT_EQ(Peer::StyleParamCount(e), 0);
}

TEST(SetStyleParams, ACircleRadiusBeyondTheCanvasMovesTheWallsOut) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(800, 600);
    Peer::SetStyle(e, kStyleCircle);
    int values[6] = {1100, 30, -10, 800, 70, 0};
    e.SetStyleParams(6, values);
    const float inside = Peer::MarginX(e);
    values[3] = 1500;
    e.SetStyleParams(6, values);
    EXPECT_GT(Peer::MarginX(e), inside);
}

TEST(SetStartColour, WritesTheFirstParameterOnly) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    Peer::SetStyle(e, kStyleFountain);
    const int values[3] = {1100, 7, 8};
    e.SetStyleParams(3, values);
    e.SetStartColour(1042.0);
    EXPECT_EQ(Peer::StyleParam(e, 0), 1042.0f);
    EXPECT_EQ(Peer::StyleParam(e, 1), 7.0f);
    e.SetStartColour(std::nan(""));
    EXPECT_EQ(Peer::StyleParam(e, 0), 1042.0f);
}

// ---- Trails and the canvas ---------------------------------------------------------------

TEST(TrailSetters, EveryChangeReachesTheCanvas) {
    FixedClock clock(1000, 2000);
    test::CanvasCalls calls;
    test::RecordingEngine e(clock, calls, OneWorker());
    ASSERT_EQ(e.CreateOutput(60.0), kEngineOk);

    e.SetLeaveTrails(true);
    e.SetTrailLength(55);
    EXPECT_EQ(calls.trailLength, 55);
    e.SetDither(true);
    EXPECT_TRUE(calls.trailDither);
    EXPECT_LE(calls.trailShade, 0.0);  // the setters leave the shade factor alone
    EXPECT_EQ(calls.trails, 3);
    e.SetLeaveTrails(false);
    EXPECT_EQ(calls.trailLength, -1);  // no trails
    e.SetTrailLength(70);              // remembered while trails are off
    EXPECT_EQ(calls.trailLength, -1);
    e.SetLeaveTrails(true);
    EXPECT_EQ(calls.trailLength, 70);

    e.SetTrailLength(0);  // would have no fade at all
    EXPECT_EQ(calls.trailLength, 1);
    e.SetTrailLength(400);
    EXPECT_EQ(calls.trailLength, 100);
}

TEST(TrailSetters, FuzzinessKeepsItsAmountWhileOffAndQuickDirtyKeepsItInEightBits) {
    FixedClock clock(1000, 2000);
    test::CanvasCalls calls;
    test::RecordingEngine e(clock, calls, OneWorker());
    ASSERT_EQ(e.CreateOutput(60.0), kEngineOk);
    e.SetFuzziness(40);
    EXPECT_TRUE(calls.fuzzOn);
    EXPECT_EQ(calls.fuzzAmount, 40);
    EXPECT_TRUE(calls.fuzzAllow16);
    e.SetFuzziness(0);
    EXPECT_FALSE(calls.fuzzOn);
    EXPECT_EQ(Peer::Fuzziness(e), 40);
    e.SetFuzziness(250);
    EXPECT_EQ(calls.fuzzAmount, 100);

    e.SetQuickDirty(true);
    EXPECT_TRUE(calls.quickOn);
    EXPECT_FALSE(calls.fuzzAllow16);
    e.SetQuickDirty(false);
    EXPECT_FALSE(calls.quickOn);
    EXPECT_TRUE(calls.fuzzAllow16);
}

TEST(TrailSetters, SettingsMadeBeforeTheCanvasExistsReachItWhenApplied) {
    FixedClock clock(1000, 2000);
    test::CanvasCalls calls;
    test::RecordingEngine e(clock, calls, OneWorker());
    e.SetLeaveTrails(true);
    e.SetTrailLength(33);
    e.SetDither(true);
    e.SetFuzziness(12);
    e.SetQuickDirty(true);
    e.ApplyCanvasSettings();  // no canvas yet: nothing to tell
    EXPECT_EQ(calls.trails + calls.fuzz + calls.quick, 0);
    EXPECT_EQ(Peer::TrailLength(e), 33);

    ASSERT_EQ(e.CreateOutput(60.0), kEngineOk);
    e.ApplyCanvasSettings();
    EXPECT_EQ(calls.trailLength, 33);
    EXPECT_TRUE(calls.trailDither);
    EXPECT_GT(calls.trailShade, 0.0);  // a new canvas gets the engine's shade factor
    EXPECT_TRUE(calls.fuzzOn);
    EXPECT_EQ(calls.fuzzAmount, 12);
    EXPECT_TRUE(calls.quickOn);
}

}  // namespace
}  // namespace quovis
