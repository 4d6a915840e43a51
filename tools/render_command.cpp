// quovis-tool render: steps the engine without a screen and writes what it drew as PNG.
//
//   render --style N [--size WxH] [--frames N] [--seed S] [--bands N] [--every K]
//          --out FILE.png
//   render --contact-sheet [--size WxH] [--frames N] [--seed S] [--bands N] --out FILE.png
//
// --style picks one of the 30 pattern styles with its default parameters and the engine's
// default settings. Frames are stepped as fast as the machine allows with simulated time (60
// frames a second), so a seed gives the same picture on every run; with --bands 1 byte for
// byte. --every K also writes every K-th frame as FILE-00001.png, FILE-00002.png, ...
// --contact-sheet renders all 30 styles into one labelled grid (each cell WxH).
#include <QtGui/QColor>
#include <QtGui/QFont>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QPainter>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "engine/style_table.h"
#include "present/headless_renderer.h"
#include "tools/commands.h"

namespace quovis::tool {

namespace {

constexpr const char* kRenderUsage =
    "usage: quovis-tool render --style N [--size WxH] [--frames N] [--seed S] [--bands N]\n"
    "                          [--every K] --out FILE.png\n"
    "       quovis-tool render --contact-sheet [--size WxH] [--frames N] [--seed S]\n"
    "                          [--bands N] --out FILE.png\n";

struct RenderArgs {
    int style = -1;
    bool contactSheet = false;
    int width = 640;
    int height = 360;
    int frames = 300;
    int32_t seed = 1;
    int bands = 0;
    int every = 0;
    std::string out;
};

int Bad(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool render: %s\n%s", problem.c_str(), kRenderUsage);
    return 2;
}

std::optional<long> ParseInt(const char* text, long lo, long hi) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return std::nullopt;
    return v;
}

// Returns 0 when the arguments are good, else the exit status after a message.
int Parse(int argc, char** argv, RenderArgs& a) {
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--contact-sheet") {
            a.contactSheet = true;
            continue;
        }
        if (i + 1 >= argc) return Bad("'" + opt + "' needs a value");
        const char* value = argv[++i];
        if (opt == "--out") {
            a.out = value;
        } else if (opt == "--size") {
            int w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(value, "%dx%d%c", &w, &h, &extra) != 2 || w < 8 || h < 8 || w > 16384 ||
                h > 16384) {
                return Bad("--size wants WIDTHxHEIGHT, each 8..16384, not '" + std::string(value) +
                           "'");
            }
            a.width = w;
            a.height = h;
        } else {
            struct Bound {
                const char* name;
                int* target;
                long lo, hi;
            };
            const Bound bounds[] = {{"--style", &a.style, 0, 29},
                                    {"--frames", &a.frames, 1, 1000000},
                                    {"--bands", &a.bands, 1, 32},
                                    {"--every", &a.every, 1, 1000000}};
            bool known = false;
            for (const Bound& b : bounds) {
                if (opt != b.name) continue;
                known = true;
                const auto v = ParseInt(value, b.lo, b.hi);
                if (!v) {
                    return Bad(opt + " wants a whole number from " + std::to_string(b.lo) + " to " +
                               std::to_string(b.hi) + ", not '" + value + "'");
                }
                *b.target = static_cast<int>(*v);
            }
            if (opt == "--seed") {
                known = true;
                const auto v = ParseInt(value, -2147483647L, 2147483647L);
                if (!v || *v == 0) return Bad("--seed wants a non-zero whole number");
                a.seed = static_cast<int32_t>(*v);
            }
            if (!known) return Bad("unknown option '" + opt + "'");
        }
    }
    if (a.out.empty()) return Bad("--out FILE.png is required");
    if (a.contactSheet == (a.style >= 0)) return Bad("give either --style N or --contact-sheet");
    if (a.contactSheet && a.every > 0) return Bad("--every does not go with --contact-sheet");
    return 0;
}

QImage ToImage(const Picture& p) {
    QImage image(reinterpret_cast<const uchar*>(p.pixels.data()), p.width, p.height, p.width * 4,
                 QImage::Format_RGB32);
    return image.convertToFormat(QImage::Format_RGB888);
}

bool Save(const QImage& image, const std::string& path) {
    if (image.save(QString::fromStdString(path), "PNG")) return true;
    std::fprintf(stderr, "quovis-tool render: could not write '%s'\n", path.c_str());
    return false;
}

std::string NumberedPath(const std::string& out, int n) {
    const size_t dot = out.rfind('.');
    const std::string stem = dot == std::string::npos ? out : out.substr(0, dot);
    const std::string ext = dot == std::string::npos ? ".png" : out.substr(dot);
    char number[16];
    std::snprintf(number, sizeof(number), "-%05d", n);
    return stem + number + ext;
}

// Prints a progress line now and then when a run takes more than a moment.
class Progress {
  public:
    Progress(const char* what, int total) : m_what(what), m_total(total) {}
    void Update(int done) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::seconds(2)) return;
        m_last = now;
        std::fprintf(stderr, "%s: %d/%d\n", m_what, done, m_total);
        m_shown = true;
    }
    void Done() {
        if (m_shown) std::fprintf(stderr, "%s: %d/%d done\n", m_what, m_total, m_total);
    }

  private:
    const char* m_what;
    int m_total;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};

// Renders one style; returns the last frame, or an empty picture after a message.
Picture RenderStyle(const RenderArgs& a, int style, Progress* progress, int progressBase) {
    RenderOptions options;
    options.width = a.width;
    options.height = a.height;
    options.bands = a.bands;
    options.seed = a.seed;
    EngineSettings settings;
    settings.Style = style;
    HeadlessRenderer renderer(options, settings);
    Picture picture;
    if (!renderer.Ok()) {
        std::fprintf(stderr, "quovis-tool render: %s\n", renderer.Error());
        return picture;
    }
    for (int f = 1; f <= a.frames; ++f) {
        if (!renderer.RenderFrame()) {
            std::fprintf(stderr, "quovis-tool render: the engine stopped producing frames\n");
            return Picture{};
        }
        if (a.every > 0 && f % a.every == 0) {
            Picture frame;
            renderer.Snapshot(&frame);
            if (!Save(ToImage(frame), NumberedPath(a.out, f / a.every))) return Picture{};
        }
        if (progress != nullptr) progress->Update(progressBase + f);
    }
    renderer.Snapshot(&picture);
    return picture;
}

int RenderContactSheet(const RenderArgs& a) {
    constexpr int kColumns = 6;
    const int count = StyleCount();
    const int rows = (count + kColumns - 1) / kColumns;
    constexpr int kLabel = 22;
    QImage sheet(kColumns * a.width, rows * (a.height + kLabel), QImage::Format_RGB888);
    sheet.fill(QColor(24, 24, 24));
    QPainter painter(&sheet);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    painter.setFont(font);
    Progress progress("contact sheet frames", count * a.frames);
    for (int s = 0; s < count; ++s) {
        const Picture picture = RenderStyle(a, s, &progress, s * a.frames);
        if (picture.pixels.empty()) return 1;
        const int x = (s % kColumns) * a.width;
        const int y = (s / kColumns) * (a.height + kLabel);
        painter.drawImage(x, y + kLabel, ToImage(picture));
        const StyleInfo* info = GetStyle(s);
        const QString label = QStringLiteral("%1  %2").arg(s).arg(
            QString::fromUtf16(info->name.data(), static_cast<qsizetype>(info->name.size())));
        painter.setPen(QColor(230, 230, 230));
        painter.drawText(x + 6, y + 16, label);
    }
    painter.end();
    progress.Done();
    return Save(sheet, a.out) ? 0 : 1;
}

}  // namespace

int RenderCommand(int argc, char** argv) {
    RenderArgs args;
    if (const int status = Parse(argc, argv, args); status != 0) return status;
    // Fonts and images need a GUI application object; no display is needed.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char name[] = "quovis-tool";
    char* qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    if (args.contactSheet) return RenderContactSheet(args);
    Progress progress("frames", args.frames);
    const Picture picture = RenderStyle(args, args.style, &progress, 0);
    if (picture.pixels.empty()) return 1;
    progress.Done();
    if (!Save(ToImage(picture), args.out)) return 1;
    std::printf("%s\n", args.out.c_str());
    return 0;
}

}  // namespace quovis::tool
