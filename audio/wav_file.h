// Sound from a WAV file, in the form the analysis takes from the capture: 44,100 frames a
// second, 16-bit, stereo. Rendering a pattern to a song reads its music this way, so that
// the same song gives the same pictures on every run.
//
// Read: RIFF/WAVE with PCM integer samples of 8, 16, 24 or 32 bits, or IEEE floats of 32 or
// 64 bits, plain or in the extensible format; any sample rate from 1,000 to 384,000 and any
// number of channels (one is played on both sides, more than two give their first two).
// Other rates are converted by linear interpolation, which is plenty for an analysis that
// looks at half-octave bands.
//
// Files come from anywhere, so every size in them is checked against the bytes really
// there: a chunk that claims more than the file holds is cut to what is present, and a file
// that would decode to more than kMaxWavSeconds of sound is refused rather than filling the
// memory.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quovis {

constexpr int kAnalysisRate = 44100;
constexpr int kMaxWavSeconds = 30 * 60;

struct StereoSound {
    std::vector<int16_t> samples;  // left, right, left, right, ...
    std::size_t Frames() const { return samples.size() / 2; }
};

// Decodes a whole WAV file held in memory. False with a reason in `error` (one line, for a
// person) when it is not a WAV file this reader understands.
bool DecodeWav(std::span<const uint8_t> bytes, StereoSound& out, std::string& error);

// Reads and decodes the file at `path`.
bool ReadWavFile(const std::string& path, StereoSound& out, std::string& error);

}  // namespace quovis
