// quovis-tool song: writes the synthesised demo song, for trying audio sync without music at
// hand and for rendering a pattern to a known beat.
//
//   song --out FILE.wav [--seconds S] [--bpm B]
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/demo_song.h"
#include "tools/commands.h"

namespace quovis::tool {

int SongCommand(int argc, char** argv) {
    constexpr const char* kUsage =
        "usage: quovis-tool song --out FILE.wav [--seconds S] [--bpm B]\n";
    std::string out;
    long seconds = 20;
    long bpm = 120;
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "quovis-tool song: '%s' needs a value\n%s", opt.c_str(), kUsage);
            return 2;
        }
        const char* value = argv[++i];
        if (opt == "--out") {
            out = value;
            continue;
        }
        const bool isSeconds = opt == "--seconds";
        if (!isSeconds && opt != "--bpm") {
            std::fprintf(stderr, "quovis-tool song: unknown option '%s'\n%s", opt.c_str(), kUsage);
            return 2;
        }
        const auto v =
            isSeconds ? ParseWholeNumber(value, 1, 600) : ParseWholeNumber(value, 40, 240);
        if (!v) {
            std::fprintf(stderr, "quovis-tool song: %s wants a whole number %s, not '%s'\n%s",
                         opt.c_str(), isSeconds ? "from 1 to 600" : "from 40 to 240", value,
                         kUsage);
            return 2;
        }
        (isSeconds ? seconds : bpm) = *v;
    }
    if (out.empty()) {
        std::fprintf(stderr, "quovis-tool song: --out FILE.wav is required\n%s", kUsage);
        return 2;
    }
    const DemoSong song = SynthesiseSong(static_cast<double>(seconds), static_cast<double>(bpm));
    std::string error;
    if (!WriteWavFile(out, song.sound, error)) {
        std::fprintf(stderr, "quovis-tool song: %s: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

}  // namespace quovis::tool
