// The emitters of the figure styles: "Circle", "Draw", "Polygon", "Curves" and "Twirls".
// The first four walk their figure a slice per event, so that one emission interval covers
// the whole figure once; the event counters that remember the slice live in the engine.
// Notation as in emitters.cpp.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kPolygonSteps = 5000;
constexpr int kCurveStepsPerMover = 1000;
// The turn of the launch direction per dot when a figure spins, at full dot count.
constexpr double kShapeSpin = 0.0015632536280396055;

// Advances an event counter by one, modulo the emission interval.
int32_t NextCycle(int32_t* counter, int32_t interval) {
    *counter = (std::max(0, *counter) + 1) % interval;
    return *counter;
}

// Where dot j of an event sits in the event's slice [from, to): evenly spread for spinning
// figures, at random otherwise.
double SliceAt(double from, double to, int32_t j, int32_t count, bool even, double u) {
    return from + (to - from) * (even ? static_cast<double>(j) / count : u);
}

}  // namespace

// ---- Launch shared by "Draw", "Polygon" and "Curves" -----------------------------------

// Without spinning a random direction and a random speed (either sign); with it, every dot
// leaves in the next direction of a slowly turning sweep.
void CDrawWnd::ShapeLaunch(double q, bool spinning, double spin, double* vx, double* vy) {
    double direction;
    double speed;
    if (spinning) {
        m_style.m_dEmitPhase2 += kShapeSpin / EmitDotScale() * spin;
        if (m_style.m_dEmitPhase2 > kTwoPi) m_style.m_dEmitPhase2 -= kTwoPi;
        direction = m_style.m_dEmitPhase2;
        speed = 0.33 * q;
    } else {
        speed = m_rng.RandomSigned(0.5f) * q;
        direction = GoldenAngle();
    }
    *vx = std::sin(direction) * speed;
    *vy = std::cos(direction) * speed;
}

// ---- "Circle" --------------------------------------------------------------------------

// Dots are born on a circle of "Radius" (a negative radius breathes). "Spin Flow" orders
// them: 0 random on the event's arc, 4 evenly round the whole circle, +-2 in even steps
// along the arc, other values in random steps; negative values turn the other way.
void CDrawWnd::EmitCircle(const EmitRun& run) {
    const double s = EmitDotScale();
    const int spinFlow = static_cast<int>(std::lround(m_style.m_fStyleParam[5]));
    const double c = NextCycle(&m_style.m_nCircleCycle, run.interval);
    double t0 = c / run.interval;
    double t1 = (c + 1) / run.interval;
    double sense = 1.0;
    if (spinFlow != 0) {
        const double perTurn = std::max(1e-9, run.dots * m_style.m_fStyleParam[1] / 5000.0);
        t0 = run.first / perTurn;
        t1 = (run.Last() + 1.0) / perTurn;
        if (spinFlow < 0) sense = -1.0;
    }

    double rFrom = m_style.m_fStyleParam[3] / 1000.0 * m_nHeight / 2;
    double rTo = rFrom;
    if (m_style.m_fStyleParam[3] < 0) {
        auto breathing = [this](double phase) {
            return (std::sin(phase) + 1.0) * 0.6 * m_nHeight / 2;
        };
        rFrom = breathing(m_style.m_dCircleBreath);
        m_style.m_dCircleBreath =
            std::fmod(m_style.m_dCircleBreath + run.count * std::numbers::pi * 0.00001, kTwoPi);
        rTo = breathing(m_style.m_dCircleBreath);
    }

    const double q = m_style.m_fStyleParam[2] * 0.015 * s * 0.5;
    double t = t0;
    for (int32_t j = 0; j < run.count; ++j) {
        double turn;
        double speed = q;
        if (spinFlow == 0) {
            turn = t0 + RandomUniform() * (t1 - t0);
            speed = 2.0 * RandomFraction() * q;
        } else if (spinFlow == 4) {
            // Evenly round the whole circle: j / count, so the last dot does not land on the
            // first one.
            turn = static_cast<double>(j) / run.count;
        } else if (spinFlow == 2 || spinFlow == -2) {
            turn = t0 + (t1 - t0) * j / run.count;
        } else {
            turn = t;
            t += (t1 - t0) / run.count * RandomFraction();
            speed = 2.0 * RandomFraction() * q;
        }
        const double psi = turn * kTwoPi * sense;
        const double r = rFrom + (rTo - rFrom) * j / run.count;
        PlaceDot(run.Slot(j), std::cos(psi) * r + m_nWidth * 0.5,
                 std::sin(psi) * r + m_nHeight * 0.5, std::cos(psi) * speed, std::sin(psi) * speed);
    }
}

// ---- "Draw" ----------------------------------------------------------------------------

// The point at stroke position s (0 .. points-1) in canvas pixels. Between two points far
// apart the pen was lifted: the dot keeps to the nearer end instead of bridging the gap.
void CDrawWnd::StrokePoint(int points, double s, double* x, double* y) const {
    if (points <= 0) {  // nothing drawn yet: the middle of the canvas
        *x = m_nWidth * 0.5;
        *y = m_nHeight * 0.5;
        return;
    }
    const int j = std::clamp(static_cast<int>(std::floor(s)), 0, points - 1);
    const int next = std::min(j + 1, points - 1);
    const double f = std::clamp(s - j, 0.0, 1.0);
    const double dx = m_strokes.m_drawX[next] - m_strokes.m_drawX[j];
    const double dy = m_strokes.m_drawY[next] - m_strokes.m_drawY[j];
    double fx = m_strokes.m_drawX[j] + f * dx;
    double fy = m_strokes.m_drawY[j] + f * dy;
    if (std::sqrt(dx * dx + dy * dy) > 10.0 * m_strokes.m_fDrawGap) {
        const int nearer = f < 0.5 ? j : next;
        fx = m_strokes.m_drawX[nearer];
        fy = m_strokes.m_drawY[nearer];
    }
    *x = fx * m_nWidth;
    *y = fy * m_nHeight;
}

// Dots are born along the drawn stroke, a slice of it per event.
void CDrawWnd::EmitDraw(const EmitRun& run) {
    // The stroke grows on the input thread; one read of the count gives a consistent prefix.
    const int points = std::clamp(m_strokes.m_nDrawPoints, 0, kMaxDrawPoints);
    const double c = NextCycle(&m_style.m_nDrawCycle, run.interval);
    const double length = std::max(0, points - 1);
    const double s0 = length * c / run.interval;
    const double s1 = length * (c + 1) / run.interval;
    const double q = m_style.m_fStyleParam[3] / 10.0 * EmitDotScale();
    const double spin = m_style.m_fStyleParam[5];
    const bool spinning = spin != 0;
    for (int32_t j = 0; j < run.count; ++j) {
        const double u = spinning ? 0.0 : RandomUniform();
        double x, y, vx, vy;
        StrokePoint(points, SliceAt(s0, s1, j, run.count, spinning, u), &x, &y);
        ShapeLaunch(q, spinning, spin, &vx, &vy);
        PlaceDot(run.Slot(j), x, y, vx, vy);
    }
}

// ---- "Polygon" -------------------------------------------------------------------------

namespace {

// The closed polygon through the movers, measured once per event.
struct MoverPolygon {
    int sides = 0;
    double length[CDrawWnd::kMaxMovers] = {};
    double perimeter = 0.0;
    const float* x = nullptr;
    const float* y = nullptr;

    void At(double distance, double* px, double* py) const {
        int k = 0;
        while (k < sides - 1 && distance > length[k]) {
            distance -= length[k];
            ++k;
        }
        const int next = (k + 1) % sides;
        const double t = std::clamp(distance / length[k], 0.0, 1.0);
        *px = x[k] + (x[next] - x[k]) * t;
        *py = y[k] + (y[next] - y[k]) * t;
    }
};

}  // namespace

// Dots are born on the closed polygon through the movers, in mover order.
void CDrawWnd::EmitPolygon(const EmitRun& run) {
    MoverPolygon polygon;
    polygon.sides = std::clamp(m_movers.m_nMovers, 1, kMaxMovers);
    polygon.x = m_movers.m_moverX;
    polygon.y = m_movers.m_moverY;
    for (int k = 0; k < polygon.sides; ++k) {
        const int next = (k + 1) % polygon.sides;
        // A side of (almost) no length still counts a little, so the walk along the
        // perimeter never divides by zero.
        polygon.length[k] =
            std::max(0.1, std::hypot(double{m_movers.m_moverX[next]} - m_movers.m_moverX[k],
                                     double{m_movers.m_moverY[next]} - m_movers.m_moverY[k]));
        polygon.perimeter += polygon.length[k];
    }

    const double c = NextCycle(&m_style.m_nPolygonCycle, run.interval);
    const double from = (kPolygonSteps - 1) * c / run.interval;
    const double to = (kPolygonSteps - 1) * (c + 1) / run.interval;
    const double unit = polygon.perimeter / kPolygonSteps;
    const double q = m_style.m_fStyleParam[3] / 10.0 * EmitDotScale();
    const double spin = m_style.m_fStyleParam[5];
    const bool spinning = spin != 0;
    for (int32_t j = 0; j < run.count; ++j) {
        const double u = spinning ? 0.0 : RandomUniform();
        const double sigma = SliceAt(from, to, j, run.count, spinning, u);
        const double m = std::floor(sigma);
        const double f = sigma - m;
        double ax, ay, bx, by, vx, vy;
        polygon.At(m * unit, &ax, &ay);
        polygon.At((m + 1) * unit, &bx, &by);
        ShapeLaunch(q, spinning, spin, &vx, &vy);
        PlaceDot(run.Slot(j), ax + (bx - ax) * f, ay + (by - ay) * f, vx, vy);
    }
}

// ---- "Curves" --------------------------------------------------------------------------

// Point `step` of the smooth closed curve through the movers: each mover pulls a parabolic
// arc that runs from the middle of its incoming side to the middle of its outgoing side.
void CDrawWnd::CurvePoint(int movers, int step, double* x, double* y) const {
    const int segment = step / kCurveStepsPerMover;
    const double t = static_cast<double>(step) / kCurveStepsPerMover - segment;
    const int j0 = segment % movers;
    const int j1 = (segment + 1) % movers;
    const int j2 = (segment + 2) % movers;
    const double ax =
        m_movers.m_moverX[j0] + (m_movers.m_moverX[j1] - m_movers.m_moverX[j0]) * (0.5 + 0.5 * t);
    const double ay =
        m_movers.m_moverY[j0] + (m_movers.m_moverY[j1] - m_movers.m_moverY[j0]) * (0.5 + 0.5 * t);
    const double bx =
        m_movers.m_moverX[j1] + (m_movers.m_moverX[j2] - m_movers.m_moverX[j1]) * 0.5 * t;
    const double by =
        m_movers.m_moverY[j1] + (m_movers.m_moverY[j2] - m_movers.m_moverY[j1]) * 0.5 * t;
    *x = ax + (bx - ax) * t;
    *y = ay + (by - ay) * t;
}

// Dots are born on the smooth closed curve through the movers.
void CDrawWnd::EmitCurves(const EmitRun& run) {
    const int movers = std::clamp(m_movers.m_nMovers, 1, kMaxMovers);
    const double steps = static_cast<double>(movers) * kCurveStepsPerMover;
    const double c = NextCycle(&m_style.m_nCurveCycle, run.interval);
    const double from = (steps - 1) * c / run.interval;
    const double to = (steps - 1) * (c + 1) / run.interval;
    const double q = m_style.m_fStyleParam[3] / 10.0 * EmitDotScale();
    const double spin = m_style.m_fStyleParam[5];
    const bool spinning = spin != 0;
    for (int32_t j = 0; j < run.count; ++j) {
        const double u = spinning ? 0.0 : RandomUniform();
        const double sigma = SliceAt(from, to, j, run.count, spinning, u);
        const int m = static_cast<int>(sigma);
        const double f = sigma - m;
        double ax, ay, bx, by, vx, vy;
        CurvePoint(movers, m, &ax, &ay);
        CurvePoint(movers, m + 1, &bx, &by);
        ShapeLaunch(q, spinning, spin, &vx, &vy);
        PlaceDot(run.Slot(j), ax + (bx - ax) * f, ay + (by - ay) * f, vx, vy);
    }
}

// ---- "Twirls" --------------------------------------------------------------------------

// Each event is a pinwheel: all its dots leave one random point, their directions spread
// round the circle ("Twirls" times round), each group with its own damping so the arms slow
// at different rates.
void CDrawWnd::EmitTwirls(const EmitRun& run) {
    m_style.m_nGroupSize = std::max(1, static_cast<int>(m_style.m_fStyleParam[1]));
    const int twirls = static_cast<int>(std::floor(m_style.m_fStyleParam[5] + 0.5f));
    const int32_t n = run.dots;

    // While the ring is still parked, one dot of the event is anchored at rest in the
    // middle. The burst below places every dot of the event, the anchor too; the check stays
    // so the random sequence (and with it a seeded pattern) is the designed one.
    const int32_t probe = std::min(n - 1, static_cast<int32_t>(RandomFraction() * n));
    if (IsDotParked(probe)) {
        const int32_t anchor =
            static_cast<int32_t>(RandomFraction() * (run.count - 1) + run.first) % n;
        if (IsDotParked(anchor)) PlaceDot(anchor, m_nWidth / 2, m_nHeight / 2, 0.0, 0.0);
    }
    const double ox = RandomFraction() * m_nWidth;
    const double oy = RandomFraction() * m_nHeight;

    const double p3 = m_style.m_fStyleParam[3];
    const double base = BurstSpeedBase(p3);
    const double f = p3 <= 0 ? (0.98 * RandomFraction() + 0.02) * 0.5 : 0.25;
    const double offset = GoldenAngle();
    const double sense = RandomUniform() < 0.5 ? -1.0 : 1.0;
    const float mobility = BurstMobility(std::exp(1.5 * (2.0 * RandomFraction() - 1.0)));
    const double speed = EmitDotScale() * base * f;
    for (int32_t j = 0; j < run.count; ++j) {
        double psi = kTwoPi * j / run.count * sense;
        double dotSpeed = speed;
        if (twirls != 0) {
            psi *= twirls;
            dotSpeed = (j + 1) * speed / run.count;
        }
        psi += offset;
        const int32_t slot = run.Slot(j);
        PlaceDot(slot, ox, oy, std::sin(psi) * dotSpeed, std::cos(psi) * dotSpeed);
        m_dots.m_pMobility[slot] = mobility;
    }
}

}  // namespace quovis
