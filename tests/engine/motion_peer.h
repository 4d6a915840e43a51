// Test access for the motion and colour code: sets up the state the movers and the dot
// kernel read directly (so these tests depend on no setter), runs frames of the motion pass
// the way the frame step does, and exposes the arrays the tests check.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine/field_sum.h"

namespace quovis {

// A motion set-up in the engine's own units (what the setters would have stored).
struct MotionSetup {
    int width = 640;
    int height = 480;
    int dots = 2000;
    int movers = 8;
    int motion = 1;  // Linear
    int variant = 0;
    int style = 1;  // "Full Field": no style forces
    double activity = 1.0;
    double pace = 1.0;
    double viscosity = 100.0;
    float inertia = 0.5f;
    float period = 200.0f;
    float influenceRange = 35.0f;
    int wrapFlags = 0;
    bool extraTwist = false;
    bool fieldColour = false;
    double confineExp = -1.0;
    bool roundConfine = false;
    float gravity = 0.0f;
    int reflections = 1;
};

struct MotionTestPeer {
    static constexpr int kHueEntries = CDrawWnd::kHueEntries;

    // Applies the set-up and starts the movers (full reset) with the given seed.
    static bool Start(CDrawWnd& e, const MotionSetup& s, double seed) {
        e.m_nWidth = s.width;
        e.m_nHeight = s.height;
        e.m_dots.m_nDots = e.m_dots.m_nMaxDots = s.dots;
        e.m_movers.m_nMovers = s.movers;
        e.m_motion.m_nMotion = s.motion;
        e.m_motion.m_nMotionVariant = s.variant;
        e.m_style.m_nStyle = s.style;
        e.m_motion.m_dActivity = s.activity;
        e.m_motion.m_dPace = s.pace;
        e.m_motion.m_dViscosity = s.viscosity;
        e.m_motion.m_fMoverInertia = s.inertia;
        e.m_motion.m_fMoverPeriod = s.period;
        e.m_motion.m_fInfluenceRange = s.influenceRange;
        e.m_motion.m_fForceReach =
            static_cast<float>(std::pow(s.influenceRange / 100.0, 2.6798) * 500.0 + 5.0);
        e.m_motion.m_nWrapFlags = s.wrapFlags;
        e.m_motion.m_nWrapActive = s.reflections < 3 ? s.wrapFlags : 0;
        e.m_motion.m_bExtraTwist = s.extraTwist ? 1 : 0;
        e.m_motion.m_bFieldColor = s.fieldColour ? 1 : 0;
        e.m_motion.m_dConfineExp = s.confineExp;
        e.m_motion.m_dConfineGain = std::exp(s.confineExp);
        e.m_motion.m_bRoundConfine = s.roundConfine ? 1 : 0;
        e.m_style.m_fGravity = s.gravity;
        e.m_style.m_fForceScaleX = 1.0f;
        e.m_style.m_nFallDir = 0;
        e.m_reflect.m_nReflections = s.reflections;
        e.m_bReady = 1;
        // The mover wander speed the activity setter derives from the values above.
        e.RecomputeMoverSpeedK();
        e.UpdateConfinement();
        return e.ResetMovers(seed, true);
    }

    // Places every dot uniformly over the canvas with a small random velocity and a colour,
    // from a seed of the test's own (not the engine's generators).
    static void ScatterDots(CDrawWnd& e, uint32_t seed) {
        uint32_t state = seed * 2654435761u + 1u;
        const auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return static_cast<float>(state >> 8) / 16777216.0f;  // [0, 1)
        };
        for (int i = 0; i < e.m_dots.m_nDots; ++i) {
            e.m_dots.m_pX[i] = next() * static_cast<float>(e.m_nWidth);
            e.m_dots.m_pY[i] = next() * static_cast<float>(e.m_nHeight);
            e.m_dots.m_pVX[i] = (next() - 0.5f) * 2.0f;
            e.m_dots.m_pVY[i] = (next() - 0.5f) * 2.0f;
            e.m_dots.m_pDotR[i] = next() * 255.0f;
            e.m_dots.m_pDotG[i] = next() * 255.0f;
            e.m_dots.m_pDotB[i] = next() * 255.0f;
            e.m_dots.m_pMobility[i] = 1.0f;
        }
    }

    // One frame of motion as the frame step runs it: movers, per-frame constants, then the
    // kernel over `bands` contiguous bands. Returns the band records.
    static std::vector<DotBand>& Frame(CDrawWnd& e, int bands, std::vector<DotBand>& out) {
        e.UpdateMovers();
        e.PrepareMotionFrame();
        Kernel(e, bands, out);
        return out;
    }

    // Just the kernel, over `bands` bands, with the constants already prepared.
    static void Kernel(CDrawWnd& e, int bands, std::vector<DotBand>& out) {
        out.resize(static_cast<std::size_t>(bands));
        for (int b = 0; b < bands; ++b) {
            DotBand& band = out[static_cast<std::size_t>(b)];
            band = DotBand{};
            band.First = static_cast<int32_t>(static_cast<int64_t>(e.m_dots.m_nDots) * b / bands);
            band.Last =
                static_cast<int32_t>(static_cast<int64_t>(e.m_dots.m_nDots) * (b + 1) / bands) - 1;
            band.Next = band.First;
        }
        for (auto& band : out) e.MoveAndPlotBand(band);
    }

    // The motion pass as the frame step runs it: the engine's own bands on its own pool.
    static void RunMotionBands(CDrawWnd& e) { e.RunMotionBands(); }
    static WorkerPool* Pool(CDrawWnd& e) { return e.m_pPool.get(); }
    static int Bands(const CDrawWnd& e) { return e.m_nBands; }
    static DotBand* BandRecords(CDrawWnd& e) { return e.m_bands.get(); }
    // The frame's movers as the kernel reads them (after PrepareMotionFrame).
    static FieldSources Sources(const CDrawWnd& e) { return e.FrameFieldSources(); }
    static FieldQuadrants Quadrants(const CDrawWnd& e) { return e.FrameFieldQuadrants(); }
    static int FieldImages(const CDrawWnd& e) { return e.m_movers.m_nFieldImages; }

    static void UpdateMovers(CDrawWnd& e) { e.UpdateMovers(); }
    static void PrepareMotionFrame(CDrawWnd& e) { e.PrepareMotionFrame(); }
    static void MoveAndPlotBand(CDrawWnd& e, DotBand& band) { e.MoveAndPlotBand(band); }
    static void UpdateConfinement(CDrawWnd& e) { e.UpdateConfinement(); }
    static bool BuildHueTable(CDrawWnd& e, float offset, int slice) {
        return e.BuildHueTable(offset, slice);
    }
    static void ComputeColourGains(CDrawWnd& e) { e.ComputeColourGains(); }
    static void UpdateDotColour(const CDrawWnd& e, float vx, float vy, const float* gains,
                                float& c0, float& c1, float& c2) {
        e.UpdateDotColour(vx, vy, gains, c0, c1, c2);
    }

    // Dots.
    static float* X(CDrawWnd& e) { return e.m_dots.m_pX; }
    static float* Y(CDrawWnd& e) { return e.m_dots.m_pY; }
    static float* VX(CDrawWnd& e) { return e.m_dots.m_pVX; }
    static float* VY(CDrawWnd& e) { return e.m_dots.m_pVY; }
    static float* R(CDrawWnd& e) { return e.m_dots.m_pDotR; }
    static float* G(CDrawWnd& e) { return e.m_dots.m_pDotG; }
    static float* B(CDrawWnd& e) { return e.m_dots.m_pDotB; }
    static float* Mobility(CDrawWnd& e) { return e.m_dots.m_pMobility; }
    static int Dots(const CDrawWnd& e) { return e.m_dots.m_nDots; }

    // Movers.
    static float* MoverX(CDrawWnd& e) { return e.m_movers.m_moverX; }
    static float* MoverY(CDrawWnd& e) { return e.m_movers.m_moverY; }
    static float* MoverVX(CDrawWnd& e) { return e.m_movers.m_moverVX; }
    static float* MoverVY(CDrawWnd& e) { return e.m_movers.m_moverVY; }
    static float* FlowX(CDrawWnd& e) { return e.m_movers.m_flowVX; }
    static float* FlowY(CDrawWnd& e) { return e.m_movers.m_flowVY; }
    static float* Strength(CDrawWnd& e) { return e.m_movers.m_moverStrength; }
    static const float* Weight(const CDrawWnd& e) { return e.m_movers.m_moverWeight; }
    static int32_t* MoverDot(CDrawWnd& e) { return e.m_movers.m_moverDot; }
    static float* MoverHue(CDrawWnd& e) { return e.m_movers.m_moverHue; }
    static const float* MoverR(const CDrawWnd& e) { return e.m_movers.m_moverR; }
    static const float* MoverG(const CDrawWnd& e) { return e.m_movers.m_moverG; }
    static const float* MoverB(const CDrawWnd& e) { return e.m_movers.m_moverB; }
    static double* Heading(CDrawWnd& e) { return e.m_movers.m_moverHeading; }
    static double* Speed(CDrawWnd& e) { return e.m_movers.m_moverSpeed; }

    // Motion state and constants.
    static void SetMovers(CDrawWnd& e, int n) { e.m_movers.m_nMovers = n; }
    static void SetWrap(CDrawWnd& e, int flags) {
        e.m_motion.m_nWrapFlags = e.m_motion.m_nWrapActive = flags;
    }
    static void SetStyle(CDrawWnd& e, int style) { e.m_style.m_nStyle = style; }
    static void SetStyleParam(CDrawWnd& e, int index, float value) {
        e.m_style.m_fStyleParam[index] = value;
    }
    static void SetReflections(CDrawWnd& e, int n) { e.m_reflect.m_nReflections = n; }
    static void SetConfineExp(CDrawWnd& e, double c) { e.m_motion.m_dConfineExp = c; }
    static void SetRoundConfine(CDrawWnd& e, bool on) { e.m_motion.m_bRoundConfine = on ? 1 : 0; }
    static void SetGravity(CDrawWnd& e, float g) { e.m_style.m_fGravity = g; }
    static void SetFallDir(CDrawWnd& e, int d) { e.m_style.m_nFallDir = d; }
    static void SetFieldColour(CDrawWnd& e, bool on) { e.m_motion.m_bFieldColor = on ? 1 : 0; }
    static void SetViscosity(CDrawWnd& e, double v) { e.m_motion.m_dViscosity = v; }
    static void SetActivity(CDrawWnd& e, double a) { e.m_motion.m_dActivity = a; }
    static void SetMotion(CDrawWnd& e, int m) { e.m_motion.m_nMotion = m; }
    static void SetCursor(CDrawWnd& e, float x, float y, bool interaction) {
        e.m_strokes.m_fCursorX = x;
        e.m_strokes.m_fCursorY = y;
        e.m_strokes.m_bInteraction = interaction ? 1 : 0;
    }
    static void SetColourDepth(CDrawWnd& e, int bits) { e.m_nColourDepth = bits; }
    static void SetLeaveTrails(CDrawWnd& e, bool on) { e.m_trails.m_bLeaveTrails = on ? 1 : 0; }
    static void SetPeriod(CDrawWnd& e, float t) { e.m_motion.m_fMoverPeriod = t; }
    static void SetForceReach(CDrawWnd& e, float r) { e.m_motion.m_fForceReach = r; }
    static float MarginX(const CDrawWnd& e) { return e.m_motion.m_fMarginX; }
    static float MarginY(const CDrawWnd& e) { return e.m_motion.m_fMarginY; }
    static float ConfineR(const CDrawWnd& e) { return e.m_motion.m_fConfineR; }
    static float ConfineR2(const CDrawWnd& e) { return e.m_motion.m_fConfineR2; }
    static float WallK1(const CDrawWnd& e) { return e.m_motion.m_fWallK1; }
    static float WallK2(const CDrawWnd& e) { return e.m_motion.m_fWallK2; }
    static float DampX(const CDrawWnd& e) { return e.m_motion.m_fDampX; }
    static bool Ready(const CDrawWnd& e) { return e.m_bReady != 0; }
    static float ShimmerDirX(const CDrawWnd& e) { return e.m_look.m_fShimmerDirX; }
    static float ShimmerDirY(const CDrawWnd& e) { return e.m_look.m_fShimmerDirY; }

    // Colour.
    static const float (*HueTable(const CDrawWnd& e))[3] { return e.m_colour.m_hueTable.rgb; }
    static const float* ColourGain(const CDrawWnd& e) { return e.m_colour.m_fColourGain; }
    static const float* CursorGain(const CDrawWnd& e) { return e.m_colour.m_fCursorGain; }
    static float FieldColourScale(const CDrawWnd& e) { return e.m_colour.m_fFieldColourScale; }
    static double ColourDrive(const CDrawWnd& e) { return e.m_colour.m_dColourDrive; }
    static double ColourBright(const CDrawWnd& e) { return e.m_colour.m_dColourBright; }
    static double Pastel(const CDrawWnd& e) { return e.m_colour.m_dPastel; }
    static void Fades(const CDrawWnd& e, float out[3]) {
        out[0] = e.m_colour.m_fFadeR;
        out[1] = e.m_colour.m_fFadeG;
        out[2] = e.m_colour.m_fFadeB;
    }
    static void SetFades(CDrawWnd& e, float r, float g, float b) {
        e.m_colour.m_fFadeR = r;
        e.m_colour.m_fFadeG = g;
        e.m_colour.m_fFadeB = b;
    }
    static double PointMagnitude(const CDrawWnd& e) { return e.m_colour.m_dPointMagnitude; }
    static uint32_t PointCap(const CDrawWnd& e) { return e.m_colour.m_nPointCap; }
    static float PointCapF(const CDrawWnd& e) { return e.m_colour.m_fPointCap; }
    static void UpdatePointCap(CDrawWnd& e) { e.UpdatePointCap(); }
    static double ToneSlopeEnd(const CDrawWnd& e) { return e.m_colour.m_dToneSlopeEnd; }
    static double ToneSlopeStart(const CDrawWnd& e) { return e.m_colour.m_dToneSlopeStart; }
    static double TrailShade(const CDrawWnd& e) { return e.m_colour.m_dTrailShade; }
    static bool Invert(const CDrawWnd& e) { return e.m_colour.m_bInvert != 0; }
    static const float* Falloff(const CDrawWnd& e) { return e.m_falloff.Data(); }
};

}  // namespace quovis
