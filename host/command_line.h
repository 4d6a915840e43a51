// The saver's command line: what the screen-saver host, a launcher, a file manager or a user
// asked for, turned into one RunRequest. Parsing is a pure function of the arguments (and of
// the environment lookup it is given), so every case is testable without a process.
//
// Windows screen-saver switches (every comparison ignores ASCII case):
//   /s  -s                  full-screen saver
//   /p  -p  p  [N]          preview inside window N (decimal); without a window nothing runs
//   /i  -i  [N]             the program-list slot that handed us a settings file (a chain of
//                           the maker's programs passes a foreign file on without looping)
//   /c  -c  c  [:N | N]     configuration, as is any call with neither a saver nor a preview
//                           switch (the number, the owner window, is not needed here)
//   *.oru                   a settings file, handed off at the point the parser meets it
// xscreensaver conventions, with one or two leading dashes:
//   --window                run in an ordinary resizable window
//   --root                  draw into the window named by $XSCREENSAVER_WINDOW
//   --window-id N           draw into window N (decimal or 0x hexadecimal)
//   --fps                   show the frame rate all the time
//   --help  --version
//
// A number after /p or /i is taken only when the next argument is a number; anything else is
// read as an argument of its own. (Taking it regardless would swallow "/s" in "/p /s", or a
// settings file in "/i file.oru".) Arguments that are not switches and not settings files,
// and switches nobody knows, are errors: a user who mistyped gets told, not a surprise mode.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quovis {

enum class RunMode {
    Configuration,  // the configuration window; exit code 1 whatever it returns
    Saver,          // the saver in the surface below; exit code from its loop
    Nothing,        // a preview switch without a window: nothing to show, exit code 0
    Help,           // print UsageText, exit code 0
    Version,        // print VersionLine, exit code 0
    Error,          // print `error` and a hint to --help, exit code kExitUsageError
};

enum class SaverSurface {
    FullScreen,     // every monitor (or the preferred one); input ends the saver
    Window,         // an ordinary resizable window; the keys work, only closing it ends it
    ForeignWindow,  // inside someone else's window (preview, xscreensaver): input never ends
                    // the saver and the drawing follows that window's size
};

// A settings file named on the command line, with the "/i" slot in force where it stood.
struct SettingsFileArgument {
    std::string path;
    int handoffStart = 0;

    bool operator==(const SettingsFileArgument&) const = default;
};

struct RunRequest {
    RunMode mode = RunMode::Configuration;
    SaverSurface surface = SaverSurface::FullScreen;
    uint64_t parentWindow = 0;   // ForeignWindow: the window to draw into, never 0
    bool noArguments = false;    // configuration with no owner at all
    bool showFrameRate = false;  // --fps
    // --root: the screen-saver host's saver proper (not a settings preview), which keeps the
    // slideshow history and the last pattern like a full-screen saver.
    bool hostedSaver = false;
    std::vector<SettingsFileArgument> settingsFiles;  // in command-line order
    std::string error;                                // RunMode::Error: what was wrong

    bool IsPreview() const {
        return mode == RunMode::Saver && surface == SaverSurface::ForeignWindow;
    }
};

// Exit code of a command line that could not be understood (the usual one for usage errors).
inline constexpr int kExitUsageError = 2;
// The configuration window's exit code, whatever the window returns. Success: launchers,
// desktop files and session managers take any other code for a failure to start.
inline constexpr int kExitConfiguration = 0;

// The environment variable xscreensaver sets to the window a hack should draw into.
inline constexpr std::string_view kXScreenSaverWindowVariable = "XSCREENSAVER_WINDOW";

// Looks up an environment variable; nullopt when unset.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The real environment of this process.
std::optional<std::string> ProcessEnvironment(std::string_view name);

// `args` are the arguments after the program name. `environment` is consulted only for
// --root. Never throws; bad input gives RunMode::Error with a one-line explanation.
RunRequest ParseCommandLine(const std::vector<std::string>& args,
                            const EnvironmentLookup& environment);
RunRequest ParseCommandLine(const std::vector<std::string>& args);

// The --help text, naming the program as `programName`.
std::string UsageText(std::string_view programName);
// The --version line: "Quovis 2.1.4051".
std::string VersionLine();

// A window id as the xscreensaver conventions write it: decimal, or hexadecimal after "0x".
// nullopt for anything else, for 0 and for values beyond 32 bits (X11 ids are 29-bit).
std::optional<uint64_t> ParseWindowId(std::string_view text);

}  // namespace quovis
