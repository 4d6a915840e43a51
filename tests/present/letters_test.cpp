// Letters made of dots on an engine with a real canvas: titles and typed letters form on the
// lit pixels the overlay drew, the slides wait for the message, the clock's hourly slide, and
// a run with nothing to draw letters with.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

#include "tests/engine/engine_test_access.h"
#include "tests/present/frame_rig.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;

class CountingSelector final : public PatternSelector {
  public:
    bool SelectNext(CDrawWnd&) override { return ++selects > 0; }
    bool NavigateHistory(CDrawWnd&, int) override { return false; }
    int selects = 0;
};

// 4000 dots of "The Big Bang" (it launches dots with a speed), slides of two seconds.
struct LetterRig : test::FrameRig {
    explicit LetterRig(bool slideshow = false, bool messages = true, bool withOverlay = true,
                       int dots = 4000)
        : FrameRig(kStyleBigBang, dots) {
        FrameHooks hooks;
        hooks.overlay = withOverlay ? &overlay : nullptr;
        hooks.selector = &selector;
        engine.SetFrameHooks(hooks);
        engine.SetSlideshow(slideshow);
        engine.SetMessagesOn(messages);
        engine.SetSlideDuration(2, 2);
        Start();
        start = clock.ms;
    }
    // Steps while the title (or message) phase stays at `phase`; returns the frames taken.
    int StepWhile(int (CDrawWnd::*read)() const, int phase) {
        int frames = 0;
        while ((engine.*read)() == phase && frames < 100) {
            EXPECT_TRUE(Step());
            ++frames;
        }
        return frames;
    }
    test::RectLetters overlay;
    CountingSelector selector;
    uint32_t start = 0;
};

// How the dots of one parity (every second dot from `first`) ended up.
struct Half {
    int count = 0, unmoved = 0, black = 0, onLitInColour = 0, tooFast = 0;
};
Half Inspect(CDrawWnd& e, const std::vector<float>& before, int first,
             const test::RectLetters& overlay) {
    const int n = Peer::Dots(e);
    const float c[3] = {float(overlay.colour >> 16), float(overlay.colour >> 8 & 0xFF),
                        float(overlay.colour & 0xFF)};
    Half h;
    for (int i = first; i < n; i += 2) {
        const float x = Peer::X(e)[i], y = Peer::Y(e)[i];
        const float r = Peer::R(e)[i], g = Peer::G(e)[i], b = Peer::B(e)[i];
        ++h.count;
        h.unmoved += x == before[i] && y == before[n + i];
        h.black += r == 0 && g == 0 && b == 0;
        h.onLitInColour += overlay.OnLit(x, y) && r == c[0] && g == c[1] && b == c[2];
        h.tooFast += std::hypot(Peer::VX(e)[i], Peer::VY(e)[i]) > 0.5f * Peer::EmitSpeed(e);
    }
    return h;
}

TEST(Letters, ATitleFormsOnPixelsWhoseSecondChannelIsAbove200) {
    const struct {
        uint32_t colour;
        bool lit;
    } cases[] = {{0x78E628, true}, {0x00C900, true}, {0xFFC8FF, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.colour);
        LetterRig rig;
        rig.overlay.colour = c.colour;
        rig.StepTo(rig.start, 2001);  // the slide interval runs out
        ASSERT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleDrawNext);
        EXPECT_TRUE(rig.overlay.calls.empty());
        const auto before = Peer::Positions(rig.engine);
        rig.Step();
        ASSERT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleSeeding);
        ASSERT_EQ(rig.overlay.calls.size(), 1u);
        EXPECT_EQ(rig.overlay.calls[0].mode, LetterMode::Centred);
        EXPECT_EQ(rig.overlay.calls[0].text, rig.engine.GetMessageText());
        EXPECT_GT(rig.StepWhile(&CDrawWnd::TitlePhase, CDrawWnd::kTitleSeeding), 2)
            << "the text forms over several frames";
        EXPECT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleShown);

        const Half used = Inspect(rig.engine, before, 0, rig.overlay);
        EXPECT_EQ(used.onLitInColour, c.lit ? used.count : 0);
        EXPECT_EQ(used.black, c.lit ? 0 : used.count);
        EXPECT_EQ(used.unmoved, c.lit ? 0 : used.count) << "unlit: black where they were";
        EXPECT_EQ(used.tooFast, 0);
        EXPECT_EQ(Inspect(rig.engine, before, 1, rig.overlay).unmoved, used.count)
            << "the other half stands still";
    }
}

TEST(Letters, DotsBeforeTheFirstLitPixelTurnBlackAndLaterMissesJoinTheDotBefore) {
    LetterRig rig;
    rig.overlay.lit = {150, 100, 152, 102};  // 4 pixels of 10000: most dots miss it
    rig.StepTo(rig.start, 2001);
    const auto before = Peer::Positions(rig.engine);
    rig.StepWhile(&CDrawWnd::TitlePhase, CDrawWnd::kTitleDrawNext);
    rig.StepWhile(&CDrawWnd::TitlePhase, CDrawWnd::kTitleSeeding);
    const int n = Peer::Dots(rig.engine);
    int i = 0, blackInPlace = 0;
    for (; i < n && Peer::R(rig.engine)[i] == 0; i += 2)
        blackInPlace += Peer::X(rig.engine)[i] == before[i] && Peer::G(rig.engine)[i] == 0;
    EXPECT_GT(i, 0) << "some dots came before the first lit pixel";
    EXPECT_EQ(blackInPlace, i / 2);
    int near = 0, count = 0;
    for (; i < n; i += 2, ++count) {
        const float dx = Peer::X(rig.engine)[i] - 151, dy = Peer::Y(rig.engine)[i] - 101;
        near += std::hypot(dx, dy) < 15 && Peer::G(rig.engine)[i] == 0xE6;
    }
    EXPECT_GT(count, 0);
    EXPECT_EQ(near, count) << "after it every dot sits at the lit pixels in their colour";
}

TEST(Letters, AHandfulOfDotsStillFinishesATitle) {
    for (int dots : {1, 10}) {  // fewer dots than frames a title takes to form
        LetterRig rig(false, true, true, dots);
        ASSERT_EQ(Peer::Dots(rig.engine), dots);
        rig.StepTo(rig.start, 2001);
        rig.StepWhile(&CDrawWnd::TitlePhase, CDrawWnd::kTitleDrawNext);
        rig.StepWhile(&CDrawWnd::TitlePhase, CDrawWnd::kTitleSeeding);
        EXPECT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleShown) << dots << " dots";
    }
}

TEST(Letters, TheNextTitleUsesTheOtherHalfOfTheDots) {
    LetterRig rig;
    rig.StepTo(rig.start, 2001);
    const uint32_t first = rig.clock.ms;
    rig.StepTo(first, 6001);  // formed, shown, over; the next interval has run out as well
    ASSERT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleDrawNext);
    rig.overlay.block = rig.overlay.lit = {10, 10, 90, 90};
    const auto before = Peer::Positions(rig.engine);
    rig.StepWhile(&CDrawWnd::TitlePhase, CDrawWnd::kTitleDrawNext);
    rig.StepWhile(&CDrawWnd::TitlePhase, CDrawWnd::kTitleSeeding);
    const Half odd = Inspect(rig.engine, before, 1, rig.overlay);
    EXPECT_EQ(odd.onLitInColour, odd.count);
    EXPECT_EQ(Inspect(rig.engine, before, 0, rig.overlay).unmoved, odd.count);
}

TEST(Letters, ATypedLetterFormsInItsColumnWhileTheDotsMoveOn) {
    LetterRig rig(false, false);
    rig.engine.SetTypedText(U'Q', 4);
    EXPECT_EQ(rig.engine.MessagePhase(), CDrawWnd::kMessagePending);
    const auto before = Peer::Positions(rig.engine);
    rig.Step();
    EXPECT_EQ(rig.engine.MessagePhase(), CDrawWnd::kMessageSeeding);
    EXPECT_GT(rig.StepWhile(&CDrawWnd::MessagePhase, CDrawWnd::kMessageSeeding), 2);
    EXPECT_EQ(rig.engine.MessagePhase(), CDrawWnd::kMessageDone);
    rig.Step();
    EXPECT_EQ(rig.engine.MessagePhase(), CDrawWnd::kMessageIdle);
    EXPECT_FALSE(rig.engine.LettersActive());
    EXPECT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleIdle);
    ASSERT_FALSE(rig.overlay.calls.empty());
    for (const auto& call : rig.overlay.calls) {
        EXPECT_EQ(call.text, u"Q");
        EXPECT_EQ(call.mode, LetterMode::Column);
        EXPECT_EQ(call.column, 4);
    }
    EXPECT_LT(Inspect(rig.engine, before, 1, rig.overlay).unmoved, 10) << "no dot stood still";
}

TEST(Letters, BetweenSlidesTheMessageComesFirstWhenMessagesAreOn) {
    for (bool slideshow : {true, false}) {
        for (bool messages : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "slideshow " << slideshow << " messages " << messages);
            LetterRig rig(slideshow, messages);
            rig.engine.RequestSlideChange();
            rig.Step(2100);  // past the dying phase
            const uint32_t switched = rig.clock.ms;
            EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseRunning);
            EXPECT_EQ(rig.engine.TitlePhase(),
                      messages ? CDrawWnd::kTitleDrawNext : CDrawWnd::kTitleIdle);
            const int early = slideshow && !messages ? 1 : 0;
            EXPECT_EQ(rig.selector.selects, early);
            rig.StepTo(switched, 5999);
            EXPECT_EQ(rig.selector.selects, early);
            EXPECT_EQ(rig.overlay.calls.empty(), !messages);
            rig.Step(2);
            EXPECT_EQ(rig.selector.selects, slideshow ? 1 : 0);
            EXPECT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleIdle);
        }
    }
}

TEST(Letters, WithNothingToDrawWithTitlesAndLettersEndAtOnce) {
    for (bool withOverlay : {false, true}) {  // no overlay; an overlay that draws nothing
        for (bool slideshow : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "overlay " << withOverlay << " slideshow " << slideshow);
            LetterRig rig(slideshow, true, withOverlay);
            rig.overlay.draws = false;
            rig.engine.RequestSlideChange();
            rig.Step(2100);
            ASSERT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleDrawNext);
            const auto before = Peer::Positions(rig.engine);
            EXPECT_TRUE(rig.Step());
            EXPECT_EQ(rig.engine.TitlePhase(), CDrawWnd::kTitleIdle);
            EXPECT_EQ(rig.selector.selects, slideshow ? 1 : 0);
            rig.engine.SetTypedText(U'x', 0);
            rig.Step();
            EXPECT_EQ(rig.engine.MessagePhase(), CDrawWnd::kMessageDone);
            rig.Step();
            EXPECT_FALSE(rig.engine.LettersActive());
            EXPECT_NE(Peer::Positions(rig.engine), before);
        }
    }
}

TEST(Letters, FiveSecondsBeforeTheHourTheNextSlideComesOneSlideIntervalLater) {
    LetterRig rig(true, false);
    rig.engine.SetSlideDuration(10, 10);
    rig.engine.ClockTick(3594);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseRunning);
    rig.engine.ClockTick(3595);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseWaiting);
    const uint32_t stopped = rig.clock.ms;
    const auto before = Peer::Positions(rig.engine);
    rig.StepTo(stopped, 10000);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseWaiting);
    EXPECT_EQ(Peer::Positions(rig.engine), before) << "the pattern stands";
    EXPECT_EQ(rig.selector.selects, 0);
    rig.Step();
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseRunning);
    EXPECT_EQ(rig.selector.selects, 1);
    rig.engine.ClockTick(3595);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseRunning) << "once an hour";
    rig.engine.RequestClockSlide();
    rig.engine.ClockTick(1200);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseWaiting) << "on request";
}

TEST(Letters, WithoutTheSlideshowTheHourlySlideIsSavedOnce) {
    // The same pattern carries on after a short pause; every frame of the pause is still the
    // switching phase, and each must not save the slide again.
    struct CountingSnapshots final : SnapshotSink {
        void AutoSaveSnapshot(CDrawWnd&) override { ++saved; }
        int saved = 0;
    } snapshots;
    LetterRig rig(false, false);
    FrameHooks hooks;
    hooks.overlay = &rig.overlay;
    hooks.selector = &rig.selector;
    hooks.snapshots = &snapshots;
    rig.engine.SetFrameHooks(hooks);
    rig.engine.SetSaverMode(true);
    rig.engine.SetAutoSave(true);
    rig.engine.SetSlideDuration(1, 1);
    rig.engine.ClockTick(3595);
    ASSERT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseWaiting);
    const uint32_t stopped = rig.clock.ms;
    rig.StepTo(stopped, 1500);
    for (int i = 0; i < 30 && rig.engine.PatternPhase() != CDrawWnd::kPhaseRunning; ++i)
        rig.Step(5);
    EXPECT_EQ(rig.engine.PatternPhase(), CDrawWnd::kPhaseRunning);
    EXPECT_EQ(snapshots.saved, 1);
    EXPECT_EQ(rig.selector.selects, 0) << "no slideshow: the same pattern";
}

TEST(Letters, TheClockLayerTurnsTheReflectionsWithTheDate) {
    LetterRig rig;
    rig.engine.SetReflections(4);
    rig.engine.SetReflectOrient(1);  // follow the date while the orientation switch is on
    const float plain = Peer::ReflCos(rig.engine, 1);
    rig.clock.day = 40;
    ClockLayer clock;
    clock.on = true;
    rig.engine.SetClock(clock);
    const float day40 = Peer::ReflCos(rig.engine, 1);
    EXPECT_NE(day40, plain);
    rig.clock.day = 200;
    rig.engine.ClockTick(3595);
    EXPECT_NE(Peer::ReflCos(rig.engine, 1), day40);
    clock.on = false;
    rig.engine.SetClock(clock);
    EXPECT_EQ(Peer::ReflCos(rig.engine, 1), plain);
}

}  // namespace
}  // namespace quovis
