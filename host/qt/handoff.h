// The settings-file hand-off for real: a per-user local socket between a second instance and
// the open configuration window, the "-Common" mailbox in the process store, and detached
// starts of the maker's other programs. The decisions live in host/handoff_plan.h.
//
// Protocol: the configuration window listens (SettingsFileListener) under
// ConfigWindowServerName(). A second instance connects; only when that succeeds does it write
// the path into "Me", then it sends kSettingsFileSignal and disconnects. The window answers
// each signal by taking the path with TakeSettingsFilePath and importing the file.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include "host/handoff_plan.h"

class QLocalServer;
class QLocalSocket;

namespace quovis {

// The socket the configuration window listens on: "quovis-config" in the user's runtime
// folder ($XDG_RUNTIME_DIR, private to the user) when there is one, otherwise
// "quovis-config-<uid>" in the temporary folder.
QString ConfigWindowServerName();

// How long a second instance waits for the window to accept it. The window answers from its
// event loop, so a busy but living window still takes the connection.
inline constexpr int kConfigWindowConnectMs = 2000;

// Hands the path to the window listening under `serverName`, as the protocol says.
ConfigWindowDelivery SendPathToConfigWindow(const QString& serverName, const std::string& path);

// HandoffPorts on the real system: the settings file reader, the process configuration store,
// the socket above and QProcess::startDetached.
class SystemHandoffPorts : public HandoffPorts {
  public:
    explicit SystemHandoffPorts(QString serverName = ConfigWindowServerName());

    bool IsSettingsFile(const std::string& path) override;
    ConfigWindowDelivery SendToConfigWindow(const std::string& path) override;
    std::optional<ProgramSlot> FindOtherProgram(int startSlot) override;
    bool StartProgram(const std::u16string& program,
                      const std::vector<std::string>& arguments) override;

  private:
    QString m_serverName;
};

// HandOffSettingsFiles with the real ports and this process's working directory.
HandoffResult HandOffSettingsFiles(const std::vector<SettingsFileArgument>& files);

// The configuration window's end: listens for second instances and says when one has left a
// path in "Me".
class SettingsFileListener : public QObject {
    Q_OBJECT

  public:
    explicit SettingsFileListener(QObject* parent = nullptr);
    ~SettingsFileListener() override;

    // Starts listening, only to this user. A socket left behind by a window that crashed is
    // removed first; false when another window is already listening (it keeps the name) or
    // the socket cannot be made.
    bool Listen(const QString& serverName = ConfigWindowServerName());
    QString ServerName() const;

  signals:
    // A second instance left a path in "Me": take it with TakeSettingsFilePath.
    void settingsFileSignalled();

  private:
    void AcceptConnections();
    void ReadSignals(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, QByteArray> m_pending;  // partial lines per connection
};

}  // namespace quovis
