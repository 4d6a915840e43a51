// How the saver treats the surface it draws on: at which size it renders, which output it
// may use, whether the slideshow runs, and how many dots it draws.
//
// A full-screen saver and the saver proper of a screen-saver host (xscreensaver's --root, or
// any window of another program that covers most of its screen, as xsecurelock hands over)
// are the same thing to a person watching: both render at the "Resolution" scale, may use
// the OpenGL output for scaling, and run the slideshow. Only a small window of another
// program, a settings dialog's little picture, is a preview: it renders every pixel, draws
// fewer dots and shows the current settings.
//
// Sizes here are device pixels: on a display with a scale factor the window's logical size
// times its device pixel ratio. Rendering from logical pixels would draw a 2x display at half
// its resolution and stretch it.
#pragma once

#include "host/saver_input.h"

namespace quovis {

struct DisplayPlan {
    bool fullScreenRendering = false;  // "Resolution" and "UseGDI" 1 apply
    bool slideshow = false;            // the slideshow may run (when the user has it on)
    bool saverMode = false;            // patterns go on the history and become the last pattern
    bool fullDotCount = false;         // every dot the preset asks for
};

struct SurfaceFacts {
    SaverWindowKind kind = SaverWindowKind::FullScreen;
    bool hostedSaver = false;  // --root: the host's saver proper
    int width = 0;             // the window's size in device pixels
    int height = 0;
    int screenWidth = 0;  // the size of the screen the window is on, in device pixels
    int screenHeight = 0;
};

// A window of another program counts as a preview below this share of its screen's area.
inline constexpr double kPreviewScreenShare = 1.0 / 3.0;

DisplayPlan PlanDisplay(const SurfaceFacts& facts);

struct RenderSize {
    int width = 0;
    int height = 0;
};

// The canvas for a window of `deviceWidth` x `deviceHeight` pixels at render `scale`: rounded
// to the nearest pixel, the width down to a multiple of 4 and the height down to even, and
// never below 8 x 8.
RenderSize RenderSizeFor(int deviceWidth, int deviceHeight, double scale);

}  // namespace quovis
