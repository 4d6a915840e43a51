// How the saver treats the surface it draws on: full-screen rendering and the slideshow for
// the saver in every form a person watches, a preview only for a small window of a dialog.
#include "host/display_plan.h"

#include <gtest/gtest.h>

namespace quovis {
namespace {

TEST(DisplayPlan, OnlyASmallWindowOfAnotherProgramIsAPreview) {
    struct Case {
        const char* what;
        SurfaceFacts facts;
        bool fullScreenRendering;
        bool slideshow;
        bool fullDotCount;
    };
    using K = SaverWindowKind;
    const Case cases[] = {
        {"full screen", {K::FullScreen, false, 3840, 2160, 3840, 2160}, true, true, true},
        {"xscreensaver --root", {K::Preview, true, 3840, 2160, 3840, 2160}, true, true, true},
        {"--root in a small window still the saver",
         {K::Preview, true, 300, 200, 1920, 1080},
         true,
         true,
         true},
        {"--window-id covering the screen",
         {K::Preview, false, 1920, 1080, 1920, 1080},
         true,
         true,
         true},
        {"--window-id of half the screen",
         {K::Preview, false, 1920, 540, 1920, 1080},
         true,
         true,
         true},
        {"settings dialog picture", {K::Preview, false, 320, 200, 1920, 1080}, false, false, false},
        {"a big preview on a huge screen",
         {K::Preview, false, 1280, 720, 3840, 2160},
         false,
         false,
         true},
        {"a window of its own", {K::Window, false, 1280, 720, 1920, 1080}, false, true, true},
        {"unknown screen: not taken for a preview",
         {K::Preview, false, 320, 200, 0, 0},
         true,
         true,
         true},
    };
    for (const Case& c : cases) {
        const DisplayPlan plan = PlanDisplay(c.facts);
        EXPECT_EQ(plan.fullScreenRendering, c.fullScreenRendering) << c.what;
        EXPECT_EQ(plan.slideshow, c.slideshow) << c.what;
        EXPECT_EQ(plan.saverMode, c.slideshow) << c.what;
        EXPECT_EQ(plan.fullDotCount, c.fullDotCount) << c.what;
    }
}

TEST(DisplayPlan, TheRenderSizeComesFromDevicePixels) {
    struct Case {
        int width, height;
        double scale;
        int wantWidth, wantHeight;
    };
    const Case cases[] = {
        {3840, 2160, 0.5, 1920, 1080},     // a 2x display at half scale
        {1920, 1080, 0.75, 1440, 810},     // the scale table's middle entry
        {1366, 768, 1.0, 1364, 768},       // width down to a multiple of 4
        {1001, 601, 1.0, 1000, 600},       // height down to even
        {1920, 1080, 0.333333, 640, 360},  // rounded, not cut: 359.99964 is 360
        {10, 10, 0.25, 8, 8},              // never below 8 x 8
    };
    for (const Case& c : cases) {
        const RenderSize r = RenderSizeFor(c.width, c.height, c.scale);
        EXPECT_EQ(r.width, c.wantWidth) << c.width << "x" << c.height << " at " << c.scale;
        EXPECT_EQ(r.height, c.wantHeight) << c.width << "x" << c.height << " at " << c.scale;
    }
}

}  // namespace
}  // namespace quovis
