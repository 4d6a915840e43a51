// CDrawWnd: the drawing engine. One instance per output (each monitor's saver window, the
// control-panel preview, the configuration window's live preview).
//
// Contract with the host
//   Construction   CDrawWnd(clock [, options]). The host passes SystemClock::Instance(); tests
//                  pass a fixed clock. The engine never reads a clock of its own, so a fixed
//                  clock and fixed seeds give the same pictures on every run.
//   Output         CreateOutput(frameRate) once the window exists. The presenter lives in a
//                  layer above the engine: that layer overrides CreateOutput and hands its
//                  object over with AdoptCanvas. Windows, GL contexts, timers and fonts belong
//                  to the host; the engine holds none of them.
//   Pattern        StartPattern(seed, motion, style, movers, keepDots) chooses and starts a
//                  pattern; ResetPattern / ResetMovers restart parts of it; StopPattern halts
//                  it. Each takes the engine lock itself.
//   Frames         The host's frame function takes EngineLock() for the whole frame and steps
//                  the engine on that thread (the frame thread). Setters from other threads
//                  (configuration window, audio) take the same lock.
//   Teardown       Destroy the engine from the thread that owns it, after the host has stopped
//                  calling it from other threads.
//
// Several engines live in one process at once. Each owns all of its state, including every
// random generator (even the "rand()" it uses), its worker pool and its tables; there are no
// globals between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/elapsed_time.h"
#include "base/worker_pool.h"
#include "engine/aligned_block.h"
#include "engine/dot_band.h"
#include "engine/engine_canvas.h"
#include "engine/random.h"

namespace quovis {

// Result codes of the engine's int-returning operations.
constexpr int kEngineOk = 0;
constexpr int kEngineOutOfMemory = -1;
constexpr int kEngineNoOutput = -2;  // no presenter is available to create

struct EngineOptions {
    // Worker threads for the dot bands; 0 = one per processor this process may use. 1 runs
    // every band on the frame thread. Limited to 32.
    int workerCount = 0;
    // Test hook: behave as if the dot store could not be allocated.
    bool failAllocationForTesting = false;
};

class CDrawWnd {
  public:
    static constexpr int kMaxDots = 144008;
    static constexpr int kDotArrays = 10;
    // Each dot array starts on a cache line: the stride is kMaxDots rounded up to 16 floats.
    static constexpr std::size_t kDotStride = AlignedFloats::PaddedCount(kMaxDots);
    static constexpr int kMaxMovers = 32;
    static constexpr int kStyleParams = 6;
    static constexpr int kMaxReflections = 60;
    static constexpr int kJitterEntries = 16384;  // (x, y) pairs
    static constexpr int kFalloffSize = 16384;
    static constexpr int kFalloffCentre = 8192;
    static constexpr int kFalloffWidth = 2048;
    static constexpr int kMotionCount = 6;
    static constexpr int kStyleCount = 30;
    static constexpr int kDrawStyle = 26;
    static constexpr float kParked = -100000.0f;
    static constexpr float kUnsetLiveParam = -100000.0f;

    explicit CDrawWnd(EngineClock& clock, const EngineOptions& options = {});
    virtual ~CDrawWnd();
    CDrawWnd(const CDrawWnd&) = delete;
    CDrawWnd& operator=(const CDrawWnd&) = delete;

    // Creates the presenter for a frame rate. The engine layer has no presenter of its own, so
    // this base version creates nothing and returns kEngineNoOutput; the presenter's layer
    // overrides it.
    virtual int CreateOutput(double frameRate);

    // False when construction could not get the memory for the dot store, the bands or the
    // tables. Such an engine refuses to start patterns; it is safe to destroy.
    bool IsUsable() const;

    // The engine lock. Recursive: preset application holds it while it calls StartPattern,
    // and the frame step holds it while pattern selection calls setters that take it again.
    std::recursive_mutex& EngineLock() const { return m_csEngine; }

    // Starts a pattern. -1 for motion, style or movers keeps the current value. Fails,
    // changing nothing, when a value is still -1 afterwards or lies outside its range
    // (motion 0..5, style 0..29, movers at least 1; more than 32 movers are limited to 32).
    // A new motion or style always places the dots afresh, whatever keepDots says.
    bool StartPattern(double seed, int motion, int style, int movers, bool keepDots);
    // Re-seeds the running pattern: places the dots again unless keepDots, then resets the
    // movers. seed is in [-0.5, 0.5].
    bool ResetPattern(double seed, bool keepDots);
    // Re-initialises the movers; full also re-places them.
    bool ResetMovers(double seed, bool full);
    bool StopPattern();
    bool IsReady() const;
    // The "Draw" style, whose dots the mouse lays down.
    bool IsDrawStyle() const;

    // Random numbers of this engine (frame thread only). See EngineRandom.
    void Seed(int32_t seed);
    double RandomUniform() { return m_rng.RandomUniform(); }
    int32_t RandomInteger() { return m_rng.RandomInteger(); }
    float RandomSigned(float a) { return m_rng.RandomSigned(a); }
    double PinkNoise(int channel) { return m_rng.PinkNoise(channel); }

    // Refills the jitter table: random directions with length scale * u^power. Refuses
    // (table unchanged) a scale or power that is not a finite number.
    bool BuildJitter(double scale, double power);

    int BandCount() const { return m_nBands; }

    // ---- Pattern styles: derived values, placement, new-dot colour (public) ---------------

    // ---- Emitters (public) -----------------------------------------------------------------

    // ---- Motion and colour (public) --------------------------------------------------------

    // ---- Dots, trails and shimmer (public) -------------------------------------------------

    // ---- Live setters, drift, strokes and mouse (public) -----------------------------------

  protected:
    // Takes ownership of the presenter created by an override of CreateOutput.
    void AdoptCanvas(std::unique_ptr<EngineCanvas> canvas);

  private:
    friend struct CDrawWndTestPeer;

    bool AllocateDotStore(bool simulateFailure);
    void CreateWorkers(int requested);
    void BuildFalloff();
    bool InitialPlacement(double seed);
    bool InitMoverField(double seed, bool full);
    double MixSeed(double seed);

    // Test peers, one per area, so each area's tests reach the state they check.
    friend struct StyleTestPeer;
    friend struct EmitterTestPeer;
    friend struct MotionTestPeer;
    friend struct CanvasTestPeer;
    friend struct SetterTestPeer;

    // ---- Pattern styles (private functions) -------------------------------------------------

    // ---- Emitters (private functions) -------------------------------------------------------

    // ---- Motion and colour (private functions) ----------------------------------------------

    // ---- Dots, trails and shimmer (private functions) ---------------------------------------

    // ---- Live setters, drift, strokes and mouse (private functions) -------------------------

    EngineClock& m_clock;

    // ---- 1. Lock -------------------------------------------------------------------------
    mutable std::recursive_mutex m_csEngine;

    // ---- 2. Canvas geometry --------------------------------------------------------------
    int32_t m_nWidth = 0;    // a multiple of 4
    int32_t m_nHeight = 0;   // even
    int32_t m_nCentreX = 0;  // centre of the reflections
    int32_t m_nCentreY = 0;

    // ---- 3. Dot store (structure of arrays, index = dot number) --------------------------
    AlignedFloats m_dotBlock;  // kDotArrays x kDotStride floats
    float* m_pDotR = nullptr;  // colour, -100..255 (negative draws nothing)
    float* m_pDotG = nullptr;
    float* m_pDotB = nullptr;
    float* m_pX = nullptr;  // position in canvas pixels; x <= -99999 = parked
    float* m_pY = nullptr;
    float* m_pVX = nullptr;  // velocity in pixels per frame
    float* m_pVY = nullptr;
    float* m_pMobility = nullptr;  // multiplies the damping; 1 at pattern start
    float* m_pSpare1 = nullptr;
    float* m_pSpare2 = nullptr;
    int32_t m_nDots = 0;           // dots in use
    int32_t m_nMaxDots = 0;        // ceiling for styles that grow m_nDots
    int32_t m_nGrains = 0;         // count the preset asked for
    float m_fDotScale = 1.0f;      // m_nDots / m_nGrains
    float m_fDotReduction = 1.0f;  // count reduction applied by the dot-count setter
    float m_fSpeedScale = 1.0f;    // the share of that reduction due to machine speed

    // ---- 4. Movers (the flow field) ------------------------------------------------------
    int32_t m_nMovers = -1;  // active movers, 1..32; -1 = no pattern yet
    float m_moverX[kMaxMovers] = {};
    float m_moverY[kMaxMovers] = {};
    float m_moverVX[kMaxMovers] = {};
    float m_moverVY[kMaxMovers] = {};
    alignas(64) float m_flowVX[kMaxMovers] = {};  // push given to dots; read by vector loops
    alignas(64) float m_flowVY[kMaxMovers] = {};
    alignas(64) float m_moverWeight[kMaxMovers] = {};  // reach weight
    float m_moverStrength[kMaxMovers] = {};
    double m_moverHeading[kMaxMovers] = {};
    double m_moverPhase[kMaxMovers] = {};
    double m_moverTurn[kMaxMovers] = {};
    double m_moverSpeed[kMaxMovers] = {};
    float m_moverWanderX[kMaxMovers] = {};
    float m_moverWanderY[kMaxMovers] = {};
    float m_moverNoiseX[kMaxMovers] = {};
    float m_moverNoiseY[kMaxMovers] = {};
    float m_moverSpinRate[kMaxMovers] = {};  // radians per frame
    float m_moverSpinSin[kMaxMovers] = {};
    float m_moverSpinCos[kMaxMovers] = {};
    float m_moverHue[kMaxMovers] = {};  // degrees
    float m_moverR[kMaxMovers] = {};
    float m_moverG[kMaxMovers] = {};
    float m_moverB[kMaxMovers] = {};
    int32_t m_moverDot[kMaxMovers] = {};  // dot followed; negative = not yet attached

    // ---- 5. Pattern style ----------------------------------------------------------------
    int32_t m_nStyle = -1;  // 0..29; -1 = no pattern yet
    int32_t m_nStyleParams = 0;
    float m_fStyleParam[kStyleParams] = {};
    float m_fStyleParamLive[kStyleParams] = {};  // drifting copies; kUnsetLiveParam = none
    uint8_t m_bStyleParamsChanged = 0;
    int32_t m_nGroupSize = 0;     // dots per emitted group
    float m_fGravity = 0.0f;      // added to every dot's vy each frame
    int32_t m_nFallDir = 0;       // 0 none, 1 upward, 2 downward
    float m_fForceScaleX = 1.0f;  // x share of the field's push
    double m_dEmitPhase = 0.0;
    double m_dEmitPhase2 = 0.0;
    int32_t m_nEmitCursor = 0;
    int32_t m_nEmitCounter = 0;
    uint8_t m_bEmitEveryFrame = 0;

    // ---- 6. Motion -----------------------------------------------------------------------
    int32_t m_nMotion = -1;        // 0..5; -1 = no pattern yet
    int32_t m_nMotionVariant = 0;  // 0..4
    double m_dActivity = 0.0;
    double m_dPace = 0.0;
    double m_dViscosity = 0.0;  // 1..401 once set
    float m_fDampX = 0.0f;
    float m_fDampY = 0.0f;
    float m_fMoverInertia = 0.0f;
    float m_fMoverPeriod = 0.0f;
    float m_fInfluenceRange = 0.0f;  // 0..100
    float m_fForceReach = 0.0f;
    float m_fMoverSpeedK = 0.11f;
    int32_t m_bExtraTwist = 0;
    int32_t m_nWrapFlags = 0;
    int32_t m_nWrapActive = 0;
    double m_dConfine = 500.0;  // the raw confinement value
    double m_dConfineExp = 0.0;
    uint8_t m_bRoundConfine = 0;
    int32_t m_bFieldColor = 0;
    uint8_t m_bStartParked = 0;  // dots begin parked and appear by emission
    double m_dPatternAngle = 0.0;
    double m_dPatternSin = 0.0;
    double m_dPatternCos = 1.0;
    double m_dPatternSeed = 0.0;
    float m_fHueOffset = 0.0f;  // -720..720

    // Colour settings whose start values construction fixes; the colour model owns them.
    double m_dColourBright = 0.5;
    double m_dPastel = 0.15;
    float m_fFadeR = 0.01242345f;  // per-frame decay of each channel
    float m_fFadeG = 0.01612314f;
    float m_fFadeB = 0.00973743f;

    // ---- 7. Reflections ------------------------------------------------------------------
    // One image until a preset says otherwise, so that counts divided by the reflection
    // count and the reflection loop are sound before the first preset is applied.
    int32_t m_nReflections = 1;  // 1..60
    int32_t m_bSymmetric = 0;
    double m_dReflectAngle = 0.0;
    int32_t m_nReflectOrient = 0;
    float m_fReflCos[kMaxReflections] = {1.0f};
    float m_fReflSin[kMaxReflections] = {};

    // ---- 8. Random numbers ---------------------------------------------------------------
    EngineRandom m_rng;

    // ---- 9. Tables -----------------------------------------------------------------------
    AlignedFloats m_jitter;    // kJitterEntries (x, y) pairs
    int32_t m_nJitterPos = 0;  // even float index, masked to 0..32767 by its users
    AlignedFloats m_falloff;   // kFalloffSize entries, bell about kFalloffCentre

    // ---- 10. Workers ---------------------------------------------------------------------
    std::unique_ptr<WorkerPool> m_pPool;  // only with more than one worker
    int32_t m_nBands = 1;
    std::unique_ptr<DotBand[]> m_bands;  // one per worker

    // ---- 11. Output ----------------------------------------------------------------------
    std::unique_ptr<EngineCanvas> m_pCanvas;  // null until CreateOutput has made one
    int32_t m_nColourDepth = 0;

    // ---- 12. Preset identity -------------------------------------------------------------
    std::u16string m_presetName;
    std::u16string m_presetText;

    // ---- 13. Run state -------------------------------------------------------------------
    int32_t m_bSaverMode = 0;
    int32_t m_bReady = 0;  // a pattern has been started and not stopped
    int32_t m_bRestartPending = 0;

    // ---- 14. Cursor ----------------------------------------------------------------------
    float m_fCursorX = -1.0f;  // canvas pixels; -1 = no cursor
    float m_fCursorY = -1.0f;

    // ---- Pattern styles: derived values ---------------------------------------------------
    float m_fEmitSpeed = 0.0f;  // launch speed of emitted dots, derived from the style

    // ---- Emitters: cursors and phases kept between emission events -------------------------

    // ---- Motion and colour ----------------------------------------------------------------

    // ---- Dots, trails and shimmer ---------------------------------------------------------

    // ---- Live setters, drift, strokes and mouse -------------------------------------------
    static constexpr int kMaxDrawPoints = 4096;
    float m_drawX[kMaxDrawPoints] = {};  // stroke points as fractions of the window, 0.001..0.999
    float m_drawY[kMaxDrawPoints] = {};
    int32_t m_nDrawPoints = 0;
    float m_fDrawGap = 100.0f;  // mean spacing of the stroke points; 100 for 20 points or fewer
};

}  // namespace quovis
