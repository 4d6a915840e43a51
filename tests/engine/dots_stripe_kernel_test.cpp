// The stripe drawing's vector kernel against the plain plot-by-plot path: the same plots in
// the same bands, drawn both ways into the same starting canvas, must leave the same words,
// including pixels that overflow and are compressed, negative amounts that clip at zero, and
// plots that pile onto the same pixels, where the order decides the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/canvas_surface.h"
#include "engine/draw_wnd.h"
#include "engine/splat_kernel.h"
#include "engine_fixtures.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;
using test::FixedClock;

constexpr int kBands = 3;
constexpr int32_t kMaxAmount = 255 * 256;  // the largest amount the colour model hands out

struct Plots {
    int width = 97;
    int height = 61;
    int perBand = 3000;
    int32_t amountLow = -kMaxAmount;
    int32_t amountHigh = kMaxAmount;
    bool hotSpots = false;  // many plots on a few pixels: the order matters
    uint16_t fill = 0;      // 0: a seeded random start, else every word at this value
};

// Seeded plots for every band, with the awkward positions among them: exactly on the edges,
// at whole pixels, past the canvas (within a dot's reach, as the bands keep them), and on
// the rows where one stripe meets the next.
std::vector<std::vector<SplatRecord>> MakePlots(const Plots& p, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> ux(-3.9f, p.width + 3.9f), uy(-3.9f, p.height + 3.9f);
    std::uniform_real_distribution<float> near(-1.5f, 1.5f);
    std::uniform_int_distribution<int32_t> amount(p.amountLow, p.amountHigh);
    std::uniform_int_distribution<int> pick(0, 19);
    const float spots[4][2] = {{10.25f, 7.5f}, {40.0f, 20.0f}, {60.6f, 40.3f}, {1.0f, 0.0f}};
    std::vector<std::vector<SplatRecord>> bands(kBands);
    for (auto& band : bands) {
        for (int i = 0; i < p.perBand; ++i) {
            float x = ux(rng), y = uy(rng);
            switch (pick(rng)) {
                case 0:
                    x = 1.0f, y = 0.0f;
                    break;
                case 1:
                    x = static_cast<float>(p.width - 2), y = static_cast<float>(p.height - 2);
                    break;
                case 2:
                    x = std::floor(x), y = std::floor(y);
                    break;
                case 3:
                case 4: {
                    // Around a stripe edge (the engine splits the rows evenly).
                    const int edge = p.height * (1 + pick(rng) % (kBands - 1)) / kBands;
                    y = static_cast<float>(edge) + near(rng);
                    break;
                }
                default:
                    if (p.hotSpots && pick(rng) < 12) {
                        const auto& s = spots[pick(rng) % 4];
                        x = s[0], y = s[1];
                    }
                    break;
            }
            band.push_back({x, y, {amount(rng), amount(rng), amount(rng)}});
        }
    }
    return bands;
}

// One engine with three bands drawing the given plots through its stripes.
struct StripeRig {
    FixedClock clock{1000, 2000};
    std::unique_ptr<CDrawWnd> engine;
    TestCanvas* canvas = nullptr;

    StripeRig(const Plots& p, int style, bool vector) {
        EngineOptions options;
        options.workerCount = kBands;
        engine = std::make_unique<CDrawWnd>(clock, options);
        canvas = Peer::Adopt(*engine, std::make_unique<TestCanvas>(p.width, p.height, true));
        engine->SetDotStyle(style);
        engine->BuildDiscKernels(style, true);
        Peer::SetVectorSplats(*engine, vector);
        Peer::PrepareStripes(*engine);
        std::mt19937 rng(77);
        std::uniform_int_distribution<int> word(0, 65535);
        for (uint16_t& w : canvas->deepPixels)
            w = p.fill != 0 ? p.fill : static_cast<uint16_t>(word(rng));
    }
    bool Ready() const { return Peer::BandRecords(*engine)[0].splats != nullptr; }

    // One round: every band's plots collected, sorted by stripe, each stripe drawn.
    void Draw(const std::vector<std::vector<SplatRecord>>& plots) {
        DotBand* bands = Peer::BandRecords(*engine);
        for (int b = 0; b < kBands; ++b) {
            std::copy(plots[b].begin(), plots[b].end(), bands[b].splats);
            bands[b].splatCount = static_cast<int32_t>(plots[b].size());
            Peer::SortSplatsByStripe(*engine, bands[b]);
        }
        for (int s = 0; s < Peer::StripeCount(*engine); ++s) Peer::ApplySplatStripe(*engine, s);
    }
};

int CountWords(const std::vector<uint16_t>& words, uint16_t value) {
    return static_cast<int>(std::count(words.begin(), words.end(), value));
}

TEST(StripeKernel, DrawsEveryStyleExactlyAsThePlainPath) {
    struct Case {
        const char* name;
        Plots plots;
    };
    const Case cases[] = {
        {"mixed amounts", {}},
        {"bright piles overflow", {97, 61, 3000, 20000, kMaxAmount, true, 0}},
        {"negative piles on a full canvas", {97, 61, 2000, -kMaxAmount, 2000, true, 65535}},
        {"both signs on a dark canvas", {97, 61, 2000, -kMaxAmount, kMaxAmount, true, 1}},
        {"a tall, narrow canvas", {5, 200, 1500, -kMaxAmount, kMaxAmount, true, 0}},
    };
    for (const Case& c : cases) {
        for (int style = 0; style < kDotStyleCount; ++style) {
            SCOPED_TRACE(testing::Message() << c.name << ", style " << style);
            StripeRig plain(c.plots, style, false), vector(c.plots, style, true);
            ASSERT_TRUE(plain.Ready() && vector.Ready());
            ASSERT_EQ(Peer::StripeCount(*plain.engine), kBands);
            const std::vector<uint16_t> start = plain.canvas->deepPixels;
            ASSERT_EQ(start, vector.canvas->deepPixels);
            for (uint32_t round = 0; round < 3; ++round) {
                const auto plots = MakePlots(c.plots, 100 * round + static_cast<uint32_t>(style));
                plain.Draw(plots);
                vector.Draw(plots);
            }
            ASSERT_EQ(plain.canvas->deepPixels, vector.canvas->deepPixels);
            EXPECT_NE(plain.canvas->deepPixels, start);
        }
    }
}

// The awkward cases above must really have happened, or the comparison proves little.
TEST(StripeKernel, TheCasesReachOverflowAndZero) {
    Plots bright{97, 61, 3000, 20000, kMaxAmount, true, 0};
    StripeRig rig(bright, kDotPoints, true);
    rig.Draw(MakePlots(bright, 5));
    EXPECT_GT(CountWords(rig.canvas->deepPixels, 65535), 20);

    Plots dark{97, 61, 2000, -kMaxAmount, 2000, true, 65535};
    StripeRig rig2(dark, kDotPoints, true);
    rig2.Draw(MakePlots(dark, 5));
    EXPECT_GT(CountWords(rig2.canvas->deepPixels, 0), 20);
}

// The kernel's own contract: the plots it cannot take reach the fallback, in their order,
// and (in a build with a kernel) only those.
TEST(StripeKernel, HandsEdgePlotsToTheFallbackInOrder) {
    std::vector<uint16_t> words(20 * 10 * 3, 0);
    CanvasSurface s;
    s.deep = words.data();
    s.deepRowStep = 20 * 3;
    s.width = 20;
    s.height = 10;
    s.clipFirst = 2;
    s.clipEnd = 8;
    struct Expect {
        float x, y;
        bool inner;
    };
    const Expect plots[] = {
        {5.5f, 4.5f, true},    {0.5f, 4.0f, false},  {1.0f, 2.0f, true},   {18.0f, 6.99f, true},
        {18.0f, 7.0f, false},  {19.0f, 3.0f, false}, {3.0f, 1.99f, false}, {10.0f, 2.0f, true},
        {-0.5f, -0.5f, false}, {10.0f, 9.5f, false}, {7.0f, 5.0f, true},   {2.0f, 3.0f, true},
        {4.0f, 4.0f, true},    {6.0f, 4.0f, true},   {8.0f, 4.0f, true},   {12.0f, 4.0f, true},
        {14.0f, 4.0f, true},   {19.5f, 5.0f, false}, {9.0f, 5.0f, true},
    };
    std::vector<SplatRecord> records;
    std::vector<int32_t> order;
    for (const Expect& p : plots) {
        order.push_back(static_cast<int32_t>(records.size()));
        records.push_back({p.x, p.y, {256, 256, 256}});
    }
    struct Seen {
        std::vector<float> xs;
    } seen;
    DrawPointSplats(
        s, records.data(), order.data(), static_cast<int32_t>(order.size()),
        [](void* context, const SplatRecord& r) { static_cast<Seen*>(context)->xs.push_back(r.x); },
        &seen);
    std::vector<float> expected;
    for (const Expect& p : plots) {
        if (VectorSplatKernelName() == nullptr || !p.inner) expected.push_back(p.x);
    }
    EXPECT_EQ(seen.xs, expected);
}

}  // namespace
}  // namespace quovis
