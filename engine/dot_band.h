// DotBand: the record one worker gets for one frame's motion pass. The frame thread fills the
// range before the pass and reads the sums after it; the worker writes only its own record,
// its own range of dots and its own plot buffer. Each record starts on a cache line of its
// own so that workers never share one.
//
// The plots do not go straight into the canvas: each band appends its dots' plots to its
// buffer and sorts them by stripe of canvas rows (one stripe per band); then each worker
// draws its own stripe, taking every band's plots for it in band order. A canvas line is
// then written by one core only, instead of travelling between the cores' caches, and the
// picture does not depend on how the workers' timing interleaves. A frame whose plots do not
// fit the buffers runs in several rounds. A single worker collects too when it draws
// "Points" with the vector kernel (splat_kernel.h): its one stripe is the whole canvas.
#pragma once

#include <cstdint>

namespace quovis {

// What one plot adds to each channel at full weight, 8.8 fixed point.
struct PlotAmounts {
    int32_t a0, a1, a2;
};

// One plot waiting for the owner of its stripe.
struct SplatRecord {
    float x, y;
    PlotAmounts amounts;
};

struct alignas(64) DotBand {
    static constexpr int kMaxStripes = 64;

    int32_t First = 0;  // inclusive dot range
    int32_t Last = -1;
    int32_t Next = 0;   // the first dot of the range not yet moved in this frame
    float SumX = 0.0f;  // sums of the new positions of the dots moved
    float SumY = 0.0f;
    double Travel = 0.0;  // sum of |x - x0| + |y - y0| to dot 0
    int32_t Count = 0;    // dots moved

    // Whether this frame's plots go through the buffer (else straight into the canvas).
    bool collect = false;
    // The band's plots of the current round.
    SplatRecord* splats = nullptr;
    int32_t splatCount = 0;
    int32_t splatCapacity = 0;
    // The plots by stripe, stripe s from stripeStart[s] up to stripeStart[s + 1]: copied
    // into runs, one stripe after the other, so that a stripe's owner reads its plots front
    // to back. A plot reaching into two stripes is copied into both; runs has room for a
    // quarter more records than the buffer. Should more plots than that reach into two
    // stripes, the entries are indices into splats in order instead (listed in both).
    SplatRecord* runs = nullptr;
    int32_t runRoom = 0;
    int32_t* order = nullptr;  // room for two entries per plot
    int32_t stripeStart[kMaxStripes + 1] = {};
    // What the stripes read this round: runs, or (one stripe) splats itself; with an index
    // stripeOrder is order and the records are splats.
    const SplatRecord* stripeRecords = nullptr;
    const int32_t* stripeOrder = nullptr;
};

}  // namespace quovis
