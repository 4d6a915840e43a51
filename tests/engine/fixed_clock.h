// A clock that says what the test tells it, so that engine seeding is repeatable.
#pragma once

#include <cstdint>

#include "base/elapsed_time.h"

namespace quovis::test {

class FixedClock final : public EngineClock {
  public:
    FixedClock(uint32_t ms, uint32_t tick) : ms(ms), tick(tick) {}
    uint32_t Milliseconds() override { return ms; }
    uint32_t TickCount() override { return tick; }
    bool LocalDayOfYearAndHour(int& dayOfYear, double& hourOfDay) override {
        dayOfYear = day;
        hourOfDay = hour;
        return true;
    }
    uint32_t ms;
    uint32_t tick;
    int day = 0;  // local date the clock reports: day of the year and hour of the day
    double hour = 0.0;
};

}  // namespace quovis::test
