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
    uint32_t ms;
    uint32_t tick;
};

}  // namespace quovis::test
