// The pattern-style table: the 30 styles, each with up to six customisable parameters.
//
// The table is the shared vocabulary of the configuration page (labels and ranges), the preset
// record (Style and Param1..Param6), preset mutation, drift and audio sync. Everything in it is
// constant except each parameter's `value`, the last value stored for that parameter; that one
// is written at run time and read by several engines and threads at once, so it is a relaxed
// atomic. A stored parameter vector is not one atomic unit: readers may see a mix of the old
// and the new vector for a moment, which only ever gives valid in-range values.
//
// Parameter 1 of every style is the start colour ("Color", 1000 black .. 1100 white).
// Text is UTF-16, as everywhere the program stores or shows it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "engine/vocabulary.h"

namespace quovis {

class EngineRandom;

// What a parameter means to drift and audio sync.
enum StyleParamRole : int32_t {
    kRoleNone = 0,
    kRoleGravity = 1,
    kRoleFlowRate = 2,
    kRoleRadius = 3,
    kRoleStrobePeriod = 4,
    kRoleEnergy = 5,
    kRoleSpinning = 6,
    kRoleDiffusion = 7,
    kRoleDotsPerGroup = 8,
    kRoleVelocity = 9,
    kRoleStartColour = 10,
    kRoleGravity2 = 11,
    kRoleEnergy2 = 12,
    kRoleSpinningRate = 13,
    kRoleSpraySpread = 14,
    kRoleConcentration = 15,
    kRoleLineCount = 16,
    kRoleHorizontalRatio = 17,
    kRoleVerticalRatio = 18,
};
constexpr int32_t kStyleRoleCount = 19;

// How the configuration page presents a parameter. Carried for it; the engine reads none.
enum StyleParamKind : int32_t {
    kKindUnused = 0,
    kKindNumber = 1,
    kKindStartColour = 2,
    kKindMarkedFlowRate = 3,  // "Ball"'s flow rate, whose label starts with U+0001
};

constexpr int32_t kStartColourBlack = 1000;
constexpr int32_t kStartColourWhite = 1100;

struct StyleParamInfo {
    int32_t kind = kKindUnused;
    std::u16string_view label;
    int32_t min = 0;
    int32_t max = 0;
    // The last value stored for this parameter; starts at defaultValue.
    mutable std::atomic<int32_t> value{0};
    int32_t defaultValue = 0;
    int32_t role = kRoleNone;

    int32_t Value() const { return value.load(std::memory_order_relaxed); }
    bool InRange(double v) const { return v >= min && v <= max; }
};

struct StyleInfo {
    int32_t paramCount = 0;  // entries of params in use, 2..6
    std::u16string_view name;
    StyleParamInfo params[kStyleParamSlots];
};

// 30.
int StyleCount();
// The style at index 0..29; nullptr for any other index.
const StyleInfo* GetStyle(int style);

// Copies the current value of each used parameter and zero-fills the rest. False (count 0,
// values zero) for a bad style.
bool GetStyleParams(int style, int32_t& count, int32_t values[kStyleParamSlots]);
bool GetStyleParams(int style, int32_t& count, float values[kStyleParamSlots]);

// Sets count to the style's count and replaces every used value outside its range (or not a
// number) by the table's current value; slots past the count are zeroed. False for a bad
// style, with nothing changed.
bool ClampStyleParams(int style, int32_t& count, int32_t values[kStyleParamSlots]);
bool ClampStyleParams(int style, int32_t& count, float values[kStyleParamSlots]);

// Stores the first n values (n limited to 0..the style's count) into the table. Values outside
// their range are first replaced, in the caller's array too, by the table's current value, so
// the caller sees exactly what was stored. False for a bad style or a null array with n > 0.
bool StoreStyleParams(int style, int n, int32_t* values);

// Puts every stored value of a style (or of all styles, for -1) back to its default.
bool RestoreStyleDefaults(int style);

// A random value for a parameter, spread around its default, as preset mutation and random
// presets want it: 0 for a bad style or an index past the style's count; a symmetric range
// gives 0 three times in ten; otherwise most draws lie near the default. Always within
// min..max.
int32_t RandomStyleParam(int style, int index, EngineRandom& rng);

// Index of the style's parameter with the given role, or -1.
int FindStyleParamByRole(int style, int32_t role);

// Older preset texts encode the start colour as 0 (black), 1 (white) or 2 (random greys).
int32_t StartColourFromPreset(int32_t value);

// Sets `count` to the style's parameter count and every parameter to its default (0 past the
// count). A style outside the table gets count 0 and six zeros.
void StyleDefaultParams(int style, int32_t& count, float params[kStyleParamSlots]);

// Sets `count` to the style's count and puts every parameter up to that count that lies
// outside its range (or is not a number) back to its default. A style outside the table
// leaves count and parameters as they are.
void StyleClampParams(int style, int32_t& count, float params[kStyleParamSlots]);

// Launch directions in radians, from two fresh uniform draws. The pattern's seed (in
// [-0.5, 0.5]) shifts the second draw, so one pattern's launches lean one way and another
// pattern's another. The ordinary mix keeps launches spread all round; the golden mix, used
// by explosions, spreads them more evenly. A seed of 0 gives no lean.
double LaunchAngle(EngineRandom& rng, double seed);
double GoldenLaunchAngle(EngineRandom& rng, double seed);

}  // namespace quovis
