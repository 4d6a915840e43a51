// The dot kernel at full size: 144000 dots on a 1920 x 1080 canvas pushed by 32 movers, with
// the movers themselves (one image) or the four images of wrapping, in one band on the
// calling thread or two bands on two workers, with and without plotting into a real 16-bit
// canvas ("Points" dot style). The counter ns_per_dot is the time of one frame's pass divided
// by the dot count. The field sums alone are measured too, per call.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "base/worker_pool.h"
#include "engine/field_sum.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/fixed_clock.h"
#include "tests/engine/motion_peer.h"

namespace {

using quovis::DotBand;
using quovis::MotionSetup;
using quovis::MotionTestPeer;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kDots = 144000;

struct KernelRig {
    quovis::test::FixedClock clock{1234, 5678};
    std::unique_ptr<quovis::PresentedDrawWnd> engine;
    quovis::WorkerPool pool;
    std::vector<DotBand> bands;

    KernelRig(int images, int bandCount, bool plot) {
        quovis::EngineOptions options;
        options.workerCount = 1;
        engine = std::make_unique<quovis::PresentedDrawWnd>(clock, options);
        engine->SetCanvasSize(kWidth, kHeight);
        if (plot) engine->CreateOutput(60.0);
        MotionSetup s;
        s.width = kWidth;
        s.height = kHeight;
        s.dots = kDots;
        s.movers = 32;
        s.motion = 2;
        s.activity = 2.0;
        s.viscosity = 200.0;
        s.wrapFlags = images == 4 ? 2 : 0;
        MotionTestPeer::Start(*engine, s, 0.1);
        MotionTestPeer::ScatterDots(*engine, 99);
        // Settle the field a little so the dots move as they do in a running pattern.
        std::vector<DotBand> warm;
        for (int frame = 0; frame < 20; ++frame) MotionTestPeer::Frame(*engine, 1, warm);

        bands.resize(static_cast<std::size_t>(bandCount));
        for (int b = 0; b < bandCount; ++b) {
            bands[b].First = kDots * b / bandCount;
            bands[b].Last = kDots * (b + 1) / bandCount - 1;
        }
        if (bandCount > 1) {
            pool.SetWorkerCount(bandCount);
            pool.Start();
        }
    }

    void Pass() {
        MotionTestPeer::PrepareMotionFrame(*engine);
        if (bands.size() == 1) {
            MotionTestPeer::MoveAndPlotBand(*engine, bands[0]);
            return;
        }
        pool.RunOnAll(
            +[](quovis::PresentedDrawWnd* e, DotBand* band) {
                MotionTestPeer::MoveAndPlotBand(*e, *band);
            },
            engine.get(), static_cast<int>(bands.size()), bands.data());
    }
};

void BM_MotionKernel(benchmark::State& state) {
    const int images = static_cast<int>(state.range(0));
    const int bandCount = static_cast<int>(state.range(1));
    const bool plot = state.range(2) != 0;
    KernelRig rig(images, bandCount, plot);
    for (auto _ : state) {
        if (plot) {
            // A cleared canvas each frame, as without trails, so plots never pile up into
            // saturated pixels; the clearing itself is not the kernel's and is not timed.
            state.PauseTiming();
            rig.engine->Canvas()->BeginFrame(true);
            state.ResumeTiming();
        }
        rig.Pass();
    }
    state.counters["ns_per_dot"] = benchmark::Counter(
        kDots, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MotionKernel)
    ->ArgNames({"images", "bands", "plot"})
    ->Args({1, 1, 0})
    ->Args({4, 1, 0})
    ->Args({1, 2, 0})
    ->Args({4, 2, 0})
    ->Args({1, 1, 1})
    ->Args({4, 1, 1})
    ->Args({1, 2, 1})
    ->Args({4, 2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The field sum alone for one dot: 32 movers, one or four images.
void BM_FieldSum(benchmark::State& state) {
    const int images = static_cast<int>(state.range(0));
    alignas(64) float x[32], y[32], fx[32], fy[32], w[32];
    for (int k = 0; k < 32; ++k) {
        x[k] = 60.0f * k;
        y[k] = 33.0f * k;
        fx[k] = 0.1f * (k % 7) - 0.3f;
        fy[k] = 0.05f * (k % 5) - 0.1f;
        w[k] = 1e-4f * (1 + k % 3);
    }
    quovis::FieldSources s;
    s.x = x;
    s.y = y;
    s.flowX = fx;
    s.flowY = fy;
    s.weight = w;
    s.count = 32;
    const quovis::FieldImage maps[4] = {{},
                                        {1.0f, -1920.0f, 1.0f, 0.0f},
                                        {1.0f, 0.0f, 1.0f, -1080.0f},
                                        {1.0f, -1920.0f, 1.0f, -1080.0f}};
    float px = 100.0f;
    for (auto _ : state) {
        const quovis::FieldPush p =
            images == 1
                ? quovis::SumPush(s, px, 200.0f, quovis::FieldFalloff::Square)
                : quovis::SumPushImages(s, maps, 4, px, 200.0f, quovis::FieldFalloff::Square);
        benchmark::DoNotOptimize(p);
        px += 0.25f;
    }
}
BENCHMARK(BM_FieldSum)->ArgName("images")->Arg(1)->Arg(4);

}  // namespace
