// Live setters: canvas geometry, dot count, motion, confinement, reflections, style
// parameters, trails, pacing and slideshow values.
//
// Each setter converts the user-facing value, stores it and recomputes what depends on it
// without restarting the pattern (the dot count setter alone can ask for a restart). All of
// them take the engine lock: the configuration thread calls them while the frame thread
// runs, and the lock is what keeps a half-changed parameter set out of a frame.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// From this many reflection copies on, wrapped dots would re-enter inside another copy, so
// wrapping is switched off and the walls are made stronger.
constexpr int kManyReflections = 3;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The viscosity's stored form runs from 1 (no memory of the last velocity) to 401 at
// slider 0 and 401 x 100 at the slider's far negative end (-200).
constexpr double kViscosityAtZero = 401.0;
constexpr double kViscosityStoredMax = 401.0 * 100.0;
// Confinement beyond this would overflow the wall gain to infinity and switch walls off.
constexpr double kConfinementLimit = 2000.0;

}  // namespace

// ---- Geometry and host settings ---------------------------------------------------------

void CDrawWnd::SetCanvasSize(int width, int height) {
    Lock lock(m_csEngine);
    // Rows of the canvas are processed four pixels at a time and bands split the height in
    // pairs of rows.
    m_nWidth = std::max(0, width) / 4 * 4;
    m_nHeight = std::max(0, height) / 2 * 2;
    m_nCentreX = m_nWidth / 2;
    m_nCentreY = m_nHeight / 2;
    // Margins and the confinement radius depend on the size.
    SetReflections(m_reflect.m_nReflections);
}

void CDrawWnd::SetWindowSize(int width, int height) {
    Lock lock(m_csEngine);
    m_strokes.m_nWindowWidth = std::max(0, width);
    m_strokes.m_nWindowHeight = std::max(0, height);
}

void CDrawWnd::SetMachineSpeedFactor(double factor) {
    Lock lock(m_csEngine);
    m_dots.m_dMachineSpeed = (std::isfinite(factor) && factor > 0.0) ? factor : 1.0;
}

void CDrawWnd::SetFullCount(bool on) {
    Lock lock(m_csEngine);
    m_dots.m_bFullCount = on ? 1 : 0;
}

void CDrawWnd::SetInteraction(bool on) {
    Lock lock(m_csEngine);
    m_strokes.m_bInteraction = on ? 1 : 0;
    if (!on) {
        // Without interaction nothing may keep steering mover 0 with a stale position.
        m_strokes.m_bCursorActive = 0;
        m_strokes.m_fCursorX = -1.0f;
        m_strokes.m_fCursorY = -1.0f;
    }
}

// ---- Dot count ----------------------------------------------------------------------------

void CDrawWnd::SetDotCount(int n, bool restart) {
    Lock lock(m_csEngine);
    n = std::clamp(n, 0, kMaxDots);
    m_dots.m_nGrains = n;
    m_dots.m_fDotScale = 1.0f;
    m_dots.m_fDotReduction = 1.0f;
    m_dots.m_fSpeedScale = 1.0f;

    int dots = n;
    if (!m_bSaverMode && !m_dots.m_bFullCount) {
        // A preview is small: fewer dots give the same look. Reflections multiply the dots
        // drawn, so the reduction is taken on the total of all copies.
        const double r = std::max(1, m_reflect.m_nReflections);
        dots = static_cast<int>(std::pow(n * r, 0.88) / r + 1.0);
        if (n > 0) {
            m_dots.m_fDotScale = static_cast<float>(static_cast<double>(dots) / n);
            m_dots.m_fDotReduction = m_dots.m_fDotScale;
        }
    } else if (m_dots.m_dMachineSpeed < 1.0) {
        m_dots.m_fDotReduction = static_cast<float>(m_dots.m_dMachineSpeed);
        m_dots.m_fSpeedScale = m_dots.m_fDotReduction;
        dots = static_cast<int>(n * m_dots.m_dMachineSpeed + 0.5);
    }
    // At least one dot: emission cursors and statistics divide by the count.
    dots = std::clamp(dots, 1, kMaxDots);
    m_dots.m_nDots = dots;
    m_dots.m_nMaxDots = dots;

    // Spread the dots the movers follow (in "Recursive" motion) evenly over the store. The
    // index is negative until the mover attaches; it never points past the dots in use.
    const int movers = std::clamp(m_movers.m_nMovers, 1, kMaxMovers);
    const int64_t span = std::max(0, dots - 2);
    for (int k = 0; k < kMaxMovers; ++k) {
        const int64_t index = std::min<int64_t>(span * k / movers, dots - 1);
        m_movers.m_moverDot[k] = -static_cast<int32_t>(index + 1);
    }

    if (restart) {
        RestartMovers();
        RequestPatternRestart();
    }
}

void CDrawWnd::RestartMovers() {
    ResetMovers(RandomUniform() - 0.5, false);
}

void CDrawWnd::RequestPatternRestart() {
    m_bRestartPending = 1;
    // The old picture belongs to the pattern that is going away.
    if (m_pCanvas) m_pCanvas->RequestClear();
}

// ---- Motion -------------------------------------------------------------------------------

void CDrawWnd::RecomputeMoverSpeedK() {
    const double a = m_motion.m_dActivity;
    const double p = m_motion.m_dPace;
    // A longer reach means each mover moves more dots, so the movers themselves slow down.
    const double reach = std::pow(std::max(0.0f, m_motion.m_fForceReach) / 2000.0, 0.3);
    double k = (0.15 * (a / 6.0) * (a / 6.0) / 11.0 + 0.01) * (p + 0.75) * m_dots.m_fDotScale *
               20.0 / (27.0 * reach + 0.333);
    k *= std::exp((p - 1.0) * std::numbers::ln2);
    if (m_motion.m_nMotion == kMotionOrganic) k *= 0.28;
    m_motion.m_fMoverSpeedK = static_cast<float>(k);
}

void CDrawWnd::SetActivity(double activity) {
    if (!std::isfinite(activity)) return;
    // The mover speeds raise the activity to fractional powers; below 0 they are undefined.
    activity = std::max(0.0, activity);
    Lock lock(m_csEngine);
    if (activity == m_motion.m_dActivity) return;
    m_motion.m_dActivity = activity;
    RecomputeMoverSpeedK();
    RestartMovers();
}

void CDrawWnd::SetPace(double pace) {
    if (!std::isfinite(pace)) return;
    pace = std::max(0.0, pace);
    Lock lock(m_csEngine);
    if (pace == m_motion.m_dPace) return;
    m_motion.m_dPace = pace;
    RecomputeMoverSpeedK();
    RestartMovers();
}

void CDrawWnd::SetInfluenceRange(double range) {
    if (!std::isfinite(range)) return;
    range = std::clamp(range, 0.0, 100.0);
    Lock lock(m_csEngine);
    m_motion.m_fInfluenceRange = static_cast<float>(range);
    // Steep at the top: most of the slider is short reach, the last quarter reaches far.
    m_motion.m_fForceReach = static_cast<float>(std::pow(range / 100.0, 2.6798) * 500.0 + 5.0);
    RecomputeMoverSpeedK();
    RestartMovers();
}

void CDrawWnd::SetViscosity(double viscosity) {
    if (!std::isfinite(viscosity)) return;
    // Positive slider values fall linearly to 1 at 1200; negative ones rise by a factor of
    // ten every 100 for a syrupy look.
    const double stored = viscosity >= 0.0 ? kViscosityAtZero - viscosity / 1200.0 * 400.0
                                           : kViscosityAtZero * std::pow(10.0, -viscosity / 100.0);
    SetViscosityStored(stored);
}

void CDrawWnd::SetViscosityStored(double viscosity) {
    if (!std::isfinite(viscosity)) return;
    // Below 1 the damping 1 - 1/v would exceed 1 (or divide by zero) and every dot would
    // speed up without end.
    viscosity = std::clamp(viscosity, 1.0, kViscosityStoredMax);
    Lock lock(m_csEngine);
    if (viscosity == m_motion.m_dViscosity) return;
    m_motion.m_dViscosity = viscosity;
    m_motion.m_fDampX = static_cast<float>(1.0 - 1.0 / viscosity);
    m_motion.m_fDampY = m_motion.m_fDampX;
}

void CDrawWnd::SetTurbulence(double turbulence) {
    if (!std::isfinite(turbulence)) return;
    // Above 1 the inertia turns negative and the flow vectors grow without bound.
    turbulence = std::clamp(turbulence, 0.0, 1.0);
    Lock lock(m_csEngine);
    const double calm = 1.0 - turbulence;
    m_motion.m_fMoverInertia = static_cast<float>(1.0 - std::exp(-8.0 * calm));
    // 20 frames per flow cycle when turbulent, 2000 when gentle, geometric in between.
    m_motion.m_fMoverPeriod =
        static_cast<float>(std::exp(std::log(20.0) + calm * (std::log(2000.0) - std::log(20.0))));
}

void CDrawWnd::SetConfinement(double confinement) {
    if (!std::isfinite(confinement)) return;
    confinement = std::clamp(confinement, -kConfinementLimit, kConfinementLimit);
    Lock lock(m_csEngine);
    m_motion.m_dConfine = confinement;
    m_motion.m_bRoundConfine = confinement < 0.0 ? 1 : 0;
    m_motion.m_dConfineExp = std::fabs(confinement) / 1000.0 * 3.0 - 2.5;
    SetReflections(m_reflect.m_nReflections);  // recomputes the gain, margins and tables
}

void CDrawWnd::UpdateConfineGain() {
    m_motion.m_dConfineGain = std::exp(m_motion.m_dConfineExp);
    if (m_reflect.m_nReflections >= kManyReflections) m_motion.m_dConfineGain *= 3.0;
}

void CDrawWnd::SetMotionVariant(int variant) {
    Lock lock(m_csEngine);
    m_motion.m_nMotionVariant = std::clamp(variant, 0, 4);
}

void CDrawWnd::SetExtraTwist(bool on) {
    Lock lock(m_csEngine);
    m_motion.m_bExtraTwist = on ? 1 : 0;
}

void CDrawWnd::SetWrapFlags(int flags) {
    Lock lock(m_csEngine);
    m_motion.m_nWrapFlags =
        flags & 7;  // 1 and 2 wrap, 4 mirrors (Mobius); no other bit means anything
    UpdateWrapActive();
}

void CDrawWnd::UpdateWrapActive() {
    m_motion.m_nWrapActive =
        m_reflect.m_nReflections < kManyReflections ? m_motion.m_nWrapFlags : 0;
}

void CDrawWnd::SetFieldColor(bool on) {
    Lock lock(m_csEngine);
    m_motion.m_bFieldColor = on ? 1 : 0;
}

// ---- Reflections --------------------------------------------------------------------------

void CDrawWnd::SetReflections(int n) {
    Lock lock(m_csEngine);
    m_reflect.m_nReflections = std::clamp(n, 1, kMaxReflections);
    // The wall gain depends on the count as well as on the confinement, so it is kept in
    // step here; otherwise changing the count alone would leave the walls at the old
    // strength.
    UpdateConfineGain();
    UpdateConfinement();
    BuildReflectionTables(ReflectionOrientAngle() + m_reflect.m_dReflectAngle);
    UpdateWrapActive();
    m_reflect.m_bReflectionsChanged = 1;
}

double CDrawWnd::ReflectionOrientAngle() {
    if (!m_reflect.m_bReflectOrientOn) return 0.0;
    if (m_reflect.m_nReflectOrient == 1) {
        // Line the copies up with the zodiac wheel, which turns once a year.
        int day = 0;
        double hour = 0.0;
        m_clock.LocalDayOfYearAndHour(day, hour);
        return std::numbers::pi / 12.0 - kTwoPi * ((day - 5 + hour / 24.0) / 365.0 + 0.5);
    }
    if (m_reflect.m_nReflectOrient == 0) return kTwoPi / m_reflect.m_nReflections;
    return 0.0;
}

void CDrawWnd::BuildReflectionTables(double offset) {
    for (int k = 0; k < kMaxReflections; ++k) {
        if (k < m_reflect.m_nReflections) {
            const double a = kTwoPi * k / m_reflect.m_nReflections + offset;
            m_reflect.m_fReflCos[k] = static_cast<float>(std::cos(a));
            m_reflect.m_fReflSin[k] = static_cast<float>(std::sin(a));
        } else {
            // Unused entries hold the identity so that no stale rotation survives.
            m_reflect.m_fReflCos[k] = 1.0f;
            m_reflect.m_fReflSin[k] = 0.0f;
        }
    }
}

void CDrawWnd::SetReflectOrient(int orient) {
    Lock lock(m_csEngine);
    m_reflect.m_nReflectOrient = orient;
    SetReflections(m_reflect.m_nReflections);
}

void CDrawWnd::SetReflectOrientSwitch(bool on) {
    Lock lock(m_csEngine);
    m_reflect.m_bReflectOrientOn = on ? 1 : 0;
    SetReflections(m_reflect.m_nReflections);
}

void CDrawWnd::SetSymmetric(bool on) {
    Lock lock(m_csEngine);
    const int32_t value = on ? 1 : 0;
    if (value == m_reflect.m_bSymmetric) return;
    m_reflect.m_bSymmetric = value;
    m_reflect.m_bReflectionsChanged = 1;
}

// ---- Style parameters ---------------------------------------------------------------------

void CDrawWnd::SetStyleParams(int n, const int* values) {
    float converted[kStyleParamSlots] = {};
    if (values == nullptr) n = 0;
    n = std::clamp(n, 0, kStyleParamSlots);
    for (int i = 0; i < n; ++i) converted[i] = static_cast<float>(values[i]);
    Lock lock(m_csEngine);
    StoreStyleParamsLocked(n, converted);
}

void CDrawWnd::SetStyleParams(int n, const float* values) {
    if (values == nullptr) n = 0;
    Lock lock(m_csEngine);
    StoreStyleParamsLocked(n, values);
}

void CDrawWnd::StoreStyleParamsLocked(int n, const float* values) {
    n = std::clamp(n, 0, kStyleParamSlots);
    m_style.m_nStyleParams = n;
    for (int i = 0; i < n; ++i) {
        // A value that is not a number would poison every emitter that reads it.
        if (std::isfinite(values[i])) m_style.m_fStyleParam[i] = values[i];
    }
    SetNewDotColour();
    RestartMovers();
    // Their radius parameter decides how far the walls must stand back.
    if (m_style.m_nStyle == kStyleCircle || m_style.m_nStyle == kStyleBall) UpdateConfinement();
    m_style.m_bStyleParamsChanged = 1;
}

void CDrawWnd::SetStartColour(double value) {
    if (!std::isfinite(value)) return;
    Lock lock(m_csEngine);
    m_style.m_fStyleParam[0] = static_cast<float>(value);
    SetNewDotColour();
}

// ---- What the audio drive moves ------------------------------------------------------------

void CDrawWnd::SetPointMagnitudeStored(double magnitude) {
    if (!std::isfinite(magnitude)) return;
    Lock lock(m_csEngine);
    m_colour.m_dPointMagnitude = std::clamp(magnitude, 0.0, 1.0);
    UpdatePointCap();
}

void CDrawWnd::SetGlitterExp(double exponent) {
    if (!std::isfinite(exponent)) return;
    Lock lock(m_csEngine);
    m_look.m_fSparkExp = static_cast<float>(std::clamp(exponent, 0.0, 10000.0));
}

void CDrawWnd::SetGlitterAmount(double amount) {
    if (!std::isfinite(amount)) return;
    Lock lock(m_csEngine);
    m_look.m_fSparkAmount = static_cast<float>(std::clamp(amount, 0.0, 5000.0));
    UpdateShimmerOn();
}

void CDrawWnd::SetSprayShape(double shape) {
    if (!std::isfinite(shape)) return;
    // A negative exponent would launch the dots drawn near the rim at unbounded speeds.
    Lock lock(m_csEngine);
    m_style.m_dSprayShape = std::clamp(shape, 0.0, 100000.0);
}

void CDrawWnd::KickPatternAngle(double radians) {
    if (!std::isfinite(radians)) return;
    Lock lock(m_csEngine);
    // Kept within one turn, as the emitters keep it, so that many kicks lose no precision.
    const double a = std::fmod(m_motion.m_dPatternAngle + radians, kTwoPi);
    m_motion.m_dPatternAngle = a;
    m_motion.m_dPatternSin = std::sin(a);
    m_motion.m_dPatternCos = std::cos(a);
}

float CDrawWnd::StyleParam(int slot) const {
    if (slot < 0 || slot >= kStyleParamSlots) return 0.0f;
    return m_style.m_fStyleParam[slot];
}

void CDrawWnd::SetLiveStyleParam(int slot, double value) {
    if (slot < 0 || slot >= kStyleParamSlots || !std::isfinite(value)) return;
    Lock lock(m_csEngine);
    m_style.m_fStyleParamLive[slot] = static_cast<float>(value);
}

void CDrawWnd::SetStyleParamValue(int slot, double value) {
    if (slot < 0 || slot >= kStyleParamSlots || !std::isfinite(value)) return;
    Lock lock(m_csEngine);
    const float v = static_cast<float>(value);
    if (v == m_style.m_fStyleParam[slot]) return;
    m_style.m_fStyleParam[slot] = v;
    // The group size is derived from these two when the style's parameters are applied; the
    // frame step applies them again only when they are marked changed.
    const StyleInfo* style = GetStyle(m_style.m_nStyle);
    const int32_t role = style != nullptr ? style->params[slot].role : kRoleNone;
    if (role == kRoleDotsPerGroup || role == kRoleStrobePeriod) m_style.m_bStyleParamsChanged = 1;
}

void CDrawWnd::FlagAttachBeat() {
    m_movers.m_bAttachBeat.store(1, std::memory_order_relaxed);
}

bool CDrawWnd::AttachBeatPending() const {
    return m_movers.m_bAttachBeat.load(std::memory_order_relaxed) != 0;
}

// ---- Trails -------------------------------------------------------------------------------

void CDrawWnd::SetTrailLength(int length) {
    Lock lock(m_csEngine);
    // The fade is derived from log10(length); 0 has no fade.
    m_trails.m_nTrailLength = std::clamp(length, 1, 100);
    SendTrailsToCanvas(0.0);
}

void CDrawWnd::SetLeaveTrails(bool on) {
    Lock lock(m_csEngine);
    m_trails.m_bLeaveTrails = on ? 1 : 0;
    SendTrailsToCanvas(0.0);
}

void CDrawWnd::SetDither(bool on) {
    Lock lock(m_csEngine);
    m_trails.m_bDither = on ? 1 : 0;
    SendTrailsToCanvas(0.0);
}

void CDrawWnd::SetFuzziness(int amount) {
    Lock lock(m_csEngine);
    m_trails.m_bFuzzy = amount > 0 ? 1 : 0;
    // Switching off keeps the last amount for when it comes back on.
    if (amount > 0) m_trails.m_nFuzziness = std::min(amount, 100);
    SendFuzzinessToCanvas();
}

void CDrawWnd::SetQuickDirty(bool on) {
    Lock lock(m_csEngine);
    m_trails.m_bQuickDirty = on ? 1 : 0;
    if (m_pCanvas) m_pCanvas->SetQuickDirty(on);
    SendFuzzinessToCanvas();
}

void CDrawWnd::SendTrailsToCanvas(double shade) {
    if (!m_pCanvas) return;
    m_pCanvas->SetTrails(m_trails.m_bLeaveTrails ? m_trails.m_nTrailLength : -1,
                         m_trails.m_bDither != 0, shade);
}

void CDrawWnd::SendFuzzinessToCanvas() {
    if (!m_pCanvas) return;
    // Quick-n-dirty plots into 8 bits, so only without it may the blur keep 16 bits.
    m_pCanvas->SetFuzziness(m_trails.m_bFuzzy != 0, m_trails.m_nFuzziness,
                            m_trails.m_bQuickDirty == 0);
}

void CDrawWnd::ApplyCanvasSettings() {
    Lock lock(m_csEngine);
    if (!m_pCanvas) return;
    // A new canvas has no shade factor yet, so this one sends the engine's.
    SendTrailsToCanvas(m_colour.m_dTrailShade);
    SendFuzzinessToCanvas();
    m_pCanvas->SetQuickDirty(m_trails.m_bQuickDirty != 0);
    // Tone and inversion may have been set before the canvas existed.
    m_pCanvas->SetTone(m_colour.m_dToneSlopeEnd, m_colour.m_dToneSlopeStart);
    m_pCanvas->SetInvert(m_colour.m_bInvert != 0);
}

// ---- Pacing and slideshow -----------------------------------------------------------------

void CDrawWnd::SetRateLimit(int fps) {
    Lock lock(m_csEngine);
    m_frame.m_nTargetFps = std::clamp(fps, 3, 1000);
    m_frame.m_dFrameGoal = m_frame.m_nTargetFps;
}

void CDrawWnd::SetSlideDuration(double minSeconds, double maxSeconds) {
    if (!std::isfinite(minSeconds) || !std::isfinite(maxSeconds)) return;
    // A slide lasts at most about 49 days: the millisecond clock wraps after that.
    constexpr double kLongestSeconds = std::numeric_limits<uint32_t>::max() / 1000.0 - 1.0;
    minSeconds = std::clamp(minSeconds, 0.0, kLongestSeconds);
    maxSeconds = std::clamp(maxSeconds, 0.0, kLongestSeconds);
    if (maxSeconds < minSeconds) std::swap(minSeconds, maxSeconds);
    Lock lock(m_csEngine);
    const double seconds = minSeconds + (maxSeconds - minSeconds) * RandomUniform();
    m_slides.m_dwSlideIntervalMs = static_cast<uint32_t>(seconds * 1000.0);
}

}  // namespace quovis
