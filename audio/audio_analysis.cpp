// AudioAnalysis. Sections:
//   stored means     defaults and limits of the values kept between runs
//   selectivity      the band-weight patterns
//   block analysis   mix, transform, envelopes, bands, normalisation, shape, spread
//   silence          the quiet clock and the dream state
#include "audio/audio_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quovis {

namespace {

constexpr float kDefaultStat = 0.6f;
// Means 6 and 13 are of votes, which centre on 0; the others of levels, which centre on 0.5.
constexpr bool IsCentredOnZero(int stat) {
    return stat == 6 || stat == 13;
}

constexpr float kAgcLowest = -1.0f;
constexpr float kAgcCeiling = 0.4f;  // the creep stops here
constexpr float kAgcTarget = 0.98f;  // where a loud block puts its loudest band
constexpr float kAgcCreep = 0.0002f;
constexpr float kAgcCreepFrom = 0.2f;  // the creep waits for a loudest band at least this high

// Digital silence has no power at all, and its logarithm would be -inf (and the trend, a
// difference of two, not a number). The bands are floored at -100 dB, far below anything a
// 16-bit signal can put into a band.
constexpr float kFloorPower = 1e-10f;

// Spread: a band stands above its floor when it is more than this over it, which the
// block-to-block wobble of a steady noise seldom reaches.
constexpr float kStandDb = 6.0f;
constexpr float kFloorRise = 0.005f;  // per block, of the distance up to the level

}  // namespace

// ---- Stored means -----------------------------------------------------------------------------

AudioStats DefaultAudioStats() {
    AudioStats stats;
    for (int i = 0; i < kAudioStats; ++i) stats[i] = (i == 6) ? 0.0f : kDefaultStat;
    return stats;
}

AudioStats LimitAudioStats(const AudioStats& stored) {
    const AudioStats defaults = DefaultAudioStats();
    AudioStats limited;
    for (int i = 0; i < kAudioStats; ++i) {
        const float value = std::isnan(stored[i]) ? defaults[i] : stored[i];
        limited[i] =
            IsCentredOnZero(i) ? std::clamp(value, -0.5f, 0.5f) : std::clamp(value, 0.25f, 0.75f);
    }
    return limited;
}

float LimitAudioAgc(float stored) {
    if (std::isnan(stored)) return 0.0f;
    return std::clamp(stored, kAgcLowest, kAgcCeiling);
}

// ---- Selectivity ------------------------------------------------------------------------------

namespace {

// A bump's half-width is perQ·q + fixed.
struct Bump {
    double centre;
    double perQ;
    double fixed;
    double gain;
};

struct PatternBumps {
    int count;
    Bump bumps[3];
};

constexpr PatternBumps kPatternBumps[kSelectivityPatterns] = {
    {2, {{0, 2.2, 0, 4}, {10, 2.2, 0, 0.6}}},                    // P1
    {1, {{1, 1, 0, 4}}},                                         // P2
    {1, {{2.5, 1, 0, 4}}},                                       // P3
    {1, {{3.6, 0.9, 0, 4}}},                                     // P4
    {1, {{5.5, 1, 0, 4}}},                                       // P5
    {1, {{7, 1.15, 0, 4}}},                                      // P6
    {1, {{10, 0, 7.5, 4}}},                                      // P7: the one fixed width
    {1, {{8, 1.25, 0, 4}}},                                      // P8
    {3, {{8, 0.6, 0, 4}, {13, 0.8, 0, 4}, {0, 0.8, 0, 2}}},      // P9
    {3, {{9, 2.5, 0, 0.8}, {12, 0.6, 0, 4}, {1, 0.8, 0, 2}}},    // P10
    {3, {{12, 3.5, 0, 8}, {8, 2.5, 0, 4}, {5, 1, 0, 0.32}}},     // P11
    {2, {{13, 1.6, 0, 4}, {9, 2, 0, 0.2}}},                      // P12
    {3, {{11, 1.5, 0, 6}, {3, 1.2, 0, 1.2}, {6, 0.9, 0, 0.6}}},  // P13
};

}  // namespace

namespace {

// A negative q would make a bump's width zero or negative (a division by zero); an infinite
// one would flatten every pattern to zeros, which the drive divides by.
float LimitSelectivity(float q) {
    return std::isnan(q) ? AudioAnalysis::kDefaultSelectivity : std::clamp(q, 0.0f, 100.0f);
}

}  // namespace

SelectivityPatterns BuildSelectivityPatterns(float q) {
    const double sq = LimitSelectivity(q);
    SelectivityPatterns patterns{};
    for (int p = 0; p < kSelectivityPatterns; ++p) {
        for (int i = 0; i < kPatternBumps[p].count; ++i) {
            const Bump& bump = kPatternBumps[p].bumps[i];
            const double span = bump.perQ * sq + bump.fixed + 1.0;
            for (int b = 0; b < kAudioBands; ++b) {
                const double t = (bump.centre - b) / span;
                if (std::abs(t) >= 1.0) continue;
                const double height = 0.5 + 0.5 * std::cos(std::numbers::pi * t);
                patterns[p][b] += static_cast<float>(bump.gain * height / span);
            }
        }
    }
    return patterns;
}

// ---- Block analysis ---------------------------------------------------------------------------

AudioAnalysis::AudioAnalysis(int32_t seed, float selectivity)
    : m_window(OptimisedBlackmanWindow()) {
    // Half-octave bands from the top down: band b ends at bin 256·2^(-b/2), rounded to the
    // nearest bin, and starts after the next band's end; the lowest band ends at bin 0, which
    // (the constant part of the signal) belongs to no band.
    auto edge = [](int b) {
        return b >= kAudioBands ? 0 : static_cast<int>(std::lround(256.0 * std::exp2(-0.5 * b)));
    };
    for (int b = 0; b < kAudioBands; ++b) {
        m_bandFirstBin[b] = edge(b + 1) + 1;
        m_bandLastBin[b] = edge(b);
    }
    m_random.Seed(seed, 0, 0);
    m_selectivity = LimitSelectivity(selectivity);
    m_patterns = BuildSelectivityPatterns(m_selectivity);
    ResetSmoothing();
}

void AudioAnalysis::SetAgc(float agc) {
    m_agc.store(LimitAudioAgc(agc), std::memory_order_relaxed);
}

void AudioAnalysis::SetSelectivity(float q) {
    m_requestedSelectivity.store(q, std::memory_order_relaxed);
    m_selectivityRequested.store(true, std::memory_order_release);
}

void AudioAnalysis::ResetSmoothing() {
    m_peak.fill(0.0f);
    m_slow.fill(0.0f);
    m_binAverage.fill(0.0f);
    m_bandTrend.fill(0.0f);
    m_shape.fill(0.0f);
    // Above any level, so the first block sets the floors.
    m_floorDb.fill(200.0f);
    m_firstBlock = true;
}

bool AudioAnalysis::AnalyseBlock(const int16_t* stereo, int frames, uint32_t nowMs,
                                 AudioBands& out) {
    if (stereo == nullptr || frames < kBlockFrames) return false;
    if (m_selectivityRequested.exchange(false, std::memory_order_acquire)) {
        m_selectivity = LimitSelectivity(m_requestedSelectivity.load(std::memory_order_relaxed));
        m_patterns = BuildSelectivityPatterns(m_selectivity);
        ResetSmoothing();
    }

    MixAndTransform(stereo);
    FollowBins(m_firstBlock);
    MeasureBands();
    Normalise();
    FollowShape();
    const float spread = Spread();
    CheckSilence(nowMs);
    if (m_dreaming) Dream();

    out.level = m_level;
    out.trend = m_bandTrend;
    out.shape = m_shape;
    out.dream = m_dreamBand;
    out.volume = Volume();
    out.spread = spread;
    out.dreaming = m_dreaming;
    out.first = m_firstBlock;
    m_firstBlock = false;
    return true;
}

void AudioAnalysis::MixAndTransform(const int16_t* stereo) {
    // Mono, then the window, in one pass.
    for (int i = 0; i < kBlockFrames; ++i) {
        const float mono =
            0.5f * (static_cast<float>(stereo[2 * i]) + static_cast<float>(stereo[2 * i + 1]));
        m_samples[i] = mono * m_window[i];
    }
    m_fft.Forward(m_samples.data(), m_re.data(), m_im.data());
    RealFft::Magnitudes(m_re.data(), m_im.data(), m_magnitude.data(), kBins);
}

void AudioAnalysis::FollowBins(bool first) {
    const float* __restrict mag = m_magnitude.data();
    float* __restrict peak = m_peak.data();
    float* __restrict slow = m_slow.data();
    float* __restrict average = m_binAverage.data();
    if (first) {
        std::copy(mag, mag + kBins, peak);
        std::copy(mag, mag + kBins, slow);
    } else {
        // The peak envelope rises fast and falls more slowly; written as a select so the loop
        // stays branch-free and vectorises.
        for (int k = 0; k < kBins; ++k) {
            const float rising = 0.85f * mag[k] + 0.15f * peak[k];
            const float falling = 0.3f * mag[k] + 0.7f * peak[k];
            peak[k] = mag[k] > peak[k] ? rising : falling;
            slow[k] = 0.98f * slow[k] + 0.02f * mag[k];
        }
    }
    for (int k = 0; k < kBins; ++k) average[k] = 0.998f * average[k] + 0.002f * mag[k];
}

void AudioAnalysis::MeasureBands() {
    for (int b = 0; b < kAudioBands; ++b) {
        float peakPower = 0.0f;
        float slowPower = 0.0f;
        for (int k = m_bandFirstBin[b]; k <= m_bandLastBin[b]; ++k) {
            peakPower += m_peak[k] * m_peak[k];
            slowPower += m_slow[k] * m_slow[k];
        }
        // 20·log10(sqrt(power)) = 10·log10(power).
        m_bandDb[b] = 10.0f * std::log10(std::max(peakPower, kFloorPower));
        m_bandSlowDb[b] = 10.0f * std::log10(std::max(slowPower, kFloorPower));
        m_bandTrend[b] = 0.97f * m_bandTrend[b] + 0.03f * (m_bandDb[b] - m_bandSlowDb[b]);
    }
}

void AudioAnalysis::Normalise() {
    float loudest = -std::numeric_limits<float>::infinity();
    for (int b = 0; b < kAudioBands; ++b) {
        m_level[b] = (m_bandDb[b] - 40.0f) / 80.0f;
        loudest = std::max(loudest, m_level[b]);
    }
    // The gain drops at once when a band would pass 1 and creeps back up in quieter passages.
    float agc = m_agc.load(std::memory_order_relaxed);
    if (loudest + agc > 1.0f) agc = kAgcTarget - loudest;
    float sum = 0.0f;
    for (int b = 0; b < kAudioBands; ++b) {
        m_level[b] += agc;
        sum += std::max(m_level[b], 0.0f);
    }
    m_volume.store(sum / kAudioBands, std::memory_order_relaxed);
    if (agc < kAgcCeiling && loudest >= kAgcCreepFrom) agc += kAgcCreep;
    m_agc.store(agc, std::memory_order_relaxed);
}

void AudioAnalysis::FollowShape() {
    // Each band is tilted by 1.2 dB per band number (towards the bass) and placed in the
    // range of the tilted levels of the bands that are audible at all.
    auto tilted = [this](int b) { return m_bandDb[b] + 1.2f * static_cast<float>(b); };
    float lowest = std::numeric_limits<float>::infinity();
    float highest = -std::numeric_limits<float>::infinity();
    for (int b = 0; b < kAudioBands; ++b) {
        if (m_level[b] <= 0.01f) continue;
        lowest = std::min(lowest, tilted(b));
        highest = std::max(highest, tilted(b));
    }
    const float range = highest - lowest;
    for (int b = 0; b < kAudioBands; ++b) {
        const float position =
            range > 0.0f ? std::clamp((tilted(b) - lowest) / range, 0.0f, 1.0f) : 0.0f;
        m_shape[b] = 0.96f * m_shape[b] + 0.04f * position;
    }
}

// How widely the sound spreads over the bands: from the heights h of the bands standing over
// their floors (in dB), the normalised participation ratio ((Σh)² / Σh² - 1) / 13, which is 0
// when one band stands out alone and 1 when all stand equally high. The floors make each band
// its own reference, so a band that is always loud counts only when it rises.
float AudioAnalysis::Spread() {
    float sum = 0.0f;
    float sumSquares = 0.0f;
    for (int b = 0; b < kAudioBands; ++b) {
        const float db = m_bandDb[b];
        float& floor = m_floorDb[b];
        floor = db < floor ? db : floor + kFloorRise * (db - floor);
        const float height = db - floor;
        if (height <= kStandDb) continue;
        sum += height;
        sumSquares += height * height;
    }
    if (sumSquares <= 0.0f) return 0.5f;
    const float participation = sum * sum / sumSquares;  // 1 .. kAudioBands
    return std::clamp((participation - 1.0f) / (kAudioBands - 1), 0.0f, 1.0f);
}

// ---- Silence ----------------------------------------------------------------------------------

void AudioAnalysis::CheckSilence(uint32_t nowMs) {
    const float volume = Volume();
    if (!m_quiet && volume < kQuietVolume) {
        m_quiet = true;
        m_quietSince = nowMs;
    }
    // Unsigned difference: right across the clock's wrap.
    if (m_quiet && !m_dreaming && nowMs - m_quietSince >= kDreamAfterMs) {
        // Band 0 starts at 0.9; the lower bands start lower the more often, as u^(3b/14).
        for (int b = 0; b < kAudioBands; ++b) {
            const double u = m_random.RandomUniform();
            m_dreamBand[b] = static_cast<float>(0.3 + 0.6 * std::pow(u, 3.0 * b / kAudioBands));
        }
        m_dreaming = true;
        m_dreamEntered.store(true, std::memory_order_relaxed);
    }
    if (volume > kQuietVolume) {
        m_quiet = false;
        m_dreaming = false;
    }
    m_dreamingShared.store(m_dreaming, std::memory_order_relaxed);
}

void AudioAnalysis::Dream() {
    // The dream stands in for the measured levels, with the high bands a little louder.
    for (int b = 0; b < kAudioBands; ++b) {
        const float weight = 0.4f + 0.6f * static_cast<float>(kAudioBands - b) / kAudioBands;
        m_level[b] = std::pow(m_dreamBand[b], 1.15f) * weight;
    }
    for (float& d : m_dreamBand) {
        const double u = m_random.RandomUniform();
        d = std::clamp(d + static_cast<float>((u - 0.5) * 0.1), 0.1f, 1.0f);
    }
    // Neighbours pull each other together a little, so the dream keeps a smooth shape.
    for (int b = 1; b < kAudioBands - 1; ++b) {
        m_dreamBand[b] =
            0.02f * m_dreamBand[b - 1] + 0.96f * m_dreamBand[b] + 0.02f * m_dreamBand[b + 1];
    }
}

}  // namespace quovis
