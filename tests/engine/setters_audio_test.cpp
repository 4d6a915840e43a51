// What the audio drive reads and writes besides the ordinary setters: the stored viscosity
// and point magnitude, glitter, the spray shape, the pattern angle, single style parameters,
// and the beat that sends a "Recursive" mover to the newest dots.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "engine/draw_wnd.h"
#include "engine/vocabulary.h"
#include "engine_test_access.h"

namespace quovis {
namespace {

using test::SeededEngine;
using Peer = EngineTestAccess;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = std::numbers::pi;

// A setter, the getter that reads its value back, and the value the engine starts with.
struct StoredValue {
    const char* name;
    void (CDrawWnd::*set)(double);
    double (CDrawWnd::*get)() const;
    double lo, hi;
};

TEST(AudioSetters, StoreWithinTheirLimitsAndIgnoreValuesThatAreNotNumbers) {
    const StoredValue values[] = {
        {"viscosity", &CDrawWnd::SetViscosityStored, &CDrawWnd::ViscosityStored, 1.0, 40100.0},
        {"point magnitude", &CDrawWnd::SetPointMagnitudeStored, &CDrawWnd::PointMagnitudeStored,
         0.0, 1.0},
        {"glitter exponent", &CDrawWnd::SetGlitterExp, &CDrawWnd::GlitterExp, 0.0, 10000.0},
        {"glitter amount", &CDrawWnd::SetGlitterAmount, &CDrawWnd::GlitterAmount, 0.0, 5000.0},
        {"spray shape", &CDrawWnd::SetSprayShape, &CDrawWnd::SprayShape, 0.0, 100000.0},
    };
    for (const StoredValue& v : values) {
        SCOPED_TRACE(v.name);
        SeededEngine eng;
        CDrawWnd& e = *eng;
        const double inside = (v.lo + std::min(v.hi, v.lo + 10.0)) / 2.0 + 0.25;
        (e.*v.set)(inside);
        EXPECT_FLOAT_EQ((e.*v.get)(), inside);
        (e.*v.set)(kNaN);
        (e.*v.set)(kInf);
        EXPECT_FLOAT_EQ((e.*v.get)(), inside);
        (e.*v.set)(v.hi * 3.0 + 7.0);
        EXPECT_FLOAT_EQ((e.*v.get)(), v.hi);
        (e.*v.set)(v.lo - 5.0);
        EXPECT_FLOAT_EQ((e.*v.get)(), v.lo);
    }
}

TEST(AudioSetters, StoredForms) {
    SeededEngine eng;
    CDrawWnd& e = *eng;
    // The damping follows the stored viscosity, as with the slider's setter.
    e.SetViscosityStored(4.0);
    EXPECT_FLOAT_EQ(Peer::DampX(e), 0.75f);
    EXPECT_FLOAT_EQ(Peer::DampY(e), 0.75f);
    e.SetViscosity(0.0);
    EXPECT_DOUBLE_EQ(e.ViscosityStored(), 401.0);
    // The slider's point magnitude is stored raised to 1.618; the stored setter takes that
    // form as it is.
    e.SetPointMagnitude(0.5);
    const double stored = e.PointMagnitudeStored();
    EXPECT_NEAR(stored, std::pow(0.5, 1.618), 1e-12);
    e.SetPointMagnitudeStored(0.2);
    e.SetPointMagnitudeStored(stored);
    EXPECT_DOUBLE_EQ(e.PointMagnitudeStored(), stored);
}

TEST(AudioSetters, GlitterAmountSwitchesTheShimmerOnAndOff) {
    SeededEngine eng;
    CDrawWnd& e = *eng;
    e.SetShimmerBright(0.0);
    e.SetShineGlitter(-600.0);
    EXPECT_TRUE(e.GlitterOn());
    EXPECT_TRUE(Peer::ShimmerOn(e));
    e.SetGlitterAmount(0.0);
    EXPECT_FALSE(Peer::ShimmerOn(e));
    e.SetGlitterAmount(12.0);
    EXPECT_TRUE(Peer::ShimmerOn(e));
    EXPECT_FLOAT_EQ(Peer::SparkAmount(e), 12.0f);
}

TEST(AudioSetters, PatternAngleKicksAddUpWithinOneTurn) {
    SeededEngine eng;
    CDrawWnd& e = *eng;
    Peer::PatternAngle(e) = 1.0;
    const struct {
        double kick;
        double angle;
    } steps[] = {{0.5, 1.5},    {kPi, 1.5 + kPi}, {kPi, 1.5},
                 {-0.25, 1.25}, {kNaN, 1.25},     {20.0 * kPi, 1.25}};
    for (const auto& s : steps) {
        e.KickPatternAngle(s.kick);
        EXPECT_NEAR(e.PatternAngle(), s.angle, 1e-9) << "kick " << s.kick;
    }
}

TEST(AudioSetters, LiveCopyIsTakenOverWhenTheEmissionReadsTheRate) {
    SeededEngine eng;
    CDrawWnd& e = *eng;
    e.SetCanvasSize(320, 240);
    e.SetDotCount(400, false);
    ASSERT_TRUE(e.StartPattern(0.1, kMotionLinear, kStyleSidewaysSpray, 4, false));
    // "Sideways Spray": slot 2 is its flow rate.
    e.SetLiveStyleParam(2, 33.0);
    EXPECT_EQ(Peer::Live(e, 2), 33.0f);
    EXPECT_EQ(e.EmissionRate(), 33.0);
    EXPECT_EQ(e.StyleParam(2), 33.0f);
    EXPECT_EQ(Peer::Live(e, 2), CDrawWnd::kUnsetLiveParam);
    // Slots outside the six and values that are not numbers change nothing.
    e.SetLiveStyleParam(6, 50.0);
    e.SetLiveStyleParam(-1, 50.0);
    e.SetLiveStyleParam(2, kNaN);
    EXPECT_EQ(e.EmissionRate(), 33.0);
}

TEST(AudioSetters, AParameterThatSizesTheGroupsMarksTheParametersChanged) {
    const struct {
        int style;
        int slot;
        bool marks;
    } cases[] = {
        {kStyleSidewaysSpray, 1, true},     // "New Dots/Group"
        {kStyleSidewaysSpray, 2, false},    // "Flow Rate"
        {kStyleCircle, 1, true},            // "Strobe Period"
        {kStyleSpinningSprayer, 2, false},  // "Spinning Rate"
        {kStyleSpinningSprayer, 3, false},  // "Spray Spread"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << " slot " << c.slot);
        SeededEngine eng;
        CDrawWnd& e = *eng;
        e.SetCanvasSize(320, 240);
        e.SetDotCount(400, false);
        ASSERT_TRUE(e.StartPattern(0.1, kMotionLinear, c.style, 4, false));
        Peer::ClearStyleParamsChanged(e);
        const float before = e.StyleParam(c.slot);
        e.SetStyleParamValue(c.slot, before);  // the same value: nothing to do
        EXPECT_FALSE(Peer::StyleParamsChanged(e));
        e.SetStyleParamValue(c.slot, before + 3.0);
        EXPECT_EQ(e.StyleParam(c.slot), before + 3.0f);
        EXPECT_EQ(Peer::StyleParamsChanged(e), c.marks);
        e.SetStyleParamValue(c.slot, kNaN);
        e.SetStyleParamValue(7, 1.0);
        EXPECT_EQ(e.StyleParam(c.slot), before + 3.0f);
    }
}

// "Recursive" motion with a spraying style, every mover following a known dot: mover 1 the
// dot in the middle of the next emission run, the others dots far from it.
struct RecursiveEmitter {
    RecursiveEmitter() {
        e.SetCanvasSize(320, 240);
        e.SetDotCount(400, false);
        started = e.StartPattern(0.1, kMotionRecursive, kStyleSidewaysSpray, 4, false);
        for (int k = 0; k < 4; ++k) Peer::MoverDot(e)[k] = 300 + k;
        Peer::MoverDot(e)[1] = kInRun;
    }
    // Runs the emission stage until one run has been emitted; returns its first dot.
    int EmitOneRun() {
        for (int frame = 0; frame < 100; ++frame) {
            const int first = Peer::EmitCursor(e);
            Peer::EmitDots(e);
            if (Peer::EmitCursor(e) != first) return first;
        }
        ADD_FAILURE() << "nothing was emitted";
        return -1;
    }
    int MoverDot(int k) const { return Peer::MoverDot(e, k); }

    static constexpr int kInRun = 5;
    SeededEngine eng;
    CDrawWnd& e = *eng;
    bool started = false;
};

TEST(RecursiveBeat, WithoutABeatOrWithoutAudioTheMoversOfNewDotsLetGo) {
    const struct {
        bool audio;
        bool beat;
    } cases[] = {{false, false}, {false, true}, {true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "audio " << c.audio << " beat " << c.beat);
        RecursiveEmitter r;
        ASSERT_TRUE(r.started);
        r.e.SetAudioDriveAttached(c.audio);
        if (c.beat) r.e.FlagAttachBeat();
        ASSERT_EQ(r.EmitOneRun(), 0);
        EXPECT_EQ(r.MoverDot(1), -RecursiveEmitter::kInRun);
        EXPECT_EQ(r.MoverDot(0), 300);
        // Without audio the beat is left for a drive that may come.
        EXPECT_EQ(r.e.AttachBeatPending(), c.beat);
    }
}

TEST(RecursiveBeat, ABeatSendsTheNextMoverInTurnToTheFirstNewDot) {
    RecursiveEmitter r;
    ASSERT_TRUE(r.started);
    CDrawWnd& e = r.e;
    const auto EmitOneRun = [&r] { return r.EmitOneRun(); };
    const auto MoverDot = [&r](int k) { return r.MoverDot(k); };
    e.SetAudioDriveAttached(true);
    e.FlagAttachBeat();
    EXPECT_TRUE(e.AttachBeatPending());
    const int first = EmitOneRun();
    ASSERT_EQ(first, 0);
    EXPECT_FALSE(e.AttachBeatPending());
    EXPECT_EQ(MoverDot(0), first);
    EXPECT_EQ(MoverDot(1), RecursiveEmitter::kInRun);  // not let go: the beat took this run's place
    EXPECT_EQ(MoverDot(2), 302);

    // The next run without a beat lets its movers go again; the next beat takes mover 1.
    const int second = EmitOneRun();
    ASSERT_GT(second, first);
    e.FlagAttachBeat();
    const int third = EmitOneRun();
    EXPECT_EQ(MoverDot(1), third);
    EXPECT_EQ(MoverDot(0), first);

    // Movers are taken in turn and the turn wraps at the mover count.
    for (int k = 2; k < 5; ++k) {
        e.FlagAttachBeat();
        const int run = EmitOneRun();
        EXPECT_EQ(MoverDot(k % 4), run) << "beat " << k;
    }
}

}  // namespace
}  // namespace quovis
