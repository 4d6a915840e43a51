// Reference kernels: each frame stage's work written the plainest fast way, with none of the
// engine's rules (no parked dots, no quadrants, no shimmer, no overflow compression), so the
// compiler's vectoriser and the memory system set the pace. The benchmarks run them next to
// the engine's stages in the same process and report stage / reference: a ratio that stays
// meaningful on a noisy machine, where absolute times drift between spells.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quovis::reference {

constexpr int kBlock = 64;

// The push of m movers on dots first..last, `images` copies of the movers shifted by
// offsets. The dots are taken 64 at a time, so the running sums stay in the first-level
// cache, and the inner loop over the dots of a block is a plain loop the compiler
// vectorises. x and y must be readable up to a whole block past `last`.
struct FieldData {
    const float* x;
    const float* y;
    const float* moverX;
    const float* moverY;
    const float* flowX;
    const float* flowY;
    const float* weight;
    int movers;
    const float (*offsets)[2];
    int images;
};

inline float FieldSum(const FieldData& f, int first, int last) {
    float total = 0.0f;
    for (int b = first; b <= last; b += kBlock) {
        alignas(64) float sx[kBlock] = {};
        alignas(64) float sy[kBlock] = {};
        const float* x = f.x + b;
        const float* y = f.y + b;
        for (int j = 0; j < f.images; ++j) {
            for (int k = 0; k < f.movers; ++k) {
                const float mx = f.moverX[k] + f.offsets[j][0];
                const float my = f.moverY[k] + f.offsets[j][1];
                const float w = f.weight[k];
                const float fx = f.flowX[k];
                const float fy = f.flowY[k];
                for (int i = 0; i < kBlock; ++i) {
                    const float dx = x[i] - mx;
                    const float dy = y[i] - my;
                    const float inv = 1.0f / (w * (dx * dx + dy * dy) + 1.3f);
                    sx[i] += fx * inv;
                    sy[i] += fy * inv;
                }
            }
        }
        const int n = std::min(kBlock, last - b + 1);
        for (int i = 0; i < n; ++i) total += sx[i] + sy[i];
    }
    return total;
}

// One frame of the dot update without the field: move, damping, the walls of both axes,
// a tint looked up by direction, decay.
struct DotData {
    float* x;
    float* y;
    float* vx;
    float* vy;
    float* r;
    float* g;
    float* b;
    const float* mobility;
    const float (*hue)[3];  // 1024 entries
    float width, height;
    float damp, k1, k2, margin, gain, fade;
};

inline float Wall(float p, float margin, float size, float k1, float k2) {
    const float tl = std::max(p + margin, 0.0f) * k1;
    const float tr = std::max(size + margin - p, 0.0f) * k1;
    return 1.0f / (tl * tl * tl * k2 + 1.0f) - 1.0f / (tr * tr * tr * k2 + 1.0f);
}

inline void DotUpdate(const DotData& d, int first, int last) {
    for (int i = first; i <= last; ++i) {
        const float x = d.x[i] + d.vx[i];
        const float y = d.y[i] + d.vy[i];
        float vx = d.vx[i] * d.damp * d.mobility[i] + Wall(x, d.margin, d.width, d.k1, d.k2);
        float vy = d.vy[i] * d.damp * d.mobility[i] + Wall(y, d.margin, d.height, d.k1, d.k2);
        const float ax = std::abs(vx), ay = std::abs(vy);
        const float major = std::max(ax, ay) + 1e-6f;
        const int k = (static_cast<int>(128.0f * std::min(ax, ay) / major) + 128 +
                       256 * ((vx < 0.0f) + 2 * (vy < 0.0f))) &
                      1023;
        const float m = major * d.gain;
        d.r[i] = std::clamp(d.r[i] + m * d.hue[k][0] - d.r[i] * d.fade, -100.0f, 255.0f);
        d.g[i] = std::clamp(d.g[i] + m * d.hue[k][1] - d.g[i] * d.fade, -100.0f, 255.0f);
        d.b[i] = std::clamp(d.b[i] + m * d.hue[k][2] - d.b[i] * d.fade, -100.0f, 255.0f);
        d.x[i] = x;
        d.y[i] = y;
        d.vx[i] = vx;
        d.vy[i] = vy;
    }
}

// A 16-bit canvas of three channels per pixel, as the engine's.
struct Canvas16 {
    uint16_t* pixels;
    int width, height;
    std::ptrdiff_t rowStep;  // in uint16_t
};

inline void AddClamped(uint16_t* p, int32_t a0, int32_t a1, int32_t a2) {
    p[0] = static_cast<uint16_t>(std::min(p[0] + a0, 65535));
    p[1] = static_cast<uint16_t>(std::min(p[1] + a1, 65535));
    p[2] = static_cast<uint16_t>(std::min(p[2] + a2, 65535));
}

// Bilinear 2 x 2 splats with 7-bit sub-pixel weights, amounts in 8.8 fixed point.
inline void Splat2x2(const Canvas16& c, const float* xs, const float* ys, int first, int last,
                     const int32_t a[3]) {
    for (int i = first; i <= last; ++i) {
        const float x = xs[i], y = ys[i];
        if (!(x >= 1.0f && x < c.width - 2 && y >= 0.0f && y < c.height - 2)) continue;
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        const int32_t fx = static_cast<int32_t>(128.0f * (x - ix));
        const int32_t fy = static_cast<int32_t>(128.0f * (y - iy));
        uint16_t* p = c.pixels + iy * c.rowStep + 3 * ix;
        const int32_t w[4] = {(128 - fx) * (128 - fy), fx * (128 - fy), (128 - fx) * fy, fx * fy};
        uint16_t* q[4] = {p, p + 3, p + c.rowStep, p + c.rowStep + 3};
        for (int k = 0; k < 4; ++k) {
            AddClamped(q[k], (a[0] * w[k]) >> 14, (a[1] * w[k]) >> 14, (a[2] * w[k]) >> 14);
        }
    }
}

// 4 x 4 splats from a table of weights by 1/32-pixel offset, as round dots are drawn.
inline void Splat4x4(const Canvas16& c, const float* xs, const float* ys, int first, int last,
                     const int32_t a[3], const int16_t (*kernels)[32][16]) {
    for (int i = first; i <= last; ++i) {
        const float x = xs[i], y = ys[i];
        if (!(x >= 2.0f && x < c.width - 3 && y >= 2.0f && y < c.height - 3)) continue;
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        const int16_t* w =
            kernels[static_cast<int>(32.0f * (x - ix))][static_cast<int>(32.0f * (y - iy))];
        uint16_t* p = c.pixels + (iy - 1) * c.rowStep + 3 * (ix - 1);
        for (int r = 0; r < 4; ++r, p += c.rowStep) {
            for (int k = 0; k < 4; ++k) {
                const int32_t wk = w[4 * r + k];
                AddClamped(p + 3 * k, (a[0] * wk) >> 10, (a[1] * wk) >> 10, (a[2] * wk) >> 10);
            }
        }
    }
}

// The trail fade: every channel times mul / 65536.
inline void Fade(uint16_t* p, std::size_t n, uint32_t mul) {
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<uint16_t>((p[i] * mul) >> 16);
}

// The conversion to the display: three tone-table look-ups per pixel into 0x00RRGGBB.
inline void Convert(const uint16_t* src, uint32_t* dst, std::size_t pixels, const uint8_t* tone) {
    for (std::size_t x = 0; x < pixels; ++x) {
        dst[x] = static_cast<uint32_t>(tone[src[3 * x]]) << 16 |
                 static_cast<uint32_t>(tone[src[3 * x + 1]]) << 8 | tone[src[3 * x + 2]];
    }
}

}  // namespace quovis::reference
