// quovis-tool favorites, export, import and slideshow: the favorites collection and the
// slideshow, for people and scripts, on the stored configuration.
//
//   favorites list                     slot and name (" *" yours, "  [web]" received)
//   favorites add NAME PRESET [--replace]
//   favorites remove SLOT
//   export FILE [SLOT...]              a settings file of those favorites (default: all)
//   import [--replace] FILE...         adds the presets of settings files
//   slideshow --slides N [--seed S]    runs the slideshow's choice N times
//   slideshow --render ...             the slideshow in simulated time
//                                      (slideshow_render_command.cpp)
//
// Like the saver at its start, every command first makes sure the built-in presets are in
// the collection.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/elapsed_time.h"
#include "engine/draw_wnd.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorite_transfer.h"
#include "settings/favorites.h"
#include "settings/pattern_selection.h"
#include "settings/text_encoding.h"
#include "tools/commands.h"

namespace quovis::tool {

namespace {

constexpr const char* kFavoritesUsage =
    "usage: quovis-tool favorites list\n"
    "       quovis-tool favorites add NAME PRESET [--replace]\n"
    "       quovis-tool favorites remove SLOT\n"
    "       quovis-tool export FILE [SLOT...]\n"
    "       quovis-tool import [--replace] FILE...\n"
    "       quovis-tool slideshow --slides N [--seed S]\n"
    "       quovis-tool slideshow --render --minutes N [--size WxH] [--seed S] [--bands N]\n"
    "                                  [--fresh]\n";

int Bad(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool: %s\n%s", problem.c_str(), kFavoritesUsage);
    return 2;
}

std::string Narrow(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

// The command line asks nobody: a same name is replaced only with --replace, otherwise the
// favorite already there is kept; a removal was asked for by naming the slot.
class CommandLineAnswers final : public FavoriteQuestions {
  public:
    explicit CommandLineAnswers(bool replace) : m_replace(replace) {}
    ReplaceAnswer AskReplace(std::u16string_view, bool, bool* repeatForAll) override {
        *repeatForAll = true;
        return m_replace ? ReplaceAnswer::Yes : ReplaceAnswer::No;
    }
    std::optional<std::u16string> AskNewName(std::u16string_view) override { return std::nullopt; }
    bool ConfirmRemove(std::u16string_view) override { return true; }

  private:
    bool m_replace;
};

ConfigStore& SeededStore() {
    ConfigStore& store = ProcessConfigStore();
    SeedFavorites(store, u"");
    return store;
}

int List() {
    ConfigStore& store = SeededStore();
    for (const FavoriteEntry& entry : ListFavorites(store)) {
        std::printf("%4d  %s\n", entry.slot, Narrow(FavoriteDisplayName(entry.record)).c_str());
    }
    return 0;
}

int Add(int argc, char** argv) {
    bool replace = false;
    std::vector<const char*> words;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--replace") {
            replace = true;
        } else {
            words.push_back(argv[i]);
        }
    }
    if (words.size() != 2) return Bad("favorites add takes a NAME and a PRESET (quote them)");
    const std::optional<std::u16string> name = Utf8ToUtf16(words[0]);
    const std::optional<std::u16string> text = Utf8ToUtf16(words[1]);
    if (!name || !text || name->empty()) return Bad("the name and the preset must be UTF-8 text");
    PresetRecord record;
    if (!ReadPresetString(*text, record)) {
        std::fprintf(stderr, "quovis-tool favorites: not a preset: %s\n", words[1]);
        return 2;
    }
    ConfigStore& store = SeededStore();
    // A favorite added here is the user's own, credited to the name the user gave.
    record.Author = kConfigAuthor.Read(store);
    record.Location = kConfigLocation.Read(store);
    record.Origin = 1;
    CommandLineAnswers answers(replace);
    const AddFavoriteResult result = AddFavorite(store, *name, record, nullptr, answers);
    switch (result.outcome) {
        case AddOutcome::Added:
            std::printf("added '%s' in slot %d\n", words[0], result.slot);
            return 0;
        case AddOutcome::Replaced:
            std::printf("replaced '%s' in slot %d\n", words[0], result.slot);
            return 0;
        case AddOutcome::NoRoom:
            std::fprintf(stderr, "quovis-tool favorites: every slot is taken\n");
            return 1;
        case AddOutcome::WriteFailed:
            std::fprintf(stderr, "quovis-tool favorites: the configuration could not be written\n");
            return 1;
        case AddOutcome::Kept:
        case AddOutcome::Cancelled:
            break;
    }
    std::fprintf(stderr,
                 "quovis-tool favorites: a favorite called '%s' exists; add --replace to "
                 "replace it\n",
                 words[0]);
    return 1;
}

int Remove(int argc, char** argv) {
    if (argc != 1) return Bad("favorites remove takes one SLOT number");
    const std::optional<long> slot = ParseWholeNumber(argv[0], 0, 1000000);
    if (!slot)
        return Bad("favorites remove wants a slot number, not '" + std::string(argv[0]) + "'");
    ConfigStore& store = SeededStore();
    CommandLineAnswers answers(false);
    PresetRecord record;
    LoadFavorite(store, static_cast<int>(*slot), record);
    if (!RemoveFavorite(store, static_cast<int>(*slot), answers)) {
        std::fprintf(stderr, "quovis-tool favorites: slot %ld holds no favorite\n", *slot);
        return 1;
    }
    std::printf("removed '%s' from slot %ld\n", Narrow(record.Name).c_str(), *slot);
    return 0;
}

const char* OutcomeWord(AddOutcome outcome) {
    switch (outcome) {
        case AddOutcome::Added:
            return "added";
        case AddOutcome::Replaced:
            return "replaced";
        case AddOutcome::Kept:
            return "kept the existing";
        case AddOutcome::Cancelled:
            return "cancelled";
        case AddOutcome::NoRoom:
            return "no free slot for";
        case AddOutcome::WriteFailed:
            return "could not store";
    }
    return "?";
}

}  // namespace

int FavoritesCommand(int argc, char** argv) {
    if (argc < 1) return Bad("which favorites command?");
    const std::string command = argv[0];
    if (command == "list") return argc == 1 ? List() : Bad("favorites list takes no arguments");
    if (command == "add") return Add(argc - 1, argv + 1);
    if (command == "remove") return Remove(argc - 1, argv + 1);
    return Bad("unknown favorites command '" + command + "'");
}

int ExportCommand(int argc, char** argv) {
    if (argc < 1) return Bad("export needs a FILE");
    std::vector<int> slots;
    for (int i = 1; i < argc; ++i) {
        const std::optional<long> slot = ParseWholeNumber(argv[i], 0, 1000000);
        if (!slot) return Bad("export wants slot numbers, not '" + std::string(argv[i]) + "'");
        slots.push_back(static_cast<int>(*slot));
    }
    ConfigStore& store = SeededStore();
    std::string error;
    if (!ExportFavorites(store, argv[0], slots, error)) {
        std::fprintf(stderr, "quovis-tool export: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", argv[0]);
    return 0;
}

int ImportCommand(int argc, char** argv) {
    bool replace = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--replace") {
            replace = true;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) return Bad("import needs at least one FILE");
    ConfigStore& store = SeededStore();
    CommandLineAnswers answers(replace);
    FavoritesImport host(store, answers);
    int status = 0;
    for (const std::string& file : files) {
        const std::size_t before = host.Entries().size();
        const ImportReport report = ImportSettingsFile(file, files.size() == 1, host);
        if (report.unreadable) {
            std::fprintf(stderr, "quovis-tool import: %s: %s\n", file.c_str(),
                         report.tooLarge ? "too large for a settings file (64 KiB or more)"
                                         : "cannot be read");
            status = 1;
            continue;
        }
        if (report.noSettings) {
            std::fprintf(stderr, "quovis-tool import: %s: not a settings file\n", file.c_str());
            status = 1;
            continue;
        }
        for (std::size_t i = before; i < host.Entries().size(); ++i) {
            const FavoritesImport::Entry& e = host.Entries()[i];
            std::printf("%s: %s '%s'", file.c_str(), OutcomeWord(e.outcome),
                        Narrow(e.name).c_str());
            if (e.slot >= 0) std::printf(" (slot %d)", e.slot);
            std::printf("\n");
        }
        if (report.skippedLines > 0) {
            std::printf("%s: skipped %d line%s that %s not presets\n", file.c_str(),
                        report.skippedLines, report.skippedLines == 1 ? "" : "s",
                        report.skippedLines == 1 ? "is" : "are");
            for (const std::u16string& line : report.skipped) {
                std::printf("  %s\n", Narrow(line).c_str());
            }
        }
    }
    return status;
}

int SlideshowCommand(int argc, char** argv) {
    if (std::find_if(argv, argv + argc, [](const char* a) {
            return std::strcmp(a, "--render") == 0;
        }) != argv + argc) {
        return SlideshowRenderCommand(argc, argv);
    }
    long slides = -1;
    long seed = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (i + 1 >= argc) return Bad("'" + opt + "' needs a value");
        const char* value = argv[++i];
        if (opt == "--slides") {
            const std::optional<long> v = ParseWholeNumber(value, 1, 100000);
            if (!v) return Bad("--slides wants a number from 1 to 100000");
            slides = *v;
        } else if (opt == "--seed") {
            const std::optional<long> v = ParseWholeNumber(value, -2147483647L, 2147483647L);
            if (!v || *v == 0) return Bad("--seed wants a non-zero whole number");
            seed = *v;
        } else {
            return Bad("unknown option '" + opt + "'");
        }
    }
    if (slides < 0) return Bad("slideshow needs --slides N");
    ConfigStore& store = ProcessConfigStore();
    const bool seeded = SeedFavorites(store, u"");
    SystemClock clock;
    EngineOptions options;
    options.workerCount = 1;
    CDrawWnd engine(clock, options);
    if (!engine.IsUsable()) {
        std::fprintf(stderr, "quovis-tool slideshow: not enough memory for the engine\n");
        return 1;
    }
    if (seed == 0) {
        seed = static_cast<long>(std::chrono::steady_clock::now().time_since_epoch().count() %
                                 2147483646) +
               1;
    }
    engine.Seed(static_cast<int32_t>(seed));
    engine.SetCanvasSize(320, 180);
    engine.SetWindowSize(320, 180);
    // As the saver runs it: the history and the last pattern are kept as it would keep them.
    engine.SetSaverMode(true);
    PatternSelection selection(store);
    selection.ReadSettings(seeded);
    std::printf("slideshow %s, up to %d evolutions, %d favorites, seed %ld\n",
                selection.SlideshowOn() ? "on" : "off", selection.Deviations(),
                selection.FavoriteCount(), seed);
    for (long n = 1; n <= slides; ++n) {
        if (!selection.SelectNext(engine)) {
            std::fprintf(stderr, "quovis-tool slideshow: no pattern could be chosen\n");
            return 1;
        }
        const PatternSelection::Shown& shown = selection.LastShown();
        std::string from = shown.source >= 0
                               ? "slot " + std::to_string(shown.source)
                               : std::string(shown.source == -1 ? "current settings" : "library");
        std::printf("%4ld  %-28s %2d evolution%s  (%s)\n", n, Narrow(shown.name).c_str(),
                    shown.mutations, shown.mutations == 1 ? " " : "s", from.c_str());
    }
    return 0;
}

}  // namespace quovis::tool
