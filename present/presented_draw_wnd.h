// PresentedDrawWnd: a drawing engine with a canvas of its own. CreateOutput builds a
// CFlipperGDI32 for the engine's canvas size and hands it to the engine, so that whatever
// the engine draws lands in a real canvas. The host's output layer, the headless renderer and
// the tests all start from here; the window-system part of showing the frame comes on top.
#pragma once

#include "engine/draw_wnd.h"
#include "present/flipper.h"

namespace quovis {

class PresentedDrawWnd : public CDrawWnd {
  public:
    // flipperOptions chooses the presenter's band count (0 = the usual rule).
    explicit PresentedDrawWnd(EngineClock& clock, const EngineOptions& options = {},
                              const FlipperOptions& flipperOptions = {});

    // Creates the presenter for the current canvas size (SetCanvasSize first) and adopts it:
    // 16-bit canvas requested, render scale 1, frame interval 1 / frameRate, display depth 32
    // bits, and the engine's stored trail settings sent to it. kEngineOk, kEngineNoOutput
    // when the canvas size gives no image (or the engine already has a presenter), or
    // kEngineOutOfMemory.
    int CreateOutput(double frameRate) override;

    // The presenter, or null before CreateOutput succeeded.
    CFlipperGDI32* Flipper() const { return m_pFlipper; }

  private:
    FlipperOptions m_flipperOptions;
    CFlipperGDI32* m_pFlipper = nullptr;  // owned by the engine once adopted
};

}  // namespace quovis
