#pragma once
// The service's control socket: a local (Unix domain) socket that only the service's owner
// and group may use, on which tarvex-cli asks for the station's status, stops what is on
// air, or hands over a page. One request line per connection, answered and closed; every
// request is bounded in length and time, and a bad one changes nothing.
#include "network/intake/rate_limiter.h"
#include "station/control_protocol.h"
#include "station/health.h"
#include "station/station.h"

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace tarvex {

class ControlServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxConnections = 16;
    static constexpr int RequestTimeoutMs = 5000;

    /// `log` gets one line per request that changes something or is refused.
    ControlServer(Station& station, std::function<void(const std::string&)> log,
                  QObject* parent = nullptr);
    ~ControlServer() override;

    /// Listens at `path` (a stale socket left by a killed service is removed first; the
    /// station hold guarantees it is not a running one's). False with *error on failure.
    bool listen(const QString& path, QString* error);
    QString path() const;

    /// Lines that `STATUS` adds after the station's own (the network inputs).
    void setStatusExtra(std::function<std::string()> extra) { m_extra = std::move(extra); }
    /// The facts the health verdict of `STATUS` (its first line) and `STATUS JSON` come from
    /// (null: the station's status alone).
    void setHealth(std::function<HealthFacts()> health) { m_health = std::move(health); }
    /// What `QUEUE` does with a page (null: the station's own queue).
    void setQueueAction(std::function<std::string(const PageParams&)> queue) {
        m_queue = std::move(queue);
    }

private:
    void accept();
    void readFrom(QLocalSocket* socket);
    std::string answer(const std::string& line);
    std::string startSearch(const ControlRequest& request);
    void reply(QLocalSocket* socket, const std::string& text);
    /// A refused request, logged a few times a minute at most.
    void logRefusal(const std::string& line);

    Station& m_station;
    std::function<void(const std::string&)> m_log;
    std::function<std::string()> m_extra;
    std::function<HealthFacts()> m_health;
    std::function<std::string(const PageParams&)> m_queue;
    QLocalServer* m_server = nullptr;
    int m_open = 0;
    LogLimit m_refusals{20, 20};
};

} // namespace tarvex
