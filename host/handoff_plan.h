// What happens to a settings file (".oru") named on the command line, before any window
// exists. Three ways out:
//   - one of our files while a configuration window is open: the path goes into the "-Common"
//     mailbox "Me" and the window is signalled; this process ends without showing anything;
//   - one of our files and no window open: the file is kept, and the configuration window
//     this process opens loads it;
//   - a file of another program of the maker's family: that program is started with
//     "/i <slot> <file>" and this process ends. The slot makes a chain of family programs
//     loop-free: each one looks only at the slots after the one that sent the file.
// The decisions are here, as plain code; the socket, the store and the process start are
// behind HandoffPorts, which the Qt side (host/qt/handoff.h) fills in for real.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/command_line.h"
#include "settings/config_lifecycle.h"

namespace quovis {

// The line a second instance sends to the open configuration window once "Me" holds the
// path (the window message number it stands for).
inline constexpr std::string_view kSettingsFileSignal = "1227\n";

enum class ConfigWindowDelivery {
    Delivered,  // the path is in "Me" and the window was signalled
    NoWindow,   // no configuration window is open ("Me" left as it was)
    Failed,     // a window is open but could not be given the path
};

class HandoffPorts {
  public:
    virtual ~HandoffPorts() = default;
    // Whether the file holds one of our settings headers (unreadable files do not).
    virtual bool IsSettingsFile(const std::string& path) = 0;
    virtual ConfigWindowDelivery SendToConfigWindow(const std::string& path) = 0;
    // The first family program after `startSlot` that is not this program.
    virtual std::optional<ProgramSlot> FindOtherProgram(int startSlot) = 0;
    // Starts a program detached; false when it could not be started.
    virtual bool StartProgram(const std::u16string& program,
                              const std::vector<std::string>& arguments) = 0;
};

enum class HandoffOutcome {
    Continue,             // run the chosen mode; fileToOpen is the file it should load
    SentToConfigWindow,   // exit 0
    StartedOtherProgram,  // exit 0
    NoProgramForFile,     // nothing could take the file; exit 0 with a note on stderr
    Failed,               // exit 1 with the message on stderr
};

struct HandoffResult {
    HandoffOutcome outcome = HandoffOutcome::Continue;
    std::string fileToOpen;  // Continue: the last of our files met, absolute; may be empty
    std::string message;     // NoProgramForFile, Failed: one line for stderr

    bool EndsProgram() const { return outcome != HandoffOutcome::Continue; }
    int ExitCode() const { return outcome == HandoffOutcome::Failed ? 1 : 0; }
};

// The arguments another family program gets: "/i", the slot, the path. Passed as separate
// arguments, so a path with spaces arrives whole.
std::vector<std::string> HandoffArguments(int slot, const std::string& path);

// The path made absolute against `workingDirectory`: the configuration window or program
// that receives it runs in a folder of its own. An absolute path is returned as it is.
std::string AbsoluteHandoffPath(const std::string& path, const std::string& workingDirectory);

// Handles the files in command-line order, stopping at the first that ends the program.
// Relative paths are taken against `workingDirectory`.
HandoffResult HandOffSettingsFiles(const std::vector<SettingsFileArgument>& files,
                                   const std::string& workingDirectory, HandoffPorts& ports);

}  // namespace quovis
