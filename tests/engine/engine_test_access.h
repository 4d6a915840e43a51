// Test access to the engine's private state: the tables and arrays no public operation
// returns, the inner steps of a frame, and the few inputs that are set directly because no
// setter stores them on their own. Where a setter exists, the set-up calls it, so that tests
// only ever see states the engine itself can reach.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/draw_wnd.h"
#include "engine/drift.h"
#include "engine/field_sum.h"
#include "tests/engine/fixed_clock.h"

namespace quovis {

// A motion set-up: what the presets would have set, in the engine's own units.
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

struct EngineTestAccess {
    static constexpr int kHueEntries = CDrawWnd::kHueEntries;

    struct Dot {
        float x, y, vx, vy, mobility;
        bool Parked() const { return IsParked(x); }
        double Speed() const { return std::hypot(vx, vy); }
    };
    using Points = std::vector<std::pair<float, float>>;

    // ---- Set-up ----------------------------------------------------------------------------

    // Applies the set-up through the setters and starts the movers (full reset) with the given
    // seed.
    static bool Start(CDrawWnd& e, const MotionSetup& s, double seed) {
        e.m_dots.m_nDots = e.m_dots.m_nMaxDots = s.dots;
        e.m_movers.m_nMovers = s.movers;
        e.m_motion.m_nMotion = s.motion;
        e.m_style.m_nStyle = s.style;
        e.m_style.m_fGravity = s.gravity;
        e.m_style.m_fForceScaleX = 1.0f;
        e.m_style.m_nFallDir = 0;
        // Turbulence sets inertia and period together; the tests choose each on its own.
        e.m_motion.m_fMoverInertia = s.inertia;
        e.m_motion.m_fMoverPeriod = s.period;
        // Confinement is stored as the exponent the walls use.
        e.m_motion.m_dConfineExp = s.confineExp;
        e.m_motion.m_bRoundConfine = s.roundConfine ? 1 : 0;
        e.SetViscosityStored(s.viscosity);
        e.SetMotionVariant(s.variant);
        e.SetExtraTwist(s.extraTwist);
        e.SetFieldColor(s.fieldColour);
        e.SetWrapFlags(s.wrapFlags);
        e.SetActivity(s.activity);
        e.SetPace(s.pace);
        e.SetInfluenceRange(s.influenceRange);
        e.SetCanvasSize(s.width, s.height);
        e.SetReflections(s.reflections);
        e.m_bReady = 1;
        return e.ResetMovers(seed, true);
    }

    // Style, parameters 1..6, dot count and canvas for an emitter; every dot parked at rest.
    static void SetupEmitter(CDrawWnd& e, int style, int dots, int w, int h,
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

    // Reflections through the setters: n copies turned by 2 pi k / n + offset about (cx, cy).
    static void SetReflections(CDrawWnd& e, int n, bool symmetric, int cx, int cy,
                               double offset = 0.0) {
        e.m_reflect.m_dReflectAngle = offset;
        e.SetReflections(n);
        e.SetSymmetric(symmetric);
        // The centre apart from the canvas size, as a stroke-drawn pattern may move it.
        e.m_nCentreX = cx;
        e.m_nCentreY = cy;
    }
    static void SetReflectAngle(CDrawWnd& e, double a) { e.m_reflect.m_dReflectAngle = a; }

    // State the setters read or no setter stores on its own.
    static void SetCanvas(CDrawWnd& e, int w, int h) {
        e.m_nWidth = w;
        e.m_nHeight = h;
    }
    static void SetSaverMode(CDrawWnd& e, bool on) { e.m_bSaverMode = on ? 1 : 0; }
    static void SetRestartPending(CDrawWnd& e, bool on) { e.m_bRestartPending = on ? 1 : 0; }
    static void SetStyle(CDrawWnd& e, int style) { e.m_style.m_nStyle = style; }
    static void SetMotion(CDrawWnd& e, int m) { e.m_motion.m_nMotion = m; }
    static void SetMovers(CDrawWnd& e, int n) { e.m_movers.m_nMovers = n; }
    static void SetMovers(CDrawWnd& e, const Points& at) {
        e.m_movers.m_nMovers = static_cast<int>(at.size());
        for (std::size_t k = 0; k < at.size(); ++k) {
            e.m_movers.m_moverX[k] = at[k].first;
            e.m_movers.m_moverY[k] = at[k].second;
        }
    }
    static void SetDots(CDrawWnd& e, int n) { e.m_dots.m_nDots = e.m_dots.m_nMaxDots = n; }
    static void SetDotCounts(CDrawWnd& e, int dots, int maxDots) {
        e.m_dots.m_nDots = dots;
        e.m_dots.m_nMaxDots = maxDots;
    }
    static void SetDotScale(CDrawWnd& e, float s) { e.m_dots.m_fDotScale = s; }
    static void SetDotReduction(CDrawWnd& e, float r) { e.m_dots.m_fDotReduction = r; }
    static void SetLeaveTrails(CDrawWnd& e, bool on) { e.m_trails.m_bLeaveTrails = on ? 1 : 0; }
    static void SetPointMagnitude(CDrawWnd& e, double m) { e.m_colour.m_dPointMagnitude = m; }
    static void SetWrapActive(CDrawWnd& e, int w) { e.m_motion.m_nWrapActive = w; }
    static void SetDamp(CDrawWnd& e, float x, float y) {
        e.m_motion.m_fDampX = x;
        e.m_motion.m_fDampY = y;
    }
    static void SetConfineExp(CDrawWnd& e, double c) { e.m_motion.m_dConfineExp = c; }
    static void SetGravity(CDrawWnd& e, float g) { e.m_style.m_fGravity = g; }
    static void SetFallDir(CDrawWnd& e, int d) { e.m_style.m_nFallDir = d; }
    static void SetFieldColour(CDrawWnd& e, bool on) { e.m_motion.m_bFieldColor = on ? 1 : 0; }
    static void SetViscosity(CDrawWnd& e, double v) { e.m_motion.m_dViscosity = v; }
    static void SetForceReach(CDrawWnd& e, float r) { e.m_motion.m_fForceReach = r; }
    static void SetCursor(CDrawWnd& e, float x, float y, bool interaction) {
        e.m_strokes.m_fCursorX = x;
        e.m_strokes.m_fCursorY = y;
        e.m_strokes.m_bInteraction = interaction ? 1 : 0;
    }
    static void SetColourDepth(CDrawWnd& e, int bits) { e.m_nColourDepth = bits; }
    // Brightness cap of one plot, 8.8 fixed point (130560 = off).
    static void SetPointCap(CDrawWnd& e, uint32_t cap) {
        e.m_colour.m_nPointCap = cap;
        e.m_colour.m_fPointCap = static_cast<float>(cap) / 256.0f;
    }
    static void SetShimmerDir(CDrawWnd& e, float x, float y) {
        e.m_look.m_fShimmerDirX = x;
        e.m_look.m_fShimmerDirY = y;
    }
    static void SetStroke(CDrawWnd& e, const Points& points, float gap) {
        e.m_strokes.m_nDrawPoints = static_cast<int>(points.size());
        for (std::size_t k = 0; k < points.size(); ++k) {
            e.m_strokes.m_drawX[k] = points[k].first;
            e.m_strokes.m_drawY[k] = points[k].second;
        }
        e.m_strokes.m_fDrawGap = gap;
    }

    // Style parameters and the emitter state.
    // All kStyleParamSlots values; n becomes the parameter count.
    static void SetParams(CDrawWnd& e, int n, const float* values) {
        e.m_style.m_nStyleParams = n;
        for (int j = 0; j < kStyleParamSlots; ++j) e.m_style.m_fStyleParam[j] = values[j];
    }
    static void SetParam(CDrawWnd& e, int j, float v) { e.m_style.m_fStyleParam[j] = v; }
    static void SetStyleParam(CDrawWnd& e, int j, float v) { e.m_style.m_fStyleParam[j] = v; }
    static void SetLive(CDrawWnd& e, int j, float v) { e.m_style.m_fStyleParamLive[j] = v; }
    static void SetEmitState(CDrawWnd& e, int cursor, int counter, double phase, double phase2) {
        e.m_style.m_nEmitCursor = cursor;
        e.m_style.m_nEmitCounter = counter;
        e.m_style.m_dEmitPhase = phase;
        e.m_style.m_dEmitPhase2 = phase2;
    }
    static void SetEmitCursor(CDrawWnd& e, int cursor) { e.m_style.m_nEmitCursor = cursor; }
    static void SetStartParked(CDrawWnd& e, bool on) { e.m_style.m_bStartParked = on ? 1 : 0; }
    static void SetForces(CDrawWnd& e, float gravity, float forceX, int fallDir) {
        e.m_style.m_fGravity = gravity;
        e.m_style.m_fForceScaleX = forceX;
        e.m_style.m_nFallDir = fallDir;
    }
    static void ClearStyleParamsChanged(CDrawWnd& e) { e.m_style.m_bStyleParamsChanged = 0; }
    static void ClearReflectionsChanged(CDrawWnd& e) { e.m_reflect.m_bReflectionsChanged = 0; }
    static float& Param(CDrawWnd& e, int i) { return e.m_style.m_fStyleParam[i]; }
    static float& Live(CDrawWnd& e, int i) { return e.m_style.m_fStyleParamLive[i]; }
    static float& Gravity(CDrawWnd& e) { return e.m_style.m_fGravity; }
    static double& Viscosity(CDrawWnd& e) { return e.m_motion.m_dViscosity; }
    static double& PatternAngle(CDrawWnd& e) { return e.m_motion.m_dPatternAngle; }

    // ---- Steps of a frame ------------------------------------------------------------------

    static bool Place(CDrawWnd& e, double seed) { return e.InitialPlacement(seed); }
    static bool Emit(CDrawWnd& e, int first, int last, double framesPerDot, int interval) {
        return e.Emit(first, last, framesPerDot, interval);
    }
    static void EmitDots(CDrawWnd& e) { e.EmitDots(); }

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
    // ---- For the stage benchmarks (bench/): the frame's pieces one at a time ----
    static WorkerPool* Pool(CDrawWnd& e) { return e.m_pPool.get(); }
    // The frame's movers as the kernel reads them (after PrepareMotionFrame).
    static FieldSources Sources(const CDrawWnd& e) { return e.FrameFieldSources(); }
    static FieldQuadrants Quadrants(const CDrawWnd& e) { return e.FrameFieldQuadrants(); }
    static int FieldImages(const CDrawWnd& e) { return e.m_movers.m_nFieldImages; }
    static float WallK1(const CDrawWnd& e) { return e.m_motion.m_fWallK1; }
    static float WallK2(const CDrawWnd& e) { return e.m_motion.m_fWallK2; }
    // Plots a band's dots; `collect` keeps the plots for the stripes instead of drawing.
    static void PlotBand(CDrawWnd& e, DotBand& band, bool generic, bool collect = false) {
        band.splatCount = 0;
        for (int i = band.First; i <= band.Last; ++i) {
            e.PlotDotImages(e.m_dots.m_pX[i], e.m_dots.m_pY[i], e.m_dots.m_pDotR[i],
                            e.m_dots.m_pDotG[i], e.m_dots.m_pDotB[i], e.m_dots.m_pVX[i],
                            e.m_dots.m_pVY[i], generic, collect ? &band : nullptr);
        }
        if (collect) e.SortSplatsByStripe(band);
    }
    // The stripes for the canvas as it is; then a band's worker draws its stripes.
    static void PrepareStripes(CDrawWnd& e) {
        e.m_nStripeHeight = 0;
        e.PrepareStripes(e.m_pCanvas->Surface().height);
    }
    static void DrawBandStripes(CDrawWnd& e, DotBand& band) { CDrawWnd::ApplySplatsJob(&e, &band); }
    // Whether stripes draw "Points" with the vector kernel (true) or plot by plot.
    static void SetVectorSplats(CDrawWnd& e, bool on) { e.m_bVectorSplats = on; }
    static void SortSplatsByStripe(const CDrawWnd& e, DotBand& band) { e.SortSplatsByStripe(band); }
    static void ApplySplatStripe(CDrawWnd& e, int stripe) { e.ApplySplatStripe(stripe); }
    static int StripeCount(const CDrawWnd& e) { return e.m_nStripes; }
    static int DotCount(const CDrawWnd& e) { return e.m_dots.m_nDots; }
    static int ImagesPerDot(const CDrawWnd& e) { return e.ImagesPerDot(); }

    // The motion pass as the frame step runs it: the engine's own bands on its own pool.
    static void RunMotionBands(CDrawWnd& e) { e.RunMotionBands(); }
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
    static void UpdatePointCap(CDrawWnd& e) { e.UpdatePointCap(); }

    // Drawing: the plotting functions the bands call.
    // Hands the engine a canvas and returns a pointer to it (the engine owns it).
    template <class Canvas>
    static Canvas* Adopt(CDrawWnd& e, std::unique_ptr<Canvas> canvas) {
        Canvas* raw = canvas.get();
        e.AdoptCanvas(std::move(canvas));
        return raw;
    }
    static void PlotDot(CDrawWnd& e, float x, float y, float c0, float c1, float c2) {
        e.PlotDot(x, y, c0, c1, c2);
    }
    static void PlotDotImages(CDrawWnd& e, float x, float y, float c0, float c1, float c2, float vx,
                              float vy, bool generic = false) {
        e.PlotDotImages(x, y, c0, c1, c2, vx, vy, generic);
    }
    static CDrawWnd::DotColour Shimmer(CDrawWnd& e, float vx, float vy, float c0, float c1,
                                       float c2) {
        return e.ShimmerColour(vx, vy, c0, c1, c2);
    }
    static double Coverage(int style, double d) { return CDrawWnd::DiscCoverage(style, d); }

    // ---- Read-back -------------------------------------------------------------------------

    // Dots.
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
    static const float* DotBlock(const CDrawWnd& e) { return e.m_dots.m_dotBlock.Data(); }
    static std::size_t DotBlockCount(const CDrawWnd& e) { return e.m_dots.m_dotBlock.Count(); }
    static void DotArrays(const CDrawWnd& e, const float* out[CDrawWnd::kDotArrays]) {
        const float* a[] = {e.m_dots.m_pDotR,  e.m_dots.m_pDotG,     e.m_dots.m_pDotB,
                            e.m_dots.m_pX,     e.m_dots.m_pY,        e.m_dots.m_pVX,
                            e.m_dots.m_pVY,    e.m_dots.m_pMobility, e.m_dots.m_pSpare1,
                            e.m_dots.m_pSpare2};
        for (int i = 0; i < CDrawWnd::kDotArrays; ++i) out[i] = a[i];
    }
    static int Dots(const CDrawWnd& e) { return e.m_dots.m_nDots; }
    static int MaxDots(const CDrawWnd& e) { return e.m_dots.m_nMaxDots; }
    static int Grains(const CDrawWnd& e) { return e.m_dots.m_nGrains; }
    static float DotScale(const CDrawWnd& e) { return e.m_dots.m_fDotScale; }
    static float DotReduction(const CDrawWnd& e) { return e.m_dots.m_fDotReduction; }
    static float SpeedScale(const CDrawWnd& e) { return e.m_dots.m_fSpeedScale; }
    static int LivingDots(const CDrawWnd& e) {
        int n = 0;
        for (int i = 0; i < e.m_dots.m_nDots; ++i) n += !IsParked(e.m_dots.m_pX[i]);
        return n;
    }
    static std::vector<float> Positions(const CDrawWnd& e) {
        std::vector<float> p(e.m_dots.m_pX, e.m_dots.m_pX + e.m_dots.m_nDots);
        p.insert(p.end(), e.m_dots.m_pY, e.m_dots.m_pY + e.m_dots.m_nDots);
        return p;
    }
    static void Park(CDrawWnd& e, int first, int last) {
        for (int i = first; i <= last; ++i) e.m_dots.m_pX[i] = e.m_dots.m_pY[i] = kParked;
    }
    static void PlaceAt100(CDrawWnd& e, int first, int last) {
        for (int i = first; i <= last; ++i) {
            e.m_dots.m_pX[i] = 100.0f;
            e.m_dots.m_pY[i] = 100.0f;
        }
    }
    // The first dot that is not finite or further than slack (a share of the canvas) off it,
    // or -1.
    static int FirstStrayDot(const CDrawWnd& e, float slack) {
        const float w = static_cast<float>(e.m_nWidth), h = static_cast<float>(e.m_nHeight);
        for (int i = 0; i < e.m_dots.m_nDots; ++i) {
            const float x = e.m_dots.m_pX[i], y = e.m_dots.m_pY[i];
            if (IsParked(x)) continue;
            if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(e.m_dots.m_pVX[i]) ||
                !std::isfinite(e.m_dots.m_pVY[i]))
                return i;
            if (x < -slack * w || x > (1 + slack) * w || y < -slack * h || y > (1 + slack) * h)
                return i;
        }
        return -1;
    }

    // Movers and the frame's field.
    static float* MoverX(CDrawWnd& e) { return e.m_movers.m_moverX; }
    static float* MoverY(CDrawWnd& e) { return e.m_movers.m_moverY; }
    static float* MoverVX(CDrawWnd& e) { return e.m_movers.m_moverVX; }
    static float* MoverVY(CDrawWnd& e) { return e.m_movers.m_moverVY; }
    static float* FlowX(CDrawWnd& e) { return e.m_movers.m_flowVX; }
    static float* FlowY(CDrawWnd& e) { return e.m_movers.m_flowVY; }
    static const float* FlowX(const CDrawWnd& e) { return e.m_movers.m_flowVX; }
    static const float* FlowY(const CDrawWnd& e) { return e.m_movers.m_flowVY; }
    static float* Strength(CDrawWnd& e) { return e.m_movers.m_moverStrength; }
    static const float* Weight(const CDrawWnd& e) { return e.m_movers.m_moverWeight; }
    static int32_t* MoverDot(CDrawWnd& e) { return e.m_movers.m_moverDot; }
    static int MoverDot(const CDrawWnd& e, int k) { return e.m_movers.m_moverDot[k]; }
    static float* MoverHue(CDrawWnd& e) { return e.m_movers.m_moverHue; }
    static const float* MoverR(const CDrawWnd& e) { return e.m_movers.m_moverR; }
    static const float* MoverG(const CDrawWnd& e) { return e.m_movers.m_moverG; }
    static const float* MoverB(const CDrawWnd& e) { return e.m_movers.m_moverB; }
    static double* Heading(CDrawWnd& e) { return e.m_movers.m_moverHeading; }
    static int Movers(const CDrawWnd& e) { return e.m_movers.m_nMovers; }

    static bool HasPool(const CDrawWnd& e) { return e.m_pPool != nullptr; }
    static DotBand* BandRecords(CDrawWnd& e) { return e.m_bands.get(); }
    static const DotBand* BandRecords(const CDrawWnd& e) { return e.m_bands.get(); }

    // Pattern and motion.
    static int Style(const CDrawWnd& e) { return e.m_style.m_nStyle; }
    static int Motion(const CDrawWnd& e) { return e.m_motion.m_nMotion; }
    static double PatternSeed(const CDrawWnd& e) { return e.m_motion.m_dPatternSeed; }
    static double PatternAngle(const CDrawWnd& e) { return e.m_motion.m_dPatternAngle; }
    static bool RestartPending(const CDrawWnd& e) { return e.m_bRestartPending != 0; }
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
    static float MarginY(const CDrawWnd& e) { return e.m_motion.m_fMarginY; }
    static float ConfineR(const CDrawWnd& e) { return e.m_motion.m_fConfineR; }
    static float ConfineR2(const CDrawWnd& e) { return e.m_motion.m_fConfineR2; }
    static float HueOffset(const CDrawWnd& e) { return e.m_motion.m_fHueOffset; }

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

    // Style and emitters.
    static const float* Params(const CDrawWnd& e) { return e.m_style.m_fStyleParam; }
    static int ParamCount(const CDrawWnd& e) { return e.m_style.m_nStyleParams; }
    static int StyleParamCount(const CDrawWnd& e) { return e.m_style.m_nStyleParams; }
    static float StyleParam(const CDrawWnd& e, int i) { return e.m_style.m_fStyleParam[i]; }
    static float StyleParamLive(const CDrawWnd& e, int i) { return e.m_style.m_fStyleParamLive[i]; }
    static float Live(const CDrawWnd& e, int j) { return e.m_style.m_fStyleParamLive[j]; }
    static bool StyleParamsChanged(const CDrawWnd& e) {
        return e.m_style.m_bStyleParamsChanged != 0;
    }
    static int GroupSize(const CDrawWnd& e) { return e.m_style.m_nGroupSize; }
    static int LineCycle(const CDrawWnd& e) { return e.m_style.m_nLineCycle; }
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
    static double PointMagnitude(const CDrawWnd& e) { return e.m_colour.m_dPointMagnitude; }
    static uint32_t PointCap(const CDrawWnd& e) { return e.m_colour.m_nPointCap; }
    static float PointCapF(const CDrawWnd& e) { return e.m_colour.m_fPointCap; }
    static bool Invert(const CDrawWnd& e) { return e.m_colour.m_bInvert != 0; }
    static const float* Falloff(const CDrawWnd& e) { return e.m_falloff.Data(); }

    // Dot look: disc kernels, shimmer and jitter.
    static const int16_t* Kernel(const CDrawWnd& e, int fx, int fy) {
        return e.m_look.m_discKernel[fx][fy];
    }
    static int KernelRow(const CDrawWnd& e) { return e.m_look.m_nKernelRow; }
    static float ShimmerDirX(const CDrawWnd& e) { return e.m_look.m_fShimmerDirX; }
    static float ShimmerDirY(const CDrawWnd& e) { return e.m_look.m_fShimmerDirY; }
    static bool ShimmerOn(const CDrawWnd& e) { return e.m_look.m_bShimmer != 0; }
    static bool GlitterOn(const CDrawWnd& e) { return e.m_look.m_bGlitter != 0; }
    static float ShineAmount(const CDrawWnd& e) { return e.m_look.m_fShineAmount; }
    static float ShineExp(const CDrawWnd& e) { return e.m_look.m_fShineExp; }
    static float SparkAmount(const CDrawWnd& e) { return e.m_look.m_fSparkAmount; }
    static float SparkExp(const CDrawWnd& e) { return e.m_look.m_fSparkExp; }
    static float SparkBaseExp(const CDrawWnd& e) { return e.m_look.m_fSparkBaseExp; }
    static int JitterPos(const CDrawWnd& e) { return e.m_nJitterPos; }
    static const float* Jitter(const CDrawWnd& e) { return e.m_jitter.Data(); }

    // Trails, pacing, slideshow, drift.
    static int TrailLength(const CDrawWnd& e) { return e.m_trails.m_nTrailLength; }
    static int Fuzziness(const CDrawWnd& e) { return e.m_trails.m_nFuzziness; }
    static int TargetFps(const CDrawWnd& e) { return e.m_frame.m_nTargetFps; }
    static double FrameGoal(const CDrawWnd& e) { return e.m_frame.m_dFrameGoal; }
    static uint32_t SlideIntervalMs(const CDrawWnd& e) { return e.m_slides.m_dwSlideIntervalMs; }
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

namespace test {

// The engine options most tests use: one worker, so every run draws the same random numbers
// in the same order.
inline EngineOptions OneWorker() {
    EngineOptions o;
    o.workerCount = 1;
    return o;
}

// A one-worker engine on a clock fixed at (ms, tick), so that seeding it repeats.
struct SeededEngine {
    explicit SeededEngine(uint32_t ms = 1000, uint32_t tick = 2000)
        : clock(ms, tick), e(std::make_unique<CDrawWnd>(clock, OneWorker())) {}
    CDrawWnd& operator*() { return *e; }
    FixedClock clock;
    std::unique_ptr<CDrawWnd> e;
};

}  // namespace test
}  // namespace quovis
