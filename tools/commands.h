// The subcommands of quovis-tool. Each takes the arguments after its own name and returns
// the process exit status (0 success, 1 failure, 2 bad arguments).
#pragma once

#include <optional>

namespace quovis::tool {

// A whole decimal number filling the whole argument, within lo..hi; nullopt otherwise.
std::optional<long> ParseWholeNumber(const char* text, long lo, long hi);

int ConfigCommand(int argc, char** argv);
int RenderCommand(int argc, char** argv);
int PresetCommand(int argc, char** argv);
int FavoritesCommand(int argc, char** argv);
int ExportCommand(int argc, char** argv);
int ImportCommand(int argc, char** argv);
int SlideshowCommand(int argc, char** argv);
int ScreenshotCommand(int argc, char** argv);
int SongCommand(int argc, char** argv);
int LibraryCommand(int argc, char** argv);

}  // namespace quovis::tool
