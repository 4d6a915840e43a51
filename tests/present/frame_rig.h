// An engine with a real canvas on a fixed clock, stepped frame by frame, and an overlay that
// draws "letters" as one coloured rectangle: for the frame step and the letter tests.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/style_table.h"
#include "present/presented_draw_wnd.h"
#include "tests/engine/fixed_clock.h"

namespace quovis::test {

struct FrameRig {
    explicit FrameRig(int style, int grains = 20000, int bands = 1, int flowRate = -1)
        : clock(1000, 77), engine(clock, Options(bands), FlipperOptions{bands}) {
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        engine.SetCanvasSize(320, 200);
        engine.SetFullCount(true);
        EXPECT_EQ(engine.CreateOutput(60.0), kEngineOk);
        engine.Seed(12345);
        EngineSettings s;
        s.Style = style;
        s.Grains = grains;
        if (flowRate >= 0) {
            // Every parameter at its default but the flow rate.
            const StyleInfo* info = GetStyle(style);
            s.ParamCount = info->paramCount;
            for (int i = 0; i < info->paramCount; ++i) {
                s.Param[i] = static_cast<float>(info->params[i].defaultValue);
                if (info->params[i].role == kRoleFlowRate)
                    s.Param[i] = static_cast<float>(flowRate);
            }
        }
        engine.ApplySettings(s);
        engine.ApplyCanvasSettings();
        EXPECT_TRUE(engine.StartPattern(0.1, -1, -1, -1, false));
    }
    static EngineOptions Options(int bands) {
        EngineOptions o;
        o.workerCount = bands;
        return o;
    }
    bool Step(uint32_t advanceMs = 17) {
        clock.ms += advanceMs;
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        return engine.StepFrame();
    }
    // Steps past the start-up fade.
    void Start() {
        for (int i = 0; i < 100 && !Step(); ++i) {
        }
    }
    // Steps until the clock reads `ms` after `since`.
    void StepTo(uint32_t since, uint32_t ms) {
        while (clock.ms - since + 17 < ms) Step();
        Step(clock.ms - since < ms ? since + ms - clock.ms : 0);
    }
    FixedClock clock;
    PresentedDrawWnd engine;
};

// Draws the letters as the rectangle `lit` in `colour` (0xRRGGBB) and reports `block` as the
// text's place; with `draws` off it draws nothing and reports an empty block.
class RectLetters final : public FrameOverlay {
  public:
    struct Call {
        std::u16string text;
        LetterMode mode;
        int column;
    };
    bool ShowStartImage(CDrawWnd&, double) override { return false; }
    TextBlock DrawLetters(CDrawWnd& engine, std::u16string_view text, LetterMode mode,
                          int column) override {
        calls.push_back({std::u16string(text), mode, column});
        if (!draws) return {};
        CFlipperGDI32* flipper = static_cast<PresentedDrawWnd&>(engine).Flipper();
        const DrawImage image = flipper->BeginDraw();
        for (int y = lit.top; y < lit.bottom; ++y) {
            for (int x = lit.left; x < lit.right; ++x)
                image.pixels[(image.height - 1 - y) * image.rowStep + x] = colour;
        }
        flipper->EndDraw();
        return block;
    }
    void PaintClockLayer(CDrawWnd&) override {}
    bool WindowCovered(CDrawWnd&) override { return false; }

    bool OnLit(float x, float y) const {
        return x >= lit.left && x < lit.right && y >= lit.top && y < lit.bottom;
    }

    TextBlock block{100, 50, 200, 150};
    TextBlock lit{125, 75, 175, 125};  // a quarter of the block
    uint32_t colour = 0x78E628;
    bool draws = true;
    std::vector<Call> calls;
};

}  // namespace quovis::test
