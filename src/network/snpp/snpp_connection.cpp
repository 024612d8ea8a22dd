#include "network/snpp/snpp_connection.h"

#include <QFutureWatcher>
#include <QTcpSocket>
#include <QtConcurrent/QtConcurrentRun>

#include <string_view>
#include <utility>

namespace tarvex {

namespace {
constexpr qint64 ReadBufferBytes = 64 * 1024;     ///< what Qt buffers from the socket at most
constexpr qint64 MaxUnsentReplyBytes = 64 * 1024; ///< stop reading while this much is unsent
constexpr qint64 ReadChunkBytes = 8 * 1024;
constexpr int CloseGraceMs = 5000; ///< time a closing peer gets to take the last reply
} // namespace

SnppConnection::SnppConnection(QTcpSocket* socket, PageIntake& intake, Authenticator* auth,
                               QThreadPool& loginChecks, SnppSessionOptions options,
                               std::function<void(SnppConnection*)> done)
    : m_socket(socket), m_intake(intake), m_session(intake, auth, options),
      m_loginChecks(loginChecks), m_peer(options.peer), m_peerKey(addressKey(options.peer)),
      m_done(std::move(done)) {
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadBufferBytes);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SnppConnection::onTimer);
    connect(m_socket, &QTcpSocket::readyRead, this, &SnppConnection::readLines);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &SnppConnection::readLines);
    connect(m_socket, &QTcpSocket::disconnected, this, &SnppConnection::finish);
    writeReply({{m_session.greeting()}, false});
    m_timer.start(m_intake.limits().idleSeconds * 1000);
}

SnppConnection::~SnppConnection() {
    m_socket->disconnect(this);
    m_socket->abort();
}

void SnppConnection::readLines() {
    const std::size_t maxLine = m_intake.limits().maxLineLength;
    while (!m_closing && !m_checking && m_socket->bytesToWrite() <= MaxUnsentReplyBytes) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0) {
            // A line may be maxLine bytes and a CR; anything longer without its LF is cut.
            if (static_cast<std::size_t>(m_buffer.size()) > maxLine + 1) {
                if (!m_discarding)
                    writeReply(m_session.onOverlongLine());
                m_discarding = true;
                m_buffer.clear();
            }
            if (m_socket->bytesAvailable() == 0)
                return;
            m_buffer += m_socket->read(ReadChunkBytes);
            continue;
        }
        QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (m_discarding) {
            m_discarding = false; // the tail of a line already answered
            continue;
        }
        handleLine(line);
    }
}

void SnppConnection::handleLine(const QByteArray& line) {
    m_timer.start(m_intake.limits().idleSeconds * 1000);
    const std::size_t length =
        static_cast<std::size_t>(line.size()) - (line.endsWith('\r') ? 1U : 0U);
    if (length > m_intake.limits().maxLineLength) {
        writeReply(m_session.onOverlongLine());
        return;
    }
    writeReply(m_session.onLine(std::string_view(line.constData(), length)));
}

void SnppConnection::writeReply(const SnppReply& reply) {
    QByteArray bytes;
    for (const auto& line : reply.lines)
        bytes += QByteArray::fromStdString(line) + "\r\n";
    if (!bytes.isEmpty()) {
        m_socket->write(bytes);
        // Hand the reply to the kernel now: a peer that has shut its sending side makes Qt
        // close the socket at its next read, and a reply still in Qt's buffer would be lost.
        m_socket->flush();
    }
    if (reply.close)
        closeSoon();
    if (reply.checkLogin)
        checkLogin();
}

void SnppConnection::checkLogin() {
    // The watcher is a child of this connection: when the connection goes first, its result
    // is dropped; the check itself holds copies of what it needs.
    m_checking = true;
    auto* watcher = new QFutureWatcher<AuthResult>(this);
    connect(watcher, &QFutureWatcher<AuthResult>::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_checking = false;
        if (m_closing)
            return;
        writeReply(m_session.finishLogin(watcher->result()));
        readLines(); // the lines a client sent on behind its LOGI
    });
    watcher->setFuture(QtConcurrent::run(&m_loginChecks, m_session.takeLoginCheck()));
}

void SnppConnection::closeSoon() {
    if (m_closing)
        return;
    m_closing = true;
    m_timer.start(CloseGraceMs);
    m_socket->disconnectFromHost(); // sends what is still buffered, then closes
}

void SnppConnection::shutDown(const std::string& reason) {
    m_done = nullptr; // the server is deleting this connection itself
    if (m_closing)
        return;
    m_closing = true;
    m_socket->write(QByteArray::fromStdString("421 " + reason + "\r\n"));
    m_socket->flush();
}

void SnppConnection::onTimer() {
    if (m_closing) {
        m_socket->abort(); // the peer did not take its last reply in time
        finish();
        return;
    }
    const int seconds = m_intake.limits().idleSeconds;
    m_intake.log("snpp: closed the connection of " + m_peer + " after " + std::to_string(seconds) +
                 " s without a command");
    writeReply({{"421 Timeout, no command for " + std::to_string(seconds) + " s, goodbye"}, true});
}

void SnppConnection::finish() {
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    if (m_done)
        m_done(this);
}

} // namespace tarvex
