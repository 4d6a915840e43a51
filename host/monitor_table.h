// MonitorTable: the monitors as the saver windows, the renderer and the configuration window
// see them, filled once at start-up and only read afterwards.
//
// Entries 0 .. count-1 are the monitors in the order the windowing system lists them (their
// full rectangles, not the work areas). The entry at index `count` is always the whole
// virtual screen, so an index equal to the count means "all monitors together". There is
// room for kMaxMonitors monitors; further ones are left out.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace quovis {

struct MonitorRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // one past the last column
    int32_t bottom = 0;  // one past the last row

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const MonitorRect&) const = default;

    static MonitorRect FromOriginAndSize(int32_t x, int32_t y, int32_t width, int32_t height) {
        return {x, y, x + width, y + height};
    }
};

inline constexpr int kMaxMonitors = 15;

struct MonitorTable {
    std::array<MonitorRect, kMaxMonitors + 1> rects{};
    int count = 0;

    // The monitor at `index`, or the whole virtual screen for index == count.
    const MonitorRect& operator[](int index) const { return rects[static_cast<size_t>(index)]; }
    const MonitorRect& WholeScreen() const { return rects[static_cast<size_t>(count)]; }
    // Index 0 to count (count = all monitors); anything else falls back to monitor 0, as a
    // stored preferred monitor does when a monitor has gone since it was chosen.
    int CheckedIndex(int index) const { return index >= 0 && index <= count ? index : 0; }
};

// The table for `monitors` in the given order, left to right, with `virtualScreen` as the
// whole-screen entry. Monitors without area (a disconnected output may be listed as one) are
// skipped: no window can cover them and no render size follows from them. Monitors beyond
// kMaxMonitors are left out.
MonitorTable BuildMonitorTable(std::span<const MonitorRect> monitors,
                               const MonitorRect& virtualScreen);
// As above, with the smallest rectangle around all the monitors as the whole screen.
MonitorTable BuildMonitorTable(std::span<const MonitorRect> monitors);

// The smallest rectangle holding every non-empty rectangle; empty when there is none.
MonitorRect BoundingRect(std::span<const MonitorRect> rects);

}  // namespace quovis
