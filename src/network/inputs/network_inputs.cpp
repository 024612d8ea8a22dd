#include "network/inputs/network_inputs.h"

#include "encoder/conversions.h"
#include "network/charset.h"
#include "network/intake/directory_watch.h"
#include "network/intake/user_store.h"
#include "network/pager_directory.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace tarvex {

NetworkInputs::NetworkInputs(Station& station, std::string folder, ServiceLogger log,
                             QObject* parent)
    : QObject(parent), m_station(station), m_folder(std::move(folder)),
      // Every input logs through here: whatever text of a client or server a line carries,
      // its control characters are escaped so that it stays one line.
      m_log([log = std::move(log)](LogLevel level, const std::string& line) {
          log.log(level, escapeControls(line));
      }) {
    m_directory = std::make_unique<DirectoryWatch>(m_folder + PagerDirectoryFile, m_log);
    for (const InputFactory make : registeredInputs())
        m_inputs.push_back(make());
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &NetworkInputs::startInputs);
}

NetworkInputs::~NetworkInputs() {
    stop();
    if (m_feed)
        m_station.removeFeed(m_feed.get());
}

bool NetworkInputs::start(const NetworkSettings& s, std::string* error) {
    stop();
    if (!m_queue) {
        m_queue = DurableQueue::open(m_folder + DurableQueueFile, error);
        if (!m_queue)
            return false;
        m_feed = std::make_unique<DurableFeed>(*m_queue, m_station, m_log,
                                               int64_t{s.maxAgeMinutes} * 60000);
        m_station.addFeed(m_feed.get());
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
    m_context = std::make_unique<InputContext>(
        InputContext{m_settings, *m_intake, m_users.get(), m_log, m_station,
                     [this] { changedFromAnyThread(); }, m_statusPages, m_webApp});
    m_notStarted.clear();
    for (const auto& input : m_inputs)
        m_notStarted.push_back(input.get());
    m_retryMs = FirstRetryMs;
    startInputs();
    return true;
}

void NetworkInputs::startInputs() {
    const std::string retry = " (tried again in " + std::to_string(m_retryMs / 1000) + " s)";
    std::vector<NetworkInput*> failed;
    for (NetworkInput* input : m_notStarted) {
        std::string why;
        if (!input->start(*m_context, &why)) {
            m_log.error(why + retry);
            failed.push_back(input);
        }
    }
    m_notStarted = std::move(failed);
    // A port another program holds (or an address not yet up) is tried again, less and less
    // often, until the input runs; status shows it as not running meanwhile.
    if (!m_notStarted.empty()) {
        m_retry.start(m_retryMs);
        m_retryMs = std::min(m_retryMs * 2, LastRetryMs);
    }
    emit statusChanged();
}

void NetworkInputs::changedFromAnyThread() {
    QMetaObject::invokeMethod(this, &NetworkInputs::statusChanged, Qt::QueuedConnection);
}

void NetworkInputs::stop() {
    m_retry.stop();
    m_notStarted.clear();
    // In the reverse order of starting; each joins its threads, so nothing of theirs runs on.
    for (auto it = m_inputs.rbegin(); it != m_inputs.rend(); ++it)
        (*it)->stop();
    m_context.reset();
    if (m_feed)
        m_feed->setDescribe({});
    m_intake.reset();
    m_users.reset();
}

IntakeResult NetworkInputs::submit(const Submission& submission) {
    if (!m_intake)
        return {IntakeStatus::QueueFailed,
                "the page queue is not open (see the service log)",
                {},
                0,
                {},
                {}};
    return m_intake->submit(submission);
}

void NetworkInputs::fillHealth(HealthFacts& facts) {
    facts.inputs.clear();
    facts.directoryNeeded = false;
    for (const auto& input : m_inputs)
        input->fillHealth(facts);
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
    // Only an input that names pagers needs the directory: no stat of the file otherwise.
    if (facts.directoryNeeded) {
        m_directory->current();
        facts.directoryProblem = m_directory->problem();
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
    HealthFacts facts;
    for (const auto& input : m_inputs)
        input->fillHealth(facts);
    std::string text = "network: ";
    for (const InputHealth& input : facts.inputs)
        text += input.text + "; ";
    text += std::to_string(waiting) + " network page(s) waiting\n";
    for (const auto& input : m_inputs)
        text += input->statusLines(waiting);
    return text;
}

} // namespace tarvex
