// Pattern selection: the slideshow's draw, evolution, the history, the fallbacks when there
// is nothing to draw from, and the slideshow page's stored selection.
#include "settings/pattern_selection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"
#include "settings/builtin_presets.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/preset_mutation.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

std::u16string WithoutTexts(std::u16string_view text) {
    PresetRecord r;
    EXPECT_TRUE(ReadPresetString(text, r));
    std::u16string out;
    WritePresetString(r, false, out);
    return out;
}

class PatternSelectionTest : public ::testing::Test {
  protected:
    PatternSelectionTest() : m_engine(m_clock, test::OneWorker()) {
        setenv("XDG_DATA_HOME", m_dir.Path().c_str(), 1);
        m_engine.Seed(1234);
        m_engine.SetCanvasSize(320, 180);
        m_engine.SetWindowSize(320, 180);
    }
    ~PatternSelectionTest() override { unsetenv("XDG_DATA_HOME"); }
    void Seed() { ASSERT_TRUE(SeedFavorites(m_store, u"/nonexistent")); }

    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
    test::FixedClock m_clock{1000, 2000};
    CDrawWnd m_engine;
};

TEST_F(PatternSelectionTest, AFreshInstallOpensWithIntoTheLightThenEvolvesFavorites) {
    Seed();
    m_engine.SetSaverMode(true);  // a preview keeps opening with the first pick
    PatternSelection selection(m_store);
    selection.ReadSettings(true);
    EXPECT_TRUE(selection.SlideshowOn());
    ASSERT_TRUE(selection.SelectNext(m_engine));
    EXPECT_EQ(selection.LastShown().name, u"Into The Light");
    EXPECT_EQ(selection.LastShown().mutations, 0);
    EXPECT_EQ(m_engine.PresetText(), BuiltinPreset(0));

    std::set<std::u16string> names;
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(selection.SelectNext(m_engine));
        const PatternSelection::Shown& shown = selection.LastShown();
        EXPECT_GE(shown.mutations, 1);
        EXPECT_LE(shown.mutations, 18);
        EXPECT_GE(shown.source, 0);
        names.insert(shown.name);
    }
    EXPECT_GT(names.size(), 25u) << "the slideshow wanders over the favorites";
}

TEST_F(PatternSelectionTest, OneSelectedFavoriteIsShownAtEveryChangeExactlyWithoutEvolution) {
    Seed();
    std::vector<uint8_t> bytes(kBuiltinPresetCount, 0);
    bytes[6] = 1;
    ASSERT_TRUE(kConfigRanArray.Write(m_store, bytes));
    ASSERT_TRUE(kConfigRandom.Write(m_store, 1));
    ASSERT_TRUE(kConfigDeviations.Write(m_store, 0));
    PatternSelection selection(m_store);
    selection.ReadSettings(false);
    for (int i = 0; i < 15; ++i) {
        ASSERT_TRUE(selection.SelectNext(m_engine));
        EXPECT_EQ(selection.LastShown().source, 6);
        EXPECT_EQ(m_engine.PresetText(), BuiltinPreset(6)) << "change " << i;
    }
}

TEST_F(PatternSelectionTest, WithTheSlideshowOffTheCurrentSettingsShow) {
    Seed();
    ASSERT_TRUE(kConfigRandom.Write(m_store, 0));
    PatternSelection selection(m_store);
    selection.ReadSettings(false);
    ASSERT_TRUE(selection.SelectNext(m_engine));
    EXPECT_EQ(m_engine.PresetText(), DefaultPresetString()) << "nothing stored yet";
    const std::u16string mine = u"*,3,5,20000,1000,500,4,900,1,0,0,1,0,0,0,0,40,1,0";
    ASSERT_TRUE(kConfigSettings.Write(m_store, mine));
    ASSERT_TRUE(selection.SelectNext(m_engine));
    EXPECT_EQ(m_engine.PresetText(), mine);
    EXPECT_EQ(selection.LastShown().mutations, 0);
}

TEST_F(PatternSelectionTest, WithoutAnyFavoriteTheSlideshowShowsTheCurrentSettings) {
    PatternSelection selection(m_store);
    selection.ReadSettings(false);  // first run: slideshow on, nothing to draw from
    ASSERT_TRUE(selection.SelectNext(m_engine));
    EXPECT_EQ(selection.LastShown().source, -1);
    EXPECT_EQ(selection.LastShown().name, BuiltinPresetName(0)) << "the default preset, evolved";

    // Removed favorites only: the same.
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 0, u"Empty"));
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 1, u"Empty"));
    PatternSelection removed(m_store);
    removed.ReadSettings(false);
    ASSERT_TRUE(removed.SelectNext(m_engine));
    EXPECT_EQ(removed.LastShown().source, -1);
}

TEST_F(PatternSelectionTest, LibrarySourcesWithoutALibraryDropOut) {
    Seed();
    ASSERT_TRUE(kConfigRandom.Write(m_store, 1));
    ASSERT_TRUE(kConfigRanArray.Write(m_store, std::vector<uint8_t>(kBuiltinPresetCount, 0)));
    ASSERT_TRUE(kConfigRanCur.Write(m_store, kSourceLibraryNewest | kSourceLibraryPopular |
                                                 kSourceLibraryRandom | kSourceCurrentSettings));
    PatternSelection selection(m_store);
    selection.ReadSettings(false);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(selection.SelectNext(m_engine));
    EXPECT_EQ(selection.SourceBits(), kSourceCurrentSettings);
    EXPECT_EQ(selection.LastShown().source, -1);
}

// A library whose lists are still on their way for the first few asks.
class LateLibrary final : public SlideshowLibrary {
  public:
    int ListSize(List) override { return ++m_asks <= 3 ? -1 : 1; }
    std::optional<Item> GetItem(List, int) override {
        return Item{std::u16string(BuiltinPreset(1)), std::nullopt, 42, u"Sky", u"Ann", u"Oslo"};
    }

  private:
    int m_asks = 0;
};

TEST_F(PatternSelectionTest, ALibraryListOnItsWayKeepsItsSourceAndItsItemsNameTheirMaker) {
    Seed();
    m_engine.SetSaverMode(true);
    constexpr int32_t kAll = kSourceLibraryNewest | kSourceLibraryPopular | kSourceLibraryRandom |
                             kSourceCurrentSettings;
    ASSERT_TRUE(kConfigRandom.Write(m_store, 1));
    ASSERT_TRUE(kConfigRanArray.Write(m_store, std::vector<uint8_t>(kBuiltinPresetCount, 0)));
    ASSERT_TRUE(kConfigRanCur.Write(m_store, kAll));
    LateLibrary library;
    PatternSelection selection(m_store, {}, &library);
    selection.ReadSettings(false);
    std::set<bool> fromLibrary;
    for (int i = 0; i < 60 && fromLibrary.size() < 2; ++i) {
        ASSERT_TRUE(selection.SelectNext(m_engine));
        const bool library = selection.LastShown().source <= -2;
        fromLibrary.insert(library);
        EXPECT_EQ(kConfigFromWeb.Read(m_store), library ? u"Sky" : u"");
        EXPECT_EQ(kConfigFromWebL.Read(m_store), library ? u"Oslo" : u"");
        EXPECT_EQ(kConfigLastId.Read(m_store), library ? 42 : -1);
    }
    EXPECT_EQ(fromLibrary.size(), 2u);
    EXPECT_EQ(selection.SourceBits(), kAll);
}

TEST_F(PatternSelectionTest, BackShowsThePreviousPatternExactlyAndForwardReturns) {
    Seed();
    m_engine.SetSaverMode(true);
    PatternSelection selection(m_store);
    selection.ReadSettings(false);
    std::vector<std::u16string> shown;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(selection.SelectNext(m_engine));
        shown.push_back(m_engine.PresetText());
    }
    EXPECT_EQ(kConfigLastPattern.ReadStored(m_store), shown[2]);
    ASSERT_TRUE(selection.NavigateHistory(m_engine, -1));
    EXPECT_EQ(WithoutTexts(m_engine.PresetText()), WithoutTexts(shown[1]));
    ASSERT_TRUE(selection.NavigateHistory(m_engine, -1));
    EXPECT_EQ(WithoutTexts(m_engine.PresetText()), WithoutTexts(shown[0]));
    ASSERT_TRUE(selection.NavigateHistory(m_engine, +1));
    EXPECT_EQ(WithoutTexts(m_engine.PresetText()), WithoutTexts(shown[1]));
    ASSERT_TRUE(selection.NavigateHistory(m_engine, +1));
    EXPECT_EQ(WithoutTexts(m_engine.PresetText()), WithoutTexts(shown[2]));
    EXPECT_FALSE(selection.NavigateHistory(m_engine, +1)) << "nothing further forward";
}

TEST_F(PatternSelectionTest, TheKeysMayGoBackOnlyWhenThereIsAHistory) {
    Seed();
    m_engine.SetSaverMode(true);
    PatternSelection selection(m_store);
    selection.ReadSettings(false);
    FrameHooks hooks;
    hooks.selector = &selection;
    m_engine.SetFrameHooks(hooks);
    ASSERT_TRUE(selection.SelectNext(m_engine));  // the first pattern: nothing before it
    EXPECT_FALSE(m_engine.RequestSlideChange(-1));
    ASSERT_TRUE(selection.SelectNext(m_engine));
    EXPECT_TRUE(selection.HasHistory(-1));
    EXPECT_FALSE(selection.HasHistory(+1));
    ASSERT_TRUE(selection.NavigateHistory(m_engine, -1));
    EXPECT_FALSE(selection.HasHistory(-1)) << "back at the first pattern";
    EXPECT_TRUE(selection.HasHistory(+1));
}

TEST_F(PatternSelectionTest, ARandomisedFavoriteIsRememberedAsWhatWasShown) {
    Seed();
    m_engine.SetSaverMode(true);
    std::vector<uint8_t> bytes(kBuiltinPresetCount, 0);
    bytes[static_cast<std::size_t>(FindBuiltinPreset(u"Complete Mystery"))] = 1;
    ASSERT_TRUE(kConfigRanArray.Write(m_store, bytes));
    ASSERT_TRUE(kConfigRandom.Write(m_store, 1));
    ASSERT_TRUE(kConfigDeviations.Write(m_store, 0));
    PatternSelection selection(m_store);
    selection.ReadSettings(false);
    ASSERT_TRUE(selection.SelectNext(m_engine));
    const std::u16string first = m_engine.PresetText();
    EXPECT_FALSE(IsRandomisedPreset(first));
    ASSERT_TRUE(selection.SelectNext(m_engine));
    ASSERT_TRUE(selection.NavigateHistory(m_engine, -1));
    EXPECT_EQ(WithoutTexts(m_engine.PresetText()), WithoutTexts(first));
}

TEST_F(PatternSelectionTest, TheSlideshowPageSelectionRoundTrips) {
    SlideshowSelection none;
    ASSERT_TRUE(SaveSlideshowSelection(m_store, 5, none));
    EXPECT_EQ(*kConfigRanArray.ReadStored(m_store), std::vector<uint8_t>(5, 1));
    EXPECT_EQ(kConfigRanCur.Read(m_store), kSourceCurrentSettings);

    SlideshowSelection some;
    some.favoriteSlots = {1, 3, 9};  // 9 lies beyond the favorites and is ignored
    some.sourceBits = kSourceLibraryPopular;
    ASSERT_TRUE(SaveSlideshowSelection(m_store, 5, some));
    const SlideshowSelection back = RestoreSlideshowSelection(m_store, 5);
    EXPECT_EQ(back.favoriteSlots, (std::vector<int>{1, 3}));
    EXPECT_EQ(back.sourceBits, kSourceLibraryPopular);

    ASSERT_TRUE(kConfigRanArray.Write(m_store, std::vector<uint8_t>(5, 0)));
    ASSERT_TRUE(kConfigRanCur.Write(m_store, 0));
    EXPECT_EQ(RestoreSlideshowSelection(m_store, 3).favoriteSlots, (std::vector<int>{0, 1, 2}));
}

// ---- Evolution -----------------------------------------------------------------------------

TEST(PerturbValue, MovesBySmallRoundedStepsInsideTheRange) {
    for (double u = 0.0; u < 1.0; u += 0.01) {
        const UniformDraw draw = [u] { return u; };
        const int v = PerturbValue(5, 0.03, 1, 32, false, draw);
        EXPECT_GE(v, 4) << u;
        EXPECT_LE(v, 6) << u;
        EXPECT_EQ(PerturbValue(1, 0.5, 1, 10, false, draw) >= 1, true);
        EXPECT_LE(PerturbValue(72000, 0.015, 50, 72000, true, draw), 72000);
        const int grains = PerturbValue(1000, 0.015, 50, 72000, true, draw);
        EXPECT_GE(grains, 896);
        EXPECT_LE(grains, 1116);
    }
    const UniformDraw low = [] { return 0.0; };
    const UniformDraw high = [] { return 0.999; };
    EXPECT_EQ(PerturbValue(5, 0.03, 1, 32, false, low), 4);
    EXPECT_EQ(PerturbValue(5, 0.03, 1, 32, false, high), 6);
    const int fromZero = PerturbValue(0, 0.015, 50, 72000, true, high);
    EXPECT_GE(fromZero, 50) << "no logarithm of zero: moves from the bottom of the range";
    EXPECT_LE(fromZero, 60);
}

TEST(MutatePreset, ManyStepsKeepEveryFieldInsideItsRange) {
    PresetRecord r;
    ASSERT_TRUE(ReadPresetString(BuiltinPreset(0), r));
    uint32_t state = 12345;
    const UniformDraw u = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0;
    };
    int motionChanges = 0;
    for (int step = 0; step < 2000; ++step) {
        const int motion = r.Motion;
        MutatePreset(r, u);
        motionChanges += r.Motion != motion;
        ASSERT_TRUE(r.Grains >= 50 && r.Grains <= 72000);
        ASSERT_TRUE(r.Complexity >= 1 && r.Complexity <= 32);
        ASSERT_TRUE(r.Confinement >= -1000 && r.Confinement <= 1000);
        ASSERT_TRUE(r.Motion >= 0 && r.Motion <= 5);
        ASSERT_TRUE(r.MotionVariant >= 0 && r.MotionVariant <= 4);
        ASSERT_GE(r.Reflections, 1);
        ASSERT_TRUE(r.ColorBright >= 1 && r.ColorBright <= 2500);
        const StyleInfo* style = GetStyle(r.Style);
        ASSERT_NE(style, nullptr);
        const float params[6] = {r.Param1, r.Param2, r.Param3, r.Param4, r.Param5, r.Param6};
        for (int i = 0; i < r.ParamCount; ++i) {
            const StyleParamInfo& info = style->params[i];
            // A reseeded zero may land a few units outside a tight range; the reader puts
            // it back, so only the ordinary range is checked for parameters with room.
            if (info.max - info.min > 10) {
                ASSERT_GE(params[i], info.min - 5) << "param " << i;
                ASSERT_LE(params[i], info.max + 5) << "param " << i;
            }
        }
    }
    // The motion kind flips in about one step in ten (and may flip to itself).
    EXPECT_GT(motionChanges, 80);
    EXPECT_LT(motionChanges, 300);
}

// ---- A slide gone dull ---------------------------------------------------------------------

TEST(DullPictureWatch, EndsOnlyASlideWhosePictureStaysBlackOrWashedOut) {
    // Pictures as the slideshow sees them at 60 looks a second: a mean luma per stretch of
    // seconds, repeated until the end of the list.
    struct Stretch {
        double percent;
        double seconds;
    };
    struct Case {
        const char* what;
        std::vector<Stretch> picture;
        double endsAfterAtLeast;  // seconds; negative: never ends within a minute
        double endsAfterAtMost;
    };
    const std::vector<Case> cases = {
        {"black throughout", {{0.0, 60.0}}, 6.0, 10.0},
        {"washed out white throughout", {{99.0, 60.0}}, 6.0, 10.0},
        {"lit at first, then black", {{30.0, 20.0}, {1.0, 40.0}}, 26.0, 28.0},
        {"dark but lit", {{2.5, 60.0}}, -1.0, 0.0},
        {"a white background with its dots", {{90.0, 60.0}}, -1.0, 0.0},
        {"a slow build-up from an empty canvas", {{0.0, 2.0}, {10.0, 58.0}}, -1.0, 0.0},
        {"dips to black between bright phases",
         {{0.5, 4.0}, {40.0, 1.0}, {0.5, 4.0}, {40.0, 1.0}, {99.0, 4.0}, {40.0, 46.0}},
         -1.0,
         0.0},
    };
    for (const Case& c : cases) {
        DullPictureWatch watch;
        watch.SlideStarted();
        double t = 0.0;
        double ended = -1.0;
        for (const Stretch& s : c.picture) {
            for (int frame = 0; frame < static_cast<int>(s.seconds * 60.0) && ended < 0; ++frame) {
                t += 1.0 / 60.0;
                if (watch.Look(s.percent, 1.0 / 60.0)) ended = t;
            }
        }
        if (c.endsAfterAtLeast < 0) {
            EXPECT_LT(ended, 0.0) << c.what;
        } else {
            EXPECT_GE(ended, c.endsAfterAtLeast) << c.what;
            EXPECT_LE(ended, c.endsAfterAtMost) << c.what;
        }
    }
}

TEST(DullPictureWatch, ANewSlideGetsTheWholePatienceAgain) {
    DullPictureWatch watch;
    int looks = 0;
    while (!watch.Look(0.0, 0.5)) ++looks;
    ASSERT_GT(looks, 4);
    // The watch starts afresh after it has ended a slide, and when the next slide begins.
    for (int i = 0; i < looks; ++i) EXPECT_FALSE(watch.Look(0.0, 0.5)) << i;
    EXPECT_TRUE(watch.Look(0.0, 0.5));
    for (int i = 0; i < looks - 1; ++i) EXPECT_FALSE(watch.Look(0.0, 0.5)) << i;
    watch.SlideStarted();
    EXPECT_FALSE(watch.Look(0.0, 0.5));
}

TEST(MeanLumaPercent, WeighsTheChannelsLikeTheEyeAndSamples) {
    struct Case {
        std::vector<uint32_t> pixels;
        std::size_t step;
        double percent;
    };
    const std::vector<Case> cases = {
        {{0xffffff, 0x000000}, 1, 50.0},
        {{0x00ff00, 0xff0000, 0x0000ff}, 1, 100.0 / 3},
        {{0xffffff, 0x000000, 0xffffff, 0x000000}, 2, 100.0},  // only every second pixel
        {{0xff000000u, 0x00808080}, 1, 128.0 / 255.0 * 50.0},  // the top byte is not colour
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(MeanLumaPercent(c.pixels.data(), c.pixels.size(), c.step), c.percent, 1e-9)
            << c.pixels.size() << " pixels, step " << c.step;
    }
}

}  // namespace
}  // namespace quovis
