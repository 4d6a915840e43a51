// The engine's precomputed tables: the jitter vectors used by shimmer and the falloff curve
// used by the colour and field code.
#include <cmath>
#include <numbers>

#include "engine/draw_wnd.h"

namespace quovis {

bool CDrawWnd::BuildJitter(double scale, double power) {
    if (!m_jitter || !std::isfinite(scale) || !std::isfinite(power)) return false;
    float* out = m_jitter.Data();
    for (int i = 0; i < kJitterEntries; ++i) {
        const double theta = 2.0 * std::numbers::pi * m_rng.RandomUniform();
        // u^power with power > 1 crowds the lengths towards zero: most jitter is small.
        const double r = std::pow(m_rng.RandomUniform(), power);
        out[2 * i] = static_cast<float>(std::cos(theta) * r * scale);
        out[2 * i + 1] = static_cast<float>(std::sin(theta) * r * scale);
    }
    m_nJitterPos = 2 * (m_rng.Rand() & (kJitterEntries - 1));
    return true;
}

void CDrawWnd::BuildFalloff() {
    float* out = m_falloff.Data();
    // Zero on both sides, so that an index a little off the bell in either direction reads 0
    // without a range check.
    for (int i = 0; i < kFalloffSize; ++i) out[i] = 0.0f;
    for (int i = 0; i < kFalloffWidth; ++i) {
        const double t = static_cast<double>(i) / kFalloffWidth;
        out[kFalloffCentre + i] = static_cast<float>(1.0 - std::pow(t, 3.3));
    }
}

}  // namespace quovis
