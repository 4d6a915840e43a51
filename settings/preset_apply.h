// Applying a preset string to a running engine.
//
// The text is read with the preset reader, kept whole as the engine's current preset, and
// every field goes to the engine through its live setter, in the order the fields are
// stored, all under the engine lock, so the frame thread never sees half a preset. The
// caller starts (or restarts) the pattern afterwards.
#pragma once

#include <string>
#include <string_view>

namespace quovis {

class CDrawWnd;
class ConfigStore;

class TextWindow;

struct PresetApplyHost {
    TextWindow* text = nullptr;     // the title lines of who made the pattern; null: none
    ConfigStore* config = nullptr;  // the user's own name and place, for the current settings
};

// Reads `text` (a randomised preset is resolved first, so the engine never sees a -1 field)
// and applies it. False, with the engine unchanged, when the text does not read as a preset.
bool ApplyPresetString(CDrawWnd& engine, std::u16string_view text,
                       const PresetApplyHost& host = {});

// The texts the text window shows for a preset: the name in curly quotes ("Current Settings"
// for the unnamed current settings), the author and the location.
struct PresetCredits {
    std::u16string title;
    std::u16string author;
    std::u16string location;
};
PresetCredits PresetCreditsFor(std::u16string_view name, std::u16string_view author,
                               std::u16string_view location, ConfigStore* config);

}  // namespace quovis
