// Reference kernels: each frame stage's work written the plainest fast way, with none of the
// engine's rules (no parked dots, no quadrants, no shimmer, no overflow compression), so the
// vector unit and the memory system set the pace: the floor a stage is measured against. The
// benchmarks run them next to the engine's stages in the same process and report stage /
// reference, "times the floor": a ratio that stays meaningful on a noisy machine, where
// absolute times drift between spells.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__AVX2__)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 takes the deliberately undefined vectors inside the intrinsics' own headers for
// uninitialised ones (GCC bug 105593). The warning is reported where the kernels below are
// inlined, so it stays off for the rest of every file that includes this one.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif

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
    p[0] = static_cast<uint16_t>(std::clamp(p[0] + a0, 0, 65535));
    p[1] = static_cast<uint16_t>(std::clamp(p[1] + a1, 0, 65535));
    p[2] = static_cast<uint16_t>(std::clamp(p[2] + a2, 0, 65535));
}

// One plot for the splat references: where it lands and what it adds to each channel at full
// weight, 8.8 fixed point.
struct Plot {
    float x, y;
    int32_t a[3];
};

// The splat references are the floor of the splat stage: the same plots added into the canvas
// one after the other in the order they are given, each plot's pixels in vector registers,
// with nothing before or around it (no sorting, no stripes, no overflow compression, no
// prefetching; a sum is only kept within 0 .. 65535). The width follows what the compiler was
// told to use, as the engine's kernel does; without a vector unit they are plain loops.
#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VL__)
#define QUOVIS_REFERENCE_AVX512 1
#elif defined(__AVX2__)
#define QUOVIS_REFERENCE_AVX2 1
#endif

#if defined(QUOVIS_REFERENCE_AVX512)

// Two rows of two pixels: the upper row's six words in lanes 0-5, the lower row's in 8-13.
inline void AddPlot2x2(uint16_t* p, std::ptrdiff_t rowStep, const int32_t a[3],
                       const int32_t w[4]) {
    constexpr __mmask16 kLanes = 0x3F3F;
    const __m512i amounts = _mm512_maskz_permutexvar_epi32(
        kLanes, _mm512_setr_epi32(0, 1, 2, 0, 1, 2, 0, 0, 0, 1, 2, 0, 1, 2, 0, 0),
        _mm512_castsi128_si512(_mm_maskz_loadu_epi32(0x7, a)));
    const __m512i weights = _mm512_permutexvar_epi32(
        _mm512_setr_epi32(0, 0, 0, 1, 1, 1, 0, 0, 2, 2, 2, 3, 3, 3, 0, 0),
        _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
    uint16_t* below = p + rowStep;
    const __m256i words =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_maskz_loadu_epi16(0x3F, p)),
                                _mm_maskz_loadu_epi16(0x3F, below), 1);
    __m512i v = _mm512_add_epi32(_mm512_cvtepu16_epi32(words),
                                 _mm512_srai_epi32(_mm512_mullo_epi32(amounts, weights), 14));
    const __m256i packed = _mm512_cvtusepi32_epi16(_mm512_max_epi32(v, _mm512_setzero_si512()));
    _mm_mask_storeu_epi16(p, 0x3F, _mm256_castsi256_si128(packed));
    _mm_mask_storeu_epi16(below, 0x3F, _mm256_extracti128_si256(packed, 1));
}

// One row of four pixels: twelve words in lanes 0-11.
inline void AddRow4(uint16_t* p, __m512i amounts, const int16_t* w) {
    const __m512i weights = _mm512_maskz_permutexvar_epi32(
        0x0FFF, _mm512_setr_epi32(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 0, 0, 0, 0),
        _mm512_castsi128_si512(
            _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w)))));
    __m512i v = _mm512_add_epi32(_mm512_cvtepu16_epi32(_mm256_maskz_loadu_epi16(0x0FFF, p)),
                                 _mm512_srai_epi32(_mm512_mullo_epi32(amounts, weights), 10));
    _mm256_mask_storeu_epi16(p, 0x0FFF,
                             _mm512_cvtusepi32_epi16(_mm512_max_epi32(v, _mm512_setzero_si512())));
}

inline void AddPlot4x4(uint16_t* p, std::ptrdiff_t rowStep, const int32_t a[3], const int16_t* w) {
    const __m512i amounts =
        _mm512_permutexvar_epi32(_mm512_setr_epi32(0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 0, 0, 0),
                                 _mm512_castsi128_si512(_mm_maskz_loadu_epi32(0x7, a)));
    for (int r = 0; r < 4; ++r, p += rowStep) AddRow4(p, amounts, w + 4 * r);
}

#elif defined(QUOVIS_REFERENCE_AVX2)

// Six words (one row of two pixels) as 8 + 4 bytes, so nothing beyond them is touched.
inline __m256i LoadSix(const uint16_t* p) {
    int32_t last;
    std::memcpy(&last, p + 4, sizeof last);
    return _mm256_cvtepu16_epi32(
        _mm_insert_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), last, 2));
}

inline void StoreSix(uint16_t* p, __m256i v) {
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), words);
    const int32_t last = _mm_extract_epi32(words, 2);
    std::memcpy(p + 4, &last, sizeof last);
}

inline __m256i ThreeAmounts(const int32_t a[3]) {
    return _mm256_castsi128_si256(_mm_maskload_epi32(a, _mm_setr_epi32(-1, -1, -1, 0)));
}

inline void AddPlot2x2(uint16_t* p, std::ptrdiff_t rowStep, const int32_t a[3],
                       const int32_t w[4]) {
    const __m256i amounts =
        _mm256_permutevar8x32_epi32(ThreeAmounts(a), _mm256_setr_epi32(0, 1, 2, 0, 1, 2, 3, 3));
    const __m256i w4 = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w)));
    const __m256i upper =
        _mm256_permutevar8x32_epi32(w4, _mm256_setr_epi32(0, 0, 0, 1, 1, 1, 0, 0));
    const __m256i lower =
        _mm256_permutevar8x32_epi32(w4, _mm256_setr_epi32(2, 2, 2, 3, 3, 3, 0, 0));
    uint16_t* below = p + rowStep;
    StoreSix(
        p, _mm256_add_epi32(LoadSix(p), _mm256_srai_epi32(_mm256_mullo_epi32(amounts, upper), 14)));
    StoreSix(below, _mm256_add_epi32(LoadSix(below),
                                     _mm256_srai_epi32(_mm256_mullo_epi32(amounts, lower), 14)));
}

inline void AddPlot4x4(uint16_t* p, std::ptrdiff_t rowStep, const int32_t a[3], const int16_t* w) {
    // Twelve words a row: eight in one vector, four in a half one.
    const __m256i a3 = ThreeAmounts(a);
    const __m256i front =
        _mm256_permutevar8x32_epi32(a3, _mm256_setr_epi32(0, 1, 2, 0, 1, 2, 0, 1));
    const __m128i back = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(a3, _mm256_setr_epi32(2, 0, 1, 2, 0, 0, 0, 0)));
    for (int r = 0; r < 4; ++r, p += rowStep) {
        const __m256i w4 = _mm256_castsi128_si256(
            _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + 4 * r))));
        const __m256i wf =
            _mm256_permutevar8x32_epi32(w4, _mm256_setr_epi32(0, 0, 0, 1, 1, 1, 2, 2));
        const __m128i wb = _mm256_castsi256_si128(
            _mm256_permutevar8x32_epi32(w4, _mm256_setr_epi32(2, 3, 3, 3, 0, 0, 0, 0)));
        const __m256i vf = _mm256_add_epi32(
            _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm256_srai_epi32(_mm256_mullo_epi32(front, wf), 10));
        const __m128i vb = _mm_add_epi32(
            _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8))),
            _mm_srai_epi32(_mm_mullo_epi32(back, wb), 10));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(p),
            _mm_packus_epi32(_mm256_castsi256_si128(vf), _mm256_extracti128_si256(vf, 1)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 8), _mm_packus_epi32(vb, vb));
    }
}

#else

inline void AddPlot2x2(uint16_t* p, std::ptrdiff_t rowStep, const int32_t a[3],
                       const int32_t w[4]) {
    uint16_t* q[4] = {p, p + 3, p + rowStep, p + rowStep + 3};
    for (int k = 0; k < 4; ++k) {
        AddClamped(q[k], (a[0] * w[k]) >> 14, (a[1] * w[k]) >> 14, (a[2] * w[k]) >> 14);
    }
}

inline void AddPlot4x4(uint16_t* p, std::ptrdiff_t rowStep, const int32_t a[3], const int16_t* w) {
    for (int r = 0; r < 4; ++r, p += rowStep) {
        for (int k = 0; k < 4; ++k) {
            const int32_t wk = w[4 * r + k];
            AddClamped(p + 3 * k, (a[0] * wk) >> 10, (a[1] * wk) >> 10, (a[2] * wk) >> 10);
        }
    }
}

#endif

// Bilinear 2 x 2 splats with 7-bit sub-pixel weights.
inline void Splat2x2(const Canvas16& c, const Plot* plots, int first, int last) {
    for (int i = first; i <= last; ++i) {
        const float x = plots[i].x, y = plots[i].y;
        if (!(x >= 1.0f && x < c.width - 2 && y >= 0.0f && y < c.height - 2)) continue;
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        const int32_t fx = static_cast<int32_t>(128.0f * (x - ix));
        const int32_t fy = static_cast<int32_t>(128.0f * (y - iy));
        alignas(16) const int32_t w[4] = {(128 - fx) * (128 - fy), fx * (128 - fy), (128 - fx) * fy,
                                          fx * fy};
        AddPlot2x2(c.pixels + iy * c.rowStep + 3 * ix, c.rowStep, plots[i].a, w);
    }
}

// 4 x 4 splats from a table of weights by 1/32-pixel offset, as round dots are drawn.
inline void Splat4x4(const Canvas16& c, const Plot* plots, int first, int last,
                     const int16_t (*kernels)[32][16]) {
    for (int i = first; i <= last; ++i) {
        const float x = plots[i].x, y = plots[i].y;
        if (!(x >= 2.0f && x < c.width - 3 && y >= 2.0f && y < c.height - 3)) continue;
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        const int16_t* w =
            kernels[static_cast<int>(32.0f * (x - ix))][static_cast<int>(32.0f * (y - iy))];
        AddPlot4x4(c.pixels + (iy - 1) * c.rowStep + 3 * (ix - 1), c.rowStep, plots[i].a, w);
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
