#include "settings/favorites.h"

#include <algorithm>

#include "engine/style_table.h"
#include "settings/builtin_presets.h"
#include "settings/config_lifecycle.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/drawing_files.h"
#include "settings/text_encoding.h"

namespace quovis {

namespace {

std::optional<std::u16string> ReadSlotText(ConfigStore& store, int slot) {
    if (slot == kLastPatternSlot) return kConfigLastPattern.ReadStored(store);
    if (slot < 0) return std::nullopt;
    return kFavoritesSlot.ReadStored(store, slot);
}

std::u16string_view NameOf(std::u16string_view presetText) {
    return presetText.substr(0, presetText.find(u','));
}

std::optional<std::u16string> TextWithoutTexts(const PresetRecord& record) {
    std::u16string text;
    if (!WritePresetString(record, false, text)) return std::nullopt;
    return text;
}

// The first slot an addition may take: absent or removed. -1 when every slot is taken.
int FirstFreeSlot(ConfigStore& store) {
    const int max = MaxFavorites(store);
    for (int n = 0; n < max; ++n) {
        PresetRecord record;
        if (!LoadFavorite(store, n, record) || record.Valid == 0) return n;
    }
    return -1;
}

// The slot of a valid favorite called exactly `name`, or -1.
int SlotNamed(ConfigStore& store, std::u16string_view name) {
    for (const FavoriteEntry& entry : ListFavorites(store)) {
        if (entry.record.Name == name) return entry.slot;
    }
    return -1;
}

}  // namespace

bool LoadFavorite(ConfigStore& store, int slot, PresetRecord& record) {
    record = PresetRecord{};
    const std::optional<std::u16string> text = ReadSlotText(store, slot);
    if (!text) return false;
    if (text->find(u',') == std::u16string::npos || !ReadPresetString(*text, record)) {
        record = PresetRecord{};
        return true;
    }
    if (record.Author == u"-") record.Author = kMakerAuthor;
    if (record.Location == u"-") record.Location = kMakerLocation;
    record.Reserved14 = 0;
    if (record.Pastels == 0) record.Pastels = 500;
    record.Valid = 1;
    return true;
}

int CountFavorites(ConfigStore& store) {
    int n = 0;
    for (;; ++n) {
        const std::optional<std::u16string> text = kFavoritesSlot.ReadStored(store, n);
        if (!text || text->empty()) return n;
    }
}

int MaxFavorites(ConfigStore& store) {
    return kConfigMaxFav.Read(store);
}

int FindFavorite(ConfigStore& store, std::u16string_view presetText) {
    PresetRecord wanted;
    if (!ReadPresetString(presetText, wanted)) return -1;
    const std::optional<std::u16string> key = TextWithoutTexts(wanted);
    if (!key) return -1;
    PresetRecord record;
    for (int n = 0; LoadFavorite(store, n, record); ++n) {
        if (record.Valid == 0) continue;
        const std::optional<std::u16string> text = TextWithoutTexts(record);
        if (text && EqualIgnoringCase(*text, *key)) return n;
    }
    return -1;
}

bool SeedFavorites(ConfigStore& store, std::u16string_view picturesFolder) {
    const int version = kConfigVersion.Read(store);
    ApplyFirstRunDefaults(store, picturesFolder);
    if (version == kFavoritesVersion) return false;

    if (version == -1) {
        for (int i = 0; i < kBuiltinPresetCount; ++i) {
            kFavoritesSlot.Write(store, i, BuiltinPreset(i));
        }
    } else {
        // An older profile: refresh the built-ins the user still has (matched by whole
        // name, so a user's "Time" is not "Time Explosion"), then add the missing ones in
        // free slots, leaving every other slot alone.
        const int max = MaxFavorites(store);
        bool present[kBuiltinPresetCount] = {};
        for (int n = 0; n < max; ++n) {
            const std::optional<std::u16string> text = kFavoritesSlot.ReadStored(store, n);
            if (!text || text->empty()) break;
            const int builtin = FindBuiltinPreset(NameOf(*text));
            if (builtin < 0) continue;
            kFavoritesSlot.Write(store, n, BuiltinPreset(builtin));
            present[builtin] = true;
        }
        int searchFrom = 0;
        for (int i = 0; i < kBuiltinPresetCount; ++i) {
            if (present[i]) continue;
            while (searchFrom < max && kFavoritesSlot.ReadStored(store, searchFrom)) ++searchFrom;
            if (searchFrom >= max) break;  // every slot is taken
            kFavoritesSlot.Write(store, searchFrom, BuiltinPreset(i));
        }
    }
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        const std::u16string_view drawing = BuiltinDrawing(BuiltinPresetName(i));
        if (drawing.empty()) continue;
        const std::u16string strokes(drawing);
        WriteDrawing(store, BuiltinPresetName(i), &strokes);
    }
    kConfigVersion.Write(store, kFavoritesVersion);
    return true;
}

std::u16string FavoriteDisplayName(const PresetRecord& record) {
    std::u16string name = record.Name;
    if (record.Origin == 1) name += u" *";
    if (record.Origin == 2) name += u"  [web]";
    return name;
}

std::vector<FavoriteEntry> ListFavorites(ConfigStore& store) {
    std::vector<FavoriteEntry> entries;
    PresetRecord record;
    for (int n = 0; LoadFavorite(store, n, record); ++n) {
        if (record.Valid != 0) entries.push_back({n, record});
    }
    return entries;
}

AddFavoriteResult AddFavorite(ConfigStore& store, std::u16string_view name, PresetRecord record,
                              const std::u16string* drawing, FavoriteQuestions& questions,
                              FavoriteBatch* batch) {
    std::u16string chosen(name);
    int slot = -1;
    bool replacing = false;
    while (true) {
        if (chosen.empty()) return {AddOutcome::Cancelled, -1};
        const int existing = SlotNamed(store, chosen);
        if (existing < 0) break;
        ReplaceAnswer answer;
        if (batch != nullptr && batch->repeated) {
            answer = *batch->repeated;
        } else {
            bool repeat = false;
            const bool inBatch = batch != nullptr && batch->inBatch;
            answer = questions.AskReplace(chosen, inBatch, &repeat);
            if (inBatch && repeat) batch->repeated = answer;
        }
        if (answer == ReplaceAnswer::Cancel) return {AddOutcome::Cancelled, -1};
        if (answer == ReplaceAnswer::Yes) {
            slot = existing;
            replacing = true;
            break;
        }
        // No: in a batch the favorite already there stays and this one is not added;
        // otherwise the user picks another name.
        if (batch != nullptr && batch->inBatch) return {AddOutcome::Kept, existing};
        std::optional<std::u16string> other = questions.AskNewName(chosen);
        if (!other) return {AddOutcome::Cancelled, -1};
        chosen = std::move(*other);
    }
    if (slot < 0) slot = FirstFreeSlot(store);
    if (slot < 0) return {AddOutcome::NoRoom, -1};

    record.Name = chosen;
    record.Valid = 1;
    std::u16string text;
    if (!WritePresetString(record, true, text) || !kFavoritesSlot.Write(store, slot, text)) {
        return {AddOutcome::WriteFailed, slot};
    }
    if (record.Style == kStyleDraw && drawing != nullptr && !drawing->empty()) {
        WriteDrawing(store, chosen, drawing);
    }
    return {replacing ? AddOutcome::Replaced : AddOutcome::Added, slot};
}

bool RemoveFavorite(ConfigStore& store, int slot, FavoriteQuestions& questions) {
    PresetRecord record;
    if (slot < 0 || !LoadFavorite(store, slot, record) || record.Valid == 0) return false;
    if (!questions.ConfirmRemove(FavoriteDisplayName(record))) return false;
    if (!kFavoritesSlot.Write(store, slot, u"Empty")) return false;
    WriteDrawing(store, record.Name, nullptr);
    std::optional<std::vector<uint8_t>> selection = kConfigRanArray.ReadStored(store);
    if (selection && static_cast<std::size_t>(slot) < selection->size()) {
        (*selection)[static_cast<std::size_t>(slot)] = 0;
        kConfigRanArray.Write(store, *selection);
    }
    return true;
}

}  // namespace quovis
