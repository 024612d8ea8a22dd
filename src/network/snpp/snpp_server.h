#pragma once
// The station's SNPP server on Qt Network: listens on its addresses (loopback unless
// configured otherwise), serves each connection with an SnppSession in the thread of the
// event loop it was started in, and enforces the connection, line, idle and output limits.
// A login is required as soon as one address reaches beyond this computer.
#include "network/intake/authenticator.h"
#include "network/intake/listen_address.h"
#include "network/intake/page_intake.h"

#include <QObject>
#include <QThreadPool>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTcpServer;

namespace tarvex {

class SnppConnection;

struct SnppServerConfig {
    std::vector<std::string> listenAddresses = LoopbackAddresses; ///< numeric addresses
    uint16_t port = 444;       ///< 0 picks a free port (tests); every address gets the same one
    bool requireLogin = false; ///< login even on loopback (always on beyond loopback)
};

class SnppServer : public QObject {
    Q_OBJECT
public:
    /// The intake (and its limits) and the authenticator must outlive the server; `auth` may
    /// be null when no user store is used (then only loopback without login works).
    SnppServer(SnppServerConfig config, PageIntake& intake, Authenticator* auth,
               QObject* parent = nullptr);
    ~SnppServer() override;

    /// Listens on every address; false with *error (and nothing listening) when one fails.
    bool start(std::string* error);
    /// Stops listening and closes every connection.
    void stop();
    /// The port listened on (the chosen one when the configuration said 0).
    uint16_t port() const { return m_port; }
    /// The addresses listened on: the configured ones this computer has.
    const std::vector<std::string>& addresses() const { return m_addresses; }
    bool loginRequired() const { return m_loginRequired; }
    int connectionCount() const { return static_cast<int>(m_connections.size()); }

private:
    void acceptPending(QTcpServer* listener);
    void removeConnection(SnppConnection* connection);

    SnppServerConfig m_config;
    PageIntake& m_intake;
    Authenticator* m_auth;
    bool m_loginRequired;
    uint16_t m_port = 0;
    std::vector<std::string> m_addresses;
    std::vector<std::unique_ptr<QTcpServer>> m_listeners;
    std::vector<std::unique_ptr<SnppConnection>> m_connections;
    /// Password checks run here, off the event loop: two at once (each hash takes tens of MB),
    /// the others wait their turn. Destroyed first, it waits for a check still running.
    QThreadPool m_loginChecks;
};

} // namespace tarvex
