// The colour model: the hue wheel, the per-dot tint and decay, the per-frame gains and the
// colour settings.
//
// A dot's colour is not fixed. Every frame it is tinted by the hue that belongs to its
// direction of motion, the more the faster it moves, the tint fading out as a channel nears
// full strength; and every channel decays slowly towards zero. Streams moving the same way
// share a colour; swirls show the whole wheel.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

constexpr int kQuarter = 256;    // hue entries per quarter of the wheel
constexpr int kStripe = 64;      // entries per quarter rebuilt by one slice
constexpr double kWarp = 1.618;  // stretches the wheel around the axis directions
constexpr float kMinChannel = -100.0f;
constexpr float kMaxChannel = 255.0f;

// Channels stay in -100..255. A NaN, should one ever arrive, becomes -100 instead of
// spreading: std::max(lo, c) is (lo < c) ? c : lo, and every comparison with NaN is false.
inline float LimitChannel(float c) {
    return std::min(std::max(kMinChannel, c), kMaxChannel);
}

// The falloff index of a channel: trunc(8c) about the table's middle. Limited first, so a
// channel outside its range (or NaN) reads the zero ends of the table instead of memory
// beyond it.
inline int FalloffIndex(float c) {
    const float scaled = std::min(std::max(-1000.0f, 8.0f * c), 3000.0f);
    return CDrawWnd::kFalloffCentre + static_cast<int>(scaled);
}

// sign(t) * |t|^power
double SignedPower(double t, double power) {
    const double m = std::pow(std::fabs(t), power);
    return t < 0.0 ? -m : m;
}

// The hue (degrees) of wheel entry i of quarter q for a turning offset.
double WheelHue(int q, int i, double offset) {
    const double sigma = offset < 0.0 ? -1.0 : 1.0;
    const double base = offset < 0.0 ? 360.0 : 0.0;
    const double h = std::fabs(offset);

    const double t = 2.0 * i / kQuarter - 1.0;
    const double s = SignedPower(t, kWarp);
    double y = 0.0, x = 0.0;
    switch (q) {
        case 0:
            y = s, x = 1.0;
            break;
        case 1:
            y = 1.0, x = -s;
            break;
        case 2:
            y = -s, x = -1.0;
            break;
        default:
            y = -1.0, x = s;
            break;
    }
    // The angle is kept in the single-precision steps the wheel was designed with.
    double theta = std::atan2(y, x);
    if (theta < 0.0) theta += 6.2831854820251465;
    theta *= 57.2957763671875;

    const double d = std::fmod(theta + h / 2.0, 360.0);
    const double e = d < 180.0 ? 180.0 * std::pow(d / 180.0, kWarp)
                               : 360.0 - 180.0 * std::pow((360.0 - d) / 180.0, kWarp);
    return std::fmod(e + h / 2.0, 360.0) * sigma + base;
}

// Fills entries first..last of every quarter.
void FillHueStripe(float (*rgb)[3], double offset, int first, int last) {
    for (int q = 0; q < 4; ++q) {
        for (int i = first; i <= last; ++i) {
            // Full saturation at half lightness: the pure hue, channels 0..1.
            const float turns = static_cast<float>(WheelHue(q, i, offset) / 360.0);
            float* out = rgb[kQuarter * q + i];
            out[0] = CDrawWnd::HueToRgb(0.0f, 1.0f, turns + 1.0f / 3.0f);
            out[1] = CDrawWnd::HueToRgb(0.0f, 1.0f, turns);
            out[2] = CDrawWnd::HueToRgb(0.0f, 1.0f, turns - 1.0f / 3.0f);
        }
    }
}

// The tint of one frame: the wheel quarter of the main axis of motion (+x, +y, -x, -y), the
// entry by the slope of the other axis against it, k = base + trunc(128 * minor / major), and
// the strength m = |major|, fading as a channel nears full strength.
inline void TintByDirection(const float (*wheel)[3], const float* falloff, float vx, float vy,
                            const float* gains, float& c0, float& c1, float& c2) {
    const float ax = std::fabs(vx);
    const float ay = std::fabs(vy);
    // The axis and the sign are as good as random from one dot to the next, so they are
    // chosen with arithmetic instead of branches that would mostly mispredict.
    const int xMajor = ax > ay;
    const int yMajor = ay > ax;
    // A dot at rest or moving exactly diagonally (no main axis; also a NaN velocity) gets no
    // tint. That is rare, so this one branch is well predicted.
    if ((xMajor | yMajor) == 0) return;
    const int positive = (xMajor & (vx > 0.0f)) | ((1 - xMajor) & (vy > 0.0f));
    const int quarter = (1 - xMajor) + 2 * (1 - positive);
    const float fx = static_cast<float>(xMajor);
    const float major = fx * vx + (1.0f - fx) * vy;
    const float minor = fx * vy - (1.0f - fx) * vx;
    const int k = 128 + 256 * quarter + static_cast<int>(128.0f * minor / major);
    const float m = std::fabs(major);
    const float* hue = wheel[k];
    c0 += m * gains[0] * hue[0] * falloff[FalloffIndex(c0)];
    c1 += m * gains[1] * hue[1] * falloff[FalloffIndex(c1)];
    c2 += m * gains[2] * hue[2] * falloff[FalloffIndex(c2)];
}

}  // namespace

engine_areas::HueTable::HueTable() {
    FillHueStripe(rgb, 0.0, 0, kQuarter - 1);
}

float CDrawWnd::HueToRgb(float p, float q, float t) {
    t -= std::floor(t);
    if (t < 1.0f / 6.0f) return p + (q - p) * 6.0f * t;
    if (t < 0.5f) return q;
    if (t < 2.0f / 3.0f) return p + (q - p) * (2.0f / 3.0f - t) * 6.0f;
    return p;
}

bool CDrawWnd::BuildHueTable(float offset, int slice) {
    if (!std::isfinite(offset) || slice < 0 || slice > 4) return false;
    if (slice == 0) {
        FillHueStripe(m_colour.m_hueTable.rgb, offset, 0, kQuarter - 1);
    } else {
        const int first = kStripe * (slice - 1);
        FillHueStripe(m_colour.m_hueTable.rgb, offset, first, first + kStripe - 1);
    }
    return true;
}

// ---- Per frame ----------------------------------------------------------------------------

void CDrawWnd::ComputeColourGains() {
    const double d2 = m_colour.m_dColourDrive * m_colour.m_dColourDrive;
    // Displays of fewer than 24 bits band visibly, so they get stronger tints.
    const double depthGain = m_nColourDepth < 24 ? 0.75 : 0.55;
    const double a = (d2 / 2.0 + 0.11) * depthGain;
    const double b = (4.0 * d2 / 2.0 + 0.11) * depthGain;
    constexpr double kGainUnit = 1.488095238095238;
    for (int c = 0; c < 3; ++c) {
        m_colour.m_fColourGain[c] = static_cast<float>(kGainUnit * a);
        m_colour.m_fCursorGain[c] =
            m_motion.m_bFieldColor ? static_cast<float>(kGainUnit * b) : m_colour.m_fColourGain[c];
    }
    // The force reach is at least 5 once the influence range is set; before that the field
    // colour has nothing to scale by, and a reach of 0 must not make the scale infinite.
    const float reach = std::max(m_motion.m_fForceReach, 5.0f);
    m_colour.m_fFieldColourScale = m_colour.m_fColourGain[0] * 32.0f * 25.0f / reach;
}

void CDrawWnd::UpdatePointCap() {
    // Without trails every plot stands alone and may be as bright as it likes.
    constexpr uint32_t kNoCap = 2 * 255 * 256;
    if (!m_trails.m_bLeaveTrails) {
        m_colour.m_nPointCap = kNoCap;
    } else {
        const double cap = std::floor(2.0 * 255.0 * m_colour.m_dPointMagnitude * 256.0 + 0.5);
        m_colour.m_nPointCap =
            static_cast<uint32_t>(std::clamp(cap, 0.0, static_cast<double>(kNoCap)));
    }
    m_colour.m_fPointCap = static_cast<float>(m_colour.m_nPointCap) / 256.0f;
}

// ---- Per dot ------------------------------------------------------------------------------

void CDrawWnd::UpdateDotColour(float vx, float vy, const float* gains, float& c0, float& c1,
                               float& c2) const {
    // Dots falling the way the style lets them fall fade out on their way, a little faster
    // in green than in red and blue, and take no tint.
    if ((m_style.m_nFallDir == 2 && vy > 0.0f) || (m_style.m_nFallDir == 1 && vy < 0.0f)) {
        c0 = LimitChannel(c0 * 0.951f);
        c1 = LimitChannel(c1 * 0.9472354f);
        c2 = LimitChannel(c2 * 0.9552f);
        return;
    }
    // With field-based colour the movers' colours were pushed in during the field sum;
    // only the decay is left.
    if (!m_motion.m_bFieldColor) {
        TintByDirection(m_colour.m_hueTable.rgb, m_falloff.Data(), vx, vy, gains, c0, c1, c2);
    }
    c0 = LimitChannel(c0 - c0 * m_colour.m_fFadeR);
    c1 = LimitChannel(c1 - c1 * m_colour.m_fFadeG);
    c2 = LimitChannel(c2 - c2 * m_colour.m_fFadeB);
}

// ---- Settings -----------------------------------------------------------------------------

void CDrawWnd::SetColourBright(double bright) {
    if (!std::isfinite(bright)) return;
    // Above 2.51 the drive below has a pole and then no real value; the slider ends at 2.5.
    const double v = std::clamp(bright, 0.0, 2.5);
    m_colour.m_dColourBright = v;
    // Near the top of the range the drive bends upwards smoothly instead of linearly.
    const double c = v > 2.0 ? (std::cos((2.5 - v) / 0.5 * std::numbers::pi) + 1.0) / 2.0 : 0.0;
    m_colour.m_dColourDrive = (1.0 - c) * v + c * v / std::pow(1.0 - v / 2.51, 0.3);
}

void CDrawWnd::SetPastels(double pastel, bool fromDrift) {
    if (!std::isfinite(pastel)) return;
    // A negative value has no root below; the slider starts at 0.001.
    const double v = std::max(pastel, 0.0);
    m_colour.m_dPastel = v;
    if (!fromDrift) {
        // Pure tones look harsh on long trails; darken the trails a little towards 0.
        const double r = (0.15 - v) / 0.15;
        const double shade = v < 0.15 ? 1.0 - r * r * r * 0.03 : 1.0;
        if (shade != m_colour.m_dTrailShade) {
            m_colour.m_dTrailShade = shade;
            SendTrailsToCanvas(shade);
        }
    }
    m_colour.m_dPastelWarp = 1.2 * std::pow(std::min(v, 1.2) / 1.2, kWarp);
    float fade = 0.0f;
    if (m_colour.m_dPastelWarp == 0.0) {
        fade =
            static_cast<float>(m_colour.m_dColourDrive * m_colour.m_dColourDrive * 0.0006 + 0.005);
    } else {
        // Fast decay keeps pure tones; slow decay lets channels saturate towards white.
        fade = static_cast<float>(0.04 - std::pow(m_colour.m_dPastelWarp, 0.8) * 0.03457);
    }
    m_colour.m_fFadeR = m_colour.m_fFadeG = m_colour.m_fFadeB = fade;
}

void CDrawWnd::SetPointMagnitude(double magnitude) {
    if (!std::isfinite(magnitude)) return;
    m_colour.m_dPointMagnitude = std::pow(std::clamp(magnitude, 0.0, 1.0), kWarp);
    UpdatePointCap();
}

void CDrawWnd::SetGamma(double gamma) {
    if (!std::isfinite(gamma)) return;
    std::lock_guard<std::recursive_mutex> lock(m_csEngine);
    const double v = std::clamp(gamma, 0.0, 1.0);
    m_colour.m_dGamma = v;
    // The tone curve starts with slope s0 and ends at (1, 1) with slope 1/(2e). The exponents
    // put the middle of the slider on e = 0.5, s0 = 1: the identity. That point is set
    // exactly, so the canvas can recognise it and skip the curve.
    if (v == 0.5) {
        m_colour.m_dToneSlopeEnd = 0.5;
        m_colour.m_dToneSlopeStart = 1.0;
    } else {
        const double alpha = std::log(0.2 / 9.7) / std::log(0.5);
        const double beta = std::log(1.0 - 1.0 / 1.4) / std::log(0.5);
        m_colour.m_dToneSlopeEnd = 0.3 + 9.7 * std::pow(v, alpha);
        m_colour.m_dToneSlopeStart = 2.0 - 1.4 * (1.0 - std::pow(1.0 - v, beta));
    }
    if (m_pCanvas) m_pCanvas->SetTone(m_colour.m_dToneSlopeEnd, m_colour.m_dToneSlopeStart);
}

void CDrawWnd::SetInvert(bool on) {
    std::lock_guard<std::recursive_mutex> lock(m_csEngine);
    m_colour.m_bInvert = on ? 1 : 0;
    if (m_pCanvas) m_pCanvas->SetInvert(on);
}

}  // namespace quovis
