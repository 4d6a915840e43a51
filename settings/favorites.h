// Favorites: the user's collection of named presets, one preset string per numbered slot of
// the configuration store, seeded with the built-in presets on first run.
//
// A slot is absent (never written; the first absent slot ends every scan), removed ("Empty",
// or any text that does not read as a preset; skipped, its number kept for reuse) or filled.
// Slot numbers never change. The questions the collection must ask (replace a favorite of the
// same name? remove this one?) come from a callback, so the configuration window can show
// dialogs and tests and the command line can answer them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/pattern_slot.h"
#include "settings/preset_record.h"

namespace quovis {

class ConfigStore;

// What a built-in preset says in place of its author and location ("-").
inline constexpr std::u16string_view kMakerAuthor = u"A Ferrowick Original";
inline constexpr std::u16string_view kMakerLocation = u"https://ferrowick.software/quovis";
// The seeding version a profile has once every built-in preset of this release is present.
inline constexpr int kFavoritesVersion = 31;

// Reads favorite `slot` (kLastPatternSlot: the last pattern shown). False only when the value
// is absent; a removed slot gives true with the record not Valid. "-" texts become the
// maker's credits.
bool LoadFavorite(ConfigStore& store, int slot, PresetRecord& record);
// Consecutive slots from 0 that hold a text (removed ones count).
int CountFavorites(ConfigStore& store);
// The number of slots the collection may use ("MaxFav").
int MaxFavorites(ConfigStore& store);
// The first valid slot whose preset equals `presetText`, names, authors and locations aside,
// compared case-insensitively; -1 when none. A text that does not read finds nothing.
int FindFavorite(ConfigStore& store, std::u16string_view presetText);

// First run and upgrades, at engine start: writes the built-in presets into a fresh profile,
// or refreshes and adds them in an older one, and the drawing of the drawing preset. True
// when anything was written. picturesFolder is where the snapshot folder goes on first run.
bool SeedFavorites(ConfigStore& store, std::u16string_view picturesFolder);

// A favorite as lists show it: its name, " *" when the user made it, "  [web]" when it came
// from someone else.
std::u16string FavoriteDisplayName(const PresetRecord& record);

struct FavoriteEntry {
    int slot = -1;
    PresetRecord record;
};
// Every valid favorite, in slot order, up to the first absent slot.
std::vector<FavoriteEntry> ListFavorites(ConfigStore& store);

// ---- Adding and removing ------------------------------------------------------------------

enum class ReplaceAnswer { Yes, No, Cancel };

class FavoriteQuestions {
  public:
    virtual ~FavoriteQuestions() = default;
    // "Replace Existing Favorite?" for a favorite called `name`. In a batch the user may tick
    // "Repeat this answer for all following items" (set *repeatForAll).
    virtual ReplaceAnswer AskReplace(std::u16string_view name, bool inBatch,
                                     bool* repeatForAll) = 0;
    // After "No": another name for the new favorite; nullopt cancels.
    virtual std::optional<std::u16string> AskNewName(std::u16string_view name) = 0;
    // "Remove Favorite?"; true removes.
    virtual bool ConfirmRemove(std::u16string_view name) = 0;
};

// The answer repeated over a batch (an import of several presets or files). A multi-file
// import starts with No for all: favorites of the same name are kept.
struct FavoriteBatch {
    bool inBatch = false;
    std::optional<ReplaceAnswer> repeated;
};

enum class AddOutcome { Added, Replaced, Kept, Cancelled, NoRoom, WriteFailed };

struct AddFavoriteResult {
    AddOutcome outcome = AddOutcome::Cancelled;
    int slot = -1;
};

// Stores `record` under `name`: over the favorite of the same name when the user says so,
// else in the first absent or removed slot. A drawing-style preset's strokes go to its
// drawing file. The record's texts and Origin are stored as given.
AddFavoriteResult AddFavorite(ConfigStore& store, std::u16string_view name, PresetRecord record,
                              const std::u16string* drawing, FavoriteQuestions& questions,
                              FavoriteBatch* batch = nullptr);

// Asks, then marks the slot removed, deletes its drawing file and takes it out of the stored
// slideshow selection. False when the user declined or the slot holds no favorite.
bool RemoveFavorite(ConfigStore& store, int slot, FavoriteQuestions& questions);

}  // namespace quovis
