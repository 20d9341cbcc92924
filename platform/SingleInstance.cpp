#include "platform/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace platform {

namespace {

// What a later start sends.
constexpr char kActivate[] = "activate\n";
// How long a start waits to reach the running copy's socket, in milliseconds.
constexpr int kWaitMs = 2000;

}  // namespace

SingleInstance::SingleInstance(const QString& program, const QString& scope, QObject* parent)
    : QObject(parent) {
    // The runtime folder is the user's own (mode 0700); elsewhere the socket goes to the
    // temporary folder, its name told apart by the user's id.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::tempPath();
    const QByteArray scopeHash =
        QCryptographicHash::hash(QDir::cleanPath(scope).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    name_ = QDir(folder).filePath(QString("%1-%2-%3.socket")
                                      .arg(program)
                                      .arg(uint(::getuid()))
                                      .arg(QString::fromLatin1(scopeHash)));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    // A copy that listens runs, even one busy with a build: it reads the request when it is
    // back in its event loop.
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write(kActivate);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::anotherCopyRuns() {
    if (server_ != nullptr) return false;
    if (askRunningCopy()) return true;
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name_)) {
        // A socket file left behind by a copy that ended without removing it: nobody answered
        // on it above.
        QLocalServer::removeServer(name_);
        if (!server->listen(name_)) {
            delete server;
            return false;
        }
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
    return false;
}

void SingleInstance::answer() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto read = [this, socket] {
            if (socket->bytesAvailable() < qint64(sizeof kActivate - 1)) return;
            const bool activate = socket->readAll().startsWith(kActivate);
            socket->disconnectFromServer();
            if (activate) emit activationRequested();
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        read();  // the request may have arrived with the connection
    }
}

}  // namespace platform
