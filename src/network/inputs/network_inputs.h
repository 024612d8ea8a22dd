#pragma once
// The network inputs of a station as one piece: the durable queue as the engine's feed, the
// pager directory, the page intake and the logins they share, and every registered input
// (network_input.h), each started as its settings say. tarvexd and the desktop program start
// it alike, and show its status. It lives on the engine's thread; the inputs run on their
// own, and what they do reaches this thread at two explicit points only: pages through the
// intake and the durable queue (which wake the engine), and statusChanged(), which an input
// may ask for from its thread and which is emitted here.
#include "network/inputs/durable_feed.h"
#include "network/inputs/network_input.h"
#include "network/inputs/network_settings.h"
#include "network/intake/page_intake.h"
#include "network/wctp/http_app.h"
#include "network/wctp/wctp_http.h"
#include "station/health.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace tarvex {

class DirectoryWatch;
class PagerDirectory;
class UserFileAuthenticator;

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
    /// run without it. An input that cannot start (a server that cannot listen) is logged and
    /// tried again after 2 s, doubling up to a minute; the others run meanwhile.
    bool start(const NetworkSettings& settings, std::string* error);
    /// Stops every input; the queue keeps what it holds.
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
    /// A page from a front end's own input (the control socket), through the same intake as
    /// every input's; QueueFailed while the queue is not open.
    IntakeResult submit(const Submission& submission);

    /// "network: SNPP on 127.0.0.1:444; WCTP off; 2 network page(s) waiting" and the lines
    /// inputs add of their own (the DAPNET link's).
    std::string statusText();
    /// The inputs' part of the station's health: each input's facts, the page queue's length
    /// and oldest page, the pager directory.
    void fillHealth(HealthFacts& facts);
    DurableFeed* feed() { return m_feed.get(); }
    /// The registered input of type T, for a front end that shows more of it; null when there
    /// is none.
    template <typename T> T* find() {
        for (const auto& input : m_inputs)
            if (auto* found = dynamic_cast<T*>(input.get()))
                return found;
        return nullptr;
    }

signals:
    void statusChanged();

private:
    static constexpr int FirstRetryMs = 2000;
    static constexpr int LastRetryMs = 60000;
    void startInputs();
    /// From any thread: statusChanged() is emitted on this object's thread.
    void changedFromAnyThread();

    Station& m_station;
    std::string m_folder;
    ServiceLogger m_log;
    std::unique_ptr<DurableQueue> m_queue;
    std::unique_ptr<DurableFeed> m_feed;
    std::unique_ptr<DirectoryWatch> m_directory;
    std::unique_ptr<PageIntake> m_intake;
    std::unique_ptr<UserFileAuthenticator> m_users;
    std::vector<std::unique_ptr<NetworkInput>> m_inputs;
    std::vector<NetworkInput*> m_notStarted; ///< to be tried again
    NetworkSettings m_settings;
    std::unique_ptr<InputContext> m_context; ///< while the inputs run
    std::function<StatusPage(std::string_view)> m_statusPages;
    std::shared_ptr<HttpApp> m_webApp;
    QTimer m_retry;
    int m_retryMs = FirstRetryMs;
};

} // namespace tarvex
