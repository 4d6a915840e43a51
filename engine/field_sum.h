// Field sums: the push that the movers give one dot, the innermost loop of the whole program
// (dots x movers x images every frame).
//
// Each mover entry k pushes a dot at offset (dx, dy) from it by its flow vector times
//     inv_k = 1 / (w_k * (dx^2 + dy^2) + 1.3)          (square falloff, the usual one)
//     inv_k = 1 / (w_k * (|dx|^3 + |dy|^3) + 1.3)      (cube falloff, the "extra twist")
// The 1.3 keeps a dot sitting on a mover from being thrown by an infinite push.
//
// Two forms compute the same sums in the same order (images first to last, movers first to
// last within each image), so they agree to the last bit:
//   - SumPush, SumPushImages, SumPushColour: one dot, plain scalar code. They are the
//     reference the vector kernel is tested against, and serve single dots;
//   - SumPushBlock: a block of dots, one dot per vector lane, each mover's values broadcast
//     to all lanes. No lane ever adds across lanes, so there is no horizontal sum, and the
//     divisions of several dot vectors are in flight at once.
#pragma once

namespace quovis {

constexpr float kFieldEpsilon = 1.3f;
// SumPushBlock takes at most this many dots per call; its arrays are read and written in
// whole multiples of kFieldBlockAlign entries (a zmm register of floats).
constexpr int kFieldBlock = 64;
constexpr int kFieldBlockAlign = 16;

constexpr int PaddedBlockCount(int count) {
    return (count + kFieldBlockAlign - 1) / kFieldBlockAlign * kFieldBlockAlign;
}

enum class FieldFalloff { Square, Cube };

// One frame's movers as field sources, count entries in each array. The colour arrays are
// read only when colour is asked for.
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

// A block of dots for SumPushBlock. x and y hold PaddedBlockCount(count) entries, the
// padding finite; the outputs are written for as many. The colour outputs are written only
// when SumPushBlock is asked for colour.
struct FieldBlock {
    const float* x = nullptr;
    const float* y = nullptr;
    int count = 0;  // 0 .. kFieldBlock
    float* vx = nullptr;
    float* vy = nullptr;
    float* r = nullptr;  // with colour only
    float* g = nullptr;
    float* b = nullptr;
};

// The wrapping images of the movers for each quadrant of the canvas, as the dot kernel uses
// them: a dot at (x, y) takes maps[2 * (y > halfH) + (x > halfW)].
struct FieldQuadrants {
    FieldImage maps[4][4];
    float halfW = 0.0f;
    float halfH = 0.0f;
};

// The pushes for every dot of the block: dot i gets exactly what SumPush (imageCount 1,
// quadrants unused) or SumPushImages / SumPushColour with its quadrant's images give.
void SumPushBlock(const FieldSources& sources, const FieldQuadrants* quadrants, int imageCount,
                  FieldFalloff falloff, bool colour, const FieldBlock& block);

}  // namespace quovis
