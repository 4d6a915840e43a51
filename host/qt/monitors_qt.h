// The monitor table from Qt's list of screens.
#pragma once

#include "host/monitor_table.h"

class QRect;

namespace quovis {

MonitorRect MonitorRectFromQRect(const QRect& rect);

// The screens in Qt's order with their full geometry (not the available area), and the
// primary screen's virtual desktop as the whole-screen entry. Needs a QGuiApplication; with
// no screens the table is empty and the whole screen has no area.
MonitorTable MonitorTableFromScreens();

}  // namespace quovis
