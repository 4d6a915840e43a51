#include "settings/preset_mutation.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "engine/style_table.h"

namespace quovis {

namespace {

int Trunc(double v) {
    return static_cast<int>(std::clamp(v, -2147483648.0, 2147483647.0));
}

float* ParamSlot(PresetRecord& r, int i) {
    float* slots[kStyleParamSlots] = {&r.Param1, &r.Param2, &r.Param3,
                                      &r.Param4, &r.Param5, &r.Param6};
    return slots[i];
}

void MutateStyleParams(PresetRecord& r, const UniformDraw& u) {
    const StyleInfo* style = GetStyle(r.Style);
    if (style == nullptr) return;
    const int count = std::min<int>(r.ParamCount, style->paramCount);
    for (int i = 0; i < count; ++i) {
        const StyleParamInfo& info = style->params[i];
        float& p = *ParamSlot(r, i);
        double rate = 0.015;
        bool reseed = false;
        // Gravity, radius ratios and energy are often exactly zero on purpose (a still
        // fountain, a round shape): they rarely start moving, and once moving they are
        // kept from settling back on zero.
        if (info.label == u"Gravity") {
            rate = 0.0045;
            if (p == 0.0f && u() > 0.03) continue;
            reseed = u() > 0.1 && p != 0.0f;
        } else if (info.label == u"Radii Ratio") {
            rate = 0.03;
            if (p == 0.0f) {
                if (u() > 0.05) continue;
                p = static_cast<float>(Trunc(u() * (info.max - info.min) + info.min));
                continue;
            }
            reseed = u() > 0.1;
        } else if (info.label == u"Energy") {
            if (p == 0.0f && u() > 0.05) continue;
            reseed = u() > 0.1 && p != 0.0f;
        }
        if (i == 0) rate *= 3.0;
        const int moved = PerturbValue(std::trunc(static_cast<double>(p)), rate, info.min, info.max,
                                       info.min > 0, u);
        p = static_cast<float>(moved);
        if (reseed && moved == 0) {
            int fresh = Trunc(4.0 * u()) + 1;
            if (u() < 0.5) fresh = -fresh;
            p = static_cast<float>(fresh);
        }
    }
}

}  // namespace

int PerturbValue(double v, double rate, double min, double max, bool logarithmic,
                 const UniformDraw& u) {
    if (!(max > min)) return Trunc(std::clamp(v, min, max));
    rate = std::max(rate, 0.6 / (max - min));
    double x;
    if (logarithmic) {
        const double lo = std::log(std::max(min, 1.0));
        const double hi = std::log(max);
        // A value at or below zero has no logarithm; start from the bottom of the range.
        const double from = std::log(std::max(v, std::max(min, 1.0)));
        x = std::exp(from + (u() - 0.5) * 2.0 * rate * (hi - lo));
    } else {
        x = v + (u() - 0.5) * 2.0 * rate * (max - min);
    }
    const double rounded = std::trunc(x + 0.5);
    return Trunc(std::clamp(rounded, min, max));
}

void MutatePreset(PresetRecord& r, const UniformDraw& u) {
    auto Perturb = [&u](int32_t v, double rate, double min, double max, bool log = false) {
        return PerturbValue(v, rate, min, max, log, u);
    };
    r.Grains = Perturb(r.Grains, 0.015, 50, 72000, true);
    r.Activity = Perturb(r.Activity, 0.015, 100, 6000);
    r.Turbulence = Perturb(r.Turbulence, 0.015, 4, 1000);
    r.Viscosity = Perturb(r.Viscosity, 0.015, 0, 1200);
    r.Complexity = Perturb(r.Complexity, 0.03, 1, 32);
    r.Confinement = Perturb(r.Confinement, 0.03, -999, 1000);
    if (u() < 0.06) r.Confinement = -r.Confinement;
    r.InfluenceRange = Perturb(r.InfluenceRange, 0.03, 1, 100);
    r.Pace = Perturb(r.Pace, 0.015, 1, 2000);

    if (r.ReflectionsOn != 0) {
        if (u() < 0.12) r.Reflections = std::max(1, r.Reflections + Trunc(3.0 * u()) - 1);
        if (u() < 0.12) r.Symmetric = Trunc(2.0 * u()) != 0 ? 1 : 0;
    }

    if (u() < 0.06 && (r.ReflectionsOn == 0 || r.Reflections < 3)) {
        r.WrapFlags = Trunc(2.0 * u()) != 0 ? 1 : 0;
    }
    if (r.WrapFlags != 0 && u() < 0.22) {
        if (u() < 0.5) r.WrapFlags ^= 2;
        if (u() < 0.5) r.WrapFlags ^= 4;
    }

    if (u() < 0.1) r.ExtraTwist = Trunc(2.0 * u()) != 0 ? 1 : 0;
    if (u() < 0.1) r.Motion = Trunc(6.0 * u());
    if (u() < 0.08) r.MotionVariant = Trunc(5.0 * u());
    if (u() < 0.1) r.FieldColor = Trunc(2.0 * u()) != 0 ? 1 : 0;

    r.ColorBright = Perturb(r.ColorBright, 0.015, 1, 2500);
    r.Pastels = Perturb(r.Pastels, 0.015, 1, 1200);
    r.PointMagnitude = Perturb(r.PointMagnitude, 0.0075, 1, 1000);
    if (r.LeaveTrails != 0) r.TrailLength = Perturb(r.TrailLength, 0.045, 1, 100);
    if (r.Fuzziness != 0) r.Fuzziness = Perturb(r.Fuzziness, 0.045, 1, 100);

    MutateStyleParams(r, u);
}

}  // namespace quovis
