// Field sums over the mover arrays, kFieldLanes entries per step (see field_sum.h).
#include "engine/field_sum.h"

#include <cstring>

namespace quovis {

namespace {

// Four floats handled as one value: the width of an SSE2 register, which every x86-64
// processor has, so each operation below is one instruction and every running sum stays in
// a register. (A wider generic vector would be split by the compiler and its sums kept in
// memory.) A step covers kFieldLanes entries as two such halves.
using Quad = float __attribute__((vector_size(4 * sizeof(float))));
static_assert(kFieldLanes == 8, "one step is two halves of four");

inline Quad Load(const float* p) {
    Quad v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline Quad Splat(float a) {
    return Quad{} + a;
}

inline Quad Abs(Quad v) {
    return v < 0.0f ? -v : v;
}

// One running sum over kFieldLanes lanes, kept as its two halves.
struct LaneSum {
    Quad lo{};
    Quad hi{};
    // Lane 0 first, always in the same order, so the result does not depend on which worker
    // computes it.
    float Total() const {
        float s = 0.0f;
        for (int l = 0; l < 4; ++l) s += lo[l];
        for (int l = 0; l < 4; ++l) s += hi[l];
        return s;
    }
};

struct Sums {
    LaneSum vx, vy, r, g, b;
};

// Forced inline: the sum for the movers themselves then loses the sign multiplications, and
// every caller keeps its sums in registers.
#define QUOVIS_FIELD_INLINE inline __attribute__((always_inline))

template <FieldFalloff kFalloff>
QUOVIS_FIELD_INLINE Quad Inverse(const FieldSources& s, int k, Quad bx, Quad by, Quad sx, Quad sy) {
    const Quad dx = bx - sx * Load(s.x + k);
    const Quad dy = by - sy * Load(s.y + k);
    Quad d;
    if constexpr (kFalloff == FieldFalloff::Square) {
        d = dx * dx + dy * dy;
    } else {
        d = dx * dx * Abs(dx) + dy * dy * Abs(dy);
    }
    return 1.0f / (Load(s.weight + k) * d + kFieldEpsilon);
}

template <FieldFalloff kFalloff, bool kColour>
QUOVIS_FIELD_INLINE void Accumulate(const FieldSources& s, float signX, float baseX, float signY,
                                    float baseY, Sums& sums) {
    // dx = x - (signX * moverX + offsetX) = baseX - signX * moverX, with baseX = x - offsetX.
    const Quad bx = Splat(baseX);
    const Quad by = Splat(baseY);
    const Quad sx = Splat(signX);
    const Quad sy = Splat(signY);
    const int n = PaddedFieldCount(s.count);
    // The running sums live in locals, so they stay in registers through the loop.
    Sums a = sums;
    for (int k = 0; k < n; k += kFieldLanes) {
        const Quad invLo = Inverse<kFalloff>(s, k, bx, by, sx, sy);
        const Quad invHi = Inverse<kFalloff>(s, k + 4, bx, by, sx, sy);
        a.vx.lo += Load(s.flowX + k) * invLo;
        a.vx.hi += Load(s.flowX + k + 4) * invHi;
        a.vy.lo += Load(s.flowY + k) * invLo;
        a.vy.hi += Load(s.flowY + k + 4) * invHi;
        if constexpr (kColour) {
            a.r.lo += Load(s.colourR + k) * invLo;
            a.r.hi += Load(s.colourR + k + 4) * invHi;
            a.g.lo += Load(s.colourG + k) * invLo;
            a.g.hi += Load(s.colourG + k + 4) * invHi;
            a.b.lo += Load(s.colourB + k) * invLo;
            a.b.hi += Load(s.colourB + k + 4) * invHi;
        }
    }
    sums = a;
}

template <FieldFalloff kFalloff, bool kColour>
inline Sums SumImages(const FieldSources& s, const FieldImage* images, int imageCount, float x,
                      float y) {
    Sums sums;
    for (int j = 0; j < imageCount; ++j) {
        const FieldImage& im = images[j];
        Accumulate<kFalloff, kColour>(s, im.signX, x - im.offsetX, im.signY, y - im.offsetY, sums);
    }
    return sums;
}

}  // namespace

FieldPush SumPush(const FieldSources& sources, float x, float y, FieldFalloff falloff) {
    Sums sums;
    if (falloff == FieldFalloff::Square) {
        Accumulate<FieldFalloff::Square, false>(sources, 1.0f, x, 1.0f, y, sums);
    } else {
        Accumulate<FieldFalloff::Cube, false>(sources, 1.0f, x, 1.0f, y, sums);
    }
    return {sums.vx.Total(), sums.vy.Total()};
}

FieldPush SumPushImages(const FieldSources& sources, const FieldImage* images, int imageCount,
                        float x, float y, FieldFalloff falloff) {
    const Sums sums =
        falloff == FieldFalloff::Square
            ? SumImages<FieldFalloff::Square, false>(sources, images, imageCount, x, y)
            : SumImages<FieldFalloff::Cube, false>(sources, images, imageCount, x, y);
    return {sums.vx.Total(), sums.vy.Total()};
}

FieldPushColour SumPushColour(const FieldSources& sources, const FieldImage* images, int imageCount,
                              float x, float y, FieldFalloff falloff) {
    const Sums sums = falloff == FieldFalloff::Square
                          ? SumImages<FieldFalloff::Square, true>(sources, images, imageCount, x, y)
                          : SumImages<FieldFalloff::Cube, true>(sources, images, imageCount, x, y);
    return {sums.vx.Total(), sums.vy.Total(), sums.r.Total(), sums.g.Total(), sums.b.Total()};
}

}  // namespace quovis
