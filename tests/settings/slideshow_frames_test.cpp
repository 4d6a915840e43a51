// The slideshow inside a running engine: slides change on the frame step's timer, and a
// pending key navigation walks the history at the next change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "present/headless_renderer.h"
#include "settings/builtin_presets.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/pattern_selection.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

class SlideshowFrames : public ::testing::Test {
  protected:
    SlideshowFrames() { setenv("XDG_DATA_HOME", m_dir.Path().c_str(), 1); }
    ~SlideshowFrames() override { unsetenv("XDG_DATA_HOME"); }

    // Renders until the engine shows a different preset text; false after `limit` frames.
    bool RenderUntilChange(HeadlessRenderer& renderer, int limit) {
        const std::u16string before = renderer.Engine().PresetText();
        for (int f = 0; f < limit; ++f) {
            if (!renderer.RenderFrame()) return false;
            if (renderer.Engine().PresetText() != before) return true;
        }
        return false;
    }

    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
};

TEST_F(SlideshowFrames, SlidesChangeOnTheTimerAndTheKeysWalkTheHistory) {
    ASSERT_TRUE(SeedFavorites(m_store, u""));
    PatternSelection selection(m_store);
    selection.ReadSettings(true);
    RenderOptions options;
    options.width = 160;
    options.height = 90;
    options.bands = 1;
    HeadlessRenderer renderer(
        options,
        [&selection](CDrawWnd& engine) {
            engine.SetSaverMode(true);
            engine.SetSlideshow(true);
            engine.SetSlideTimes(1.0, 1.0);
            engine.SetSlideDuration(1.0, 1.0);
            FrameHooks hooks;
            hooks.selector = &selection;
            engine.SetFrameHooks(hooks);
            return selection.SelectNext(engine);
        },
        "the first slide could not be chosen");
    ASSERT_TRUE(renderer.Ok()) << renderer.Error();
    EXPECT_EQ(renderer.Engine().PresetName(), u"Into The Light");

    std::vector<std::u16string> shown{renderer.Engine().PresetText()};
    for (int slide = 0; slide < 3; ++slide) {
        // One second a slide, then the dying phase: well within ten seconds of frames.
        ASSERT_TRUE(RenderUntilChange(renderer, 600)) << "slide " << slide;
        shown.push_back(renderer.Engine().PresetText());
        EXPECT_GE(selection.LastShown().mutations, 1);
    }
    EXPECT_EQ(selection.BackHistorySize(), 3u);

    renderer.Engine().SetPendingNav(-1);
    ASSERT_TRUE(RenderUntilChange(renderer, 600));
    PresetRecord now, before;
    ASSERT_TRUE(ReadPresetString(renderer.Engine().PresetText(), now));
    ASSERT_TRUE(ReadPresetString(shown[2], before));
    now.Author = before.Author;
    now.Location = before.Location;
    EXPECT_EQ(now, before) << "back shows the previous slide as it was";
    EXPECT_EQ(selection.ForwardHistorySize(), 1u);
}

}  // namespace
}  // namespace quovis
