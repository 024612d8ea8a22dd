#include "network/inputs/network_inputs.h"

#include "encoder/conversions.h"
#include "network/dapnet/auth_key_file.h"
#include "network/dapnet/dapnet_link.h"
#include "network/intake/directory_watch.h"
#include "network/intake/page_intake.h"
#include "network/intake/user_store.h"
#include "network/pager_directory.h"
#include "network/snpp/snpp_server.h"
#include "network/wctp/wctp_server.h"

#include <chrono>

namespace tarvex {

/// The DAPNET link's allowed time slots as the engine plans its key-ups.
class NetworkInputs::LinkSlots : public SlotPlanner {
public:
    explicit LinkSlots(DapnetLink& link) : m_link(link) {}
    int64_t remainingMs(int64_t unixMs) override {
        const TimeSlots allowed = m_link.allowedSlots();
        const int64_t left = allowed.remainingMs(unixMs);
        return left == TimeSlots::Forever ? std::numeric_limits<int64_t>::max() : left;
    }
    std::optional<int64_t> nextRunStart(int64_t unixMs) override {
        return m_link.allowedSlots().nextRunStart(unixMs);
    }
    int64_t longestRunMs() override { return m_link.allowedSlots().longestRunMs(); }

private:
    DapnetLink& m_link;
};

NetworkInputs::NetworkInputs(Station& station, std::string folder, ServiceLogger log,
                             QObject* parent)
    : QObject(parent), m_station(station), m_folder(std::move(folder)),
      // Every input logs through here: whatever text of a client or server a line carries,
      // its control characters are escaped so that it stays one line.
      m_log([log = std::move(log)](LogLevel level, const std::string& line) {
          log.log(level, escapeControls(line));
      }) {
    m_directory = std::make_unique<DirectoryWatch>(m_folder + PagerDirectoryFile, m_log);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &NetworkInputs::startServers);
}

NetworkInputs::~NetworkInputs() {
    stop();
}

namespace {

std::string listening(const std::string& name, const std::vector<std::string>& addresses,
                      uint16_t port) {
    std::string text = std::string(name) + " on ";
    for (std::size_t i = 0; i < addresses.size(); ++i)
        text += (i ? ", " : "") +
                (addresses[i].find(':') != std::string::npos ? "[" + addresses[i] + "]"
                                                             : addresses[i]) +
                ":" + std::to_string(port);
    return text;
}

} // namespace

bool NetworkInputs::start(const NetworkSettings& s, std::string* error) {
    stop();
    if (!m_queue) {
        m_queue = DurableQueue::open(m_folder + DurableQueueFile, error);
        if (!m_queue)
            return false;
        m_feed = std::make_unique<DurableFeed>(*m_queue, m_station, m_log,
                                               int64_t{s.maxAgeMinutes} * 60000);
        m_station.setFeed(m_feed.get());
        if (const std::size_t left = m_queue->size(); left > 0)
            m_log(std::to_string(left) + " page(s) left in the queue from the last run go first");
        m_station.wake();
    }
    m_feed->setMaxAge(int64_t{s.maxAgeMinutes} * 60000);
    // The log shows a page as its pager shows it: the bytes read back through its set.
    m_feed->setDescribe([directory = m_directory.get()](const QueuedPage& page, PageJob& job) {
        const auto pagers = directory->current();
        const Pager* pager = pagers ? pagers->find(page.recipient) : nullptr;
        const Charset set = pager ? pager->charset : Charset::UsAscii;
        job.logMessage = fromPagerText(page.page.message, set);
        job.charset = std::string(charsetCode(set));
    });
    m_intake = std::make_unique<PageIntake>(*m_directory, *m_feed, s.limits, m_log);
    m_users = std::make_unique<UserFileAuthenticator>(m_folder + SnppUsersFile, m_log);
    m_settings = s;
    m_retryMs = FirstRetryMs;
    startServers();
    if (s.dapnet.enabled) {
        m_dapnet = std::make_unique<DapnetLink>(*m_feed, m_log);
        connect(m_dapnet.get(), &DapnetLink::statusChanged, this, &NetworkInputs::statusChanged);
        m_slots = std::make_unique<LinkSlots>(*m_dapnet);
        // While the link is on the station keys only inside its slots, whatever asks.
        m_station.setSlotPlanner(m_slots.get());
        const std::string why = m_dapnet->apply(s.dapnet);
        if (!why.empty())
            m_log.error("DAPNET: " + why);
    }
    emit statusChanged();
    return true;
}

void NetworkInputs::startServers() {
    const NetworkSettings& s = m_settings;
    const std::string retry = " (tried again in " + std::to_string(m_retryMs / 1000) + " s)";
    bool missing = false;
    if (s.snpp.enabled && !m_snpp) {
        auto server = std::make_unique<SnppServer>(
            SnppServerConfig{s.snpp.listen, s.snpp.port, s.requireLogin}, *m_intake, m_users.get());
        std::string why;
        if (server->start(&why)) {
            m_snpp = std::move(server);
            m_snppText = listening("SNPP", m_snpp->addresses(), m_snpp->port());
            m_log(m_snppText);
        } else {
            m_snppText = "SNPP not running: " + why;
            m_log.error(m_snppText + retry);
            missing = true;
        }
    }
    const bool statusPages = s.statusPages && m_statusPages;
    if ((s.wctp.enabled || statusPages) && !m_wctp) {
        WctpServerConfig config{s.wctp.listen, s.wctp.port, s.requireLogin};
        config.wctp = s.wctp.enabled;
        if (statusPages) {
            config.statusPages = m_statusPages;
            config.app = m_webApp;
        }
        auto server = std::make_unique<WctpServer>(config, *m_intake, m_users.get());
        const std::string name = s.wctp.enabled ? "WCTP" : "HTTP status pages";
        std::string why;
        if (server->start(&why)) {
            m_wctp = std::move(server);
            m_wctpText =
                listening(name, m_wctp->addresses(), m_wctp->port()) +
                (s.wctp.enabled ? " (POST /wctp" : " (") +
                (statusPages ? std::string(s.wctp.enabled ? ", " : "") + "GET /metrics, /health" +
                                   (m_webApp ? ", the web interface)" : ")")
                             : ")");
            m_log(m_wctpText);
        } else {
            m_wctpText = name + " not running: " + why;
            m_log.error(m_wctpText + retry);
            missing = true;
        }
    }
    // A port another program holds (or an address not yet up) is tried again, less and less
    // often, until the server runs; status shows it as not running meanwhile.
    if (missing) {
        m_retry.start(m_retryMs);
        m_retryMs = std::min(m_retryMs * 2, LastRetryMs);
    }
    emit statusChanged();
}

void NetworkInputs::stop() {
    m_retry.stop();
    if (m_dapnet) {
        m_station.setSlotPlanner(nullptr);
        m_dapnet->stop();
        m_dapnet.reset();
        m_slots.reset();
    }
    if (m_snpp)
        m_snpp->stop();
    if (m_wctp)
        m_wctp->stop();
    m_snpp.reset();
    m_wctp.reset();
    if (m_feed)
        m_feed->setDescribe({});
    m_intake.reset();
    m_users.reset();
    m_snppText = "SNPP off";
    m_wctpText = "WCTP off";
    m_settings.snpp.enabled = false;
    m_settings.wctp.enabled = false;
    m_settings.statusPages = false;
}

uint16_t NetworkInputs::snppPort() const {
    return m_snpp ? m_snpp->port() : 0;
}

uint16_t NetworkInputs::wctpPort() const {
    return m_wctp ? m_wctp->port() : 0;
}

void NetworkInputs::fillHealth(HealthFacts& facts) {
    facts.inputs = {{"SNPP", m_settings.snpp.enabled, m_snpp != nullptr, m_snppText},
                    {m_settings.wctp.enabled ? "WCTP" : "HTTP",
                     m_settings.wctp.enabled || (m_settings.statusPages && m_statusPages),
                     m_wctp != nullptr, m_wctpText}};
    facts.waiting = m_feed ? m_feed->waiting() : 0;
    if (m_feed)
        facts.acceptedBy = m_feed->acceptedBySource();
    std::string error;
    if (m_queue)
        if (const auto oldest = m_queue->pending(1, &error); !oldest.empty()) {
            using namespace std::chrono;
            const int64_t now =
                duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
            facts.oldestWaitingSeconds =
                std::max<int64_t>(0, (now - oldest[0].acceptedAtMs) / 1000);
        }
    facts.directoryNeeded = m_settings.snpp.enabled || m_settings.wctp.enabled;
    // Only a running server needs the directory: no stat of the file otherwise.
    if (facts.directoryNeeded) {
        m_directory->current();
        facts.directoryProblem = m_directory->problem();
    }
    facts.dapnetEnabled = m_dapnet != nullptr;
    if (m_dapnet) {
        const DapnetLinkStatus link = m_dapnet->status();
        facts.dapnetOnline = link.state == DapnetLinkState::Online;
        facts.dapnetState = std::string(dapnetLinkStateText(link.state));
        if (!link.lastError.empty() && !facts.dapnetOnline)
            facts.dapnetState += ": " + link.lastError;
        facts.clockWarning = link.clockWarning;
    }
}

std::shared_ptr<const PagerDirectory> NetworkInputs::pagers() {
    return m_directory->current();
}

std::vector<QueuedPage> NetworkInputs::waitingPages(std::size_t limit) {
    std::string error;
    return m_queue ? m_queue->pending(limit, &error) : std::vector<QueuedPage>{};
}

std::string NetworkInputs::statusText() {
    const std::size_t waiting = m_feed ? m_feed->waiting() : 0;
    std::string text = "network: " + m_snppText + "; " + m_wctpText + "; " +
                       std::to_string(waiting) + " network page(s) waiting\n";
    if (m_dapnet) {
        using namespace std::chrono;
        const int64_t now =
            duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        text += "dapnet: " + dapnetStatusLine(m_dapnet->status(), waiting, now) + "\n";
    }
    return text;
}

} // namespace tarvex
