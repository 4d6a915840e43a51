// One whole frame as the saver runs it at 1920 x 1080 with 144,000 dots: the frame step
// (emission, motion, colour, plotting every reflection), the canvas-to-display conversion
// and the trail fade. Arguments: bands, reflections, dot style.
#include <benchmark/benchmark.h>

#include "engine/style_table.h"
#include "present/headless_renderer.h"

namespace {

void BM_Frame(benchmark::State& state) {
    quovis::RenderOptions options;
    options.width = 1920;
    options.height = 1080;
    options.bands = static_cast<int>(state.range(0));
    quovis::EngineSettings settings;
    settings.Style = quovis::kStyleFullField;  // every dot alive from the first frame
    settings.Grains = 144000;
    settings.Reflections = static_cast<int>(state.range(1));
    settings.DotStyle = static_cast<int>(state.range(2));
    settings.Complexity = 32;
    quovis::HeadlessRenderer renderer(options, settings);
    if (!renderer.Ok()) {
        state.SkipWithError(renderer.Error());
        return;
    }
    // Past the start-up frames and, for round dots, past the kernel build.
    for (int i = 0; i < 40; ++i) renderer.RenderFrame();
    for (auto _ : state) {
        if (!renderer.RenderFrame()) state.SkipWithError("no frame");
    }
}

void FrameArgs(benchmark::internal::Benchmark* b) {
    for (int bands : {1, 2})
        for (int reflections : {1, 4, 14})
            for (int dotStyle : {0, 7}) b->Args({bands, reflections, dotStyle});
    b->ArgNames({"bands", "reflections", "dotstyle"})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_Frame)->Apply(FrameArgs);

}  // namespace
