#include "host/display_plan.h"

#include <algorithm>

namespace quovis {

namespace {

constexpr int kMinRenderSide = 8;
constexpr int kFullCountPreviewArea = 640 * 480;

// A window of another program that is small next to its screen: a settings dialog's picture.
bool IsSmallForeignWindow(const SurfaceFacts& f) {
    if (f.screenWidth <= 0 || f.screenHeight <= 0) return false;
    const double area = static_cast<double>(f.width) * f.height;
    const double screen = static_cast<double>(f.screenWidth) * f.screenHeight;
    return area < screen * kPreviewScreenShare;
}

}  // namespace

DisplayPlan PlanDisplay(const SurfaceFacts& facts) {
    DisplayPlan plan;
    const bool preview =
        facts.kind == SaverWindowKind::Preview && !facts.hostedSaver && IsSmallForeignWindow(facts);
    if (preview) {
        // A big preview has room for every dot even when its screen is bigger still.
        plan.fullDotCount = facts.width * facts.height >= kFullCountPreviewArea;
        return plan;
    }
    // A window of its own is watched like the saver, at whatever size the user gives it; it
    // renders every pixel of it.
    plan.fullScreenRendering = facts.kind != SaverWindowKind::Window;
    plan.slideshow = true;
    plan.saverMode = true;
    plan.fullDotCount = true;
    return plan;
}

RenderSize RenderSizeFor(int deviceWidth, int deviceHeight, double scale) {
    RenderSize r;
    r.width = static_cast<int>(deviceWidth * scale + 0.5) & ~3;
    r.height = static_cast<int>(deviceHeight * scale + 0.5) & ~1;
    r.width = std::max(r.width, kMinRenderSide);
    r.height = std::max(r.height, kMinRenderSide);
    return r;
}

}  // namespace quovis
