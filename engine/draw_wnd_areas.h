// The engine's state, one struct per area. CDrawWnd holds one of each (m_dots, m_movers,
// ...); the functions of an area's source file are the ones that change it. Kept apart from
// draw_wnd.h so that the class declaration reads as the engine's interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/aligned_block.h"
#include "engine/frame_hooks.h"
#include "engine/vocabulary.h"

namespace quovis::engine_areas {

// Sizes the areas are laid out for; CDrawWnd publishes them as its own constants.
constexpr int kMaxMovers = 32;
constexpr int kMaxReflections = 60;
constexpr int kHueEntries = 1024;
constexpr int kKernelSteps = 33;
constexpr int kMaxDrawPoints = 4096;

struct DotStore {
    AlignedFloats m_dotBlock;  // kDotArrays x kDotStride floats
    float* m_pDotR = nullptr;  // colour, -100..255 (negative draws nothing)
    float* m_pDotG = nullptr;
    float* m_pDotB = nullptr;
    float* m_pX = nullptr;  // position in canvas pixels; see IsParked
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
    double m_dMachineSpeed = 1.0;  // start-up speed probe; below 1 means fewer dots
    int32_t m_bFullCount = 0;      // a preview engine runs the full dot count
};

struct MoverField {
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

    // The movers as field sources for the frame (PrepareFieldSources): active movers
    // only, padded with zero entries to whole vector lanes; the colour arrays hold the
    // field-based colour already scaled.
    alignas(64) float m_fieldX[kMaxMovers] = {};
    alignas(64) float m_fieldY[kMaxMovers] = {};
    alignas(64) float m_fieldFlowX[kMaxMovers] = {};
    alignas(64) float m_fieldFlowY[kMaxMovers] = {};
    alignas(64) float m_fieldWeight[kMaxMovers] = {};
    alignas(64) float m_fieldR[kMaxMovers] = {};
    alignas(64) float m_fieldG[kMaxMovers] = {};
    alignas(64) float m_fieldB[kMaxMovers] = {};
    int32_t m_nFieldCount = 0;
    // With wrapping the field is summed over four images of the movers, chosen by the
    // dot's quadrant: for quadrant q, image j is (signX, offsetX, signY, offsetY) at
    // m_fieldImage[q][4 * j].
    float m_fieldImage[4][16] = {};
    int32_t m_nFieldImages = 1;

    double m_dFlowInitKey = 0.123;  // what InitFlowVectors last ran for; 0.123 forces a run
    uint32_t m_dwCursorJumpMs = 0;  // when mover 0 last jumped onto the pointer
    uint8_t m_bCursorPlaced = 0;    // mover 0 has been on the pointer since the pattern start
    uint8_t m_bWarpBeat = 0;        // set by the audio drive (any thread), used by "Warp"
    // Set by the audio drive (any thread), taken by the emission in "Recursive" motion.
    std::atomic<uint8_t> m_bAttachBeat{0};
    int32_t m_nBeatMover = 0;  // the mover the next such beat attaches
    float m_fFlowAvgX = 0.0f;  // slow average of mover 1's flow
    float m_fFlowAvgY = 0.0f;
};

struct StyleState {
    int32_t m_nStyle = -1;  // 0..29; -1 = no pattern yet
    int32_t m_nStyleParams = 0;
    float m_fStyleParam[kStyleParamSlots] = {};
    float m_fStyleParamLive[kStyleParamSlots] = {};  // drifting copies; kUnsetLiveParam = none
    uint8_t m_bStyleParamsChanged = 0;
    int32_t m_nGroupSize = 0;     // dots per emitted group
    float m_fGravity = 0.0f;      // added to every dot's vy each frame
    int32_t m_nFallDir = 0;       // 0 none, 1 upward, 2 downward
    float m_fForceScaleX = 1.0f;  // x share of the field's push
    uint8_t m_bStartParked = 0;   // dots begin parked and appear by emission
    double m_dEmitPhase = 0.0;
    double m_dEmitPhase2 = 0.0;
    int32_t m_nEmitCursor = 0;
    int32_t m_nEmitCounter = 0;
    uint8_t m_bEmitEveryFrame = 0;
    float m_fEmitSpeed = 0.0f;  // launch speed of emitted dots, derived from the style
    // Grey of new dots: (u^exp * scale + offset) * brightness, u uniform in [0, 1).
    float m_fNewDotExp = 2.0f;
    float m_fNewDotOffset = 0.0f;
    float m_fNewDotScale = 1.0f;

    // The figure styles walk their figure one event at a time, and these cursors remember
    // where the last event stopped. They belong to the engine rather than the process, so
    // that engines sharing a process never move each other's figures, and a pattern start
    // deliberately leaves them alone: a restarted figure carries on where it was.
    int32_t m_nCircleCycle = 0;      // "Circle": event number modulo the emission interval
    int32_t m_nDrawCycle = 0;        // "Draw"
    int32_t m_nPolygonCycle = 0;     // "Polygon"
    int32_t m_nCurveCycle = 0;       // "Curves"
    int32_t m_nLineCycle = 0;        // "Lines (Horizontal)": the line fed last
    int32_t m_nBarCycle = 0;         // "Lines (Vertical)": the bar fed last
    int32_t m_nFloaterCursor = 0;    // "Floaters": the floater that emits next
    double m_dFloaterPhase = 0.0;    // "Floaters": steps each time every floater has emitted
    double m_dFleuretBreath1 = 0.0;  // "Fleuret (Spirals)": the two breathing radii
    double m_dFleuretBreath2 = 0.0;
    double m_dCircleBreath = 0.0;  // "Circle" with a negative radius: its breathing phase
    // Exponent shaping the speed spread of the sprays; the audio drive moves it.
    double m_dSprayShape = 0.5;
};

struct MotionState {
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
    int32_t m_bFieldColor = 0;
    double m_dPatternAngle = 0.0;
    double m_dPatternSin = 0.0;
    double m_dPatternCos = 1.0;
    double m_dPatternSeed = 0.0;
    float m_fHueOffset = 0.0f;  // -720..720

    double m_dConfine = 500.0;  // the raw confinement value
    double m_dConfineExp = 0.0;
    uint8_t m_bRoundConfine = 0;
    // Wall strength of the confinement: exp(m_dConfineExp), three times as strong with
    // three or more reflections, whose copies need the dots kept nearer the centre.
    double m_dConfineGain = 1.0;
    // Edge margins and round confinement (UpdateConfinement).
    float m_fMarginX = 0.0f;
    float m_fMarginY = 0.0f;
    float m_fConfineR = 0.0f;
    float m_fConfineR2 = 0.0f;

    // Per-frame constants of the dot pass (PrepareMotionFrame).
    float m_fWallK1 = 0.0f;       // wall distance scale: lower activity, softer walls
    float m_fWallK2 = 0.0f;       // wall stiffness for the canvas width
    float m_fConfineCap2 = 0.0f;  // squared distance at which round confinement stops growing
    uint8_t m_bCursorFrame = 0;   // mover 0 follows the pointer this frame (dot 0 tints more)
};

struct ReflectionState {
    // One image until a preset says otherwise, so that counts divided by the reflection
    // count and the reflection loop are sound before the first preset is applied.
    int32_t m_nReflections = 1;  // 1..60
    int32_t m_bSymmetric = 0;
    double m_dReflectAngle = 0.0;
    int32_t m_nReflectOrient = 0;
    float m_fReflCos[kMaxReflections] = {1.0f};
    float m_fReflSin[kMaxReflections] = {};
    int32_t m_bReflectOrientOn = 0;     // the reflection orientation switch
    uint8_t m_bReflectionsChanged = 0;  // tables rebuilt since the frame step last looked
    double m_dReflectSpin = 0.0;        // degrees per frame, halved
};

// The wheel maps a direction of motion to a colour: four quarters of 256 entries (mostly
// +x, +y, -x, -y), channels 0..1. Construction builds it for offset 0.
struct HueTable {
    HueTable();
    alignas(64) float rgb[kHueEntries][3];
};

struct ColourState {
    // Start values fixed by construction.
    double m_dColourBright = 0.5;
    double m_dPastel = 0.15;
    float m_fFadeR = 0.01242345f;  // per-frame decay of each channel
    float m_fFadeG = 0.01612314f;
    float m_fFadeB = 0.00973743f;

    HueTable m_hueTable;
    float m_fColourGain[3] = {};  // tint gains of ordinary dots, per frame
    float m_fCursorGain[3] = {};  // and of dot 0 while it follows the pointer
    double m_dColourDrive = 0.5;  // from the colour brightness
    double m_dPastelWarp = 0.0;   // from the pastel value
    double m_dPointMagnitude = 1.0;
    uint32_t m_nPointCap = 130560;  // one plot's strength cap, 8.8 fixed point
    float m_fPointCap = 510.0f;
    // Scale of the field-based colour push. Kept per engine, so that engines in one
    // process (preview, full screen, monitors) never tint each other's dots.
    float m_fFieldColourScale = 0.0f;
    uint8_t m_bInvert = 0;
    double m_dGamma = 0.5;
    double m_dToneSlopeEnd = 0.5;  // tone curve: end slope is 1 / (2 * this)
    double m_dToneSlopeStart = 1.0;
    double m_dTrailShade = 1.0;  // darkening of the trails by low pastel values
};

// The disc kernels are sub-pixel kernels of the round dot styles: for each position of the
// dot's centre in 1/32 pixel (33 x 33, the x fraction first), a 4 x 4 block of weights in
// 1/1024, row by row from the pixel up and left of the dot. The table belongs to the engine,
// not the process: two engines in one process (preview and full screen, or one per monitor)
// with different dot styles would otherwise keep restarting each other's build.
struct DotLook {
    int32_t m_nDotStyle = kDotPoints;  // 0..7
    int16_t m_discKernel[kKernelSteps][kKernelSteps][16] = {};
    int32_t m_nKernelStyle = -1;  // the style whose kernels are being built, -1 none yet
    int32_t m_nKernelRow = 0;     // next row to build, 0..33
    int32_t m_nKernelReady = 0;   // 0 not ready; the style it is ready for; kKernelNoTable

    // Shimmer: dots moving along the smoothed flow direction light up. Shine brightens a
    // dot in proportion to its colour; sparkle adds white as well. Exponents narrow the
    // highlight; glitter shakes the direction with the jitter table.
    uint8_t m_bShimmer = 0;
    uint8_t m_bGlitter = 0;
    float m_fShineAmount = 0.0f;
    float m_fShineExp = 1.0f;
    float m_fSparkAmount = 0.0f;
    float m_fSparkExp = 2.0f;
    float m_fSparkBaseExp = 1.0f;
    // Unit vector of the smoothed flow; the mover update keeps it current.
    float m_fShimmerDirX = 1.0f;
    float m_fShimmerDirY = 0.0f;
};

struct TrailSettings {
    int32_t m_nTrailLength = 30;  // 1..100
    int32_t m_bLeaveTrails = 0;
    int32_t m_bDither = 0;
    int32_t m_nFuzziness = 30;  // 1..100, kept while fuzziness is off
    int32_t m_bFuzzy = 0;
    int32_t m_bQuickDirty = 0;
};

struct StrokeState {
    // Stroke points as fractions of the window, each within 0.001..0.999. A new engine
    // has one point in the middle, so "Draw" has somewhere to start before anyone draws.
    float m_drawX[kMaxDrawPoints] = {0.5f};
    float m_drawY[kMaxDrawPoints] = {0.5f};
    int32_t m_nDrawPoints = 1;
    float m_fDrawGap = 100.0f;  // mean spacing of the stroke points; 100 for 20 or fewer
    // A stroke is being drawn (button held). Kept per engine: two engines never share a
    // mouse.
    int32_t m_bStrokeInProgress = 0;
    int32_t m_nWindowWidth = 0;  // client size of the window, for mouse positions
    int32_t m_nWindowHeight = 0;
    int32_t m_bInteraction = 0;   // the host lets the pointer steer mover 0
    int32_t m_bCursorActive = 0;  // the pointer is followed (interaction was on)
    int32_t m_nLastMouseX = -1;   // last raw pointer position, window pixels
    int32_t m_nLastMouseY = -1;
    float m_fCursorX = -1.0f;  // canvas pixels; -1 = no cursor
    float m_fCursorY = -1.0f;
    std::atomic<uint32_t> m_nInputSerial{0};
};

struct FrameState {
    FrameHooks m_hooks;
    int32_t m_nFrame = 0;               // frames stepped; 0 and 1 are the start-up frames
    uint32_t m_dwStartDeadline = 0;     // end of the start-up fade
    int32_t m_bKeepDesktopPicture = 0;  // the start-up picture stays under the art
    uint8_t m_bCloseRequested = 0;      // the window was found covered
    int32_t m_nCentroidX = 0;
    int32_t m_nCentroidY = 0;
    int32_t m_nMovedDots = 0;
    double m_dTravel = 0.0;
    float m_fTravelX0 = 0.0f;  // dot 0 before the pass, for the travel statistic
    float m_fTravelY0 = 0.0f;
    // Pacing values the frame driver reads.
    int32_t m_nTargetFps = 60;
    double m_dFrameGoal = 0.0;  // 0 = pacing restarts on the next frame
};

// Per-slide statistics for the settings file written with a snapshot: brightness
// statistics, two sums and a count, restarted with every slide.
struct SlideStatistics {
    double brightness[10] = {};
    double sum1 = 0.0;
    double sum2 = 0.0;
    int32_t count = 0;
    uint32_t startMs = 0;
};

struct SlideState {
    int32_t m_nPatternPhase = 0;     // CDrawWnd::kPhaseRunning
    uint32_t m_dwPatternStart = 0;   // when the current slide started
    uint32_t m_dwPhaseDeadline = 0;  // end of the dying phase
    int32_t m_bSlideshow = 0;
    uint8_t m_bSlideshowCanvasStarted = 0;
    int32_t m_bAutoSave = 0;
    int32_t m_nPendingNav = 0;
    // The colours of a slide before its end dimmed them. A slide change that brings no
    // new settings (slideshow off, or nothing to select) puts them back; otherwise the
    // dots of the same pattern would stay dim for good.
    uint8_t m_bSlideDimmed = 0;
    double m_dUndimmedBright = 0.5;
    double m_dUndimmedPastel = 0.15;
    double m_dSlideMinSeconds = 60.0;
    double m_dSlideMaxSeconds = 120.0;
    uint32_t m_dwSlideIntervalMs = 0;
    SlideStatistics m_slideStats;
};

struct TextState {
    int32_t m_nTitlePhase = 0;    // CDrawWnd::kTitle...: 0 idle, 11 draw next, 1 seeding, 2 shown
    int32_t m_nMessagePhase = 0;  // CDrawWnd::kMessage...: 0 idle, 1 pending, 2 seeding, 3 done
    uint32_t m_dwTitleStart = 0;  // when the slide's title was last started
    int32_t m_nMessageCount = 0;
    int32_t m_nMessageIndex = -1;
    std::vector<std::u16string> m_messages;
    uint8_t m_bMessagesOn = 0;
    std::u16string m_typedText;   // at most 32 units
    int32_t m_nTypedStyle = 0;    // the typed letter's column, 0..6
    uint8_t m_bTypedPending = 0;  // the typed letter is still to be shown
    TextBlock m_rcText;
    // Seeding dots on letters: where the next chunk starts, which half of the dots this pass
    // uses, and whether a lit pixel was found yet in this pass.
    int32_t m_nSeedCursor = 0;
    int32_t m_nSeedOffset = 0;
    uint8_t m_bSeedFound = 0;
    // The clock layer.
    ClockLayer m_clock;
    uint8_t m_bNewSlideRequest = 0;
    uint8_t m_bHourSlideTaken = 0;  // this hour's slide has begun
};

}  // namespace quovis::engine_areas
