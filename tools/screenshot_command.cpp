// quovis-tool screenshot: writes what the display shows (or one window of it) as PNG, so the
// saver can be looked at and tested under a virtual display.
//
//   screenshot [--window-id N] --out FILE.png
#include <QtGui/QGuiApplication>
#include <QtGui/QPixmap>
#include <QtGui/QScreen>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/commands.h"

namespace quovis::tool {

int ScreenshotCommand(int argc, char** argv) {
    std::string out;
    unsigned long long window = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "quovis-tool screenshot: '%s' needs a value\n", opt.c_str());
            return 2;
        }
        if (opt == "--out") {
            out = argv[++i];
        } else if (opt == "--window-id") {
            char* end = nullptr;
            window = std::strtoull(argv[++i], &end, 0);
            if (end == nullptr || *end != '\0' || window == 0) {
                std::fprintf(stderr, "quovis-tool screenshot: --window-id wants a window number\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: quovis-tool screenshot [--window-id N] --out FILE.png\n");
            return 2;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: quovis-tool screenshot [--window-id N] --out FILE.png\n");
        return 2;
    }
    int qtArgc = 1;
    char name[] = "quovis-tool";
    char* qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "quovis-tool screenshot: no display\n");
        return 1;
    }
    const QPixmap shot = screen->grabWindow(static_cast<WId>(window));
    if (shot.isNull() || !shot.save(QString::fromStdString(out), "PNG")) {
        std::fprintf(stderr, "quovis-tool screenshot: could not capture or write '%s'\n",
                     out.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

}  // namespace quovis::tool
