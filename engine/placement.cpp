// Where the dots are and how they move when a pattern starts.
//
// A start first resets what every style shares (the pattern's angle and hue offset, the
// emission counters and phases, the new-dot colour, full mobility), then places each dot as
// its style wants: a burst from the centre, a field over the canvas, lines, a ball, a ribbon.
// Styles whose dots come by emission start with their dots parked (x = y = -100000), out of
// sight until the emission stage launches them.
//
// Names below: p1..p5 are the style's parameters 2..6 (m_style.m_fStyleParam[1..5]); W, H the
// canvas size; S the dot scale; u a fresh uniform draw.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// "Fleuret" and "Floaters" run their phase through a long cycle; a start picks a point on it.
constexpr double kLongPhaseCycle = 6283185.307179586;
constexpr double kEventHorizonSpeed = 0.04958437184843291;
constexpr double kFountainSpeed = 2.2347;
constexpr double kGravityUnit = 3000.0;
// A ball or line spread a little short of the edges, so the first frame shows all of it.
constexpr double kLineWidthShare = 0.97843;
constexpr double kBarHeightShare = 0.842135;
constexpr double kBandWidthShare = 0.95;
// "Globular" redraws a dot that falls outside the canvas; past this many tries (a canvas too
// small for any draw to land inside) the dot starts at the centre instead of looping on.
constexpr int kGlobularTries = 64;

// How a style left the velocities.
enum class Launch { kDone, kDefault };

// What the per-style placement reads and writes: the dot arrays and the pattern's values,
// copied once so that the loops below read plain locals.
struct DotPlacer {
    EngineRandom& rng;
    float* x;
    float* y;
    float* vx;
    float* vy;
    float* r;
    float* g;
    float* b;
    int count;
    double W;
    double H;
    double S;
    double seed;
    const float* p;
    bool wrap;
    double emitSpeed;

    double U() { return rng.RandomUniform(); }
    double CentreX() const { return W / 2.0; }
    double CentreY() const { return H / 2.0; }
    void Put(int i, double px, double py) {
        x[i] = static_cast<float>(px);
        y[i] = static_cast<float>(py);
    }
    void Velocity(int i, double vxi, double vyi) {
        vx[i] = static_cast<float>(vxi);
        vy[i] = static_cast<float>(vyi);
    }
    // Two velocity conventions: most bursts use (sin, cos), the field and spray styles
    // (cos, sin). Both are kept as designed; they differ in where angle 0 points.
    void LaunchSinCos(int i, double angle, double speed) {
        Velocity(i, std::sin(angle) * speed, std::cos(angle) * speed);
    }
    void LaunchCosSin(int i, double angle, double speed) {
        Velocity(i, std::cos(angle) * speed, std::sin(angle) * speed);
    }
    void Black(int i) { r[i] = g[i] = b[i] = 0.0f; }
    void Park(int i) { x[i] = y[i] = kParked; }
    void ParkAll() {
        for (int i = 0; i < count; ++i) Park(i);
    }
    void ParkBlackAtRest() {
        for (int i = 0; i < count; ++i) {
            Black(i);
            Velocity(i, 0.0, 0.0);
            Park(i);
        }
    }
};

int32_t TruncToInt(double v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::clamp(v, -1.0e9, 1.0e9));
}

// "Perfect" and similar choices: the parameter taken to the nearest integer, within lo..hi.
int32_t Choice(double v, int32_t lo, int32_t hi) {
    return std::clamp(TruncToInt(std::floor(v + 0.5)), lo, hi);
}

// The Big Bang: every dot within two pixels of the centre, flying out on golden-mix
// directions at speeds up to half the explode power.
Launch PlaceBigBang(DotPlacer& d, bool parked) {
    for (int i = 0; i < d.count; ++i) {
        const double theta = kTwoPi * d.U();
        const double radius = 4.0 * (d.U() - 0.5);
        d.Put(i, d.CentreX() + radius * std::sin(theta), d.CentreY() + radius * std::cos(theta));
        const double speed = (d.U() - 0.5) * d.p[1] * 0.8 * d.S;
        d.LaunchSinCos(i, GoldenLaunchAngle(d.rng, d.seed), speed);
    }
    if (parked) d.ParkAll();
    return Launch::kDone;
}

// "Full Field", "Overcast": a uniform field barely moving.
Launch PlaceField(DotPlacer& d, double speedScale) {
    for (int i = 0; i < d.count; ++i) {
        d.Put(i, d.U() * d.W, d.U() * d.H);
        const double speed = (d.U() - 0.5) * speedScale;
        d.LaunchCosSin(i, LaunchAngle(d.rng, d.seed), speed);
    }
    return Launch::kDone;
}

// "Globular": a cloud about the centre whose density falls off with the concentration.
Launch PlaceGlobular(DotPlacer& d) {
    const double e = 0.04 * d.p[1];
    const double reach = 0.51 * d.W / 2.0;
    for (int i = 0; i < d.count; ++i) {
        double radius = 0.0;
        double px = d.CentreX();
        double py = d.CentreY();
        for (int attempt = 0; attempt < kGlobularTries; ++attempt) {
            const double theta = d.rng.PinkNoise(4) * 16.0 * std::numbers::pi;
            // (500u)^e / 380^e, as one power so that a high concentration cannot overflow.
            const double rr = std::pow(500.0 * d.U() / 380.0, e) * reach;
            const double cx = d.CentreX() + rr * std::sin(theta);
            const double cy = d.CentreY() + rr * std::cos(theta);
            if (cx > 0.0 && cx < d.W && cy > 0.0 && cy < d.H) {
                radius = rr;
                px = cx;
                py = cy;
                break;
            }
        }
        d.Put(i, px, py);
        const double speed = (2.0 * d.rng.PinkNoise(6) - 1.0) * 80.0 / (radius + 10.0);
        d.LaunchSinCos(i, LaunchAngle(d.rng, d.seed), speed);
    }
    return Launch::kDone;
}

// "Rings": from the centre, each share of the dots one ring speed faster than the last.
Launch PlaceRings(DotPlacer& d, bool parked) {
    const int32_t rings = std::max<int32_t>(1, TruncToInt(d.p[2]));
    const double power = d.p[1] * 5.0 / 100.0 + 0.5;
    for (int i = 0; i < d.count; ++i) {
        d.Put(i, d.CentreX(), d.CentreY());
        const int64_t ring = static_cast<int64_t>(i) * rings / d.count;
        const double base = (ring + 1) * 4.5 / (rings + 1);
        const double speed =
            (base + (2.0 * d.rng.PinkNoise(6) - 1.0) * d.p[3] * 0.01) * power * d.S;
        d.LaunchSinCos(i, kTwoPi * d.U(), speed);
    }
    if (parked) d.ParkAll();
    return Launch::kDone;
}

// "Ribbon": a horizontal band across the canvas, wider with "Width", restless with
// "Diffusion".
Launch PlaceRibbon(DotPlacer& d, bool parked) {
    const double q = d.p[1] * 0.005;
    const double e = d.p[2] * 0.002;
    constexpr double kNarrow = 0.3141592653589793;
    constexpr double kWide = 0.6858407346410207;
    for (int i = 0; i < d.count; ++i) {
        d.Put(i, d.U() * d.W, d.CentreY() + (d.U() - 0.5) * q * d.H);
        const double u1 = d.U();
        const double u2 = d.U();
        const double u3 = d.U();
        const double u4 = d.U();
        d.Velocity(i, (u2 - 0.5) * kWide * e + (u1 - 0.5) * kNarrow * e,
                   (u4 - 0.5) * kWide * e + (u3 - 0.5) * q * kNarrow * e);
    }
    if (parked) d.ParkAll();
    return Launch::kDone;
}

// "Floaters": a few floaters stand still at start (the first at the centre); every other dot
// waits for emission.
Launch PlaceFloaters(DotPlacer& d) {
    const int32_t floaters = std::clamp(TruncToInt(d.p[1]), 0, d.count);
    for (int i = 0; i < d.count; ++i) {
        d.Velocity(i, 0.0, 0.0);
        if (i == 0 && floaters > 0) {
            d.Put(i, d.CentreX(), d.CentreY());
        } else if (i < floaters) {
            d.Put(i, d.W * (0.1 + 0.8 * d.U()), d.H * (0.1 + 0.8 * d.U()));
        } else {
            d.Park(i);
        }
    }
    return Launch::kDone;
}

Launch ParkAtRest(DotPlacer& d) {
    for (int i = 0; i < d.count; ++i) {
        d.Velocity(i, 0.0, 0.0);
        d.Park(i);
    }
    return Launch::kDone;
}

// "Lines (Horizontal)": n evenly spaced lines (one line sits at mid-height).
Launch PlaceLines(DotPlacer& d) {
    const int64_t n = std::max<int32_t>(1, TruncToInt(d.p[1]));
    const int64_t H = static_cast<int64_t>(d.H);
    const int64_t h = H * n / (n + 1);
    const double a = (d.wrap ? 1.0 : kLineWidthShare) * d.W;
    const int32_t perfect = Choice(d.p[4], 0, 2);
    for (int i = 0; i < d.count; ++i) {
        const int64_t line = i % n;
        const int64_t yi = n == 1 ? H / 2 : H / 2 - h / 2 + line * h / (n - 1);
        double t;  // position along the line, -0.5 .. 0.5
        switch (perfect) {
            case 0:
                t = d.rng.PinkNoise(4) - 0.5;
                break;
            case 1:
                // Uniform along the line, centred like the other two choices.
                t = d.U() - 0.5;
                break;
            default:
                t = static_cast<double>(i) / d.count - 0.5;
                break;
        }
        d.Put(i, d.CentreX() + t * a, static_cast<double>(yi));
    }
    return Launch::kDefault;
}

// "Lines (Vertical)": n bars, each centred in its n-th of the width.
Launch PlaceBars(DotPlacer& d) {
    const int32_t n = std::max<int32_t>(1, TruncToInt(d.p[1]));
    for (int i = 0; i < d.count; ++i) {
        const double px = (i % n) * d.W / n + d.W / (2.0 * n);
        d.Put(i, px, d.CentreY() + (d.U() - 0.5) * kBarHeightShare * d.H);
    }
    return Launch::kDefault;
}

// "Ball": a disc about the centre whose radius is "Radius" thousandths of half the height.
Launch PlaceBall(DotPlacer& d, bool parked) {
    if (parked) return Launch::kDefault;
    const double reach = (d.p[1] / 1000.0) * d.H / 2.0;
    for (int i = 0; i < d.count; ++i) {
        const double radius = (d.rng.RandomSigned(0.5f) + 0.5) * reach;
        const double theta = kTwoPi * d.U();
        d.Put(i, d.CentreX() + radius * std::cos(theta), d.CentreY() + radius * std::sin(theta));
        const double psi = kTwoPi * d.U();
        d.LaunchSinCos(i, psi, d.U() - 0.5);
    }
    return Launch::kDone;
}

// "Event Horizon": a line across the middle, or everything parked when it flows.
Launch PlaceEventHorizon(DotPlacer& d, bool parked) {
    if (parked) {
        d.ParkBlackAtRest();
        return Launch::kDone;
    }
    const double width = (d.wrap ? 1.0 : kBandWidthShare) * d.W;
    for (int i = 0; i < d.count; ++i) {
        d.Put(i, d.CentreX() + (d.U() - 0.5) * width, d.CentreY());
        const double speed = (d.U() - 0.5) * d.p[1] * kEventHorizonSpeed * d.S;
        d.LaunchCosSin(i, LaunchAngle(d.rng, d.seed), speed);
    }
    return Launch::kDone;
}

// "Aurora": a line near the bottom from which the curtains rise.
Launch PlaceAurora(DotPlacer& d) {
    for (int i = 0; i < d.count; ++i) {
        d.Put(i, d.CentreX() + (d.U() - 0.5) * kBandWidthShare * d.W, 9.0 * d.H / 10.0);
        const double speed = (d.U() - 0.5) * kEventHorizonSpeed * 287.0;
        d.LaunchCosSin(i, LaunchAngle(d.rng, d.seed), speed);
    }
    return Launch::kDone;
}

// The spray and shape styles: parked and black, each with a launch ready; "From the Ether"
// instead fills the canvas with black dots that show only once they move; "White Hole" gets
// its own explosion from the centre.
Launch PlaceSprays(DotPlacer& d, int style) {
    const bool ether = style == kStyleFromTheEther;
    for (int i = 0; i < d.count; ++i) {
        if (ether) d.Put(i, d.U() * d.W, d.U() * d.H);
        const double speed = (d.U() - 0.5) * d.emitSpeed * d.S;
        d.LaunchCosSin(i, LaunchAngle(d.rng, d.seed), speed);
        if (style == kStyleWhiteHole) {
            const double theta = kTwoPi * d.U();
            const double radius = 4.0 * (d.U() - 0.5);
            d.Put(i, d.CentreX() + radius * std::sin(theta),
                  d.CentreY() + radius * std::cos(theta));
            const double burst = (d.U() - 0.5) * d.p[2] * 0.1 * d.S;
            d.LaunchSinCos(i, GoldenLaunchAngle(d.rng, 0.0), burst);
        }
        d.Black(i);
        if (!ether) d.Park(i);
    }
    return Launch::kDone;
}

// "Regenerating": the dots start as bursts of one group each, all from the centre or each
// from a random point, every burst drifting as a whole.
Launch PlaceRegenerating(DotPlacer& d, int32_t group) {
    const int32_t flags = Choice(d.p[5], 0, 31);
    const bool randomOrigin = (flags & 8) != 0;
    const bool sameDrift = (flags & 1) != 0;
    const bool evenDirections = (flags & 2) != 0 || d.p[3] < 0.0f;
    const bool randomSpread = d.p[3] >= 0.0f;
    const double energy = std::fabs(d.p[3]) / 400.0;
    const double base = energy * energy * 400.0 + 0.5;
    const double spread = base / 10.0 * d.S;
    const double drift = std::pow(base / 400.0, 0.6) * 15.5347;
    for (int first = 0; first < d.count; first += group) {
        const int k = std::min(group, d.count - first);
        double ox = d.CentreX();
        double oy = d.CentreY();
        if (randomOrigin) {
            ox = d.U() * d.W;
            oy = d.U() * d.H;
        }
        const double driftSpeed = (sameDrift ? 0.3 : d.U()) * drift;
        const double driftAngle = LaunchAngle(d.rng, d.seed);
        const double dvx = std::sin(driftAngle) * driftSpeed;
        const double dvy = std::cos(driftAngle) * driftSpeed;
        const double offset = kTwoPi * d.U();
        for (int j = 0; j < k; ++j) {
            const int i = first + j;
            d.Put(i, ox, oy);
            const double angle =
                evenDirections ? kTwoPi * j / k + offset : LaunchAngle(d.rng, d.seed);
            const double speed = spread * (randomSpread ? d.U() : 1.0);
            d.Velocity(i, std::sin(angle) * speed + dvx, std::cos(angle) * speed + dvy);
        }
    }
    return Launch::kDone;
}

// The launch speed of "Twirls", from its "Energy": quadratic in the energy, then eased.
double TwirlSpeed(double energy) {
    const double e = std::fabs(energy) / 400.0;
    return std::pow((e * e * 400.0 + 0.5) / 400.0, 0.6) * 15.5347;
}

}  // namespace

int32_t CDrawWnd::PlacementCount() const {
    // Styles that grow m_dots.m_nDots towards m_dots.m_nMaxDots bring in dots that must already
    // have a place, so the start covers both.
    return std::clamp(std::max(m_dots.m_nDots, m_dots.m_nMaxDots), 0, kMaxDots);
}

// What every style shares at a start.
void CDrawWnd::ResetPatternStart(int count) {
    m_motion.m_dPatternAngle = kTwoPi * m_rng.RandomUniform();
    m_motion.m_dPatternSin = std::sin(m_motion.m_dPatternAngle);
    m_motion.m_dPatternCos = std::cos(m_motion.m_dPatternAngle);
    m_motion.m_fHueOffset = static_cast<float>((2.0 * m_rng.RandomUniform() - 1.0) * 720.0);
    BuildHueTable(m_motion.m_fHueOffset, 0);

    m_style.m_nEmitCounter = 0;
    m_style.m_nEmitCursor = 0;
    m_style.m_dEmitPhase = 0.0;
    m_style.m_dEmitPhase2 = 0.0;
    if (m_style.m_nStyle == kStyleLissajous) {
        // Anywhere on the figure's full period, so two starts draw different parts first.
        const double period =
            kTwoPi * std::fabs(m_style.m_fStyleParam[1] * kTwoPi * m_style.m_fStyleParam[2]);
        m_style.m_dEmitPhase = m_rng.RandomUniform() * period;
    } else if (m_style.m_nStyle == kStyleFleuret || m_style.m_nStyle == kStyleFloaters) {
        m_style.m_dEmitPhase = m_rng.RandomUniform() * kLongPhaseCycle;
    }
    m_motion.m_fDampX = m_motion.m_fDampY;

    SetNewDotColour();
    // Every dot starts as a new dot drawn with "Point Magnitude", trails or not.
    double bright = std::clamp(255.0 * m_colour.m_dPointMagnitude, 0.0, 255.0);
    if (!(bright >= 0.0)) bright = 255.0;
    for (int i = 0; i < count; ++i) {
        const float c = NewDotGrey(static_cast<float>(bright));
        m_dots.m_pDotR[i] = c;
        m_dots.m_pDotG[i] = c;
        m_dots.m_pDotB[i] = c;
        m_dots.m_pMobility[i] = 1.0f;
        m_dots.m_pSpare1[i] = 0.0f;
        m_dots.m_pSpare2[i] = 0.0f;
    }
}

void CDrawWnd::PlaceStyleDots(double seed, int count) {
    DotPlacer d{m_rng,
                m_dots.m_pX,
                m_dots.m_pY,
                m_dots.m_pVX,
                m_dots.m_pVY,
                m_dots.m_pDotR,
                m_dots.m_pDotG,
                m_dots.m_pDotB,
                count,
                static_cast<double>(m_nWidth),
                static_cast<double>(m_nHeight),
                m_dots.m_fDotScale,
                seed,
                m_style.m_fStyleParam,
                m_motion.m_nWrapActive != 0,
                m_style.m_fEmitSpeed};
    const bool parked = m_style.m_bStartParked != 0;
    const float* p = m_style.m_fStyleParam;
    Launch launch = Launch::kDone;

    switch (m_style.m_nStyle) {
        case kStyleBigBang:
            launch = PlaceBigBang(d, parked);
            break;
        case kStyleFullField:
        case kStyleOvercast:
            launch = PlaceField(d, 0.01);
            break;
        case kStyleGlobular:
            launch = PlaceGlobular(d);
            break;
        case kStyleRings:
            launch = PlaceRings(d, parked);
            break;
        case kStyleRibbon:
            launch = PlaceRibbon(d, parked);
            m_style.m_nGroupSize = GroupFromShare(1.0, 100.0);
            break;
        case kStyleLissajous:
        case kStyleFleuret:
            launch = ParkAtRest(d);
            break;
        case kStyleFloaters:
            launch = PlaceFloaters(d);
            break;
        case kStyleLinesHorizontal:
            launch = PlaceLines(d);
            break;
        case kStyleLinesVertical:
            launch = PlaceBars(d);
            break;
        case kStyleBall:
            launch = PlaceBall(d, parked);
            break;
        case kStyleEventHorizon:
            launch = PlaceEventHorizon(d, parked);
            break;
        case kStyleAurora:
            launch = PlaceAurora(d);
            m_style.m_fGravity = static_cast<float>(p[1] / kGravityUnit);
            m_style.m_fForceScaleX = static_cast<float>(p[2] / 1000.0);
            m_style.m_nFallDir = 1;
            break;
        case kStyleFountain:
            d.ParkBlackAtRest();
            m_style.m_fEmitSpeed = static_cast<float>(kFountainSpeed);
            break;
        case kStylePhasing:
            launch = PlaceField(d, 0.7347);
            m_style.m_nFallDir = std::clamp(TruncToInt(p[2]), 0, 1) + 1;
            break;
        case kStyleRegenerating:
            m_style.m_nGroupSize = std::max<int32_t>(1, TruncToInt(p[1]));
            m_style.m_fGravity = static_cast<float>(p[2] / kGravityUnit);
            launch = PlaceRegenerating(d, m_style.m_nGroupSize);
            break;
        case kStyleTwirls:
            d.ParkBlackAtRest();
            m_style.m_nGroupSize = std::max<int32_t>(1, TruncToInt(p[1]));
            m_style.m_fGravity = static_cast<float>(p[2] / kGravityUnit);
            m_style.m_fEmitSpeed = static_cast<float>(TwirlSpeed(p[3]));
            break;
        default:  // the sprays and shapes: 8, 10, 11, 18, 21 to 28
            launch = PlaceSprays(d, m_style.m_nStyle);
            break;
    }

    if (launch == Launch::kDefault) {
        // A gentle random push in any direction, turned a little by the pattern's seed.
        for (int i = 0; i < count; ++i) {
            const double speed = (m_rng.RandomUniform() - 0.5) * m_style.m_fEmitSpeed;
            const double psi = kTwoPi * (m_rng.RandomUniform() - 0.5) + seed;
            d.LaunchSinCos(i, psi, speed);
        }
    }
    // The line and bar styles and a parked "Ball" place their dots and then park them when
    // they flow, so the emission stage brings them in; the others parked theirs above.
    const bool parksAfter = m_style.m_nStyle == kStyleLinesHorizontal ||
                            m_style.m_nStyle == kStyleLinesVertical ||
                            m_style.m_nStyle == kStyleBall;
    if (parked && parksAfter) d.ParkAll();
}

bool CDrawWnd::InitialPlacement(double seed) {
    if (!m_dots.m_pX || m_style.m_nStyle < 0 || m_style.m_nStyle >= kStyleCount) return false;
    if (seed == 0.0) seed = m_rng.RandomUniform() - 0.5;
    const int count = PlacementCount();
    ResetPatternStart(count);
    PlaceStyleDots(seed, count);
    return true;
}

}  // namespace quovis
