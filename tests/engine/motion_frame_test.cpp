// Where dots are kept (edge margins, round confinement radius) and the per-frame constants of
// the dot pass: mover weights, the padded field sources, band ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

struct Engine : test::SeededEngine {
    Engine() : SeededEngine(42, 43) {}
};

TEST(EdgeMargins, FollowTheCanvasAndShrinkWithStrongConfinement) {
    Engine eng;
    MotionSetup s;  // 640 x 480
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    EXPECT_FLOAT_EQ(Peer::MarginX(*eng), 30.0f);
    EXPECT_FLOAT_EQ(Peer::MarginY(*eng), 30.0f);

    Peer::SetConfineExp(*eng, 0.45);  // the last value that keeps the full margin
    Peer::UpdateConfinement(*eng);
    EXPECT_FLOAT_EQ(Peer::MarginX(*eng), 30.0f);
    Peer::SetConfineExp(*eng, 0.5);  // the strongest a preset holds: 5 % of the margin
    Peer::UpdateConfinement(*eng);
    EXPECT_NEAR(Peer::MarginX(*eng), 1.5f, 1e-4f);
    // Drift may go further; the walls then sit at the edge, never inside the canvas.
    Peer::SetConfineExp(*eng, 3.5);
    Peer::UpdateConfinement(*eng);
    EXPECT_EQ(Peer::MarginX(*eng), 0.0f);
    EXPECT_EQ(Peer::MarginY(*eng), 0.0f);
    EXPECT_GT(Peer::ConfineR(*eng), 0.0f);
}

TEST(EdgeMargins, GrowForFiguresLargerThanTheCanvasAndForReflections) {
    Engine eng;
    MotionSetup s;
    s.width = 640;
    s.height = 480;
    s.style = 9;  // Ball
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    const float r0 = Peer::ConfineR(*eng);

    Peer::SetStyleParam(*eng, 1, 990.0f);  // not above 990: unchanged
    Peer::UpdateConfinement(*eng);
    EXPECT_FLOAT_EQ(Peer::MarginX(*eng), 30.0f);

    // Radius 2000: R = 2 * H/2 = 480; a circle of 1.1 R = 528 must fit between the walls.
    Peer::SetStyleParam(*eng, 1, 2000.0f);
    Peer::UpdateConfinement(*eng);
    EXPECT_NEAR(320.0f + Peer::MarginX(*eng), 528.0f, 1e-3f);
    EXPECT_NEAR(240.0f + Peer::MarginY(*eng), 528.0f, 1e-3f);
    EXPECT_GT(Peer::ConfineR(*eng), r0);

    // "Circle" with a negative radius: R = 1.3 * H/2 = 312, 1.1 R = 343.2. The x margin is
    // already wider than that needs.
    Peer::SetStyle(*eng, 25);
    Peer::SetStyleParam(*eng, 1, 0.0f);
    Peer::SetStyleParam(*eng, 3, -1.0f);
    Peer::UpdateConfinement(*eng);
    EXPECT_FLOAT_EQ(Peer::MarginX(*eng), 30.0f);
    EXPECT_NEAR(240.0f + Peer::MarginY(*eng), 343.2f, 1e-3f);

    // Three reflections need the same room, whatever the style.
    Peer::SetStyle(*eng, 1);
    (*eng).SetReflections(3);
    Peer::UpdateConfinement(*eng);
    EXPECT_NEAR(240.0f + Peer::MarginY(*eng), 343.2f, 1e-3f);
    (*eng).SetReflections(2);
    Peer::UpdateConfinement(*eng);
    EXPECT_FLOAT_EQ(Peer::MarginY(*eng), 30.0f);
}

TEST(MoverWeights, ShortenTheReachOfWeakMoversAndOfManyMovers) {
    Engine eng;
    MotionSetup s;
    s.movers = 4;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::Strength(*eng)[0] = 10.0f;
    Peer::Strength(*eng)[1] = 20.0f;
    Peer::Strength(*eng)[2] = 0.0f;  // no strength: reaches nowhere, but stays a number
    Peer::PrepareMotionFrame(*eng);
    const float* w = Peer::Weight(*eng);
    EXPECT_NEAR(w[0] / w[1], 4.0f, 1e-4f);  // twice the strength, a quarter of the weight
    EXPECT_TRUE(std::isfinite(w[2]));
    EXPECT_GT(w[2], 1e10f);
    EXPECT_EQ(w[4], 0.0f);  // not an active mover

    // With the cube falloff the weight falls with strength^2.6.
    Engine twist;
    s.extraTwist = true;
    ASSERT_TRUE(Peer::Start(*twist, s, 0.0));
    Peer::Strength(*twist)[0] = 10.0f;
    Peer::Strength(*twist)[1] = 20.0f;
    Peer::PrepareMotionFrame(*twist);
    EXPECT_NEAR(Peer::Weight(*twist)[0] / Peer::Weight(*twist)[1], std::pow(2.0f, 2.6f), 1e-3f);

    // More movers, or the images of wrapping, each reach less.
    const float alone = w[0];
    Engine many;
    s.extraTwist = false;
    s.movers = 16;
    ASSERT_TRUE(Peer::Start(*many, s, 0.0));
    Peer::Strength(*many)[0] = 10.0f;
    Peer::PrepareMotionFrame(*many);
    EXPECT_GT(Peer::Weight(*many)[0], 3.0f * alone);
    (*many).SetWrapFlags(2);
    const float unwrapped = Peer::Weight(*many)[0];
    Peer::PrepareMotionFrame(*many);
    EXPECT_GT(Peer::Weight(*many)[0], 1.8f * unwrapped);
}

TEST(FieldSources, InactiveMoverSlotsPushNothing) {
    // Slots beyond the mover count hold leftovers (slot 1 keeps moving with one mover); the
    // kernel must not feel them, however close and strong they are.
    const auto run = [](bool garbage) {
        Engine eng;
        MotionSetup s;
        s.movers = 3;
        s.dots = 200;
        EXPECT_TRUE(Peer::Start(*eng, s, 0.0));
        Peer::ScatterDots(*eng, 8);
        if (garbage) {
            for (int k = 3; k < CDrawWnd::kMaxMovers; ++k) {
                Peer::MoverX(*eng)[k] = Peer::X(*eng)[k];
                Peer::MoverY(*eng)[k] = Peer::Y(*eng)[k];
                Peer::FlowX(*eng)[k] = 50.0f;
                Peer::FlowY(*eng)[k] = -50.0f;
                Peer::Strength(*eng)[k] = 100.0f;
            }
        }
        std::vector<DotBand> bands;
        Peer::PrepareMotionFrame(*eng);
        Peer::Kernel(*eng, 1, bands);
        return std::vector<float>(Peer::VX(*eng), Peer::VX(*eng) + s.dots);
    };
    EXPECT_EQ(run(false), run(true));
}

TEST(DotBandRange, IsLimitedToTheDotsInUse) {
    Engine eng;
    MotionSetup s;
    s.dots = 10;
    ASSERT_TRUE(Peer::Start(*eng, s, 0.0));
    Peer::ScatterDots(*eng, 2);
    Peer::X(*eng)[10] = 5.0f;  // a dot slot beyond the count
    Peer::VX(*eng)[10] = 1.0f;
    Peer::PrepareMotionFrame(*eng);
    DotBand band;
    band.First = -5;
    band.Last = CDrawWnd::kMaxDots + 100;
    Peer::MoveAndPlotBand(*eng, band);
    EXPECT_EQ(band.Count, 10);
    EXPECT_EQ(Peer::X(*eng)[10], 5.0f);
}

}  // namespace
}  // namespace quovis
