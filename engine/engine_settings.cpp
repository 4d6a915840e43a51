#include "engine/engine_settings.h"

#include <algorithm>
#include <cmath>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

// A preset's style parameters as the engine takes them: a count of 0 means the style's own
// defaults; otherwise every used parameter outside its range falls back to its default.
int ResolveStyleParams(int style, int count, const float in[6], float out[6]) {
    const StyleInfo* info = GetStyle(style);
    for (int i = 0; i < 6; ++i) out[i] = 0.0f;
    if (info == nullptr) return 0;
    for (int i = 0; i < info->paramCount; ++i) {
        const StyleParamInfo& p = info->params[i];
        const float v = in[i];
        const bool usable = count > 0 && std::isfinite(v) && p.InRange(v);
        out[i] = usable ? v : static_cast<float>(p.defaultValue);
    }
    return info->paramCount;
}

}  // namespace

bool CDrawWnd::ApplySettings(const EngineSettings& s) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    EnableDrift(false);
    // Fields in the order a preset stores them, each through its setter.
    m_nMotion = std::clamp(s.Motion, 0, kMotionCount - 1);
    m_nStyle = std::clamp(s.Style, 0, kStyleCount - 1);
    SetActivity(s.Activity / 1000.0);
    SetViscosity(s.Viscosity);
    m_nMovers = std::clamp(s.Complexity, 1, kMaxMovers);
    SetColourBright(s.ColorBright / 1000.0);
    SetReflections(std::clamp(s.Reflections, 1, kMaxReflections));
    SetSymmetric(s.Symmetric != 0);
    SetExtraTwist(s.ExtraTwist != 0);
    SetDotStyle(s.DotStyle);

    SetTrailLength(std::clamp(s.TrailLength == 0 ? 30 : s.TrailLength, 1, 100));
    SetLeaveTrails(s.LeaveTrails != 0);
    float params[6];
    float given[6];
    for (int i = 0; i < 6; ++i) given[i] = s.Param[i];
    given[0] = static_cast<float>(StartColourFromPreset(static_cast<int32_t>(given[0])));
    const int count = ResolveStyleParams(m_nStyle, s.ParamCount, given, params);
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
    return true;
}

}  // namespace quovis
