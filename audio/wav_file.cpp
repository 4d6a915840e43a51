#include "audio/wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quovis {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// A file this large is not a song; reading it would only fill the memory.
constexpr std::size_t kMaxFileBytes = std::size_t{2} << 30;

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct Format {
    uint16_t tag = 0;
    int channels = 0;
    uint32_t rate = 0;
    int bits = 0;
};

// One sample as -1..1 (integers) or as stored (floats, limited later).
double Sample(const uint8_t* p, const Format& f) {
    if (f.tag == kFormatFloat) {
        if (f.bits == 32) {
            float v;
            std::memcpy(&v, p, sizeof v);
            return v;
        }
        double v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    switch (f.bits) {
        case 8:
            return (static_cast<int>(p[0]) - 128) / 128.0;
        case 16:
            return static_cast<int16_t>(U16(p)) / 32768.0;
        case 24: {
            // Three bytes only: a fourth would lie past the last sample of the file.
            const uint32_t u = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                               static_cast<uint32_t>(p[2]) << 16;
            const int32_t v = static_cast<int32_t>(u << 8) >> 8;  // sign from bit 23
            return v / 8388608.0;
        }
        default:
            return static_cast<int32_t>(U32(p)) / 2147483648.0;
    }
}

int16_t ToInt16(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 32767.0 / 32768.0) * 32768.0));
}

bool Refuse(std::string& error, const char* reason) {
    error = reason;
    return false;
}

}  // namespace

bool DecodeWav(std::span<const uint8_t> bytes, StereoSound& out, std::string& error) {
    out.samples.clear();
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return Refuse(error, "not a WAV file (no RIFF/WAVE header)");
    }
    Format format;
    bool haveFormat = false;
    std::span<const uint8_t> data;
    bool haveData = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + at;
        const std::size_t left = bytes.size() - at - 8;
        // A size beyond the file (a cut-off download, a stream written before its length was
        // known) means: what is there.
        const std::size_t size = std::min<std::size_t>(U32(chunk + 4), left);
        const uint8_t* body = chunk + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            format.tag = U16(body);
            format.channels = U16(body + 2);
            format.rate = U32(body + 4);
            format.bits = U16(body + 14);
            if (format.tag == kFormatExtensible) {
                if (size < 26) return Refuse(error, "the WAV format block is cut short");
                format.tag = U16(body + 24);  // the sub-format's first two bytes
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            data = std::span<const uint8_t>(body, size);
            haveData = true;
        }
        at += 8 + size + (size & 1);  // chunks are padded to even sizes
    }
    if (!haveFormat) return Refuse(error, "the WAV file has no format block");
    if (!haveData) return Refuse(error, "the WAV file has no sound data");
    const bool pcm = format.tag == kFormatPcm && (format.bits == 8 || format.bits == 16 ||
                                                  format.bits == 24 || format.bits == 32);
    const bool floats = format.tag == kFormatFloat && (format.bits == 32 || format.bits == 64);
    if (!pcm && !floats) {
        return Refuse(error, "the WAV file's samples are neither 8-32 bit integers nor floats");
    }
    if (format.channels < 1) return Refuse(error, "the WAV file has no channels");
    if (format.rate < 1000 || format.rate > 384000) {
        return Refuse(error, "the WAV file's sample rate is outside 1000..384000");
    }
    const std::size_t bytesPerSample = static_cast<std::size_t>(format.bits / 8);
    const std::size_t frameBytes = bytesPerSample * static_cast<std::size_t>(format.channels);
    const std::size_t framesIn = data.size() / frameBytes;
    if (framesIn == 0) return Refuse(error, "the WAV file holds no sound");
    const double step = static_cast<double>(format.rate) / kAnalysisRate;
    const auto framesOut =
        static_cast<std::size_t>(std::ceil(static_cast<double>(framesIn) / step));
    if (framesOut > static_cast<std::size_t>(kMaxWavSeconds) * kAnalysisRate) {
        return Refuse(error, "the WAV file is longer than 30 minutes");
    }

    const int right = format.channels > 1 ? 1 : 0;
    const auto at_ = [&](std::size_t frame, int channel) {
        return Sample(
            data.data() + frame * frameBytes + static_cast<std::size_t>(channel) * bytesPerSample,
            format);
    };
    out.samples.resize(framesOut * 2);
    for (std::size_t j = 0; j < framesOut; ++j) {
        const double pos = static_cast<double>(j) * step;
        const std::size_t i0 = std::min(static_cast<std::size_t>(pos), framesIn - 1);
        const std::size_t i1 = std::min(i0 + 1, framesIn - 1);
        const double t = pos - static_cast<double>(i0);
        for (int c = 0; c < 2; ++c) {
            const int channel = c == 0 ? 0 : right;
            const double v = at_(i0, channel) * (1.0 - t) + at_(i1, channel) * t;
            out.samples[2 * j + static_cast<std::size_t>(c)] = ToInt16(v);
        }
    }
    error.clear();
    return true;
}

bool ReadWavFile(const std::string& path, StereoSound& out, std::string& error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return Refuse(error, "cannot open the file");
    const std::streamoff size = in.tellg();
    if (size < 0) return Refuse(error, "cannot read the file");
    if (static_cast<std::size_t>(size) > kMaxFileBytes) {
        return Refuse(error, "the file is larger than 2 GB");
    }
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return Refuse(error, "cannot read the file");
    }
    return DecodeWav(bytes, out, error);
}

}  // namespace quovis
