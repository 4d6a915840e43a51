// The supersampled kernels of the round dot styles and their row-per-frame build.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>

#include "engine/draw_wnd.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;
using test::FixedClock;

constexpr int kSteps = 33;
constexpr int kRoundStyles[] = {kDotFuzzies, kDotRings, kDotDiscs};

using test::OneWorker;

struct Rig {
    Rig() : clock(3, 4), engine(clock, OneWorker()) {
        canvas = Peer::Adopt(engine, std::make_unique<TestCanvas>(64, 48, true));
        Peer::SetPointCap(engine, 130560);
    }
    FixedClock clock;
    CDrawWnd engine;
    TestCanvas* canvas;
};

int KernelTotal(const CDrawWnd& e, int fx, int fy) {
    const int16_t* k = Peer::Kernel(e, fx, fy);
    int sum = 0;
    for (int i = 0; i < 16; ++i) sum += k[i];
    return sum;
}

// True when the canvas holds exactly the 3 x 3 fallback around (x, y): full middle, half
// edges, quarter corners.
bool IsSmallDisc(const TestCanvas& c, int x, int y, int full) {
    if (c.Lit().size() != 9) return false;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int away = (dx != 0) + (dy != 0);
            if (c.At(x + dx, y + dy, 0) != full >> away) return false;
        }
    }
    return true;
}

TEST(DiscKernels, BuildOneRowPerCallAndDrawTheFallbackMeanwhile) {
    Rig rig;
    rig.engine.SetDotStyle(kDotDiscs);
    for (int call = 1; call < kSteps; ++call) {
        rig.engine.BuildDiscKernels(kDotDiscs, false);
        ASSERT_EQ(Peer::KernelRow(rig.engine), call);
        ASSERT_FALSE(rig.engine.DiscKernelsReady(kDotDiscs)) << "after " << call;
    }
    Peer::PlotDot(rig.engine, 30.0f, 20.0f, 100.0f, 0.0f, 0.0f);
    EXPECT_TRUE(IsSmallDisc(*rig.canvas, 30, 20, 100 * 256));

    rig.engine.BuildDiscKernels(kDotDiscs, false);
    EXPECT_TRUE(rig.engine.DiscKernelsReady(kDotDiscs));
    rig.canvas->Clear();
    Peer::PlotDot(rig.engine, 30.9f, 20.9f, 100.0f, 0.0f, 0.0f);
    // The real kernel reaches the second pixel to the right and up of the dot.
    EXPECT_GT(rig.canvas->At(32, 21, 0), 0);
    EXPECT_FALSE(IsSmallDisc(*rig.canvas, 30, 20, 100 * 256));
}

TEST(DiscKernels, SwitchingDiscsToRingsRestartsAtRowZero) {
    Rig rig;
    rig.engine.SetDotStyle(kDotDiscs);
    rig.engine.BuildDiscKernels(kDotDiscs, true);
    ASSERT_TRUE(rig.engine.DiscKernelsReady(kDotDiscs));

    rig.engine.SetDotStyle(kDotRings);
    Peer::PlotDot(rig.engine, 30.0f, 20.0f, 100.0f, 0.0f, 0.0f);
    EXPECT_TRUE(IsSmallDisc(*rig.canvas, 30, 20, 100 * 256));

    rig.engine.BuildDiscKernels(kDotRings, false);
    EXPECT_EQ(Peer::KernelRow(rig.engine), 1);
    EXPECT_FALSE(rig.engine.DiscKernelsReady(kDotRings));
    EXPECT_FALSE(rig.engine.DiscKernelsReady(kDotDiscs));
    for (int call = 1; call < kSteps; ++call) rig.engine.BuildDiscKernels(kDotRings, false);
    EXPECT_TRUE(rig.engine.DiscKernelsReady(kDotRings));
}

TEST(DiscKernels, StylesWithoutKernelsAreReadyAndAFinishedTableComesBackAtOnce) {
    Rig rig;
    rig.engine.BuildDiscKernels(kDotDiscs, true);
    rig.engine.BuildDiscKernels(kDotPoints, false);
    EXPECT_TRUE(rig.engine.DiscKernelsReady(kDotPoints));
    EXPECT_FALSE(rig.engine.DiscKernelsReady(kDotDiscs));
    // Back to the style the table was finished for: nothing to rebuild.
    rig.engine.BuildDiscKernels(kDotDiscs, false);
    EXPECT_TRUE(rig.engine.DiscKernelsReady(kDotDiscs));
}

TEST(DiscKernels, TwoEnginesKeepTheirOwnTables) {
    FixedClock clock(1, 1);
    CDrawWnd a(clock, OneWorker()), b(clock, OneWorker());
    a.BuildDiscKernels(kDotDiscs, true);
    b.BuildDiscKernels(kDotRings, false);
    EXPECT_TRUE(a.DiscKernelsReady(kDotDiscs));
    EXPECT_FALSE(b.DiscKernelsReady(kDotRings));
}

// The area of a shape with coverage c(r), 2 pi * integral of c(r) r dr, by a fine midpoint
// sum: an independent measure of how much light a whole dot should leave.
double ShapeArea(int style) {
    const double dr = 1e-3;
    double area = 0.0;
    for (double r = dr / 2; r < 60.0; r += dr) area += Peer::Coverage(style, r) * r * dr;
    return 2.0 * std::numbers::pi * area;
}

TEST(DiscKernels, EveryPositionCarriesTheSameLight) {
    Rig rig;
    for (int style : kRoundStyles) {
        rig.engine.BuildDiscKernels(style, true);
        double mean = 0.0;
        for (int fx = 0; fx < kSteps - 1; ++fx)
            for (int fy = 0; fy < kSteps - 1; ++fy) mean += KernelTotal(rig.engine, fx, fy);
        mean /= (kSteps - 1) * (kSteps - 1);
        for (int fx = 0; fx < kSteps - 1; ++fx) {
            for (int fy = 0; fy < kSteps - 1; ++fy) {
                ASSERT_NEAR(KernelTotal(rig.engine, fx, fy), mean, 0.01 * mean)
                    << "style " << style << " entry " << fx << "," << fy;
            }
        }
        // Total light = area / brightness divisor (the divisor's area is pi * 48^2 in
        // 1/1024 units): 0.1 for "Fuzzies" and "Rings", 0.3 for "Discs".
        const double scale = style == kDotDiscs ? 0.3 : 0.1;
        const double expected = ShapeArea(style) / (scale * std::numbers::pi * 48 * 48 / 1024.0);
        EXPECT_NEAR(mean, expected, 0.01 * expected) << "style " << style;
    }
}

TEST(DiscKernels, RingsAreHollowAndDiscsAreFullInTheMiddle) {
    Rig rig;
    rig.engine.BuildDiscKernels(kDotRings, true);
    // Entry (0, 0): the dot is centred on the block's pixel (1, 1), index 5.
    EXPECT_EQ(Peer::Kernel(rig.engine, 0, 0)[5], 0);
    EXPECT_GT(KernelTotal(rig.engine, 0, 0), 0);
    rig.engine.BuildDiscKernels(kDotDiscs, true);
    const int16_t* disc = Peer::Kernel(rig.engine, 0, 0);
    for (int i = 0; i < 16; ++i) EXPECT_LE(disc[i], disc[5]) << "weight " << i;
}

TEST(DiscKernels, TheLightFollowsTheDotOnBothAxes) {
    std::mt19937 gen(777);
    std::uniform_real_distribution<float> frac(0.0f, 1.0f);
    for (int style : kRoundStyles) {
        Rig rig;
        rig.engine.SetDotStyle(style);
        rig.engine.BuildDiscKernels(style, true);
        for (int i = 0; i < 30; ++i) {
            rig.canvas->Clear();
            const float x = 30.0f + frac(gen), y = 20.0f + frac(gen);
            Peer::PlotDot(rig.engine, x, y, 200.0f, 0.0f, 0.0f);
            double sum = 0.0, sx = 0.0, sy = 0.0;
            for (const auto& [px, py] : rig.canvas->Lit()) {
                const double w = rig.canvas->At(px, py, 0);
                sum += w;
                sx += w * px;
                sy += w * py;
            }
            ASSERT_GT(sum, 0.0);
            // The kernel's centre sits about 1/64 pixel right of and above the dot. Measured
            // from whole pixels, a ring that cuts through pixels shifts the centroid a little
            // more; swapped axes would shift it by the difference of the two fractions.
            const double tolerance = style == kDotRings ? 0.1 : 0.05;
            EXPECT_NEAR(sx / sum - x, 0.016, tolerance)
                << "style " << style << " at " << x << "," << y;
            EXPECT_NEAR(sy / sum - y, 0.016, tolerance)
                << "style " << style << " at " << x << "," << y;
        }
    }
}

TEST(DiscKernels, EdgesAreSoftAndContinuous) {
    for (int style : kRoundStyles) {
        double previous = Peer::Coverage(style, 0.0);
        for (double d = 0.001; d < 52.0; d += 0.001) {
            const double c = Peer::Coverage(style, d);
            ASSERT_GE(c, 0.0);
            ASSERT_LE(c, 1.0);
            ASSERT_LT(std::fabs(c - previous), 0.01) << "style " << style << " jumps at " << d;
            previous = c;
        }
        EXPECT_EQ(Peer::Coverage(style, 48.5), 0.0);
    }
    EXPECT_EQ(Peer::Coverage(kDotRings, 0.0), 0.0);   // the hole
    EXPECT_EQ(Peer::Coverage(kDotRings, 42.5), 1.0);  // the band
    EXPECT_EQ(Peer::Coverage(kDotDiscs, 0.0), 1.0);
}

}  // namespace
}  // namespace quovis
