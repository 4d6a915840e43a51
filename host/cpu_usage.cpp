#include "host/cpu_usage.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <fstream>
#include <iterator>

namespace quovis {

namespace {

// The usage filter's corner, as a fraction of the sampling rate.
constexpr double kUsageCorner = 0.2;

// Fields of the "cpu" line, in the order the kernel writes them.
enum StatField { kUser, kNice, kSystem, kIdle, kIowait, kIrq, kSoftirq, kSteal, kFieldsUsed };
constexpr int kFieldsRequired = 4;  // user nice system idle: written by every kernel

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The aggregate line is "cpu" followed by blanks; "cpu0", "cpu1"... are single processors.
std::optional<std::string_view> AggregateLine(std::string_view text) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (line.size() > 3 && line.substr(0, 3) == "cpu" && IsBlank(line[3]))
            return line.substr(3);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return std::nullopt;
}

}  // namespace

std::optional<CpuTimes> ParseProcStat(std::string_view text) {
    const std::optional<std::string_view> found = AggregateLine(text);
    if (!found) return std::nullopt;
    std::string_view rest = *found;
    uint64_t field[kFieldsUsed] = {};
    int count = 0;
    while (count < kFieldsUsed) {
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
        if (rest.empty()) break;
        const char* first = rest.data();
        const char* last = first + rest.size();
        uint64_t value = 0;
        const auto [ptr, ec] = std::from_chars(first, last, value);
        // A field must be a whole unsigned number ending at a blank or the end of the line.
        if (ec != std::errc() || (ptr != last && !IsBlank(*ptr))) return std::nullopt;
        field[count++] = value;
        rest.remove_prefix(static_cast<size_t>(ptr - first));
    }
    if (count < kFieldsRequired) return std::nullopt;

    CpuTimes t;
    t.idle = field[kIdle] + field[kIowait];
    t.user = field[kUser] + field[kNice];
    // Stolen time counts as busy: the processors were not ours to use, and backing off on a
    // contended virtual machine is what the limit is for.
    t.kernel = field[kSystem] + field[kIrq] + field[kSoftirq] + field[kSteal] + t.idle;
    return t;
}

std::optional<std::string> ReadProcStatFile() {
    std::ifstream in("/proc/stat", std::ios::binary);
    if (!in) return std::nullopt;
    // procfs files report size 0, so read until the end instead of asking for the size.
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}

CpuUsageMeter::CpuUsageMeter(NowMsFunction nowMs, ReadFunction read)
    : m_nowMs(std::move(nowMs)), m_read(std::move(read)) {}

CpuUsageMeter::CpuUsageMeter()
    : CpuUsageMeter(
          [] {
              using namespace std::chrono;
              static const steady_clock::time_point start = steady_clock::now();
              return duration<double, std::milli>(steady_clock::now() - start).count();
          },
          ReadProcStatFile) {}

int CpuUsageMeter::PercentBusy() {
    std::lock_guard<std::mutex> guard(m_mutex);
    const double now = m_nowMs();
    if (!m_started) {
        // The first sample measures against zero times, i.e. the average since boot: a fair
        // first guess until the 25 ms samples take over.
        m_started = true;
        m_previous = CpuTimes{};
        m_nextSampleMs = now;
        m_filter.Init(0.0, kUsageCorner);
        m_filtered = 0.0;
    }
    if (now >= m_nextSampleMs) Sample(now);
    return static_cast<int>(std::clamp(m_filtered, 0.0, 100.0));
}

void CpuUsageMeter::Sample(double now) {
    m_nextSampleMs = now + kSampleIntervalMs;
    const std::optional<std::string> text = m_read ? m_read() : std::nullopt;
    if (!text) return;
    const std::optional<CpuTimes> times = ParseProcStat(*text);
    if (!times) return;
    // Differences as signed values: counters that step back (the aggregate shrinks when a
    // processor goes offline; iowait is known to wobble) must not read as years of work.
    const auto delta = [](uint64_t now, uint64_t before) {
        return static_cast<double>(static_cast<int64_t>(now - before));
    };
    const double total =
        delta(times->kernel, m_previous.kernel) + delta(times->user, m_previous.user);
    const double idle = delta(times->idle, m_previous.idle);
    m_previous = *times;
    if (total <= 0.0) return;
    const double busy = std::clamp((total - idle) * 100.0 / total, 0.0, 100.0);
    m_filtered = m_filter.Update(busy);
}

}  // namespace quovis
