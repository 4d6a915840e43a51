// The vector "Points" kernel of the stripe drawing (see splat_kernel.h).
//
// Every float step below is the one the plain path takes, in the same order and without
// fused multiply-adds (the build keeps contraction off), so the vector lanes round exactly
// as the scalar code does.
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 takes the deliberately undefined vectors inside the intrinsics' own headers for
// uninitialised ones (GCC bug 105593); the warning has to be off where those headers are read.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "engine/splat_kernel.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VL__)
#define QUOVIS_SPLAT_AVX512 1
#include <immintrin.h>
#elif defined(__AVX2__)
#define QUOVIS_SPLAT_AVX2 1
#include <immintrin.h>
#endif

namespace quovis {

#if defined(QUOVIS_SPLAT_AVX512) || defined(QUOVIS_SPLAT_AVX2)

namespace {

// The same offset the plain path adds before truncating a position (dot_plot.cpp): small
// negative coordinates then floor correctly and the fraction keeps its precision.
constexpr float kFloorOffset = 10000.0f;
constexpr int32_t kFloorOffsetInt = 10000;

static_assert(sizeof(SplatRecord) == 5 * sizeof(float), "the gathers step 5 words per record");

#if defined(QUOVIS_SPLAT_AVX512)
constexpr int kBatch = 16;
#else
constexpr int kBatch = 8;
#endif
// How many batches ahead the canvas rows are fetched: 32 plots, a few hundred nanoseconds
// of drawing, about one trip to memory.
constexpr int kAhead = 32 / kBatch;

// A batch of plots, worked out together: which are wholly inside, where each one's upper
// row starts in the canvas, and its four weights (upper left, upper right, lower left,
// lower right) as one 128-bit group.
struct Batch {
    alignas(64) int32_t index[kBatch];
    alignas(64) int32_t offset[kBatch];
    alignas(64) int32_t quads[4 * kBatch];
};

// The transposed weights put plot j's group here (see the unpacks in Prepare).
inline const int32_t* QuadOf(const Batch& b, int j) {
    return b.quads + 4 * ((j & 3) * (kBatch / 4) + (j >> 2));
}

// The integer bounds of the inner test: 1 <= ix < width - 1, rowLow <= iy < rowHigh.
struct InnerBounds {
    float xHigh, yHigh;  // width - 1, height - 1 as the plain path compares them
    int32_t width, rowLow, rowHigh, lastRow;
    int32_t step;
};

InnerBounds BoundsOf(const CanvasSurface& s) {
    InnerBounds b{};
    b.xHigh = static_cast<float>(s.width - 1);
    b.yHigh = static_cast<float>(s.height - 1);
    b.width = s.width;
    b.rowLow = std::max(0, s.clipFirst);
    b.rowHigh = std::min(s.height, s.clipEnd) - 1;
    b.lastRow = s.height - 1;
    b.step = static_cast<int32_t>(s.deepRowStep);
    return b;
}

#if defined(QUOVIS_SPLAT_AVX512)

alignas(64) constexpr int32_t kAmountLanes[16] = {0, 1, 2, 0, 1, 2, 0, 0, 0, 1, 2, 0, 1, 2, 0, 0};
alignas(64) constexpr int32_t kWeightLanes[16] = {0, 0, 0, 1, 1, 1, 0, 0, 2, 2, 2, 3, 3, 3, 0, 0};
// Each channel's two neighbours within its pixel, for the pixel's largest channel.
alignas(64) constexpr int32_t kNext1[16] = {1, 2, 0, 4, 5, 3, 6, 7, 9, 10, 8, 12, 13, 11, 14, 15};
alignas(64) constexpr int32_t kNext2[16] = {2, 0, 1, 5, 3, 4, 6, 7, 10, 8, 9, 13, 11, 12, 14, 15};
// Lanes 0-5 hold the upper row's two pixels, 8-13 the lower row's.
constexpr __mmask16 kPlotLanes = 0x3F3F;
constexpr __mmask8 kRowWords = 0x3F;

uint32_t Prepare(const InnerBounds& c, const SplatRecord* splats, Batch& b) {
    const __m512i i = _mm512_load_si512(b.index);
    const __m512i i5 = _mm512_add_epi32(_mm512_slli_epi32(i, 2), i);
    const float* base = &splats[0].x;
    const __m512 x = _mm512_i32gather_ps(i5, base, 4);
    const __m512 y = _mm512_i32gather_ps(i5, base + 1, 4);
    __mmask16 in = _mm512_cmp_ps_mask(x, _mm512_set1_ps(1.0f), _CMP_GE_OQ) &
                   _mm512_cmp_ps_mask(x, _mm512_set1_ps(c.xHigh), _CMP_LT_OQ) &
                   _mm512_cmp_ps_mask(y, _mm512_setzero_ps(), _CMP_GE_OQ) &
                   _mm512_cmp_ps_mask(y, _mm512_set1_ps(c.yHigh), _CMP_LT_OQ);
    const __m512 xs = _mm512_add_ps(x, _mm512_set1_ps(kFloorOffset));
    const __m512 ys = _mm512_add_ps(y, _mm512_set1_ps(kFloorOffset));
    const __m512i tx = _mm512_cvttps_epi32(xs);
    const __m512i ty = _mm512_cvttps_epi32(ys);
    const __m512i ix = _mm512_sub_epi32(tx, _mm512_set1_epi32(kFloorOffsetInt));
    const __m512i iy = _mm512_sub_epi32(ty, _mm512_set1_epi32(kFloorOffsetInt));
    in &= _mm512_cmpge_epi32_mask(ix, _mm512_set1_epi32(1)) &
          _mm512_cmplt_epi32_mask(ix, _mm512_set1_epi32(c.width - 1)) &
          _mm512_cmpge_epi32_mask(iy, _mm512_set1_epi32(c.rowLow)) &
          _mm512_cmplt_epi32_mask(iy, _mm512_set1_epi32(c.rowHigh));
    const __m512 k128 = _mm512_set1_ps(128.0f);
    const __m512i fx =
        _mm512_cvttps_epi32(_mm512_mul_ps(k128, _mm512_sub_ps(xs, _mm512_cvtepi32_ps(tx))));
    const __m512i fy =
        _mm512_cvttps_epi32(_mm512_mul_ps(k128, _mm512_sub_ps(ys, _mm512_cvtepi32_ps(ty))));
    const __m512i i128 = _mm512_set1_epi32(128);
    const __m512i gx = _mm512_sub_epi32(i128, fx);
    const __m512i gy = _mm512_sub_epi32(i128, fy);
    const __m512i w00 = _mm512_mullo_epi32(gx, gy);
    const __m512i w10 = _mm512_mullo_epi32(fx, gy);
    const __m512i w01 = _mm512_mullo_epi32(gx, fy);
    const __m512i w11 = _mm512_mullo_epi32(fx, fy);
    const __m512i row = _mm512_sub_epi32(_mm512_set1_epi32(c.lastRow), iy);
    const __m512i offset = _mm512_add_epi32(_mm512_mullo_epi32(row, _mm512_set1_epi32(c.step)),
                                            _mm512_add_epi32(_mm512_add_epi32(ix, ix), ix));
    _mm512_store_si512(b.offset, offset);
    // Four weights per plot side by side: plot 4L + g lands in 128-bit lane L of vector g.
    const __m512i t0 = _mm512_unpacklo_epi32(w00, w10);
    const __m512i t1 = _mm512_unpacklo_epi32(w01, w11);
    const __m512i t2 = _mm512_unpackhi_epi32(w00, w10);
    const __m512i t3 = _mm512_unpackhi_epi32(w01, w11);
    _mm512_store_si512(b.quads, _mm512_unpacklo_epi64(t0, t1));
    _mm512_store_si512(b.quads + kBatch, _mm512_unpackhi_epi64(t0, t1));
    _mm512_store_si512(b.quads + 2 * kBatch, _mm512_unpacklo_epi64(t2, t3));
    _mm512_store_si512(b.quads + 3 * kBatch, _mm512_unpackhi_epi64(t2, t3));
    return in;
}

// The hue-keeping compression of AddDeepPixel, on every pixel whose largest sum is above
// the top.
__m512i Compress(__m512i v) {
    const __m512i top = _mm512_set1_epi32(kDeepMax);
    const __m512i m = _mm512_max_epi32(
        v, _mm512_max_epi32(_mm512_permutexvar_epi32(_mm512_load_si512(kNext1), v),
                            _mm512_permutexvar_epi32(_mm512_load_si512(kNext2), v)));
    const __mmask16 over = _mm512_cmpgt_epi32_mask(m, top);
    const __m512 one = _mm512_set1_ps(1.0f);
    const __m512 mf = _mm512_cvtepi32_ps(m);
    const __m512 t = _mm512_cvtepi32_ps(v);
    const __m512 q = _mm512_maskz_div_ps(over, _mm512_set1_ps(static_cast<float>(kDeepMax)), mf);
    const __m512 rest = _mm512_sub_ps(one, _mm512_maskz_div_ps(over, t, mf));
    const __m512 scaled =
        _mm512_mul_ps(t, _mm512_add_ps(q, _mm512_mul_ps(_mm512_sub_ps(one, q), rest)));
    __m512i c = _mm512_min_epi32(_mm512_cvttps_epi32(scaled), top);
    c = _mm512_mask_mov_epi32(c, _mm512_cmpge_epi32_mask(v, m), top);
    return _mm512_mask_mov_epi32(v, over, c);
}

inline void AddPoint(uint16_t* upper, std::ptrdiff_t step, const PlotAmounts& a,
                     const int32_t* quad) {
    const __m512i amounts =
        _mm512_maskz_permutexvar_epi32(kPlotLanes, _mm512_load_si512(kAmountLanes),
                                       _mm512_castsi128_si512(_mm_maskz_loadu_epi32(0x7, &a.a0)));
    const __m512i weights = _mm512_maskz_permutexvar_epi32(
        kPlotLanes, _mm512_load_si512(kWeightLanes),
        _mm512_castsi128_si512(_mm_load_si128(reinterpret_cast<const __m128i*>(quad))));
    const __m512i add = _mm512_srai_epi32(_mm512_mullo_epi32(amounts, weights), 14);
    uint16_t* lower = upper - step;  // rows are stored bottom-up
    const __m256i words =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_maskz_loadu_epi16(kRowWords, upper)),
                                _mm_maskz_loadu_epi16(kRowWords, lower), 1);
    __m512i v = _mm512_add_epi32(_mm512_cvtepu16_epi32(words), add);
    if (_mm512_cmpgt_epi32_mask(v, _mm512_set1_epi32(kDeepMax)) != 0) v = Compress(v);
    v = _mm512_max_epi32(v, _mm512_setzero_si512());
    const __m256i packed = _mm512_cvtepi32_epi16(v);
    _mm_mask_storeu_epi16(upper, kRowWords, _mm256_castsi256_si128(packed));
    _mm_mask_storeu_epi16(lower, kRowWords, _mm256_extracti128_si256(packed, 1));
}

#else  // AVX2

alignas(32) constexpr int32_t kAmountLanes[8] = {0, 1, 2, 0, 1, 2, 0, 0};
alignas(32) constexpr int32_t kUpperWeightLanes[8] = {0, 0, 0, 1, 1, 1, 0, 0};
alignas(32) constexpr int32_t kLowerWeightLanes[8] = {2, 2, 2, 3, 3, 3, 0, 0};
alignas(32) constexpr int32_t kNext1[8] = {1, 2, 0, 4, 5, 3, 6, 7};
alignas(32) constexpr int32_t kNext2[8] = {2, 0, 1, 5, 3, 4, 6, 7};
alignas(16) constexpr int32_t kThreeWords[4] = {-1, -1, -1, 0};
constexpr int kUnusedLanes = 0xC0;  // lanes 6 and 7: a row's two pixels fill lanes 0-5

inline __m256i Load(const int32_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

uint32_t Prepare(const InnerBounds& c, const SplatRecord* splats, Batch& b) {
    const __m256i i = Load(b.index);
    const __m256i i5 = _mm256_add_epi32(_mm256_slli_epi32(i, 2), i);
    const float* base = &splats[0].x;
    const __m256 x = _mm256_i32gather_ps(base, i5, 4);
    const __m256 y = _mm256_i32gather_ps(base + 1, i5, 4);
    const __m256 inside =
        _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(x, _mm256_set1_ps(1.0f), _CMP_GE_OQ),
                                    _mm256_cmp_ps(x, _mm256_set1_ps(c.xHigh), _CMP_LT_OQ)),
                      _mm256_and_ps(_mm256_cmp_ps(y, _mm256_setzero_ps(), _CMP_GE_OQ),
                                    _mm256_cmp_ps(y, _mm256_set1_ps(c.yHigh), _CMP_LT_OQ)));
    const __m256 xs = _mm256_add_ps(x, _mm256_set1_ps(kFloorOffset));
    const __m256 ys = _mm256_add_ps(y, _mm256_set1_ps(kFloorOffset));
    const __m256i tx = _mm256_cvttps_epi32(xs);
    const __m256i ty = _mm256_cvttps_epi32(ys);
    const __m256i ix = _mm256_sub_epi32(tx, _mm256_set1_epi32(kFloorOffsetInt));
    const __m256i iy = _mm256_sub_epi32(ty, _mm256_set1_epi32(kFloorOffsetInt));
    const __m256i within =
        _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(ix, _mm256_setzero_si256()),
                                          _mm256_cmpgt_epi32(_mm256_set1_epi32(c.width - 1), ix)),
                         _mm256_and_si256(_mm256_cmpgt_epi32(iy, _mm256_set1_epi32(c.rowLow - 1)),
                                          _mm256_cmpgt_epi32(_mm256_set1_epi32(c.rowHigh), iy)));
    const uint32_t in = static_cast<uint32_t>(
        _mm256_movemask_ps(_mm256_and_ps(inside, _mm256_castsi256_ps(within))));
    const __m256 k128 = _mm256_set1_ps(128.0f);
    const __m256i fx =
        _mm256_cvttps_epi32(_mm256_mul_ps(k128, _mm256_sub_ps(xs, _mm256_cvtepi32_ps(tx))));
    const __m256i fy =
        _mm256_cvttps_epi32(_mm256_mul_ps(k128, _mm256_sub_ps(ys, _mm256_cvtepi32_ps(ty))));
    const __m256i i128 = _mm256_set1_epi32(128);
    const __m256i gx = _mm256_sub_epi32(i128, fx);
    const __m256i gy = _mm256_sub_epi32(i128, fy);
    const __m256i w00 = _mm256_mullo_epi32(gx, gy);
    const __m256i w10 = _mm256_mullo_epi32(fx, gy);
    const __m256i w01 = _mm256_mullo_epi32(gx, fy);
    const __m256i w11 = _mm256_mullo_epi32(fx, fy);
    const __m256i row = _mm256_sub_epi32(_mm256_set1_epi32(c.lastRow), iy);
    const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(row, _mm256_set1_epi32(c.step)),
                                            _mm256_add_epi32(_mm256_add_epi32(ix, ix), ix));
    _mm256_store_si256(reinterpret_cast<__m256i*>(b.offset), offset);
    const __m256i t0 = _mm256_unpacklo_epi32(w00, w10);
    const __m256i t1 = _mm256_unpacklo_epi32(w01, w11);
    const __m256i t2 = _mm256_unpackhi_epi32(w00, w10);
    const __m256i t3 = _mm256_unpackhi_epi32(w01, w11);
    auto* q = reinterpret_cast<__m256i*>(b.quads);
    _mm256_store_si256(q, _mm256_unpacklo_epi64(t0, t1));
    _mm256_store_si256(q + 1, _mm256_unpackhi_epi64(t0, t1));
    _mm256_store_si256(q + 2, _mm256_unpacklo_epi64(t2, t3));
    _mm256_store_si256(q + 3, _mm256_unpackhi_epi64(t2, t3));
    return in;
}

// One row of a plot is two pixels, six words: exactly 8 + 4 bytes, loaded and stored as
// such so that nothing beyond them is touched.
inline __m256i LoadRow(const uint16_t* p) {
    int32_t last;
    std::memcpy(&last, p + 4, sizeof last);
    const __m128i words =
        _mm_insert_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), last, 2);
    return _mm256_cvtepu16_epi32(words);
}

inline void StoreRow(uint16_t* p, __m256i v) {
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), words);
    const int32_t last = _mm_extract_epi32(words, 2);
    std::memcpy(p + 4, &last, sizeof last);
}

__m256i Compress(__m256i v) {
    const __m256i top = _mm256_set1_epi32(kDeepMax);
    const __m256i m =
        _mm256_max_epi32(v, _mm256_max_epi32(_mm256_permutevar8x32_epi32(v, Load(kNext1)),
                                             _mm256_permutevar8x32_epi32(v, Load(kNext2))));
    const __m256i over = _mm256_cmpgt_epi32(m, top);
    const __m256 one = _mm256_set1_ps(1.0f);
    // Pixels not over the top divide by 1 instead of by their (maybe zero) largest sum.
    const __m256 mf = _mm256_blendv_ps(one, _mm256_cvtepi32_ps(m), _mm256_castsi256_ps(over));
    const __m256 t = _mm256_cvtepi32_ps(v);
    const __m256 q = _mm256_div_ps(_mm256_set1_ps(static_cast<float>(kDeepMax)), mf);
    const __m256 rest = _mm256_sub_ps(one, _mm256_div_ps(t, mf));
    const __m256 scaled =
        _mm256_mul_ps(t, _mm256_add_ps(q, _mm256_mul_ps(_mm256_sub_ps(one, q), rest)));
    __m256i c = _mm256_min_epi32(_mm256_cvttps_epi32(scaled), top);
    c = _mm256_blendv_epi8(top, c, _mm256_cmpgt_epi32(m, v));  // the largest goes to the top
    return _mm256_blendv_epi8(v, c, over);
}

inline void AddPoint(uint16_t* upper, std::ptrdiff_t step, const PlotAmounts& a,
                     const int32_t* quad) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i amounts = _mm256_permutevar8x32_epi32(
        _mm256_castsi128_si256(_mm_maskload_epi32(
            &a.a0, _mm_load_si128(reinterpret_cast<const __m128i*>(kThreeWords)))),
        Load(kAmountLanes));
    const __m256i w =
        _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(quad)));
    const __m256i wUpper = _mm256_blend_epi32(
        _mm256_permutevar8x32_epi32(w, Load(kUpperWeightLanes)), zero, kUnusedLanes);
    const __m256i wLower = _mm256_blend_epi32(
        _mm256_permutevar8x32_epi32(w, Load(kLowerWeightLanes)), zero, kUnusedLanes);
    uint16_t* lower = upper - step;  // rows are stored bottom-up
    __m256i vu = _mm256_add_epi32(LoadRow(upper),
                                  _mm256_srai_epi32(_mm256_mullo_epi32(amounts, wUpper), 14));
    __m256i vl = _mm256_add_epi32(LoadRow(lower),
                                  _mm256_srai_epi32(_mm256_mullo_epi32(amounts, wLower), 14));
    const __m256i top = _mm256_set1_epi32(kDeepMax);
    if (!_mm256_testz_si256(
            _mm256_or_si256(_mm256_cmpgt_epi32(vu, top), _mm256_cmpgt_epi32(vl, top)),
            _mm256_set1_epi32(-1))) {
        vu = Compress(vu);
        vl = Compress(vl);
    }
    StoreRow(upper, _mm256_max_epi32(vu, zero));
    StoreRow(lower, _mm256_max_epi32(vl, zero));
}

#endif

}  // namespace

const char* VectorSplatKernelName() {
#if defined(QUOVIS_SPLAT_AVX512)
    return "avx512";
#else
    return "avx2";
#endif
}

void DrawPointSplats(const CanvasSurface& s, const SplatRecord* splats, const int32_t* order,
                     int32_t count, SplatFallback fallback, void* context) {
    // Offsets into the canvas are 32-bit lanes; a canvas too big for them (far beyond any
    // screen) is drawn the plain way.
    const bool fits = s.deep != nullptr && s.width > 2 && s.height > 1 &&
                      static_cast<int64_t>(s.height) * s.deepRowStep < INT32_MAX;
    if (!fits) {
        for (int32_t k = 0; k < count; ++k) fallback(context, splats[order ? order[k] : k]);
        return;
    }
    const InnerBounds bounds = BoundsOf(s);
    // The canvas words are the plots' cache misses: each batch is worked out (and its rows
    // fetched) kAhead batches before it is drawn, so the loads find them in the cache.
    Batch ring[kAhead + 1];
    uint32_t inner[kAhead + 1] = {};
    auto prepare = [&](int32_t k, int slot) {
        Batch& b = ring[slot];
        const int n = static_cast<int>(std::min<int32_t>(kBatch, count - k));
        // A short last batch repeats its first plot in the unused lanes, which are never drawn.
        if (order != nullptr) {
            for (int j = 0; j < kBatch; ++j) b.index[j] = order[k + (j < n ? j : 0)];
        } else {
            for (int j = 0; j < kBatch; ++j) b.index[j] = k + (j < n ? j : 0);
        }
        const uint32_t in = Prepare(bounds, splats, b) & ((2u << (n - 1)) - 1u);
        inner[slot] = in;
        for (uint32_t m = in; m != 0; m &= m - 1) {
            const uint16_t* upper = s.deep + b.offset[std::countr_zero(m)];
            _mm_prefetch(reinterpret_cast<const char*>(upper), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(upper - s.deepRowStep), _MM_HINT_T0);
        }
    };
    for (int a = 0; a < kAhead && a * kBatch < count; ++a) prepare(a * kBatch, a);
    int slot = 0;
    for (int32_t k = 0; k < count; k += kBatch) {
        const int32_t ahead = k + kAhead * kBatch;
        if (ahead < count) prepare(ahead, (slot + kAhead) % (kAhead + 1));
        const Batch& b = ring[slot];
        const uint32_t in = inner[slot];
        const int n = static_cast<int>(std::min<int32_t>(kBatch, count - k));
        for (int j = 0; j < n; ++j) {
            const SplatRecord& r = splats[b.index[j]];
            if ((in >> j & 1u) != 0) {
                AddPoint(s.deep + b.offset[j], s.deepRowStep, r.amounts, QuadOf(b, j));
            } else {
                fallback(context, r);
            }
        }
        slot = (slot + 1) % (kAhead + 1);
    }
}

#else  // no vector kernel in this build

const char* VectorSplatKernelName() {
    return nullptr;
}

void DrawPointSplats(const CanvasSurface& s, const SplatRecord* splats, const int32_t* order,
                     int32_t count, SplatFallback fallback, void* context) {
    (void)s;
    for (int32_t k = 0; k < count; ++k) fallback(context, splats[order ? order[k] : k]);
}

#endif

}  // namespace quovis
