// quovis-tool render: steps the engine without a screen and writes what it drew as PNG.
//
//   render (--style N | --preset TEXT | --builtin NAME) [--size WxH] [--frames N] [--seed S]
//          [--bands N] [--every K] [--audio FILE.wav] --out FILE.png
//   render --contact-sheet [--builtin | --preset-file FILE] [--size WxH] [--cell WxH]
//          [--frames N] [--seed S] [--bands N] --out FILE.png
//
// --style picks one of the 30 pattern styles with its default parameters and the engine's
// default settings; --preset applies a preset string and --builtin a built-in preset, with
// its drawing when it has one. Frames are stepped as fast as the machine allows with simulated time
// (60 frames a second), so a seed gives the same picture on every run; with --bands 1 byte for
// byte. --every K also writes every K-th frame as FILE-00001.png, FILE-00002.png, ...
// --audio lets a song steer the pattern as audio sync does: 1,024 frames of the song are
// analysed for every 23.2 ms of picture time, so the pictures follow the music in step; the
// frame count then defaults to the song's length.
// --contact-sheet renders all 30 styles (with --builtin all built-in presets, with
// --preset-file the presets of a file, one per line) into one labelled grid; each cell is
// rendered at --size and shown at --cell (default: the render size). --stats prints each
// picture's brightness, lit share, white share, brightness spread and hue count, and the
// nearest other picture of the sheet with its distance (0..255), so near copies stand out.
// --palette writes the sheet with 256 colours, small enough to keep beside documents.
#include <QtGui/QColor>
#include <QtGui/QFont>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include <fstream>
#include <functional>
#include <vector>

#include "audio/audio_sync.h"
#include "audio/wav_file.h"
#include "engine/style_table.h"
#include "present/headless_renderer.h"
#include "present/picture_stats.h"
#include "settings/builtin_presets.h"
#include "settings/preset_apply.h"
#include "settings/preset_record.h"
#include "settings/text_encoding.h"
#include "tools/commands.h"

namespace quovis::tool {

namespace {

constexpr const char* kRenderUsage =
    "usage: quovis-tool render (--style N | --preset TEXT | --builtin NAME) [--size WxH]\n"
    "                          [--frames N] [--seed S] [--bands N] [--every K]\n"
    "                          [--audio FILE.wav] --out FILE.png\n"
    "       quovis-tool render --contact-sheet [--builtin | --preset-file FILE] [--size WxH]\n"
    "                          [--cell WxH] [--frames N] [--seed S] [--bands N] [--stats]\n"
    "                          [--palette]\n"
    "                          --out FILE.png\n";

struct RenderArgs {
    int style = -1;
    std::string preset;   // UTF-8 preset text
    std::string builtin;  // name of a built-in preset
    bool builtinSheet = false;
    std::string presetFile;
    bool contactSheet = false;
    bool stats = false;
    bool palette = false;  // 256-colour PNG: a quarter of the size, for documents
    int width = 640;
    int height = 360;
    int cellWidth = 0;  // 0 = the render size
    int cellHeight = 0;
    int frames = 300;
    int32_t seed = 1;
    int bands = 0;
    int every = 0;
    bool framesGiven = false;
    std::string audio;  // a WAV file to steer the pattern with
    std::string out;
};

int Bad(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool render: %s\n%s", problem.c_str(), kRenderUsage);
    return 2;
}

// Returns 0 when the arguments are good, else the exit status after a message.
int Parse(int argc, char** argv, RenderArgs& a) {
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--contact-sheet") {
            a.contactSheet = true;
            continue;
        }
        if (opt == "--stats") {
            a.stats = true;
            continue;
        }
        if (opt == "--palette") {
            a.palette = true;
            continue;
        }
        // --builtin names a preset, except on a contact sheet, where it stands alone.
        if (opt == "--builtin" && (i + 1 >= argc || std::strncmp(argv[i + 1], "--", 2) == 0)) {
            a.builtinSheet = true;
            continue;
        }
        if (i + 1 >= argc) return Bad("'" + opt + "' needs a value");
        const char* value = argv[++i];
        if (opt == "--out") {
            a.out = value;
        } else if (opt == "--preset") {
            a.preset = value;
        } else if (opt == "--builtin") {
            a.builtin = value;
        } else if (opt == "--preset-file") {
            a.presetFile = value;
        } else if (opt == "--audio") {
            a.audio = value;
        } else if (opt == "--size" || opt == "--cell") {
            const std::optional<PixelSize> size = ParsePixelSize(value);
            if (!size) {
                return Bad(opt + " wants WIDTHxHEIGHT, each 8..16384, not '" + std::string(value) +
                           "'");
            }
            (opt == "--size" ? a.width : a.cellWidth) = size->width;
            (opt == "--size" ? a.height : a.cellHeight) = size->height;
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
                const auto v = ParseWholeNumber(value, b.lo, b.hi);
                if (!v) {
                    return Bad(opt + " wants a whole number from " + std::to_string(b.lo) + " to " +
                               std::to_string(b.hi) + ", not '" + value + "'");
                }
                *b.target = static_cast<int>(*v);
                if (opt == "--frames") a.framesGiven = true;
            }
            if (opt == "--seed") {
                known = true;
                const auto v = ParseWholeNumber(value, -2147483647L, 2147483647L);
                if (!v || *v == 0) return Bad("--seed wants a non-zero whole number");
                a.seed = static_cast<int32_t>(*v);
            }
            if (!known) return Bad("unknown option '" + opt + "'");
        }
    }
    if (a.out.empty()) return Bad("--out FILE.png is required");
    const int singles = (a.style >= 0) + !a.preset.empty() + !a.builtin.empty();
    if (a.contactSheet) {
        if (singles > 0) return Bad("--style, --preset and --builtin NAME make single pictures");
        if (a.builtinSheet && !a.presetFile.empty()) {
            return Bad("give --builtin or --preset-file for a contact sheet, not both");
        }
        if (a.every > 0) return Bad("--every does not go with --contact-sheet");
        if (!a.audio.empty()) return Bad("--audio does not go with --contact-sheet");
    } else {
        if (a.stats) return Bad("--stats goes with --contact-sheet");
        if (a.builtinSheet) return Bad("--builtin wants a preset name (or --contact-sheet)");
        if (!a.presetFile.empty()) return Bad("--preset-file goes with --contact-sheet");
        if (singles != 1) {
            return Bad("give one of --style N, --preset TEXT, --builtin NAME or --contact-sheet");
        }
    }
    if (a.cellWidth == 0) {
        a.cellWidth = a.width;
        a.cellHeight = a.height;
    }
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

// One picture to render: its label and how the engine is set up for it.
struct RenderJob {
    std::string label;
    std::function<bool(CDrawWnd&)> configure;
    bool inverted = false;  // white background
    const char* failure = "the settings could not be applied";
};

RenderJob StyleJob(int style) {
    const StyleInfo* info = GetStyle(style);
    RenderJob job;
    job.label = std::to_string(style) + "  " + Utf16ToUtf8(info->name);
    job.configure = [style](CDrawWnd& engine) {
        EngineSettings settings;
        settings.Style = style;
        engine.ApplySettings(settings);
        return true;
    };
    return job;
}

// A preset, with its stored drawing when it is a built-in drawing preset.
RenderJob PresetJob(std::u16string text) {
    RenderJob job;
    std::u16string_view rest = text;
    job.label = Utf16ToUtf8(NextPresetToken(rest));
    job.failure = "that text is not a preset (its name is empty or its motion is not -1..200)";
    // A randomised preset is drawn once here, so what is measured is what is shown.
    std::u16string resolved;
    PresetRecord record;
    if (ResolvePresetString(text, resolved) && ReadPresetString(resolved, record)) {
        job.inverted = record.Invert != 0;
        text = std::move(resolved);
    }
    job.configure = [text = std::move(text)](CDrawWnd& engine) {
        if (!ApplyPresetString(engine, text)) return false;
        const std::u16string_view drawing = BuiltinDrawing(engine.PresetName());
        if (!drawing.empty()) engine.LoadStrokeList(drawing);
        return true;
    };
    return job;
}

std::optional<RenderJob> PresetJobFromUtf8(const std::string& text) {
    std::optional<std::u16string> wide = Utf8ToUtf16(text);
    if (!wide) return std::nullopt;
    return PresetJob(std::move(*wide));
}

// Renders one job; returns the last frame, or an empty picture after a message.
Picture RenderJobPicture(const RenderArgs& a, const RenderJob& job, Progress* progress,
                         int progressBase, const StereoSound* song = nullptr) {
    RenderOptions options;
    options.width = a.width;
    options.height = a.height;
    options.bands = a.bands;
    options.seed = a.seed;
    HeadlessRenderer renderer(options, job.configure, job.failure);
    Picture picture;
    if (!renderer.Ok()) {
        std::fprintf(stderr, "quovis-tool render: %s: %s\n", job.label.c_str(), renderer.Error());
        return picture;
    }
    // The song, block by block, in step with the picture's simulated time.
    double pictureMs = 0.0;
    std::unique_ptr<AudioSync> sync;
    if (song != nullptr) {
        AudioSyncSettings settings;
        settings.seed = a.seed;
        sync = std::make_unique<AudioSync>(renderer.Engine(), settings, nullptr, [&pictureMs] {
            return static_cast<uint32_t>(pictureMs);
        });
    }
    constexpr std::size_t kBlock = 1024;
    std::size_t block = 0;
    for (int f = 1; f <= a.frames; ++f) {
        pictureMs = f * 1000.0 / options.frameRate;
        while (sync != nullptr && (block + 1) * kBlock <= song->Frames() &&
               static_cast<double>(block * kBlock) * 1000.0 / kAnalysisRate <= pictureMs) {
            sync->OnBlock(song->samples.data() + 2 * block * kBlock, static_cast<int>(kBlock),
                          static_cast<uint32_t>(pictureMs));
            ++block;
        }
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

int RenderContactSheet(const RenderArgs& a, const std::vector<RenderJob>& jobs) {
    const int count = static_cast<int>(jobs.size());
    const int columns = count > 36 ? 8 : 6;
    const int rows = (count + columns - 1) / columns;
    const int labelHeight = std::max(14, a.cellHeight / 9);
    QImage sheet(columns * a.cellWidth, rows * (a.cellHeight + labelHeight), QImage::Format_RGB888);
    sheet.fill(QColor(24, 24, 24));
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(labelHeight * 2 / 3);
    painter.setFont(font);
    Progress progress("contact sheet frames", count * a.frames);
    std::vector<PictureThumbnail> thumbnails;
    for (int i = 0; i < count; ++i) {
        const RenderJob& job = jobs[static_cast<size_t>(i)];
        const Picture picture = RenderJobPicture(a, job, &progress, i * a.frames);
        if (picture.pixels.empty()) return 1;
        if (a.stats) {
            std::printf("%-28s %s\n", job.label.c_str(),
                        MeasurePicture(picture, job.inverted).Describe().c_str());
            thumbnails.push_back(MakeThumbnail(picture));
        }
        const int x = (i % columns) * a.cellWidth;
        const int y = (i / columns) * (a.cellHeight + labelHeight);
        painter.drawImage(QRect(x, y + labelHeight, a.cellWidth, a.cellHeight), ToImage(picture));
        painter.setPen(QColor(230, 230, 230));
        painter.drawText(QRect(x + 4, y, a.cellWidth - 8, labelHeight),
                         Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(job.label));
    }
    painter.end();
    progress.Done();
    if (a.palette) sheet = sheet.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    // The nearest other picture of each, so near copies stand out.
    for (std::size_t i = 0; a.stats && count > 1 && i < thumbnails.size(); ++i) {
        std::size_t nearest = i == 0 ? 1 : 0;
        double best = 1e9;
        for (std::size_t j = 0; j < thumbnails.size(); ++j) {
            if (j == i) continue;
            const double d = ThumbnailDistance(thumbnails[i], thumbnails[j]);
            if (d < best) {
                best = d;
                nearest = j;
            }
        }
        std::printf("%-28s nearest %-28s distance %.1f\n", jobs[i].label.c_str(),
                    jobs[nearest].label.c_str(), best);
    }
    return Save(sheet, a.out) ? 0 : 1;
}

// The presets of a file, one per line; blank lines and lines starting with '#' are skipped.
bool ReadPresetFile(const std::string& path, std::vector<RenderJob>& jobs) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "quovis-tool render: could not read '%s'\n", path.c_str());
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::optional<RenderJob> job = PresetJobFromUtf8(line);
        if (!job) {
            std::fprintf(stderr, "quovis-tool render: %s:%d is not UTF-8\n", path.c_str(), number);
            return false;
        }
        jobs.push_back(std::move(*job));
    }
    if (jobs.empty()) {
        std::fprintf(stderr, "quovis-tool render: '%s' holds no presets\n", path.c_str());
        return false;
    }
    return true;
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
    std::vector<RenderJob> jobs;
    if (args.contactSheet) {
        if (args.builtinSheet) {
            for (int i = 0; i < kBuiltinPresetCount; ++i) {
                jobs.push_back(PresetJob(std::u16string(BuiltinPreset(i))));
            }
        } else if (!args.presetFile.empty()) {
            if (!ReadPresetFile(args.presetFile, jobs)) return 1;
        } else {
            for (int s = 0; s < StyleCount(); ++s) jobs.push_back(StyleJob(s));
        }
        return RenderContactSheet(args, jobs);
    }
    if (args.style >= 0) {
        jobs.push_back(StyleJob(args.style));
    } else if (!args.builtin.empty()) {
        const std::optional<std::u16string> name = Utf8ToUtf16(args.builtin);
        const int index = name ? FindBuiltinPreset(*name) : -1;
        if (index < 0) {
            std::fprintf(stderr,
                         "quovis-tool render: no built-in preset is called '%s' "
                         "(quovis-tool preset builtin lists them)\n",
                         args.builtin.c_str());
            return 1;
        }
        jobs.push_back(PresetJob(std::u16string(BuiltinPreset(index))));
    } else {
        std::optional<RenderJob> job = PresetJobFromUtf8(args.preset);
        if (!job) return Bad("the --preset text is not valid UTF-8");
        jobs.push_back(std::move(*job));
    }
    StereoSound song;
    if (!args.audio.empty()) {
        std::string error;
        if (!ReadWavFile(args.audio, song, error)) {
            std::fprintf(stderr, "quovis-tool render: %s: %s\n", args.audio.c_str(), error.c_str());
            return 1;
        }
        // As long as the song, unless asked otherwise.
        if (!args.framesGiven) {
            const double seconds = static_cast<double>(song.Frames()) / kAnalysisRate;
            args.frames = std::clamp(static_cast<int>(seconds * 60.0), 1, 1000000);
        }
    }
    Progress progress("frames", args.frames);
    const Picture picture =
        RenderJobPicture(args, jobs.front(), &progress, 0, args.audio.empty() ? nullptr : &song);
    if (picture.pixels.empty()) return 1;
    progress.Done();
    if (!Save(ToImage(picture), args.out)) return 1;
    std::printf("%s\n", args.out.c_str());
    return 0;
}

}  // namespace quovis::tool
