// The dot kernel: walls, wrapping, Moebius, round confinement, parked dots, statistics, and
// that any cut into bands (and any thread) gives the same dots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/worker_pool.h"
#include "engine/draw_wnd.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

struct Engine : test::SeededEngine {
    Engine() : SeededEngine(500, 900) {}
};

// A set-up in which the field does nothing and nothing is damped: only walls, wrapping and
// gravity change a dot's velocity.
void StillField(CDrawWnd& e) {
    for (int k = 0; k < CDrawWnd::kMaxMovers; ++k) Peer::FlowX(e)[k] = Peer::FlowY(e)[k] = 0.0f;
    Peer::SetViscosity(e, 1e12);
    ASSERT_TRUE(e.ResetMovers(0.0, false));
    for (int k = 0; k < CDrawWnd::kMaxMovers; ++k) Peer::FlowX(e)[k] = Peer::FlowY(e)[k] = 0.0f;
    ASSERT_EQ(Peer::DampX(e), 1.0f);
}

void PlaceDot(CDrawWnd& e, int i, float x, float y, float vx, float vy) {
    Peer::X(e)[i] = x;
    Peer::Y(e)[i] = y;
    Peer::VX(e)[i] = vx;
    Peer::VY(e)[i] = vy;
    Peer::Mobility(e)[i] = 1.0f;
}

// One kernel pass (no mover update), single band.
void Pass(CDrawWnd& e) {
    std::vector<DotBand> bands;
    Peer::PrepareMotionFrame(e);
    Peer::Kernel(e, 1, bands);
}

TEST(DotWalls, PushBackBeyondTheMarginAndHardlyAtAllInTheMiddle) {
    Engine eng;
    MotionSetup s;
    s.dots = 3;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    StillField(*eng);
    const float w = static_cast<float>(s.width);
    const float mx = Peer::MarginX(*eng);
    ASSERT_GT(mx, 0.0f);
    PlaceDot(*eng, 0, -mx - 10.0f, 200.0f, 0.0f, 0.0f);     // beyond the left wall
    PlaceDot(*eng, 1, w + mx + 10.0f, 200.0f, 0.0f, 0.0f);  // beyond the right wall
    PlaceDot(*eng, 2, w / 2.0f, 200.0f, 0.0f, 0.0f);        // in the middle
    Pass(*eng);
    EXPECT_NEAR(Peer::VX(*eng)[0], 1.0f, 1e-3f);
    EXPECT_NEAR(Peer::VX(*eng)[1], -1.0f, 1e-3f);
    EXPECT_LT(std::fabs(Peer::VX(*eng)[2]), 1e-3f);
}

TEST(DotWalls, KeepAFieldOfDotsOnTheCanvasOverALongRun) {
    Engine eng;
    MotionSetup s;
    s.dots = 3000;
    s.activity = 3.0;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.3));
    Peer::ScatterDots(*eng, 5);
    std::vector<DotBand> bands;
    const float w = static_cast<float>(s.width);
    const float h = static_cast<float>(s.height);
    const float mx = Peer::MarginX(*eng);
    const float my = Peer::MarginY(*eng);
    int outside = 0;
    for (int frame = 0; frame < 600; ++frame) {
        Peer::Frame(*eng, 2, bands);
        for (int i = 0; i < s.dots; ++i) {
            const float x = Peer::X(*eng)[i];
            const float y = Peer::Y(*eng)[i];
            ASSERT_TRUE(std::isfinite(x) && std::isfinite(y)) << "frame " << frame << " dot " << i;
            outside += x < -mx || x > w + mx || y < -my || y > h + my;
        }
    }
    // The walls are soft, so a fast dot may overshoot a little for a frame or two.
    EXPECT_LT(outside, s.dots * 600 / 1000) << "dot-frames beyond the walls";
}

TEST(DotWrapping, ADotLeavingAtTheEdgeReentersOnePeriodBack) {
    Engine eng;
    MotionSetup s;
    s.dots = 3;
    s.wrapFlags = 1;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    StillField(*eng);
    const float w = static_cast<float>(s.width);
    const float h = static_cast<float>(s.height);
    PlaceDot(*eng, 0, w - 0.5f, 100.0f, 0.5f, 0.0f);  // x' = W: re-enters at 1
    PlaceDot(*eng, 1, 0.25f, 100.0f, -0.5f, 0.0f);    // x' = -0.25: to W - 1.25
    PlaceDot(*eng, 2, 300.0f, h - 1.0f, 0.0f, 1.0f);  // y' = H: re-enters at 1
    Pass(*eng);
    EXPECT_FLOAT_EQ(Peer::X(*eng)[0], 1.0f);
    EXPECT_FLOAT_EQ(Peer::X(*eng)[1], w - 1.25f);
    EXPECT_FLOAT_EQ(Peer::Y(*eng)[2], 1.0f);
    // Wrapping has no walls: the velocities are untouched.
    EXPECT_FLOAT_EQ(Peer::VX(*eng)[0], 0.5f);
    EXPECT_FLOAT_EQ(Peer::VY(*eng)[2], 1.0f);
}

TEST(DotWrapping, MoebiusMirrorsTheOtherAxisAndReversesItsVelocity) {
    Engine eng;
    MotionSetup s;
    s.dots = 2;
    s.wrapFlags = 4;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    StillField(*eng);
    const float w = static_cast<float>(s.width);
    const float h = static_cast<float>(s.height);
    PlaceDot(*eng, 0, w - 0.5f, 100.0f, 0.5f, 0.75f);
    PlaceDot(*eng, 1, 200.0f, 0.5f, -0.3f, -1.0f);
    Pass(*eng);
    EXPECT_FLOAT_EQ(Peer::X(*eng)[0], 1.0f);
    EXPECT_FLOAT_EQ(Peer::Y(*eng)[0], h - 100.75f);
    EXPECT_FLOAT_EQ(Peer::VY(*eng)[0], -0.75f);
    EXPECT_FLOAT_EQ(Peer::VX(*eng)[0], 0.5f);
    EXPECT_FLOAT_EQ(Peer::Y(*eng)[1], -0.5f + (h - 1.0f));
    EXPECT_FLOAT_EQ(Peer::X(*eng)[1], w - 199.7f);
    EXPECT_FLOAT_EQ(Peer::VX(*eng)[1], 0.3f);
}

TEST(DotWrapping, FallsKeepsWallsOnYWhileXWraps) {
    Engine eng;
    MotionSetup s;
    s.dots = 1;
    s.wrapFlags = 1;
    s.style = 24;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    StillField(*eng);
    const float h = static_cast<float>(s.height);
    const float my = Peer::MarginY(*eng);
    PlaceDot(*eng, 0, -0.5f, h + my + 20.0f, 0.0f, 0.0f);
    Pass(*eng);
    EXPECT_GT(Peer::X(*eng)[0], 600.0f);           // wrapped
    EXPECT_GT(Peer::Y(*eng)[0], h);                // not wrapped
    EXPECT_NEAR(Peer::VY(*eng)[0], -1.0f, 1e-3f);  // pushed back up
}

TEST(DotWrapping, FourImagesLetAMoverPushAcrossTheEdge) {
    // One mover just inside the right edge, flowing right; a dot just inside the left edge.
    // With the images of wrapping the mover is 10 px away from the dot; without, the width.
    const auto pushOnDot = [](int wrapFlags, float moverY, float dotY) {
        Engine eng;
        MotionSetup s;
        s.dots = 1;
        s.movers = 1;
        s.wrapFlags = wrapFlags;
        EXPECT_TRUE(Peer::Start(*eng, s, 0.0));
        StillField(*eng);
        Peer::MoverX(*eng)[0] = static_cast<float>(s.width) - 5.0f;
        Peer::MoverY(*eng)[0] = moverY;
        Peer::FlowX(*eng)[0] = 1.0f;
        Peer::Strength(*eng)[0] = 20.0f;
        PlaceDot(*eng, 0, 5.0f, dotY, 0.0f, 0.0f);
        Pass(*eng);
        return Peer::VX(*eng)[0];
    };
    const float none = pushOnDot(0, 240.0f, 240.0f);
    const float images = pushOnDot(2, 240.0f, 240.0f);
    EXPECT_GT(images, 0.1f);
    EXPECT_GT(images, 100.0f * std::fabs(none));
    // Moebius: the copy across the vertical edge is mirrored top to bottom, so it is the dot
    // at the mirrored height that feels it.
    const float mirrored = pushOnDot(6, 120.0f, 360.0f);
    const float unmirrored = pushOnDot(2, 120.0f, 360.0f);
    EXPECT_GT(mirrored, 0.1f);
    EXPECT_GT(mirrored, 20.0f * std::fabs(unmirrored));
}

TEST(RoundConfinement, PullsDotsTowardsTheCircleAndLeavesTheCentreAlone) {
    Engine eng;
    MotionSetup s;
    s.dots = 2;
    s.roundConfine = true;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    StillField(*eng);
    const float cx = s.width / 2.0f;
    const float cy = s.height / 2.0f;
    const float r = Peer::ConfineR(*eng);
    ASSERT_NEAR(r * r, Peer::ConfineR2(*eng), r * r * 1e-5f);
    PlaceDot(*eng, 0, cx + 0.6f * 2.0f * r, cy + 0.8f * 2.0f * r, 0.0f, 0.0f);  // outside
    PlaceDot(*eng, 1, cx + 3.0f, cy - 4.0f, 0.0f, 0.0f);  // within 10 px of the centre
    Pass(*eng);
    // The push points at the centre.
    EXPECT_LT(Peer::VX(*eng)[0], 0.0f);
    EXPECT_LT(Peer::VY(*eng)[0], 0.0f);
    EXPECT_NEAR(Peer::VX(*eng)[0] / Peer::VY(*eng)[0], 0.75f, 1e-3f);
    EXPECT_EQ(Peer::VX(*eng)[1], 0.0f);
    EXPECT_EQ(Peer::VY(*eng)[1], 0.0f);
}

TEST(RoundConfinement, KeepsAMovingFieldInsideTheCircle) {
    Engine eng;
    MotionSetup s;
    s.dots = 2000;
    s.roundConfine = true;
    s.confineExp = 0.3;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.1));
    Peer::ScatterDots(*eng, 3);
    std::vector<DotBand> bands;
    const float cx = s.width / 2.0f;
    const float cy = s.height / 2.0f;
    const float r = Peer::ConfineR(*eng);
    float worst = 0.0f;
    for (int frame = 0; frame < 400; ++frame) {
        Peer::Frame(*eng, 1, bands);
        if (frame < 100) continue;  // let the scattered corners come in
        for (int i = 0; i < s.dots; ++i) {
            worst = std::max(worst, std::hypot(Peer::X(*eng)[i] - cx, Peer::Y(*eng)[i] - cy));
        }
    }
    EXPECT_LT(worst, 1.1f * r);
}

TEST(ParkedDots, AreSkippedEntirelyAndKeepTheirColour) {
    Engine eng;
    MotionSetup s;
    s.dots = 50;
    s.gravity = 0.5f;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::ScatterDots(*eng, 9);
    for (int i : {5, 6}) {
        Peer::X(*eng)[i] = i == 5 ? kParked : kParkedLimit;
        Peer::Y(*eng)[i] = 123.0f;
        Peer::VX(*eng)[i] = 7.0f;
        Peer::VY(*eng)[i] = 8.0f;
        Peer::R(*eng)[i] = 10.0f;
        Peer::G(*eng)[i] = 20.0f;
        Peer::B(*eng)[i] = 30.0f;
    }
    std::vector<DotBand> bands;
    Peer::Frame(*eng, 3, bands);
    for (int i : {5, 6}) {
        EXPECT_EQ(Peer::Y(*eng)[i], 123.0f);
        EXPECT_EQ(Peer::VX(*eng)[i], 7.0f);
        EXPECT_EQ(Peer::VY(*eng)[i], 8.0f);  // no gravity
        EXPECT_EQ(Peer::R(*eng)[i], 10.0f);
        EXPECT_EQ(Peer::G(*eng)[i], 20.0f);
        EXPECT_EQ(Peer::B(*eng)[i], 30.0f);
    }
    int count = 0;
    for (const DotBand& b : bands) count += b.Count;
    EXPECT_EQ(count, s.dots - 2);
}

TEST(BandStatistics, SumTheNewPositionsAndTheTravelToDotZero) {
    Engine eng;
    MotionSetup s;
    s.dots = 500;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::ScatterDots(*eng, 21);
    Peer::X(*eng)[17] = kParked;
    const float x0 = Peer::X(*eng)[0];
    const float y0 = Peer::Y(*eng)[0];
    std::vector<DotBand> bands;
    Peer::Frame(*eng, 4, bands);
    double sumX = 0, sumY = 0, travel = 0;
    for (int i = 0; i < s.dots; ++i) {
        if (i == 17) continue;
        sumX += Peer::X(*eng)[i];
        sumY += Peer::Y(*eng)[i];
        travel += std::fabs(Peer::X(*eng)[i] - x0) + std::fabs(Peer::Y(*eng)[i] - y0);
    }
    double gotX = 0, gotY = 0, gotTravel = 0;
    int count = 0;
    for (const DotBand& b : bands) {
        gotX += b.SumX;
        gotY += b.SumY;
        gotTravel += b.Travel;
        count += b.Count;
    }
    EXPECT_EQ(count, s.dots - 1);
    EXPECT_NEAR(gotX, sumX, 1e-3 * std::fabs(sumX) / 1000.0);
    EXPECT_NEAR(gotY, sumY, 1e-3 * std::fabs(sumY) / 1000.0);
    EXPECT_NEAR(gotTravel, travel, 1e-6 * travel);
}

TEST(DotKernel, GravityMobilityAndTheFallDirection) {
    Engine eng;
    MotionSetup s;
    s.dots = 3;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    StillField(*eng);
    Peer::SetGravity(*eng, 0.25f);
    Peer::SetFallDir(*eng, 2);  // downward: falling dots fade
    PlaceDot(*eng, 0, 300.0f, 200.0f, 0.0f, 1.0f);
    PlaceDot(*eng, 1, 300.0f, 200.0f, 0.0f, 1.0f);
    Peer::Mobility(*eng)[1] = 0.0f;                  // a dot that may not move on
    PlaceDot(*eng, 2, 300.0f, 200.0f, 0.0f, -3.0f);  // rising
    for (int i = 0; i < 3; ++i) Peer::R(*eng)[i] = Peer::G(*eng)[i] = Peer::B(*eng)[i] = 200.0f;
    Pass(*eng);
    EXPECT_NEAR(Peer::VY(*eng)[0], 1.25f, 1e-4f);
    EXPECT_FLOAT_EQ(Peer::Y(*eng)[0], 201.0f);
    EXPECT_NEAR(Peer::VY(*eng)[1], 0.0f, 1e-5f);  // only the walls' faint push is left
    EXPECT_FLOAT_EQ(Peer::R(*eng)[0], 200.0f * 0.951f);
    EXPECT_FLOAT_EQ(Peer::G(*eng)[0], 200.0f * 0.9472354f);
    EXPECT_FLOAT_EQ(Peer::B(*eng)[0], 200.0f * 0.9552f);
    // The rising dot is tinted and decays the ordinary way instead.
    EXPECT_NE(Peer::G(*eng)[2], 200.0f * 0.9472354f);
}

TEST(DotKernel, FieldColourPaintsDotsNearAMoverInItsColour) {
    Engine eng;
    MotionSetup s;
    s.width = 1600;
    s.height = 1200;
    s.dots = 2;
    s.movers = 1;
    s.fieldColour = true;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    StillField(*eng);
    Peer::MoverX(*eng)[0] = 200.0f;
    Peer::MoverY(*eng)[0] = 200.0f;
    Peer::MoverHue(*eng)[0] = 0.0f;  // red: (1, 0.5, 0.5)
    Peer::UpdateMovers(*eng);        // recomputes the mover colour (and turns the hue a little)
    Peer::MoverX(*eng)[0] = 200.0f;
    Peer::MoverY(*eng)[0] = 200.0f;
    PlaceDot(*eng, 0, 201.0f, 200.0f, 0.0f, 0.0f);
    PlaceDot(*eng, 1, 1500.0f, 1100.0f, 0.0f, 0.0f);
    for (int i = 0; i < 2; ++i) Peer::R(*eng)[i] = Peer::G(*eng)[i] = Peer::B(*eng)[i] = 0.0f;
    Pass(*eng);
    EXPECT_GT(Peer::R(*eng)[0], 0.5f);
    EXPECT_GT(Peer::R(*eng)[0], 1.5f * Peer::G(*eng)[0]);
    EXPECT_LT(Peer::R(*eng)[1], 0.01f * Peer::R(*eng)[0]);  // far away: hardly any
}

TEST(DotKernel, NoCanvasSizeMovesNothing) {
    Engine eng;
    MotionSetup s;
    s.dots = 10;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::ScatterDots(*eng, 1);
    const float x3 = Peer::X(*eng)[3];
    (*eng).StopPattern();
    MotionSetup none = s;
    none.width = 0;
    none.height = 0;
    ASSERT_TRUE(Peer::Start(*eng, none, 0.0));
    std::vector<DotBand> bands;
    Peer::Frame(*eng, 1, bands);
    EXPECT_EQ(Peer::X(*eng)[3], x3);
    EXPECT_EQ(bands[0].Count, 0);
}

// ---- Bands and threads agree ----------------------------------------------------------------

struct Snapshot {
    std::vector<float> arrays[7];
    explicit Snapshot(CDrawWnd& e) {
        float* src[7] = {Peer::X(e), Peer::Y(e), Peer::VX(e), Peer::VY(e),
                         Peer::R(e), Peer::G(e), Peer::B(e)};
        for (int a = 0; a < 7; ++a) arrays[a].assign(src[a], src[a] + Peer::Dots(e));
    }
};

void ExpectSameDots(const Snapshot& a, const Snapshot& b, const char* what, int frame) {
    for (int k = 0; k < 7; ++k) {
        ASSERT_EQ(a.arrays[k].size(), b.arrays[k].size());
        const int diff =
            std::memcmp(a.arrays[k].data(), b.arrays[k].data(), a.arrays[k].size() * sizeof(float));
        ASSERT_EQ(diff, 0) << what << ": array " << k << " differs at frame " << frame;
    }
}

TEST(DotBands, AnyCutIntoBandsGivesTheSameDotsBitForBit) {
    for (int wrap : {0, 6}) {
        MotionSetup s;
        s.dots = 5003;
        s.movers = 13;
        s.motion = 2;
        s.wrapFlags = wrap;
        s.fieldColour = wrap != 0;
        Engine one, seven;
        ASSERT_TRUE(Peer::Start(*one, s, 0.25));
        ASSERT_TRUE(Peer::Start(*seven, s, 0.25));
        Peer::ScatterDots(*one, 77);
        Peer::ScatterDots(*seven, 77);
        std::vector<DotBand> b1, b7;
        for (int frame = 0; frame < 40; ++frame) {
            Peer::Frame(*one, 1, b1);
            Peer::Frame(*seven, 7, b7);
            ExpectSameDots(Snapshot(*one), Snapshot(*seven), wrap ? "wrap" : "walls", frame);
        }
        int c1 = b1[0].Count, c7 = 0;
        for (const DotBand& b : b7) c7 += b.Count;
        EXPECT_EQ(c1, c7);
    }
}

struct PoolJob {
    CDrawWnd* engine;
};

TEST(DotBands, WorkerThreadsGiveTheSameDotsAsOneThread) {
    MotionSetup s;
    s.dots = 20000;
    s.movers = 32;
    s.wrapFlags = 2;
    s.extraTwist = true;
    Engine serial, parallel;
    ASSERT_TRUE(Peer::Start(*serial, s, -0.2));
    ASSERT_TRUE(Peer::Start(*parallel, s, -0.2));
    Peer::ScatterDots(*serial, 4);
    Peer::ScatterDots(*parallel, 4);

    WorkerPool pool;
    pool.SetWorkerCount(4);
    ASSERT_TRUE(pool.Start());
    std::vector<DotBand> bands(4);
    std::vector<DotBand> serialBands;
    for (int frame = 0; frame < 20; ++frame) {
        Peer::Frame(*serial, 1, serialBands);
        Peer::UpdateMovers(*parallel);
        Peer::PrepareMotionFrame(*parallel);
        for (int b = 0; b < 4; ++b) {
            bands[b] = DotBand{};
            bands[b].First = s.dots * b / 4;
            bands[b].Last = s.dots * (b + 1) / 4 - 1;
            bands[b].Next = bands[b].First;
        }
        pool.RunOnAll(
            +[](CDrawWnd* e, DotBand* band) { Peer::MoveAndPlotBand(*e, *band); }, &*parallel, 4,
            bands.data());
        ExpectSameDots(Snapshot(*serial), Snapshot(*parallel), "pool", frame);
    }
    pool.Stop();
}

// ---- Long runs ------------------------------------------------------------------------------

// Every motion and variant, walls, wrapping with four images and Moebius, both falloffs, field
// colour: no NaN, no infinity, colours in range; with wrapping every dot on the canvas; with
// walls few dots beyond them and none far beyond. The walls are soft (a push of one pixel per
// frame per frame beyond them), so at high activity and low viscosity fast dots overshoot by a
// few hundred pixels before they turn (the wildest run here, "Organic" with "Directional" at
// activity 4.1 and viscosity 20, has about 5 % of its dots beyond a wall at any time and the
// farthest 850 px out); a runaway dot would keep going. QUOVIS_LONG_TESTS=1
// runs the full size (1920 x 1080, 144000 dots, 2000 frames each) and prints the worst
// overshoot of each run; it wants an optimised build. The default is smaller.
TEST(DotKernelLongRun, EveryMotionAndVariantStaysFiniteAndInside) {
    const bool full = std::getenv("QUOVIS_LONG_TESTS") != nullptr;
    const int dots = full ? 144000 : 1000;
    const int frames = full ? 2000 : 200;
    const int wraps[] = {0, 1, 6};
    for (int motion = 0; motion < 6; ++motion) {
        for (int variant = 0; variant < 5; ++variant) {
            const int wrap = wraps[(motion + variant) % 3];
            Engine eng;
            MotionSetup s;
            s.width = 1920;
            s.height = 1080;
            s.dots = dots;
            s.movers = 32;
            s.motion = motion;
            s.variant = variant;
            s.activity = 0.5 + 0.9 * variant;
            s.pace = 0.5 + 0.25 * motion;
            s.viscosity = variant % 2 ? 20.0 : 350.0;
            s.wrapFlags = wrap;
            s.extraTwist = (motion + variant) % 2 == 1;
            s.fieldColour = variant == 3;
            s.roundConfine = wrap == 0 && motion == 4;
            ASSERT_TRUE(Peer::Start(*eng, s, 0.01 * (motion * 5 + variant)));
            Peer::ScatterDots(*eng, static_cast<uint32_t>(motion * 5 + variant));
            const float w = static_cast<float>(s.width);
            const float h = static_cast<float>(s.height);
            const float mx = Peer::MarginX(*eng);
            const float my = Peer::MarginY(*eng);
            double worst = 0.0;  // farthest any dot got beyond a wall
            long beyond = 0;     // dot checks beyond a wall
            long checks = 0;
            std::vector<DotBand> bands;
            for (int frame = 0; frame < frames; ++frame) {
                Peer::Frame(*eng, 3, bands);
                if (frame % 50 != 49) continue;
                for (int i = 0; i < dots; ++i) {
                    const float x = Peer::X(*eng)[i];
                    const float y = Peer::Y(*eng)[i];
                    const float c[3] = {Peer::R(*eng)[i], Peer::G(*eng)[i], Peer::B(*eng)[i]};
                    const bool finite = std::isfinite(x) && std::isfinite(y) &&
                                        std::isfinite(Peer::VX(*eng)[i]) &&
                                        std::isfinite(Peer::VY(*eng)[i]);
                    ASSERT_TRUE(finite) << "motion " << motion << " variant " << variant
                                        << " frame " << frame << " dot " << i;
                    for (float ch : c) {
                        ASSERT_TRUE(ch >= -100.0f && ch <= 255.0f)
                            << "motion " << motion << " variant " << variant << " dot " << i;
                    }
                    if (wrap != 0) {
                        ASSERT_TRUE(x >= 0.0f && x <= w && y >= 0.0f && y <= h)
                            << "motion " << motion << " variant " << variant << " frame " << frame
                            << " dot " << i << " at " << x << ", " << y;
                        continue;
                    }
                    const double out = std::max(
                        {0.0, -mx - static_cast<double>(x), static_cast<double>(x) - w - mx,
                         -my - static_cast<double>(y), static_cast<double>(y) - h - my});
                    worst = std::max(worst, out);
                    beyond += out > 0.0;
                    ++checks;
                }
            }
            if (wrap != 0) continue;
            EXPECT_LT(worst, h) << "motion " << motion << " variant " << variant;
            EXPECT_LT(beyond, checks / 10) << "motion " << motion << " variant " << variant;
            if (full) {
                std::printf("motion %d variant %d: worst overshoot %.1f px, %.3f %% beyond\n",
                            motion, variant, worst, 100.0 * beyond / std::max(checks, 1L));
            }
        }
    }
}

// With several workers each band collects its plots and every worker draws its own stripe
// of rows, band by band; one worker drawing "Points" with the vector kernel collects them
// too, into one stripe. Against one worker plotting at once: the same dots, and the same
// canvas to the last bit. In one round the order of the plots is the dots' order, so even
// saturated pixels agree; over several rounds (small buffers, many reflections) the order
// changes only between rounds, and unsaturated plots add up to the same values.
TEST(DotBands, StripesDrawTheSameCanvasAsOneWorker) {
    struct Case {
        int reflections;
        bool symmetric;
        int capacity;  // 0: the engine's own
        float brightness;
        int style;
    };
    const Case cases[] = {{1, false, 0, 200.0f, kDotPoints},
                          {4, true, 0, 200.0f, kDotDiscs},
                          {14, true, 64 * 28 + 5, 0.8f, kDotPoints},
                          {3, false, 64 * 3, 0.8f, kDotVerticalBars}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "reflections " << c.reflections << " capacity "
                                        << c.capacity << " style " << c.style);
        MotionSetup s;
        s.width = 211;
        s.height = 157;
        s.dots = 3000;
        s.movers = 9;
        s.motion = 2;
        FixedClock clock{500, 900};
        EngineOptions three;
        three.workerCount = 3;
        CDrawWnd one(clock, OneWorker()), several(clock, three), oneCollecting(clock, OneWorker());
        ASSERT_EQ(several.BandCount(), 3);
        TestCanvas* canvases[3];
        CDrawWnd* engines[3] = {&one, &several, &oneCollecting};
        for (int k = 0; k < 3; ++k) {
            CDrawWnd& e = *engines[k];
            canvases[k] = EngineTestAccess::Adopt(e, std::make_unique<TestCanvas>(211, 157, true));
            ASSERT_TRUE(Peer::Start(e, s, 0.5));
            // The one worker plots at once, dot by dot: the reference the stripes must meet.
            Peer::SetVectorSplats(e, k != 0);
            Peer::ScatterDots(e, 31);
            e.SetDotStyle(c.style);
            e.BuildDiscKernels(c.style, true);
            EngineTestAccess::SetPointCap(e, 130560);
            EngineTestAccess::SetReflections(e, c.reflections, c.symmetric, 105, 78, 0.1);
            for (int i = 0; i < s.dots; ++i) {
                Peer::R(e)[i] = c.brightness;
                Peer::G(e)[i] = c.brightness * 0.5f;
                Peer::B(e)[i] = -c.brightness * 0.25f;
            }
        }
        if (c.capacity > 0) {
            for (int b = 0; b < 3; ++b) Peer::BandRecords(several)[b].splatCapacity = c.capacity;
            Peer::BandRecords(oneCollecting)[0].splatCapacity = c.capacity;
        }
        for (int frame = 0; frame < 6; ++frame) {
            for (CDrawWnd* e : engines) {
                Peer::UpdateMovers(*e);
                Peer::PrepareMotionFrame(*e);
                Peer::RunMotionBands(*e);
            }
            ExpectSameDots(Snapshot(one), Snapshot(several), "stripes", frame);
            ExpectSameDots(Snapshot(one), Snapshot(oneCollecting), "one collecting", frame);
        }
        EXPECT_GT(canvases[0]->Total(0), 0);
        EXPECT_EQ(canvases[0]->deepPixels, canvases[1]->deepPixels);
        EXPECT_EQ(canvases[0]->deepPixels, canvases[2]->deepPixels);
    }
}

}  // namespace
}  // namespace quovis
