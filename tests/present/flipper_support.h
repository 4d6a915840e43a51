// Helpers for the presenter tests: attached presenters and seeded canvas content.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "present/flipper.h"

namespace quovis::test {

// A presenter attached at width x height (render scale 1), 16-bit canvas requested unless
// deep is false.
inline std::unique_ptr<CFlipperGDI32> MakeFlipper(int width, int height, int bands = 0,
                                                  bool deep = true) {
    FlipperOptions options;
    options.bands = bands;
    auto f = std::make_unique<CFlipperGDI32>(options);
    f->SetDeepCanvas(deep);
    if (f->Attach(width, height) != kFlipperOk) return nullptr;
    return f;
}

// Adds seeded random light over the whole canvas through the engine's own pixel add.
inline void FillRandom(CFlipperGDI32& f, uint32_t seed, int maxAmount = 65535) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> amount(0, maxAmount);
    for (int y = 0; y < f.Height(); ++y)
        for (int x = 0; x < f.Width(); ++x) f.AddPixel(x, y, amount(gen), amount(gen), amount(gen));
}

// The 16-bit channel ch of the pixel at picture position (x, y) of the current canvas.
inline int DeepAt(const CFlipperGDI32& f, int x, int y, int ch) {
    const CanvasSurface& s = f.Surface();
    return s.deep[(s.height - 1 - y) * s.deepRowStep + 3 * x + ch];
}

// The display word at picture position (x, y).
inline uint32_t DisplayAt(const CFlipperGDI32& f, int x, int y) {
    return f.DisplayPixels()[static_cast<std::size_t>(f.Height() - 1 - y) * f.Width() + x];
}

}  // namespace quovis::test
