// How fast the machine is, measured once at start-up, and the two choices that follow from it:
// the CPU speed factor (fewer dots on a slow machine) and the render scale stored in
// "Resolution" the first time the program runs.
//
// The machine is read the Linux way -- cpufreq or /proc/cpuinfo for the clock rate, the
// affinity mask for the processors, the sysfs topology for hyper-threading -- and gives the
// same three numbers the formulas were made for: MHz, logical processors, hyper-threading on.
// Every reader takes file contents or a root folder, so tests feed them a fake /proc and /sys.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config_store.h"

namespace quovis {

// ============================================================================================
// The machine
// ============================================================================================

// Assumed when no clock rate can be read.
inline constexpr int kDefaultMhz = 1000;

struct ProcessorFacts {
    int mhz = kDefaultMhz;
    int logicalProcessors = 1;  // processors this process may run on, at least 1
    bool hyperThreading = false;

    // The processors the formulas count: halved when hyper-threading is on, since two
    // threads of one core do not draw twice as fast. At least 1.
    int CountedProcessors() const;
};

// The clock rate in /proc/cpuinfo: the first "cpu MHz" line, rounded. nullopt when there is
// none or it is not a plausible rate.
std::optional<int> MhzFromCpuinfo(std::string_view cpuinfo);
// A cpufreq file's value (kHz, e.g. "3600000\n") as MHz; nullopt when not plausible.
std::optional<int> MhzFromCpufreq(std::string_view kilohertz);
// A kernel CPU list such as "0-3,8,10-11" (online, thread_siblings_list); nullopt when
// malformed. The numbers come back sorted without repeats.
std::optional<std::vector<int>> ParseCpuList(std::string_view text);

// The clock rate under `root` ("" for the real machine): the rated rate of cpu0 from cpufreq
// (base_frequency, else cpuinfo_max_freq), else /proc/cpuinfo, else kDefaultMhz. The rated
// rate comes first because "cpu MHz" shows the current rate, low on an idle laptop.
int ReadMhz(const std::string& root);
// Whether two threads share a core among `allowedCpus`, from the sysfs topology under `root`.
// Cannot tell (false) when the process may not run on every online processor: its siblings
// may be outside its set, and halving then would undercount.
bool ReadHyperThreading(const std::string& root, const std::vector<int>& allowedCpus);
// All three numbers; allowedCpus empty counts as one processor.
ProcessorFacts ProbeProcessor(const std::string& root, const std::vector<int>& allowedCpus);

// The processors in this process's affinity mask; empty when it cannot be read.
std::vector<int> AllowedCpus();
// ProbeProcessor of this machine.
ProcessorFacts ProbeThisMachine();

// ============================================================================================
// What follows from it
// ============================================================================================

// (min(1, MHz x processors / 4000)) ^ 0.7: 1 processor at 1000 MHz gives 0.25^0.7, and 4000
// or more exactly 1.
double ComputeCpuSpeedFactor(int mhz, int processors);
double ComputeCpuSpeedFactor(const ProcessorFacts& facts);

// The render scales "Resolution" indexes. 0.666667 and 0.333333 are exactly these values:
// render sizes computed from them must match the stored choice everywhere.
inline constexpr std::array<double, 8> kResolutionScales{1.0, 0.8, 0.75,     0.666667,
                                                         0.5, 0.4, 0.333333, 0.25};
inline constexpr int64_t kPixelBudgetCap = 1400000;

// Pixels the machine can render per frame: trunc((MHz x processors x 110 / 10^7)^0.9 x 10^7),
// at most kPixelBudgetCap.
int64_t PixelBudget(int mhz, int processors);
// The scale index whose render size of a width x height monitor comes closest to `budget`
// (the first of equals). nullopt when none is within 10^7 pixels, or for a monitor without
// area: a choice made from no monitor would be stored for good.
std::optional<int> ChooseResolutionIndex(int64_t budget, int width, int height);

// The render scale index in force. When "Resolution" is not stored, the choice for the first
// monitor is stored (a failed write is ignored); a stored value is never recomputed, so the
// user's own choice, or the first one, stays when the machine changes.
int EnsureResolutionChoice(ConfigStore& store, const ProcessorFacts& facts, int monitorWidth,
                           int monitorHeight);

}  // namespace quovis
