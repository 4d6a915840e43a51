// The movers: up to 32 points that wander over the canvas and make the flow field. Each
// carries a flow vector (the push it gives the dots near it) and a strength (how far that
// push reaches). Their flow follows one of five variants; the movers themselves move by one
// of six motions.
//
// Contents
//   start      InitMoverField (the body of ResetMovers), InitFlowVectors, InitMovers
//   per frame  UpdateMovers: cursor mover, flow variants, mover motion, walls, field colour,
//              the smoothed flow direction for shimmer
#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <numbers>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Pink-noise channels of the movers; mover k uses channel base + k.
constexpr int kNoiseFieldHue = 10;
constexpr int kNoiseFlowSpeed = 42;
constexpr int kNoiseFlowTurn = 74;
constexpr int kNoiseStrength = 106;
constexpr int kNoiseWanderX = 138;
constexpr int kNoiseWanderY = 170;
constexpr int kNoiseBigBang = 9;

constexpr float kTinyFlow = 1e-12f;
constexpr uint32_t kCursorJumpMs = 250;

// A flow component too small to matter is kept just above zero, so that the strength's
// root and the length limit below never see an exact zero.
inline float NotTiny(float f) {
    return std::fabs(f) < kTinyFlow ? kTinyFlow : f;
}

// Brings a coordinate that left [0, period] back by whole periods. One period is all that
// ordinary motion needs; the remainder only matters for a jump of several canvas widths.
inline float WrapOnce(float v, float period, bool* wrapped) {
    *wrapped = false;
    if (v < 0.0f) {
        v += period;
        *wrapped = true;
    } else if (v > period) {
        v -= period;
        *wrapped = true;
    }
    if (v < 0.0f || v > period) v = std::fmod(std::fmod(v, period) + period, period);
    return v;
}

}  // namespace

// ---- Start --------------------------------------------------------------------------------

bool CDrawWnd::InitMoverField(double seed, bool full) {
    if (!m_bReady) return false;
    m_movers.m_nMovers = std::clamp(m_movers.m_nMovers, 1, kMaxMovers);
    if (full) {
        // Spread the dots that "Recursive" movers follow evenly over the dot store. Negative
        // means "not yet attached": the mover jumps onto its dot the first time it moves.
        for (int k = 0; k < kMaxMovers; ++k)
            m_movers.m_moverDot[k] = -((m_dots.m_nDots - 2) * k / m_movers.m_nMovers + 1);
        m_rng.InitPinkChannels(EngineRandom::kPinkChannelsUsed);
        m_movers.m_dFlowInitKey = 0.123;
        m_movers.m_bCursorPlaced = 0;
    }
    // A viscosity below 1 has no meaning (the setter never gives one) and would turn the
    // damping negative or infinite; before the first setter call it is 0.
    const double viscosity = std::max(m_motion.m_dViscosity, 1.0);
    m_motion.m_fDampX = m_motion.m_fDampY = static_cast<float>(1.0 - 1.0 / viscosity);

    const auto mix = [this](double s) {
        return 0.3221374321483 * s + 0.6778625678517001 * (m_rng.RandomUniform() - 0.5);
    };
    InitFlowVectors(mix(seed), full);
    InitMovers(mix(seed), full);
    return true;
}

void CDrawWnd::InitFlowVectors(double seed, bool full) {
    const double w = m_nWidth;
    const double h = m_nHeight;
    const double activity = std::max(m_motion.m_dActivity, 0.0);
    // Nothing the speeds depend on changed: keep the settled flow.
    const double key = m_motion.m_dActivity + m_motion.m_dPace + m_movers.m_flowVX[0] + w + h;
    if (key == m_movers.m_dFlowInitKey) return;
    m_movers.m_dFlowInitKey = key;

    const double diagonal = std::sqrt(w * w + h * h);
    const double speed = std::pow(0.848 * diagonal, 1.2) * std::pow(0.62 * activity, 2.7) /
                         std::pow(1600.0, 1.2) * 2.5;
    const bool uneven = m_motion.m_nMotionVariant == kVariantClockwork ||
                        m_motion.m_nMotionVariant == kVariantDigital;
    for (int k = 0; k < kMaxMovers; ++k) {
        if (full) {
            m_movers.m_moverHeading[k] = kTwoPi * m_rng.RandomUniform() + seed;
            m_movers.m_moverPhase[k] = kPi * m_rng.RandomUniform();
            // Turn factors between 2^(-1/3) and 2^(1/3), turning either way.
            const double turn =
                std::exp(std::numbers::ln2 * (2.0 * m_rng.RandomUniform() / 3.0 - 1.0 / 3.0));
            m_movers.m_moverTurn[k] = m_rng.RandomUniform() < 0.5 ? -turn : turn;
            m_movers.m_moverStrength[k] = static_cast<float>(0.5 * m_rng.RandomUniform() + 0.5);
        }
        m_movers.m_moverSpeed[k] = speed;
        if (uneven) m_movers.m_moverSpeed[k] *= 0.875 + 0.25 * m_rng.RandomUniform();
        if (full) {
            m_movers.m_flowVX[k] = 0.0f;
            m_movers.m_flowVY[k] = 0.0f;
            for (int step = 0; step < 200; ++step) StepFlowVector(k);
        }
    }
}

void CDrawWnd::InitMovers(double seed, bool full) {
    const double w = m_nWidth;
    const double h = m_nHeight;
    const double pace = m_motion.m_dPace;
    const double activity = m_motion.m_dActivity;
    const double e = std::exp((pace - 1.0) * std::numbers::ln2);
    const double pace3 = (pace / 2.0) * (pace / 2.0) * (pace / 2.0);
    const int movers = m_movers.m_nMovers;

    double hue = 0.0;
    for (int k = 0; k < kMaxMovers; ++k) {
        // Mover 0 is kept among the faster ones: it is the one the pointer takes over.
        const double a = k == 0 ? m_rng.RandomSigned(0.2f) + 0.8 : m_rng.RandomSigned(0.5f) + 0.5;
        double v = 0.0;
        switch (m_motion.m_nMotion) {
            case kMotionLinear:
                v = (1.0 + 3.0 * pace3) * e *
                    (0.12 * (std::sqrt(w * h) / 1000.0) * 4.0 * (2.0 * a + 0.02) + 0.02) * activity;
                break;
            case kMotionCircular:
                v = (1.0 + 7.0 * pace3) * m_dots.m_fDotScale * e *
                    ((0.25 * (1.2 * a + 0.02) + 0.1) * activity);
                break;
            case kMotionOrganic:
                v = e * ((0.05 * (1.2 * a + 0.01) + 0.01) * activity) * 0.28;
                break;
            default:
                v = e * ((0.25 * (1.2 * a + 0.02) + 0.1) * activity);
                break;
        }
        double psi = kTwoPi * (m_rng.RandomSigned(0.5f) + 0.5 + seed);
        if (!full && (m_movers.m_moverVX[k] != 0.0f || m_movers.m_moverVY[k] != 0.0f)) {
            psi = std::atan2(m_movers.m_moverVY[k], m_movers.m_moverVX[k]);  // keep the direction
        }
        m_movers.m_moverVX[k] = static_cast<float>(std::cos(psi) * v);
        m_movers.m_moverVY[k] = static_cast<float>(std::sin(psi) * v);

        if (full) {
            // Neighbouring movers get neighbouring hues; fewer movers, bigger steps.
            if (k == 0) {
                hue = 360.0 * (m_rng.RandomSigned(0.5f) + 0.5);
            } else {
                hue += 2.0 * (360.0 / std::sqrt(static_cast<double>(movers))) *
                       m_rng.RandomSigned(0.5f);
            }
            m_movers.m_moverHue[k] = static_cast<float>(std::fmod(hue, 360.0));

            if (m_style.m_nStyle == kStyleBigBang && m_motion.m_nMotion != kMotionStatic) {
                const double r = 4.0 * (2.0 * m_rng.PinkNoise(kNoiseBigBang) - 1.0);
                const double angle = kTwoPi * m_rng.RandomUniform();
                m_movers.m_moverX[k] = static_cast<float>(w / 2.0 + r * std::cos(angle));
                m_movers.m_moverY[k] = static_cast<float>(h / 2.0 + r * std::sin(angle));
            } else if (m_style.m_nStyle == kStyleBall) {
                const double r = (m_rng.RandomSigned(0.5f) + 0.5) * h / 2.0;
                const double angle =
                    2.0 * kTwoPi *
                    (0.8654678467270001 * (m_rng.RandomSigned(0.5f) + 0.5) + 0.134532153273 * seed);
                m_movers.m_moverX[k] = static_cast<float>(w / 2.0 + r * std::cos(angle));
                m_movers.m_moverY[k] = static_cast<float>(h / 2.0 + r * std::sin(angle));
            } else {
                m_movers.m_moverX[k] = static_cast<float>(w * (0.05 + 0.9 * m_rng.RandomUniform()));
                m_movers.m_moverY[k] = static_cast<float>(h * (0.05 + 0.9 * m_rng.RandomUniform()));
            }
            const double rate = (20.0 * (m_rng.RandomSigned(0.5f) + 0.5) + 1.0) * 0.11 / 360.0;
            m_movers.m_moverSpinRate[k] = static_cast<float>((m_rng.Rand() & 1) ? rate : -rate);
        }

        const double nx = 2.0 * m_rng.PinkNoise(kNoiseWanderX + k) - 1.0;
        const double ny = 2.0 * m_rng.PinkNoise(kNoiseWanderY + k) - 1.0;
        m_movers.m_moverNoiseX[k] = static_cast<float>(nx);
        m_movers.m_moverNoiseY[k] = static_cast<float>(ny);
        m_movers.m_moverWanderX[k] = static_cast<float>(0.004 * nx);
        m_movers.m_moverWanderY[k] = static_cast<float>(0.004 * ny);

        const double spin = (1.0 + 0.2 * activity) * (5.0 * pace3 + 0.5) *
                            static_cast<double>(m_movers.m_moverSpinRate[k]);
        m_movers.m_moverSpinSin[k] = static_cast<float>(std::sin(spin));
        m_movers.m_moverSpinCos[k] = static_cast<float>(std::cos(spin));

        if (m_motion.m_bFieldColor) SetMoverColour(k);
    }
}

// ---- Per frame ----------------------------------------------------------------------------

void CDrawWnd::UpdateMovers() {
    if (m_movers.m_nMovers < 1 || m_nWidth <= 0 || m_nHeight <= 0) return;
    const bool cursor =
        m_strokes.m_bInteraction && m_strokes.m_fCursorX >= 0.0f && m_strokes.m_fCursorY >= 0.0f;
    // Slot 1 moves even with a single mover: the shimmer direction follows its flow.
    const int count = std::max(2, std::min(m_movers.m_nMovers, static_cast<int32_t>(kMaxMovers)));
    for (int k = 0; k < count; ++k) {
        const bool followsCursor = k == 0 && cursor;
        if (followsCursor) {
            FollowCursor(m_clock.Milliseconds());
        } else {
            StepFlowVector(k);
        }
        MoveMover(k, followsCursor);
        if (m_motion.m_bFieldColor) {
            const double turn = 0.27 * (2.0 * m_rng.PinkNoise(kNoiseFieldHue + k) - 1.0);
            m_movers.m_moverHue[k] =
                static_cast<float>(std::fmod(m_movers.m_moverHue[k] + turn, 360.0));
            SetMoverColour(k);
        }
    }
    UpdateFlowDirection();
}

void CDrawWnd::StepFlowVector(int k) {
    // The period is at least 20 frames once the turbulence is set; before that it is 0,
    // which must not divide.
    const double period = std::max(static_cast<double>(m_motion.m_fMoverPeriod), 1.0);
    const double inertia = m_motion.m_fMoverInertia;
    const double sp = m_movers.m_moverSpeed[k];
    double& heading = m_movers.m_moverHeading[k];
    double& phase = m_movers.m_moverPhase[k];
    const double turn = m_movers.m_moverTurn[k];

    double s = 0.0;
    double direction = heading;
    switch (m_motion.m_nMotionVariant) {
        case kVariantClockwork: {
            // Each mover circles at its own period.
            const double p = period * turn;
            s = (40.0 / p + 0.05) * sp;
            heading = std::remainder(heading + kTwoPi / p, kTwoPi);
            break;
        }
        case kVariantWaves:
            phase += kTwoPi / period;
            s = 0.05 * (std::sin(phase) + 1.0) * sp * 0.5;
            direction = 60.0 * kPi * m_rng.PinkNoise(kNoiseFlowTurn + k) / period + heading;
            break;
        case kVariantDigital: {
            // Straight runs, then a sudden turn by the phase gathered meanwhile.
            const double p = period * turn;
            s = (40.0 / p + 0.05) * sp;
            phase += kTwoPi / p;
            if (std::fabs(phase) > 3.1415926535) {
                heading = std::remainder(heading + phase, kTwoPi);
                phase = 0.0;
            }
            break;
        }
        case kVariantDirectional: {
            // The flow points the way the mover itself goes.
            const double jx = 0.04 * (m_rng.RandomUniform() - 0.5);
            const double jy = 0.04 * (m_rng.RandomUniform() - 0.5);
            float fx = static_cast<float>(0.068 * sp * (m_movers.m_moverVX[k] + jx) +
                                          0.08 * m_movers.m_flowVX[k]);
            float fy = static_cast<float>(0.068 * sp * (m_movers.m_moverVY[k] + jy) +
                                          0.08 * m_movers.m_flowVY[k]);
            fx = NotTiny(fx);
            fy = NotTiny(fy);
            const double limit = std::sqrt(std::max(1.0 - inertia, 0.0)) * sp * 0.5 + 0.005;
            double length = std::hypot(fx, fy);
            if (length > limit) {
                fx = static_cast<float>(fx * limit / length);
                fy = static_cast<float>(fy * limit / length);
                length = limit;
            }
            m_movers.m_flowVX[k] = fx;
            m_movers.m_flowVY[k] = fy;
            const double dotScale = m_dots.m_fDotScale > 0.0f ? m_dots.m_fDotScale : 1.0;
            m_movers.m_moverStrength[k] = static_cast<float>(
                std::pow(length, 0.43) * 8.5 * m_motion.m_fForceReach / 12.0 / dotScale);
            return;
        }
        case kVariantNatural:
        default:  // a wandering speed and a wandering turn
            s = (m_rng.PinkNoise(kNoiseFlowSpeed + k) + 0.01) * sp;
            direction = 7.0 * kPi * m_rng.PinkNoise(kNoiseFlowTurn + k) + heading;
            break;
    }
    m_movers.m_flowVX[k] = static_cast<float>((1.0 - inertia) * std::cos(direction) * s +
                                              inertia * m_movers.m_flowVX[k]);
    m_movers.m_flowVY[k] = static_cast<float>((1.0 - inertia) * std::sin(direction) * s +
                                              inertia * m_movers.m_flowVY[k]);
    m_movers.m_moverStrength[k] =
        static_cast<float>(0.5 * m_rng.PinkNoise(kNoiseStrength + k) * m_motion.m_fForceReach +
                           0.5 * m_movers.m_moverStrength[k]);
}

void CDrawWnd::FollowCursor(uint32_t nowMs) {
    const float prevX = m_movers.m_moverX[0];
    const float prevY = m_movers.m_moverY[0];
    const bool far = std::fabs(prevX - m_strokes.m_fCursorX) > 0.5f ||
                     std::fabs(prevY - m_strokes.m_fCursorY) > 0.5f;
    // Jump onto the pointer, but not more often than every quarter second, so that a moving
    // pointer drags the mover (and its flow) instead of teleporting it every frame.
    if (far && (!m_movers.m_bCursorPlaced || nowMs - m_movers.m_dwCursorJumpMs > kCursorJumpMs)) {
        m_movers.m_moverX[0] = m_strokes.m_fCursorX;
        m_movers.m_moverY[0] = m_strokes.m_fCursorY;
        m_movers.m_dwCursorJumpMs = nowMs;
        m_movers.m_bCursorPlaced = 1;
    } else {
        m_movers.m_moverX[0] += 0.8f * (m_strokes.m_fCursorX - m_movers.m_moverX[0]);
        m_movers.m_moverY[0] += 0.8f * (m_strokes.m_fCursorY - m_movers.m_moverY[0]);
    }
    m_movers.m_flowVX[0] =
        NotTiny(0.068f * (m_movers.m_moverX[0] - prevX) + 0.08f * m_movers.m_flowVX[0]);
    m_movers.m_flowVY[0] =
        NotTiny(0.068f * (m_movers.m_moverY[0] - prevY) + 0.08f * m_movers.m_flowVY[0]);
    m_movers.m_moverStrength[0] =
        static_cast<float>(std::pow(std::hypot(m_movers.m_flowVX[0], m_movers.m_flowVY[0]), 0.43) *
                           12.4 * m_motion.m_fInfluenceRange / 12.0);
}

void CDrawWnd::MoveMover(int k, bool followsCursor) {
    float& x = m_movers.m_moverX[k];
    float& y = m_movers.m_moverY[k];
    float& vx = m_movers.m_moverVX[k];
    float& vy = m_movers.m_moverVY[k];
    switch (m_motion.m_nMotion) {
        case kMotionLinear:
            x += vx;
            y += vy;
            MoverWalls(k, false);
            break;
        case kMotionOrganic: {
            x += vx;
            y += vy;
            vx = 0.997f * vx + m_movers.m_moverWanderX[k];
            vy = 0.997f * vy + m_movers.m_moverWanderY[k];
            // The wander follows the change of pink noise, so it drifts instead of shaking.
            const float nx =
                static_cast<float>(2.0 * (2.0 * m_rng.PinkNoise(kNoiseWanderX + k) - 1.0));
            const float ny =
                static_cast<float>(2.0 * (2.0 * m_rng.PinkNoise(kNoiseWanderY + k) - 1.0));
            const float limit = 0.7f * m_dots.m_fDotScale;
            m_movers.m_moverWanderX[k] =
                std::clamp((nx - m_movers.m_moverNoiseX[k]) * m_motion.m_fMoverSpeedK +
                               0.995f * m_movers.m_moverWanderX[k],
                           -limit, limit);
            m_movers.m_moverWanderY[k] =
                std::clamp((ny - m_movers.m_moverNoiseY[k]) * m_motion.m_fMoverSpeedK +
                               0.995f * m_movers.m_moverWanderY[k],
                           -limit, limit);
            m_movers.m_moverNoiseX[k] = nx;
            m_movers.m_moverNoiseY[k] = ny;
            if (!followsCursor) MoverWalls(k, true);
            break;
        }
        case kMotionRecursive:
            FollowDot(k);
            break;
        case kMotionCircular: {
            const float c = m_movers.m_moverSpinCos[k];
            const float s = m_movers.m_moverSpinSin[k];
            const float nvx = vx * c + vy * s;
            const float nvy = vy * c - vx * s;
            vx = nvx;
            vy = nvy;
            x += vx;
            y += vy;
            MoverWalls(k, false);
            break;
        }
        case kMotionWarp:
            WarpMover(k);
            [[fallthrough]];
        default:  // kMotionStatic: a tiny jitter in place, no walls
            vx = static_cast<float>(0.1 * (m_rng.RandomUniform() - 0.5));
            vy = static_cast<float>(0.1 * (m_rng.RandomUniform() - 0.5));
            x += vx;
            y += vy;
            break;
    }
}

void CDrawWnd::FollowDot(int k) {
    float& x = m_movers.m_moverX[k];
    float& y = m_movers.m_moverY[k];
    const int32_t index = m_movers.m_moverDot[k];
    const bool attach = index < 0;
    const int32_t dot = index == INT_MIN ? -1 : (attach ? -index : index);
    // A dot beyond the pattern's count, or parked, has no place to follow: the mover waits
    // where it is (still unattached if it was) until the dot comes back.
    if (dot < 0 || dot >= m_dots.m_nDots || dot >= kMaxDots || IsParked(m_dots.m_pX[dot])) {
        m_movers.m_moverVX[k] = 0.0f;
        m_movers.m_moverVY[k] = 0.0f;
        return;
    }
    const float dx = m_dots.m_pX[dot];
    const float dy = m_dots.m_pY[dot];
    if (attach) {
        m_movers.m_moverDot[k] = dot;
        x = dx;
        y = dy;
    } else {
        // The dot wrapped round the canvas: mirror the mover so that it follows the short way.
        const float w = static_cast<float>(m_nWidth);
        const float h = static_cast<float>(m_nHeight);
        if (std::fabs(dx - x) > w / 2.0f) x = w - x;
        if (std::fabs(dy - y) > h / 2.0f) y = h - y;
    }
    const float oldX = x;
    const float oldY = y;
    x += 0.04f * (dx - x);
    y += 0.04f * (dy - y);
    m_movers.m_moverVX[k] = x - oldX;
    m_movers.m_moverVY[k] = y - oldY;
}

void CDrawWnd::WarpMover(int k) {
    // A beat from the music sends the first mover checked at once, and only that one.
    std::atomic_ref<uint8_t> beatFlag(m_movers.m_bWarpBeat);
    bool jump = beatFlag.load(std::memory_order_relaxed) != 0 &&
                beatFlag.exchange(0, std::memory_order_relaxed) != 0;
    if (!jump) {
        const double p = m_motion.m_dPace + 0.2;
        jump = m_rng.RandomUniform() < p * p * p * 0.01;
    }
    if (!jump) return;
    m_movers.m_moverX[k] = static_cast<float>((m_rng.RandomSigned(0.49f) + 0.5) * m_nWidth);
    m_movers.m_moverY[k] = static_cast<float>((m_rng.RandomSigned(0.49f) + 0.5) * m_nHeight);
    m_movers.m_moverHeading[k] = kTwoPi * m_rng.RandomUniform();
    m_movers.m_moverPhase[k] = kPi * m_rng.RandomUniform();
}

void CDrawWnd::FlagWarpBeat() {
    std::atomic_ref<uint8_t>(m_movers.m_bWarpBeat).store(1, std::memory_order_relaxed);
}

void CDrawWnd::MoverWalls(int k, bool soft) {
    const float w = static_cast<float>(m_nWidth);
    const float h = static_cast<float>(m_nHeight);
    float& x = m_movers.m_moverX[k];
    float& y = m_movers.m_moverY[k];
    float& vx = m_movers.m_moverVX[k];
    float& vy = m_movers.m_moverVY[k];
    const bool wrapping = m_motion.m_nWrapActive != 0;
    const bool mobius = (m_motion.m_nWrapActive & kWrapMobius) != 0;
    // A soft wall starts a few pixels outside the canvas and pushes harder the further out.
    const float margin = std::trunc(std::min(w, h) * 4.0f / 480.0f + 0.5f);
    const auto wall = [soft, margin](float& p, float& v, float size) {
        if (soft) {
            const float t1 = p > -margin ? 0.5f * std::fabs(p + margin) : 0.0f;
            const float t2 = p < size + margin ? 0.5f * std::fabs(p - (size + margin)) : 0.0f;
            v += 1.0f / (0.5f * t1 * t1 * t1 + 0.5f) - 1.0f / (0.5f * t2 * t2 * t2 + 0.5f);
            return;
        }
        if (p < 0.0f) {
            p = -p;
            v = -v;
        } else if (p > size) {
            p = 2.0f * size - p;
            v = -v;
        }
        p = std::clamp(p, 0.0f, size);  // a jump of more than a canvas still lands inside
    };

    bool wrapped = false;
    if (wrapping) {
        x = WrapOnce(x, w, &wrapped);
        if (wrapped && mobius) {
            y = h - y;
            vy = -vy;
        }
    } else {
        wall(x, vx, w);
    }
    // "Falls" keeps its floor and ceiling even when wrapping.
    if (wrapping && m_style.m_nStyle != kStyleFalls) {
        y = WrapOnce(y, h, &wrapped);
        if (wrapped && mobius) {
            x = w - x;
            vx = -vx;
        }
    } else {
        wall(y, vy, h);
    }
}

void CDrawWnd::SetMoverColour(int k) {
    // Light colours (channels between 0.5 and 1) of the mover's hue; the field sum adds them
    // to the dots nearby.
    const float turns = m_movers.m_moverHue[k] / 360.0f;
    m_movers.m_moverR[k] = HueToRgb(0.5f, 1.0f, turns + 1.0f / 3.0f);
    m_movers.m_moverG[k] = HueToRgb(0.5f, 1.0f, turns);
    m_movers.m_moverB[k] = HueToRgb(0.5f, 1.0f, turns - 1.0f / 3.0f);
}

void CDrawWnd::UpdateFlowDirection() {
    m_movers.m_fFlowAvgX = 0.995f * m_movers.m_fFlowAvgX + 0.005f * m_movers.m_flowVX[1];
    m_movers.m_fFlowAvgY = 0.995f * m_movers.m_fFlowAvgY + 0.005f * m_movers.m_flowVY[1];
    const float length = std::hypot(m_movers.m_fFlowAvgX, m_movers.m_fFlowAvgY);
    // A still field has no direction; shimmer keeps the last one.
    if (length > 0.0f && std::isfinite(length)) {
        m_look.m_fShimmerDirX = m_movers.m_fFlowAvgX / length;
        m_look.m_fShimmerDirY = m_movers.m_fFlowAvgY / length;
    }
}

}  // namespace quovis
