// PatternSlot: one preset on its way between the favorites, the slideshow history, settings
// files and the preset library, together with what travels with it: the drawing of a
// drawing-style preset, the library id and the library page texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/preset_record.h"

namespace quovis {

class ConfigStore;

// The slot number that stands for the last pattern shown instead of a favorite.
constexpr int kLastPatternSlot = -99;
// The name the last pattern's drawing file is kept under.
inline constexpr std::u16string_view kLastPatternDrawing = u"LastPattern";

struct PatternSlot {
    std::optional<std::u16string> drawing;  // stroke list of a drawing-style preset
    int32_t libraryId = -1;                 // -1: not a library item
    PresetRecord record;                    // not Valid until loaded
    std::optional<std::u16string> cachedText;
    // Texts of the library pages.
    std::u16string keywords;
    std::optional<std::u16string> description;
    int32_t audio = -1;  // -1: not said
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;

    // The record's preset string (re-written on each call into cachedText); nullptr when the
    // record is not valid.
    const std::u16string* PresetText(bool withTexts);
    void SetDrawing(std::optional<std::u16string> strokes) { drawing = std::move(strokes); }

    // Loads favorite `slot` (or kLastPatternSlot), with its drawing for a drawing-style
    // preset. False when the slot is absent; true with an invalid record for a removed slot.
    bool LoadFromFavorite(ConfigStore& store, int slot);
    // The current settings ("Config" "Settings") and their drawing; false when empty.
    bool LoadCurrentSettings(ConfigStore& store);
    bool LoadLastPattern(ConfigStore& store);
    // Stores this slot as the last pattern shown: library id, text and drawing.
    bool SaveAsLastPattern(ConfigStore& store);
};

}  // namespace quovis
