#include "engine/random.h"

#include <bit>
#include <cstdlib>

namespace quovis {

namespace {

// L'Ecuyer's two multiplicative generators. Schrage's decomposition (q = m / a, r = m % a)
// keeps every product inside 32 bits.
constexpr int32_t kM1 = 2147483563;
constexpr int32_t kA1 = 40014;
constexpr int32_t kQ1 = 53668;
constexpr int32_t kR1 = 12211;
constexpr int32_t kM2 = 2147483399;
constexpr int32_t kA2 = 40692;
constexpr int32_t kQ2 = 52774;
constexpr int32_t kR2 = 3791;
constexpr double kScale = 4.65661305739177e-10;  // 1 / kM1

constexpr int32_t kSecondSeed = 2046819002;
constexpr int32_t kClockSeedModulus = 5655569;
constexpr int32_t kFirstEngineSeed = 774833;

constexpr uint32_t kFastMultiplier = 196314165u;
constexpr uint32_t kFastIncrement = 907633515u;

// Octave i is replaced when u falls at or below threshold i (and above the previous one), so
// low octaves change rarely and high ones often: that spacing gives the 1/f spectrum.
constexpr double kPinkThreshold[EngineRandom::kPinkOctaves] = {0.00198, 0.01478, 0.06378, 0.23378,
                                                               0.91578};
constexpr double kPinkAmplitude[EngineRandom::kPinkOctaves] = {3.8024, 2.9694, 2.5970, 3.0870,
                                                               3.4006};
constexpr double kPinkAmplitudeSum = 15.8564;  // the sum of the amplitudes: maps to [0, 1]

int32_t SchrageStep(int32_t s, int32_t a, int32_t m, int32_t q, int32_t r) {
    const int32_t k = s / q;
    int32_t next = a * (s - k * q) - k * r;
    if (next < 0) next += m;
    return next;
}

}  // namespace

EngineRandom::EngineRandom() {
    Seed(kFirstEngineSeed, 0, 0);
}

void EngineRandom::Seed(int32_t seed, uint32_t clockMs, uint32_t tickCount) {
    m_crand.Seed(tickCount);
    const int r = m_crand.Next() % 10000;
    int64_t s = seed;
    if (s == 0) {
        s = (static_cast<int64_t>(clockMs) + r + static_cast<int64_t>(tickCount)) %
            kClockSeedModulus;
    }
    m_s1 = static_cast<int32_t>(static_cast<int64_t>(kA1) * std::llabs(s + 137) % kM1);
    // A multiplicative generator started at 0 stays at 0 for ever; the two seeds that land
    // there (-137 and kM1 - 137) would silently run on the second generator alone.
    if (m_s1 == 0) m_s1 = 1;
    m_s2 = kSecondSeed;
    for (int i = 0; i < kFastStates; ++i) {
        m_fast[i] = tickCount ^ static_cast<uint32_t>(37041 + 12347 * i);
    }
    m_fastIndex = 0;
}

int32_t EngineRandom::RandomInteger() {
    m_s1 = SchrageStep(m_s1, kA1, kM1, kQ1, kR1);
    m_s2 = SchrageStep(m_s2, kA2, kM2, kQ2, kR2);
    int32_t z = m_s1 - m_s2;
    if (z < 1) z += kM1 - 1;
    return z;
}

double EngineRandom::RandomUniform() {
    return RandomInteger() * kScale;
}

float EngineRandom::RandomSigned(float a) {
    uint32_t& x = m_fast[m_fastIndex];
    m_fastIndex = (m_fastIndex + 1) % kFastStates;
    x = x * kFastMultiplier + kFastIncrement;
    // 23 random mantissa bits under the exponent of 2.0: a float uniform in [2, 4), with no
    // division or conversion from integer.
    const float v = std::bit_cast<float>((x >> 9) | 0x40000000u);
    return (v - 3.0f) * a;
}

double EngineRandom::PinkNoise(int channel) {
    if (channel < 0 || channel >= kPinkChannels) return 0.5;
    double* octave = m_pink[channel];
    const double u = RandomUniform();
    for (int i = 0; i < kPinkOctaves; ++i) {
        if (kPinkThreshold[i] >= u) {
            octave[i] = (2.0 * RandomUniform() - 1.0) * kPinkAmplitude[i];
            break;
        }
    }
    double sum = 0.0;
    for (int i = 0; i < kPinkOctaves; ++i) sum += octave[i];
    return (sum / kPinkAmplitudeSum + 1.0) * 7.0 / 14.0;
}

void EngineRandom::InitPinkChannel(int channel) {
    if (channel < 0 || channel >= kPinkChannels) return;
    for (int i = 0; i < kPinkOctaves; ++i) m_pink[channel][i] = RandomUniform();
}

void EngineRandom::InitPinkChannels(int count) {
    if (count > kPinkChannels) count = kPinkChannels;
    for (int c = 0; c < count; ++c) InitPinkChannel(c);
}

}  // namespace quovis
