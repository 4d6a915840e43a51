// Music steering an engine end to end: samples through the analysis and the drive into a
// real engine, the dream state's lines in the text window, the pause that ends a slide, and
// F9's bars in the frame.
#include "audio/audio_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "audio/demo_song.h"
#include "present/text_window.h"
#include "tests/present/frame_rig.h"

namespace quovis {
namespace {

constexpr int kBlock = 1024;
constexpr double kBlockMs = 1000.0 * kBlock / kAnalysisRate;

struct SyncRig {
    SyncRig() : rig(kStyleFullField, 3000), sync(rig.engine, {}, &text, [this] { return now; }) {
        rig.Start();
    }
    // Feeds `sound` block by block from its start, advancing the clock with it; returns the
    // bass beats counted per block.
    std::vector<uint32_t> Feed(const StereoSound& sound) {
        std::vector<uint32_t> beats;
        for (std::size_t at = 0; at + kBlock <= sound.Frames(); at += kBlock) {
            sync.OnBlock(sound.samples.data() + 2 * at, kBlock, now);
            clockMs += kBlockMs;
            now = static_cast<uint32_t>(clockMs);
            beats.push_back(sync.BassBeats());
        }
        return beats;
    }
    test::FrameRig rig;
    TextWindow text;
    double clockMs = 5000.0;
    uint32_t now = 5000;
    AudioSync sync;
};

StereoSound Silence(double seconds) {
    StereoSound s;
    s.samples.assign(static_cast<std::size_t>(seconds * kAnalysisRate) * 2, 0);
    return s;
}

TEST(AudioSync, TheBassDetectorFiresWithTheKicksOfASong) {
    SyncRig r;
    const DemoSong song = SynthesiseSong(12.0, 120.0);
    const std::vector<uint32_t> beats = r.Feed(song.sound);
    // Where each new beat was counted, in song time.
    std::vector<double> at;
    for (std::size_t i = 1; i < beats.size(); ++i) {
        if (beats[i] != beats[i - 1]) at.push_back(static_cast<double>(i + 1) * kBlockMs);
    }
    // After a few seconds of settling, the beats fall in step with the kicks: each at the
    // same short delay after a kick (an onset counts when it has passed its peak), one at
    // most per kick, and most kicks are heard.
    int inStep = 0, offBeat = 0;
    std::vector<int> kicks;
    for (double t : at) {
        if (t < 4000.0) continue;
        const double delay = std::fmod(t, 500.0);
        (delay > 120.0 && delay < 330.0 ? inStep : offBeat) += 1;
        kicks.push_back(static_cast<int>(t / 500.0));
    }
    EXPECT_GE(inStep, 8) << "of the 16 kicks from 4 s to 12 s";
    EXPECT_EQ(offBeat, 0);
    EXPECT_EQ(std::adjacent_find(kicks.begin(), kicks.end()), kicks.end())
        << "two beats for a kick";
}

TEST(AudioSync, TwentySecondsOfSilenceSayNoAudioPresentAndSoundEndsTheDream) {
    SyncRig r;
    r.Feed(SynthesiseSong(2.0, 120.0).sound);
    r.Feed(Silence(19.0));
    EXPECT_FALSE(r.sync.IsDreaming());
    r.Feed(Silence(2.0));
    EXPECT_TRUE(r.sync.IsDreaming());
    r.text.OnFrame(-1.0, false);
    EXPECT_EQ(r.text.Shown().lines,
              (TextLines{u"", u"No Audio Present", u"Entering dream state..."}));
    r.Feed(SynthesiseSong(1.0, 120.0).sound);
    EXPECT_FALSE(r.sync.IsDreaming());
}

TEST(AudioSync, APauseInTheMusicAsksForTheNextSlideOnce) {
    SyncRig r;
    r.Feed(SynthesiseSong(3.0, 120.0).sound);
    EXPECT_FALSE(r.sync.MusicPaused(r.rig.engine));
    int asked = 0;
    const StereoSound quiet = Silence(0.1);
    for (int i = 0; i < 40; ++i) {  // four seconds of silence, a tenth at a time
        r.Feed(quiet);
        asked += r.sync.MusicPaused(r.rig.engine);
    }
    EXPECT_EQ(asked, 1);
}

TEST(AudioSync, F9DrawsTheBandsIntoTheBottomOfTheFrame) {
    SyncRig r;
    r.Feed(SynthesiseSong(2.0, 120.0).sound);
    const auto litRows = [&] {
        std::lock_guard<std::recursive_mutex> guard(r.rig.engine.EngineLock());
        r.sync.DrawSpectrum(r.rig.engine);
        // What the bars drew is in the draw image, which the canvas reads back.
        int top = -1, lit = 0;
        for (int y = 0; y < r.rig.engine.CanvasHeight(); ++y) {
            for (int x = 0; x < r.rig.engine.CanvasWidth(); ++x) {
                if (r.rig.engine.Canvas()->ReadPixel(x, y) != 0) {
                    if (top < 0) top = y;
                    ++lit;
                }
            }
        }
        return std::pair<int, int>{top, lit};
    };
    {
        std::lock_guard<std::recursive_mutex> guard(r.rig.engine.EngineLock());
        r.rig.engine.Flipper()->BeginDraw();  // a clean draw image to read
        r.rig.engine.Flipper()->EndDraw();
    }
    EXPECT_EQ(litRows().second, 0) << "no bars before F9";
    r.sync.ToggleBars();
    const auto [top, lit] = litRows();
    EXPECT_GT(lit, 0);
    EXPECT_GE(top, r.rig.engine.CanvasHeight() - r.rig.engine.CanvasHeight() / 6);
}

TEST(AudioSync, ASongSurvivesTheWavFile) {
    const DemoSong song = SynthesiseSong(1.5, 100.0);
    const std::string path = testing::TempDir() + "/song.wav";
    std::string error;
    ASSERT_TRUE(WriteWavFile(path, song.sound, error)) << error;
    StereoSound back;
    ASSERT_TRUE(ReadWavFile(path, back, error)) << error;
    EXPECT_EQ(back.samples, song.sound.samples);
}

}  // namespace
}  // namespace quovis
