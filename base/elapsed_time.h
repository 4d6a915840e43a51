// The program's clock. ElapsedTime counts unit-ths of a second since its first call in the
// process (unit 1000 gives milliseconds) as an unsigned 32-bit value that wraps; callers take
// differences in unsigned 32-bit arithmetic so the wrap is harmless.
//
// EngineClock is how the engine learns the time: the engine has no clock of its own, so a
// host passes SystemClock and a test passes a fixed clock, which makes seeded runs repeatable.
#pragma once

#include <cstdint>

namespace quovis {

uint32_t ElapsedTime(double unit);

class EngineClock {
  public:
    virtual ~EngineClock() = default;
    // Milliseconds of the program clock (ElapsedTime(1000) for the real one).
    virtual uint32_t Milliseconds() = 0;
    // Milliseconds since the system started; wraps like the program clock.
    virtual uint32_t TickCount() = 0;
    // The local date as the day of the year (DayOfYear below) and the hour of the day with
    // its fraction. A clock without a calendar gives day 0, hour 0 and returns false.
    virtual bool LocalDayOfYearAndHour(int& dayOfYear, double& hour);
};

// Day of the year from a month (0..11) and a day of the month (1..31), counted from 0 on
// 1 January with the month lengths of a common year, so the result does not jump by a day
// in leap years. Out-of-range months are limited to 0..11.
int DayOfYear(int month, int dayOfMonth);

class SystemClock final : public EngineClock {
  public:
    uint32_t Milliseconds() override;
    uint32_t TickCount() override;
    bool LocalDayOfYearAndHour(int& dayOfYear, double& hour) override;
    // One shared instance: the clock has no state of its own.
    static SystemClock& Instance();
};

}  // namespace quovis
