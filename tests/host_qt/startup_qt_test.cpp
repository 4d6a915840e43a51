// The Qt ends of start-up: the socket between a second instance and the open configuration
// window, and the monitor table read from Qt's screens.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QScreen>

#include <cstring>
#include <memory>

#include "host/qt/handoff.h"
#include "host/qt/monitors_qt.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

// One application for the executable. A QApplication, since other tests here may need
// widgets; on the offscreen platform only when there is no display to use.
class StartupAppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (QCoreApplication::instance() != nullptr) return;
        if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
            setenv("QT_QPA_PLATFORM", "offscreen", 0);
        }
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    int m_argc = 1;
    char m_name[16] = "host_qt";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};
[[maybe_unused]] ::testing::Environment* const kApp =
    ::testing::AddGlobalTestEnvironment(new StartupAppEnvironment);

class StartupHandoffSocket : public ::testing::Test {
  protected:
    void SetUp() override {
        m_oldStorePath = ProcessConfigStore().Path();
        ProcessConfigStore().SetPath(m_dir.DatabasePath());
    }
    void TearDown() override { ProcessConfigStore().SetPath(m_oldStorePath); }

    QString ServerName() const { return QString::fromStdString(m_dir / "config.sock"); }

    // Runs the event loop until `count` signals arrived or a generous deadline passed (a
    // guard against hanging, not a speed limit).
    static void WaitForSignals(const int& received, int count) {
        QDeadlineTimer deadline(30000);
        while (received < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    }

    testing::TempDir m_dir;
    std::string m_oldStorePath;
};

TEST_F(StartupHandoffSocket, OpenWindowGetsThePathThroughTheMailbox) {
    SettingsFileListener listener;
    ASSERT_TRUE(listener.Listen(ServerName()));
    int received = 0;
    QObject::connect(&listener, &SettingsFileListener::settingsFileSignalled,
                     [&received] { ++received; });

    EXPECT_EQ(SendPathToConfigWindow(ServerName(), "/home/u/ä b.oru"),
              ConfigWindowDelivery::Delivered);
    EXPECT_EQ(SendPathToConfigWindow(ServerName(), "/home/u/second.oru"),
              ConfigWindowDelivery::Delivered);
    WaitForSignals(received, 2);
    EXPECT_EQ(received, 2);
    EXPECT_EQ(TakeSettingsFilePath(ProcessConfigStore()), u"/home/u/second.oru");

    // A second window cannot take the name from a living one.
    SettingsFileListener second;
    EXPECT_FALSE(second.Listen(ServerName()));
}

TEST_F(StartupHandoffSocket, NoWindowLeavesTheMailboxAlone) {
    EXPECT_EQ(SendPathToConfigWindow(ServerName(), "/home/u/a.oru"),
              ConfigWindowDelivery::NoWindow);
    EXPECT_FALSE(kCommonMailbox.ReadStored(ProcessConfigStore()).has_value());
}

TEST_F(StartupHandoffSocket, PathTooLongForTheMailboxIsAFailureNotASignal) {
    SettingsFileListener listener;
    ASSERT_TRUE(listener.Listen(ServerName()));
    int received = 0;
    QObject::connect(&listener, &SettingsFileListener::settingsFileSignalled,
                     [&received] { ++received; });
    const std::string longPath = "/" + std::string(300, 'a') + ".oru";
    EXPECT_EQ(SendPathToConfigWindow(ServerName(), longPath), ConfigWindowDelivery::Failed);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, 0);
}

TEST_F(StartupHandoffSocket, SocketLeftByACrashedWindowIsReplaced) {
    // A bound socket nobody listens on: what a killed window leaves behind.
    const std::string path = m_dir / "config.sock";
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    close(fd);

    SettingsFileListener listener;
    EXPECT_TRUE(listener.Listen(ServerName()));
    EXPECT_EQ(SendPathToConfigWindow(ServerName(), "/a.oru"), ConfigWindowDelivery::Delivered);
}

TEST(StartupMonitorsQt, TableFollowsQtScreens) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    const MonitorTable table = MonitorTableFromScreens();
    ASSERT_EQ(table.count, std::min<int>(static_cast<int>(screens.size()), kMaxMonitors));
    for (int i = 0; i < table.count; ++i) {
        const QRect g = screens[i]->geometry();
        EXPECT_EQ(table[i], (MonitorRect{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()}));
    }
    if (QGuiApplication::primaryScreen() != nullptr) {
        const QRect v = QGuiApplication::primaryScreen()->virtualGeometry();
        EXPECT_EQ(table.WholeScreen().Width(), v.width());
        EXPECT_EQ(table.WholeScreen().Height(), v.height());
    }
    EXPECT_EQ(MonitorRectFromQRect(QRect(-10, 5, 100, 50)), (MonitorRect{-10, 5, 90, 55}));
}

}  // namespace
}  // namespace quovis
