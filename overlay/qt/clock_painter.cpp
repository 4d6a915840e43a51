#include "overlay/qt/clock_painter.h"

#include <QFontMetricsF>
#include <QPainterPathStroker>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cmath>
#include <numbers>

#include "base/elapsed_time.h"
#include "overlay/qt/art_overlay.h"

namespace quovis {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// ============================================================================================
// Numerals
// ============================================================================================

// Digits are drawn in a box one unit high (rows downwards), as centre lines that are then
// stroked with round ends. Arc angles are Qt's: degrees, counter-clockwise from three o'clock.
constexpr double kDigitWidth = 0.56;
constexpr double kOneWidth = 0.33;
constexpr double kDigitGap = 0.14;
constexpr double kStrokeWidth = 0.095;

double DigitWidth(int digit) {
    return digit == 1 ? kOneWidth : kDigitWidth;
}

void AddDigit(QPainterPath& path, int digit, double x0) {
    auto at = [x0](double x, double y) { return QPointF(x0 + x, y); };
    auto box = [x0](double x, double y, double w, double h) { return QRectF(x0 + x, y, w, h); };
    switch (digit) {
        case 0:
            path.addEllipse(box(0.0, 0.0, kDigitWidth, 1.0));
            break;
        case 1:
            path.moveTo(at(0.03, 0.22));
            path.lineTo(at(0.28, 0.0));
            path.lineTo(at(0.28, 1.0));
            break;
        case 2: {
            const QRectF bowl = box(0.0, 0.0, 0.56, 0.56);
            path.arcMoveTo(bowl, 160.0);
            path.arcTo(bowl, 160.0, -195.0);
            path.lineTo(at(0.0, 1.0));
            path.lineTo(at(0.58, 1.0));
            break;
        }
        case 3: {
            const QRectF upper = box(0.05, 0.0, 0.46, 0.48);
            const QRectF lower = box(0.0, 0.48, 0.56, 0.52);
            path.arcMoveTo(upper, 150.0);
            path.arcTo(upper, 150.0, -240.0);
            path.arcTo(lower, 90.0, -245.0);
            break;
        }
        case 4:
            path.moveTo(at(0.43, 1.0));
            path.lineTo(at(0.43, 0.0));
            path.lineTo(at(0.0, 0.68));
            path.lineTo(at(0.58, 0.68));
            break;
        case 5: {
            const QRectF bowl = box(0.0, 0.36, 0.56, 0.64);
            path.moveTo(at(0.52, 0.0));
            path.lineTo(at(0.1, 0.0));
            path.lineTo(at(0.06, 0.47));
            path.arcTo(bowl, 142.0, -295.0);
            break;
        }
        case 6:
            path.addEllipse(box(0.0, 0.4, 0.56, 0.6));
            path.moveTo(at(0.5, 0.05));
            path.cubicTo(at(0.25, -0.04), at(0.0, 0.15), at(0.0, 0.7));
            break;
        case 7:
            path.moveTo(at(0.0, 0.0));
            path.lineTo(at(0.56, 0.0));
            path.cubicTo(at(0.36, 0.3), at(0.24, 0.6), at(0.2, 1.0));
            break;
        case 8:
            path.addEllipse(box(0.05, 0.0, 0.46, 0.46));
            path.addEllipse(box(0.0, 0.46, 0.56, 0.54));
            break;
        default:  // 9
            path.addEllipse(box(0.0, 0.0, 0.56, 0.6));
            path.moveTo(at(0.56, 0.3));
            path.cubicTo(at(0.56, 0.85), at(0.31, 1.04), at(0.06, 0.95));
            break;
    }
}

// ============================================================================================
// Hands
// ============================================================================================

// A kite along the angle: a short tail behind the centre, two sides at `sideAngle` radians off
// the hand's direction, `sideAt` of the way out, and the tip.
void FillKite(QPainter& painter, double angle, double length, double sideAngle, double sideAt,
              double tail) {
    const double side = length * sideAt / std::cos(sideAngle);
    const QPointF points[4] = {
        QPointF(-tail * std::cos(angle), -tail * std::sin(angle)),
        QPointF(side * std::cos(angle + sideAngle), side * std::sin(angle + sideAngle)),
        QPointF(length * std::cos(angle), length * std::sin(angle)),
        QPointF(side * std::cos(angle - sideAngle), side * std::sin(angle - sideAngle)),
    };
    painter.drawPolygon(points, 4);
}

// A thin tapering bar from `tail` behind the centre to `length`, wider at the back.
void FillNeedle(QPainter& painter, double angle, double length, double tail, double backWidth,
                double tipWidth) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    auto at = [c, s](double along, double across) {
        return QPointF(along * c - across * s, along * s + across * c);
    };
    const QPointF points[6] = {at(-tail, -backWidth),   at(0.0, -tipWidth * 1.6),
                               at(length, -tipWidth),   at(length, tipWidth),
                               at(0.0, tipWidth * 1.6), at(-tail, backWidth)};
    painter.drawPolygon(points, 6);
}

// Screen angles: rows grow downwards, so a growing angle turns clockwise and -pi/2 points up.
double HandAngle(double seconds, double period) {
    return kTwoPi * seconds / period - kTwoPi / 4;
}

}  // namespace

QPainterPath ClockPainter::NumeralOutline(int number, double height) {
    int digits[2] = {number, -1};
    int count = 1;
    if (number >= 10) {
        digits[0] = number / 10;
        digits[1] = number % 10;
        count = 2;
    }
    double width = 0.0;
    for (int i = 0; i < count; ++i) width += DigitWidth(digits[i]) + (i > 0 ? kDigitGap : 0.0);
    QPainterPath centreLines;
    double x = -width / 2;
    for (int i = 0; i < count; ++i) {
        AddDigit(centreLines, digits[i], x);
        x += DigitWidth(digits[i]) + kDigitGap;
    }
    centreLines.translate(0.0, -0.5);
    QTransform scale;
    scale.scale(height, height);
    QPainterPathStroker stroker;
    stroker.setWidth(kStrokeWidth * height);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(scale.map(centreLines)).simplified();
}

ClockPainter::ClockPainter()
    : m_bright(QColor(255, 255, 255, 0x50)),
      m_soft(QColor(255, 255, 255, 0x20)),
      m_faint(QColor(255, 255, 255, 0x1E)) {
    m_signFont.setFamily(QStringLiteral("DejaVu Sans"));
    m_signFont.setWeight(QFont::ExtraLight);
    m_signFont.setHintingPreference(QFont::PreferNoHinting);
    for (QBrush& brush : m_signBrushes) brush = QBrush(Qt::white, Qt::SolidPattern);
}

// ============================================================================================
// Analog clock
// ============================================================================================

// The face's proportions, as fractions of the radius.
constexpr double kRimWidth = 0.012;
constexpr double kTickOuter = 0.955;
constexpr double kMinuteTickInner = 0.915;
constexpr double kMinuteTickWidth = 0.007;
constexpr double kHourTickInner = 0.84;
constexpr double kHourTickWidth = 0.022;
constexpr double kNumeralCircle = 0.45;
constexpr double kNumeralHeight = 0.115;
constexpr double kHubRadius = 0.028;

void ClockPainter::BuildFace(double radius, double fractionX, double fractionY) {
    m_faceRadius = radius;
    m_faceFractionX = fractionX;
    m_faceFractionY = fractionY;
    QPainterPath faint;
    faint.setFillRule(Qt::OddEvenFill);
    faint.addEllipse(QPointF(0, 0), radius, radius);
    const double inner = radius * (1.0 - kRimWidth);
    faint.addEllipse(QPointF(0, 0), inner, inner);
    QPainterPath bright;
    for (int i = 0; i < 60; ++i) {
        const bool hour = i % 5 == 0;
        const double a = kTwoPi * i / 60;
        const double from = radius * (hour ? kHourTickInner : kMinuteTickInner);
        const double to = radius * kTickOuter;
        const double half = radius * (hour ? kHourTickWidth : kMinuteTickWidth) / 2;
        const double c = std::cos(a);
        const double s = std::sin(a);
        QPolygonF bar;
        bar << QPointF(from * c - half * s, from * s + half * c)
            << QPointF(to * c - half * s, to * s + half * c)
            << QPointF(to * c + half * s, to * s - half * c)
            << QPointF(from * c + half * s, from * s - half * c);
        bar << bar.front();
        (hour ? bright : faint).addPolygon(bar);
    }
    for (int n = 1; n <= 12; ++n) {
        const double a = HandAngle(n, 12);
        QPainterPath numeral = NumeralOutline(n, radius * kNumeralHeight);
        numeral.translate(radius * kNumeralCircle * std::cos(a),
                          radius * kNumeralCircle * std::sin(a));
        bright.addPath(numeral);
    }
    m_faceOrigin = static_cast<int>(std::ceil(ClockReach(radius)));
    const int side = 2 * m_faceOrigin + 2;
    m_face = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
    m_face.fill(Qt::transparent);
    QPainter painter(&m_face);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(m_faceOrigin + fractionX, m_faceOrigin + fractionY);
    painter.fillPath(faint, m_faint);
    painter.fillPath(bright, m_bright);
    painter.end();
    m_hub = QPainterPath();
    m_hub.addEllipse(QPointF(0, 0), radius * kHubRadius, radius * kHubRadius);
}

void ClockPainter::BlendFace(const DrawImage& image, double cx, double cy, double radius) {
    const double left = std::floor(cx), top = std::floor(cy);
    if (radius != m_faceRadius || cx - left != m_faceFractionX || cy - top != m_faceFractionY)
        BuildFace(radius, cx - left, cy - top);
    const int x0 = static_cast<int>(left) - m_faceOrigin;
    const int y0 = static_cast<int>(top) - m_faceOrigin;
    const DrawRegion& r = image.region;
    const int first = std::max(r.left, x0), end = std::min(r.right, x0 + m_face.width());
    // Source over, channel by channel: on the cleared draw image this is a copy, on the 8-bit
    // canvas it lays the face over the art as the painter would.
    for (int y = std::max(r.top, y0); y < std::min(r.bottom, y0 + m_face.height()); ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(m_face.constScanLine(y - y0));
        uint32_t* dst = image.pixels + (image.height - 1 - y) * image.rowStep;
        for (int x = first; x < end; ++x) {
            const uint32_t s = src[x - x0];
            const uint32_t keep = 255 - (s >> 24);
            if (keep == 255) continue;
            uint32_t out = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const uint32_t d = (dst[x] >> shift & 0xFF) * keep / 255;
                out |= std::min<uint32_t>((s >> shift & 0xFF) + d, 255) << shift;
            }
            dst[x] = out;
        }
    }
}

void ClockPainter::PaintHands(QPainter& painter, double radius, const WallTime& time) {
    painter.setPen(Qt::NoPen);
    const int secondOfHour = time.minute * 60 + time.second;
    const int secondOfHalfDay = (time.hour % 12) * 3600 + secondOfHour;
    const double hour = HandAngle(secondOfHalfDay, 43200);
    const double minute = HandAngle(secondOfHour, 3600);
    const double second = HandAngle(time.second + time.millisecond / 1000.0, 60);

    // Each hand: a soft body with a bright ridge along its middle.
    painter.setBrush(m_soft);
    FillKite(painter, hour, 0.30 * radius, 0.15, 0.55, 0.06 * radius);
    FillKite(painter, minute, 0.84 * radius, 0.07, 0.30, 0.08 * radius);
    painter.setBrush(m_bright);
    FillKite(painter, hour, 0.27 * radius, 0.04, 0.55, 0.0);
    FillKite(painter, minute, 0.80 * radius, 0.018, 0.30, 0.0);
    FillNeedle(painter, second, 0.93 * radius, 0.2 * radius, 0.011 * radius, 0.0035 * radius + 0.4);
    painter.fillPath(m_hub, m_bright);
}

// ============================================================================================
// Zodiac wheel
// ============================================================================================

void ClockPainter::BuildSigns(int signHeight) {
    m_signHeight = signHeight;
    // The height is a line height, as a font's size is given elsewhere in the program.
    QFont probe = m_signFont;
    probe.setPixelSize(1000);
    const QFontMetricsF metrics(probe);
    const double lineRatio = (metrics.ascent() + metrics.descent()) / 1000.0;
    QFont font = m_signFont;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(signHeight / lineRatio))));
    for (int i = 0; i < 12; ++i) {
        QPainterPath sign;
        sign.addText(0.0, 0.0, font, QString(QChar(char16_t(0x2648 + i))));
        // Centred in the square around its point: by its own outline, which is what the eye
        // sees, rather than by the font's advance and line box.
        sign.translate(-sign.boundingRect().center());
        m_signs[static_cast<size_t>(i)] = sign;
    }
}

void ClockPainter::PaintZodiac(QPainter& painter, double wheelRadius, int signHeight,
                               const WallTime& time) {
    if (signHeight != m_signHeight) BuildSigns(signHeight);
    const int dayOfYear = DayOfYear(time.month - 1, time.day);
    const double hour = time.hour + time.minute / 60.0 + time.second / 3600.0;
    const double theta = kTwoPi * ((hour / 24 + dayOfYear - 5) / 365 + 0.5);
    // Colour time: seconds of the year, so the colours never jump at midnight.
    const double seconds = dayOfYear * 86400.0 + hour * 3600.0 + time.millisecond / 1000.0;
    const double tau = seconds / 66.0;
    const double phase[3] = {11.19160413 * tau, -18.10839587 * tau, 29.3 * tau};
    const QTransform centre = painter.transform();
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 12; ++i) {
        int channel[3];
        for (int c = 0; c < 3; ++c) {
            const double wave = (std::sin(6.28 * i / 12 + phase[c]) + 1.0) / 2.0;
            channel[c] = static_cast<int>(255.0 * std::pow(wave, 0.38));
        }
        QBrush& brush = m_signBrushes[static_cast<size_t>(i)];
        brush.setColor(QColor(channel[0], channel[1], channel[2]));
        // Angles grow counter-clockwise on the screen, as on a star chart.
        const double a = -kTwoPi * i / 12 + theta;
        painter.setTransform(centre);
        painter.translate(wheelRadius * std::cos(a), -wheelRadius * std::sin(a));
        painter.fillPath(m_signs[static_cast<size_t>(i)], brush);
    }
    painter.setTransform(centre);
}

}  // namespace quovis
