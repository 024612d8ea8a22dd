#pragma once
// The station's SNPP server: listens on its addresses (loopback unless configured otherwise)
// on the station's TCP transport, serves each connection with an SnppSession on a worker
// thread of its own, and enforces the connection, line, idle and output limits. A login is
// required as soon as one address reaches beyond this computer. Pages reach the station only
// through the page intake; no Qt.
#include "network/intake/authenticator.h"
#include "network/intake/listen_address.h"
#include "network/intake/page_intake.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvex {

class TcpServer;

struct SnppServerConfig {
    std::vector<std::string> listenAddresses = LoopbackAddresses; ///< numeric addresses
    uint16_t port = 444;       ///< 0 picks a free port (tests); every address gets the same one
    bool requireLogin = false; ///< login even on loopback (always on beyond loopback)
};

class SnppServer {
public:
    /// The intake (and its limits) and the authenticator must outlive the server; both are
    /// used from the server's threads. `auth` may be null when no user store is used (then
    /// only loopback without login works).
    SnppServer(SnppServerConfig config, PageIntake& intake, Authenticator* auth);
    ~SnppServer();
    SnppServer(const SnppServer&) = delete;
    SnppServer& operator=(const SnppServer&) = delete;

    /// Listens on every address; false with *error (and nothing listening) when one fails.
    bool start(std::string* error);
    /// Stops listening, says goodbye to every connection and joins the server's threads.
    void stop();
    /// The port listened on (the chosen one when the configuration said 0).
    uint16_t port() const { return m_port; }
    /// The addresses listened on: the configured ones this computer has.
    const std::vector<std::string>& addresses() const { return m_addresses; }
    bool loginRequired() const { return m_loginRequired; }

private:
    void serve(int fd);

    SnppServerConfig m_config;
    PageIntake& m_intake;
    Authenticator* m_auth;
    bool m_loginRequired;
    uint16_t m_port = 0;
    std::vector<std::string> m_addresses;
    std::unique_ptr<TcpServer> m_tcp;
};

} // namespace tarvex
