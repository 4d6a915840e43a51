// The two beat detectors: kicks in the bass or the treble, what each beat does to the pattern,
// and the beat that sends a "Recursive" mover to the newest dots.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "audio_drive_fixtures.h"
#include "tests/engine/engine_test_access.h"

namespace quovis::test {
namespace {

constexpr double kPi = std::numbers::pi;

// a - b folded into (-pi, pi].
double Turn(double a, double b) {
    return std::remainder(a - b, 2.0 * kPi);
}

struct KickCase {
    const char* name;
    int firstBand, lastBand;
    int period;
    bool bass;    // the bass detector should fire once per kick
    bool treble;  // the treble detector should
};

TEST(AudioBeats, EachDetectorFiresOncePerKickInItsBandsAndNeverBetween) {
    const KickCase cases[] = {
        {"bass kicks", 9, 13, 24, true, false},
        {"slow bass kicks", 10, 13, 50, true, false},
        {"treble kicks", 0, 1, 30, false, true},
        {"no kicks", 0, 13, 0, false, false},
    };
    for (const KickCase& c : cases) {
        SCOPED_TRACE(c.name);
        DrivenEngine d;
        ASSERT_TRUE(d.started);
        const int kicks = 6;
        const int period = c.period > 0 ? c.period : 30;
        const std::vector<AudioBands> track =
            KickTrack(period * (kicks + 1), c.period, 2.0f, c.firstBand, c.lastBand, 7);

        std::vector<int> bassIn(kicks + 1, 0), trebleIn(kicks + 1, 0);
        for (std::size_t i = 0; i < track.size(); ++i) {
            const uint32_t bass = d.drive.BassBeats();
            const uint32_t treble = d.drive.TrebleBeats();
            const double angle = d.e.PatternAngle();
            d.drive.Drive(track[i]);
            const int window = static_cast<int>(i) / period;
            const bool bassBeat = d.drive.BassBeats() != bass;
            const bool trebleBeat = d.drive.TrebleBeats() != treble;
            bassIn[window] += bassBeat;
            trebleIn[window] += trebleBeat;
            // The pattern turns on a beat and only then; a treble beat by half a turn.
            if (!bassBeat && !trebleBeat) {
                EXPECT_EQ(d.e.PatternAngle(), angle) << "block " << i;
            }
            if (bassBeat) {
                EXPECT_NE(d.e.PatternAngle(), angle) << "block " << i;
            }
            if (trebleBeat) {
                EXPECT_NEAR(std::fabs(Turn(d.e.PatternAngle(), angle)), kPi, 1e-9);
            }
            if (bassBeat) {
                EXPECT_TRUE(d.e.AttachBeatPending());
            }
        }
        // Nothing before the first kick; one beat after each kick, before the next.
        EXPECT_EQ(bassIn[0], 0);
        EXPECT_EQ(trebleIn[0], 0);
        for (int w = 1; w <= kicks; ++w) {
            EXPECT_EQ(bassIn[w], c.bass ? 1 : 0) << "after kick " << w;
            EXPECT_EQ(trebleIn[w], c.treble ? 1 : 0) << "after kick " << w;
        }
        EXPECT_EQ(d.drive.TakeTrebleBeat(), c.treble);
        EXPECT_FALSE(d.drive.TakeTrebleBeat());
    }
}

TEST(AudioBeats, AStrongerKickOrAMoreSensitiveDriveTurnsThePatternFarther) {
    // Mean turn per bass beat for a kick size and a sensitivity.
    const auto meanTurn = [](float kick, float sensitivity) {
        DrivenEngine d(kStyleSidewaysSpray, kMotionLinear, sensitivity);
        double turned = 0.0;
        for (const AudioBands& b : KickTrack(24 * 6, 24, kick, 9, 13, 11)) {
            const double angle = d.e.PatternAngle();
            d.drive.Drive(b);
            turned += std::fabs(Turn(d.e.PatternAngle(), angle));
        }
        EXPECT_EQ(d.drive.BassBeats(), 5u) << "kick " << kick << " sensitivity " << sensitivity;
        return turned / 5.0;
    };
    const double soft = meanTurn(1.5f, 0.2f);
    const double hard = meanTurn(3.0f, 0.2f);
    const double touchy = meanTurn(1.5f, 0.4f);
    EXPECT_GT(soft, 0.0);
    EXPECT_GT(hard, 1.5 * soft);
    EXPECT_NEAR(touchy, 2.0 * soft, 0.05 * soft);
}

TEST(AudioBeats, ABassBeatSendsTheNextRecursiveMoverToTheNextNewDots) {
    DrivenEngine d(kStyleSidewaysSpray, kMotionRecursive);
    ASSERT_TRUE(d.started);
    using Peer = EngineTestAccess;
    for (int k = 0; k < 4; ++k) Peer::MoverDot(d.e)[k] = 300 + k;

    for (const AudioBands& b : KickTrack(24, 12, 2.5f, 9, 13, 3)) {
        d.drive.Drive(b);
        if (d.drive.BassBeats() > 0) break;
    }
    ASSERT_EQ(d.drive.BassBeats(), 1u);
    ASSERT_TRUE(d.e.AttachBeatPending());

    int first = -1;
    for (int frame = 0; frame < 100 && first < 0; ++frame) {
        const int cursor = Peer::EmitCursor(d.e);
        Peer::EmitDots(d.e);
        if (Peer::EmitCursor(d.e) != cursor) first = cursor;
    }
    ASSERT_GE(first, 0);
    EXPECT_EQ(Peer::MoverDot(d.e, 0), first);
    EXPECT_FALSE(d.e.AttachBeatPending());
    for (int k = 1; k < 4; ++k) EXPECT_EQ(Peer::MoverDot(d.e, k), 300 + k);
}

TEST(AudioBeats, ADetachedDriveNoLongerMarksTheEngine) {
    DrivenEngine d(kStyleSidewaysSpray, kMotionRecursive);
    d.drive.Detach();
    EXPECT_FALSE(d.drive.IsAttached());
    for (const AudioBands& b : KickTrack(40, 12, 2.5f, 9, 13, 3)) d.drive.Drive(b);
    EXPECT_FALSE(d.e.AttachBeatPending());
    // The levels are still kept for a spectrum view.
    EXPECT_FLOAT_EQ(d.drive.Levels()[3], 0.5f);
}

}  // namespace
}  // namespace quovis::test
