// quovis-run: starts the saver with the arguments it was given, each passed on as it is, so
// a menu entry or a shortcut needs no knowledge of the saver's switches. No arguments opens
// the configuration window; "/s" runs the saver full screen. Prints nothing, never waits and
// exits 0 whatever happened: a launcher has no one to report to.
#include <cstdio>
#include <string>
#include <vector>

#include "launchers/launch.h"

int main(int argc, char** argv) {
    if (quovis::launch::AskedForHelp(argc, argv)) {
        std::fputs(
            "Usage: quovis-run [argument...]\n"
            "Starts quovis (the one beside quovis-run, else the one on PATH) with the\n"
            "arguments unchanged and returns at once. Without arguments the configuration\n"
            "window opens; quovis-run /s runs the saver full screen. quovis --help lists\n"
            "the saver's options.\n",
            stdout);
        return 0;
    }
    const std::string saver = quovis::launch::FindProgram("quovis");
    if (!saver.empty()) {
        const std::vector<std::string> args(argv + 1, argv + argc);
        quovis::launch::StartDetached(saver, "quovis", args);
    }
    return 0;
}
