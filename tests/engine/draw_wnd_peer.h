// Test access to the engine's private state. The engine's own code reaches it as members;
// tests need to look at tables and arrays that no public operation returns.
#pragma once

#include "engine/draw_wnd.h"

namespace quovis {

struct CDrawWndTestPeer {
    static const float* Jitter(const CDrawWnd& e) { return e.m_jitter.Data(); }
    static int JitterPos(const CDrawWnd& e) { return e.m_nJitterPos; }
    static const float* Falloff(const CDrawWnd& e) { return e.m_falloff.Data(); }
    static const float* DotBlock(const CDrawWnd& e) { return e.m_dots.m_dotBlock.Data(); }
    static std::size_t DotBlockCount(const CDrawWnd& e) { return e.m_dots.m_dotBlock.Count(); }
    static void DotArrays(const CDrawWnd& e, const float* out[CDrawWnd::kDotArrays]) {
        const float* a[] = {e.m_dots.m_pDotR,  e.m_dots.m_pDotG,     e.m_dots.m_pDotB,
                            e.m_dots.m_pX,     e.m_dots.m_pY,        e.m_dots.m_pVX,
                            e.m_dots.m_pVY,    e.m_dots.m_pMobility, e.m_dots.m_pSpare1,
                            e.m_dots.m_pSpare2};
        for (int i = 0; i < CDrawWnd::kDotArrays; ++i) out[i] = a[i];
    }
    static float* Mobility(CDrawWnd& e) { return e.m_dots.m_pMobility; }
    static float* Spare1(CDrawWnd& e) { return e.m_dots.m_pSpare1; }
    static const float* FlowX(const CDrawWnd& e) { return e.m_movers.m_flowVX; }
    static const float* FlowY(const CDrawWnd& e) { return e.m_movers.m_flowVY; }
    static const float* Weights(const CDrawWnd& e) { return e.m_movers.m_moverWeight; }
    static const DotBand* Bands(const CDrawWnd& e) { return e.m_bands.get(); }
    static bool HasPool(const CDrawWnd& e) { return e.m_pPool != nullptr; }
    static void SetDots(CDrawWnd& e, int n) { e.m_dots.m_nDots = e.m_dots.m_nMaxDots = n; }
    static void SetRestartPending(CDrawWnd& e, bool on) { e.m_bRestartPending = on ? 1 : 0; }
    static int Style(const CDrawWnd& e) { return e.m_style.m_nStyle; }
    static int Motion(const CDrawWnd& e) { return e.m_motion.m_nMotion; }
    static int Movers(const CDrawWnd& e) { return e.m_movers.m_nMovers; }
    static double PatternSeed(const CDrawWnd& e) { return e.m_motion.m_dPatternSeed; }
};

}  // namespace quovis
