// Shimmer: the highlight of dots moving along the flow, its settings and the glitter jitter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;
using test::FixedClock;

using test::OneWorker;

struct Rig {
    Rig() : clock(5, 6), engine(clock, OneWorker()) { Peer::SetShimmerDir(engine, 0.6f, 0.8f); }
    auto Colour(float vx, float vy, float c0 = 100.0f, float c1 = 50.0f, float c2 = 0.0f) {
        return Peer::Shimmer(engine, vx, vy, c0, c1, c2);
    }
    FixedClock clock;
    CDrawWnd engine;
};

TEST(DotShimmer, MovingStraightAgainstTheFlowKeepsThePlainColour) {
    Rig rig;
    rig.engine.SetShimmerBright(200);
    rig.engine.SetShineGlitter(600);
    rig.engine.SetShimmerNarrow(0);
    for (float speed : {0.01f, 1.0f, 50.0f}) {
        const auto o = rig.Colour(-0.6f * speed, -0.8f * speed);
        EXPECT_EQ(o.c0, 100.0f) << "speed " << speed;
        EXPECT_EQ(o.c1, 50.0f);
        EXPECT_EQ(o.c2, 0.0f);
    }
    // A dot at rest has no direction and keeps its colour too.
    const auto rest = rig.Colour(0.0f, 0.0f);
    EXPECT_EQ(rest.c0, 100.0f);
    EXPECT_EQ(rest.c1, 50.0f);
}

TEST(DotShimmer, MovingAlongTheFlowLightsUpWithinFullStrength) {
    Rig rig;
    rig.engine.SetShimmerBright(100);
    rig.engine.SetShimmerNarrow(300);
    const auto along = rig.Colour(0.6f, 0.8f, 40.0f, 20.0f, 0.0f);
    EXPECT_GT(along.c0, 40.0f);
    EXPECT_GT(along.c1, 20.0f);
    EXPECT_EQ(along.c2, 0.0f);  // shine scales the colour: a dark channel stays dark
    // The highlight falls off as the direction turns away from the flow.
    const auto across = rig.Colour(0.8f, -0.6f, 40.0f, 20.0f, 0.0f);
    EXPECT_LT(across.c0, along.c0);
    EXPECT_GE(across.c0, 40.0f);
    // Full strength is the limit.
    rig.engine.SetShimmerBright(200);
    rig.engine.SetShineGlitter(600);
    const auto bright = rig.Colour(0.6f, 0.8f, 250.0f, 200.0f, 10.0f);
    EXPECT_EQ(bright.c0, 255.0f);
    EXPECT_EQ(bright.c1, 255.0f);
    EXPECT_LE(bright.c2, 255.0f);
    EXPECT_GT(bright.c2, 10.0f);  // sparkle adds white even to a dark channel
}

TEST(DotShimmer, ANarrowHighlightNeedsAClosestDirection) {
    Rig rig;
    rig.engine.SetShimmerBright(200);
    rig.engine.SetShimmerNarrow(0);
    const float broad = rig.Colour(0.8f, -0.6f, 10.0f, 10.0f, 10.0f).c0;  // 90 degrees off
    rig.engine.SetShimmerNarrow(1000);
    const float narrow = rig.Colour(0.8f, -0.6f, 10.0f, 10.0f, 10.0f).c0;
    EXPECT_GT(broad, narrow);
    EXPECT_NEAR(narrow, 10.0f, 0.01f);
}

TEST(DotShimmer, SettingsAreLimitedAndNonNumbersIgnored) {
    Rig rig;
    rig.engine.SetShimmerBright(200);
    const float top = Peer::ShineAmount(rig.engine);
    rig.engine.SetShimmerBright(5000);
    EXPECT_EQ(Peer::ShineAmount(rig.engine), top);
    rig.engine.SetShimmerBright(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(Peer::ShineAmount(rig.engine), top);
    rig.engine.SetShimmerBright(-5);
    EXPECT_EQ(Peer::ShineAmount(rig.engine), 0.0f);

    float last = -1.0f;
    for (int b = 0; b <= 200; b += 20) {
        rig.engine.SetShimmerBright(b);
        EXPECT_GT(Peer::ShineAmount(rig.engine), last) << "bright " << b;
        last = Peer::ShineAmount(rig.engine);
    }

    rig.engine.SetShimmerNarrow(0);
    EXPECT_NEAR(Peer::ShineExp(rig.engine), 0.25f, 1e-4f);
    EXPECT_NEAR(Peer::SparkBaseExp(rig.engine), 20.0f, 1e-3f);
    rig.engine.SetShimmerNarrow(1000);
    EXPECT_NEAR(Peer::ShineExp(rig.engine), 300.0f, 0.01f);
    EXPECT_NEAR(Peer::SparkBaseExp(rig.engine), 3000.0f, 0.1f);
    rig.engine.SetShimmerNarrow(std::numeric_limits<double>::infinity());
    EXPECT_NEAR(Peer::ShineExp(rig.engine), 300.0f, 0.01f);
}

TEST(DotShimmer, GlitterUsesTheBaseExponentAndShineDoublesIt) {
    Rig rig;
    EXPECT_FALSE(Peer::ShimmerOn(rig.engine));
    rig.engine.SetShimmerNarrow(400);
    const float base = Peer::SparkBaseExp(rig.engine);
    rig.engine.SetShineGlitter(-600);
    EXPECT_TRUE(Peer::GlitterOn(rig.engine));
    EXPECT_EQ(Peer::SparkExp(rig.engine), base);
    const float glitter = Peer::SparkAmount(rig.engine);
    rig.engine.SetShineGlitter(600);
    EXPECT_FALSE(Peer::GlitterOn(rig.engine));
    EXPECT_EQ(Peer::SparkExp(rig.engine), 2.0f * base);
    // Glitter is the stronger of the two at the same setting.
    EXPECT_GT(glitter, Peer::SparkAmount(rig.engine));
    // The exponent rule holds whichever setting comes first.
    rig.engine.SetShineGlitter(-600);
    rig.engine.SetShimmerNarrow(700);
    EXPECT_EQ(Peer::SparkExp(rig.engine), Peer::SparkBaseExp(rig.engine));
    rig.engine.SetShineGlitter(600);
    rig.engine.SetShimmerNarrow(100);
    EXPECT_EQ(Peer::SparkExp(rig.engine), 2.0f * Peer::SparkBaseExp(rig.engine));
    // Sparkle alone turns shimmer on; with neither sparkle nor shine it is off.
    EXPECT_TRUE(Peer::ShimmerOn(rig.engine));
    rig.engine.SetShineGlitter(0);
    EXPECT_FALSE(Peer::ShimmerOn(rig.engine));
}

TEST(DotShimmer, TheWidthSettingResizesTheJitter) {
    Rig rig;
    auto longest = [&] {
        const float* j = Peer::Jitter(rig.engine);
        float m = 0.0f;
        for (int i = 0; i < CDrawWnd::kJitterEntries; ++i)
            m = std::max(m, std::hypot(j[2 * i], j[2 * i + 1]));
        return m;
    };
    rig.engine.SetShimmerNarrow(1000);  // scale 0.3
    EXPECT_LE(longest(), 0.3f + 1e-5f);
    EXPECT_GT(longest(), 0.2f);
    rig.engine.SetShimmerNarrow(0);  // scale 8.3
    EXPECT_LE(longest(), 8.3f + 1e-4f);
    EXPECT_GT(longest(), 6.0f);
}

TEST(DotShimmer, GlitterStepsThroughTheJitterTableAndWraps) {
    Rig rig;
    rig.engine.SetShimmerBright(100);
    rig.engine.SetShineGlitter(-600);
    const int start = Peer::JitterPos(rig.engine);
    rig.Colour(1.0f, 0.0f);
    EXPECT_EQ(Peer::JitterPos(rig.engine), (start + 2) % 32768);
    for (int i = 0; i < 16384; ++i) rig.Colour(1.0f, 0.0f);
    EXPECT_EQ(Peer::JitterPos(rig.engine), (start + 2) % 32768);
    // Without glitter the cursor stays.
    rig.engine.SetShineGlitter(600);
    rig.Colour(1.0f, 0.0f);
    EXPECT_EQ(Peer::JitterPos(rig.engine), (start + 2) % 32768);
}

// Bands plot the same pixels and draw glitter from one cursor at once. The totals may lose
// a contribution now and then, but nothing may exceed what was added, and the run must stay
// free of data races (the thread sanitizer build checks that).
TEST(DotShimmer, ConcurrentBandsShareTheCanvasAndTheJitterCursor) {
    FixedClock clock(7, 8);
    CDrawWnd engine(clock, OneWorker());
    TestCanvas* canvas = Peer::Adopt(engine, std::make_unique<TestCanvas>(32, 16, true));
    Peer::SetPointCap(engine, 130560);
    Peer::SetReflections(engine, 1, false, 16, 8);
    engine.SetDotStyle(kDotPixels);
    engine.SetShimmerBright(50);
    engine.SetShineGlitter(-600);
    constexpr int kPlots = 4000;
    auto band = [&] {
        for (int i = 0; i < kPlots; ++i) {
            Peer::PlotDotImages(engine, 5.0f + (i % 4), 7.0f, 0.01f, 0.01f, 0.01f, 1.0f, 0.5f);
        }
    };
    std::thread a(band), b(band);
    a.join();
    b.join();
    for (int x = 5; x < 9; ++x) {
        const int v = canvas->At(x, 7, 0);
        EXPECT_GT(v, 0);
        EXPECT_LE(v, 65535);
    }
    EXPECT_EQ(Peer::JitterPos(engine) % 2, 0);
}

}  // namespace
}  // namespace quovis
