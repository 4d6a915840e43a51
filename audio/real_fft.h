// RealFft: the forward Fourier transform of 512 real samples, and the window the audio
// analysis lays over a block before transforming it.
//
// The transform is the textbook trick for real input: the 512 samples are read as 256 complex
// values (even samples real, odd samples imaginary), a 256-point complex transform runs on
// them, and one split pass untangles the spectra of the even and odd samples into bins
// 0..256 of the real signal. The complex transform keeps real and imaginary parts in separate
// arrays and its stages run over contiguous runs of them, so the compiler turns the butterfly
// loops into vector code; every twiddle factor is computed once, at construction.
//
// The result is unscaled: X[k] = sum over n of x[n]·e^(-2πi·k·n/512). A full-scale sine
// therefore shows magnitudes in the millions, which is the scale the analysis's decibel
// levels are made for.
//
// One object is used by one thread at a time: Forward works in scratch arrays of the object.
// Nothing allocates after construction.
#pragma once

#include <array>
#include <cstdint>

namespace quovis {

class RealFft {
  public:
    static constexpr int kOrder = 9;
    static constexpr int kSize = 1 << kOrder;    // real samples in
    static constexpr int kBins = kSize / 2 + 1;  // bins out: 0 (constant) .. 256 (half the rate)

    RealFft();

    // Transforms kSize samples into kBins bins, real parts to re and imaginary parts to im.
    // input may not overlap re or im.
    void Forward(const float* input, float* re, float* im);

    // magnitude[k] = |re[k] + i·im[k]| for k < count.
    static void Magnitudes(const float* re, const float* im, float* magnitude, int count);

  private:
    static constexpr int kHalf = kSize / 2;  // points of the inner complex transform

    void ComplexTransform();

    std::array<uint16_t, kHalf> m_bitReverse{};
    // The stage that combines transforms of length h into ones of length 2h uses the twiddles
    // e^(-iπj/h), j < h, stored at [h + j]: each stage reads one contiguous run.
    std::array<float, kHalf> m_stageCos{};
    std::array<float, kHalf> m_stageSin{};
    // e^(-2πik/kSize) for the split pass, k < kHalf.
    std::array<float, kHalf> m_splitCos{};
    std::array<float, kHalf> m_splitSin{};
    alignas(32) std::array<float, kHalf> m_re{};
    alignas(32) std::array<float, kHalf> m_im{};
};

// The window laid over a block before the transform: the "exact" Blackman window,
// w(n) = a0 - a1·cos(2πn/512) + a2·cos(4πn/512) with a0 = 7938/18608, a1 = 9240/18608 and
// a2 = 1430/18608, the coefficients that place zeros on its third and fourth side lobes
// (side lobes stay below about -68 dB, against -58 dB for the rounded 0.42/0.5/0.08).
// It has kSize + 1 = 513 points, symmetric about n = 256 where it is 1; a block uses the
// first 512, which makes it the periodic window of period 512 that a 512-point transform
// wants.
using BlockWindow = std::array<float, RealFft::kSize + 1>;
BlockWindow OptimisedBlackmanWindow();

}  // namespace quovis
