#include "host/qt/monitors_qt.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <vector>

namespace quovis {

MonitorRect MonitorRectFromQRect(const QRect& rect) {
    // QRect::right() is the last column, not one past it: build from origin and size.
    return MonitorRect::FromOriginAndSize(rect.x(), rect.y(), rect.width(), rect.height());
}

MonitorTable MonitorTableFromScreens() {
    std::vector<MonitorRect> monitors;
    for (const QScreen* screen : QGuiApplication::screens()) {
        monitors.push_back(MonitorRectFromQRect(screen->geometry()));
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) return BuildMonitorTable(monitors);
    return BuildMonitorTable(monitors, MonitorRectFromQRect(primary->virtualGeometry()));
}

}  // namespace quovis
