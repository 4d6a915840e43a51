// The capture against a real PulseAudio server that each test starts for itself, in a
// temporary folder of its own, with two null outputs ("out" and "mic") whose monitors stand for
// what the user hears, and a null source ("line") that stands for a microphone. Skipped where
// pulseaudio is not installed; every wait has a deadline.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../settings/config_test_support.h"
#include "audio/pulse_capture.h"

extern char** environ;

namespace quovis {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using testing::ScopedEnv;

// ============================================================================================
// Processes, files and the environment
// ============================================================================================

std::optional<std::string> FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

// Starts a program with its output appended to `log`; -1 when it cannot be started.
pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for a child to end; its exit status, or nullopt when it is still running at the deadline.
std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (Clock::now() > deadline) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

// Ends a child: politely, then not.
void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!WaitFor(pid, 3s)) {
        kill(pid, SIGKILL);
        WaitFor(pid, 3s);
    }
}

// Runs a program to its end (at most 10 s); true when it exited with 0.
bool RunToEnd(const std::vector<std::string>& args, const std::string& log) {
    const pid_t pid = Spawn(args, log);
    if (pid < 0) return false;
    const std::optional<int> status = WaitFor(pid, 10s);
    if (!status) Stop(pid);
    return status == 0;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "quovis-capture-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

// Four seconds of a 1 kHz tone, 16-bit stereo at 44100 Hz, as a WAV file.
void WriteToneWav(const std::string& path) {
    const uint32_t frames = 4 * kCaptureSampleRate;
    const uint32_t dataBytes = frames * 4;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&out](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);  // PCM
    u16(2);
    u32(kCaptureSampleRate);
    u32(kCaptureSampleRate * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const auto sample = static_cast<uint16_t>(static_cast<int16_t>(std::lround(
            10000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * frame / kCaptureSampleRate))));
        u16(sample);
        u16(sample);
    }
}

// The threads of this process with the capture thread's name.
int CaptureThreads() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            const std::string name =
                ReadFile(std::string("/proc/self/task/") + entry->d_name + "/comm");
            if (name == "quovis capture\n") ++count;
        }
        closedir(tasks);
    }
    return count;
}

// A joined thread can still be listed under /proc for a moment while the kernel tears it down,
// so a thread that is gone is one that leaves the list soon, not at once.
bool NoCaptureThreadLeft() {
    return WaitUntil([] { return CaptureThreads() == 0; }, std::chrono::milliseconds(1000));
}

// ============================================================================================
// What the consumer heard
// ============================================================================================

// Counts blocks, blocks of the wrong size and loud blocks (a tone of amplitude 10000 has a
// level of about 7000; silence 0). Allocates nothing: it runs on the capture thread per block.
struct Listener {
    std::atomic<int> blocks{0};
    std::atomic<int> wrongSize{0};
    std::atomic<int> loud{0};
    std::atomic<bool> onOtherThread{true};
    std::thread::id testThread = std::this_thread::get_id();

    AudioConsumer Consumer() {
        return [this](const int16_t* frames, int count) {
            if (count != kCaptureBlockFrames) ++wrongSize;
            if (std::this_thread::get_id() == testThread) onOtherThread = false;
            double sum = 0.0;
            for (int i = 0; i < 2 * count; ++i) sum += static_cast<double>(frames[i]) * frames[i];
            if (count > 0 && std::sqrt(sum / (2.0 * count)) > 2000.0) ++loud;
            ++blocks;
        };
    }
    // Waits for `more` blocks beyond what has been heard so far.
    bool HearMore(int more) {
        const int target = blocks + more;
        return WaitUntil([&] { return blocks >= target; }, 5s);
    }
};

// ============================================================================================
// Tests against a private server
// ============================================================================================

class PulseCaptureServerTest : public ::testing::Test {
  protected:
    // The modules the server starts with besides its socket.
    virtual std::vector<std::string> Modules() const {
        return {"module-null-sink sink_name=out", "module-null-sink sink_name=mic",
                "module-null-source source_name=line"};
    }

    void SetUp() override {
        for (const char* program : {"pulseaudio", "pactl", "paplay"}) {
            if (!FindProgram(program)) GTEST_SKIP() << program << " is not installed";
        }
        m_dir = MakeTempDir();
        ASSERT_FALSE(m_dir.empty());
        fs::create_directories(m_dir + "/home");
        fs::create_directories(m_dir + "/run");
        fs::permissions(m_dir + "/run", fs::perms::owner_all);
        m_log = m_dir + "/pulse.log";
        m_env.emplace_back(std::make_unique<ScopedEnv>("HOME", m_dir + "/home"));
        m_env.emplace_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_dir + "/home"));
        m_env.emplace_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", m_dir + "/run"));
        m_env.emplace_back(
            std::make_unique<ScopedEnv>("PULSE_SERVER", "unix:" + m_dir + "/run/pulse/native"));
        // Root may run it (it warns); -n leaves out the default script: only these modules.
        std::vector<std::string> args = {"pulseaudio",
                                         "--daemonize=no",
                                         "--exit-idle-time=-1",
                                         "-n",
                                         "--use-pid-file=no",
                                         "--log-target=stderr",
                                         "--load=module-native-protocol-unix auth-anonymous=1"};
        for (const std::string& module : Modules()) args.push_back("--load=" + module);
        m_server = Spawn(args, m_log);
        ASSERT_GT(m_server, 0) << "cannot start pulseaudio";
        ASSERT_TRUE(WaitUntil(
            [&] {
                return RunToEnd({"pactl", "info"}, m_log);
            },
            10s))
            << "the server did not come up:\n"
            << ReadFile(m_log);
        if (Modules().empty()) return;
        ASSERT_TRUE(Pactl({"set-default-sink", "out"}));
        // The default recording source hears nothing: the capture must not take it.
        ASSERT_TRUE(Pactl({"set-default-source", "mic.monitor"}));
        m_tone = m_dir + "/tone.wav";
        WriteToneWav(m_tone);
    }

    void TearDown() override {
        StopTone();
        Stop(m_server);
        m_env.clear();
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    bool Pactl(std::vector<std::string> args) {
        args.insert(args.begin(), "pactl");
        return RunToEnd(args, m_log);
    }
    void PlayTone(const std::string& sink) {
        StopTone();
        m_player = Spawn({"paplay", "--device=" + sink, m_tone}, m_log);
        ASSERT_GT(m_player, 0);
    }
    void StopTone() {
        Stop(m_player);
        m_player = -1;
    }
    // Waits for `count` loud blocks beyond what was heard so far.
    bool HearsTone(Listener& listener, int count = 10) {
        const int target = listener.loud + count;
        return WaitUntil([&] { return listener.loud >= target; }, 5s);
    }

    std::string m_dir;
    std::string m_log;
    std::string m_tone;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
    pid_t m_server = -1;
    pid_t m_player = -1;
};

TEST_F(PulseCaptureServerTest, HearsTheDefaultOutputAndFollowsItWhenItChanges) {
    Listener listener;
    PulseCapture capture;
    ASSERT_TRUE(capture.Open(listener.Consumer(), "")) << capture.LastError();
    EXPECT_EQ(capture.LastError(), "");
    EXPECT_EQ(capture.CurrentSource(), "out.monitor");
    EXPECT_TRUE(capture.QueueBuffers(2));
    EXPECT_TRUE(capture.Start());

    // Silence first: blocks arrive, none of them loud.
    ASSERT_TRUE(listener.HearMore(20));
    EXPECT_EQ(listener.loud, 0);

    PlayTone("out");
    EXPECT_TRUE(HearsTone(listener)) << ReadFile(m_log);
    StopTone();

    // The user switches the output: the capture moves to its monitor, and hears what is
    // played there, not what is played on the old one.
    ASSERT_TRUE(Pactl({"set-default-sink", "mic"}));
    EXPECT_TRUE(WaitUntil([&] { return capture.CurrentSource() == "mic.monitor"; }, 5s))
        << capture.CurrentSource();
    ASSERT_TRUE(listener.HearMore(10));
    PlayTone("mic");
    EXPECT_TRUE(HearsTone(listener)) << ReadFile(m_log);
    StopTone();

    // And back.
    ASSERT_TRUE(Pactl({"set-default-sink", "out"}));
    EXPECT_TRUE(WaitUntil([&] { return capture.CurrentSource() == "out.monitor"; }, 5s))
        << capture.CurrentSource();

    EXPECT_TRUE(capture.Close());
    EXPECT_EQ(listener.wrongSize, 0);
    EXPECT_TRUE(listener.onOtherThread);
}

TEST_F(PulseCaptureServerTest, AChosenSourceIsKeptWhateverTheDefaultOutput) {
    Listener listener;
    PulseCapture capture;
    ASSERT_TRUE(capture.Open(listener.Consumer(), "mic.monitor")) << capture.LastError();
    EXPECT_EQ(capture.CurrentSource(), "mic.monitor");
    ASSERT_TRUE(capture.QueueBuffers(2));
    ASSERT_TRUE(capture.Start());

    // The default output carries the tone; the chosen source does not.
    PlayTone("out");
    ASSERT_TRUE(listener.HearMore(40));
    EXPECT_EQ(listener.loud, 0);
    StopTone();

    // A server event (the default output changes) does not move a chosen source.
    ASSERT_TRUE(Pactl({"set-default-sink", "mic"}));
    ASSERT_TRUE(Pactl({"set-default-sink", "out"}));
    ASSERT_TRUE(listener.HearMore(10));
    EXPECT_EQ(capture.CurrentSource(), "mic.monitor");
    PlayTone("mic");
    EXPECT_TRUE(HearsTone(listener)) << ReadFile(m_log);
    capture.Close();
    EXPECT_EQ(listener.wrongSize, 0);
}

TEST_F(PulseCaptureServerTest, IsMovedBackWhenTheServerPutsItOnAMicrophone) {
    Listener listener;
    PulseCapture capture;
    ASSERT_TRUE(capture.Open(listener.Consumer(), "")) << capture.LastError();
    ASSERT_TRUE(capture.Start());
    ASSERT_EQ(capture.CurrentSource(), "out.monitor");

    // What the server does when the recorded source goes away: it moves the stream to its
    // default source, which may be a headset's microphone. Done here from outside.
    ASSERT_TRUE(Pactl({"set-default-source", "line"}));
    const std::string listing = m_dir + "/outputs.txt";
    ASSERT_TRUE(RunToEnd({"pactl", "list", "short", "source-outputs"}, listing));
    const std::string index = ReadFile(listing).substr(0, ReadFile(listing).find('\t'));
    ASSERT_FALSE(index.empty());
    ASSERT_TRUE(Pactl({"move-source-output", index, "line"}));

    EXPECT_TRUE(WaitUntil([&] { return capture.CurrentSource() == "out.monitor"; }, 5s))
        << capture.CurrentSource();
    ASSERT_TRUE(listener.HearMore(10));
    PlayTone("out");
    EXPECT_TRUE(HearsTone(listener)) << ReadFile(m_log);
}

TEST_F(PulseCaptureServerTest, AChosenMicrophoneIsUsed) {
    Listener listener;
    PulseCapture capture;
    ASSERT_TRUE(capture.Open(listener.Consumer(), "line")) << capture.LastError();
    EXPECT_EQ(capture.CurrentSource(), "line");
    ASSERT_TRUE(capture.Start());
    // The null source gives silence, whatever plays on the default output.
    PlayTone("out");
    ASSERT_TRUE(listener.HearMore(40));
    EXPECT_EQ(listener.loud, 0);
    EXPECT_EQ(capture.CurrentSource(), "line");
}

TEST_F(PulseCaptureServerTest, AnUnknownSourceFailsOpenWithItsName) {
    Listener listener;
    PulseCapture capture;
    EXPECT_FALSE(capture.Open(listener.Consumer(), "line_in"));
    EXPECT_EQ(capture.LastError(), "no recording source is called \"line_in\"");
    EXPECT_FALSE(capture.QueueBuffers(2));
    EXPECT_FALSE(capture.Start());
    EXPECT_EQ(capture.CurrentSource(), "");
    // The same object opens fine afterwards.
    ASSERT_TRUE(capture.Open(listener.Consumer(), "")) << capture.LastError();
    EXPECT_EQ(capture.LastError(), "");
}

TEST_F(PulseCaptureServerTest, CloseWhileRecordingEndsTheThreadAndTheDelivery) {
    Listener listener;
    PulseCapture capture;
    ASSERT_TRUE(capture.Open(listener.Consumer(), "")) << capture.LastError();
    ASSERT_TRUE(capture.QueueBuffers(2));
    ASSERT_TRUE(capture.Start());
    PlayTone("out");
    ASSERT_TRUE(HearsTone(listener, 3));
    EXPECT_EQ(CaptureThreads(), 1);

    const auto before = Clock::now();
    EXPECT_TRUE(capture.Close());
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
    std::cout << "Close took " << took.count() << " ms\n";
    // A guard against waiting on the server, not a measure of speed (about 80 ms is the aim).
    EXPECT_LT(took, 1000ms);
    EXPECT_TRUE(NoCaptureThreadLeft());

    const int heard = listener.blocks;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(listener.blocks, heard) << "blocks delivered after Close";
    EXPECT_TRUE(capture.Close());
    EXPECT_FALSE(capture.Start());
}

TEST_F(PulseCaptureServerTest, NothingIsDeliveredBeforeStart) {
    Listener listener;
    PulseCapture capture;
    ASSERT_TRUE(capture.Open(listener.Consumer(), "")) << capture.LastError();
    ASSERT_TRUE(capture.QueueBuffers(2));
    PlayTone("out");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(listener.blocks, 0);
    ASSERT_TRUE(capture.Start());
    EXPECT_TRUE(HearsTone(listener));
}

TEST_F(PulseCaptureServerTest, WhenTheServerGoesAwayDeliveryStopsWithAReason) {
    Listener listener;
    PulseCapture capture;
    ASSERT_TRUE(capture.Open(listener.Consumer(), "")) << capture.LastError();
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(listener.HearMore(5));
    Stop(m_server);
    m_server = -1;
    EXPECT_TRUE(WaitUntil([&] { return !capture.LastError().empty(); }, 5s));
    EXPECT_EQ(capture.LastError().rfind("the sound server went away: ", 0), 0u)
        << capture.LastError();
    EXPECT_TRUE(capture.Close());
    EXPECT_TRUE(NoCaptureThreadLeft());
}

// A server with nothing to record from: no output, no input.
class PulseCaptureEmptyServerTest : public PulseCaptureServerTest {
  protected:
    std::vector<std::string> Modules() const override { return {}; }
};

TEST_F(PulseCaptureEmptyServerTest, OpenFailsWithAReason) {
    Listener listener;
    PulseCapture capture;
    EXPECT_FALSE(capture.Open(listener.Consumer(), ""));
    EXPECT_EQ(capture.LastError().rfind("the sound server would not record from "
                                        "\"@DEFAULT_MONITOR@\": ",
                                        0),
              0u)
        << capture.LastError();
    EXPECT_TRUE(NoCaptureThreadLeft());
    EXPECT_FALSE(capture.Open(listener.Consumer(), "line"));
    EXPECT_EQ(capture.LastError(), "no recording source is called \"line\"");
}

// ============================================================================================
// Without a server
// ============================================================================================

TEST(PulseCapture, WithoutAServerOpenFailsWithAReason) {
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    {
        ScopedEnv server("PULSE_SERVER", "unix:" + dir + "/no-server-here");
        Listener listener;
        PulseCapture capture;
        EXPECT_FALSE(capture.Open(listener.Consumer(), ""));
        // Refused at once, not given up on after the time-out.
        EXPECT_EQ(capture.LastError().rfind("cannot reach the sound server: ", 0), 0u)
            << capture.LastError();
        EXPECT_FALSE(capture.Start());
        EXPECT_TRUE(capture.Close());
        EXPECT_EQ(listener.blocks, 0);
    }
    fs::remove_all(dir);
}

TEST(PulseCapture, UnopenedRefusesToQueueAndStartAndClosesQuietly) {
    PulseCapture capture;
    EXPECT_FALSE(capture.QueueBuffers(2));
    EXPECT_FALSE(capture.Start());
    EXPECT_TRUE(capture.Close());
    EXPECT_EQ(capture.LastError(), "");
    EXPECT_EQ(capture.CurrentSource(), "");
}

}  // namespace
}  // namespace quovis
