#include "station/auto_send_input.h"

#include "paging/auto_send.h"
#include "paging/entry_format.h"

namespace tarvex {

AutoSendInput::AutoSendInput(Station& station, Scheduler& scheduler, TickClock& clock)
    : m_station(station), m_clock(clock) {
    m_pollTimer = scheduler.createTimer([this] { poll(); }, true);
    m_pace = scheduler.createTimer([this] { m_station.wake(0); }, false);
    // What goes back to the file is written once the transmitter is free.
    m_listener = m_station.subscribe([this](const StationEvent& e) {
        if (e.kind == StationEvent::Kind::State && !m_station.busy())
            flushReturns();
    });
    m_station.addFeed(this);
}

AutoSendInput::~AutoSendInput() {
    m_station.removeFeed(this);
    m_station.unsubscribe(m_listener);
}

void AutoSendInput::setSettings(const AutoSendSettings& settings) {
    const bool switched = settings.enabled != m_settings.enabled;
    const bool rateChanged = settings.checkRateSeconds != m_settings.checkRateSeconds;
    m_settings = settings;
    if (switched)
        m_failedPolls = 0; // switching off and on is how the operator clears a failed poll
    // While taken entries wait the timer stays off; the last of them switches it on.
    if (!m_settings.enabled || m_closing)
        m_pollTimer->stop();
    else if (m_pending.empty() && !m_running && (switched || rateChanged || !m_pollTimer->active()))
        restartPollTimer();
}

AutoSendInput::Status AutoSendInput::status() const {
    Status s;
    s.enabled = m_settings.enabled;
    s.timer = m_pollTimer->active();
    s.waiting = m_pending.size();
    s.failedPolls = m_failedPolls;
    return s;
}

void AutoSendInput::restartPollTimer() {
    if (m_settings.enabled && !m_closing)
        m_pollTimer->start(static_cast<uint32_t>(m_settings.checkRateSeconds) * 1000u);
}

void AutoSendInput::refused(const std::string& text) {
    m_station.report(StationEvent::Kind::Refused, TxSource::AutoSend, text);
}

std::string AutoSendInput::fileName() const {
    return m_settings.fileName.empty() ? DefaultAutoSendFile : m_settings.fileName;
}

std::string AutoSendInput::lockName() const {
    return m_settings.lockName.empty() ? DefaultLockFile : m_settings.lockName;
}

void AutoSendInput::poll() {
    // A search owns the transmitter while it runs, and after STOP nothing new is taken until
    // the hold ends: the timer keeps running and the poll waits.
    const StationStatus station = m_station.status();
    if (station.identInProgress || m_held || station.search || m_closing || station.heldMs > 0 ||
        m_running || !m_pending.empty())
        return;
    const AutoSendTake take = takeAutoSendLines(autoSendPath(m_settings.folder, fileName()),
                                                autoSendPath(m_settings.folder, lockName()),
                                                SecondsSince2000(), &m_leftLock);
    if (take.error)
        refused("Auto send: " + *take.error);
    for (const std::string& entry : take.send) {
        const EntryParse parsed = parsePageEntry(entry);
        if (!parsed.ok()) {
            refused(fileName() + " entry \"" + entry +
                    "\" not sent: " + parsed.error.value_or(entry_messages::Format));
            continue;
        }
        PageJob job;
        job.source = TxSource::AutoSend;
        job.page = toPageParams(parsed.entry);
        job.level = m_station.rateLevel(job.page.baud);
        job.log = m_station.options().logPages;
        job.returnable = true;
        // An entry may outlive the input that took it (the engine still carries it when the
        // input goes): then nobody is told.
        job.finished = [this, alive = std::weak_ptr<bool>(m_alive),
                        text = entry](const TxOutcome& out) {
            if (alive.lock())
                ended(text, out);
        };
        m_pending.push_back({entry, std::move(job)});
    }
    // After an input/output error the timer stays off until auto send is switched off and on.
    if (take.error) {
        ++m_failedPolls;
        m_pollTimer->stop();
    } else if (!m_pending.empty()) {
        m_pollTimer->stop(); // the next poll once these have gone
    }
    if (!m_pending.empty())
        m_station.wake(0);
}

std::vector<PageJob> AutoSendInput::next(std::size_t limit) {
    if (m_pending.empty() || limit == 0 || m_closing)
        return {};
    if (m_paced) {
        const auto left = static_cast<int32_t>(m_dueAt - m_clock.tickMs());
        if (left > 0) {
            if (!m_pace->active())
                m_pace->start(static_cast<uint32_t>(left));
            return {};
        }
        m_paced = false;
    }
    Entry entry = std::move(m_pending.front());
    m_pending.pop_front();
    m_running = true;
    std::vector<PageJob> jobs;
    jobs.push_back(std::move(entry.job));
    return jobs;
}

void AutoSendInput::ended(const std::string& text, const TxOutcome& out) {
    m_running = false;
    if (!out.built && out.refusal != Refusal::None)
        refused("Auto send RIC " + out.ric + " not sent: " + out.error);
    if (!out.sounded && (out.stopped || out.closing)) {
        giveBack({text}, out.closing ? "the station is closing" : "stopped");
    } else if (m_settings.autoDelaySeconds > 0) {
        m_paced = true;
        m_dueAt = m_clock.tickMs() + static_cast<uint32_t>(m_settings.autoDelaySeconds) * 1000u;
    }
    if (m_pending.empty() && m_failedPolls == 0)
        restartPollTimer();
}

void AutoSendInput::stopped() {
    // Taken and not sent: back to the file, and the next poll an interval after the stop.
    std::vector<std::string> entries = takePending();
    m_paced = false;
    m_pace->stop();
    giveBack(std::move(entries), "stopped");
    if (m_failedPolls == 0)
        restartPollTimer();
}

void AutoSendInput::closing() {
    m_closing = true;
    m_pollTimer->stop();
    m_pace->stop();
    // The transmitter is released: the entries go back before the program ends.
    giveBack(takePending(), "the station is closing");
    flushReturns();
}

std::vector<std::string> AutoSendInput::takePending() {
    std::vector<std::string> entries;
    for (Entry& entry : m_pending)
        entries.push_back(std::move(entry.text));
    m_pending.clear();
    return entries;
}

void AutoSendInput::giveBack(std::vector<std::string> entries, const std::string& why) {
    if (entries.empty())
        return;
    m_station.report(StationEvent::Kind::Note, TxSource::AutoSend,
                     std::to_string(entries.size()) + " auto-send entr" +
                         (entries.size() == 1 ? "y" : "ies") + " taken and not sent (" + why +
                         ") go back to " + fileName());
    // Handed back in front of what is already waiting to go back: they were taken later.
    m_returns.insert(m_returns.begin(), entries.begin(), entries.end());
    if (!m_station.busy())
        flushReturns();
}

void AutoSendInput::flushReturns() {
    if (m_returns.empty())
        return;
    std::vector<std::string> entries;
    entries.swap(m_returns);
    if (const auto error =
            returnAutoSendEntries(autoSendPath(m_settings.folder, fileName()),
                                  autoSendPath(m_settings.folder, lockName()), entries))
        refused("Auto send: " + *error);
}

} // namespace tarvex
