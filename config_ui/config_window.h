// The configuration run mode: the configuration window, shown modally until the user closes
// it. Needs a QApplication.
#pragma once

#include <string>

namespace quovis {

class ConfigStore;

struct ConfigWindowRequest {
    double machineSpeedFactor = 1.0;  // how much work this machine takes (1.0: a fast one)
    std::string settingsFile;         // a settings file to import when the window opens
};

// Shows the window and returns when it closes. The exit code is the configuration mode's,
// kExitConfiguration, however the window was closed.
int RunConfigWindow(ConfigStore& store, const ConfigWindowRequest& request);

}  // namespace quovis
