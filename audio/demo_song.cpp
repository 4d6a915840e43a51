#include "audio/demo_song.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>

namespace quovis {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double NoteHz(int semitonesFromA4) {
    return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

void Put16(std::ofstream& out, uint32_t v) {
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
    out.write(b, 2);
}

void Put32(std::ofstream& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

DemoSong SynthesiseSong(double seconds, double bpm) {
    seconds = std::clamp(std::isfinite(seconds) ? seconds : 10.0, 1.0, 600.0);
    bpm = std::clamp(std::isfinite(bpm) ? bpm : 120.0, 40.0, 240.0);
    DemoSong song;
    const auto frames = static_cast<std::size_t>(seconds * kAnalysisRate);
    const double beat = 60.0 / bpm;  // seconds
    // A minor pentatonic phrase, two notes a beat, and a root-fifth bass.
    static const int kMelody[] = {3, 0, -2, 0, 3, 5, 7, 5, 3, 0, -2, -5, -2, 0, 3, 0};
    static const int kBass[] = {-24, -24, -17, -19};
    song.sound.samples.resize(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kAnalysisRate;
        const double inBeat = std::fmod(t, beat);
        const auto beatIndex = static_cast<std::size_t>(t / beat);
        // Kick: a sine falling from 150 Hz to 50 Hz, dying within a fifth of a second.
        const double kickFreq = 50.0 + 100.0 * std::exp(-inBeat * 30.0);
        const double kick = std::sin(kTwoPi * kickFreq * inBeat) * std::exp(-inBeat * 14.0);
        // Bass on the off-beat half, a soft saw through its own decay.
        double bass = 0.0;
        if (inBeat >= beat / 2) {
            const double u = inBeat - beat / 2;
            const double f = NoteHz(kBass[beatIndex % 4]);
            bass = (2.0 * std::fmod(u * f, 1.0) - 1.0) * std::exp(-u * 6.0) * 0.35;
        }
        // Melody: two notes a beat, with a little vibrato and a gentle attack.
        const double half = beat / 2;
        const auto note = static_cast<std::size_t>(t / half);
        const double u = std::fmod(t, half);
        const double f = NoteHz(kMelody[note % 16] + 12) * (1.0 + 0.004 * std::sin(kTwoPi * 5 * t));
        const double melody =
            std::sin(kTwoPi * f * u) * std::min(1.0, u * 40.0) * std::exp(-u * 3.0) * 0.22;
        const double left = 0.55 * kick + bass + melody * 0.8;
        const double right = 0.55 * kick + bass * 0.9 + melody;
        song.sound.samples[2 * i] =
            static_cast<int16_t>(std::lround(std::clamp(left, -1.0, 1.0) * 32000));
        song.sound.samples[2 * i + 1] =
            static_cast<int16_t>(std::lround(std::clamp(right, -1.0, 1.0) * 32000));
    }
    for (double k = 0.0; k < seconds; k += beat) song.kicksMs.push_back(k * 1000.0);
    return song;
}

bool WriteWavFile(const std::string& path, const StereoSound& sound, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot create the file";
        return false;
    }
    const auto dataBytes = static_cast<uint32_t>(sound.samples.size() * 2);
    out.write("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);  // integer samples
    Put16(out, 2);
    Put32(out, kAnalysisRate);
    Put32(out, kAnalysisRate * 4);
    Put16(out, 4);
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, dataBytes);
    for (const int16_t s : sound.samples) Put16(out, static_cast<uint16_t>(s));
    if (!out.flush()) {
        error = "cannot write the file";
        return false;
    }
    return true;
}

}  // namespace quovis
