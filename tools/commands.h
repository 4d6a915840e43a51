// The subcommands of quovis-tool. Each takes the arguments after its own name and returns
// the process exit status (0 success, 1 failure, 2 bad arguments).
#pragma once

namespace quovis::tool {

int ConfigCommand(int argc, char** argv);
int RenderCommand(int argc, char** argv);
int PresetCommand(int argc, char** argv);
int FavoritesCommand(int argc, char** argv);
int ExportCommand(int argc, char** argv);
int ImportCommand(int argc, char** argv);
int SlideshowCommand(int argc, char** argv);
int ScreenshotCommand(int argc, char** argv);

}  // namespace quovis::tool
