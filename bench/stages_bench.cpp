// The frame, stage by stage, at full size: 144,000 dots and 32 movers on a 1920 x 1080 canvas
// unless the name says otherwise, on 1 and 2 threads of the engine's worker pool.
//
// Every benchmark times its stage and, interleaved with it in the same iterations, a
// reference kernel doing the same work the plainest fast way (reference_kernels.h). Besides
// the stage's time it reports ref_ms and ratio = stage / reference; the summary table at the
// end (stage_table.h) sets the ratios against their targets.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/reference_kernels.h"
#include "bench/stage_table.h"
#include "engine/field_sum.h"
#include "engine/style_table.h"
#include "present/flipper.h"
#include "present/headless_renderer.h"
#include "present/presented_draw_wnd.h"
#include "settings/builtin_presets.h"
#include "settings/preset_apply.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"

extern char** environ;

namespace {

using quovis::DotBand;
using quovis::EngineTestAccess;
using quovis::WorkerPool;
namespace ref = quovis::reference;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kDots = 144000;
constexpr int kMovers = 32;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Times `stage` and `ref` alternately, each after its own untimed `prepare`, so both see the
// same spell of the machine. `items` is the work of one iteration (dots, splats, pixels).
template <class Prepare, class Stage, class Ref>
void RunPaired(benchmark::State& state, Prepare prepare, Stage stage, Ref reference, double items) {
    double stageTotal = 0.0;
    double refTotal = 0.0;
    for (auto _ : state) {
        prepare();
        const Clock::time_point t0 = Clock::now();
        stage();
        const Clock::time_point t1 = Clock::now();
        prepare();
        const Clock::time_point t2 = Clock::now();
        reference();
        const Clock::time_point t3 = Clock::now();
        stageTotal += Seconds(t0, t1);
        refTotal += Seconds(t2, t3);
        state.SetIterationTime(Seconds(t0, t1));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ref_ms"] = refTotal / n * 1e3;
    state.counters["ratio"] = refTotal > 0.0 ? stageTotal / refTotal : 0.0;
    if (items > 0.0) state.counters["ns_per_item"] = stageTotal / n / items * 1e9;
}

// Runs job(record) for `count` records: on the pool when there is one, else in turn.
template <class Record>
void RunOn(WorkerPool* pool, void (*job)(void*, Record*), void* object, int count,
           Record* records) {
    if (pool != nullptr && count > 1) {
        pool->RunOnAll(job, object, count, records);
    } else {
        for (int i = 0; i < count; ++i) job(object, &records[i]);
    }
}

// Registers every case on one thread and, right after it, on two: the pair then runs in the
// same spell of the machine, which keeps the speed-up between them meaningful.
template <int64_t... kCases>
void ThreadPairs(benchmark::internal::Benchmark* b) {
    for (int64_t c : {kCases...}) {
        for (int64_t threads : {1, 2}) b->Args({threads, c});
    }
}

// A range of work for one thread, on a cache line of its own.
struct alignas(64) Range {
    int first = 0;
    int last = -1;
    float result = 0.0f;
};

std::vector<Range> SplitRanges(int total, int parts) {
    std::vector<Range> ranges(static_cast<std::size_t>(parts));
    for (int p = 0; p < parts; ++p) {
        ranges[p].first = static_cast<int>(static_cast<int64_t>(total) * p / parts);
        ranges[p].last = static_cast<int>(static_cast<int64_t>(total) * (p + 1) / parts) - 1;
    }
    return ranges;
}

// A thread pool for the reference kernels, as big as the engine's.
struct RefPool {
    WorkerPool pool;
    explicit RefPool(int threads) {
        if (threads > 1) {
            pool.SetWorkerCount(threads);
            pool.Start();
        }
    }
    WorkerPool* Get(int threads) { return threads > 1 ? &pool : nullptr; }
};

// An engine with its dots spread over the canvas and the field settled for 20 frames, so
// that dots move as they do in a running pattern.
struct DotRig {
    quovis::test::FixedClock clock{1234, 5678};
    std::unique_ptr<quovis::PresentedDrawWnd> engine;

    DotRig(int threads, int images, bool output, int width = kWidth, int height = kHeight) {
        quovis::EngineOptions options;
        options.workerCount = threads;
        quovis::FlipperOptions flipperOptions;
        flipperOptions.bands = threads;
        engine = std::make_unique<quovis::PresentedDrawWnd>(clock, options, flipperOptions);
        engine->SetCanvasSize(width, height);
        if (output) engine->CreateOutput(60.0);
        quovis::MotionSetup s;
        s.width = width;
        s.height = height;
        s.dots = kDots;
        s.movers = kMovers;
        s.motion = 2;
        s.activity = 2.0;
        s.viscosity = 200.0;
        s.wrapFlags = images == 4 ? 2 : 0;
        EngineTestAccess::Start(*engine, s, 0.1);
        EngineTestAccess::ScatterDots(*engine, 99);
        std::vector<DotBand> warm;
        for (int frame = 0; frame < 20; ++frame) EngineTestAccess::Frame(*engine, 1, warm);
        EngineTestAccess::PrepareMotionFrame(*engine);
    }
    quovis::CDrawWnd& E() { return *engine; }
};

// ---- Field sum ------------------------------------------------------------------------------

struct FieldStage {
    quovis::FieldSources sources;
    quovis::FieldQuadrants quadrants;
    int images = 1;
    const float* x = nullptr;
    const float* y = nullptr;
    const float* vx = nullptr;
    const float* vy = nullptr;
};

// The kernel's own field pass over one range: the moved positions block by block, then the
// pushes of the block (the dot update that follows is left out).
void FieldStageJob(void* object, Range* r) {
    const FieldStage& f = *static_cast<const FieldStage*>(object);
    alignas(64) float bx[quovis::kFieldBlock], by[quovis::kFieldBlock];
    alignas(64) float px[quovis::kFieldBlock], py[quovis::kFieldBlock];
    quovis::FieldBlock block;
    block.x = bx;
    block.y = by;
    block.vx = px;
    block.vy = py;
    float total = 0.0f;
    for (int b0 = r->first; b0 <= r->last; b0 += quovis::kFieldBlock) {
        const int n = std::min(quovis::kFieldBlock, r->last - b0 + 1);
        for (int t = 0; t < n; ++t) {
            bx[t] = f.x[b0 + t] + f.vx[b0 + t];
            by[t] = f.y[b0 + t] + f.vy[b0 + t];
        }
        for (int t = n; t < quovis::PaddedBlockCount(n); ++t) bx[t] = by[t] = 0.0f;
        block.count = n;
        quovis::SumPushBlock(f.sources, &f.quadrants, f.images, quovis::FieldFalloff::Square, false,
                             block);
        total += px[0] + py[0];
    }
    r->result = total;
}

void FieldRefJob(void* object, Range* r) {
    r->result = ref::FieldSum(*static_cast<const ref::FieldData*>(object), r->first, r->last);
}

void BM_FieldSum(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int images = static_cast<int>(state.range(1));
    DotRig rig(threads, images, false);
    quovis::CDrawWnd& e = rig.E();
    FieldStage stage;
    stage.sources = EngineTestAccess::Sources(e);
    stage.quadrants = EngineTestAccess::Quadrants(e);
    stage.images = EngineTestAccess::FieldImages(e);
    stage.x = EngineTestAccess::X(e);
    stage.y = EngineTestAccess::Y(e);
    stage.vx = EngineTestAccess::VX(e);
    stage.vy = EngineTestAccess::VY(e);

    // The reference reads its own copy of the positions, padded by a block.
    std::vector<float> x(stage.x, stage.x + kDots), y(stage.y, stage.y + kDots);
    x.resize(kDots + ref::kBlock, 0.0f);
    y.resize(kDots + ref::kBlock, 0.0f);
    const float offsets[4][2] = {{0, 0}, {-kWidth, 0}, {0, -kHeight}, {-kWidth, -kHeight}};
    const ref::FieldData data{x.data(),
                              y.data(),
                              stage.sources.x,
                              stage.sources.y,
                              stage.sources.flowX,
                              stage.sources.flowY,
                              stage.sources.weight,
                              stage.sources.count,
                              offsets,
                              images};
    RefPool refPool(threads);
    std::vector<Range> ranges = SplitRanges(kDots, threads);
    std::vector<Range> refRanges = ranges;
    WorkerPool* pool = EngineTestAccess::Pool(e);
    RunPaired(
        state, [] {}, [&] { RunOn(pool, &FieldStageJob, &stage, threads, ranges.data()); },
        [&] {
            RunOn(refPool.Get(threads), &FieldRefJob, const_cast<ref::FieldData*>(&data), threads,
                  refRanges.data());
        },
        kDots);
}
BENCHMARK(BM_FieldSum)
    ->ArgNames({"threads", "images"})
    ->Apply(ThreadPairs<1, 4>)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- Dot update -----------------------------------------------------------------------------

// The dot arrays of the rig, saved, so every iteration starts from the same dots.
struct SavedDots {
    std::vector<float> arrays[8];
    float* live[8];
    explicit SavedDots(quovis::CDrawWnd& e)
        : live{EngineTestAccess::X(e),  EngineTestAccess::Y(e),       EngineTestAccess::VX(e),
               EngineTestAccess::VY(e), EngineTestAccess::R(e),       EngineTestAccess::G(e),
               EngineTestAccess::B(e),  EngineTestAccess::Mobility(e)} {
        for (int a = 0; a < 8; ++a) arrays[a].assign(live[a], live[a] + kDots);
    }
    void Restore() {
        for (int a = 0; a < 8; ++a) std::copy(arrays[a].begin(), arrays[a].end(), live[a]);
    }
};

void DotRefJob(void* object, Range* r) {
    ref::DotUpdate(*static_cast<const ref::DotData*>(object), r->first, r->last);
}

// The motion pass with no movers and no canvas: moving, damping, walls and colour only.
void BM_DotUpdate(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    DotRig rig(threads, 1, false);
    quovis::CDrawWnd& e = rig.E();
    EngineTestAccess::SetMovers(e, 0);
    EngineTestAccess::PrepareMotionFrame(e);
    SavedDots saved(e);

    std::vector<float> copy[8];
    for (int a = 0; a < 8; ++a) copy[a] = saved.arrays[a];
    const ref::DotData data{copy[0].data(),
                            copy[1].data(),
                            copy[2].data(),
                            copy[3].data(),
                            copy[4].data(),
                            copy[5].data(),
                            copy[6].data(),
                            copy[7].data(),
                            EngineTestAccess::HueTable(e),
                            static_cast<float>(kWidth),
                            static_cast<float>(kHeight),
                            EngineTestAccess::DampX(e),
                            EngineTestAccess::WallK1(e),
                            EngineTestAccess::WallK2(e),
                            EngineTestAccess::MarginX(e),
                            EngineTestAccess::ColourGain(e)[0],
                            0.01f};
    RefPool refPool(threads);
    std::vector<Range> refRanges = SplitRanges(kDots, threads);
    RunPaired(
        state,
        [&] {
            saved.Restore();
            for (int a = 0; a < 8; ++a)
                std::copy(saved.arrays[a].begin(), saved.arrays[a].end(), copy[a].begin());
        },
        [&] { EngineTestAccess::RunMotionBands(e); },
        [&] {
            RunOn(refPool.Get(threads), &DotRefJob, const_cast<ref::DotData*>(&data), threads,
                  refRanges.data());
        },
        kDots);
}
BENCHMARK(BM_DotUpdate)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- Plotting -------------------------------------------------------------------------------

// How the stage plots: every image through the general path, through the short path for
// inner points, or (as the engine does with several workers) collected per band and then
// drawn stripe by stripe.
enum PlotPath { kGeneral = 0, kShort = 1, kStripes = 2 };

struct PlotStage {
    quovis::CDrawWnd* engine;
    int path;
    DotBand* bands;
};

void PlotStageJob(void* object, DotBand* band) {
    const PlotStage& p = *static_cast<const PlotStage*>(object);
    EngineTestAccess::PlotBand(*p.engine, *band, p.path == kGeneral, p.path == kStripes);
}

void StripeStageJob(void* object, DotBand* band) {
    const PlotStage& p = *static_cast<const PlotStage*>(object);
    EngineTestAccess::DrawBandStripes(*p.engine, *band);
}

struct SplatRef {
    ref::Canvas16 canvas;
    const ref::Plot* plots;
    const int16_t (*kernels)[32][16];
};

void SplatRefJob(void* object, Range* r) {
    const SplatRef& s = *static_cast<const SplatRef*>(object);
    if (s.kernels != nullptr) {
        ref::Splat4x4(s.canvas, s.plots, r->first, r->last, s.kernels);
    } else {
        ref::Splat2x2(s.canvas, s.plots, r->first, r->last);
    }
}

using PlotAmountsOf = std::function<quovis::PlotAmounts(int)>;

// The plots of `count` dots with their reflection images, in the order the engine makes
// them (dot by dot, image by image), turned about the middle of the canvas as the engine
// turns them.
std::vector<ref::Plot> ImagePlots(const float* x, const float* y, const PlotAmountsOf& amounts,
                                  int count, int reflections, bool symmetric) {
    std::vector<ref::Plot> plots;
    plots.reserve(static_cast<std::size_t>(count) * reflections * (symmetric ? 2 : 1));
    const float cx = kWidth / 2, cy = kHeight / 2;
    std::vector<float> cs(static_cast<std::size_t>(reflections)), sn(cs.size());
    for (int r = 0; r < reflections; ++r) {
        const double a = 2.0 * 3.14159265358979323846 * r / reflections;
        cs[r] = static_cast<float>(std::cos(a));
        sn[r] = static_cast<float>(std::sin(a));
    }
    for (int i = 0; i < count; ++i) {
        const float dx = x[i] - cx, dy = y[i] - cy;
        const quovis::PlotAmounts a = amounts(i);
        for (int r = 0; r < reflections; ++r) {
            plots.push_back(
                {cx + dx * cs[r] + dy * sn[r], cy + dy * cs[r] - dx * sn[r], {a.a0, a.a1, a.a2}});
            if (symmetric) {
                plots.push_back({cx + dy * sn[r] - dx * cs[r],
                                 cy + dx * sn[r] + dy * cs[r],
                                 {a.a0, a.a1, a.a2}});
            }
        }
    }
    return plots;
}

// ---- Real patterns --------------------------------------------------------------------------

// The dots of the splat cases: uniform random ones (0), or those of a built-in preset run for
// 300 frames at 1920 x 1080.
const char* const kPatternNames[] = {"uniform",        "Into The Light", "Jellyscope",
                                     "Time Explosion", "Silk",           "Shock Waves"};
constexpr int kPatternCount = static_cast<int>(std::size(kPatternNames));

// What the splat stage of a real pattern sees: each living dot's plot (position and amounts,
// shimmer and brightness cap applied, one image), and the canvas it draws into, rows
// bottom-up as the engine keeps them.
struct CapturedPattern {
    const char* error = nullptr;
    std::vector<quovis::SplatRecord> plots;
    std::vector<uint16_t> canvas;  // kHeight rows of 3 * kWidth words
};

CapturedPattern CapturePattern(const char* name) {
    CapturedPattern out;
    const std::u16string wide(name, name + std::strlen(name));
    const int index = quovis::FindBuiltinPreset(wide);
    if (index < 0) {
        out.error = "no such built-in preset";
        return out;
    }
    const std::u16string text(quovis::BuiltinPreset(index));
    quovis::RenderOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.bands = 1;  // one band: the same dots on every machine
    quovis::HeadlessRenderer renderer(
        options,
        [&text](quovis::CDrawWnd& engine) { return quovis::ApplyPresetString(engine, text); },
        "the preset did not apply");
    if (!renderer.Ok()) {
        out.error = renderer.Error();
        return out;
    }
    for (int frame = 0; frame < 300; ++frame) renderer.RenderFrame();
    quovis::CDrawWnd& e = renderer.Engine();
    const quovis::CanvasSurface& s = e.Canvas()->Surface();
    DotBand& band = EngineTestAccess::BandRecords(e)[0];
    if (s.deep == nullptr || s.width != kWidth || s.height != kHeight || band.splats == nullptr) {
        out.error = "no deep canvas or no plot buffer";
        return out;
    }
    for (int row = 0; row < kHeight; ++row) {
        const uint16_t* words = s.deep + row * s.deepRowStep;
        out.canvas.insert(out.canvas.end(), words, words + 3 * kWidth);
    }
    // The engine's own collection makes the plots, one image a dot, a buffer at a time.
    EngineTestAccess::SetReflections(e, 1, false, kWidth / 2, kHeight / 2);
    const int dots = std::min(EngineTestAccess::DotCount(e), kDots);
    for (int first = 0; first < dots; first += band.splatCapacity) {
        band.First = first;
        band.Last = std::min(dots, first + band.splatCapacity) - 1;
        EngineTestAccess::PlotBand(e, band, false, true);
        out.plots.insert(out.plots.end(), band.splats, band.splats + band.splatCount);
    }
    return out;
}

// Each pattern is run once per process, the first time a case asks for it.
const CapturedPattern& Pattern(int index) {
    static std::unique_ptr<CapturedPattern> captured[kPatternCount];
    if (!captured[index]) {
        captured[index] = std::make_unique<CapturedPattern>(CapturePattern(kPatternNames[index]));
    }
    return *captured[index];
}

// One splat case: a rig holding the case's dots (with the colours that give the plots'
// amounts exactly), the same plots for the reference, and for a real pattern both canvases
// put back to the pattern's canvas before every run.
struct SplatCase {
    const char* error = nullptr;
    int threads = 1;
    int path = kStripes;
    int dots = kDots;
    DotRig rig;
    std::vector<ref::Plot> plots;
    quovis::AlignedArray<uint16_t> refCanvas;
    const std::vector<uint16_t>* saved = nullptr;
    std::vector<Range> refRanges;
    int dotsPerRound = kDots;
    PlotStage stage{};
    bool restoreStage = true;

    SplatCase(int threadCount, int style, int reflections, bool symmetric, int plotPath,
              int pattern)
        : threads(threadCount), path(plotPath), rig(threadCount, 1, true) {
        quovis::CDrawWnd& e = rig.E();
        e.SetDotStyle(style);
        e.BuildDiscKernels(style, true);
        EngineTestAccess::SetPointCap(e, 130560);
        EngineTestAccess::SetReflections(e, reflections, symmetric, kWidth / 2, kHeight / 2);
        float* channels[3] = {EngineTestAccess::R(e), EngineTestAccess::G(e),
                              EngineTestAccess::B(e)};
        if (pattern == 0) {
            // A faint colour, the same for every dot.
            for (int i = 0; i < kDots; ++i) {
                channels[0][i] = 1.5f;
                channels[1][i] = 1.0f;
                channels[2][i] = 0.5f;
            }
            plots = ImagePlots(
                EngineTestAccess::X(e), EngineTestAccess::Y(e),
                [](int) {
                    return quovis::PlotAmounts{384, 256, 128};
                },
                kDots, reflections, symmetric);
        } else {
            const CapturedPattern& p = Pattern(pattern);
            if (p.error != nullptr) {
                error = p.error;
                return;
            }
            dots = static_cast<int>(p.plots.size());
            EngineTestAccess::SetDots(e, dots);
            float* xy[2] = {EngineTestAccess::X(e), EngineTestAccess::Y(e)};
            float* v[2] = {EngineTestAccess::VX(e), EngineTestAccess::VY(e)};
            for (int i = 0; i < dots; ++i) {
                const quovis::SplatRecord& r = p.plots[static_cast<std::size_t>(i)];
                xy[0][i] = r.x;
                xy[1][i] = r.y;
                v[0][i] = v[1][i] = 0.0f;
                // With the cap off and no shimmer, these colours give back the amounts.
                channels[0][i] = static_cast<float>(r.amounts.a0) / 256.0f;
                channels[1][i] = static_cast<float>(r.amounts.a1) / 256.0f;
                channels[2][i] = static_cast<float>(r.amounts.a2) / 256.0f;
            }
            plots = ImagePlots(
                xy[0], xy[1], [&p](int i) { return p.plots[static_cast<std::size_t>(i)].amounts; },
                dots, reflections, symmetric);
            saved = &p.canvas;
        }
        DotBand* bands = EngineTestAccess::BandRecords(e);
        if (path == kStripes && bands[0].splats == nullptr) {
            error = "no plot buffers";
            return;
        }
        if (path == kStripes) EngineTestAccess::PrepareStripes(e);
        // Stripes need a band's plots to fit its buffer: more dots make rounds, as in the engine.
        const int splatsPerDot = reflections * (symmetric ? 2 : 1);
        dotsPerRound = path == kStripes
                           ? std::min(dots, bands[0].splatCapacity / splatsPerDot * threads)
                           : dots;
        stage = PlotStage{&e, path, bands};
        // The reference's canvas lives in memory like the engine's (huge pages included).
        refCanvas.Allocate(static_cast<std::size_t>(kWidth) * kHeight * 3);
        refRanges = SplitRanges(static_cast<int>(plots.size()), threads);
        // The settling frames drew real colours; the uniform case starts from a dark canvas,
        // as the reference does.
        e.Canvas()->BeginFrame(true);
    }

    void RunStage() {
        DotBand* bands = stage.bands;
        WorkerPool* pool = EngineTestAccess::Pool(rig.E());
        for (int first = 0; first < dots; first += dotsPerRound) {
            const int count = std::min(dotsPerRound, dots - first);
            for (int b = 0; b < threads; ++b) {
                bands[b].First = first + count * b / threads;
                bands[b].Last = first + count * (b + 1) / threads - 1;
            }
            RunOn(pool, &PlotStageJob, &stage, threads, bands);
            if (path == kStripes) RunOn(pool, &StripeStageJob, &stage, threads, bands);
        }
    }

    // A real pattern's canvas, put back: the engine's before the stage, the reference's
    // (rows top-down) before the reference, as RunPaired alternates its preparations.
    void Restore() {
        if (saved == nullptr) return;
        const std::size_t row = 3 * static_cast<std::size_t>(kWidth);
        if (restoreStage) {
            const quovis::CanvasSurface& s = rig.E().Canvas()->Surface();
            for (int y = 0; y < kHeight; ++y) {
                std::copy_n(saved->data() + y * row, row, s.deep + y * s.deepRowStep);
            }
        } else {
            for (int y = 0; y < kHeight; ++y) {
                std::copy_n(saved->data() + y * row, row,
                            refCanvas.Data() + (kHeight - 1 - y) * row);
            }
        }
        restoreStage = !restoreStage;
    }
};

void BM_Splats(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int style = static_cast<int>(state.range(1));
    const int reflections = static_cast<int>(state.range(2));
    const bool symmetric = state.range(3) != 0;
    const int path = static_cast<int>(state.range(4));
    const int pattern = static_cast<int>(state.range(5));
    SplatCase c(threads, style, reflections, symmetric, path, pattern);
    if (c.error != nullptr) {
        state.SkipWithError(c.error);
        return;
    }
    state.SetLabel(kPatternNames[pattern]);
    SplatRef reference{{c.refCanvas.Data(), kWidth, kHeight, 3 * kWidth}, c.plots.data(), nullptr};
    static int16_t kernels[32][32][16];
    if (style == quovis::kDotDiscs) {
        for (int fx = 0; fx < 32; ++fx)
            for (int fy = 0; fy < 32; ++fy)
                std::copy_n(EngineTestAccess::Kernel(c.rig.E(), fx, fy), 16, kernels[fx][fy]);
        reference.kernels = kernels;
    }
    RefPool refPool(threads);
    // The uniform case's canvases are not cleared between iterations: a clear of this size
    // streams past the caches and would leave every plot a miss, which no running frame sees.
    // Its colours are faint enough that no pixel saturates in the iterations a run makes. A
    // real pattern's bright plots would saturate soon, so its canvas is put back every time.
    RunPaired(
        state, [&] { c.Restore(); }, [&] { c.RunStage(); },
        [&] { RunOn(refPool.Get(threads), &SplatRefJob, &reference, threads, c.refRanges.data()); },
        static_cast<double>(c.plots.size()));
    state.counters["dots"] = c.dots;
}
// Each uniform case on one thread (plotting at once) and right after it on two (collected
// and drawn by stripes); then the general path on one and two threads and the short path on
// two, plotting at once, for comparison. The real patterns draw "Points" as the engine does
// on one and on two workers: collected and drawn with the vector kernel.
void SplatArgs(benchmark::internal::Benchmark* b) {
    for (int style : {quovis::kDotPoints, quovis::kDotDiscs})
        for (int reflections : {1, 4, 14})
            for (int symmetric : {0, 1}) {
                b->Args({1, style, reflections, symmetric, kShort, 0});
                b->Args({2, style, reflections, symmetric, kStripes, 0});
            }
    b->Args({1, quovis::kDotPoints, 1, 0, kGeneral, 0});
    b->Args({2, quovis::kDotPoints, 1, 0, kGeneral, 0});
    b->Args({2, quovis::kDotPoints, 1, 0, kShort, 0});
    for (int pattern = 1; pattern < kPatternCount; ++pattern)
        for (int reflections : {1, 4, 14})
            for (int threads : {1, 2}) {
                b->Args({threads, quovis::kDotPoints, reflections, 0, kStripes, pattern});
            }
}
BENCHMARK(BM_Splats)
    ->ArgNames({"threads", "style", "reflections", "symmetric", "path", "pattern"})
    ->Apply(SplatArgs)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The splat stage as the engine runs it, "Points", with the vector kernel against the path
// before it, as the reference: ratio = kernel / plain, from interleaved iterations. On two
// workers both collect the plots per band and draw them stripe by stripe, plot by plot or
// with the kernel; one worker used to plot each image at once and now collects its plots
// for the kernel too. `bright:1` gives every dot a full-strength colour, so that nearly
// every plot lands on saturated pixels and takes the overflow compression.
void BM_SplatKernel(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int reflections = static_cast<int>(state.range(1));
    const bool bright = state.range(2) != 0;
    DotRig rig(threads, 1, true);
    quovis::CDrawWnd& e = rig.E();
    e.SetDotStyle(quovis::kDotPoints);
    EngineTestAccess::SetPointCap(e, 130560);
    EngineTestAccess::SetReflections(e, reflections, false, kWidth / 2, kHeight / 2);
    float* channels[3] = {EngineTestAccess::R(e), EngineTestAccess::G(e), EngineTestAccess::B(e)};
    const float colour[3] = {bright ? 255.0f : 1.5f, bright ? 200.0f : 1.0f, bright ? 90.0f : 0.5f};
    for (int c = 0; c < 3; ++c) std::fill(channels[c], channels[c] + kDots, colour[c]);
    DotBand* bands = EngineTestAccess::BandRecords(e);
    WorkerPool* pool = EngineTestAccess::Pool(e);
    if (bands[0].splats == nullptr) {
        state.SkipWithError("no plot buffers (no vector kernel in this build?)");
        return;
    }
    EngineTestAccess::PrepareStripes(e);
    const int dotsPerRound = std::min(kDots, bands[0].splatCapacity / reflections * threads);
    PlotStage collect{&e, kStripes, bands};
    PlotStage atOnce{&e, kShort, bands};
    auto draw = [&](bool vector) {
        EngineTestAccess::SetVectorSplats(e, vector);
        const bool stripes = vector || threads > 1;
        const int perRound = stripes ? dotsPerRound : kDots;
        for (int first = 0; first < kDots; first += perRound) {
            const int count = std::min(perRound, kDots - first);
            for (int b = 0; b < threads; ++b) {
                bands[b].First = first + count * b / threads;
                bands[b].Last = first + count * (b + 1) / threads - 1;
            }
            RunOn(pool, &PlotStageJob, stripes ? &collect : &atOnce, threads, bands);
            if (stripes) RunOn(pool, &StripeStageJob, &collect, threads, bands);
        }
    };
    e.Canvas()->BeginFrame(true);
    RunPaired(
        state, [] {}, [&] { draw(true); }, [&] { draw(false); },
        static_cast<double>(kDots) * reflections);
}
BENCHMARK(BM_SplatKernel)
    ->ArgNames({"threads", "reflections", "bright"})
    ->ArgsProduct({{1, 2}, {1, 4, 14}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same comparison on real patterns: a built-in preset run for 300 frames at 1920 x 1080,
// then its splat stage on its own dots, colours, dot style and reflections, into its own
// canvas (put back before every iteration), where bright patterns send most plots through
// the overflow compression. A pattern whose dots are not "Points" shows that the other
// styles kept their path (ratio about 1).
const char* const kRealPatterns[] = {"Into The Light", "Jellyscope", "Time Explosion"};

void BM_SplatKernelPatterns(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const char* name = kRealPatterns[state.range(1)];
    std::u16string wide(name, name + std::strlen(name));
    const int index = quovis::FindBuiltinPreset(wide);
    if (index < 0) {
        state.SkipWithError("no such built-in preset");
        return;
    }
    const std::u16string text(quovis::BuiltinPreset(index));
    quovis::RenderOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.bands = threads;
    quovis::HeadlessRenderer renderer(
        options,
        [&text](quovis::CDrawWnd& engine) { return quovis::ApplyPresetString(engine, text); },
        "the preset did not apply");
    if (!renderer.Ok()) {
        state.SkipWithError(renderer.Error());
        return;
    }
    for (int frame = 0; frame < 300; ++frame) renderer.RenderFrame();
    quovis::CDrawWnd& e = renderer.Engine();
    state.SetLabel(name);
    DotBand* bands = EngineTestAccess::BandRecords(e);
    WorkerPool* pool = EngineTestAccess::Pool(e);
    const quovis::CanvasSurface& surface = e.Canvas()->Surface();
    if (bands[0].splats == nullptr || surface.deep == nullptr) {
        state.SkipWithError("no plot buffers or no deep canvas");
        return;
    }
    EngineTestAccess::PrepareStripes(e);
    const int dots = EngineTestAccess::DotCount(e);
    const int images = EngineTestAccess::ImagesPerDot(e);
    const int dotsPerRound = std::min(dots, bands[0].splatCapacity / images * threads);
    const std::size_t words = static_cast<std::size_t>(surface.height) * surface.deepRowStep;
    const std::vector<uint16_t> saved(surface.deep, surface.deep + words);
    PlotStage collect{&e, kStripes, bands};
    PlotStage atOnce{&e, kShort, bands};
    const bool points = e.DotStyle() == quovis::kDotPoints;
    auto draw = [&](bool vector) {
        EngineTestAccess::SetVectorSplats(e, vector);
        const bool stripes = (vector && points) || threads > 1;
        const int perRound = stripes ? dotsPerRound : dots;
        for (int first = 0; first < dots; first += perRound) {
            const int count = std::min(perRound, dots - first);
            for (int b = 0; b < threads; ++b) {
                bands[b].First = first + count * b / threads;
                bands[b].Last = first + count * (b + 1) / threads - 1;
            }
            RunOn(pool, &PlotStageJob, stripes ? &collect : &atOnce, threads, bands);
            if (stripes) RunOn(pool, &StripeStageJob, &collect, threads, bands);
        }
    };
    RunPaired(
        state, [&] { std::copy(saved.begin(), saved.end(), surface.deep); }, [&] { draw(true); },
        [&] { draw(false); }, static_cast<double>(dots) * images);
    state.counters["images"] = images;
    state.counters["points"] = points ? 1 : 0;
}
BENCHMARK(BM_SplatKernelPatterns)
    ->ArgNames({"threads", "pattern"})
    ->ArgsProduct({{1, 2}, {0, 1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- Trail fade and conversion --------------------------------------------------------------

struct CanvasRef {
    uint16_t* canvas;
    uint32_t* display;
    int width;
    const uint8_t* tone;
    uint32_t mul;
};

void CanvasRefJob(void* object, Range* r) {
    const CanvasRef& c = *static_cast<const CanvasRef*>(object);
    const std::size_t first = static_cast<std::size_t>(r->first) * c.width;
    const std::size_t pixels = static_cast<std::size_t>(r->last - r->first + 1) * c.width;
    ref::Convert(c.canvas + 3 * first, c.display + first, pixels, c.tone);
    ref::Fade(c.canvas + 3 * first, 3 * pixels, c.mul);
}

void BM_FadeAndConvert(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = width * 9 / 16;
    quovis::FlipperOptions options;
    options.bands = threads;
    quovis::CFlipperGDI32 flipper(options);
    flipper.SetDeepCanvas(true);
    if (flipper.Attach(width, height) != quovis::kFlipperOk) {
        state.SkipWithError("no canvas");
        return;
    }
    flipper.SetTone(8.0, 0.7);
    flipper.SetTrails(60, false, 1.0);
    std::mt19937 gen(1);
    std::uniform_int_distribution<int> amount(0, 65535);
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    quovis::AlignedArray<uint16_t> canvas;
    quovis::AlignedArray<uint32_t> display;
    canvas.Allocate(3 * pixels);
    display.Allocate(pixels);
    uint16_t* const c = canvas.Data();
    for (std::size_t i = 0; i < 3 * pixels; ++i) c[i] = static_cast<uint16_t>(amount(gen));
    for (int y = 0; y < height; ++y)
        for (int x = 1; x < width; ++x) {
            const uint16_t* p = &c[(static_cast<std::size_t>(y) * width + x) * 3];
            flipper.AddPixel(x, y, p[0], p[1], p[2]);
        }
    std::vector<uint8_t> tone(65536);
    for (int v = 0; v < 65536; ++v) tone[v] = static_cast<uint8_t>(std::sqrt(v / 65535.0) * 255.0);
    CanvasRef reference{c, display.Data(), width, tone.data(), 64000};
    RefPool refPool(threads);
    std::vector<Range> refRanges = SplitRanges(height, threads);
    // Fading would empty both canvases over a long run; refilling them between iterations
    // costs more than the stage, so they are refilled only when nearly dark.
    int sinceFill = 0;
    RunPaired(
        state,
        [&] {
            if (++sinceFill < 200) return;
            sinceFill = 0;
            for (std::size_t i = 0; i < 3 * pixels; ++i)
                c[i] = static_cast<uint16_t>(c[i] | 0x8000);
            for (int y = 0; y < height; y += 7)
                for (int x = 1; x < width; x += 3) flipper.AddPixel(x, y, 30000, 20000, 10000);
        },
        [&] {
            // As the frame driver does it: the fade announced, then done with the conversion.
            flipper.FadeWithNextConversion();
            flipper.ConvertToDisplay();
            flipper.FadeTrails();
        },
        [&] { RunOn(refPool.Get(threads), &CanvasRefJob, &reference, threads, refRanges.data()); },
        static_cast<double>(width) * height);
}
BENCHMARK(BM_FadeAndConvert)
    ->ArgNames({"threads", "width"})
    ->Apply(ThreadPairs<1920, 1440>)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- The whole frame ------------------------------------------------------------------------

// The references of every stage of one frame, summed: field (one image), dot update, one
// 2 x 2 splat per image, fade and conversion.
struct FrameRef {
    int threads;
    RefPool pool;
    std::vector<float> x, y, vx, vy, r, g, b, mobility;
    std::vector<ref::Plot> plots;
    std::vector<float> moverX, moverY, flowX, flowY, weight;
    quovis::AlignedArray<uint16_t> canvas;
    quovis::AlignedArray<uint32_t> display;
    std::vector<uint8_t> tone;
    float hue[1024][3];
    ref::FieldData field{};
    ref::DotData dots{};
    SplatRef splat{};
    CanvasRef convert{};
    std::vector<Range> dotRanges, splatRanges, rowRanges;
    const float offsets[1][2] = {{0, 0}};

    FrameRef(int threadCount, int reflections) : threads(threadCount), pool(threadCount) {
        std::mt19937 gen(7);
        std::uniform_real_distribution<float> ux(0.0f, kWidth), uy(0.0f, kHeight), uv(-2.0f, 2.0f);
        for (int i = 0; i < kDots + ref::kBlock; ++i) {
            x.push_back(ux(gen));
            y.push_back(uy(gen));
            vx.push_back(uv(gen));
            vy.push_back(uv(gen));
            r.push_back(50.0f), g.push_back(40.0f), b.push_back(30.0f), mobility.push_back(1.0f);
        }
        for (int k = 0; k < kMovers; ++k) {
            moverX.push_back(ux(gen));
            moverY.push_back(uy(gen));
            flowX.push_back(uv(gen));
            flowY.push_back(uv(gen));
            weight.push_back(1e-3f);
        }
        for (int i = 0; i < 1024; ++i)
            for (int c = 0; c < 3; ++c) hue[i][c] = static_cast<float>((i * (c + 1)) % 97) / 97.0f;
        plots = ImagePlots(
            x.data(), y.data(),
            [](int) {
                return quovis::PlotAmounts{40 * 256, 30 * 256, 20 * 256};
            },
            kDots, reflections, false);
        canvas.Allocate(static_cast<std::size_t>(kWidth) * kHeight * 3);
        display.Allocate(static_cast<std::size_t>(kWidth) * kHeight);
        for (int v = 0; v < 65536; ++v) tone.push_back(static_cast<uint8_t>(v >> 8));
        field = {x.data(),     y.data(),      moverX.data(), moverY.data(), flowX.data(),
                 flowY.data(), weight.data(), kMovers,       offsets,       1};
        dots = {x.data(), y.data(),        vx.data(), vy.data(), r.data(), g.data(),
                b.data(), mobility.data(), hue,       kWidth,    kHeight,  0.9f,
                0.01f,    1e-4f,           10.0f,     0.1f,      0.01f};
        splat = {{canvas.Data(), kWidth, kHeight, 3 * kWidth}, plots.data(), nullptr};
        convert = {canvas.Data(), display.Data(), kWidth, tone.data(), 64000};
        dotRanges = SplitRanges(kDots, threads);
        splatRanges = SplitRanges(static_cast<int>(plots.size()), threads);
        rowRanges = SplitRanges(kHeight, threads);
    }

    void Run() {
        WorkerPool* p = pool.Get(threads);
        RunOn(p, &FieldRefJob, &field, threads, dotRanges.data());
        RunOn(p, &DotRefJob, &dots, threads, dotRanges.data());
        RunOn(p, &SplatRefJob, &splat, threads, splatRanges.data());
        RunOn(p, &CanvasRefJob, &convert, threads, rowRanges.data());
    }
};

void BM_Frame(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int reflections = static_cast<int>(state.range(1));
    quovis::RenderOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.bands = threads;
    quovis::EngineSettings settings;
    settings.Style = quovis::kStyleFullField;  // every dot alive from the first frame
    settings.Grains = kDots;
    settings.Reflections = reflections;
    settings.DotStyle = quovis::kDotPoints;
    settings.Complexity = kMovers;
    quovis::HeadlessRenderer renderer(options, settings);
    if (!renderer.Ok()) {
        state.SkipWithError(renderer.Error());
        return;
    }
    for (int i = 0; i < 40; ++i) renderer.RenderFrame();
    FrameRef reference(threads, reflections);
    RunPaired(
        state, [] {}, [&] { renderer.RenderFrame(); }, [&] { reference.Run(); }, 0.0);
}
BENCHMARK(BM_Frame)
    ->ArgNames({"threads", "reflections"})
    ->Apply(ThreadPairs<1, 4, 14, 60>)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- Start to first frame -------------------------------------------------------------------

// Runs a program to its end; false when it could not start or failed.
bool RunProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The render tool from process start to its first full-size frame written out; the reference
// is starting a process that does nothing.
void BM_StartToFirstFrame(benchmark::State& state) {
    const std::string out = "/tmp/quovis-bench-first-frame.png";
    const std::vector<std::string> render = {
        QUOVIS_TOOL_PATH, "render",   "--builtin", "Into The Light", "--size",
        "1920x1080",      "--frames", "1",         "--out",          out};
    const std::vector<std::string> nothing = {"/bin/true"};
    bool ok = true;
    RunPaired(
        state, [] {}, [&] { ok = RunProcess(render) && ok; },
        [&] { ok = RunProcess(nothing) && ok; }, 0.0);
    if (!ok) state.SkipWithError("the render tool failed");
    std::remove(out.c_str());
}
BENCHMARK(BM_StartToFirstFrame)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    quovis::bench::StageTableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
