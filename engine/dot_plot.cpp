// Drawing dots: how one moved dot becomes pixels in the canvas.
//
//   PlotDotImages     the reflection copies and mirror images of a dot, with shimmer
//   ShimmerColour     the highlight of dots moving along the flow
//   PlotDot           the eight dot styles and their integer sub-pixel kernels
//   BuildDiscKernels  the supersampled kernels of "Fuzzies", "Rings" and "Discs"
//   Set*              dot style and shimmer settings
//
// Everything per dot is integer work after one floor of the position: weights are 7-bit or
// 5-bit sub-pixel fractions and products are shifted, not divided.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>

#include "engine/canvas_surface.h"
#include "engine/draw_wnd.h"
#include "engine/splat_kernel.h"

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Adding this before the floor makes small negative coordinates floor correctly with a plain
// truncation, and keeps the fraction's precision (about 1/1000 px) above the 1/128 the
// kernels use.
constexpr float kFloorOffset = 10000.0f;
// A dot farther than this outside the canvas cannot touch it with any kernel (the widest
// reaches 3 pixels); the test also throws out positions that are not numbers.
constexpr float kReach = 4.0f;
// One plot at most adds a full-strength channel (255 display units); colours outside
// -255..255 are not produced by the colour model and are limited here so that no product of
// the integer kernels can overflow.
constexpr float kMaxChannel = 255.0f;
constexpr uint32_t kPointCapOff = 130560;  // 2 * 255 * 256: the cap when trails are off
constexpr float kMaxShimmerChannel = 255.0f;
constexpr float kMinShimmerChannel = -100.0f;
// Below this speed a dot has no direction to compare with the flow.
constexpr float kMinShimmerSpeed = 1e-6f;

constexpr int kJitterMask = 2 * CDrawWnd::kJitterEntries - 1;

int32_t ToFixed(float c) {
    // NaN fails both comparisons and draws nothing.
    if (!(c > -kMaxChannel)) c = (c != c) ? 0.0f : -kMaxChannel;
    if (c > kMaxChannel) c = kMaxChannel;
    return static_cast<int32_t>(256.0f * c);
}

bool IsRoundStyle(int style) {
    return style == kDotFuzzies || style == kDotRings || style == kDotDiscs;
}

// ---- Kernels of the simple styles -------------------------------------------------------

using Amounts = PlotAmounts;

inline void AddScaled(const CanvasSurface& s, int x, int y, const Amounts& a, int32_t w,
                      int shift) {
    AddPixel(s, x, y, (a.a0 * w) >> shift, (a.a1 * w) >> shift, (a.a2 * w) >> shift);
}

void PlotPixel(const CanvasSurface& s, int ix, int iy, const Amounts& a) {
    AddPixel(s, ix, iy, a.a0, a.a1, a.a2);
}

inline void AddDeepScaled(uint16_t* px, const Amounts& a, int32_t w) {
    AddDeepPixel(px, (a.a0 * w) >> 14, (a.a1 * w) >> 14, (a.a2 * w) >> 14);
}

void PlotPoint(const CanvasSurface& s, int ix, int iy, float fracX, float fracY, const Amounts& a) {
    const int32_t fx = static_cast<int32_t>(128.0f * fracX);
    const int32_t fy = static_cast<int32_t>(128.0f * fracY);
    AddScaled(s, ix, iy, a, (128 - fx) * (128 - fy), 14);
    if (fx != 0) AddScaled(s, ix + 1, iy, a, fx * (128 - fy), 14);
    if (fy != 0) AddScaled(s, ix, iy + 1, a, (128 - fx) * fy, 14);
    if (fx != 0 && fy != 0) AddScaled(s, ix + 1, iy + 1, a, fx * fy, 14);
}

// A "Points" dot wholly inside the deep canvas, the plot nearly every frame is made of: the
// same pixels as PlotPoint, without its per-pixel edge tests. False when the dot is not
// wholly inside, and nothing was drawn.
inline bool PlotInnerPoint(const CanvasSurface& s, float x, float y, const Amounts& a) {
    // The position kept through the same offset as the general path, so the fractions (and
    // the weights) are identical; inside the canvas the truncation is the floor.
    const float xs = x + kFloorOffset;
    const float ys = y + kFloorOffset;
    if (!(x >= 1.0f && x < static_cast<float>(s.width - 1) && y >= 0.0f &&
          y < static_cast<float>(s.height - 1))) {
        return false;
    }
    const int tx = static_cast<int>(xs);
    const int ty = static_cast<int>(ys);
    const int ix = tx - static_cast<int>(kFloorOffset);
    const int iy = ty - static_cast<int>(kFloorOffset);
    if (ix < 1 || ix + 1 >= s.width || iy < std::max(0, s.clipFirst) ||
        iy + 1 >= std::min(s.height, s.clipEnd)) {
        return false;
    }
    const int32_t fx = static_cast<int32_t>(128.0f * (xs - static_cast<float>(tx)));
    const int32_t fy = static_cast<int32_t>(128.0f * (ys - static_cast<float>(ty)));
    uint16_t* top = s.deep + (s.height - 1 - iy) * s.deepRowStep + 3 * ix;
    uint16_t* below = top - s.deepRowStep;  // rows are stored bottom-up
    AddDeepScaled(top, a, (128 - fx) * (128 - fy));
    if (fx != 0) AddDeepScaled(top + 3, a, fx * (128 - fy));
    if (fy != 0) AddDeepScaled(below, a, (128 - fx) * fy);
    if (fx != 0 && fy != 0) AddDeepScaled(below + 3, a, fx * fy);
    return true;
}

void PlotLargePoint(const CanvasSurface& s, int ix, int iy, float fracX, float fracY,
                    const Amounts& a) {
    const int32_t fx = static_cast<int32_t>(128.0f * fracX);
    const int32_t fy = static_cast<int32_t>(128.0f * fracY);
    const int32_t wx[3] = {128 - fx, 128, fx};
    const int32_t wy[3] = {128 - fy, 128, fy};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) AddScaled(s, ix + c, iy + r, a, wx[c] * wy[r], 14);
    }
}

void PlotSparkle(const CanvasSurface& s, int ix, int iy, const Amounts& a) {
    AddPixel(s, ix, iy, a.a0, a.a1, a.a2);
    const Amounts half{a.a0 >> 1, a.a1 >> 1, a.a2 >> 1};
    const Amounts quarter{a.a0 >> 2, a.a1 >> 2, a.a2 >> 2};
    for (int d : {-1, 1}) {
        PlotPixel(s, ix + d, iy, half);
        PlotPixel(s, ix, iy + d, half);
        PlotPixel(s, ix + 2 * d, iy, quarter);
        PlotPixel(s, ix, iy + 2 * d, quarter);
    }
}

void PlotVerticalBar(const CanvasSurface& s, int ix, int iy, float fracX, const Amounts& a) {
    const int32_t w = static_cast<int32_t>(16384.0f * fracX);
    const int32_t columnWeight[2] = {16384 - w, w};
    for (int c = 0; c < 2; ++c) {
        if (columnWeight[c] == 0) continue;
        AddScaled(s, ix + c, iy, a, columnWeight[c], 14);
        // Each step away from the middle halves the light: a bar 7 pixels tall.
        for (int d = 1; d <= 3; ++d) {
            AddScaled(s, ix + c, iy - d, a, columnWeight[c], 14 + d);
            AddScaled(s, ix + c, iy + d, a, columnWeight[c], 14 + d);
        }
    }
}

void PlotSmallDisc(const CanvasSurface& s, int ix, int iy, const Amounts& a) {
    const Amounts half{a.a0 >> 1, a.a1 >> 1, a.a2 >> 1};
    const Amounts quarter{a.a0 >> 2, a.a1 >> 2, a.a2 >> 2};
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int away = (dx != 0) + (dy != 0);
            PlotPixel(s, ix + dx, iy + dy, away == 0 ? a : away == 1 ? half : quarter);
        }
    }
}

void PlotKernel(const CanvasSurface& s, int ix, int iy, const int16_t* weights, const Amounts& a) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const int32_t w = weights[4 * r + c];
            if (w != 0) AddScaled(s, ix - 1 + c, iy - 1 + r, a, w, 10);
        }
    }
}

// ---- Disc kernel construction -------------------------------------------------------------

constexpr double kDiscOuter = 48.5;  // outer radius of every round dot, 1/32 pixel

struct DiscShape {
    double ramp;   // width of the soft edges, 1/32 pixel
    double scale;  // brightness divisor: total weight = area / scale
    bool ring;
};

DiscShape ShapeFor(int style) {
    switch (style) {
        case kDotFuzzies:
            return {42.0, 0.1, false};
        case kDotRings:
            return {2.0, 0.1, true};
        default:
            return {2.0, 0.3, false};
    }
}

}  // namespace

// ---- Shimmer -------------------------------------------------------------------------------

CDrawWnd::DotColour CDrawWnd::ShimmerColour(float vx, float vy, float c0, float c1, float c2) {
    DotColour o{c0, c1, c2};
    if (m_look.m_bGlitter && m_jitter) {
        // Workers share the cursor without a lock: a collision only repeats or skips one
        // jitter vector, which nobody can see. The atomic keeps the race well defined.
        std::atomic_ref<int32_t> cursor(m_nJitterPos);
        const int32_t pos = cursor.load(std::memory_order_relaxed) & kJitterMask & ~1;
        cursor.store((pos + 2) & kJitterMask, std::memory_order_relaxed);
        vx += m_jitter.Data()[pos];
        vy += m_jitter.Data()[pos + 1];
    }
    const float speed = std::sqrt(vx * vx + vy * vy);
    if (!(speed > kMinShimmerSpeed)) return o;  // at rest (or not a number): no direction
    // Rounding can put the cosine a hair outside [-1, 1]; a large exponent would blow that up.
    const float d =
        std::clamp((vx * m_look.m_fShimmerDirX + vy * m_look.m_fShimmerDirY) / speed, -1.0f, 1.0f);
    if (!(d > -0.9999f)) return o;
    const float t = (d + 1.0f) * 0.5f;
    float* ch[3] = {&o.c0, &o.c1, &o.c2};
    const float plain[3] = {c0, c1, c2};
    if (m_look.m_fShineAmount > 0.0f) {
        const float f = std::pow(t, m_look.m_fShineExp) * m_look.m_fShineAmount;
        for (int j = 0; j < 3; ++j) *ch[j] += f * plain[j];
    }
    if (m_look.m_fSparkAmount > 0.0f) {
        const float g = m_look.m_fSparkAmount * std::pow(t, m_look.m_fSparkExp);
        for (int j = 0; j < 3; ++j) *ch[j] += 0.25f * g * plain[j] + g;
    }
    // The top keeps one plot within full strength; the floor keeps the channel range every
    // dot colour has, so a strongly lit negative channel cannot become a deep hole.
    for (float* c : ch) *c = std::clamp(*c, kMinShimmerChannel, kMaxShimmerChannel);
    return o;
}

// ---- Reflections -------------------------------------------------------------------------

void CDrawWnd::PlotDotImages(float x, float y, float c0, float c1, float c2, float vx, float vy,
                             bool generic, DotBand* collect) {
    if (!m_pCanvas) return;
    const CanvasSurface& s = m_pCanvas->Surface();
    if (s.width <= 0) return;
    const bool shimmer = m_look.m_bShimmer != 0;
    // Without shimmer every image of the dot adds the same amounts: worked out once.
    const Amounts plain = shimmer ? Amounts{} : AmountsFor(c0, c1, c2);
    const bool points = !generic && m_look.m_nDotStyle == kDotPoints && s.deep != nullptr;
    auto plot = [&](float px, float py, float pvx, float pvy) {
        Amounts a = plain;
        if (shimmer) {
            const DotColour o = ShimmerColour(pvx, pvy, c0, c1, c2);
            a = AmountsFor(o.c0, o.c1, o.c2);
        }
        if (collect != nullptr) {
            // Only what can touch the canvas is kept (this also keeps NaN out).
            if (px > -kReach && px < static_cast<float>(s.width) + kReach && py > -kReach &&
                py < static_cast<float>(s.height) + kReach) {
                collect->splats[collect->splatCount++] = {px, py, a};
            }
        } else if (!points || !PlotInnerPoint(s, px, py, a)) {
            PlotWithAmounts(s, px, py, a);
        }
    };
    if (m_reflect.m_nReflections <= 1 && !m_reflect.m_bSymmetric) {
        plot(x, y, vx, vy);
        return;
    }
    const float cx = static_cast<float>(m_nCentreX);
    const float cy = static_cast<float>(m_nCentreY);
    const float dx = x - cx;
    const float dy = y - cy;
    const int n = std::clamp(m_reflect.m_nReflections, 1, kMaxReflections);
    for (int r = 0; r < n; ++r) {
        const float c = m_reflect.m_fReflCos[r];
        const float sn = m_reflect.m_fReflSin[r];
        plot(cx + dx * c + dy * sn, cy + dy * c - dx * sn, vx * c + vy * sn, vy * c - vx * sn);
        if (m_reflect.m_bSymmetric) {
            plot(cx + dy * sn - dx * c, cy + dx * sn + dy * c, vy * sn - vx * c, vx * sn + vy * c);
        }
    }
}

int CDrawWnd::ImagesPerDot() const {
    if (m_reflect.m_nReflections <= 1 && !m_reflect.m_bSymmetric) return 1;
    return std::clamp(m_reflect.m_nReflections, 1, kMaxReflections) *
           (m_reflect.m_bSymmetric ? 2 : 1);
}

// ---- Stripes -------------------------------------------------------------------------------

namespace {

// The rows a dot style touches, relative to the dot's own row.
struct RowReach {
    int above, below;
};

RowReach RowReachOf(int style) {
    switch (style) {
        case kDotPixels:
            return {0, 0};
        case kDotLargePoints:
            return {0, 2};
        case kDotSparkles:
            return {2, 2};
        case kDotVerticalBars:
            return {3, 3};
        case kDotFuzzies:
        case kDotRings:
        case kDotDiscs:
            return {1, 2};
        default:
            return {0, 1};
    }
}

}  // namespace

void CDrawWnd::PrepareSplatRuns() {
    const int bands = std::max(1, m_nBands);
    // One stripe reads its band's buffer as it is; several need the runs.
    const bool need = m_nStripes > 1 && m_bands && m_bands[0].splats != nullptr;
    const int32_t room = need ? m_bands[0].splatCapacity + m_bands[0].splatCapacity / 4 : 0;
    const std::size_t records = static_cast<std::size_t>(room) * static_cast<std::size_t>(bands);
    if (records != m_nSplatRunRecords) {
        m_splatRunStore.reset(records > 0 ? new (std::nothrow) SplatRecord[records] : nullptr);
        m_nSplatRunRecords = m_splatRunStore ? records : 0;
    }
    for (int b = 0; m_bands && b < bands; ++b) {
        m_bands[b].runs =
            m_splatRunStore ? m_splatRunStore.get() + std::size_t{1} * room * b : nullptr;
        m_bands[b].runRoom = m_splatRunStore ? room : 0;
    }
}

void CDrawWnd::PrepareStripes(int height) {
    if (height != m_nStripeHeight || m_nStripes <= 0) {
        m_nStripeHeight = height;
        m_nStripes = 0;
        if (height > 0) {
            const int most = std::max(1, std::min(DotBand::kMaxStripes, height / kMinStripeRows));
            m_nStripes = std::clamp(m_nBands, 1, most);
            // The size changes seldom; the table is rebuilt (and may grow) only then.
            m_stripeOfRow.resize(static_cast<std::size_t>(height));
            for (int s = 0; s <= m_nStripes; ++s) {
                m_stripeFirstRow[s] =
                    static_cast<int32_t>(static_cast<int64_t>(height) * s / m_nStripes);
            }
            for (int s = 0; s < m_nStripes; ++s) {
                for (int row = m_stripeFirstRow[s]; row < m_stripeFirstRow[s + 1]; ++row) {
                    m_stripeOfRow[static_cast<std::size_t>(row)] = static_cast<uint8_t>(s);
                }
            }
        }
    }
    // A cheap test on every round; the runs are allocated only when the bands' buffers or the
    // stripe count have changed.
    PrepareSplatRuns();
}

void CDrawWnd::SortSplatsByStripe(DotBand& band) const {
    const int stripes = m_nStripes;
    const int height = m_nStripeHeight;
    int32_t* const start = band.stripeStart;
    std::fill(start, start + DotBand::kMaxStripes + 1, 0);
    band.stripeRecords = band.splats;
    band.stripeOrder = nullptr;
    if (stripes <= 0 || height <= 0) return;
    if (stripes == 1) {
        // One stripe (one worker): every plot in the order it came, read where it is.
        start[1] = band.splatCount;
        return;
    }
    const uint8_t* const stripeOf = m_stripeOfRow.data();
    const RowReach reach = RowReachOf(m_look.m_nDotStyle);
    // The stripes of the first and last row a plot touches: the same or neighbours, since a
    // stripe is taller than any dot.
    auto span = [&](const SplatRecord& r, int& s0, int& s1) {
        const int iy = static_cast<int>(r.y + kFloorOffset) - static_cast<int>(kFloorOffset);
        s0 = stripeOf[std::clamp(iy - reach.above, 0, height - 1)];
        s1 = stripeOf[std::clamp(iy + reach.below, 0, height - 1)];
    };
    // A counting sort: plots per stripe, their starts, then each plot copied to its stripe's
    // run (and to the next stripe's as well when it reaches into it).
    int32_t counts[DotBand::kMaxStripes] = {};
    for (int32_t i = 0; i < band.splatCount; ++i) {
        int s0, s1;
        span(band.splats[i], s0, s1);
        ++counts[s0];
        if (s1 != s0) ++counts[s1];
    }
    for (int s = 0; s < stripes; ++s) start[s + 1] = start[s] + counts[s];
    int32_t fill[DotBand::kMaxStripes];
    std::copy(start, start + stripes, fill);
    if (band.runs != nullptr && start[stripes] <= band.runRoom) {
        SplatRecord* const out = band.runs;
        for (int32_t i = 0; i < band.splatCount; ++i) {
            const SplatRecord& r = band.splats[i];
            int s0, s1;
            span(r, s0, s1);
            out[fill[s0]++] = r;
            if (s1 != s0) out[fill[s1]++] = r;
        }
        band.stripeRecords = out;
        return;
    }
    // More plots reach into two stripes than the runs have room for (tall dots on thin
    // stripes), or no memory for runs: the stripes read through an index instead.
    for (int32_t i = 0; i < band.splatCount; ++i) {
        int s0, s1;
        span(band.splats[i], s0, s1);
        band.order[fill[s0]++] = i;
        if (s1 != s0) band.order[fill[s1]++] = i;
    }
    band.stripeOrder = band.order;
}

void CDrawWnd::PlotStripeSplat(void* context, const SplatRecord& r) {
    const StripePlot& p = *static_cast<const StripePlot*>(context);
    if (!PlotInnerPoint(*p.surface, r.x, r.y, r.amounts)) {
        p.engine->PlotWithAmounts(*p.surface, r.x, r.y, r.amounts);
    }
}

void CDrawWnd::ApplySplatStripe(int stripe) {
    if (!m_pCanvas || stripe < 0 || stripe >= m_nStripes) return;
    CanvasSurface s = m_pCanvas->Surface();
    if (s.width <= 0 || s.height != m_nStripeHeight) return;
    s.clipFirst = m_stripeFirstRow[stripe];
    s.clipEnd = m_stripeFirstRow[stripe + 1];
    const bool points = m_look.m_nDotStyle == kDotPoints && s.deep != nullptr;
    StripePlot plain{this, &s};
    // Band by band, each in its own order: the dots' order, whatever the workers' timing.
    for (int b = 0; b < std::max(1, m_nBands); ++b) {
        const DotBand& band = m_bands[b];
        const int32_t first = band.stripeStart[stripe];
        const int32_t count = band.stripeStart[stripe + 1] - first;
        // A run is read front to back; the index, where there is one, points into the buffer.
        const int32_t* const order = band.stripeOrder ? band.stripeOrder + first : nullptr;
        const SplatRecord* const records = order ? band.stripeRecords : band.stripeRecords + first;
        if (points && m_bVectorSplats) {
            DrawPointSplats(s, records, order, count, &PlotStripeSplat, &plain);
            continue;
        }
        for (int32_t k = 0; k < count; ++k) {
            const SplatRecord& r = records[order != nullptr ? order[k] : k];
            if (!points || !PlotInnerPoint(s, r.x, r.y, r.amounts)) {
                PlotWithAmounts(s, r.x, r.y, r.amounts);
            }
        }
    }
}

// ---- One dot image -----------------------------------------------------------------------

void CDrawWnd::PlotDot(float x, float y, float c0, float c1, float c2) {
    if (!m_pCanvas) return;
    PlotOnSurface(m_pCanvas->Surface(), x, y, c0, c1, c2);
}

void CDrawWnd::PlotOnSurface(const CanvasSurface& s, float x, float y, float c0, float c1,
                             float c2) {
    PlotWithAmounts(s, x, y, AmountsFor(c0, c1, c2));
}

PlotAmounts CDrawWnd::AmountsFor(float c0, float c1, float c2) const {
    // With trails on, one plot may not pile up more than the "Point Magnitude" cap: the
    // strongest channel is brought down to the cap and the others with it, so the hue stays.
    const float m = std::max({c0, c1, c2});
    if (m_colour.m_nPointCap < kPointCapOff && m > m_colour.m_fPointCap) {
        const float k = m_colour.m_fPointCap / m;
        return {ToFixed(c0 * k), ToFixed(c1 * k), ToFixed(c2 * k)};
    }
    return {ToFixed(c0), ToFixed(c1), ToFixed(c2)};
}

void CDrawWnd::PlotWithAmounts(const CanvasSurface& s, float x, float y, const PlotAmounts& a) {
    if (!(x > -kReach && x < static_cast<float>(s.width) + kReach && y > -kReach &&
          y < static_cast<float>(s.height) + kReach)) {
        return;
    }
    const float xs = x + kFloorOffset;
    const float ys = y + kFloorOffset;
    const float fx = std::floor(xs);
    const float fy = std::floor(ys);
    const int ix = static_cast<int>(fx) - static_cast<int>(kFloorOffset);
    const int iy = static_cast<int>(fy) - static_cast<int>(kFloorOffset);
    const float fracX = xs - fx;
    const float fracY = ys - fy;

    switch (m_look.m_nDotStyle) {
        case kDotPixels:
            PlotPixel(s, ix, iy, a);
            break;
        case kDotLargePoints:
            PlotLargePoint(s, ix, iy, fracX, fracY, a);
            break;
        case kDotSparkles:
            PlotSparkle(s, ix, iy, a);
            break;
        case kDotVerticalBars:
            PlotVerticalBar(s, ix, iy, fracX, a);
            break;
        case kDotFuzzies:
        case kDotRings:
        case kDotDiscs:
            if (m_look.m_nKernelReady == m_look.m_nDotStyle) {
                const int kx = static_cast<int>(32.0f * fracX);
                const int ky = static_cast<int>(32.0f * fracY);
                PlotKernel(s, ix, iy, m_look.m_discKernel[kx][ky], a);
            } else {
                PlotSmallDisc(s, ix, iy, a);
            }
            break;
        default:
            PlotPoint(s, ix, iy, fracX, fracY, a);
            break;
    }
}

// ---- Disc kernels --------------------------------------------------------------------------

double CDrawWnd::DiscCoverage(int style, double d) {
    const DiscShape shape = ShapeFor(style);
    const double inner = kDiscOuter - shape.ramp;
    if (d >= kDiscOuter) return 0.0;
    if (d > inner) return (kDiscOuter - d) / shape.ramp;
    if (!shape.ring) return 1.0;
    // The ring's hole has a soft edge of its own, rising from nothing inside the hole to
    // full cover, as the outer edge falls.
    const double hole = inner - 8.0;
    const double holeInner = hole - shape.ramp;
    if (d > hole) return 1.0;
    if (d > holeInner) return (d - holeInner) / shape.ramp;
    return 0.0;
}

bool CDrawWnd::DiscKernelsReady(int style) const {
    return !IsRoundStyle(style) || m_look.m_nKernelReady == style;
}

void CDrawWnd::BuildDiscKernels(int style, bool all) {
    if (!IsRoundStyle(style)) {
        m_look.m_nKernelReady = kKernelNoTable;
        return;
    }
    if (style != m_look.m_nKernelStyle) {
        m_look.m_nKernelStyle = style;
        m_look.m_nKernelRow = 0;
        m_look.m_nKernelReady = 0;
    }
    // A table finished earlier for this style (the user went to another style and back) is
    // ready again at once.
    do {
        if (m_look.m_nKernelRow >= kKernelRowsDone) {
            m_look.m_nKernelReady = style;
            return;
        }
        BuildDiscKernelRow(m_look.m_nKernelRow++);
    } while (all);
    if (m_look.m_nKernelRow >= kKernelRowsDone) m_look.m_nKernelReady = style;
}

void CDrawWnd::BuildDiscKernelRow(int row) {
    // Each entry supersamples the 4 x 4 pixel block on a 1/32-pixel grid: 1024 samples per
    // pixel. Pixel column c of the block covers sample x = 32c .. 32c + 31, and the dot's
    // centre for the entry (row, column) sits at (48 + row, 48 + column): the middle of the
    // block's second pixel plus the sub-pixel offset.
    // Area of the disc in samples (pi * 48^2): the weights sum to about area / scale, in
    // 1/1024, whatever the sub-pixel offset.
    const double divisor = ShapeFor(m_look.m_nKernelStyle).scale * 7238.2295 / 1024.0;
    const double cx = 48.0 + row;
    // Only the disc's bounding box can be lit, and inside the soft edge (or inside a ring's
    // hole) the answer is known without a square root: a row costs well under a frame.
    const DiscShape shape = ShapeFor(m_look.m_nKernelStyle);
    // Squared radius inside which every point is fully covered; a ring has no such core.
    const double solid = kDiscOuter - shape.ramp;
    const double solid2 = shape.ring ? -1.0 : solid * solid;
    const int p0 = std::max(0, static_cast<int>(std::ceil(cx - kDiscOuter)));
    const int p1 = std::min(127, static_cast<int>(std::floor(cx + kDiscOuter)));
    for (int column = 0; column < kKernelSteps; ++column) {
        const double cy = 48.0 + column;
        const int q0 = std::max(0, static_cast<int>(std::ceil(cy - kDiscOuter)));
        const int q1 = std::min(127, static_cast<int>(std::floor(cy + kDiscOuter)));
        double sum[16] = {};
        for (int q = q0; q <= q1; ++q) {
            const double dy = q - cy;
            double* cells = sum + (q / 32) * 4;
            for (int p = p0; p <= p1; ++p) {
                const double dx = p - cx;
                const double d2 = dx * dx + dy * dy;
                if (d2 >= kDiscOuter * kDiscOuter) continue;
                cells[p / 32] +=
                    d2 <= solid2 ? 1.0 : DiscCoverage(m_look.m_nKernelStyle, std::sqrt(d2));
            }
        }
        for (int i = 0; i < 16; ++i) {
            m_look.m_discKernel[row][column][i] =
                static_cast<int16_t>(std::floor(sum[i] / divisor + 0.5));
        }
    }
}

// ---- Settings ------------------------------------------------------------------------------

void CDrawWnd::SetDotStyle(int style) {
    Lock lock(m_csEngine);
    m_look.m_nDotStyle = (style >= 0 && style < kDotStyleCount) ? style : kDotPoints;
    if (m_pCanvas) m_pCanvas->RequestClear();
}

void CDrawWnd::UpdateShimmerOn() {
    m_look.m_bShimmer = (m_look.m_fShineAmount > 0.0f || m_look.m_fSparkAmount > 0.0f) ? 1 : 0;
}

void CDrawWnd::SetShimmerBright(double bright) {
    if (!std::isfinite(bright)) return;
    Lock lock(m_csEngine);
    const double b = std::clamp(bright, 0.0, 200.0) / 200.0;
    m_look.m_fShineAmount = static_cast<float>(b * b * 30.0);
    UpdateShimmerOn();
}

void CDrawWnd::SetShimmerNarrow(double narrow) {
    if (!std::isfinite(narrow)) return;
    Lock lock(m_csEngine);
    const double v = std::clamp(narrow, 0.0, 1000.0) / 1000.0;
    // Both exponents sweep a logarithmic scale: 0.25 .. 300 for shine, 20 .. 3000 for sparkle.
    m_look.m_fShineExp =
        static_cast<float>(std::exp(std::log(0.25) + (std::log(300.0) - std::log(0.25)) * v));
    m_look.m_fSparkBaseExp =
        static_cast<float>(std::exp(std::log(20.0) + (std::log(3000.0) - std::log(20.0)) * v));
    m_look.m_fSparkExp = m_look.m_bGlitter ? m_look.m_fSparkBaseExp : 2.0f * m_look.m_fSparkBaseExp;
    // A narrow highlight wants small, well-spread glitter; a broad one big, rough jitter.
    BuildJitter((1.0 - std::pow(v, 0.3)) * 8.0 + 0.3, 1.5 * v + 1.13);
}

void CDrawWnd::SetShineGlitter(double value) {
    if (!std::isfinite(value)) return;
    Lock lock(m_csEngine);
    const double v = std::clamp(value, -1000.0, 1000.0);
    if (v < 0.0) {
        m_look.m_fSparkAmount = static_cast<float>(-v / 10.0 * 2.2);
        m_look.m_bGlitter = 1;
        m_look.m_fSparkExp = m_look.m_fSparkBaseExp;
    } else {
        m_look.m_fSparkAmount = static_cast<float>(v / 10.0 * 1.2);
        m_look.m_bGlitter = 0;
        m_look.m_fSparkExp = 2.0f * m_look.m_fSparkBaseExp;
    }
    UpdateShimmerOn();
}

}  // namespace quovis
