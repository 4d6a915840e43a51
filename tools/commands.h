// The subcommands of quovis-tool. Each takes the arguments after its own name and returns
// the process exit status (0 success, 1 failure, 2 bad arguments).
#pragma once

#include <optional>

namespace quovis::tool {

// A whole decimal number filling the whole argument, within lo..hi; nullopt otherwise.
std::optional<long> ParseWholeNumber(const char* text, long lo, long hi);

// A picture size "WIDTHxHEIGHT", each side 8..16384; nullopt otherwise.
struct PixelSize {
    int width = 0;
    int height = 0;
};
std::optional<PixelSize> ParsePixelSize(const char* text);

int ConfigCommand(int argc, char** argv);
int RenderCommand(int argc, char** argv);
int PresetCommand(int argc, char** argv);
int FavoritesCommand(int argc, char** argv);
int ExportCommand(int argc, char** argv);
int ImportCommand(int argc, char** argv);
int SlideshowCommand(int argc, char** argv);
// slideshow --render: the slideshow run in simulated time, with its brightness report.
int SlideshowRenderCommand(int argc, char** argv);
int ScreenshotCommand(int argc, char** argv);
int SongCommand(int argc, char** argv);
int LibraryCommand(int argc, char** argv);

}  // namespace quovis::tool
