// The preset pages: Home, Pattern, Color and Display. Each control is bound to one preset field
// (its row in kPresetFields); moving it writes the field into the settings block and hands it
// to the preview at once.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "config_ui/bubble_slider.h"
#include "config_ui/config_page.h"
#include "config_ui/pages.h"
#include "engine/preset_fields.h"
#include "engine/style_table.h"
#include "engine/vocabulary.h"

namespace quovis {

namespace {

// ---- Field rows the pages edit ----------------------------------------------------------------

constexpr const PresetField& kGrains = PresetFieldNamed("Grains");
constexpr const PresetField& kReflectionsOn = PresetFieldNamed("ReflectionsOn");
constexpr const PresetField& kReflections = PresetFieldNamed("Reflections");
constexpr const PresetField& kWrapFlags = PresetFieldNamed("WrapFlags");
constexpr const PresetField& kStyle = PresetFieldNamed("Style");
constexpr const PresetField& kParam1 = PresetFieldNamed("Param1");
constexpr const PresetField& kFuzziness = PresetFieldNamed("Fuzziness");
constexpr const PresetField& kShineGlitter = PresetFieldNamed("ShineGlitter");
constexpr const PresetField& kConfinement = PresetFieldNamed("Confinement");

// The Grains slider runs 0..10,000 over a dot count of 10..144,000. The scale is logarithmic:
// every step multiplies the count by the same factor, so the slider is as fine among a few
// hundred dots, where each one shows, as among a hundred thousand. The edit beside it holds
// the exact count.
constexpr int kGrainsSliderMax = 10000;

// "Confinement" is shown as -100..100 and stored as ten times that.
constexpr int kConfinementShownLimit = 100;
constexpr int kConfinementFactor = 10;

// "Influence Range" is offered from 1 (0 would give the movers no reach at all).
constexpr int kInfluenceShownMin = 1;

// "Fuzziness" holds its amount in the same field as its switch (0 = off); the amount shown
// when a pattern without fuzziness is loaded, for when the user turns it on.
constexpr int kFuzzinessWhenOff = 30;
constexpr int kFuzzinessShownMin = 1;

// "Add Shine" and "Add Glitter" store these in the shimmer field; neither stores 0.
constexpr int kShine = 600;
constexpr int kGlitter = -600;

// With this many reflections or more, the copies fill the picture and wrapping does nothing.
constexpr int kReflectionsWithoutWrap = 3;

// The start colour ("New Dots") runs 1000 (black) .. 1100 (white); the slider shows 0..100.
constexpr int kNewDotsSliderMax = kStartColourWhite - kStartColourBlack;

// The motion lists, in the order of their numbers.
constexpr std::array<const char*, kMotionCount> kMotionNames = {"Static",    "Linear",   "Organic",
                                                                "Recursive", "Circular", "Warp"};
constexpr std::array<const char*, kMotionVariantCount> kVariantNames = {
    "Natural", "Clockwork", "Waves", "Digital", "Directional"};

// The dot-style radio buttons in the order the page shows them, with the style each gives.
struct DotStyleButton {
    int id;
    const char* text;
    int style;
};
constexpr std::array<DotStyleButton, kDotStyleCount> kDotStyleButtons = {{
    {1135, "Pi&xels", kDotPixels},
    {1020, "&Points", kDotPoints},
    {1031, "&Large Points", kDotLargePoints},
    {1021, "&Sparkles", kDotSparkles},
    {1032, "Vertic&al Bars", kDotVerticalBars},
    {1022, "F&uzzies", kDotFuzzies},
    {3034, "&Discs", kDotDiscs},
    {3033, "&Rings", kDotRings},
}};

// The five rows of "Customize Pattern" show parameters 2..6 of the style; parameter 1, the
// start colour, is the Color page's "New Dots".
struct ParamRowIds {
    int label;
    int upDown;
    int unit;
};
constexpr int kParamRows = kStyleParamSlots - 1;
constexpr std::array<ParamRowIds, kParamRows> kParamRowIds = {{
    {1028, 3069, 1033},
    {1029, 3071, 1034},
    {1064, 3074, 1035},
    {1043, 3077, 1060},
    {1044, 3081, 1072},
}};

// Mnemonics: the window's own buttons take E, H, O and V (and C for the hidden Cancel), so the
// pages use other letters, each once per page.

// ---- Small helpers ---------------------------------------------------------------------------

QString Id(const char* kind, int id) {
    return QString::fromLatin1(kind) + QString::number(id);
}

template <class W>
W* Named(W* widget, const char* kind, int id) {
    widget->setObjectName(Id(kind, id));
    return widget;
}

// A number box: the design's edit and its up-down in one control, named by the up-down. The
// edit's id is not given to its text field: the window's own edits 1003 and 1017 share ids
// with page edits, and names must find one control in the whole window.
QSpinBox* NewSpin(QWidget* parent, int upDownId) {
    auto* spin = Named(new QSpinBox(parent), "spin", upDownId);
    // Typed digits count once the edit is left or Enter is pressed, not at every key.
    spin->setKeyboardTracking(false);
    spin->setAccelerated(true);
    return spin;
}

const PresetField& ParamField(int slot) {
    for (const PresetField& f : kPresetFields) {
        if (f.kind == PresetFieldKind::Param && f.paramSlot == slot) return f;
    }
    return kParam1;  // not reached: the table has a row for every slot
}

int32_t ParamOf(const PresetRecord& record, int slot) {
    return static_cast<int32_t>(std::lround(record.*ParamField(slot).recordParam));
}

// The style's parameters as the engine takes them from the record: the record's own values
// held to the style's ranges, or the style's defaults when the record carries none.
struct StyleParams {
    int32_t count = 0;
    float values[kStyleParamSlots] = {};
};

StyleParams EffectiveParams(const PresetRecord& record) {
    StyleParams p;
    for (int slot = 0; slot < kStyleParamSlots; ++slot) {
        p.values[slot] = record.*ParamField(slot).recordParam;
    }
    p.values[0] = static_cast<float>(StartColourFromPreset(static_cast<int32_t>(p.values[0])));
    const int style = kStyle.Clamp(record.Style);
    p.count = record.ParamCount;
    if (p.count <= 0) {
        StyleDefaultParams(style, p.count, p.values);
    } else {
        StyleClampParams(style, p.count, p.values);
    }
    return p;
}

// Before one parameter is edited, the record takes the whole set it stands for, so that
// editing one does not turn the others from the style's values into zeros.
void MakeParamsExplicit(PresetRecord& record) {
    const StyleParams p = EffectiveParams(record);
    record.ParamCount = p.count;
    for (int slot = 0; slot < kStyleParamSlots; ++slot) {
        record.*ParamField(slot).recordParam = p.values[slot];
    }
}

// A style parameter label as shown: "Ball"'s flow rate carries a marker character first.
QString ParamLabel(std::u16string_view label) {
    while (!label.empty() && label.front() < u' ') label.remove_prefix(1);
    return QString::fromUtf16(label.data(), static_cast<qsizetype>(label.size()));
}

int GrainsToSlider(int grains) {
    const double lo = kGrains.min;
    const double hi = kGrains.max;
    const double g = std::clamp<double>(grains, lo, hi);
    return static_cast<int>(std::lround(std::log(g / lo) / std::log(hi / lo) * kGrainsSliderMax));
}

// The count for a slider position, to three significant digits (a count the user can read
// and type again).
int SliderToGrains(int position) {
    const double lo = kGrains.min;
    const double hi = kGrains.max;
    const double g = lo * std::pow(hi / lo, static_cast<double>(position) / kGrainsSliderMax);
    const double unit = std::pow(10.0, std::max(0.0, std::floor(std::log10(g)) - 2.0));
    return kGrains.Clamp(static_cast<int32_t>(std::lround(g / unit) * unit));
}

// ---- The page base: bindings between controls and fields --------------------------------------

// One control bound to one field. `read` gives what the control should show for the record,
// `shown` what it shows now, `show` puts a value into it, `write` puts the shown value into
// the record.
struct Binding {
    const PresetField* field = nullptr;
    std::function<int(const PresetRecord&)> read;
    std::function<int()> shown;
    std::function<void(int)> show;
    std::function<void(PresetRecord&, int)> write;
};

class PresetPage : public ConfigPage {
  public:
    PresetPage(ConfigContext& context, const char* caption, int templateId, QWidget* parent)
        : ConfigPage(context, QString::fromLatin1(caption), 0, parent) {
        setObjectName(Id("page", templateId));
        // The window paints its tint behind the pages.
        setAutoFillBackground(false);
    }

    void Load() override {
        m_loading = true;
        const PresetRecord& record = Context().Settings();
        for (Binding& b : m_bindings) b.show(b.read(record));
        LoadExtra(record);
        m_loading = false;
        UpdateState();
    }

    void Commit() override {
        // Every other control wrote its field the moment it changed; only text still being
        // typed is left to take. Nothing else is written back, so a page showing an older
        // state of the block cannot undo what another page changed since.
        for (QSpinBox* spin : m_spins) spin->interpretText();
        CommitExtra();
    }

    void Activated(int /*previous*/) override {
        // Another page may have changed fields this one shows (a new style brings its own
        // start colour), so show the block as it stands.
        Load();
    }

    void EnterPressed(QLineEdit* edit) override {
        for (QSpinBox* spin : m_spins) {
            if (spin->isAncestorOf(edit)) spin->interpretText();
        }
        EnterExtra(edit);
    }

  protected:
    virtual void LoadExtra(const PresetRecord& /*record*/) {}
    virtual void CommitExtra() {}
    virtual void EnterExtra(QLineEdit* /*edit*/) {}
    // Interlocks and labels that follow values.
    virtual void UpdateState() {}

    bool Loading() const { return m_loading; }

    // A spin box whose typed text Commit and Enter take.
    void TrackSpin(QSpinBox* spin) { m_spins.push_back(spin); }

    // The user changed the control of binding `index`: the record and the preview follow.
    void Edited(std::size_t index) {
        if (m_loading) return;
        Binding& b = m_bindings[index];
        PresetRecord& record = Context().Settings();
        const int before = b.read(record);
        const int value = b.shown();
        if (value != before) {
            b.write(record, value);
            // Several slider positions may stand for one dot count: the preview restarts only
            // when the field really changed.
            if (b.read(record) != before) Context().FieldChanged(*b.field);
        }
        UpdateState();
    }

    std::size_t Bind(Binding binding) {
        m_bindings.push_back(std::move(binding));
        return m_bindings.size() - 1;
    }

    // A number field shown as is (after its zero rule), within the control's own range.
    static Binding NumberBinding(const PresetField& field, int lo, int hi) {
        Binding b;
        b.field = &field;
        b.read = [&field, lo, hi](const PresetRecord& r) {
            return std::clamp(field.Decode(r.*field.recordInt), lo, hi);
        };
        b.write = [&field](PresetRecord& r, int v) { r.*field.recordInt = field.Clamp(v); };
        return b;
    }

    // ---- Control builders ----

    // A slider over the field's own range, bound to it.
    BubbleSlider* BoundSlider(QWidget* parent, int id, const PresetField& field, const char* tip) {
        return BoundSlider(parent, id, NumberBinding(field, field.min, field.max), field.min,
                           field.max, tip);
    }

    BubbleSlider* BoundSlider(QWidget* parent, int id, Binding binding, int lo, int hi,
                              const char* tip) {
        auto* slider = Named(new BubbleSlider(parent), "slider", id);
        slider->setRange(lo, hi);
        slider->setToolTip(QString::fromLatin1(tip));
        binding.shown = [slider] { return slider->value(); };
        binding.show = [slider](int v) {
            const QSignalBlocker blocker(slider);
            slider->setValue(v);
        };
        const std::size_t index = Bind(std::move(binding));
        // The preview follows while the thumb is dragged.
        connect(slider, &QAbstractSlider::valueChanged, this, [this, index] { Edited(index); });
        return slider;
    }

    QSpinBox* BoundSpin(QWidget* parent, int id, Binding binding, int lo, int hi) {
        auto* spin = NewSpin(parent, id);
        spin->setRange(lo, hi);
        binding.shown = [spin] { return spin->value(); };
        binding.show = [spin](int v) {
            const QSignalBlocker blocker(spin);
            spin->setValue(v);
        };
        const std::size_t index = Bind(std::move(binding));
        connect(spin, &QSpinBox::valueChanged, this, [this, index] { Edited(index); });
        TrackSpin(spin);
        return spin;
    }

    QCheckBox* BoundCheck(QWidget* parent, int id, const char* text, Binding binding) {
        auto* check = Named(new QCheckBox(QString::fromLatin1(text), parent), "check", id);
        binding.shown = [check] { return check->isChecked() ? 1 : 0; };
        binding.show = [check](int v) {
            const QSignalBlocker blocker(check);
            check->setChecked(v != 0);
        };
        const std::size_t index = Bind(std::move(binding));
        connect(check, &QCheckBox::toggled, this, [this, index] { Edited(index); });
        return check;
    }

    // A flag field (0 or 1).
    QCheckBox* FlagCheck(QWidget* parent, int id, const char* text, const PresetField& field) {
        Binding b;
        b.field = &field;
        b.read = [&field](const PresetRecord& r) { return r.*field.recordInt != 0 ? 1 : 0; };
        b.write = [&field](PresetRecord& r, int v) { r.*field.recordInt = v != 0 ? 1 : 0; };
        return BoundCheck(parent, id, text, std::move(b));
    }

    // One bit of WrapFlags.
    QCheckBox* WrapCheck(QWidget* parent, int id, const char* text, int bit) {
        Binding b;
        b.field = &kWrapFlags;
        b.read = [bit](const PresetRecord& r) { return (r.WrapFlags & bit) != 0 ? 1 : 0; };
        b.write = [bit](PresetRecord& r, int v) {
            r.WrapFlags = v != 0 ? (r.WrapFlags | bit) : (r.WrapFlags & ~bit);
        };
        return BoundCheck(parent, id, text, std::move(b));
    }

    QComboBox* BoundList(QWidget* parent, int id, const PresetField& field, QStringList items) {
        auto* list = Named(new QComboBox(parent), "list", id);
        list->addItems(items);
        Binding b = NumberBinding(field, 0, static_cast<int>(items.size()) - 1);
        b.shown = [list] { return list->currentIndex(); };
        b.show = [list](int v) {
            const QSignalBlocker blocker(list);
            list->setCurrentIndex(v);
        };
        const std::size_t index = Bind(std::move(b));
        connect(list, &QComboBox::currentIndexChanged, this, [this, index] { Edited(index); });
        return list;
    }

    // A label with a mnemonic that moves the focus to `buddy`.
    // Screen readers name the control after its caption.
    static QLabel* Caption(QWidget* parent, const char* text, QWidget* buddy) {
        auto* label = new QLabel(QString::fromLatin1(text), parent);
        label->setBuddy(buddy);
        if (buddy->accessibleName().isEmpty()) buddy->setAccessibleName(Plain(text));
        return label;
    }

    // A label text without its mnemonic mark.
    static QString Plain(const char* text) { return QString::fromLatin1(text).remove(QChar('&')); }

    static QLabel* EndLabel(QWidget* parent, const char* text, Qt::Alignment align) {
        auto* label = new QLabel(QString::fromLatin1(text), parent);
        label->setAlignment(align | Qt::AlignVCenter);
        return label;
    }

    // A slider row: the left end label (a mnemonic reaches the slider), the slider and the
    // right end label, in columns first..first+2 of `grid`.
    static QLabel* SliderRow(QGridLayout* grid, int row, int first, BubbleSlider* slider,
                             const char* left, const char* right) {
        QWidget* parent = slider->parentWidget();
        if (slider->accessibleName().isEmpty()) {
            slider->setAccessibleName(Plain(left) + QStringLiteral(" to ") + Plain(right));
        }
        auto* leftLabel = Caption(parent, left, slider);
        leftLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* rightLabel = EndLabel(parent, right, Qt::AlignLeft);
        grid->addWidget(leftLabel, row, first);
        grid->addWidget(slider, row, first + 1);
        grid->addWidget(rightLabel, row, first + 2);
        return rightLabel;
    }

    static QGroupBox* Group(QWidget* parent, const char* title, const char* name) {
        auto* group = new QGroupBox(QString::fromLatin1(title), parent);
        group->setObjectName(QString::fromLatin1(name));
        return group;
    }

    // Slider columns stretch; label columns keep their text width.
    static QGridLayout* SliderGrid(QGroupBox* group, int sliderColumn) {
        auto* grid = new QGridLayout(group);
        grid->setColumnStretch(sliderColumn, 1);
        return grid;
    }

  private:
    std::vector<Binding> m_bindings;
    std::vector<QSpinBox*> m_spins;
    bool m_loading = false;
};

// ---- Home -------------------------------------------------------------------------------------

class HomePage : public PresetPage {
  public:
    HomePage(ConfigContext& context, QWidget* parent) : PresetPage(context, "Home", 2004, parent) {
        auto* page = new QVBoxLayout(this);

        // Dots!
        QGroupBox* dots = Group(this, "Dots!", "groupDots");
        auto* dotsGrid = SliderGrid(dots, 1);
        Binding grains;
        grains.field = &kGrains;
        grains.read = [](const PresetRecord& r) { return GrainsToSlider(r.Grains); };
        grains.write = [](PresetRecord& r, int v) { r.Grains = SliderToGrains(v); };
        m_grainsSlider = BoundSlider(dots, 1062, std::move(grains), 0, kGrainsSliderMax,
                                     "How many dots the pattern moves: more dots give "
                                     "finer, denser light.");
        m_grainsEdit = Named(new QLineEdit(dots), "edit", 1000);
        m_grainsEdit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,7}")), m_grainsEdit));
        m_grainsEdit->setMaximumWidth(
            m_grainsEdit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 16);
        m_grainsEdit->setToolTip(QStringLiteral("The number of dots, from %L1 to %L2.")
                                     .arg(kGrains.min)
                                     .arg(kGrains.max));
        connect(m_grainsEdit, &QLineEdit::editingFinished, this, [this] { TakeGrainsEdit(); });
        connect(m_grainsSlider, &QAbstractSlider::valueChanged, this,
                [this] { ShowGrainsCount(Context().Settings().Grains); });
        dotsGrid->addWidget(Caption(dots, "&Grains", m_grainsSlider), 0, 0);
        dotsGrid->addWidget(m_grainsSlider, 0, 1);
        dotsGrid->addWidget(m_grainsEdit, 0, 2);

        auto* row = new QHBoxLayout;
        m_reflectionsOn = FlagCheck(dots, 1037, "&Reflections", kReflectionsOn);
        m_reflections =
            BoundSpin(dots, 1040, NumberBinding(kReflections, kReflections.min, kReflections.max),
                      kReflections.min, kReflections.max);
        m_reflections->setToolTip(QStringLiteral("How many turned copies of the picture."));
        m_symmetric = FlagCheck(dots, 1015, "Sy&mmetric", PresetFieldNamed("Symmetric"));
        m_wrap = WrapCheck(dots, 3016, "&Wrap", kWrapEdges);
        row->addWidget(m_reflectionsOn);
        row->addWidget(m_reflections);
        row->addSpacing(12);
        row->addWidget(m_symmetric);
        row->addSpacing(12);
        row->addWidget(m_wrap);
        row->addStretch(1);
        dotsGrid->addLayout(row, 1, 0, 1, 3);
        page->addWidget(dots);

        // Movement
        QGroupBox* movement = Group(this, "Movement", "groupMovement");
        auto* grid = SliderGrid(movement, 1);
        SliderRow(grid, 0, 0,
                  BoundSlider(movement, 1010, PresetFieldNamed("Activity"),
                              "How fast the movers stir the dots."),
                  "Low &Activity", "Lots O' Action");
        SliderRow(grid, 1, 0,
                  BoundSlider(movement, 1059, PresetFieldNamed("Turbulence"),
                              "How quickly the flow changes its direction."),
                  "Gen&tle", "Turbulent");
        SliderRow(grid, 2, 0,
                  BoundSlider(movement, 1009, PresetFieldNamed("Viscosity"),
                              "How long the dots keep their speed once pushed."),
                  "Low Vi&scosity", "Very Viscous");
        SliderRow(grid, 3, 0,
                  BoundSlider(movement, 1006, PresetFieldNamed("Complexity"),
                              "How many movers shape the flow (the pattern restarts)."),
                  "Low Comple&xity", "Fancier Stuff");

        auto* numbers = new QHBoxLayout;
        Binding confine;
        confine.field = &kConfinement;
        confine.read = [](const PresetRecord& r) {
            return std::clamp(static_cast<int>(std::lround(static_cast<double>(r.Confinement) /
                                                           kConfinementFactor)),
                              -kConfinementShownLimit, kConfinementShownLimit);
        };
        confine.write = [](PresetRecord& r, int v) {
            r.Confinement = kConfinement.Clamp(v * kConfinementFactor);
        };
        m_confinement = BoundSpin(movement, 3063, std::move(confine), -kConfinementShownLimit,
                                  kConfinementShownLimit);
        m_confinement->setToolTip(
            QStringLiteral("How strongly the edges hold the dots in; below 0 a round wall."));
        const PresetField& influence = PresetFieldNamed("InfluenceRange");
        auto* range =
            BoundSpin(movement, 1055, NumberBinding(influence, kInfluenceShownMin, influence.max),
                      kInfluenceShownMin, influence.max);
        range->setToolTip(QStringLiteral("How far each mover reaches."));
        numbers->addWidget(Caption(movement, "Co&nfinement", m_confinement));
        numbers->addWidget(m_confinement);
        numbers->addSpacing(16);
        numbers->addWidget(Caption(movement, "&Influence Range", range));
        numbers->addWidget(range);
        numbers->addStretch(1);
        grid->addLayout(numbers, 4, 0, 1, 3);
        page->addWidget(movement);
        page->addStretch(1);
    }

  protected:
    void LoadExtra(const PresetRecord& record) override { ShowGrainsCount(record.Grains); }

    void CommitExtra() override { TakeGrainsEdit(); }

    void EnterExtra(QLineEdit* edit) override {
        if (edit == m_grainsEdit) TakeGrainsEdit();
    }

    void UpdateState() override {
        const bool reflectionsOn = m_reflectionsOn->isChecked();
        m_reflections->setEnabled(reflectionsOn);
        m_symmetric->setEnabled(reflectionsOn);
        // Many copies fill the picture: wrapping has nothing to do then.
        m_wrap->setEnabled(!(reflectionsOn && m_reflections->value() >= kReflectionsWithoutWrap));
        // Walls and wrapping exclude each other; a wrap the reflections switch off does not
        // count.
        m_confinement->setEnabled(!(m_wrap->isChecked() && m_wrap->isEnabled()));
    }

  private:
    void ShowGrainsCount(int grains) {
        const QSignalBlocker blocker(m_grainsEdit);
        m_grainsEdit->setText(QString::number(grains));
    }

    // The typed count, held to the field's range, becomes the record's count.
    void TakeGrainsEdit() {
        if (Loading()) return;
        PresetRecord& record = Context().Settings();
        bool ok = false;
        const qlonglong typed = m_grainsEdit->text().toLongLong(&ok);
        if (ok) {
            const int grains =
                static_cast<int>(std::clamp<qlonglong>(typed, kGrains.min, kGrains.max));
            if (grains != record.Grains) {
                record.Grains = grains;
                {
                    const QSignalBlocker blocker(m_grainsSlider);
                    m_grainsSlider->setValue(GrainsToSlider(grains));
                }
                Context().FieldChanged(kGrains);
            }
        }
        // Clamped or unreadable text shows the count that holds.
        ShowGrainsCount(record.Grains);
    }

    BubbleSlider* m_grainsSlider = nullptr;
    QLineEdit* m_grainsEdit = nullptr;
    QCheckBox* m_reflectionsOn = nullptr;
    QSpinBox* m_reflections = nullptr;
    QCheckBox* m_symmetric = nullptr;
    QCheckBox* m_wrap = nullptr;
    QSpinBox* m_confinement = nullptr;
};

// ---- Pattern ----------------------------------------------------------------------------------

class PatternPage : public PresetPage {
  public:
    PatternPage(ConfigContext& context, QWidget* parent)
        : PresetPage(context, "Pattern", 2008, parent) {
        auto* page = new QVBoxLayout(this);

        QGroupBox* pattern = Group(this, "Pattern", "groupPattern");
        auto* grid = new QGridLayout(pattern);
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(2, 1);
        QStringList styles;
        for (int i = 0; i < StyleCount(); ++i) {
            const std::u16string_view name = GetStyle(i)->name;
            styles << QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
        }
        m_style = Named(new QComboBox(pattern), "list", 1005);
        m_style->addItems(styles);
        m_style->setMaxVisibleItems(StyleCount());
        m_style->setToolTip(QStringLiteral("How the dots are born and launched."));
        connect(m_style, &QComboBox::currentIndexChanged, this,
                [this](int index) { StyleChosen(index); });
        QStringList motions;
        for (const char* m : kMotionNames) motions << QString::fromLatin1(m);
        QStringList variants;
        for (const char* v : kVariantNames) variants << QString::fromLatin1(v);
        auto* motion = BoundList(pattern, 1018, PresetFieldNamed("Motion"), motions);
        motion->setToolTip(QStringLiteral("How the movers travel (the pattern restarts)."));
        auto* variant = BoundList(pattern, 3019, PresetFieldNamed("MotionVariant"), variants);
        variant->setToolTip(QStringLiteral("How the movers' push changes over time."));
        grid->addWidget(Caption(pattern, "&Style", m_style), 0, 0);
        grid->addWidget(m_style, 0, 1, 1, 2);
        grid->addWidget(Caption(pattern, "&Motion", motion), 1, 0);
        grid->addWidget(motion, 1, 1);
        grid->addWidget(variant, 1, 2);
        auto* checks = new QHBoxLayout;
        checks->addWidget(FlagCheck(pattern, 1011, "Extra &Twist", PresetFieldNamed("ExtraTwist")));
        checks->addSpacing(12);
        checks->addWidget(WrapCheck(pattern, 3011, "&Wrap", kWrapImages));
        checks->addSpacing(12);
        checks->addWidget(WrapCheck(pattern, 3014, "Mo&bius", kWrapMobius));
        checks->addStretch(1);
        grid->addLayout(checks, 2, 0, 1, 3);
        page->addWidget(pattern);

        QGroupBox* custom = Group(this, "Customize Pattern", "groupCustomize");
        auto* customGrid = new QGridLayout(custom);
        auto* pace = BoundSlider(custom, 1063, PresetFieldNamed("Pace"),
                                 "How fast everything moves, the movers and the dots alike.");
        auto* paceRow = new QHBoxLayout;
        pace->setAccessibleName(QStringLiteral("Leisurely Pace to Frantic"));
        auto* paceLeft = Caption(custom, "&Leisurely Pace", pace);
        paceRow->addWidget(paceLeft);
        paceRow->addWidget(pace, 1);
        paceRow->addWidget(EndLabel(custom, "Frantic", Qt::AlignLeft));
        customGrid->addLayout(paceRow, 0, 0, 1, 3);
        for (int row = 0; row < kParamRows; ++row) {
            const ParamRowIds& ids = kParamRowIds[static_cast<std::size_t>(row)];
            ParamRow& p = m_rows[static_cast<std::size_t>(row)];
            p.slot = row + 1;
            p.spin = NewSpin(custom, ids.upDown);
            p.label = Named(new QLabel(custom), "label", ids.label);
            p.label->setBuddy(p.spin);
            p.unit = Named(new QLabel(custom), "label", ids.unit);
            customGrid->addWidget(p.label, row + 1, 0);
            customGrid->addWidget(p.spin, row + 1, 1);
            customGrid->addWidget(p.unit, row + 1, 2);
            connect(p.spin, &QSpinBox::valueChanged, this, [this, row] { ParamEdited(row); });
            TrackSpin(p.spin);
        }
        customGrid->setColumnStretch(2, 1);
        page->addWidget(custom);
        page->addStretch(1);
    }

  protected:
    void LoadExtra(const PresetRecord& record) override {
        const QSignalBlocker blocker(m_style);
        m_style->setCurrentIndex(kStyle.Clamp(record.Style));
        ShowParams(record);
    }

  private:
    struct ParamRow {
        int slot = 0;
        QLabel* label = nullptr;
        QSpinBox* spin = nullptr;
        QLabel* unit = nullptr;
    };

    // Labels, ranges and values of the style's parameters 2..6; rows past its count hide.
    void ShowParams(const PresetRecord& record) {
        const StyleInfo* style = GetStyle(kStyle.Clamp(record.Style));
        const StyleParams values = EffectiveParams(record);
        for (ParamRow& p : m_rows) {
            const bool used = style != nullptr && p.slot < style->paramCount;
            p.label->setVisible(used);
            p.spin->setVisible(used);
            p.unit->setVisible(used);
            if (!used) continue;
            const StyleParamInfo& info = style->params[p.slot];
            p.label->setText(ParamLabel(info.label));
            p.unit->setText(QStringLiteral("(%1 to %2)").arg(info.min).arg(info.max));
            p.spin->setToolTip(QStringLiteral("%1, from %2 to %3.")
                                   .arg(ParamLabel(info.label))
                                   .arg(info.min)
                                   .arg(info.max));
            const QSignalBlocker blocker(p.spin);
            p.spin->setRange(info.min, info.max);
            p.spin->setValue(static_cast<int>(std::lround(values.values[p.slot])));
        }
    }

    // A new style brings its own default parameters (the start colour too).
    void StyleChosen(int index) {
        if (Loading()) return;
        PresetRecord& record = Context().Settings();
        if (kStyle.Clamp(index) == record.Style) return;
        record.Style = kStyle.Clamp(index);
        StyleParams defaults;
        StyleDefaultParams(record.Style, defaults.count, defaults.values);
        record.ParamCount = defaults.count;
        for (int slot = 0; slot < kStyleParamSlots; ++slot) {
            record.*ParamField(slot).recordParam = defaults.values[slot];
        }
        ShowParams(record);
        Context().FieldChanged(kStyle);
    }

    void ParamEdited(int row) {
        if (Loading()) return;
        const ParamRow& p = m_rows[static_cast<std::size_t>(row)];
        PresetRecord& record = Context().Settings();
        const int value = p.spin->value();
        if (record.ParamCount > 0 && ParamOf(record, p.slot) == value) return;
        MakeParamsExplicit(record);
        record.*ParamField(p.slot).recordParam = static_cast<float>(value);
        Context().FieldChanged(ParamField(p.slot));
    }

    QComboBox* m_style = nullptr;
    std::array<ParamRow, kParamRows> m_rows;
};

// ---- Color ------------------------------------------------------------------------------------

class ColorPage : public PresetPage {
  public:
    ColorPage(ConfigContext& context, QWidget* parent)
        : PresetPage(context, "Color", 2005, parent) {
        auto* page = new QVBoxLayout(this);

        QGroupBox* colour = Group(this, "Color", "groupColor");
        auto* grid = SliderGrid(colour, 2);
        m_brightLabel = SliderRow(grid, 0, 1,
                                  BoundSlider(colour, 1012, PresetFieldNamed("ColorBright"),
                                              "How strongly the dots take on colour as they move."),
                                  "&Subtle Colors", "Bright");
        SliderRow(grid, 1, 1,
                  BoundSlider(colour, 1019, PresetFieldNamed("Pastels"),
                              "How far the colours wash out towards white."),
                  "&Pure Tones", "Pastels");
        auto* magnitude = BoundSlider(colour, 3020, PresetFieldNamed("PointMagnitude"),
                                      "How much light one dot adds to the picture.");
        grid->addWidget(Caption(colour, "Point &Magnitude", magnitude), 2, 0);
        m_magnitudeLabel = SliderRow(grid, 2, 1, magnitude, "Dim", "Full");
        auto* gamma = BoundSlider(colour, 3091, PresetFieldNamed("Gamma"),
                                  "How the tones are spread between faint and full light.");
        grid->addWidget(Caption(colour, "&Gamma", gamma), 3, 0);
        SliderRow(grid, 3, 1, gamma, "Fainter Detail", "More Contrast");
        auto* checks = new QHBoxLayout;
        checks->addWidget(
            FlagCheck(colour, 1013, "&Field Based Color", PresetFieldNamed("FieldColor")));
        checks->addSpacing(12);
        m_invert =
            FlagCheck(colour, 3042, "White Background  (&Invert)", PresetFieldNamed("Invert"));
        checks->addWidget(m_invert);
        checks->addStretch(1);
        grid->addLayout(checks, 4, 0, 1, 4);
        page->addWidget(colour);

        QGroupBox* newDots = Group(this, "New Dots", "groupNewDots");
        auto* dotsGrid = SliderGrid(newDots, 1);
        Binding start;
        start.field = &kParam1;
        start.read = [](const PresetRecord& r) {
            return std::clamp(
                static_cast<int>(std::lround(EffectiveParams(r).values[0])) - kStartColourBlack, 0,
                kNewDotsSliderMax);
        };
        start.write = [](PresetRecord& r, int v) {
            MakeParamsExplicit(r);
            r.Param1 = static_cast<float>(kStartColourBlack + v);
        };
        auto* startSlider = BoundSlider(newDots, 3023, std::move(start), 0, kNewDotsSliderMax,
                                        "The shade new dots are born with: black, white or "
                                        "random greys between.");
        startSlider->setAccessibleName(QStringLiteral("New Dots"));
        m_blackLabel = Caption(newDots, "&Black", startSlider);
        m_blackLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_whiteLabel = EndLabel(newDots, "White", Qt::AlignLeft);
        dotsGrid->addWidget(m_blackLabel, 0, 0);
        dotsGrid->addWidget(startSlider, 0, 1);
        dotsGrid->addWidget(m_whiteLabel, 0, 2);
        auto* random = EndLabel(newDots, "Random", Qt::AlignHCenter);
        dotsGrid->addWidget(random, 1, 1);
        page->addWidget(newDots);
        page->addStretch(1);
    }

  protected:
    // On a white background the light the dots add shows as ink: the bright end darkens, full
    // points are heavy, and the new dots' black and white trade places.
    void UpdateState() override {
        const bool inverted = m_invert->isChecked();
        m_brightLabel->setText(inverted ? QStringLiteral("Dark") : QStringLiteral("Bright"));
        m_magnitudeLabel->setText(inverted ? QStringLiteral("Heavy") : QStringLiteral("Full"));
        m_blackLabel->setText(inverted ? QStringLiteral("&White") : QStringLiteral("&Black"));
        m_whiteLabel->setText(inverted ? QStringLiteral("Black") : QStringLiteral("White"));
    }

  private:
    QCheckBox* m_invert = nullptr;
    QLabel* m_brightLabel = nullptr;
    QLabel* m_magnitudeLabel = nullptr;
    QLabel* m_blackLabel = nullptr;
    QLabel* m_whiteLabel = nullptr;
};

// ---- Display ----------------------------------------------------------------------------------

class DisplayPage : public PresetPage {
  public:
    DisplayPage(ConfigContext& context, QWidget* parent)
        : PresetPage(context, "Display", 2007, parent) {
        auto* page = new QVBoxLayout(this);

        QGroupBox* styleGroup = Group(this, "Dot Style", "groupDotStyle");
        auto* styleGrid = new QGridLayout(styleGroup);
        m_dotStyles = new QButtonGroup(this);
        int n = 0;
        for (const DotStyleButton& b : kDotStyleButtons) {
            auto* radio =
                Named(new QRadioButton(QString::fromLatin1(b.text), styleGroup), "radio", b.id);
            m_dotStyles->addButton(radio, b.style);
            styleGrid->addWidget(radio, n / 4, n % 4);
            ++n;
        }
        const PresetField& dotStyle = PresetFieldNamed("DotStyle");
        Binding styleBinding = NumberBinding(dotStyle, dotStyle.min, dotStyle.max);
        styleBinding.shown = [this] { return std::max(0, m_dotStyles->checkedId()); };
        styleBinding.show = [this](int v) {
            if (QAbstractButton* button = m_dotStyles->button(v)) {
                const QSignalBlocker blocker(m_dotStyles);
                button->setChecked(true);
            }
        };
        const std::size_t styleIndex = Bind(std::move(styleBinding));
        connect(m_dotStyles, &QButtonGroup::idToggled, this, [this, styleIndex](int, bool on) {
            if (on) Edited(styleIndex);
        });
        page->addWidget(styleGroup);

        QGroupBox* trails = Group(this, "Trails", "groupTrails");
        auto* trailGrid = new QGridLayout(trails);
        m_leaveTrails = FlagCheck(trails, 1036, "Leave &Trails", PresetFieldNamed("LeaveTrails"));
        const PresetField& length = PresetFieldNamed("TrailLength");
        m_trailLength = BoundSpin(trails, 1039, NumberBinding(length, length.min, length.max),
                                  length.min, length.max);
        m_trailLength->setToolTip(QStringLiteral("How long the trails last."));
        m_dither = FlagCheck(trails, 1041, "D&ither", PresetFieldNamed("Dither"));
        connect(m_dither, &QCheckBox::toggled, this, [this](bool on) {
            if (on && !Loading()) m_fuzzy->setChecked(false);
        });

        // Fuzziness: the check switches it, the spin holds its amount; one field holds both.
        m_fuzzy = Named(new QCheckBox(QStringLiteral("Fu&zziness"), trails), "check", 1070);
        m_fuzziness = NewSpin(trails, 1067);
        m_fuzziness->setRange(kFuzzinessShownMin, kFuzziness.max);
        m_fuzziness->setToolTip(QStringLiteral("How much the trails blur."));
        TrackSpin(m_fuzziness);
        Binding fuzz;
        fuzz.field = &kFuzziness;
        fuzz.read = [](const PresetRecord& r) { return kFuzziness.Clamp(r.Fuzziness); };
        fuzz.shown = [this] { return m_fuzzy->isChecked() ? m_fuzziness->value() : 0; };
        fuzz.show = [this](int v) {
            const QSignalBlocker blockCheck(m_fuzzy);
            const QSignalBlocker blockSpin(m_fuzziness);
            m_fuzzy->setChecked(v > 0);
            m_fuzziness->setValue(v > 0 ? v : kFuzzinessWhenOff);
        };
        fuzz.write = [](PresetRecord& r, int v) { r.Fuzziness = kFuzziness.Clamp(v); };
        const std::size_t fuzzIndex = Bind(std::move(fuzz));
        connect(m_fuzzy, &QCheckBox::toggled, this, [this, fuzzIndex](bool on) {
            // Dither and fuzziness exclude each other.
            if (on && !Loading()) m_dither->setChecked(false);
            Edited(fuzzIndex);
        });
        connect(m_fuzziness, &QSpinBox::valueChanged, this,
                [this, fuzzIndex] { Edited(fuzzIndex); });
        m_quickDirty = FlagCheck(trails, 1011, "&Quick-n-Dirty", PresetFieldNamed("QuickDirty"));
        trailGrid->addWidget(m_leaveTrails, 0, 0);
        trailGrid->addWidget(m_trailLength, 0, 1);
        trailGrid->addWidget(m_dither, 0, 3);
        trailGrid->addWidget(m_fuzzy, 1, 0);
        trailGrid->addWidget(m_fuzziness, 1, 1);
        trailGrid->addWidget(m_quickDirty, 1, 3);
        trailGrid->setColumnMinimumWidth(2, 16);
        trailGrid->setColumnStretch(4, 1);
        page->addWidget(trails);

        QGroupBox* shimmer = Group(this, "Shimmering", "groupShimmering");
        auto* grid = SliderGrid(shimmer, 1);
        SliderRow(grid, 0, 0,
                  BoundSlider(shimmer, 3021, PresetFieldNamed("ShimmerBright"),
                              "How brightly the dots glint as they turn towards the light."),
                  "Off", "Bright");
        SliderRow(grid, 1, 0,
                  BoundSlider(shimmer, 3022, PresetFieldNamed("ShimmerNarrow"),
                              "How narrow the glint is: broad sheen or pin-point highlight."),
                  "Broad Highlight", "Narrow");
        m_shine = Named(new QCheckBox(QStringLiteral("Add Shi&ne"), shimmer), "check", 1083);
        m_glitter = Named(new QCheckBox(QStringLiteral("Add &Glitter"), shimmer), "check", 1084);
        Binding sparkle;
        sparkle.field = &kShineGlitter;
        sparkle.read = [](const PresetRecord& r) {
            return r.ShineGlitter > 0 ? kShine : (r.ShineGlitter < 0 ? kGlitter : 0);
        };
        sparkle.shown = [this] {
            return m_shine->isChecked() ? kShine : (m_glitter->isChecked() ? kGlitter : 0);
        };
        sparkle.show = [this](int v) {
            const QSignalBlocker blockShine(m_shine);
            const QSignalBlocker blockGlitter(m_glitter);
            m_shine->setChecked(v > 0);
            m_glitter->setChecked(v < 0);
        };
        sparkle.write = [](PresetRecord& r, int v) { r.ShineGlitter = kShineGlitter.Clamp(v); };
        const std::size_t sparkleIndex = Bind(std::move(sparkle));
        // Shine and glitter share one field: ticking one clears the other.
        connect(m_shine, &QCheckBox::toggled, this, [this, sparkleIndex](bool on) {
            if (on) {
                const QSignalBlocker blocker(m_glitter);
                m_glitter->setChecked(false);
            }
            Edited(sparkleIndex);
        });
        connect(m_glitter, &QCheckBox::toggled, this, [this, sparkleIndex](bool on) {
            if (on) {
                const QSignalBlocker blocker(m_shine);
                m_shine->setChecked(false);
            }
            Edited(sparkleIndex);
        });
        auto* sparkleRow = new QHBoxLayout;
        sparkleRow->addWidget(m_shine);
        sparkleRow->addSpacing(12);
        sparkleRow->addWidget(m_glitter);
        sparkleRow->addStretch(1);
        grid->addLayout(sparkleRow, 2, 0, 1, 3);
        page->addWidget(shimmer);
        page->addStretch(1);
    }

  protected:
    void UpdateState() override {
        const bool trails = m_leaveTrails->isChecked();
        m_trailLength->setEnabled(trails);
        // Dithering works on the trails' fade; without trails it means nothing.
        m_dither->setEnabled(trails);
        m_fuzziness->setEnabled(m_fuzzy->isChecked());
        m_quickDirty->setEnabled(trails && !m_fuzzy->isChecked());
    }

  private:
    QButtonGroup* m_dotStyles = nullptr;
    QCheckBox* m_leaveTrails = nullptr;
    QSpinBox* m_trailLength = nullptr;
    QCheckBox* m_dither = nullptr;
    QCheckBox* m_fuzzy = nullptr;
    QSpinBox* m_fuzziness = nullptr;
    QCheckBox* m_quickDirty = nullptr;
    QCheckBox* m_shine = nullptr;
    QCheckBox* m_glitter = nullptr;
};

}  // namespace

ConfigPage* CreateHomePage(ConfigContext& context, QWidget* parent) {
    return new HomePage(context, parent);
}

ConfigPage* CreatePatternPage(ConfigContext& context, QWidget* parent) {
    return new PatternPage(context, parent);
}

ConfigPage* CreateColorPage(ConfigContext& context, QWidget* parent) {
    return new ColorPage(context, parent);
}

ConfigPage* CreateDisplayPage(ConfigContext& context, QWidget* parent) {
    return new DisplayPage(context, parent);
}

}  // namespace quovis
