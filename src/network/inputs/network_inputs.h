#pragma once
// The network inputs of a station as one piece: the durable queue as the engine's feed, the
// pager directory, the SNPP and WCTP servers and the DAPNET link with its time slots, each as
// its settings say. tarvexd and the desktop program start it alike, and show its status.
#include "network/inputs/durable_feed.h"
#include "network/inputs/network_settings.h"
#include "network/wctp/http_app.h"
#include "network/wctp/wctp_http.h"
#include "station/health.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

namespace tarvex {

class DapnetLink;
class DirectoryWatch;
class PagerDirectory;
class PageIntake;
class SnppServer;
class UserFileAuthenticator;
class WctpServer;

class NetworkInputs : public QObject {
    Q_OBJECT
public:
    /// `folder` is the station folder (queue, directory, logins); `log` is called from any
    /// thread.
    NetworkInputs(Station& station, std::string folder, ServiceLogger log,
                  QObject* parent = nullptr);
    ~NetworkInputs() override;

    /// Opens the queue (pages left from the last run go out first) and starts what the
    /// settings switch on. False with *error when the queue cannot be opened: no input can
    /// run without it. A server that cannot listen is logged and tried again after 2 s,
    /// doubling up to a minute; the others run meanwhile.
    bool start(const NetworkSettings& settings, std::string* error);
    /// Stops the servers and the link; the queue keeps what it holds.
    void stop();
    /// What GET /metrics and /health answer (called from the HTTP server's threads); set
    /// before start() for the pages to be served.
    void setStatusPages(std::function<StatusPage(std::string_view)> pages) {
        m_statusPages = std::move(pages);
    }

    /// The web interface and its API, served beside the status pages; set before start().
    void setWebApp(std::shared_ptr<HttpApp> app) { m_webApp = std::move(app); }
    /// The pager directory as the file holds it now (read again only when it changed), for
    /// the inputs and the front ends alike.
    std::shared_ptr<const PagerDirectory> pagers();
    /// The pages waiting in the page queue, oldest first, at most `limit`.
    std::vector<QueuedPage> waitingPages(std::size_t limit);

    /// "network: SNPP on 127.0.0.1:444, WCTP off, 2 pages waiting" and the DAPNET line.
    std::string statusText();
    /// The inputs' part of the station's health: each server, the page queue's length and
    /// oldest page, the pager directory, the DAPNET link.
    void fillHealth(HealthFacts& facts);
    DapnetLink* dapnet() { return m_dapnet.get(); }
    DurableFeed* feed() { return m_feed.get(); }
    uint16_t snppPort() const;
    uint16_t wctpPort() const;

signals:
    void statusChanged();

private:
    class LinkSlots;
    static constexpr int FirstRetryMs = 2000;
    static constexpr int LastRetryMs = 60000;
    void startServers();

    Station& m_station;
    std::string m_folder;
    ServiceLogger m_log;
    std::unique_ptr<DurableQueue> m_queue;
    std::unique_ptr<DurableFeed> m_feed;
    std::unique_ptr<DirectoryWatch> m_directory;
    std::unique_ptr<PageIntake> m_intake;
    std::unique_ptr<UserFileAuthenticator> m_users;
    std::unique_ptr<SnppServer> m_snpp;
    std::unique_ptr<WctpServer> m_wctp;
    std::unique_ptr<DapnetLink> m_dapnet;
    std::unique_ptr<LinkSlots> m_slots;
    std::string m_snppText = "SNPP off";
    std::string m_wctpText = "WCTP off";
    NetworkSettings m_settings;
    std::function<StatusPage(std::string_view)> m_statusPages;
    std::shared_ptr<HttpApp> m_webApp;
    QTimer m_retry;
    int m_retryMs = FirstRetryMs;
};

} // namespace tarvex
