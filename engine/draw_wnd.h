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

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/elapsed_time.h"
#include "base/worker_pool.h"
#include "engine/aligned_block.h"
#include "engine/dot_band.h"
#include "engine/draw_wnd_areas.h"
#include "engine/engine_canvas.h"
#include "engine/engine_settings.h"
#include "engine/field_sum.h"
#include "engine/frame_hooks.h"
#include "engine/random.h"
#include "engine/vocabulary.h"

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
    static constexpr int kMaxMovers = engine_areas::kMaxMovers;
    static constexpr int kMaxReflections = engine_areas::kMaxReflections;
    static constexpr int kJitterEntries = 16384;  // (x, y) pairs
    static constexpr int kFalloffSize = 16384;
    static constexpr int kFalloffCentre = 8192;
    static constexpr int kFalloffWidth = 2048;
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

    // ---- Frame step (public) ---------------------------------------------------------------

    // Advances the engine by one frame and leaves a new image in the canvas; false when no
    // frame was produced (start-up picture still showing, or pacing declined). The caller
    // holds EngineLock() for the whole call.
    bool StepFrame();
    // What the frame step asks of the host; a missing hook skips its stage.
    void SetFrameHooks(const FrameHooks& hooks);
    // Full-screen saver (pacing sleeps after drawing) or preview (pacing decides first).
    void SetSaverMode(bool on);
    // The saver starts over a picture of the desktop, which fades out before the art begins.
    void SetKeepDesktopPicture(bool on) { m_frame.m_bKeepDesktopPicture = on ? 1 : 0; }
    bool IsSaverMode() const { return m_bSaverMode != 0; }
    // The slideshow: slides end on the timer and the selector hook picks the next pattern.
    void SetSlideshow(bool on);
    // The range the next slide's length is drawn from, in seconds.
    void SetSlideTimes(double minSeconds, double maxSeconds);
    // Reflection copies turn by degreesPerFrame / 2 every frame; 0 keeps them still.
    void SetReflectSpin(double degreesPerFrame);
    // Snapshots of finished slides in full-screen mode.
    void SetAutoSave(bool on);
    // Keyboard navigation for the next slide change: 1 forward in the history, -1 back.
    void SetPendingNav(int direction);
    // Ends the current slide now (the dots die, then the next pattern comes).
    void RequestSlideChange();
    // The keys' slide change: 0 the next slide, 1 forward in the history, -1 back. Back
    // with nothing to go back to is ignored: no slide ends and nothing dims. Returns whether
    // the request was taken.
    bool RequestSlideChange(int direction);
    // Trails are on: the host fades the canvas after presenting each frame.
    bool TrailsOn() const { return m_trails.m_bLeaveTrails != 0; }
    int FrameNumber() const { return m_frame.m_nFrame; }
    int PatternPhase() const { return m_slides.m_nPatternPhase; }
    int CentroidX() const { return m_frame.m_nCentroidX; }
    int CentroidY() const { return m_frame.m_nCentroidY; }
    // Dots moved in the last frame, and the sum of their distances to dot 0.
    int MovedDots() const { return m_frame.m_nMovedDots; }
    // Sends one pattern's settings to the engine through the setters, in the order a preset
    // stores them. Start the pattern afterwards (StartPattern with -1s keeps what was set).
    // Drift is switched off first and, at the end, on again when drift is allowed, the engine
    // runs full screen and no audio drive moves the same parameters.
    void ApplySettings(const EngineSettings& settings);
    // The configuration's "allow pattern drift", read again whenever a pattern is chosen.
    void SetDriftAllowed(bool on);
    // An audio drive steers colour and style parameters; drift then stays off.
    void SetAudioDriveAttached(bool on);
    // The preset being shown: its name and its whole text (snapshots and the slideshow
    // history read them back).
    void SetPresetIdentity(std::u16string_view name, std::u16string_view text);
    std::u16string PresetName() const;
    std::u16string PresetText() const;
    // Pattern phases.
    static constexpr int kPhaseRunning = 0;
    static constexpr int kPhaseWaiting = 1;
    static constexpr int kPhaseSwitching = 2;
    static constexpr int kPhaseDying = 10;
    static_assert(kPhaseRunning == 0, "the slide area starts in the running phase");

    // ---- Pattern styles: derived values, placement, new-dot colour (public) ---------------

    // Recomputes what the current style and its parameters imply: whether dots start parked
    // and come by emission, emission every frame, group size, launch speed, gravity, the x
    // share of the field's push and the fall direction. Runs at every pattern start and
    // whenever the style's parameters change. A style given no parameters yet runs with the
    // style table's values.
    void ApplyStyleParams();
    // The emission rate R (0..100 and above; R <= 0 emits nothing) of the current style for
    // the emission stage. Reading it takes over a pending drift value of the style's flow
    // rate, and some styles refresh m_style.m_nGroupSize from a parameter here.
    double EmissionRate();
    // Derives the grey distribution of new dots from the "New Dots" value m_style.m_fStyleParam[0]
    // (1000 black .. 1100 white; the old encodings 0, 1, 2 are understood).
    void SetNewDotColour();
    // Colours the dots first..last (indices taken mod m_dots.m_nDots, in ring order) as new dots.
    void ColourNewDots(int first, int last);

    // ---- Motion and colour (public) --------------------------------------------------------

    // Colour settings of the Color page; presets, drift and the audio drive call them too.
    // A value that is not a finite number is ignored; values outside a setting's range are
    // limited to it where the arithmetic would otherwise break (a negative root, a pole).
    // "Subtle Colors" .. "Bright": preset ColorBright / 1000, 0..2.5.
    void SetColourBright(double bright);
    // "Pure Tones" .. "Pastels": preset Pastels / 1000, 0..1.2. Unless the call comes from
    // drift or the audio drive, low values also darken the trails a little.
    void SetPastels(double pastel, bool fromDrift);
    // The two as they stand now: drift and the end of a slide move them too.
    double ColourBright() const { return m_colour.m_dColourBright; }
    double Pastels() const { return m_colour.m_dPastel; }
    // "Dim" .. "Full": preset PointMagnitude / 1000, 0..1; caps one plot's strength while
    // trails are on.
    void SetPointMagnitude(double magnitude);
    // "Fainter Detail" .. "More Contrast": preset Gamma / 1000, 0..1 (0.5 = no change).
    void SetGamma(double gamma);
    // "White Background (Invert)".
    void SetInvert(bool on);
    // Tells "Warp" motion that the music had a beat: the next mover checked jumps at once.
    // Safe from any thread.
    void FlagWarpBeat();

    // The hue-lightness-saturation helper: one channel (0..1) of a colour whose lightness
    // and saturation gave the bounds p (low) and q (high), for hue position t in turns
    // (any value; taken modulo 1).
    static float HueToRgb(float p, float q, float t);

    // ---- Dots, trails and shimmer (public) -------------------------------------------------

    // The dot style 0..7; anything else draws "Points". Asks the canvas to clear at the next
    // frame start, so the old style's dots do not linger under the new ones.
    void SetDotStyle(int style);
    int DotStyle() const { return m_look.m_nDotStyle; }
    // Shimmer: brightness 0..200 ("Off" .. "Bright"), highlight width 0..1000 ("Broad
    // Highlight" .. "Narrow"), and 600 "Add Shine" / -600 "Add Glitter" / 0 neither. Values
    // outside the ranges are limited; a value that is not a number is ignored.
    void SetShimmerBright(double bright);
    void SetShimmerNarrow(double narrow);
    void SetShineGlitter(double value);

    // Builds the disc kernels for a dot style ("Fuzzies", "Rings", "Discs"): one row per call
    // so that switching to those styles never stalls a frame, all rows when all is set. The
    // frame step calls it at the start of every frame; it returns at once when the kernels
    // for the style are complete. Until then those styles draw a small 3x3 fallback.
    void BuildDiscKernels(int style, bool all);
    // True when the style draws with its final kernel (always for the styles without one).
    bool DiscKernelsReady(int style) const;

    // Canvas size and display depth for the presenter's layer, which builds the canvas for
    // the engine and tells it what it made.
    int CanvasWidth() const { return m_nWidth; }
    int CanvasHeight() const { return m_nHeight; }
    void SetColourDepth(int bits) { m_nColourDepth = bits; }
    // The canvas the engine draws into, or null before CreateOutput made one.
    EngineCanvas* Canvas() const { return m_pCanvas.get(); }

    // ---- Live setters, drift, strokes and mouse (public) -----------------------------------
    //
    // Every engine parameter that a preset, the configuration window or drift changes goes
    // through one of these setters. Each takes the engine lock, so a setter called from the
    // configuration thread never lands in the middle of a frame. Values from outside are
    // checked here: a value that is not a finite number is ignored, and a value that would
    // break the arithmetic (a division by zero, a damping above 1) is limited.

    // Canvas size in pixels: the width is cut to a multiple of 4 and the height to an even
    // number; the centre, edge margins and reflection tables follow.
    void SetCanvasSize(int width, int height);
    // Client size of the window in pixels, used to turn mouse positions into fractions.
    void SetWindowSize(int width, int height);
    // The start-up speed probe's verdict (1 = a fast enough machine); below 1 the dot count
    // setter uses fewer dots. A value that is not a positive finite number counts as 1.
    void SetMachineSpeedFactor(double factor);
    // Whether a preview engine should run the full dot count instead of the reduced one.
    void SetFullCount(bool on);
    // Whether mover 0 follows the mouse pointer (interactive mode, configuration preview).
    void SetInteraction(bool on);

    // Dot count (0..kMaxDots); with restart the movers restart and a pattern restart is
    // requested for the next frame.
    void SetDotCount(int n, bool restart);
    void SetActivity(double activity);        // preset Activity / 1000
    void SetPace(double pace);                // preset Pace / 1000
    void SetInfluenceRange(double range);     // 0..100
    void SetViscosity(double viscosity);      // preset Viscosity, -200..1200
    void SetTurbulence(double turbulence);    // preset Turbulence / 1000, 0..1
    void SetConfinement(double confinement);  // preset Confinement, negative = round
    void SetMotionVariant(int variant);       // 0..4
    void SetExtraTwist(bool on);
    void SetWrapFlags(int flags);  // bits 1, 2 "Wrap", 4 "Mobius"
    void SetFieldColor(bool on);

    // Reflections: the rotational copies (1..60), the orientation of the copies and mirror
    // symmetry. The orientation applies while the orientation switch is on (the clock and
    // zodiac layers turn it on): orientation 1 follows the date, 0 turns the copies by one
    // step, any other value leaves them unturned.
    void SetReflections(int n);
    void SetReflectOrient(int orient);
    void SetReflectOrientSwitch(bool on);
    void SetSymmetric(bool on);
    bool IsSymmetric() const { return m_reflect.m_bSymmetric != 0; }
    int Reflections() const { return m_reflect.m_nReflections; }

    // Style parameters: n values (limited to 0..6) for the current style.
    void SetStyleParams(int n, const int* values);
    void SetStyleParams(int n, const float* values);
    // The "New Dots" value (1000 black .. 1100 white), first style parameter.
    void SetStartColour(double value);

    // Trail settings; stored, and forwarded to the canvas when one exists.
    void SetTrailLength(int length);  // 1..100
    void SetLeaveTrails(bool on);
    void SetDither(bool on);
    void SetFuzziness(int amount);  // 1..100, 0 = off
    void SetQuickDirty(bool on);
    // Sends every stored trail setting to the canvas; for a canvas adopted after the
    // settings were made.
    void ApplyCanvasSettings();

    // Frame-rate limit (3..1000) for the pacer, and the length of the next slide: a uniform
    // draw between min and max seconds.
    void SetRateLimit(int fps);
    // The frame-rate limit as last set; the frame driver passes a change on to its pacer.
    int TargetFps() const { return m_frame.m_nTargetFps; }
    void SetSlideDuration(double minSeconds, double maxSeconds);

    // Drift: a slow, bounded random walk of up to 20 parameters around the values they had
    // when drift was switched on. DriftTick runs one step when more than 100 ms passed since
    // the last one (frame thread); DriftStep runs one step now.
    void EnableDrift(bool on);
    bool IsDriftRunning() const;
    bool DriftTick();
    void DriftStep();

    // ---- The audio drive (public) -----------------------------------------------------------
    //
    // An audio drive reads these values as the bases it steers around and writes them back
    // with the setters. Each setter takes the engine lock; the getters read plain fields, so a
    // caller on another thread holds EngineLock() around them (the drive takes it once per
    // block of sound for all its reads and writes).

    // The viscosity in its stored form (1 .. 40100; the damping is 1 - 1/v).
    void SetViscosityStored(double viscosity);
    double ViscosityStored() const { return m_motion.m_dViscosity; }
    double Activity() const { return m_motion.m_dActivity; }
    double Pace() const { return m_motion.m_dPace; }
    double Confinement() const { return m_motion.m_dConfine; }
    double InfluenceRange() const { return m_motion.m_fInfluenceRange; }
    // The mover inertia (0 .. 1), which SetTurbulence derives from the turbulence.
    double MoverInertia() const { return m_motion.m_fMoverInertia; }
    // The point magnitude in its stored form, SetPointMagnitude's value raised to 1.618.
    double PointMagnitudeStored() const { return m_colour.m_dPointMagnitude; }
    void SetPointMagnitudeStored(double magnitude);  // limited to 0..1
    // Glitter ("Add Glitter"): the sparkle's highlight exponent and amount, which the shimmer
    // setters derive and the drive moves while glitter is on.
    bool GlitterOn() const { return m_look.m_bGlitter != 0; }
    double GlitterExp() const { return m_look.m_fSparkExp; }
    double GlitterAmount() const { return m_look.m_fSparkAmount; }
    void SetGlitterExp(double exponent);   // limited to 0..10000
    void SetGlitterAmount(double amount);  // limited to 0..5000
    // How the sprays spread their launch speeds: the exponent of 1 - v^2 (0.5 until an audio
    // drive moves it; 0 launches every dot at full speed). Limited to 0..100000.
    void SetSprayShape(double shape);
    double SprayShape() const { return m_style.m_dSprayShape; }
    // Turns the pattern's direction (the sprays' and sweeps' launch angle) by radians.
    void KickPatternAngle(double radians);
    double PatternAngle() const { return m_motion.m_dPatternAngle; }
    // The current style (0..29, -1 before the first pattern) and its parameters as they stand;
    // their roles and ranges are in the style table.
    int Style() const { return m_style.m_nStyle; }
    int Motion() const { return m_motion.m_nMotion; }
    float StyleParam(int slot) const;  // 0 for a slot outside 0..5
    // Writes one parameter of the current style (slot 0..5) as drift does: a live copy that
    // the emission takes over when it next reads that parameter, or the parameter itself.
    // A value that is not a finite number, or a slot outside 0..5, is ignored.
    void SetLiveStyleParam(int slot, double value);
    void SetStyleParamValue(int slot, double value);
    // Tells "Recursive" motion that the music had a beat: while an audio drive is attached,
    // the next emission attaches the next mover in turn to its first new dot instead of
    // setting the movers of its dots loose. Safe from any thread.
    void FlagAttachBeat();
    bool AttachBeatPending() const;

    // Drawing strokes for the "Draw" style. phase 1 = left button pressed, 0 = moved,
    // 2 = released; keyFlags bit 4 (Shift) or 8 (Ctrl) on a press appends a stroke.
    static constexpr int kStrokeMoved = 0;
    static constexpr int kStrokePressed = 1;
    static constexpr int kStrokeReleased = 2;
    static constexpr int kKeyShift = 4;
    static constexpr int kKeyControl = 8;
    static constexpr int kMaxStrokePoints = engine_areas::kMaxDrawPoints;
    void StrokeInput(int x, int y, int keyFlags, int phase);
    // The stroke list as one line of text: "count," then "x,y," per point in 1/100000.
    std::u16string StrokeListText() const;
    // Replaces the stroke list by the points of a text; false when the text was not a
    // complete list (what could be read is still loaded, within bounds).
    bool LoadStrokeList(std::u16string_view text);
    void UpdateDrawGap();
    // Mouse pointer in window pixels, (-1, -1) for none.
    void MouseInput(int x, int y);
    // Interactive mode: a character typed to form out of the dots, in one of seven columns
    // across the canvas (style). It starts a message at once: the next frames that animate
    // draw it and seed dots on it.
    static constexpr int kTypedTextStyles = 7;
    void SetTypedText(char32_t character, int style);
    // The typed text still waiting and its style; false when none waits. Taking it clears it,
    // and the message then shows the chosen message instead of the letter.
    bool TakeTypedText(std::u16string& text, int& style);

    // ---- Titles, messages and the clock layer (public) -------------------------------------

    // The pop-up messages; an empty list means the built-in message. Each may break lines
    // with "\r".
    void SetMessages(std::vector<std::u16string> messages);
    // Whether a message forms out of the dots when a slide ends ("Show Messages").
    void SetMessagesOn(bool on);
    // The text the next title made of dots shows: the chosen message, or the built-in one.
    std::u16string GetMessageText() const;
    // True while letters made of dots are drawn, seeded or held (a title or a typed letter);
    // the text window stays hidden meanwhile.
    bool LettersActive() const;
    // A title: a message formed out of the dots between slides (with "Show Messages"), or
    // every slide interval without the slideshow. It is drawn on the next frame, seeded over
    // a few frames and then stands, the dots still, until six seconds after its slide began.
    static constexpr int kTitleIdle = 0;
    static constexpr int kTitleDrawNext = 11;
    static constexpr int kTitleSeeding = 1;
    static constexpr int kTitleShown = 2;
    // A typed letter: pending until drawn, then seeded while the dots move on; done is idle
    // from the next frame on.
    static constexpr int kMessageIdle = 0;
    static constexpr int kMessagePending = 1;
    static constexpr int kMessageSeeding = 2;
    static constexpr int kMessageDone = 3;
    int TitlePhase() const { return m_text.m_nTitlePhase; }
    int MessagePhase() const { return m_text.m_nMessagePhase; }
    // Milliseconds since the current slide's title started (the text window's envelope).
    uint32_t MsSinceTitleStart() const { return m_clock.Milliseconds() - m_text.m_dwTitleStart; }
    // The block the letters were last drawn into (canvas pixels).
    TextBlock LastTextBlock() const { return m_text.m_rcText; }

    // The clock layer ("Clock", "Style", "ClockX", "ClockY", "ClockSize"). The reflections'
    // orientation switch follows it: on while the layer shows, off without it.
    void SetClock(const ClockLayer& clock);
    ClockLayer Clock() const { return m_text.m_clock; }
    // The clock layer's hourly slide, called by it every frame it paints: five seconds before
    // the hour (secondsIntoHour 3595) with the pattern running, or after RequestClockSlide,
    // the pattern stops (Waiting) and the next slide begins one slide interval later.
    void ClockTick(int secondsIntoHour);
    void RequestClockSlide();
    // Counts pointer activity (mouse moves, strokes) so the pacer can restart its idle
    // slow-down countdown.
    uint32_t InputSerial() const {
        return m_strokes.m_nInputSerial.load(std::memory_order_relaxed);
    }
    // The pointer moved a little without ending the saver: the random generators are stirred
    // with the time, and it counts as pointer activity (the slow-down countdown restarts).
    void PointerMovedSlightly();

  protected:
    // Takes ownership of the presenter created by an override of CreateOutput.
    void AdoptCanvas(std::unique_ptr<EngineCanvas> canvas);

  private:
    // The tests reach private state through one access point.
    friend struct EngineTestAccess;

    bool AllocateDotStore(bool simulateFailure);
    void CreateWorkers(int requested);
    void BuildFalloff();
    bool InitialPlacement(double seed);
    bool InitMoverField(double seed, bool full);
    double MixSeed(double seed);

    // ---- Frame step (private functions) ------------------------------------------------------
    // frame_step.cpp
    bool StartUpDone(uint32_t now);
    void Housekeeping();
    void BeginCanvasFrame();
    void RefreshStyleParams();
    bool AdvancePatternPhase();
    void SwitchSlide(uint32_t now);
    // The slideshow's next slide: a pending step through the history, else the selector's
    // choice, else the same pattern afresh; the slide then starts running.
    void ChooseNextSlide(uint32_t now);
    void PickNextMessage();
    void EndSlide(uint32_t now);
    // Puts back the colours the slide's end dimmed, when no new settings replaced them.
    void RestoreSlideColours();
    void CheckSlideTimer();
    void EmitDots();
    void ParkRun(int first, int last);
    void DetachMoversIn(int first, int last);
    // With an audio drive attached and a beat pending: takes the beat and attaches the next
    // mover in turn to dot `first`. False, changing nothing, otherwise.
    bool AttachMoverOnBeat(int first);
    void RunMotionBands();
    void GatherBandStatistics();
    static void RunBandJob(CDrawWnd* engine, DotBand* band);
    // The second half of a round: the band's worker draws its stripe of canvas rows with the
    // plots of every band that fall into it.
    static void ApplySplatsJob(CDrawWnd* engine, DotBand* band);
    void ApplySplatStripe(int stripe);
    // A "Points" plot the vector kernel leaves to the plain path (context: a StripePlot).
    struct StripePlot {
        CDrawWnd* engine;
        const CanvasSurface* surface;
    };
    static void PlotStripeSplat(void* context, const SplatRecord& r);
    // Whether this frame's plots go through the bands' buffers and stripes.
    bool UseStripes() const;
    void RunOnBands(void (*job)(CDrawWnd*, DotBand*));
    // Stripes pay from this many bands on; one band collects only "Points" for the vector
    // kernel, and plots everything else straight into the canvas.
    static constexpr int kStripesFromBands = 2;
    // Sorts a band's collected plots by stripe (see DotBand).
    void SortSplatsByStripe(DotBand& band) const;
    // The stripes for the canvas's current height: count and the row-to-stripe table.
    void PrepareStripes(int height);
    // Gives every band its runs (see DotBand), allocating them only when the bands' buffers or
    // the stripe count have changed.
    void PrepareSplatRuns();

    // ---- Titles and messages (private functions) ---------------------------------------------
    // letters.cpp. StepLetters is the frame step's letter stage; it returns true when the
    // letters keep emission off this frame.
    bool StepLetters();
    // Has the overlay draw the typed letter or the message into the frame and keeps its
    // block; false when nothing was drawn that could be read back.
    bool DrawLetterText();
    void EndTitle(uint32_t now);
    // Moves the next chunk of every second dot onto lit pixels of the drawn text.
    void SeedDotsOnText();
    std::u16string_view MessageTextView() const;

    // ---- Pattern styles (private functions) -------------------------------------------------
    // style_params.cpp
    void UseTableParamsIfUnset();
    void ResetStyleForces();
    int32_t GroupFromShare(double part, double whole) const;  // max(1, trunc(N*part/whole))
    // max(1, trunc((p/100)^exponent * m_dots.m_nDots * share / m_dots.m_fDotReduction))
    int32_t GroupFromRate(double p, double exponent, double share) const;
    void TakeOverLiveFlowRate();
    // Takes a drifting energy over into its parameter, for the emitters that read it whole.
    void TakeOverLiveEnergy();
    // placement.cpp
    int32_t PlacementCount() const;
    void ResetPatternStart(int count);
    void PlaceStyleDots(double seed, int count);
    // new_dots.cpp
    double NewDotValue() const;
    float NewDotGrey(float bright);

    // ---- Emitters (private functions) -------------------------------------------------------

    // One emission event: count consecutive slots of the dot ring, starting at first.
    struct EmitRun {
        int32_t first = 0;  // 0 .. dots-1
        int32_t count = 0;  // 1 .. dots
        int32_t dots = 0;   // the ring size, m_dots.m_nDots
        double framesPerDot = 0.0;
        int32_t interval = 1;  // emission interval in frames, at least 1
        // The unwrapped index of the last dot; slots are indices taken mod dots.
        int32_t Last() const { return first + count - 1; }
        int32_t Slot(int32_t j) const { return (first + j) % dots; }
    };

    // Gives the dots first..last a new position and velocity as the current style launches
    // them (the new-dot colour is the caller's next step). Indices are taken mod m_dots.m_nDots in
    // ring order; last < first runs through the end of the ring, and a run longer than the
    // ring places each dot once. framesPerDot is the emission interval divided by the group
    // size; intervalFrames is the emission interval in whole frames. Returns false, placing
    // nothing, for a style that never re-emits, without dots or without a canvas size.
    bool Emit(int first, int last, double framesPerDot, int intervalFrames);

    // emitters.cpp: the simple styles and the helpers the emitters share.
    void EmitBigBang(const EmitRun& run);
    void EmitRings(const EmitRun& run);
    void EmitRibbon(const EmitRun& run);
    void EmitBall(const EmitRun& run);
    void EmitSidewaysSpray(const EmitRun& run);
    void EmitWhiteHole(const EmitRun& run);
    void EmitEventHorizon(const EmitRun& run);
    void EmitRadarSweep(const EmitRun& run);
    void EmitFromTheEther(const EmitRun& run);
    void EmitRising(const EmitRun& run);
    void EmitFalls(const EmitRun& run);
    void PlaceDot(int slot, double x, double y, double vx, double vy);
    bool IsDotParked(int slot) const { return IsParked(m_dots.m_pX[slot]); }
    double EmitDotScale() const;
    float RandomFraction() { return m_rng.RandomSigned(0.5f) + 0.5f; }  // [0, 1)
    double GoldenAngle();
    bool TakeLiveStyleParam(int index, float* live);
    float BurstMobility(double e) const;
    static double BurstSpeedBase(double energy);
    bool WrapActive() const { return m_motion.m_nWrapActive != 0; }

    // emitters_sprays.cpp
    void EmitLissajous(const EmitRun& run);
    void EmitLines(const EmitRun& run);
    void EmitBars(const EmitRun& run);
    void EmitSprayer(const EmitRun& run);  // "Radial Nozzles" and "Spinning Sprayer"
    void EmitFleuret(const EmitRun& run);
    void EmitFountain(const EmitRun& run);
    void EmitRegenerating(const EmitRun& run);
    void EmitFloaters(const EmitRun& run);

    // emitters_shapes.cpp
    void EmitCircle(const EmitRun& run);
    void EmitDraw(const EmitRun& run);
    void EmitPolygon(const EmitRun& run);
    void EmitCurves(const EmitRun& run);
    void EmitTwirls(const EmitRun& run);
    void ShapeLaunch(double q, bool spinning, double spin, double* vx, double* vy);
    void StrokePoint(int points, double s, double* x, double* y) const;
    void CurvePoint(int movers, int step, double* x, double* y) const;

    // ---- Motion and colour (private functions) ----------------------------------------------
    // movers.cpp. The movers make the flow field: each wanders over the canvas carrying a
    // flow vector (the push it gives dots) and a strength (its reach).

    // New headings, phases and turn factors when full; speeds always; a full start zeroes
    // each flow vector and lets its variant settle it for 200 steps. Skipped when nothing it
    // depends on changed since its last run.
    void InitFlowVectors(double seed, bool full);
    // Own speeds of the movers for the current motion; a full start also gives directions,
    // positions, hues and spin rates.
    void InitMovers(double seed, bool full);
    // Once per frame before the dot pass: cursor mover, flow variants, mover motion and
    // walls, field colour, and the smoothed flow direction that shimmer follows.
    void UpdateMovers();
    void StepFlowVector(int k);
    void FollowCursor(uint32_t nowMs);
    void MoveMover(int k, bool followsCursor);
    void FollowDot(int k);
    void WarpMover(int k);
    void MoverWalls(int k, bool soft);
    void SetMoverColour(int k);
    void UpdateFlowDirection();

    // motion_kernel.cpp. PrepareMotionFrame fixes the per-frame constants on the frame
    // thread; MoveAndPlotBand then runs on every worker for its band of dots, reading them.
    void PrepareMotionFrame();
    void PrepareFieldSources();
    // The movers and their wrapping images as PrepareFieldSources left them for the frame.
    FieldSources FrameFieldSources() const;
    FieldQuadrants FrameFieldQuadrants() const;
    void MoveAndPlotBand(DotBand& band);

    // confinement.cpp: edge margins and the round confinement radius, after a change of
    // canvas, reflections, style parameters or confinement.
    void UpdateConfinement();

    // colour.cpp. BuildHueTable rebuilds the colour wheel for a hue offset: slice 0 all of
    // it, slice 1..4 one sixty-fourth-wide stripe of each quarter (the frame step turns the
    // wheel a stripe at a time).
    bool BuildHueTable(float offset, int slice);
    void ComputeColourGains();
    void UpdatePointCap();
    // One frame of a moving dot's colour: tint by its direction of motion, then decay.
    void UpdateDotColour(float vx, float vy, const float* gains, float& c0, float& c1,
                         float& c2) const;

    // ---- Dots, trails and shimmer (private functions) ---------------------------------------
    // dot_plot.cpp. PlotDotImages, PlotDot and ShimmerColour run on the band workers; they
    // read the settings below, which only the frame thread changes, between frames.

    struct DotColour {
        float c0, c1, c2;
    };
    // Plots one moved dot at (x, y) with its colour and velocity: once, or once per
    // reflection (twice with mirror symmetry), each image through the shimmer when it is on.
    // Points wholly inside a deep canvas take a short path of their own; `generic` sends
    // every image through the path that handles all styles and edges, which gives the same
    // pixels (the tests compare the two).
    // With `collect` the plots are appended to that band's buffer (which must have room for
    // ImagesPerDot() of them) instead of going into the canvas.
    void PlotDotImages(float x, float y, float c0, float c1, float c2, float vx, float vy,
                       bool generic = false, DotBand* collect = nullptr);
    int ImagesPerDot() const;
    // Adds one image of a dot into the canvas in the current dot style.
    void PlotDot(float x, float y, float c0, float c1, float c2);
    // The colour plotted for a dot moving with (vx, vy) while shimmer is on; the dot's own
    // colour does not change.
    DotColour ShimmerColour(float vx, float vy, float c0, float c1, float c2);
    void PlotOnSurface(const CanvasSurface& s, float x, float y, float c0, float c1, float c2);
    // The amounts one plot of a dot of this colour adds, under the point cap; the same for
    // every reflection image of a dot.
    PlotAmounts AmountsFor(float c0, float c1, float c2) const;
    void PlotWithAmounts(const CanvasSurface& s, float x, float y, const PlotAmounts& a);
    void BuildDiscKernelRow(int row);
    // How much of a sample point at distance d (1/32 pixel) from a round dot's centre the
    // dot covers, 0..1, for the style's shape.
    static double DiscCoverage(int style, double d);
    void UpdateShimmerOn();

    // ---- Live setters, drift, strokes and mouse (private functions) -------------------------
    // The drift state lives in engine/drift.h; the engine owns it once drift is first used.
    struct DriftState;
    struct DriftStateDeleter {
        void operator()(DriftState* state) const;
    };

    void RecomputeMoverSpeedK();
    // Re-initialises the movers' speeds for changed motion settings, keeping their places.
    void RestartMovers();
    // Marks the pattern for a restart on the next frame and tells the canvas.
    void RequestPatternRestart();
    void UpdateConfineGain();
    void UpdateWrapActive();
    // Angle by which the reflection copies are turned, from the orientation settings.
    double ReflectionOrientAngle();
    void BuildReflectionTables(double offset);
    // Sends the trail settings to the canvas with a shade factor; shade <= 0 keeps the
    // canvas's current one.
    void SendTrailsToCanvas(double shade);
    void SendFuzzinessToCanvas();
    void StoreStyleParamsLocked(int n, const float* values);
    // Drift internals.
    void CaptureDriftBases();
    void WalkDriftSlots();
    double DriftValue(int slot, double base, double range, double step, double smoothing, double lo,
                      double hi);
    void DriftStyleRole(int slot, int role, bool multiplicative, double step, bool liveCopy);
    // Adds one mouse point (window pixels) to the stroke list when it lies inside the window.
    bool AcceptStrokePoint(int x, int y);

    EngineClock& m_clock;

    // ==== State: a map of the engine ========================================================
    // Each area's state sits in one struct and one member: m_dots.m_nDots, m_style.m_nStyle.
    // The area member keeps the engine's "m_" prefix so that in engine code a bare name is
    // always a local and every use of a field still reads m_<area>.m_<field>; the field names
    // inside are the design's own. Areas that only a few functions touch (lock, geometry,
    // random numbers, tables, workers, output) stay plain members.
    //
    //   m_dots      dot store and counts            m_colour   colour model and tone
    //   m_movers    movers and the field sources    m_look     dot style, disc kernels, shimmer
    //   m_style     pattern style and emitters      m_trails   trail settings
    //   m_motion    motion and confinement          m_strokes  strokes and the pointer
    //   m_reflect   reflections                     m_frame    the frame step's own state
    //   m_slides    slides and pattern phases       m_text     titles, messages, typed text
    //   m_drift     drift and the audio drive

    // ---- Lock --------------------------------------------------------------------------------
    mutable std::recursive_mutex m_csEngine;

    // ---- Canvas geometry ---------------------------------------------------------------------
    int32_t m_nWidth = 0;    // a multiple of 4
    int32_t m_nHeight = 0;   // even
    int32_t m_nCentreX = 0;  // centre of the reflections
    int32_t m_nCentreY = 0;

    // ---- Dots (structure of arrays, index = dot number) --------------------------------------
    engine_areas::DotStore m_dots;

    // ---- Movers (the flow field) -------------------------------------------------------------
    engine_areas::MoverField m_movers;

    // ---- Pattern style and its emitters ------------------------------------------------------
    engine_areas::StyleState m_style;

    // ---- Motion and confinement --------------------------------------------------------------
    engine_areas::MotionState m_motion;

    // ---- Reflections -------------------------------------------------------------------------
    engine_areas::ReflectionState m_reflect;

    // ---- Colour model ------------------------------------------------------------------------
    static constexpr int kHueEntries = engine_areas::kHueEntries;  // colour wheel entries
    engine_areas::ColourState m_colour;

    // ---- Dot style, disc kernels and shimmer -------------------------------------------------
    static constexpr int kKernelSteps = engine_areas::kKernelSteps;  // per axis, 1/32 pixel
    static constexpr int kKernelRowsDone = kKernelSteps;  // next row once the build is over
    static constexpr int kKernelNoTable = 1;  // "ready" marker for styles without a table
    engine_areas::DotLook m_look;

    // ---- Trail settings as last set; the canvas gets a copy ----------------------------------
    engine_areas::TrailSettings m_trails;

    // ---- Strokes and the pointer -------------------------------------------------------------
    static constexpr int kMaxDrawPoints = kMaxStrokePoints;
    engine_areas::StrokeState m_strokes;

    // ---- Random numbers ----------------------------------------------------------------------
    EngineRandom m_rng;

    // ---- Tables ------------------------------------------------------------------------------
    AlignedFloats m_jitter;    // kJitterEntries (x, y) pairs
    int32_t m_nJitterPos = 0;  // even float index, masked to 0..32767 by its users
    AlignedFloats m_falloff;   // kFalloffSize entries, bell about kFalloffCentre

    // ---- Workers -----------------------------------------------------------------------------
    std::unique_ptr<WorkerPool> m_pPool;  // only with more than one worker
    int32_t m_nBands = 1;
    std::unique_ptr<DotBand[]> m_bands;  // one per worker
    // The bands' plot buffers (each record with room for two stripe entries), with several
    // bands or a vector kernel: 16 MiB in all, 262,144 records a band at most.
    static constexpr std::size_t kSplatBudgetBytes = std::size_t{16} << 20;
    static constexpr std::size_t kMaxSplatsPerBand = std::size_t{1} << 18;
    // Room for at least a block of dots with every reflection image.
    static constexpr std::size_t kMinSplatsPerBand = std::size_t{1} << 14;
    std::unique_ptr<SplatRecord[]> m_splatStore;
    std::unique_ptr<int32_t[]> m_splatOrderStore;
    // One stripe per band, each at least kMinStripeRows rows (taller than any dot). Smaller
    // stripes, sized for the caches, measured slower: their plots are read scattered.
    static constexpr int kMinStripeRows = 8;
    int32_t m_nStripes = 0;
    int32_t m_nStripeHeight = 0;  // the canvas height the table was made for
    int32_t m_stripeFirstRow[DotBand::kMaxStripes + 1] = {};
    std::vector<uint8_t> m_stripeOfRow;
    // Stripes draw "Points" with the vector kernel when the build has one; off, they take
    // the plain path, plot by plot (the reference the kernel is tested against).
    bool m_bVectorSplats = true;
    // The bands' runs, with several stripes: a quarter more records than each band's buffer.
    std::unique_ptr<SplatRecord[]> m_splatRunStore;
    std::size_t m_nSplatRunRecords = 0;

    // ---- Output ------------------------------------------------------------------------------
    std::unique_ptr<EngineCanvas> m_pCanvas;  // null until CreateOutput has made one
    int32_t m_nColourDepth = 0;

    // ---- Preset identity ---------------------------------------------------------------------
    std::u16string m_presetName;
    std::u16string m_presetText;

    // ---- Run state ---------------------------------------------------------------------------
    int32_t m_bSaverMode = 0;
    int32_t m_bReady = 0;  // a pattern has been started and not stopped
    int32_t m_bRestartPending = 0;

    // ---- The frame step's own state ----------------------------------------------------------
    engine_areas::FrameState m_frame;

    // ---- Slides and pattern phases -----------------------------------------------------------
    engine_areas::SlideState m_slides;

    // ---- Titles, messages and typed text for the overlay -------------------------------------
    engine_areas::TextState m_text;

    // ---- Drift and the audio drive -----------------------------------------------------------
    struct DriftArea {
        std::unique_ptr<DriftState, DriftStateDeleter> m_pDrift;
        int32_t m_bDriftAllowed = 0;
        int32_t m_bAudioDriveAttached = 0;  // an audio drive moves the same parameters
    } m_drift;
};

}  // namespace quovis
