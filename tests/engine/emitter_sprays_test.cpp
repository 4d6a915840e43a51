// The sprays and jets: which line or spout is fed, which way they turn, what live values do.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/style_table.h"
#include "engine_fixtures.h"

namespace quovis::test {
namespace {

TEST_F(EmitterTest, HorizontalLinesAreFedOneAfterAnother) {
    Use(6, 1000, {1100, 1, 15, 0, 0});
    for (int event = 0; event < 3; ++event) {
        for (const Dot& d : EmitRun(event * 10, 10)) EXPECT_EQ(d.y, kH / 2) << "single line";
    }
    Use(6, 1000, {1100, 7, 15, 0, 1});
    std::vector<float> ys;
    for (int event = 0; event < 14; ++event) {
        const auto line = EmitRun(event * 20, 20);
        for (const Dot& d : line) {
            EXPECT_EQ(d.y, line[0].y);
            EXPECT_TRUE(d.x >= 0 && d.x <= kW) << "'Perfect' 1 off the line: x=" << d.x;
        }
        ys.push_back(line[0].y);
    }
    std::vector<float> sorted(ys.begin(), ys.begin() + 7);
    std::sort(sorted.begin(), sorted.end());
    for (int c = 1; c < 7; ++c) EXPECT_NEAR(sorted[c] - sorted[c - 1], sorted[1] - sorted[0], 1.0);
    EXPECT_NEAR(sorted[0] + sorted[6], kH, 2.0);  // centred
    for (int e = 7; e < 14; ++e) EXPECT_EQ(ys[e], ys[e - 7]) << "the cycle repeats";
}

TEST_F(EmitterTest, VerticalBarsStandAtTheirPlaceAndPerfectSpreadsThemEvenly) {
    Use(7, 1000, {1100, 12, 5, 0, 0});
    std::set<float> xs;
    for (int event = 0; event < 12; ++event) {
        const auto bar = EmitRun(event * 30, 30);
        bool sorted = true;
        for (int j = 0; j < 30; ++j) {
            EXPECT_EQ(bar[j].x, bar[0].x);
            EXPECT_LE(std::abs(bar[j].y - kH / 2), 0.842135 * kH / 2 + 1e-3);
            if (j > 0 && bar[j].y < bar[j - 1].y) sorted = false;
        }
        EXPECT_FALSE(sorted) << "'Perfect' 0 scatters";
        EXPECT_EQ(std::fmod(bar[0].x, kW / 12.0), kW / 24.0) << "not a strip's middle";
        xs.insert(bar[0].x);
    }
    EXPECT_EQ(xs.size(), 12u);
    for (float perfect : {1.0f, 2.0f}) {
        Use(7, 1000, {1100, 12, 5, 0, perfect});
        const auto bar = EmitRun(0, 9);
        const double height = perfect == 2 ? kH : 0.842135 * kH;
        EXPECT_NEAR(bar[0].y, (kH - height) / 2, 1e-3) << "perfect " << perfect;
        for (int j = 1; j < 9; ++j) EXPECT_NEAR(bar[j].y - bar[j - 1].y, height / 8, 1e-3);
    }
}

// Headings of the sprayer's dots in an engine of its own (same random numbers every time).
std::vector<double> SprayHeadings(int style, const std::array<float, 6>& params, double fpd) {
    FixedClock fixed(4000, 9000);
    auto e = EmitterTest::NewEngine(fixed);
    EngineTestAccess::SetupEmitter(*e, style, 200, EmitterTest::kW, EmitterTest::kH, params);
    EngineTestAccess::PatternAngle(*e) = 0.7;
    EngineTestAccess::Emit(*e, 0, 199, fpd, 1);
    std::vector<double> out;
    for (int j = 0; j < 200; ++j) {
        const auto d = EngineTestAccess::GetDot(*e, j);
        out.push_back(std::atan2(d.vy, d.vx));
    }
    return out;
}

TEST_F(EmitterTest, RadialNozzlesSprayFromFixedSpoutsUnlessTheRingSpins) {
    for (double heading : SprayHeadings(8, {1100, 0, 5, 1, 66, 100}, 3.0)) {
        const double spout = (heading - 0.7) / (2 * kPi / 5);
        EXPECT_NEAR(spout, std::round(spout), 1e-3) << "between the spouts";
    }
    // A negative rate turns the ring the other way, equally fast.
    const auto forward = SprayHeadings(8, {1100, 300, 1, 1, 66, 100}, 4.0);
    const auto backward = SprayHeadings(8, {1100, -300, 1, 1, 66, 100}, 4.0);
    EXPECT_GT(std::abs(AngleDiff(forward[1], forward[0])), 0.1);
    for (int j = 0; j < 200; ++j) {
        EXPECT_NEAR(AngleDiff(forward[j] - 0.7, 0.7 - backward[j]), 0, 1e-4) << j;
    }
    // The dots of one event are spread outwards along their first step.
    Use(8, 100, {1100, 80, 8, 38, 66, 100});
    for (const Dot& d : EmitRun(0, 100)) {
        const double ox = d.x - kW / 2, oy = d.y - kH / 2;
        EXPECT_NEAR(ox * d.vy - oy * d.vx, 0, 1e-3);
        EXPECT_GE(ox * d.vx + oy * d.vy, -1e-4);
        EXPECT_LE(std::hypot(ox, oy), d.Speed() + 1e-4);
    }
}

TEST_F(EmitterTest, SpinningSprayerTurnsTheSameWayWhateverTheSign) {
    const auto positive = SprayHeadings(18, {1100, 20, 400, 38, 70, 100}, 2.0);
    const auto negative = SprayHeadings(18, {1100, 20, -400, 38, 70, 100}, 2.0);
    const auto still = SprayHeadings(18, {1100, 20, 0, 38, 70, 100}, 2.0);
    EXPECT_EQ(positive, negative);
    int turned = 0;
    for (int j = 0; j < 200; ++j) turned += std::abs(AngleDiff(positive[j], still[j])) > 1e-3;
    EXPECT_GT(turned, 190);
}

TEST_F(EmitterTest, APendingEnergyIsBlendedInOnce) {
    Use(8, 100, {1100, 80, 8, 38, 66, 100});
    Peer::Live(*engine, 5) = 500;
    EmitRun(0, 100);
    EXPECT_FLOAT_EQ(Peer::Param(*engine, 5), 200);  // a quarter of the way to the live value
    EXPECT_EQ(Peer::Live(*engine, 5), CDrawWnd::kUnsetLiveParam);
    EmitRun(0, 100);
    EXPECT_FLOAT_EQ(Peer::Param(*engine, 5), 200);
}

// ---- "Regenerating" --------------------------------------------------------------------

// The dots one emission event launches for a style at its table values, with its energy
// set as the parameter or left in the live copy, as drift leaves it.
std::vector<float> EnergyEvent(int style, int energy, float value, bool live) {
    FixedClock fixed(4000, 9000);
    auto e = EmitterTest::NewEngine(fixed);
    int32_t count = 0;
    std::array<float, 6> params{};
    EXPECT_TRUE(GetStyleParams(style, count, params.data()));
    EngineTestAccess::SetupEmitter(*e, style, 400, EmitterTest::kW, EmitterTest::kH, params);
    EngineTestAccess::SetMovers(*e, {{100, 100}, {300, 120}, {250, 300}});
    (live ? EngineTestAccess::Live(*e, energy) : EngineTestAccess::Param(*e, energy)) = value;
    EXPECT_TRUE(EngineTestAccess::Emit(*e, 0, 99, 1.0, 5));
    std::vector<float> out;
    for (int j = 0; j < 100; ++j) {
        const auto d = EngineTestAccess::GetDot(*e, j);
        out.insert(out.end(), {d.x, d.y, d.vx, d.vy});
    }
    return out;
}

TEST(EmitterEnergy, EveryOtherStyleTakesADriftingEnergyOverWhole) {
    // The sprayers, "Fleuret" and "Floaters" ramp a live energy in themselves (above).
    for (int style : {kStyleLissajous, kStyleWhiteHole, kStyleFountain, kStyleRegenerating,
                      kStyleCircle, kStyleDraw, kStylePolygon, kStyleCurves, kStyleTwirls}) {
        int i = FindStyleParamByRole(style, kRoleEnergy);
        if (i < 0) i = FindStyleParamByRole(style, kRoleEnergy2);
        const StyleParamInfo& info = GetStyle(style)->params[i];
        const float drifted = static_cast<float>(info.max / 2 + 7);
        const auto asParam = EnergyEvent(style, i, drifted, false);
        EXPECT_NE(asParam, EnergyEvent(style, i, info.defaultValue, false)) << style;
        EXPECT_EQ(EnergyEvent(style, i, drifted, true), asParam) << "style " << style;
    }
}

TEST_F(EmitterTest, RegeneratingBurstsOutOfAnExistingDot) {
    for (float gravity : {0.0f, -0.01f}) {
        Use(19, 200, {1100, 16, 0, 40, 70, 0});
        for (int i = 0; i < 200; ++i) Peer::SetDot(*engine, i, {100, 50, 3, 0, 1});
        Peer::Gravity(*engine) = gravity;
        const auto burst = EmitRun(20, 16);
        EXPECT_EQ(Peer::GroupSize(*engine), 16);
        for (const Dot& d : burst) {
            EXPECT_EQ(d.x, 100.0f);
            // Strong gravity starts the burst at the border it pulls away from.
            EXPECT_FLOAT_EQ(d.y, gravity == 0 ? 50.0f : kH * 29.0f / 30.0f);
            EXPECT_EQ(d.mobility, burst[0].mobility);
        }
    }
    Use(19, 200, {1100, 16, 0, 40, 70, 4});  // a parked ring still finds an origin
    for (const Dot& d : EmitRun(20, 16)) EXPECT_TRUE(d.x == kW / 2 && d.y == kH / 2);
}

TEST_F(EmitterTest, RegeneratingPerfectBitsGiveEvenDirectionsAndFourSpeedRings) {
    Use(19, 200, {1100, 40, 0, 40, 70, 2 + 16});
    for (int i = 0; i < 200; ++i) Peer::SetDot(*engine, i, {200, 100, 0, 0, 1});
    const auto burst = EmitRun(0, 40);
    std::map<long, int> rings;  // speed as a multiple of the slowest ring's
    for (int j = 0; j < 40; ++j) {
        EXPECT_NEAR(AngleDiff(SinCosHeading(burst[j]), 4 * 2 * kPi * j / 40), 0, 1e-4) << j;
        const double ratio = burst[j].Speed() / burst[0].Speed();
        EXPECT_NEAR(ratio, std::round(ratio), 1e-4) << j;
        rings[std::lround(ratio)]++;
    }
    EXPECT_EQ(rings, (std::map<long, int>{{1, 10}, {2, 10}, {3, 10}, {4, 10}}));
}

TEST_F(EmitterTest, BurstDampingNeverTurnsNegativeOrInfinite) {
    for (double viscosity : {1.0, 1.5, 2.0, 401.0}) {
        Use(19, 200, {1100, 10, 0, 40, 70, 8});
        Peer::Viscosity(*engine) = viscosity;
        for (int event = 0; event < 50; ++event) {
            const float mobility = EmitRun(event * 4, 4)[0].mobility;
            ASSERT_TRUE(std::isfinite(mobility)) << "viscosity " << viscosity;
            EXPECT_GE(mobility, 0.0f) << "viscosity " << viscosity << " event " << event;
        }
    }
}

// ---- "Floaters" ------------------------------------------------------------------------

TEST_F(EmitterTest, FloatersAreNeverReEmittedAndEveryDotIsBornOnOne) {
    Use(20, 40, {1100, 8, 100, 100, 70, 1});
    for (int i = 0; i < 40; ++i) Peer::SetDot(*engine, i, {10.0f + i, 20.0f + i, 0.5f, 0.25f, 1});
    for (int first = 0; first < 200; first += 7) Peer::Emit(*engine, first, first + 6, 1.0, 1);
    for (int i = 0; i < 40; ++i) {
        const Dot d = Peer::GetDot(*engine, i);
        if (i < 8) {
            EXPECT_TRUE(d.x == 10.0f + i && d.vx == 0.5f) << "floater " << i << " re-emitted";
        } else {
            EXPECT_TRUE(d.x >= 10 && d.x < 18 && d.y == d.x + 10)
                << "dot " << i << " not born on a floater";
        }
    }
}

TEST_F(EmitterTest, FloaterJetsTurnInOppositeSensesAndOneFloaterTurnsForwards) {
    Use(20, 200, {1100, 2, 800, 100, 70, 1});
    Peer::SetDot(*engine, 0, {100, 100, 0, 0, 1});
    Peer::SetDot(*engine, 1, {300, 200, 0, 0, 1});
    const auto jets = EmitRun(2, 40);
    for (int j = 0; j + 3 < 40; j += 2) {
        EXPECT_TRUE(jets[j].x == 100 && jets[j + 1].x == 300) << j;
        EXPECT_GT(AngleDiff(Heading(jets[j + 2]), Heading(jets[j])), 1e-4) << j;
        EXPECT_LT(AngleDiff(Heading(jets[j + 3]), Heading(jets[j + 1])), -1e-4) << j;
    }
    Use(20, 200, {1100, 1, 800, 100, 70, 1});
    Peer::SetDot(*engine, 0, {100, 100, 0, 0, 1});
    const auto single = EmitRun(1, 40);
    for (int j = 1; j < 40; ++j) {
        EXPECT_EQ(single[j].x, 100.0f);
        EXPECT_GT(AngleDiff(Heading(single[j]), Heading(single[j - 1])), 1e-4) << j;
    }
}

TEST_F(EmitterTest, FloaterEnergyAboveAThousandGrowsCubicallyAndNegativeIsRandom) {
    auto speeds = [&](float energy) {
        Use(20, 200, {1100, 4, 100, energy, 70, 1});
        std::vector<double> out;
        for (const Dot& d : EmitRun(10, 100)) out.push_back(d.Speed());
        return out;
    };
    const auto thousand = speeds(1000), twoThousand = speeds(2000);
    for (int j = 0; j < 100; ++j) EXPECT_NEAR(twoThousand[j], 8 * thousand[j], 1e-3 * thousand[j]);
    const auto steady = speeds(500), random = speeds(-500);
    const auto [slowest, fastest] = std::minmax_element(random.begin(), random.end());
    EXPECT_LE(*fastest, steady[0] + 1e-5);
    EXPECT_LT(*slowest, 0.9 * *fastest);
}

}  // namespace
}  // namespace quovis::test
