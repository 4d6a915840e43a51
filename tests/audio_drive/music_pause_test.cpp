// The music-pause watch, fed volumes at the times a test clock gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/audio_drive.h"

namespace quovis {
namespace {

struct PauseStep {
    float volume;
    uint32_t ms;
    bool change;  // the slide changes at this step
    int state;
};

struct PauseCase {
    const char* name;
    uint32_t start;  // added to every step's time
    std::vector<PauseStep> steps;
};

constexpr int kListening = MusicPause::kListening;
constexpr int kPausing = MusicPause::kPausing;
constexpr int kChanged = MusicPause::kSlideChanged;

TEST(MusicPause, StatesFollowTheVolumeAndTheClock) {
    const PauseCase cases[] = {
        {"a long pause changes the slide once",
         0,
         {{0.5f, 0, false, kListening},
          {0.05f, 100, false, kPausing},
          {0.15f, 1000, false, kPausing},  // between the thresholds: still a pause
          {0.2f, 1600, false, kPausing},   // 1500 ms exactly is not more than 1500
          {0.0f, 1601, true, kChanged},
          {0.0f, 9000, false, kChanged},
          {0.19f, 9100, false, kChanged},
          {0.21f, 9200, false, kListening},
          {0.09f, 9300, false, kPausing},
          {0.0f, 10801, true, kChanged}}},
        {"music coming back ends the pause",
         0,
         {{0.05f, 0, false, kPausing},
          {0.25f, 1000, false, kListening},
          {0.05f, 1400, false, kPausing},
          {0.05f, 2500, false, kPausing},
          {0.05f, 2901, true, kChanged}}},
        {"a volume of exactly 0.1 does not start a pause",
         0,
         {{0.1f, 0, false, kListening}, {0.1f, 5000, false, kListening}}},
        {"the clock may wrap",
         0xFFFFFC00u,
         {{0.0f, 0, false, kPausing}, {0.0f, 1500, false, kPausing}, {0.0f, 1501, true, kChanged}}},
    };
    for (const PauseCase& c : cases) {
        SCOPED_TRACE(c.name);
        MusicPause pause;
        EXPECT_EQ(pause.State(), kListening);
        for (const PauseStep& s : c.steps) {
            EXPECT_EQ(pause.Update(s.volume, c.start + s.ms), s.change) << "at " << s.ms;
            EXPECT_EQ(pause.State(), s.state) << "at " << s.ms;
        }
    }
}

}  // namespace
}  // namespace quovis
