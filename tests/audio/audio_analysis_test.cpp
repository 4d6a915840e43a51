#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_analysis.h"

namespace quovis {
namespace {

constexpr int kFrames = 1024;  // a capture buffer: longer than the 512 frames analysed
constexpr double kRate = 44100.0;
constexpr int32_t kSeed = 4242;

using Block = std::vector<int16_t>;  // interleaved stereo

Block Tone(double hz, double amplitude, double rightGain = 1.0) {
    Block block(2 * kFrames);
    for (int n = 0; n < kFrames; ++n) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * hz * n / kRate);
        block[2 * n] = static_cast<int16_t>(std::lround(v));
        block[2 * n + 1] = static_cast<int16_t>(std::lround(v * rightGain));
    }
    return block;
}

Block Noise(int amplitude, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(-amplitude, amplitude);
    Block block(2 * kFrames);
    for (int16_t& s : block) s = static_cast<int16_t>(dist(gen));
    return block;
}

Block Silence() {
    return Block(2 * kFrames, 0);
}

Block Mix(const Block& a, const Block& b) {
    Block out(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        out[i] = static_cast<int16_t>(std::clamp(a[i] + b[i], -32768, 32767));
    }
    return out;
}

AudioBands Analyse(AudioAnalysis& a, const Block& block, uint32_t nowMs = 0) {
    AudioBands out;
    EXPECT_TRUE(a.AnalyseBlock(block.data(), kFrames, nowMs, out));
    return out;
}

int LoudestBand(const BandValues& v) {
    return static_cast<int>(std::max_element(v.begin(), v.end()) - v.begin());
}

float Loudest(const BandValues& v) {
    return *std::max_element(v.begin(), v.end());
}

void ExpectSameBands(const AudioBands& a, const AudioBands& b) {
    EXPECT_EQ(a.level, b.level);
    EXPECT_EQ(a.trend, b.trend);
    EXPECT_EQ(a.shape, b.shape);
    EXPECT_EQ(a.volume, b.volume);
    EXPECT_EQ(a.spread, b.spread);
    EXPECT_EQ(a.first, b.first);
    EXPECT_EQ(a.dreaming, b.dreaming);
}

// ---- Blocks too short -------------------------------------------------------------------------

TEST(AudioAnalysis, IgnoresBlocksShorterThanTheTransform) {
    const Block loud = Noise(8000, 1);
    struct Case {
        const char* name;
        const int16_t* data;
        int frames;
    };
    const Case cases[] = {
        {"no frames", loud.data(), 0},
        {"one frame", loud.data(), 1},
        {"one frame short", loud.data(), AudioAnalysis::kBlockFrames - 1},
        {"negative count", loud.data(), -5},
        {"no data", nullptr, kFrames},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioAnalysis a(kSeed);
        AudioBands out;
        out.level.fill(-7.0f);
        out.volume = -7.0f;
        out.spread = -7.0f;
        EXPECT_FALSE(a.AnalyseBlock(c.data, c.frames, 0, out));
        EXPECT_EQ(out.level[0], -7.0f);
        EXPECT_EQ(out.volume, -7.0f);
        EXPECT_EQ(out.spread, -7.0f);
        EXPECT_EQ(a.Volume(), 0.0f);
        EXPECT_EQ(a.Agc(), 0.0f);
        // The object is untouched: the next full block is its first, as for a fresh one.
        AudioAnalysis fresh(kSeed);
        const Block quiet = Noise(300, 2);
        const AudioBands next = Analyse(a, quiet);
        EXPECT_TRUE(next.first);
        ExpectSameBands(next, Analyse(fresh, quiet));
    }
}

TEST(AudioAnalysis, OnlyTheFirstBlockIsMarkedFirst) {
    AudioAnalysis a(kSeed);
    EXPECT_TRUE(Analyse(a, Noise(500, 3)).first);
    EXPECT_FALSE(Analyse(a, Noise(500, 4)).first);
    // Exactly 512 frames is enough.
    const Block block = Noise(500, 5);
    AudioBands out;
    EXPECT_TRUE(a.AnalyseBlock(block.data(), AudioAnalysis::kBlockFrames, 0, out));
}

// ---- Bands ------------------------------------------------------------------------------------

TEST(AudioAnalysis, ToneLandsInItsHalfOctaveBand) {
    // Band 0 holds the highest frequencies; each band is half an octave, so a tone an octave
    // higher lands two bands lower in number.
    struct Case {
        double hz;
        int band;
    };
    const Case cases[] = {{220, 13}, {440, 11}, {880, 9},   {1760, 7},
                          {3520, 5}, {7040, 3}, {14080, 1}, {19000, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hz) + " Hz");
        AudioAnalysis a(kSeed);
        const AudioBands out = Analyse(a, Tone(c.hz, 8000));
        EXPECT_EQ(LoudestBand(out.level), c.band);
        AudioAnalysis b(kSeed);
        if (c.hz * 2 < 20000) {
            EXPECT_EQ(LoudestBand(Analyse(b, Tone(2 * c.hz, 8000)).level), c.band - 2);
        }
    }
}

TEST(AudioAnalysis, MixesBothChannelsToMono) {
    struct Case {
        const char* name;
        double rightGain;
        bool heard;
    };
    const Case cases[] = {
        {"both channels", 1.0, true},
        {"left only", 0.0, true},
        {"right inverted: cancels", -1.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioAnalysis a(kSeed);
        const AudioBands out = Analyse(a, Tone(440, 8000, c.rightGain));
        if (c.heard) {
            EXPECT_EQ(LoudestBand(out.level), 11);
            EXPECT_GT(out.volume, AudioAnalysis::kQuietVolume);
        } else {
            EXPECT_EQ(out.volume, 0.0f);
        }
    }
}

TEST(AudioAnalysis, LevelRisesAtOnceAndFallsOverSeveralBlocks) {
    // Levels are dB / 80: one dB is 0.0125.
    constexpr float kDb = 1.0f / 80.0f;
    const Block quiet = Noise(30, 12);
    const Block tone = Mix(quiet, Tone(880, 3000));
    AudioAnalysis steady(kSeed);
    AudioBands out;
    for (int i = 0; i < 40; ++i) out = Analyse(steady, tone);
    const float settled = out.level[9];

    AudioAnalysis a(kSeed);
    for (int i = 0; i < 40; ++i) Analyse(a, quiet);
    const float onset = Analyse(a, tone).level[9];
    EXPECT_GT(onset, settled - 2.0f * kDb) << "a sound shows in full with its first block";
    const float after1 = Analyse(a, quiet).level[9];
    EXPECT_LT(after1, onset - 1.0f * kDb);
    EXPECT_GT(after1, onset - 6.0f * kDb) << "but dies away over several blocks";
    for (int i = 0; i < 9; ++i) out = Analyse(a, quiet);
    EXPECT_LT(out.level[9], onset - 20.0f * kDb);
}

TEST(AudioAnalysis, TrendRisesWithASoundAndFallsAfterIt) {
    AudioAnalysis a(kSeed);
    const Block quiet = Noise(30, 6);
    for (int i = 0; i < 50; ++i) Analyse(a, quiet);
    const Block tone = Mix(quiet, Tone(880, 6000));
    AudioBands out;
    for (int i = 0; i < 5; ++i) out = Analyse(a, tone);
    EXPECT_GT(out.trend[9], 1.0f) << "the tone's band rises";
    EXPECT_LT(std::abs(out.trend[1]), 1.0f) << "a band far from the tone stays";
    for (int i = 0; i < 30; ++i) out = Analyse(a, quiet);
    EXPECT_LT(out.trend[9], -1.0f) << "and falls when the tone stops";
}

TEST(AudioAnalysis, DigitalSilenceGivesFiniteValues) {
    AudioAnalysis a(kSeed);
    AudioBands out;
    for (int i = 0; i < 20; ++i) out = Analyse(a, Silence());
    for (int b = 0; b < kAudioBands; ++b) {
        EXPECT_TRUE(std::isfinite(out.level[b])) << "band " << b;
        EXPECT_TRUE(std::isfinite(out.trend[b])) << "band " << b;
        EXPECT_TRUE(std::isfinite(out.shape[b])) << "band " << b;
    }
    EXPECT_EQ(out.volume, 0.0f);
    EXPECT_EQ(out.spread, 0.5f);
    // And sound after it is measured normally.
    out = Analyse(a, Tone(440, 8000));
    EXPECT_EQ(LoudestBand(out.level), 11);
    EXPECT_TRUE(std::isfinite(out.trend[11]));
}

TEST(AudioAnalysis, ShapeFollowsTheLoudestBandAndStaysInRange) {
    AudioAnalysis a(kSeed);
    AudioBands out;
    const Block block = Mix(Noise(40, 7), Tone(1760, 8000));
    for (int i = 0; i < 150; ++i) out = Analyse(a, block);
    for (int b = 0; b < kAudioBands; ++b) {
        EXPECT_GE(out.shape[b], 0.0f) << "band " << b;
        EXPECT_LE(out.shape[b], 1.0f) << "band " << b;
    }
    EXPECT_GT(out.shape[7], 0.9f);
    EXPECT_EQ(LoudestBand(out.shape), 7);
}

TEST(AudioAnalysis, SpreadTellsOneBandFromManyBands) {
    struct Case {
        const char* name;
        Block sound;
        float atLeast;
        float atMost;
    };
    const Block floor = Noise(20, 8);
    const Case cases[] = {
        {"one loud tone", Mix(floor, Tone(1760, 8000)), 0.0f, 0.35f},
        {"loud noise over every band", Noise(8000, 9), 0.75f, 1.0f},
        {"nothing new: no band above its floor", floor, 0.5f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioAnalysis a(kSeed);
        EXPECT_EQ(Analyse(a, floor).spread, 0.5f) << "the first block sets the floors";
        for (int i = 0; i < 100; ++i) Analyse(a, floor);
        const AudioBands out = Analyse(a, c.sound);
        EXPECT_GE(out.spread, c.atLeast);
        EXPECT_LE(out.spread, c.atMost);
    }
}

// ---- Automatic gain ---------------------------------------------------------------------------

TEST(AudioAnalysis, LoudBurstDropsTheGainAtOnceThenItCreepsBack) {
    AudioAnalysis a(kSeed);
    a.SetAgc(0.0f);
    const AudioBands burst = Analyse(a, Tone(440, 30000));
    EXPECT_NEAR(Loudest(burst.level), 0.98f, 1e-5f);
    EXPECT_LT(a.Agc(), 0.0f);
    // Quieter music afterwards: the gain rises by 0.0002 a block.
    float previous = a.Agc();
    for (int i = 0; i < 40; ++i) {
        const AudioBands out = Analyse(a, Tone(440, 3000));
        ASSERT_LT(Loudest(out.level), 0.98f) << "block " << i << " would lower the gain";
        EXPECT_NEAR(a.Agc() - previous, 0.0002f, 1e-6f) << "block " << i;
        previous = a.Agc();
    }
}

TEST(AudioAnalysis, GainHoldsWhereItMayNotCreep) {
    struct Case {
        const char* name;
        float agc;
        double amplitude;
    };
    const Case cases[] = {
        {"already at its ceiling", 0.4f, 100.0},
        {"quiet passage: loudest band below 0.2", 0.1f, 2.0},
        {"silence", 0.1f, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioAnalysis a(kSeed);
        a.SetAgc(c.agc);
        for (int i = 0; i < 20; ++i) {
            const AudioBands out = Analyse(a, Tone(440, c.amplitude));
            ASSERT_LT(Loudest(out.level), 0.98f) << "the case must not lower the gain";
            EXPECT_EQ(a.Agc(), c.agc) << "block " << i;
        }
    }
}

TEST(AudioAnalysis, StoredGainIsLimited) {
    struct Case {
        float stored;
        float expected;
    };
    const Case cases[] = {
        {0.0f, 0.0f},
        {0.25f, 0.25f},
        {-0.3f, -0.3f},
        {5.0f, 0.4f},
        {-7.0f, -1.0f},
        {std::numeric_limits<float>::quiet_NaN(), 0.0f},
        {std::numeric_limits<float>::infinity(), 0.4f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(LimitAudioAgc(c.stored), c.expected);
        AudioAnalysis a(kSeed);
        a.SetAgc(c.stored);
        EXPECT_EQ(a.Agc(), c.expected);
    }
}

// ---- Stored means -----------------------------------------------------------------------------

TEST(AudioStats, DefaultsAreSixTenthsExceptNumberSix) {
    const AudioStats d = DefaultAudioStats();
    for (int i = 0; i < kAudioStats; ++i) EXPECT_EQ(d[i], i == 6 ? 0.0f : 0.6f) << "stat " << i;
}

TEST(AudioStats, StoredMeansArePulledIntoTheirLimits) {
    struct Case {
        int stat;
        float stored;
        float expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {0, 0.9f, 0.75f},  {1, 0.1f, 0.25f},  {2, 0.5f, 0.5f},   {17, -3.0f, 0.25f},
        {5, 0.75f, 0.75f}, {6, -0.9f, -0.5f}, {6, 0.3f, 0.3f},   {13, 0.7f, 0.5f},
        {13, 0.1f, 0.1f},  {12, nan, 0.6f},   {6, nan, 0.0f},    {13, -0.6f, -0.5f},
        {6, 0.0f, 0.0f},   {11, 0.0f, 0.25f}, {3, 1e30f, 0.75f}, {13, nan, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("stat " + std::to_string(c.stat) + " stored " + std::to_string(c.stored));
        AudioStats stored = DefaultAudioStats();
        stored[c.stat] = c.stored;
        const AudioStats limited = LimitAudioStats(stored);
        EXPECT_EQ(limited[c.stat], c.expected);
        // The others keep their defaults, except number 13, whose default of 0.6 lies above
        // its limit.
        for (int i = 0; i < kAudioStats; ++i) {
            if (i != c.stat) {
                EXPECT_EQ(limited[i], i == 13 ? 0.5f : DefaultAudioStats()[i]) << "stat " << i;
            }
        }
    }
}

// ---- Silence and the dream state --------------------------------------------------------------

TEST(AudioAnalysis, TwentySecondsOfSilenceEnterTheDreamState) {
    // The clock is faked; one start lets the 20 s run across the wrap of the 32-bit clock.
    for (uint32_t start : {0u, 1000u, 0xFFFFF000u}) {
        SCOPED_TRACE("clock starts at " + std::to_string(start));
        AudioAnalysis a(kSeed);
        AudioBands out;
        for (uint32_t t = 0; t < 20000; t += 100) {
            out = Analyse(a, Silence(), start + t);
            ASSERT_FALSE(out.dreaming) << "at " << t << " ms";
            ASSERT_FALSE(a.TakeDreamEntered()) << "at " << t << " ms";
        }
        EXPECT_FALSE(a.IsDreaming());
        out = Analyse(a, Silence(), start + 20000);
        EXPECT_TRUE(out.dreaming);
        EXPECT_TRUE(a.IsDreaming());
        EXPECT_TRUE(a.TakeDreamEntered());
        EXPECT_FALSE(a.TakeDreamEntered()) << "the event is taken once";
        // Band 0 starts the dream at 0.9 and has moved by at most 0.05 since.
        EXPECT_GE(out.dream[0], 0.85f);
        EXPECT_LE(out.dream[0], 0.95f);
        // The dream stands in for the silent levels, within its range.
        for (int i = 0; i < 200; ++i) {
            out = Analyse(a, Silence(), start + 20100 + 100 * i);
            ASSERT_TRUE(out.dreaming);
            for (int b = 0; b < kAudioBands; ++b) {
                ASSERT_GE(out.dream[b], 0.1f) << "band " << b;
                ASSERT_LE(out.dream[b], 1.0f) << "band " << b;
                ASSERT_GT(out.level[b], 0.0f) << "band " << b;
                ASSERT_LE(out.level[b], 1.0f) << "band " << b;
            }
            EXPECT_EQ(out.volume, 0.0f) << "the volume is still the measured one";
        }
        EXPECT_FALSE(a.TakeDreamEntered()) << "dreaming on raises no new event";
        // The first loud block ends it, with measured levels.
        out = Analyse(a, Tone(440, 8000), start + 60000);
        EXPECT_FALSE(out.dreaming);
        EXPECT_FALSE(a.IsDreaming());
        EXPECT_EQ(LoudestBand(out.level), 11);
    }
}

TEST(AudioAnalysis, SoundInTheSilenceRestartsItsClock) {
    AudioAnalysis a(kSeed);
    for (uint32_t t = 0; t <= 15000; t += 100) Analyse(a, Silence(), t);
    EXPECT_GT(Analyse(a, Noise(8000, 10), 15100).volume, AudioAnalysis::kQuietVolume);
    // The sound dies away over a few blocks; the silence starts again with the first quiet one.
    uint32_t quietFrom = 15200;
    while (Analyse(a, Silence(), quietFrom).volume >= AudioAnalysis::kQuietVolume) {
        quietFrom += 100;
        ASSERT_LT(quietFrom, 20000u) << "the burst never died away";
    }
    for (uint32_t t = quietFrom + 100; t < quietFrom + 20000; t += 100) {
        ASSERT_FALSE(Analyse(a, Silence(), t).dreaming) << "at " << t << " ms";
    }
    EXPECT_TRUE(Analyse(a, Silence(), quietFrom + 20000).dreaming);
}

TEST(AudioAnalysis, DreamsFollowTheSeed) {
    auto dreamAfterSilence = [](int32_t seed) {
        AudioAnalysis a(seed);
        AudioBands out;
        for (uint32_t t = 0; t <= 25000; t += 100) out = Analyse(a, Silence(), t);
        EXPECT_TRUE(out.dreaming);
        return out.dream;
    };
    EXPECT_EQ(dreamAfterSilence(11), dreamAfterSilence(11));
    EXPECT_NE(dreamAfterSilence(11), dreamAfterSilence(12));
}

TEST(AudioAnalysis, DreamTextsAreTheProgramsOwn) {
    EXPECT_EQ(kNoAudioText, u"No Audio Present");
    EXPECT_EQ(kEnteringDreamText, u"Entering dream state...");
}

// ---- Selectivity ------------------------------------------------------------------------------

int NonZero(const BandValues& p) {
    return static_cast<int>(std::count_if(p.begin(), p.end(), [](float v) { return v > 0.0f; }));
}

TEST(SelectivityPatterns, LargerQWidensTheBumps) {
    const float qs[] = {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 4.5f, 6.5f};
    for (int p = 0; p < kSelectivityPatterns; ++p) {
        SCOPED_TRACE("P" + std::to_string(p + 1));
        int previous = 0;
        for (float q : qs) {
            const int count = NonZero(BuildSelectivityPatterns(q)[p]);
            EXPECT_GE(count, previous) << "q " << q;
            previous = count;
        }
        const int narrow = NonZero(BuildSelectivityPatterns(0.5f)[p]);
        const int wide = NonZero(BuildSelectivityPatterns(6.5f)[p]);
        if (p == 6) {
            EXPECT_EQ(BuildSelectivityPatterns(0.5f)[p], BuildSelectivityPatterns(6.5f)[p])
                << "P7 has a fixed width";
        } else {
            EXPECT_GT(wide, narrow);
        }
    }
}

TEST(SelectivityPatterns, PeakAtTheirCentres) {
    // With narrow bumps (q = 0.5) each pattern peaks at its strongest bump's centre; centres
    // halfway between two bands weigh both alike.
    struct Case {
        int pattern;
        int band;
        int tiedBand;  // -1: none
    };
    const Case cases[] = {
        {1, 0, -1}, {2, 1, -1}, {3, 2, 3},    {4, 4, -1},   {5, 5, 6},    {6, 7, -1},   {7, 10, -1},
        {8, 8, -1}, {9, 8, -1}, {10, 12, -1}, {11, 12, -1}, {12, 13, -1}, {13, 11, -1},
    };
    const SelectivityPatterns patterns = BuildSelectivityPatterns(0.5f);
    for (const Case& c : cases) {
        SCOPED_TRACE("P" + std::to_string(c.pattern));
        const BandValues& p = patterns[c.pattern - 1];
        const float peak = Loudest(p);
        EXPECT_FLOAT_EQ(p[c.band], peak);
        if (c.tiedBand >= 0) {
            EXPECT_FLOAT_EQ(p[c.tiedBand], peak);
        }
        for (int b = 0; b < kAudioBands; ++b) {
            if (b != c.band && b != c.tiedBand) {
                EXPECT_LT(p[b], peak) << "band " << b;
            }
        }
    }
    // A bump's weight is spread over its width: the centre of P2's bump (gain 4, half-width
    // 1 at q = 1) holds 4 / 2.
    EXPECT_FLOAT_EQ(BuildSelectivityPatterns(1.0f)[1][1], 2.0f);
}

TEST(SelectivityPatterns, OddSelectivitiesStillGiveUsablePatterns) {
    const float qs[] = {-3.0f, std::numeric_limits<float>::quiet_NaN(),
                        std::numeric_limits<float>::infinity(), 1e9f};
    for (float q : qs) {
        SCOPED_TRACE(q);
        for (const BandValues& p : BuildSelectivityPatterns(q)) {
            float sum = 0.0f;
            for (float v : p) {
                EXPECT_TRUE(std::isfinite(v));
                EXPECT_GE(v, 0.0f);
                sum += v;
            }
            EXPECT_GT(sum, 0.0f) << "the drive divides by the pattern's sum";
        }
    }
}

TEST(AudioAnalysis, SetSelectivityRebuildsThePatternsAndClearsTheSmoothing) {
    AudioAnalysis a(kSeed);
    EXPECT_EQ(a.Selectivity(), 3.0f);
    EXPECT_EQ(a.Patterns(), BuildSelectivityPatterns(3.0f));
    for (int i = 0; i < 30; ++i) Analyse(a, Tone(880, 12000));
    a.SetSelectivity(1.0f);
    // Taken up with the next block, which starts afresh like a new object's first block.
    AudioAnalysis fresh(kSeed);
    fresh.SetAgc(a.Agc());
    const Block quiet = Noise(400, 11);
    const AudioBands out = Analyse(a, quiet);
    EXPECT_EQ(a.Selectivity(), 1.0f);
    EXPECT_EQ(a.Patterns(), BuildSelectivityPatterns(1.0f));
    EXPECT_TRUE(out.first);
    ExpectSameBands(out, Analyse(fresh, quiet));
}

// ---- Threads ----------------------------------------------------------------------------------

TEST(AudioAnalysis, OtherThreadsMayReadAndSetWhileBlocksRun) {
    // The capture thread analyses while a frame thread reads the volume and a configuration
    // thread changes the selectivity. Run under ThreadSanitizer this shows any race; here it
    // checks that the last request wins and that values stay sane.
    AudioAnalysis a(kSeed);
    const Block loud = Tone(880, 8000);
    std::atomic<bool> stop{false};
    std::thread capture([&] {
        AudioBands out;
        uint32_t t = 0;
        while (!stop.load()) {
            a.AnalyseBlock(loud.data(), kFrames, t, out);
            t += 100;
        }
    });
    float lowest = 1.0f;
    float highest = 0.0f;
    for (int i = 0; i < 2000; ++i) {
        a.SetSelectivity(static_cast<float>(i % 7));
        const float v = a.Volume();
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
        a.IsDreaming();
        a.TakeDreamEntered();
        a.Agc();
    }
    a.SetSelectivity(2.5f);
    stop.store(true);
    capture.join();
    EXPECT_GE(lowest, 0.0f);
    EXPECT_LE(highest, 1.0f);
    Analyse(a, loud);
    EXPECT_EQ(a.Selectivity(), 2.5f);
    EXPECT_EQ(a.Patterns(), BuildSelectivityPatterns(2.5f));
}

}  // namespace
}  // namespace quovis
