#include "network/snpp/snpp_server.h"

#include "network/snpp/snpp_connection.h"
#include "network/tcp/tcp_server.h"

#include <utility>

namespace tarvex {

namespace {
/// How long a connection gets to say goodbye when the server stops.
constexpr int GoodbyeMs = 500;
} // namespace

SnppServer::SnppServer(SnppServerConfig config, PageIntake& intake, Authenticator* auth)
    : m_config(std::move(config)), m_intake(intake), m_auth(auth),
      m_loginRequired(m_config.requireLogin || reachesBeyondLoopback(m_config.listenAddresses)) {}

SnppServer::~SnppServer() {
    stop();
}

bool SnppServer::start(std::string* error) {
    stop();
    const InboundLimits& limits = m_intake.limits();
    TcpServerConfig tcp;
    tcp.name = "SNPP";
    tcp.addresses = m_config.listenAddresses;
    tcp.port = m_config.port;
    tcp.maxConnections = limits.maxConnections;
    tcp.perAddress = connectionsPerAddress(limits);
    tcp.busyReply = "421 Too many connections, try again later\r\n";
    tcp.goodbyeMs = GoodbyeMs;
    const auto refused = [this, limit = limits.maxConnections,
                          perAddress = connectionsPerAddress(limits)](const std::string& peer,
                                                                      Admission why) {
        m_intake.logRefusal(peer,
                            "snpp: refused a connection from " + peer + ": " +
                                (why == Admission::OverAddressLimit
                                     ? std::to_string(perAddress) + " connections from its address"
                                     : std::to_string(limit) + " connections") +
                                " already open");
    };
    m_tcp = std::make_unique<TcpServer>(
        tcp, [this](int fd) { serve(fd); }, refused,
        [this](const std::string& line) { m_intake.log("snpp: " + line); });
    if (!m_tcp->start(error)) {
        m_tcp.reset();
        return false;
    }
    m_port = m_tcp->port();
    m_addresses = m_tcp->addresses();
    std::string where;
    for (const auto& address : m_addresses)
        where += (where.empty() ? "" : ", ") + address;
    m_intake.log("snpp: listening on " + where + " port " + std::to_string(m_port) +
                 (m_loginRequired ? " (login required)" : " (loopback, no login required)"));
    return true;
}

void SnppServer::stop() {
    if (m_tcp)
        m_tcp->stop();
    m_tcp.reset();
}

void SnppServer::serve(int fd) {
    SnppSessionOptions options;
    options.loginRequired = m_loginRequired;
    SnppConnection(fd, m_intake, m_auth, options, [this] { return m_tcp->stopping(); }).serve();
}

} // namespace tarvex
