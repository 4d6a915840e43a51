// The preset pages through a fake window: bindings, live changes, interlocks, the Grains edit
// and the style's parameter rows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <memory>
#include <string>

#include "config_ui/bubble_slider.h"
#include "config_ui/config_page.h"
#include "config_ui/pages.h"
#include "engine/preset_fields.h"
#include "engine/style_table.h"
#include "engine/vocabulary.h"
#include "page_rig.h"

namespace quovis {
namespace {

using testing::PageRig;
using Factory = ConfigPage* (*)(ConfigContext&, QWidget*);

class PresetPagesTest : public ::testing::Test {
  protected:
    ConfigPage& Open(Factory make) {
        page.reset(make(rig, rig.Window()));
        page->Load();
        return *page;
    }
    template <class W>
    W* Find(const char* name) {
        W* widget = page->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool Changed(const std::string& field) const {
        return std::find(rig.changed.begin(), rig.changed.end(), field) != rig.changed.end();
    }
    int32_t Stored(const char* field) {
        const PresetField* f = FindPresetField(field);
        if (f->recordParam != nullptr) return static_cast<int32_t>(rig.Settings().*f->recordParam);
        return rig.Settings().*f->recordInt;
    }

    PageRig rig;
    const PresetRecord initial = rig.Settings();
    std::unique_ptr<ConfigPage> page;
};

// Sets a control the way the user would leave it: the new value in place.
void SetControl(QObject* control, int value) {
    if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
        slider->setValue(value);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        spin->setValue(value);
    } else if (auto* radio = qobject_cast<QRadioButton*>(control)) {
        radio->setChecked(value != 0);
    } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
        check->setChecked(value != 0);
    } else if (auto* list = qobject_cast<QComboBox*>(control)) {
        list->setCurrentIndex(value);
    } else {
        ADD_FAILURE() << "no such control kind";
    }
}

int ControlValue(QObject* control) {
    if (auto* slider = qobject_cast<QAbstractSlider*>(control)) return slider->value();
    if (auto* spin = qobject_cast<QSpinBox*>(control)) return spin->value();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->isChecked();
    if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentIndex();
    return -1;
}

struct ControlCase {
    Factory page;
    const char* name;
    int value;
    const char* field;
    int32_t expected;
};

TEST_F(PresetPagesTest, EachControlWritesItsFieldAtOnceAndShowsItAgain) {
    const ControlCase cases[] = {
        {CreateHomePage, "slider1062", 10000, "Grains", 144000},
        {CreateHomePage, "slider1062", 0, "Grains", 10},
        {CreateHomePage, "slider1010", 4321, "Activity", 4321},
        {CreateHomePage, "slider1059", 777, "Turbulence", 777},
        {CreateHomePage, "slider1009", -150, "Viscosity", -150},
        {CreateHomePage, "slider1006", 17, "Complexity", 17},
        {CreateHomePage, "check1037", 0, "ReflectionsOn", 0},
        {CreateHomePage, "spin1040", 12, "Reflections", 12},
        {CreateHomePage, "check1015", 1, "Symmetric", 1},
        {CreateHomePage, "check3016", 1, "WrapFlags", kWrapEdges},
        {CreateHomePage, "spin3063", -42, "Confinement", -420},
        {CreateHomePage, "spin1055", 80, "InfluenceRange", 80},
        {CreatePatternPage, "list1018", kMotionCircular, "Motion", kMotionCircular},
        {CreatePatternPage, "list3019", kVariantWaves, "MotionVariant", kVariantWaves},
        {CreatePatternPage, "check1011", 1, "ExtraTwist", 1},
        {CreatePatternPage, "check3011", 1, "WrapFlags", kWrapImages},
        {CreatePatternPage, "check3014", 1, "WrapFlags", kWrapMobius},
        {CreatePatternPage, "slider1063", 1500, "Pace", 1500},
        {CreateColorPage, "slider1012", 2000, "ColorBright", 2000},
        {CreateColorPage, "slider1019", 800, "Pastels", 800},
        {CreateColorPage, "slider3020", 321, "PointMagnitude", 321},
        {CreateColorPage, "slider3091", 0, "Gamma", 0},
        {CreateColorPage, "check1013", 1, "FieldColor", 1},
        {CreateColorPage, "check3042", 1, "Invert", 1},
        {CreateColorPage, "slider3023", 25, "Param1", kStartColourBlack + 25},
        {CreateColorPage, "slider3023", 0, "Param1", kStartColourBlack},
        {CreateDisplayPage, "radio1135", 1, "DotStyle", kDotPixels},
        {CreateDisplayPage, "radio1031", 1, "DotStyle", kDotLargePoints},
        {CreateDisplayPage, "radio1021", 1, "DotStyle", kDotSparkles},
        {CreateDisplayPage, "radio1032", 1, "DotStyle", kDotVerticalBars},
        {CreateDisplayPage, "radio1022", 1, "DotStyle", kDotFuzzies},
        {CreateDisplayPage, "radio3034", 1, "DotStyle", kDotDiscs},
        {CreateDisplayPage, "radio3033", 1, "DotStyle", kDotRings},
        {CreateDisplayPage, "check1036", 0, "LeaveTrails", 0},
        {CreateDisplayPage, "spin1039", 77, "TrailLength", 77},
        {CreateDisplayPage, "check1041", 1, "Dither", 1},
        {CreateDisplayPage, "check1011", 1, "QuickDirty", 1},
        {CreateDisplayPage, "slider3021", 120, "ShimmerBright", 120},
        {CreateDisplayPage, "slider3022", 900, "ShimmerNarrow", 900},
        {CreateDisplayPage, "check1083", 1, "ShineGlitter", 600},
        {CreateDisplayPage, "check1084", 1, "ShineGlitter", -600},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        rig.changed.clear();
        Open(c.page);
        EXPECT_TRUE(rig.changed.empty()) << "Load reported a change";
        QWidget* control = Find<QWidget>(c.name);
        ASSERT_NE(control, nullptr);
        ASSERT_NE(Stored(c.field), c.expected) << "the case changes nothing";
        SetControl(control, c.value);
        EXPECT_TRUE(Changed(c.field)) << "no live change of " << c.field;
        EXPECT_EQ(Stored(c.field), c.expected);
        page->Commit();
        EXPECT_EQ(Stored(c.field), c.expected);
        // A fresh page shows the stored value.
        Open(c.page);
        EXPECT_EQ(ControlValue(Find<QWidget>(c.name)), c.value);
        // Put the rig's preset back for the next case.
        rig.Settings() = initial;
    }
}

TEST_F(PresetPagesTest, ASliderChangesThePreviewWhileDragged) {
    Open(CreateHomePage);
    auto* slider = Find<BubbleSlider>("slider1010");
    slider->setSliderDown(true);
    slider->setSliderPosition(slider->maximum());
    EXPECT_TRUE(Changed("Activity"));
    EXPECT_EQ(rig.Settings().Activity, slider->maximum());
    slider->setSliderDown(false);
}

TEST_F(PresetPagesTest, GrainsEditIsClampedToTheFieldRange) {
    struct Case {
        const char* typed;
        int32_t expected;
        bool viaEnter;
    };
    const Case cases[] = {{"200000", 144000, true},  {"5", 10, true},  {"12345", 12345, true},
                          {"200000", 144000, false}, {"5", 10, false}, {"", 40000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        rig.Settings() = initial;
        rig.changed.clear();
        Open(CreateHomePage);
        auto* edit = Find<QLineEdit>("edit1000");
        edit->setText(QString::fromLatin1(c.typed));
        if (c.viaEnter) {
            page->EnterPressed(edit);
        } else {
            page->Commit();
        }
        EXPECT_EQ(rig.Settings().Grains, c.expected);
        EXPECT_EQ(edit->text(), QString::number(c.expected));
        EXPECT_EQ(Changed("Grains"), c.expected != 40000);
    }
}

TEST_F(PresetPagesTest, GrainsSliderAndEditAgree) {
    Open(CreateHomePage);
    auto* slider = Find<BubbleSlider>("slider1062");
    auto* edit = Find<QLineEdit>("edit1000");
    int previous = 0;
    for (int position = 0; position <= slider->maximum(); position += slider->maximum() / 10) {
        slider->setValue(position);
        EXPECT_EQ(edit->text(), QString::number(rig.Settings().Grains));
        EXPECT_GT(rig.Settings().Grains, previous) << "the count grows with the slider";
        previous = rig.Settings().Grains;
    }
    edit->setText(QStringLiteral("500"));
    page->EnterPressed(edit);
    EXPECT_LT(slider->value(), slider->maximum() / 2) << "a typed count moves the slider";
}

TEST_F(PresetPagesTest, DitherAndFuzzinessExcludeEachOther) {
    Open(CreateDisplayPage);
    auto* dither = Find<QCheckBox>("check1041");
    auto* fuzzy = Find<QCheckBox>("check1070");
    auto* amount = Find<QSpinBox>("spin1067");
    fuzzy->setChecked(true);
    amount->setValue(45);
    EXPECT_EQ(rig.Settings().Fuzziness, 45);
    dither->setChecked(true);
    EXPECT_FALSE(fuzzy->isChecked());
    EXPECT_EQ(rig.Settings().Fuzziness, 0);
    EXPECT_EQ(rig.Settings().Dither, 1);
    fuzzy->setChecked(true);
    EXPECT_FALSE(dither->isChecked());
    EXPECT_EQ(rig.Settings().Dither, 0);
    EXPECT_EQ(rig.Settings().Fuzziness, 45) << "the amount comes back";
}

TEST_F(PresetPagesTest, QuickAndDirtyNeedsTrailsWithoutFuzziness) {
    struct Case {
        bool trails, fuzzy, available;
    };
    const Case cases[] = {
        {true, false, true}, {false, false, false}, {true, true, false}, {false, true, false}};
    Open(CreateDisplayPage);
    for (const Case& c : cases) {
        Find<QCheckBox>("check1036")->setChecked(c.trails);
        Find<QCheckBox>("check1070")->setChecked(c.fuzzy);
        EXPECT_EQ(Find<QCheckBox>("check1011")->isEnabled(), c.available)
            << "trails " << c.trails << " fuzzy " << c.fuzzy;
    }
}

TEST_F(PresetPagesTest, WrapAndConfinementFollowReflectionsAndEachOther) {
    struct Case {
        bool reflections;
        int count;
        bool wrapTicked;
        bool wrapAvailable;
        bool confinementAvailable;
    };
    const Case cases[] = {
        {true, 2, false, true, true},   {true, 2, true, true, false},
        {true, 3, true, false, true},   {true, 3, false, false, true},
        {false, 10, true, true, false}, {false, 10, false, true, true},
    };
    Open(CreateHomePage);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.reflections << " " << c.count << " " << c.wrapTicked);
        Find<QCheckBox>("check1037")->setChecked(c.reflections);
        Find<QSpinBox>("spin1040")->setValue(c.count);
        Find<QCheckBox>("check3016")->setChecked(c.wrapTicked);
        EXPECT_EQ(Find<QCheckBox>("check3016")->isEnabled(), c.wrapAvailable);
        EXPECT_EQ(Find<QSpinBox>("spin3063")->isEnabled(), c.confinementAvailable);
    }
    // Loading a preset sets the states too.
    rig.Settings().ReflectionsOn = 1;
    rig.Settings().Reflections = 8;
    page->Load();
    EXPECT_FALSE(Find<QCheckBox>("check3016")->isEnabled());
}

TEST_F(PresetPagesTest, ShineAndGlitterExcludeEachOther) {
    Open(CreateDisplayPage);
    auto* shine = Find<QCheckBox>("check1083");
    auto* glitter = Find<QCheckBox>("check1084");
    shine->setChecked(true);
    glitter->setChecked(true);
    EXPECT_FALSE(shine->isChecked());
    EXPECT_EQ(rig.Settings().ShineGlitter, -600);
    glitter->setChecked(false);
    EXPECT_EQ(rig.Settings().ShineGlitter, 0);
}

TEST_F(PresetPagesTest, AStyleBringsItsOwnParameterRows) {
    Open(CreatePatternPage);
    const char* labels[] = {"label1028", "label1029", "label1064", "label1043", "label1044"};
    const char* spins[] = {"spin3069", "spin3071", "spin3074", "spin3077", "spin3081"};
    for (const int style : {kStyleLissajous, kStyleFullField, kStyleBall, kStyleFountain}) {
        SCOPED_TRACE(style);
        rig.changed.clear();
        Find<QComboBox>("list1005")->setCurrentIndex(style);
        EXPECT_EQ(rig.Settings().Style, style);
        EXPECT_TRUE(Changed("Style"));
        const StyleInfo* info = GetStyle(style);
        int32_t count = 0;
        float defaults[kStyleParamSlots];
        StyleDefaultParams(style, count, defaults);
        EXPECT_EQ(rig.Settings().ParamCount, count);
        EXPECT_EQ(rig.Settings().Param1, defaults[0]);
        EXPECT_EQ(rig.Settings().Param2, defaults[1]);
        for (int row = 0; row < 5; ++row) {
            const bool used = row + 1 < info->paramCount;
            auto* label = Find<QLabel>(labels[row]);
            auto* spin = Find<QSpinBox>(spins[row]);
            EXPECT_EQ(label->isHidden(), !used) << row;
            EXPECT_EQ(spin->isHidden(), !used) << row;
            if (!used) continue;
            EXPECT_TRUE(label->text().endsWith(
                QString::fromUtf16(info->params[row + 1].label.data(),
                                   static_cast<qsizetype>(info->params[row + 1].label.size()))
                    .trimmed()
                    .remove(QChar(1))));
            EXPECT_FALSE(label->text().startsWith(QChar(1)));
            EXPECT_EQ(spin->minimum(), info->params[row + 1].min);
            EXPECT_EQ(spin->maximum(), info->params[row + 1].max);
            EXPECT_EQ(spin->value(), static_cast<int>(defaults[row + 1]));
        }
    }
}

TEST_F(PresetPagesTest, EditingOneParameterKeepsTheOthers) {
    rig.Settings().Style = kStyleFountain;
    rig.Settings().ParamCount = 0;  // the style's own values
    Open(CreatePatternPage);
    int32_t count = 0;
    float defaults[kStyleParamSlots];
    StyleDefaultParams(kStyleFountain, count, defaults);
    auto* spin = Find<QSpinBox>("spin3071");
    spin->setValue(spin->minimum());
    EXPECT_TRUE(Changed("Param3"));
    EXPECT_EQ(rig.Settings().ParamCount, count);
    EXPECT_EQ(rig.Settings().Param3, static_cast<float>(spin->minimum()));
    EXPECT_EQ(rig.Settings().Param2, defaults[1]);
    EXPECT_EQ(rig.Settings().Param4, defaults[3]);
    EXPECT_EQ(rig.Settings().Param1, defaults[0]);
}

TEST_F(PresetPagesTest, ColorLabelsFollowTheBackground) {
    Open(CreateColorPage);
    const auto shows = [this](const char* text) {
        for (QLabel* label : page->findChildren<QLabel*>()) {
            if (label->text().remove(QChar('&')) == QLatin1String(text)) return true;
        }
        return false;
    };
    EXPECT_TRUE(shows("Bright"));
    EXPECT_FALSE(shows("Dark"));
    EXPECT_TRUE(shows("Full"));
    Find<QCheckBox>("check3042")->setChecked(true);
    EXPECT_TRUE(shows("Dark"));
    EXPECT_FALSE(shows("Bright"));
    EXPECT_TRUE(shows("Heavy"));
    EXPECT_FALSE(shows("Full"));
}

TEST_F(PresetPagesTest, TypedSpinTextIsTakenOnCommit) {
    Open(CreateHomePage);
    auto* edit = Find<QSpinBox>("spin1055")->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setText(QStringLiteral("64"));
    page->Commit();
    EXPECT_EQ(rig.Settings().InfluenceRange, 64);
    EXPECT_TRUE(Changed("InfluenceRange"));
}

TEST_F(PresetPagesTest, CommitKeepsWhatAnotherPageChangedMeanwhile) {
    Open(CreateColorPage);
    // The Pattern page chose a style whose start colour differs from the one shown here.
    rig.Settings().Param1 = static_cast<float>(kStartColourBlack + 7);
    rig.Settings().ParamCount = 2;
    page->Commit();
    EXPECT_EQ(rig.Settings().Param1, static_cast<float>(kStartColourBlack + 7));
    EXPECT_TRUE(rig.changed.empty());
}

// Alt+letter must reach one control: the window's own buttons hold C, E, H, O and V.
TEST_F(PresetPagesTest, MnemonicsAreUniqueOnEachPage) {
    for (const Factory make :
         {CreateHomePage, CreatePatternPage, CreateColorPage, CreateDisplayPage}) {
        Open(make);
        QString taken = QStringLiteral("cehov");
        QStringList texts;
        for (QLabel* label : page->findChildren<QLabel*>()) texts << label->text();
        for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
            texts << button->text();
        }
        for (const QString& text : texts) {
            const qsizetype at = text.indexOf(QChar('&'));
            if (at < 0 || at + 1 >= text.size()) continue;
            const QChar letter = text.at(at + 1).toLower();
            EXPECT_FALSE(taken.contains(letter))
                << page->Caption().toStdString() << ": " << text.toStdString();
            taken += letter;
        }
    }
}

}  // namespace
}  // namespace quovis
