// A short synthesised song with a steady beat: a kick drum on every beat, a bass line on the
// off-beats and a melody above. It gives the audio sync something to follow where no music
// is at hand (`quovis-tool song`), and tests a beat they know the timing of.
#pragma once

#include <string>
#include <vector>

#include "audio/wav_file.h"

namespace quovis {

struct DemoSong {
    StereoSound sound;            // 44,100 Hz stereo
    std::vector<double> kicksMs;  // when each kick starts
};

// `seconds` of the song at `bpm` beats a minute (both limited to sensible ranges: 1..600 s,
// 40..240 bpm). The same arguments give the same samples.
DemoSong SynthesiseSong(double seconds, double bpm);

// Writes 16-bit stereo PCM at 44,100 Hz. False with a reason when the file cannot be written.
bool WriteWavFile(const std::string& path, const StereoSound& sound, std::string& error);

}  // namespace quovis
