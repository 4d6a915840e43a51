// Starting, re-seeding and stopping a pattern.
#include <algorithm>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

// A caller's seed is blended with a fresh draw so that restarting with the same seed gives a
// related but not identical pattern, while the caller's seed still dominates.
constexpr double kSeedWeight = 0.98746584913;
constexpr double kFreshWeight = 0.012534150869999983;

using Lock = std::lock_guard<std::recursive_mutex>;

}  // namespace

double CDrawWnd::MixSeed(double seed) {
    return kSeedWeight * seed + kFreshWeight * (m_rng.RandomUniform() - 0.5);
}

bool CDrawWnd::StartPattern(double seed, int motion, int style, int movers, bool keepDots) {
    Lock lock(m_csEngine);
    if (!IsUsable()) return false;
    if (motion == -1) motion = m_motion.m_nMotion;
    if (style == -1) style = m_style.m_nStyle;
    if (movers == -1) movers = m_movers.m_nMovers;
    // Still unset after keeping the current values, or outside the tables the style and
    // motion code index: refuse before anything changes.
    if (motion < 0 || motion >= kMotionCount) return false;
    if (style < 0 || style >= kStyleCount) return false;
    if (movers < 1) return false;
    if (movers > kMaxMovers) movers = kMaxMovers;

    // Dots laid out for another style or motion make no sense in the new one.
    if (motion != m_motion.m_nMotion || style != m_style.m_nStyle) keepDots = false;

    // A pending restart re-starts from the noise state the running pattern reached.
    if (!m_bRestartPending) m_rng.InitPinkChannels(EngineRandom::kPinkChannelsUsed);

    m_motion.m_nMotion = motion;
    m_style.m_nStyle = style;
    m_movers.m_nMovers = movers;
    m_bReady = 1;
    return ResetPattern(seed, keepDots);
}

bool CDrawWnd::ResetPattern(double seed, bool keepDots) {
    Lock lock(m_csEngine);
    if (!IsUsable()) return false;
    m_motion.m_dPatternSeed = seed;
    // The style's derived values first: the placement reads them (parking, launch speed).
    ApplyStyleParams();
    bool placed = true;
    if (!keepDots) placed = InitialPlacement(MixSeed(seed));
    const bool moved = ResetMovers(MixSeed(seed), true);
    return placed && moved;
}

bool CDrawWnd::ResetMovers(double seed, bool full) {
    Lock lock(m_csEngine);
    if (!IsUsable()) return false;
    return InitMoverField(seed, full);
}

bool CDrawWnd::StopPattern() {
    Lock lock(m_csEngine);
    m_bReady = 0;
    return true;
}

bool CDrawWnd::IsReady() const {
    Lock lock(m_csEngine);
    return m_bReady != 0;
}

bool CDrawWnd::IsDrawStyle() const {
    Lock lock(m_csEngine);
    return m_style.m_nStyle == kStyleDraw;
}

}  // namespace quovis
