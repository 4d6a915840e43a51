#include "base/elapsed_time.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace quovis {

namespace {

std::chrono::steady_clock::time_point ClockOrigin() {
    // Initialised on first use, thread-safely, which makes "since first call" exact.
    static const std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
    return origin;
}

}  // namespace

uint32_t ElapsedTime(double unit) {
    const auto origin = ClockOrigin();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now() - origin)
                        .count();
    const double count = std::trunc(static_cast<double>(ns) * unit / 1e9);
    if (!(count >= 0.0)) return 0;
    // Keep the low 32 bits, as a counter that wraps would.
    return static_cast<uint32_t>(static_cast<uint64_t>(std::fmod(count, 18446744073709551616.0)));
}

uint32_t SystemClock::Milliseconds() {
    return ElapsedTime(1000.0);
}

uint32_t SystemClock::TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

bool EngineClock::LocalDayOfYearAndHour(int& dayOfYear, double& hour) {
    dayOfYear = 0;
    hour = 0.0;
    return false;
}

int DayOfYear(int month, int dayOfMonth) {
    static constexpr int kMonthStart[12] = {0, 31, 59, 90, 120, 151, 181, 212, 242, 273, 304, 334};
    if (month < 0) month = 0;
    if (month > 11) month = 11;
    return kMonthStart[month] + dayOfMonth - 1;
}

bool SystemClock::LocalDayOfYearAndHour(int& dayOfYear, double& hour) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return EngineClock::LocalDayOfYearAndHour(dayOfYear, hour);
    }
    dayOfYear = DayOfYear(local.tm_mon, local.tm_mday);
    hour = local.tm_hour + local.tm_min / 60.0 + local.tm_sec / 3600.0;
    return true;
}

SystemClock& SystemClock::Instance() {
    static SystemClock clock;
    return clock;
}

}  // namespace quovis
