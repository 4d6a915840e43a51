#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "audio/real_fft.h"

namespace quovis {
namespace {

constexpr int kN = RealFft::kSize;

// The plain O(N²) transform in double precision: the reference the fast one must match.
std::vector<std::complex<double>> PlainDft(const std::vector<float>& x) {
    std::vector<std::complex<double>> out(RealFft::kBins);
    for (int k = 0; k < RealFft::kBins; ++k) {
        std::complex<double> sum = 0.0;
        for (int n = 0; n < kN; ++n) {
            // k·n reduced first so the angle stays small and exact.
            const double angle = -2.0 * std::numbers::pi * ((k * n) % kN) / kN;
            sum += static_cast<double>(x[n]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

struct FftCase {
    std::string name;
    std::vector<float> input;
};

std::vector<FftCase> FftCases() {
    std::vector<FftCase> cases;
    for (unsigned seed : {1u, 2u, 77u, 12345u}) {
        std::mt19937 gen(seed);
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        std::vector<float> x(kN);
        for (float& v : x) v = dist(gen);
        cases.push_back({"random seed " + std::to_string(seed), x});
    }
    {
        std::mt19937 gen(9);
        std::uniform_int_distribution<int> dist(-32768, 32767);
        std::vector<float> x(kN);
        for (float& v : x) v = static_cast<float>(dist(gen));
        cases.push_back({"random 16-bit samples", x});
    }
    cases.push_back({"zeros", std::vector<float>(kN, 0.0f)});
    std::vector<float> impulse(kN, 0.0f);
    impulse[0] = 1.0f;
    cases.push_back({"impulse at 0", impulse});
    std::vector<float> late(kN, 0.0f);
    late[kN - 1] = -32768.0f;
    cases.push_back({"impulse at the last sample", late});
    cases.push_back({"full-scale constant", std::vector<float>(kN, 32767.0f)});
    std::vector<float> alternating(kN);
    for (int n = 0; n < kN; ++n) alternating[n] = (n % 2 == 0) ? 32767.0f : -32768.0f;
    cases.push_back({"alternating full scale (all at half the rate)", alternating});
    std::vector<float> offBin(kN);
    for (int n = 0; n < kN; ++n) offBin[n] = static_cast<float>(std::sin(0.3 + 0.731 * n));
    cases.push_back({"sine between bins", offBin});
    return cases;
}

TEST(RealFft, MatchesThePlainTransform) {
    // Tolerance: the largest error of any bin, against the sum of |x| (the largest magnitude
    // any bin can have). Single precision over nine stages stays near 1e-7 of that; a wrong
    // twiddle, index or sign is off by a large fraction of it.
    constexpr double kTolerance = 2e-6;
    RealFft fft;
    for (const FftCase& c : FftCases()) {
        SCOPED_TRACE(c.name);
        std::vector<float> re(RealFft::kBins, -1.0f), im(RealFft::kBins, -1.0f);
        fft.Forward(c.input.data(), re.data(), im.data());
        const auto expected = PlainDft(c.input);
        double scale = 0.0;
        for (float v : c.input) scale += std::abs(v);
        double worst = 0.0;
        int worstBin = 0;
        for (int k = 0; k < RealFft::kBins; ++k) {
            const double err = std::abs(std::complex<double>(re[k], im[k]) - expected[k]);
            if (err > worst) worst = err, worstBin = k;
        }
        EXPECT_LE(worst, kTolerance * std::max(scale, 1.0))
            << "bin " << worstBin << ": got (" << re[worstBin] << ", " << im[worstBin]
            << "), expected " << expected[worstBin];
    }
}

TEST(RealFft, GivesTheSameAnswerEveryCall) {
    // The scratch state of one call must not leak into the next.
    RealFft fft;
    const auto cases = FftCases();
    std::vector<float> re1(RealFft::kBins), im1(RealFft::kBins);
    std::vector<float> re2(RealFft::kBins), im2(RealFft::kBins);
    fft.Forward(cases[0].input.data(), re1.data(), im1.data());
    fft.Forward(cases[4].input.data(), re2.data(), im2.data());
    fft.Forward(cases[0].input.data(), re2.data(), im2.data());
    EXPECT_EQ(re1, re2);
    EXPECT_EQ(im1, im2);
}

TEST(RealFft, MagnitudesAreTheComplexAbsoluteValues) {
    const std::vector<float> re = {0.0f, 3.0f, -3.0f, 0.0f, 1e6f, -5.0f};
    const std::vector<float> im = {0.0f, 4.0f, -4.0f, -2.0f, 0.0f, 12.0f};
    const std::vector<float> expected = {0.0f, 5.0f, 5.0f, 2.0f, 1e6f, 13.0f};
    std::vector<float> mag(re.size(), -1.0f);
    RealFft::Magnitudes(re.data(), im.data(), mag.data(), static_cast<int>(re.size()));
    for (size_t k = 0; k < re.size(); ++k) EXPECT_FLOAT_EQ(mag[k], expected[k]) << "entry " << k;
}

TEST(BlockWindow, IsASymmetricBellOverTheBlock) {
    const BlockWindow w = OptimisedBlackmanWindow();
    ASSERT_EQ(w.size(), 513u);
    EXPECT_FLOAT_EQ(w[256], 1.0f);
    for (int n = 0; n <= kN; ++n) {
        EXPECT_FLOAT_EQ(w[n], w[kN - n]) << "n " << n;
        EXPECT_GE(w[n], 0.0f) << "n " << n;
        if (n > 0 && n <= 256) {
            EXPECT_GT(w[n], w[n - 1]) << "rises up to the middle at " << n;
        }
    }
    // The ends are nearly, but for this window not exactly, zero.
    EXPECT_LT(w[0], 0.01f);
}

TEST(BlockWindow, KeepsLeakageFarBelowTheTone) {
    // A tone halfway between two bins is the worst case for leakage. Through this window,
    // bins more than four away from it must lie over 65 dB below the peak; without a window
    // they lie only about 30 dB below.
    const BlockWindow w = OptimisedBlackmanWindow();
    RealFft fft;
    for (double bin : {40.5, 100.5, 17.25}) {
        SCOPED_TRACE("tone at bin " + std::to_string(bin));
        std::vector<float> x(kN);
        for (int n = 0; n < kN; ++n) {
            x[n] = static_cast<float>(10000.0 * std::sin(2.0 * std::numbers::pi * bin * n / kN)) *
                   w[n];
        }
        std::vector<float> re(RealFft::kBins), im(RealFft::kBins), mag(RealFft::kBins);
        fft.Forward(x.data(), re.data(), im.data());
        RealFft::Magnitudes(re.data(), im.data(), mag.data(), RealFft::kBins);
        const float peak = *std::max_element(mag.begin(), mag.end());
        const int peakBin =
            static_cast<int>(std::max_element(mag.begin(), mag.end()) - mag.begin());
        EXPECT_LE(std::abs(peakBin - bin), 0.5);
        for (int k = 0; k < RealFft::kBins; ++k) {
            if (std::abs(k - bin) <= 4.0) continue;
            EXPECT_LT(20.0 * std::log10(mag[k] / peak), -65.0) << "bin " << k;
        }
    }
}

}  // namespace
}  // namespace quovis
