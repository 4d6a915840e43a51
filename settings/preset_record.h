// The one-line text form of a PresetRecord: its reader and writer.
//
// The text form (a "preset string") is the name followed by the numbered fields 1..45,
// separated by single commas. It is what the configuration store, settings files, the
// built-in table and the preset library exchange, so the reader accepts anything: short
// strings get defaults, out-of-range style parameters get the style's defaults, and no input
// can make it read outside the text. The writer is the reader's exact inverse for every
// record the reader produces (except that U+00BB in a text comes back as ">>"). Both walk
// the field table (engine/preset_fields.h), which holds the record itself and every field's
// number, default, zero rule and written form.
//
// Index:
//   NextPresetToken, PresetTokenToInt the tokeniser shared by everything that walks a string
//   ReadPresetString / WritePresetString
//   RandomPresetRecord               fills a record for a randomised preset (Motion -1)
//   StyleDefaultParams / StyleClampParams
//   ToEngineSettings                 the fields the engine takes
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/preset_fields.h"

namespace quovis {

class EngineRandom;
class CLibraryRand;

// Widths of the texts, in UTF-16 units. Longer texts are cut when read.
constexpr std::size_t kPresetNameMax = 127;
constexpr std::size_t kPresetTextMax = 255;
// The longest preset string the writer produces.
constexpr std::size_t kPresetStringMax = 511;

// The character that stands for a comma inside a stored text (right-pointing double angle
// quotation mark).
constexpr char16_t kPresetCommaEscape = u'\u00BB';

// The next token of `rest`: everything up to, not including, the next comma or the first
// character below U+0020, or to the end. The token and its terminating character are removed
// from `rest`.
std::u16string_view NextPresetToken(std::u16string_view& rest);

// A number token as the C library's wide-text-to-int rule reads it: leading white space
// skipped, an optional sign, decimal digits up to the first non-digit. An empty token or one
// without digits gives 0; values past the int32 range saturate.
int32_t PresetTokenToInt(std::u16string_view token);

// Clears `record`, then reads `text` into it. False (record cleared, not Valid) when the name
// is empty or Motion lies outside -1..200. Motion -1 draws a random record (keeping the name)
// from one process-wide generator.
bool ReadPresetString(std::u16string_view text, PresetRecord& record);

// Writes `record` as a preset string of at most kPresetStringMax characters. Without
// `withTexts` the name is left out (the text starts with Motion) and Author and Location are
// written as empty fields. False, with `out` untouched, when the record is not Valid.
bool WritePresetString(const PresetRecord& record, bool withTexts, std::u16string& out);

// True for a randomised preset: its Motion field is -1, so every read draws a new record.
bool IsRandomisedPreset(std::u16string_view text);
// The text itself, or for a randomised preset the writer's form (with texts) of a freshly
// drawn record. False, `out` untouched, when the text does not read as a preset.
bool ResolvePresetString(std::u16string_view text, std::u16string& out);

// Fills the numeric fields of a randomised preset from `rng` (and `crand` for the one coin
// flip the design takes from the C library's generator). Name, texts, the reserved fields and
// Valid are left as they are.
void RandomPresetRecord(PresetRecord& record, EngineRandom& rng, CLibraryRand& crand);

// The fields the engine takes, as the record holds them. `storedFields` is how many fields
// followed the name in the text the record was read from: a field past it takes the engine's
// own default where the table gives one (an old string's turbulence).
EngineSettings ToEngineSettings(const PresetRecord& record, int storedFields = kPresetFieldCount);

}  // namespace quovis
