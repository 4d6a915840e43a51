// Re-emission: Emit hands a run of recycled dot slots to the current style's emitter, which
// gives each dot its birth place and launch velocity. This file holds the dispatch, the
// helpers every emitter shares and the emitters of the simple styles; the sprays and jets
// are in emitters_sprays.cpp, the figures in emitters_shapes.cpp.
//
// Index
//   Emit                  the dispatch, and the normalising of the run
//   shared helpers        PlaceDot, EmitDotScale, GoldenAngle, TakeLiveStyleParam,
//                         BurstMobility
//   simple styles         0, 3, 4, 9, 10, 11, 13, 21, 22, 23, 24
//
// Notation in the emitters: p1..p5 are the style parameters 2..6 (m_style.m_fStyleParam[1..5]);
// u is a RandomUniform draw, v a RandomFraction draw (the fast generator, [0, 1)).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kGoldenMajor = 0.6180339887498948;
constexpr double kGoldenMinor = 0.3819660112501052;
// The launch direction of "Event Horizon" leans on the pattern seed with these weights, so
// that one pattern's dots share a bias while a new seed gives a new one.
constexpr double kSeedMinor = 0.3141592653589793;
constexpr double kSeedMajor = 0.6858407346410207;
constexpr double kEventHorizonSpeed = 0.04958437;

int32_t PositiveMod(int64_t value, int32_t modulus) {
    const int64_t r = value % modulus;
    return static_cast<int32_t>(r < 0 ? r + modulus : r);
}

}  // namespace

// ---- Emit ------------------------------------------------------------------------------

bool CDrawWnd::Emit(int first, int last, double framesPerDot, int intervalFrames) {
    const int32_t dots = std::min(m_dots.m_nDots, kMaxDots);
    if (!m_dots.m_dotBlock || dots <= 0 || m_nWidth <= 0 || m_nHeight <= 0) return false;

    EmitRun run;
    run.dots = dots;
    run.first = PositiveMod(first, dots);
    const int64_t span = static_cast<int64_t>(last) - first;
    const int64_t count = span >= 0 ? span + 1 : PositiveMod(span, dots) + 1;
    // More dots than the ring holds would only place the same slots again; the figure
    // emitters spread a run over its dots, so they get the dots that will actually stand.
    run.count = static_cast<int32_t>(std::min<int64_t>(count, dots));
    run.framesPerDot = std::isfinite(framesPerDot) && framesPerDot > 0.0 ? framesPerDot : 0.0;
    run.interval = std::max(1, intervalFrames);

    // A drifting energy waits in its live copy. The sprayers, "Fleuret (Spirals)" and
    // "Floaters" ramp it in across the run themselves; every other emitter reads the
    // parameter whole, so it is taken over before the emitter runs.
    const bool rampsEnergy =
        m_style.m_nStyle == kStyleRadialNozzles || m_style.m_nStyle == kStyleSpinningSprayer ||
        m_style.m_nStyle == kStyleFleuret || m_style.m_nStyle == kStyleFloaters;
    if (!rampsEnergy) TakeOverLiveEnergy();

    switch (m_style.m_nStyle) {
        case kStyleBigBang:
            EmitBigBang(run);
            break;
        case kStyleRings:
            EmitRings(run);
            break;
        case kStyleRibbon:
            EmitRibbon(run);
            break;
        case kStyleLissajous:
            EmitLissajous(run);
            break;
        case kStyleLinesHorizontal:
            EmitLines(run);
            break;
        case kStyleLinesVertical:
            EmitBars(run);
            break;
        case kStyleRadialNozzles:
            EmitSprayer(run);
            break;
        case kStyleBall:
            EmitBall(run);
            break;
        case kStyleSidewaysSpray:
            EmitSidewaysSpray(run);
            break;
        case kStyleWhiteHole:
            EmitWhiteHole(run);
            break;
        case kStyleFleuret:
            EmitFleuret(run);
            break;
        case kStyleEventHorizon:
            EmitEventHorizon(run);
            break;
        case kStyleFountain:
            EmitFountain(run);
            break;
        case kStyleSpinningSprayer:
            EmitSprayer(run);
            break;
        case kStyleRegenerating:
            EmitRegenerating(run);
            break;
        case kStyleFloaters:
            EmitFloaters(run);
            break;
        case kStyleRadarSweep:
            EmitRadarSweep(run);
            break;
        case kStyleFromTheEther:
            EmitFromTheEther(run);
            break;
        case kStyleRising:
            EmitRising(run);
            break;
        case kStyleFalls:
            EmitFalls(run);
            break;
        case kStyleCircle:
            EmitCircle(run);
            break;
        case kStyleDraw:
            EmitDraw(run);
            break;
        case kStylePolygon:
            EmitPolygon(run);
            break;
        case kStyleCurves:
            EmitCurves(run);
            break;
        case kStyleTwirls:
            EmitTwirls(run);
            break;
        default:
            return false;  // the field styles keep their dots for ever
    }
    return true;
}

// ---- Shared helpers --------------------------------------------------------------------

void CDrawWnd::PlaceDot(int slot, double x, double y, double vx, double vy) {
    m_dots.m_pX[slot] = static_cast<float>(x);
    m_dots.m_pY[slot] = static_cast<float>(y);
    m_dots.m_pVX[slot] = static_cast<float>(vx);
    m_dots.m_pVY[slot] = static_cast<float>(vy);
}

// The dot scale divides several launch terms; before a dot count is set it is not yet a
// positive number, and then the unreduced scale is the sound stand-in.
double CDrawWnd::EmitDotScale() const {
    const double s = m_dots.m_fDotScale;
    return std::isfinite(s) && s > 0.0 ? s : 1.0;
}

double CDrawWnd::GoldenAngle() {
    const double u1 = RandomUniform();
    const double u2 = RandomUniform();
    return kTwoPi * (kGoldenMajor * (u1 - 0.5) + kGoldenMinor * (u2 - 0.5));
}

// A value that drift or the audio drive left for a parameter is taken once: the live copy
// goes back to "none", so the same value is never blended in twice.
bool CDrawWnd::TakeLiveStyleParam(int index, float* live) {
    const float value = m_style.m_fStyleParamLive[index];
    if (value <= kUnsetLiveParam + 1.0f) return false;
    m_style.m_fStyleParamLive[index] = kUnsetLiveParam;
    if (!std::isfinite(value)) return false;
    *live = value;
    return true;
}

// The mobility that makes a dot's damping match the viscosity e * D instead of D. At D = 1
// the damping is zero and no multiplier can change it, and e * D below 1 would ask for a
// negative damping that flips and grows the velocity every frame: both keep the dot's
// damping as it is (mobility 1) or stop at zero damping (mobility 0).
float CDrawWnd::BurstMobility(double e) const {
    const double d = m_motion.m_dViscosity;
    if (!(d - 1.0 > 1e-6) || !std::isfinite(e)) return 1.0f;
    return static_cast<float>(std::max(0.0, (d - 1.0 / e) / (d - 1.0)));
}

// Burst speed base of "Regenerating" and "Twirls": "Energy" maps onto a square law so that
// the low end of the slider stays fine-grained.
double CDrawWnd::BurstSpeedBase(double energy) {
    const double e = std::abs(energy) / 400.0;
    return (e * e * 400.0 + 0.5) / 10.0;
}

// ---- Simple styles ---------------------------------------------------------------------

// "The Big Bang": every dot leaves a point-sized core at the centre.
void CDrawWnd::EmitBigBang(const EmitRun& run) {
    const double power = m_style.m_fStyleParam[1] * 0.8 * EmitDotScale();
    for (int32_t j = 0; j < run.count; ++j) {
        const double theta = kTwoPi * RandomUniform();
        const double speed = power * (RandomUniform() - 0.5);
        const double psi = kTwoPi * RandomFraction();
        PlaceDot(run.Slot(j), m_nWidth * 0.5 + 2.0 * std::sin(theta),
                 m_nHeight * 0.5 + 2.0 * std::cos(theta), speed * std::sin(psi),
                 speed * std::cos(psi));
    }
}

// "Rings": each dot picks one of the rings, whose speeds are evenly stepped; the group's
// directions go evenly round, so a group reads as a circle.
void CDrawWnd::EmitRings(const EmitRun& run) {
    const int rings = std::max(1, static_cast<int>(m_style.m_fStyleParam[2]));
    const double power = (m_style.m_fStyleParam[1] * 5.0 / 100.0 + 0.5) * EmitDotScale();
    for (int32_t j = 0; j < run.count; ++j) {
        const int ring = m_rng.Rand() % rings;
        const double diffusion = (2.0 * RandomFraction() - 1.0) * m_style.m_fEmitSpeed;
        const double speed = ((ring + 1) * 4.5 / (rings + 1) + diffusion) * power;
        const double angle = kTwoPi * j / run.count;
        PlaceDot(run.Slot(j), m_nWidth * 0.5, m_nHeight * 0.5, speed * std::sin(angle),
                 speed * std::cos(angle));
    }
}

// "Ribbon": a band across the whole width, launched with a small drift along it.
void CDrawWnd::EmitRibbon(const EmitRun& run) {
    const double width = m_style.m_fStyleParam[1] * 0.005;
    const double e = m_style.m_fStyleParam[2] * 0.002;
    for (int32_t j = 0; j < run.count; ++j) {
        const double x = RandomUniform() * m_nWidth;
        const double y = m_nHeight * 0.5 + (RandomUniform() - 0.5) * width * m_nHeight;
        const double u1 = RandomUniform();
        const double u2 = RandomUniform();
        const double u3 = RandomUniform();
        const double u4 = RandomUniform();
        const double vx = (u2 - 0.5) * kSeedMajor * e + (u1 - 0.5) * kSeedMinor * e;
        const double vy = (u4 - 0.5) * kSeedMajor * e + (u3 - 0.5) * width * kSeedMinor * e;
        PlaceDot(run.Slot(j), x, y, vx, vy);
    }
}

// "Ball": a disc of the chosen radius; "Concentration" above 0 crowds the dots to the middle,
// below 0 out to the rim. The dots are born almost at rest.
void CDrawWnd::EmitBall(const EmitRun& run) {
    const double radius = m_style.m_fStyleParam[1] / 1000.0 * m_nHeight * 0.5;
    const double shape = 0.5 * std::exp(0.045 * m_style.m_fStyleParam[3]);
    for (int32_t j = 0; j < run.count; ++j) {
        const double rho = std::pow(RandomUniform(), shape) * radius;
        const double theta = kTwoPi * RandomUniform();
        const double speed = 0.01 * (RandomUniform() - 0.5);
        const double psi = kTwoPi * RandomUniform();
        PlaceDot(run.Slot(j), m_nWidth * 0.5 + rho * std::cos(theta),
                 m_nHeight * 0.5 + rho * std::sin(theta), speed * std::sin(psi),
                 speed * std::cos(psi));
    }
}

// "Sideways Spray": jets from the left and the right edge only, never from the top or bottom.
void CDrawWnd::EmitSidewaysSpray(const EmitRun& run) {
    constexpr double kBase = 4.1;
    for (int32_t j = 0; j < run.count; ++j) {
        const bool fromLeft = static_cast<int>(2.0f * RandomFraction()) == 0;
        const double y = RandomFraction() * m_nHeight;
        const double push = kBase + RandomFraction() * kBase / 2.0;
        const double vy = m_rng.RandomSigned(0.5f) * kBase / 20.0;
        PlaceDot(run.Slot(j), fromLeft ? 0.0 : m_nWidth, y, fromLeft ? push : -push, vy);
    }
}

// "White Hole": out of a small core at the centre in all directions.
void CDrawWnd::EmitWhiteHole(const EmitRun& run) {
    const double energy = m_style.m_fStyleParam[2] * 0.1 * EmitDotScale();
    for (int32_t j = 0; j < run.count; ++j) {
        const double r = 4.0 * (RandomUniform() - 0.5);
        const double theta = kTwoPi * RandomFraction();
        const double speed = m_rng.RandomSigned(0.5f) * energy;
        const double psi = GoldenAngle();
        PlaceDot(run.Slot(j), m_nWidth * 0.5 + r * std::sin(theta),
                 m_nHeight * 0.5 + r * std::cos(theta), speed * std::sin(psi),
                 speed * std::cos(psi));
    }
}

// "Event Horizon": along the horizontal middle line, directions biased by the pattern seed.
void CDrawWnd::EmitEventHorizon(const EmitRun& run) {
    const double span = WrapActive() ? m_nWidth : 0.95 * m_nWidth;
    const double energy = m_style.m_fStyleParam[1] * kEventHorizonSpeed * EmitDotScale();
    for (int32_t j = 0; j < run.count; ++j) {
        const double x = m_nWidth * 0.5 + m_rng.RandomSigned(0.5f) * span;
        const double speed = m_rng.RandomSigned(0.5f) * energy;
        const double u1 = RandomUniform();
        const double u2 = RandomUniform();
        const double phi =
            kTwoPi * (kSeedMinor * (u1 - 0.5) + kSeedMajor * (u2 - 0.5 + m_motion.m_dPatternSeed));
        PlaceDot(run.Slot(j), x, m_nHeight * 0.5, speed * std::cos(phi), speed * std::sin(phi));
    }
}

// "Radar Sweep": dots laid at rest along a turning beam from the centre.
void CDrawWnd::EmitRadarSweep(const EmitRun& run) {
    const double rate = m_style.m_fStyleParam[2] / 800.0;
    const double step = 0.5 * run.framesPerDot * rate * rate;
    const double squash = static_cast<double>(m_nHeight) / m_nWidth;
    for (int32_t j = 0; j < run.count; ++j) {
        m_motion.m_dPatternAngle += step;
        const double distance = RandomFraction() * m_nWidth * 0.5;
        const double angle = m_motion.m_dPatternAngle + m_rng.RandomSigned(0.005f);
        PlaceDot(run.Slot(j), m_nWidth * 0.5 + std::cos(angle) * distance,
                 m_nHeight * 0.5 + std::sin(angle) * distance * squash, 0.0, 0.0);
    }
    // Only the angle's direction matters; keeping it small keeps its sine exact in long runs.
    m_motion.m_dPatternAngle = std::fmod(m_motion.m_dPatternAngle, kTwoPi);
}

// "From the Ether": anywhere on the canvas.
void CDrawWnd::EmitFromTheEther(const EmitRun& run) {
    const double energy = m_style.m_fStyleParam[3] / 10.0 * EmitDotScale();
    for (int32_t j = 0; j < run.count; ++j) {
        const double x = RandomUniform() * m_nWidth;
        const double y = RandomUniform() * m_nHeight;
        const double speed = m_rng.RandomSigned(0.5f) * energy;
        const double psi = GoldenAngle();
        PlaceDot(run.Slot(j), x, y, speed * std::sin(psi), speed * std::cos(psi));
    }
}

// "Rising": from the bottom edge with a small vertical push either way; gravity does the rest.
void CDrawWnd::EmitRising(const EmitRun& run) {
    for (int32_t j = 0; j < run.count; ++j) {
        const double x = RandomUniform() * m_nWidth;
        const double vy = 2.0 * RandomFraction() - 1.0;
        PlaceDot(run.Slot(j), x, m_nHeight, 0.0, vy);
    }
}

// "Falls": a curtain from the top edge (or the bottom one when gravity pulls upward), already
// moving with the pull.
void CDrawWnd::EmitFalls(const EmitRun& run) {
    m_style.m_fGravity = m_style.m_fStyleParam[2] / 3000.0f;
    const double width = m_style.m_fStyleParam[3] / 1000.0 * m_nWidth;
    for (int32_t j = 0; j < run.count; ++j) {
        const double x = m_nWidth * 0.5 + m_rng.RandomSigned(0.5f) * width;
        const double drop = RandomFraction();
        const double y = m_style.m_fGravity >= 0.0f ? 1.0 + drop : m_nHeight - 1.0 - drop;
        const double vy = (m_rng.RandomSigned(0.5f) + 25.0) * m_style.m_fGravity;
        PlaceDot(run.Slot(j), x, y, 0.0, vy);
    }
}

}  // namespace quovis
