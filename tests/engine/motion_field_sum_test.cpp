// The field sums on seeded data with awkward values: the per-dot sums against a plain
// double-precision loop, and the block kernel (dots in vector lanes) against the per-dot
// sums, which it must match to the last bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "engine/field_sum.h"

namespace quovis {
namespace {

// Sources with their own storage.
struct SourceArrays {
    std::vector<float> x, y, flowX, flowY, weight, r, g, b;
    int count = 0;

    explicit SourceArrays(int n) : count(n) {
        for (auto* a : {&x, &y, &flowX, &flowY, &weight, &r, &g, &b}) {
            a->assign(static_cast<std::size_t>(n), 0.0f);
        }
    }
    FieldSources View() const {
        FieldSources s;
        s.x = x.data();
        s.y = y.data();
        s.flowX = flowX.data();
        s.flowY = flowY.data();
        s.weight = weight.data();
        s.colourR = r.data();
        s.colourG = g.data();
        s.colourB = b.data();
        s.count = count;
        return s;
    }
};

struct Reference {
    double vx = 0, vy = 0, r = 0, g = 0, b = 0;
    double scale = 0;  // sum of the magnitudes of all terms: the size rounding is relative to
};

Reference ScalarSum(const SourceArrays& s, const std::vector<FieldImage>& images, float x, float y,
                    FieldFalloff falloff) {
    Reference out;
    for (const FieldImage& im : images) {
        for (int k = 0; k < s.count; ++k) {
            const double ix = static_cast<double>(im.signX) * s.x[k] + im.offsetX;
            const double iy = static_cast<double>(im.signY) * s.y[k] + im.offsetY;
            const double dx = x - ix;
            const double dy = y - iy;
            const double d = falloff == FieldFalloff::Square
                                 ? dx * dx + dy * dy
                                 : std::fabs(dx) * dx * dx + std::fabs(dy) * dy * dy;
            const double inv = 1.0 / (s.weight[k] * d + 1.3);
            out.vx += s.flowX[k] * inv;
            out.vy += s.flowY[k] * inv;
            out.r += s.r[k] * inv;
            out.g += s.g[k] * inv;
            out.b += s.b[k] * inv;
            out.scale += (std::fabs(s.flowX[k]) + std::fabs(s.flowY[k]) + std::fabs(s.r[k]) +
                          std::fabs(s.g[k]) + std::fabs(s.b[k])) *
                         inv;
        }
    }
    return out;
}

// Random sources with the awkward cases mixed in: movers sitting exactly on the dot, zero and
// enormous weights, zero and tiny flows, far-away and negative positions.
SourceArrays MakeSources(int n, std::mt19937& rng, float dotX, float dotY) {
    SourceArrays s(n);
    std::uniform_real_distribution<float> pos(-200.0f, 2200.0f);
    std::uniform_real_distribution<float> flow(-3.0f, 3.0f);
    std::uniform_real_distribution<float> logWeight(-9.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    for (int k = 0; k < n; ++k) {
        s.x[k] = pos(rng);
        s.y[k] = pos(rng);
        s.flowX[k] = flow(rng);
        s.flowY[k] = flow(rng);
        s.weight[k] = std::pow(10.0f, logWeight(rng));
        s.r[k] = flow(rng) * 40.0f;
        s.g[k] = flow(rng) * 40.0f;
        s.b[k] = flow(rng) * 40.0f;
        switch (pick(rng)) {
            case 0:
                s.x[k] = dotX, s.y[k] = dotY;
                break;  // on the dot
            case 1:
                s.weight[k] = 0.0f;
                break;  // reaches everywhere
            case 2:
                s.weight[k] = 1e20f;
                break;  // reaches nowhere
            case 3:
                s.flowX[k] = 0.0f, s.flowY[k] = 1e-12f;
                break;
            case 4:
                s.x[k] = -1e5f, s.y[k] = 1e5f;
                break;
            default:
                break;
        }
    }
    return s;
}

std::vector<FieldImage> MakeImages(int count, std::mt19937& rng) {
    std::vector<FieldImage> images(static_cast<std::size_t>(count));
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> shift(-1, 2);
    for (FieldImage& im : images) {
        im.signX = coin(rng) ? -1.0f : 1.0f;
        im.signY = coin(rng) ? -1.0f : 1.0f;
        im.offsetX = 1920.0f * static_cast<float>(shift(rng));
        im.offsetY = 1080.0f * static_cast<float>(shift(rng));
    }
    return images;
}

void ExpectNear(double expected, float actual, double scale, const char* what, uint32_t seed, int n,
                float x, float y) {
    const double tolerance = 1e-5 * scale + 1e-30;
    EXPECT_NEAR(expected, actual, tolerance)
        << what << " seed " << seed << " count " << n << " dot (" << x << ", " << y << ")";
}

TEST(FieldSum, MatchesTheScalarSumForEveryCountAndFalloff) {
    const int counts[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 32};
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> pos(-50.0f, 2000.0f);
        for (int n : counts) {
            const float x = pos(rng);
            const float y = pos(rng);
            const SourceArrays s = MakeSources(n, rng, x, y);
            for (FieldFalloff f : {FieldFalloff::Square, FieldFalloff::Cube}) {
                const Reference ref = ScalarSum(s, {FieldImage{}}, x, y, f);
                const FieldPush got = SumPush(s.View(), x, y, f);
                ExpectNear(ref.vx, got.vx, ref.scale, "vx", seed, n, x, y);
                ExpectNear(ref.vy, got.vy, ref.scale, "vy", seed, n, x, y);
                ASSERT_TRUE(std::isfinite(got.vx) && std::isfinite(got.vy)) << "seed " << seed;
            }
        }
    }
}

TEST(FieldSum, ImagesAndColourMatchTheScalarSum) {
    for (uint32_t seed = 100; seed < 160; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> pos(-10.0f, 1930.0f);
        const int n = 1 + static_cast<int>(seed % 32);
        const float x = pos(rng);
        const float y = pos(rng);
        const SourceArrays s = MakeSources(n, rng, x, y);
        const int imageCount = seed % 3 == 0 ? 1 : 4;
        const std::vector<FieldImage> images = MakeImages(imageCount, rng);
        for (FieldFalloff f : {FieldFalloff::Square, FieldFalloff::Cube}) {
            const Reference ref = ScalarSum(s, images, x, y, f);
            const FieldPush push = SumPushImages(s.View(), images.data(), imageCount, x, y, f);
            ExpectNear(ref.vx, push.vx, ref.scale, "images vx", seed, n, x, y);
            ExpectNear(ref.vy, push.vy, ref.scale, "images vy", seed, n, x, y);
            const FieldPushColour c = SumPushColour(s.View(), images.data(), imageCount, x, y, f);
            ExpectNear(ref.vx, c.vx, ref.scale, "colour vx", seed, n, x, y);
            ExpectNear(ref.vy, c.vy, ref.scale, "colour vy", seed, n, x, y);
            ExpectNear(ref.r, c.r, ref.scale, "r", seed, n, x, y);
            ExpectNear(ref.g, c.g, ref.scale, "g", seed, n, x, y);
            ExpectNear(ref.b, c.b, ref.scale, "b", seed, n, x, y);
        }
    }
}

TEST(FieldSum, ADotOnAMoverGetsTheBoundedPushNotAnInfiniteOne) {
    SourceArrays s(1);
    s.x[0] = 100.0f;
    s.y[0] = 50.0f;
    s.flowX[0] = 2.6f;
    s.flowY[0] = -1.3f;
    s.weight[0] = 1e20f;
    // Distance zero: the push is flow / 1.3, whatever the weight.
    for (FieldFalloff f : {FieldFalloff::Square, FieldFalloff::Cube}) {
        const FieldPush p = SumPush(s.View(), 100.0f, 50.0f, f);
        EXPECT_FLOAT_EQ(p.vx, 2.0f);
        EXPECT_FLOAT_EQ(p.vy, -1.0f);
    }
    // One pixel away with that weight: nothing.
    const FieldPush far = SumPush(s.View(), 101.0f, 50.0f, FieldFalloff::Square);
    EXPECT_LT(std::fabs(far.vx), 1e-15f);
}

// The quadrant maps as the dot kernel builds them for wrapping, with or without Moebius
// mirroring, on a 1920 x 1080 canvas.
FieldQuadrants MakeQuadrants(bool mirrored) {
    constexpr int kShiftX[4][4] = {{0, -1, 0, -1}, {0, 1, 0, 1}, {0, 0, -1, -1}, {0, 0, 1, 1}};
    constexpr int kShiftY[4][4] = {{0, 0, -1, -1}, {0, 0, -1, -1}, {0, 1, 0, 1}, {0, 1, 0, 1}};
    constexpr int kMirrorX[4][4] = {{0, 0, 1, 1}, {0, 0, 1, 1}, {0, 1, 0, 1}, {0, 1, 0, 1}};
    constexpr int kMirrorY[4][4] = {{0, 1, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}};
    FieldQuadrants q;
    q.halfW = 960.0f;
    q.halfH = 540.0f;
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        for (int j = 0; j < 4; ++j) {
            const int mx = mirrored ? kMirrorX[quadrant][j] : 0;
            const int my = mirrored ? kMirrorY[quadrant][j] : 0;
            q.maps[quadrant][j] = {1.0f - 2.0f * mx, (mx + kShiftX[quadrant][j]) * 1920.0f,
                                   1.0f - 2.0f * my, (my + kShiftY[quadrant][j]) * 1080.0f};
        }
    }
    return q;
}

bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every block size, falloff, image set and colour choice: lane i of the block equals the
// per-dot sum for dot i exactly. Dots sit on both sides of both quadrant lines, on a mover,
// and far outside.
TEST(FieldSumBlock, EveryLaneEqualsTheScalarSumBitForBit) {
    const int blockSizes[] = {1, 3, 15, 16, 17, 33, 63, kFieldBlock};
    int compared = 0;
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> pos(-30.0f, 1950.0f);
        const int movers = static_cast<int>(seed % 33);
        const SourceArrays s = MakeSources(movers, rng, 500.0f, 300.0f);
        for (int n : blockSizes) {
            std::vector<float> x(static_cast<std::size_t>(PaddedBlockCount(n)), 0.0f);
            std::vector<float> y(x.size(), 0.0f);
            for (int i = 0; i < n; ++i) {
                x[i] = pos(rng);
                y[i] = pos(rng) * 0.56f;
            }
            if (n > 2) x[1] = 960.0f, y[1] = 540.0f;                // on both quadrant lines
            if (n > 3 && movers > 0) x[2] = s.x[0], y[2] = s.y[0];  // on a mover
            if (n > 4) x[3] = -4000.0f, y[3] = 9000.0f;             // far outside
            for (int images : {1, 4}) {
                for (bool mirrored : {false, true}) {
                    if (images == 1 && mirrored) continue;
                    const FieldQuadrants q = MakeQuadrants(mirrored);
                    for (FieldFalloff f : {FieldFalloff::Square, FieldFalloff::Cube}) {
                        for (bool colour : {false, true}) {
                            std::vector<float> vx(x.size()), vy(x.size()), r(x.size()), g(x.size()),
                                b(x.size());
                            FieldBlock block;
                            block.x = x.data();
                            block.y = y.data();
                            block.count = n;
                            block.vx = vx.data();
                            block.vy = vy.data();
                            block.r = r.data();
                            block.g = g.data();
                            block.b = b.data();
                            SumPushBlock(s.View(), &q, images, f, colour, block);
                            for (int i = 0; i < n; ++i) {
                                const FieldImage identity;
                                const FieldImage* maps =
                                    images == 1 ? &identity
                                                : q.maps[2 * (y[i] > q.halfH) + (x[i] > q.halfW)];
                                const FieldPushColour want =
                                    SumPushColour(s.View(), maps, images, x[i], y[i], f);
                                const bool same =
                                    SameBits(want.vx, vx[i]) && SameBits(want.vy, vy[i]) &&
                                    (!colour || (SameBits(want.r, r[i]) && SameBits(want.g, g[i]) &&
                                                 SameBits(want.b, b[i])));
                                ASSERT_TRUE(same)
                                    << "seed " << seed << " movers " << movers << " block " << n
                                    << " lane " << i << " images " << images << " mirrored "
                                    << mirrored << " colour " << colour << ": " << want.vx << " vs "
                                    << vx[i];
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 10000);
}

TEST(FieldSumBlock, AnEmptyBlockWritesNothing) {
    const SourceArrays s = SourceArrays(4);
    float x[kFieldBlockAlign] = {}, y[kFieldBlockAlign] = {};
    float vx[kFieldBlockAlign], vy[kFieldBlockAlign];
    std::fill(std::begin(vx), std::end(vx), 7.0f);
    std::fill(std::begin(vy), std::end(vy), 7.0f);
    FieldBlock block;
    block.x = x;
    block.y = y;
    block.vx = vx;
    block.vy = vy;
    SumPushBlock(s.View(), nullptr, 1, FieldFalloff::Square, false, block);
    EXPECT_EQ(vx[0], 7.0f);
    EXPECT_EQ(vy[kFieldBlockAlign - 1], 7.0f);
}

}  // namespace
}  // namespace quovis
