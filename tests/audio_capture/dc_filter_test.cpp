#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "audio/audio_capture.h"

namespace quovis {
namespace {

// Interleaved stereo blocks: left = offset + tone, right = -offset + tone (so the channels
// must keep their own state), filtered block by block as the capture does.
struct Filtered {
    std::vector<int16_t> samples;
};

Filtered FilterSignal(double offset, double amplitude, double hertz, int blocks) {
    Filtered out;
    out.samples.resize(static_cast<size_t>(blocks) * kCaptureBlockFrames * 2);
    for (size_t frame = 0; frame < out.samples.size() / 2; ++frame) {
        const double tone = amplitude * std::sin(2.0 * std::numbers::pi * hertz *
                                                 static_cast<double>(frame) / kCaptureSampleRate);
        out.samples[2 * frame] = static_cast<int16_t>(std::lround(offset + tone));
        out.samples[2 * frame + 1] = static_cast<int16_t>(std::lround(-offset + tone));
    }
    DcFilter filter;
    for (int block = 0; block < blocks; ++block) {
        filter.Apply(out.samples.data() + static_cast<size_t>(block) * kCaptureBlockFrames * 2,
                     kCaptureBlockFrames);
    }
    return out;
}

// Mean and root mean square of one channel over the last `frames` frames.
struct Level {
    double mean = 0.0;
    double rms = 0.0;
};

Level LastFrames(const Filtered& filtered, int channel, int frames) {
    Level level;
    const size_t total = filtered.samples.size() / 2;
    for (size_t frame = total - static_cast<size_t>(frames); frame < total; ++frame) {
        const double x = filtered.samples[2 * frame + static_cast<size_t>(channel)];
        level.mean += x;
        level.rms += x * x;
    }
    level.mean /= frames;
    level.rms = std::sqrt(level.rms / frames);
    return level;
}

TEST(DcFilter, RemovesAConstantOffsetOnEachChannel) {
    // Two seconds: the filter's time constant is a few hundred frames.
    const Filtered filtered = FilterSignal(5000.0, 0.0, 0.0, 86);
    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(channel);
        // What is left of the offset is 0.4% of it (-48 dB), steady.
        const Level level = LastFrames(filtered, channel, 4096);
        EXPECT_LT(std::abs(level.mean), 5000.0 * 0.005);
        EXPECT_NEAR(level.rms, std::abs(level.mean), 1.0);
    }
    // It starts from rest, so the step at the very beginning passes through.
    EXPECT_GT(filtered.samples[0], 4900);
    EXPECT_LT(filtered.samples[1], -4900);
}

TEST(DcFilter, PassesTonesAndDropsTheOffsetUnderThem) {
    // The notch is about 12 Hz wide: mains hum keeps 97% of its level, music all of it.
    struct Case {
        double hertz;
        double gain;
    };
    for (const Case& c :
         {Case{50.0, 0.97}, Case{440.0, 1.0}, Case{1000.0, 1.0}, Case{10000.0, 1.0}}) {
        SCOPED_TRACE(c.hertz);
        const double amplitude = 8000.0;
        const Filtered filtered = FilterSignal(3000.0, amplitude, c.hertz, 86);
        for (int channel = 0; channel < 2; ++channel) {
            SCOPED_TRACE(channel);
            // 44100 frames: a whole number of periods for each tone.
            const Level level = LastFrames(filtered, channel, kCaptureSampleRate);
            EXPECT_LT(std::abs(level.mean), 3000.0 * 0.005);
            EXPECT_NEAR(level.rms, c.gain * amplitude / std::sqrt(2.0), amplitude * 0.005);
        }
    }
}

TEST(DcFilter, ClampsToTheSampleRange) {
    // A full-scale step down overshoots on the way back (the filter lets the step through and
    // then pulls the mean to 0): what would fall below -32768 must stop there, not wrap.
    std::vector<int16_t> samples(kCaptureBlockFrames * 2);
    DcFilter filter;
    for (int block = 0; block < 40; ++block) {
        std::fill(samples.begin(), samples.end(), int16_t{32767});
        filter.Apply(samples.data(), kCaptureBlockFrames);
    }
    std::fill(samples.begin(), samples.end(), int16_t{-32768});
    filter.Apply(samples.data(), kCaptureBlockFrames);
    EXPECT_EQ(samples[0], -32768);
    EXPECT_EQ(samples[1], -32768);
    // Still pinned a little later, then recovering towards 0 without having wrapped.
    EXPECT_EQ(samples[2 * 10], -32768);
    EXPECT_GT(samples[2 * (kCaptureBlockFrames - 1)], -32768);
    EXPECT_LT(samples[2 * (kCaptureBlockFrames - 1)], 0);
}

TEST(DcFilter, ResetForgetsThePast) {
    std::vector<int16_t> offset(kCaptureBlockFrames * 2, int16_t{10000});
    DcFilter used;
    used.Apply(offset.data(), kCaptureBlockFrames);
    used.Reset();
    DcFilter fresh;
    std::vector<int16_t> a(kCaptureBlockFrames * 2, int16_t{1234});
    std::vector<int16_t> b = a;
    used.Apply(a.data(), kCaptureBlockFrames);
    fresh.Apply(b.data(), kCaptureBlockFrames);
    EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace quovis
