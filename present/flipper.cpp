// The presenter's canvas half. Sections:
//   band count and tone pairs       static rules
//   set-up                          construction, attach, mode, bands
//   trails                          fade multipliers, fade tables, the banded and the dithered fade
//   fuzziness and tone              settings and tables
//   frame                           begin frame, conversion to the display image, drawing,
//                                   snapshot picture
#include "present/flipper.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "base/system_info.h"

namespace quovis {

namespace {

constexpr uint32_t kTopByte = 0xFF000000u;
constexpr uint32_t kColourBits = 0x00FFFFFFu;
constexpr int kPixelsPerBand = 100000;
constexpr int kMaxBandsRule = 32;
// Fade tables get their rounding noise only above this value: near black a +1 would stall
// the fade and a -1 would double it.
constexpr int kDitherFloor = 10;
constexpr double kDeepFadeExponent = 1.7;
constexpr double kShadeExponent = 0.6;
// Fuzziness mixes each pixel with its four neighbours: each neighbour gets kFuzzSide parts
// against the divisor's parts for the pixel itself.
constexpr int kFuzzSide = 10;

template <class T>
void ZeroArray(AlignedArray<T>& a) {
    if (a) std::memset(static_cast<void*>(a.Data()), 0, a.Count() * sizeof(T));
}

uint32_t Pack(uint32_t c0, uint32_t c1, uint32_t c2) {
    return c0 << 16 | c1 << 8 | c2;
}

}  // namespace

// ---- Band count and tone pairs -------------------------------------------------------------

int CFlipperBase::BandCountFor(int processors, int width, int height) {
    const int p = std::clamp(processors, 1, kMaxBandsRule);
    const int64_t pixels = static_cast<int64_t>(std::max(width, 0)) * std::max(height, 0);
    int64_t k = pixels / kPixelsPerBand + 1;
    if (k > 2) k &= ~int64_t{1};  // an even count splits a canvas of even height evenly
    const int64_t count = (p <= k) ? std::max(p, 2) : std::max<int64_t>(k, 2);
    return static_cast<int>(count);
}

void CFlipperBase::ToneFromGamma(double gamma, double* a, double* b) {
    const double v = std::clamp(std::isfinite(gamma) ? gamma / 1000.0 : 0.5, 0.0, 1.0);
    // Exponents chosen so that v = 0.5 lands exactly on the identity pair (0.5, 1.0).
    const double k1 = std::log((0.5 - 0.3) / (10.0 - 0.3)) / std::log(0.5);
    const double k2 = std::log(1.0 - (1.0 - 2.0) / (0.6 - 2.0)) / std::log(0.5);
    *a = 0.3 + (10.0 - 0.3) * std::pow(v, k1);
    *b = 2.0 + (0.6 - 2.0) * (1.0 - std::pow(1.0 - v, k2));
}

bool CFlipperBase::TonePreset(int preset, double* a, double* b) {
    static constexpr double kPairs[3][2] = {{0.5, 1.0}, {8.0, 0.7}, {0.3, 2.0}};
    if (preset < 0 || preset > 2) return false;
    *a = kPairs[preset][0];
    *b = kPairs[preset][1];
    return true;
}

// ---- Set-up --------------------------------------------------------------------------------

CFlipperBase::CFlipperBase(const FlipperOptions& options) : m_options(options) {
    m_rand.Seed(1);
    if (m_tone.Allocate(kToneEntries)) {
        for (int v = 0; v < kToneEntries; ++v) m_tone.Data()[v] = static_cast<uint8_t>(v >> 8);
    }
}

CFlipperBase::~CFlipperBase() {
    Stop();
}

void CFlipperBase::Stop() {
    if (m_pool) m_pool->Stop();
}

void CFlipperBase::SetScaleReciprocal(double r) {
    if (std::isfinite(r) && r > 0.0 && r <= 16.0) m_dScaleReciprocal = r;
}

bool CFlipperBase::AllocateDeepCanvases() {
    if (m_canvasA && m_canvasB && m_draw) return true;
    m_nCanvasStep = static_cast<std::ptrdiff_t>((m_nWidth + 2) / 2 * 2) * 3;
    m_nCanvasRows = (m_nHeight + 3) / 4 * 4;
    const std::size_t size = static_cast<std::size_t>(m_nCanvasStep) * m_nCanvasRows;
    if (!m_canvasA.Allocate(size) || !m_canvasB.Allocate(size) ||
        !m_draw.Allocate(static_cast<std::size_t>(m_nWidth) * m_nHeight)) {
        m_canvasA.Reset();
        m_canvasB.Reset();
        m_draw.Reset();
        return false;
    }
    m_pCurrent = m_canvasA.Data();
    m_pOther = m_canvasB.Data();
    return true;
}

void CFlipperBase::SetUpBands(int bands) {
    m_nBands = std::clamp(bands, 1, kMaxBands);
    for (int i = 0; i < m_nBands; ++i) {
        m_bandRows[i].self = this;
        m_bandRows[i].first = static_cast<int>(static_cast<int64_t>(m_nHeight) * i / m_nBands);
        m_bandRows[i].last =
            static_cast<int>(static_cast<int64_t>(m_nHeight) * (i + 1) / m_nBands) - 1;
    }
}

void CFlipperBase::RunBands(void (*job)(CFlipperBase*, BandRows*)) {
    if (m_pool) {
        m_pool->RunOnAll(job, this, m_nBands, m_bandRows);
    } else {
        for (int i = 0; i < m_nBands; ++i) job(this, &m_bandRows[i]);
    }
}

void CFlipperBase::RefreshSurface() {
    CanvasSurface s;
    if (m_display) {
        s.width = m_nWidth;
        s.height = m_nHeight;
        if (m_bDeepActive) {
            s.deep = m_pCurrent;
            s.deepRowStep = m_nCanvasStep;
            s.readBack = m_draw.Data();
        } else {
            s.shallow = m_work.Data();
            s.shallowRowStep = m_nWidth;
            s.readBack = m_work.Data();
        }
        s.readBackRowStep = m_nWidth;
    }
    m_surface = s;
}

void CFlipperBase::UpdateMode() {
    // Dithered trails fade the 8-bit image; quick-n-dirty asks for it; without the 16-bit
    // canvases there is nothing else.
    const bool deep = m_bDeepRequested && m_canvasA && m_canvasB && !m_bQuickDirty &&
                      !(TrailsOn() && m_bDither) && (m_bAllow16 || m_nFuzzDivisor > 0);
    if (deep != m_bDeepActive && m_display) {
        if (deep) {
            std::memset(m_pOther, 0, m_canvasB.Count() * sizeof(uint16_t));
            for (int r = 0; r < m_nHeight; ++r) {
                const uint32_t* src = ImageRow(m_work, r);
                uint16_t* dst = CanvasRow(m_pCurrent, r);
                dst[0] = dst[1] = dst[2] = 0;  // column 0 is never lit
                for (int x = 1; x < m_nWidth; ++x) {
                    dst[3 * x] = static_cast<uint16_t>((src[x] >> 16 & 0xFF) << 8);
                    dst[3 * x + 1] = static_cast<uint16_t>((src[x] >> 8 & 0xFF) << 8);
                    dst[3 * x + 2] = static_cast<uint16_t>((src[x] & 0xFF) << 8);
                }
            }
        } else {
            for (int r = 0; r < m_nHeight; ++r) {
                const uint16_t* src = CanvasRow(m_pCurrent, r);
                uint32_t* dst = ImageRow(m_work, r);
                for (int x = 0; x < m_nWidth; ++x) {
                    dst[x] = Pack(src[3 * x] >> 8, src[3 * x + 1] >> 8, src[3 * x + 2] >> 8);
                }
            }
        }
    }
    m_bDeepActive = deep;
    RefreshSurface();
}

void CFlipperBase::SetDeepCanvas(bool on) {
    if (on == m_bDeepRequested) return;
    m_bDeepRequested = on;
    if (on && m_display) AllocateDeepCanvases();
    UpdateMode();
    BeginFrame(false);
}

void CFlipperBase::SetQuickDirty(bool on) {
    m_bQuickDirty = on;
    UpdateMode();
}

int CFlipperGDI32::Attach(int windowWidth, int windowHeight) {
    if (m_display) return kFlipperAlreadyAttached;
    if (windowWidth <= 0 || windowHeight <= 0) return kFlipperBadSize;
    m_nWindowWidth = windowWidth / 4 * 4;
    m_nWindowHeight = windowHeight / 2 * 2;
    const double w = std::trunc(m_nWindowWidth / m_dScaleReciprocal + 0.5);
    const double h = std::trunc(m_nWindowHeight / m_dScaleReciprocal + 0.5);
    if (w < 4.0 || h < 2.0 || w > kMaxSide || h > kMaxSide) return kFlipperBadSize;
    m_nWidth = static_cast<int>(w) / 4 * 4;
    m_nHeight = static_cast<int>(h) / 2 * 2;

    const std::size_t pixels = static_cast<std::size_t>(m_nWidth) * m_nHeight;
    if (!m_display.Allocate(pixels) || !m_work.Allocate(pixels) ||
        (m_bDeepRequested && !AllocateDeepCanvases())) {
        m_display.Reset();
        m_work.Reset();
        return kFlipperOutOfMemory;
    }

    const int bands =
        m_options.bands > 0 ? m_options.bands : BandCountFor(ProcessorCount(), m_nWidth, m_nHeight);
    SetUpBands(bands);
    m_pool.reset(new (std::nothrow) WorkerPool);
    if (m_pool) {
        m_pool->SetWorkerCount(m_nBands);
        // One band needs no thread. A pool that cannot start runs the bands on the caller,
        // in order, with the same results.
        if (m_nBands > 1) m_pool->Start();
    }
    UpdateMode();
    return kFlipperOk;
}

// ---- Trails --------------------------------------------------------------------------------

void CFlipperBase::SetTrails(int length, bool dither, double shade) {
    if (std::isfinite(shade) && shade > 0.0) m_dShade = std::min(shade, 1.0);
    m_bDither = dither;
    if (length < 0) {
        m_nFade8 = kFade8None;
        m_nTrailLength = 0;
        m_nSkipRange = 1;
        UpdateMode();
        return;
    }
    const int L = std::clamp(length, 1, kMaxTrailLength);
    m_nTrailLength = L;
    // base runs from 100 (L = 1) to 255 (L = 100) on a log scale of the length.
    const double base = std::log10(static_cast<double>(L)) * 155.0 / 2.0 + 100.0;
    // Without dither the 8-bit image keeps its trails longer, because its coarse steps would
    // otherwise cut them off early.
    const double base8 = dither ? base : 255.0 - (255.0 - base) / 2.0;
    m_nSkipRange = dither ? L * L / 480 + 2 : 1;

    m_dFade16 = std::pow((65535.0 - (65535.0 - 256.0 * base) / 2.0) / 65535.0, kDeepFadeExponent);
    m_nFade16 = static_cast<uint32_t>(std::floor(65536.0 * m_dFade16));
    m_nFade16Mul = static_cast<uint32_t>((static_cast<uint64_t>(m_nFade16) << 16) / 65535u);
    m_nFade16Mul = std::min<uint32_t>(m_nFade16Mul, 65535u);  // every lit value must drop

    m_nFade8 =
        static_cast<int>(std::floor(255.0 * std::pow(base8 / 255.0, kDeepFadeExponent) + 0.5));
    for (int v = 0; v < 256; ++v) m_fade8Table[v] = static_cast<uint8_t>((v * m_nFade8) >> 8);

    BuildDeepFadeTables(m_dFade16);
    UpdateMode();
}

void CFlipperBase::BuildDeepFadeTables(double f16) {
    m_bFadeTablesValid = false;
    // The plain multiply serves while the shade factor is 1; the tables only exist for the
    // dimmed trails, whose fade depends on the value.
    if (m_dShade >= 1.0) return;
    if (!m_fadeTables && !m_fadeTables.Allocate(3 * static_cast<std::size_t>(kToneEntries))) {
        return;
    }
    uint16_t* t = m_fadeTables.Data();
    t[0] = t[kToneEntries] = t[2 * kToneEntries] = 0;
    for (int v = 1; v < kToneEntries; ++v) {
        // The shade dims bright trail light most and leaves the faint tail nearly alone.
        const double shade = std::pow(m_dShade, std::pow(v / 65535.0, kShadeExponent));
        const int faded = static_cast<int>(std::floor(v * f16 * shade));
        for (int c = 0; c < 3; ++c) {
            int e = faded;
            if (v > kDitherFloor) e += m_rand.Next() % 3 - 1;
            // Whatever the noise, a lit value drops every frame: trails always die out.
            t[c * kToneEntries + v] = static_cast<uint16_t>(std::clamp(e, 0, v - 1));
        }
    }
    m_bFadeTablesValid = true;
}

void CFlipperBase::FadeTrails() {
    const bool done = m_bFadedAhead;
    m_bFadeAnnounced = false;
    m_bFadedAhead = false;
    if (done || !TrailsOn() || !m_display) return;
    if (m_bDeepActive) {
        RunBands(&FadeDeepBand);
    } else if (m_nSkipRange > 1) {
        FadeShallowDithered();
    } else {
        RunBands(&FadeShallowBand);
    }
}

void CFlipperBase::FadeDeepBand(CFlipperBase* self, BandRows* band) {
    for (int r = band->first; r <= band->last; ++r) {
        self->FadeDeepRow(self->CanvasRow(self->m_pCurrent, r));
    }
}

void CFlipperBase::FadeDeepRow(uint16_t* p) const {
    const int n = 3 * m_nWidth;
    if (m_bFadeTablesValid) {
        const uint16_t* t = m_fadeTables.Data();
        for (int i = 0; i < n; i += 3) {
            p[i] = t[p[i]];
            p[i + 1] = t[kToneEntries + p[i + 1]];
            p[i + 2] = t[2 * kToneEntries + p[i + 2]];
        }
        return;
    }
    const uint32_t mul = m_nFade16Mul;
    int i = 0;
#if defined(__AVX2__)
    // mul < 65536, so the high half of the 16 x 16-bit product is exactly (p * mul) >> 16.
    const __m256i m = _mm256_set1_epi16(static_cast<short>(mul));
    for (; i + 16 <= n; i += 16) {
        auto* q = reinterpret_cast<__m256i*>(p + i);
        _mm256_storeu_si256(q, _mm256_mulhi_epu16(_mm256_loadu_si256(q), m));
    }
#endif
    for (; i < n; ++i) p[i] = static_cast<uint16_t>((p[i] * mul) >> 16);
}

void CFlipperBase::FadeShallowBand(CFlipperBase* self, BandRows* band) {
    for (int r = band->first; r <= band->last; ++r)
        self->FadeShallowRow(self->ImageRow(self->m_work, r));
}

void CFlipperBase::FadeShallowRow(uint32_t* p) const {
    const uint8_t* t = m_fade8Table;
    for (int x = 0; x < m_nWidth; ++x) {
        const uint32_t v = p[x];
        p[x] = (v & kTopByte) | Pack(t[v >> 16 & 0xFF], t[v >> 8 & 0xFF], t[v & 0xFF]);
    }
}

void CFlipperBase::FadeShallowDithered() {
    // Each frame fades only a random part of the pixels, a different part every frame: the
    // 8-bit steps then land at different times for neighbouring pixels, which hides the
    // banding that a whole-image fade in 8 bits would draw.
    uint32_t* p = m_work.Data();
    const std::ptrdiff_t total = static_cast<std::ptrdiff_t>(m_nWidth) * m_nHeight;
    for (std::ptrdiff_t chunk = 0; chunk < total; chunk += kChunkPixels) {
        const std::ptrdiff_t end = std::min<std::ptrdiff_t>(total, chunk + kChunkPixels);
        for (int& s : m_skips) s = m_rand.Next() % m_nSkipRange;
        int k = 0;
        for (std::ptrdiff_t i = chunk; i < end; i += 1 + m_skips[k++ & (kSkipsPerChunk - 1)]) {
            const uint32_t v = p[i];
            p[i] = (v & kTopByte) | Pack(m_fade8Table[v >> 16 & 0xFF], m_fade8Table[v >> 8 & 0xFF],
                                         m_fade8Table[v & 0xFF]);
        }
    }
}

// ---- Fuzziness and tone --------------------------------------------------------------------

void CFlipperBase::SetFuzziness(bool on, int amount, bool allow16) {
    m_bAllow16 = allow16;
    if (on) {
        m_nFuzzAmount = std::clamp(amount, 1, 100);
        const int spread = 100 - m_nFuzzAmount;
        m_nFuzzDivisor = static_cast<int>(std::floor(spread * spread / 10.0 + 40.5));
        // The pixel keeps divisor parts and each neighbour adds kFuzzSide parts: the weights
        // sum to one, so the blur moves light around without adding or losing any.
        const uint32_t total = static_cast<uint32_t>(m_nFuzzDivisor + 4 * kFuzzSide);
        m_nFuzzCentre = (static_cast<uint32_t>(m_nFuzzDivisor) << 16) / total;
        m_nFuzzSide = (static_cast<uint32_t>(kFuzzSide) << 16) / total;
    } else {
        m_nFuzzDivisor = 0;
        m_nFuzzCentre = 65536;
        m_nFuzzSide = 0;
    }
    UpdateMode();
}

bool CFlipperBase::SetTone(double a, double b) {
    if (b == -1.0) b = 1.0;
    if (!std::isfinite(a) || !std::isfinite(b) || a <= 0.0 || !m_tone) return false;
    uint8_t* t = m_tone.Data();
    // The pair that reaches the identity through arithmetic (the "Gamma" middle) lands a hair
    // off (0.5, 1.0); it must still give the plain high byte.
    if (std::fabs(a - 0.5) < 1e-9 && std::fabs(b - 1.0) < 1e-9) {
        for (int v = 0; v < kToneEntries; ++v) t[v] = static_cast<uint8_t>(v >> 8);
        m_bToneIdentity = true;
        m_dToneA = 0.5;
        return true;
    }
    // A cubic from (0, 0) to (1, 1) starting with slope b and ending with slope 1 / (2a).
    const double e = 1.0 / (2.0 * a);
    const double c2 = 3.0 - 2.0 * b - e;
    const double c3 = b - 2.0 + e;
    for (int v = 0; v < kToneEntries; ++v) {
        const double x = v / 65536.0;
        const double y = std::clamp(((c3 * x + c2) * x + b) * x, 0.0, 1.0);
        t[v] = static_cast<uint8_t>(std::floor(255.0 * y + 0.5));
    }
    m_bToneIdentity = false;
    m_dToneA = a;
    return true;
}

// ---- Frame ---------------------------------------------------------------------------------

void CFlipperGDI32::BeginFrame(bool clear) {
    if (!m_display) return;
    if (m_bClearPending && m_nWidth >= 400) clear = true;
    if (!clear) return;
    ZeroArray(m_display);
    if (!m_bDeepActive || m_bShallowAtLastClear) ZeroArray(m_work);
    if (m_bDeepActive || m_bDeepAtLastClear) {
        ZeroArray(m_canvasA);
        ZeroArray(m_canvasB);
    }
    m_bShallowAtLastClear = !m_bDeepActive;
    m_bDeepAtLastClear = m_bDeepActive;
    m_bClearPending = false;
}

void CFlipperGDI32::ConvertToDisplay() {
    // The fade announced for after this conversion is done in the same pass, each row while
    // it is still in the cache. The dithered 8-bit fade keeps its own pass: it draws its
    // random skips in order over the whole image.
    m_bFadeInPass = m_bFadeAnnounced && m_display && TrailsOn() && !m_bFadedAhead &&
                    (m_bDeepActive || m_nSkipRange <= 1);
    m_bFadeAnnounced = false;
    if (!m_display) return;
    RunBands(&ConvertBand);
    if (FuzzPassOn()) {
        std::swap(m_pCurrent, m_pOther);
        RefreshSurface();
    }
    m_bFadedAhead = m_bFadedAhead || m_bFadeInPass;
    m_bFadeInPass = false;
}

void CFlipperGDI32::ConvertBand(CFlipperBase* base, BandRows* band) {
    auto* self = static_cast<CFlipperGDI32*>(base);
    const bool fade = self->m_bFadeInPass;
    for (int r = band->first; r <= band->last; ++r) {
        uint32_t* display = self->ImageRow(self->m_display, r);
        if (!self->m_bDeepActive) {
            uint32_t* work = self->ImageRow(self->m_work, r);
            self->ConvertShallowRow(work, display);
            if (fade) self->FadeShallowRow(work);
            continue;
        }
        // With fuzziness each row is blurred into the other canvas and converted from there;
        // the blur reads only the current canvas, so bands never wait for each other.
        uint16_t* canvas = self->CanvasRow(self->m_pCurrent, r);
        if (self->FuzzPassOn()) {
            self->FuzzRow(r);
            canvas = self->CanvasRow(self->m_pOther, r);
        }
        self->ConvertDeepRow(canvas, display);
        if (fade) self->FadeDeepRow(canvas);
    }
}

void CFlipperGDI32::ConvertDeepRow(const uint16_t* src, uint32_t* dst) const {
    const uint8_t* t = m_tone.Data();
    int x = 0;
    if (!m_bToneIdentity && t != nullptr) {
        for (; x < m_nWidth; ++x)
            dst[x] =
                (dst[x] & kTopByte) | Pack(t[src[3 * x]], t[src[3 * x + 1]], t[src[3 * x + 2]]);
        return;
    }
#if defined(__AVX2__)
    // Eight pixels a step: each 128-bit lane makes four display words from the high bytes of
    // twelve channel values, the first two pixels from one load and the last two from a load
    // eight bytes further on. Bytes are blue, green, red, and the display's own fourth byte.
    const __m256i first =
        _mm256_setr_epi8(5, 3, 1, -1, 11, 9, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, 5, 3, 1, -1, 11,
                         9, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i second =
        _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 9, 7, 5, -1, 15, 13, 11, -1, -1, -1, -1,
                         -1, -1, -1, -1, -1, 9, 7, 5, -1, 15, 13, 11, -1);
    const __m256i top = _mm256_set1_epi32(static_cast<int>(kTopByte));
    for (; x + 8 <= m_nWidth; x += 8) {
        const uint16_t* s = src + 3 * x;
        auto* d = reinterpret_cast<__m256i*>(dst + x);
        const __m256i a = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 12)), 1);
        const __m256i b = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)), 1);
        const __m256i rgb =
            _mm256_or_si256(_mm256_shuffle_epi8(a, first), _mm256_shuffle_epi8(b, second));
        _mm256_storeu_si256(d, _mm256_or_si256(rgb, _mm256_and_si256(_mm256_loadu_si256(d), top)));
    }
#endif
    for (; x < m_nWidth; ++x)
        dst[x] =
            (dst[x] & kTopByte) | Pack(src[3 * x] >> 8, src[3 * x + 1] >> 8, src[3 * x + 2] >> 8);
}

void CFlipperGDI32::ConvertShallowRow(const uint32_t* src, uint32_t* dst) const {
    const uint8_t* t = m_tone.Data();
    const bool identity = m_bToneIdentity || t == nullptr;
    for (int x = 0; x < m_nWidth; ++x) {
        uint32_t rgb = src[x] & kColourBits;
        // An 8-bit value v stands for the 16-bit value v * 257 (v in both bytes).
        if (!identity) {
            rgb = Pack(t[(rgb >> 16 & 0xFF) * 257], t[(rgb >> 8 & 0xFF) * 257],
                       t[(rgb & 0xFF) * 257]);
        }
        dst[x] = (dst[x] & kTopByte) | rgb;
    }
}

void CFlipperGDI32::FuzzRow(int r) {
    uint16_t* dst = CanvasRow(m_pOther, r);
    // The top and bottom rows have no neighbour on one side; the pass leaves them dark.
    if (r == 0 || r == m_nHeight - 1) {
        std::memset(dst, 0, static_cast<std::size_t>(m_nCanvasStep) * sizeof(uint16_t));
        return;
    }
    const uint32_t centre = m_nFuzzCentre;
    const uint32_t side = m_nFuzzSide;
    const int n = 3 * m_nWidth;
    const uint16_t* mid = CanvasRow(m_pCurrent, r);
    const uint16_t* below = CanvasRow(m_pCurrent, r - 1);
    const uint16_t* above = CanvasRow(m_pCurrent, r + 1);
    // Column 0 stays dark; the last column reads the zero padding to its right.
    for (int i = 3; i < n; ++i) {
        const uint32_t around = mid[i - 3] + mid[i + 3] + below[i] + above[i];
        const uint32_t v = (mid[i] * centre + around * side + 32768u) >> 16;
        dst[i] = static_cast<uint16_t>(std::min<uint32_t>(v, 65535u));
    }
}

DrawImage CFlipperGDI32::BeginDraw() {
    return BeginDraw({0, 0, m_nWidth, m_nHeight});
}

DrawImage CFlipperGDI32::BeginDraw(const DrawRegion& region) {
    if (!m_display) return {};
    DrawRegion r{std::clamp(region.left, 0, m_nWidth), std::clamp(region.top, 0, m_nHeight),
                 std::clamp(region.right, 0, m_nWidth), std::clamp(region.bottom, 0, m_nHeight)};
    if (r.Empty()) r = {};
    if (!m_bDeepActive) return {m_work.Data(), m_nWidth, m_nHeight, m_nWidth, r};
    m_drawRegion = r;
    m_bDrawing = true;
    if (r.left == 0 && r.right == m_nWidth && r.top == 0 && r.bottom == m_nHeight) {
        ZeroArray(m_draw);
    } else {
        const std::size_t bytes = static_cast<std::size_t>(r.right - r.left) * sizeof(uint32_t);
        // Picture rows top .. bottom - 1 are memory rows height - bottom .. height - 1 - top.
        for (int row = m_nHeight - r.bottom; row < m_nHeight - r.top; ++row)
            std::memset(ImageRow(m_draw, row) + r.left, 0, bytes);
    }
    return {m_draw.Data(), m_nWidth, m_nHeight, m_nWidth, r};
}

void CFlipperGDI32::EndDraw() {
    if (!m_bDrawing) return;
    m_bDrawing = false;
    if (!m_bDeepActive) return;
    const DrawRegion r = m_drawRegion;
    // Column 0 is never lit, as with the dots.
    const int first = std::max(r.left, 1);
    for (int row = m_nHeight - r.bottom; row < m_nHeight - r.top; ++row) {
        const uint32_t* src = ImageRow(m_draw, row);
        uint16_t* dst = CanvasRow(m_pCurrent, row);
        for (int x = first; x < r.right; ++x) {
            const uint32_t px = src[x];
            if ((px & kColourBits) == 0) continue;
            AddDeepPixel(dst + 3 * x, static_cast<int32_t>(px >> 16 & 0xFF) << 8,
                         static_cast<int32_t>(px >> 8 & 0xFF) << 8,
                         static_cast<int32_t>(px & 0xFF) << 8);
        }
    }
}

bool CFlipperGDI32::SnapshotPicture(Picture* out) const {
    if (!m_display || out == nullptr) return false;
    out->width = m_nWidth;
    out->height = m_nHeight;
    out->pixels.resize(static_cast<std::size_t>(m_nWidth) * m_nHeight);
    const uint32_t flip = m_bInvert ? kColourBits : 0u;
    for (int y = 0; y < m_nHeight; ++y) {
        const uint32_t* src = ImageRow(m_display, m_nHeight - 1 - y);
        uint32_t* dst = out->pixels.data() + static_cast<std::size_t>(y) * m_nWidth;
        for (int x = 0; x < m_nWidth; ++x) dst[x] = kTopByte | ((src[x] & kColourBits) ^ flip);
    }
    return true;
}

}  // namespace quovis
