// How a monitor the saver does not draw on brings in its still pictures of the art: the
// transition types and their step tables, the step schedule a player thread follows, what
// each step draws, and where a picture of another shape is cropped for the monitor.
//
// All of it is plain arithmetic on steps, milliseconds and pixel rows, so it is tested
// without windows or threads; the player (host/qt/secondary_window.cpp) owns the thread, the
// images and the clock, and asks these functions what to draw and when.
#pragma once

#include <cstdint>

namespace quovis {

enum class TransitionKind : uint8_t {
    FadeIn,  // the whole new picture over the old one, opacity rising
    Reveal,  // the new picture wipes in top to bottom, one strip per step
    Flip,    // every step draws the whole picture: it appears at once
    None,    // no pictures at all: the monitor stays black
};

struct TransitionPlan {
    TransitionKind kind = TransitionKind::Flip;
    int steps = 1;
    int durationMs = 0;
    bool HasPlayer() const { return kind != TransitionKind::None; }
};

// The plan for the stored "FadeType" value: 0 "Fade In" (96 steps in 4000 ms), 1 "Reveal"
// (256 in 5000 ms), 2 "Flip" (2 in 100 ms), 3 "None (black)". Any other value has no step
// table of its own; its pictures still appear, at once (a flip of one step).
TransitionPlan PlanTransition(int fadeType);

// The opacity (0..255) a fade draws the new picture with at `step` (1..steps): nothing for
// the first three steps, then rising linearly to 255 at the last.
int FadeOpacity(int step, int steps);

// Rows [first, end) of a picture `height` rows high.
struct RowSpan {
    int first = 0;
    int end = 0;
};
// The rows a reveal adds at `step`, counted on from the step drawn before (0: none yet).
// A step that follows skipped steps covers their rows too.
RowSpan RevealRows(int previousStep, int step, int steps, int height);

// A source rectangle in picture pixels.
struct CropRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
};
// The part of a pictureWidth x pictureHeight snapshot that fills a monitorWidth x
// monitorHeight window without distortion: the full width for a relatively wider monitor,
// the full height for a taller one, the other side cropped around the dots' centroid (kept
// a pixel inside the picture) or, with `centred` (symmetric patterns, two or more
// reflections), around the middle. Empty for an empty picture or window.
CropRect FitCrop(int pictureWidth, int pictureHeight, int monitorWidth, int monitorHeight,
                 int centroidX, int centroidY, bool centred);

// The steps of one transition against a millisecond clock (differences taken in unsigned
// 32-bit arithmetic, so the clock may wrap). Drawing that is slower than the plan skips
// steps, so a transition keeps to its duration; the final step is always drawn.
class TransitionSchedule {
  public:
    explicit TransitionSchedule(const TransitionPlan& plan) : m_plan(plan) {}

    // Begins bringing in a new picture. An immediate start draws only the final step, and
    // that step covers the whole picture.
    void Start(bool immediate, uint32_t nowMs);
    void Stop();
    bool Playing() const { return m_playing; }

    // Moves on to the step to draw now. False when the transition is over (nothing to draw;
    // Playing() is then false).
    bool NextStep(uint32_t nowMs);
    int Step() const { return m_current; }
    // The step whose drawing the current one continues: a reveal draws the rows between.
    int PreviousStep() const { return m_previous; }
    bool FinalStep() const { return m_current == m_plan.steps; }
    // How long to wait after a step whose drawing took drawMs (0: go on at once).
    int PauseMs(int drawMs) const;

  private:
    TransitionPlan m_plan;
    int m_current = 0;
    int m_previous = 0;
    uint32_t m_startMs = 0;
    bool m_playing = false;
    bool m_whole = false;  // the next step draws the whole picture (an immediate start)
};

}  // namespace quovis
