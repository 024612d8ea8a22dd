#pragma once
// The station's HTTP server: HTTP/1.1 read by the bounded HttpRequestReader, requests posted
// to /wctp answered by the WctpService, the status pages and the web interface beside them.
// It runs on the threads of its TcpServer (loopback unless configured otherwise): the limits
// on request size, connections at once, idle time and time per request apply over all
// addresses. A login (securityCode) is required as soon as one address reaches beyond this
// computer.
#include "network/intake/authenticator.h"
#include "network/intake/listen_address.h"
#include "network/intake/page_intake.h"

#include "network/wctp/http_app.h"
#include "network/wctp/wctp_http.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvex {

class TcpServer;

struct WctpServerConfig {
    std::vector<std::string> listenAddresses = LoopbackAddresses; ///< numeric addresses
    uint16_t port = 8444;      ///< 0 picks a free port (tests); every address gets the same one
    bool requireLogin = false; ///< securityCode even on loopback (always on beyond loopback)
    bool wctp = true;          ///< serve /wctp (false: only the status pages)
    /// Answers GET /metrics and /health; null: those paths are not served. Called from the
    /// server's worker threads, so it must be safe there.
    std::function<StatusPage(std::string_view target)> statusPages;
    /// The web interface and its API (the paths it claims); null: not served.
    std::shared_ptr<HttpApp> app;
};

class WctpServer {
public:
    /// The intake and the authenticator must outlive the server; both are used from the
    /// server's worker threads. `auth` may be null (then no securityCode is ever accepted).
    WctpServer(WctpServerConfig config, PageIntake& intake, Authenticator* auth);
    ~WctpServer();
    WctpServer(const WctpServer&) = delete;
    WctpServer& operator=(const WctpServer&) = delete;

    /// Binds every address and starts serving; false with *error (nothing served) on failure.
    bool start(std::string* error);
    /// Closes the listening sockets, cuts open connections and joins every thread.
    void stop();
    uint16_t port() const { return m_port; }
    /// The addresses listened on: the configured ones this computer has.
    const std::vector<std::string>& addresses() const { return m_addresses; }
    bool loginRequired() const { return m_loginRequired; }

private:
    friend class WctpConnection;
    struct State; ///< what the connections share
    void refused(State& state);
    WctpServerConfig m_config;
    PageIntake& m_intake;
    Authenticator* m_auth;
    bool m_loginRequired;
    uint16_t m_port = 0;
    std::vector<std::string> m_addresses;
    std::unique_ptr<State> m_state;
    std::unique_ptr<TcpServer> m_tcp;
};

} // namespace tarvex
