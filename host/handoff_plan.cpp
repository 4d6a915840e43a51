#include "host/handoff_plan.h"

#include <filesystem>

#include "settings/text_encoding.h"

namespace quovis {

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

HandoffResult Ended(HandoffOutcome outcome, std::string message = {}) {
    HandoffResult result;
    result.outcome = outcome;
    result.message = std::move(message);
    return result;
}

// One of our files: to the open configuration window, or kept for the one we will open.
std::optional<HandoffResult> HandOffOwnFile(const std::string& path, HandoffPorts& ports,
                                            HandoffResult& kept) {
    switch (ports.SendToConfigWindow(path)) {
        case ConfigWindowDelivery::Delivered:
            return Ended(HandoffOutcome::SentToConfigWindow);
        case ConfigWindowDelivery::Failed:
            return Ended(HandoffOutcome::Failed,
                         "the open configuration window could not be given " + Quoted(path));
        case ConfigWindowDelivery::NoWindow:
            break;
    }
    kept.fileToOpen = path;
    return std::nullopt;
}

// A file we cannot use: to the next family program after the one that sent it.
HandoffResult HandOffForeignFile(const std::string& path, int startSlot, HandoffPorts& ports) {
    const std::optional<ProgramSlot> program = ports.FindOtherProgram(startSlot);
    if (!program) {
        return Ended(HandoffOutcome::NoProgramForFile,
                     Quoted(path) +
                         " is not a Quovis settings file (or cannot be read), and no other "
                         "program is registered to open it");
    }
    if (!ports.StartProgram(program->path, HandoffArguments(program->slot, path))) {
        return Ended(
            HandoffOutcome::Failed,
            "could not start " + Quoted(Utf16ToUtf8(program->path)) + " to open " + Quoted(path));
    }
    return Ended(HandoffOutcome::StartedOtherProgram);
}

}  // namespace

std::vector<std::string> HandoffArguments(int slot, const std::string& path) {
    return {"/i", std::to_string(slot), path};
}

std::string AbsoluteHandoffPath(const std::string& path, const std::string& workingDirectory) {
    const std::filesystem::path given(path);
    if (given.is_absolute() || workingDirectory.empty()) return path;
    // Joined, not normalised: ".." after a symbolic link does not mean the folder above.
    return (std::filesystem::path(workingDirectory) / given).string();
}

HandoffResult HandOffSettingsFiles(const std::vector<SettingsFileArgument>& files,
                                   const std::string& workingDirectory, HandoffPorts& ports) {
    HandoffResult kept;
    for (const SettingsFileArgument& file : files) {
        const std::string path = AbsoluteHandoffPath(file.path, workingDirectory);
        if (ports.IsSettingsFile(path)) {
            if (std::optional<HandoffResult> ended = HandOffOwnFile(path, ports, kept)) {
                return *ended;
            }
        } else {
            return HandOffForeignFile(path, file.handoffStart, ports);
        }
    }
    return kept;
}

}  // namespace quovis
