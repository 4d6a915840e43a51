// Blocks of made-up music for the drive, and an engine it steers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/audio_analysis.h"
#include "audio/audio_bands.h"
#include "audio/audio_drive.h"
#include "engine/draw_wnd.h"
#include "engine/vocabulary.h"
#include "tests/engine/fixed_clock.h"

namespace quovis::test {

// A block in which every band stands at `level` and holds still (no trend), with a flat
// spectrum shape; the volume is the mean of the levels, as the analysis gives it.
inline AudioBands Steady(float level, float shape = 0.5f) {
    AudioBands b;
    b.level.fill(level);
    b.shape.fill(shape);
    b.dream.fill(0.5f);
    b.volume = level > 0.0f ? level : 0.0f;
    return b;
}

// Sets the levels of bands first..last and recomputes the volume.
inline AudioBands WithLevels(AudioBands b, int first, int last, float level) {
    for (int i = first; i <= last; ++i) b.level[i] = level;
    float sum = 0.0f;
    for (float n : b.level) sum += n > 0.0f ? n : 0.0f;
    b.volume = sum / kAudioBands;
    return b;
}

// Steady music with a kick every `period` blocks (none for 0) in bands first..last: their
// trends jump by `kick` dB and fall back by 15 % a block, as the analysis's smoothing lets
// them. Every band's trend wobbles by up to +-0.15 dB, from a seed of the test's own.
inline std::vector<AudioBands> KickTrack(int blocks, int period, float kick, int first, int last,
                                         uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1u;
    const auto wobble = [&state] {
        state = state * 1664525u + 1013904223u;
        return (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.3f;
    };
    std::vector<AudioBands> track;
    float rise = 0.0f;
    for (int i = 0; i < blocks; ++i) {
        AudioBands b = Steady(0.5f);
        if (period > 0 && i > 0 && i % period == 0) rise = kick;
        for (int band = 0; band < kAudioBands; ++band) {
            b.trend[band] = wobble();
            if (band >= first && band <= last) b.trend[band] += rise;
        }
        rise *= 0.85f;
        track.push_back(b);
    }
    track[0].first = true;
    return track;
}

inline EngineOptions OneWorkerEngine() {
    EngineOptions o;
    o.workerCount = 1;
    return o;
}

// An engine running a pattern with known settings, and a drive attached to it.
struct DrivenEngine {
    explicit DrivenEngine(int style = kStyleSidewaysSpray, int motion = kMotionLinear,
                          float sensitivity = AudioDrive::kDefaultSensitivity) {
        e.SetCanvasSize(320, 240);
        e.SetDotCount(400, false);
        started = e.StartPattern(0.1, motion, style, 4, false);
        e.SetActivity(1.0);
        e.SetPace(0.5);
        e.SetTurbulence(0.5);
        e.SetViscosity(100.0);
        e.SetConfinement(500.0);
        e.SetInfluenceRange(40.0);
        e.SetPastels(0.5, false);
        e.SetColourBright(1.0);
        e.SetPointMagnitude(0.6);
        drive.SetPatterns(BuildSelectivityPatterns(AudioAnalysis::kDefaultSelectivity));
        drive.SetSensitivity(sensitivity);
        drive.Attach(e);
    }
    void Run(const AudioBands& block, int blocks) {
        AudioBands b = block;
        for (int i = 0; i < blocks; ++i) {
            drive.Drive(b);
            b.first = false;
        }
    }

    FixedClock clock{1000, 2000};
    CDrawWnd e{clock, OneWorkerEngine()};
    AudioDrive drive;
    bool started = false;
};

}  // namespace quovis::test
