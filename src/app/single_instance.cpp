#include "app/single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>

#include <unistd.h>

namespace tarvex {

namespace {
constexpr int AnswerTimeoutMs = 2000;
const QByteArray Request = "raise\n";
const QByteArray Reply = "ok\n";
} // namespace

QString SingleInstanceGuard::titleFor(const QString& executablePath) {
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf('.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

SingleInstanceGuard::SingleInstanceGuard(const QString& title, QObject* parent)
    : QObject(parent), m_title(title) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    // The title goes into a file name: keep it readable but safe.
    const QString safeTitle = QString::fromLatin1(QUrl::toPercentEncoding(title));
    m_serverName = QDir(folder).filePath(
        QStringLiteral("%1-%2.instance").arg(safeTitle).arg(static_cast<qulonglong>(getuid())));
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

bool SingleInstanceGuard::listening() const {
    return m_server != nullptr && m_server->isListening();
}

bool SingleInstanceGuard::handOver() {
    // The lock keeps two copies started at the same moment from both becoming the first.
    QLockFile lock(m_serverName + QStringLiteral(".lock"));
    lock.tryLock(AnswerTimeoutMs);
    if (askRunningCopy())
        return true;
    startListening();
    return false;
}

bool SingleInstanceGuard::askRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(AnswerTimeoutMs))
        return false;
    socket.write(Request);
    socket.waitForBytesWritten(AnswerTimeoutMs);
    // The answer only confirms; a copy that accepted the connection is running either way.
    socket.waitForReadyRead(AnswerTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstanceGuard::startListening() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // A socket left behind by a copy that did not end cleanly: nobody answered on it.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstanceGuard::answer);
    return true;
}

void SingleInstanceGuard::answer() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == Request) {
                socket->write(Reply);
                socket->flush();
                emit activationRequested();
            }
        });
    }
}

} // namespace tarvex
