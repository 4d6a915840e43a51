// The engine's vocabulary: the numbers a preset stores for the motion, its flow variant, the
// pattern style, the wrapping and the dot style, and the mark of a parked dot. Each is
// defined here once; the engine, the settings layer and the tests all name them from here.
#pragma once

#include <cstdint>

namespace quovis {

// How the movers move (the preset's Motion).
enum Motion : int32_t {
    kMotionStatic = 0,
    kMotionLinear = 1,
    kMotionOrganic = 2,
    kMotionRecursive = 3,  // each mover follows a dot
    kMotionCircular = 4,
    kMotionWarp = 5,
};
constexpr int32_t kMotionCount = 6;

// How the movers' flow vectors change (the preset's MotionVariant).
enum MotionVariant : int32_t {
    kVariantNatural = 0,
    kVariantClockwork = 1,
    kVariantWaves = 2,
    kVariantDigital = 3,
    kVariantDirectional = 4,
};
constexpr int32_t kMotionVariantCount = 5;

// The index of each pattern style in the style table (the preset's Style).
enum StyleIndex : int32_t {
    kStyleBigBang = 0,
    kStyleFullField = 1,
    kStyleGlobular = 2,
    kStyleRings = 3,
    kStyleRibbon = 4,
    kStyleLissajous = 5,
    kStyleLinesHorizontal = 6,
    kStyleLinesVertical = 7,
    kStyleRadialNozzles = 8,
    kStyleBall = 9,
    kStyleSidewaysSpray = 10,
    kStyleWhiteHole = 11,
    kStyleFleuret = 12,
    kStyleEventHorizon = 13,
    kStyleAurora = 14,
    kStyleFountain = 15,
    kStylePhasing = 16,
    kStyleOvercast = 17,
    kStyleSpinningSprayer = 18,
    kStyleRegenerating = 19,
    kStyleFloaters = 20,
    kStyleRadarSweep = 21,
    kStyleFromTheEther = 22,
    kStyleRising = 23,
    kStyleFalls = 24,
    kStyleCircle = 25,
    kStyleDraw = 26,  // its dots follow the drawn strokes
    kStylePolygon = 27,
    kStyleCurves = 28,
    kStyleTwirls = 29,
};
constexpr int32_t kStyleCount = 30;
// Customisable parameters of a style, at most.
constexpr int32_t kStyleParamSlots = 6;

// Wrap flags (the preset's WrapFlags, a bit set).
constexpr int32_t kWrapEdges = 1;   // dots leaving one edge come back at the other
constexpr int32_t kWrapImages = 2;  // as well, the field is summed over images of the movers
constexpr int32_t kWrapMobius = 4;  // a wrapped dot comes back mirrored
constexpr int32_t kWrapAll = kWrapEdges | kWrapImages | kWrapMobius;

// Dot styles (the preset's DotStyle).
enum DotStyleIndex : int32_t {
    kDotPoints = 0,
    kDotSparkles = 1,
    kDotFuzzies = 2,
    kDotLargePoints = 3,
    kDotVerticalBars = 4,
    kDotPixels = 5,
    kDotRings = 6,
    kDotDiscs = 7,
};
constexpr int32_t kDotStyleCount = 8;

// A parked dot is not moved and not drawn: its x is kParked. Any x at or below kParkedLimit
// counts, so that a parked dot stays parked whatever small change its x sees.
constexpr float kParked = -100000.0f;
constexpr float kParkedLimit = -99999.0f;
constexpr bool IsParked(float x) {
    return x <= kParkedLimit;
}

}  // namespace quovis
