// EngineSettings: one pattern's settings as plain numbers, in the units a preset stores them.
// Reading a preset string fills one; ApplySettings sends it to the engine through the live
// setters in the order the fields are stored, so a preset and the configuration window
// always reach the engine the same way.
#pragma once

#include <cstdint>

namespace quovis {

struct EngineSettings {
    int32_t Motion = 1;
    int32_t Style = 0;
    int32_t Grains = 40000;
    int32_t Activity = 2000;     // / 1000
    int32_t Viscosity = 600;     // -200..1200
    int32_t Complexity = 8;      // movers, 1..32
    int32_t ColorBright = 1200;  // / 1000
    int32_t Reflections = 1;
    int32_t Symmetric = 0;
    int32_t ExtraTwist = 0;
    int32_t DotStyle = 0;
    int32_t TrailLength = 60;
    int32_t LeaveTrails = 1;
    int32_t ParamCount = 0;  // 0 = the style's own defaults
    float Param[6] = {};
    int32_t Pastels = 150;  // / 1000
    int32_t ReflectionsOn = 1;
    int32_t Dither = 0;
    int32_t FieldColor = 0;
    int32_t InfluenceRange = 35;
    int32_t Turbulence = 500;  // / 1000
    int32_t Fuzziness = 0;     // 0 = off
    int32_t Pace = 1000;       // / 1000
    int32_t Confinement = 500;
    int32_t MotionVariant = 0;
    int32_t PointMagnitude = 500;  // / 1000
    int32_t QuickDirty = 0;
    int32_t WrapFlags = 0;
    int32_t Gamma = 500;  // / 1000
    int32_t Invert = 0;
    int32_t ShimmerBright = 0;
    int32_t ShimmerNarrow = 20;
    int32_t ShineGlitter = 0;
};

}  // namespace quovis
