// The launchers as a user meets them: each is copied into a folder of its own with stand-in
// programs beside it or on a PATH the test controls. A stand-in records the arguments it was
// started with, so the test sees exactly what reached it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "quovis-launcher-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& Path() const { return m_path; }

  private:
    fs::path m_path;
};

struct Outcome {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs `program` with `args` and exactly the environment given; waits for it to end.
Outcome Run(const fs::path& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment, const fs::path& outputFile) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0) _exit(126);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<std::string> argStorage = args;
        std::vector<std::string> envStorage = environment;
        std::string name = program.string();
        std::vector<char*> argv{name.data()};
        for (std::string& a : argStorage) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : envStorage) envp.push_back(e.data());
        envp.push_back(nullptr);
        execve(name.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    Outcome outcome;
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.output = ReadFile(outputFile);
    return outcome;
}

// A folder layout for one run: the launcher copied into `bin`, stand-ins where a case puts
// them, a folder the stand-ins record into.
class Layout {
  public:
    explicit Layout(const char* launcher) {
        fs::create_directories(Bin());
        fs::create_directories(OnPath());
        fs::create_directories(Records());
        m_launcher = Bin() / fs::path(launcher).filename();
        fs::copy_file(launcher, m_launcher);
    }

    fs::path Bin() const { return m_root.Path() / "bin"; }
    fs::path OnPath() const { return m_root.Path() / "path"; }
    fs::path Records() const { return m_root.Path() / "records"; }

    // A stand-in called `name` in `folder`: it records its arguments, NUL-terminated each,
    // under its own name in a file of `tag`.
    void AddStandIn(const fs::path& folder, const std::string& name, const std::string& tag,
                    bool executable = true) {
        const fs::path file = folder / name;
        std::ofstream script(file);
        script << "#!/bin/sh\n"
                  "out=\"$QUOVIS_RECORDS/"
               << tag
               << "\"\n"
                  "for a in \"$@\"; do printf '%s\\000' \"$a\"; done > \"$out.part\"\n"
                  "/bin/mv \"$out.part\" \"$out\"\n";
        script.close();
        fs::permissions(file, executable ? fs::perms::owner_all | fs::perms::group_read
                                         : fs::perms::owner_read | fs::perms::owner_write);
    }

    Outcome Launch(const std::vector<std::string>& args, bool pathSet = true) {
        std::vector<std::string> environment = {"QUOVIS_RECORDS=" + Records().string()};
        if (pathSet) environment.push_back("PATH=" + OnPath().string());
        return Run(m_launcher, args, environment, m_root.Path() / "output.txt");
    }

    // The arguments a stand-in recorded under `tag`, once it has (waits a while), or
    // nullopt.
    std::optional<std::vector<std::string>> Recorded(const std::string& tag,
                                                     std::chrono::milliseconds limit = 10s) {
        const fs::path file = Records() / tag;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!fs::exists(file)) {
            if (std::chrono::steady_clock::now() > end) return std::nullopt;
            std::this_thread::sleep_for(10ms);
        }
        std::vector<std::string> args;
        const std::string text = ReadFile(file);
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\0') {
                args.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        }
        return args;
    }

    // The tags that stand-ins recorded under.
    std::vector<std::string> RecordedTags() const {
        std::vector<std::string> tags;
        for (const auto& entry : fs::directory_iterator(Records())) {
            tags.push_back(entry.path().filename().string());
        }
        return tags;
    }

  private:
    TempFolder m_root;
    fs::path m_launcher;
};

// ---- quovis-run ----------------------------------------------------------------------

struct PassThroughCase {
    const char* name;
    std::vector<std::string> args;
};

TEST(QuovisRun, PassesEveryArgumentThroughUnchanged) {
    const std::vector<PassThroughCase> cases = {
        {"no arguments (the configuration window)", {}},
        {"full screen", {"/s"}},
        {"preview with a window number", {"/p", "123"}},
        {"blanks and quotes",
         {"two words", "it's", "\"double\"", "a \"b\" 'c'", " lead", "trail "}},
        {"empty words", {"", "/s", ""}},
        {"what a shell would expand", {"$HOME", "*", "~", "a;b", "`x`", "\\n", "|"}},
        {"a settings file with a blank", {"/home/me/My Patterns/Q-0001.oru"}},
        {"longer than the old 511-character line", {std::string(2000, 'x'), "/s"}},
        {"non-ASCII", {"Größe", "\xe2\x98\x85"}},
    };
    for (const PassThroughCase& c : cases) {
        SCOPED_TRACE(c.name);
        Layout layout(QUOVIS_RUN_PATH);
        layout.AddStandIn(layout.Bin(), "quovis", "quovis");
        const Outcome outcome = layout.Launch(c.args);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.output, "");
        const auto recorded = layout.Recorded("quovis");
        ASSERT_TRUE(recorded.has_value()) << "quovis was not started";
        EXPECT_EQ(*recorded, c.args);
    }
}

TEST(QuovisRun, PrefersTheSaverBesideItThenPath) {
    {
        SCOPED_TRACE("one beside it and one on PATH");
        Layout layout(QUOVIS_RUN_PATH);
        layout.AddStandIn(layout.Bin(), "quovis", "beside");
        layout.AddStandIn(layout.OnPath(), "quovis", "on-path");
        EXPECT_EQ(layout.Launch({"/s"}).exitCode, 0);
        EXPECT_TRUE(layout.Recorded("beside").has_value());
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(layout.RecordedTags(), std::vector<std::string>{"beside"});
    }
    {
        SCOPED_TRACE("only on PATH");
        Layout layout(QUOVIS_RUN_PATH);
        layout.AddStandIn(layout.OnPath(), "quovis", "on-path");
        EXPECT_EQ(layout.Launch({"/s"}).exitCode, 0);
        const auto recorded = layout.Recorded("on-path");
        ASSERT_TRUE(recorded.has_value());
        EXPECT_EQ(*recorded, std::vector<std::string>{"/s"});
    }
    {
        SCOPED_TRACE("the one beside it cannot be run");
        Layout layout(QUOVIS_RUN_PATH);
        layout.AddStandIn(layout.Bin(), "quovis", "beside", /*executable=*/false);
        layout.AddStandIn(layout.OnPath(), "quovis", "on-path");
        EXPECT_EQ(layout.Launch({}).exitCode, 0);
        EXPECT_TRUE(layout.Recorded("on-path").has_value());
    }
}

TEST(QuovisRun, WithoutASaverAnywhereExitsZeroSilently) {
    for (const bool pathSet : {true, false}) {
        SCOPED_TRACE(pathSet ? "PATH names an empty folder" : "no PATH at all");
        Layout layout(QUOVIS_RUN_PATH);
        const Outcome outcome = layout.Launch({"/s", "x y"}, pathSet);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.output, "");
    }
}

TEST(QuovisRun, HelpIsItsOwnAndStartsNothing) {
    Layout layout(QUOVIS_RUN_PATH);
    layout.AddStandIn(layout.Bin(), "quovis", "quovis");
    const Outcome outcome = layout.Launch({"--help"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.output.find("Usage: quovis-run"), std::string::npos) << outcome.output;
    EXPECT_FALSE(layout.Recorded("quovis", 300ms).has_value());
    // With further arguments --help is the saver's business and goes through.
    const Outcome passed = layout.Launch({"--help", "/s"});
    EXPECT_EQ(passed.output, "");
    const auto recorded = layout.Recorded("quovis");
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(*recorded, (std::vector<std::string>{"--help", "/s"}));
}

// ---- quovis-settings -----------------------------------------------------------------

struct SettingsCase {
    const char* name;
    std::vector<std::string> installed;  // stand-ins on PATH
    std::vector<std::string> beside;     // stand-ins beside the launcher
    const char* expected;                // the one started, nullptr for none
};

TEST(QuovisSettings, OpensTheFirstSettingsProgramThatIsThere) {
    const std::vector<SettingsCase> cases = {
        {"all three",
         {"xscreensaver-settings", "xscreensaver-demo", "quovis"},
         {},
         "xscreensaver-settings"},
        {"older xscreensaver", {"xscreensaver-demo", "quovis"}, {}, "xscreensaver-demo"},
        {"no xscreensaver", {"quovis"}, {}, "quovis"},
        {"the saver beside it", {}, {"quovis"}, "quovis"},
        {"xscreensaver on PATH wins over the saver beside it",
         {"xscreensaver-settings"},
         {"quovis"},
         "xscreensaver-settings"},
        {"nothing at all", {}, {}, nullptr},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        Layout layout(QUOVIS_SETTINGS_PATH);
        for (const std::string& name : c.installed) layout.AddStandIn(layout.OnPath(), name, name);
        for (const std::string& name : c.beside) layout.AddStandIn(layout.Bin(), name, name);
        // Arguments are not the settings program's business.
        const Outcome outcome = layout.Launch({"/s", "two words"});
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.output, "");
        if (c.expected == nullptr) {
            std::this_thread::sleep_for(200ms);
            EXPECT_TRUE(layout.RecordedTags().empty());
            continue;
        }
        const auto recorded = layout.Recorded(c.expected);
        ASSERT_TRUE(recorded.has_value()) << c.expected << " was not started";
        EXPECT_TRUE(recorded->empty());
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(layout.RecordedTags(), std::vector<std::string>{c.expected});
    }
}

TEST(QuovisSettings, HelpPrintsAndStartsNothing) {
    Layout layout(QUOVIS_SETTINGS_PATH);
    layout.AddStandIn(layout.OnPath(), "quovis", "quovis");
    const Outcome outcome = layout.Launch({"--help"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.output.find("Usage: quovis-settings"), std::string::npos);
    EXPECT_FALSE(layout.Recorded("quovis", 300ms).has_value());
}

}  // namespace
