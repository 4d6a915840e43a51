// Cost of the engine's random generators and of creating and destroying an engine.
#include <benchmark/benchmark.h>

#include "engine/draw_wnd.h"
#include "engine/random.h"

namespace quovis {
namespace {

class BenchClock final : public EngineClock {
  public:
    uint32_t Milliseconds() override { return 1000; }
    uint32_t TickCount() override { return 2000; }
};

void BM_RandomUniform(benchmark::State& state) {
    EngineRandom r;
    r.Seed(12345, 0, 0);
    for (auto _ : state) benchmark::DoNotOptimize(r.RandomUniform());
}
BENCHMARK(BM_RandomUniform);

void BM_RandomSigned(benchmark::State& state) {
    EngineRandom r;
    r.Seed(12345, 0, 0);
    for (auto _ : state) benchmark::DoNotOptimize(r.RandomSigned(1.0f));
}
BENCHMARK(BM_RandomSigned);

void BM_PinkNoise(benchmark::State& state) {
    EngineRandom r;
    r.Seed(12345, 0, 0);
    r.InitPinkChannels(EngineRandom::kPinkChannelsUsed);
    int channel = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(r.PinkNoise(channel));
        channel = (channel + 1) & 127;
    }
}
BENCHMARK(BM_PinkNoise);

void BM_BuildJitter(benchmark::State& state) {
    BenchClock clock;
    EngineOptions o;
    o.workerCount = 1;
    CDrawWnd e(clock, o);
    for (auto _ : state) benchmark::DoNotOptimize(e.BuildJitter(1.0, 1.8));
}
BENCHMARK(BM_BuildJitter)->Unit(benchmark::kMicrosecond);

// Workers: 1 = no pool; 2 = a pool whose threads are started and joined each time.
void BM_EngineCreateDestroy(benchmark::State& state) {
    BenchClock clock;
    EngineOptions o;
    o.workerCount = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CDrawWnd e(clock, o);
        benchmark::DoNotOptimize(e.IsUsable());
    }
}
BENCHMARK(BM_EngineCreateDestroy)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quovis
