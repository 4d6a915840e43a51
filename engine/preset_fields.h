// The preset's fields: the record that holds them, the numbers the engine takes from them, and
// the one table that says what each field is.
//
// A preset string is the name followed by the numbered fields 1..45. Each field has one row
// in kPresetFields: its number, name, kind, range, the default an older string that stops
// before it gets, the rule by which a stored 0 stands for another value, the scale between
// the stored number and the engine's, and where it lives in PresetRecord and EngineSettings.
// The reader and writer (settings layer), ToEngineSettings, CDrawWnd::ApplySettings and the
// configuration window's controls all read the rows; none of them repeats a default, range or
// scale. A new field is a member in the two structs, one row here and its setter.
//
// The table lives in the engine layer because ApplySettings, which the headless renderer calls
// below the settings layer, reads its rules, and the engine may not include settings headers.
// A member pointer needs its class complete, so PresetRecord, a plain value with no behaviour
// of its own, is defined here too; its reader and writer stay in settings/preset_record.h.
//
// Index:
//   EngineSettings              the fields the engine takes, in the units a preset stores them
//   PresetRecord                the 45 fields plus the name and Valid
//   PresetField, kPresetFields  the table
//   FindPresetField, PresetFieldNumbered, PresetFieldNamed, PresetFieldAbsent   look-ups
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/vocabulary.h"

namespace quovis {

// The default a preset string that stops before the field gets. Defined below the table.
constexpr int32_t PresetFieldAbsent(std::string_view name);

// One pattern's settings as plain numbers, in the units a preset stores them; ApplySettings
// sends them to the engine through the live setters. A preset fills every member from its
// record (ToEngineSettings). The starting values below are what a hand-built pattern gets in
// tools, tests and benchmarks; for the fields an older string may omit they are the preset's
// own defaults, except that a hand-built pattern draws its points at half strength.
struct EngineSettings {
    int32_t Motion = kMotionLinear;
    int32_t Style = kStyleBigBang;
    int32_t Grains = 40000;
    int32_t Activity = 2000;
    int32_t Viscosity = 600;
    int32_t Complexity = 8;
    int32_t ColorBright = 1200;
    int32_t Reflections = 1;
    int32_t Symmetric = 0;
    int32_t ExtraTwist = 0;
    int32_t DotStyle = kDotPoints;
    int32_t TrailLength = 60;
    int32_t LeaveTrails = 1;
    int32_t ParamCount = 0;  // 0 = the style's own defaults
    float Param[kStyleParamSlots] = {};
    int32_t Pastels = 150;
    int32_t ReflectionsOn = 1;
    int32_t Dither = 0;
    int32_t FieldColor = PresetFieldAbsent("FieldColor");
    int32_t InfluenceRange = PresetFieldAbsent("InfluenceRange");
    int32_t Turbulence = PresetFieldAbsent("Turbulence");
    int32_t Fuzziness = PresetFieldAbsent("Fuzziness");
    int32_t Pace = PresetFieldAbsent("Pace");
    int32_t Confinement = PresetFieldAbsent("Confinement");
    int32_t MotionVariant = PresetFieldAbsent("MotionVariant");
    int32_t PointMagnitude = 500;
    int32_t QuickDirty = PresetFieldAbsent("QuickDirty");
    int32_t WrapFlags = PresetFieldAbsent("WrapFlags");
    int32_t Gamma = PresetFieldAbsent("Gamma");
    int32_t Invert = PresetFieldAbsent("Invert");
    int32_t ShimmerBright = PresetFieldAbsent("ShimmerBright");
    int32_t ShimmerNarrow = PresetFieldAbsent("ShimmerNarrow");
    int32_t ShineGlitter = PresetFieldAbsent("ShineGlitter");
};

// Everything that defines one light pattern. A plain value: copied freely, born cleared (all
// zero, not Valid); a successful read fills it. Members in the order of their field numbers.
struct PresetRecord {
    std::u16string Name;  // "*" = the unnamed current settings
    int32_t Motion = 0;
    int32_t Style = 0;
    int32_t Grains = 0;
    int32_t Activity = 0;
    int32_t Viscosity = 0;
    int32_t Complexity = 0;
    int32_t ColorBright = 0;
    int32_t Reflections = 0;
    int32_t Symmetric = 0;
    int32_t ExtraTwist = 0;
    int32_t Reserved11 = 0;
    float Reserved12 = 0.0f;
    int32_t DotStyle = 0;
    int32_t Reserved14 = 0;
    double Reserved15 = 0.0;
    int32_t TrailLength = 0;
    int32_t LeaveTrails = 0;
    int32_t ParamCount = 0;
    float Param1 = 0.0f;  // the start colour in most styles
    float Param2 = 0.0f;
    float Param3 = 0.0f;
    float Param4 = 0.0f;
    int32_t Pastels = 0;
    int32_t ReflectionsOn = 0;
    int32_t Dither = 0;
    int32_t FieldColor = 0;
    int32_t InfluenceRange = 0;
    int32_t Turbulence = 0;
    int32_t Fuzziness = 0;
    float Param5 = 0.0f;
    float Param6 = 0.0f;
    int32_t Pace = 0;
    int32_t Confinement = 0;
    int32_t MotionVariant = 0;
    int32_t PointMagnitude = 0;
    int32_t QuickDirty = 0;
    std::u16string Author;    // "-" = made by the maker
    std::u16string Location;  // "-" = made by the maker
    int32_t WrapFlags = 0;
    int32_t Gamma = 0;
    int32_t Origin = 0;  // 0 built-in, 1 this user's, 2 received
    int32_t Invert = 0;
    int32_t ShimmerBright = 0;
    int32_t ShimmerNarrow = 0;
    int32_t ShineGlitter = 0;
    int32_t Valid = 0;  // set by a successful read; not in the text

    bool operator==(const PresetRecord&) const = default;
};

constexpr int kPresetFieldCount = 45;
// Strings older than the current form stop after field 25, 29, 32, 36 or 38; from this field
// on, a missing field takes its default.
constexpr int kFirstOptionalPresetField = 26;

enum class PresetFieldKind : uint8_t {
    Number,    // a whole number in min..max
    Flag,      // 0 or 1
    Bits,      // a bit set (min..max bounds it)
    Param,     // a style parameter: a float holding a whole number; the style sets its range
    Text,      // escaped text: a comma is stored as U+00BB
    Fixed,     // reserved: always holds and writes `fixed`, whatever the text says
    Real,      // reserved: holds `fixed` once read; writes the record's real number
    Reserved,  // reserved: keeps what the text says, but writes `fixed`
};

struct PresetField {
    int number = 0;         // position after the name, 1..45
    std::string_view name;  // the field's name, as in PresetRecord
    PresetFieldKind kind = PresetFieldKind::Number;
    int32_t min = 0;
    int32_t max = 0;
    int32_t absent = 0;                       // the reader's value when the text stops before it
    std::optional<int32_t> absentWithTrails;  // instead of `absent` when LeaveTrails is on
    // What the engine takes for a field the text stops before, where that differs from
    // `absent`: strings that old were made for an engine that behaved so.
    std::optional<int32_t> engineAbsent;
    std::optional<int32_t> zeroMeans;  // a stored 0 stands for this value
    int32_t scale = 1;                 // the engine takes the stored number / scale
    int32_t step = 1;                  // the writer stores the nearest multiple (halves up)
    bool onlyWithTrails = false;       // means nothing without LeaveTrails: written as 0
    bool startColourCodes = false;     // the old codes 0, 1 and 2 read as 1000, 1100, 1050
    int32_t fixed = 0;                 // reserved kinds: the value written (Real: read)
    int paramSlot = -1;                // Param: 0..5
    int32_t PresetRecord::*recordInt = nullptr;
    float PresetRecord::*recordParam = nullptr;
    std::u16string PresetRecord::*recordText = nullptr;
    double PresetRecord::*recordReal = nullptr;
    int32_t EngineSettings::*engine = nullptr;  // null: the engine does not take it

    constexpr bool Optional() const { return number >= kFirstOptionalPresetField; }
    // The value a text that stops before this field gives it, given the record's LeaveTrails.
    constexpr int32_t AbsentValue(bool leaveTrails) const {
        return leaveTrails && absentWithTrails ? *absentWithTrails : absent;
    }
    // The stored number with the field's zero rule applied.
    constexpr int32_t Decode(int32_t stored) const {
        return stored == 0 && zeroMeans ? *zeroMeans : stored;
    }
    // The number the engine's setter takes.
    constexpr double ToEngine(int32_t stored) const {
        return Decode(stored) / static_cast<double>(scale);
    }
    constexpr int32_t Clamp(int32_t stored) const {
        return stored < min ? min : (stored > max ? max : stored);
    }

    // Builders for the table's rows.
    constexpr PresetField Absent(int32_t v) const {
        PresetField f = *this;
        f.absent = v;
        return f;
    }
    constexpr PresetField AbsentWithTrails(int32_t v) const {
        PresetField f = *this;
        f.absentWithTrails = v;
        return f;
    }
    constexpr PresetField EngineAbsent(int32_t v) const {
        PresetField f = *this;
        f.engineAbsent = v;
        return f;
    }
    constexpr PresetField ZeroMeans(int32_t v) const {
        PresetField f = *this;
        f.zeroMeans = v;
        return f;
    }
    constexpr PresetField Scale(int32_t v) const {
        PresetField f = *this;
        f.scale = v;
        return f;
    }
    constexpr PresetField Step(int32_t v) const {
        PresetField f = *this;
        f.step = v;
        return f;
    }
    constexpr PresetField OnlyWithTrails() const {
        PresetField f = *this;
        f.onlyWithTrails = true;
        return f;
    }
    constexpr PresetField StartColourCodes() const {
        PresetField f = *this;
        f.startColourCodes = true;
        return f;
    }
};

namespace preset_rows {

using R = PresetRecord;
using E = EngineSettings;
using Kind = PresetFieldKind;

constexpr PresetField Number(int n, std::string_view name, int32_t R::*rec, int32_t E::*eng,
                             int32_t min, int32_t max, Kind kind = Kind::Number) {
    PresetField f;
    f.number = n;
    f.name = name;
    f.kind = kind;
    f.min = min;
    f.max = max;
    f.recordInt = rec;
    f.engine = eng;
    return f;
}
constexpr PresetField Flag(int n, std::string_view name, int32_t R::*rec, int32_t E::*eng) {
    return Number(n, name, rec, eng, 0, 1, Kind::Flag);
}
constexpr PresetField Param(int n, std::string_view name, float R::*rec, int slot) {
    PresetField f;
    f.number = n;
    f.name = name;
    f.kind = Kind::Param;
    f.recordParam = rec;
    f.paramSlot = slot;
    return f;
}
constexpr PresetField Text(int n, std::string_view name, std::u16string R::*rec) {
    PresetField f;
    f.number = n;
    f.name = name;
    f.kind = Kind::Text;
    f.recordText = rec;
    return f;
}
constexpr PresetField Fixed(int n, std::string_view name, int32_t value, int32_t R::*rec = nullptr,
                            Kind kind = Kind::Fixed) {
    PresetField f = Number(n, name, rec, nullptr, value, value, kind);
    f.fixed = value;
    return f;
}
constexpr PresetField Real(int n, std::string_view name, double R::*rec) {
    PresetField f = Fixed(n, name, 0, nullptr, Kind::Real);
    f.recordReal = rec;
    return f;
}

// clang-format off
inline constexpr std::array<PresetField, kPresetFieldCount> kRows = {{
    Number(1, "Motion", &R::Motion, &E::Motion, 0, kMotionCount - 1),
    Number(2, "Style", &R::Style, &E::Style, 0, kStyleCount - 1),
    Number(3, "Grains", &R::Grains, &E::Grains, 10, 144000),
    Number(4, "Activity", &R::Activity, &E::Activity, 100, 6000).Scale(1000),
    Number(5, "Viscosity", &R::Viscosity, &E::Viscosity, -200, 1200),
    Number(6, "Complexity", &R::Complexity, &E::Complexity, 1, 32),
    Number(7, "ColorBright", &R::ColorBright, &E::ColorBright, 1, 2500).Scale(1000),
    Number(8, "Reflections", &R::Reflections, &E::Reflections, 1, 60),
    Flag(9, "Symmetric", &R::Symmetric, &E::Symmetric),
    Flag(10, "ExtraTwist", &R::ExtraTwist, &E::ExtraTwist),
    Fixed(11, "Reserved11", 1, &R::Reserved11),
    Fixed(12, "Reserved12", 0),
    Number(13, "DotStyle", &R::DotStyle, &E::DotStyle, 0, kDotStyleCount - 1),
    Fixed(14, "Reserved14", 0, &R::Reserved14, Kind::Reserved),
    Real(15, "Reserved15", &R::Reserved15),
    Number(16, "TrailLength", &R::TrailLength, &E::TrailLength, 1, 100).ZeroMeans(30).OnlyWithTrails(),
    Flag(17, "LeaveTrails", &R::LeaveTrails, &E::LeaveTrails),
    Number(18, "ParamCount", &R::ParamCount, &E::ParamCount, 0, kStyleParamSlots),
    Param(19, "Param1", &R::Param1, 0).StartColourCodes(),
    Param(20, "Param2", &R::Param2, 1),
    Param(21, "Param3", &R::Param3, 2),
    Param(22, "Param4", &R::Param4, 3),
    Number(23, "Pastels", &R::Pastels, &E::Pastels, 1, 1200).Scale(1000),
    Flag(24, "ReflectionsOn", &R::ReflectionsOn, &E::ReflectionsOn),
    Flag(25, "Dither", &R::Dither, &E::Dither).OnlyWithTrails(),
    Flag(26, "FieldColor", &R::FieldColor, &E::FieldColor),
    Number(27, "InfluenceRange", &R::InfluenceRange, &E::InfluenceRange, 0, 100).Absent(35),
    // A string too old to carry it keeps the engine's long-standing, slightly livelier value.
    Number(28, "Turbulence", &R::Turbulence, &E::Turbulence, 4, 1000).Absent(500).EngineAbsent(561).Scale(1000),
    Number(29, "Fuzziness", &R::Fuzziness, &E::Fuzziness, 0, 100),  // 0 = off
    Param(30, "Param5", &R::Param5, 4),
    Param(31, "Param6", &R::Param6, 5),
    Number(32, "Pace", &R::Pace, &E::Pace, 1, 2000).Absent(1000).ZeroMeans(1000).Scale(1000),
    Number(33, "Confinement", &R::Confinement, &E::Confinement, -1000, 1000).Absent(500).Step(10),
    Number(34, "MotionVariant", &R::MotionVariant, &E::MotionVariant, 0, kMotionVariantCount - 1),
    // Trails pile light up, so their points are dimmer.
    Number(35, "PointMagnitude", &R::PointMagnitude, &E::PointMagnitude, 1, 1000).Absent(1000).AbsentWithTrails(750).Scale(1000),
    Flag(36, "QuickDirty", &R::QuickDirty, &E::QuickDirty),
    Text(37, "Author", &R::Author),
    Text(38, "Location", &R::Location),
    Number(39, "WrapFlags", &R::WrapFlags, &E::WrapFlags, 0, kWrapImages | kWrapMobius, Kind::Bits),
    Number(40, "Gamma", &R::Gamma, &E::Gamma, 0, 1000).Absent(500).Scale(1000),
    Number(41, "Origin", &R::Origin, nullptr, 0, 2).Absent(1),  // never reaches the engine
    Flag(42, "Invert", &R::Invert, &E::Invert),
    Number(43, "ShimmerBright", &R::ShimmerBright, &E::ShimmerBright, 0, 200),
    Number(44, "ShimmerNarrow", &R::ShimmerNarrow, &E::ShimmerNarrow, 0, 1000).Absent(20),
    Number(45, "ShineGlitter", &R::ShineGlitter, &E::ShineGlitter, -600, 600),  // -600, 0 or 600
}};
// clang-format on

}  // namespace preset_rows

// The table, in field order: kPresetFields[n - 1] is field n.
inline constexpr const std::array<PresetField, kPresetFieldCount>& kPresetFields =
    preset_rows::kRows;

// The row index of the field named `name`, or -1. The compile-time look-ups below go through
// the index: GCC 12 with -fsanitize=undefined will not compare a pointer into the table with
// null inside a constant expression.
constexpr int PresetFieldIndex(std::string_view name) {
    for (int i = 0; i < kPresetFieldCount; ++i) {
        if (kPresetFields[static_cast<std::size_t>(i)].name == name) return i;
    }
    return -1;
}

// The row called `name`, or null.
constexpr const PresetField* FindPresetField(std::string_view name) {
    const int i = PresetFieldIndex(name);
    return i < 0 ? nullptr : &kPresetFields[static_cast<std::size_t>(i)];
}

// The row of field `number` (1..45), or null.
constexpr const PresetField* PresetFieldNumbered(int number) {
    if (number < 1 || number > kPresetFieldCount) return nullptr;
    return &kPresetFields[static_cast<std::size_t>(number - 1)];
}

// The row called `name`, for code that names a field it knows: a misspelt name does not
// compile.
consteval const PresetField& PresetFieldNamed(std::string_view name) {
    const int i = PresetFieldIndex(name);
    if (i < 0) throw "no preset field of that name";
    return kPresetFields[static_cast<std::size_t>(i)];
}

constexpr int32_t PresetFieldAbsent(std::string_view name) {
    const int i = PresetFieldIndex(name);
    if (i < 0) throw "no preset field of that name";
    return kPresetFields[static_cast<std::size_t>(i)].absent;
}

namespace preset_rows {

constexpr bool NumberedInOrder() {
    for (int i = 0; i < kPresetFieldCount; ++i) {
        if (kRows[static_cast<std::size_t>(i)].number != i + 1) return false;
    }
    return true;
}
static_assert(NumberedInOrder(), "a row's number is its position in the preset string");

// Every starting value of EngineSettings is evaluated here once, so a misspelt field name in
// them fails to compile rather than throwing when a pattern is built.
inline constexpr EngineSettings kStartingSettings{};

}  // namespace preset_rows

}  // namespace quovis
