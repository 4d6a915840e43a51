// quovis-tool: the command-line companion of Quovis for inspecting the configuration store
// and running the engine without a screen.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "tools/commands.h"

namespace quovis::tool {

std::optional<long> ParseWholeNumber(const char* text, long lo, long hi) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return std::nullopt;
    return v;
}

std::optional<PixelSize> ParsePixelSize(const char* text) {
    PixelSize size;
    char extra = 0;
    if (std::sscanf(text, "%dx%d%c", &size.width, &size.height, &extra) != 2) return std::nullopt;
    if (size.width < 8 || size.height < 8 || size.width > 16384 || size.height > 16384)
        return std::nullopt;
    return size;
}

}  // namespace quovis::tool

namespace {

void PrintUsage(FILE* out) {
    std::fputs(
        "usage: quovis-tool config dump [SECTION]\n"
        "       quovis-tool config get SECTION NAME\n"
        "       quovis-tool config set SECTION NAME (text|int|real|binary-hex) VALUE\n"
        "       quovis-tool config delete SECTION [NAME]\n"
        "       quovis-tool preset normalize TEXT\n"
        "       quovis-tool preset random\n"
        "       quovis-tool preset builtin [NAME]\n"
        "       quovis-tool favorites list\n"
        "       quovis-tool favorites add NAME PRESET [--replace]\n"
        "       quovis-tool favorites remove SLOT\n"
        "       quovis-tool export FILE [SLOT...]\n"
        "       quovis-tool import [--replace] FILE...\n"
        "       quovis-tool slideshow --slides N [--seed S]\n"
        "       quovis-tool slideshow --render --minutes N [--size WxH] [--seed S] [--bands N]\n"
        "                                  [--fresh]\n"
        "       quovis-tool screenshot [--window-id N] --out FILE.png\n"
        "       quovis-tool song --out FILE.wav [--seconds S] [--bpm B]\n"
        "       quovis-tool library list [--mine] [--sort 1|3] [--server URL]\n"
        "       quovis-tool library find TEXT [--sort 1|3] [--server URL]\n"
        "       quovis-tool library (show|add [--replace]|withdraw) ID [--server URL]\n"
        "       quovis-tool library share SLOT [--picture FILE.jpg] [--server URL]\n"
        "       quovis-tool library update SLOT [--server URL]\n"
        "       quovis-tool render (--style N | --preset TEXT | --builtin NAME) [--size WxH]\n"
        "                          [--frames N] [--seed S] [--bands N] [--every K]\n"
        "                          [--audio FILE.wav] --out FILE.png\n"
        "       quovis-tool render --contact-sheet [--builtin] [--size WxH] [--frames N]\n"
        "                          --out FILE.png\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "config") == 0) return quovis::tool::ConfigCommand(argc - 2, argv + 2);
    struct Command {
        const char* name;
        int (*run)(int, char**);
    };
    for (const Command& c : {Command{"favorites", quovis::tool::FavoritesCommand},
                             Command{"export", quovis::tool::ExportCommand},
                             Command{"import", quovis::tool::ImportCommand},
                             Command{"slideshow", quovis::tool::SlideshowCommand},
                             Command{"screenshot", quovis::tool::ScreenshotCommand},
                             Command{"song", quovis::tool::SongCommand},
                             Command{"library", quovis::tool::LibraryCommand}}) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    if (std::strcmp(argv[1], "preset") == 0) return quovis::tool::PresetCommand(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "render") == 0) return quovis::tool::RenderCommand(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "quovis-tool: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
