// The vector kernel of the stripe drawing: "Points" plots (the 2 x 2 sub-pixel splat) added
// into the 16-bit canvas several at a time, in their order, with the very same sums,
// overflow compression and clamping as AddDeepPixel.
//
// Positions, inside tests and weights are worked out for a batch of plots at once; then the
// plots are added one after the other, each with its four pixels' twelve channels in vector
// registers. Plots that touch the same words are therefore applied in the order given, and
// the canvas equals what the one-plot-at-a-time path leaves, bit for bit.
//
// The width follows what the compiler was told to use: AVX-512 (BW, VL) with masked 16-bit
// loads and stores, else AVX2 with 8 + 4 byte loads and stores (one row of two pixels is
// exactly twelve bytes), else no vector kernel at all.
#pragma once

#include <cstdint>

#include "engine/canvas_surface.h"
#include "engine/dot_band.h"

namespace quovis {

// The kernel this build has: "avx512", "avx2" or nullptr for none.
const char* VectorSplatKernelName();

// Draws a plot the kernel cannot take: any plot not wholly inside the canvas and the
// surface's clip rows.
using SplatFallback = void (*)(void* context, const SplatRecord& r);

// Adds splats[order[k]] for k in [0, count) to the deep canvas of `s` as "Points" plots, in
// that order, handing each plot the kernel cannot take to `fallback` at its turn; a null
// `order` takes splats[0 .. count) as they lie. Without a vector kernel (or without a deep
// canvas) every plot goes to `fallback`.
void DrawPointSplats(const CanvasSurface& s, const SplatRecord* splats, const int32_t* order,
                     int32_t count, SplatFallback fallback, void* context);

}  // namespace quovis
