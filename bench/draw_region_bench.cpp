// Drawing over the frame at 1920 x 1080 in 16-bit mode: lending the draw image, a sparse
// drawing (a ring, as the clock layer draws every frame) and merging it into the canvas,
// over the whole image and over the drawing's own square only.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "present/flipper.h"

namespace {

using quovis::CFlipperGDI32;
using quovis::DrawImage;
using quovis::DrawRegion;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// The pixels of a one-pixel ring of the given radius around the centre.
std::vector<int> RingPixels(int radius) {
    std::vector<int> offsets;
    for (int i = 0; i < 8 * radius; ++i) {
        const double a = 6.283185307179586 * i / (8 * radius);
        const int x = kWidth / 2 + static_cast<int>(radius * std::cos(a));
        const int y = kHeight / 2 + static_cast<int>(radius * std::sin(a));
        offsets.push_back((kHeight - 1 - y) * kWidth + x);
    }
    return offsets;
}

void BM_DrawRing(benchmark::State& state) {
    const bool regionOnly = state.range(0) != 0;
    const int radius = static_cast<int>(state.range(1));
    quovis::FlipperOptions options;
    options.bands = 1;
    auto f = std::make_unique<CFlipperGDI32>(options);
    f->SetDeepCanvas(true);
    if (f->Attach(kWidth, kHeight) != quovis::kFlipperOk) {
        state.SkipWithError("no canvas");
        return;
    }
    const std::vector<int> ring = RingPixels(radius);
    const DrawRegion square{kWidth / 2 - radius - 1, kHeight / 2 - radius - 1,
                            kWidth / 2 + radius + 2, kHeight / 2 + radius + 2};
    for (auto _ : state) {
        const DrawImage img = regionOnly ? f->BeginDraw(square) : f->BeginDraw();
        for (int offset : ring) img.pixels[offset] = 0x00505050u;
        f->EndDraw();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawRing)
    ->ArgNames({"region", "radius"})
    ->Args({0, 486})
    ->Args({1, 486})
    ->Args({0, 160})
    ->Args({1, 160})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
