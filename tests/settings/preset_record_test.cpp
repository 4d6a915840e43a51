// The preset record: reading, writing, defaults, hostile input and randomised presets.
#include "settings/preset_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>

#include "engine/random.h"
#include "engine/style_table.h"

namespace quovis {
namespace {

constexpr std::u16string_view kIntoTheLight =
    u"Into The Light,1,18,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0,0,"
    u"55,313,73,100,100,1000,500,0,886,0,-,-,0,500,0,0";

constexpr std::u16string_view kCompleteMystery =
    u"Complete Mystery,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,0,-1,-1,-1,-1,-1,-1,-1,-1,-1,"
    u"-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,,,-1,-1,0,-1";

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::u16string Write(const PresetRecord& r, bool withTexts = true) {
    std::u16string out;
    EXPECT_TRUE(WritePresetString(r, withTexts, out));
    return out;
}

PresetRecord Read(std::u16string_view text) {
    PresetRecord r;
    EXPECT_TRUE(ReadPresetString(text, r)) << Narrow(std::u16string(text));
    return r;
}

void ExpectParams(const PresetRecord& r, const float expected[6]) {
    EXPECT_EQ(r.Param1, expected[0]);
    EXPECT_EQ(r.Param2, expected[1]);
    EXPECT_EQ(r.Param3, expected[2]);
    EXPECT_EQ(r.Param4, expected[3]);
    EXPECT_EQ(r.Param5, expected[4]);
    EXPECT_EQ(r.Param6, expected[5]);
}

void ExpectStyleDefaults(const PresetRecord& r, int style) {
    const StyleInfo* info = GetStyle(style);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(r.ParamCount, info->paramCount);
    float expected[6] = {};
    for (int i = 0; i < info->paramCount; ++i) expected[i] = info->params[i].defaultValue;
    ExpectParams(r, expected);
}

// ---------------------------------------------------------------------------------------------
// Tokens
// ---------------------------------------------------------------------------------------------

TEST(PresetTokenTest, CommaOrControlCharacterEndsAToken) {
    std::u16string_view rest = u"ab,c\td\u0001,,e";
    EXPECT_EQ(NextPresetToken(rest), u"ab");
    EXPECT_EQ(NextPresetToken(rest), u"c");
    EXPECT_EQ(NextPresetToken(rest), u"d");
    EXPECT_EQ(NextPresetToken(rest), u"");  // the comma right after U+0001
    EXPECT_EQ(NextPresetToken(rest), u"");
    EXPECT_EQ(rest, u"e");
    EXPECT_EQ(NextPresetToken(rest), u"e");
    EXPECT_TRUE(rest.empty());
    EXPECT_EQ(NextPresetToken(rest), u"");
}

TEST(PresetTokenTest, NumbersFollowTheWideTextToIntRule) {
    EXPECT_EQ(PresetTokenToInt(u""), 0);
    EXPECT_EQ(PresetTokenToInt(u"   42"), 42);
    EXPECT_EQ(PresetTokenToInt(u"-17x9"), -17);
    EXPECT_EQ(PresetTokenToInt(u"+8"), 8);
    EXPECT_EQ(PresetTokenToInt(u"12.9"), 12);
    EXPECT_EQ(PresetTokenToInt(u"abc"), 0);
    EXPECT_EQ(PresetTokenToInt(u"- 5"), 0);
    EXPECT_EQ(PresetTokenToInt(u"2147483647"), 2147483647);
    EXPECT_EQ(PresetTokenToInt(u"2147483648"), 2147483647);
    EXPECT_EQ(PresetTokenToInt(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(PresetTokenToInt(u"-99999999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(PresetTokenToInt(u"99999999999999999999999"), 2147483647);
}

// ---------------------------------------------------------------------------------------------
// Round trips
// ---------------------------------------------------------------------------------------------

TEST(PresetRecordTest, DefaultPresetRoundTripsWithShimmerDefaults) {
    const PresetRecord r = Read(kIntoTheLight);
    EXPECT_EQ(r.Valid, 1);
    EXPECT_EQ(r.Name, u"Into The Light");
    EXPECT_EQ(r.Motion, 1);
    EXPECT_EQ(r.Style, 18);
    EXPECT_EQ(r.Grains, 18999);
    EXPECT_EQ(r.TrailLength, 98);
    EXPECT_EQ(r.ParamCount, 6);
    const float params[6] = {1100, 35, 65, 2, 100, 100};
    ExpectParams(r, params);
    EXPECT_EQ(r.Fuzziness, 73);
    EXPECT_EQ(r.Pace, 1000);
    EXPECT_EQ(r.Confinement, 500);
    EXPECT_EQ(r.PointMagnitude, 886);
    EXPECT_EQ(r.Author, u"-");
    EXPECT_EQ(r.Location, u"-");
    EXPECT_EQ(r.Gamma, 500);
    EXPECT_EQ(r.Origin, 0);
    EXPECT_EQ(r.ShimmerNarrow, 20);
    EXPECT_EQ(Write(r), std::u16string(kIntoTheLight) + u",0,20,0");
}

TEST(PresetRecordTest, WithoutTextsTheNameAndTextsAreLeftOut) {
    const PresetRecord r = Read(kIntoTheLight);
    const std::u16string full = Write(r, true);
    const std::u16string bare = Write(r, false);
    std::u16string expected = full.substr(full.find(u',') + 1);
    expected.replace(expected.find(u"-,-"), 3, u",");
    EXPECT_EQ(bare, expected);
    // Another name and other texts compare equal in this form.
    PresetRecord other = r;
    other.Name = u"Other";
    other.Author = u"Someone";
    EXPECT_EQ(Write(other, false), bare);
    other.Grains += 1;
    EXPECT_NE(Write(other, false), bare);
}

TEST(PresetRecordTest, ConfinementIsWrittenToTheNearestTen) {
    std::u16string text(kIntoTheLight);
    text.replace(text.find(u",500,0,886"), 10, u",886,0,886");
    PresetRecord r = Read(text);
    EXPECT_EQ(r.Confinement, 886);
    std::u16string expected = text + u",0,20,0";
    expected.replace(expected.find(u",886,0,886"), 10, u",890,0,886");
    EXPECT_EQ(Write(r), expected);

    for (const auto& [stored, written] :
         {std::pair{886, 890}, std::pair{-886, -890}, std::pair{885, 890}, std::pair{884, 880},
          std::pair{-885, -880}, std::pair{1000, 1000}, std::pair{-1000, -1000}, std::pair{0, 0},
          // Far outside the range the rounding still holds, so a value never creeps from
          // trip to trip.
          std::pair{-60842710, -60842710}, std::pair{-60842715, -60842710},
          std::pair{-2147483647 - 1, -2147483647 - 1}}) {
        r.Confinement = stored;
        const PresetRecord back = Read(Write(r));
        EXPECT_EQ(back.Confinement, written) << "stored " << stored;
    }
}

TEST(PresetRecordTest, ParametersAreRoundedHalfAwayFromZero) {
    PresetRecord r = Read(kIntoTheLight);
    r.Style = 40;  // outside the table: the parameters come back exactly as written
    r.Param2 = 2.5f;
    r.Param3 = -2.5f;
    r.Param4 = 7.49f;
    r.Param5 = -0.4f;
    r.Param6 = 1e12f;  // beyond int32: held at its end, never overflowing
    const PresetRecord back = Read(Write(r));
    EXPECT_EQ(back.Param2, 3.0f);
    EXPECT_EQ(back.Param3, -3.0f);
    EXPECT_EQ(back.Param4, 7.0f);
    EXPECT_EQ(back.Param5, 0.0f);
    EXPECT_EQ(back.Param6, 2147483647.0f);
}

TEST(PresetRecordTest, TrailLengthAndDitherAreWrittenOnlyWithTrails) {
    PresetRecord r = Read(kIntoTheLight);
    r.LeaveTrails = 0;
    r.Dither = 1;
    const std::u16string text = Write(r);
    std::u16string_view rest = text;
    for (int i = 0; i < 16; ++i) NextPresetToken(rest);
    EXPECT_EQ(NextPresetToken(rest), u"0");  // TrailLength
    for (int i = 17; i < 25; ++i) NextPresetToken(rest);
    EXPECT_EQ(NextPresetToken(rest), u"0");  // Dither
    EXPECT_EQ(Read(text).TrailLength, 30);
}

TEST(PresetRecordTest, ReservedFieldsAreWrittenAsLiterals) {
    PresetRecord r = Read(kIntoTheLight);
    r.Reserved11 = 7;
    r.Reserved12 = 3.5f;
    r.Reserved14 = 9;
    r.Reserved15 = 0.0;
    EXPECT_EQ(Write(r), std::u16string(kIntoTheLight) + u",0,20,0");
    // The short decimal form, should a caller ever put a value there.
    r.Reserved15 = -1.25;
    std::u16string text = Write(r);
    std::u16string_view rest = text;
    for (int i = 0; i < 15; ++i) NextPresetToken(rest);
    EXPECT_EQ(NextPresetToken(rest), u"-1.25");
    r.Reserved15 = 1e-12;
    text = Write(r);
    rest = text;
    for (int i = 0; i < 15; ++i) NextPresetToken(rest);
    EXPECT_EQ(NextPresetToken(rest), u"0");
    r.Reserved15 = 3.0;
    text = Write(r);
    rest = text;
    for (int i = 0; i < 15; ++i) NextPresetToken(rest);
    EXPECT_EQ(NextPresetToken(rest), u"3");
    // Whatever was stored, the reader keeps them fixed.
    const PresetRecord back = Read(text);
    EXPECT_EQ(back.Reserved11, 1);
    EXPECT_EQ(back.Reserved12, 0.0f);
    EXPECT_EQ(back.Reserved15, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------------

TEST(PresetRecordTest, CommaInANameIsEscaped) {
    PresetRecord r = Read(kIntoTheLight);
    r.Name = u"A,B";
    r.Author = u"x,y";
    const std::u16string text = Write(r);
    EXPECT_EQ(text.substr(0, 4), u"A\u00BBB,");
    EXPECT_NE(text.find(u",x\u00BBy,-,"), std::u16string::npos);
    const PresetRecord back = Read(text);
    EXPECT_EQ(back.Name, u"A,B");
    EXPECT_EQ(back.Author, u"x,y");
    EXPECT_EQ(back.Grains, r.Grains);
}

TEST(PresetRecordTest, EscapeCharacterInANameComesBackAsTwoGreaterThanSigns) {
    PresetRecord r = Read(kIntoTheLight);
    r.Name = u"A\u00BBB";
    r.Location = u"\u00BB";
    const std::u16string text = Write(r);
    EXPECT_EQ(text.substr(0, 5), u"A>>B,");
    const PresetRecord back = Read(text);
    EXPECT_EQ(back.Name, u"A>>B");
    EXPECT_EQ(back.Location, u">>");
}

TEST(PresetRecordTest, EmptyNameIsWrittenAsStarAndEmptyTextsAsEmptyFields) {
    PresetRecord r = Read(kIntoTheLight);
    r.Name.clear();
    r.Author.clear();
    r.Location.clear();
    const std::u16string text = Write(r);
    EXPECT_EQ(text.substr(0, 2), u"*,");
    EXPECT_NE(text.find(u",0,,,0,500,"), std::u16string::npos) << Narrow(text);
    const PresetRecord back = Read(text);
    EXPECT_EQ(back.Name, u"*");
    EXPECT_TRUE(back.Author.empty());
    EXPECT_TRUE(back.Location.empty());
    EXPECT_EQ(back.Gamma, 500);
    EXPECT_EQ(back.Origin, 0);
}

TEST(PresetRecordTest, OverlongTextsAreCutToTheirWidths) {
    const std::u16string longName(400, u'n');
    const std::u16string longAuthor(600, u'a');
    const std::u16string longLocation(300, u'l');
    std::u16string text = longName +
                          u",1,18,100,1,1,1,1,1,0,0,1,0,0,0,0,5,1,0,0,0,0,0,1,1,0,"
                          u"0,35,500,0,0,0,1000,500,0,900,0," +
                          longAuthor + u"," + longLocation + u",0,500,2,1,5,6,7";
    const PresetRecord r = Read(text);
    EXPECT_EQ(r.Name, longName.substr(0, kPresetNameMax));
    EXPECT_EQ(r.Author, longAuthor.substr(0, kPresetTextMax));
    EXPECT_EQ(r.Location, longLocation.substr(0, kPresetTextMax));
    // The fields after the texts are still read from the right places.
    EXPECT_EQ(r.Origin, 2);
    EXPECT_EQ(r.ShineGlitter, 7);
    // A cut never leaves half of a surrogate pair.
    std::u16string surrogates(126, u'x');
    surrogates += u"\U0001F600\U0001F600,1";
    const PresetRecord s = Read(surrogates);
    EXPECT_EQ(s.Name, std::u16string(126, u'x'));
}

TEST(PresetRecordTest, LongTextsAreShortenedSoThatNoFieldIsLost) {
    PresetRecord r = Read(kIntoTheLight);
    r.Name = std::u16string(kPresetNameMax, u'\u00BB');  // each grows to two characters
    r.Author = std::u16string(kPresetTextMax, u'\u00BB');
    r.Location = std::u16string(kPresetTextMax, u'L');
    r.Grains = -2147483647 - 1;
    r.Origin = 2;
    r.Invert = 1;
    r.ShimmerBright = 150;
    r.ShineGlitter = -600;
    const std::u16string text = Write(r);
    EXPECT_LE(text.size(), kPresetStringMax);
    // The name comes first and keeps all of itself; the author and location give way.
    EXPECT_EQ(text.substr(0, 2 * kPresetNameMax + 1),
              std::u16string(2 * kPresetNameMax, u'>') + u",");
    PresetRecord back;
    ASSERT_TRUE(ReadPresetString(text, back));
    EXPECT_EQ(back.Grains, r.Grains);
    EXPECT_EQ(back.Origin, 2);
    EXPECT_EQ(back.Invert, 1);
    EXPECT_EQ(back.ShimmerBright, 150);
    EXPECT_EQ(back.ShineGlitter, -600);
    EXPECT_EQ(back.Location, u"") << "the author took the room that was left";
    EXPECT_GT(back.Author.size(), 0u);
    // Reading cut the name to its width; from then on a trip changes nothing.
    const std::u16string settled = Write(back);
    EXPECT_EQ(Write(Read(settled)), settled);

    // Without texts nothing needs shortening.
    std::u16string bare;
    ASSERT_TRUE(WritePresetString(r, false, bare));
    EXPECT_TRUE(bare.ends_with(u",0,886,0,,,0,500,2,1,150,20,-600")) << Narrow(bare);
}

TEST(PresetRecordTest, EvenAbsurdNumbersAndLongTextsKeepEveryField) {
    PresetRecord r = Read(kIntoTheLight);
    for (int32_t* field :
         {&r.Motion,        &r.Style,         &r.Grains,      &r.Activity,      &r.Viscosity,
          &r.Complexity,    &r.ColorBright,   &r.Reflections, &r.Pastels,       &r.InfluenceRange,
          &r.Turbulence,    &r.Fuzziness,     &r.Pace,        &r.Gamma,         &r.PointMagnitude,
          &r.ShimmerBright, &r.ShimmerNarrow, &r.WrapFlags,   &r.Symmetric,     &r.ExtraTwist,
          &r.DotStyle,      &r.TrailLength,   &r.Origin,      &r.MotionVariant, &r.QuickDirty,
          &r.Invert,        &r.ShineGlitter,  &r.FieldColor,  &r.ReflectionsOn, &r.Dither,
          &r.LeaveTrails,   &r.ParamCount,    &r.Confinement}) {
        *field = -2147483647 - 1;
    }
    r.Param1 = r.Param2 = r.Param3 = r.Param4 = r.Param5 = r.Param6 = -2.0e9f;
    r.Motion = 5;  // readable
    r.Name = std::u16string(kPresetNameMax, u'N');
    r.Author = std::u16string(kPresetTextMax, u'A');
    const std::u16string text = Write(r);
    EXPECT_LE(text.size(), kPresetStringMax);
    PresetRecord back;
    ASSERT_TRUE(ReadPresetString(text, back));
    EXPECT_FALSE(back.Name.empty());
    EXPECT_EQ(back.Grains, r.Grains);
    EXPECT_EQ(back.Invert, r.Invert);
    EXPECT_EQ(back.ShineGlitter, r.ShineGlitter);
}

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

TEST(PresetRecordTest, NameAloneReadsWithDefaults) {
    const PresetRecord r = Read(u"Just A Name");
    EXPECT_EQ(r.Valid, 1);
    EXPECT_EQ(r.Name, u"Just A Name");
    EXPECT_EQ(r.Motion, 0);
    EXPECT_EQ(r.Style, 0);
    EXPECT_EQ(r.TrailLength, 30);
    EXPECT_EQ(r.Pace, 1000);
    EXPECT_EQ(r.Reserved11, 1);
    EXPECT_EQ(r.InfluenceRange, 35);
    EXPECT_EQ(r.Turbulence, 500);
    EXPECT_EQ(r.Confinement, 500);
    EXPECT_EQ(r.PointMagnitude, 1000);
    EXPECT_EQ(r.Gamma, 500);
    EXPECT_EQ(r.Origin, 1);
    EXPECT_EQ(r.ShimmerNarrow, 20);
    ExpectStyleDefaults(r, 0);
    EXPECT_EQ(r.Param1, 1100.0f);
}

TEST(PresetRecordTest, EmptyNameOrBadMotionFails) {
    PresetRecord r = Read(kIntoTheLight);
    EXPECT_FALSE(ReadPresetString(u"", r));
    EXPECT_EQ(r.Valid, 0);
    r = Read(kIntoTheLight);
    EXPECT_FALSE(ReadPresetString(u",1,2,3", r));
    EXPECT_EQ(r.Valid, 0);
    EXPECT_EQ(r, PresetRecord{});
    EXPECT_FALSE(ReadPresetString(u"Name,201,1", r));
    EXPECT_EQ(r.Valid, 0);
    EXPECT_FALSE(ReadPresetString(u"Name,-2,1", r));
    EXPECT_EQ(r.Valid, 0);
    EXPECT_TRUE(ReadPresetString(u"Name,200,1", r));
    EXPECT_EQ(r.Motion, 200);
    std::u16string out = u"untouched";
    EXPECT_FALSE(WritePresetString(PresetRecord{}, true, out));
    EXPECT_EQ(out, u"untouched");
}

TEST(PresetRecordTest, LegacyStartColourCodes) {
    // Style 1 ("Full Field") takes two parameters; Param1 is the start colour.
    for (const auto& [code, colour] :
         {std::pair{0, 1000.0f}, std::pair{1, 1100.0f}, std::pair{2, 1050.0f},
          std::pair{1020, 1020.0f}, std::pair{3, 1050.0f}}) {
        std::u16string withCode = u"Legacy,1,1,100,1,1,1,1,1,0,0,1,0,0,0,0,5,1,2,0,7,0,0,1,1,0";
        const std::string number = std::to_string(code);
        withCode.replace(withCode.find(u",2,0,7,") + 3, 1,
                         std::u16string(number.begin(), number.end()));
        const PresetRecord r = Read(withCode);
        EXPECT_EQ(r.Param1, colour) << "code " << code;  // 3 is out of range: the default
        EXPECT_EQ(r.Param2, 7.0f);
        EXPECT_EQ(r.ParamCount, 2);
    }
}

TEST(PresetRecordTest, OutOfRangeParametersGetTheStyleDefaults) {
    // Style 18 with Param2 far outside 1..9000 and Param6 below 1.
    std::u16string text(kIntoTheLight);
    text.replace(text.find(u",1100,35,65,2,"), 14, u",1100,99999,65,2,");
    text.replace(text.find(u",100,100,1000,"), 14, u",100,0,1000,");
    const PresetRecord r = Read(text);
    const StyleInfo* info = GetStyle(18);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(r.Param2, static_cast<float>(info->params[1].defaultValue));
    EXPECT_EQ(r.Param3, 65.0f);
    EXPECT_EQ(r.Param6, static_cast<float>(info->params[5].defaultValue));
    // A wrong count is replaced by the style's own.
    std::u16string counted(kIntoTheLight);
    counted.replace(counted.find(u",98,1,6,"), 8, u",98,1,3,");
    EXPECT_EQ(Read(counted).ParamCount, 6);
}

TEST(PresetRecordTest, DefaultsUseTheTableDefaultsNotItsCurrentValues) {
    ASSERT_TRUE(RestoreStyleDefaults(0));
    int32_t stored[6] = {1000, 80, 10, 5, 0, 0};
    ASSERT_TRUE(StoreStyleParams(0, 4, stored));
    const PresetRecord r = Read(u"Just A Name");
    ExpectStyleDefaults(r, 0);
    PresetRecord bad = Read(u"Bad,1,0,100,1,1,1,1,1,0,0,1,0,0,0,0,5,1,4,1100,500,0,0");
    EXPECT_EQ(bad.Param2, static_cast<float>(GetStyle(0)->params[1].defaultValue));
    ASSERT_TRUE(RestoreStyleDefaults(0));
}

TEST(PresetRecordTest, StyleOutsideTheTable) {
    const PresetRecord none = Read(
        u"X,1,30,100,1,1,1,1,1,0,0,1,0,0,0,0,5,1,0,1100,5,6,7,1,1,0,"
        u"0,35,500,0,8,9");
    EXPECT_EQ(none.ParamCount, 0);
    const float zeros[6] = {};
    ExpectParams(none, zeros);

    const PresetRecord kept = Read(
        u"X,1,-3,100,1,1,1,1,1,0,0,1,0,0,0,0,5,1,4,1,5,6,7,1,1,0,"
        u"0,35,500,0,8,9");
    EXPECT_EQ(kept.ParamCount, 4);
    const float asRead[6] = {1100, 5, 6, 7, 8, 9};  // legacy code 1 still maps
    ExpectParams(kept, asRead);
}

TEST(PresetRecordTest, StyleParamHelpers) {
    int32_t count = 9;
    float params[6] = {1, 2, 3, 4, 5, 6};
    StyleDefaultParams(50, count, params);
    EXPECT_EQ(count, 0);
    for (float p : params) EXPECT_EQ(p, 0.0f);

    StyleDefaultParams(2, count, params);  // "Globular": two parameters
    EXPECT_EQ(count, 2);
    EXPECT_EQ(params[0], 1100.0f);
    EXPECT_EQ(params[1], 100.0f);
    EXPECT_EQ(params[2], 0.0f);

    count = 5;
    float clamped[6] = {1000, 900, 33, 44, 55, 66};
    StyleClampParams(-1, count, clamped);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(clamped[1], 900.0f);
    clamped[0] = std::nanf("");
    StyleClampParams(2, count, clamped);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(clamped[0], 1100.0f);  // not a number: the default
    EXPECT_EQ(clamped[1], 100.0f);   // above 800: the default
    EXPECT_EQ(clamped[2], 33.0f);    // past the count: left alone
    clamped[1] = 800;
    StyleClampParams(2, count, clamped);
    EXPECT_EQ(clamped[1], 800.0f);
}

TEST(PresetRecordTest, ShortStringsGetTheDocumentedDefaults) {
    const std::u16string head =
        u"Short,3,1,500,1000,100,4,900,3,1,0,1,0,2,0,0,0,1,2,1080,5,0,0,"
        u"300,1,1";
    // After field 25.
    PresetRecord r = Read(head);
    EXPECT_EQ(r.TrailLength, 30);
    EXPECT_EQ(r.Dither, 1);
    EXPECT_EQ(r.FieldColor, 0);
    EXPECT_EQ(r.InfluenceRange, 35);
    EXPECT_EQ(r.Turbulence, 500);
    EXPECT_EQ(r.Fuzziness, 0);
    EXPECT_EQ(r.Pace, 1000);
    EXPECT_EQ(r.Confinement, 500);
    EXPECT_EQ(r.PointMagnitude, 750);  // LeaveTrails is set
    EXPECT_EQ(r.Origin, 1);
    EXPECT_EQ(r.Param1, 1080.0f);
    EXPECT_EQ(r.Param2, 5.0f);

    // After field 29: the parameters 5 and 6 and Pace still missing.
    const std::u16string f29 = head + u",1,60,400,12";
    r = Read(f29);
    EXPECT_EQ(r.FieldColor, 1);
    EXPECT_EQ(r.InfluenceRange, 60);
    EXPECT_EQ(r.Turbulence, 400);
    EXPECT_EQ(r.Fuzziness, 12);
    EXPECT_EQ(r.Pace, 1000);
    EXPECT_EQ(r.Confinement, 500);

    // After field 32.
    const std::u16string f32 = f29 + u",0,0,1500";
    r = Read(f32);
    EXPECT_EQ(r.Pace, 1500);
    EXPECT_EQ(r.Confinement, 500);
    EXPECT_EQ(r.MotionVariant, 0);
    EXPECT_EQ(r.PointMagnitude, 750);
    EXPECT_TRUE(r.Author.empty());

    // After field 36.
    const std::u16string f36 = f32 + u",-300,2,640,1";
    r = Read(f36);
    EXPECT_EQ(r.Confinement, -300);
    EXPECT_EQ(r.MotionVariant, 2);
    EXPECT_EQ(r.PointMagnitude, 640);
    EXPECT_EQ(r.QuickDirty, 1);
    EXPECT_TRUE(r.Author.empty());
    EXPECT_EQ(r.WrapFlags, 0);
    EXPECT_EQ(r.Gamma, 500);
    EXPECT_EQ(r.Origin, 1);

    // After field 38.
    const std::u16string f38 = f36 + u",Me,Here";
    r = Read(f38);
    EXPECT_EQ(r.Author, u"Me");
    EXPECT_EQ(r.Location, u"Here");
    EXPECT_EQ(r.WrapFlags, 0);
    EXPECT_EQ(r.Gamma, 500);
    EXPECT_EQ(r.Origin, 1);
    EXPECT_EQ(r.ShimmerNarrow, 20);

    // And the whole string.
    r = Read(f38 + u",2,700,2,1,150,900,-600");
    EXPECT_EQ(r.WrapFlags, 2);
    EXPECT_EQ(r.Gamma, 700);
    EXPECT_EQ(r.Origin, 2);
    EXPECT_EQ(r.Invert, 1);
    EXPECT_EQ(r.ShimmerBright, 150);
    EXPECT_EQ(r.ShimmerNarrow, 900);
    EXPECT_EQ(r.ShineGlitter, -600);
    EXPECT_EQ(Read(Write(r)), r);
}

TEST(PresetRecordTest, PointMagnitudeDefaultFollowsTrails) {
    EXPECT_EQ(Read(u"N,1,0,10,1,1,1,1,1,0,0,1,0,0,0,0,5,0").PointMagnitude, 1000);
    EXPECT_EQ(Read(u"N,1,0,10,1,1,1,1,1,0,0,1,0,0,0,0,5,1").PointMagnitude, 750);
    const EngineSettings e = ToEngineSettings(Read(u"N,1,0,10,1,1,1,1,1,0,0,1,0,0,0,0,5,1"));
    EXPECT_EQ(e.PointMagnitude, 750);
}

TEST(PresetRecordTest, EngineSettingsCarryTheFields) {
    const PresetRecord r = Read(kIntoTheLight);
    const EngineSettings e = ToEngineSettings(r);
    EXPECT_EQ(e.Motion, 1);
    EXPECT_EQ(e.Style, 18);
    EXPECT_EQ(e.Grains, 18999);
    EXPECT_EQ(e.Activity, 4191);
    EXPECT_EQ(e.Viscosity, 1112);
    EXPECT_EQ(e.Complexity, 11);
    EXPECT_EQ(e.ColorBright, 163);
    EXPECT_EQ(e.Reflections, 7);
    EXPECT_EQ(e.TrailLength, 98);
    EXPECT_EQ(e.ParamCount, 6);
    EXPECT_EQ(e.Param[0], 1100.0f);
    EXPECT_EQ(e.Param[3], 2.0f);
    EXPECT_EQ(e.Param[5], 100.0f);
    EXPECT_EQ(e.Pastels, 144);
    EXPECT_EQ(e.InfluenceRange, 55);
    EXPECT_EQ(e.Turbulence, 313);
    EXPECT_EQ(e.Fuzziness, 73);
    EXPECT_EQ(e.Pace, 1000);
    EXPECT_EQ(e.Confinement, 500);
    EXPECT_EQ(e.PointMagnitude, 886);
    EXPECT_EQ(e.Gamma, 500);
    EXPECT_EQ(e.ShimmerNarrow, 20);
    std::u16string noTrail(kIntoTheLight);
    noTrail.replace(noTrail.find(u",98,"), 4, u",0,");
    EXPECT_EQ(ToEngineSettings(Read(noTrail)).TrailLength, 30);
}

// ---------------------------------------------------------------------------------------------
// Randomised presets
// ---------------------------------------------------------------------------------------------

void ExpectSaneRandomRecord(const PresetRecord& r) {
    EXPECT_GE(r.Motion, 0);
    EXPECT_LE(r.Motion, 5);
    EXPECT_GE(r.Style, 0);
    EXPECT_LE(r.Style, 29);
    EXPECT_GE(r.Grains, 50);
    EXPECT_LE(r.Grains, 100000);
    EXPECT_GE(r.Activity, 100);
    EXPECT_LT(r.Activity, 5000);
    EXPECT_GE(r.Pace, 100);
    EXPECT_LT(r.Pace, 1900);
    EXPECT_GE(r.Complexity, 1);
    EXPECT_LE(r.Complexity, 24);
    EXPECT_GE(r.Reflections, 1);
    EXPECT_LE(r.Reflections, 21);
    EXPECT_GE(r.DotStyle, 0);
    EXPECT_LE(r.DotStyle, 5);
    EXPECT_GE(r.InfluenceRange, 0);
    EXPECT_LE(r.InfluenceRange, 100);
    EXPECT_GE(std::abs(r.Confinement), 100);
    EXPECT_LT(std::abs(r.Confinement), 900);
    EXPECT_EQ(r.QuickDirty, 0);
    if (r.Dither != 0) {
        EXPECT_EQ(r.Fuzziness, 0);
        EXPECT_EQ(r.LeaveTrails, 1);
    }
    if (r.LeaveTrails == 0) {
        EXPECT_EQ(r.Fuzziness, 0);
    }
    if (r.ReflectionsOn != 0 && r.Reflections > 2) {
        EXPECT_EQ(r.WrapFlags, 0);
    }
    EXPECT_TRUE(r.WrapFlags == 0 || r.WrapFlags == 1 || r.WrapFlags == 2);
    EXPECT_TRUE(r.ShineGlitter == 0 || r.ShineGlitter == 600 || r.ShineGlitter == -600);
    EXPECT_EQ(r.Gamma, 500);
    const StyleInfo* info = GetStyle(r.Style);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(r.ParamCount, info->paramCount);
    const float params[6] = {r.Param1, r.Param2, r.Param3, r.Param4, r.Param5, r.Param6};
    for (int i = 0; i < 6; ++i) {
        if (i < info->paramCount) {
            EXPECT_TRUE(info->params[i].InRange(params[i]))
                << "style " << r.Style << " param " << i;
        } else {
            EXPECT_EQ(params[i], 0.0f);
        }
    }
}

TEST(PresetRecordTest, CompleteMysteryReadsAsANewRecordEachTime) {
    const PresetRecord a = Read(kCompleteMystery);
    const PresetRecord b = Read(kCompleteMystery);
    EXPECT_EQ(a.Valid, 1);
    EXPECT_EQ(b.Valid, 1);
    EXPECT_EQ(a.Name, u"Complete Mystery");
    EXPECT_TRUE(a.Author.empty());
    EXPECT_EQ(a.Origin, 0);
    ExpectSaneRandomRecord(a);
    ExpectSaneRandomRecord(b);
    EXPECT_NE(Write(a, false), Write(b, false));
    // What it resolves to reads back as itself.
    EXPECT_EQ(Read(Write(a)).Grains, a.Grains);
}

TEST(PresetRecordTest, RandomRecordsKeepTheRules) {
    for (int seed = 1; seed <= 300; ++seed) {
        EngineRandom rng;
        rng.Seed(seed, 0, static_cast<uint32_t>(seed));
        CLibraryRand crand;
        crand.Seed(static_cast<uint32_t>(seed));
        PresetRecord r;
        RandomPresetRecord(r, rng, crand);
        SCOPED_TRACE(seed);
        ExpectSaneRandomRecord(r);
    }
}

TEST(PresetRecordTest, RandomRecordDrawsInTheDesignedOrder) {
    EngineRandom rng;
    rng.Seed(1234, 0, 99);
    EngineRandom replay;
    replay.Seed(1234, 0, 99);
    CLibraryRand crand;
    crand.Seed(7);
    CLibraryRand crandReplay;
    crandReplay.Seed(7);
    PresetRecord r;
    r.Name = u"Kept";
    RandomPresetRecord(r, rng, crand);

    EXPECT_EQ(r.Motion, replay.RandomInteger() % 6);
    EXPECT_EQ(r.Style, replay.RandomInteger() % 30);
    const double u = replay.RandomSigned(0.5f) + 0.5;
    EXPECT_EQ(
        r.Grains,
        static_cast<int32_t>(std::trunc(
            std::exp(std::log(50.0) + (std::log(100000.0) - std::log(50.0)) * std::pow(u, 0.65)) +
            0.5)));
    EXPECT_EQ(r.Activity, replay.RandomInteger() % 4900 + 100);
    EXPECT_EQ(r.Pace, replay.RandomInteger() % 1800 + 100);
    EXPECT_EQ(r.Viscosity, replay.RandomInteger() % 1200);
    const double a = replay.RandomUniform();
    const double b = replay.RandomUniform();
    const double c = replay.RandomUniform();
    EXPECT_EQ(r.Complexity,
              static_cast<int32_t>(std::trunc(1 + 6 * std::pow(a, 1.5) + 8 * std::pow(b, 1.5) +
                                              9 * std::pow(c, 1.5))));
    EXPECT_EQ(r.Reflections,
              static_cast<int32_t>(std::trunc(20 * std::pow(replay.RandomUniform(), 3.2) + 1)));
    const int32_t symmetricDraw = replay.RandomInteger() % 100;
    EXPECT_EQ(r.Symmetric, (r.Reflections == 1 ? symmetricDraw > 75 : symmetricDraw > 30) ? 1 : 0);
    EXPECT_EQ(r.ExtraTwist, replay.RandomInteger() % 100 > 80 ? 1 : 0);
    int32_t dotStyle = 0;
    if (replay.RandomInteger() % 4 == 0) dotStyle = replay.RandomInteger() % 6;
    EXPECT_EQ(r.DotStyle, dotStyle);
    EXPECT_EQ(r.TrailLength, replay.RandomInteger() % 100 + 1);
    const double pa = replay.RandomUniform();
    const double pb = replay.RandomUniform();
    const double p = (2 * pa - 1) * (2 * pb - 1);
    EXPECT_EQ(r.InfluenceRange,
              static_cast<int32_t>(p >= 0 ? std::trunc(30 + 70 * p) : std::trunc(30 + 30 * p)));
    EXPECT_EQ(r.Turbulence, replay.RandomInteger() % 1000);
    int32_t confinement = replay.RandomInteger() % 800 + 100;
    if (crandReplay.Next() % 2 == 0) confinement = -confinement;
    EXPECT_EQ(r.Confinement, confinement);
    // The texts and reserved fields are not touched.
    EXPECT_EQ(r.Name, u"Kept");
    EXPECT_EQ(r.Reserved11, 0);
    EXPECT_EQ(r.Origin, 0);
}

// ---------------------------------------------------------------------------------------------
// Hostile input
// ---------------------------------------------------------------------------------------------

TEST(PresetRecordTest, GarbageNeverBreaksTheReader) {
    std::mt19937 gen(20261207);
    const char16_t alphabet[] = {u',',      u'-', u'+',      u'0',      u'1',
                                 u'9',      u' ', u'\t',     u'\n',     u'\0',
                                 u'\u00BB', u'x', u'\xD800', u'\xDFFF', u'\xFFFF'};
    for (int i = 0; i < 3000; ++i) {
        std::u16string text;
        const std::size_t length = gen() % 700;
        for (std::size_t j = 0; j < length; ++j) {
            text.push_back(gen() % 4 == 0 ? static_cast<char16_t>(gen() % 0x10000)
                                          : alphabet[gen() % std::size(alphabet)]);
        }
        PresetRecord r;
        const bool ok = ReadPresetString(text, r);
        EXPECT_EQ(ok, r.Valid == 1);
        if (!ok) continue;
        EXPECT_LE(r.Name.size(), kPresetNameMax);
        EXPECT_LE(r.Author.size(), kPresetTextMax);
        EXPECT_LE(r.Location.size(), kPresetTextMax);
        std::u16string out;
        ASSERT_TRUE(WritePresetString(r, true, out));
        EXPECT_LE(out.size(), kPresetStringMax);
        PresetRecord again;
        EXPECT_TRUE(ReadPresetString(out, again));
    }
}

TEST(PresetRecordTest, ControlCharactersEndFields) {
    const PresetRecord r = Read(u"Tab\tName,1,2");
    EXPECT_EQ(r.Name, u"Tab");
    EXPECT_EQ(r.Motion, 0);  // "Name" is not a number
    EXPECT_EQ(r.Style, 1);
    EXPECT_EQ(r.Grains, 2);
}

}  // namespace
}  // namespace quovis
