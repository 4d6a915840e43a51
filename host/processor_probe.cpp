#include "host/processor_probe.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "settings/config_values.h"

namespace quovis {

namespace {

// Plausible clock rates; anything else is a damaged or foreign file.
constexpr double kMinMhz = 1.0;
constexpr double kMaxMhz = 1000000.0;

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // procfs and sysfs report a size of 0, so read to the end rather than by size; a
    // cpuinfo of a large machine is a few hundred kilobytes, so cap what we keep.
    constexpr size_t kLimit = 4u << 20;
    std::string text;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(in.gcount()));
        if (text.size() > kLimit) break;
    }
    return text;
}

std::string_view Trim(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

// A decimal number that makes up the whole (trimmed) text. from_chars, not strtod: the
// program runs under the user's locale, and /proc always writes a decimal point.
std::optional<double> ParseDecimal(std::string_view text) {
    text = Trim(text);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int> PlausibleMhz(std::optional<double> mhz) {
    if (!mhz || !(*mhz >= kMinMhz && *mhz <= kMaxMhz)) return std::nullopt;
    return static_cast<int>(std::lround(*mhz));
}

std::optional<int> ParseCpuNumber(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::string CpuFolder(const std::string& root) {
    return root + "/sys/devices/system/cpu";
}

}  // namespace

// ============================================================================================
// The machine
// ============================================================================================

int ProcessorFacts::CountedProcessors() const {
    const int counted = hyperThreading ? (logicalProcessors >> 1) : logicalProcessors;
    return std::max(1, counted);
}

std::optional<int> MhzFromCpuinfo(std::string_view cpuinfo) {
    std::istringstream lines{std::string(cpuinfo)};
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (Trim(std::string_view(line).substr(0, colon)) != "cpu MHz") continue;
        return PlausibleMhz(ParseDecimal(std::string_view(line).substr(colon + 1)));
    }
    return std::nullopt;
}

std::optional<int> MhzFromCpufreq(std::string_view kilohertz) {
    const std::optional<double> khz = ParseDecimal(kilohertz);
    if (!khz) return std::nullopt;
    return PlausibleMhz(*khz / 1000.0);
}

std::optional<std::vector<int>> ParseCpuList(std::string_view text) {
    text = Trim(text);
    std::vector<int> cpus;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const size_t dash = item.find('-');
        const std::optional<int> first = ParseCpuNumber(item.substr(0, dash));
        const std::optional<int> last =
            dash == std::string_view::npos ? first : ParseCpuNumber(item.substr(dash + 1));
        // A range is bounded so that a damaged file cannot make us build a huge list.
        if (!first || !last || *last < *first || *last - *first > 65536) return std::nullopt;
        for (int cpu = *first; cpu <= *last; ++cpu) cpus.push_back(cpu);
    }
    std::sort(cpus.begin(), cpus.end());
    cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    return cpus;
}

int ReadMhz(const std::string& root) {
    const std::string cpufreq = CpuFolder(root) + "/cpu0/cpufreq/";
    for (const char* name : {"base_frequency", "cpuinfo_max_freq"}) {
        if (const std::optional<std::string> text = ReadSmallFile(cpufreq + name)) {
            if (const std::optional<int> mhz = MhzFromCpufreq(*text)) return *mhz;
        }
    }
    if (const std::optional<std::string> text = ReadSmallFile(root + "/proc/cpuinfo")) {
        if (const std::optional<int> mhz = MhzFromCpuinfo(*text)) return *mhz;
    }
    return kDefaultMhz;
}

bool ReadHyperThreading(const std::string& root, const std::vector<int>& allowedCpus) {
    const std::optional<std::string> onlineText = ReadSmallFile(CpuFolder(root) + "/online");
    if (!onlineText) return false;
    const std::optional<std::vector<int>> online = ParseCpuList(*onlineText);
    std::vector<int> allowed = allowedCpus;
    std::sort(allowed.begin(), allowed.end());
    allowed.erase(std::unique(allowed.begin(), allowed.end()), allowed.end());
    if (!online || *online != allowed) return false;
    for (const int cpu : allowed) {
        const std::string path =
            CpuFolder(root) + "/cpu" + std::to_string(cpu) + "/topology/thread_siblings_list";
        const std::optional<std::string> text = ReadSmallFile(path);
        if (!text) continue;
        const std::optional<std::vector<int>> siblings = ParseCpuList(*text);
        if (siblings && siblings->size() > 1) return true;
    }
    return false;
}

ProcessorFacts ProbeProcessor(const std::string& root, const std::vector<int>& allowedCpus) {
    ProcessorFacts facts;
    facts.mhz = ReadMhz(root);
    facts.logicalProcessors = std::max<int>(1, static_cast<int>(allowedCpus.size()));
    facts.hyperThreading = !allowedCpus.empty() && ReadHyperThreading(root, allowedCpus);
    return facts;
}

std::vector<int> AllowedCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (sched_getaffinity(0, sizeof(set), &set) != 0) return cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
    }
    return cpus;
}

ProcessorFacts ProbeThisMachine() {
    return ProbeProcessor("", AllowedCpus());
}

// ============================================================================================
// What follows from it
// ============================================================================================

double ComputeCpuSpeedFactor(int mhz, int processors) {
    const double power = static_cast<double>(mhz) * static_cast<double>(processors) / 4000.0;
    return std::pow(std::min(1.0, power), 0.7);
}

double ComputeCpuSpeedFactor(const ProcessorFacts& facts) {
    return ComputeCpuSpeedFactor(facts.mhz, facts.CountedProcessors());
}

int64_t PixelBudget(int mhz, int processors) {
    const double power = static_cast<double>(mhz) * static_cast<double>(processors) * 110.0;
    const double budget = std::trunc(std::pow(power / 10000000.0, 0.9) * 10000000.0);
    // Compared as doubles first: a budget beyond the cap may not fit an integer.
    if (!(budget < static_cast<double>(kPixelBudgetCap))) return kPixelBudgetCap;
    return static_cast<int64_t>(budget);
}

std::optional<int> ChooseResolutionIndex(int64_t budget, int width, int height) {
    if (width <= 0 || height <= 0) return std::nullopt;
    std::optional<int> chosen;
    int64_t best = 10000000;
    for (size_t i = 0; i < kResolutionScales.size(); ++i) {
        const auto scaled = [&](int size) {
            return static_cast<int64_t>(std::trunc(size * kResolutionScales[i] + 0.5));
        };
        const int64_t difference = std::llabs(scaled(width) * scaled(height) - budget);
        if (difference < best) {
            best = difference;
            chosen = static_cast<int>(i);
        }
    }
    return chosen;
}

int EnsureResolutionChoice(ConfigStore& store, const ProcessorFacts& facts, int monitorWidth,
                           int monitorHeight) {
    if (kConfigResolution.IsStored(store)) return kConfigResolution.Read(store);
    const std::optional<int> chosen = ChooseResolutionIndex(
        PixelBudget(facts.mhz, facts.CountedProcessors()), monitorWidth, monitorHeight);
    if (!chosen) return kConfigResolution.Read(store);
    kConfigResolution.Write(store, *chosen);
    return *chosen;
}

}  // namespace quovis
