// The built-in presets: their form, the rules every record keeps, the table's make-up, and
// the drawing that comes with "Valentine".
#include "settings/builtin_presets.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "engine/draw_wnd.h"
#include "settings/preset_record.h"
#include "settings/text_encoding.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"

namespace quovis {
namespace {

int FieldsAfterName(std::u16string_view text) {
    int fields = 0;
    NextPresetToken(text);
    while (!text.empty()) {
        NextPresetToken(text);
        ++fields;
    }
    return fields;
}

std::string Label(int index) {
    return std::to_string(index) + " " + Utf16ToUtf8(BuiltinPresetName(index));
}

TEST(BuiltinPresets, KnownEntriesSitWhereSeedingExpectsThem) {
    EXPECT_EQ(BuiltinPresetName(0), u"Into The Light");
    EXPECT_EQ(DefaultPresetString(), BuiltinPreset(0));
    EXPECT_EQ(BuiltinPresetName(10), u"Colored Pencils");
    EXPECT_EQ(BuiltinPresetName(13), u"Complete Mystery");
    EXPECT_EQ(BuiltinPresetName(67), u"Valentine");
    EXPECT_EQ(BuiltinPresetName(72), u"Oru Trillium");
    EXPECT_EQ(FindBuiltinPreset(u"Time Explosion"), 63);
    EXPECT_EQ(FindBuiltinPreset(u"Time"), -1) << "names match whole, not by prefix";
    EXPECT_TRUE(BuiltinPreset(-1).empty());
    EXPECT_TRUE(BuiltinPreset(kBuiltinPresetCount).empty());
    std::set<std::u16string_view> names;
    for (int i = 0; i < kBuiltinPresetCount; ++i) names.insert(BuiltinPresetName(i));
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kBuiltinPresetCount));
}

TEST(BuiltinPresets, EveryEntryReadsAndWritesBackAsStored) {
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        const std::u16string_view text = BuiltinPreset(i);
        EXPECT_EQ(FieldsAfterName(text), 42) << Label(i);
        if (IsRandomisedPreset(text)) continue;
        PresetRecord r;
        ASSERT_TRUE(ReadPresetString(text, r)) << Label(i);
        // Parameters outside their style's range would be replaced by defaults and written
        // differently; so would any field in a non-canonical form.
        std::u16string written;
        ASSERT_TRUE(WritePresetString(r, true, written));
        EXPECT_EQ(written, std::u16string(text) + u",0,20,0") << Label(i);
    }
}

TEST(BuiltinPresets, EveryRecordKeepsTheRulesTheEditorKeeps) {
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        const std::u16string_view text = BuiltinPreset(i);
        if (IsRandomisedPreset(text)) continue;
        PresetRecord r;
        ASSERT_TRUE(ReadPresetString(text, r));
        const std::string what = Label(i);
        EXPECT_EQ(r.Author, u"-") << what;
        EXPECT_EQ(r.Location, u"-") << what;
        EXPECT_EQ(r.Origin, 0) << what;
        EXPECT_TRUE(r.Motion >= 0 && r.Motion <= 5) << what;
        EXPECT_TRUE(r.Grains >= 10 && r.Grains <= 144000) << what;
        EXPECT_TRUE(r.Reflections >= 1 && r.Reflections <= 60) << what;
        EXPECT_TRUE(r.DotStyle >= 0 && r.DotStyle <= 7) << what;
        EXPECT_TRUE(r.WrapFlags == 0 || r.WrapFlags == 1) << what;
        EXPECT_EQ(r.Confinement % 10, 0) << what;
        EXPECT_FALSE(r.Dither != 0 && r.Fuzziness != 0) << what;
        EXPECT_TRUE(r.QuickDirty == 0 || (r.LeaveTrails != 0 && r.Fuzziness == 0)) << what;
        EXPECT_TRUE(r.WrapFlags == 0 || r.ReflectionsOn == 0 || r.Reflections < 3) << what;
        EXPECT_TRUE(r.LeaveTrails != 0 || (r.TrailLength == 30 && r.Dither == 0)) << what;
        EXPECT_EQ(r.Style == 26, r.Name == u"Valentine") << what << ": only one drawing preset";
    }
}

TEST(BuiltinPresets, TheTableLeansOnLinearAndRecursiveMotionAndOnPointsAndPixels) {
    std::map<int, int> motions, dotStyles;
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        PresetRecord r;
        if (IsRandomisedPreset(BuiltinPreset(i))) continue;
        ASSERT_TRUE(ReadPresetString(BuiltinPreset(i), r));
        ++motions[r.Motion];
        ++dotStyles[r.DotStyle];
    }
    EXPECT_EQ(motions[1], 31);
    EXPECT_EQ(motions[3], 22);
    EXPECT_EQ(dotStyles[0], 45);
    EXPECT_EQ(dotStyles[5], 19);
}

TEST(BuiltinPresets, CompleteMysteryIsRandomisedWithEmptyTexts) {
    const std::u16string_view mystery = BuiltinPreset(FindBuiltinPreset(u"Complete Mystery"));
    EXPECT_TRUE(IsRandomisedPreset(mystery));
    EXPECT_NE(mystery.find(u",-1,,,-1,"), std::u16string_view::npos);
}

TEST(BuiltinPresets, ValentineComesWithAClosedHeartThatLoadsWhole) {
    EXPECT_TRUE(BuiltinDrawing(u"Into The Light").empty());
    const std::u16string_view heart = BuiltinDrawing(u"Valentine");
    ASSERT_FALSE(heart.empty());
    test::FixedClock clock(1000, 2000);
    CDrawWnd engine(clock, test::OneWorker());
    ASSERT_TRUE(engine.LoadStrokeList(heart));
    const int n = EngineTestAccess::DrawPoints(engine);
    ASSERT_GE(n, 40);
    // Closed: it ends where it starts.
    EXPECT_FLOAT_EQ(EngineTestAccess::DrawX(engine, 0), EngineTestAccess::DrawX(engine, n - 1));
    EXPECT_FLOAT_EQ(EngineTestAccess::DrawY(engine, 0), EngineTestAccess::DrawY(engine, n - 1));
    // A heart is mirror-symmetric about the vertical middle line: every point has a partner.
    float left = 1.0f, right = 0.0f, top = 1.0f, bottom = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float x = EngineTestAccess::DrawX(engine, i), y = EngineTestAccess::DrawY(engine, i);
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        bool partner = false;
        for (int j = 0; j < n && !partner; ++j) {
            partner = std::abs(EngineTestAccess::DrawX(engine, j) - (1.0f - x)) < 1e-4f &&
                      std::abs(EngineTestAccess::DrawY(engine, j) - y) < 1e-4f;
        }
        EXPECT_TRUE(partner) << "point " << i;
    }
    EXPECT_NEAR((left + right) / 2.0f, 0.5f, 1e-4f);
    EXPECT_GT(right - left, 0.25f) << "big enough to read on screen";
    EXPECT_GT(bottom - top, 0.4f);
    EXPECT_LT(bottom, 1.0f);
    EXPECT_GT(top, 0.0f);
}

}  // namespace
}  // namespace quovis
