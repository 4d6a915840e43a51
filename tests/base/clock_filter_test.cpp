#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "base/elapsed_time.h"
#include "base/smoothing_filter.h"

namespace quovis {
namespace {

TEST(ElapsedTime, UnitsAgreeAndAdvance) {
    // Each finer reading is bracketed by two millisecond readings, so a preemption between
    // the reads widens the allowed band instead of failing the test.
    const uint32_t msBefore0 = ElapsedTime(1000.0);
    const uint32_t tenths0 = ElapsedTime(10000.0);
    const uint32_t msAfter0 = ElapsedTime(1000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t msBefore1 = ElapsedTime(1000.0);
    const uint32_t tenths1 = ElapsedTime(10000.0);
    const uint32_t msAfter1 = ElapsedTime(1000.0);
    // Unsigned differences, as every caller takes them.
    const uint32_t dms = msBefore1 - msAfter0;
    const uint32_t dtenths = tenths1 - tenths0;
    EXPECT_GE(msAfter1 - msBefore0, 30u);
    EXPECT_LT(dms, 2000u);
    // Tenth-milliseconds are ten times finer than milliseconds, within rounding.
    EXPECT_GE(static_cast<double>(dtenths), 10.0 * dms - 10.0);
    EXPECT_LE(static_cast<double>(dtenths), 10.0 * (msAfter1 - msBefore0) + 10.0);
    // The same instant in seconds is the millisecond count divided by 1000, truncated.
    const uint32_t s = ElapsedTime(1.0);
    EXPECT_LE(s, ElapsedTime(1000.0) / 1000u + 1u);
}

TEST(ElapsedTime, IsMonotonicAcrossThreads) {
    uint32_t last = ElapsedTime(10000.0);
    for (int i = 0; i < 1000; ++i) {
        const uint32_t now = ElapsedTime(10000.0);
        EXPECT_LT(now - last, 0x80000000u) << "went backwards at " << i;
        last = now;
    }
    uint32_t other = 0;
    std::thread t([&] { other = ElapsedTime(10000.0); });
    t.join();
    EXPECT_LT(other - last, 0x80000000u);
}

TEST(SystemClock, TickCountAdvancesInMilliseconds) {
    auto& clock = SystemClock::Instance();
    const uint32_t t0 = clock.TickCount();
    const uint32_t m0 = clock.Milliseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(clock.TickCount() - t0, 20u);
    EXPECT_GE(clock.Milliseconds() - m0, 20u);
}

class SmoothingFilterTest : public ::testing::TestWithParam<double> {};

TEST_P(SmoothingFilterTest, StartsSettledAndHasUnityGain) {
    const double fc = GetParam();
    SmoothingFilter f;
    f.Init(42.5, fc);
    // Settled: a constant input equal to x0 is returned unchanged from the first update.
    for (int i = 0; i < 50; ++i) EXPECT_NEAR(f.Update(42.5), 42.5, 1e-9) << "update " << i;
    // Unity gain: after a step the output converges to the new level, without overshooting
    // far beyond it.
    double y = 0.0;
    double peak = 0.0;
    for (int i = 0; i < 5000; ++i) {
        y = f.Update(100.0);
        peak = std::max(peak, y);
    }
    EXPECT_NEAR(y, 100.0, 1e-6);
    EXPECT_LT(peak, 100.0 + 57.5 * 0.2);
}

TEST_P(SmoothingFilterTest, SmoothsNoise) {
    const double fc = GetParam();
    SmoothingFilter f;
    f.Init(0.0, fc);
    // Alternating +-1 is the fastest possible signal; a low-pass filter must shrink it.
    double maxOut = 0.0;
    for (int i = 0; i < 2000; ++i) {
        const double y = f.Update(i % 2 == 0 ? 1.0 : -1.0);
        if (i > 1000) maxOut = std::max(maxOut, std::fabs(y));
    }
    EXPECT_LT(maxOut, 0.5);
}

INSTANTIATE_TEST_SUITE_P(PacerCorners, SmoothingFilterTest,
                         ::testing::Values(0.02, 0.05, 0.07, 0.1, 0.2));

TEST(SmoothingFilter, SlowerCornerRespondsMoreSlowly) {
    SmoothingFilter slow, fast;
    slow.Init(0.0, 0.02);
    fast.Init(0.0, 0.2);
    double ys = 0, yf = 0;
    for (int i = 0; i < 10; ++i) {
        ys = slow.Update(1.0);
        yf = fast.Update(1.0);
    }
    EXPECT_LT(ys, yf);
    EXPECT_GT(ys, 0.0);
}

}  // namespace
}  // namespace quovis
