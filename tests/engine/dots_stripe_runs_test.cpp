// The stripes against no stripes at all: every band's plots, sorted by stripe and drawn
// stripe by stripe, must leave the canvas exactly as drawing each plot straight into the
// whole canvas, band after band, does. A plot on the rows where two stripes meet is drawn by
// both owners, each within its own rows: one lost, drawn twice or drawn out of its band's
// order changes the words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;

constexpr uint32_t kCapOff = 130560;       // plots keep the amounts they are given
constexpr int32_t kMaxAmount = 255 * 256;  // the largest amount the colour model hands out
constexpr int kPlotsPerBand = 1900;

struct Case {
    const char* name;
    int bands;
    int style;
    int width, height;
    bool vector;
    bool index;  // more plots reach into two stripes than the runs hold
};

struct Rig {
    test::FixedClock clock{1000, 2000};
    std::unique_ptr<CDrawWnd> engine;
    TestCanvas* canvas = nullptr;

    Rig(const Case& c, int workers, const std::vector<uint16_t>& start) {
        EngineOptions options;
        options.workerCount = workers;
        engine = std::make_unique<CDrawWnd>(clock, options);
        canvas = Peer::Adopt(*engine, std::make_unique<TestCanvas>(c.width, c.height, true));
        engine->SetDotStyle(c.style);
        engine->BuildDiscKernels(c.style, true);
        Peer::SetPointCap(*engine, kCapOff);
        Peer::SetVectorSplats(*engine, c.vector);
        // Small buffers, nearly filled: the runs' spare room then runs out on thin stripes.
        for (int b = 0; b < workers && Peer::BandRecords(*engine)[0].splats; ++b) {
            Peer::BandRecords(*engine)[b].splatCapacity = kPlotsPerBand + 100;
        }
        Peer::PrepareStripes(*engine);
        canvas->deepPixels = start;
    }
};

TEST(StripeRuns, DrawEveryBandsPlotsAsOnePassOverTheWholeCanvas) {
    const Case cases[] = {
        {"points, three stripes, vector kernel", 3, kDotPoints, 97, 61, true, false},
        {"points, three stripes, plot by plot", 3, kDotPoints, 97, 61, false, false},
        {"discs", 3, kDotDiscs, 97, 61, false, false},
        {"points, two stripes of eight rows", 2, kDotPoints, 40, 16, true, false},
        {"vertical bars on stripes of eight rows", 2, kDotVerticalBars, 40, 16, false, true},
        {"one worker: its one stripe is the whole canvas", 1, kDotPoints, 97, 61, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(31);
        std::uniform_int_distribution<int> word(0, 65535), amount(-kMaxAmount, kMaxAmount);
        std::uniform_real_distribution<float> ux(-3.9f, c.width + 3.9f);
        std::uniform_real_distribution<float> uy(-3.9f, c.height + 3.9f), near(-3.5f, 3.5f);
        std::uniform_int_distribution<int> cut(1, std::max(1, c.bands - 1));
        std::vector<uint16_t> start(static_cast<std::size_t>(c.width) * c.height * 3);
        for (uint16_t& w : start) w = static_cast<uint16_t>(word(rng));
        Rig striped(c, c.bands, start), whole(c, 1, start);
        DotBand* bands = Peer::BandRecords(*striped.engine);
        if (bands[0].splats == nullptr) continue;  // one worker without a vector kernel
        ASSERT_EQ(Peer::StripeCount(*striped.engine), c.bands);
        for (int round = 0; round < 3; ++round) {
            for (int b = 0; b < c.bands; ++b) {
                DotBand& band = bands[b];
                band.splatCount = 0;
                for (int k = 0; k < kPlotsPerBand; ++k) {
                    float y = uy(rng);
                    // Every third plot near a row where two stripes meet (cut evenly).
                    if (k % 3 == 0 && c.bands > 1) {
                        y = static_cast<float>(c.height * cut(rng) / c.bands) + near(rng);
                    }
                    const SplatRecord r{ux(rng), y, {amount(rng), amount(rng), amount(rng)}};
                    band.splats[band.splatCount++] = r;
                    Peer::PlotDot(*whole.engine, r.x, r.y, r.amounts.a0 / 256.0f,
                                  r.amounts.a1 / 256.0f, r.amounts.a2 / 256.0f);
                }
                Peer::SortSplatsByStripe(*striped.engine, band);
                EXPECT_EQ(band.stripeOrder != nullptr, c.index);
            }
            for (int s = 0; s < c.bands; ++s) Peer::ApplySplatStripe(*striped.engine, s);
            ASSERT_EQ(striped.canvas->deepPixels, whole.canvas->deepPixels) << "round " << round;
        }
        EXPECT_NE(striped.canvas->deepPixels, start);
    }
}

}  // namespace
}  // namespace quovis
