// The processor probe over fake /proc and /sys trees, the speed factor and the render scale
// choice with its one-time storing.
#include "host/processor_probe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "settings/config_values.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

class FakeMachine : public ::testing::Test {
  protected:
    testing::TempDir m_root;

    void Write(const std::string& relative, const std::string& text) {
        const std::filesystem::path path = m_root / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    void Siblings(int cpu, const std::string& list) {
        Write("sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/thread_siblings_list",
              list + "\n");
    }
};

TEST(StartupProcessorReaders, ClockRateFromCpuinfoAndCpufreq) {
    EXPECT_EQ(MhzFromCpuinfo("processor\t: 0\nmodel name\t: X\ncpu MHz\t\t: 2893.602\n"
                             "processor\t: 1\ncpu MHz\t\t: 800.000\n"),
              2894);
    EXPECT_EQ(MhzFromCpuinfo("processor : 0\nBogoMIPS : 48.00\n"), std::nullopt);
    EXPECT_EQ(MhzFromCpuinfo("cpu MHz dynamic : 5200\n"), std::nullopt);
    EXPECT_EQ(MhzFromCpuinfo("cpu MHz : fast\n"), std::nullopt);
    EXPECT_EQ(MhzFromCpuinfo("cpu MHz : 0.000\n"), std::nullopt);
    EXPECT_EQ(MhzFromCpufreq("3600000\n"), 3600);
    EXPECT_EQ(MhzFromCpufreq("<unknown>\n"), std::nullopt);
    EXPECT_EQ(MhzFromCpufreq(""), std::nullopt);
}

TEST(StartupProcessorReaders, CpuLists) {
    EXPECT_EQ(ParseCpuList("0-3,8,10-11\n"), (std::vector<int>{0, 1, 2, 3, 8, 10, 11}));
    EXPECT_EQ(ParseCpuList("5,1,1"), (std::vector<int>{1, 5}));
    EXPECT_EQ(ParseCpuList(""), std::vector<int>{});
    EXPECT_EQ(ParseCpuList("3-1"), std::nullopt);
    EXPECT_EQ(ParseCpuList("0-"), std::nullopt);
    EXPECT_EQ(ParseCpuList("a"), std::nullopt);
    EXPECT_EQ(ParseCpuList("0-2147483647"), std::nullopt);
}

TEST_F(FakeMachine, RatedClockRateComesBeforeTheCurrentOne) {
    EXPECT_EQ(ReadMhz(m_root.Path()), kDefaultMhz);
    Write("proc/cpuinfo", "cpu MHz : 799.9\n");
    EXPECT_EQ(ReadMhz(m_root.Path()), 800);
    Write("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "4700000\n");
    EXPECT_EQ(ReadMhz(m_root.Path()), 4700);
    Write("sys/devices/system/cpu/cpu0/cpufreq/base_frequency", "2900000\n");
    EXPECT_EQ(ReadMhz(m_root.Path()), 2900);
    Write("sys/devices/system/cpu/cpu0/cpufreq/base_frequency", "garbage\n");
    EXPECT_EQ(ReadMhz(m_root.Path()), 4700);
}

TEST_F(FakeMachine, HyperThreadingHalvesTheCountOnlyWhenItCanTell) {
    Write("sys/devices/system/cpu/online", "0-3\n");
    Siblings(0, "0,2");
    Siblings(1, "1,3");
    Siblings(2, "0,2");
    Siblings(3, "1,3");
    const ProcessorFacts smt = ProbeProcessor(m_root.Path(), {0, 1, 2, 3});
    EXPECT_TRUE(smt.hyperThreading);
    EXPECT_EQ(smt.logicalProcessors, 4);
    EXPECT_EQ(smt.CountedProcessors(), 2);

    // Restricted to part of the machine: cannot tell, so nothing is halved.
    EXPECT_FALSE(ProbeProcessor(m_root.Path(), {0, 1}).hyperThreading);

    for (int cpu = 0; cpu < 4; ++cpu) Siblings(cpu, std::to_string(cpu));
    EXPECT_FALSE(ReadHyperThreading(m_root.Path(), {0, 1, 2, 3}));

    // No topology at all, or no processors known.
    std::filesystem::remove_all(m_root / "sys");
    EXPECT_FALSE(ReadHyperThreading(m_root.Path(), {0, 1, 2, 3}));
    const ProcessorFacts unknown = ProbeProcessor(m_root.Path(), {});
    EXPECT_EQ(unknown.logicalProcessors, 1);
    EXPECT_EQ(unknown.mhz, kDefaultMhz);
    EXPECT_EQ(unknown.CountedProcessors(), 1);
}

TEST(StartupSpeed, SpeedFactorFormula) {
    EXPECT_DOUBLE_EQ(ComputeCpuSpeedFactor(1000, 1), std::pow(0.25, 0.7));
    EXPECT_NEAR(ComputeCpuSpeedFactor(1000, 1), 0.379, 0.001);
    EXPECT_EQ(ComputeCpuSpeedFactor(4000, 1), 1.0);
    EXPECT_EQ(ComputeCpuSpeedFactor(1000, 4), 1.0);
    EXPECT_EQ(ComputeCpuSpeedFactor(3000, 64), 1.0);
    EXPECT_DOUBLE_EQ(ComputeCpuSpeedFactor(2000, 1), std::pow(0.5, 0.7));
    // Hyper-threading counts the halved number.
    EXPECT_DOUBLE_EQ(ComputeCpuSpeedFactor(ProcessorFacts{1000, 4, true}), std::pow(0.5, 0.7));
}

TEST(StartupSpeed, PixelBudgetAndScaleChoice) {
    const int64_t budget = PixelBudget(2000, 4);
    EXPECT_GT(budget, 1120000);
    EXPECT_LT(budget, 1130000);
    EXPECT_EQ(ChooseResolutionIndex(budget, 1920, 1080), 2);  // 1440 x 810
    EXPECT_EQ(PixelBudget(3000, 16), kPixelBudgetCap);
    EXPECT_EQ(ChooseResolutionIndex(kPixelBudgetCap, 1920, 1080), 1);  // 1536 x 864
    EXPECT_EQ(ChooseResolutionIndex(PixelBudget(1000, 1), 1920, 1080), 7);
    // A small monitor gets the full size; equal differences keep the first index.
    EXPECT_EQ(ChooseResolutionIndex(kPixelBudgetCap, 800, 600), 0);
    EXPECT_EQ(ChooseResolutionIndex(90, 100, 1), 0);  // 100 and 80 pixels, both 10 away
    EXPECT_EQ(ChooseResolutionIndex(0, 0, 0), std::nullopt);
    EXPECT_EQ(ChooseResolutionIndex(budget, 1920, -1), std::nullopt);
    // No scale comes within 10^7 pixels of the budget.
    EXPECT_EQ(ChooseResolutionIndex(0, 20000, 20000), std::nullopt);
}

class StartupResolutionStore : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
};

TEST_F(StartupResolutionStore, StoredOnceAndNeverRecomputed) {
    const ProcessorFacts machine{2000, 4, false};
    EXPECT_EQ(EnsureResolutionChoice(m_store, machine, 1920, 1080), 2);
    EXPECT_EQ(kConfigResolution.ReadOr(m_store, -1), 2);

    const ProcessorFacts faster{4000, 16, false};
    EXPECT_EQ(EnsureResolutionChoice(m_store, faster, 1920, 1080), 2);
    ASSERT_TRUE(kConfigResolution.Write(m_store, 6));
    EXPECT_EQ(EnsureResolutionChoice(m_store, machine, 1920, 1080), 6);
}

TEST_F(StartupResolutionStore, NoMonitorStoresNothing) {
    EXPECT_EQ(EnsureResolutionChoice(m_store, ProcessorFacts{}, 0, 0),
              kConfigResolution.defaultValue);
    EXPECT_FALSE(kConfigResolution.IsStored(m_store));
}

}  // namespace
}  // namespace quovis
