// The preset field table against the code that reads it: every field through the writer and
// the reader at its limits and default, the defaults a short string gets, and what reaches the
// engine from a string that omits fields.
#include "engine/preset_fields.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/style_table.h"
#include "present/headless_renderer.h"
#include "settings/preset_apply.h"
#include "settings/preset_record.h"

namespace quovis {
namespace {

constexpr std::u16string_view kIntoTheLight =
    u"Into The Light,1,18,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0,0,"
    u"55,313,73,100,100,1000,500,0,886,0,-,-,0,500,0,0";

PresetRecord Read(std::u16string_view text) {
    PresetRecord r;
    EXPECT_TRUE(ReadPresetString(text, r));
    return r;
}

std::u16string Write(const PresetRecord& r) {
    std::u16string out;
    EXPECT_TRUE(WritePresetString(r, true, out));
    return out;
}

// Field `number` of a preset string, as the reader's tokeniser sees it.
std::u16string Token(std::u16string_view text, int number) {
    for (int i = 0; i < number; ++i) NextPresetToken(text);
    return std::u16string(NextPresetToken(text));
}

// The text up to and including field `last`.
std::u16string Cut(std::u16string_view text, int last) {
    std::u16string_view rest = text;
    for (int i = 0; i <= last; ++i) NextPresetToken(rest);
    return std::u16string(text.substr(0, text.size() - rest.size() - (rest.empty() ? 0 : 1)));
}

// A field's value in a record, whatever its kind (texts excluded).
double Value(const PresetRecord& r, const PresetField& f) {
    if (f.recordParam != nullptr) return r.*f.recordParam;
    if (f.recordInt != nullptr) return r.*f.recordInt;
    if (f.recordReal != nullptr) return r.*f.recordReal;
    return f.fixed;
}

TEST(PresetFields, FoundByNameAndByNumber) {
    for (const PresetField& f : kPresetFields) {
        EXPECT_EQ(FindPresetField(f.name), &f) << f.name;
        EXPECT_EQ(PresetFieldNumbered(f.number), &f) << f.name;
    }
    // Positions the stored strings depend on.
    const std::vector<std::pair<std::string_view, int>> known = {
        {"Motion", 1},     {"DotStyle", 13},    {"TrailLength", 16}, {"Param1", 19},
        {"Dither", 25},    {"Param5", 30},      {"Pace", 32},        {"Author", 37},
        {"WrapFlags", 39}, {"ShineGlitter", 45}};
    for (const auto& [name, number] : known) EXPECT_EQ(FindPresetField(name)->number, number);
    EXPECT_EQ(FindPresetField("Trails"), nullptr);
    EXPECT_EQ(PresetFieldNumbered(0), nullptr);
    EXPECT_EQ(PresetFieldNumbered(46), nullptr);
}

TEST(PresetFields, EveryFieldSurvivesWriterAndReaderAtItsLimitsAndDefault) {
    const PresetRecord base = Read(kIntoTheLight);  // trails on, so every field is written
    const StyleInfo* style = GetStyle(base.Style);
    ASSERT_NE(style, nullptr);
    for (const PresetField& f : kPresetFields) {
        if (f.kind == PresetFieldKind::Text) continue;  // the escape tests cover the texts
        std::vector<int32_t> values = {f.min, f.max};
        if (f.Optional()) values.push_back(f.absent);
        if (f.absentWithTrails) values.push_back(*f.absentWithTrails);
        if (f.kind == PresetFieldKind::Param) {
            const StyleParamInfo& p = style->params[f.paramSlot];
            values = {p.min, p.max, p.defaultValue};
        }
        for (const int32_t value : values) {
            PresetRecord r = base;
            if (f.recordInt != nullptr) r.*f.recordInt = value;
            if (f.recordParam != nullptr) r.*f.recordParam = static_cast<float>(value);
            const std::u16string text = Write(r);
            const PresetRecord back = Read(text);
            const bool fixed = f.kind == PresetFieldKind::Fixed ||
                               f.kind == PresetFieldKind::Reserved ||
                               f.kind == PresetFieldKind::Real;
            const int32_t written = fixed ? f.fixed : value;
            EXPECT_EQ(PresetTokenToInt(Token(text, f.number)), written)
                << f.name << " " << value << " is not written at its number";
            // After a read the count is always the style's own.
            const bool count = f.recordInt == &PresetRecord::ParamCount;
            EXPECT_EQ(Value(back, f), count ? style->paramCount : written)
                << f.name << " " << value;
        }
    }
}

// Every optional field away from its default, trails on or off.
PresetRecord AwayFromDefaults(bool trails) {
    PresetRecord r = Read(kIntoTheLight);
    r.LeaveTrails = trails ? 1 : 0;
    for (const PresetField& f : kPresetFields) {
        if (!f.Optional() || f.recordInt == nullptr) continue;
        r.*f.recordInt = f.AbsentValue(trails) == f.max ? f.min : f.max;
    }
    return r;
}

TEST(PresetFields, AShortStringReadsTheTableDefaults) {
    for (const bool trails : {false, true}) {
        const std::u16string text = Write(AwayFromDefaults(trails));
        const PresetRecord full = Read(text);
        for (int last = kFirstOptionalPresetField - 1; last < kPresetFieldCount; ++last) {
            const PresetRecord r = Read(Cut(text, last));
            for (const PresetField& f : kPresetFields) {
                // A missing style parameter is the style's business (its default or 0).
                if (f.kind == PresetFieldKind::Param) continue;
                if (f.recordText != nullptr) {
                    EXPECT_EQ(r.*f.recordText, f.number > last ? u"" : full.*f.recordText);
                    continue;
                }
                const double expected = f.number > last ? f.AbsentValue(trails) : Value(full, f);
                EXPECT_EQ(Value(r, f), expected) << f.name << " cut after " << last;
            }
        }
    }
}

TEST(PresetFields, TheEngineTakesItsOwnDefaultsForFieldsAShortStringOmits) {
    const std::u16string text = Write(AwayFromDefaults(true));
    for (int last = kFirstOptionalPresetField - 1; last < kPresetFieldCount; ++last) {
        const EngineSettings e = ToEngineSettings(Read(Cut(text, last)), last);
        const EngineSettings whole = ToEngineSettings(Read(text));
        for (const PresetField& f : kPresetFields) {
            if (f.engine == nullptr) continue;
            const int32_t expected =
                f.number <= last ? whole.*f.engine : f.engineAbsent.value_or(f.AbsentValue(true));
            EXPECT_EQ(e.*f.engine, expected) << f.name << " cut after " << last;
        }
    }
    // The design's values for a string that stops after the dither flag.
    const EngineSettings old = ToEngineSettings(Read(Cut(text, 25)), 25);
    EXPECT_EQ(old.Turbulence, 561);
    EXPECT_EQ(old.PointMagnitude, 750);
    EXPECT_EQ(old.Pace, 1000);
    EXPECT_EQ(old.InfluenceRange, 35);
}

// A small picture of a pattern set up by `configure`.
std::vector<uint32_t> SmallPicture(const std::function<bool(CDrawWnd&)>& configure) {
    RenderOptions options;
    options.width = 160;
    options.height = 90;
    options.bands = 1;
    HeadlessRenderer renderer(options, configure, "not applied");
    EXPECT_TRUE(renderer.Ok()) << renderer.Error();
    for (int i = 0; i < 20 && renderer.Ok(); ++i) renderer.RenderFrame();
    Picture picture;
    EXPECT_TRUE(renderer.Snapshot(&picture));
    return picture.pixels;
}

std::vector<uint32_t> PresetPicture(const std::u16string& text) {
    return SmallPicture([&text](CDrawWnd& engine) { return ApplyPresetString(engine, text); });
}

TEST(PresetFields, AShortStringShowsTheSameAsOneThatSpellsOutTheDefaults) {
    const std::u16string old = Cut(kIntoTheLight, 25);
    // The same string with every later field written out at the engine's default.
    std::u16string spelled = old;
    for (int n = 26; n <= kPresetFieldCount; ++n) {
        const PresetField& f = *PresetFieldNumbered(n);
        spelled += u",";
        if (f.recordInt != nullptr) {
            for (char c : std::to_string(f.engineAbsent.value_or(f.AbsentValue(true)))) {
                spelled += static_cast<char16_t>(c);
            }
        }
    }
    const std::vector<uint32_t> shown = PresetPicture(old);
    EXPECT_EQ(shown, PresetPicture(spelled));
    // And the comparison can tell: another gamma shows another picture.
    std::u16string brighter = spelled;
    brighter.replace(brighter.rfind(u",500,1,"), 7, u",900,1,");
    EXPECT_NE(shown, PresetPicture(brighter));
}

TEST(PresetFields, AStoredZeroReachesTheEngineAsTheValueItStandsFor) {
    for (const PresetField& f : kPresetFields) {
        if (!f.zeroMeans || f.engine == nullptr) continue;
        EngineSettings zero;
        zero.*f.engine = 0;
        EngineSettings meant;
        meant.*f.engine = *f.zeroMeans;
        const auto apply = [](const EngineSettings& s) {
            return [s](CDrawWnd& engine) {
                engine.ApplySettings(s);
                return true;
            };
        };
        EXPECT_EQ(SmallPicture(apply(zero)), SmallPicture(apply(meant))) << f.name;
    }
}

}  // namespace
}  // namespace quovis
