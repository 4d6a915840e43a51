// PresetRecord: everything that defines one light pattern, and its one-line text form.
//
// The text form (a "preset string") is the name followed by the numbered fields 1..45,
// separated by single commas. It is what the configuration store, settings files, the
// built-in table and the preset library exchange, so the reader accepts anything: short
// strings get defaults, out-of-range style parameters get the style's defaults, and no input
// can make it read outside the text. The writer is the reader's exact inverse for every
// record the reader produces (except that U+00BB in a text comes back as ">>").
//
// Index:
//   PresetRecord                     the 45 fields plus the three texts and Valid
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

#include "engine/engine_settings.h"

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

struct PresetRecord {
    std::u16string Name;         // 0: "*" = the unnamed current settings
    int32_t Motion = 0;          // 1: 0..5
    int32_t Style = 0;           // 2: 0..29
    int32_t Grains = 0;          // 3: 10..144000
    int32_t Activity = 0;        // 4: 100..6000
    int32_t Viscosity = 0;       // 5: -200..1200
    int32_t Complexity = 0;      // 6: 1..32
    int32_t ColorBright = 0;     // 7: 1..2500
    int32_t Reflections = 0;     // 8: 1..60
    int32_t Symmetric = 0;       // 9: flag
    int32_t ExtraTwist = 0;      // 10: flag
    int32_t Reserved11 = 0;      // 11: always 1 once read
    float Reserved12 = 0.0f;     // 12: always 0
    int32_t DotStyle = 0;        // 13: 0..7
    int32_t Reserved14 = 0;      // 14: written 0
    double Reserved15 = 0.0;     // 15: always 0
    int32_t TrailLength = 0;     // 16: 1..100
    int32_t LeaveTrails = 0;     // 17: flag
    int32_t ParamCount = 0;      // 18: 0..6
    float Param1 = 0.0f;         // 19: start colour
    float Param2 = 0.0f;         // 20
    float Param3 = 0.0f;         // 21
    float Param4 = 0.0f;         // 22
    int32_t Pastels = 0;         // 23: 1..1200
    int32_t ReflectionsOn = 0;   // 24: flag
    int32_t Dither = 0;          // 25: flag
    int32_t FieldColor = 0;      // 26: flag
    int32_t InfluenceRange = 0;  // 27: 0..100
    int32_t Turbulence = 0;      // 28: 4..1000
    int32_t Fuzziness = 0;       // 29: 0 = off, 1..100
    float Param5 = 0.0f;         // 30
    float Param6 = 0.0f;         // 31
    int32_t Pace = 0;            // 32: 1..2000
    int32_t Confinement = 0;     // 33: -1000..1000, multiple of 10
    int32_t MotionVariant = 0;   // 34: 0..4
    int32_t PointMagnitude = 0;  // 35: 1..1000
    int32_t QuickDirty = 0;      // 36: flag
    std::u16string Author;       // 37: "-" = made by the maker
    std::u16string Location;     // 38: "-" = made by the maker
    int32_t WrapFlags = 0;       // 39: bits 1, 2, 4
    int32_t Gamma = 0;           // 40: 0..1000
    int32_t Origin = 0;          // 41: 0 built-in, 1 this user's, 2 received
    int32_t Invert = 0;          // 42: flag
    int32_t ShimmerBright = 0;   // 43: 0..200
    int32_t ShimmerNarrow = 0;   // 44: 0..1000
    int32_t ShineGlitter = 0;    // 45: -600, 0, 600
    int32_t Valid = 0;           // set by a successful read; not in the text

    bool operator==(const PresetRecord&) const = default;
};

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

// The fields the engine takes, as the reader left them (TrailLength 0 becomes 30).
EngineSettings ToEngineSettings(const PresetRecord& record);

}  // namespace quovis
