// Cost of one RunOnAll barrier: what every frame pays per banded pass on top of the work.
#include <benchmark/benchmark.h>

#include <atomic>

#include "base/worker_pool.h"

namespace {

struct Band {
    std::atomic<int>* counter;
    float data[16];
};

void TouchBand(void*, Band* band) {
    for (float& f : band->data) f += 1.0f;
    band->counter->fetch_add(1, std::memory_order_relaxed);
}

void BM_RunOnAll(benchmark::State& state) {
    const int workers = static_cast<int>(state.range(0));
    const int jobs = static_cast<int>(state.range(1));
    quovis::WorkerPool pool;
    pool.SetWorkerCount(workers);
    if (!pool.Start()) state.SkipWithError("pool did not start");
    std::atomic<int> counter{0};
    Band bands[64];
    for (Band& b : bands) b = Band{&counter, {}};
    for (auto _ : state) {
        pool.RunOnAll<void, Band>(&TouchBand, nullptr, jobs, bands);
    }
    state.SetItemsProcessed(state.iterations() * jobs);
    benchmark::DoNotOptimize(counter.load());
}
BENCHMARK(BM_RunOnAll)->Args({1, 1})->Args({2, 2})->Args({2, 8})->Args({4, 20})->UseRealTime();

void BM_RunOnCaller(benchmark::State& state) {
    // An unstarted pool: the same jobs run in order on the caller. The floor for the barrier.
    quovis::WorkerPool pool;
    pool.SetWorkerCount(2);
    std::atomic<int> counter{0};
    Band bands[2] = {{&counter, {}}, {&counter, {}}};
    for (auto _ : state) pool.RunOnAll<void, Band>(&TouchBand, nullptr, 2, bands);
}
BENCHMARK(BM_RunOnCaller);

}  // namespace
