#include "present/headless_renderer.h"

#include <algorithm>
#include <mutex>

namespace quovis {

HeadlessRenderer::HeadlessRenderer(const RenderOptions& options, const EngineSettings& settings)
    : HeadlessRenderer(
          options,
          [&settings](CDrawWnd& engine) {
              engine.ApplySettings(settings);
              return true;
          },
          "the settings could not be applied") {}

HeadlessRenderer::HeadlessRenderer(const RenderOptions& options,
                                   const std::function<bool(CDrawWnd& engine)>& configure,
                                   const char* failure)
    : m_clock(options.frameRate > 0.0 ? options.frameRate : 60.0) {
    EngineOptions engineOptions;
    engineOptions.workerCount = std::max(0, options.bands);
    FlipperOptions flipperOptions;
    flipperOptions.bands = std::max(0, options.bands);
    m_engine = std::make_unique<PresentedDrawWnd>(m_clock, engineOptions, flipperOptions);
    if (!m_engine->IsUsable()) {
        m_error = "not enough memory for the engine";
        return;
    }
    PresentedDrawWnd& e = *m_engine;
    std::lock_guard<std::recursive_mutex> guard(e.EngineLock());
    e.SetCanvasSize(options.width, options.height);
    e.SetWindowSize(options.width, options.height);
    // A headless picture is what the full screen would show: every dot the preset asks for.
    e.SetFullCount(true);
    if (e.CreateOutput(options.frameRate) != kEngineOk) {
        m_error = "the canvas could not be created for that size";
        return;
    }
    e.Seed(options.seed);
    if (!configure(e)) {
        m_error = failure;
        return;
    }
    e.ApplyCanvasSettings();
    if (!e.StartPattern(e.RandomUniform() - 0.5, -1, -1, -1, false)) {
        m_error = "the pattern could not be started";
    }
}

HeadlessRenderer::~HeadlessRenderer() = default;

bool HeadlessRenderer::RenderFrame() {
    if (!Ok()) return false;
    PresentedDrawWnd& e = *m_engine;
    // The start-up fade lasts a fraction of a second; a few hundred empty steps mean the
    // engine is stuck, not slow.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        m_clock.Advance();
        std::lock_guard<std::recursive_mutex> guard(e.EngineLock());
        if (!e.StepFrame()) continue;
        CFlipperGDI32* flipper = e.Flipper();
        if (e.FrameNumber() > 1) {
            const bool fade = e.TrailsOn();
            if (fade) flipper->FadeWithNextConversion();
            flipper->ConvertToDisplay();
            if (fade) flipper->FadeTrails();
        }
        ++m_frames;
        return true;
    }
    return false;
}

bool HeadlessRenderer::Snapshot(Picture* out) const {
    if (!Ok()) return false;
    std::lock_guard<std::recursive_mutex> guard(m_engine->EngineLock());
    return m_engine->Flipper()->SnapshotPicture(out);
}

}  // namespace quovis
