// Drawing strokes, their text form, and the mouse pointer input.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine/strokes.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

std::u16string U16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// Every point inside the window and the count within the store.
void ExpectSaneStore(const CDrawWnd& e, const std::string& what) {
    const int n = Peer::DrawPoints(e);
    ASSERT_GE(n, 0) << what;
    ASSERT_LE(n, CDrawWnd::kMaxStrokePoints) << what;
    for (int i = 0; i < n; ++i) {
        ASSERT_GE(Peer::DrawX(e, i), 0.001f) << what << " point " << i;
        ASSERT_LE(Peer::DrawX(e, i), 0.999f) << what << " point " << i;
        ASSERT_GE(Peer::DrawY(e, i), 0.001f) << what << " point " << i;
        ASSERT_LE(Peer::DrawY(e, i), 0.999f) << what << " point " << i;
    }
    ASSERT_TRUE(std::isfinite(Peer::DrawGap(e))) << what;
    ASSERT_GT(Peer::DrawGap(e), 0.0f) << what;
}

// A list of n points as text, with coordinates drawn from a seeded generator.
std::u16string RandomListText(int n, uint32_t seed, std::vector<int>* coords = nullptr) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> unit(100, 99900);
    std::string text = std::to_string(n) + ",";
    for (int i = 0; i < 2 * n; ++i) {
        const int v = unit(gen);
        if (coords) coords->push_back(v);
        text += std::to_string(v) + ",";
    }
    return U16(text);
}

struct DrawingEngine {
    DrawingEngine() : clock(1000, 2000), engine(clock, OneWorker()) {
        engine.SetWindowSize(1000, 500);
        Peer::SetStyle(engine, kStyleDraw);
    }
    void Stroke(std::initializer_list<std::pair<int, int>> points, int keys = 0) {
        auto it = points.begin();
        engine.StrokeInput(it->first, it->second, keys, CDrawWnd::kStrokePressed);
        for (++it; it != points.end(); ++it) {
            engine.StrokeInput(it->first, it->second, 0, CDrawWnd::kStrokeMoved);
        }
        const auto last = *(points.end() - 1);
        engine.StrokeInput(last.first, last.second, 0, CDrawWnd::kStrokeReleased);
    }
    FixedClock clock;
    CDrawWnd engine;
};

// ---- Text form ---------------------------------------------------------------------------

TEST(StrokeText, ANewEngineHoldsOneCentrePoint) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    EXPECT_EQ(e.StrokeListText(), u"1,50000,50000,");
    EXPECT_EQ(Peer::DrawGap(e), 100.0f);
}

TEST(StrokeText, TheCentrePointTextLoadsOnePoint) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    ASSERT_TRUE(e.LoadStrokeList(u"3,10000,20000,30000,40000,50000,60000,"));
    EXPECT_EQ(Peer::DrawPoints(e), 3);
    EXPECT_TRUE(e.LoadStrokeList(u"1,50000,50000,"));
    EXPECT_EQ(Peer::DrawPoints(e), 1);
    EXPECT_EQ(Peer::DrawX(e, 0), 0.5f);
    EXPECT_EQ(Peer::DrawY(e, 0), 0.5f);
}

TEST(StrokeText, WrittenAndReadAgainGivesTheSamePoints) {
    for (uint32_t seed : {1u, 2u, 97u, 4096u}) {
        FixedClock clock(1000, 2000);
        CDrawWnd e(clock, OneWorker());
        std::vector<int> coords;
        const std::u16string text = RandomListText(500, seed, &coords);
        ASSERT_TRUE(e.LoadStrokeList(text)) << "seed " << seed;
        ASSERT_EQ(Peer::DrawPoints(e), 500) << "seed " << seed;
        for (int i = 0; i < 500; ++i) {
            ASSERT_NEAR(Peer::DrawX(e, i), coords[2 * i] / 100000.0, 1e-7) << "seed " << seed;
            ASSERT_NEAR(Peer::DrawY(e, i), coords[2 * i + 1] / 100000.0, 1e-7) << "seed " << seed;
        }
        // Writing it out gives back the very text, so saving and loading never creeps.
        EXPECT_EQ(e.StrokeListText(), text) << "seed " << seed;
    }
}

TEST(StrokeText, DrawnPointsSurviveTheirTextToWithinTheTextsResolution) {
    for (uint32_t seed : {5u, 6u, 7u}) {
        DrawingEngine d;
        d.engine.SetWindowSize(1921, 1081);  // fractions that are not round numbers
        std::mt19937 gen(seed);
        std::uniform_int_distribution<int> x(1, 1920), y(1, 1080);
        d.engine.StrokeInput(x(gen), y(gen), 0, CDrawWnd::kStrokePressed);
        for (int i = 0; i < 300; ++i) {
            d.engine.StrokeInput(x(gen), y(gen), 0, CDrawWnd::kStrokeMoved);
        }
        d.engine.StrokeInput(x(gen), y(gen), 0, CDrawWnd::kStrokeReleased);
        const int n = Peer::DrawPoints(d.engine);
        ASSERT_EQ(n, 302) << "seed " << seed;
        std::vector<float> xs, ys;
        for (int i = 0; i < n; ++i) {
            xs.push_back(Peer::DrawX(d.engine, i));
            ys.push_back(Peer::DrawY(d.engine, i));
        }
        const float gap = Peer::DrawGap(d.engine);
        const std::u16string text = d.engine.StrokeListText();

        CDrawWnd other(d.clock, OneWorker());
        ASSERT_TRUE(other.LoadStrokeList(text)) << "seed " << seed;
        ASSERT_EQ(Peer::DrawPoints(other), n);
        for (int i = 0; i < n; ++i) {
            ASSERT_NEAR(Peer::DrawX(other, i), xs[i], 1e-5) << "seed " << seed << " point " << i;
            ASSERT_NEAR(Peer::DrawY(other, i), ys[i], 1e-5) << "seed " << seed << " point " << i;
        }
        EXPECT_NEAR(Peer::DrawGap(other), gap, 1e-4) << "seed " << seed;
        EXPECT_EQ(other.StrokeListText(), text) << "seed " << seed;
    }
}

TEST(StrokeText, HostileTextsLoadASaneBoundedList) {
    std::string longDigits(100000, '9');
    std::string manyCommas(50000, ',');
    const std::vector<std::pair<std::string, int>> cases = {
        {"", 0},
        {",", 0},
        {"garbage", 0},
        {"99999999999999999999999,1,2,", 1},  // huge count, one pair present
        {"-5,100,200,", 0},                   // negative count
        {"5000,", 0},                         // count with no points at all
        {"3,10000,20000", 1},                 // cut short
        {"2,abc,def,1e5,nan,", 2},            // garbage numbers read as 0
        {"1,-50000,250000,", 1},              // outside the window
        {"1,inf,-inf,", 1},                   //
        {"1," + longDigits + "," + longDigits + ",", 1},
        {"4," + manyCommas, 4},        // empty tokens read as 0
        {"2,50000\n,50000,1,2,", 2},   // a line end ends a token
        {"1,\x01\x02\x03,77777,", 1},  // control characters
        {"  7  ,1,2,3,4,5,6,7,8,9,10,11,12,13,14,", 7},
        {"+2,+100,-0,5,5,", 2},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        FixedClock clock(1000, 2000);
        CDrawWnd e(clock, OneWorker());
        e.LoadStrokeList(U16(cases[i].first));
        const std::string what = "case " + std::to_string(i);
        ASSERT_NO_FATAL_FAILURE(ExpectSaneStore(e, what));
        EXPECT_EQ(Peer::DrawPoints(e), cases[i].second) << what;
    }
}

TEST(StrokeText, IncompleteOrGarbledTextsAreReportedButWellFormedOnesAreNot) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    EXPECT_TRUE(e.LoadStrokeList(u"0,"));
    EXPECT_TRUE(e.LoadStrokeList(u"2,1,2,3,4,"));
    EXPECT_TRUE(e.LoadStrokeList(u"2,1,2,3,4"));  // no final comma
    EXPECT_FALSE(e.LoadStrokeList(u""));
    EXPECT_FALSE(e.LoadStrokeList(u"3,1,2,3,4,"));
    EXPECT_FALSE(e.LoadStrokeList(u"2,1,x,3,4,"));
    EXPECT_FALSE(e.LoadStrokeList(u"-1,"));
}

TEST(StrokeText, ACountAboveTheStoreIsLimitedToIt) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    std::u16string text = RandomListText(5000, 3);
    EXPECT_FALSE(e.LoadStrokeList(text));
    EXPECT_EQ(Peer::DrawPoints(e), CDrawWnd::kMaxStrokePoints);
    ExpectSaneStore(e, "5000 points");
}

// ---- Drawing with the mouse --------------------------------------------------------------

TEST(StrokeInput, APlainPressStartsANewLine) {
    DrawingEngine d;
    d.Stroke({{100, 100}, {200, 150}, {300, 200}});
    EXPECT_EQ(Peer::DrawPoints(d.engine), 4);  // press, two moves, release
    EXPECT_FLOAT_EQ(Peer::DrawX(d.engine, 0), 0.1f);
    EXPECT_FLOAT_EQ(Peer::DrawY(d.engine, 0), 0.2f);
    d.Stroke({{900, 400}, {800, 300}});
    EXPECT_EQ(Peer::DrawPoints(d.engine), 3);
    EXPECT_FLOAT_EQ(Peer::DrawX(d.engine, 0), 0.9f);  // the earlier points are gone
}

TEST(StrokeInput, ShiftOrCtrlAppendsAStrokeToTheSameList) {
    DrawingEngine d;
    d.Stroke({{100, 100}, {200, 150}});
    d.Stroke({{500, 250}, {600, 300}}, CDrawWnd::kKeyShift);
    EXPECT_EQ(Peer::DrawPoints(d.engine), 6);
    EXPECT_FLOAT_EQ(Peer::DrawX(d.engine, 0), 0.1f);
    EXPECT_FLOAT_EQ(Peer::DrawX(d.engine, 3), 0.5f);
    d.Stroke({{700, 100}}, CDrawWnd::kKeyControl);
    EXPECT_EQ(Peer::DrawPoints(d.engine), 8);
}

TEST(StrokeInput, AnAppendingPressIsIgnoredWhenTheStoreIsNearlyFull) {
    DrawingEngine d;
    ASSERT_TRUE(d.engine.LoadStrokeList(RandomListText(4094, 9)));
    d.engine.StrokeInput(500, 250, CDrawWnd::kKeyShift, CDrawWnd::kStrokePressed);
    d.engine.StrokeInput(510, 250, 0, CDrawWnd::kStrokeMoved);
    d.engine.StrokeInput(520, 250, 0, CDrawWnd::kStrokeReleased);
    EXPECT_EQ(Peer::DrawPoints(d.engine), 4094);

    // With room for one more press, moves stop at 4094 and the release may take the 4095th.
    ASSERT_TRUE(d.engine.LoadStrokeList(RandomListText(4093, 9)));
    d.engine.StrokeInput(500, 250, CDrawWnd::kKeyShift, CDrawWnd::kStrokePressed);
    for (int i = 0; i < 10; ++i) {
        d.engine.StrokeInput(500 + i, 250, 0, CDrawWnd::kStrokeMoved);
    }
    EXPECT_EQ(Peer::DrawPoints(d.engine), 4094);
    d.engine.StrokeInput(600, 250, 0, CDrawWnd::kStrokeReleased);
    EXPECT_EQ(Peer::DrawPoints(d.engine), 4095);
    ExpectSaneStore(d.engine, "nearly full");

    // A plain press still starts over.
    d.Stroke({{100, 100}});
    EXPECT_EQ(Peer::DrawPoints(d.engine), 2);
}

TEST(StrokeInput, PointsOutsideOrOnTheBorderAreNotStored) {
    DrawingEngine d;
    d.engine.StrokeInput(500, 250, 0, CDrawWnd::kStrokePressed);
    for (auto [x, y] : {std::pair{0, 250},
                        {1000, 250},
                        {500, 0},
                        {500, 500},
                        {-20, 100},
                        {1500, 100},
                        {400, 9999}}) {
        d.engine.StrokeInput(x, y, 0, CDrawWnd::kStrokeMoved);
    }
    d.engine.StrokeInput(1, 1, 0, CDrawWnd::kStrokeMoved);  // just inside
    d.engine.StrokeInput(1200, 250, 0, CDrawWnd::kStrokeReleased);
    EXPECT_EQ(Peer::DrawPoints(d.engine), 2);
    ExpectSaneStore(d.engine, "border");
    EXPECT_FLOAT_EQ(Peer::DrawX(d.engine, 1), 0.001f);
    EXPECT_FLOAT_EQ(Peer::DrawY(d.engine, 1), 0.002f);
}

TEST(StrokeInput, OtherStylesIgnorePressesAndKeepTheDrawing) {
    DrawingEngine d;
    d.Stroke({{100, 100}, {200, 100}});
    Peer::SetStyle(d.engine, 3);
    d.Stroke({{700, 300}, {800, 300}, {900, 300}});
    EXPECT_EQ(Peer::DrawPoints(d.engine), 3);
    EXPECT_FLOAT_EQ(Peer::DrawX(d.engine, 0), 0.1f);
}

TEST(StrokeInput, StrayInputAndAWindowOfNoSizeStoreNothing) {
    DrawingEngine d;
    d.engine.StrokeInput(300, 300, 0, CDrawWnd::kStrokeMoved);
    d.engine.StrokeInput(300, 300, 0, CDrawWnd::kStrokeReleased);
    d.engine.StrokeInput(300, 300, 0, 17);     // no such phase
    EXPECT_EQ(Peer::DrawPoints(d.engine), 1);  // the start-up centre point

    d.engine.SetWindowSize(0, 0);
    d.Stroke({{0, 0}, {10, 10}});
    EXPECT_EQ(Peer::DrawPoints(d.engine), 0);
    ExpectSaneStore(d.engine, "no window");
}

TEST(UpdateDrawGap, TwentyPointsOrFewerKeepTheDefault) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    ASSERT_TRUE(e.LoadStrokeList(RandomListText(20, 4)));
    EXPECT_EQ(Peer::DrawGap(e), 100.0f);
    ASSERT_TRUE(e.LoadStrokeList(RandomListText(21, 4)));
    EXPECT_LT(Peer::DrawGap(e), 2.0f);
}

TEST(UpdateDrawGap, IsTheMeanSpacingOfThePoints) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    // 31 points one hundredth apart along a line.
    std::string text = "31,";
    for (int i = 0; i < 31; ++i) text += std::to_string(10000 + 1000 * i) + ",50000,";
    ASSERT_TRUE(e.LoadStrokeList(U16(text)));
    EXPECT_NEAR(Peer::DrawGap(e), 0.01, 1e-6);
    // A zig-zag of 3-4-5 triangles: every step is 0.005 long.
    text = "41,";
    for (int i = 0; i < 41; ++i) {
        text += std::to_string(10000 + 300 * i) + "," + std::to_string(i % 2 ? 50400 : 50000) + ",";
    }
    ASSERT_TRUE(e.LoadStrokeList(U16(text)));
    EXPECT_NEAR(Peer::DrawGap(e), 0.005, 1e-6);
}

TEST(StrokeInput, DrawingWhileAnotherThreadReadsTheListIsSafe) {
    // The window thread draws while the frame thread writes and reads the text form; run
    // under ThreadSanitizer this shows the store is never read half-written.
    DrawingEngine d;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) {
            const std::u16string text = d.engine.StrokeListText();
            ASSERT_FALSE(text.empty());
            ASSERT_EQ(text.back(), u',');
        }
    });
    for (int stroke = 0; stroke < 200; ++stroke) {
        d.engine.StrokeInput(10 + stroke, 20, 0, CDrawWnd::kStrokePressed);
        for (int i = 0; i < 30; ++i) {
            d.engine.StrokeInput(10 + stroke + i, 20 + i, 0, CDrawWnd::kStrokeMoved);
        }
        d.engine.StrokeInput(50, 60, 0, CDrawWnd::kStrokeReleased);
    }
    done = true;
    reader.join();
    EXPECT_EQ(Peer::DrawPoints(d.engine), 32);
}

// ---- Mouse pointer -----------------------------------------------------------------------

TEST(MouseInput, WithInteractionThePointerBecomesTheCursorInCanvasPixels) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(960, 540);
    e.SetWindowSize(1920, 1080);
    e.SetInteraction(true);
    const uint32_t serial = e.InputSerial();
    e.MouseInput(100, 100);  // the first move switches the cursor on
    e.MouseInput(960, 270);
    EXPECT_FLOAT_EQ(Peer::CursorX(e), 480.0f);
    EXPECT_FLOAT_EQ(Peer::CursorY(e), 135.0f);
    EXPECT_EQ(e.InputSerial(), serial + 2);
    e.MouseInput(-1, -1);
    EXPECT_EQ(Peer::CursorX(e), -1.0f);
    EXPECT_EQ(Peer::CursorY(e), -1.0f);
    e.MouseInput(1920, 0);
    EXPECT_FLOAT_EQ(Peer::CursorX(e), 960.0f);
}

TEST(MouseInput, WithoutInteractionThereIsNoCursor) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.SetCanvasSize(960, 540);
    e.SetWindowSize(960, 540);
    for (int i = 0; i < 5; ++i) e.MouseInput(100 + i, 100);
    EXPECT_EQ(Peer::CursorX(e), -1.0f);

    e.SetInteraction(true);
    e.MouseInput(10, 10);
    e.MouseInput(20, 30);
    EXPECT_FLOAT_EQ(Peer::CursorX(e), 20.0f);
    e.SetInteraction(false);  // switching off drops the cursor at once
    EXPECT_EQ(Peer::CursorX(e), -1.0f);
    e.MouseInput(40, 40);
    e.MouseInput(50, 50);
    EXPECT_EQ(Peer::CursorX(e), -1.0f);

    e.SetInteraction(true);  // a window of no size leaves the cursor alone
    e.SetWindowSize(0, 0);
    e.MouseInput(10, 10);
    e.MouseInput(20, 20);
    EXPECT_EQ(Peer::CursorX(e), -1.0f);

    // Moves while drawing count as pointer activity too.
    Peer::SetStyle(e, kStyleDraw);
    const uint32_t serial = e.InputSerial();
    e.StrokeInput(10, 10, 0, CDrawWnd::kStrokeMoved);
    EXPECT_EQ(e.InputSerial(), serial + 1);
}

// The next few uniform draws of an engine that was seeded with 5 at clock 1000 and then,
// unless stirAt is 0, felt a slight pointer move at that clock time.
std::vector<double> DrawsAfterStir(uint32_t stirAt) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    e.Seed(5);
    if (stirAt != 0) {
        clock.ms = stirAt;
        clock.tick = stirAt + 1000;
        const uint32_t serial = e.InputSerial();
        e.PointerMovedSlightly();
        EXPECT_EQ(e.InputSerial(), serial + 1) << "counts as pointer activity";
    }
    std::vector<double> draws;
    for (int i = 0; i < 4; ++i) draws.push_back(e.RandomUniform());
    return draws;
}

TEST(PointerMovedSlightly, StirsTheRandomGeneratorWithTheTime) {
    const std::vector<double> still = DrawsAfterStir(0);
    EXPECT_EQ(DrawsAfterStir(0), still) << "the seeded sequence repeats";
    const std::vector<double> early = DrawsAfterStir(60000);
    const std::vector<double> late = DrawsAfterStir(60017);
    EXPECT_NE(early, still);
    EXPECT_NE(late, still);
    EXPECT_NE(early, late) << "another moment, another sequence";
}

TEST(TypedText, ACharacterWaitsForTheOverlayOnceInItsStyle) {
    FixedClock clock(1000, 2000);
    CDrawWnd e(clock, OneWorker());
    std::u16string text;
    int style = -1;
    EXPECT_FALSE(e.TakeTypedText(text, style)) << "nothing typed yet";
    e.SetTypedText(U'Q', 3);
    ASSERT_TRUE(e.TakeTypedText(text, style));
    EXPECT_EQ(text, u"Q");
    EXPECT_EQ(style, 3);
    EXPECT_FALSE(e.TakeTypedText(text, style)) << "taken once";
    // A character beyond the 16-bit range travels as a surrogate pair; styles stay 0..6.
    e.SetTypedText(U'\U0001F600', 9);
    ASSERT_TRUE(e.TakeTypedText(text, style));
    EXPECT_EQ(text, u"\U0001F600");
    EXPECT_EQ(style, CDrawWnd::kTypedTextStyles - 1);
    // A lone surrogate or NUL is nothing that can be shown.
    e.SetTypedText(0xD800, 0);
    e.SetTypedText(0, 0);
    EXPECT_FALSE(e.TakeTypedText(text, style));
}

}  // namespace
}  // namespace quovis
