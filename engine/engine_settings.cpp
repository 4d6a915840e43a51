#include "engine/engine_settings.h"

#include <algorithm>
#include <cmath>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

void CDrawWnd::ApplySettings(const EngineSettings& s) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    EnableDrift(false);
    // Settings applied while a slide dies bring their own colours: the end of the slide must
    // not put the old ones back over them.
    m_slides.m_bSlideDimmed = 0;
    // Fields in the order a preset stores them, each through its setter.
    m_motion.m_nMotion = std::clamp(s.Motion, 0, kMotionCount - 1);
    m_style.m_nStyle = std::clamp(s.Style, 0, kStyleCount - 1);
    SetActivity(s.Activity / 1000.0);
    SetViscosity(s.Viscosity);
    m_movers.m_nMovers = std::clamp(s.Complexity, 1, kMaxMovers);
    SetColourBright(s.ColorBright / 1000.0);
    SetReflections(std::clamp(s.Reflections, 1, kMaxReflections));
    SetSymmetric(s.Symmetric != 0);
    SetExtraTwist(s.ExtraTwist != 0);
    SetDotStyle(s.DotStyle);

    SetTrailLength(std::clamp(s.TrailLength == 0 ? 30 : s.TrailLength, 1, 100));
    SetLeaveTrails(s.LeaveTrails != 0);
    float params[kStyleParamSlots];
    for (int i = 0; i < kStyleParamSlots; ++i) params[i] = s.Param[i];
    params[0] = static_cast<float>(StartColourFromPreset(static_cast<int32_t>(params[0])));
    int32_t count = s.ParamCount;
    if (count <= 0)
        StyleDefaultParams(m_style.m_nStyle, count, params);
    else
        StyleClampParams(m_style.m_nStyle, count, params);
    SetStyleParams(count, params);
    SetPastels(s.Pastels / 1000.0, false);
    if (s.ReflectionsOn == 0) {
        SetReflections(1);
        SetSymmetric(false);
    }
    SetDither(s.Dither != 0);

    SetFieldColor(s.FieldColor != 0);
    SetInfluenceRange(std::clamp(s.InfluenceRange, 0, 100));
    SetTurbulence(s.Turbulence / 1000.0);
    SetFuzziness(s.Fuzziness);
    SetPace(s.Pace > 0 ? s.Pace / 1000.0 : 1.0);
    SetConfinement(s.Confinement);
    SetMotionVariant(std::clamp(s.MotionVariant, 0, 4));
    SetPointMagnitude(s.PointMagnitude / 1000.0);
    SetQuickDirty(s.QuickDirty != 0);
    SetWrapFlags(s.WrapFlags);
    SetGamma(s.Gamma / 1000.0);
    SetInvert(s.Invert != 0);
    SetShimmerBright(s.ShimmerBright);
    SetShimmerNarrow(s.ShimmerNarrow);
    SetShineGlitter(s.ShineGlitter);

    SetDotCount(std::clamp(s.Grains, 1, kMaxDots), false);
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
