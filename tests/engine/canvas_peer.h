// Test access to the engine's dot drawing: the plotting functions the bands call, the disc
// kernels, the shimmer state and the reflection tables. Also a small canvas that owns plain
// buffers, so the engine's drawing can be checked without the presenter.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/canvas_surface.h"
#include "engine/draw_wnd.h"
#include "engine/engine_canvas.h"

namespace quovis {

// A canvas of width x height in 16-bit (deep) or 8-bit (shallow) pixels that counts the clear
// requests it gets.
class TestCanvas final : public EngineCanvas {
  public:
    TestCanvas(int width, int height, bool deep) : m_deep(deep) {
        m_surface.width = width;
        m_surface.height = height;
        if (deep) {
            deepPixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
            m_surface.deep = deepPixels.data();
            m_surface.deepRowStep = 3 * width;
        } else {
            shallowPixels.assign(static_cast<std::size_t>(width) * height, 0);
            m_surface.shallow = shallowPixels.data();
            m_surface.shallowRowStep = width;
            m_surface.readBack = shallowPixels.data();
            m_surface.readBackRowStep = width;
        }
    }
    void Stop() override {}
    void RequestClear() override { ++clearRequests; }

    int Width() const { return m_surface.width; }
    int Height() const { return m_surface.height; }
    // Channel ch (0..2) of the pixel at picture position (x, y), in the buffer's own units.
    int32_t At(int x, int y, int ch) const {
        const std::size_t row = static_cast<std::size_t>(Height() - 1 - y);
        if (m_deep) return deepPixels[(row * Width() + x) * 3 + ch];
        const uint32_t px = shallowPixels[row * Width() + x];
        return static_cast<int32_t>(px >> (16 - 8 * ch) & 0xFF);
    }
    uint16_t* DeepPixel(int x, int y) {
        return &deepPixels[(static_cast<std::size_t>(Height() - 1 - y) * Width() + x) * 3];
    }
    // Sum of one channel over the whole canvas.
    int64_t Total(int ch) const {
        int64_t sum = 0;
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x) sum += At(x, y, ch);
        return sum;
    }
    // Pixels with any channel lit, as (x, y).
    std::vector<std::pair<int, int>> Lit() const {
        std::vector<std::pair<int, int>> lit;
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x)
                if (At(x, y, 0) || At(x, y, 1) || At(x, y, 2)) lit.emplace_back(x, y);
        return lit;
    }
    void Clear() {
        std::fill(deepPixels.begin(), deepPixels.end(), 0);
        std::fill(shallowPixels.begin(), shallowPixels.end(), 0u);
    }

    std::vector<uint16_t> deepPixels;
    std::vector<uint32_t> shallowPixels;
    int clearRequests = 0;

  private:
    bool m_deep;
};

struct CanvasTestPeer {
    // Hands the engine a canvas and returns a pointer to it (the engine owns it).
    template <class Canvas>
    static Canvas* Adopt(CDrawWnd& e, std::unique_ptr<Canvas> canvas) {
        Canvas* raw = canvas.get();
        e.AdoptCanvas(std::move(canvas));
        return raw;
    }

    static void PlotDot(CDrawWnd& e, float x, float y, float c0, float c1, float c2) {
        e.PlotDot(x, y, c0, c1, c2);
    }
    static void PlotDotImages(CDrawWnd& e, float x, float y, float c0, float c1, float c2, float vx,
                              float vy, bool generic = false) {
        e.PlotDotImages(x, y, c0, c1, c2, vx, vy, generic);
    }
    // Every dot of the band with its reflection images, by the short path for inner points
    // or (generic) by the general one; with collect, into the band's plot buffer (which
    // must have room for all of them) for ApplyStripe.
    static void PlotBand(CDrawWnd& e, DotBand& band, bool generic, bool collect = false) {
        band.splatCount = 0;
        for (int i = band.First; i <= band.Last; ++i) {
            e.PlotDotImages(e.m_dots.m_pX[i], e.m_dots.m_pY[i], e.m_dots.m_pDotR[i],
                            e.m_dots.m_pDotG[i], e.m_dots.m_pDotB[i], e.m_dots.m_pVX[i],
                            e.m_dots.m_pVY[i], generic, collect ? &band : nullptr);
        }
        if (collect) e.SortSplatsByStripe(band);
    }
    // The stripes for the canvas as it is; then a band's worker draws its stripes.
    static void PrepareStripes(CDrawWnd& e) {
        e.m_nStripeHeight = 0;
        e.PrepareStripes(e.m_pCanvas->Surface().height);
    }
    static void DrawBandStripes(CDrawWnd& e, DotBand& band) { CDrawWnd::ApplySplatsJob(&e, &band); }
    static int Stripes(const CDrawWnd& e) { return e.m_nStripes; }
    static CDrawWnd::DotColour Shimmer(CDrawWnd& e, float vx, float vy, float c0, float c1,
                                       float c2) {
        return e.ShimmerColour(vx, vy, c0, c1, c2);
    }

    // Disc kernels.
    static const int16_t* Kernel(const CDrawWnd& e, int fx, int fy) {
        return e.m_look.m_discKernel[fx][fy];
    }
    static int KernelRow(const CDrawWnd& e) { return e.m_look.m_nKernelRow; }
    static int KernelReady(const CDrawWnd& e) { return e.m_look.m_nKernelReady; }
    static double Coverage(int style, double d) { return CDrawWnd::DiscCoverage(style, d); }

    // Brightness cap of one plot, 8.8 fixed point (130560 = off).
    static void SetPointCap(CDrawWnd& e, uint32_t cap) {
        e.m_colour.m_nPointCap = cap;
        e.m_colour.m_fPointCap = static_cast<float>(cap) / 256.0f;
    }

    // Reflection tables: n copies turned by 2 pi k / n + offset about (cx, cy).
    static void SetReflections(CDrawWnd& e, int n, bool symmetric, int cx, int cy,
                               double offset = 0.0);
    static void SetCentre(CDrawWnd& e, int cx, int cy) {
        e.m_nCentreX = cx;
        e.m_nCentreY = cy;
    }

    // Shimmer state.
    static void SetShimmerDir(CDrawWnd& e, float x, float y) {
        e.m_look.m_fShimmerDirX = x;
        e.m_look.m_fShimmerDirY = y;
    }
    static bool ShimmerOn(const CDrawWnd& e) { return e.m_look.m_bShimmer != 0; }
    static bool GlitterOn(const CDrawWnd& e) { return e.m_look.m_bGlitter != 0; }
    static float ShineAmount(const CDrawWnd& e) { return e.m_look.m_fShineAmount; }
    static float ShineExp(const CDrawWnd& e) { return e.m_look.m_fShineExp; }
    static float SparkAmount(const CDrawWnd& e) { return e.m_look.m_fSparkAmount; }
    static float SparkExp(const CDrawWnd& e) { return e.m_look.m_fSparkExp; }
    static float SparkBaseExp(const CDrawWnd& e) { return e.m_look.m_fSparkBaseExp; }
    static int JitterPos(const CDrawWnd& e) { return e.m_nJitterPos; }
    static const float* Jitter(const CDrawWnd& e) { return e.m_jitter.Data(); }
};

inline void CanvasTestPeer::SetReflections(CDrawWnd& e, int n, bool symmetric, int cx, int cy,
                                           double offset) {
    e.m_reflect.m_nReflections = n;
    e.m_reflect.m_bSymmetric = symmetric ? 1 : 0;
    e.m_nCentreX = cx;
    e.m_nCentreY = cy;
    for (int k = 0; k < n && k < CDrawWnd::kMaxReflections; ++k) {
        const double a = 2.0 * 3.14159265358979323846 * k / n + offset;
        e.m_reflect.m_fReflCos[k] = static_cast<float>(std::cos(a));
        e.m_reflect.m_fReflSin[k] = static_cast<float>(std::sin(a));
    }
}

}  // namespace quovis
