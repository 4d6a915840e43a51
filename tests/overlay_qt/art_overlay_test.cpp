// The art overlay on an engine with a real presenter: letters laid out in lines, shrunk to the
// margins and placed in their column, read back from the draw image the engine seeds dots
// from; the clock's hands where the time says and nothing outside its circle; the zodiac's
// twelve signs around the wheel; the hourly slide seen by the engine.
#include "overlay/qt/art_overlay.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <string>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine/engine_settings.h"
#include "engine/style_table.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;

// An engine with a presenter of its own, at a fixed time, and an overlay whose wall clock the
// test sets.
struct Rig {
    explicit Rig(int width = 640, int height = 360) : clock(1000, 77), engine(clock) {
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        engine.SetCanvasSize(width, height);
        EXPECT_EQ(engine.CreateOutput(60.0), kEngineOk);
        EXPECT_TRUE(engine.Canvas()->Surface().IsDeep());
    }
    int Width() const { return engine.CanvasWidth(); }
    int Height() const { return engine.CanvasHeight(); }
    // The draw image's value at (x, y): the brightest of its three channels.
    int Level(int x, int y) const {
        const uint32_t px = engine.Canvas()->ReadPixel(x, y);
        return static_cast<int>(std::max({px & 0xFFu, px >> 8 & 0xFFu, px >> 16 & 0xFFu}));
    }
    bool Lit(int x, int y) const { return Level(x, y) > 0; }

    FixedClock clock;
    PresentedDrawWnd engine;
    WallTime now;
    ArtOverlay overlay{LetterFont{}, [this] { return now; }};
};

struct Extent {
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;  // inclusive
    int count = 0;
    void Add(int x, int y) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
        ++count;
    }
    double CentreX() const { return (left + right) / 2.0; }
};

Extent LitExtent(const Rig& rig, int firstRow = 0, int endRow = -1) {
    Extent e;
    if (endRow < 0) endRow = rig.Height();
    for (int y = firstRow; y < endRow; ++y)
        for (int x = 0; x < rig.Width(); ++x)
            if (rig.Lit(x, y)) e.Add(x, y);
    return e;
}

// Runs of rows with lit pixels: [first, end) each.
std::vector<std::pair<int, int>> LitBands(const Rig& rig) {
    std::vector<std::pair<int, int>> bands;
    for (int y = 0; y < rig.Height(); ++y) {
        bool any = false;
        for (int x = 0; x < rig.Width() && !any; ++x) any = rig.Lit(x, y);
        if (any && (bands.empty() || bands.back().second != y))
            bands.push_back({y, y + 1});
        else if (any)
            bands.back().second = y + 1;
    }
    return bands;
}

// ============================================================================================
// Letters
// ============================================================================================

TEST(ArtOverlayLetters, ThreeLineBreaksDrawFourCentredLines) {
    for (const std::u16string text :
         {u"ONE\\rTWO\\rTHREE\\rFOUR", u"ONE\rTWO\rTHREE\rFOUR", u"ONE\\rTWO\rTHREE\r\nFOUR"}) {
        Rig rig;
        const TextBlock block = rig.overlay.DrawLetters(rig.engine, text, LetterMode::Centred, 0);
        ASSERT_FALSE(block.Empty());
        const auto bands = LitBands(rig);
        ASSERT_EQ(bands.size(), 4u);
        for (const auto& [first, end] : bands) {
            const Extent e = LitExtent(rig, first, end);
            EXPECT_NEAR(e.CentreX(), rig.Width() / 2.0, rig.Width() / 50.0) << first;
        }
        // The lines stack from the top down in the order written: "THREE" is the widest.
        const Extent three = LitExtent(rig, bands[2].first, bands[2].second);
        for (int i : {0, 1, 3})
            EXPECT_GT(three.right - three.left,
                      LitExtent(rig, bands[i].first, bands[i].second).right -
                          LitExtent(rig, bands[i].first, bands[i].second).left);
        // The block holds all the letters and is centred too.
        const Extent all = LitExtent(rig);
        EXPECT_LE(block.left, all.left + 2);
        EXPECT_GE(block.right, all.right - 2);
        EXPECT_LE(block.top, all.top);
        EXPECT_GE(block.bottom, all.bottom + 1);
        EXPECT_NEAR((block.top + block.bottom) / 2.0, rig.Height() / 2.0, 1.0);
        // The letters are solid white where the engine looks for them.
        int bright = 0;
        for (int y = all.top; y <= all.bottom; ++y)
            for (int x = all.left; x <= all.right; ++x) bright += rig.Level(x, y) == 255;
        EXPECT_GT(bright, all.count / 3);
    }
}

TEST(ArtOverlayLetters, ALongMessageShrinksToTheMarginsButNotBelowFivePixels) {
    Rig shortRig, longRig, endlessRig;
    shortRig.overlay.DrawLetters(shortRig.engine, u"Hi", LetterMode::Centred, 0);
    const TextBlock fitted = longRig.overlay.DrawLetters(
        longRig.engine, u"The quick brown fox jumps over the lazy dog", LetterMode::Centred, 0);
    const Extent shortLetters = LitExtent(shortRig);
    const Extent longLetters = LitExtent(longRig);
    const int margin = longRig.Width() / 16;
    EXPECT_GE(longLetters.left, margin - 1);
    EXPECT_LE(longLetters.right, longRig.Width() - margin);
    EXPECT_GE(fitted.left, margin);
    EXPECT_LE(fitted.right, longRig.Width() - margin);
    EXPECT_LT(longLetters.bottom - longLetters.top, (shortLetters.bottom - shortLetters.top) / 2);

    // Far too long for any size: drawn at 5 pixels, running off both sides.
    std::u16string endless;
    for (int i = 0; i < 40; ++i) endless += u"Endless words ";
    const TextBlock cut =
        endlessRig.overlay.DrawLetters(endlessRig.engine, endless, LetterMode::Centred, 0);
    const Extent tiny = LitExtent(endlessRig);
    ASSERT_GT(tiny.count, 0);
    EXPECT_EQ(cut.left, 0);
    EXPECT_EQ(cut.right, endlessRig.Width());
    EXPECT_GE(tiny.bottom - tiny.top + 1, 3);
    EXPECT_LE(tiny.bottom - tiny.top + 1, 8);
}

TEST(ArtOverlayLetters, ATypedLetterLandsInItsColumn) {
    struct Case {
        const char16_t* letter;
        int column;
    };
    for (const Case& c : {Case{u"A", 0}, Case{u"W", 3}, Case{u"i", 6}, Case{u"g", 2}}) {
        Rig rig;
        const TextBlock block =
            rig.overlay.DrawLetters(rig.engine, c.letter, LetterMode::Column, c.column);
        const Extent e = LitExtent(rig);
        ASSERT_GT(e.count, 0) << c.column;
        const int margin = rig.Width() / 25;
        const double columnWidth = (rig.Width() - 2.0 * margin) / 7;
        const double boxLeft = margin + c.column * columnWidth;
        EXPECT_GT(e.CentreX(), boxLeft) << c.column;
        EXPECT_LT(e.CentreX(), boxLeft + columnWidth) << c.column;
        EXPECT_GE(e.left, margin - 1);
        EXPECT_LE(e.right, rig.Width() - margin);
        EXPECT_LE(block.left, e.left + 2);
        EXPECT_GE(block.right, e.right - 2);
    }
}

TEST(ArtOverlayLetters, NothingToDrawGivesAnEmptyBlock) {
    for (const std::u16string text : {u"", u"\\r", u"\r\r"}) {
        Rig rig;
        EXPECT_TRUE(rig.overlay.DrawLetters(rig.engine, text, LetterMode::Centred, 0).Empty());
        EXPECT_EQ(LitExtent(rig).count, 0);
    }
    // An engine without a presenter of its own.
    FixedClock clock(1000, 77);
    CDrawWnd bare(clock);
    bare.SetCanvasSize(320, 200);
    ArtOverlay overlay{LetterFont{}};
    EXPECT_TRUE(overlay.DrawLetters(bare, u"Hello", LetterMode::Centred, 0).Empty());
}

TEST(ArtOverlayLetters, TheSameTextDrawnAgainLightsTheSamePixels) {
    Rig rig;
    rig.overlay.DrawLetters(rig.engine, u"Again", LetterMode::Centred, 0);
    const Extent first = LitExtent(rig);
    rig.overlay.DrawLetters(rig.engine, u"Other", LetterMode::Column, 1);
    const TextBlock again = rig.overlay.DrawLetters(rig.engine, u"Again", LetterMode::Centred, 0);
    const Extent second = LitExtent(rig);
    EXPECT_EQ(first.count, second.count);
    EXPECT_EQ(first.left, second.left);
    EXPECT_EQ(first.top, second.top);
    EXPECT_FALSE(again.Empty());
}

// ============================================================================================
// Clock layer
// ============================================================================================

void ShowFace(Rig& rig, int face, float x = 0.5f, float y = 0.5f, float size = 0.9f) {
    ClockLayer layer;
    layer.on = true;
    layer.face = face;
    layer.x = x;
    layer.y = y;
    layer.size = size;
    rig.engine.SetClock(layer);
}

TEST(ArtOverlayClock, HandsPointWhereTheTimeSaysAndNothingLeavesTheCircle) {
    struct Dir {
        double x, y;
    };
    const Dir right{1, 0}, left{-1, 0}, up{0, -1}, down{0, 1};
    struct Case {
        int hour, minute, second;
        Dir hourHand, minuteHand, secondHand;
        std::vector<std::pair<Dir, double>> dark;  // directions and distances with no hand
    };
    const Case cases[] = {
        {3, 0, 0, right, up, up, {{left, 0.2}, {down, 0.65}, {down, 0.3}}},
        {15, 0, 0, right, up, up, {{left, 0.2}, {down, 0.65}}},
        {9, 0, 0, left, up, up, {{right, 0.2}, {right, 0.65}, {down, 0.65}}},
        {6, 30, 0, {-0.26, 0.97}, down, up, {{left, 0.65}, {{0.26, -0.97}, 0.2}, {right, 0.65}}},
        {0, 45, 50, {0.39, -0.92}, {-0.996, -0.087}, {-0.87, -0.5}, {{down, 0.2}, {right, 0.65}}},
    };
    for (const Case& c : cases) {
        for (const float cx : {0.5f, 0.3f}) {
            Rig rig(640, 360);
            ShowFace(rig, kClockFaceClock, cx, 0.55f, 0.8f);
            rig.now = {6, 21, c.hour, c.minute, c.second, 0};
            rig.overlay.PaintClockLayer(rig.engine);
            const double x0 = cx * rig.Width(), y0 = 0.55 * rig.Height();
            const double r = 0.4 * rig.Height();
            auto lit = [&](Dir d, double along) {
                return rig.Lit(static_cast<int>(x0 + d.x * along * r),
                               static_cast<int>(y0 + d.y * along * r));
            };
            const std::string at = std::to_string(c.hour) + ":" + std::to_string(c.minute) + ":" +
                                   std::to_string(c.second);
            EXPECT_TRUE(lit(c.hourHand, 0.2)) << at;
            EXPECT_TRUE(lit(c.minuteHand, 0.65)) << at;
            EXPECT_TRUE(lit(c.secondHand, 0.88)) << at;
            for (const auto& [d, along] : c.dark) EXPECT_FALSE(lit(d, along)) << at << " " << along;
            int outside = 0, inside = 0;
            for (int y = 0; y < rig.Height(); ++y) {
                for (int x = 0; x < rig.Width(); ++x) {
                    if (!rig.Lit(x, y)) continue;
                    (std::hypot(x + 0.5 - x0, y + 0.5 - y0) > r + 1.5 ? outside : inside)++;
                }
            }
            EXPECT_EQ(outside, 0) << at;
            EXPECT_GT(inside, 1000) << at;
        }
    }
}

TEST(ArtOverlayClock, TheZodiacPlacesTwelveSignsAroundTheWheel) {
    Rig rig(640, 360);
    ShowFace(rig, kClockFaceZodiac);
    rig.now = {3, 21, 12, 0, 0, 0};
    rig.overlay.PaintClockLayer(rig.engine);
    const double x0 = 0.5 * rig.Width(), y0 = 0.5 * rig.Height();
    // Lit pixels by angle around the centre, one bin a degree.
    struct Bin {
        int count = 0;
        double distance = 0.0;
        double red = 0.0, green = 0.0;
    };
    std::vector<Bin> bins(360);
    for (int y = 0; y < rig.Height(); ++y) {
        for (int x = 0; x < rig.Width(); ++x) {
            if (rig.Level(x, y) < 40) continue;
            const double dx = x + 0.5 - x0, dy = y + 0.5 - y0;
            const double deg = std::atan2(dy, dx) * 180.0 / std::numbers::pi + 360.0;
            Bin& b = bins[static_cast<size_t>(deg) % 360];
            const uint32_t px = rig.engine.Canvas()->ReadPixel(x, y);
            b.count++;
            b.distance += std::hypot(dx, dy);
            b.red += px & 0xFF;
            b.green += px >> 8 & 0xFF;
        }
    }
    // Clusters: runs of occupied bins, going once round from an empty bin.
    size_t start = 0;
    while (start < 360 && bins[start].count > 0) ++start;
    ASSERT_LT(start, 360u);
    std::vector<Bin> clusters;
    bool inside = false;
    for (size_t k = 1; k <= 360; ++k) {
        const Bin& b = bins[(start + k) % 360];
        if (b.count == 0) {
            inside = false;
            continue;
        }
        if (!inside) clusters.emplace_back();
        inside = true;
        clusters.back().count += b.count;
        clusters.back().distance += b.distance;
        clusters.back().red += b.red;
        clusters.back().green += b.green;
    }
    ASSERT_EQ(clusters.size(), 12u);
    double nearest = 1e9, farthest = 0.0;
    bool coloursDiffer = false;
    for (const Bin& c : clusters) {
        const double d = c.distance / c.count;
        nearest = std::min(nearest, d);
        farthest = std::max(farthest, d);
        coloursDiffer |= std::abs(c.red / c.count - clusters[0].red / clusters[0].count) > 20 ||
                         std::abs(c.green / c.count - clusters[0].green / clusters[0].count) > 20;
    }
    // All on one circle inside the face, apart from how each sign's ink falls in its square.
    const double signHeight = std::floor(rig.Width() / 13.0 * 0.9 + 0.5);
    EXPECT_LT(farthest - nearest, 0.35 * signHeight);
    EXPECT_LT(farthest, 0.45 * rig.Height());
    EXPECT_GT(nearest, 0.2 * rig.Height());
    EXPECT_TRUE(coloursDiffer);
}

TEST(ArtOverlayClock, BothFacesStartTheHourlySlideFiveSecondsBeforeTheHour) {
    for (int face : {kClockFaceClock, kClockFaceZodiac}) {
        for (const auto& [second, slide] : {std::pair{54, false}, std::pair{55, true}}) {
            Rig rig;
            {
                std::lock_guard<std::recursive_mutex> guard(rig.engine.EngineLock());
                EngineSettings settings;
                settings.Style = kStyleFullField;
                settings.Grains = 2000;
                rig.engine.ApplySettings(settings);
                rig.engine.ApplyCanvasSettings();
                ASSERT_TRUE(rig.engine.StartPattern(0.1, -1, -1, -1, false));
            }
            ShowFace(rig, face);
            ASSERT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseRunning);
            rig.now = {1, 1, 10, 59, second, 500};
            rig.overlay.PaintClockLayer(rig.engine);
            EXPECT_EQ(rig.engine.PatternPhase(),
                      slide ? CDrawWnd::kPhaseWaiting : CDrawWnd::kPhaseRunning)
                << "face " << face << " 10:59:" << second;
        }
    }
}

TEST(ArtOverlayClock, NothingIsPaintedWhileTheLayerIsOff) {
    Rig rig;
    rig.now = {1, 1, 10, 10, 10, 0};
    rig.overlay.PaintClockLayer(rig.engine);
    EXPECT_EQ(LitExtent(rig).count, 0);
}

}  // namespace
}  // namespace quovis
