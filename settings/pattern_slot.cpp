#include "settings/pattern_slot.h"

#include "engine/style_table.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/drawing_files.h"
#include "settings/favorites.h"

namespace quovis {

const std::u16string* PatternSlot::PresetText(bool withTexts) {
    std::u16string text;
    if (!WritePresetString(record, withTexts, text)) {
        cachedText.reset();
        return nullptr;
    }
    cachedText = std::move(text);
    return &*cachedText;
}

bool PatternSlot::LoadFromFavorite(ConfigStore& store, int slot) {
    drawing.reset();
    if (!LoadFavorite(store, slot, record)) return false;
    if (record.Valid != 0 && record.Style == kStyleDraw) {
        drawing = ReadDrawing(store, slot == kLastPatternSlot ? kLastPatternDrawing
                                                              : std::u16string_view(record.Name));
    }
    return true;
}

bool PatternSlot::LoadCurrentSettings(ConfigStore& store) {
    drawing.reset();
    record = PresetRecord{};
    const std::u16string text = kConfigSettings.Read(store);
    if (text.empty() || !ReadPresetString(text, record)) return false;
    if (record.Style == kStyleDraw) {
        const std::u16string strokes = kConfigDrawing.Read(store);
        if (!strokes.empty()) drawing = strokes;
    }
    return true;
}

bool PatternSlot::LoadLastPattern(ConfigStore& store) {
    return LoadFromFavorite(store, kLastPatternSlot) && record.Valid != 0;
}

bool PatternSlot::SaveAsLastPattern(ConfigStore& store) {
    const std::u16string* text = PresetText(true);
    if (text == nullptr) return false;
    kConfigLastId.Write(store, libraryId);
    if (!kConfigLastPattern.Write(store, *text)) return false;
    if (record.Style == kStyleDraw && drawing && !drawing->empty()) {
        WriteDrawing(store, kLastPatternDrawing, &*drawing);
    }
    return true;
}

}  // namespace quovis
