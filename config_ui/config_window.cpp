#include "config_ui/config_window.h"

#include <QApplication>

#include "config_ui/config_dialog.h"
#include "host/command_line.h"

namespace quovis {

int RunConfigWindow(ConfigStore& store, const ConfigWindowRequest& request) {
    // A full-screen Preview opens and closes windows of its own while this one stays: only
    // this window's end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    ConfigDialogOptions options;
    options.machineSpeedFactor = request.machineSpeedFactor;
    options.settingsFile = request.settingsFile;
    ConfigDialog dialog(store, options);
    dialog.exec();
    return kExitConfiguration;
}

}  // namespace quovis
