#include "host/command_line.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdlib>

#include "base/version.h"

namespace quovis {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool EndsWithSettingsExtension(std::string_view arg) {
    return arg.size() >= 4 && Lower(arg.substr(arg.size() - 4)) == ".oru";
}

// "/x", "-x" or (for the switches screen-saver hosts also write bare) "x".
bool IsSwitch(std::string_view lower, char letter, bool bareAllowed) {
    if (lower.size() == 1) return bareAllowed && lower[0] == letter;
    return lower.size() == 2 && (lower[0] == '/' || lower[0] == '-') && lower[1] == letter;
}

// The configuration switch of screen savers: "c", "/c", "-c", each optionally with ":N".
bool IsConfigurationSwitch(std::string_view lower) {
    const size_t colon = lower.find(':');
    const std::string_view head = lower.substr(0, colon);
    return IsSwitch(head, 'c', true);
}

// The xscreensaver-style name of an option written with one or two dashes ("--fps" and
// "-fps" give "fps"); empty for anything else.
std::string_view LongOptionName(std::string_view lower) {
    if (lower.size() > 2 && lower.substr(0, 2) == "--") return lower.substr(2);
    if (lower.size() > 1 && lower[0] == '-') return lower.substr(1);
    return {};
}

// Whether an argument is meant as a number (so a switch that takes one should take it),
// as opposed to another switch or a file: an optional sign, then a digit.
bool LooksNumeric(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0;
}

std::optional<int> ParseSlotNumber(std::string_view text) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A window number, 0 included (a preview host may pass 0 to mean "no window").
std::optional<uint64_t> ParseWindowNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value > UINT32_MAX) return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// The parser's running state: the switches seen so far and the first error met.
struct ParseState {
    bool fullScreen = false;
    bool window = false;
    bool previewSwitch = false;
    uint64_t previewWindow = 0;
    int handoffStart = 0;
    bool help = false;
    bool version = false;
    bool showFrameRate = false;
    bool hostedSaver = false;
    std::vector<SettingsFileArgument> settingsFiles;
    std::string error;

    void Fail(std::string message) {
        if (error.empty()) error = std::move(message);
    }
};

class Parser {
  public:
    Parser(const std::vector<std::string>& args, const EnvironmentLookup& environment)
        : m_args(args), m_environment(environment) {}

    ParseState Run() {
        for (m_next = 0; m_next < m_args.size();) {
            const std::string& arg = m_args[m_next++];
            Examine(arg);
        }
        return std::move(m_state);
    }

  private:
    // The next argument when it is meant as a number; it is then consumed.
    std::optional<std::string_view> TakeNumericArgument() {
        if (m_next >= m_args.size() || !LooksNumeric(m_args[m_next])) return std::nullopt;
        return std::string_view(m_args[m_next++]);
    }

    void Examine(const std::string& arg) {
        const std::string lower = Lower(arg);
        if (arg.empty()) {
            // Launcher scripts pass empty words through; they ask for nothing.
        } else if (IsSwitch(lower, 's', false)) {
            m_state.fullScreen = true;
        } else if (IsSwitch(lower, 'i', false)) {
            TakeHandoffStart(arg);
        } else if (IsSwitch(lower, 'p', true)) {
            TakePreviewWindow(arg);
        } else if (IsConfigurationSwitch(lower)) {
            // The owner window's number is not needed, but it must not be read as a stray.
            TakeNumericArgument();
        } else if (EndsWithSettingsExtension(arg)) {
            m_state.settingsFiles.push_back({arg, m_state.handoffStart});
        } else if (!ExamineLongOption(arg, lower)) {
            if (!arg.empty() && arg[0] == '-') {
                m_state.Fail("unknown option " + Quoted(arg));
            } else {
                m_state.Fail("unexpected argument " + Quoted(arg));
            }
        }
    }

    void TakeHandoffStart(const std::string& sw) {
        const std::optional<std::string_view> number = TakeNumericArgument();
        if (!number) {
            m_state.handoffStart = 0;
            return;
        }
        const std::optional<int> slot = ParseSlotNumber(*number);
        if (!slot) {
            m_state.Fail(sw + ": " + Quoted(*number) + " is not a slot number");
            return;
        }
        m_state.handoffStart = *slot;
    }

    void TakePreviewWindow(const std::string& sw) {
        m_state.previewSwitch = true;
        m_state.previewWindow = 0;
        const std::optional<std::string_view> number = TakeNumericArgument();
        if (!number) return;
        const std::optional<uint64_t> id = ParseWindowNumber(*number);
        if (!id) {
            m_state.Fail(sw + ": " + Quoted(*number) + " is not a window number");
            return;
        }
        m_state.previewWindow = *id;
    }

    // The xscreensaver-style options; false when `arg` is none of them.
    bool ExamineLongOption(const std::string& arg, const std::string& lower) {
        std::string_view name = LongOptionName(lower);
        if (name.empty()) return false;
        std::optional<std::string_view> inlineValue;
        if (const size_t equals = name.find('='); equals != std::string_view::npos) {
            inlineValue = std::string_view(arg).substr(arg.size() - (name.size() - equals - 1));
            name = name.substr(0, equals);
        }
        if (name == "window-id") {
            TakeWindowId(inlineValue);
            return true;
        }
        if (inlineValue) return false;  // the others take no value
        if (name == "window") {
            m_state.window = true;
        } else if (name == "root") {
            TakeRootWindow();
        } else if (name == "fps") {
            m_state.showFrameRate = true;
        } else if (name == "help" || name == "h") {
            m_state.help = true;
        } else if (name == "version") {
            m_state.version = true;
        } else {
            return false;
        }
        return true;
    }

    void TakeWindowId(std::optional<std::string_view> inlineValue) {
        std::string_view text;
        if (inlineValue) {
            text = *inlineValue;
        } else if (m_next < m_args.size()) {
            text = m_args[m_next++];
        } else {
            m_state.Fail("--window-id needs a window id (decimal or 0x hexadecimal)");
            return;
        }
        const std::optional<uint64_t> id = ParseWindowId(text);
        if (!id) {
            m_state.Fail("--window-id: " + Quoted(text) + " is not a window id");
            return;
        }
        m_state.previewSwitch = true;
        m_state.previewWindow = *id;
    }

    void TakeRootWindow() {
        const std::optional<std::string> value =
            m_environment ? m_environment(kXScreenSaverWindowVariable) : std::nullopt;
        if (!value || value->empty()) {
            m_state.Fail("--root: " + std::string(kXScreenSaverWindowVariable) +
                         " is not set; use --window or -s outside xscreensaver");
            return;
        }
        const std::optional<uint64_t> id = ParseWindowId(*value);
        if (!id) {
            m_state.Fail("--root: " + std::string(kXScreenSaverWindowVariable) + "=" +
                         Quoted(*value) + " is not a window id");
            return;
        }
        m_state.previewSwitch = true;
        m_state.previewWindow = *id;
        m_state.hostedSaver = true;
    }

    const std::vector<std::string>& m_args;
    const EnvironmentLookup& m_environment;
    size_t m_next = 0;
    ParseState m_state;
};

// In this order: no arguments, no saver switch, a preview without a window, the saver.
RunRequest ChooseMode(ParseState state, bool noArguments) {
    RunRequest request;
    request.showFrameRate = state.showFrameRate;
    request.hostedSaver = state.hostedSaver;
    request.settingsFiles = std::move(state.settingsFiles);
    if (state.help) {
        request.mode = RunMode::Help;
    } else if (state.version) {
        request.mode = RunMode::Version;
    } else if (!state.error.empty()) {
        request.mode = RunMode::Error;
        request.error = std::move(state.error);
    } else if (noArguments) {
        request.mode = RunMode::Configuration;
        request.noArguments = true;
    } else if (!state.fullScreen && !state.window && !state.previewSwitch) {
        request.mode = RunMode::Configuration;
    } else if (!state.fullScreen && !state.window && state.previewWindow == 0) {
        request.mode = RunMode::Nothing;
    } else {
        // A window named after a preview switch wins even over "/s": a host that says both
        // wants the art inside its window.
        request.mode = RunMode::Saver;
        if (state.previewWindow != 0) {
            request.surface = SaverSurface::ForeignWindow;
            request.parentWindow = state.previewWindow;
        } else if (state.window) {
            request.surface = SaverSurface::Window;
        }
    }
    return request;
}

}  // namespace

std::optional<std::string> ProcessEnvironment(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::optional<uint64_t> ParseWindowId(std::string_view text) {
    const std::optional<uint64_t> id = ParseWindowNumber(text);
    if (!id || *id == 0) return std::nullopt;
    return id;
}

RunRequest ParseCommandLine(const std::vector<std::string>& args,
                            const EnvironmentLookup& environment) {
    return ChooseMode(Parser(args, environment).Run(), args.empty());
}

RunRequest ParseCommandLine(const std::vector<std::string>& args) {
    return ParseCommandLine(args, ProcessEnvironment);
}

std::string VersionLine() {
    // The version text is ASCII, so a plain narrowing copy is exact.
    return "Quovis " + std::string(kVersionText.begin(), kVersionText.end());
}

std::string UsageText(std::string_view programName) {
    const std::string name(programName);
    return "Usage: " + name + " [option...] [file.oru...]\n" +
           "Generative light art: a screen saver.\n"
           "\n"
           "With no arguments the configuration window opens.\n"
           "\n"
           "  -s, /s               run the saver full screen; any input ends it\n"
           "  --window             run the saver in an ordinary resizable window\n"
           "  --root               draw into the window named by $XSCREENSAVER_WINDOW\n"
           "  --window-id N        draw into window N (decimal or 0x hexadecimal)\n"
           "  -p N, /p N           preview inside window N; without N nothing is shown\n"
           "  -c, /c               open the configuration window\n"
           "  --fps                show the frame rate all the time\n"
           "  --help               show this text\n"
           "  --version            show the version\n"
           "\n"
           "Inside a window (--root, --window-id, -p) input never ends the saver and the\n"
           "picture follows the window's size. Options also work with a single dash\n"
           "(-window, -root, -window-id, -fps) and in any letter case.\n"
           "\n"
           "A settings file (.oru) opens in the configuration window, or is passed to an\n"
           "open one; a .oru file of another program of the family is passed to that\n"
           "program (-i N: the family slot that passed it here).\n";
}

}  // namespace quovis
