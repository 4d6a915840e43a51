// Cost of analysing one captured block of sound: mono mix, window, transform, envelopes, bands
// and the silence check. The capture hands over one block per buffer (about ten a second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "audio/audio_analysis.h"

namespace quovis {
namespace {

void BM_AnalyseBlock(benchmark::State& state) {
    constexpr int kFrames = 1024;
    // A few different blocks in turn, so the envelopes keep moving.
    std::vector<std::vector<int16_t>> blocks(8, std::vector<int16_t>(2 * kFrames));
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> dist(-8000, 8000);
    for (auto& block : blocks) {
        for (int16_t& s : block) s = static_cast<int16_t>(dist(gen));
    }
    AudioAnalysis analysis(1);
    AudioBands out;
    uint32_t nowMs = 0;
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(analysis.AnalyseBlock(blocks[next].data(), kFrames, nowMs, out));
        benchmark::DoNotOptimize(out.volume);
        next = (next + 1) % blocks.size();
        nowMs += 23;
    }
}
BENCHMARK(BM_AnalyseBlock)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quovis
