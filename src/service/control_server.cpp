#include "service/control_server.h"

#include "paging/entry_format.h"
#include "station/control_protocol.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>

#include <chrono>

namespace tarvex {

ControlServer::ControlServer(Station& station, std::function<void(const std::string&)> log,
                             QObject* parent)
    : QObject(parent), m_station(station), m_log(std::move(log)) {}

ControlServer::~ControlServer() = default;

bool ControlServer::listen(const QString& path, QString* error) {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption | QLocalServer::GroupAccessOption);
    m_server->setMaxPendingConnections(MaxConnections);
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        if (error != nullptr)
            *error = m_server->errorString();
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::accept);
    return true;
}

QString ControlServer::path() const {
    return m_server != nullptr ? m_server->fullServerName() : QString();
}

void ControlServer::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        ++m_open;
        if (m_open > MaxConnections) {
            reply(socket, "ERR busy: too many control connections\n");
            continue;
        }
        // A client that never finishes its line is dropped.
        QTimer::singleShot(RequestTimeoutMs, socket, [this, socket] {
            reply(socket, "ERR no request within " + std::to_string(RequestTimeoutMs) + " ms\n");
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        readFrom(socket);
    }
}

void ControlServer::readFrom(QLocalSocket* socket) {
    if (socket->property("answered").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= static_cast<qint64>(MaxControlRequest)) {
            logRefusal("control: refused a request longer than " +
                       std::to_string(MaxControlRequest) + " bytes");
            reply(socket,
                  "ERR request longer than " + std::to_string(MaxControlRequest) + " bytes\n");
        }
        return;
    }
    const QByteArray line = socket->readLine(static_cast<qint64>(MaxControlRequest) + 1);
    if (!line.endsWith('\n')) {
        reply(socket, "ERR request longer than " + std::to_string(MaxControlRequest) + " bytes\n");
        return;
    }
    reply(socket, answer(line.chopped(1).toStdString()));
}

void ControlServer::logRefusal(const std::string& line) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    if (const auto admitted = m_refusals.admit("control", line, now.count()))
        m_log(*admitted);
}

std::string ControlServer::answer(const std::string& line) {
    const ControlParse parsed = parseControlRequest(line);
    if (!parsed.request) {
        logRefusal("control: refused: " + parsed.error);
        return "ERR " + parsed.error + "\n";
    }
    switch (parsed.request->kind) {
    case ControlRequest::Kind::Status:
    case ControlRequest::Kind::StatusJson: {
        HealthFacts facts;
        if (m_health)
            facts = m_health();
        else
            facts.station = m_station.status();
        const auto faults = healthFaults(facts);
        // The verdict first, as monitoring plugins print it; tarvex-cli exits by its word.
        const std::string first = "OK " + healthSummary(facts, faults) + "\n";
        if (parsed.request->kind == ControlRequest::Kind::StatusJson)
            return first + healthJson(facts, faults) + "\n";
        return first + statusText(facts) + (m_extra ? m_extra() : std::string());
    }
    case ControlRequest::Kind::Stop:
        m_log("control: stop");
        m_station.stop();
        return "OK stopped; pages from other systems wait " +
               std::to_string(Station::StopHoldMs / 1000) + " s (tarvex-cli resume ends it)\n";
    case ControlRequest::Kind::Resume:
        m_log("control: resume");
        m_station.resume();
        return "OK resumed\n";
    case ControlRequest::Kind::Queue: {
        const EntryParse entry = parsePageEntry(parsed.request->entry);
        if (!entry.ok()) {
            logRefusal("control: refused a page: " + entry.error.value_or(entry_messages::Format));
            return "ERR " + entry.error.value_or(entry_messages::Format) + "\n";
        }
        const PageParams page = toPageParams(entry.entry);
        std::string error;
        if (m_queue) {
            error = m_queue(page);
        } else {
            PageJob job;
            job.source = TxSource::Control;
            job.page = page;
            job.level = m_station.rateLevel(page.baud);
            job.origin = "tarvex-cli";
            job.log = m_station.options().logPages;
            if (m_station.enqueue(std::move(job)) == SendResult::Refused)
                error = "the station did not take the page (closing, or its queue is full)";
        }
        if (!error.empty()) {
            m_log("control: page for RIC " + page.ric + " not taken: " + error);
            return "ERR " + error + "\n";
        }
        m_log("control: page for RIC " + page.ric + " queued");
        return "OK queued RIC " + page.ric + "\n";
    }
    case ControlRequest::Kind::Search:
        return startSearch(*parsed.request);
    }
    return "ERR unknown request\n";
}

std::string ControlServer::startSearch(const ControlRequest& request) {
    const RequestedSearch search = startRequestedSearch(m_station, request, "tarvex-cli");
    if (!search.started) {
        m_log("control: " + search.what + " not started: " + search.why);
        return "ERR " + search.why + "\n";
    }
    m_log("control: " + search.what + " started");
    return "OK started the " + search.what +
           " (tarvex-cli status follows it, tarvex-cli stop ends it)\n";
}

void ControlServer::reply(QLocalSocket* socket, const std::string& text) {
    if (socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    socket->write(text.data(), static_cast<qint64>(text.size()));
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace tarvex
