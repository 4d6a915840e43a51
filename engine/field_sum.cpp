// Field sums over the mover arrays (see field_sum.h): the plain per-dot form and the block
// form with one dot per vector lane.
#include "engine/field_sum.h"

#include <algorithm>
#include <cstring>

namespace quovis {

namespace {

// ---- One dot, plain scalar code ----------------------------------------------------------

struct Sums {
    float vx = 0.0f, vy = 0.0f, r = 0.0f, g = 0.0f, b = 0.0f;
};

template <FieldFalloff kFalloff>
inline float Distance(float dx, float dy) {
    if constexpr (kFalloff == FieldFalloff::Square) {
        return dx * dx + dy * dy;
    } else {
        const float ax = dx < 0.0f ? -dx : dx;
        const float ay = dy < 0.0f ? -dy : dy;
        return dx * dx * ax + dy * dy * ay;
    }
}

template <FieldFalloff kFalloff, bool kColour>
void AccumulateScalar(const FieldSources& s, const FieldImage& im, float x, float y, Sums& a) {
    // dx = x - (signX * moverX + offsetX) = (x - offsetX) - signX * moverX.
    const float bx = x - im.offsetX;
    const float by = y - im.offsetY;
    for (int k = 0; k < s.count; ++k) {
        const float dx = bx - im.signX * s.x[k];
        const float dy = by - im.signY * s.y[k];
        const float inv = 1.0f / (s.weight[k] * Distance<kFalloff>(dx, dy) + kFieldEpsilon);
        a.vx += s.flowX[k] * inv;
        a.vy += s.flowY[k] * inv;
        if constexpr (kColour) {
            a.r += s.colourR[k] * inv;
            a.g += s.colourG[k] * inv;
            a.b += s.colourB[k] * inv;
        }
    }
}

template <bool kColour>
Sums SumScalar(const FieldSources& s, const FieldImage* images, int imageCount, float x, float y,
               FieldFalloff falloff) {
    Sums a;
    for (int j = 0; j < imageCount; ++j) {
        if (falloff == FieldFalloff::Square) {
            AccumulateScalar<FieldFalloff::Square, kColour>(s, images[j], x, y, a);
        } else {
            AccumulateScalar<FieldFalloff::Cube, kColour>(s, images[j], x, y, a);
        }
    }
    return a;
}

// ---- A block of dots, one per lane --------------------------------------------------------

// As wide as the enabled instruction set makes one register: every operation below is then
// one instruction, and a group of dot vectors with their running sums stays in registers.
#if defined(__AVX512F__)
constexpr int kLanes = 16;
#elif defined(__AVX__)
constexpr int kLanes = 8;
#else
constexpr int kLanes = 4;
#endif
static_assert(kFieldBlockAlign % kLanes == 0 && kFieldBlock % kFieldBlockAlign == 0);
using Vec = float __attribute__((vector_size(kLanes * sizeof(float))));

inline Vec Load(const float* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, Vec v) {
    std::memcpy(p, &v, sizeof v);
}

inline Vec Splat(float a) {
    return Vec{} + a;
}

inline Vec Abs(Vec v) {
    return v < 0.0f ? -v : v;
}

// How the lanes place the movers: as they are, shifted per lane (wrapping), or shifted and
// mirrored per lane (Moebius wrapping).
enum class Placement { Plain, Shifted, Mirrored };

// kGroup dot vectors at a time: their divisions are independent, so they overlap. With
// colour there are five running sums per vector, so fewer vectors fit the registers.
template <FieldFalloff kFalloff, bool kColour, Placement kPlace, int kGroup>
__attribute__((always_inline)) inline void BlockGroup(const FieldSources& s,
                                                      const FieldQuadrants* quadrants,
                                                      int imageCount, const FieldBlock& block,
                                                      int first) {
    Vec vx[kGroup] = {}, vy[kGroup] = {}, r[kGroup] = {}, g[kGroup] = {}, b[kGroup] = {};
    for (int j = 0; j < imageCount; ++j) {
        Vec bx[kGroup], by[kGroup], sx[kGroup], sy[kGroup];
        for (int v = 0; v < kGroup; ++v) {
            const int at = first + v * kLanes;
            bx[v] = Load(block.x + at);
            by[v] = Load(block.y + at);
            if constexpr (kPlace != Placement::Plain) {
                // Each lane takes image j of its own quadrant: selections, which are exact.
                const FieldImage(&m)[4][4] = quadrants->maps;
                const auto right = bx[v] > quadrants->halfW;
                const auto lower = by[v] > quadrants->halfH;
                auto pick = [&](float FieldImage::*field) {
                    const Vec upperRow = right ? Splat(m[1][j].*field) : Splat(m[0][j].*field);
                    const Vec lowerRow = right ? Splat(m[3][j].*field) : Splat(m[2][j].*field);
                    return lower ? lowerRow : upperRow;
                };
                bx[v] = bx[v] - pick(&FieldImage::offsetX);
                by[v] = by[v] - pick(&FieldImage::offsetY);
                if constexpr (kPlace == Placement::Mirrored) {
                    sx[v] = pick(&FieldImage::signX);
                    sy[v] = pick(&FieldImage::signY);
                }
            }
        }
        for (int k = 0; k < s.count; ++k) {
            const Vec mx = Splat(s.x[k]);
            const Vec my = Splat(s.y[k]);
            const Vec w = Splat(s.weight[k]);
            const Vec fx = Splat(s.flowX[k]);
            const Vec fy = Splat(s.flowY[k]);
            for (int v = 0; v < kGroup; ++v) {
                // Without mirroring every sign is 1, and 1 * mover is the mover exactly.
                Vec dx, dy;
                if constexpr (kPlace == Placement::Mirrored) {
                    dx = bx[v] - sx[v] * mx;
                    dy = by[v] - sy[v] * my;
                } else {
                    dx = bx[v] - mx;
                    dy = by[v] - my;
                }
                Vec d;
                if constexpr (kFalloff == FieldFalloff::Square) {
                    d = dx * dx + dy * dy;
                } else {
                    d = dx * dx * Abs(dx) + dy * dy * Abs(dy);
                }
                const Vec inv = 1.0f / (w * d + kFieldEpsilon);
                vx[v] += fx * inv;
                vy[v] += fy * inv;
                if constexpr (kColour) {
                    r[v] += Splat(s.colourR[k]) * inv;
                    g[v] += Splat(s.colourG[k]) * inv;
                    b[v] += Splat(s.colourB[k]) * inv;
                }
            }
        }
    }
    for (int v = 0; v < kGroup; ++v) {
        const int at = first + v * kLanes;
        Store(block.vx + at, vx[v]);
        Store(block.vy + at, vy[v]);
        if constexpr (kColour) {
            Store(block.r + at, r[v]);
            Store(block.g + at, g[v]);
            Store(block.b + at, b[v]);
        }
    }
}

template <FieldFalloff kFalloff, bool kColour, Placement kPlace>
void BlockAll(const FieldSources& s, const FieldQuadrants* images, int imageCount,
              const FieldBlock& block) {
    // Registers per dot vector: two running sums (five with colour), the dot's position,
    // its signs when mirrored, and room for the temporaries. Sixteen registers (SSE, AVX2)
    // or thirty-two (AVX-512) decide how many dot vectors go at once.
    constexpr int kRegisters = kLanes == 16 ? 32 : 16;
    constexpr int kPerVector = (kColour ? 5 : 2) + 2 + (kPlace == Placement::Mirrored ? 2 : 0) + 2;
    constexpr int kFit = kRegisters / kPerVector < 1 ? 1 : kRegisters / kPerVector;
    constexpr int kBlockVectors = kFieldBlock / kLanes;
    constexpr int kGroup = kFit < kBlockVectors ? kFit : kBlockVectors;
    const int padded = PaddedBlockCount(block.count);
    int at = 0;
    for (; at + kGroup * kLanes <= padded; at += kGroup * kLanes) {
        BlockGroup<kFalloff, kColour, kPlace, kGroup>(s, images, imageCount, block, at);
    }
    for (; at < padded; at += kLanes) {
        BlockGroup<kFalloff, kColour, kPlace, 1>(s, images, imageCount, block, at);
    }
}

template <bool kColour, Placement kPlace>
void BlockFalloff(const FieldSources& s, const FieldQuadrants* images, int imageCount,
                  FieldFalloff falloff, const FieldBlock& block) {
    if (falloff == FieldFalloff::Square) {
        BlockAll<FieldFalloff::Square, kColour, kPlace>(s, images, imageCount, block);
    } else {
        BlockAll<FieldFalloff::Cube, kColour, kPlace>(s, images, imageCount, block);
    }
}

template <bool kColour>
void BlockPlaced(const FieldSources& s, const FieldQuadrants* images, int imageCount, bool mirrored,
                 FieldFalloff falloff, const FieldBlock& block) {
    if (images == nullptr) {
        BlockFalloff<kColour, Placement::Plain>(s, images, 1, falloff, block);
    } else if (mirrored) {
        BlockFalloff<kColour, Placement::Mirrored>(s, images, imageCount, falloff, block);
    } else {
        BlockFalloff<kColour, Placement::Shifted>(s, images, imageCount, falloff, block);
    }
}

}  // namespace

FieldPush SumPush(const FieldSources& sources, float x, float y, FieldFalloff falloff) {
    const FieldImage identity;
    const Sums a = SumScalar<false>(sources, &identity, 1, x, y, falloff);
    return {a.vx, a.vy};
}

FieldPush SumPushImages(const FieldSources& sources, const FieldImage* images, int imageCount,
                        float x, float y, FieldFalloff falloff) {
    const Sums a = SumScalar<false>(sources, images, imageCount, x, y, falloff);
    return {a.vx, a.vy};
}

FieldPushColour SumPushColour(const FieldSources& sources, const FieldImage* images, int imageCount,
                              float x, float y, FieldFalloff falloff) {
    const Sums a = SumScalar<true>(sources, images, imageCount, x, y, falloff);
    return {a.vx, a.vy, a.r, a.g, a.b};
}

void SumPushBlock(const FieldSources& sources, const FieldQuadrants* quadrants, int imageCount,
                  FieldFalloff falloff, bool colour, const FieldBlock& block) {
    if (block.count <= 0) return;
    // The plain movers: x - 0 and 1 * moverX are exact, so the lanes need no image at all.
    if (quadrants == nullptr || imageCount <= 1) {
        if (colour) {
            BlockPlaced<true>(sources, nullptr, 1, false, falloff, block);
        } else {
            BlockPlaced<false>(sources, nullptr, 1, false, falloff, block);
        }
        return;
    }
    const int count = std::min(imageCount, 4);
    bool mirrored = false;
    for (int q = 0; q < 4; ++q) {
        for (int j = 0; j < count; ++j) {
            mirrored = mirrored || quadrants->maps[q][j].signX != 1.0f ||
                       quadrants->maps[q][j].signY != 1.0f;
        }
    }
    if (colour) {
        BlockPlaced<true>(sources, quadrants, count, mirrored, falloff, block);
    } else {
        BlockPlaced<false>(sources, quadrants, count, mirrored, falloff, block);
    }
}

}  // namespace quovis
