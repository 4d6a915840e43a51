// The emitters of the sprays and jets: "Lissajous", the two "Lines" styles, "Radial
// Nozzles" and "Spinning Sprayer", "Fleuret (Spirals)", "Fountain", "Regenerating" and
// "Floaters". Notation as in emitters.cpp.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The launch direction of "Lissajous" and "Fleuret" turns by this much per dot (at full dot
// count), which winds the launched dots into a slow spiral.
constexpr double kLaunchTurn = 0.12744797783325734;
constexpr double kFleuretWrap = 6283185.307179586;
constexpr float kUpward = -1.5707963705062866f;  // straight up on the canvas (y grows down)

double LinearStep(double from, double to, int32_t j, int32_t count) {
    return from + (to - from) * j / count;
}

}  // namespace

// ---- "Lissajous" -----------------------------------------------------------------------

// Dots are born along a Lissajous figure whose two frequencies are "Horizontal" and
// "Vertical"; the launch direction turns slowly (or is random for a negative "Energy").
void CDrawWnd::EmitLissajous(const EmitRun& run) {
    const double s = EmitDotScale();
    const double p1 = m_style.m_fStyleParam[1];
    const double p2 = m_style.m_fStyleParam[2];
    const double p3 = m_style.m_fStyleParam[3];
    const double period = std::abs(p1 * 6.2831855 * p2) * kTwoPi;
    const double k =
        (run.dots / 40000.0) * (m_style.m_fStyleParam[5] / 160.0) * (200.0 / (run.count + 1));
    const double step = 0.25 / run.dots * k;
    const double q = std::abs(p3) * 0.003 * s;
    if (m_style.m_dEmitPhase > period) m_style.m_dEmitPhase -= period;
    if (m_style.m_dEmitPhase2 > kTwoPi) m_style.m_dEmitPhase2 -= kTwoPi;
    const double alphaOffset = p1 < 0 ? std::numbers::pi / 2 : 0.0;
    const double betaOffset = p2 < 0 ? std::numbers::pi / 2 : 0.0;
    for (int32_t j = 0; j < run.count; ++j) {
        m_style.m_dEmitPhase += step;
        const double alpha = m_style.m_dEmitPhase * kTwoPi * p1 / 10.0 + alphaOffset;
        const double beta = m_style.m_dEmitPhase * kTwoPi * p2 / 10.0 + betaOffset;
        const double x = std::sin(alpha) * m_nWidth * 0.45 + m_nWidth * 0.5;
        const double y = std::cos(beta) * m_nHeight * 0.45 + m_nHeight * 0.5;
        double speed = q;
        if (p3 >= 0) {
            m_style.m_dEmitPhase2 += kLaunchTurn / s;
        } else {
            speed = RandomFraction() * q;
            m_style.m_dEmitPhase2 = kTwoPi * RandomFraction();
        }
        PlaceDot(run.Slot(j), x, y, std::cos(m_style.m_dEmitPhase2) * speed,
                 std::sin(m_style.m_dEmitPhase2) * speed);
    }
}

// ---- "Lines (Horizontal)" and "Lines (Vertical)" ---------------------------------------

// Each event feeds the next of "Num Lines" horizontal lines; "Perfect" chooses how the dots
// lie along it: pink-noise clusters (0), uniform (1) or evenly spaced (2).
void CDrawWnd::EmitLines(const EmitRun& run) {
    const int64_t lines = std::max(1, static_cast<int>(m_style.m_fStyleParam[1]));
    const double a = WrapActive() ? 1.0 : 0.97843;
    const int64_t h = static_cast<int64_t>(m_nHeight) * lines / (lines + 1);
    m_style.m_nLineCycle = static_cast<int32_t>((std::max(0, m_style.m_nLineCycle) + 1) % lines);
    int64_t y = m_nHeight / 2;
    if (lines > 1) y = m_nHeight / 2 - h / 2 + h * m_style.m_nLineCycle / (lines - 1);

    const long perfect = std::lround(m_style.m_fStyleParam[4]);
    const double span = a * m_nWidth;
    const double x0 = m_nWidth / 2 - span / 2;
    for (int32_t j = 0; j < run.count; ++j) {
        double along;
        if (perfect == 1) {
            // Uniform along the whole line. (Centring the draw a second time would push half
            // the line off the left edge of the canvas.)
            along = RandomUniform();
        } else if (perfect == 2) {
            along = run.count > 1 ? static_cast<double>(j) / (run.count - 1) : 0.5;
        } else {
            along = PinkNoise(4);
        }
        const double speed = (RandomUniform() - 0.5) * m_style.m_fEmitSpeed;
        const double psi = kTwoPi * RandomFraction();
        PlaceDot(run.Slot(j), along * span + x0, static_cast<double>(y), std::sin(psi) * speed,
                 std::cos(psi) * speed);
    }
}

// Each event feeds the next of "Num Bars" vertical bars; "Perfect" 0 scatters the dots over
// the bar's height, any other value spreads them evenly from top to bottom (bit value 2 over
// the full height).
void CDrawWnd::EmitBars(const EmitRun& run) {
    const int64_t bars = std::max(1, static_cast<int>(m_style.m_fStyleParam[1]));
    const int flags = static_cast<int>(m_style.m_fStyleParam[4]);
    const double a = (flags & 2) ? 1.0 : 0.842135;
    m_style.m_nBarCycle = static_cast<int32_t>((std::max(0, m_style.m_nBarCycle) + 1) % bars);
    const int64_t x =
        m_style.m_nBarCycle * static_cast<int64_t>(m_nWidth) / bars + m_nWidth / (2 * bars);
    const double y0 = m_nHeight * 0.5 - a * m_nHeight * 0.5;
    for (int32_t j = 0; j < run.count; ++j) {
        double along;
        if (flags == 0) {
            along = RandomUniform();
        } else {
            along = run.count > 1 ? static_cast<double>(j) / (run.count - 1) : 0.5;
        }
        const double speed = (RandomUniform() - 0.5) * m_style.m_fEmitSpeed;
        const double psi = kTwoPi * RandomFraction();
        PlaceDot(run.Slot(j), static_cast<double>(x), along * a * m_nHeight + y0,
                 std::sin(psi) * speed, std::cos(psi) * speed);
    }
}

// ---- "Radial Nozzles" and "Spinning Sprayer" -------------------------------------------

// Both spray from the centre with a turning angle. "Radial Nozzles" jumps from spout to spout
// with every dot while the ring of spouts turns by "Spinning Rate" (its sign is the sense);
// "Spinning Sprayer" is a single nozzle that always turns the same way.
void CDrawWnd::EmitSprayer(const EmitRun& run) {
    const bool nozzles = m_style.m_nStyle == kStyleRadialNozzles;
    const double spreadParam = m_style.m_fStyleParam[3] / 500.0;
    const double spread = spreadParam * spreadParam;
    double step;
    if (nozzles) {
        const double rate = m_style.m_fStyleParam[1] / 800.0;
        const double spouts = std::max(1.0f, m_style.m_fStyleParam[2]);
        step = (rate < 0 ? -1.0 : 1.0) * rate * rate * 0.5 * run.framesPerDot + kTwoPi / spouts;
    } else {
        const double rate = std::abs(m_style.m_fStyleParam[2]) / 800.0;
        step = rate * rate * rate * 0.5 * run.framesPerDot;
    }

    const double scale = 0.2 * EmitDotScale();
    const double gFrom = m_style.m_fStyleParam[5] * scale;
    float live;
    if (TakeLiveStyleParam(5, &live))
        m_style.m_fStyleParam[5] = 0.25f * live + 0.75f * m_style.m_fStyleParam[5];
    const double gTo = m_style.m_fStyleParam[5] * scale;

    const double cx = m_nWidth / 2;
    const double cy = m_nHeight / 2;
    for (int32_t j = 0; j < run.count; ++j) {
        m_motion.m_dPatternAngle += step;
        const double theta = (RandomUniform() - 0.5) * spread * 6.283 + m_motion.m_dPatternAngle;
        const double v = RandomFraction();
        const double r = std::pow(1.0 - v * v, m_style.m_dSprayShape);
        const double g = LinearStep(gFrom, gTo, j, run.count);
        const double vx = std::cos(theta) * r * g;
        const double vy = std::sin(theta) * r * g;
        // Spread the event's dots along the first step of their flight, so a big group does
        // not start as one blob.
        const double along = RandomFraction();
        PlaceDot(run.Slot(j), cx + vx * along, cy + vy * along, vx, vy);
    }
    m_motion.m_dPatternAngle = std::fmod(m_motion.m_dPatternAngle, kTwoPi);
}

// ---- "Fleuret (Spirals)" ---------------------------------------------------------------

// Dots are born on an epicycle: a circle riding on a circle, their turning rates set by
// "Spoke Ratio" and their sizes by "Radii Ratio" (0 lets both radii breathe).
void CDrawWnd::EmitFleuret(const EmitRun& run) {
    const double s = EmitDotScale();
    const double r = 0.45 * (m_reflect.m_nReflections >= 3 ? std::max(m_nWidth, m_nHeight)
                                                           : std::min(m_nWidth, m_nHeight));
    const double ratio = m_style.m_fStyleParam[2];
    double r1 = 0.51 * r;
    double r2 = 0.51 * r;
    if (ratio > 0) {
        r1 = r * ratio / 1000.0;
        r2 = r - r1;
    } else if (ratio < 0) {
        r2 = r * -ratio / 1000.0;
        r1 = r - r2;
    }
    const bool breathe = ratio == 0;
    const double spoke = m_style.m_fStyleParam[1];
    const double spokeDiv = std::abs(spoke) + 1080.0;

    const double qFrom = std::abs(m_style.m_fStyleParam[3]) * 0.003 * s;
    float live;
    if (TakeLiveStyleParam(3, &live)) m_style.m_fStyleParam[3] = live;
    const double qTo = std::abs(m_style.m_fStyleParam[3]) * 0.003 * s;
    const bool turning = m_style.m_fStyleParam[3] >= 0;

    const double velocity = m_style.m_fStyleParam[5] / 1000.0;
    const double step = 0.25 / run.dots *
                        ((velocity * velocity * 200.0 * 1000.0 / 160.0) * run.dots / 40000.0) /
                        (run.count + 1);
    if (m_style.m_dEmitPhase > kFleuretWrap) m_style.m_dEmitPhase -= kFleuretWrap;
    if (m_style.m_dEmitPhase2 > kTwoPi) m_style.m_dEmitPhase2 -= kTwoPi;

    const double cx = m_nWidth / 2 + 0.5;
    const double cy = m_nHeight / 2 + 0.5;
    for (int32_t j = 0; j < run.count; ++j) {
        m_style.m_dEmitPhase += step;
        const double a1 = -kTwoPi * m_style.m_dEmitPhase * 108.0 * 1080.0 / spokeDiv;
        const double a2 = kTwoPi * m_style.m_dEmitPhase * 108.0 * spoke / spokeDiv;
        double rr1 = r1;
        double rr2 = r2;
        if (breathe) {
            m_style.m_dFleuretBreath1 =
                std::fmod(m_style.m_dFleuretBreath1 + 3.0 * 59.8 * step, kTwoPi);
            m_style.m_dFleuretBreath2 =
                std::fmod(m_style.m_dFleuretBreath2 + 3.0 * 37.0 * step, kTwoPi);
            rr1 = r1 * (std::cos(m_style.m_dFleuretBreath1) + 1.0) / 2.0;
            rr2 = r2 * (std::cos(m_style.m_dFleuretBreath2) + 1.0) / 2.0;
        }
        const double x = cx + rr2 * std::cos(a2) + rr1 * std::cos(a1);
        const double y = cy + rr2 * std::sin(a2) + rr1 * std::sin(a1);
        double speed = LinearStep(qFrom, qTo, j, run.count);
        if (turning) {
            m_style.m_dEmitPhase2 += kLaunchTurn / s;
        } else {
            speed *= RandomFraction();
            m_style.m_dEmitPhase2 = kTwoPi * RandomFraction();
        }
        PlaceDot(run.Slot(j), x, y, std::cos(m_style.m_dEmitPhase2) * speed,
                 std::sin(m_style.m_dEmitPhase2) * speed);
    }
}

// ---- "Fountain" ------------------------------------------------------------------------

// Jets from the bottom centre, fanned by "Spray Spread" about straight up; gravity bends them.
void CDrawWnd::EmitFountain(const EmitRun& run) {
    const double spread = m_style.m_fStyleParam[3] / 1000.0 * std::numbers::pi;
    const double energy = m_style.m_fStyleParam[5] / 20.0 * std::sqrt(EmitDotScale());
    const double x = m_nWidth / 2;
    for (int32_t j = 0; j < run.count; ++j) {
        const double a = m_rng.RandomSigned(0.5f);
        const double side = 0.66 * std::abs(a);
        const double speed = std::pow(RandomFraction(), 0.25) * energy * (1.0 - side * side);
        const double angle = a * spread + kUpward;
        PlaceDot(run.Slot(j), x, m_nHeight, std::cos(angle) * speed, std::sin(angle) * speed);
    }
}

// ---- "Regenerating" --------------------------------------------------------------------

// Every event is one burst out of an existing dot. "Perfect" is read as bits: 1 same
// strength for every burst, 2 evenly spaced directions, 4 a parked origin is replaced,
// 8 the burst starts at a random point, 16 four rings of speed.
void CDrawWnd::EmitRegenerating(const EmitRun& run) {
    m_style.m_nGroupSize = std::max(1, static_cast<int>(m_style.m_fStyleParam[1]));
    const int flags = static_cast<int>(std::floor(m_style.m_fStyleParam[5] + 0.5f));
    const int32_t n = run.dots;

    int32_t origin = std::min(n - 1, static_cast<int32_t>(RandomFraction() * n));
    if ((flags & 4) && IsDotParked(origin)) {
        const int32_t tryAgain =
            static_cast<int32_t>(RandomFraction() * (run.count - 1) + run.first) % n;
        if (IsDotParked(tryAgain)) PlaceDot(tryAgain, m_nWidth / 2, m_nHeight / 2, 0.0, 0.0);
        origin = tryAgain;
    }
    double ox = m_dots.m_pX[origin];
    double oy = m_dots.m_pY[origin];
    double driftX = m_dots.m_pVX[origin];
    double driftY = m_dots.m_pVY[origin];
    if (flags & 8) {
        ox = RandomFraction() * m_nWidth;
        oy = RandomFraction() * m_nHeight;
        driftX = driftY = 0.0;
    } else if (!WrapActive() && std::abs(m_style.m_fGravity) > 0.006f) {
        // Strong gravity would carry a burst out of the picture at once; it starts at the
        // border the pull points away from instead.
        oy = m_style.m_fGravity < 0 ? m_nHeight * 29.0 / 30.0 : m_nHeight / 30.0;
        driftX = driftY = 0.0;
    }

    const double p3 = m_style.m_fStyleParam[3];
    const double base = BurstSpeedBase(p3) * EmitDotScale();
    const double f = (flags & 1) ? 0.25 : (0.98 * RandomFraction() + 0.02) * 0.5;
    const double offset = (flags & 2) ? 0.0 : GoldenAngle();
    const float mobility = BurstMobility(std::exp(1.5 * (2.0 * RandomFraction() - 1.0)));
    const bool even = (flags & 2) || p3 < 0;
    const double turns = (flags & 16) ? 4.0 : 1.0;
    for (int32_t j = 0; j < run.count; ++j) {
        const double angle = even ? kTwoPi * j / run.count * turns + offset : GoldenAngle();
        double speed;
        if (flags & 16) {
            // Four rings: the burst is cut into four equal shares of rising speed.
            speed = (4 * j / run.count + 1) * base * f / 4.0;
        } else if (p3 < 0) {
            speed = base * f;
        } else {
            speed = RandomFraction() * base * f;
        }
        const int32_t slot = run.Slot(j);
        PlaceDot(slot, ox, oy, std::sin(angle) * speed + driftX, std::cos(angle) * speed + driftY);
        m_dots.m_pMobility[slot] = mobility;
    }
}

// ---- "Floaters" ------------------------------------------------------------------------

// The first "Floaters" dots drift as ordinary dots and are never re-emitted; every other dot
// is born on one of them. Neighbouring floaters spray "2 pi / Floaters" apart, even and odd
// ones turn their jets in opposite senses, and the common turn steps each time every floater
// has emitted once.
void CDrawWnd::EmitFloaters(const EmitRun& run) {
    const double p1 = std::max(1.0f, m_style.m_fStyleParam[1]);
    const int32_t floaters = std::max(1, static_cast<int32_t>(std::floor(p1 + 0.5)));
    const int32_t n = run.dots;
    if (n <= floaters) return;  // every dot is a floater: nothing may be re-emitted

    auto speedOf = [this](double energy) {
        double e = std::abs(energy);
        if (e > 1000.0) e = 1000.0 * std::pow(e / 1000.0, 3.0);
        return e * 0.006 * EmitDotScale();
    };
    double q = speedOf(m_style.m_fStyleParam[3]);
    float live;
    if (TakeLiveStyleParam(3, &live))
        m_style.m_fStyleParam[3] = 0.25f * live + 0.75f * m_style.m_fStyleParam[3];
    const double qStep = (speedOf(m_style.m_fStyleParam[3]) - q) / run.count;
    const bool randomSpeed = m_style.m_fStyleParam[3] < 0;

    const double modulo = std::max(1.0f, m_style.m_fStyleParam[5]);
    const double spinStep = (40.0 / run.count) * (0.3095165175950535 / EmitDotScale()) *
                            (m_style.m_fStyleParam[2] / 8000.0) * p1 / modulo;
    if (m_style.m_dEmitPhase2 > kTwoPi) m_style.m_dEmitPhase2 -= kTwoPi;

    int32_t c = m_style.m_nFloaterCursor;
    if (c < 0 || c >= floaters) c = 0;  // left behind by a pattern with more floaters
    double sense = (c % 2 == 0) ? 1.0 : -1.0;
    double a = c * kTwoPi / p1;

    // The run's slots are mapped past the floaters, onto the ring of the other dots.
    const int64_t skip = static_cast<int64_t>(p1);
    const int64_t from = std::max<int64_t>(run.first, skip);
    const int64_t to = std::max<int64_t>(run.Last(), skip);
    const int64_t others = n - floaters;
    for (int64_t i = from; i <= to; ++i) {
        const int64_t r = (i - floaters) % others;
        const int32_t slot = static_cast<int32_t>(floaters + (r < 0 ? r + others : r));
        double f = 1.0;
        if (randomSpeed) {
            const double v = RandomFraction();
            f = 1.0 - v * v;
        }
        const double speed = q * std::pow(f, m_style.m_dSprayShape);
        const double theta = (m_style.m_dEmitPhase2 + m_style.m_dFloaterPhase) * sense + a;
        PlaceDot(slot, m_dots.m_pX[c], m_dots.m_pY[c], std::cos(theta) * speed,
                 std::sin(theta) * speed);
        ++c;
        sense = -sense;
        if (c >= floaters) {
            c = 0;
            sense = 1.0;
            m_style.m_dEmitPhase2 += spinStep;
            m_style.m_dFloaterPhase = std::fmod(m_style.m_dFloaterPhase + kTwoPi / modulo, kTwoPi);
        }
        a += kTwoPi / p1;
        q += qStep;
    }
    m_style.m_nFloaterCursor = c;
}

}  // namespace quovis
