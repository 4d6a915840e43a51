// The monitor table: order, the whole-screen entry one past the last monitor, the limit.
#include "host/monitor_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace quovis {
namespace {

TEST(StartupMonitorTable, MonitorsInGivenOrderThenTheWholeScreen) {
    // A secondary monitor left of the primary one, listed first: the order is kept.
    const std::vector<MonitorRect> monitors = {MonitorRect::FromOriginAndSize(-1280, 0, 1280, 1024),
                                               MonitorRect::FromOriginAndSize(0, 0, 1920, 1080)};
    const MonitorTable table = BuildMonitorTable(monitors);
    ASSERT_EQ(table.count, 2);
    EXPECT_EQ(table[0], monitors[0]);
    EXPECT_EQ(table[1], monitors[1]);
    EXPECT_EQ(table.WholeScreen(), (MonitorRect{-1280, 0, 1920, 1080}));
    EXPECT_EQ(table[2].Width(), 3200);
    EXPECT_EQ(table[2].Height(), 1080);

    const MonitorRect virtualScreen = MonitorRect::FromOriginAndSize(-1280, -100, 3200, 1180);
    EXPECT_EQ(BuildMonitorTable(monitors, virtualScreen).WholeScreen(), virtualScreen);
}

TEST(StartupMonitorTable, CheckedIndexAcceptsTheWholeScreenIndex) {
    const std::vector<MonitorRect> monitors(3, MonitorRect{0, 0, 640, 480});
    const MonitorTable table = BuildMonitorTable(monitors);
    EXPECT_EQ(table.CheckedIndex(2), 2);
    EXPECT_EQ(table.CheckedIndex(3), 3);  // all monitors together
    EXPECT_EQ(table.CheckedIndex(4), 0);
    EXPECT_EQ(table.CheckedIndex(-1), 0);
}

TEST(StartupMonitorTable, AtMostFifteenMonitorsAndNoneWithoutArea) {
    std::vector<MonitorRect> monitors;
    monitors.push_back({0, 0, 0, 768});  // a disconnected output
    for (int i = 0; i < 20; ++i)
        monitors.push_back(MonitorRect::FromOriginAndSize(i * 100, 0, 100, 50));
    const MonitorTable table = BuildMonitorTable(monitors);
    ASSERT_EQ(table.count, kMaxMonitors);
    EXPECT_EQ(table[0].left, 0);
    EXPECT_EQ(table[14].left, 1400);
    // The whole screen still spans every monitor, the ones left out included.
    EXPECT_EQ(table.WholeScreen(), (MonitorRect{0, 0, 2000, 50}));

    const MonitorTable empty = BuildMonitorTable({});
    EXPECT_EQ(empty.count, 0);
    EXPECT_TRUE(empty.WholeScreen().IsEmpty());
}

}  // namespace
}  // namespace quovis
