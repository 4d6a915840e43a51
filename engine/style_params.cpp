// What a pattern style and its parameters imply for the engine: the derived values
// (parking, group size, launch speed, gravity, the squish and fall direction of the falling
// styles), the emission rate, and the launch directions shared by placement and emitters.
//
// Names below: p1..p5 are the style's parameters 2..6 (m_style.m_fStyleParam[1..5]); parameter 1 is
// the start colour. N is m_dots.m_nDots and S is m_dots.m_fDotScale.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The ordinary launch mix: a narrow random part plus a wide part that the seed shifts.
constexpr double kNarrowWeight = 0.3141592653589793;
constexpr double kWideWeight = 0.6858407346410207;
// The golden mix: the two weights split the turn at the golden ratio.
constexpr double kGoldenWeight = 0.6180339887498948;
constexpr double kGoldenRest = 0.3819660112501052;

// Gravity parameters are in thousandths of a third of a pixel per frame squared.
constexpr double kGravityUnit = 3000.0;
// The launch speed of most sprays, in pixels per frame.
constexpr float kSpraySpeed = 5.2347f;
constexpr double kEventHorizonSpeed = 0.04958437184843291;

// The rate of styles that never park their dots; the emission stage never asks them.
constexpr double kNoEmissionRate = 12.0;

// Converts a group size computed in floating point, refusing what an int cannot hold and
// anything that is not a number, and never giving less than one dot.
int32_t ToGroupSize(double g) {
    if (!(g >= 1.0)) return 1;
    if (g > static_cast<double>(INT32_MAX / 2)) return INT32_MAX / 2;
    return static_cast<int32_t>(g);
}

// Truncates toward zero; NaN gives 0 and values beyond what an int holds are limited.
int32_t TruncToInt(double v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::clamp(v, -1.0e9, 1.0e9));
}

// 62 * sqrt(p / 100) + 30 for the phase-driven styles: a low flow rate still emits.
double PhaseStyleRate(double p) {
    return p <= 100.0 ? 62.0 * std::sqrt(std::fabs(p) / 100.0) + 30.0 : p;
}

// A rate that grows quickly from zero and reaches 100 at p = 100: (p / 100)^power * 100.
double CurvedRate(double p, double power) {
    if (p > 100.0) return p;
    return 100.0 * std::pow(std::max(p, 0.0) / 100.0, power);
}

}  // namespace

double LaunchAngle(EngineRandom& rng, double seed) {
    const double u1 = rng.RandomUniform();
    const double u2 = rng.RandomUniform();
    return kTwoPi * (kNarrowWeight * (u1 - 0.5) + kWideWeight * (u2 - 0.5 + seed));
}

double GoldenLaunchAngle(EngineRandom& rng, double seed) {
    const double u1 = rng.RandomUniform();
    const double u2 = rng.RandomUniform();
    return kTwoPi * (kGoldenWeight * (u1 - 0.5) + kGoldenRest * (u2 - 0.5 + seed));
}

// Parameters a style has not been given (a pattern started before any preset, or a preset
// with fewer values than the style uses) take the table's values, so no derived value is
// computed from a leftover of another style or from zero where the table forbids it.
void CDrawWnd::UseTableParamsIfUnset() {
    int32_t count = 0;
    float table[kStyleParamSlots];
    if (!GetStyleParams(m_style.m_nStyle, count, table)) return;
    if (m_style.m_nStyleParams >= count) return;
    for (int j = std::max(m_style.m_nStyleParams, 0); j < count; ++j)
        m_style.m_fStyleParam[j] = table[j];
    m_style.m_nStyleParams = count;
}

// The forces a style may set go back to "none" first, so that gravity, squish or a fall
// direction never carry over from the style that ran before.
void CDrawWnd::ResetStyleForces() {
    m_style.m_fGravity = 0.0f;
    m_style.m_fForceScaleX = 1.0f;
    m_style.m_nFallDir = 0;
}

int32_t CDrawWnd::GroupFromShare(double part, double whole) const {
    return ToGroupSize(std::trunc(m_dots.m_nDots * part / whole));
}

int32_t CDrawWnd::GroupFromRate(double p, double exponent, double share) const {
    const double reduction = m_dots.m_fDotReduction > 0.0f ? m_dots.m_fDotReduction : 1.0;
    const double g =
        std::pow(std::max(p, 0.0) / 100.0, exponent) * m_dots.m_nDots * share / reduction;
    return ToGroupSize(std::trunc(g));
}

void CDrawWnd::ApplyStyleParams() {
    if (m_style.m_nStyle < 0 || m_style.m_nStyle >= kStyleCount) return;
    UseTableParamsIfUnset();
    const float* p = m_style.m_fStyleParam;  // p[1]..p[5] are p1..p5
    const double S = m_dots.m_fDotScale;
    const int32_t N = m_dots.m_nDots;
    auto gravityFrom = [](float v) { return static_cast<float>(v / kGravityUnit); };
    // A count parameter (lines, bars) divides the dots; the table keeps it at least 1, a
    // value from elsewhere is held there too.
    auto countFrom = [](float v) { return std::max<int32_t>(1, TruncToInt(v)); };

    m_style.m_bStartParked = 0;
    m_style.m_bEmitEveryFrame = 0;
    ResetStyleForces();

    switch (m_style.m_nStyle) {
        case kStyleBigBang:
            m_style.m_fEmitSpeed = static_cast<float>(p[1] * 0.8 * S);
            m_style.m_nGroupSize = GroupFromShare(p[3], 100.0);
            m_style.m_bStartParked = p[2] != 0.0f;
            break;
        case kStyleFullField:
        case kStyleOvercast:
            m_style.m_fGravity = gravityFrom(p[1]);
            break;
        case kStyleRings:
            m_style.m_bStartParked = p[5] != 0.0f;
            m_style.m_nGroupSize = GroupFromShare(p[4], 100.0);
            m_style.m_fEmitSpeed = static_cast<float>(p[3] * 0.01);
            break;
        case kStyleRibbon:
            m_style.m_fEmitSpeed = static_cast<float>(p[2] * 0.002);
            m_style.m_bStartParked = p[3] != 0.0f;
            m_style.m_nGroupSize = GroupFromShare(1.0, 100.0);
            break;
        case kStyleLissajous:
        case kStyleFloaters:
        case kStyleFleuret:
            m_style.m_fEmitSpeed = static_cast<float>(p[3] * 0.01);
            m_style.m_nGroupSize = GroupFromShare(1.0, 1.0);
            m_style.m_bStartParked = 1;
            m_style.m_bEmitEveryFrame = 1;
            break;
        case kStyleLinesHorizontal:
        case kStyleLinesVertical:
            m_style.m_fEmitSpeed = static_cast<float>(
                p[2] * (m_style.m_nStyle == kStyleLinesHorizontal ? 0.002 : 0.01));
            // At least one dot per group even when there are more lines than dots: a group of
            // none would never emit anything.
            m_style.m_nGroupSize = ToGroupSize(N / countFrom(p[1]));
            m_style.m_bStartParked = p[3] != 0.0f;
            break;
        case kStyleRadialNozzles:
            m_style.m_nGroupSize = GroupFromShare(1.0, 100.0);
            m_style.m_bStartParked = 1;
            m_style.m_fEmitSpeed = kSpraySpeed;
            break;
        case kStyleBall:
            m_style.m_bStartParked = p[2] != 0.0f;
            m_style.m_nGroupSize = GroupFromShare(1.0, 100.0);
            break;
        case kStyleEventHorizon:
            m_style.m_nGroupSize = ToGroupSize(p[2]);
            m_style.m_fEmitSpeed = static_cast<float>(p[1] * kEventHorizonSpeed);
            m_style.m_bStartParked = p[3] != 0.0f;
            break;
        case kStyleAurora:
            m_style.m_fGravity = gravityFrom(p[1]);
            m_style.m_fForceScaleX = static_cast<float>(p[2] / 1000.0);
            // Aurora's curtains rise; the fall direction belongs to the style, so a parameter
            // change keeps it.
            m_style.m_nFallDir = 1;
            break;
        case kStyleFountain:
        case kStyleRegenerating:
        case kStyleTwirls:
            m_style.m_bStartParked = 1;
            m_style.m_nGroupSize = ToGroupSize(p[1]);
            m_style.m_fGravity = gravityFrom(p[2]);
            break;
        case kStylePhasing:
            m_style.m_fGravity = gravityFrom(p[1]);
            // "Phase Direction" 0 or 1 gives the upward or the downward fall direction.
            m_style.m_nFallDir = std::clamp(TruncToInt(p[2]), 0, 1) + 1;
            break;
        case kStyleFromTheEther:
        case kStyleRising:
        case kStyleFalls:
        case kStyleDraw:
        case kStylePolygon:
        case kStyleCurves:
            m_style.m_fGravity = gravityFrom(p[2]);
            [[fallthrough]];
        case kStyleSidewaysSpray:
        case kStyleWhiteHole:
        case kStyleSpinningSprayer:
        case kStyleRadarSweep:
        case kStyleCircle:
            if (m_style.m_nStyle >= kStyleCircle) {
                // The shape styles emit a share of the dots per strobe.
                m_style.m_nGroupSize = GroupFromShare(p[1], 5000.0);
            } else {
                m_style.m_nGroupSize = ToGroupSize(p[1]);
            }
            m_style.m_bEmitEveryFrame =
                m_style.m_nStyle >= kStyleDraw ||
                (m_style.m_nStyle == kStyleCircle && p[5] > 0.0f && p[5] < 3.0f);
            m_style.m_bStartParked = 1;
            m_style.m_fEmitSpeed = m_style.m_nStyle == kStyleFromTheEther
                                       ? static_cast<float>(p[3] / 10.0)
                                       : kSpraySpeed;
            break;
        default:  // "Globular" keeps the defaults
            break;
    }
}

// Drift writes the flow rate into a live copy; it becomes the parameter when the emission
// stage next reads the rate, so a drifting flow changes between emission events only.
void CDrawWnd::TakeOverLiveFlowRate() {
    const int j = FindStyleParamByRole(m_style.m_nStyle, kRoleFlowRate);
    if (j < 0) return;
    if (m_style.m_fStyleParamLive[j] > kUnsetLiveParam + 1.0f) {
        m_style.m_fStyleParam[j] = m_style.m_fStyleParamLive[j];
        m_style.m_fStyleParamLive[j] = kUnsetLiveParam;
    }
}

// Drift's energy walk works the same way. The parameter is the plain energy, or the energy
// of the second kind for the styles that have only that one, as drift chooses it.
void CDrawWnd::TakeOverLiveEnergy() {
    int j = FindStyleParamByRole(m_style.m_nStyle, kRoleEnergy);
    if (j < 0) j = FindStyleParamByRole(m_style.m_nStyle, kRoleEnergy2);
    float live;
    if (j >= 0 && TakeLiveStyleParam(j, &live)) m_style.m_fStyleParam[j] = live;
}

double CDrawWnd::EmissionRate() {
    if (m_style.m_nStyle < 0 || m_style.m_nStyle >= kStyleCount) return 0.0;
    TakeOverLiveFlowRate();
    const float* p = m_style.m_fStyleParam;
    const double rate = [&]() -> double {
        switch (m_style.m_nStyle) {
            case kStyleBigBang:
            case kStyleSidewaysSpray:
                return p[2];
            case kStyleRings:
                return p[5];
            case kStyleRibbon:
                m_style.m_nGroupSize = GroupFromRate(p[3], 3.0, 0.1);
                return 100.0;
            case kStyleLissajous:
            case kStyleFleuret:
            case kStyleFloaters:
                return PhaseStyleRate(p[4]);
            case kStyleLinesHorizontal:
            case kStyleLinesVertical:
                return CurvedRate(p[3], 0.5);
            case kStyleRadialNozzles:
                m_style.m_nGroupSize = GroupFromRate(p[4], 3.0, 0.1);
                return 100.0;
            case kStyleBall:
                m_style.m_nGroupSize = GroupFromRate(p[2], 3.0, 0.1);
                return 100.0;
            case kStyleWhiteHole:
            case kStyleEventHorizon:
            case kStyleRadarSweep:
            case kStyleRising:
                return p[3];
            case kStyleFountain:
            case kStyleSpinningSprayer:
            case kStyleRegenerating:
            case kStyleFromTheEther:
            case kStyleDraw:
            case kStylePolygon:
            case kStyleCurves:
            case kStyleTwirls:
                return CurvedRate(p[4], 0.4);
            case kStyleFalls:
                m_style.m_nGroupSize = GroupFromRate(p[4], 4.5, 0.04);
                return 100.0;
            case kStyleCircle: {
                const int32_t flowGroup = GroupFromRate(p[4], 4.5, 0.04);
                if (p[5] == 0.0f || p[5] >= 3.0f) {
                    // Strobing: the whole strobe group leaves at once, every R frames, so that on
                    // average the flow rate's share leaves per frame.
                    return std::max(1.0, static_cast<double>(m_style.m_nGroupSize / flowGroup));
                }
                m_style.m_nGroupSize = flowGroup;
                return 100.0;
            }
            default:  // the styles that never park their dots
                return kNoEmissionRate;
        }
    }();
    // The emission stage divides and truncates with the rate; a rate that is not a number
    // (a parameter that is not one) emits nothing rather than an undefined count.
    return std::isfinite(rate) ? rate : 0.0;
}

}  // namespace quovis
