// Field sums: the push that the movers give one dot, the innermost loop of the whole program
// (dots x movers x images every frame).
//
// Each mover entry k pushes a dot at offset (dx, dy) from it by its flow vector times
//     inv_k = 1 / (w_k * (dx^2 + dy^2) + 1.3)          (square falloff, the usual one)
//     inv_k = 1 / (w_k * (|dx|^3 + |dy|^3) + 1.3)      (cube falloff, the "extra twist")
// The 1.3 keeps a dot sitting on a mover from being thrown by an infinite push.
//
// The sources are a structure of arrays padded to a whole number of vector lanes; padding
// entries must hold zero flow, weight and colour and a finite position, so they add nothing
// and the loops need no tail. The loops run kFieldLanes entries at a time with GCC vector
// extensions, so the vector code does not depend on the optimiser's mood or on fast-math
// flags (a float sum may only be split into lanes when the code says so). The order of the
// additions is fixed, so a dot's push does not depend on which worker computes it.
#pragma once

namespace quovis {

constexpr int kFieldLanes = 8;
constexpr float kFieldEpsilon = 1.3f;

// The entry count rounded up to whole lanes: how far the sums read the arrays.
constexpr int PaddedFieldCount(int count) {
    return (count + kFieldLanes - 1) / kFieldLanes * kFieldLanes;
}

enum class FieldFalloff { Square, Cube };

// One frame's movers as field sources. Every array is readable up to
// PaddedFieldCount(count) entries. The colour arrays are read by SumPushColour only.
struct FieldSources {
    const float* x = nullptr;  // mover position
    const float* y = nullptr;
    const float* flowX = nullptr;  // push given to dots
    const float* flowY = nullptr;
    const float* weight = nullptr;   // reach: larger = shorter reach
    const float* colourR = nullptr;  // colour pushed into dots, already scaled
    const float* colourG = nullptr;
    const float* colourB = nullptr;
    int count = 0;
};

// An image of the whole mover set, as used by wrapping: the image of mover k sits at
// (signX * x_k + offsetX, signY * y_k + offsetY). A sign of -1 mirrors the axis (Moebius).
struct FieldImage {
    float signX = 1.0f;
    float offsetX = 0.0f;
    float signY = 1.0f;
    float offsetY = 0.0f;
};

struct FieldPush {
    float vx = 0.0f;
    float vy = 0.0f;
};

struct FieldPushColour {
    float vx = 0.0f;
    float vy = 0.0f;
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
};

// The push at (x, y) from the movers themselves (one image).
FieldPush SumPush(const FieldSources& sources, float x, float y, FieldFalloff falloff);

// The push at (x, y) from images of the movers (four when wrapping, chosen by the caller for
// the dot's quadrant).
FieldPush SumPushImages(const FieldSources& sources, const FieldImage* images, int imageCount,
                        float x, float y, FieldFalloff falloff);

// As SumPushImages, and also the colour that the movers push into the dot.
FieldPushColour SumPushColour(const FieldSources& sources, const FieldImage* images, int imageCount,
                              float x, float y, FieldFalloff falloff);

}  // namespace quovis
