// Runs the saver: builds the engine and the slideshow from the stored configuration, opens
// the windows, and drives frames until the saver ends (input, a closed window, a lost host
// window, SIGTERM or SIGINT).
#pragma once

#include <cstdint>

#include "host/saver_input.h"

namespace quovis {

struct SaverRunOptions {
    SaverWindowKind kind = SaverWindowKind::FullScreen;
    // A window of another program to draw into (an X11 window id); 0 for none.
    uint64_t parentWindow = 0;
    // The saver proper of a screen-saver host (xscreensaver's --root): keeps the history and
    // the last pattern like a full-screen saver although it draws into the host's window.
    bool hostedSaver = false;
    bool showFps = false;             // print the measured frame rate all the time
    double machineSpeedFactor = 1.0;  // how much work this machine takes (1.0: a fast one)
    int windowWidth = 1280;           // an ordinary window's first size
    int windowHeight = 720;
    int maxFrames = 0;  // stop after this many frames (0: run until ended)
    // Run from inside another window's event loop (the configuration window's Preview): the
    // caller's application goes on afterwards, so a SIGTERM or SIGINT that ends the saver is
    // passed on to the program once the saver is done.
    bool nested = false;
};

// Needs a QGuiApplication; never quits it, and leaves the signal handling as it found it. Returns
// the process exit status: 0 when the saver ran and ended, 1 when no window could be shown, and 0
// without a window when a full-screen saver of this user is already running.
int RunSaver(const SaverRunOptions& options);

}  // namespace quovis
