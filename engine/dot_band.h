// DotBand: the record one worker gets for one frame's motion pass. The frame thread fills the
// range and pointers before the pass and reads the sums after it; the worker writes only its
// own record and its own range of dots.
//
// The scratch arrays hold one entry per mover image (4 images x 32 movers = 128, rounded up
// to 160 so the vector loops can run a few entries past the end without a tail). Each starts
// on its own cache line so that workers never share one.
#pragma once

#include <cstdint>

namespace quovis {

struct alignas(64) DotBand {
    static constexpr int kScratch = 160;

    int32_t First = 0;  // inclusive dot range
    int32_t Last = -1;
    float* m_pDotR = nullptr;
    float* m_pDotG = nullptr;
    float* m_pDotB = nullptr;
    float SumX = 0.0f;  // sums of the new positions of the dots moved
    float SumY = 0.0f;
    double Travel = 0.0;             // sum of |x - x0| + |y - y0| to dot 0
    int32_t Count = 0;               // dots moved
    const float* weights = nullptr;  // the movers' reach weights for this frame
    int32_t result = 0;

    // Per mover image: offset to the dot, flow vector, colour and weight.
    alignas(64) float dx[kScratch] = {};
    alignas(64) float dy[kScratch] = {};
    alignas(64) float flowX[kScratch] = {};
    alignas(64) float flowY[kScratch] = {};
    alignas(64) float colourR[kScratch] = {};
    alignas(64) float colourG[kScratch] = {};
    alignas(64) float colourB[kScratch] = {};
    alignas(64) float weight[kScratch] = {};
};

}  // namespace quovis
