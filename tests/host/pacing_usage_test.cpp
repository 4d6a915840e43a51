// Whole-machine processor usage: the /proc/stat reader and the sampling meter.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/cpu_usage.h"

namespace quovis {
namespace {

constexpr const char* kRealLooking =
    "cpu  4705 356 584 3699 23 23 7 11 90 4\n"
    "cpu0 1393280 32966 572056 13343292 6130 0 17875 0 23933 0\n"
    "cpu1 1390000 32000 570000 13340000 6000 0 17000 0 23000 0\n"
    "intr 1462898 34 9 0 0 0 0 0 0 1 0 0 0 0 0 0\n"
    "ctxt 115315\n"
    "btime 769041601\n"
    "processes 86031\n";

TEST(ProcStat, ReadsTheAggregateLineIntoIdleKernelAndUser) {
    const std::optional<CpuTimes> t = ParseProcStat(kRealLooking);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->idle, 3699u + 23u);                      // idle + iowait
    EXPECT_EQ(t->user, 4705u + 356u);                     // user + nice; guest is inside user
    EXPECT_EQ(t->kernel, 584u + 23u + 7u + 11u + 3722u);  // system, irq, softirq, steal, idle
}

TEST(ProcStat, OlderKernelsWithFourFieldsAndOtherLayouts) {
    const std::optional<CpuTimes> old = ParseProcStat("cpu 10 20 30 40\n");
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(old->idle, 40u);
    EXPECT_EQ(old->user, 30u);
    EXPECT_EQ(old->kernel, 70u);
    // Not the first line, a tab, CR LF line ends, no final newline.
    const std::optional<CpuTimes> late = ParseProcStat("intr 5\r\ncpu\t1 2 3 4 5\r\ncpu0 9 9 9 9");
    ASSERT_TRUE(late.has_value());
    EXPECT_EQ(late->idle, 9u);
    EXPECT_EQ(late->kernel, 12u);
}

TEST(ProcStat, RefusesShortAndGarbledLines) {
    const char* bad[] = {
        "",
        "cpu 1 2 3\n",                          // too short
        "cpu\n",                                // no fields
        "cpu 1 2 x 4\n",                        // not a number
        "cpu 1 2 3 4abc 5\n",                   // trailing garbage in a field
        "cpu 1 -2 3 4\n",                       // negative
        "cpu 99999999999999999999999 1 1 1\n",  // beyond 64 bits
        "cpu0 1 2 3 4\ncpu1 1 2 3 4\n",         // single processors only
        "cpux 1 2 3 4\n",                       // not the aggregate line
        "intr 1 2 3 4\n",
    };
    for (const char* text : bad) EXPECT_FALSE(ParseProcStat(text).has_value()) << text;
}

TEST(ProcStat, ReadsThisMachine) {
    const std::optional<std::string> text = ReadProcStatFile();
    if (!text) GTEST_SKIP() << "no /proc/stat here";
    const std::optional<CpuTimes> t = ParseProcStat(*text);
    ASSERT_TRUE(t.has_value());
    EXPECT_GE(t->kernel, t->idle);
    EXPECT_GT(t->kernel + t->user, 0u);
}

// A machine whose counters advance by `busy` of every 100 ticks per sample.
struct ScriptedMachine {
    std::string Next() {
        idle += 100 - busy;
        user += busy;
        return "cpu  " + std::to_string(user) + " 0 0 " + std::to_string(idle) + " 0 0 0 0 0 0\n";
    }
    uint64_t idle = 100000;
    uint64_t user = 100000;
    int busy = 0;
};

struct MeterRig {
    MeterRig()
        : meter([this] { return now; },
                [this]() -> std::optional<std::string> {
                    ++reads;
                    if (script.empty()) return machine.Next();
                    std::string s = script;
                    script.clear();
                    if (s == "unreadable") return std::nullopt;
                    return s;
                }) {}
    // Samples n times, 25 ms apart.
    int Run(int n) {
        int value = 0;
        for (int i = 0; i < n; ++i) {
            value = meter.PercentBusy();
            now += 25.0;
        }
        return value;
    }
    double now = 1000.0;
    int reads = 0;
    std::string script;  // the next read's text, when set
    ScriptedMachine machine;
    CpuUsageMeter meter;
};

TEST(CpuUsageMeter, SamplesAtMostEveryTwentyFiveMs) {
    MeterRig rig;
    for (int i = 0; i < 10; ++i) rig.meter.PercentBusy();
    EXPECT_EQ(rig.reads, 1);
    rig.now += 24.9;
    rig.meter.PercentBusy();
    EXPECT_EQ(rig.reads, 1);
    rig.now += 0.1;
    rig.meter.PercentBusy();
    EXPECT_EQ(rig.reads, 2);
}

TEST(CpuUsageMeter, FollowsASteadyLoad) {
    MeterRig rig;
    rig.machine.busy = 60;
    EXPECT_NEAR(rig.Run(200), 60, 1);
    rig.machine.busy = 100;
    EXPECT_GE(rig.Run(200), 99);
    rig.machine.busy = 0;
    EXPECT_EQ(rig.Run(200), 0);
}

TEST(CpuUsageMeter, OneSpikeIsSmoothed) {
    MeterRig rig;
    rig.machine.busy = 20;
    ASSERT_NEAR(rig.Run(200), 20, 1);
    rig.machine.busy = 100;
    const int afterSpike = rig.Run(1);
    EXPECT_GT(afterSpike, 20);
    EXPECT_LT(afterSpike, 60);
}

TEST(CpuUsageMeter, BadSamplesKeepTheLastValue) {
    MeterRig rig;
    rig.machine.busy = 50;
    const int settled = rig.Run(200);
    ASSERT_NEAR(settled, 50, 1);
    rig.script = "unreadable";
    EXPECT_EQ(rig.Run(1), settled);
    rig.script = "cpu garbage\n";
    EXPECT_EQ(rig.Run(1), settled);
    // Counters that step back are not a sample; the next one measures from there.
    rig.script = "cpu  10 0 0 10 0 0 0 0 0 0\n";
    EXPECT_EQ(rig.Run(1), settled);
    rig.script = "cpu  60 0 0 60 0 0 0 0 0 0\n";  // 50 busy of 100
    EXPECT_NEAR(rig.Run(1), 50, 1);
}

TEST(CpuUsageMeter, NothingReadableReadsAsIdle) {
    CpuUsageMeter meter([] { return 0.0; }, [] { return std::optional<std::string>(); });
    EXPECT_EQ(meter.PercentBusy(), 0);
}

}  // namespace
}  // namespace quovis
