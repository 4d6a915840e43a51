#include "config_ui/config_window.h"

#include <QApplication>
#include <QEventLoop>

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
    // The window is the program's only one, so it needs no modality to be the one in front;
    // and a modal window would keep the keys and the pointer from the full-screen Preview's
    // windows, which could then not be ended.
    dialog.setModal(false);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.show();
    loop.exec();
    return kExitConfiguration;
}

}  // namespace quovis
