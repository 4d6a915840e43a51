// Whole-machine processor load for the frame pacer, which holds the system's total busy
// share near the configured CPU limit rather than just our own process's share: a saver that
// only watched itself would keep competing with a compile running beside it.
//
// The source is the aggregate "cpu" line of /proc/stat. Its counters are folded into the three
// times the pacer's rule is written for: idle, kernel (which includes idle) and user. The
// meter samples at most every 25 ms and smooths what it sees, so a burst of short frames does
// not reread the file, and one noisy sample does not jerk the frame rate.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/smoothing_filter.h"

namespace quovis {

// What the pacer asks about the machine. Tests supply fixed or scripted answers.
class MachineUsage {
  public:
    virtual ~MachineUsage() = default;
    // Busy share of all processors together, 0..100.
    virtual int PercentBusy() = 0;
};

// Cumulative processor times since boot, in the kernel's clock ticks.
struct CpuTimes {
    uint64_t idle = 0;    // idle and waiting for I/O
    uint64_t kernel = 0;  // system, interrupts, stolen time, and the idle time again
    uint64_t user = 0;    // user and nice (guest time is already inside them)
};

// Reads the aggregate "cpu" line of /proc/stat text. nullopt when there is no such line, it
// has fewer than the four fields every kernel writes (user nice system idle), or a field is
// not a number.
std::optional<CpuTimes> ParseProcStat(std::string_view text);

// The whole text of /proc/stat, or nullopt when it cannot be read (no procfs in a sandbox).
std::optional<std::string> ReadProcStatFile();

// The meter. One per process is enough; several pacers may share it from different threads.
class CpuUsageMeter final : public MachineUsage {
  public:
    using NowMsFunction = std::function<double()>;
    using ReadFunction = std::function<std::optional<std::string>()>;

    static constexpr double kSampleIntervalMs = 25.0;

    // nowMs: a monotonic millisecond clock. read: the /proc/stat text.
    CpuUsageMeter(NowMsFunction nowMs, ReadFunction read);
    // The steady clock and the real /proc/stat.
    CpuUsageMeter();

    // Unreadable or unusable samples keep the last value (0 before any sample), so the pacer
    // then simply runs without load control pressure.
    int PercentBusy() override;

  private:
    void Sample(double now);

    NowMsFunction m_nowMs;
    ReadFunction m_read;
    std::mutex m_mutex;
    bool m_started = false;
    CpuTimes m_previous;
    double m_nextSampleMs = 0.0;
    double m_filtered = 0.0;
    SmoothingFilter m_filter;
};

}  // namespace quovis
