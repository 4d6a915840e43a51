// The frame step end to end on an engine with a real canvas: start-up frames, titles,
// emission counts, the dying phase, slide changes, and bands.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "engine/style_table.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"
#include "tests/present/frame_rig.h"

namespace quovis {

namespace {

using Peer = EngineTestAccess;
using Rig = test::FrameRig;

TEST(FrameStep, NoFrameUntilTheStartUpFadeIsOver) {
    Rig rig(kStyleFullField);
    EXPECT_FALSE(rig.Step(0));   // first call: records the deadline
    EXPECT_FALSE(rig.Step(50));  // still fading
    EXPECT_FALSE(rig.Step(40));
    EXPECT_TRUE(rig.Step(20));  // past the deadline
    EXPECT_TRUE(rig.Step());
}

// Counts the full-screen pacing calls (which come after drawing).
class CountingPacer final : public FramePacer {
  public:
    bool ShouldDraw(CDrawWnd&) override { return ++calls > 0; }
    void ResetPacing(CDrawWnd&) override {}
    void SlowDownCheck(CDrawWnd&) override {}
    int calls = 0;
};

TEST(FrameStep, ATitleOnScreenHoldsTheDotsStill) {
    Rig rig(kStyleFullField, 4000);
    test::RectLetters overlay;
    CountingPacer pacer;
    FrameHooks hooks;
    hooks.overlay = &overlay;
    hooks.pacer = &pacer;
    rig.engine.SetFrameHooks(hooks);
    rig.engine.SetSaverMode(true);
    rig.engine.SetMessagesOn(true);
    rig.engine.SetSlideDuration(2, 2);
    rig.Start();
    const uint32_t start = rig.clock.ms;
    rig.StepTo(start, 2001);  // the slide interval runs out: a message follows
    const uint32_t titleStart = rig.clock.ms;
    rig.engine.SetSlideDuration(60, 60);  // no further message in this test
    for (int i = 0; i < 100 && rig.engine.TitlePhase() != CDrawWnd::kTitleShown; ++i) rig.Step();
    ASSERT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleShown);
    const auto shown = Peer::Positions(rig.engine);
    const int paced = pacer.calls;
    EXPECT_TRUE(rig.Step());
    EXPECT_EQ(pacer.calls, paced + 1) << "a title frame is paced like any other";
    rig.StepTo(titleStart, 5999);  // every frame still shows the title
    EXPECT_EQ(Peer::Positions(rig.engine), shown);
    EXPECT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleShown);
    EXPECT_TRUE(rig.Step(2));  // six seconds after the title began it lets go
    EXPECT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleIdle);
    EXPECT_NE(Peer::Positions(rig.engine), shown);
}

TEST(FrameStep, AFlowRateAbove100EmitsSeveralGroupsPerEvent) {
    // "Fountain": 20 dots per group. At flow rate 100 one group a frame; at 120 the groups
    // per event grow with the dot count: ((120 - 100) / 20)^2 * (N / G / 16) of them.
    const int dots = 20000;
    Rig at100(kStyleFountain, dots, 1, 100);
    Rig at120(kStyleFountain, dots, 1, 120);
    for (Rig* rig : {&at100, &at120}) {
        rig->Start();
        ASSERT_EQ(Peer::GroupSize(rig->engine), 20);
    }
    const int before100 = Peer::LivingDots(at100.engine);
    const int before120 = Peer::LivingDots(at120.engine);
    ASSERT_TRUE(at100.Step());
    ASSERT_TRUE(at120.Step());
    EXPECT_EQ(Peer::LivingDots(at100.engine) - before100, 20);
    EXPECT_EQ(Peer::LivingDots(at120.engine) - before120, 20 * (dots / 20 / 16));
}

TEST(FrameStep, LargeGroupsAtAHighFlowRateStillEmit) {
    // So few dots that N / G / 16 rounds to nothing: a faster flow must not stop emission.
    Rig rig(kStyleFountain, 200, 1, 120);
    rig.Start();
    const int before = Peer::LivingDots(rig.engine);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(rig.Step());
    EXPECT_GT(Peer::LivingDots(rig.engine), before);
}

TEST(FrameStep, ADyingRunThatMeetsAParkedDotEndsTheSlideOnTheNextFrame) {
    Rig rig(kStyleFountain, 1000, 1, 100);
    rig.Start();
    Peer::Park(rig.engine, 0, 999);
    Peer::PlaceAt100(rig.engine, 0, 9);  // ten living dots, then parked ones
    Peer::SetEmitCursor(rig.engine, 0);
    rig.engine.SetSlideshow(true);
    rig.engine.RequestSlideChange();
    ASSERT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseDying);
    ASSERT_TRUE(rig.Step());  // parks 0..9, meets dot 10 already parked
    EXPECT_EQ(Peer::LivingDots(rig.engine), 0);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseDying);
    rig.Step();  // well before the 2000 ms deadline
    EXPECT_NE(rig.engine.PatternPhase(), CDrawWnd::kPhaseDying);
}

TEST(FrameStep, ADyingRunStartingOnAParkedDotChangesNothing) {
    Rig rig(kStyleFountain, 1000, 1, 100);
    rig.Start();
    Peer::Park(rig.engine, 0, 999);
    Peer::PlaceAt100(rig.engine, 100, 199);
    Peer::SetEmitCursor(rig.engine, 0);
    rig.engine.SetSlideshow(true);
    rig.engine.RequestSlideChange();
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(Peer::LivingDots(rig.engine), 100);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseDying);
}

TEST(FrameStep, ASlideChangeWithoutASelectorStartsThePatternAfresh) {
    Rig rig(kStyleFullField);
    rig.Start();
    rig.engine.SetSlideshow(true);
    const double seed = Peer::PatternSeed(rig.engine);
    rig.engine.RequestSlideChange();
    rig.Step(2100);  // past the dying deadline: switching
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseRunning);
    EXPECT_NE(Peer::PatternSeed(rig.engine), seed);
    EXPECT_TRUE(rig.Step());
}

// A slideshow source that may apply new colours, with a history it never walks.
class FakeSelector final : public PatternSelector {
  public:
    bool SelectNext(CDrawWnd& engine) override {
        ++selects;
        EngineSettings s;
        s.Style = kStyleFullField;
        s.Grains = 20000;
        s.ColorBright = 1700;
        s.Pastels = 40;
        if (applies) engine.ApplySettings(s);
        return applies;
    }
    bool NavigateHistory(CDrawWnd&, int) override { return false; }
    bool HasHistory(int) const override { return back; }
    bool applies = false;
    bool back = false;
    int selects = 0;
};

struct SlideRig : Rig {
    SlideRig(bool slideshow, FakeSelector* selector) : Rig(kStyleFullField) {
        FrameHooks hooks;
        hooks.selector = selector;
        engine.SetFrameHooks(hooks);
        engine.SetColourBright(0.9);
        engine.SetPastels(0.6, false);
        engine.SetSlideshow(slideshow);
        Start();
    }
    // Steps through the dying phase and the switch back to running.
    void FinishSlideChange() {
        Step(2100);  // past the dying deadline
        for (int i = 0; i < 30 && engine.PatternPhase() != CDrawWnd::kPhaseRunning; ++i) Step(50);
        ASSERT_EQ(engine.PatternPhase(), CDrawWnd::kPhaseRunning);
    }
};

TEST(FrameStep, TheSlideEndsDimmedAndItsColoursComeBackUnlessNewSettingsArrive) {
    struct Case {
        const char* name;
        bool slideshow, selectorApplies, applyWhileDying;
        double bright, pastel;  // afterwards
    };
    const Case cases[] = {
        {"slideshow off", false, false, false, 0.9, 0.6},
        {"slideshow without a source", true, false, false, 0.9, 0.6},
        {"slideshow with new settings", true, true, false, 1.7, 0.04},
        {"slideshow off, settings while dying (E)", false, true, true, 1.7, 0.04},
    };
    for (const Case& c : cases) {
        FakeSelector selector;
        selector.applies = c.selectorApplies;
        SlideRig rig(c.slideshow, &selector);
        rig.engine.RequestSlideChange();
        EXPECT_EQ(rig.engine.ColourBright(), 0.005) << c.name;
        EXPECT_EQ(rig.engine.Pastels(), 0.25) << c.name;
        if (c.applyWhileDying) selector.SelectNext(rig.engine);
        rig.FinishSlideChange();
        EXPECT_DOUBLE_EQ(rig.engine.ColourBright(), c.bright) << c.name;
        EXPECT_DOUBLE_EQ(rig.engine.Pastels(), c.pastel) << c.name;
    }
}

TEST(FrameStep, BackWithAnEmptyHistoryIsIgnored) {
    FakeSelector selector;
    for (int back : {-1, 0, 1}) {  // no selector, an empty history, a history
        selector.back = back > 0;
        SlideRig rig(true, back < 0 ? nullptr : &selector);
        EXPECT_EQ(rig.engine.RequestSlideChange(-1), back > 0) << back;
        EXPECT_EQ(rig.engine.ColourBright(), back > 0 ? 0.005 : 0.9) << back;
        EXPECT_TRUE(rig.engine.RequestSlideChange(+1)) << "forward falls back to the next slide";
    }
}

TEST(FrameStep, ARateOfZeroEmitsNothingAndLeavesTheCounter) {
    Rig rig(kStyleBigBang);  // "Flow Rate" 0 by default
    rig.Start();
    Peer::SetStartParked(rig.engine, true);
    const int counter = Peer::EmitCounter(rig.engine);
    const auto before = Peer::Positions(rig.engine);
    Peer::EmitDots(rig.engine);
    EXPECT_EQ(Peer::EmitCounter(rig.engine), counter);
    EXPECT_EQ(Peer::Positions(rig.engine), before);
}

TEST(FrameStep, BelowTheCeilingEmissionOnlyGrowsThePopulation) {
    Rig rig(kStyleFountain, 1000, 1, 100);
    rig.Start();
    Peer::SetDotCounts(rig.engine, 100, 1000);
    const auto before = Peer::Positions(rig.engine);
    Peer::EmitDots(rig.engine);
    EXPECT_EQ(Peer::Dots(rig.engine), 120);
    const auto after = Peer::Positions(rig.engine);
    // The first 100 dots were not re-emitted.
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 100, after.begin()));
}

TEST(FrameStep, OneBandAndTwoBandsMoveTheDotsAlike) {
    for (int style : {kStyleFullField, kStyleFountain, kStyleTwirls}) {
        Rig one(style, 20000, 1);
        Rig two(style, 20000, 2);
        one.Start();
        two.Start();
        for (int i = 0; i < 60; ++i) {
            ASSERT_TRUE(one.Step());
            ASSERT_TRUE(two.Step());
        }
        EXPECT_EQ(Peer::Positions(one.engine), Peer::Positions(two.engine)) << "style " << style;
    }
}

}  // namespace
}  // namespace quovis
