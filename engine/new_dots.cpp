// The colour a dot is born with: the "New Dots" value (1000 black .. 1100 white) gives every
// new dot the same grey at either end and random greys between, dark ones near black,
// evenly spread ones in the middle and bright ones near white.
#include <algorithm>
#include <cmath>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

constexpr double kValueSpan = kStartColourWhite - kStartColourBlack;

}  // namespace

// The value in use: the old preset encodings 0, 1, 2 are read as black, white and the middle,
// and anything outside 1000..1100 (or not a number) is held at the nearer end, so the greys
// below never leave 0..brightness.
double CDrawWnd::NewDotValue() const {
    double v = m_style.m_fStyleParam[0];
    if (v == 0.0 || v == 1.0 || v == 2.0) v = StartColourFromPreset(static_cast<int32_t>(v));
    if (!(v >= kStartColourBlack)) return kStartColourBlack;
    return std::min<double>(v, kStartColourWhite);
}

void CDrawWnd::SetNewDotColour() {
    const double v = (NewDotValue() - kStartColourBlack) / kValueSpan;
    // The exponent falls from 32 (almost every grey near black) through 2 at the middle to
    // 1/8 (almost every grey near full).
    m_style.m_fNewDotExp = static_cast<float>(32.0 * std::pow(0.5, 8.0 * v));
    m_style.m_fNewDotOffset = 0.0f;
    m_style.m_fNewDotScale = 1.0f;
    if (v < 0.333333) {
        m_style.m_fNewDotScale = static_cast<float>(3.0 * v);  // darker greys only
    } else if (v > 0.666666) {
        m_style.m_fNewDotOffset = static_cast<float>(3.0 * (v - 0.666666));  // lighter greys only
        m_style.m_fNewDotScale = 1.0f - m_style.m_fNewDotOffset;
    }
}

float CDrawWnd::NewDotGrey(float bright) {
    const double value = NewDotValue();
    if (value <= kStartColourBlack) return 0.0f;
    if (value >= kStartColourWhite) return bright;
    const double u = m_rng.RandomSigned(0.5f) + 0.5f;
    const double g =
        (std::pow(u, m_style.m_fNewDotExp) * m_style.m_fNewDotScale + m_style.m_fNewDotOffset) *
        bright;
    return static_cast<float>(std::clamp(g, 0.0, static_cast<double>(bright)));
}

void CDrawWnd::ColourNewDots(int first, int last) {
    const int32_t n = m_dots.m_nDots;
    if (n <= 0 || !m_dots.m_pDotR || last < first) return;
    // With trails a dot is drawn over many frames, so "Point Magnitude" scales its start.
    double bright = 255.0;
    if (m_trails.m_bLeaveTrails)
        bright = std::clamp(255.0 * m_colour.m_dPointMagnitude, 0.0, 255.0);
    if (!(bright >= 0.0)) bright = 255.0;
    // A run longer than the ring colours each dot once.
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(last) - first + 1, n);
    int32_t i = static_cast<int32_t>(((static_cast<int64_t>(first) % n) + n) % n);
    for (int64_t k = 0; k < count; ++k) {
        const float c = NewDotGrey(static_cast<float>(bright));
        m_dots.m_pDotR[i] = c;
        m_dots.m_pDotG[i] = c;
        m_dots.m_pDotB[i] = c;
        if (++i == n) i = 0;
    }
}

}  // namespace quovis
