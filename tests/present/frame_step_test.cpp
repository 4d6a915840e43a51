// The frame step end to end on an engine with a real canvas: start-up frames, titles,
// emission counts, the dying phase, slide changes, and bands.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "engine/style_table.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"

namespace quovis {

namespace {

using Peer = EngineTestAccess;
using test::FixedClock;

struct Rig {
    explicit Rig(int style, int grains = 20000, int bands = 1, int flowRate = -1)
        : clock(1000, 77), engine(clock, Options(bands), FlipperOptions{bands}) {
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        engine.SetCanvasSize(320, 200);
        engine.SetFullCount(true);
        EXPECT_EQ(engine.CreateOutput(60.0), kEngineOk);
        engine.Seed(12345);
        EngineSettings s;
        s.Style = style;
        s.Grains = grains;
        if (flowRate >= 0) {
            // Every parameter at its default but the flow rate.
            const StyleInfo* info = GetStyle(style);
            s.ParamCount = info->paramCount;
            for (int i = 0; i < info->paramCount; ++i) {
                s.Param[i] = static_cast<float>(info->params[i].defaultValue);
                if (info->params[i].role == kRoleFlowRate)
                    s.Param[i] = static_cast<float>(flowRate);
            }
        }
        engine.ApplySettings(s);
        engine.ApplyCanvasSettings();
        EXPECT_TRUE(engine.StartPattern(0.1, -1, -1, -1, false));
    }
    static EngineOptions Options(int bands) {
        EngineOptions o;
        o.workerCount = bands;
        return o;
    }
    bool Step(uint32_t advanceMs = 17) {
        clock.ms += advanceMs;
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        return engine.StepFrame();
    }
    // Steps past the start-up fade.
    void Start() {
        for (int i = 0; i < 100 && !Step(); ++i) {
        }
    }
    FixedClock clock;
    PresentedDrawWnd engine;
};

TEST(FrameStep, NoFrameUntilTheStartUpFadeIsOver) {
    Rig rig(kStyleFullField);
    EXPECT_FALSE(rig.Step(0));   // first call: records the deadline
    EXPECT_FALSE(rig.Step(50));  // still fading
    EXPECT_FALSE(rig.Step(40));
    EXPECT_TRUE(rig.Step(20));  // past the deadline
    EXPECT_TRUE(rig.Step());
}

class TitleOverlay final : public FrameOverlay {
  public:
    bool ShowStartImage(CDrawWnd&, double) override { return false; }
    TextBlock DrawLetters(CDrawWnd&, std::u16string_view, LetterMode, int) override { return {}; }
    void PaintClockLayer(CDrawWnd&) override {}
    bool WindowCovered(CDrawWnd&) override { return false; }
    int title = 0;
};

TEST(FrameStep, ATitleOnScreenHoldsTheDotsStill) {
    Rig rig(kStyleFullField);
    TitleOverlay overlay;
    FrameHooks hooks;
    hooks.overlay = &overlay;
    rig.engine.SetFrameHooks(hooks);
    rig.Start();
    ASSERT_TRUE(rig.Step());
    const auto before = Peer::Positions(rig.engine);
    overlay.title = 3;
    EXPECT_TRUE(rig.Step());
    EXPECT_EQ(Peer::Positions(rig.engine), before);
    overlay.title = 0;
    EXPECT_TRUE(rig.Step());
    EXPECT_NE(Peer::Positions(rig.engine), before);
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
