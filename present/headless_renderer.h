// HeadlessRenderer: steps a drawing engine with a canvas of its own, without a window, as
// fast as the machine allows. Time is simulated: every step advances the engine's clock by
// one frame at the given frame rate, so the same settings and seed give the same pictures on
// every run (with one band, byte for byte). The command-line renderer, the picture tests and
// the benchmarks all drive the engine through it, exactly as the saver's frame function does:
// step, present, fade the trails.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/elapsed_time.h"
#include "engine/engine_settings.h"
#include "present/presented_draw_wnd.h"

namespace quovis {

// A clock that moves only when told: one frame per Advance.
class SimulatedClock final : public EngineClock {
  public:
    explicit SimulatedClock(double frameRate) : m_frameMs(1000.0 / frameRate) {}
    uint32_t Milliseconds() override { return static_cast<uint32_t>(m_ms); }
    uint32_t TickCount() override { return static_cast<uint32_t>(m_ms) + 1000000u; }
    bool LocalDayOfYearAndHour(int& dayOfYear, double& hourOfDay) override {
        dayOfYear = 172;  // a fixed midsummer noon: pictures never depend on the real date
        hourOfDay = 12.0;
        return true;
    }
    void Advance() { m_ms += m_frameMs; }

  private:
    double m_frameMs;
    double m_ms = 0.0;
};

struct RenderOptions {
    int width = 640;
    int height = 360;
    int bands = 0;  // worker bands for the dots and the canvas; 0 = one per processor
    int32_t seed = 1;
    double frameRate = 60.0;
};

class HeadlessRenderer {
  public:
    HeadlessRenderer(const RenderOptions& options, const EngineSettings& settings);
    // Settings applied by the caller (a preset, a drawing) under the engine lock, after the
    // canvas exists and before the pattern starts. A false return leaves the renderer not Ok
    // with `failure` as its error.
    HeadlessRenderer(const RenderOptions& options,
                     const std::function<bool(CDrawWnd& engine)>& configure, const char* failure);
    ~HeadlessRenderer();

    // False when the engine could not be built (memory, or a canvas size that gives no
    // image); Error() says why.
    bool Ok() const { return m_error == nullptr; }
    const char* Error() const { return m_error; }

    // Steps until one more frame has been produced (the first calls only show the start-up
    // fade). False when the engine produced nothing in a long time.
    bool RenderFrame();
    int FramesRendered() const { return m_frames; }

    // The current display image, top-down 0xFFRRGGBB.
    bool Snapshot(Picture* out) const;
    PresentedDrawWnd& Engine() { return *m_engine; }

  private:
    SimulatedClock m_clock;
    std::unique_ptr<PresentedDrawWnd> m_engine;
    const char* m_error = nullptr;
    int m_frames = 0;
};

}  // namespace quovis
