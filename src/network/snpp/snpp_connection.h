#pragma once
// One SNPP client connection: cuts the byte stream into lines (bounded), feeds them to the
// session, writes the replies, and closes a connection that stays silent too long or stops
// reading its replies. Lives in the server's thread; the server owns it. A LOGI password is
// checked on the server's pool of login checks; the connection reads nothing meanwhile.
#include "network/snpp/snpp_session.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <functional>

class QTcpSocket;
class QThreadPool;

namespace tarvex {

class SnppConnection : public QObject {
    Q_OBJECT
public:
    /// Takes the socket (reparented to this connection); `done` is called once, when the
    /// connection has ended, from the event loop (the server then deletes it).
    SnppConnection(QTcpSocket* socket, PageIntake& intake, Authenticator* auth,
                   QThreadPool& loginChecks, SnppSessionOptions options,
                   std::function<void(SnppConnection*)> done);
    ~SnppConnection() override;

    /// Says goodbye with 421 (the server is stopping and deletes the connection next; `done`
    /// is not called).
    void shutDown(const std::string& reason);
    /// The key the peer's connections are counted under (an IPv6 peer by its /64).
    const std::string& peerKey() const { return m_peerKey; }

private:
    void readLines();
    void handleLine(const QByteArray& line);
    void writeReply(const SnppReply& reply);
    void checkLogin();
    void closeSoon();
    void onTimer();
    void finish();

    QTcpSocket* m_socket;
    PageIntake& m_intake;
    SnppSession m_session;
    QThreadPool& m_loginChecks;
    std::string m_peer;
    std::string m_peerKey;
    std::function<void(SnppConnection*)> m_done;
    QByteArray m_buffer;
    QTimer m_timer;
    bool m_discarding = false; ///< skipping the rest of an overlong line
    bool m_checking = false;   ///< a LOGI password is being checked
    bool m_closing = false;
    bool m_finished = false;
};

} // namespace tarvex
