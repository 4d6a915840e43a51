// quovis-tool slideshow --render: a long evening of the slideshow in simulated time, to find
// out whether it ever goes dull.
//
//   slideshow --render --minutes N [--size WxH] [--seed S] [--bands N] [--fresh]
//
// The real slideshow runs: the stored favorites and selection, the evolutions, the slide
// times of "MinTime".."MaxTime" (section "Messages"), the engine's own slide changes with
// their two-second dimming. Like the saver the run writes the last pattern and its drawing
// to the configuration; --fresh runs on a temporary configuration instead, seeded with the
// built-in favorites as on a first run, and removes it afterwards. Frames are stepped as
// fast as the machine allows at 60 simulated frames a second, by default in one band, so a
// seed gives the same report on every run (except where a favorite is a randomised preset:
// those are drawn from the settings' own clock-seeded generator). --bands N spreads the dots
// over N workers: faster on an idle machine, but the pictures may differ in the last bit.
//
// Every frame's brightness is the mean luma (299 R + 587 G + 114 B) / 1000 of the picture as
// displayed (a white background counts as white), as a percentage of full scale: the luma a
// snapshot's brightness statistics use, measured here because the engine keeps no running
// statistics of its own. Reading the picture costs about 1 % of a frame at 320x180. A frame is
// dull below kDarkPercent or above kBrightPercent. The frames around a slide change do not
// count: the dying phase before it (the engine dims the dots for two seconds) and
// kSettleFrames after it, while the new pattern builds up.
//
// Output, tab-separated, one row per slide as it finishes and a summary at the end:
//   preset  N  TEXT     (the evolved preset slide N shows, as it starts)
//   slide   N  START_S  SECONDS  EVOLUTIONS  MEAN_%  DULL_%  LONGEST_DULL_S  NAME
//   summary minutes|slides|frames|transition_frames|dull_frames|dull_endings  VALUE
//   longest N  START_S  SECONDS  EVOLUTIONS  NAME     (the longest dull stretch, if any)
//   dull    N  START_S  SECONDS  EVOLUTIONS  NAME     (every dull stretch over 2 s)
// dull_endings counts the slides the slideshow ended early because their picture stayed dull
// (DullPictureWatch, as in the saver). Lines starting with '#' describe the run. The last slide row
// is the slide the end of the run cut short. A slide runs its slide time and then dies: the engine
// dims its dots for up to two seconds (less when every dot has died sooner) before it changes the
// slide.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "present/headless_renderer.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/pattern_selection.h"
#include "settings/text_encoding.h"
#include "tools/commands.h"

namespace quovis::tool {

namespace {

constexpr double kFrameRate = 60.0;
constexpr double kDarkPercent = 2.0;
constexpr double kBrightPercent = 95.0;
// Two seconds for the new pattern to spread its first dots.
constexpr int kSettleFrames = 120;
// Stretches longer than this are listed in the summary.
constexpr int kReportedDullFrames = 120;

constexpr const char* kUsage =
    "usage: quovis-tool slideshow --slides N [--seed S]\n"
    "       quovis-tool slideshow --render --minutes N [--size WxH] [--seed S] [--bands N]\n"
    "                                  [--fresh]\n";

int Bad(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool slideshow: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

struct Args {
    long minutes = 0;
    PixelSize size{320, 180};
    int32_t seed = 0;
    int bands = 1;
    bool fresh = false;
};

int Parse(int argc, char** argv, Args& a) {
    bool minutesGiven = false;
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--render") continue;
        if (opt == "--fresh") {
            a.fresh = true;
            continue;
        }
        if (opt == "--slides") {
            return Bad("--slides lists slides without rendering; it does not go with --render");
        }
        if (opt != "--minutes" && opt != "--size" && opt != "--seed" && opt != "--bands") {
            return Bad("unknown option '" + opt + "'");
        }
        if (i + 1 >= argc) return Bad("'" + opt + "' needs a value");
        const char* value = argv[++i];
        if (opt == "--minutes") {
            const std::optional<long> v = ParseWholeNumber(value, 1, 24 * 60);
            if (!v)
                return Bad("--minutes wants a whole number from 1 to 1440, not '" +
                           std::string(value) + "'");
            a.minutes = *v;
            minutesGiven = true;
        } else if (opt == "--bands") {
            const std::optional<long> v = ParseWholeNumber(value, 1, 32);
            if (!v) return Bad("--bands wants a whole number from 1 to 32");
            a.bands = static_cast<int>(*v);
        } else if (opt == "--size") {
            const std::optional<PixelSize> v = ParsePixelSize(value);
            if (!v)
                return Bad("--size wants WIDTHxHEIGHT, each 8..16384, not '" + std::string(value) +
                           "'");
            a.size = *v;
        } else {
            const std::optional<long> v = ParseWholeNumber(value, -2147483647L, 2147483647L);
            if (!v || *v == 0) return Bad("--seed wants a non-zero whole number");
            a.seed = static_cast<int32_t>(*v);
        }
    }
    if (!minutesGiven) return Bad("slideshow --render needs --minutes N");
    return 0;
}

// A configuration of its own in a new temporary folder, removed again at the end.
class TemporaryStore {
  public:
    TemporaryStore() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") +
                              "/quovis-slideshow-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) m_dir = pattern;
    }
    ~TemporaryStore() {
        if (m_dir.empty()) return;
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    TemporaryStore(const TemporaryStore&) = delete;
    TemporaryStore& operator=(const TemporaryStore&) = delete;
    bool Ok() const { return !m_dir.empty(); }
    std::string DatabasePath() const { return m_dir + "/registry.db"; }
    const std::string& Folder() const { return m_dir; }

  private:
    std::string m_dir;
};

// Passes the engine's slide changes on to the slideshow and notes that one happened.
class ChangeNoticingSelector final : public PatternSelector {
  public:
    explicit ChangeNoticingSelector(PatternSelection& selection) : m_selection(selection) {}
    bool SelectNext(CDrawWnd& engine) override {
        m_changed = true;
        return m_selection.SelectNext(engine);
    }
    bool NavigateHistory(CDrawWnd& engine, int direction) override {
        m_changed = true;
        return m_selection.NavigateHistory(engine, direction);
    }
    bool HasHistory(int direction) const override { return m_selection.HasHistory(direction); }
    // True once after each change.
    bool TakeChange() { return std::exchange(m_changed, false); }

  private:
    PatternSelection& m_selection;
    bool m_changed = false;
};

// The displayed picture's mean luma as a percentage of full scale.
std::string Printable(std::u16string_view name) {
    std::string text = Utf16ToUtf8(name);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
    return text;
}

double Seconds(long frames) {
    return static_cast<double>(frames) / kFrameRate;
}

struct DullStretch {
    int slide = 0;
    long start = 0;  // frame
    long frames = 0;
    int evolutions = 0;
    std::string name;
};

// One slide as it runs: its frames, their brightness, its dull stretches.
struct SlideTally {
    int number = 0;
    std::string name;
    int evolutions = 0;
    long start = 0;
    long frames = 0;
    long counted = 0;  // frames outside the transitions
    double brightnessSum = 0.0;
    long dullFrames = 0;
    long runStart = -1;  // the dull stretch going on, -1 when none
    long longest = 0;
};

class Evening {
  public:
    explicit Evening(const PatternSelection& selection) : m_selection(selection) {}

    // `preset`: the evolved preset the slide shows, so that a dull slide can be rendered alone.
    void StartSlide(long frame, const std::u16string& preset) {
        const PatternSelection::Shown& shown = m_selection.LastShown();
        m_slide = SlideTally{};
        m_slide.number = ++m_slides;
        m_slide.name = Printable(shown.name);
        m_slide.evolutions = shown.mutations;
        m_slide.start = frame;
        m_settleUntil = frame + kSettleFrames;
        std::printf("preset\t%d\t%s\n", m_slide.number, Printable(preset).c_str());
    }

    // One frame of the current slide; `transition`: the engine is dimming it away.
    void Frame(long frame, double brightness, bool transition) {
        ++m_slide.frames;
        if (transition || frame < m_settleUntil) {
            ++m_transitionFrames;
            EndRun(frame);
            return;
        }
        ++m_slide.counted;
        m_slide.brightnessSum += brightness;
        if (brightness < kDarkPercent || brightness > kBrightPercent) {
            ++m_slide.dullFrames;
            ++m_dullFrames;
            if (m_slide.runStart < 0) m_slide.runStart = frame;
        } else {
            EndRun(frame);
        }
    }

    void EndSlide(long frame) {
        EndRun(frame);
        const SlideTally& s = m_slide;
        const double mean = s.counted > 0 ? s.brightnessSum / static_cast<double>(s.counted) : 0.0;
        const double dull =
            s.counted > 0 ? 100.0 * static_cast<double>(s.dullFrames) / s.counted : 0.0;
        std::printf("slide\t%d\t%.2f\t%.2f\t%d\t%.2f\t%.1f\t%.2f\t%s\n", s.number, Seconds(s.start),
                    Seconds(s.frames), s.evolutions, mean, dull, Seconds(s.longest),
                    s.name.c_str());
        std::fflush(stdout);
    }

    void PrintSummary(long frames, long dullEndings) const {
        std::printf("summary\tminutes\t%.2f\n", Seconds(frames) / 60.0);
        std::printf("summary\tslides\t%d\n", m_slides);
        std::printf("summary\tframes\t%ld\n", frames);
        std::printf("summary\ttransition_frames\t%ld\n", m_transitionFrames);
        std::printf("summary\tdull_frames\t%ld\n", m_dullFrames);
        std::printf("summary\tdull_endings\t%ld\n", dullEndings);
        if (m_longest.frames > 0) PrintStretch("longest", m_longest);
        for (const DullStretch& d : m_reported) PrintStretch("dull", d);
    }

  private:
    static void PrintStretch(const char* kind, const DullStretch& d) {
        std::printf("%s\t%d\t%.2f\t%.2f\t%d\t%s\n", kind, d.slide, Seconds(d.start),
                    Seconds(d.frames), d.evolutions, d.name.c_str());
    }

    void EndRun(long frame) {
        if (m_slide.runStart < 0) return;
        const long frames = frame - m_slide.runStart;
        const long start = std::exchange(m_slide.runStart, -1);
        m_slide.longest = std::max(m_slide.longest, frames);
        // Only a stretch worth keeping copies the slide's name.
        if (frames <= m_longest.frames && frames <= kReportedDullFrames) return;
        const DullStretch d{m_slide.number, start, frames, m_slide.evolutions, m_slide.name};
        if (frames > m_longest.frames) m_longest = d;
        if (frames > kReportedDullFrames) m_reported.push_back(d);
    }

    const PatternSelection& m_selection;
    SlideTally m_slide;
    int m_slides = 0;
    long m_settleUntil = 0;
    long m_transitionFrames = 0;
    long m_dullFrames = 0;
    DullStretch m_longest;
    std::vector<DullStretch> m_reported;
};

}  // namespace

int SlideshowRenderCommand(int argc, char** argv) {
    Args args;
    if (const int status = Parse(argc, argv, args); status != 0) return status;
    std::optional<TemporaryStore> temporary;
    ConfigStore& store = ProcessConfigStore();
    if (args.fresh) {
        temporary.emplace();
        if (!temporary->Ok()) {
            std::fprintf(stderr, "quovis-tool slideshow: no temporary folder could be made\n");
            return 1;
        }
        store.SetPath(temporary->DatabasePath());
        // The drawings the run writes (the drawing preset's, the last pattern's) stay there too.
        setenv("XDG_DATA_HOME", temporary->Folder().c_str(), 1);
    }
    const bool seeded = SeedFavorites(store, u"");
    if (args.seed == 0) {
        args.seed = static_cast<int32_t>(
            std::chrono::steady_clock::now().time_since_epoch().count() % 2147483646 + 1);
    }
    PatternSelection selection(store);
    selection.ReadSettings(seeded);
    ChangeNoticingSelector selector(selection);
    const int minTime = kMessagesMinTime.Read(store);
    const int maxTime = kMessagesMaxTime.Read(store);

    RenderOptions options;
    options.width = args.size.width;
    options.height = args.size.height;
    options.bands = args.bands;
    options.seed = args.seed;
    options.frameRate = kFrameRate;
    // Set up as the saver sets up its engine, up to the first slide.
    HeadlessRenderer renderer(
        options,
        [&](CDrawWnd& engine) {
            engine.SetSaverMode(true);
            engine.SetSlideshow(selection.SlideshowOn());
            engine.SetSlideTimes(minTime, maxTime);
            engine.SetSlideDuration(minTime, maxTime);
            FrameHooks hooks;
            hooks.selector = &selector;
            engine.SetFrameHooks(hooks);
            return selector.SelectNext(engine);
        },
        "no pattern could be chosen");
    if (!renderer.Ok()) {
        std::fprintf(stderr, "quovis-tool slideshow: %s\n", renderer.Error());
        return 1;
    }
    (void)selector.TakeChange();

    std::printf(
        "# slideshow %s, up to %d evolutions, %d favorites, slides of %d..%d s, %s "
        "configuration\n",
        selection.SlideshowOn() ? "on" : "off", selection.Deviations(), selection.FavoriteCount(),
        minTime, maxTime, args.fresh ? "fresh" : "stored");
    std::printf("# %ld simulated minutes at %dx%d, %.0f frames a second, seed %d, %d band%s\n",
                args.minutes, args.size.width, args.size.height, kFrameRate, args.seed, args.bands,
                args.bands == 1 ? "" : "s");
    std::printf(
        "# dull: mean brightness below %.0f%% or above %.0f%% of full scale; not counted: "
        "the dying phase before a slide change and %d frames after it; the last slide "
        "is cut short by the end of the run\n",
        kDarkPercent, kBrightPercent, kSettleFrames);
    std::printf(
        "# slide\tN\tSTART_S\tSECONDS\tEVOLUTIONS\tMEAN_%%\tDULL_%%\tLONGEST_DULL_S\tNAME\n");
    std::fflush(stdout);

    PresentedDrawWnd& engine = renderer.Engine();
    Evening evening(selection);
    const auto presetText = [&engine] {
        std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
        return engine.PresetText();
    };
    evening.StartSlide(0, presetText());
    Picture picture;  // reused: the same size every frame
    // As in the saver, a slide whose picture stays dull ends early.
    DullPictureWatch watch;
    long dullEndings = 0;
    const long total = static_cast<long>(args.minutes * 60 * kFrameRate);
    for (long frame = 0; frame < total; ++frame) {
        if (!renderer.RenderFrame()) {
            std::fprintf(stderr, "quovis-tool slideshow: the engine stopped producing frames\n");
            return 1;
        }
        if (selector.TakeChange()) {
            evening.EndSlide(frame);
            evening.StartSlide(frame, presetText());
            watch.SlideStarted();
        }
        bool dying = false;
        bool running = false;
        {
            std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
            dying = engine.PatternPhase() == CDrawWnd::kPhaseDying;
            running = engine.PatternPhase() == CDrawWnd::kPhaseRunning;
        }
        renderer.Snapshot(&picture);
        const double brightness = MeanLumaPercent(picture.pixels.data(), picture.pixels.size(), 1);
        evening.Frame(frame, brightness, dying);
        if (!running || !selection.SlideshowOn()) continue;
        if (watch.Look(brightness, 1.0 / kFrameRate)) {
            std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
            engine.RequestSlideChange();
            ++dullEndings;
        }
    }
    evening.EndSlide(total);
    evening.PrintSummary(total, dullEndings);
    return 0;
}

}  // namespace quovis::tool
