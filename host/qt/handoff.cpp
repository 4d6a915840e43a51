#include "host/qt/handoff.h"

#include <unistd.h>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <filesystem>

#include "settings/config_store.h"
#include "settings/settings_file.h"

namespace quovis {

namespace {

QString LocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Sends the whole signal; false when the window went away before taking it.
bool SendSignal(QLocalSocket& socket) {
    socket.write(kSettingsFileSignal.data(), static_cast<qint64>(kSettingsFileSignal.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kConfigWindowConnectMs)) return false;
    }
    socket.disconnectFromServer();
    return true;
}

}  // namespace

QString ConfigWindowServerName() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) return runtime + QStringLiteral("/quovis-config");
    return QStringLiteral("quovis-config-%1").arg(static_cast<qulonglong>(getuid()));
}

ConfigWindowDelivery SendPathToConfigWindow(const QString& serverName, const std::string& path) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kConfigWindowConnectMs)) return ConfigWindowDelivery::NoWindow;
    // Only now, with a window known to be there, does the path go into the mailbox: a path
    // left there with nobody to take it would be imported by some later window by surprise.
    if (!PostSettingsFilePath(ProcessConfigStore(), LocalPath(path).toStdU16String())) {
        return ConfigWindowDelivery::Failed;
    }
    if (!SendSignal(socket)) {
        // The window closed in between: take the path back and let this process open it.
        TakeSettingsFilePath(ProcessConfigStore());
        return ConfigWindowDelivery::NoWindow;
    }
    return ConfigWindowDelivery::Delivered;
}

// ============================================================================================
// SystemHandoffPorts
// ============================================================================================

SystemHandoffPorts::SystemHandoffPorts(QString serverName) : m_serverName(std::move(serverName)) {}

bool SystemHandoffPorts::IsSettingsFile(const std::string& path) {
    return quovis::IsSettingsFile(path);
}

ConfigWindowDelivery SystemHandoffPorts::SendToConfigWindow(const std::string& path) {
    return SendPathToConfigWindow(m_serverName, path);
}

std::optional<ProgramSlot> SystemHandoffPorts::FindOtherProgram(int startSlot) {
    return FindProgramForSettingsFile(ProcessConfigStore(), startSlot);
}

bool SystemHandoffPorts::StartProgram(const std::u16string& program,
                                      const std::vector<std::string>& arguments) {
    QStringList qtArguments;
    for (const std::string& argument : arguments) qtArguments << LocalPath(argument);
    return QProcess::startDetached(QString::fromStdU16String(program), qtArguments);
}

HandoffResult HandOffSettingsFiles(const std::vector<SettingsFileArgument>& files) {
    if (files.empty()) return {};
    std::error_code error;
    const std::filesystem::path workingDirectory = std::filesystem::current_path(error);
    SystemHandoffPorts ports;
    return HandOffSettingsFiles(files, error ? std::string() : workingDirectory.string(), ports);
}

// ============================================================================================
// SettingsFileListener
// ============================================================================================

SettingsFileListener::SettingsFileListener(QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SettingsFileListener::AcceptConnections);
}

SettingsFileListener::~SettingsFileListener() = default;

bool SettingsFileListener::Listen(const QString& serverName) {
    {
        QLocalSocket probe;
        probe.connectToServer(serverName);
        if (probe.waitForConnected(kConfigWindowConnectMs)) return false;
    }
    // Nobody answers: whatever is left under the name belongs to a window that crashed.
    QLocalServer::removeServer(serverName);
    return m_server->listen(serverName);
}

QString SettingsFileListener::ServerName() const {
    return m_server->fullServerName();
}

void SettingsFileListener::AcceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadSignals(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        // A sender may have written and gone before we looked.
        if (socket->bytesAvailable() > 0) ReadSignals(socket);
    }
}

void SettingsFileListener::ReadSignals(QLocalSocket* socket) {
    QByteArray& pending = m_pending[socket];
    pending += socket->readAll();
    const QByteArray signalLine =
        QByteArray(kSettingsFileSignal.data(), static_cast<qsizetype>(kSettingsFileSignal.size()));
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
        const bool isSignal = pending.left(end + 1) == signalLine;
        pending.remove(0, end + 1);
        if (isSignal) emit settingsFileSignalled();
    }
    // Nothing legitimate sends long lines; do not let a stray client grow the buffer.
    if (pending.size() > 256) pending.clear();
}

}  // namespace quovis
