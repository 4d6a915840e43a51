// Favorites in and out of settings files: export of chosen favorites to one file, and the
// import host that adds what a file holds to the collection.
#pragma once

#include <string>
#include <vector>

#include "settings/favorites.h"
#include "settings/settings_file.h"

namespace quovis {

class ConfigStore;

// Writes the favorites in `slots` (every valid favorite when empty) to one settings file,
// each preset exactly as stored, with its drawing. False, with `error` saying why, when a
// slot holds no favorite or the file cannot be written.
bool ExportFavorites(ConfigStore& store, const std::string& path, const std::vector<int>& slots,
                     std::string& error);

// Adds imported presets to the favorites. Every import is a batch: the same-name question may
// be answered once for all, and a multi-file import keeps the favorites already there.
class FavoritesImport final : public SettingsImportHost {
  public:
    FavoritesImport(ConfigStore& store, FavoriteQuestions& questions);
    ImportOutcome AddImported(PresetRecord& record, std::u16string_view drawing,
                              bool keepExisting) override;

    struct Entry {
        std::u16string name;
        int slot = -1;
        AddOutcome outcome = AddOutcome::Added;
    };
    // Every preset offered so far and what became of it.
    const std::vector<Entry>& Entries() const { return m_entries; }

  private:
    ConfigStore& m_store;
    FavoriteQuestions& m_questions;
    FavoriteBatch m_batch;
    std::vector<Entry> m_entries;
};

}  // namespace quovis
