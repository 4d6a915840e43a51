// Test access for the emitters: sets up exactly the state an emitter reads (style, parameters,
// dots, canvas, movers, stroke) without starting a pattern, and reads back what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "engine/draw_wnd.h"
#include "fixed_clock.h"

namespace quovis {

struct EmitterTestPeer {
    struct Dot {
        float x, y, vx, vy, mobility;
        bool Parked() const { return IsParked(x); }
        double Speed() const { return std::hypot(vx, vy); }
    };
    using Points = std::vector<std::pair<float, float>>;

    // Style, parameters 1..6, dot count and canvas; every dot parked at rest.
    static void Setup(CDrawWnd& e, int style, int dots, int w, int h,
                      const std::array<float, 6>& params) {
        e.m_style.m_nStyle = style;
        e.m_dots.m_nDots = e.m_dots.m_nMaxDots = dots;
        e.m_nWidth = w;
        e.m_nHeight = h;
        e.m_dots.m_fDotScale = e.m_style.m_fEmitSpeed = 1.0f;
        e.m_motion.m_nWrapActive = 0;
        e.m_motion.m_dViscosity = 40.0;
        e.m_style.m_fGravity = 0.0f;
        for (int i = 0; i < dots; ++i) SetDot(e, i, {kParked, kParked, 0, 0, 1});
        for (int i = 0; i < 6; ++i) {
            e.m_style.m_fStyleParam[i] = params[i];
            e.m_style.m_fStyleParamLive[i] = CDrawWnd::kUnsetLiveParam;
        }
    }
    static bool Emit(CDrawWnd& e, int first, int last, double framesPerDot, int interval) {
        return e.Emit(first, last, framesPerDot, interval);
    }
    static Dot GetDot(const CDrawWnd& e, int i) {
        return {e.m_dots.m_pX[i], e.m_dots.m_pY[i], e.m_dots.m_pVX[i], e.m_dots.m_pVY[i],
                e.m_dots.m_pMobility[i]};
    }
    static void SetDot(CDrawWnd& e, int i, const Dot& d) {
        e.m_dots.m_pX[i] = d.x;
        e.m_dots.m_pY[i] = d.y;
        e.m_dots.m_pVX[i] = d.vx;
        e.m_dots.m_pVY[i] = d.vy;
        e.m_dots.m_pMobility[i] = d.mobility;
    }
    static float& Param(CDrawWnd& e, int i) { return e.m_style.m_fStyleParam[i]; }
    static float& Live(CDrawWnd& e, int i) { return e.m_style.m_fStyleParamLive[i]; }
    static float& Gravity(CDrawWnd& e) { return e.m_style.m_fGravity; }
    static double& Viscosity(CDrawWnd& e) { return e.m_motion.m_dViscosity; }
    static double& PatternAngle(CDrawWnd& e) { return e.m_motion.m_dPatternAngle; }
    static int GroupSize(const CDrawWnd& e) { return e.m_style.m_nGroupSize; }
    static int LineCycle(const CDrawWnd& e) { return e.m_style.m_nLineCycle; }
    static void SetMovers(CDrawWnd& e, const Points& at) {
        e.m_movers.m_nMovers = static_cast<int>(at.size());
        for (std::size_t k = 0; k < at.size(); ++k) {
            e.m_movers.m_moverX[k] = at[k].first;
            e.m_movers.m_moverY[k] = at[k].second;
        }
    }
    static void SetStroke(CDrawWnd& e, const Points& points, float gap) {
        e.m_strokes.m_nDrawPoints = static_cast<int>(points.size());
        for (std::size_t k = 0; k < points.size(); ++k) {
            e.m_strokes.m_drawX[k] = points[k].first;
            e.m_strokes.m_drawY[k] = points[k].second;
        }
        e.m_strokes.m_fDrawGap = gap;
    }
};

namespace test {

// A single-worker engine on a fixed clock, so every run draws the same random numbers.
class EmitterTest : public ::testing::Test {
  public:
    using Peer = EmitterTestPeer;
    using Dot = EmitterTestPeer::Dot;
    static constexpr int kW = 480, kH = 360;
    static constexpr double kPi = 3.14159265358979323846;

    static std::unique_ptr<CDrawWnd> NewEngine(FixedClock& clock) {
        EngineOptions options;
        options.workerCount = 1;
        return std::make_unique<CDrawWnd>(clock, options);
    }

  protected:
    void Use(int style, int dots, const std::array<float, 6>& params) {
        Peer::Setup(*engine, style, dots, kW, kH, params);
        dotCount = dots;
    }
    // Emits count dots from first and returns them in run order.
    std::vector<Dot> EmitRun(int first, int count, double framesPerDot = 1.0, int interval = 1) {
        EXPECT_TRUE(Peer::Emit(*engine, first, first + count - 1, framesPerDot, interval));
        std::vector<Dot> out;
        for (int j = 0; j < count; ++j)
            out.push_back(Peer::GetDot(*engine, (first + j) % dotCount));
        return out;
    }

    // a - b folded into (-pi, pi].
    static double AngleDiff(double a, double b) { return std::remainder(a - b, 2 * kPi); }
    static double Heading(const Dot& d) { return std::atan2(d.vy, d.vx); }        // (cos, sin)
    static double SinCosHeading(const Dot& d) { return std::atan2(d.vx, d.vy); }  // (sin, cos)
    static double FromCentre(const Dot& d) { return std::hypot(d.x - kW / 2.0, d.y - kH / 2.0); }

    FixedClock clock{4000, 9000};
    std::unique_ptr<CDrawWnd> engine = NewEngine(clock);
    int dotCount = 1;
};

}  // namespace test
}  // namespace quovis
