#include "config_ui/field_live.h"

#include <algorithm>
#include <mutex>

#include "engine/draw_wnd.h"
#include "engine/engine_settings.h"
#include "engine/preset_fields.h"
#include "engine/style_table.h"
#include "settings/preset_record.h"

namespace quovis {

namespace {

// Field numbers, taken from the table so that a renamed field fails to compile here.
constexpr int kMotion = PresetFieldNamed("Motion").number;
constexpr int kStyle = PresetFieldNamed("Style").number;
constexpr int kGrains = PresetFieldNamed("Grains").number;
constexpr int kActivity = PresetFieldNamed("Activity").number;
constexpr int kViscosity = PresetFieldNamed("Viscosity").number;
constexpr int kComplexity = PresetFieldNamed("Complexity").number;
constexpr int kColorBright = PresetFieldNamed("ColorBright").number;
constexpr int kReflections = PresetFieldNamed("Reflections").number;
constexpr int kSymmetric = PresetFieldNamed("Symmetric").number;
constexpr int kExtraTwist = PresetFieldNamed("ExtraTwist").number;
constexpr int kDotStyle = PresetFieldNamed("DotStyle").number;
constexpr int kTrailLength = PresetFieldNamed("TrailLength").number;
constexpr int kLeaveTrails = PresetFieldNamed("LeaveTrails").number;
constexpr int kParamCount = PresetFieldNamed("ParamCount").number;
constexpr int kPastels = PresetFieldNamed("Pastels").number;
constexpr int kReflectionsOn = PresetFieldNamed("ReflectionsOn").number;
constexpr int kDither = PresetFieldNamed("Dither").number;
constexpr int kFieldColor = PresetFieldNamed("FieldColor").number;
constexpr int kInfluenceRange = PresetFieldNamed("InfluenceRange").number;
constexpr int kTurbulence = PresetFieldNamed("Turbulence").number;
constexpr int kFuzziness = PresetFieldNamed("Fuzziness").number;
constexpr int kPace = PresetFieldNamed("Pace").number;
constexpr int kConfinement = PresetFieldNamed("Confinement").number;
constexpr int kMotionVariant = PresetFieldNamed("MotionVariant").number;
constexpr int kPointMagnitude = PresetFieldNamed("PointMagnitude").number;
constexpr int kQuickDirty = PresetFieldNamed("QuickDirty").number;
constexpr int kWrapFlags = PresetFieldNamed("WrapFlags").number;
constexpr int kGamma = PresetFieldNamed("Gamma").number;
constexpr int kInvert = PresetFieldNamed("Invert").number;
constexpr int kShimmerBright = PresetFieldNamed("ShimmerBright").number;
constexpr int kShimmerNarrow = PresetFieldNamed("ShimmerNarrow").number;
constexpr int kShineGlitter = PresetFieldNamed("ShineGlitter").number;

int32_t Stored(const PresetRecord& record, int number) {
    return record.*(PresetFieldNumbered(number)->recordInt);
}

double Engine(const PresetRecord& record, int number) {
    const PresetField& f = *PresetFieldNumbered(number);
    return f.ToEngine(record.*f.recordInt);
}

// The style's parameters exactly as applying the whole record gives them.
void SendStyleParams(CDrawWnd& engine, const PresetRecord& record) {
    float params[kStyleParamSlots] = {};
    const int32_t count = ResolveStyleParams(PresetFieldNamed("Style").Clamp(record.Style),
                                             ToEngineSettings(record), params);
    engine.SetStyleParams(count, params);
    // A live copy left by drift would otherwise be taken over by the emitters at their next
    // read and undo the edit; give them the edited values instead.
    for (int slot = 0; slot < count; ++slot) engine.SetLiveStyleParam(slot, params[slot]);
}

// The dot count as applying the whole record sets it; the preview's reduction depends on the
// reflections, so it follows every change of those too. The restart places the new dots.
void SendDotCount(CDrawWnd& engine, const PresetRecord& record) {
    engine.SetDotCount(std::max(record.Grains, 1), true);
}

void SendReflections(CDrawWnd& engine, const PresetRecord& record) {
    // Reflections off shows one image without a mirror, whatever the count says.
    if (record.ReflectionsOn != 0) {
        engine.SetReflections(record.Reflections);
        engine.SetSymmetric(record.Symmetric != 0);
    } else {
        engine.SetReflections(1);
        engine.SetSymmetric(false);
    }
    SendDotCount(engine, record);
}

// A new motion, style or mover count needs the pattern started again; the engine keeps the
// dots where they are when the new pattern can use them.
void RestartPattern(CDrawWnd& engine, int motion, int style, int movers) {
    engine.StartPattern(engine.RandomUniform() - 0.5, motion, style, movers, true);
}

}  // namespace

bool ApplyFieldLive(CDrawWnd& engine, const PresetField& field, const PresetRecord& record) {
    // One lock for the whole change: the frame thread never sees half of it.
    std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
    if (field.kind == PresetFieldKind::Param || field.number == kParamCount) {
        SendStyleParams(engine, record);
        return true;
    }
    switch (field.number) {
        case kMotion:
            RestartPattern(engine, field.Clamp(record.Motion), -1, -1);
            // The movers' speed depends on the motion ("Organic" is slower); re-setting the
            // range recomputes it for the new one.
            engine.SetInfluenceRange(engine.InfluenceRange());
            return true;
        case kStyle:
            // The new style's parameters go in before the restart, so the dots are placed by
            // them, and again after it, when the style they belong to is current.
            SendStyleParams(engine, record);
            RestartPattern(engine, -1, field.Clamp(record.Style), -1);
            SendStyleParams(engine, record);
            return true;
        case kComplexity:
            RestartPattern(engine, -1, -1, field.Clamp(record.Complexity));
            return true;
        case kGrains:
            SendDotCount(engine, record);
            return true;
        case kActivity:
            engine.SetActivity(Engine(record, kActivity));
            return true;
        case kViscosity:
            engine.SetViscosity(Stored(record, kViscosity));
            return true;
        case kColorBright:
            engine.SetColourBright(Engine(record, kColorBright));
            return true;
        case kReflections:
        case kSymmetric:
        case kReflectionsOn:
            SendReflections(engine, record);
            return true;
        case kExtraTwist:
            engine.SetExtraTwist(record.ExtraTwist != 0);
            return true;
        case kDotStyle:
            engine.SetDotStyle(record.DotStyle);
            return true;
        case kTrailLength:
            engine.SetTrailLength(field.Decode(record.TrailLength));
            return true;
        case kLeaveTrails:
            engine.SetLeaveTrails(record.LeaveTrails != 0);
            return true;
        case kPastels:
            engine.SetPastels(Engine(record, kPastels), false);
            return true;
        case kDither:
            engine.SetDither(record.Dither != 0);
            return true;
        case kFieldColor:
            engine.SetFieldColor(record.FieldColor != 0);
            return true;
        case kInfluenceRange:
            engine.SetInfluenceRange(record.InfluenceRange);
            return true;
        case kTurbulence:
            engine.SetTurbulence(Engine(record, kTurbulence));
            return true;
        case kFuzziness:
            engine.SetFuzziness(record.Fuzziness);
            return true;
        case kPace:
            // Below 0 the movers would stop for good: it counts as unset, like 0.
            engine.SetPace(field.ToEngine(std::max(record.Pace, 0)));
            return true;
        case kConfinement:
            engine.SetConfinement(record.Confinement);
            return true;
        case kMotionVariant:
            engine.SetMotionVariant(record.MotionVariant);
            return true;
        case kPointMagnitude:
            engine.SetPointMagnitude(Engine(record, kPointMagnitude));
            return true;
        case kQuickDirty:
            engine.SetQuickDirty(record.QuickDirty != 0);
            return true;
        case kWrapFlags:
            engine.SetWrapFlags(record.WrapFlags);
            return true;
        case kGamma:
            engine.SetGamma(Engine(record, kGamma));
            return true;
        case kInvert:
            engine.SetInvert(record.Invert != 0);
            return true;
        case kShimmerBright:
            engine.SetShimmerBright(record.ShimmerBright);
            return true;
        case kShimmerNarrow:
            engine.SetShimmerNarrow(record.ShimmerNarrow);
            return true;
        case kShineGlitter:
            engine.SetShineGlitter(record.ShineGlitter);
            return true;
        default:
            // Texts, Origin and the reserved fields never reach the engine.
            return false;
    }
}

}  // namespace quovis
