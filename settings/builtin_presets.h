// The presets the program ships with: 73 preset strings in the order a fresh profile's
// favorites are seeded, and the one stored drawing that comes with them.
#pragma once

#include <string_view>

namespace quovis {

constexpr int kBuiltinPresetCount = 73;

// The preset string of entry `index` (0..72); empty outside that range.
std::u16string_view BuiltinPreset(int index);
// Its name: the text before the first comma.
std::u16string_view BuiltinPresetName(int index);
// The entry with exactly this name, or -1.
int FindBuiltinPreset(std::u16string_view name);
// The stored drawing (a stroke list) of a built-in drawing-style preset; empty for a name
// without one.
std::u16string_view BuiltinDrawing(std::u16string_view name);

// The preset shown whenever no current settings exist: the first entry.
std::u16string_view DefaultPresetString();

}  // namespace quovis
