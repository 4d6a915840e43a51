// Where each style gives birth: one check per style over a large run.
#include <gtest/gtest.h>

#include <functional>

#include "engine_fixtures.h"

namespace quovis::test {
namespace {

using Dot = EngineTestAccess::Dot;
constexpr float kW = EmitterTest::kW, kH = EmitterTest::kH;
constexpr float kCx = kW / 2, kCy = kH / 2;

double Off(const Dot& d) {
    return std::hypot(d.x - kCx, d.y - kCy);
}
bool OnCanvas(const Dot& d) {
    return d.x >= 0 && d.x < kW && d.y >= 0 && d.y < kH;
}
bool Between(double v, double lo, double hi) {
    return v >= lo - 1e-3 && v <= hi + 1e-3;
}

struct Birth {
    int style;
    std::array<float, 6> params;
    const char* where;
    std::function<bool(const Dot& d, const Dot& first)> born;
};

const Birth kBirths[] = {
    {0, {1100, 50, 0, 100}, "a core of radius 2", [](auto& d, auto&) { return Off(d) <= 2.0001; }},
    {3,
     {1100, 40, 7, 5, 33},
     "the centre",
     [](auto& d, auto&) { return d.x == kCx && d.y == kCy; }},
    {4,
     {1100, 20, 5, 0},
     "a band 10 % high",
     [](auto& d, auto&) {
         return d.x >= 0 && d.x < kW && Between(d.y, kCy - 0.05 * kH, kCy + 0.05 * kH);
     }},
    {5,
     {1100, 20, 10, 50, 60, 100},
     "the middle 90 %",
     [](auto& d, auto&) {
         return Between(d.x, 0.05 * kW, 0.95 * kW) && Between(d.y, 0.05 * kH, 0.95 * kH);
     }},
    {9,
     {1100, 600, 60, 0},
     "a disc, almost at rest",
     [](auto& d, auto&) { return Off(d) <= 0.6 * kH / 2 + 1e-3 && d.Speed() <= 0.005 + 1e-6; }},
    {10,
     {1100, 20, 70},
     "the left or right edge, inwards",
     [](auto& d, auto&) {
         const bool left = d.x == 0 && Between(d.vx, 4.1, 6.15);
         const bool right = d.x == kW && Between(d.vx, -6.15, -4.1);
         return (left || right) && std::abs(d.vy) <= 0.1025f && d.y >= 0 && d.y < kH;
     }},
    {11,
     {1100, 20, 100, 75},
     "a core of radius 2",
     [](auto& d, auto&) { return Off(d) <= 2.0001; }},
    {12,
     {1100, 833, 550, 0, 65, 50},
     "the epicycle's ring",
     [](auto& d, auto&) {
         const double r = std::hypot(d.x - kCx - 0.5, d.y - kCy - 0.5);
         return Between(r, 0.1 * 0.45 * kH, 0.45 * kH);
     }},
    {13,
     {1100, 100, 30, 70},
     "the middle line",
     [](auto& d, auto&) { return d.y == kCy && std::abs(d.x - kCx) <= 0.475 * kW + 1e-3; }},
    {15,
     {1100, 20, 100, 0, 75, 200},
     "the bottom centre, straight up",
     [](auto& d, auto&) {
         return d.x == kCx && d.y == kH && d.vy < 0 && std::abs(d.vx) <= 1e-6 * -d.vy;
     }},
    {19,
     {1100, 10, 0, 40, 70, 8},
     "one random point",
     [](auto& d, auto& first) { return d.x == first.x && d.y == first.y && OnCanvas(d); }},
    {21,
     {1100, 40, 60, 70},
     "the beam, at rest",
     [](auto& d, auto&) {
         return d.vx == 0 && d.vy == 0 &&
                std::hypot(d.x - kCx, (d.y - kCy) * kW / kH) <= kW / 2 + 1e-3;
     }},
    {22, {1100, 8, 0, 40, 60}, "anywhere", [](auto& d, auto&) { return OnCanvas(d); }},
    {23,
     {1100, 10, -42, 70},
     "the bottom edge",
     [](auto& d, auto&) { return d.y == kH && d.vx == 0 && d.vy >= -1 && d.vy < 1; }},
    {24,
     {1100, 20, 75, 210, 70},
     "the top edge, falling",
     [](auto& d, auto&) {
         return d.y >= 1 && d.y < 2 && d.vy > 0 && std::abs(d.x - kCx) <= 0.105 * kW + 1e-3;
     }},
    {25,
     {1100, 30, -10, 800, 70, 0},
     "the circle, inwards",
     [](auto& d, auto&) {
         return std::abs(Off(d) - 0.8 * kH / 2) < 1e-3 &&
                (d.x - kCx) * d.vx + (d.y - kCy) * d.vy <= 0;
     }},
    {29,
     {1100, 50, 0, 40, 70, 5},
     "one random point",
     [](auto& d, auto& first) { return d.x == first.x && d.y == first.y && OnCanvas(d); }},
};

TEST_F(EmitterTest, EachStyleIsBornWhereItSays) {
    for (const Birth& b : kBirths) {
        Use(b.style, 2000, b.params);
        const auto run = EmitRun(100, b.style == 19 || b.style == 29 ? 50 : 2000);
        int wrong = 0;
        for (std::size_t j = 0; j < run.size(); ++j) {
            if (b.born(run[j], run[0]) || ++wrong > 3) continue;
            ADD_FAILURE() << "style " << b.style << ": dot " << j << " at " << run[j].x << ","
                          << run[j].y << " moving " << run[j].vx << "," << run[j].vy
                          << " is not on " << b.where;
        }
    }
}

TEST_F(EmitterTest, SidewaysSprayUsesBothEdgesEvenly) {
    Use(10, 2000, {1100, 20, 70});
    int left = 0;
    for (const Dot& d : EmitRun(0, 2000)) left += d.x == 0;
    EXPECT_GT(left, 900);
    EXPECT_LT(left, 1100);
}

}  // namespace
}  // namespace quovis::test
