// The drive's features: style parameters by role, colour, motion settings, the every-8th-block
// features, the long-run means and the stored statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "audio_drive_fixtures.h"
#include "engine/style_table.h"
#include "tests/engine/engine_test_access.h"

namespace quovis::test {
namespace {

using Peer = EngineTestAccess;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- Style parameters by role ----------------------------------------------------------------

enum class Expect { Untouched, Raised, Lowered, AtMax };

struct FlowCase {
    const char* name;
    int style;
    float highLevel;  // bands 0..3; the others stand at 0.3
    float sensitivity;
    Expect flow;
};

TEST(AudioFeatures, FlowRateFollowsTheHighBandsOnlyForStylesThatHaveOne) {
    const FlowCase cases[] = {
        {"loud high bands raise the flow", kStyleSidewaysSpray, 0.95f, 0.8f, Expect::Raised},
        {"quiet high bands lower it", kStyleSidewaysSpray, 0.02f, 0.8f, Expect::Lowered},
        {"a touchy drive stops at the range's end", kStyleSidewaysSpray, 1.0f, 2.0f, Expect::AtMax},
        {"no flow rate: nothing is touched", kStyleGlobular, 0.95f, 2.0f, Expect::Untouched},
        {"no flow rate either", kStyleFullField, 0.95f, 2.0f, Expect::Untouched},
    };
    for (const FlowCase& c : cases) {
        SCOPED_TRACE(c.name);
        DrivenEngine d(c.style, kMotionLinear, c.sensitivity);
        ASSERT_TRUE(d.started);
        const StyleInfo* style = GetStyle(c.style);
        const int slot = FindStyleParamByRole(c.style, kRoleFlowRate);
        float before[kStyleParamSlots];
        for (int j = 0; j < kStyleParamSlots; ++j) before[j] = d.e.StyleParam(j);

        d.Run(WithLevels(Steady(0.3f), 0, 3, c.highLevel), 60);

        if (c.flow == Expect::Untouched) {
            ASSERT_LT(slot, 0);
            // Past the start colour, no parameter and no live copy has moved.
            for (int j = 1; j < kStyleParamSlots; ++j) {
                EXPECT_EQ(d.e.StyleParam(j), before[j]) << "slot " << j;
                EXPECT_EQ(Peer::Live(d.e, j), CDrawWnd::kUnsetLiveParam) << "slot " << j;
            }
            continue;
        }
        ASSERT_GE(slot, 0);
        const float live = Peer::Live(d.e, slot);
        ASSERT_NE(live, CDrawWnd::kUnsetLiveParam);
        EXPECT_GE(live, style->params[slot].min);
        EXPECT_LE(live, style->params[slot].max);
        if (c.flow == Expect::Raised) {
            EXPECT_GT(live, before[slot] + 5.0f);
        }
        if (c.flow == Expect::Lowered) {
            EXPECT_LT(live, before[slot] - 5.0f);
        }
        if (c.flow == Expect::AtMax) {
            EXPECT_EQ(live, static_cast<float>(style->params[slot].max));
        }
        // The emission takes the live value over as the rate.
        EXPECT_EQ(d.e.EmissionRate(), live);
    }
}

TEST(AudioFeatures, DrivenStyleParametersStayWithinTheirRanges) {
    // Loud, kicking music with a touchy drive pushes every driven parameter hard.
    const int styles[] = {kStyleRadialNozzles, kStyleSpinningSprayer, kStyleFountain,
                          kStyleCircle,        kStyleLissajous,       kStyleTwirls};
    for (int styleIndex : styles) {
        SCOPED_TRACE(testing::Message() << "style " << styleIndex);
        DrivenEngine d(styleIndex, kMotionLinear, 2.0f);
        ASSERT_TRUE(d.started);
        const StyleInfo* style = GetStyle(styleIndex);
        for (int loud = 0; loud < 2; ++loud) {
            for (AudioBands b : KickTrack(120, 10, 6.0f, 0, 13, 5)) {
                b = WithLevels(b, 0, 13, loud ? 1.0f : 0.0f);
                d.drive.Drive(b);
            }
            for (int j = 0; j < style->paramCount; ++j) {
                const StyleParamInfo& p = style->params[j];
                EXPECT_GE(d.e.StyleParam(j), p.min) << "slot " << j;
                EXPECT_LE(d.e.StyleParam(j), p.max) << "slot " << j;
                const float live = Peer::Live(d.e, j);
                if (live == CDrawWnd::kUnsetLiveParam) continue;
                EXPECT_GE(live, p.min) << "live slot " << j;
                EXPECT_LE(live, p.max) << "live slot " << j;
            }
        }
    }
}

TEST(AudioFeatures, ANewStyleIsDrivenByItsOwnRoles) {
    // Attached to "Sideways Spray", whose slot 1 is "New Dots/Group"; then "Full Field",
    // whose slot 1 is "Gravity", which no feature drives.
    DrivenEngine d(kStyleSidewaysSpray);
    d.Run(KickTrack(40, 10, 3.0f, 0, 2, 1)[0], 1);
    ASSERT_TRUE(d.e.StartPattern(0.2, kMotionLinear, kStyleFullField, 4, false));
    const float gravity = d.e.StyleParam(1);
    for (const AudioBands& b : KickTrack(120, 10, 3.0f, 0, 2, 1)) d.drive.Drive(b);
    EXPECT_EQ(d.e.StyleParam(1), gravity);
    EXPECT_EQ(Peer::Live(d.e, 1), CDrawWnd::kUnsetLiveParam);
}

// ---- Colour -------------------------------------------------------------------------------------

TEST(AudioFeatures, ColourFollowsTheSpectrumShapeWithinItsLimits) {
    struct Shape {
        const char* name;
        float level;  // every band's shape value
        int peak;     // a band standing at 1 above the rest, -1 for none
    };
    const Shape shapes[] = {{"flat and high", 1.0f, -1},
                            {"flat and low", 0.05f, -1},
                            {"one peak", 0.0f, 6},
                            {"a peak at the edge", 0.0f, 0}};
    const struct { double pastel, bright; } bases[] = {{0.5, 1.0}, {0.0, 0.0}, {1.2, 2.5}};
    for (const auto& base : bases) {
        double pastel[4], bright[4];
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(testing::Message()
                         << shapes[i].name << ", bases " << base.pastel << " " << base.bright);
            DrivenEngine d;
            d.e.SetPastels(base.pastel, false);
            d.e.SetColourBright(base.bright);
            d.drive.Attach(d.e);
            AudioBands b = Steady(0.5f, shapes[i].level);
            if (shapes[i].peak >= 0) b.shape[shapes[i].peak] = 1.0f;
            d.Run(b, 40);
            pastel[i] = d.e.Pastels();
            bright[i] = d.e.ColourBright();
            EXPECT_GE(pastel[i], 0.001);
            EXPECT_LE(pastel[i], 1.15);
            EXPECT_GE(bright[i], 0.001);
            EXPECT_LE(bright[i], 2.5);
        }
        if (base.pastel == 0.5) {
            // Away from the limits: a high spectrum is paler, a spread one brighter.
            EXPECT_GT(pastel[0], base.pastel);
            EXPECT_LT(pastel[1], base.pastel);
            EXPECT_GT(bright[0], bright[2]);
            EXPECT_GT(bright[1], bright[2]);
        }
    }
}

TEST(AudioFeatures, PointMagnitudeFollowsTheLoudestBand) {
    DrivenEngine d;
    d.Run(Steady(0.1f), 200);
    const double quiet = d.e.PointMagnitudeStored();
    d.Run(Steady(0.95f), 200);
    const double loud = d.e.PointMagnitudeStored();
    EXPECT_GT(loud, quiet);
    EXPECT_GE(quiet, 0.0);
    EXPECT_LE(loud, 1.0);
}

// ---- Motion ------------------------------------------------------------------------------------

TEST(AudioFeatures, MoverInertiaAndPaceChangeOnlyEveryEighthBlock) {
    DrivenEngine d;
    const double pace = d.e.Pace();
    const double inertia = d.e.MoverInertia();
    AudioBands loud = Steady(0.95f);
    loud.first = true;
    for (int block = 1; block <= 24; ++block) {
        d.drive.Drive(loud);
        loud.first = false;
        if (block % 8 != 0) {
            EXPECT_EQ(d.e.Pace(), pace) << "block " << block;
            continue;
        }
        // Loud bands push the pace above the base, and the inertia moves with it.
        EXPECT_GT(d.e.Pace(), pace) << "block " << block;
        EXPECT_NE(d.e.MoverInertia(), inertia) << "block " << block;
        EXPECT_LE(d.e.Pace(), 2.0);
        break;
    }
}

TEST(AudioFeatures, PaceJumpsUpWithTheMusicAndSinksBackSlowly) {
    DrivenEngine d;
    d.Run(Steady(0.95f), 8 * 4);
    const double high = d.e.Pace();
    d.Run(Steady(0.05f), 8);
    const double after = d.e.Pace();
    d.Run(Steady(0.05f), 8 * 20);
    const double settled = d.e.Pace();
    EXPECT_LT(after, high);
    EXPECT_GT(after, settled);
}

TEST(AudioFeatures, WithoutSensitivityTheMotionStaysAtItsBases) {
    DrivenEngine d(kStyleSidewaysSpray, kMotionLinear, 0.0f);
    const double activity = d.e.Activity();
    const double confinement = d.e.Confinement();
    const double viscosity = d.e.ViscosityStored();
    const double range = d.e.InfluenceRange();
    for (const AudioBands& b : KickTrack(64, 8, 3.0f, 0, 13, 2)) d.drive.Drive(b);
    EXPECT_DOUBLE_EQ(d.e.Activity(), activity);
    EXPECT_DOUBLE_EQ(d.e.Confinement(), confinement);
    EXPECT_NEAR(d.e.ViscosityStored(), viscosity, 1e-9 * viscosity);
    EXPECT_DOUBLE_EQ(d.e.InfluenceRange(), range);

    // With it they move, each within its limits.
    DrivenEngine touchy(kStyleSidewaysSpray, kMotionLinear, 2.0f);
    for (const AudioBands& b : KickTrack(64, 8, 3.0f, 0, 13, 2)) {
        touchy.drive.Drive(WithLevels(b, 0, 13, 1.0f));
        EXPECT_GE(touchy.e.Activity(), 0.01);
        EXPECT_LE(touchy.e.Activity(), 6.0);
        EXPECT_GE(touchy.e.Confinement(), -2000.0);
        EXPECT_LE(touchy.e.Confinement(), 2000.0);
        EXPECT_LE(touchy.e.InfluenceRange(), 100.0);
    }
    EXPECT_NE(touchy.e.Activity(), activity);
    EXPECT_NE(touchy.e.ViscosityStored(), viscosity);
}

TEST(AudioFeatures, GlitterIsDrivenOnlyWhileItIsOn) {
    for (bool glitter : {false, true}) {
        SCOPED_TRACE(glitter ? "glitter" : "shine");
        DrivenEngine d;
        d.e.SetShineGlitter(glitter ? -600.0 : 600.0);
        d.drive.Attach(d.e);
        const double exponent = d.e.GlitterExp();
        const double amount = d.e.GlitterAmount();
        d.Run(Steady(0.95f), 50);
        EXPECT_EQ(d.e.GlitterExp() != exponent, glitter);
        EXPECT_EQ(d.e.GlitterAmount() != amount, glitter);
        if (glitter) {
            EXPECT_GE(d.e.GlitterExp(), 2.0);
            EXPECT_LE(d.e.GlitterExp(), 10000.0);
            EXPECT_GE(d.e.GlitterAmount(), 1.0);
            EXPECT_LE(d.e.GlitterAmount(), 1000.0);
        }
    }
}

TEST(AudioFeatures, SpraysChangeTheirShapeWithTheMiddleBands) {
    DrivenEngine d(kStyleSpinningSprayer);
    d.Run(WithLevels(Steady(0.2f), 2, 4, 0.9f), 40);
    const double narrow = d.e.SprayShape();
    d.Run(WithLevels(Steady(0.2f), 6, 9, 0.9f), 40);
    const double wide = d.e.SprayShape();
    EXPECT_LT(narrow, wide);
    // Styles without a spinning parameter keep the shape they had.
    DrivenEngine plain(kStyleSidewaysSpray);
    const double shape = plain.e.SprayShape();
    plain.Run(WithLevels(Steady(0.2f), 2, 4, 0.9f), 40);
    EXPECT_EQ(plain.e.SprayShape(), shape);
}

// ---- Long-run means and statistics ---------------------------------------------------------

TEST(AudioFeatures, LongRunMeansFollowTheMusicButHoldStillWhileDreaming) {
    for (bool dreaming : {false, true}) {
        SCOPED_TRACE(dreaming ? "dreaming" : "listening");
        DrivenEngine d;
        const AudioStats before = d.drive.Statistics();
        AudioBands b = WithLevels(Steady(0.95f), 0, 6, 0.1f);
        b.trend.fill(0.2f);  // every vote away from its mean too
        b.dreaming = dreaming;
        d.Run(b, 300);
        const AudioStats after = d.drive.Statistics();
        int moved = 0;
        for (int i = 0; i < kAudioStats; ++i) moved += after[i] != before[i];
        if (dreaming) {
            EXPECT_EQ(moved, 0);
        } else {
            // Every feature's mean but the two unused ones.
            EXPECT_EQ(moved, kAudioStats - 2);
        }
    }
}

TEST(AudioFeatures, StatisticsRoundTripWithinTheirLimits) {
    AudioStats stored;
    for (int i = 0; i < kAudioStats; ++i) stored[i] = 0.3f + 0.02f * i;
    stored[6] = -0.25f;
    stored[13] = 0.4f;
    AudioDrive drive;
    drive.SetStatistics(stored);
    EXPECT_EQ(drive.Statistics(), stored);

    // Stored values outside their limits are pulled in; a value that is not a number takes
    // its default.
    AudioStats wild = stored;
    wild[0] = 5.0f;
    wild[1] = -3.0f;
    wild[6] = 2.0f;
    wild[13] = -9.0f;
    wild[4] = kNaN;
    drive.SetStatistics(wild);
    const AudioStats& limited = drive.Statistics();
    EXPECT_EQ(limited[0], 0.75f);
    EXPECT_EQ(limited[1], 0.25f);
    EXPECT_EQ(limited[6], 0.5f);
    EXPECT_EQ(limited[13], -0.5f);
    EXPECT_EQ(limited[4], 0.6f);
    EXPECT_EQ(limited[5], stored[5]);

    // A new drive starts from the defaults, limited the same way.
    EXPECT_EQ(AudioDrive().Statistics(), LimitAudioStats(DefaultAudioStats()));
}

TEST(AudioFeatures, ABlockThatIsNotANumberChangesNothing) {
    DrivenEngine d;
    d.Run(Steady(0.5f), 20);
    const AudioStats stats = d.drive.Statistics();
    const double activity = d.e.Activity();
    const double pastel = d.e.Pastels();
    AudioBands bad = Steady(0.5f);
    bad.trend[4] = kNaN;
    d.Run(bad, 20);
    bad = Steady(0.5f);
    bad.volume = std::numeric_limits<float>::infinity();
    d.Run(bad, 20);
    EXPECT_EQ(d.drive.Statistics(), stats);
    EXPECT_EQ(d.e.Activity(), activity);
    EXPECT_EQ(d.e.Pastels(), pastel);
}

TEST(AudioFeatures, SensitivityIsLimitedAndNotANumberIgnored) {
    AudioDrive drive;
    EXPECT_FLOAT_EQ(drive.Sensitivity(), 0.8f);
    const struct {
        float in, out;
    } cases[] = {{0.3f, 0.3f}, {kNaN, 0.3f}, {-1.0f, 0.0f}, {7.0f, 2.0f}};
    for (const auto& c : cases) {
        drive.SetSensitivity(c.in);
        EXPECT_FLOAT_EQ(drive.Sensitivity(), c.out) << c.in;
    }
}

TEST(AudioFeatures, AttachingStopsDriftAndMarksTheEngine) {
    DrivenEngine d;
    d.drive.Detach();
    d.e.SetDriftAllowed(true);
    d.e.EnableDrift(true);
    ASSERT_TRUE(d.e.IsDriftRunning());
    d.drive.Attach(d.e);
    EXPECT_FALSE(d.e.IsDriftRunning());
}

}  // namespace
}  // namespace quovis::test
