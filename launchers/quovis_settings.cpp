// quovis-settings: opens the desktop's screen-saver settings, where the user picks the saver
// and its timeout: xscreensaver's settings program when it is installed (its newer name
// first), otherwise Quovis's own configuration window. Arguments are ignored; prints nothing
// unless asked with --help, never waits, and exits 0 whatever happened.
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "launchers/launch.h"

int main(int argc, char** argv) {
    if (quovis::launch::AskedForHelp(argc, argv)) {
        std::fputs(
            "Usage: quovis-settings\n"
            "Opens the screen-saver settings: xscreensaver-settings (or xscreensaver-demo)\n"
            "when xscreensaver is installed, otherwise the Quovis configuration window.\n",
            stdout);
        return 0;
    }
    constexpr std::array<std::string_view, 3> kChoices = {"xscreensaver-settings",
                                                          "xscreensaver-demo", "quovis"};
    for (const std::string_view name : kChoices) {
        const std::string program = quovis::launch::FindProgram(name);
        if (program.empty()) continue;
        // One that is found but will not start (a broken install) gives way to the next.
        if (quovis::launch::StartDetached(program, name, {})) break;
    }
    return 0;
}
