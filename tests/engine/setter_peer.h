// Test access to the state the live setters, drift, strokes and mouse input change.
#pragma once

#include "engine/draw_wnd.h"
#include "engine/drift.h"

namespace quovis {

struct SetterTestPeer {
    // Engine state the setters read, set directly so tests need no pattern start.
    static void SetSaverMode(CDrawWnd& e, bool on) { e.m_bSaverMode = on ? 1 : 0; }
    static void SetStyle(CDrawWnd& e, int style) { e.m_style.m_nStyle = style; }
    static void SetMotion(CDrawWnd& e, int motion) { e.m_motion.m_nMotion = motion; }
    static void SetMovers(CDrawWnd& e, int movers) { e.m_movers.m_nMovers = movers; }

    // Dots.
    static int Dots(const CDrawWnd& e) { return e.m_dots.m_nDots; }
    static int MaxDots(const CDrawWnd& e) { return e.m_dots.m_nMaxDots; }
    static int Grains(const CDrawWnd& e) { return e.m_dots.m_nGrains; }
    static float DotScale(const CDrawWnd& e) { return e.m_dots.m_fDotScale; }
    static float DotReduction(const CDrawWnd& e) { return e.m_dots.m_fDotReduction; }
    static float SpeedScale(const CDrawWnd& e) { return e.m_dots.m_fSpeedScale; }
    static int MoverDot(const CDrawWnd& e, int k) { return e.m_movers.m_moverDot[k]; }
    static bool RestartPending(const CDrawWnd& e) { return e.m_bRestartPending != 0; }

    // Motion.
    static double Activity(const CDrawWnd& e) { return e.m_motion.m_dActivity; }
    static double Pace(const CDrawWnd& e) { return e.m_motion.m_dPace; }
    static float MoverSpeedK(const CDrawWnd& e) { return e.m_motion.m_fMoverSpeedK; }
    static float InfluenceRange(const CDrawWnd& e) { return e.m_motion.m_fInfluenceRange; }
    static float ForceReach(const CDrawWnd& e) { return e.m_motion.m_fForceReach; }
    static double Viscosity(const CDrawWnd& e) { return e.m_motion.m_dViscosity; }
    static float DampX(const CDrawWnd& e) { return e.m_motion.m_fDampX; }
    static float DampY(const CDrawWnd& e) { return e.m_motion.m_fDampY; }
    static float MoverInertia(const CDrawWnd& e) { return e.m_motion.m_fMoverInertia; }
    static float MoverPeriod(const CDrawWnd& e) { return e.m_motion.m_fMoverPeriod; }
    static double Confine(const CDrawWnd& e) { return e.m_motion.m_dConfine; }
    static double ConfineExp(const CDrawWnd& e) { return e.m_motion.m_dConfineExp; }
    static double ConfineGain(const CDrawWnd& e) { return e.m_motion.m_dConfineGain; }
    static bool RoundConfine(const CDrawWnd& e) { return e.m_motion.m_bRoundConfine != 0; }
    static int WrapFlags(const CDrawWnd& e) { return e.m_motion.m_nWrapFlags; }
    static int WrapActive(const CDrawWnd& e) { return e.m_motion.m_nWrapActive; }
    static float MarginX(const CDrawWnd& e) { return e.m_motion.m_fMarginX; }

    // Geometry and reflections.
    static int Width(const CDrawWnd& e) { return e.m_nWidth; }
    static int Height(const CDrawWnd& e) { return e.m_nHeight; }
    static int CentreX(const CDrawWnd& e) { return e.m_nCentreX; }
    static int CentreY(const CDrawWnd& e) { return e.m_nCentreY; }
    static int Reflections(const CDrawWnd& e) { return e.m_reflect.m_nReflections; }
    static bool Symmetric(const CDrawWnd& e) { return e.m_reflect.m_bSymmetric != 0; }
    static float ReflCos(const CDrawWnd& e, int k) { return e.m_reflect.m_fReflCos[k]; }
    static float ReflSin(const CDrawWnd& e, int k) { return e.m_reflect.m_fReflSin[k]; }
    static bool ReflectionsChanged(const CDrawWnd& e) {
        return e.m_reflect.m_bReflectionsChanged != 0;
    }
    static void ClearReflectionsChanged(CDrawWnd& e) { e.m_reflect.m_bReflectionsChanged = 0; }
    static void SetReflectAngle(CDrawWnd& e, double a) { e.m_reflect.m_dReflectAngle = a; }

    // Style parameters.
    static int StyleParamCount(const CDrawWnd& e) { return e.m_style.m_nStyleParams; }
    static float StyleParam(const CDrawWnd& e, int i) { return e.m_style.m_fStyleParam[i]; }
    static float StyleParamLive(const CDrawWnd& e, int i) { return e.m_style.m_fStyleParamLive[i]; }
    static bool StyleParamsChanged(const CDrawWnd& e) {
        return e.m_style.m_bStyleParamsChanged != 0;
    }
    static void ClearStyleParamsChanged(CDrawWnd& e) { e.m_style.m_bStyleParamsChanged = 0; }
    static int GroupSize(const CDrawWnd& e) { return e.m_style.m_nGroupSize; }

    // Colour and shimmer values drift walks.
    static double PointMagnitude(const CDrawWnd& e) { return e.m_colour.m_dPointMagnitude; }
    static double Pastel(const CDrawWnd& e) { return e.m_colour.m_dPastel; }
    static double ColourBright(const CDrawWnd& e) { return e.m_colour.m_dColourBright; }
    static float SparkAmount(const CDrawWnd& e) { return e.m_look.m_fSparkAmount; }
    static float SparkExp(const CDrawWnd& e) { return e.m_look.m_fSparkExp; }

    // Trails, pacing, slideshow.
    static int TrailLength(const CDrawWnd& e) { return e.m_trails.m_nTrailLength; }
    static int Fuzziness(const CDrawWnd& e) { return e.m_trails.m_nFuzziness; }
    static int TargetFps(const CDrawWnd& e) { return e.m_frame.m_nTargetFps; }
    static double FrameGoal(const CDrawWnd& e) { return e.m_frame.m_dFrameGoal; }
    static uint32_t SlideIntervalMs(const CDrawWnd& e) { return e.m_slides.m_dwSlideIntervalMs; }

    // Drift.
    // Width of the multiplicative walk; -1 before drift was first used.
    static double DriftMultRange(const CDrawWnd& e) {
        return e.m_drift.m_pDrift ? e.m_drift.m_pDrift->multRange : -1.0;
    }

    // Strokes and cursor.
    static int DrawPoints(const CDrawWnd& e) { return e.m_strokes.m_nDrawPoints; }
    static float DrawX(const CDrawWnd& e, int i) { return e.m_strokes.m_drawX[i]; }
    static float DrawY(const CDrawWnd& e, int i) { return e.m_strokes.m_drawY[i]; }
    static float DrawGap(const CDrawWnd& e) { return e.m_strokes.m_fDrawGap; }
    static float CursorX(const CDrawWnd& e) { return e.m_strokes.m_fCursorX; }
    static float CursorY(const CDrawWnd& e) { return e.m_strokes.m_fCursorY; }
};

}  // namespace quovis

#include <memory>

namespace quovis::test {

// A canvas that records what the engine's setters send it.
struct CanvasCalls {
    int trails = 0;  // SetTrails calls and their last arguments
    int trailLength = 0;
    bool trailDither = false;
    double trailShade = 0.0;
    int fuzz = 0;  // SetFuzziness calls and their last arguments
    bool fuzzOn = false;
    int fuzzAmount = 0;
    bool fuzzAllow16 = false;
    int quick = 0;  // SetQuickDirty calls and the last value
    bool quickOn = false;
    int clears = 0;  // RequestClear calls
};

class RecordingCanvas final : public EngineCanvas {
  public:
    explicit RecordingCanvas(CanvasCalls& calls) : m_calls(calls) {}
    void Stop() override {}
    void SetTrails(int length, bool dither, double shade) override {
        ++m_calls.trails;
        m_calls.trailLength = length;
        m_calls.trailDither = dither;
        m_calls.trailShade = shade;
    }
    void SetFuzziness(bool on, int amount, bool allow16) override {
        ++m_calls.fuzz;
        m_calls.fuzzOn = on;
        m_calls.fuzzAmount = amount;
        m_calls.fuzzAllow16 = allow16;
    }
    void SetQuickDirty(bool on) override {
        ++m_calls.quick;
        m_calls.quickOn = on;
    }
    void RequestClear() override { ++m_calls.clears; }

  private:
    CanvasCalls& m_calls;
};

// An engine whose CreateOutput adopts a recording canvas.
class RecordingEngine final : public CDrawWnd {
  public:
    RecordingEngine(EngineClock& clock, CanvasCalls& calls, const EngineOptions& options)
        : CDrawWnd(clock, options), m_calls(calls) {}
    int CreateOutput(double) override {
        AdoptCanvas(std::make_unique<RecordingCanvas>(m_calls));
        return kEngineOk;
    }

  private:
    CanvasCalls& m_calls;
};

}  // namespace quovis::test
