// quovis-run without arguments, beside the real saver, under a display: the configuration
// window ("Quovis") appears, started by a launcher that has long returned. Needs an X display
// and xdotool (the test command runs the display tests under Xvfb); skipped otherwise.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Capture(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
        pclose(pipe);
    }
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// Whether process `pid` was started with `marker` in its environment.
bool HasEnvironment(pid_t pid, const std::string& marker) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    std::string entry;
    while (std::getline(in, entry, '\0')) {
        if (entry == marker) return true;
    }
    return false;
}

TEST(QuovisRunWindow, WithoutArgumentsOpensTheConfigurationWindow) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
    if (Capture("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";

    std::string pattern = (fs::temp_directory_path() / "quovis-run-window-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    fs::create_directories(root / "bin");
    fs::create_directories(root / "profile");
    fs::permissions(root / "profile", fs::perms::owner_all);
    fs::copy_file(QUOVIS_RUN_PATH, root / "bin" / "quovis-run");
    fs::create_symlink(QUOVIS_PROGRAM_PATH, root / "bin" / "quovis");
    const std::string profile = (root / "profile").string();
    const std::string marker = "XDG_CONFIG_HOME=" + profile;

    const pid_t launcher = fork();
    if (launcher == 0) {
        setenv("XDG_CONFIG_HOME", profile.c_str(), 1);
        setenv("XDG_DATA_HOME", profile.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", profile.c_str(), 1);
        setenv("PATH", "/nonexistent", 1);
        const std::string program = (root / "bin" / "quovis-run").string();
        execl(program.c_str(), "quovis-run", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(launcher, &status, 0), launcher);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The window of the saver started for this profile (another "Quovis" may be on screen).
    pid_t saver = 0;
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (saver == 0 && std::chrono::steady_clock::now() < end) {
        for (const std::string& window :
             Lines(Capture("xdotool search --name '^Quovis$' 2>/dev/null"))) {
            const pid_t pid = std::atoi(Capture("xdotool getwindowpid " + window).c_str());
            if (pid > 0 && HasEnvironment(pid, marker)) saver = pid;
        }
        if (saver == 0) std::this_thread::sleep_for(200ms);
    }
    EXPECT_NE(saver, 0) << "no configuration window titled \"Quovis\" appeared";
    if (saver > 0) {
        EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(saver) + "/exe"),
                  fs::canonical(QUOVIS_PROGRAM_PATH));
        kill(saver, SIGTERM);
        for (int i = 0; i < 50 && kill(saver, 0) == 0; ++i) std::this_thread::sleep_for(100ms);
        if (kill(saver, 0) == 0) kill(saver, SIGKILL);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

}  // namespace
