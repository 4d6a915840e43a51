// What every emitter shares: which slots a run reaches, wrap-around, tiny and huge rings, and
// that nothing placed is ever NaN, infinite or far outside the picture.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine_fixtures.h"

namespace quovis::test {
namespace {

// The style table's default parameters (start colour first) of every re-emitting style.
const std::map<int, std::array<float, 6>> kDefaults = {
    {0, {1100, 50, 0, 100}},
    {3, {1100, 40, 7, 5, 33, 0}},
    {4, {1100, 20, 5, 0}},
    {5, {1100, 20, 10, 50, 60, 100}},
    {6, {1100, 7, 15, 0, 0}},
    {7, {1100, 12, 5, 0, 0}},
    {8, {1100, 80, 8, 38, 66, 100}},
    {9, {1100, 980, 60, 0}},
    {10, {1100, 20, 70}},
    {11, {1100, 20, 100, 75}},
    {12, {1100, 833, 550, 0, 65, 50}},
    {13, {1100, 0, 30, 70}},
    {15, {1100, 20, 100, 100, 75, 200}},
    {18, {1100, 20, 40, 38, 70, 100}},
    {19, {1100, 10, 0, 40, 70, 0}},
    {20, {1100, 16, 100, 100, 70, 1}},
    {21, {1100, 40, 60, 70}},
    {22, {1100, 8, 0, 40, 60}},
    {23, {1100, 10, -42, 70}},
    {24, {1100, 20, 75, 210, 70}},
    {25, {1100, 30, -10, 800, 70, 0}},
    {26, {1100, 30, 0, 50, 70, 0}},
    {27, {1100, 500, 0, 15, 70, 10}},
    {28, {1100, 400, 0, 5, 70, 5}},
    {29, {1100, 50, 0, 40, 70, 5}},
};

class EveryEmitter : public EmitterTest, public ::testing::WithParamInterface<int> {
  protected:
    // Every dot alive at its own place with its own velocity, so any write shows.
    static Dot Marker(int i) {
        return {i % kW + 0.25f, (7 * i) % kH + 0.5f, 0.125f + i, -0.375f, 1};
    }
    void SetUpStyle(int dots) {
        Use(GetParam(), dots, kDefaults.at(GetParam()));
        Peer::SetMovers(*engine, {{100, 80}, {380, 90}, {300, 300}, {60, 250}});
        Peer::SetStroke(*engine, {{0.1f, 0.2f}, {0.5f, 0.5f}, {0.9f, 0.3f}}, 100.0f);
        for (int i = 0; i < dots; ++i) Peer::SetDot(*engine, i, Marker(i));
    }
    std::set<int> Changed(int dots) {
        std::set<int> changed;
        for (int i = 0; i < dots; ++i) {
            const Dot d = Peer::GetDot(*engine, i), m = Marker(i);
            if (d.x != m.x || d.y != m.y || d.vx != m.vx || d.vy != m.vy) changed.insert(i);
        }
        return changed;
    }
    void ExpectSound(int dots, const char* what) {
        for (int i = 0; i < dots; ++i) {
            const Dot d = Peer::GetDot(*engine, i);
            ASSERT_TRUE(std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.vx) &&
                        std::isfinite(d.vy) && std::isfinite(d.mobility) && d.mobility >= 0)
                << "style " << GetParam() << ", " << what << ", dot " << i;
            EXPECT_TRUE(d.Parked() || (d.x >= -kW && d.x <= 2 * kW && d.y >= -kH && d.y <= 2 * kH))
                << "style " << GetParam() << ", " << what << ", dot " << i << " at " << d.x << ","
                << d.y;
        }
    }
};

TEST_P(EveryEmitter, RunsWrapRoundTheRingAndTouchNoOtherSlot) {
    // 47..49 then 0..4, given both ways; "Floaters" keeps its first 16 dots and maps the run
    // past them.
    std::set<int> expected = {47, 48, 49, 0, 1, 2, 3, 4};
    if (GetParam() == 20) expected = {47, 48, 49, 16, 17, 18, 19, 20};
    for (int last : {54, 4}) {
        SetUpStyle(50);
        ASSERT_TRUE(Peer::Emit(*engine, 47, last, 1.0, 1));
        EXPECT_EQ(Changed(50), expected) << "style " << GetParam() << ", run 47.." << last;
    }
}

TEST_P(EveryEmitter, TinyRingsAndHugeGroupsStaySound) {
    for (int dots : {1, 2, 3}) {
        SetUpStyle(dots);
        for (int first = -3; first < 4; ++first) {
            Peer::Emit(*engine, first, first, 0.5, 1);       // one dot
            Peer::Emit(*engine, first, first + 40, 3.0, 7);  // a group longer than the ring
            Peer::Emit(*engine, first, first - 1, 1e-9, 1);  // the whole ring, backwards
        }
        ExpectSound(dots, "tiny ring");
    }
    SetUpStyle(CDrawWnd::kMaxDots);
    Peer::Emit(*engine, 123, 122 + CDrawWnd::kMaxDots, 1.0 / CDrawWnd::kMaxDots, 10000);
    ExpectSound(CDrawWnd::kMaxDots, "full store");
}

INSTANTIATE_TEST_SUITE_P(Styles, EveryEmitter,
                         ::testing::Values(0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 18, 19, 20,
                                           21, 22, 23, 24, 25, 26, 27, 28, 29));

TEST_F(EmitterTest, NothingIsPlacedWithoutAnEmitterDotsOrCanvas) {
    for (int style : {1, 2, 14, 16, 17}) {
        Use(style, 10, {1100});
        EXPECT_FALSE(Peer::Emit(*engine, 0, 9, 1.0, 1)) << "style " << style;
        EXPECT_TRUE(Peer::GetDot(*engine, 3).Parked()) << "style " << style;
    }
    Use(15, 0, kDefaults.at(15));
    EXPECT_FALSE(Peer::Emit(*engine, 0, 9, 1.0, 1));
    Peer::SetupEmitter(*engine, 15, 10, 0, 0, kDefaults.at(15));
    EXPECT_FALSE(Peer::Emit(*engine, 0, 9, 1.0, 1));
    EXPECT_TRUE(Peer::GetDot(*engine, 0).Parked());
}

// A restarted "Lines" pattern feeds the line after the one it fed last.
TEST_F(EmitterTest, FigureCursorsSurviveAPatternStart) {
    Use(6, 100, kDefaults.at(6));
    EmitRun(0, 10);
    EmitRun(10, 10);
    const int cursor = Peer::LineCycle(*engine);
    ASSERT_NE(cursor, 0);
    ASSERT_TRUE(engine->StartPattern(0.2, 1, 6, 4, false));
    EXPECT_EQ(Peer::LineCycle(*engine), cursor);
}

}  // namespace
}  // namespace quovis::test
