// ClockPainter: the two faces of the clock layer, painted with a QPainter whose origin is the
// face's centre. The analog clock: a faint rim with minute ticks, bright hour ticks, numerals
// drawn with strokes of our own, kite-shaped hour and minute hands and a sweeping second
// hand. The zodiac wheel: the twelve signs on a circle that turns once a year, each cycling
// through colours of its own.
//
// Everything that does not move (face, numerals, sign outlines) is built once per size and
// kept; a frame fills cached paths and a few polygons on the stack.
#pragma once

#include <QBrush>
#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace quovis {

struct WallTime;

class ClockPainter {
  public:
    ClockPainter();

    // The analog clock of the given radius around the painter's origin.
    void PaintClock(QPainter& painter, double radius, const WallTime& time);
    // The zodiac wheel: signs of the given height (pixels, as a font's line height) centred
    // on a circle of wheelRadius around the painter's origin.
    void PaintZodiac(QPainter& painter, double wheelRadius, int signHeight, const WallTime& time);

    // How far from the centre each face may paint.
    static double ClockReach(double radius) { return radius + 2.0; }
    static double ZodiacReach(double wheelRadius, int signHeight) {
        return wheelRadius + signHeight + 2.0;
    }

    // The outline of a number (1..12) drawn with round strokes: height 1 pixel-unit scaled
    // by `height`, centred on the origin.
    static QPainterPath NumeralOutline(int number, double height);

  private:
    void BuildFace(double radius);
    void BuildSigns(int signHeight);

    // The three translucent whites of the clock.
    QBrush m_bright;  // numerals, hour ticks, second hand, hub, the hands' ridges
    QBrush m_soft;    // the bodies of the hour and minute hands
    QBrush m_faint;   // the rim and the minute ticks

    double m_faceRadius = -1.0;
    QPainterPath m_faintFace;
    QPainterPath m_brightFace;
    QPainterPath m_hub;

    int m_signHeight = -1;
    QFont m_signFont;
    std::array<QPainterPath, 12> m_signs;  // each centred on the origin
    std::array<QBrush, 12> m_signBrushes;  // one each, so a colour change never copies
};

}  // namespace quovis
