// Drift: the slow random walk of a running pattern's parameters.
#include "engine/drift.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Logarithms of the walk widths: a multiplicative walk starts within 1 % of its base and
// widens towards a factor of 4; the glitter walks may reach a factor of 9.
constexpr double kLn1p01 = 0.009950330853168083;
constexpr double kLn4 = 1.3862943611198906;
constexpr double kLn9 = 2.1972245773362196;
constexpr double kStartAddRange = 0.01;

// Step sizes: additive walks take slightly longer strides than multiplicative ones.
constexpr double kAddStep = 0.66;
constexpr double kMultStep = 0.55;
constexpr double kStartColourStep = 1.32;
constexpr double kGlitterStep = 0.2;

enum DriftSlot : int {
    kSlotPointMagnitude = 0,
    kSlotPastels = 1,
    kSlotColourBright = 2,
    kSlotEnergy = 3,
    kSlotFlowRate = 4,
    kSlotDotsPerGroup = 5,
    kSlotSpinning = 6,
    kSlotStrobePeriod = 7,
    kSlotSpraySpread = 8,
    kSlotViscosity = 9,
    kSlotActivity = 10,
    kSlotStartColour = 11,
    kSlotConfinement = 12,
    kSlotInfluenceRange = 13,
    kSlotTurbulence = 14,
    kSlotPace = 15,
    kSlotGlitterAmount = 16,
    kSlotGlitterExp = 17,
    kSlotHorizontalRatio = 18,
    kSlotVerticalRatio = 19,
};

double Sign(double v) {
    return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0);
}

}  // namespace

double DriftWalk(double& offset, double u, double base, double range, double step, double smoothing,
                 double lo, double hi) {
    if (hi < lo) std::swap(lo, hi);
    if (!std::isfinite(base)) base = lo;
    base = std::clamp(base, lo, hi);
    if (!std::isfinite(offset)) offset = 0.0;
    // |u|^1.414 keeps most steps small and a few large.
    const double kick = Sign(u) * std::pow(std::fabs(u), 1.414);

    if (range <= 0.0) {
        const double r = -range;
        const double n = kick - 0.008 * offset * std::fabs(offset);
        const double low = std::max(lo, base - r * (hi - lo));
        const double high = std::min(hi, base + r * (hi - lo));
        const double t = std::clamp(offset + n * r * step + base, low, high);
        offset = (1.0 - smoothing) * (t - base) + smoothing * offset;
        return std::clamp(base + offset, low, high);
    }

    const double ratio = offset / range;
    const double n = kick - 0.008 * Sign(offset) * ratio * ratio;
    const double t = std::clamp(offset + n * range * step, -range, range);
    offset = (1.0 - smoothing) * t + smoothing * offset;
    return std::clamp(base * std::exp(offset), lo, hi);
}

void CDrawWnd::DriftStateDeleter::operator()(DriftState* state) const {
    delete state;
}

void CDrawWnd::EnableDrift(bool on) {
    Lock lock(m_csEngine);
    if (!on) {
        if (m_drift.m_pDrift) m_drift.m_pDrift->running = false;
        return;
    }
    if (!m_drift.m_pDrift) {
        m_drift.m_pDrift.reset(new (std::nothrow) DriftState);
        if (!m_drift.m_pDrift) return;  // no memory: the pattern simply does not drift
    }
    // Take the bases afresh at the next step, so drift never carries one pattern's
    // wandering into the next.
    m_drift.m_pDrift->captured = false;
    m_drift.m_pDrift->running = true;
    m_drift.m_pDrift->lastStep = m_clock.Milliseconds();
}

bool CDrawWnd::IsDriftRunning() const {
    Lock lock(m_csEngine);
    return m_drift.m_pDrift && m_drift.m_pDrift->running;
}

bool CDrawWnd::DriftTick() {
    Lock lock(m_csEngine);
    if (!m_drift.m_pDrift || !m_drift.m_pDrift->running) return false;
    // Unsigned difference: correct across the clock's wrap.
    if (m_clock.Milliseconds() - m_drift.m_pDrift->lastStep <= kDriftIntervalMs) return false;
    DriftStep();
    return true;
}

void CDrawWnd::DriftStep() {
    Lock lock(m_csEngine);
    if (!m_drift.m_pDrift || !m_drift.m_pDrift->running) return;
    m_drift.m_pDrift->lastStep = m_clock.Milliseconds();
    // A new style brings new parameters with other roles: start from its values.
    if (!m_drift.m_pDrift->captured || m_drift.m_pDrift->style != m_style.m_nStyle)
        CaptureDriftBases();
    WalkDriftSlots();
}

void CDrawWnd::CaptureDriftBases() {
    DriftState& s = *m_drift.m_pDrift;
    std::fill(std::begin(s.base), std::end(s.base), 0.0);
    s.base[kSlotPointMagnitude] = std::pow(std::max(0.0, m_colour.m_dPointMagnitude), 0.618047);
    s.base[kSlotPastels] = m_colour.m_dPastel;
    s.base[kSlotColourBright] = m_colour.m_dColourBright;
    s.base[kSlotViscosity] = m_motion.m_dViscosity;
    s.base[kSlotActivity] = m_motion.m_dActivity;
    s.base[kSlotConfinement] = m_motion.m_dConfine;
    s.base[kSlotInfluenceRange] = m_motion.m_fInfluenceRange;
    // The turbulence setting that gives the current inertia (the inverse of SetTurbulence).
    const double inertia = std::min(static_cast<double>(m_motion.m_fMoverInertia), 0.999999);
    s.base[kSlotTurbulence] = std::log(1.0 - inertia) / 8.0 + 1.0;
    s.base[kSlotPace] = m_motion.m_dPace;
    s.base[kSlotGlitterAmount] = m_look.m_fSparkAmount;
    s.base[kSlotGlitterExp] = m_look.m_fSparkExp;
    s.glitter = m_look.m_bGlitter != 0;

    std::fill(std::begin(s.roleParam), std::end(s.roleParam), -1);
    std::fill(std::begin(s.roleBase), std::end(s.roleBase), 0.0f);
    s.style = m_style.m_nStyle;
    if (const StyleInfo* style = GetStyle(m_style.m_nStyle)) {
        const int count = std::min<int>(style->paramCount, kStyleParamSlots);
        for (int i = 0; i < count; ++i) {
            const int role = style->params[i].role;
            if (role <= kRoleNone || role >= kStyleRoleCount || s.roleParam[role] >= 0) continue;
            s.roleParam[role] = i;
            s.roleBase[role] = m_style.m_fStyleParam[i];
        }
    }
    // Styles whose energy or spin comes in the second kind drift that one in its place.
    const auto borrow = [&s](int role, int from) {
        if (s.roleParam[role] < 0 && s.roleParam[from] >= 0) {
            s.roleParam[role] = s.roleParam[from];
            s.roleBase[role] = s.roleBase[from];
        }
    };
    borrow(kRoleEnergy, kRoleEnergy2);
    borrow(kRoleSpinning, kRoleSpinningRate);
    // A start colour still in the old 0/1/2 encoding drifts around what it means.
    float& startColour = s.roleBase[kRoleStartColour];
    if (startColour >= 0.0f && startColour <= 2.0f) {
        startColour = static_cast<float>(StartColourFromPreset(static_cast<int32_t>(startColour)));
    }

    std::fill(std::begin(s.offset), std::end(s.offset), 0.0);
    s.multRange = kLn1p01;
    s.addRange = kStartAddRange;
    s.captured = true;
}

double CDrawWnd::DriftValue(int slot, double base, double range, double step, double smoothing,
                            double lo, double hi) {
    const double u = 2.0 * RandomUniform() - 1.0;
    return DriftWalk(m_drift.m_pDrift->offset[slot], u, base, range, step, smoothing, lo, hi);
}

void CDrawWnd::DriftStyleRole(int slot, int role, bool multiplicative, double step, bool liveCopy) {
    const DriftState& s = *m_drift.m_pDrift;
    const int i = s.roleParam[role];
    const StyleInfo* style = GetStyle(m_style.m_nStyle);
    if (i < 0 || style == nullptr) return;
    const StyleParamInfo& info = style->params[i];
    const double range = multiplicative ? s.multRange : -s.addRange;
    const double v =
        DriftValue(slot, s.roleBase[role], range, step, kDriftSmoothing, info.min, info.max);
    if (liveCopy) {
        m_style.m_fStyleParamLive[i] = static_cast<float>(v);
        return;
    }
    const float value = static_cast<float>(std::trunc(v));
    if (value == m_style.m_fStyleParam[i]) return;
    m_style.m_fStyleParam[i] = value;
    // The group size is derived from these two (ApplyStyleParams); the frame step derives it
    // again only for parameters marked changed.
    if (role == kRoleDotsPerGroup || role == kRoleStrobePeriod) m_style.m_bStyleParamsChanged = 1;
}

void CDrawWnd::WalkDriftSlots() {
    DriftState& s = *m_drift.m_pDrift;
    s.multRange = 0.9 * s.multRange + 0.1 * kLn4;
    s.addRange = 0.9 * s.addRange + 0.075;  // tends to 0.75
    const double mult = s.multRange;
    const double add = -s.addRange;
    constexpr double sm = kDriftSmoothing;

    SetPointMagnitude(
        DriftValue(kSlotPointMagnitude, s.base[kSlotPointMagnitude], add, kAddStep, sm, 0.0, 1.0));
    SetPastels(DriftValue(kSlotPastels, s.base[kSlotPastels], mult, kMultStep, sm, 0.001, 1.15),
               true);
    SetColourBright(
        DriftValue(kSlotColourBright, s.base[kSlotColourBright], mult, kMultStep, sm, 0.001, 2.5));

    DriftStyleRole(kSlotEnergy, kRoleEnergy, true, kMultStep, true);
    DriftStyleRole(kSlotFlowRate, kRoleFlowRate, false, kAddStep, true);
    DriftStyleRole(kSlotDotsPerGroup, kRoleDotsPerGroup, true, kMultStep, false);
    DriftStyleRole(kSlotSpinning, kRoleSpinning, false, kAddStep, false);
    DriftStyleRole(kSlotStrobePeriod, kRoleStrobePeriod, true, kMultStep, false);
    DriftStyleRole(kSlotSpraySpread, kRoleSpraySpread, false, kAddStep, false);

    SetViscosityStored(
        DriftValue(kSlotViscosity, s.base[kSlotViscosity], mult, kMultStep, sm, 1.0, 5000.0));
    SetActivity(DriftValue(kSlotActivity, s.base[kSlotActivity], mult, kMultStep, sm, 0.01, 6.0));

    if (s.roleParam[kRoleStartColour] >= 0) {
        // Walked as 0..100 above black; twice as wide, as the slider is coarse.
        const double v = DriftValue(kSlotStartColour, s.roleBase[kRoleStartColour] - 1000.0,
                                    2.0 * add, kStartColourStep, sm, 0.0, 100.0);
        SetStartColour(1000.0 + v);
    }

    SetConfinement(
        DriftValue(kSlotConfinement, s.base[kSlotConfinement], add, kAddStep, sm, -2000.0, 2000.0));
    SetInfluenceRange(std::trunc(DriftValue(kSlotInfluenceRange, s.base[kSlotInfluenceRange], mult,
                                            kMultStep, sm, 1.0, 100.0)));
    SetTurbulence(
        DriftValue(kSlotTurbulence, s.base[kSlotTurbulence], mult, kMultStep, sm, 0.001, 1.0));
    SetPace(DriftValue(kSlotPace, s.base[kSlotPace], mult, kMultStep, sm, 0.001, 2.0));

    if (s.glitter && m_look.m_bGlitter) {
        m_look.m_fSparkAmount = static_cast<float>(DriftValue(
            kSlotGlitterAmount, s.base[kSlotGlitterAmount], kLn9, kGlitterStep, sm, 1.0, 5000.0));
        m_look.m_fSparkExp = static_cast<float>(DriftValue(kSlotGlitterExp, s.base[kSlotGlitterExp],
                                                           kLn9, kGlitterStep, sm, 1.0, 10000.0));
    }

    DriftStyleRole(kSlotHorizontalRatio, kRoleHorizontalRatio, false, kAddStep, false);
    DriftStyleRole(kSlotVerticalRatio, kRoleVerticalRatio, false, kAddStep, false);
}

}  // namespace quovis
