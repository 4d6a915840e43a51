#include "engine/engine_settings.h"

#include <algorithm>
#include <cmath>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

// The rows ApplySettings reads its rules from.
constexpr const PresetField& kMotionField = PresetFieldNamed("Motion");
constexpr const PresetField& kStyleField = PresetFieldNamed("Style");
constexpr const PresetField& kActivityField = PresetFieldNamed("Activity");
constexpr const PresetField& kComplexityField = PresetFieldNamed("Complexity");
constexpr const PresetField& kColorBrightField = PresetFieldNamed("ColorBright");
constexpr const PresetField& kTrailLengthField = PresetFieldNamed("TrailLength");
constexpr const PresetField& kPastelsField = PresetFieldNamed("Pastels");
constexpr const PresetField& kTurbulenceField = PresetFieldNamed("Turbulence");
constexpr const PresetField& kPaceField = PresetFieldNamed("Pace");
constexpr const PresetField& kPointMagnitudeField = PresetFieldNamed("PointMagnitude");
constexpr const PresetField& kGammaField = PresetFieldNamed("Gamma");

// The ranges the table gives are the ones the engine holds to.
static_assert(kComplexityField.max == CDrawWnd::kMaxMovers);
static_assert(PresetFieldNamed("Reflections").max == CDrawWnd::kMaxReflections);
static_assert(PresetFieldNamed("Grains").max <= CDrawWnd::kMaxDots);

}  // namespace

int32_t ResolveStyleParams(int style, const EngineSettings& s, float params[kStyleParamSlots]) {
    for (const PresetField& f : kPresetFields) {
        if (f.kind != PresetFieldKind::Param) continue;
        const float value = s.Param[f.paramSlot];
        params[f.paramSlot] =
            f.startColourCodes
                ? static_cast<float>(StartColourFromPreset(static_cast<int32_t>(value)))
                : value;
    }
    int32_t count = s.ParamCount;
    if (count <= 0)
        StyleDefaultParams(style, count, params);
    else
        StyleClampParams(style, count, params);
    return count;
}

void CDrawWnd::ApplySettings(const EngineSettings& s) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    EnableDrift(false);
    // Settings applied while a slide dies bring their own colours: the end of the slide must
    // not put the old ones back over them.
    m_slides.m_bSlideDimmed = 0;
    // Fields in the order a preset stores them, each through its setter, which keeps it in
    // range. Motion, style and the mover count have no setter and are held to their range
    // here.
    m_motion.m_nMotion = kMotionField.Clamp(s.Motion);
    m_style.m_nStyle = kStyleField.Clamp(s.Style);
    SetActivity(kActivityField.ToEngine(s.Activity));
    SetViscosity(s.Viscosity);
    m_movers.m_nMovers = kComplexityField.Clamp(s.Complexity);
    SetColourBright(kColorBrightField.ToEngine(s.ColorBright));
    SetReflections(s.Reflections);
    SetSymmetric(s.Symmetric != 0);
    SetExtraTwist(s.ExtraTwist != 0);
    SetDotStyle(s.DotStyle);

    SetTrailLength(kTrailLengthField.Decode(s.TrailLength));
    SetLeaveTrails(s.LeaveTrails != 0);
    float params[kStyleParamSlots];
    const int32_t count = ResolveStyleParams(m_style.m_nStyle, s, params);
    SetStyleParams(count, params);
    SetPastels(kPastelsField.ToEngine(s.Pastels), false);
    if (s.ReflectionsOn == 0) {
        SetReflections(1);
        SetSymmetric(false);
    }
    SetDither(s.Dither != 0);

    SetFieldColor(s.FieldColor != 0);
    SetInfluenceRange(s.InfluenceRange);
    SetTurbulence(kTurbulenceField.ToEngine(s.Turbulence));
    SetFuzziness(s.Fuzziness);
    // A pace below 0 would stop the movers for good; it counts as unset, like 0.
    SetPace(kPaceField.ToEngine(std::max(s.Pace, 0)));
    SetConfinement(s.Confinement);
    SetMotionVariant(s.MotionVariant);
    SetPointMagnitude(kPointMagnitudeField.ToEngine(s.PointMagnitude));
    SetQuickDirty(s.QuickDirty != 0);
    SetWrapFlags(s.WrapFlags);
    SetGamma(kGammaField.ToEngine(s.Gamma));
    SetInvert(s.Invert != 0);
    SetShimmerBright(s.ShimmerBright);
    SetShimmerNarrow(s.ShimmerNarrow);
    SetShineGlitter(s.ShineGlitter);

    // Last, because the count is reduced by the reflections. A preset that asks for no
    // grains is shown as one that asks for one.
    SetDotCount(std::max(s.Grains, 1), false);
    if (m_drift.m_bDriftAllowed != 0 && m_bSaverMode != 0 && m_drift.m_bAudioDriveAttached == 0)
        EnableDrift(true);
}

void CDrawWnd::SetDriftAllowed(bool on) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_drift.m_bDriftAllowed = on ? 1 : 0;
}

void CDrawWnd::SetAudioDriveAttached(bool on) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_drift.m_bAudioDriveAttached = on ? 1 : 0;
}

void CDrawWnd::SetPresetIdentity(std::u16string_view name, std::u16string_view text) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_presetName.assign(name);
    m_presetText.assign(text);
}

std::u16string CDrawWnd::PresetName() const {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    return m_presetName;
}

std::u16string CDrawWnd::PresetText() const {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    return m_presetText;
}

}  // namespace quovis
