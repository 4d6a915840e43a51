// The colour model: the hue wheel, the per-dot tint and decay, gains and colour settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "engine/draw_wnd.h"
#include "engine/engine_canvas.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;
constexpr int kHueEntries = EngineTestAccess::kHueEntries;

using test::OneWorker;

struct CanvasLog {
    int trailCalls = 0;
    int trailLength = 0;
    double shade = 0.0;
    int toneCalls = 0;
    double toneA = 0.0, toneB = 0.0;
    int invertCalls = 0;
    bool invert = false;
};

class RecordingCanvas final : public EngineCanvas {
  public:
    explicit RecordingCanvas(CanvasLog& log) : m_log(log) {}
    void Stop() override {}
    void SetTrails(int length, bool, double shade) override {
        ++m_log.trailCalls;
        m_log.trailLength = length;
        m_log.shade = shade;
    }
    bool SetTone(double a, double b) override {
        ++m_log.toneCalls;
        m_log.toneA = a;
        m_log.toneB = b;
        return true;
    }
    void SetInvert(bool on) override {
        ++m_log.invertCalls;
        m_log.invert = on;
    }

  private:
    CanvasLog& m_log;
};

class EngineWithCanvas : public CDrawWnd {
  public:
    EngineWithCanvas(EngineClock& clock, CanvasLog& log)
        : CDrawWnd(clock, OneWorker()), m_log(log) {}
    int CreateOutput(double) override {
        AdoptCanvas(std::make_unique<RecordingCanvas>(m_log));
        return kEngineOk;
    }

  private:
    CanvasLog& m_log;
};

struct ColourFixture : ::testing::Test {
    FixedClock clock{10, 20};
    CDrawWnd e{clock, OneWorker()};
    float gains[3] = {0.5f, 0.5f, 0.5f};
    float fade[3] = {};
    void SetUp() override { Peer::Fades(e, fade); }
};

// ---- The wheel ------------------------------------------------------------------------------

TEST_F(ColourFixture, EveryWheelEntryIsAFullySaturatedColour) {
    const auto* wheel = Peer::HueTable(e);
    for (int k = 0; k < kHueEntries; ++k) {
        const float* c = wheel[k];
        EXPECT_FLOAT_EQ(std::max({c[0], c[1], c[2]}), 1.0f) << "entry " << k;
        EXPECT_FLOAT_EQ(std::min({c[0], c[1], c[2]}), 0.0f) << "entry " << k;
    }
    // The quarters are the four main directions: +x and -x lie half the wheel apart, so their
    // colours differ, and neighbouring entries differ little (the wheel is continuous).
    for (int k = 1; k < kHueEntries; ++k) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_LT(std::fabs(wheel[k][j] - wheel[k - 1][j]), 0.2f) << "entry " << k;
        }
    }
}

TEST_F(ColourFixture, ConstructionBuildsTheWheelForOffsetZeroAndStripesAddUpToAWhole) {
    FixedClock other(77, 88);
    CDrawWnd fresh(other, OneWorker());
    ASSERT_TRUE(Peer::BuildHueTable(e, 0.0f, 0));
    for (int k = 0; k < kHueEntries; ++k) {
        for (int j = 0; j < 3; ++j) ASSERT_EQ(Peer::HueTable(fresh)[k][j], Peer::HueTable(e)[k][j]);
    }

    // Stripe 2 at a new offset changes entries 64..127 of each quarter and nothing else.
    float before[kHueEntries][3];
    std::copy(&Peer::HueTable(e)[0][0], &Peer::HueTable(e)[0][0] + 3 * kHueEntries, &before[0][0]);
    ASSERT_TRUE(Peer::BuildHueTable(e, 95.0f, 2));
    int changed = 0;
    for (int k = 0; k < kHueEntries; ++k) {
        const bool inStripe = k % 256 >= 64 && k % 256 < 128;
        const bool same = std::equal(before[k], before[k] + 3, Peer::HueTable(e)[k]);
        if (!inStripe) {
            EXPECT_TRUE(same) << "entry " << k;
        }
        changed += !same;
    }
    EXPECT_GT(changed, 200);

    // All four stripes equal one whole rebuild.
    for (int slice = 1; slice <= 4; ++slice) ASSERT_TRUE(Peer::BuildHueTable(e, 95.0f, slice));
    ASSERT_TRUE(Peer::BuildHueTable(fresh, 95.0f, 0));
    for (int k = 0; k < kHueEntries; ++k) {
        for (int j = 0; j < 3; ++j) ASSERT_EQ(Peer::HueTable(fresh)[k][j], Peer::HueTable(e)[k][j]);
    }
    EXPECT_FALSE(Peer::BuildHueTable(e, 10.0f, 5));
    EXPECT_FALSE(Peer::BuildHueTable(e, std::numeric_limits<float>::quiet_NaN(), 0));
}

TEST_F(ColourFixture, ANegativeOffsetMirrorsTheWheel) {
    // Mirroring the hue circle swaps the second and third channels of the colour model.
    FixedClock other(1, 2);
    CDrawWnd mirrored(other, OneWorker());
    ASSERT_TRUE(Peer::BuildHueTable(e, 10.0f, 0));
    ASSERT_TRUE(Peer::BuildHueTable(mirrored, -10.0f, 0));
    for (int k = 0; k < kHueEntries; ++k) {
        const float* a = Peer::HueTable(e)[k];
        const float* b = Peer::HueTable(mirrored)[k];
        EXPECT_NEAR(a[0], b[0], 1e-4f) << "entry " << k;
        EXPECT_NEAR(a[1], b[2], 1e-4f) << "entry " << k;
        EXPECT_NEAR(a[2], b[1], 1e-4f) << "entry " << k;
    }
}

// ---- One dot's colour -------------------------------------------------------------------------

TEST_F(ColourFixture, ADotAtRestOrMovingDiagonallyOnlyDecays) {
    const float velocities[][2] = {{0, 0}, {1, 1}, {-2, 2}, {3, -3}, {-0.5f, -0.5f}};
    for (const auto& v : velocities) {
        float c[3] = {100.0f, 50.0f, 200.0f};
        Peer::UpdateDotColour(e, v[0], v[1], gains, c[0], c[1], c[2]);
        EXPECT_FLOAT_EQ(c[0], 100.0f - 100.0f * fade[0]) << v[0] << ", " << v[1];
        EXPECT_FLOAT_EQ(c[1], 50.0f - 50.0f * fade[1]) << v[0] << ", " << v[1];
        EXPECT_FLOAT_EQ(c[2], 200.0f - 200.0f * fade[2]) << v[0] << ", " << v[1];
    }
}

TEST_F(ColourFixture, TheTintFollowsTheDirectionOfMotionAndItsSpeed) {
    const auto* wheel = Peer::HueTable(e);
    // From black, one frame of motion leaves tint * (1 - fade): the wheel entry of the
    // direction, scaled by speed and gain.
    struct Case {
        float vx, vy;
        int entry;
        float speed;
    } cases[] = {{2, 0, 128, 2},  {0, 2, 384, 2}, {-2, 0, 640, 2},
                 {0, -2, 896, 2}, {4, 2, 192, 4}, {-4, 1, 640 - 32, 4}};
    for (const Case& k : cases) {
        float c[3] = {0, 0, 0};
        Peer::UpdateDotColour(e, k.vx, k.vy, gains, c[0], c[1], c[2]);
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(c[j], k.speed * gains[j] * wheel[k.entry][j] * (1.0f - fade[j]), 1e-5f)
                << "velocity " << k.vx << ", " << k.vy << " channel " << j;
        }
    }
}

TEST_F(ColourFixture, TheTintFadesOutAsAChannelNearsFullStrength) {
    const auto tintAt = [&](float start) {
        // Tint received in one frame moving +x fast, before the decay.
        float c[3] = {start, start, start};
        Peer::UpdateDotColour(e, 10.0f, 0.0f, gains, c[0], c[1], c[2]);
        const float* hue = Peer::HueTable(e)[128];
        const int j = static_cast<int>(std::max_element(hue, hue + 3) - hue);  // its main channel
        return c[j] / (1.0f - fade[j]) - start;
    };
    const float full = tintAt(0.0f);
    ASSERT_GT(full, 1.0f);
    EXPECT_NEAR(tintAt(255.0f) / full, 1.0f - std::pow(2040.0f / 2048.0f, 3.3f), 2e-4f);
    EXPECT_NEAR(tintAt(255.0f) / full, 0.013f, 0.001f);
    EXPECT_NEAR(tintAt(256.0f), 0.0f, 1e-3f);
    EXPECT_NEAR(tintAt(-0.125f), 0.0f, 1e-5f);
    EXPECT_NEAR(tintAt(-50.0f), 0.0f, 1e-4f);
    EXPECT_NEAR(tintAt(-0.1f) / full, 1.0f, 1e-3f);  // just below zero still reads index 0
    EXPECT_NEAR(tintAt(128.0f) / full, 1.0f - std::pow(0.5f, 3.3f), 1e-3f);
}

TEST_F(ColourFixture, ChannelsStayWithinTheirRangeAndANaNIsCleared) {
    float c[3] = {-150.0f, 400.0f, std::numeric_limits<float>::quiet_NaN()};
    Peer::UpdateDotColour(e, 30.0f, 1.0f, gains, c[0], c[1], c[2]);
    EXPECT_EQ(c[0], -100.0f);
    EXPECT_EQ(c[1], 255.0f);
    EXPECT_EQ(c[2], -100.0f);
    // A long fast run saturates below the top and never leaves the range.
    float d[3] = {0, 0, 0};
    for (int frame = 0; frame < 5000; ++frame) {
        Peer::UpdateDotColour(e, 50.0f, 20.0f, gains, d[0], d[1], d[2]);
        for (float ch : d) ASSERT_TRUE(ch >= -100.0f && ch <= 255.0f) << "frame " << frame;
    }
    EXPECT_GT(std::max({d[0], d[1], d[2]}), 200.0f);
}

TEST_F(ColourFixture, FallingDotsFadeWithoutTintAndFieldColourOnlyDecays) {
    Peer::SetFallDir(e, 1);  // upward
    float c[3] = {100.0f, 100.0f, 100.0f};
    Peer::UpdateDotColour(e, 5.0f, -1.0f, gains, c[0], c[1], c[2]);
    EXPECT_FLOAT_EQ(c[0], 95.1f);
    EXPECT_FLOAT_EQ(c[1], 100.0f * 0.9472354f);
    EXPECT_FLOAT_EQ(c[2], 95.52f);
    float d[3] = {100.0f, 100.0f, 100.0f};
    Peer::UpdateDotColour(e, 5.0f, 1.0f, gains, d[0], d[1], d[2]);  // falling the other way
    EXPECT_GT(std::max({d[0], d[1], d[2]}), 100.0f * (1.0f - fade[0]));

    Peer::SetFallDir(e, 0);
    Peer::SetFieldColour(e, true);
    float f[3] = {100.0f, 100.0f, 100.0f};
    Peer::UpdateDotColour(e, 5.0f, 1.0f, gains, f[0], f[1], f[2]);
    for (int j = 0; j < 3; ++j) EXPECT_FLOAT_EQ(f[j], 100.0f - 100.0f * fade[j]);
}

// ---- Gains and settings -----------------------------------------------------------------------

TEST_F(ColourFixture, GainsFollowTheDriveTheDisplayDepthAndTheCursor) {
    e.SetColourBright(1.0);
    Peer::SetColourDepth(e, 32);
    Peer::ComputeColourGains(e);
    const float deep = Peer::ColourGain(e)[0];
    Peer::SetColourDepth(e, 16);
    Peer::ComputeColourGains(e);
    EXPECT_NEAR(Peer::ColourGain(e)[0] / deep, 0.75f / 0.55f, 1e-5f);
    EXPECT_EQ(Peer::CursorGain(e)[0], Peer::ColourGain(e)[0]);

    Peer::SetFieldColour(e, true);
    Peer::ComputeColourGains(e);
    EXPECT_GT(Peer::CursorGain(e)[0], Peer::ColourGain(e)[0]);

    e.SetColourBright(2.0);
    Peer::ComputeColourGains(e);
    EXPECT_GT(Peer::ColourGain(e)[0], deep);

    // Before the influence range is set the force reach is 0; the scale must stay finite.
    Peer::SetForceReach(e, 0.0f);
    Peer::ComputeColourGains(e);
    EXPECT_TRUE(std::isfinite(Peer::FieldColourScale(e)));
    EXPECT_GT(Peer::FieldColourScale(e), 0.0f);
}

TEST_F(ColourFixture, ColourBrightnessRisesSmoothlyAndStaysFiniteAtTheTop) {
    e.SetColourBright(0.0);
    double last = Peer::ColourDrive(e);
    EXPECT_EQ(last, 0.0);
    for (double v = 0.01; v <= 2.5001; v += 0.01) {
        e.SetColourBright(v);
        const double d = Peer::ColourDrive(e);
        ASSERT_TRUE(std::isfinite(d)) << "bright " << v;
        ASSERT_GT(d, last) << "bright " << v;
        if (v > 0.02 && v < 2.0) {
            ASSERT_NEAR(d, v, 1e-12) << "bright " << v;
        }
        // No jump, also not where the curve starts to bend at 2 (it steepens towards 2.5).
        if (v <= 2.2) {
            ASSERT_LT(d - last, 0.5) << "bright " << v;
        }
        last = d;
    }
    e.SetColourBright(3.0);  // beyond the slider: limited, not NaN
    EXPECT_DOUBLE_EQ(Peer::ColourBright(e), 2.5);
    EXPECT_TRUE(std::isfinite(Peer::ColourDrive(e)));
    e.SetColourBright(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(Peer::ColourBright(e), 2.5);
}

TEST(ColourSettings, PastelsSlowTheDecayAndDarkenTrailsOnlyWhenNotDrifting) {
    FixedClock clock(3, 4);
    CanvasLog log;
    EngineWithCanvas e(clock, log);
    ASSERT_EQ(e.CreateOutput(60.0), kEngineOk);

    float fades[3];
    double last = 1.0;
    for (double v : {0.001, 0.05, 0.15, 0.5, 0.9, 1.2}) {
        e.SetPastels(v, true);
        Peer::Fades(e, fades);
        EXPECT_EQ(fades[0], fades[1]);
        EXPECT_EQ(fades[1], fades[2]);
        EXPECT_LT(fades[0], last) << "pastel " << v;
        EXPECT_GE(fades[0], 0.0f) << "pastel " << v;
        last = fades[0];
    }
    EXPECT_NEAR(last, 0.0, 1e-4);  // at the pastel end channels barely decay
    EXPECT_EQ(log.trailCalls, 0);  // drift never touches the trails

    e.SetPastels(0.0, false);  // pure tones: trails darkened, decay from the drive
    EXPECT_EQ(log.trailCalls, 1);
    EXPECT_NEAR(log.shade, 0.97, 1e-12);
    Peer::Fades(e, fades);
    const double drive = Peer::ColourDrive(e);
    EXPECT_FLOAT_EQ(fades[0], static_cast<float>(drive * drive * 0.0006 + 0.005));
    e.SetPastels(0.0, false);  // no change: the canvas is not told again
    EXPECT_EQ(log.trailCalls, 1);
    e.SetPastels(0.075, false);
    EXPECT_NEAR(log.shade, 1.0 - 0.125 * 0.03, 1e-12);
    e.SetPastels(0.4, false);
    EXPECT_EQ(log.trailCalls, 3);
    EXPECT_EQ(log.shade, 1.0);
    EXPECT_EQ(log.trailLength, -1);  // trails are off in a fresh engine

    e.SetPastels(-1.0, false);  // below the slider: as 0, not NaN
    Peer::Fades(e, fades);
    EXPECT_TRUE(std::isfinite(fades[0]));
    EXPECT_GT(log.shade, 0.0);
}

TEST(ColourSettings, PointMagnitudeCapsPlotsOnlyWithTrails) {
    FixedClock clock(3, 4);
    CDrawWnd e(clock, OneWorker());
    e.SetPointMagnitude(0.5);
    EXPECT_NEAR(Peer::PointMagnitude(e), std::pow(0.5, 1.618), 1e-12);
    EXPECT_EQ(Peer::PointCap(e), 130560u);  // trails off: no cap
    Peer::SetLeaveTrails(e, true);
    Peer::UpdatePointCap(e);
    const uint32_t cap = Peer::PointCap(e);
    EXPECT_NEAR(cap / 130560.0, std::pow(0.5, 1.618), 1e-5);
    EXPECT_EQ(Peer::PointCapF(e), cap / 256.0f);
    e.SetPointMagnitude(1.0);
    EXPECT_EQ(Peer::PointCap(e), 130560u);
    e.SetPointMagnitude(0.0);
    EXPECT_EQ(Peer::PointCap(e), 0u);
    e.SetPointMagnitude(-3.0);  // limited, not NaN
    EXPECT_EQ(Peer::PointMagnitude(e), 0.0);
}

TEST(ColourSettings, GammaGivesTheToneCurveAndItsMiddleIsExactlyTheIdentity) {
    FixedClock clock(3, 4);
    CanvasLog log;
    EngineWithCanvas e(clock, log);
    e.SetGamma(0.3);  // no canvas yet: stored only
    EXPECT_EQ(log.toneCalls, 0);
    ASSERT_EQ(e.CreateOutput(60.0), kEngineOk);

    e.SetGamma(0.5);
    EXPECT_EQ(log.toneCalls, 1);
    EXPECT_EQ(log.toneA, 0.5);
    EXPECT_EQ(log.toneB, 1.0);
    e.SetGamma(0.0);
    EXPECT_NEAR(log.toneA, 0.3, 1e-12);
    EXPECT_NEAR(log.toneB, 2.0, 1e-12);
    e.SetGamma(1.0);
    EXPECT_NEAR(log.toneA, 10.0, 1e-9);
    EXPECT_NEAR(log.toneB, 0.6, 1e-12);
    // Either side of the middle the curve moves continuously towards the identity.
    e.SetGamma(0.499);
    EXPECT_NEAR(log.toneA, 0.5, 0.01);
    EXPECT_NEAR(log.toneB, 1.0, 0.01);
    e.SetGamma(7.0);  // beyond the slider: as 1
    EXPECT_NEAR(log.toneA, 10.0, 1e-9);
    const int calls = log.toneCalls;
    e.SetGamma(std::numeric_limits<double>::infinity());
    EXPECT_EQ(log.toneCalls, calls);
}

TEST(ColourSettings, InvertReachesTheCanvas) {
    FixedClock clock(3, 4);
    CanvasLog log;
    EngineWithCanvas e(clock, log);
    e.SetInvert(true);
    EXPECT_TRUE(Peer::Invert(e));
    ASSERT_EQ(e.CreateOutput(60.0), kEngineOk);
    e.SetInvert(false);
    EXPECT_EQ(log.invertCalls, 1);
    EXPECT_FALSE(log.invert);
    e.SetInvert(true);
    EXPECT_TRUE(log.invert);
}

}  // namespace
}  // namespace quovis
