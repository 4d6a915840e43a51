#include "settings/favorite_transfer.h"

#include "engine/style_table.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/drawing_files.h"

namespace quovis {

bool ExportFavorites(ConfigStore& store, const std::string& path, const std::vector<int>& slots,
                     std::string& error) {
    std::vector<int> chosen = slots;
    if (chosen.empty()) {
        for (const FavoriteEntry& entry : ListFavorites(store)) chosen.push_back(entry.slot);
    }
    if (chosen.empty()) {
        error = "there are no favorites to export";
        return false;
    }
    std::vector<PatternSlot> presets;
    for (int slot : chosen) {
        // The stored text itself, not the loaded one: a built-in's "-" credits stay "-".
        const std::optional<std::u16string> text =
            slot >= 0 ? kFavoritesSlot.ReadStored(store, slot) : std::nullopt;
        PatternSlot preset;
        if (!text || text->find(u',') == std::u16string::npos ||
            !ReadPresetString(*text, preset.record) || IsRandomisedPreset(*text)) {
            if (text && IsRandomisedPreset(*text)) {
                error = "favorite " + std::to_string(slot) +
                        " is randomised and draws a new pattern every time; nothing to export";
            } else {
                error = "slot " + std::to_string(slot) + " holds no favorite";
            }
            return false;
        }
        if (preset.record.Style == kStyleDraw) {
            preset.drawing = ReadDrawing(store, preset.record.Name);
        }
        presets.push_back(std::move(preset));
    }
    if (!SaveSettingsFile(std::span<const PatternSlot>(presets), path)) {
        error = "could not write '" + path + "'";
        return false;
    }
    return true;
}

FavoritesImport::FavoritesImport(ConfigStore& store, FavoriteQuestions& questions)
    : m_store(store), m_questions(questions) {
    m_batch.inBatch = true;
}

ImportOutcome FavoritesImport::AddImported(PresetRecord& record, std::u16string_view drawing,
                                           bool keepExisting) {
    if (keepExisting) m_batch.repeated = ReplaceAnswer::No;
    const std::u16string strokes(drawing);
    const AddFavoriteResult result = AddFavorite(
        m_store, record.Name, record, strokes.empty() ? nullptr : &strokes, m_questions, &m_batch);
    m_entries.push_back({record.Name, result.slot, result.outcome});
    switch (result.outcome) {
        case AddOutcome::Added:
            return ImportOutcome::Added;
        case AddOutcome::Replaced:
            return ImportOutcome::Replaced;
        case AddOutcome::Cancelled:
            return ImportOutcome::Cancelled;
        case AddOutcome::Kept:
        case AddOutcome::NoRoom:
        case AddOutcome::WriteFailed:
            break;
    }
    return ImportOutcome::Kept;
}

}  // namespace quovis
