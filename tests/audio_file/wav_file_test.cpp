// WAV files as the renderer reads a song: every sample layout to 44,100 Hz stereo, and files
// that lie about themselves.
#include "audio/wav_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace quovis {
namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void PutTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}

// Overwrites four bytes at `at`: a little-endian number or a tag.
void Poke32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}
void PokeTag(std::vector<uint8_t>& b, std::size_t at, const char* tag) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(tag[i]);
}

// One sample value (-1..1) in the layout given.
void PutSample(std::vector<uint8_t>& b, double v, int tag, int bits) {
    if (tag == 3 && bits == 32) {
        const float f = static_cast<float>(v);
        uint32_t u;
        std::memcpy(&u, &f, 4);
        Put32(b, u);
    } else if (tag == 3) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        Put32(b, static_cast<uint32_t>(u));
        Put32(b, static_cast<uint32_t>(u >> 32));
    } else if (bits == 8) {
        b.push_back(static_cast<uint8_t>(std::lround(v * 127.0) + 128));
    } else if (bits == 16) {
        Put16(b, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767.0))));
    } else if (bits == 24) {
        const auto s = static_cast<int32_t>(std::lround(v * 8388607.0));
        b.push_back(static_cast<uint8_t>(s));
        b.push_back(static_cast<uint8_t>(s >> 8));
        b.push_back(static_cast<uint8_t>(s >> 16));
    } else {
        Put32(b, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 2147483647.0))));
    }
}

struct Layout {
    int tag;  // 1 integers, 3 floats
    int bits;
    int channels;
    uint32_t rate;
    bool extensible = false;
};

// A file whose channel c holds the constant level levels[c] for `frames` frames.
std::vector<uint8_t> Wav(const Layout& l, int frames, const std::vector<double>& levels) {
    std::vector<uint8_t> data;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < l.channels; ++c)
            PutSample(data, levels[c % levels.size()], l.tag, l.bits);
    }
    std::vector<uint8_t> b;
    b.reserve(data.size() + 80);
    PutTag(b, "RIFF");
    Put32(b, 0);  // patched below
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, l.extensible ? 40 : 16);
    Put16(b, l.extensible ? 0xFFFE : l.tag);
    Put16(b, l.channels);
    Put32(b, l.rate);
    Put32(b, l.rate * l.channels * l.bits / 8);
    Put16(b, l.channels * l.bits / 8);
    Put16(b, l.bits);
    if (l.extensible) {
        Put16(b, 22);
        Put16(b, l.bits);
        Put32(b, 3);
        Put16(b, l.tag);  // the sub-format starts with the plain format tag
        b.insert(b.end(), 14, 0);
    }
    PutTag(b, "data");
    Put32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    Poke32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
}

TEST(WavFile, EveryLayoutBecomesStereoAt44100) {
    const int frames = 4410;
    for (const Layout& l :
         {Layout{1, 8, 1, 22050}, Layout{1, 16, 2, 44100}, Layout{1, 24, 2, 48000},
          Layout{1, 32, 3, 96000}, Layout{3, 32, 1, 11025}, Layout{3, 64, 2, 44100},
          Layout{1, 16, 2, 32000, true}}) {
        SCOPED_TRACE(testing::Message() << "format " << l.tag << ", " << l.bits << " bits, "
                                        << l.channels << " channels, " << l.rate << " Hz");
        StereoSound sound;
        std::string error;
        ASSERT_TRUE(DecodeWav(Wav(l, frames, {0.5, -0.25}), sound, error)) << error;
        const double seconds = static_cast<double>(frames) / l.rate;
        EXPECT_NEAR(static_cast<double>(sound.Frames()), seconds * 44100.0, 1.0);
        // Mono plays on both sides; otherwise the first two channels.
        const double right = l.channels == 1 ? 0.5 : -0.25;
        const double tolerance = l.bits == 8 ? 0.01 : 0.0005;
        for (std::size_t i = 0; i < sound.Frames(); i += 97) {
            EXPECT_NEAR(sound.samples[2 * i] / 32768.0, 0.5, tolerance) << i;
            EXPECT_NEAR(sound.samples[2 * i + 1] / 32768.0, right, tolerance) << i;
        }
    }
}

TEST(WavFile, AToneKeepsItsPitchThroughTheRateChange) {
    // 1 kHz at 48 kHz: after conversion a period is 44.1 frames long.
    const Layout l{1, 16, 1, 48000};
    std::vector<uint8_t> b = Wav(l, 0, {0.0});
    std::vector<uint8_t> tone;
    for (int i = 0; i < 48000; ++i)
        PutSample(tone, 0.8 * std::sin(2 * M_PI * 1000.0 * i / 48000), 1, 16);
    b.insert(b.end(), tone.begin(), tone.end());
    Poke32(b, 40, static_cast<uint32_t>(tone.size()));
    StereoSound sound;
    std::string error;
    ASSERT_TRUE(DecodeWav(b, sound, error)) << error;
    int rising = 0;
    for (std::size_t i = 1; i < sound.Frames(); ++i) {
        rising += sound.samples[2 * (i - 1)] < 0 && sound.samples[2 * i] >= 0;
    }
    EXPECT_NEAR(rising, 1000, 2) << "zero crossings in one second";
}

TEST(WavFile, FilesThatLieAreRefusedOrReadForWhatTheyHold) {
    const Layout plain{1, 16, 2, 44100};
    const std::vector<uint8_t> good = Wav(plain, 1000, {0.1});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool reads;
        std::size_t frames;  // when it reads
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, false, 0});
    cases.push_back(
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 12), false, 0});
    {
        std::vector<uint8_t> b = good;
        PokeTag(b, 8, "AVI ");
        cases.push_back({"not WAVE", b, false, 0});
    }
    {
        // The data chunk claims four times what is there: what is there is read.
        std::vector<uint8_t> b = good;
        Poke32(b, 40, 16000);
        cases.push_back({"data longer than the file", b, true, 1000});
    }
    {
        std::vector<uint8_t> b(good.begin(), good.end() - 2001);  // cut mid-frame
        cases.push_back({"cut off", b, true, 499});
    }
    for (auto [offset, value, name] : {std::tuple<int, uint32_t, const char*>{22, 0, "no channels"},
                                       {24, 0, "rate 0"},
                                       {24, 4000000, "rate 4 MHz"},
                                       {34, 12, "12-bit samples"},
                                       {20, 2, "compressed"}}) {
        std::vector<uint8_t> b = good;
        if (offset == 24) {
            Poke32(b, static_cast<std::size_t>(offset), value);
        } else {
            b[offset] = static_cast<uint8_t>(value);
            b[offset + 1] = 0;
        }
        cases.push_back({name, b, false, 0});
    }
    {
        std::vector<uint8_t> b = good;
        PokeTag(b, 36, "junk");  // the only data chunk renamed
        cases.push_back({"no data chunk", b, false, 0});
    }
    {
        // An odd-sized chunk before the data: the pad byte must be skipped.
        std::vector<uint8_t> b(good.begin(), good.begin() + 36);
        PutTag(b, "LIST");
        Put32(b, 3);
        b.insert(b.end(), {'a', 'b', 'c', 0});
        b.insert(b.end(), good.begin() + 36, good.end());
        cases.push_back({"odd chunk before the data", b, true, 1000});
    }
    {
        // Half an hour and a bit at 1 kHz would be 80 million frames at 44.1 kHz.
        const Layout slow{1, 8, 1, 1000};
        cases.push_back({"longer than 30 minutes", Wav(slow, 31 * 60 * 1000, {0.0}), false, 0});
    }
    for (const Case& c : cases) {
        StereoSound sound;
        std::string error;
        EXPECT_EQ(DecodeWav(c.bytes, sound, error), c.reads) << c.name << ": " << error;
        if (c.reads) {
            EXPECT_EQ(sound.Frames(), c.frames) << c.name;
        } else {
            EXPECT_FALSE(error.empty()) << c.name << ": a refusal says why";
            EXPECT_TRUE(sound.samples.empty()) << c.name;
        }
    }
}

TEST(WavFile, AMissingFileSaysSo) {
    StereoSound sound;
    std::string error;
    EXPECT_FALSE(ReadWavFile("/nonexistent/song.wav", sound, error));
    EXPECT_EQ(error, "cannot open the file");
}

}  // namespace
}  // namespace quovis
