// The golden pictures: every built-in preset and every pattern style, rendered at 320 x 180
// for 120 frames on one band, must give exactly the picture it gave when the list was made.
// It guards work that must not change what the program draws (reorganising the engine,
// speeding up a kernel): any change to a single pixel shows up here.
//
// When a change of the pictures is intended, render the new list and commit it with the
// change that explains it:
//     QUOVIS_UPDATE_GOLDEN=1 build/release/tests/pictures_tests --gtest_filter='Golden*'
// which rewrites tests/pictures/golden_hashes.txt in the source tree.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "engine/engine_settings.h"
#include "engine/random.h"
#include "engine/style_table.h"
#include "present/headless_renderer.h"
#include "settings/builtin_presets.h"
#include "settings/preset_apply.h"
#include "settings/preset_record.h"
#include "settings/text_encoding.h"

namespace quovis {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 180;
constexpr int kFrames = 120;
constexpr int kStyles = 30;

const std::string kListPath = std::string(QUOVIS_SOURCE_DIR) + "/tests/pictures/golden_hashes.txt";

// FNV-1a over the pixels, with the size in front.
uint64_t PictureHash(const Picture& p) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint32_t word) {
        for (int i = 0; i < 4; ++i) {
            h ^= (word >> (8 * i)) & 0xffu;
            h *= 1099511628211ull;
        }
    };
    mix(static_cast<uint32_t>(p.width));
    mix(static_cast<uint32_t>(p.height));
    for (uint32_t px : p.pixels) mix(px);
    return h;
}

std::string Render(const std::function<bool(CDrawWnd&)>& configure) {
    RenderOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.bands = 1;  // byte for byte the same on every run
    options.seed = 1;
    HeadlessRenderer renderer(options, configure, "the settings could not be applied");
    if (!renderer.Ok()) return std::string("failed: ") + renderer.Error();
    for (int f = 0; f < kFrames; ++f) {
        if (!renderer.RenderFrame()) return "stopped at frame " + std::to_string(f);
    }
    Picture picture;
    renderer.Snapshot(&picture);
    std::ostringstream hex;
    hex << std::hex << PictureHash(picture);
    return hex.str();
}

// A randomised preset ("Complete Mystery") draws new settings on every read; here it draws
// them from a generator with a fixed seed, so that its picture can be compared too.
std::u16string Reproducible(std::u16string_view text) {
    std::u16string out(text);
    PresetRecord record;
    if (!IsRandomisedPreset(text) || !ReadPresetString(text, record)) return out;
    EngineRandom rng;
    rng.Seed(0, 12345u, 67890u);
    CLibraryRand crand;
    crand.Seed(4242u);
    RandomPresetRecord(record, rng, crand);
    WritePresetString(record, true, out);
    return out;
}

// Every picture of the list, by name: "style N" and "preset NAME".
std::map<std::string, std::string> RenderAll() {
    std::map<std::string, std::string> all;
    for (int style = 0; style < kStyles; ++style) {
        all["style " + std::to_string(style)] = Render([style](CDrawWnd& engine) {
            EngineSettings settings;
            settings.Style = style;
            engine.ApplySettings(settings);
            return true;
        });
    }
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        const std::u16string text = Reproducible(BuiltinPreset(i));
        all["preset " + Utf16ToUtf8(BuiltinPresetName(i))] = Render([&text](CDrawWnd& engine) {
            if (!ApplyPresetString(engine, text)) return false;
            const std::u16string_view drawing = BuiltinDrawing(engine.PresetName());
            return drawing.empty() || engine.LoadStrokeList(drawing);
        });
    }
    return all;
}

std::map<std::string, std::string> ReadList() {
    std::map<std::string, std::string> list;
    std::ifstream in(kListPath);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.rfind('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
        list[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return list;
}

void WriteList(const std::map<std::string, std::string>& all) {
    std::ofstream out(kListPath);
    out << "# Golden picture hashes: see tests/pictures/golden_picture_test.cpp\n";
    for (const auto& [name, hash] : all) out << name << '\t' << hash << '\n';
}

TEST(GoldenPictures, EveryStyleAndBuiltInPresetDrawsExactlyAsBefore) {
    const std::map<std::string, std::string> now = RenderAll();
    if (const char* update = std::getenv("QUOVIS_UPDATE_GOLDEN"); update && *update == '1') {
        WriteList(now);
        GTEST_SKIP() << "wrote " << now.size() << " hashes to " << kListPath;
    }
    const std::map<std::string, std::string> golden = ReadList();
    ASSERT_EQ(golden.size(), now.size()) << kListPath << " is missing or out of date";
    int changed = 0;
    for (const auto& [name, hash] : now) {
        const auto it = golden.find(name);
        if (it == golden.end()) {
            ADD_FAILURE() << name << ": not in the list";
        } else if (it->second != hash) {
            ADD_FAILURE() << name << ": picture changed (" << it->second << " -> " << hash << ")";
            ++changed;
        }
    }
    EXPECT_EQ(changed, 0) << "pictures changed; if that is intended, see the file's head";
}

TEST(GoldenPictures, ARenderIsTheSameOnEveryRun) {
    // The list is only a guard if a picture depends on nothing but its settings.
    const auto configure = [](CDrawWnd& engine) {
        EngineSettings settings;
        settings.Style = 7;
        engine.ApplySettings(settings);
        return true;
    };
    EXPECT_EQ(Render(configure), Render(configure));
}

}  // namespace
}  // namespace quovis
