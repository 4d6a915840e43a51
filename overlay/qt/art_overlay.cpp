#include "overlay/qt/art_overlay.h"

#include <QFontMetricsF>
#include <QRect>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

#include "engine/draw_wnd.h"
#include "overlay/qt/clock_painter.h"
#include "present/presented_draw_wnd.h"
#include "settings/config_values.h"

namespace quovis {

// ============================================================================================
// LetterFont, WallTime
// ============================================================================================

LetterFont ReadLetterFont(ConfigStore& store) {
    LetterFont font;
    font.face = kMessagesFont.Read(store);
    if (font.face.empty()) font.face = kMessagesFont.defaultValue;
    font.bold = kMessagesBold.Read(store) != 0;
    font.italic = kMessagesItalic.Read(store) != 0;
    return font;
}

ClockLayer StoredClockLayer(ConfigStore& store) {
    ClockLayer clock;
    clock.on = kConfigClock.Read(store) != 0;
    clock.face = kConfigStyle.Read(store) == 1 ? kClockFaceZodiac : kClockFaceClock;
    const auto limited = [](double v, double low, double high, double fallback) {
        return static_cast<float>(std::isfinite(v) ? std::clamp(v, low, high) : fallback);
    };
    clock.x = limited(kConfigClockX.Read(store), 0.0, 1.0, 0.5);
    clock.y = limited(kConfigClockY.Read(store), 0.0, 1.0, 0.5);
    clock.size = limited(kConfigClockSize.Read(store), 0.05, 2.0, 0.9);
    return clock;
}

WallTime LocalWallTime() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return {};
    WallTime t;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = std::min(local.tm_sec, 59);  // a leap second shows as :59
    t.millisecond =
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return t;
}

// ============================================================================================
// ArtOverlay
// ============================================================================================

namespace {

CFlipperGDI32* PresenterOf(CDrawWnd& engine) {
    auto* presented = dynamic_cast<PresentedDrawWnd*>(&engine);
    return presented != nullptr ? presented->Flipper() : nullptr;
}

// The square of half-side `reach` around a centre.
DrawRegion SquareAround(double x, double y, double reach) {
    return {static_cast<int>(std::floor(x - reach)), static_cast<int>(std::floor(y - reach)),
            static_cast<int>(std::ceil(x + reach)), static_cast<int>(std::ceil(y + reach))};
}

// The text's lines: "\r" written out (backslash, r) or a carriage return ends a line; a
// carriage return and line feed pair, or a line feed alone, counts as one break.
std::vector<QString> SplitLines(std::u16string_view text) {
    std::vector<QString> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i];
        if (ch == u'\\' && i + 1 < text.size() && text[i + 1] == u'r') {
            lines.emplace_back();
            ++i;
        } else if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            lines.emplace_back();
        } else {
            lines.back().append(QChar(ch));
        }
    }
    return lines;
}

}  // namespace

ArtOverlay::ArtOverlay(const LetterFont& font, WallClock clock)
    : m_wallClock(clock ? std::move(clock) : WallClock(LocalWallTime)),
      m_clock(std::make_unique<ClockPainter>()) {
    m_letterFont.setFamily(QString::fromStdU16String(font.face));
    m_letterFont.setWeight(font.bold ? QFont::Bold : QFont::Normal);
    m_letterFont.setItalic(font.italic);
    // Outlines without hinting: the letters are large and are filled as paths.
    m_letterFont.setHintingPreference(QFont::PreferNoHinting);
}

ArtOverlay::~ArtOverlay() = default;

bool ArtOverlay::ShowStartImage(CDrawWnd& engine, double alpha) {
    (void)engine, (void)alpha;
    return false;
}

bool ArtOverlay::WindowCovered(CDrawWnd& engine) {
    (void)engine;
    return false;
}

bool ArtOverlay::BeginPainting(const DrawImage& image) {
    if (image.pixels == nullptr || image.region.Empty()) return false;
    uchar* bits = reinterpret_cast<uchar*>(image.pixels);
    const qsizetype rowBytes = image.rowStep * static_cast<qsizetype>(sizeof(uint32_t));
    if (m_target.constBits() != bits || m_target.width() != image.width ||
        m_target.height() != image.height || m_target.bytesPerLine() != rowBytes) {
        m_target = QImage(bits, image.width, image.height, rowBytes, QImage::Format_RGB32);
    }
    if (!m_painter.begin(&m_target)) return false;
    // The image's first row is the picture's bottom row: flip once here and paint in picture
    // coordinates. This paints straight into the lent memory, where a top-down scratch image
    // would cost a second image and a copy of the region every frame.
    m_painter.setTransform(QTransform(1.0, 0.0, 0.0, -1.0, 0.0, image.height));
    const DrawRegion& r = image.region;
    m_painter.setClipRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
    m_painter.setRenderHint(QPainter::Antialiasing);
    m_painter.setPen(Qt::NoPen);
    return true;
}

// ---- Letters -------------------------------------------------------------------------------

void ArtOverlay::LayOutLetters(std::u16string_view text, LetterMode mode, int column, int width,
                               int height) {
    LetterLayout& out = m_letters;
    out.text.assign(text);
    out.mode = mode;
    out.column = column;
    out.width = width;
    out.height = height;
    out.block = {};
    out.glyphs = QPainterPath();

    if (m_letterLineRatio <= 0.0) {
        QFont probe = m_letterFont;
        probe.setPixelSize(1000);
        const QFontMetricsF metrics(probe);
        m_letterLineRatio = std::max(0.1, (metrics.ascent() + metrics.descent()) / 1000.0);
    }
    const std::vector<QString> lines = SplitLines(text);
    const bool inColumn = mode == LetterMode::Column;
    // The font height is a line height (ascent + descent), as the layout measures lines.
    int fontHeight = inColumn ? width / 5 : width / 6;
    const int margin = inColumn ? width / 25 : width / 16;
    const double columnWidth = (width - 2.0 * margin) / 7;
    const double centreX =
        inColumn ? margin + std::clamp(column, 0, 6) * columnWidth + columnWidth / 2 : width / 2.0;

    QFont font = m_letterFont;
    double lineHeight = 0.0, ascent = 0.0, left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
    for (;;) {
        font.setPixelSize(
            std::max(1, static_cast<int>(std::lround(fontHeight / m_letterLineRatio))));
        const QFontMetricsF metrics(font);
        lineHeight = metrics.ascent() + metrics.descent();
        ascent = metrics.ascent();
        double widest = 0.0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        // The measured block, widened by 6 pixels, centred in the canvas (in mode Column,
        // horizontally in its column).
        const double blockHeight = lineHeight * static_cast<double>(lines.size()) + 6.0;
        top = height / 2.0 - blockHeight / 2;
        bottom = top + blockHeight;
        left = centreX - widest / 2;
        right = centreX + widest / 2;
        if (widest <= 0.0) return;  // only line breaks: nothing to draw
        const bool fits =
            left >= margin && right <= width - margin && top >= margin && bottom <= height - margin;
        if (fits || fontHeight <= 5) break;
        fontHeight = std::max(5, static_cast<int>(0.9 * fontHeight));
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const double lineWidth = QFontMetricsF(font).horizontalAdvance(lines[i]);
        out.glyphs.addText(centreX - lineWidth / 2,
                           top + 3.0 + static_cast<double>(i) * lineHeight + ascent, font,
                           lines[i]);
    }
    // A block that does not fit even at the smallest size is cut to the canvas, which is all
    // that can be read back.
    out.block = {std::max(0, static_cast<int>(std::floor(left))),
                 std::max(0, static_cast<int>(std::floor(top))),
                 std::min(width, static_cast<int>(std::ceil(right))),
                 std::min(height, static_cast<int>(std::ceil(bottom)))};
}

TextBlock ArtOverlay::DrawLetters(CDrawWnd& engine, std::u16string_view text, LetterMode mode,
                                  int column) {
    CFlipperGDI32* presenter = PresenterOf(engine);
    if (presenter == nullptr || text.empty()) return {};
    const int width = engine.CanvasWidth();
    const int height = engine.CanvasHeight();
    LetterLayout& last = m_letters;
    const bool same = last.text == text && last.mode == mode && last.width == width &&
                      last.height == height &&
                      (mode != LetterMode::Column || last.column == column);
    if (!same) LayOutLetters(text, mode, column, width, height);
    if (last.block.Empty()) return {};
    // The whole draw image: the engine reads the letters back from it, and nothing drawn
    // before (another text, the clock) may be found there as if it were a letter.
    const DrawImage image = presenter->BeginDraw();
    if (BeginPainting(image)) {
        m_painter.fillPath(last.glyphs, m_white);
        m_painter.end();
    }
    presenter->EndDraw();
    return last.block;
}

// ---- Clock layer ---------------------------------------------------------------------------

void ArtOverlay::PaintClockLayer(CDrawWnd& engine) {
    const ClockLayer layer = engine.Clock();
    if (!layer.on) return;
    const WallTime time = m_wallClock();
    CFlipperGDI32* presenter = PresenterOf(engine);
    const int width = engine.CanvasWidth();
    const int height = engine.CanvasHeight();
    const double x = layer.x * width;
    const double y = layer.y * height;
    // Size 1 is a face as tall as the canvas.
    const double radius = 0.5 * layer.size * height;
    if (presenter != nullptr && radius >= 1.0 && std::isfinite(x) && std::isfinite(y)) {
        const bool zodiac = layer.face == kClockFaceZodiac;
        const int signHeight = static_cast<int>(std::floor(width / 13.0 * layer.size + 0.5));
        // The signs stand inside the face's circle.
        const double wheelRadius = std::max(0.0, radius - 0.6 * signHeight);
        const double reach = zodiac ? ClockPainter::ZodiacReach(wheelRadius, signHeight)
                                    : ClockPainter::ClockReach(radius);
        const DrawImage image = presenter->BeginDraw(SquareAround(x, y, reach));
        if (!zodiac && image.pixels != nullptr) m_clock->BlendFace(image, x, y, radius);
        if (BeginPainting(image)) {
            m_painter.translate(x, y);
            if (zodiac) {
                if (signHeight > 0) m_clock->PaintZodiac(m_painter, wheelRadius, signHeight, time);
            } else {
                m_clock->PaintHands(m_painter, radius, time);
            }
            m_painter.end();
        }
        presenter->EndDraw();
    }
    engine.ClockTick(time.minute * 60 + time.second);
}

}  // namespace quovis
