// EngineCanvas: what the engine needs of the object that holds its canvas and puts frames on
// the screen. The presenter implements it in the layer above the engine; the engine owns the
// object once it is handed over and stops it before destroying it.
//
// Who calls what:
//   frame thread, under the engine lock   every virtual operation below; the trail, fuzziness,
//                                         tone, invert and quick-n-dirty settings come from the
//                                         engine's setters, BeginFrame from the frame step,
//                                         FadeWithNextConversion and FadeTrails from the
//                                         frame driver around presenting.
//   band workers, during the dot pass     Surface() and the inline AddPixel of canvas_surface.h
//                                         on it, nothing else. The surface changes only on the
//                                         frame thread, never while bands run.
//
// The settings operations have empty defaults so that a canvas which cannot do something (a
// test canvas, an output without trails) simply ignores it.
#pragma once

#include <cstdint>

#include "engine/canvas_surface.h"

namespace quovis {

class EngineCanvas {
  public:
    virtual ~EngineCanvas() = default;
    // Ends any work the canvas runs on its own (its band workers); called under the engine
    // lock just before the engine destroys the object.
    virtual void Stop() = 0;

    // Trail length 1..100, or -1 for no trails (nothing fades, and the frame step clears
    // instead). shade <= 0 keeps the current shade factor.
    virtual void SetTrails(int length, bool dither, double shade) {
        (void)length, (void)dither, (void)shade;
    }
    // Starts a frame; clear wipes every image the engine draws into.
    virtual void BeginFrame(bool clear) { (void)clear; }
    // Fades the canvas by one frame's worth of trail.
    virtual void FadeTrails() {}
    // Tells the canvas that FadeTrails follows its next conversion to the display with
    // nothing drawn in between. A canvas may then fade each row while converting it, one pass
    // over the canvas instead of two, and make that FadeTrails do nothing.
    virtual void FadeWithNextConversion() {}
    // The blur run while presenting: amount 1..100 when on. allow16 lets the canvas keep its
    // 16-bit buffer for it.
    virtual void SetFuzziness(bool on, int amount, bool allow16) {
        (void)on, (void)amount, (void)allow16;
    }
    // Asks for the 16-bit canvas (long, smooth trails) instead of plotting into 8 bits.
    virtual void SetDeepCanvas(bool on) { (void)on; }
    // Tone curve from 16-bit canvas values to display bytes: (0.5, 1.0) is the identity.
    // False when the pair is unusable; the curve then stays as it was.
    virtual bool SetTone(double a, double b) {
        (void)a, (void)b;
        return false;
    }
    // Shows the whole output inverted (white background).
    virtual void SetInvert(bool on) { (void)on; }
    // Cheaper, coarser drawing: plot straight into 8 bits.
    virtual void SetQuickDirty(bool on) { (void)on; }
    // Something that changes the look of every dot changed: clear at the next frame start.
    virtual void RequestClear() {}

    // The pixels to plot into; empty (width 0) until the canvas has images.
    const CanvasSurface& Surface() const { return m_surface; }

    // Per-pixel operations through the surface, for callers outside the dot pass.
    void AddPixel(int32_t x, int32_t y, int32_t a0, int32_t a1, int32_t a2) {
        quovis::AddPixel(m_surface, x, y, a0, a1, a2);
    }
    uint32_t ReadPixel(int32_t x, int32_t y) const { return quovis::ReadPixel(m_surface, x, y); }

  protected:
    CanvasSurface m_surface;
};

}  // namespace quovis
