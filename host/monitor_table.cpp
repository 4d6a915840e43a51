#include "host/monitor_table.h"

#include <algorithm>

namespace quovis {

MonitorTable BuildMonitorTable(std::span<const MonitorRect> monitors,
                               const MonitorRect& virtualScreen) {
    MonitorTable table;
    for (const MonitorRect& monitor : monitors) {
        if (table.count == kMaxMonitors) break;
        if (monitor.IsEmpty()) continue;
        table.rects[static_cast<size_t>(table.count++)] = monitor;
    }
    table.rects[static_cast<size_t>(table.count)] = virtualScreen;
    return table;
}

MonitorTable BuildMonitorTable(std::span<const MonitorRect> monitors) {
    return BuildMonitorTable(monitors, BoundingRect(monitors));
}

MonitorRect BoundingRect(std::span<const MonitorRect> rects) {
    MonitorRect bound;
    bool any = false;
    for (const MonitorRect& rect : rects) {
        if (rect.IsEmpty()) continue;
        if (!any) {
            bound = rect;
            any = true;
            continue;
        }
        bound.left = std::min(bound.left, rect.left);
        bound.top = std::min(bound.top, rect.top);
        bound.right = std::max(bound.right, rect.right);
        bound.bottom = std::max(bound.bottom, rect.bottom);
    }
    return bound;
}

}  // namespace quovis
