// The canvas work of a frame at 1920 x 1080: conversion to the display image, the trail fade
// (16-bit, shaded, dithered 8-bit), one image of a dot in each dot style, and one row of
// the disc kernel build.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "present/flipper.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"

namespace {

using quovis::CFlipperBase;
using quovis::CFlipperGDI32;
using quovis::EngineTestAccess;
using quovis::FlipperOptions;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::unique_ptr<CFlipperGDI32> Make(int bands, bool deep = true) {
    FlipperOptions options;
    options.bands = bands;
    auto f = std::make_unique<CFlipperGDI32>(options);
    f->SetDeepCanvas(deep);
    if (f->Attach(kWidth, kHeight) != quovis::kFlipperOk) return nullptr;
    std::mt19937 gen(1);
    std::uniform_int_distribution<int> amount(0, 65535);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) f->AddPixel(x, y, amount(gen), amount(gen), amount(gen));
    return f;
}

void SetPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_ConvertToDisplay(benchmark::State& state) {
    auto f = Make(static_cast<int>(state.range(0)));
    if (state.range(1) != 0) f->SetTone(8.0, 0.7);
    for (auto _ : state) f->ConvertToDisplay();
    SetPixels(state);
}
BENCHMARK(BM_ConvertToDisplay)
    ->ArgNames({"bands", "tone"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->UseRealTime();

void BM_ConvertWithFuzziness(benchmark::State& state) {
    auto f = Make(static_cast<int>(state.range(0)));
    f->SetFuzziness(true, 50, true);
    for (auto _ : state) f->ConvertToDisplay();
    SetPixels(state);
}
BENCHMARK(BM_ConvertWithFuzziness)->ArgName("bands")->Arg(1)->Arg(2)->UseRealTime();

// A frame's presenting with trails: the conversion and the fade, either as two passes or
// announced so that the conversion fades each row as it goes (what the frame driver does),
// with the identity tone or through a tone curve.
void BM_ConvertAndFade(benchmark::State& state) {
    auto f = Make(static_cast<int>(state.range(0)));
    if (state.range(1) != 0) f->SetFuzziness(true, 50, true);
    const bool together = state.range(2) != 0;
    if (state.range(3) != 0) f->SetTone(8.0, 0.7);
    f->SetTrails(60, false, 1.0);
    for (auto _ : state) {
        if (together) f->FadeWithNextConversion();
        f->ConvertToDisplay();
        f->FadeTrails();
    }
    SetPixels(state);
}
BENCHMARK(BM_ConvertAndFade)
    ->ArgNames({"bands", "fuzz", "together", "tone"})
    ->ArgsProduct({{1, 2}, {0, 1}, {0, 1}, {0, 1}})
    ->UseRealTime();

void BM_FadeTrails(benchmark::State& state) {
    auto f = Make(static_cast<int>(state.range(0)));
    // shade 1 fades with one multiply per channel; below 1 through the shaded tables.
    f->SetTrails(60, false, state.range(1) != 0 ? 0.97 : 1.0);
    for (auto _ : state) f->FadeTrails();
    SetPixels(state);
}
BENCHMARK(BM_FadeTrails)
    ->ArgNames({"bands", "shaded"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->UseRealTime();

void BM_FadeTrailsDithered(benchmark::State& state) {
    auto f = Make(2, false);
    f->SetTrails(static_cast<int>(state.range(0)), true, -1.0);
    for (auto _ : state) f->FadeTrails();
    SetPixels(state);
}
BENCHMARK(BM_FadeTrailsDithered)->ArgName("length")->Arg(10)->Arg(100)->UseRealTime();

void BM_PlotDot(benchmark::State& state) {
    quovis::test::FixedClock clock(1, 2);
    quovis::EngineOptions options;
    options.workerCount = 1;
    FlipperOptions flipperOptions;
    flipperOptions.bands = 1;
    quovis::PresentedDrawWnd engine(clock, options, flipperOptions);
    engine.SetCanvasSize(kWidth, kHeight);
    if (engine.CreateOutput(60.0) != quovis::kEngineOk) {
        state.SkipWithError("no output");
        return;
    }
    const int style = static_cast<int>(state.range(0));
    engine.SetDotStyle(style);
    engine.BuildDiscKernels(style, true);
    EngineTestAccess::SetPointCap(engine, 130560);
    constexpr int kDots = 4096;
    std::vector<float> xs(kDots), ys(kDots);
    std::mt19937 gen(2);
    std::uniform_real_distribution<float> ux(0.0f, kWidth), uy(0.0f, kHeight);
    for (int i = 0; i < kDots; ++i) {
        xs[i] = ux(gen);
        ys[i] = uy(gen);
    }
    for (auto _ : state) {
        for (int i = 0; i < kDots; ++i)
            EngineTestAccess::PlotDot(engine, xs[i], ys[i], 3.0f, 2.0f, 1.0f);
    }
    state.SetItemsProcessed(state.iterations() * kDots);
}
BENCHMARK(BM_PlotDot)->ArgName("style")->DenseRange(0, 7);

void BM_DiscKernelRow(benchmark::State& state) {
    quovis::test::FixedClock clock(1, 2);
    quovis::EngineOptions options;
    options.workerCount = 1;
    quovis::CDrawWnd engine(clock, options);
    const int style = static_cast<int>(state.range(0));
    for (auto _ : state) {
        // Another style in between makes every timed call restart and build row 0.
        state.PauseTiming();
        engine.BuildDiscKernels(style == quovis::kDotDiscs ? quovis::kDotRings : quovis::kDotDiscs,
                                false);
        state.ResumeTiming();
        engine.BuildDiscKernels(style, false);
    }
}
BENCHMARK(BM_DiscKernelRow)->ArgName("style")->Arg(2)->Arg(6)->Arg(7);

}  // namespace
