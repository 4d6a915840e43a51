// FrameHooks: what the frame step asks of the world around the engine. The host (saver
// window, configuration preview, headless renderer) fills in what it has; every hook is
// optional, and a stage whose hook is missing is simply skipped. The engine owns none of
// these objects; they must outlive the engine or be cleared first.
#pragma once

#include <cstdint>
#include <string_view>

namespace quovis {

class CDrawWnd;

// Frame pacing: whether to draw now, and the counters a new slide restarts.
class FramePacer {
  public:
    virtual ~FramePacer() = default;
    // Called before drawing (previews) or after it (full screen, where it only sleeps).
    virtual bool ShouldDraw(CDrawWnd& engine) = 0;
    // A new slide or the end of the start-up image: pacing measures afresh.
    virtual void ResetPacing(CDrawWnd& engine) = 0;
    // Every 60 frames: lowers the processor ceiling after a long idle time.
    virtual void SlowDownCheck(CDrawWnd& engine) = 0;
};

// The slideshow: the next pattern at a slide change, or a step through the history.
class PatternSelector {
  public:
    virtual ~PatternSelector() = default;
    // Chooses, mutates, applies and starts the next pattern; false when it could not.
    virtual bool SelectNext(CDrawWnd& engine) = 0;
    // Moves through the history (+1 forward, -1 back); false when there is nowhere to go.
    virtual bool NavigateHistory(CDrawWnd& engine, int direction) = 0;
    // Whether NavigateHistory(direction) has somewhere to go, without going. A selector that
    // keeps no history of its own says yes and lets NavigateHistory decide.
    virtual bool HasHistory(int direction) const {
        (void)direction;
        return true;
    }
};

// Pictures of finished slides.
class SnapshotSink {
  public:
    virtual ~SnapshotSink() = default;
    virtual void AutoSaveSnapshot(CDrawWnd& engine) = 0;
};

// A block of text drawn into the canvas: canvas pixels, rows counted from the top, right and
// bottom exclusive. Empty when nothing was drawn.
struct TextBlock {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};

// The clock layer painted over the art: an analog clock or the zodiac wheel.
constexpr int kClockFaceClock = 0;
constexpr int kClockFaceZodiac = 1;
struct ClockLayer {
    bool on = false;
    int face = kClockFaceClock;
    float x = 0.5f;  // centre, as fractions of the canvas
    float y = 0.5f;
    float size = 0.9f;  // 1 = the height of the canvas
};

// How letters made of dots are laid out.
enum class LetterMode : int32_t {
    Centred = 0,  // a message or title across the canvas, one line per "\r"
    Column = 2,   // one typed letter in its column (seven across the canvas)
};

// Everything drawn over or into the art besides the dots: the start-up image, the letters of
// titles and messages, the clock layer, and the check that the window is still visible.
class FrameOverlay {
  public:
    virtual ~FrameOverlay() = default;
    // The desktop picture shown while the saver starts; alpha 0..1. Returns whether there
    // is such a picture.
    virtual bool ShowStartImage(CDrawWnd& engine, double alpha) = 0;
    // Draws `text` in white into the current frame, where the canvas can read it back
    // (CDrawWnd seeds dots on its lit pixels). A line break is "\r" (the two characters) or
    // a carriage return. `column` (0..6) places a letter in LetterMode::Column. Returns the
    // block the text occupies; an empty block when nothing could be drawn.
    virtual TextBlock DrawLetters(CDrawWnd& engine, std::u16string_view text, LetterMode mode,
                                  int column) = 0;
    // Paints the clock or the zodiac (CDrawWnd::Clock()) into the frame; called every frame
    // while the clock layer is on.
    virtual void PaintClockLayer(CDrawWnd& engine) = 0;
    // Full screen: true when the window is completely covered and should close.
    virtual bool WindowCovered(CDrawWnd& engine) = 0;
};

// Music: a pause may end the slide, and a spectrum view may be drawn.
class FrameAudio {
  public:
    virtual ~FrameAudio() = default;
    virtual bool MusicPaused(CDrawWnd& engine) = 0;
    virtual void DrawSpectrum(CDrawWnd& engine) = 0;
};

struct FrameHooks {
    FramePacer* pacer = nullptr;
    PatternSelector* selector = nullptr;
    SnapshotSink* snapshots = nullptr;
    FrameOverlay* overlay = nullptr;
    FrameAudio* audio = nullptr;
};

}  // namespace quovis
