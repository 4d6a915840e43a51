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
#include "present/picture_stats.h"

namespace quovis {
namespace {

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
    const PictureStats s = MeasurePicture(p);
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
