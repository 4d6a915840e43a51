// The figure styles: dots are born on the circle, the stroke or the polygon, one slice of the
// figure per event.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine_fixtures.h"

namespace quovis::test {
namespace {

TEST_F(EmitterTest, CircleSpinFlowOrdersTheDots) {
    Use(25, 1000, {1100, 30, 10, 800, 70, 4});  // evenly round the whole circle, outwards
    const auto ring = EmitRun(0, 12);
    for (int j = 0; j < 12; ++j) {
        const double bearing = std::atan2(ring[j].y - kH / 2.0, ring[j].x - kW / 2.0);
        EXPECT_NEAR(AngleDiff(bearing, 2 * kPi * j / 12), 0, 1e-4) << j;
        EXPECT_NEAR(AngleDiff(Heading(ring[j]), bearing), 0, 1e-4) << j;
    }
    // +-2: even steps along the arc, the negative value the other way round.
    Use(25, 1000, {1100, 30, 10, 800, 70, 2});
    const auto forward = EmitRun(3, 6);
    Use(25, 1000, {1100, 30, 10, 800, 70, -2});
    const auto backward = EmitRun(3, 6);
    for (int j = 0; j < 6; ++j) {
        EXPECT_NEAR(forward[j].x, backward[j].x, 1e-3);
        EXPECT_NEAR(forward[j].y - kH / 2, kH / 2 - backward[j].y, 1e-3);
        EXPECT_NEAR(FromCentre(forward[j]), 0.8 * kH / 2, 1e-3);
    }
}

TEST_F(EmitterTest, DrawIsBornAlongTheStrokeASliceAtATime) {
    EngineTestAccess::Points line;
    for (int k = 0; k <= 40; ++k) line.push_back({0.1f + 0.02f * k, 0.5f});
    Use(26, 1000, {1100, 30, 0, 50, 70, 0});
    Peer::SetStroke(*engine, line, 0.02f);
    std::set<int> slices;
    for (int event = 0; event < 4; ++event) {
        const auto slice = EmitRun(event * 30, 30, 1.0, 4);
        const int c = static_cast<int>((slice[0].x / kW - 0.1) / 0.2);
        slices.insert(c);
        for (const Dot& d : slice) {
            EXPECT_NEAR(d.y, kH / 2, 1e-3);
            EXPECT_TRUE(d.x / kW >= 0.1 + 0.2 * c - 1e-5 && d.x / kW <= 0.3 + 0.2 * c + 1e-5)
                << "event " << event << " x=" << d.x;
        }
    }
    EXPECT_EQ(slices.size(), 4u);
}

TEST_F(EmitterTest, DrawNeverBridgesAPenLift) {
    EngineTestAccess::Points strokes;
    for (int k = 0; k < 16; ++k) strokes.push_back({0.1f + 0.02f * k, 0.2f});
    for (int k = 0; k < 16; ++k) strokes.push_back({0.6f + 0.02f * k, 0.8f});
    for (float gap : {0.04f, 100.0f}) {  // the mean spacing, or one that hides the lift
        Use(26, 1000, {1100, 30, 0, 50, 70, 0});
        Peer::SetStroke(*engine, strokes, gap);
        int bridging = 0;
        for (const Dot& d : EmitRun(0, 1000)) bridging += d.y > 0.21f * kH && d.y < 0.79f * kH;
        EXPECT_EQ(bridging > 0, gap > 1) << "gap " << gap << ": " << bridging << " bridging";
    }
    Use(26, 10, {1100, 30, 0, 50, 70, 0});
    Peer::SetStroke(*engine, {}, 100.0f);  // nothing drawn yet: the middle
    EXPECT_EQ(EmitRun(0, 10)[3].x, kW / 2);
    Peer::SetStroke(*engine, {{0.25f, 0.75f}}, 100.0f);
    const auto one = EmitRun(0, 10);
    EXPECT_TRUE(one[5].x == 0.25f * kW && one[5].y == 0.75f * kH);
}

// Distance from (x, y) to the segment a-b.
double ToSegment(double x, double y, std::pair<float, float> a, std::pair<float, float> b) {
    const double dx = b.first - a.first, dy = b.second - a.second;
    const double t =
        std::clamp(((x - a.first) * dx + (y - a.second) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - a.first - t * dx, y - a.second - t * dy);
}

TEST_F(EmitterTest, PolygonDotsSitOnTheSideOfTheirSlice) {
    const EngineTestAccess::Points square = {{100, 100}, {300, 100}, {300, 300}, {100, 300}};
    Use(27, 1000, {1100, 500, 0, 15, 70, 0});
    Peer::SetMovers(*engine, square);
    std::set<int> sides;
    for (int event = 0; event < 4; ++event) {
        std::set<int> common = {0, 1, 2, 3};  // sides every dot lies on (a corner is on two)
        for (const Dot& d : EmitRun(event * 40, 40, 1.0, 4)) {
            double nearest = 1e9;
            for (int k = 0; k < 4; ++k) {
                const double away = ToSegment(d.x, d.y, square[k], square[(k + 1) % 4]);
                nearest = std::min(nearest, away);
                if (away >= 0.5) common.erase(k);
            }
            EXPECT_LT(nearest, 1e-3) << "off the polygon at " << d.x << "," << d.y;
        }
        ASSERT_EQ(common.size(), 1u) << "event " << event << " is not one side";
        sides.insert(*common.begin());
    }
    EXPECT_EQ(sides.size(), 4u);

    Peer::SetMovers(*engine, {{123, 45}});  // one mover: the polygon is a point
    for (const Dot& d : EmitRun(0, 20)) EXPECT_TRUE(d.x == 123 && d.y == 45);
}

// The curve runs through the middles of the sides and rounds each mover's corner inside it.
TEST_F(EmitterTest, CurvesRunSmoothlyThroughTheMiddlesOfTheSides) {
    EngineTestAccess::Points hexagon;
    for (int k = 0; k < 6; ++k) {
        hexagon.push_back({static_cast<float>(kW / 2 + 100 * std::cos(k * kPi / 3)),
                           static_cast<float>(kH / 2 + 100 * std::sin(k * kPi / 3))});
    }
    Use(28, 3000, {1100, 400, 0, 5, 70, 5});
    Peer::SetMovers(*engine, hexagon);
    const auto curve = EmitRun(0, 3000);
    EXPECT_NEAR(curve[0].x, (hexagon[0].first + hexagon[1].first) / 2, 1e-2);
    EXPECT_NEAR(curve[0].y, (hexagon[0].second + hexagon[1].second) / 2, 1e-2);
    double least = 1e9, most = 0;
    for (const Dot& d : curve) {
        least = std::min(least, FromCentre(d));
        most = std::max(most, FromCentre(d));
    }
    EXPECT_NEAR(least, 100 * std::cos(kPi / 6), 1e-2);
    EXPECT_GT(most, least + 0.5);
    EXPECT_LT(most, 90.0);
}

}  // namespace
}  // namespace quovis::test
