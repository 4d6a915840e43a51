// The text window's owner: which lines show, how visible they are, and when the view hears
// about it.
#include "present/text_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <thread>

namespace quovis {
namespace {

class CountingView final : public TextWindowView {
  public:
    void ShowText(const TextShown& shown) override {
        last = shown;
        ++calls;
    }
    TextShown last;
    int calls = 0;
};

TEST(TextWindow, SlideshowTitleEnvelope) {
    struct Case {
        double ms;
        int alpha;
    };
    // In from 0.5 s to 1.5 s along a square, held to 8 s, out by 12 s.
    for (const Case& c :
         {Case{0, 0}, Case{400, 0}, Case{1000, 63}, Case{1500, 255}, Case{5000, 255},
          Case{8000, 255}, Case{11000, 63}, Case{12000, 0}, Case{30000, 0}}) {
        TextWindow text;
        text.SetTitleLines(u"\u201CSilk\u201D", u"Ann", u"Oslo");
        text.OnFrame(c.ms, false);
        EXPECT_EQ(text.Shown().alpha, c.alpha) << c.ms << " ms";
        EXPECT_EQ(text.Shown().colour,
                  c.alpha > 0 ? TextWindow::kShownColour : TextWindow::kHiddenColour);
    }
}

TEST(TextWindow, InfoFadesInHoldsAndOutByTheFrame) {
    TextWindow text;
    text.ShowInfo(u"", u"No Audio Present", u"", 6.0);
    int frames = 0;
    auto runTo = [&](int frame) {
        for (; frames < frame; ++frames) text.OnFrame(-1.0, false);
        return text.Shown().alpha;
    };
    EXPECT_NEAR(runTo(50), 127, 1) << "half way in";
    EXPECT_NEAR(runTo(100), 255, 1);
    EXPECT_NEAR(runTo(500), 255, 1) << "held";
    EXPECT_NEAR(runTo(550), 127, 1) << "half way out";
    EXPECT_EQ(runTo(600), 0);
    EXPECT_EQ(text.Shown().lines[1], u"No Audio Present");
}

TEST(TextWindow, InfoShowsOverTheTitleAndTheTitleComesBack) {
    TextWindow text;
    text.SetTitleLines(u"\u201CSilk\u201D", u"Ann", u"Oslo");
    text.OnFrame(3000.0, false);
    EXPECT_EQ(text.Shown().lines[0], u"\u201CSilk\u201D");

    text.ShowInfo(u"", u"", u"59.9 fps (gdi)", 1.0);
    text.OnFrame(3016.0, false);
    EXPECT_EQ(text.Shown().lines, (TextLines{u"", u"", u"59.9 fps (gdi)"}));
    EXPECT_GT(text.Shown().alpha, 240) << "the rate shows, not the title's envelope";

    for (int i = 0; i < 120; ++i) text.OnFrame(3016.0 + i, false);
    EXPECT_EQ(text.Shown().lines[0], u"\u201CSilk\u201D") << "the title lines were kept";
    EXPECT_EQ(text.Shown().alpha, 255);
}

TEST(TextWindow, WhatHidesTheWindow) {
    struct Case {
        const char* name;
        bool showTitles;
        bool letters;
        double infoFade;
        int alpha;
    };
    for (const Case& c : {
             Case{"titles on", true, false, 0.0, 255},
             Case{"titles off", false, false, 0.0, 0},
             Case{"letters made of dots", true, true, 0.0, 0},
             Case{"letters hide info too", true, true, 3.0, 0},
             Case{"info shows with titles off", false, false, 3.0, 255},
         }) {
        CountingView view;
        TextWindow text(&view);
        text.SetShowTitles(c.showTitles);
        text.SetTitleLines(u"a", u"b", u"c");
        if (c.infoFade > 0.0) text.ShowInfo(u"x", u"y", u"z", c.infoFade);
        text.OnFrame(5000.0, c.letters);
        EXPECT_EQ(text.Shown().alpha, c.alpha) << c.name;
        EXPECT_EQ(view.last.alpha, c.alpha) << c.name;
    }
}

TEST(TextWindow, TheViewHearsOnlyOfChanges) {
    CountingView view;
    TextWindow text(&view);
    text.SetTitleLines(u"a", u"b", u"c");
    for (int i = 0; i < 10; ++i) text.OnFrame(5000.0, false);
    EXPECT_EQ(view.calls, 1) << "a steady title is shown once";
    const uint32_t serial = view.last.serial;

    text.SetTitleLines(u"a", u"b", u"c");
    text.OnFrame(5000.0, false);
    EXPECT_EQ(view.calls, 1) << "the same lines again change nothing";

    text.SetTitleLines(u"d", u"b", u"c");
    text.OnFrame(5000.0, false);
    EXPECT_EQ(view.calls, 2);
    EXPECT_NE(view.last.serial, serial) << "new lines are repainted";
    EXPECT_EQ(view.last.lines[0], u"d");
}

TEST(TextWindow, BadInputIsIgnored) {
    TextWindow text;
    text.SetTextLine(-1, u"x");
    text.SetTextLine(3, u"x");
    text.SetInfoFade(std::numeric_limits<double>::quiet_NaN());
    text.OnFrame(std::numeric_limits<double>::quiet_NaN(), false);
    EXPECT_EQ(text.Shown().lines, TextLines{});
    EXPECT_EQ(text.Shown().alpha, 0);
}

TEST(TextWindow, LinesFromAnotherThreadWhileFramesRun) {
    // The audio capture thread writes its status while the frame thread fades the window.
    TextWindow text;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            text.ShowInfo(u"", i % 2 ? u"No Audio Present" : u"Listening", u"", 6.0);
        }
        done = true;
    });
    int frames = 0;
    while (!done.load()) {
        text.OnFrame(-1.0, false);
        ++frames;
    }
    writer.join();
    text.OnFrame(-1.0, false);
    const std::u16string line = text.Shown().lines[1];
    EXPECT_TRUE(line == u"No Audio Present" || line == u"Listening") << frames;
}

}  // namespace
}  // namespace quovis
