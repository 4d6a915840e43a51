// Feeds arbitrary bytes to the WAV reader: songs come from anywhere. Whatever the bytes, it
// must either refuse them with a reason or give whole stereo frames within its length limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "audio/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    quovis::StereoSound sound;
    std::string error;
    if (quovis::DecodeWav(std::span<const uint8_t>(data, size), sound, error)) {
        if (sound.samples.size() % 2 != 0 || sound.Frames() == 0) std::abort();
        if (sound.Frames() >
            static_cast<std::size_t>(quovis::kMaxWavSeconds) * quovis::kAnalysisRate)
            std::abort();
    } else if (error.empty() || !sound.samples.empty()) {
        std::abort();
    }
    return 0;
}
