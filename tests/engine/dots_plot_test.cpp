// Plotting dots into the canvas: the saturating pixel add, the dot styles' footprints and
// energy, the point cap and the reflection images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "engine/canvas_surface.h"
#include "engine/draw_wnd.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;
using test::FixedClock;

constexpr uint32_t kCapOff = 130560;

using test::OneWorker;

// An engine drawing into a fresh test canvas, with the point cap off and one image per dot.
struct Rig {
    explicit Rig(bool deep = true, int w = 64, int h = 48)
        : clock(1000, 2000), engine(clock, OneWorker()) {
        canvas = Peer::Adopt(engine, std::make_unique<TestCanvas>(w, h, deep));
        Peer::SetPointCap(engine, kCapOff);
        Peer::SetReflections(engine, 1, false, w / 2, h / 2);
    }
    void Plot(float x, float y, float c0, float c1, float c2) {
        Peer::PlotDot(engine, x, y, c0, c1, c2);
    }
    FixedClock clock;
    CDrawWnd engine;
    TestCanvas* canvas;
};

// ---- The saturating add --------------------------------------------------------------------

TEST(CanvasAdd, DeepOverflowKeepsTheLargestAtTheTopAndTheOthersBelowInOrder) {
    struct Case {
        uint16_t px[3];
        int32_t add[3];
    };
    const Case cases[] = {
        {{60000, 30000, 1000}, {10000, 10000, 10000}},
        {{65535, 65535, 0}, {256, 0, 0}},
        // Far above the top: the compression curve must not wrap the middle channel.
        {{65535, 40000, 0}, {92000, 92000, 92000}},
        {{65535, 65535, 65535}, {65280, 30000, 100}},
    };
    for (const Case& c : cases) {
        uint16_t px[3] = {c.px[0], c.px[1], c.px[2]};
        AddDeepPixel(px, c.add[0], c.add[1], c.add[2]);
        int32_t sum[3];
        for (int j = 0; j < 3; ++j) sum[j] = c.px[j] + c.add[j];
        const int top = static_cast<int>(std::max_element(sum, sum + 3) - sum);
        SCOPED_TRACE(testing::Message() << "pixel " << c.px[0] << "," << c.px[1] << "," << c.px[2]
                                        << " + " << c.add[0] << "," << c.add[1] << "," << c.add[2]);
        EXPECT_EQ(px[top], 65535);
        for (int j = 0; j < 3; ++j) {
            EXPECT_LE(px[j], std::min(sum[j], 65535));
            for (int k = 0; k < 3; ++k) {
                if (sum[j] < sum[k]) {
                    EXPECT_LE(px[j], px[k]);
                }
            }
            // Compressed less than the largest: keeps at least its share of the top.
            EXPECT_GE(static_cast<double>(px[j]), sum[j] * (65535.0 / sum[top]) - 1.0);
        }
    }
}

TEST(CanvasAdd, NegativeAmountsStopAtZero) {
    uint16_t px[3] = {100, 5000, 0};
    AddDeepPixel(px, -1000, -1000, -1000);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[1], 4000);
    EXPECT_EQ(px[2], 0);

    uint32_t word = 0xAB000000u | 3u << 16 | 200u << 8 | 0u;
    AddShallowPixel(&word, -10 * 256, -10 * 256, -10 * 256);
    EXPECT_EQ(word, 0xAB000000u | 190u << 8);
}

TEST(CanvasAdd, ShallowPixelsDropFractionsAndScaleAnOverflowTogether) {
    uint32_t word = 0x7F000000u;            // the unused byte must survive
    AddShallowPixel(&word, 255, 256, 511);  // 0.99, 1, 1.99 units
    EXPECT_EQ(word, 0x7F000000u | 0u << 16 | 1u << 8 | 1u);

    word = 200u << 16 | 100u << 8 | 50u;
    AddShallowPixel(&word, 110 * 256, 0, 0);  // c0 = 310: all three times 255 / 310
    EXPECT_EQ(word >> 16 & 0xFF, 255u);
    EXPECT_EQ(word >> 8 & 0xFF, 100u * 255 / 310);
    EXPECT_EQ(word & 0xFF, 50u * 255 / 310);
}

TEST(CanvasAdd, ColumnZeroAndOutsidePositionsAreNeverWritten) {
    TestCanvas canvas(8, 6, true);
    const CanvasSurface& s = canvas.Surface();
    for (int y = -1; y <= 6; ++y) {
        AddPixel(s, 0, y, 1000, 1000, 1000);
        AddPixel(s, -1, y, 1000, 1000, 1000);
        AddPixel(s, 8, y, 1000, 1000, 1000);
    }
    AddPixel(s, 3, -1, 1000, 1000, 1000);
    AddPixel(s, 3, 6, 1000, 1000, 1000);
    EXPECT_TRUE(canvas.Lit().empty());
    AddPixel(s, 1, 0, 1, 2, 3);
    ASSERT_EQ(canvas.Lit().size(), 1u);
    EXPECT_EQ(canvas.At(1, 0, 2), 3);
    // Row 0 of the picture is the last row in memory.
    EXPECT_EQ(canvas.deepPixels[(5 * 8 + 1) * 3 + 2], 3);
}

TEST(CanvasAdd, ReadPixelGivesTheChannelsLowestFirstAndZeroOutside) {
    TestCanvas canvas(8, 6, false);
    canvas.AddPixel(5, 2, 10 * 256, 20 * 256, 30 * 256);
    EXPECT_EQ(canvas.ReadPixel(5, 2), 10u | 20u << 8 | 30u << 16);
    // In memory the pixel is blue, green, red: c0 shows as red.
    EXPECT_EQ(canvas.shallowPixels[3 * 8 + 5], 10u << 16 | 20u << 8 | 30u);
    EXPECT_EQ(canvas.ReadPixel(-1, 2), 0u);
    EXPECT_EQ(canvas.ReadPixel(8, 2), 0u);
    EXPECT_EQ(canvas.ReadPixel(5, 6), 0u);
}

// ---- Dot styles ----------------------------------------------------------------------------

TEST(DotStyles, PointsAtAnIntegerPositionWritesOneFullPixel) {
    for (bool deep : {true, false}) {
        Rig rig(deep);
        rig.engine.SetDotStyle(kDotPoints);
        rig.Plot(10.0f, 20.0f, 100.0f, 50.0f, 25.0f);
        const auto lit = rig.canvas->Lit();
        ASSERT_EQ(lit.size(), 1u) << "deep " << deep;
        EXPECT_EQ(lit[0], std::make_pair(10, 20));
        const int unit = deep ? 256 : 1;
        EXPECT_EQ(rig.canvas->At(10, 20, 0), 100 * unit);
        EXPECT_EQ(rig.canvas->At(10, 20, 1), 50 * unit);
        EXPECT_EQ(rig.canvas->At(10, 20, 2), 25 * unit);
    }
}

TEST(DotStyles, ADotInTheFirstColumnLightsOnlyItsRightNeighbour) {
    for (int style = 0; style < kDotStyleCount; ++style) {
        for (float x : {0.0f, 0.25f, 0.5f, 0.999f, -0.5f}) {
            Rig rig;
            rig.engine.SetDotStyle(style);
            rig.Plot(x, 20.5f, 200.0f, 200.0f, 200.0f);
            for (int y = 0; y < rig.canvas->Height(); ++y) {
                ASSERT_EQ(rig.canvas->At(0, y, 0), 0) << "style " << style << " x " << x;
            }
            if (style == kDotPoints && x > 0.0f) {
                EXPECT_GT(rig.canvas->At(1, 20, 0), 0) << "x " << x;
            }
        }
    }
}

TEST(DotStyles, SmallNegativeCoordinatesFloorDownward) {
    Rig rig;
    rig.engine.SetDotStyle(kDotPoints);
    // y = -0.5: the dot sits between row -1 and row 0, so row 0 gets half of it.
    rig.Plot(5.0f, -0.5f, 200.0f, 0.0f, 0.0f);
    const auto lit = rig.canvas->Lit();
    ASSERT_EQ(lit.size(), 1u);
    EXPECT_EQ(lit[0], std::make_pair(5, 0));
    EXPECT_EQ(rig.canvas->At(5, 0, 0), 100 * 256);
}

// Light a dot of each style leaves at a sub-pixel position, relative to the light at an
// integer position: the kernels spread the dot, they do not change its brightness. The
// colour is dim enough that no pixel saturates, which would cut the concentrated case.
TEST(DotStyles, EveryStyleKeepsItsBrightnessAtEverySubPixelPosition) {
    std::mt19937 gen(20240601);
    std::uniform_real_distribution<float> frac(0.0f, 1.0f);
    for (int style = 0; style < kDotStyleCount; ++style) {
        Rig rig;
        rig.engine.SetDotStyle(style);
        rig.engine.BuildDiscKernels(style, true);
        rig.Plot(30.0f, 20.0f, 40.0f, 20.0f, 7.0f);
        const int64_t reference = rig.canvas->Total(0);
        ASSERT_GT(reference, 0) << "style " << style;
        for (int i = 0; i < 40; ++i) {
            rig.canvas->Clear();
            const float x = 30.0f + frac(gen), y = 20.0f + frac(gen);
            rig.Plot(x, y, 40.0f, 20.0f, 7.0f);
            const double ratio = static_cast<double>(rig.canvas->Total(0)) / reference;
            // Truncated products lose a few units per pixel; disc kernels are quantised.
            EXPECT_NEAR(ratio, 1.0, 0.03) << "style " << style << " at " << x << "," << y;
        }
    }
}

TEST(DotStyles, FootprintsStayWithinTheirKernels) {
    // Half-width of each style's footprint around the dot's pixel (left, right, up, down).
    struct Reach {
        int style, left, right, down, up;
    };
    const Reach reaches[] = {
        {kDotPixels, 0, 0, 0, 0},   {kDotPoints, 0, 1, 0, 1},       {kDotLargePoints, 0, 2, 0, 2},
        {kDotSparkles, 2, 2, 2, 2}, {kDotVerticalBars, 0, 1, 3, 3}, {kDotDiscs, 1, 2, 1, 2},
        {kDotRings, 1, 2, 1, 2},    {kDotFuzzies, 1, 2, 1, 2},
    };
    for (const Reach& r : reaches) {
        Rig rig;
        rig.engine.SetDotStyle(r.style);
        rig.engine.BuildDiscKernels(r.style, true);
        for (float f : {0.0f, 0.3f, 0.97f}) {
            rig.canvas->Clear();
            rig.Plot(30.0f + f, 20.0f + f, 255.0f, 255.0f, 255.0f);
            for (const auto& [x, y] : rig.canvas->Lit()) {
                EXPECT_GE(x, 30 - r.left) << "style " << r.style << " frac " << f;
                EXPECT_LE(x, 30 + r.right) << "style " << r.style << " frac " << f;
                EXPECT_GE(y, 20 - r.down) << "style " << r.style << " frac " << f;
                EXPECT_LE(y, 20 + r.up) << "style " << r.style << " frac " << f;
            }
        }
    }
}

TEST(DotStyles, VerticalBarsHalveTheLightWithEveryRowFromTheMiddle) {
    Rig rig;
    rig.engine.SetDotStyle(kDotVerticalBars);
    rig.Plot(30.0f, 20.0f, 200.0f, 0.0f, 0.0f);
    const int middle = rig.canvas->At(30, 20, 0);
    EXPECT_EQ(middle, 200 * 256);
    for (int d = 1; d <= 3; ++d) {
        EXPECT_EQ(rig.canvas->At(30, 20 + d, 0), middle >> d);
        EXPECT_EQ(rig.canvas->At(30, 20 - d, 0), middle >> d);
    }
    EXPECT_EQ(rig.canvas->Lit().size(), 7u);
}

TEST(DotStyles, UnknownStylesDrawPointsAndEveryChangeAsksForAClear) {
    Rig rig;
    rig.engine.SetDotStyle(42);
    EXPECT_EQ(rig.engine.DotStyle(), kDotPoints);
    rig.engine.SetDotStyle(-3);
    EXPECT_EQ(rig.engine.DotStyle(), kDotPoints);
    rig.engine.SetDotStyle(kDotDiscs);
    EXPECT_EQ(rig.engine.DotStyle(), kDotDiscs);
    EXPECT_EQ(rig.canvas->clearRequests, 3);
}

TEST(DotStyles, PositionsAndColoursThatAreNotNumbersDrawNothingAndDoNotCrash) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int style = 0; style < kDotStyleCount; ++style) {
        Rig rig;
        rig.engine.SetDotStyle(style);
        rig.Plot(nan, 10.0f, 200.0f, 200.0f, 200.0f);
        rig.Plot(10.0f, nan, 200.0f, 200.0f, 200.0f);
        rig.Plot(inf, 10.0f, 200.0f, 200.0f, 200.0f);
        rig.Plot(-1e30f, 1e30f, 200.0f, 200.0f, 200.0f);
        rig.Plot(-100000.0f, -100000.0f, 200.0f, 200.0f, 200.0f);  // a parked dot
        rig.Plot(10.0f, 10.0f, nan, nan, nan);
        EXPECT_TRUE(rig.canvas->Lit().empty()) << "style " << style;
        // A colour far beyond full strength counts as full strength.
        rig.Plot(10.0f, 10.0f, 1e9f, inf, 0.0f);
        if (style == kDotPixels) {
            EXPECT_EQ(rig.canvas->At(10, 10, 0), 255 * 256);
            EXPECT_EQ(rig.canvas->At(10, 10, 1), 255 * 256);
        }
    }
}

TEST(DotStyles, AnEngineWithoutACanvasPlotsNothing) {
    FixedClock clock(1, 2);
    CDrawWnd engine(clock, OneWorker());
    Peer::PlotDot(engine, 10.0f, 10.0f, 255.0f, 255.0f, 255.0f);
    Peer::PlotDotImages(engine, 10.0f, 10.0f, 255.0f, 255.0f, 255.0f, 1.0f, 0.0f);
    SUCCEED();  // reaching here without a crash is the point; ASan checks the accesses
}

// ---- Point cap -----------------------------------------------------------------------------

TEST(DotPointCap, WithTrailsOnAWhiteDotIsCappedAndKeepsItsHue) {
    Rig rig;
    rig.engine.SetDotStyle(kDotPixels);
    // "Point Magnitude" 0.2 with trails: at most 2 * 255 * 0.2 = 102 units per channel.
    const uint32_t cap = static_cast<uint32_t>(std::floor(2.0 * 255.0 * 0.2 * 256.0 + 0.5));
    Peer::SetPointCap(rig.engine, cap);
    rig.Plot(10.0f, 10.0f, 255.0f, 255.0f, 255.0f);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_LE(rig.canvas->At(10, 10, ch), static_cast<int>(cap));
        EXPECT_GE(rig.canvas->At(10, 10, ch), static_cast<int>(cap) - 1);
    }
    rig.Plot(20.0f, 10.0f, 255.0f, 127.5f, 0.0f);
    EXPECT_NEAR(rig.canvas->At(20, 10, 0), cap, 1.0);
    EXPECT_NEAR(rig.canvas->At(20, 10, 1), cap / 2.0, 1.0);
    EXPECT_EQ(rig.canvas->At(20, 10, 2), 0);
    // A dot below the cap is not touched.
    rig.Plot(30.0f, 10.0f, 50.0f, 10.0f, 0.0f);
    EXPECT_EQ(rig.canvas->At(30, 10, 0), 50 * 256);
}

TEST(DotPointCap, WithTrailsOffTheCapHasNoEffect) {
    Rig rig;
    rig.engine.SetDotStyle(kDotPixels);
    Peer::SetPointCap(rig.engine, kCapOff);
    rig.Plot(10.0f, 10.0f, 255.0f, 255.0f, 255.0f);
    EXPECT_EQ(rig.canvas->At(10, 10, 0), 255 * 256);
}

// ---- Reflection images ---------------------------------------------------------------------

std::set<std::pair<int, int>> LitSet(const TestCanvas& c) {
    const auto lit = c.Lit();
    return {lit.begin(), lit.end()};
}

TEST(DotReflections, OneCopyWithoutSymmetryPlotsOnceWithoutTurning) {
    Rig rig;
    rig.engine.SetDotStyle(kDotPixels);
    // A table whose first entry would turn the dot: the single-image path must not use it.
    Peer::SetReflections(rig.engine, 1, false, 32, 24, 1.0);
    Peer::PlotDotImages(rig.engine, 40.5f, 30.5f, 100.0f, 100.0f, 100.0f, 1.0f, 0.0f);
    EXPECT_EQ(LitSet(*rig.canvas), (std::set<std::pair<int, int>>{{40, 30}}));
}

TEST(DotReflections, FourCopiesAreTheQuarterTurnsAndSymmetryAddsTheirMirrors) {
    const int cx = 32, cy = 24;
    const int dx = 8, dy = 5;  // the dot sits at (cx + dx + 0.5, cy + dy + 0.5)
    // The picture of a pixel offset (a, b) from the centre: pixel cx + a, cy + b covers the
    // point offset by (a + 0.5, b + 0.5); turning and mirroring that point by quarter turns
    // moves it to another pixel whose offset is again a whole number plus a half.
    auto pixel = [&](double ox, double oy) {
        return std::make_pair(cx + static_cast<int>(std::floor(ox)),
                              cy + static_cast<int>(std::floor(oy)));
    };
    const double px = dx + 0.5, py = dy + 0.5;
    const std::set<std::pair<int, int>> turns = {pixel(px, py), pixel(-py, px), pixel(-px, -py),
                                                 pixel(py, -px)};
    std::set<std::pair<int, int>> mirrored = turns;
    for (auto [ox, oy] : {std::pair{px, py}, {-py, px}, {-px, -py}, {py, -px}}) {
        mirrored.insert(pixel(-ox, oy));
    }
    ASSERT_EQ(mirrored.size(), 8u);
    for (bool symmetric : {false, true}) {
        Rig rig;
        rig.engine.SetDotStyle(kDotPixels);
        Peer::SetReflections(rig.engine, 4, symmetric, cx, cy);
        Peer::PlotDotImages(rig.engine, cx + static_cast<float>(px), cy + static_cast<float>(py),
                            100.0f, 100.0f, 100.0f, 0.0f, 0.0f);
        EXPECT_EQ(LitSet(*rig.canvas), symmetric ? mirrored : turns) << "symmetric " << symmetric;
    }
}

TEST(DotReflections, NCopiesLieOnOneCircleEvenlySpaced) {
    for (int n : {2, 3, 5, 6, 12}) {
        for (bool symmetric : {false, true}) {
            Rig rig(true, 200, 200);
            rig.engine.SetDotStyle(kDotPixels);
            Peer::SetReflections(rig.engine, n, symmetric, 100, 100, 0.3);
            Peer::PlotDotImages(rig.engine, 160.5f, 130.5f, 100.0f, 100.0f, 100.0f, 0.0f, 0.0f);
            const auto lit = rig.canvas->Lit();
            ASSERT_EQ(lit.size(), static_cast<size_t>(symmetric ? 2 * n : n))
                << "n " << n << " symmetric " << symmetric;
            const double radius = std::hypot(60.5, 30.5);
            std::vector<double> angles;
            for (const auto& [x, y] : lit) {
                EXPECT_NEAR(std::hypot(x + 0.5 - 100, y + 0.5 - 100), radius, 1.0);
                angles.push_back(std::atan2(y + 0.5 - 100, x + 0.5 - 100));
            }
            if (!symmetric) {
                std::sort(angles.begin(), angles.end());
                for (int i = 1; i < n; ++i) {
                    EXPECT_NEAR(angles[i] - angles[i - 1], 2 * std::numbers::pi / n, 0.03)
                        << "n " << n;
                }
            }
        }
    }
}

TEST(DotReflections, ShimmerSeesEachCopysTurnedVelocity) {
    Rig rig;
    rig.engine.SetDotStyle(kDotPixels);
    rig.engine.SetShimmerBright(200);
    rig.engine.SetShimmerNarrow(500);
    Peer::SetShimmerDir(rig.engine, 1.0f, 0.0f);
    Peer::SetReflections(rig.engine, 4, false, 32, 24);
    // Moving along +x, the unturned copy follows the flow; the half-turned one goes against
    // it and stays plain.
    Peer::PlotDotImages(rig.engine, 40.5f, 30.5f, 100.0f, 100.0f, 100.0f, 2.0f, 0.0f);
    const auto lit = rig.canvas->Lit();
    ASSERT_EQ(lit.size(), 4u);
    int brightest = 0, plain = 0;
    for (const auto& [x, y] : lit) brightest = std::max(brightest, rig.canvas->At(x, y, 0));
    EXPECT_EQ(rig.canvas->At(40, 30, 0), brightest);
    EXPECT_GT(brightest, 100 * 256);
    for (const auto& [x, y] : lit) plain += rig.canvas->At(x, y, 0) == 100 * 256;
    EXPECT_EQ(plain, 1);
}

// ---- The short path for inner points -------------------------------------------------------

// Thousands of seeded dots, many near and past the edges, some saturating, with reflections
// and mirror symmetry: the short path for "Points" must leave exactly the pixels the general
// path leaves, in every channel.
TEST(DotInnerPoints, TheShortPathDrawsExactlyWhatTheGeneralPathDraws) {
    struct Setup {
        int reflections;
        bool symmetric;
        bool cap;
    };
    const Setup setups[] = {{1, false, false}, {4, true, false}, {7, false, true}};
    for (const Setup& setup : setups) {
        Rig fast(true, 97, 61), general(true, 97, 61);
        for (Rig* r : {&fast, &general}) {
            r->engine.SetDotStyle(kDotPoints);
            Peer::SetReflections(r->engine, setup.reflections, setup.symmetric, 48, 30, 0.3);
            if (setup.cap) Peer::SetPointCap(r->engine, 30000);
        }
        std::mt19937 rng(static_cast<uint32_t>(setup.reflections));
        std::uniform_real_distribution<float> ux(-6.0f, 103.0f), uy(-6.0f, 67.0f);
        std::uniform_real_distribution<float> colour(-60.0f, 255.0f), v(-3.0f, 3.0f);
        for (int i = 0; i < 6000; ++i) {
            float x = ux(rng), y = uy(rng);
            // Exact edges and whole-pixel positions, where a fraction is zero.
            if (i % 50 == 0) x = 1.0f, y = 0.0f;
            if (i % 50 == 1) x = 95.0f, y = 59.0f;
            if (i % 50 == 2) x = std::floor(x), y = std::floor(y);
            const float c0 = colour(rng), c1 = colour(rng), c2 = colour(rng);
            const float vx = v(rng), vy = v(rng);
            Peer::PlotDotImages(fast.engine, x, y, c0, c1, c2, vx, vy, false);
            Peer::PlotDotImages(general.engine, x, y, c0, c1, c2, vx, vy, true);
        }
        ASSERT_EQ(fast.canvas->deepPixels, general.canvas->deepPixels)
            << "reflections " << setup.reflections << " symmetric " << setup.symmetric;
        EXPECT_GT(fast.canvas->Total(0), 0);
    }
}

}  // namespace
}  // namespace quovis
