// Construction, tables, dot store, workers and teardown of the drawing engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/system_info.h"
#include "engine/draw_wnd.h"
#include "engine_test_access.h"
#include "fixed_clock.h"

namespace quovis {
namespace {

using test::FixedClock;
using Peer = EngineTestAccess;

using test::OneWorker;

bool Aligned64(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) % 64 == 0;
}

// ---- Seeding -------------------------------------------------------------------------------

TEST(EngineSeeding, TwoEnginesOnTheSameClockDrawTheSameNumbers) {
    FixedClock clock(5000, 123456);
    CDrawWnd a(clock, OneWorker());
    CDrawWnd b(clock, OneWorker());
    a.Seed(31415);
    b.Seed(31415);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(a.RandomUniform(), b.RandomUniform());
        ASSERT_EQ(a.RandomSigned(3.0f), b.RandomSigned(3.0f));
        ASSERT_EQ(a.PinkNoise(i % 208), b.PinkNoise(i % 208));
    }
}

TEST(EngineSeeding, TheClockReseedMakesEnginesDifferButNotTheirJitter) {
    FixedClock c1(5000, 123456), c2(5001, 123456);
    CDrawWnd a(c1, OneWorker());
    CDrawWnd b(c2, OneWorker());
    EXPECT_NE(a.RandomUniform(), b.RandomUniform());
    // The jitter table is drawn from the fixed first seed, before the clock seed.
    const float* ja = Peer::Jitter(a);
    const float* jb = Peer::Jitter(b);
    EXPECT_TRUE(std::equal(ja, ja + 2 * CDrawWnd::kJitterEntries, jb));
}

TEST(EngineSeeding, EnginesInOneProcessDoNotShareGenerators) {
    FixedClock clock(1, 2);
    CDrawWnd busy(clock, OneWorker());
    CDrawWnd quiet(clock, OneWorker());
    CDrawWnd twin(clock, OneWorker());
    for (int i = 0; i < 5000; ++i) {
        busy.RandomUniform();
        busy.RandomSigned(1.0f);
        busy.PinkNoise(7);
    }
    busy.BuildJitter(2.0, 1.0);  // uses the engine's own rand() for the cursor
    EXPECT_EQ(quiet.RandomUniform(), twin.RandomUniform());
    EXPECT_EQ(quiet.RandomSigned(1.0f), twin.RandomSigned(1.0f));
    EXPECT_EQ(Peer::JitterPos(quiet), Peer::JitterPos(twin));
}

// ---- Tables --------------------------------------------------------------------------------

TEST(EngineTables, FalloffIsABellEdgeAboutTheCentre) {
    FixedClock clock(0, 0);
    CDrawWnd e(clock, OneWorker());
    const float* f = Peer::Falloff(e);
    const int c = CDrawWnd::kFalloffCentre, w = CDrawWnd::kFalloffWidth;
    for (int i = 0; i < c; ++i) ASSERT_EQ(f[i], 0.0f) << i;
    for (int i = c + w; i < CDrawWnd::kFalloffSize; ++i) ASSERT_EQ(f[i], 0.0f) << i;
    EXPECT_EQ(f[c], 1.0f);
    EXPECT_NEAR(f[c + w / 2], 1.0 - std::pow(0.5, 3.3), 1e-6);
    EXPECT_GT(f[c + w - 1], 0.0f);
    EXPECT_LT(f[c + w - 1], 0.01f);
    for (int i = c; i < c + w - 1; ++i) ASSERT_GE(f[i], f[i + 1]) << i;
    EXPECT_GT(f[c + 100], f[c + 1000]);
}

struct JitterStats {
    double maxLength = 0.0;
    double meanLength = 0.0;
    int quadrant[4] = {};
};

JitterStats MeasureJitter(const float* j) {
    JitterStats s;
    for (int i = 0; i < CDrawWnd::kJitterEntries; ++i) {
        const double x = j[2 * i], y = j[2 * i + 1];
        const double len = std::hypot(x, y);
        s.maxLength = std::max(s.maxLength, len);
        s.meanLength += len;
        ++s.quadrant[(x < 0 ? 1 : 0) + (y < 0 ? 2 : 0)];
    }
    s.meanLength /= CDrawWnd::kJitterEntries;
    return s;
}

TEST(EngineTables, JitterLengthsFollowThePowerAndAnglesAreUniform) {
    FixedClock clock(0, 77);
    CDrawWnd e(clock, OneWorker());
    // Built at construction with scale 1 and power 1.8: E[u^1.8] = 1 / 2.8.
    JitterStats s = MeasureJitter(Peer::Jitter(e));
    EXPECT_LE(s.maxLength, 1.0 + 1e-6);
    EXPECT_GT(s.maxLength, 0.99);
    EXPECT_NEAR(s.meanLength, 1.0 / 2.8, 0.01);
    // 16384 draws: a quarter each, sd ~55.
    for (int q = 0; q < 4; ++q) EXPECT_NEAR(s.quadrant[q], 4096, 250) << "quadrant " << q;

    ASSERT_TRUE(e.BuildJitter(3.0, 1.0));
    s = MeasureJitter(Peer::Jitter(e));
    EXPECT_LE(s.maxLength, 3.0 + 1e-5);
    EXPECT_NEAR(s.meanLength, 1.5, 0.04);
}

TEST(EngineTables, JitterCursorIsAnEvenSlotInsideTheTable) {
    FixedClock clock(0, 0);
    for (uint32_t tick : {0u, 0xFFFFFFFFu}) {
        clock.tick = tick;
        CDrawWnd e(clock, OneWorker());
        for (int k = 0; k < 20; ++k) {
            const int pos = Peer::JitterPos(e);
            ASSERT_EQ(pos % 2, 0);
            ASSERT_GE(pos, 0);
            ASSERT_LT(pos, 2 * CDrawWnd::kJitterEntries);
            e.BuildJitter(1.0, 1.5);
        }
    }
}

TEST(EngineTables, JitterRefusesValuesThatAreNotNumbers) {
    FixedClock clock(0, 0);
    CDrawWnd e(clock, OneWorker());
    const std::vector<float> before(Peer::Jitter(e),
                                    Peer::Jitter(e) + 2 * CDrawWnd::kJitterEntries);
    EXPECT_FALSE(e.BuildJitter(std::nan(""), 1.0));
    EXPECT_FALSE(e.BuildJitter(1.0, INFINITY));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), Peer::Jitter(e)));
}

// ---- Dot store and worker records -----------------------------------------------------------

TEST(EngineStore, TenAlignedDisjointArraysInOneBlock) {
    FixedClock clock(0, 0);
    CDrawWnd e(clock, OneWorker());
    ASSERT_TRUE(e.IsUsable());
    const float* base = Peer::DotBlock(e);
    const std::size_t total = Peer::DotBlockCount(e);
    ASSERT_GE(total, CDrawWnd::kDotArrays * static_cast<std::size_t>(CDrawWnd::kMaxDots));
    const float* arrays[CDrawWnd::kDotArrays];
    Peer::DotArrays(e, arrays);
    for (int i = 0; i < CDrawWnd::kDotArrays; ++i) {
        ASSERT_NE(arrays[i], nullptr);
        EXPECT_TRUE(Aligned64(arrays[i])) << "array " << i;
        EXPECT_GE(arrays[i], base);
        EXPECT_LE(arrays[i] + CDrawWnd::kMaxDots, base + total) << "array " << i;
        for (int j = 0; j < i; ++j) {
            const bool apart = arrays[i] + CDrawWnd::kMaxDots <= arrays[j] ||
                               arrays[j] + CDrawWnd::kMaxDots <= arrays[i];
            EXPECT_TRUE(apart) << "arrays " << j << " and " << i << " overlap";
        }
    }
    // The block is cleared, so a never-started engine holds no garbage.
    EXPECT_TRUE(std::all_of(base, base + total, [](float v) { return v == 0.0f; }));
}

TEST(EngineStore, MoverArraysAndBandRecordsAreAligned) {
    FixedClock clock(0, 0);
    EngineOptions opts;
    opts.workerCount = 3;
    CDrawWnd e(clock, opts);
    EXPECT_TRUE(Aligned64(Peer::FlowX(e)));
    EXPECT_TRUE(Aligned64(Peer::FlowY(e)));
    EXPECT_TRUE(Aligned64(Peer::Weight(e)));
    ASSERT_EQ(e.BandCount(), 3);
    const DotBand* bands = Peer::BandRecords(e);
    // Each band's record on its own cache line, and a plot buffer of its own: workers never
    // write to a line another worker writes.
    for (int b = 0; b < e.BandCount(); ++b) {
        const DotBand& band = bands[b];
        EXPECT_TRUE(Aligned64(&band)) << "band " << b;
        ASSERT_NE(band.splats, nullptr) << "band " << b;
        EXPECT_GT(band.splatCapacity, 0);
        if (b > 0) {
            EXPECT_GE(band.splats, bands[b - 1].splats + bands[b - 1].splatCapacity)
                << "band " << b;
        }
    }
}

TEST(EngineWorkers, CountFollowsTheOptionOrTheMachine) {
    FixedClock clock(0, 0);
    {
        CDrawWnd e(clock, OneWorker());
        EXPECT_EQ(e.BandCount(), 1);
        EXPECT_FALSE(Peer::HasPool(e));
    }
    {
        EngineOptions o;
        o.workerCount = 2;
        CDrawWnd e(clock, o);
        EXPECT_EQ(e.BandCount(), 2);
        EXPECT_TRUE(Peer::HasPool(e));
    }
    {
        EngineOptions o;
        o.workerCount = 100;
        CDrawWnd e(clock, o);
        EXPECT_EQ(e.BandCount(), 32);
    }
    {
        CDrawWnd e(clock);
        const int expected = std::min(ProcessorCount(), 32);
        EXPECT_EQ(e.BandCount(), expected);
        EXPECT_EQ(Peer::HasPool(e), expected > 1);
    }
}

// ---- Output slot and teardown -----------------------------------------------------------------

struct CanvasLog {
    int stops = 0;
    bool lockHeldAtStop = false;
    bool destroyedAfterStop = false;
};

class FakeCanvas final : public EngineCanvas {
  public:
    FakeCanvas(CanvasLog& log, std::recursive_mutex& engineLock)
        : m_log(log), m_engineLock(engineLock) {}
    ~FakeCanvas() override { m_log.destroyedAfterStop = m_log.stops == 1; }
    void Stop() override {
        ++m_log.stops;
        bool gotIt = true;
        std::thread probe([&] {
            gotIt = m_engineLock.try_lock();
            if (gotIt) m_engineLock.unlock();
        });
        probe.join();
        m_log.lockHeldAtStop = !gotIt;
    }

  private:
    CanvasLog& m_log;
    std::recursive_mutex& m_engineLock;
};

class EngineWithCanvas : public CDrawWnd {
  public:
    EngineWithCanvas(EngineClock& clock, CanvasLog& log)
        : CDrawWnd(clock, OneWorker()), m_log(log) {}
    int CreateOutput(double) override {
        AdoptCanvas(std::make_unique<FakeCanvas>(m_log, EngineLock()));
        return kEngineOk;
    }

  private:
    CanvasLog& m_log;
};

TEST(EngineOutput, TeardownStopsTheCanvasUnderTheLockThenDestroysIt) {
    FixedClock clock(0, 0);
    CanvasLog log;
    {
        std::unique_ptr<CDrawWnd> e = std::make_unique<EngineWithCanvas>(clock, log);
        ASSERT_EQ(e->CreateOutput(60.0), kEngineOk);
        EXPECT_EQ(log.stops, 0);
    }
    EXPECT_EQ(log.stops, 1);
    EXPECT_TRUE(log.lockHeldAtStop);
    EXPECT_TRUE(log.destroyedAfterStop);
}

TEST(EngineLifecycle, AnEngineWithoutMemoryRefusesWorkAndDiesCleanly) {
    FixedClock clock(0, 0);
    EngineOptions o;
    o.failAllocationForTesting = true;
    o.workerCount = 2;
    CDrawWnd e(clock, o);
    EXPECT_FALSE(e.IsUsable());
    EXPECT_FALSE(e.StartPattern(0.1, 1, 2, 4, false));
    EXPECT_FALSE(e.ResetPattern(0.1, false));
    EXPECT_FALSE(e.ResetMovers(0.1, true));
    EXPECT_FALSE(e.IsReady());
}

TEST(EngineLifecycle, ManyEnginesComeAndGo) {
    // Run under AddressSanitizer this also shows that teardown frees everything it owns.
    FixedClock clock(10, 20);
    for (int i = 0; i < 30; ++i) {
        EngineOptions o;
        o.workerCount = 1 + i % 3;
        auto e = std::make_unique<CDrawWnd>(clock, o);
        ASSERT_TRUE(e->IsUsable());
        ASSERT_TRUE(e->StartPattern(0.01 * i, i % 6, i % 30, 1 + i % 32, false));
    }
    std::vector<std::unique_ptr<CDrawWnd>> alive;
    for (int i = 0; i < 4; ++i) alive.push_back(std::make_unique<CDrawWnd>(clock));
    for (auto& e : alive) EXPECT_TRUE(e->StartPattern(0.2, 2, 5, 8, false));
    alive.clear();
}

}  // namespace
}  // namespace quovis
