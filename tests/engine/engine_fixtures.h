// Shared set-ups for the engine tests: canvases that own plain buffers or record what the
// engine sends them, and the seeded one-worker engine the emitter tests start from.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/canvas_surface.h"
#include "engine/draw_wnd.h"
#include "engine/engine_canvas.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/fixed_clock.h"

namespace quovis {

// A canvas of width x height in 16-bit (deep) or 8-bit (shallow) pixels that counts the clear
// requests it gets.
class TestCanvas final : public EngineCanvas {
  public:
    TestCanvas(int width, int height, bool deep) : m_deep(deep) {
        m_surface.width = width;
        m_surface.height = height;
        if (deep) {
            deepPixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
            m_surface.deep = deepPixels.data();
            m_surface.deepRowStep = 3 * width;
        } else {
            shallowPixels.assign(static_cast<std::size_t>(width) * height, 0);
            m_surface.shallow = shallowPixels.data();
            m_surface.shallowRowStep = width;
            m_surface.readBack = shallowPixels.data();
            m_surface.readBackRowStep = width;
        }
    }
    void Stop() override {}
    void RequestClear() override { ++clearRequests; }

    int Width() const { return m_surface.width; }
    int Height() const { return m_surface.height; }
    // Channel ch (0..2) of the pixel at picture position (x, y), in the buffer's own units.
    int32_t At(int x, int y, int ch) const {
        const std::size_t row = static_cast<std::size_t>(Height() - 1 - y);
        if (m_deep) return deepPixels[(row * Width() + x) * 3 + ch];
        const uint32_t px = shallowPixels[row * Width() + x];
        return static_cast<int32_t>(px >> (16 - 8 * ch) & 0xFF);
    }
    uint16_t* DeepPixel(int x, int y) {
        return &deepPixels[(static_cast<std::size_t>(Height() - 1 - y) * Width() + x) * 3];
    }
    // Sum of one channel over the whole canvas.
    int64_t Total(int ch) const {
        int64_t sum = 0;
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x) sum += At(x, y, ch);
        return sum;
    }
    // Pixels with any channel lit, as (x, y).
    std::vector<std::pair<int, int>> Lit() const {
        std::vector<std::pair<int, int>> lit;
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x)
                if (At(x, y, 0) || At(x, y, 1) || At(x, y, 2)) lit.emplace_back(x, y);
        return lit;
    }
    void Clear() {
        std::fill(deepPixels.begin(), deepPixels.end(), 0);
        std::fill(shallowPixels.begin(), shallowPixels.end(), 0u);
    }

    std::vector<uint16_t> deepPixels;
    std::vector<uint32_t> shallowPixels;
    int clearRequests = 0;

  private:
    bool m_deep;
};

}  // namespace quovis

namespace quovis::test {

// A canvas that records what the engine's setters send it.
struct CanvasCalls {
    int trails = 0;  // SetTrails calls and their last arguments
    int trailLength = 0;
    bool trailDither = false;
    double trailShade = 0.0;
    int fuzz = 0;  // SetFuzziness calls and their last arguments
    bool fuzzOn = false;
    int fuzzAmount = 0;
    bool fuzzAllow16 = false;
    int quick = 0;  // SetQuickDirty calls and the last value
    bool quickOn = false;
    int clears = 0;  // RequestClear calls
};

class RecordingCanvas final : public EngineCanvas {
  public:
    explicit RecordingCanvas(CanvasCalls& calls) : m_calls(calls) {}
    void Stop() override {}
    void SetTrails(int length, bool dither, double shade) override {
        ++m_calls.trails;
        m_calls.trailLength = length;
        m_calls.trailDither = dither;
        m_calls.trailShade = shade;
    }
    void SetFuzziness(bool on, int amount, bool allow16) override {
        ++m_calls.fuzz;
        m_calls.fuzzOn = on;
        m_calls.fuzzAmount = amount;
        m_calls.fuzzAllow16 = allow16;
    }
    void SetQuickDirty(bool on) override {
        ++m_calls.quick;
        m_calls.quickOn = on;
    }
    void RequestClear() override { ++m_calls.clears; }

  private:
    CanvasCalls& m_calls;
};

// An engine whose CreateOutput adopts a recording canvas.
class RecordingEngine final : public CDrawWnd {
  public:
    RecordingEngine(EngineClock& clock, CanvasCalls& calls, const EngineOptions& options)
        : CDrawWnd(clock, options), m_calls(calls) {}
    int CreateOutput(double) override {
        AdoptCanvas(std::make_unique<RecordingCanvas>(m_calls));
        return kEngineOk;
    }

  private:
    CanvasCalls& m_calls;
};

// A single-worker engine on a fixed clock, so every run draws the same random numbers.
class EmitterTest : public ::testing::Test {
  public:
    using Peer = EngineTestAccess;
    using Dot = EngineTestAccess::Dot;
    static constexpr int kW = 480, kH = 360;
    static constexpr double kPi = 3.14159265358979323846;

    static std::unique_ptr<CDrawWnd> NewEngine(FixedClock& clock) {
        return std::make_unique<CDrawWnd>(clock, OneWorker());
    }

  protected:
    void Use(int style, int dots, const std::array<float, 6>& params) {
        Peer::SetupEmitter(*engine, style, dots, kW, kH, params);
        dotCount = dots;
    }
    // Emits count dots from first and returns them in run order.
    std::vector<Dot> EmitRun(int first, int count, double framesPerDot = 1.0, int interval = 1) {
        EXPECT_TRUE(Peer::Emit(*engine, first, first + count - 1, framesPerDot, interval));
        std::vector<Dot> out;
        for (int j = 0; j < count; ++j)
            out.push_back(Peer::GetDot(*engine, (first + j) % dotCount));
        return out;
    }

    // a - b folded into (-pi, pi].
    static double AngleDiff(double a, double b) { return std::remainder(a - b, 2 * kPi); }
    static double Heading(const Dot& d) { return std::atan2(d.vy, d.vx); }        // (cos, sin)
    static double SinCosHeading(const Dot& d) { return std::atan2(d.vx, d.vy); }  // (sin, cos)
    static double FromCentre(const Dot& d) { return std::hypot(d.x - kW / 2.0, d.y - kH / 2.0); }

    FixedClock clock{4000, 9000};
    std::unique_ptr<CDrawWnd> engine = NewEngine(clock);
    int dotCount = 1;
};

}  // namespace quovis::test
