// Where the dots are and how fast they move right after a pattern starts, style by style.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

// One engine, one style started on a canvas: the table values unless a test changes them.
struct Start {
    FixedClock clock{4321, 8765};
    CDrawWnd e{clock, OneWorker()};
    int style;
    int n;
    int W, H;

    Start(int style, int dots, int w = 1920, int h = 1080) : style(style), n(dots), W(w), H(h) {
        Peer::SetCanvas(e, w, h);
        Peer::SetDots(e, dots);
        Peer::SetStyle(e, style);
        int32_t count = 0;
        float v[6];
        GetStyleParams(style, count, v);
        Peer::SetParams(e, count, v);
    }
    Start& Set(int j, float v) {
        Peer::SetParam(e, j, v);
        return *this;
    }
    // Derived values, then the placement, as a pattern start runs them.
    Start& Place(double seed = 0.1234) {
        e.ApplyStyleParams();
        EXPECT_TRUE(Peer::Place(e, seed));
        return *this;
    }
    float x(int i) { return Peer::X(e)[i]; }
    float y(int i) { return Peer::Y(e)[i]; }
    float vx(int i) { return Peer::VX(e)[i]; }
    float vy(int i) { return Peer::VY(e)[i]; }
    double speed(int i) { return std::hypot(vx(i), vy(i)); }
    bool parked(int i) { return IsParked(x(i)) && IsParked(y(i)); }
    bool black(int i) {
        return Peer::R(e)[i] == 0.0f && Peer::G(e)[i] == 0.0f && Peer::B(e)[i] == 0.0f;
    }
    int CountParked() {
        int c = 0;
        for (int i = 0; i < n; ++i) c += parked(i);
        return c;
    }
    double MaxSpeed() {
        double m = 0;
        for (int i = 0; i < n; ++i) m = std::max(m, speed(i));
        return m;
    }
    bool AllAtRest() {
        for (int i = 0; i < n; ++i) {
            if (vx(i) != 0.0f || vy(i) != 0.0f) return false;
        }
        return true;
    }
    bool AllBlack() {
        for (int i = 0; i < n; ++i) {
            if (!black(i)) return false;
        }
        return true;
    }
    std::string Trace() const {
        return "style " + std::to_string(style) + ", " + std::to_string(n) + " dots on " +
               std::to_string(W) + "x" + std::to_string(H) + ", clock 4321/8765";
    }
};

// Uniform cover: each quarter of the canvas holds about a quarter of the dots.
void ExpectUniform(Start& s) {
    int quarter[4] = {};
    for (int i = 0; i < s.n; ++i) {
        ASSERT_GE(s.x(i), 0.0f) << s.Trace() << " dot " << i;
        ASSERT_LE(s.x(i), s.W) << s.Trace() << " dot " << i;
        ASSERT_GE(s.y(i), 0.0f) << s.Trace() << " dot " << i;
        ASSERT_LE(s.y(i), s.H) << s.Trace() << " dot " << i;
        ++quarter[(s.x(i) >= s.W / 2) + 2 * (s.y(i) >= s.H / 2)];
    }
    for (int q = 0; q < 4; ++q) EXPECT_NEAR(quarter[q] / double(s.n), 0.25, 0.02) << s.Trace();
}

TEST(PlacementStart, ResetsWhatEveryStyleShares) {
    Start s(kStyleSidewaysSpray, 3000);
    Peer::SetDotCounts(s.e, 2000, 3000);  // room to grow: the whole ceiling is prepared
    Peer::SetDamp(s.e, 0.25f, 0.96f);
    Peer::SetEmitState(s.e, 77, 55, 3.0, 4.0);
    for (int i = 0; i < 3010; ++i) {
        Peer::Mobility(s.e)[i] = 0.5f;
        Peer::Spare1(s.e)[i] = 9.0f;
        Peer::Spare2(s.e)[i] = 9.0f;
    }
    s.Place();
    EXPECT_EQ(Peer::DampX(s.e), 0.96f);
    EXPECT_EQ(Peer::EmitCursor(s.e), 0);
    EXPECT_EQ(Peer::EmitCounter(s.e), 0);
    EXPECT_EQ(Peer::EmitPhase(s.e), 0.0);
    EXPECT_EQ(Peer::EmitPhase2(s.e), 0.0);
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(Peer::Mobility(s.e)[i], 1.0f) << i;
        ASSERT_EQ(Peer::Spare1(s.e)[i], 0.0f) << i;
        ASSERT_EQ(Peer::Spare2(s.e)[i], 0.0f) << i;
    }
    EXPECT_EQ(Peer::Mobility(s.e)[3000], 0.5f);  // past every count: untouched

    // The pattern angle and hue offset are drawn afresh at each start, within their ranges.
    std::set<float> offsets;
    for (int k = 0; k < 20; ++k) {
        s.Place(0.01 * k - 0.1);
        const float h = Peer::HueOffset(s.e);
        EXPECT_GE(h, -720.0f);
        EXPECT_LE(h, 720.0f);
        EXPECT_GE(Peer::PatternAngle(s.e), 0.0);
        EXPECT_LT(Peer::PatternAngle(s.e), 2.0 * std::numbers::pi);
        offsets.insert(h);
    }
    EXPECT_GT(offsets.size(), 15u);
}

TEST(PlacementStart, PhaseStylesStartSomewhereOnTheirCycle) {
    Start lis(kStyleLissajous, 100);
    const double period = 2.0 * std::numbers::pi * std::fabs(20 * 2.0 * std::numbers::pi * 10);
    double lo = 1e30, hi = 0;
    for (int k = 0; k < 200; ++k) {
        lis.Place(0.3);
        lo = std::min(lo, Peer::EmitPhase(lis.e));
        hi = std::max(hi, Peer::EmitPhase(lis.e));
        ASSERT_LT(Peer::EmitPhase(lis.e), period);
        ASSERT_EQ(Peer::EmitPhase2(lis.e), 0.0);
    }
    EXPECT_LT(lo, 0.1 * period);
    EXPECT_GT(hi, 0.9 * period);

    for (int style : {kStyleFleuret, kStyleFloaters}) {
        Start s(style, 100);
        s.Place();
        EXPECT_GT(Peer::EmitPhase(s.e), 0.0) << style;
        EXPECT_LT(Peer::EmitPhase(s.e), 6283185.31) << style;
    }
}

TEST(PlacementStart, EveryDotStartsAsANewDotAtPointMagnitude) {
    Start s(kStyleFullField, 5000);
    s.Set(0, 1100);
    Peer::SetPointMagnitude(s.e, 0.4);
    s.Place();
    for (int i = 0; i < 5000; ++i) {
        ASSERT_FLOAT_EQ(Peer::R(s.e)[i], 102.0f) << i;
        ASSERT_EQ(Peer::R(s.e)[i], Peer::B(s.e)[i]) << i;
    }
    s.Set(0, 1000).Place();
    EXPECT_TRUE(s.AllBlack());
}

TEST(Placement, TheBigBangStartsAtTheCentre) {
    Start s(kStyleBigBang, 20000);
    s.Place();
    EXPECT_EQ(s.CountParked(), 0);
    for (int i = 0; i < s.n; ++i) {
        ASSERT_LE(std::hypot(s.x(i) - 960.0, s.y(i) - 540.0), 2.0 + 1e-3) << s.Trace() << " " << i;
    }
    // Speeds up to half of explode power * 0.8, and the whole range used.
    EXPECT_LE(s.MaxSpeed(), 0.5 * 50 * 0.8 + 1e-3);
    EXPECT_GT(s.MaxSpeed(), 0.45 * 50 * 0.8);

    s.Set(2, 40).Place();  // flowing: every dot waits for its explosion
    EXPECT_EQ(s.CountParked(), s.n);
}

TEST(Placement, FullFieldAndOvercastCoverTheCanvasUniformlyAndBarelyMove) {
    for (int style : {kStyleFullField, kStyleOvercast}) {
        Start s(style, 40000);
        s.Place();
        ExpectUniform(s);
        EXPECT_LE(s.MaxSpeed(), 0.005 + 1e-6) << s.Trace();
        EXPECT_GT(s.MaxSpeed(), 0.004) << s.Trace();
    }
    Start overcast(kStyleOvercast, 10);
    overcast.Place();
    EXPECT_FLOAT_EQ(Peer::Gravity(overcast.e), -65.0f / 3000.0f);
}

TEST(Placement, GlobularStaysInsideTheCanvasAndConcentrates) {
    auto medianRadius = [](Start& s) {
        std::vector<double> r;
        for (int i = 0; i < s.n; ++i) {
            EXPECT_GT(s.x(i), 0.0f) << s.Trace();
            EXPECT_LT(s.x(i), s.W) << s.Trace();
            EXPECT_GT(s.y(i), 0.0f) << s.Trace();
            EXPECT_LT(s.y(i), s.H) << s.Trace();
            r.push_back(std::hypot(s.x(i) - s.W / 2.0, s.y(i) - s.H / 2.0));
        }
        std::nth_element(r.begin(), r.begin() + r.size() / 2, r.end());
        return r[r.size() / 2];
    };
    Start loose(kStyleGlobular, 20000);
    loose.Set(1, 20).Place();
    Start dense(kStyleGlobular, 20000);
    dense.Set(1, 800).Place();
    EXPECT_GT(medianRadius(loose), 3.0 * medianRadius(dense));

    // A canvas too small for the cloud: dots that cannot land inside start at the centre.
    Start tiny(kStyleGlobular, 2000, 4, 2);
    tiny.Set(1, 20).Place();
    for (int i = 0; i < tiny.n; ++i) {
        ASSERT_GE(tiny.x(i), 0.0f);
        ASSERT_LE(tiny.x(i), 4.0f);
        ASSERT_GE(tiny.y(i), 0.0f);
        ASSERT_LE(tiny.y(i), 2.0f);
    }
    Start none(kStyleGlobular, 100, 0, 0);
    none.Place();
    for (int i = 0; i < none.n; ++i) ASSERT_EQ(none.x(i), 0.0f);
}

TEST(Placement, RingsLeaveTheCentreAtOneSpeedPerRing) {
    Start s(kStyleRings, 7000);
    s.Set(3, 0).Place();  // no diffusion: each ring has exactly one speed
    int rings = 0;
    double previous = 0;
    for (int i = 0; i < s.n; ++i) {
        ASSERT_EQ(s.x(i), 960.0f);
        ASSERT_EQ(s.y(i), 540.0f);
        const double v = s.speed(i);
        ASSERT_GE(v, previous - 1e-4) << "dot " << i;  // later dots, outer rings
        if (v > previous + 0.1) ++rings;               // a step up to the next ring
        previous = v;
    }
    EXPECT_EQ(rings, 7);
    s.Set(5, 30).Place();
    EXPECT_EQ(s.CountParked(), s.n);
}

TEST(Placement, RibbonIsABandAcrossTheMiddle) {
    Start s(kStyleRibbon, 20000);
    s.Place();
    const double half = 20 * 0.005 * 1080 / 2;  // "Width" 20
    double lo = 1e9, hi = -1e9;
    for (int i = 0; i < s.n; ++i) {
        ASSERT_LE(std::fabs(s.y(i) - 540.0), half + 1e-3) << i;
        lo = std::min<double>(lo, s.x(i));
        hi = std::max<double>(hi, s.x(i));
    }
    EXPECT_LT(lo, 10.0);
    EXPECT_GT(hi, 1910.0);
    EXPECT_LE(s.MaxSpeed(), 5 * 0.002);
    EXPECT_EQ(Peer::GroupSize(s.e), 200);
}

TEST(Placement, PhaseStylesStartParkedAndStill) {
    for (int style : {kStyleLissajous, kStyleFleuret}) {
        Start s(style, 3000);
        s.Place();
        EXPECT_EQ(s.CountParked(), s.n) << style;
        EXPECT_TRUE(s.AllAtRest()) << style;
    }
    Start f(kStyleFloaters, 3000);
    f.Place();
    EXPECT_EQ(f.x(0), 960.0f);
    EXPECT_EQ(f.y(0), 540.0f);
    for (int i = 1; i < 16; ++i) {
        EXPECT_GE(f.x(i), 0.1f * 1920 - 1e-3) << i;
        EXPECT_LE(f.x(i), 0.9f * 1920 + 1e-3) << i;
        EXPECT_GE(f.y(i), 0.1f * 1080 - 1e-3) << i;
        EXPECT_LE(f.y(i), 0.9f * 1080 + 1e-3) << i;
    }
    EXPECT_EQ(f.CountParked(), f.n - 16);
    EXPECT_TRUE(f.AllAtRest());
    // More floaters than dots: all of them float.
    Start few(kStyleFloaters, 5);
    few.Set(1, 500).Place();
    EXPECT_EQ(few.CountParked(), 0);
}

TEST(Placement, OneHorizontalLineSitsAtHalfHeight) {
    for (int perfect = 0; perfect <= 2; ++perfect) {
        Start s(kStyleLinesHorizontal, 5000);
        s.Set(1, 1).Set(4, perfect).Place();
        for (int i = 0; i < s.n; ++i) ASSERT_EQ(s.y(i), 540.0f) << "perfect " << perfect;
        // Along the line within the line's width, centred on the canvas.
        const double a = 0.97843 * 1920;
        for (int i = 0; i < s.n; ++i) {
            ASSERT_GE(s.x(i), 960.0 - a / 2 - 1.0) << "perfect " << perfect << " dot " << i;
            ASSERT_LE(s.x(i), 960.0 + a / 2 + 1.0) << "perfect " << perfect << " dot " << i;
        }
        EXPECT_EQ(s.CountParked(), 0);
    }
}

TEST(Placement, HorizontalLinesAreEvenlySpaced) {
    Start s(kStyleLinesHorizontal, 7000);
    s.Set(4, 2).Place();
    std::set<float> ys;
    for (int i = 0; i < s.n; ++i) ys.insert(s.y(i));
    ASSERT_EQ(ys.size(), 7u);
    std::vector<float> v(ys.begin(), ys.end());
    for (size_t k = 2; k < v.size(); ++k) EXPECT_NEAR(v[k] - v[k - 1], v[1] - v[0], 1.0);
    EXPECT_NEAR((v.front() + v.back()) / 2, 540.0, 1.0);
    // "Perfect" 2 lays each line's dots out in order.
    for (int i = 7; i < s.n; ++i) ASSERT_GT(s.x(i), s.x(i - 7)) << i;
    // The launch is gentle: "Diffusion" 15 gives at most half of 0.03.
    EXPECT_LE(s.MaxSpeed(), 0.5 * 15 * 0.002 + 1e-6);
    EXPECT_GT(s.MaxSpeed(), 0.0);

    // Wrapping uses the full width.
    Start w(kStyleLinesHorizontal, 7000);
    Peer::SetWrapActive(w.e, 1);
    w.Set(4, 2).Place();
    float lo = 1e9f, hi = -1e9f;
    for (int i = 0; i < w.n; ++i) {
        lo = std::min(lo, w.x(i));
        hi = std::max(hi, w.x(i));
    }
    EXPECT_LT(lo, 1.0f);
    EXPECT_GT(hi, 1918.0f);

    s.Set(3, 50).Place();  // flowing lines come by emission
    EXPECT_EQ(s.CountParked(), s.n);
}

TEST(Placement, VerticalBarsAreCentredInTheirShareOfTheWidth) {
    Start s(kStyleLinesVertical, 6000);
    s.Place();
    std::set<float> xs;
    for (int i = 0; i < s.n; ++i) {
        xs.insert(s.x(i));
        ASSERT_LE(std::fabs(s.y(i) - 540.0), 0.842135 * 1080 / 2 + 1e-3);
    }
    ASSERT_EQ(xs.size(), 12u);
    int k = 0;
    for (float x : xs) EXPECT_NEAR(x, (k++ + 0.5) * 1920 / 12.0, 1e-3);
    EXPECT_LE(s.MaxSpeed(), 0.5 * 5 * 0.01 + 1e-6);
    EXPECT_EQ(Peer::GroupSize(s.e), 500);
    s.Set(3, 10).Place();
    EXPECT_EQ(s.CountParked(), s.n);
}

TEST(Placement, BallIsADiscOfItsRadius) {
    Start s(kStyleBall, 20000);
    s.Set(2, 0).Set(1, 500).Place();
    const double reach = 0.5 * 540;
    double far = 0;
    for (int i = 0; i < s.n; ++i) {
        const double r = std::hypot(s.x(i) - 960.0, s.y(i) - 540.0);
        ASSERT_LE(r, reach + 1e-2) << i;
        far = std::max(far, r);
    }
    EXPECT_GT(far, 0.98 * reach);
    EXPECT_LE(s.MaxSpeed(), 0.5 + 1e-6);
    Start flowing(kStyleBall, 1000);
    flowing.Place();
    EXPECT_EQ(flowing.CountParked(), flowing.n);
}

TEST(Placement, EventHorizonIsALineUnlessItFlows) {
    Start s(kStyleEventHorizon, 10000);
    s.Set(3, 0).Set(1, 100).Place();
    EXPECT_EQ(s.CountParked(), 0);
    for (int i = 0; i < s.n; ++i) {
        ASSERT_EQ(s.y(i), 540.0f);
        ASSERT_LE(std::fabs(s.x(i) - 960.0), 0.95 * 1920 / 2 + 1e-3);
    }
    EXPECT_LE(s.MaxSpeed(), 0.5 * 100 * 0.04958437 + 1e-4);
    Start flowing(kStyleEventHorizon, 1000);
    flowing.Place();
    EXPECT_EQ(flowing.CountParked(), flowing.n);
    EXPECT_TRUE(flowing.AllBlack());
    EXPECT_TRUE(flowing.AllAtRest());
}

TEST(Placement, AuroraRisesFromALineNearTheBottom) {
    Start s(kStyleAurora, 5000);
    s.Place();
    for (int i = 0; i < s.n; ++i) {
        ASSERT_EQ(s.y(i), 972.0f);
        ASSERT_LE(std::fabs(s.x(i) - 960.0), 0.95 * 1920 / 2 + 1e-3);
    }
    EXPECT_LE(s.MaxSpeed(), 0.5 * 0.04958437184843291 * 287 + 1e-4);
    EXPECT_FLOAT_EQ(Peer::Gravity(s.e), 51.0f / 3000.0f);
    EXPECT_FLOAT_EQ(Peer::ForceScaleX(s.e), 0.744f);
    EXPECT_EQ(Peer::FallDir(s.e), 1);
}

TEST(Placement, PhasingFillsTheCanvasWithItsFallDirection) {
    Start s(kStylePhasing, 40000);
    s.Set(2, 1).Place();
    ExpectUniform(s);
    EXPECT_LE(s.MaxSpeed(), 0.5 * 0.7347 + 1e-6);
    EXPECT_EQ(Peer::FallDir(s.e), 2);
}

TEST(Placement, EmittingStylesStartParkedBlackAndReady) {
    for (int style : {8, 10, 11, 15, 18, 21, 23, 24, 25, 26, 27, 28, 29}) {
        Start s(style, 4000);
        s.Place();
        EXPECT_EQ(s.CountParked(), s.n) << s.Trace();
        EXPECT_TRUE(s.AllBlack()) << s.Trace();
    }
    Start fountain(kStyleFountain, 100);
    fountain.Place();
    EXPECT_TRUE(fountain.AllAtRest());
    EXPECT_FLOAT_EQ(Peer::EmitSpeed(fountain.e), 2.2347f);
    Start twirls(kStyleTwirls, 100);
    twirls.Set(3, 400).Place();
    EXPECT_TRUE(twirls.AllAtRest());
    EXPECT_EQ(Peer::GroupSize(twirls.e), 50);
    EXPECT_NEAR(Peer::EmitSpeed(twirls.e), 15.5347 * std::pow(400.5 / 400, 0.6), 1e-3);
    // The sprays have a launch ready at up to half the spray speed.
    Start spray(kStyleSidewaysSpray, 4000);
    spray.Place();
    EXPECT_LE(spray.MaxSpeed(), 0.5 * 5.2347 + 1e-5);
    EXPECT_GT(spray.MaxSpeed(), 0.4 * 5.2347);
}

TEST(Placement, FromTheEtherFillsTheCanvasWithBlackDots) {
    Start s(kStyleFromTheEther, 40000);
    s.Set(0, 1100).Place();  // black whatever the start colour
    ExpectUniform(s);
    EXPECT_TRUE(s.AllBlack());
    EXPECT_LE(s.MaxSpeed(), 0.5 * 4.0 + 1e-5);
}

TEST(Placement, RegeneratingStartsAsBursts) {
    Start s(kStyleRegenerating, 1000);
    s.Place();
    EXPECT_EQ(Peer::GroupSize(s.e), 10);
    EXPECT_EQ(s.CountParked(), 0);
    for (int i = 0; i < s.n; ++i) {
        ASSERT_EQ(s.x(i), 960.0f);
        ASSERT_EQ(s.y(i), 540.0f);
    }

    // Random origins: each burst shares one point; bursts are spread over the canvas.
    Start spread(kStyleRegenerating, 1000);
    spread.Set(5, 8).Place();
    std::set<std::pair<float, float>> origins;
    for (int g = 0; g < 100; ++g) {
        for (int j = 1; j < 10; ++j) {
            ASSERT_EQ(spread.x(10 * g + j), spread.x(10 * g)) << "burst " << g;
            ASSERT_EQ(spread.y(10 * g + j), spread.y(10 * g)) << "burst " << g;
        }
        origins.insert({spread.x(10 * g), spread.y(10 * g)});
    }
    EXPECT_GT(origins.size(), 95u);

    // Negative energy: evenly spaced directions at one speed, so a burst's mean velocity is
    // its drift; with bit 1 every burst drifts equally fast.
    Start even(kStyleRegenerating, 1000);
    even.Set(3, -200).Set(5, 1).Place();
    double driftSpeed = -1;
    for (int g = 0; g < 100; ++g) {
        double mx = 0, my = 0;
        for (int j = 0; j < 10; ++j) {
            mx += even.vx(10 * g + j) / 10.0;
            my += even.vy(10 * g + j) / 10.0;
        }
        const double r0 = std::hypot(even.vx(10 * g) - mx, even.vy(10 * g) - my);
        for (int j = 1; j < 10; ++j) {
            const double r = std::hypot(even.vx(10 * g + j) - mx, even.vy(10 * g + j) - my);
            ASSERT_NEAR(r, r0, 1e-3) << "burst " << g << " dot " << j;
        }
        if (driftSpeed < 0) driftSpeed = std::hypot(mx, my);
        ASSERT_NEAR(std::hypot(mx, my), driftSpeed, 1e-3) << "burst " << g;
    }
    EXPECT_GT(driftSpeed, 0.0);
}

TEST(Placement, FlowRateZeroNeverParks) {
    for (int style : {kStyleBigBang, kStyleRings, kStyleRibbon, kStyleLinesHorizontal,
                      kStyleLinesVertical, kStyleBall, kStyleEventHorizon}) {
        Start s(style, 3000);
        s.Set(FindStyleParamByRole(style, kRoleFlowRate), 0).Place();
        EXPECT_FALSE(Peer::StartParked(s.e)) << s.Trace();
        EXPECT_EQ(s.CountParked(), 0) << s.Trace();
    }
}

// Every value of every dot placed is a finite number and every colour a channel value.
void ExpectSound(Start& s, const char* what) {
    const float* arrays[] = {
        Peer::X(s.e), Peer::Y(s.e), Peer::VX(s.e),       Peer::VY(s.e),     Peer::R(s.e),
        Peer::G(s.e), Peer::B(s.e), Peer::Mobility(s.e), Peer::Spare1(s.e), Peer::Spare2(s.e)};
    for (int a = 0; a < 10; ++a) {
        for (int i = 0; i < s.n; ++i) {
            ASSERT_TRUE(std::isfinite(arrays[a][i]))
                << s.Trace() << " " << what << " array " << a << " dot " << i;
        }
    }
    for (int i = 0; i < s.n; ++i) {
        ASSERT_GE(Peer::R(s.e)[i], 0.0f) << s.Trace() << " " << what << " dot " << i;
        ASSERT_LE(Peer::R(s.e)[i], 255.0f) << s.Trace() << " " << what << " dot " << i;
        if (!s.parked(i)) {
            ASSERT_FALSE(IsParked(s.x(i))) << s.Trace() << " " << what << " dot " << i;
        }
    }
    if (Peer::StartParked(s.e)) {
        EXPECT_GE(Peer::GroupSize(s.e), 1) << s.Trace() << " " << what;
    }
    EXPECT_TRUE(std::isfinite(Peer::EmitSpeed(s.e))) << s.Trace() << " " << what;
    EXPECT_TRUE(std::isfinite(Peer::Gravity(s.e))) << s.Trace() << " " << what;
    EXPECT_TRUE(std::isfinite(s.e.EmissionRate())) << s.Trace() << " " << what;
}

struct Canvas {
    int w, h, dots;
};

TEST(Placement, EveryStyleGivesFiniteValuesFromFullScreenToTinyCanvases) {
    for (Canvas c :
         {Canvas{1920, 1080, 144000}, Canvas{4, 2, 500}, Canvas{0, 0, 50}, Canvas{8, 2, 1}}) {
        for (int style = 0; style < StyleCount(); ++style) {
            const StyleInfo& info = *GetStyle(style);
            Start s(style, c.dots, c.w, c.h);
            s.Place(0.0);  // draw a seed
            ExpectSound(s, "table values");
            if (c.dots > 1000) continue;  // the extremes on the small canvases only
            for (int j = 1; j < info.paramCount; ++j) s.Set(j, info.params[j].min);
            s.Place(-0.5);
            ExpectSound(s, "all at minimum");
            for (int j = 1; j < info.paramCount; ++j) s.Set(j, info.params[j].max);
            s.Place(0.5);
            ExpectSound(s, "all at maximum");
        }
    }
}

TEST(Placement, TheExtremesOnAFullScreen) {
    for (int style = 0; style < StyleCount(); ++style) {
        const StyleInfo& info = *GetStyle(style);
        Start s(style, 20000);
        for (int j = 1; j < info.paramCount; ++j) s.Set(j, info.params[j].min);
        s.Place(-0.49);
        ExpectSound(s, "all at minimum");
        for (int j = 1; j < info.paramCount; ++j) s.Set(j, info.params[j].max);
        s.Place(0.49);
        ExpectSound(s, "all at maximum");
    }
}

TEST(Placement, TheSameSeedAndClockGiveTheSamePattern) {
    for (int style : {kStyleBigBang, kStyleGlobular, kStyleRegenerating, kStyleLinesHorizontal}) {
        Start a(style, 2000);
        Start b(style, 2000);
        a.Place(0.2);
        b.Place(0.2);
        for (int i = 0; i < 2000; ++i) {
            ASSERT_EQ(a.x(i), b.x(i)) << a.Trace() << " dot " << i;
            ASSERT_EQ(a.vy(i), b.vy(i)) << a.Trace() << " dot " << i;
        }
        Start c(style, 2000);
        c.Place(-0.2);
        int same = 0;
        for (int i = 0; i < 2000; ++i) same += a.vx(i) == c.vx(i);
        EXPECT_LT(same, 100) << a.Trace();
    }
}

TEST(Placement, AStartedPatternDerivesItsValuesBeforePlacing) {
    FixedClock clock(5, 6);
    CDrawWnd e(clock, OneWorker());
    Peer::SetCanvas(e, 640, 480);
    Peer::SetDots(e, 2000);
    float params[6] = {1100, 1, 15, 0, 0, 0};  // one horizontal line, no flow
    Peer::SetParams(e, 5, params);
    ASSERT_TRUE(e.StartPattern(0.25, 0, kStyleLinesHorizontal, 4, false));
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(Peer::Y(e)[i], 240.0f) << i;
    EXPECT_EQ(Peer::GroupSize(e), 2000);

    // Switching to a flowing style parks its dots through the same path.
    float spray[6] = {1100, 20, 70, 0, 0, 0};
    Peer::SetParams(e, 3, spray);
    ASSERT_TRUE(e.StartPattern(0.25, 0, kStyleSidewaysSpray, 4, false));
    EXPECT_TRUE(Peer::StartParked(e));
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(Peer::X(e)[i], kParked) << i;
}

TEST(Placement, RefusesWithoutAStyle) {
    FixedClock clock(5, 6);
    CDrawWnd e(clock, OneWorker());
    Peer::SetDots(e, 10);
    EXPECT_FALSE(Peer::Place(e, 0.1));  // no pattern yet
    Peer::SetStyle(e, 30);
    EXPECT_FALSE(Peer::Place(e, 0.1));
}

}  // namespace
}  // namespace quovis
