#include "audio/audio_sync.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <numbers>
#include <utility>

#include "engine/draw_wnd.h"
#include "present/presented_draw_wnd.h"
#include "present/text_window.h"

namespace quovis {

namespace {

// The bars' colours: red, green and blue each rise and fall over the bands, peaking at bands
// 1, 6 and 11, so the treble is red, the middle green and the bass blue.
std::array<uint32_t, kAudioBands> BarColours() {
    std::array<uint32_t, kAudioBands> colours{};
    const auto bump = [](double centre, int band) {
        const double t = (centre - band) / 5.0;
        return std::fabs(t) < 1.0 ? 0.5 + 0.5 * std::cos(std::numbers::pi * t) : 0.0;
    };
    for (int b = 0; b < kAudioBands; ++b) {
        const auto channel = [&](double centre) {
            return static_cast<uint32_t>(std::lround(60.0 + 195.0 * bump(centre, b)));
        };
        colours[static_cast<std::size_t>(b)] =
            0xFF000000u | channel(1) << 16 | channel(6) << 8 | channel(11);
    }
    return colours;
}

constexpr uint32_t kBackdrop = 0xFF000028u;  // a deep blue behind the bars
// The frame's bars fill this share of the picture's height at the bottom.
constexpr int kBarsHeightDivisor = 6;

}  // namespace

AudioSync::AudioSync(CDrawWnd& engine, const AudioSyncSettings& settings, TextWindow* text,
                     std::function<uint32_t()> nowMs)
    : m_engine(engine),
      m_text(text),
      m_nowMs(std::move(nowMs)),
      m_analysis(settings.seed, settings.selectivity) {
    m_analysis.SetAgc(settings.agc);
    m_drive.SetSensitivity(settings.sensitivity);
    m_drive.SetStatistics(settings.stats);
    m_drive.SetPatterns(m_analysis.Patterns());
    m_patternsFor = m_analysis.Selectivity();
    m_drive.Attach(engine);
}

AudioSync::~AudioSync() {
    m_drive.Detach();
}

void AudioSync::SetSelectivity(float q) {
    m_analysis.SetSelectivity(q);
}

void AudioSync::OnBlock(const int16_t* stereo, int frames, uint32_t nowMs) {
    if (!m_analysis.AnalyseBlock(stereo, frames, nowMs, m_bands)) return;
    // A new selectivity reaches the analysis at the start of a block; the drive weighs the
    // bands with the same patterns from that block on.
    if (m_analysis.Selectivity() != m_patternsFor) {
        m_patternsFor = m_analysis.Selectivity();
        m_drive.SetPatterns(m_analysis.Patterns());
    }
    if (m_analysis.TakeDreamEntered() && m_text != nullptr) {
        m_text->ShowInfo(u"", kNoAudioText, kEnteringDreamText, 6.0);
    }
    m_drive.Drive(m_bands);
}

bool AudioSync::MusicPaused(CDrawWnd&) {
    return m_pause.Update(m_analysis.Volume(), m_nowMs ? m_nowMs() : 0u);
}

void AudioSync::PaintSpectrum(uint32_t* pixels, int width, int height, std::ptrdiff_t stride,
                              bool backdrop) const {
    static const std::array<uint32_t, kAudioBands> colours = BarColours();
    if (pixels == nullptr || width < 4 + kAudioBands || height < 1) return;
    const BandValues levels = m_drive.Levels();
    const int inner = width - 4;  // two pixels of margin on each side
    for (int b = 0; b < kAudioBands; ++b) {
        // Band 0 holds the highest frequencies: the bass is drawn on the left.
        const int column = kAudioBands - 1 - b;
        const int x0 = 2 + inner * column / kAudioBands;
        const int x1 = 2 + inner * (column + 1) / kAudioBands - 1;  // a gap between bars
        const float level = std::clamp(levels[static_cast<std::size_t>(b)], 0.0f, 1.0f);
        const int lit = static_cast<int>(std::lround(level * static_cast<float>(height)));
        for (int y = backdrop ? 0 : height - lit; y < height; ++y) {
            uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
            const uint32_t c = y >= height - lit ? colours[static_cast<std::size_t>(b)] : kBackdrop;
            for (int x = x0; x < x1; ++x) row[x] = c;
        }
    }
}

void AudioSync::DrawSpectrum(CDrawWnd& engine) {
    if (!m_bars.load(std::memory_order_relaxed)) return;
    auto* presented = dynamic_cast<PresentedDrawWnd*>(&engine);
    CFlipperGDI32* flipper = presented != nullptr ? presented->Flipper() : nullptr;
    if (flipper == nullptr) return;
    const int width = engine.CanvasWidth();
    const int height = engine.CanvasHeight() / kBarsHeightDivisor;
    if (width <= 0 || height <= 0) return;
    DrawRegion region;
    region.left = 0;
    region.right = width;
    region.top = engine.CanvasHeight() - height;
    region.bottom = engine.CanvasHeight();
    const DrawImage image = flipper->BeginDraw(region);
    if (image.pixels == nullptr) return;
    // The draw image's rows run bottom-up: the region's top row is memory row height - 1 - top.
    uint32_t* top = image.pixels + (image.height - 1 - region.top) * image.rowStep;
    // The frame only gets the bars: a backdrop would be added into the canvas every frame.
    PaintSpectrum(top, width, height, -image.rowStep, false);
    flipper->EndDraw();
}

}  // namespace quovis
