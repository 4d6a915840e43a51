// Picture tests: every style, rendered for a few seconds without a screen, must give a
// picture worth looking at: neither black nor burnt out white, with a spread of brightness
// and of hues. The measures are computed from the pixels; a failure prints them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>

#include "engine/style_table.h"
#include "present/headless_renderer.h"

namespace quovis {
namespace {

struct PictureStats {
    double meanLuma = 0.0;
    double litShare = 0.0;    // pixels brighter than a faint glow
    double whiteShare = 0.0;  // pixels with every channel near full
    double lumaSpread = 0.0;  // standard deviation of brightness over the lit pixels
    int hueBuckets = 0;       // of 12 hue sectors, those holding 2% of the coloured pixels

    std::string Describe() const {
        std::ostringstream s;
        s << "mean " << meanLuma << ", lit " << litShare << ", white " << whiteShare << ", spread "
          << lumaSpread << ", hues " << hueBuckets;
        return s.str();
    }
};

PictureStats Measure(const Picture& p) {
    PictureStats s;
    std::array<int, 12> hues{};
    int coloured = 0, lit = 0, white = 0;
    double sum = 0.0, litSum = 0.0, litSq = 0.0;
    for (uint32_t px : p.pixels) {
        const int r = (px >> 16) & 255, g = (px >> 8) & 255, b = px & 255;
        const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
        sum += luma;
        if (luma > 12.0) {
            ++lit;
            litSum += luma;
            litSq += luma * luma;
        }
        if (r > 250 && g > 250 && b > 250) ++white;
        const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
        if (hi > 24 && hi - lo > 0.2 * hi) {
            double h;
            const double d = hi - lo;
            if (hi == r)
                h = std::fmod((g - b) / d + 6.0, 6.0);
            else if (hi == g)
                h = (b - r) / d + 2.0;
            else
                h = (r - g) / d + 4.0;
            ++hues[static_cast<int>(h * 2.0) % 12];
            ++coloured;
        }
    }
    const double n = static_cast<double>(p.pixels.size());
    s.meanLuma = sum / n;
    s.litShare = lit / n;
    s.whiteShare = white / n;
    if (lit > 1) {
        const double mean = litSum / lit;
        s.lumaSpread = std::sqrt(std::max(0.0, litSq / lit - mean * mean));
    }
    for (int c : hues) s.hueBuckets += coloured > 0 && c >= 0.02 * coloured;
    return s;
}

Picture Render(int style, int frames, int bands, int32_t seed) {
    RenderOptions options;
    options.width = 640;
    options.height = 360;
    options.bands = bands;
    options.seed = seed;
    EngineSettings settings;
    settings.Style = style;
    HeadlessRenderer renderer(options, settings);
    EXPECT_TRUE(renderer.Ok()) << renderer.Error();
    for (int f = 0; f < frames; ++f) {
        if (!renderer.RenderFrame()) {
            ADD_FAILURE() << "style " << style << " stopped at frame " << f;
            break;
        }
    }
    Picture p;
    renderer.Snapshot(&p);
    return p;
}

class EveryStyle : public ::testing::TestWithParam<int> {};

TEST_P(EveryStyle, GivesAPictureWorthLookingAt) {
    const int style = GetParam();
    const Picture p = Render(style, 240, 0, 7);  // four seconds at 60 frames a second
    ASSERT_EQ(p.pixels.size(), 640u * 360u);
    const PictureStats s = Measure(p);
    const std::string what = "style " + std::to_string(style) + ": " + s.Describe();
    EXPECT_GT(s.meanLuma, 0.2) << what;
    EXPECT_LT(s.meanLuma, 160.0) << what;
    EXPECT_GT(s.litShare, 0.002) << what;
    EXPECT_LT(s.whiteShare, 0.35) << what;
    EXPECT_GT(s.lumaSpread, 2.5) << what;
    // Colour comes from the direction of motion, so a style whose dots all move one way (a
    // curtain falling, dots rising) is rightly of one hue; it must still have colour.
    EXPECT_GE(s.hueBuckets, 1) << what;
}

INSTANTIATE_TEST_SUITE_P(Styles, EveryStyle, ::testing::Range(0, 30));

TEST(Pictures, TheSameSeedOnOneBandGivesTheSamePictureByteForByte) {
    for (int style : {kStyleFountain, kStyleCurves}) {
        const Picture a = Render(style, 40, 1, 99);
        const Picture b = Render(style, 40, 1, 99);
        EXPECT_EQ(a.pixels, b.pixels) << "style " << style;
        const Picture c = Render(style, 40, 1, 98);
        EXPECT_NE(a.pixels, c.pixels) << "style " << style << ": the seed changed nothing";
    }
}

}  // namespace
}  // namespace quovis
