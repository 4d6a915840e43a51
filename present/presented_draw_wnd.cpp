#include "present/presented_draw_wnd.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <new>

namespace quovis {

PresentedDrawWnd::PresentedDrawWnd(EngineClock& clock, const EngineOptions& options,
                                   const FlipperOptions& flipperOptions)
    : CDrawWnd(clock, options), m_flipperOptions(flipperOptions) {}

int PresentedDrawWnd::CreateOutput(double frameRate) {
    std::lock_guard<std::recursive_mutex> lock(EngineLock());
    // A second presenter would leave the first one's users (the host's output) pointing at a
    // destroyed object.
    if (m_pFlipper != nullptr) return kEngineNoOutput;
    std::unique_ptr<CFlipperGDI32> flipper(new (std::nothrow) CFlipperGDI32(m_flipperOptions));
    if (!flipper) return kEngineOutOfMemory;
    flipper->SetDeepCanvas(true);
    flipper->SetScaleReciprocal(1.0);
    flipper->SetFrameInterval(std::isfinite(frameRate) && frameRate > 0.0 ? 1.0 / frameRate : 0.0);
    const int result = flipper->Attach(CanvasWidth(), CanvasHeight());
    if (result == kFlipperOutOfMemory) return kEngineOutOfMemory;
    if (result != kFlipperOk) return kEngineNoOutput;
    m_pFlipper = flipper.get();
    AdoptCanvas(std::move(flipper));
    SetColourDepth(32);
    ApplyCanvasSettings();
    return kEngineOk;
}

}  // namespace quovis
