// Long runs at full size: every style at 1920 x 1080 with 144,000 dots. Every position and
// velocity must stay a finite number and every living dot near the canvas (walls push back
// softly, so a dot may overshoot the edge a little, but never far).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <mutex>

#include "engine/style_table.h"
#include "present/headless_renderer.h"
#include "tests/engine/engine_test_access.h"

namespace quovis {

namespace {

void Soak(int style, int motion, int frames, int width, int height) {
    RenderOptions options;
    options.width = width;
    options.height = height;
    options.seed = 1000 + style;
    EngineSettings settings;
    settings.Style = style;
    settings.Motion = motion;
    settings.Grains = 144000;
    settings.Complexity = 32;
    HeadlessRenderer renderer(options, settings);
    ASSERT_TRUE(renderer.Ok()) << renderer.Error();
    for (int f = 0; f < frames; ++f) {
        ASSERT_TRUE(renderer.RenderFrame()) << "style " << style << " frame " << f;
        if (f % 50 == 49) {
            std::lock_guard<std::recursive_mutex> guard(renderer.Engine().EngineLock());
            const int stray = EngineTestAccess::FirstStrayDot(renderer.Engine(), 0.5f);
            ASSERT_EQ(stray, -1) << "style " << style << " motion " << motion << " frame " << f;
        }
    }
}

class EveryStyleSoak : public ::testing::TestWithParam<int> {};

// A short version for every build; QUOVIS_SOAK_FRAMES=2000 runs the long one.
TEST_P(EveryStyleSoak, StaysFiniteAndNearTheCanvas) {
    const char* env = std::getenv("QUOVIS_SOAK_FRAMES");
    const int frames = env != nullptr ? std::max(50, std::atoi(env)) : 100;
    const int style = GetParam();
    Soak(style, style % 6, frames, 1920, 1080);
}

INSTANTIATE_TEST_SUITE_P(Styles, EveryStyleSoak, ::testing::Range(0, 30));

}  // namespace
}  // namespace quovis
