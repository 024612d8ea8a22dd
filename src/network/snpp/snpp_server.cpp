#include "network/snpp/snpp_server.h"

#include "network/snpp/snpp_connection.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <utility>

namespace tarvex {

SnppServer::SnppServer(SnppServerConfig config, PageIntake& intake, Authenticator* auth,
                       QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_intake(intake), m_auth(auth),
      m_loginRequired(m_config.requireLogin || reachesBeyondLoopback(m_config.listenAddresses)) {
    m_loginChecks.setMaxThreadCount(2);
}

SnppServer::~SnppServer() {
    stop();
}

bool SnppServer::start(std::string* error) {
    stop();
    m_port = m_config.port;
    m_addresses.clear();
    std::string where;
    for (const auto& text : m_config.listenAddresses) {
        if (!addressAvailable(text) && m_config.listenAddresses.size() > 1) {
            m_intake.log("snpp: not listening on " + text + ": no such address on this computer");
            continue;
        }
        const QHostAddress address(QString::fromStdString(text));
        auto listener = std::make_unique<QTcpServer>();
        if (address.isNull() || !listener->listen(address, m_port)) {
            if (error != nullptr)
                *error = "SNPP server cannot listen on " + text + " port " +
                         std::to_string(m_port) + ": " +
                         (address.isNull() ? std::string("not a numeric address")
                                           : listener->errorString().toStdString());
            stop();
            return false;
        }
        m_port = listener->serverPort(); // port 0: the others take the one chosen here
        QTcpServer* raw = listener.get();
        connect(raw, &QTcpServer::newConnection, this, [this, raw] { acceptPending(raw); });
        m_listeners.push_back(std::move(listener));
        where += (where.empty() ? "" : ", ") + text;
        m_addresses.push_back(text);
    }
    if (m_listeners.empty()) {
        if (error != nullptr)
            *error = "SNPP server has no address to listen on";
        return false;
    }
    m_intake.log("snpp: listening on " + where + " port " + std::to_string(m_port) +
                 (m_loginRequired ? " (login required)" : " (loopback, no login required)"));
    return true;
}

void SnppServer::stop() {
    for (auto& listener : m_listeners)
        listener->close();
    m_listeners.clear();
    for (auto& connection : m_connections)
        connection->shutDown("Server shutting down, goodbye");
    m_connections.clear();
}

void SnppServer::acceptPending(QTcpServer* listener) {
    while (QTcpSocket* socket = listener->nextPendingConnection()) {
        const std::string peer = socket->peerAddress().toString().toStdString();
        const int limit = m_intake.limits().maxConnections;
        const int perAddress = connectionsPerAddress(m_intake.limits());
        const std::string key = addressKey(peer);
        const auto fromThere = std::count_if(m_connections.begin(), m_connections.end(),
                                             [&](const auto& c) { return c->peerKey() == key; });
        if (connectionCount() >= limit || fromThere >= perAddress) {
            m_intake.logRefusal(
                peer, "snpp: refused a connection from " + peer + ": " +
                          (fromThere >= perAddress
                               ? std::to_string(perAddress) + " connections from its address"
                               : std::to_string(limit) + " connections") +
                          " already open");
            socket->write("421 Too many connections, try again later\r\n");
            socket->flush();
            socket->close();
            socket->deleteLater();
            continue;
        }
        SnppSessionOptions options;
        options.loginRequired = m_loginRequired;
        options.peer = peer;
        m_connections.push_back(std::make_unique<SnppConnection>(
            socket, m_intake, m_auth, m_loginChecks, options,
            [this](SnppConnection* done) { removeConnection(done); }));
    }
}

void SnppServer::removeConnection(SnppConnection* connection) {
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [connection](const auto& c) { return c.get() == connection; });
    if (it == m_connections.end())
        return;
    it->release()->deleteLater(); // it may be inside one of its own signal handlers
    m_connections.erase(it);
}

} // namespace tarvex
