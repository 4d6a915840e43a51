// A field handed to the engine on its own must leave the engine as applying the whole record
// with that field changed would.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config_ui/field_live.h"
#include "engine/draw_wnd.h"
#include "engine/preset_fields.h"
#include "engine/style_table.h"
#include "settings/preset_record.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"

namespace quovis {
namespace {

using Access = EngineTestAccess;

// Style 3 with three reflections, trails on and every optional field present.
constexpr std::u16string_view kBase =
    u"Base,1,3,40000,2000,600,8,1200,3,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,1,"
    u"0,0,35,500,0,0,0,1000,500,0,500,0,-,-,0,500,1,0,0,20,0";

PresetRecord BaseRecord() {
    PresetRecord record;
    EXPECT_TRUE(ReadPresetString(kBase, record));
    return record;
}

// What the engine shows of its settings, named so that a failure says which one differs.
std::vector<std::pair<std::string, double>> Observe(const CDrawWnd& e) {
    std::vector<std::pair<std::string, double>> v = {
        {"Activity", e.Activity()},
        {"Pace", e.Pace()},
        {"Viscosity", e.ViscosityStored()},
        {"Confinement", e.Confinement()},
        {"ConfineGain", Access::ConfineGain(e)},
        {"InfluenceRange", e.InfluenceRange()},
        {"MoverInertia", e.MoverInertia()},
        {"MoverPeriod", Access::MoverPeriod(e)},
        {"ColourBright", e.ColourBright()},
        {"Pastels", e.Pastels()},
        {"PointMagnitude", e.PointMagnitudeStored()},
        {"Invert", Access::Invert(e)},
        {"DotStyle", e.DotStyle()},
        {"Reflections", e.Reflections()},
        {"Symmetric", e.IsSymmetric()},
        {"TrailsOn", e.TrailsOn()},
        {"TrailLength", Access::TrailLength(e)},
        {"Fuzziness", Access::Fuzziness(e)},
        {"ShimmerOn", Access::ShimmerOn(e)},
        {"ShineAmount", Access::ShineAmount(e)},
        {"GlitterOn", e.GlitterOn()},
        {"GlitterExp", e.GlitterExp()},
        {"GlitterAmount", e.GlitterAmount()},
        {"Style", e.Style()},
        {"Motion", e.Motion()},
        {"Movers", Access::Movers(e)},
        {"Grains", Access::Grains(e)},
        {"Dots", Access::Dots(e)},
        {"WrapFlags", Access::WrapFlags(e)},
        {"WrapActive", Access::WrapActive(e)},
        {"ParamCount", Access::ParamCount(e)},
    };
    for (int slot = 0; slot < kStyleParamSlots; ++slot) {
        v.emplace_back("Param" + std::to_string(slot + 1), e.StyleParam(slot));
    }
    return v;
}

class Engine {
  public:
    explicit Engine(const PresetRecord& record) : engine(clock, Options()) {
        engine.SetCanvasSize(320, 240);
        engine.ApplySettings(ToEngineSettings(record));
        engine.StartPattern(0.25, -1, -1, -1, false);
    }
    static EngineOptions Options() {
        EngineOptions options;
        options.workerCount = 1;
        return options;
    }
    test::FixedClock clock{1000, 1000};
    CDrawWnd engine;
};

struct LiveCase {
    std::string_view field;
    int32_t value;
    std::u16string_view base = kBase;
};

class FieldLiveTest : public ::testing::TestWithParam<LiveCase> {};

TEST_P(FieldLiveTest, GivesTheStateOfTheWholeRecord) {
    const LiveCase& c = GetParam();
    PresetRecord base;
    ASSERT_TRUE(ReadPresetString(c.base, base));
    const PresetField* field = FindPresetField(c.field);
    ASSERT_NE(field, nullptr);
    PresetRecord changed = base;
    if (field->recordInt != nullptr) {
        changed.*field->recordInt = c.value;
    } else {
        changed.*field->recordParam = static_cast<float>(c.value);
    }

    Engine live(base);
    const auto before = Observe(live.engine);
    EXPECT_TRUE(ApplyFieldLive(live.engine, *field, changed));
    Engine whole(changed);
    EXPECT_EQ(Observe(live.engine), Observe(whole.engine));
    // The case is worth having only when the change shows.
    EXPECT_NE(Observe(whole.engine), before) << "no visible change for " << c.field;
}

constexpr std::u16string_view kReflectionsOff =
    u"Off,1,3,40000,2000,600,8,1200,5,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,0,"
    u"0,0,35,500,0,0,0,1000,500,0,500,0,-,-,0,500,1,0,0,20,0";

// The record carries its own parameters for the style: a black start colour.
constexpr std::u16string_view kOwnParams =
    u"Params,1,3,40000,2000,600,8,1200,3,0,0,1,0,0,0,0,60,1,6,1000,0,0,0,150,1,"
    u"0,0,35,500,0,0,0,1000,500,0,500,0,-,-,0,500,1,0,0,20,0";

INSTANTIATE_TEST_SUITE_P(
    Fields, FieldLiveTest,
    ::testing::Values(
        LiveCase{"Motion", 3}, LiveCase{"Style", 7}, LiveCase{"Complexity", 20},
        LiveCase{"Grains", 90000}, LiveCase{"Activity", 4500}, LiveCase{"Viscosity", -150},
        LiveCase{"ColorBright", 2300}, LiveCase{"Reflections", 7}, LiveCase{"Reflections", 24},
        LiveCase{"Symmetric", 1}, LiveCase{"ReflectionsOn", 0},
        LiveCase{"ReflectionsOn", 1, kReflectionsOff}, LiveCase{"DotStyle", 6},
        LiveCase{"TrailLength", 0}, LiveCase{"TrailLength", 85}, LiveCase{"LeaveTrails", 0},
        LiveCase{"Param1", 1100, kOwnParams}, LiveCase{"ParamCount", 0, kOwnParams},
        LiveCase{"Pastels", 900}, LiveCase{"InfluenceRange", 80}, LiveCase{"Turbulence", 900},
        LiveCase{"Fuzziness", 40}, LiveCase{"Pace", 1800}, LiveCase{"Confinement", -700},
        LiveCase{"PointMagnitude", 900}, LiveCase{"WrapFlags", 2}, LiveCase{"Invert", 1},
        LiveCase{"ShimmerBright", 150}, LiveCase{"ShimmerNarrow", 700},
        LiveCase{"ShineGlitter", -600}, LiveCase{"ShineGlitter", 600}),
    [](const ::testing::TestParamInfo<LiveCase>& info) {
        return std::string(info.param.field) + "_" + std::to_string(info.index);
    });

TEST(FieldLive, SymmetricStaysOffWhileReflectionsAreOff) {
    PresetRecord record;
    ASSERT_TRUE(ReadPresetString(kReflectionsOff, record));
    Engine live(record);
    record.Symmetric = 1;
    record.Reflections = 9;
    EXPECT_TRUE(ApplyFieldLive(live.engine, PresetFieldNamed("Symmetric"), record));
    EXPECT_TRUE(ApplyFieldLive(live.engine, PresetFieldNamed("Reflections"), record));
    EXPECT_EQ(live.engine.Reflections(), 1);
    EXPECT_FALSE(live.engine.IsSymmetric());
}

TEST(FieldLive, AStyleParameterOverridesAPendingLiveCopy) {
    // Drift leaves live copies the emitters take over; an edit must win over them.
    PresetRecord record = BaseRecord();
    Engine live(record);
    live.engine.SetLiveStyleParam(1, -12345.0);
    const StyleInfo* style = GetStyle(record.Style);
    ASSERT_NE(style, nullptr);
    ASSERT_GE(style->paramCount, 2);
    record.ParamCount = style->paramCount;
    record.Param2 = static_cast<float>(style->params[1].max);
    ASSERT_TRUE(ApplyFieldLive(live.engine, PresetFieldNamed("Param2"), record));
    EXPECT_EQ(Access::StyleParamLive(live.engine, 1), record.Param2);
    EXPECT_EQ(live.engine.StyleParam(1), record.Param2);
}

// Texts, Origin and the reserved fields are refused; every field the engine takes is taken.
TEST(FieldLive, TakesExactlyTheFieldsTheEngineTakes) {
    const PresetRecord record = BaseRecord();
    Engine live(record);
    for (const PresetField& f : kPresetFields) {
        const bool takes = f.engine != nullptr || f.kind == PresetFieldKind::Param;
        EXPECT_EQ(ApplyFieldLive(live.engine, f, record), takes) << f.name;
    }
}

}  // namespace
}  // namespace quovis
