// Construction and teardown of the engine, its dot store, workers and output slot.
#include "engine/draw_wnd.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "base/system_info.h"
#include "engine/splat_kernel.h"

namespace quovis {

namespace {

constexpr int32_t kFirstSeed = 774833;

}  // namespace

CDrawWnd::CDrawWnd(EngineClock& clock, const EngineOptions& options) : m_clock(clock) {
    // The order matters: every step below that draws random numbers does so from the fixed
    // first seed, and the clock-dependent re-seed comes last, after the tables exist.
    Seed(kFirstSeed);

    const double u = m_rng.RandomUniform();
    m_motion.m_dPatternAngle = u * 6.28;
    m_motion.m_dPatternSin = std::sin(m_motion.m_dPatternAngle);
    m_motion.m_dPatternCos = std::cos(m_motion.m_dPatternAngle);

    if (m_jitter.Allocate(2 * static_cast<std::size_t>(kJitterEntries))) BuildJitter(1.0, 1.8);

    std::fill(std::begin(m_style.m_fStyleParamLive), std::end(m_style.m_fStyleParamLive),
              kUnsetLiveParam);

    AllocateDotStore(options.failAllocationForTesting);
    CreateWorkers(options.workerCount);

    Seed(0);
    m_rng.InitPinkChannels(EngineRandom::kPinkChannelsUsed);

    if (m_falloff.Allocate(kFalloffSize)) BuildFalloff();
}

CDrawWnd::~CDrawWnd() {
    // Nobody may start a frame or a setter while the parts go; the lock is held until the
    // last owned object is gone and released just before the mutex itself is destroyed.
    // Window-system resources (drawing surfaces, GL context, timer resolution) are the host's
    // and are released by the host, so teardown here is the engine's own memory and threads.
    std::lock_guard<std::recursive_mutex> lock(m_csEngine);
    if (m_pCanvas) {
        m_pCanvas->Stop();
        m_pCanvas.reset();
    }
    m_dots.m_dotBlock.Reset();
    m_falloff.Reset();
    if (m_pPool) {
        m_pPool->Stop();
        m_pPool.reset();
    }
    m_jitter.Reset();
    m_bands.reset();
    m_splatStore.reset();
    m_splatOrderStore.reset();
}

bool CDrawWnd::AllocateDotStore(bool simulateFailure) {
    if (simulateFailure || !m_dots.m_dotBlock.Allocate(kDotArrays * kDotStride)) return false;
    float* arrays[kDotArrays];
    for (int i = 0; i < kDotArrays; ++i) arrays[i] = m_dots.m_dotBlock.Data() + i * kDotStride;
    m_dots.m_pDotR = arrays[0];
    m_dots.m_pDotG = arrays[1];
    m_dots.m_pDotB = arrays[2];
    m_dots.m_pX = arrays[3];
    m_dots.m_pY = arrays[4];
    m_dots.m_pVX = arrays[5];
    m_dots.m_pVY = arrays[6];
    m_dots.m_pMobility = arrays[7];
    m_dots.m_pSpare1 = arrays[8];
    m_dots.m_pSpare2 = arrays[9];
    return true;
}

void CDrawWnd::CreateWorkers(int requested) {
    const int count =
        std::clamp(requested > 0 ? requested : ProcessorCount(), 1, WorkerPool::kMaxWorkers);
    if (count > 1) {
        m_pPool.reset(new (std::nothrow) WorkerPool);
        if (m_pPool) {
            m_pPool->SetWorkerCount(count);
            // A pool whose threads could not start runs the bands on the frame thread, in
            // order, with the same results; the engine keeps working, only slower.
            m_pPool->Start();
        }
    }
    m_nBands = m_pPool ? count : 1;
    m_bands.reset(new (std::nothrow) DotBand[m_nBands]);
    // Several bands collect their plots for the stripes' owners; one band collects its
    // "Points" plots when the vector kernel is there to draw them. Without the memory for it
    // they plot straight into the canvas: slower, the same picture. The buffers share one
    // budget, so many workers get smaller buffers (and run more rounds), not more memory.
    if (m_bands && (m_nBands >= kStripesFromBands || VectorSplatKernelName() != nullptr)) {
        constexpr std::size_t kPerRecord = sizeof(SplatRecord) + 2 * sizeof(int32_t);
        const int32_t capacity = static_cast<int32_t>(std::clamp<std::size_t>(
            kSplatBudgetBytes / kPerRecord / static_cast<std::size_t>(m_nBands), kMinSplatsPerBand,
            kMaxSplatsPerBand));
        const std::size_t records = static_cast<std::size_t>(capacity) * m_nBands;
        m_splatStore.reset(new (std::nothrow) SplatRecord[records]);
        m_splatOrderStore.reset(new (std::nothrow) int32_t[2 * records]);
        if (!m_splatStore || !m_splatOrderStore) {
            m_splatStore.reset();
            m_splatOrderStore.reset();
        }
        for (int b = 0; m_splatStore && b < m_nBands; ++b) {
            const std::size_t at = static_cast<std::size_t>(capacity) * b;
            m_bands[b].splats = m_splatStore.get() + at;
            m_bands[b].order = m_splatOrderStore.get() + 2 * at;
            m_bands[b].splatCapacity = capacity;
        }
    }
}

bool CDrawWnd::IsUsable() const {
    return m_dots.m_dotBlock && m_bands && m_jitter && m_falloff;
}

int CDrawWnd::CreateOutput(double frameRate) {
    // The presenter belongs to the layer above; until that layer overrides this, there is no
    // output to create and the caller must know it.
    (void)frameRate;
    return kEngineNoOutput;
}

void CDrawWnd::AdoptCanvas(std::unique_ptr<EngineCanvas> canvas) {
    std::lock_guard<std::recursive_mutex> lock(m_csEngine);
    if (m_pCanvas) m_pCanvas->Stop();
    m_pCanvas = std::move(canvas);
}

void CDrawWnd::Seed(int32_t seed) {
    m_rng.Seed(seed, m_clock.Milliseconds(), m_clock.TickCount());
}

}  // namespace quovis
