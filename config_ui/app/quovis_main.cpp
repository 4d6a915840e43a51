// quovis: the screen saver. Reads the command line, hands settings files on, measures the
// machine once, and runs the saver in the surface asked for.
#include <QtCore/QCoreApplication>
#include <QtGui/QGuiApplication>
#include <QtWidgets/QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config_ui/config_window.h"
#include "host/command_line.h"
#include "host/processor_probe.h"
#include "host/qt/handoff.h"
#include "host/qt/monitors_qt.h"
#include "host/qt/saver_run.h"
#include "settings/config_lifecycle.h"
#include "settings/config_store.h"

namespace {

// What the whole run keeps of the machine: the speed factor the engine scales its work by
// and the render scale chosen once for the first monitor.
double MeasureMachine(quovis::ConfigStore& store) {
    const quovis::ProcessorFacts facts = quovis::ProbeThisMachine();
    const quovis::MonitorTable monitors = quovis::MonitorTableFromScreens();
    if (monitors.count > 0) {
        quovis::EnsureResolutionChoice(store, facts, monitors[0].Width(), monitors[0].Height());
    }
    return quovis::ComputeCpuSpeedFactor(facts);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    quovis::RunRequest request = quovis::ParseCommandLine(args);
    switch (request.mode) {
        case quovis::RunMode::Help:
            std::fputs(quovis::UsageText("quovis").c_str(), stdout);
            return 0;
        case quovis::RunMode::Version:
            std::printf("%s\n", quovis::VersionLine().c_str());
            return 0;
        case quovis::RunMode::Error:
            std::fprintf(stderr, "quovis: %s (quovis --help lists the options)\n",
                         request.error.c_str());
            return quovis::kExitUsageError;
        case quovis::RunMode::Nothing:
            return 0;
        default:
            break;
    }
    std::string settingsFile;
    if (!request.settingsFiles.empty()) {
        // Settings files go to an open configuration window or to another of the maker's
        // programs; a file of ours with no window open is opened by the window started here.
        QCoreApplication core(argc, argv);
        const quovis::HandoffResult handed = quovis::HandOffSettingsFiles(request.settingsFiles);
        if (!handed.message.empty()) std::fprintf(stderr, "quovis: %s\n", handed.message.c_str());
        if (handed.EndsProgram()) return handed.ExitCode();
        settingsFile = handed.fileToOpen;
    }
    if (request.mode == quovis::RunMode::Configuration) {
        QApplication app(argc, argv);
        quovis::ConfigStore& store = quovis::ProcessConfigStore();
        quovis::RegisterInProgramList(store,
                                      QCoreApplication::applicationFilePath().toStdU16String());
        quovis::ConfigWindowRequest window;
        window.machineSpeedFactor = MeasureMachine(store);
        window.settingsFile = settingsFile;
        return quovis::RunConfigWindow(store, window);
    }
    // A window of another program is an X11 window: Qt must speak X11 even under Wayland.
    if (request.surface == quovis::SaverSurface::ForeignWindow) setenv("QT_QPA_PLATFORM", "xcb", 1);
    QGuiApplication app(argc, argv);
    quovis::ConfigStore& store = quovis::ProcessConfigStore();
    quovis::RegisterInProgramList(store, QCoreApplication::applicationFilePath().toStdU16String());

    quovis::SaverRunOptions options;
    options.machineSpeedFactor = MeasureMachine(store);
    options.showFps = request.showFrameRate;
    switch (request.surface) {
        case quovis::SaverSurface::FullScreen:
            options.kind = quovis::SaverWindowKind::FullScreen;
            break;
        case quovis::SaverSurface::Window:
            options.kind = quovis::SaverWindowKind::Window;
            break;
        case quovis::SaverSurface::ForeignWindow:
            options.kind = quovis::SaverWindowKind::Preview;
            options.parentWindow = request.parentWindow;
            options.hostedSaver = request.hostedSaver;
            break;
    }
    if (const char* frames = std::getenv("QUOVIS_MAX_FRAMES"))
        options.maxFrames = std::atoi(frames);
    return quovis::RunSaver(options);
}
