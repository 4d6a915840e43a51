// quovis-tool preset: reads, normalises and lists preset strings.
//
//   preset normalize TEXT   the writer's form (with texts) of what the reader makes of TEXT
//   preset random           a freshly drawn "Complete Mystery"
//   preset builtin [NAME]   lists the built-in presets, or prints the one called NAME
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "settings/builtin_presets.h"
#include "settings/preset_record.h"
#include "settings/text_encoding.h"
#include "tools/commands.h"

namespace quovis::tool {

namespace {

constexpr const char* kPresetUsage =
    "usage: quovis-tool preset normalize TEXT\n"
    "       quovis-tool preset random\n"
    "       quovis-tool preset builtin [NAME]\n";

int Bad(const char* problem) {
    std::fprintf(stderr, "quovis-tool preset: %s\n%s", problem, kPresetUsage);
    return 2;
}

void PrintLine(std::u16string_view text) {
    std::printf("%s\n", Utf16ToUtf8(text).c_str());
}

int Normalize(const char* argument) {
    const std::optional<std::u16string> text = Utf8ToUtf16(argument);
    if (!text) {
        std::fprintf(stderr, "quovis-tool preset: the text is not valid UTF-8\n");
        return 2;
    }
    PresetRecord record;
    if (!ReadPresetString(*text, record)) {
        std::u16string_view rest = *text;
        const bool noName = NextPresetToken(rest).empty();
        std::fprintf(stderr, "quovis-tool preset: %s\n",
                     noName ? "not a preset: the name is empty"
                            : "not a preset: the motion field lies outside -1..200");
        return 2;
    }
    std::u16string out;
    WritePresetString(record, true, out);
    PrintLine(out);
    return 0;
}

int Random() {
    std::u16string out;
    const std::u16string_view mystery = BuiltinPreset(FindBuiltinPreset(u"Complete Mystery"));
    if (!ResolvePresetString(mystery, out)) return 1;
    PrintLine(out);
    return 0;
}

int Builtin(const char* name) {
    if (name == nullptr) {
        for (int i = 0; i < kBuiltinPresetCount; ++i) {
            std::printf("%2d  %s\n", i, Utf16ToUtf8(BuiltinPresetName(i)).c_str());
        }
        return 0;
    }
    const std::optional<std::u16string> wanted = Utf8ToUtf16(name);
    const int index = wanted ? FindBuiltinPreset(*wanted) : -1;
    if (index < 0) {
        std::fprintf(stderr,
                     "quovis-tool preset: no built-in preset is called '%s' "
                     "(quovis-tool preset builtin lists them)\n",
                     name);
        return 1;
    }
    PrintLine(BuiltinPreset(index));
    return 0;
}

}  // namespace

int PresetCommand(int argc, char** argv) {
    if (argc < 1) return Bad("which preset command?");
    const std::string command = argv[0];
    if (command == "normalize") {
        if (argc != 2) return Bad("normalize takes one preset text (quote it)");
        return Normalize(argv[1]);
    }
    if (command == "random") {
        if (argc != 1) return Bad("random takes no arguments");
        return Random();
    }
    if (command == "builtin") {
        if (argc > 2) return Bad("builtin takes at most one name (quote it)");
        return Builtin(argc == 2 ? argv[1] : nullptr);
    }
    return Bad(("unknown preset command '" + command + "'").c_str());
}

}  // namespace quovis::tool
