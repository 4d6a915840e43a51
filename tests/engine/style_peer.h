// Test access to the pattern-style state of the engine: the derived values, the placement
// and the new-dot colour.
#pragma once

#include <algorithm>
#include <initializer_list>

#include "engine/draw_wnd.h"

namespace quovis {

struct StyleTestPeer {
    // Set-up without going through the setters, so these tests see only the style code.
    static void SetCanvas(CDrawWnd& e, int w, int h) {
        e.m_nWidth = w;
        e.m_nHeight = h;
    }
    static void SetDots(CDrawWnd& e, int n) { e.m_dots.m_nDots = e.m_dots.m_nMaxDots = n; }
    static void SetDotCounts(CDrawWnd& e, int dots, int maxDots) {
        e.m_dots.m_nDots = dots;
        e.m_dots.m_nMaxDots = maxDots;
    }
    static void SetStyle(CDrawWnd& e, int style) { e.m_style.m_nStyle = style; }
    // All kStyleParamSlots values; n becomes m_style.m_nStyleParams.
    static void SetParams(CDrawWnd& e, int n, const float* values) {
        e.m_style.m_nStyleParams = n;
        for (int j = 0; j < kStyleParamSlots; ++j) e.m_style.m_fStyleParam[j] = values[j];
    }
    static void SetParam(CDrawWnd& e, int j, float v) { e.m_style.m_fStyleParam[j] = v; }
    static void SetParamCount(CDrawWnd& e, int n) { e.m_style.m_nStyleParams = n; }
    static void SetLive(CDrawWnd& e, int j, float v) { e.m_style.m_fStyleParamLive[j] = v; }
    static void SetDotScale(CDrawWnd& e, float s) { e.m_dots.m_fDotScale = s; }
    static void SetDotReduction(CDrawWnd& e, float r) { e.m_dots.m_fDotReduction = r; }
    static void SetLeaveTrails(CDrawWnd& e, bool on) { e.m_trails.m_bLeaveTrails = on ? 1 : 0; }
    static void SetPointMagnitude(CDrawWnd& e, double m) { e.m_colour.m_dPointMagnitude = m; }
    static void SetWrapActive(CDrawWnd& e, int w) { e.m_motion.m_nWrapActive = w; }
    static void SetDamp(CDrawWnd& e, float x, float y) {
        e.m_motion.m_fDampX = x;
        e.m_motion.m_fDampY = y;
    }
    static void SetEmitState(CDrawWnd& e, int cursor, int counter, double phase, double phase2) {
        e.m_style.m_nEmitCursor = cursor;
        e.m_style.m_nEmitCounter = counter;
        e.m_style.m_dEmitPhase = phase;
        e.m_style.m_dEmitPhase2 = phase2;
    }
    static void SetForces(CDrawWnd& e, float gravity, float forceX, int fallDir) {
        e.m_style.m_fGravity = gravity;
        e.m_style.m_fForceScaleX = forceX;
        e.m_style.m_nFallDir = fallDir;
    }

    static bool Place(CDrawWnd& e, double seed) { return e.InitialPlacement(seed); }

    static const float* Params(const CDrawWnd& e) { return e.m_style.m_fStyleParam; }
    static int ParamCount(const CDrawWnd& e) { return e.m_style.m_nStyleParams; }
    static float Live(const CDrawWnd& e, int j) { return e.m_style.m_fStyleParamLive[j]; }
    static int GroupSize(const CDrawWnd& e) { return e.m_style.m_nGroupSize; }
    static void SetGroupSize(CDrawWnd& e, int g) { e.m_style.m_nGroupSize = g; }
    static bool StartParked(const CDrawWnd& e) { return e.m_style.m_bStartParked != 0; }
    static bool EveryFrame(const CDrawWnd& e) { return e.m_style.m_bEmitEveryFrame != 0; }
    static float EmitSpeed(const CDrawWnd& e) { return e.m_style.m_fEmitSpeed; }
    static float Gravity(const CDrawWnd& e) { return e.m_style.m_fGravity; }
    static float ForceScaleX(const CDrawWnd& e) { return e.m_style.m_fForceScaleX; }
    static int FallDir(const CDrawWnd& e) { return e.m_style.m_nFallDir; }
    static double EmitPhase(const CDrawWnd& e) { return e.m_style.m_dEmitPhase; }
    static double EmitPhase2(const CDrawWnd& e) { return e.m_style.m_dEmitPhase2; }
    static int EmitCursor(const CDrawWnd& e) { return e.m_style.m_nEmitCursor; }
    static int EmitCounter(const CDrawWnd& e) { return e.m_style.m_nEmitCounter; }
    static float HueOffset(const CDrawWnd& e) { return e.m_motion.m_fHueOffset; }
    static double PatternAngle(const CDrawWnd& e) { return e.m_motion.m_dPatternAngle; }
    static float DampX(const CDrawWnd& e) { return e.m_motion.m_fDampX; }
    static float NewDotExp(const CDrawWnd& e) { return e.m_style.m_fNewDotExp; }
    static float NewDotOffset(const CDrawWnd& e) { return e.m_style.m_fNewDotOffset; }
    static float NewDotScale(const CDrawWnd& e) { return e.m_style.m_fNewDotScale; }

    static float* X(CDrawWnd& e) { return e.m_dots.m_pX; }
    static float* Y(CDrawWnd& e) { return e.m_dots.m_pY; }
    static float* VX(CDrawWnd& e) { return e.m_dots.m_pVX; }
    static float* VY(CDrawWnd& e) { return e.m_dots.m_pVY; }
    static float* R(CDrawWnd& e) { return e.m_dots.m_pDotR; }
    static float* G(CDrawWnd& e) { return e.m_dots.m_pDotG; }
    static float* B(CDrawWnd& e) { return e.m_dots.m_pDotB; }
    static float* Mobility(CDrawWnd& e) { return e.m_dots.m_pMobility; }
    static float* Spare1(CDrawWnd& e) { return e.m_dots.m_pSpare1; }
    static float* Spare2(CDrawWnd& e) { return e.m_dots.m_pSpare2; }
};

}  // namespace quovis
