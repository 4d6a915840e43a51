// The saver program under a display: it shows moving colour in a window of its own, through
// both outputs, inside a window it did not create, and as a full-screen saver it ends on a
// key or a real pointer move but not on a jitter, and F12 leaves a picture with its settings.
//
// Needs an X display (the test command runs these tests under Xvfb); without one the tests
// are skipped.
#include <QtGui/qguiapplication_platform.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QKeyEvent>
#include <QtGui/QPainter>
#include <QtGui/QPixmap>
#include <QtGui/QRasterWindow>
#include <QtGui/QScreen>
#include <QtGui/QWindow>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/preset_record.h"
#include "settings/settings_file.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

using namespace std::chrono_literals;

QGuiApplication* App() {
    static int argc = 1;
    static char name[] = "saver_program_test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        return new QGuiApplication(argc, argv);
    }();
    return app;
}

bool HaveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}

// A running quovis process with its own profile.
class Saver {
  public:
    // `environment`: further NAME=VALUE settings for the saver's process.
    Saver(const testing::TempDir& profile, std::vector<std::string> args,
          const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        m_pid = fork();
        if (m_pid == 0) {
            for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
            setenv("XDG_CONFIG_HOME", profile.Path().c_str(), 1);
            setenv("XDG_DATA_HOME", profile.Path().c_str(), 1);
            setenv("XDG_RUNTIME_DIR", profile.Path().c_str(), 1);
            if (!freopen((profile / "stderr.txt").c_str(), "w", stderr)) _exit(126);
            std::vector<char*> argv;
            std::string program = QUOVIS_PROGRAM_PATH;
            argv.push_back(program.data());
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Saver() {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    // True once the process ended (waits up to `limit`).
    bool Exited(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!m_exited) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                m_status = status;
                break;
            }
            if (std::chrono::steady_clock::now() > end) break;
            std::this_thread::sleep_for(20ms);
        }
        return m_exited;
    }
    int Status() const { return m_status; }
    pid_t Pid() const { return m_pid; }

  private:
    pid_t m_pid = -1;
    bool m_exited = false;
    int m_status = 0;
};

QImage Grab(WId window = 0) {
    App()->processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(window).toImage().convertToFormat(
        QImage::Format_RGB32);
}

double MeanBrightness(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) sum += qGray(image.pixel(x, y));
    }
    return sum / ((image.height() / 4 + 1) * (image.width() / 4 + 1));
}

// Waits until the grabbed picture is lit, then returns two pictures half a second apart.
bool TwoLitPictures(WId window, QImage& first, QImage& second) {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < end) {
        first = Grab(window);
        if (MeanBrightness(first) > 3.0) {
            std::this_thread::sleep_for(500ms);
            second = Grab(window);
            return true;
        }
        std::this_thread::sleep_for(200ms);
    }
    return false;
}

xcb_connection_t* Connection() {
    return App()->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// The keycode the server maps to a key symbol.
xcb_keycode_t KeycodeOf(uint32_t keysym) {
    xcb_connection_t* c = Connection();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    if (map == nullptr) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t found = 0;
    for (int k = 0; k < count && found == 0; ++k) {
        for (int j = 0; j < map->keysyms_per_keycode; ++j) {
            if (syms[k * map->keysyms_per_keycode + j] == keysym) {
                found = static_cast<xcb_keycode_t>(setup->min_keycode + k);
                break;
            }
        }
    }
    free(map);
    return found;
}

// The window titled "Quovis" below `parent`, or 0. A window manager puts top-level windows
// into frames of its own, so the search goes a few levels down.
xcb_window_t FindTitled(xcb_window_t parent, int depth) {
    xcb_connection_t* c = Connection();
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr);
    if (tree == nullptr) return 0;
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && found == 0; ++i) {
        xcb_get_property_reply_t* name = xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 64),
            nullptr);
        if (name != nullptr) {
            const std::string title(static_cast<const char*>(xcb_get_property_value(name)),
                                    xcb_get_property_value_length(name));
            if (title == "Quovis") found = children[i];
            free(name);
        }
        if (found == 0 && depth > 1) found = FindTitled(children[i], depth - 1);
    }
    free(tree);
    return found;
}

xcb_window_t FindSaverWindow() {
    xcb_connection_t* c = Connection();
    return FindTitled(xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 3);
}

xcb_window_t WaitForSaverWindow() {
    for (int i = 0; i < 300; ++i) {
        if (xcb_window_t w = FindSaverWindow()) return w;
        std::this_thread::sleep_for(50ms);
    }
    return 0;
}

void SendKey(xcb_window_t window, uint32_t keysym) {
    xcb_connection_t* c = Connection();
    for (uint8_t type : {uint8_t{XCB_KEY_PRESS}, uint8_t{XCB_KEY_RELEASE}}) {
        xcb_key_press_event_t e{};
        e.response_type = type;
        e.detail = KeycodeOf(keysym);
        e.root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        e.event = window;
        e.child = XCB_NONE;
        e.same_screen = 1;
        e.time = XCB_CURRENT_TIME;
        xcb_send_event(c, 1, window, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE,
                       reinterpret_cast<const char*>(&e));
    }
    xcb_flush(c);
}

void WarpPointer(int x, int y) {
    xcb_connection_t* c = Connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_warp_pointer(c, XCB_NONE, root, 0, 0, 0, 0, static_cast<int16_t>(x),
                     static_cast<int16_t>(y));
    xcb_flush(c);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits for the line the saver prints with --fps about what it draws, and returns it.
std::string DrawingLine(const testing::TempDir& profile) {
    for (int i = 0; i < 200; ++i) {
        const std::string err = ReadAll(profile / "stderr.txt");
        const std::size_t at = err.find("quovis: drawing ");
        if (at != std::string::npos && err.find('\n', at) != std::string::npos) {
            return err.substr(at, err.find('\n', at) - at);
        }
        std::this_thread::sleep_for(50ms);
    }
    return "(no drawing line)";
}

// Presses and releases a key through the X server's test extension, as a real keyboard
// would: the key goes wherever the server sends keys (the focus, or a grab), not to a window
// the test picks.
void PressKey(const char* name) {
    const std::string command = std::string("xdotool key ") + name;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// A window manager for the length of a test (Openbox: small, and it keeps the window
// manager conventions full-screen windows rely on).
class WindowManager {
  public:
    WindowManager() {
        m_pid = fork();
        if (m_pid == 0) {
            if (!freopen("/dev/null", "w", stderr)) _exit(126);
            execlp("openbox", "openbox", "--replace", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~WindowManager() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    // True once the window manager announces itself on the root window.
    bool Running() {
        xcb_connection_t* c = Connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const char name[] = "_NET_SUPPORTING_WM_CHECK";
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            xcb_intern_atom_reply_t* atom =
                xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
            bool found = false;
            if (atom != nullptr && atom->atom != XCB_ATOM_NONE) {
                xcb_get_property_reply_t* p = xcb_get_property_reply(
                    c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
                found = p != nullptr && xcb_get_property_value_length(p) == 4;
                free(p);
            }
            free(atom);
            if (found) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

  private:
    pid_t m_pid = -1;
};

// Another program's ordinary window: plain green, counting the keys it receives.
class GreenWindow final : public QRasterWindow {
  public:
    int keys = 0;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::green);
    }
    void keyPressEvent(QKeyEvent*) override { ++keys; }
};

// The share of the picture's pixels that are the green window's.
double GreenShare(const QImage& image) {
    int green = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) green += image.pixel(x, y) == qRgb(0, 255, 0);
    }
    return static_cast<double>(green) / (image.width() * image.height());
}

class SaverProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveDisplay()) GTEST_SKIP() << "no X display";
        App();
    }
    testing::TempDir m_profile;
};

TEST_F(SaverProgram, AWindowOfItsOwnShowsMovingColourThroughBothOutputs) {
    for (int useGdi : {2, 0}) {
        testing::TempDir profile;
        {
            ConfigStore store(profile.DatabasePath());
            ASSERT_TRUE(kConfigUseGDI.Write(store, useGdi));
        }
        Saver saver(profile, {"--window", "--fps"});
        const xcb_window_t window = WaitForSaverWindow();
        ASSERT_NE(window, 0u);
        QImage first, second;
        if (!TwoLitPictures(window, first, second)) {
            std::ifstream in(profile / "stderr.txt");
            const std::string err(std::istreambuf_iterator<char>(in), {});
            FAIL() << "UseGDI " << useGdi << ": stays black; the saver said:\n" << err;
        }
        EXPECT_NE(first, second) << "UseGDI " << useGdi << ": the picture does not move";
        EXPECT_FALSE(saver.Exited(0ms));
        // The frame rate line names the output in use.
        const std::string want = useGdi == 0 ? " fps (gdi)" : " fps (gl)";
        std::string err;
        for (int i = 0; i < 100 && err.find(want) == std::string::npos; ++i) {
            std::this_thread::sleep_for(100ms);
            std::ifstream in(profile / "stderr.txt");
            err.assign(std::istreambuf_iterator<char>(in), {});
        }
        EXPECT_NE(err.find(want), std::string::npos) << err;
        kill(saver.Pid(), SIGTERM);
        EXPECT_TRUE(saver.Exited(5s));
    }
}

TEST_F(SaverProgram, DrawsIntoAWindowItDidNotCreate) {
    QWindow host;
    host.setSurfaceType(QSurface::RasterSurface);
    host.resize(400, 300);
    host.show();
    App()->processEvents();
    Saver saver(m_profile, {"--window-id", std::to_string(host.winId())});
    QImage first, second;
    ASSERT_TRUE(TwoLitPictures(host.winId(), first, second));
    EXPECT_EQ(first.size(), QSize(400, 300));
    EXPECT_NE(first, second);
    // When the host's window goes, the saver goes too.
    host.destroy();
    App()->processEvents();
    EXPECT_TRUE(saver.Exited(10s));
}

TEST_F(SaverProgram, WithoutASoundServerAudioSyncIsOffAndTheArtRunsOn) {
    {
        ConfigStore store(m_profile.DatabasePath());
        ASSERT_TRUE(kConfigAudioSync.Write(store, 1));
    }
    const std::string dead = "unix:" + (m_profile / "no-server");
    Saver saver(m_profile, {"--window"}, {{"PULSE_SERVER", dead}});
    const xcb_window_t window = WaitForSaverWindow();
    ASSERT_NE(window, 0u);
    QImage first, second;
    ASSERT_TRUE(TwoLitPictures(window, first, second));
    EXPECT_NE(first, second);
    std::ifstream in(m_profile / "stderr.txt");
    const std::string err(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(err.find("quovis: audio sync is off: "), std::string::npos) << err;
    kill(saver.Pid(), SIGTERM);
    EXPECT_TRUE(saver.Exited(5s));
}

TEST_F(SaverProgram, AFullScreenSaverEndsOnAKeyButNotOnF12WhichLeavesAPicture) {
    const std::string pictures = m_profile / "pictures";
    {
        ConfigStore store(m_profile.DatabasePath());
        ASSERT_TRUE(
            kConfigAutoSaveDir.Write(store, QString::fromStdString(pictures).toStdU16String()));
    }
    std::filesystem::create_directories(pictures);
    Saver saver(m_profile, {"/s"});
    const xcb_window_t window = WaitForSaverWindow();
    ASSERT_NE(window, 0u);
    QImage first, second;
    ASSERT_TRUE(TwoLitPictures(0, first, second));
    SendKey(window, 0xffc9);  // F12
    const std::string jpeg = pictures + "/Q-0001.jpg";
    for (int i = 0; i < 200 && !std::filesystem::exists(pictures + "/Q-0001.oru"); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_FALSE(saver.Exited(200ms)) << "F12 must not end the saver";
    QImage picture;
    ASSERT_TRUE(picture.load(QString::fromStdString(jpeg))) << jpeg;
    EXPECT_GT(MeanBrightness(picture.convertToFormat(QImage::Format_RGB32)), 3.0);
    const std::optional<std::u16string> settings = ReadTextFile(pictures + "/Q-0001.oru");
    ASSERT_TRUE(settings);
    const std::size_t line = settings->find(u"\r\n");
    ASSERT_NE(line, std::u16string::npos);
    PresetRecord record;
    std::u16string_view rest = std::u16string_view(*settings).substr(line + 2);
    rest = rest.substr(0, rest.find(u"\r\n"));
    EXPECT_TRUE(ReadPresetString(rest, record));
    EXPECT_EQ(record.Name.rfind(u"Q-0001 (", 0), 0u);

    SendKey(window, 0x71);  // q
    EXPECT_TRUE(saver.Exited(10s)) << "any other key ends the saver";
}

TEST_F(SaverProgram, AJitterKeepsTheSaverButARealMoveEndsIt) {
    WarpPointer(600, 400);
    Saver saver(m_profile, {"/s"});
    ASSERT_NE(WaitForSaverWindow(), 0u);
    QImage first, second;
    ASSERT_TRUE(TwoLitPictures(0, first, second));
    WarpPointer(605, 400);  // the first move only sets where the pointer is
    std::this_thread::sleep_for(300ms);
    WarpPointer(610, 405);  // 10 pixels from there
    std::this_thread::sleep_for(300ms);
    WarpPointer(605, 400);
    EXPECT_FALSE(saver.Exited(1s)) << "a jitter of 10 pixels must not end the saver";
    WarpPointer(645, 400);  // 40 pixels
    EXPECT_TRUE(saver.Exited(10s)) << "a move of 40 pixels ends the saver";
}

TEST_F(SaverProgram, UnderAWindowManagerTheFullScreenSaverStaysOnTopAndKeepsTheKeys) {
    WindowManager manager;
    ASSERT_TRUE(manager.Running()) << "openbox did not start (scripts/install-deps.sh has it)";
    Saver saver(m_profile, {"/s"});
    ASSERT_NE(WaitForSaverWindow(), 0u);
    QImage first, second;
    ASSERT_TRUE(TwoLitPictures(0, first, second));

    // Another program opens a window after the saver started, and the window manager gives
    // it the focus. It must stay beneath the saver and get no keys.
    GreenWindow other;
    other.setGeometry(400, 200, 400, 300);
    other.show();
    other.requestActivate();
    for (int i = 0; i < 30; ++i) {
        App()->processEvents();
        std::this_thread::sleep_for(50ms);
    }
    const QImage screen = Grab();
    EXPECT_LT(GreenShare(screen.copy(400, 200, 400, 300)), 0.02)
        << "the other window shows above the saver";
    // Waking keys end the saver; the window beneath never hears of them.
    PressKey("q");
    EXPECT_TRUE(saver.Exited(10s)) << "the key did not reach the saver";
    App()->processEvents();
    EXPECT_EQ(other.keys, 0);
}

TEST_F(SaverProgram, ShiftEndsTheFullScreenSaver) {
    Saver saver(m_profile, {"/s"});
    ASSERT_NE(WaitForSaverWindow(), 0u);
    QImage first, second;
    ASSERT_TRUE(TwoLitPictures(0, first, second));
    PressKey("Shift_L");
    EXPECT_TRUE(saver.Exited(10s)) << "Shift is the key people press to wake a screen";
}

TEST_F(SaverProgram, TheCanvasHasTheDisplaysDevicePixelsTimesTheResolutionScale) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size() *
                         QGuiApplication::primaryScreen()->devicePixelRatio();
    struct Case {
        const char* scaleFactor;
        int resolution;  // index into the scale table
        double scale;
    };
    for (const Case& c : {Case{"2", 4, 0.5}, Case{"1", 2, 0.75}}) {
        testing::TempDir profile;
        {
            ConfigStore store(profile.DatabasePath());
            ASSERT_TRUE(kConfigResolution.Write(store, c.resolution));
        }
        Saver saver(profile, {"/s", "--fps"}, {{"QT_SCALE_FACTOR", c.scaleFactor}});
        const int width = static_cast<int>(screen.width() * c.scale + 0.5) & ~3;
        const int height = static_cast<int>(screen.height() * c.scale + 0.5) & ~1;
        const std::string want = "quovis: drawing " + std::to_string(width) + " x " +
                                 std::to_string(height) + " for a window of " +
                                 std::to_string(screen.width()) + " x " +
                                 std::to_string(screen.height()) + " pixels";
        EXPECT_EQ(DrawingLine(profile).rfind(want, 0), 0u)
            << "QT_SCALE_FACTOR " << c.scaleFactor << ": " << DrawingLine(profile);
        kill(saver.Pid(), SIGTERM);
        EXPECT_TRUE(saver.Exited(5s));
    }
}

TEST_F(SaverProgram, XScreenSaversRootWindowIsDrawnLikeTheFullScreenSaver) {
    // The host's window covers the screen; a settings dialog's picture is small.
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    struct Case {
        const char* what;
        QSize size;
        bool root;
        const char* want;
    };
    const Case cases[] = {
        {"--root", screen, true, "OpenGL output, slideshow"},
        {"--window-id over the screen", screen, false, "OpenGL output, slideshow"},
        {"--window-id of a settings dialog", QSize(320, 200), false, "raster output\0"},
    };
    for (const Case& c : cases) {
        testing::TempDir profile;
        {
            ConfigStore store(profile.DatabasePath());
            ASSERT_TRUE(kConfigResolution.Write(store, 4));  // half scale
            ASSERT_TRUE(kConfigUseGDI.Write(store, 1));      // OpenGL when scaling
        }
        QWindow host;
        host.setSurfaceType(QSurface::RasterSurface);
        host.setGeometry(QRect(QPoint(0, 0), c.size));
        host.show();
        App()->processEvents();
        const std::string id = std::to_string(host.winId());
        std::vector<std::string> args = {"--fps"};
        std::vector<std::pair<std::string, std::string>> env;
        if (c.root) {
            args.push_back("--root");
            env.emplace_back("XSCREENSAVER_WINDOW", id);
        } else {
            args.insert(args.end(), {"--window-id", id});
        }
        Saver saver(profile, args, env);
        const std::string line = DrawingLine(profile);
        const std::string want = c.want;
        EXPECT_NE(line.find(want), std::string::npos) << c.what << ": " << line;
        if (want.rfind("raster", 0) == 0) {
            EXPECT_EQ(line.find("slideshow"), std::string::npos) << c.what << ": " << line;
            EXPECT_NE(line.find("drawing 320 x 200"), std::string::npos) << c.what << ": " << line;
        }
        kill(saver.Pid(), SIGTERM);
        EXPECT_TRUE(saver.Exited(5s));
    }
}

TEST_F(SaverProgram, SigtermEndsTheSaverPromptly) {
    Saver saver(m_profile, {"--window"});
    QImage first, second;
    ASSERT_TRUE(TwoLitPictures(0, first, second));
    kill(saver.Pid(), SIGTERM);
    ASSERT_TRUE(saver.Exited(5s));
    EXPECT_TRUE(WIFEXITED(saver.Status()));
    EXPECT_EQ(WEXITSTATUS(saver.Status()), 0);
}

}  // namespace
}  // namespace quovis
