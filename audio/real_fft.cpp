#include "audio/real_fft.h"

#include <cmath>
#include <numbers>

namespace quovis {

RealFft::RealFft() {
    // Bit reversal of the 8-bit point index of the inner transform.
    for (int n = 0; n < kHalf; ++n) {
        int reversed = 0;
        for (int bit = 0; bit < kOrder - 1; ++bit) {
            if (n & (1 << bit)) reversed |= 1 << (kOrder - 2 - bit);
        }
        m_bitReverse[n] = static_cast<uint16_t>(reversed);
    }
    // Twiddles in double precision, rounded once.
    for (int h = 1; h < kHalf; h *= 2) {
        for (int j = 0; j < h; ++j) {
            const double angle = -std::numbers::pi * j / h;
            m_stageCos[h + j] = static_cast<float>(std::cos(angle));
            m_stageSin[h + j] = static_cast<float>(std::sin(angle));
        }
    }
    for (int k = 0; k < kHalf; ++k) {
        const double angle = -2.0 * std::numbers::pi * k / kSize;
        m_splitCos[k] = static_cast<float>(std::cos(angle));
        m_splitSin[k] = static_cast<float>(std::sin(angle));
    }
}

// Radix-2 decimation in time over m_re/m_im, already in bit-reversed order. The first stage
// multiplies by 1 and is done apart; from h = 4 on the inner loop is long enough to be worth
// the compiler's vector code.
void RealFft::ComplexTransform() {
    float* __restrict re = m_re.data();
    float* __restrict im = m_im.data();
    for (int s = 0; s < kHalf; s += 2) {
        const float ar = re[s], ai = im[s];
        const float br = re[s + 1], bi = im[s + 1];
        re[s] = ar + br;
        im[s] = ai + bi;
        re[s + 1] = ar - br;
        im[s + 1] = ai - bi;
    }
    for (int h = 2; h < kHalf; h *= 2) {
        const float* __restrict wr = m_stageCos.data() + h;
        const float* __restrict wi = m_stageSin.data() + h;
        for (int s = 0; s < kHalf; s += 2 * h) {
            float* __restrict lowRe = re + s;
            float* __restrict lowIm = im + s;
            float* __restrict highRe = re + s + h;
            float* __restrict highIm = im + s + h;
            for (int j = 0; j < h; ++j) {
                const float br = highRe[j] * wr[j] - highIm[j] * wi[j];
                const float bi = highRe[j] * wi[j] + highIm[j] * wr[j];
                const float ar = lowRe[j], ai = lowIm[j];
                lowRe[j] = ar + br;
                lowIm[j] = ai + bi;
                highRe[j] = ar - br;
                highIm[j] = ai - bi;
            }
        }
    }
}

void RealFft::Forward(const float* input, float* re, float* im) {
    for (int n = 0; n < kHalf; ++n) {
        const int to = m_bitReverse[n];
        m_re[to] = input[2 * n];
        m_im[to] = input[2 * n + 1];
    }
    ComplexTransform();

    // Z = the transform of z[n] = x[2n] + i·x[2n+1]. The even samples' spectrum is
    // E[k] = (Z[k] + conj Z[256-k]) / 2, the odd samples' O[k] = (Z[k] - conj Z[256-k]) / 2i,
    // and X[k] = E[k] + e^(-2πik/512)·O[k].
    const float* __restrict zr = m_re.data();
    const float* __restrict zi = m_im.data();
    const float* __restrict wr = m_splitCos.data();
    const float* __restrict wi = m_splitSin.data();
    re[0] = zr[0] + zi[0];
    im[0] = 0.0f;
    re[kHalf] = zr[0] - zi[0];
    im[kHalf] = 0.0f;
    for (int k = 1; k < kHalf; ++k) {
        const float evenRe = 0.5f * (zr[k] + zr[kHalf - k]);
        const float evenIm = 0.5f * (zi[k] - zi[kHalf - k]);
        const float oddRe = 0.5f * (zi[k] + zi[kHalf - k]);
        const float oddIm = -0.5f * (zr[k] - zr[kHalf - k]);
        re[k] = evenRe + wr[k] * oddRe - wi[k] * oddIm;
        im[k] = evenIm + wr[k] * oddIm + wi[k] * oddRe;
    }
}

void RealFft::Magnitudes(const float* re, const float* im, float* magnitude, int count) {
    for (int k = 0; k < count; ++k) magnitude[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
}

BlockWindow OptimisedBlackmanWindow() {
    constexpr double a0 = 7938.0 / 18608.0;
    constexpr double a1 = 9240.0 / 18608.0;
    constexpr double a2 = 1430.0 / 18608.0;
    BlockWindow w{};
    for (int n = 0; n <= RealFft::kSize; ++n) {
        const double phase = 2.0 * std::numbers::pi * n / RealFft::kSize;
        w[n] = static_cast<float>(a0 - a1 * std::cos(phase) + a2 * std::cos(2.0 * phase));
    }
    return w;
}

}  // namespace quovis
