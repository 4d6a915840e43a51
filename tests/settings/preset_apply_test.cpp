// Applying a preset string to an engine: what reaches the engine, drift, the text window
// lines, randomised presets and texts that are not presets.
#include "settings/preset_apply.h"
#include "present/text_window.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "engine/draw_wnd.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/preset_record.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

using Peer = EngineTestAccess;
using test::FixedClock;

constexpr std::u16string_view kIntoTheLight =
    u"Into The Light,1,18,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0,0,"
    u"55,313,73,100,100,1000,500,0,886,0,-,-,0,500,0,0";
constexpr std::u16string_view kValentine =
    u"Valentine,3,26,38466,1716,830,10,1122,7,1,0,1,0,0,0,0,100,1,6,1026,80,0,30,114,0,0,0,60,"
    u"521,98,75,0,1000,600,1,90,0,-,-,0,500,0,0";

// The title lines a text window shows five seconds into a slide (fully faded in).
TextLines TitlesShown(TextWindow& text) {
    text.OnFrame(5000.0, false);
    return text.Shown().lines;
}

class ApplyPreset : public ::testing::Test {
  protected:
    ApplyPreset() : m_engine(m_clock, test::OneWorker()) {}
    FixedClock m_clock{1000, 2000};
    CDrawWnd m_engine;
};

TEST_F(ApplyPreset, EveryFieldReachesTheEngineConverted) {
    ASSERT_TRUE(ApplyPresetString(m_engine, kIntoTheLight));
    EXPECT_EQ(EngineTestAccess::Motion(m_engine), 1);
    EXPECT_EQ(EngineTestAccess::Style(m_engine), 18);
    EXPECT_EQ(EngineTestAccess::Movers(m_engine), 11);
    EXPECT_EQ(Peer::Grains(m_engine), 18999);
    EXPECT_DOUBLE_EQ(Peer::Activity(m_engine), 4.191);
    EXPECT_DOUBLE_EQ(Peer::ColourBright(m_engine), 0.163);
    EXPECT_DOUBLE_EQ(Peer::Pastel(m_engine), 0.144);
    CDrawWnd direct(m_clock, test::OneWorker());
    direct.SetPointMagnitude(0.886);
    EXPECT_DOUBLE_EQ(Peer::PointMagnitude(m_engine), Peer::PointMagnitude(direct));
    EXPECT_EQ(Peer::Reflections(m_engine), 7);
    EXPECT_TRUE(Peer::Symmetric(m_engine));
    EXPECT_EQ(Peer::TrailLength(m_engine), 98);
    EXPECT_TRUE(m_engine.TrailsOn());
    EXPECT_EQ(Peer::StyleParamCount(m_engine), 6);
    EXPECT_FLOAT_EQ(Peer::StyleParam(m_engine, 0), 1100.0f);
    EXPECT_FLOAT_EQ(Peer::StyleParam(m_engine, 1), 35.0f);
    EXPECT_DOUBLE_EQ(Peer::Pace(m_engine), 1.0);
    EXPECT_EQ(Peer::Fuzziness(m_engine), 73);
    EXPECT_EQ(m_engine.PresetName(), u"Into The Light");
    EXPECT_EQ(m_engine.PresetText(), kIntoTheLight);
}

TEST_F(ApplyPreset, FullViscosityStopsDampingAndReflectionsOffMeansOneImage) {
    // Viscosity 1200 is the syrupy end: no velocity survives a frame.
    std::u16string syrup(kIntoTheLight);
    syrup.replace(syrup.find(u",1112,"), 6, u",1200,");
    ASSERT_TRUE(ApplyPresetString(m_engine, syrup));
    EXPECT_FLOAT_EQ(Peer::DampX(m_engine), 0.0f);
    EXPECT_FLOAT_EQ(Peer::DampY(m_engine), 0.0f);

    // Valentine asks for 7 symmetric reflections but switches reflections off.
    ASSERT_TRUE(ApplyPresetString(m_engine, kValentine));
    EXPECT_EQ(Peer::Reflections(m_engine), 1);
    EXPECT_FALSE(Peer::Symmetric(m_engine));
    EXPECT_EQ(EngineTestAccess::Style(m_engine), 26);
}

TEST_F(ApplyPreset, AnOldStringGetsTheLongStandingTurbulence) {
    // Stops after the dither flag: no turbulence stored.
    const std::u16string_view old =
        u"Old,1,18,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0";
    ASSERT_TRUE(ApplyPresetString(m_engine, old));
    const float oldInertia = Peer::MoverInertia(m_engine);
    m_engine.SetTurbulence(0.561);
    EXPECT_FLOAT_EQ(Peer::MoverInertia(m_engine), oldInertia);
    m_engine.SetTurbulence(0.5);
    EXPECT_NE(Peer::MoverInertia(m_engine), oldInertia);
}

TEST_F(ApplyPreset, DriftRestartsOnlyWhenAllowedFullScreenAndWithoutAudio) {
    m_engine.EnableDrift(true);
    ASSERT_TRUE(ApplyPresetString(m_engine, kIntoTheLight));
    EXPECT_FALSE(m_engine.IsDriftRunning()) << "a preview or a disallowed drift stays off";

    m_engine.SetSaverMode(true);
    ASSERT_TRUE(ApplyPresetString(m_engine, kIntoTheLight));
    EXPECT_FALSE(m_engine.IsDriftRunning());
    m_engine.SetDriftAllowed(true);
    ASSERT_TRUE(ApplyPresetString(m_engine, kIntoTheLight));
    EXPECT_TRUE(m_engine.IsDriftRunning());
    m_engine.SetAudioDriveAttached(true);
    ASSERT_TRUE(ApplyPresetString(m_engine, kIntoTheLight));
    EXPECT_FALSE(m_engine.IsDriftRunning()) << "music moves the same parameters";
}

TEST_F(ApplyPreset, TheTextWindowShowsNameAuthorAndPlace) {
    TextWindow text;
    PresetApplyHost host;
    host.text = &text;
    ASSERT_TRUE(ApplyPresetString(m_engine, kIntoTheLight, host));
    TextLines lines = TitlesShown(text);
    EXPECT_EQ(lines[0], u"\u201CInto The Light\u201D");
    EXPECT_EQ(lines[1], u"") << "the maker's own presets credit nobody";
    EXPECT_EQ(lines[2], u"");

    std::u16string shared(kIntoTheLight);
    shared.replace(shared.find(u",-,-,"), 5, u",Ann,Oslo\u00BB Norway,");
    ASSERT_TRUE(ApplyPresetString(m_engine, shared, host));
    lines = TitlesShown(text);
    EXPECT_EQ(lines[1], u"Ann");
    EXPECT_EQ(lines[2], u"Oslo, Norway");

    shared.replace(shared.find(u",Ann,"), 5, u",,");
    ASSERT_TRUE(ApplyPresetString(m_engine, shared, host));
    EXPECT_EQ(TitlesShown(text)[1], u"Unknown Artist");
}

TEST_F(ApplyPreset, TheCurrentSettingsAreCreditedToTheUser) {
    testing::TempDir dir;
    ConfigStore store(dir / "registry.db");
    ASSERT_TRUE(kConfigAuthor.Write(store, u"Zo\u00EB"));
    ASSERT_TRUE(kConfigLocation.Write(store, u"Lyon"));
    TextWindow text;
    PresetApplyHost host;
    host.text = &text;
    host.config = &store;
    std::u16string current(kIntoTheLight);
    current.replace(0, current.find(u','), u"*");
    ASSERT_TRUE(ApplyPresetString(m_engine, current, host));
    const TextLines lines = TitlesShown(text);
    EXPECT_EQ(lines[0], u"\u201CCurrent Settings\u201D");
    EXPECT_EQ(lines[1], u"Zo\u00EB");
    EXPECT_EQ(lines[2], u"Lyon");
}

TEST_F(ApplyPreset, ARandomisedPresetIsResolvedBeforeTheEngineSeesIt) {
    const std::u16string_view mystery =
        u"Complete Mystery,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,0,-1,-1,-1,-1,-1,-1,-1,-1,-1,"
        u"-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,,,-1,-1,0,-1";
    ASSERT_TRUE(ApplyPresetString(m_engine, mystery));
    const std::u16string shown = m_engine.PresetText();
    EXPECT_FALSE(IsRandomisedPreset(shown));
    EXPECT_EQ(shown.find(u",-1,"), std::u16string::npos);
    PresetRecord record;
    ASSERT_TRUE(ReadPresetString(shown, record));
    EXPECT_EQ(record.Name, u"Complete Mystery");
    EXPECT_EQ(EngineTestAccess::Motion(m_engine), record.Motion);
    EXPECT_EQ(EngineTestAccess::Style(m_engine), record.Style);
    EXPECT_EQ(Peer::Grains(m_engine), record.Grains);
}

TEST_F(ApplyPreset, TextThatIsNotAPresetChangesNothing) {
    ASSERT_TRUE(ApplyPresetString(m_engine, kIntoTheLight));
    TextWindow text;
    PresetApplyHost host;
    host.text = &text;
    for (std::u16string_view bad : {u"", u",1,18", u"Bad,201,3", u"Bad,-7"}) {
        EXPECT_FALSE(ApplyPresetString(m_engine, bad, host));
    }
    EXPECT_EQ(TitlesShown(text), TextLines{}) << "no title was set";
    EXPECT_EQ(m_engine.PresetText(), kIntoTheLight);
    EXPECT_EQ(Peer::Grains(m_engine), 18999);
    EXPECT_EQ(EngineTestAccess::Style(m_engine), 18);
}

}  // namespace
}  // namespace quovis
