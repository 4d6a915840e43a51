// The constant table of the 30 pattern styles and the functions that read and store it.
#include "engine/style_table.h"

#include <cmath>

#include "engine/random.h"

namespace quovis {

namespace {

// Builders keep each table row on one line and make every value start at its default.
// They return by value a type that cannot be copied; C++17's guaranteed elision lets the
// table be constant-initialised from them all the same.
constexpr StyleParamInfo Param(std::u16string_view label, int32_t min, int32_t max, int32_t def,
                               int32_t role, int32_t kind = kKindNumber) {
    return StyleParamInfo{kind, label, min, max, def, def, role};
}

constexpr StyleParamInfo Colour(int32_t def) {
    return Param(u"Color", kStartColourBlack, kStartColourWhite, def, kRoleStartColour,
                 kKindStartColour);
}

// clang-format off
constinit StyleInfo g_styles[kStyleCount] = {
    {4, u"The Big Bang", {Colour(1100),
        Param(u"Explode Power", 0, 100, 50, kRoleNone),
        Param(u"Flow Rate", 0, 100, 0, kRoleFlowRate),
        Param(u"Percent Dots/Explosion", 1, 100, 100, kRoleNone)}},
    {2, u"Full Field", {Colour(1050),
        Param(u"Gravity", -1000, 1000, 0, kRoleGravity)}},
    {2, u"Globular", {Colour(1100),
        Param(u"Concentration", 20, 800, 100, kRoleConcentration)}},
    {6, u"Rings", {Colour(1100),
        Param(u"Explode Power", 0, 100, 40, kRoleNone),
        Param(u"Num Rings", 1, 100, 7, kRoleNone),
        Param(u"Diffusion", 0, 100, 5, kRoleNone),
        Param(u"Percent Dots/Group", 1, 100, 33, kRoleNone),
        Param(u"Flow Rate", 0, 100, 0, kRoleFlowRate)}},
    {4, u"Ribbon", {Colour(1100),
        Param(u"Width", 0, 200, 20, kRoleNone),
        Param(u"Diffusion", 0, 4000, 5, kRoleDiffusion),
        Param(u"Flow Rate", 0, 100, 0, kRoleFlowRate)}},
    {6, u"Lissajous", {Colour(1100),
        Param(u"Horizontal", -100, 100, 20, kRoleHorizontalRatio),
        Param(u"Vertical", -100, 100, 10, kRoleVerticalRatio),
        Param(u"Energy", -1000, 1000, 50, kRoleEnergy2),
        Param(u"Flow Rate", 1, 100, 60, kRoleFlowRate),
        Param(u"Velocity", 1, 1000, 100, kRoleVelocity)}},
    {5, u"Lines (Horizontal)", {Colour(1100),
        Param(u"Num Lines", 1, 100, 7, kRoleLineCount),
        Param(u"Diffusion", 0, 500, 15, kRoleDiffusion),
        Param(u"Flow Rate", 0, 100, 0, kRoleFlowRate),
        Param(u"Perfect", 0, 2, 0, kRoleNone)}},
    {5, u"Lines (Vertical)", {Colour(1100),
        Param(u"Num Bars", 1, 100, 12, kRoleLineCount),
        Param(u"Diffusion", 0, 500, 5, kRoleDiffusion),
        Param(u"Flow Rate", 0, 100, 0, kRoleFlowRate),
        Param(u"Perfect", 0, 2, 0, kRoleNone)}},
    {6, u"Radial Nozzles", {Colour(1100),
        Param(u"Spinning Rate", -400, 400, 80, kRoleSpinningRate),
        Param(u"Spouts", 1, 100, 8, kRoleLineCount),
        Param(u"Spray Spread", 1, 500, 38, kRoleSpraySpread),
        Param(u"Flow Rate", 1, 120, 66, kRoleFlowRate),
        Param(u"Energy", 1, 800, 100, kRoleEnergy)}},
    {4, u"Ball", {Colour(1100),
        Param(u"Radius", 1, 2500, 980, kRoleRadius),
        Param(u"\u0001Flow Rate", 0, 120, 60, kRoleFlowRate, kKindMarkedFlowRate),
        Param(u"Concentration", -100, 100, 0, kRoleNone)}},
    {3, u"Sideways Spray", {Colour(1100),
        Param(u"New Dots/Group", 1, 5000, 20, kRoleDotsPerGroup),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate)}},
    {4, u"White Hole", {Colour(1100),
        Param(u"New Dots/Group", 1, 5000, 20, kRoleDotsPerGroup),
        Param(u"Energy", 1, 1000, 100, kRoleEnergy),
        Param(u"Flow Rate", 1, 120, 75, kRoleFlowRate)}},
    {6, u"Fleuret (Spirals)", {Colour(1100),
        Param(u"Spoke Ratio", -1080, 1080, 833, kRoleHorizontalRatio),
        Param(u"Radii Ratio", -1000, 1000, 550, kRoleVerticalRatio),
        Param(u"Energy", -1000, 1000, 0, kRoleEnergy2),
        Param(u"Flow Rate", -100, 100, 65, kRoleFlowRate),
        Param(u"Velocity", 1, 1000, 50, kRoleVelocity)}},
    {4, u"Event Horizon", {Colour(1100),
        Param(u"Diffusion", 0, 300, 0, kRoleDiffusion),
        Param(u"New Dots/Group", 1, 5000, 30, kRoleDotsPerGroup),
        Param(u"Flow Rate", 0, 120, 70, kRoleFlowRate)}},
    {3, u"Aurora", {Colour(1000),
        Param(u"Gravity", -1000, 1000, 51, kRoleGravity),
        Param(u"Horz Squish", 0, 1000, 744, kRoleNone)}},
    {6, u"Fountain", {Colour(1100),
        Param(u"New Dots/Group", 1, 5000, 20, kRoleDotsPerGroup),
        Param(u"Gravity", -1000, 1000, 100, kRoleGravity2),
        Param(u"Spray Spread", 0, 1000, 100, kRoleSpraySpread),
        Param(u"Flow Rate", 1, 120, 75, kRoleFlowRate),
        Param(u"Energy", 1, 1000, 200, kRoleEnergy)}},
    {3, u"Phasing", {Colour(1050),
        Param(u"Gravity", -1000, 1000, -7, kRoleGravity2),
        Param(u"Phase Direction", 0, 1, 0, kRoleNone)}},
    {2, u"Overcast", {Colour(1050),
        Param(u"Gravity", -1000, 1000, -65, kRoleGravity2)}},
    {6, u"Spinning Sprayer", {Colour(1100),
        Param(u"New Dots/Group", 1, 9000, 20, kRoleDotsPerGroup),
        Param(u"Spinning Rate", -600, 600, 40, kRoleSpinningRate),
        Param(u"Spray Spread", 1, 500, 38, kRoleSpraySpread),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate),
        Param(u"Energy", 1, 800, 100, kRoleEnergy)}},
    {6, u"Regenerating", {Colour(1100),
        Param(u"New Dots/Group", 1, 5000, 10, kRoleDotsPerGroup),
        Param(u"Gravity", -1000, 1000, 0, kRoleGravity),
        Param(u"Energy", -400, 400, 40, kRoleEnergy2),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate),
        Param(u"Perfect", 0, 31, 0, kRoleNone)}},
    {6, u"Floaters", {Colour(1100),
        Param(u"Floaters", 1, 500, 16, kRoleNone),
        Param(u"Spin Rate", 1, 1000, 100, kRoleNone),
        Param(u"Energy", -2000, 2000, 100, kRoleEnergy2),
        Param(u"Flow Rate", 1, 100, 70, kRoleFlowRate),
        Param(u"Modulo", 1, 20, 1, kRoleNone)}},
    {4, u"Radar Sweep", {Colour(1100),
        Param(u"New Dots/Group", 1, 5000, 40, kRoleDotsPerGroup),
        Param(u"Spinning Rate", 0, 500, 60, kRoleNone),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate)}},
    {5, u"From the Ether", {Colour(1000),
        Param(u"New Dots/Group", 1, 5000, 8, kRoleDotsPerGroup),
        Param(u"Gravity", -1000, 1000, 0, kRoleGravity),
        Param(u"Energy", 0, 400, 40, kRoleNone),
        Param(u"Flow Rate", 1, 120, 60, kRoleFlowRate)}},
    {4, u"Rising", {Colour(1000),
        Param(u"New Dots/Group", 1, 5000, 10, kRoleDotsPerGroup),
        Param(u"Gravity", -1000, 1000, -42, kRoleGravity),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate)}},
    {5, u"Falls", {Colour(1100),
        Param(u"New Dots/Group", 1, 5000, 20, kRoleDotsPerGroup),
        Param(u"Gravity", -1000, 1000, 75, kRoleGravity2),
        Param(u"Width", 1, 1000, 210, kRoleNone),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate)}},
    {6, u"Circle", {Colour(1100),
        Param(u"Strobe Period", 1, 5000, 30, kRoleStrobePeriod),
        Param(u"Energy", -1000, 1000, -10, kRoleEnergy2),
        Param(u"Radius", -1, 1500, 800, kRoleRadius),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate),
        Param(u"Spin Flow", -2, 4, 0, kRoleNone)}},
    {6, u"Draw", {Colour(1100),
        Param(u"Strobe Period", 1, 5000, 30, kRoleStrobePeriod),
        Param(u"Gravity", -1000, 1000, 0, kRoleGravity),
        Param(u"Energy", 0, 1000, 50, kRoleEnergy2),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate),
        Param(u"Spinning", 0, 100, 0, kRoleSpinning)}},
    {6, u"Polygon", {Colour(1100),
        Param(u"Strobe Period", 1, 5000, 500, kRoleStrobePeriod),
        Param(u"Gravity", -1000, 1000, 0, kRoleGravity),
        Param(u"Energy", 0, 1000, 15, kRoleEnergy2),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate),
        Param(u"Spinning", 0, 100, 10, kRoleSpinning)}},
    {6, u"Curves", {Colour(1100),
        Param(u"Strobe Period", 1, 5000, 400, kRoleStrobePeriod),
        Param(u"Gravity", -1000, 1000, 0, kRoleGravity),
        Param(u"Energy", 0, 1000, 5, kRoleEnergy2),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate),
        Param(u"Spinning", 0, 100, 5, kRoleSpinning)}},
    {6, u"Twirls", {Colour(1100),
        Param(u"Dots/Twirly", 1, 5000, 50, kRoleDotsPerGroup),
        Param(u"Gravity", -1000, 1000, 0, kRoleGravity),
        Param(u"Energy", -400, 400, 40, kRoleEnergy2),
        Param(u"Flow Rate", 1, 120, 70, kRoleFlowRate),
        Param(u"Twirls", 0, 1000, 5, kRoleNone)}},
};
// clang-format on

bool ValidStyle(int style) {
    return style >= 0 && style < kStyleCount;
}

// In range, and a number: NaN compares false with everything, so the range test alone keeps
// it out.
template <typename T>
T Clamped(const StyleParamInfo& p, T v) {
    return p.InRange(static_cast<double>(v)) ? v : static_cast<T>(p.Value());
}

template <typename T>
bool GetParams(int style, int32_t& count, T values[kStyleParamSlots]) {
    count = 0;
    for (int j = 0; j < kStyleParamSlots; ++j) values[j] = T(0);
    if (!ValidStyle(style)) return false;
    const StyleInfo& s = g_styles[style];
    count = s.paramCount;
    for (int j = 0; j < s.paramCount; ++j) values[j] = static_cast<T>(s.params[j].Value());
    return true;
}

template <typename T>
bool ClampParams(int style, int32_t& count, T values[kStyleParamSlots]) {
    if (!ValidStyle(style)) return false;
    const StyleInfo& s = g_styles[style];
    count = s.paramCount;
    for (int j = 0; j < kStyleParamSlots; ++j) {
        values[j] = j < s.paramCount ? Clamped(s.params[j], values[j]) : T(0);
    }
    return true;
}

}  // namespace

int StyleCount() {
    return kStyleCount;
}

const StyleInfo* GetStyle(int style) {
    return ValidStyle(style) ? &g_styles[style] : nullptr;
}

bool GetStyleParams(int style, int32_t& count, int32_t values[kStyleParamSlots]) {
    return GetParams(style, count, values);
}

bool GetStyleParams(int style, int32_t& count, float values[kStyleParamSlots]) {
    return GetParams(style, count, values);
}

bool ClampStyleParams(int style, int32_t& count, int32_t values[kStyleParamSlots]) {
    return ClampParams(style, count, values);
}

bool ClampStyleParams(int style, int32_t& count, float values[kStyleParamSlots]) {
    return ClampParams(style, count, values);
}

bool StoreStyleParams(int style, int n, int32_t* values) {
    if (!ValidStyle(style)) return false;
    StyleInfo& s = g_styles[style];
    if (n > s.paramCount) n = s.paramCount;
    if (n <= 0) return true;
    if (values == nullptr) return false;
    for (int j = 0; j < n; ++j) {
        values[j] = Clamped(s.params[j], values[j]);
        s.params[j].value.store(values[j], std::memory_order_relaxed);
    }
    return true;
}

bool RestoreStyleDefaults(int style) {
    if (style != -1 && !ValidStyle(style)) return false;
    const int first = style == -1 ? 0 : style;
    const int last = style == -1 ? kStyleCount - 1 : style;
    for (int i = first; i <= last; ++i) {
        for (StyleParamInfo& p : g_styles[i].params) {
            p.value.store(p.defaultValue, std::memory_order_relaxed);
        }
    }
    return true;
}

int32_t RandomStyleParam(int style, int index, EngineRandom& rng) {
    if (!ValidStyle(style)) return 0;
    const StyleInfo& s = g_styles[style];
    if (index < 0 || index >= s.paramCount) return 0;
    const StyleParamInfo& p = s.params[index];
    const double lo = p.min;
    const double hi = p.max;
    const double h = p.defaultValue;

    // A parameter that can swing either way (a spin, an energy) is often best left still.
    if (p.min == -p.max && rng.RandomUniform() > 0.7) return 0;
    const double d = 2.0 * rng.RandomUniform() - 1.0;

    double v;
    if (h != lo && h != hi) {
        // Squaring crowds the draws towards the default while still reaching either end.
        v = d >= 0.0 ? std::trunc(h + 0.5 + d * d * (hi - h))
                     : std::trunc(h + 0.5 - d * d * (h - lo));
    } else {
        // A default at one end of the range cannot be approached from both sides: keep it a
        // quarter of the time, otherwise draw straight across the range.
        if (rng.RandomUniform() > 0.75) return p.defaultValue;
        v = std::trunc(lo + (hi - lo) * d + 0.5);
        // Half of those draws land below the range; applying the preset would put such a
        // value back to the default, so give the default now and keep the result in range.
        if (v < lo) return p.defaultValue;
    }
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    return static_cast<int32_t>(v);
}

int FindStyleParamByRole(int style, int32_t role) {
    if (!ValidStyle(style)) return -1;
    const StyleInfo& s = g_styles[style];
    for (int j = 0; j < s.paramCount; ++j) {
        if (s.params[j].role == role) return j;
    }
    return -1;
}

int32_t StartColourFromPreset(int32_t value) {
    switch (value) {
        case 0:
            return kStartColourBlack;
        case 1:
            return kStartColourWhite;
        case 2:
            return (kStartColourBlack + kStartColourWhite) / 2;
        default:
            return value;
    }
}

void StyleDefaultParams(int style, int32_t& count, float params[kStyleParamSlots]) {
    const StyleInfo* info = GetStyle(style);
    count = info != nullptr ? info->paramCount : 0;
    for (int i = 0; i < kStyleParamSlots; ++i) {
        params[i] = i < count ? static_cast<float>(info->params[i].defaultValue) : 0.0f;
    }
}

void StyleClampParams(int style, int32_t& count, float params[kStyleParamSlots]) {
    const StyleInfo* info = GetStyle(style);
    if (info == nullptr) return;
    count = info->paramCount;
    for (int i = 0; i < count; ++i) {
        const StyleParamInfo& p = info->params[i];
        // NaN fails the range test, so it gets the default too.
        if (!p.InRange(static_cast<double>(params[i]))) {
            params[i] = static_cast<float>(p.defaultValue);
        }
    }
}

}  // namespace quovis
