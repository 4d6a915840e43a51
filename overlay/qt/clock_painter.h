// ClockPainter: the two faces of the clock layer, painted with a QPainter whose origin is the
// face's centre. The analog clock: a faint rim with minute ticks, bright hour ticks, numerals
// drawn with strokes of our own, kite-shaped hour and minute hands and a sweeping second
// hand. The zodiac wheel: the twelve signs on a circle that turns once a year, each cycling
// through colours of its own.
//
// Everything that does not move is built once per size and kept: the clock's face as a
// picture, laid over the frame with a plain loop (filling its many paths every frame cost
// several times more, and the raster engine hands large fills to a thread pool of its own),
// and the signs' outlines. A frame fills a few polygons on the stack and cached paths.
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <array>

#include "present/flipper.h"

namespace quovis {

struct WallTime;

class ClockPainter {
  public:
    ClockPainter();

    // The analog clock in two steps, on the same lent image: the face (rim, ticks, numerals)
    // laid over the image's region from a picture kept for the size and the centre's position
    // within its pixel, then the hands, with the painter's origin at the centre (cx, cy).
    void BlendFace(const DrawImage& image, double cx, double cy, double radius);
    void PaintHands(QPainter& painter, double radius, const WallTime& time);
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
    void BuildFace(double radius, double fractionX, double fractionY);
    void BuildSigns(int signHeight);

    // The three translucent whites of the clock.
    QBrush m_bright;  // numerals, hour ticks, second hand, hub, the hands' ridges
    QBrush m_soft;    // the bodies of the hour and minute hands
    QBrush m_faint;   // the rim and the minute ticks

    // The face's picture (premultiplied, top-down): the centre lies at m_faceOrigin + the
    // fractions, so that it lands where the hands turn.
    double m_faceRadius = -1.0;
    double m_faceFractionX = 0.0;
    double m_faceFractionY = 0.0;
    int m_faceOrigin = 0;
    QImage m_face;
    QPainterPath m_hub;

    int m_signHeight = -1;
    QFont m_signFont;
    std::array<QPainterPath, 12> m_signs;  // each centred on the origin
    std::array<QBrush, 12> m_signBrushes;  // one each, so a colour change never copies
};

}  // namespace quovis
