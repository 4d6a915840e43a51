// Where the dots are kept: the edge margins beyond which the walls push back, and the radius
// of round confinement. Recomputed whenever the canvas, the reflections, the style's
// parameters or the confinement change.
#include <algorithm>
#include <cmath>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

constexpr int kBallRadiusParam = 1;    // "Ball": "Radius"
constexpr int kCircleRadiusParam = 3;  // "Circle": "Radius"

}  // namespace

void CDrawWnd::UpdateConfinement() {
    const double w = m_nWidth;
    const double h = m_nHeight;
    double margin = std::min(w, h) * 30.0 / 480.0;
    // Strong confinement pulls the walls in to the canvas edge. The factor reaches 0.05 at
    // the strongest confinement a preset can hold; values beyond (drift can go further) stop
    // at the edge instead of moving the walls into the canvas and past each other.
    const double c = m_motion.m_dConfineExp;
    if (c > 0.45) margin *= std::max(0.0, 1.0 - (c - 0.45) * 19.0);
    double marginX = margin;
    double marginY = margin;

    // A figure larger than the canvas needs room beyond the edges, and so do three or more
    // reflections, whose rotated copies reach past the corners: the walls move out until a
    // circle of 1.1 times the figure's radius fits between them.
    double radius = 0.0;
    if (m_style.m_nStyle == kStyleBall && m_style.m_fStyleParam[kBallRadiusParam] > 990.0f) {
        radius = m_style.m_fStyleParam[kBallRadiusParam] / 1000.0 * h / 2.0;
    }
    if (m_style.m_nStyle == kStyleCircle) {
        const double p = m_style.m_fStyleParam[kCircleRadiusParam];
        if (p > 990.0) radius = p / 1000.0 * h / 2.0;
        if (p < 0.0) radius = 1.3 * h / 2.0;
    }
    if (m_reflect.m_nReflections >= 3) radius = std::max(radius, 1.3 * h / 2.0);
    if (radius > 0.0) {
        marginX = std::max(marginX, 1.1 * radius - w / 2.0);
        marginY = std::max(marginY, 1.1 * radius - h / 2.0);
    }

    m_motion.m_fMarginX = static_cast<float>(marginX);
    m_motion.m_fMarginY = static_cast<float>(marginY);
    const double r2 = (2.0 * marginY + w / 2.0) * (2.0 * marginY + h / 2.0) +
                      (2.0 * marginX + h / 2.0) * (2.0 * marginX + h / 2.0);
    m_motion.m_fConfineR2 = static_cast<float>(r2);
    m_motion.m_fConfineR = static_cast<float>(std::sqrt(r2));
}

}  // namespace quovis
