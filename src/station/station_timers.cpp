// What the station does on its own time: the station ident at its interval (and on a test
// request), and the auto-send poll of the drop folder.
#include "station/station.h"

#include "encoder/errors.h"
#include "paging/auto_send.h"
#include "paging/entry_format.h"
#include "txcontrol/morse_ident.h"

namespace tarvex {

namespace {
constexpr uint32_t MsPerMinute = 60000;
} // namespace

void Station::createTimers() {
    m_identTimer = m_scheduler.createTimer([this] { identTick(); }, true);
    m_identRetry = m_scheduler.createTimer([this] { identTick(); }, false);
    m_pollTimer = m_scheduler.createTimer([this] { pollAutoSend(); }, true);
    m_gather = m_scheduler.createTimer([this] { kick(); }, false);
    m_autoPace = m_scheduler.createTimer([this] { kick(); }, false);
    m_holdTimer = m_scheduler.createTimer([this] { resume(); }, false);
    m_audioRetry = m_scheduler.createTimer([this] { kick(); }, false);
    m_searchTimer = m_scheduler.createTimer([this] { searchStep(); }, false);
    m_stepTimer = m_scheduler.createTimer(
        [this] {
            if (m_step)
                std::exchange(m_step, nullptr)();
        },
        false);
}

void Station::stopTimers() {
    m_identTimer->stop();
    m_identRetry->stop();
    m_pollTimer->stop();
    m_progressTimer->stop();
    m_gather->stop();
    m_autoPace->stop();
    m_holdTimer->stop();
    m_audioRetry->stop();
    m_searchTimer->stop();
}

// ---- the station ident ------------------------------------------------------------------

void Station::setIdent(const IdentSettings& settings) {
    const bool intervalChanged = settings.minutes != m_ident.minutes;
    m_ident = settings;
    if (intervalChanged)
        applyIdentTimer();
}

void Station::setIdentTimerEnabled(bool on) {
    m_identTimerEnabled = on;
    applyIdentTimer();
}

void Station::applyIdentTimer() {
    // An interval of 0 never fires: such a timer stays off.
    if (m_identTimerEnabled && m_ident.minutes > 0 && !m_closing)
        m_identTimer->start(static_cast<uint32_t>(m_ident.minutes) * MsPerMinute);
    else
        m_identTimer->stop();
}

bool Station::sendIdent(bool test) {
    if (test)
        m_identTest = true;
    if (m_closing || (m_ident.minutes < 1 && !m_identTest) || m_ident.callsign.empty() ||
        m_identInProgress)
        return false;
    if (m_busy) {
        // Sending now would cut the transmission on air short: try again once it has left.
        m_identRetry->start(IdentRetryMs);
        return false;
    }
    m_busy = true;
    if (launchIdent())
        return true;
    runNext();
    return false;
}

void Station::identTick() {
    sendIdent(false);
}

bool Station::launchIdent() {
    m_identTest = false;
    Flight f;
    f.out.kind = TxKind::Ident;
    f.out.source = TxSource::Ident;
    f.settle = false;
    f.keyUp.identLevel = m_ident.level;
    try {
        // Built before keying: a callsign that cannot be sent never keys the transmitter.
        f.out.codewords = BuildMorseIdent(m_encoder.CodewordBuffer, m_ident.callsign);
    } catch (const Error& e) {
        f.out.built = false;
        f.out.refusal = Refusal::Other;
        f.out.error = e.what();
        finish(f.out, false, nullptr);
        return false;
    }
    if (f.out.codewords == 0)
        return false; // nothing of the callsign has a Morse code
    m_identInProgress = true;
    m_identTimer->stop();
    f.keyUpMs = keyUpMs(static_cast<int>(MorseBaud), static_cast<std::size_t>(f.out.codewords),
                        false, true);
    f.keyUp.stream = streamFromSlot(m_encoder.CodewordBuffer, SlotBuffer::IdentFirstSlot);
    launch(std::move(f));
    return true;
}

// ---- auto send --------------------------------------------------------------------------

void Station::setAutoSend(const AutoSendSettings& settings) {
    const bool switched = settings.enabled != m_autoSend.enabled;
    const bool rateChanged = settings.checkRateSeconds != m_autoSend.checkRateSeconds;
    m_autoSend = settings;
    if (switched)
        m_failedPolls = 0; // switching off and on is how the operator clears a failed poll
    // While taken entries wait the timer stays off; the last of them switches it on.
    if (!m_autoSend.enabled || m_closing)
        m_pollTimer->stop();
    else if (m_autoPending.empty() && !m_autoRunning &&
             (switched || rateChanged || !m_pollTimer->active()))
        restartPollTimer();
}

void Station::restartPollTimer() {
    if (m_autoSend.enabled && !m_closing)
        m_pollTimer->start(static_cast<uint32_t>(m_autoSend.checkRateSeconds) * 1000u);
}

void Station::refused(const std::string& text) {
    tellAutoSend(StationEvent::Kind::Refused, text);
}

void Station::tellAutoSend(StationEvent::Kind kind, const std::string& text) {
    StationEvent e;
    e.kind = kind;
    e.source = TxSource::AutoSend;
    e.text = text;
    publish(std::move(e));
    logNote(text);
}

std::string Station::autoSendFile() const {
    return m_autoSend.fileName.empty() ? DefaultAutoSendFile : m_autoSend.fileName;
}

std::string Station::autoSendLock() const {
    return m_autoSend.lockName.empty() ? DefaultLockFile : m_autoSend.lockName;
}

void Station::pollAutoSend() {
    // A search owns the transmitter while it runs, and after STOP nothing new is taken until
    // the hold ends: the timer keeps running and the poll waits.
    if (m_identInProgress || m_autoSendHeld || m_search.running || m_closing || m_held ||
        m_autoRunning || !m_autoPending.empty())
        return;
    const std::string fileName = autoSendFile();
    const std::string lockName = autoSendLock();
    const AutoSendTake take = takeAutoSendLines(autoSendPath(m_autoSend.folder, fileName),
                                                autoSendPath(m_autoSend.folder, lockName),
                                                SecondsSince2000(), &m_leftLock);
    if (take.error)
        refused("Auto send: " + *take.error);
    for (const std::string& entry : take.send) {
        const EntryParse parsed = parsePageEntry(entry);
        if (!parsed.ok()) {
            refused(fileName + " entry \"" + entry +
                    "\" not sent: " + parsed.error.value_or(entry_messages::Format));
            continue;
        }
        PageJob job;
        job.source = TxSource::AutoSend;
        job.page = toPageParams(parsed.entry);
        job.level = rateLevel(job.page.baud);
        job.log = m_logPages;
        job.returnable = true;
        job.finished = [this, ric = job.page.ric](const TxOutcome& out) {
            if (!out.built && out.refusal != Refusal::None)
                refused("Auto send RIC " + ric + " not sent: " + out.error);
        };
        m_autoPending.push_back({entry, std::move(job)});
    }
    // After an input/output error the timer stays off until auto send is switched off and on.
    if (take.error) {
        ++m_failedPolls;
        m_pollTimer->stop();
    } else if (!m_autoPending.empty()) {
        m_pollTimer->stop(); // the next poll once these have gone
    }
    kick();
}

bool Station::launchAutoEntry() {
    while (!m_autoPending.empty()) {
        if (m_autoPaced) {
            const auto left = static_cast<int32_t>(m_autoDueAt - m_clock.tickMs());
            if (left > 0) {
                if (!m_autoPace->active())
                    m_autoPace->start(static_cast<uint32_t>(left));
                return false;
            }
            m_autoPaced = false;
        }
        AutoSendEntry entry = std::move(m_autoPending.front());
        m_autoPending.pop_front();
        m_autoRunning = true;
        SendResult result;
        if (launchPage(
                std::move(entry.job), [this, text = entry.text] { autoEntryEnded(text); }, &result))
            return true;
    }
    return false;
}

void Station::autoEntryEnded(const std::string& text) {
    m_autoRunning = false;
    const TxOutcome& out = *m_last;
    if (!out.sounded && (out.stopped || out.closing)) {
        returnAutoEntries({text}, out.closing ? "the station is closing" : "stopped");
    } else if (m_autoSend.autoDelaySeconds > 0) {
        m_autoPaced = true;
        m_autoDueAt = m_clock.tickMs() + static_cast<uint32_t>(m_autoSend.autoDelaySeconds) * 1000u;
    }
    if (m_autoPending.empty() && m_failedPolls == 0)
        restartPollTimer();
}

std::vector<std::string> Station::takeAutoEntries() {
    std::vector<std::string> entries;
    for (AutoSendEntry& entry : m_autoPending)
        entries.push_back(std::move(entry.text));
    m_autoPending.clear();
    return entries;
}

void Station::returnAutoEntries(std::vector<std::string> entries, const std::string& why) {
    if (entries.empty())
        return;
    tellAutoSend(StationEvent::Kind::Note, std::to_string(entries.size()) + " auto-send entr" +
                                               (entries.size() == 1 ? "y" : "ies") +
                                               " taken and not sent (" + why + ") go back to " +
                                               autoSendFile());
    // Handed back in front of what is already waiting to go back: they were taken later.
    m_autoReturns.insert(m_autoReturns.begin(), entries.begin(), entries.end());
    if (!m_busy)
        flushAutoReturns();
}

void Station::flushAutoReturns() {
    if (m_autoReturns.empty())
        return;
    std::vector<std::string> entries;
    entries.swap(m_autoReturns);
    const std::string fileName = autoSendFile();
    const std::string lockName = autoSendLock();
    if (const auto error =
            returnAutoSendEntries(autoSendPath(m_autoSend.folder, fileName),
                                  autoSendPath(m_autoSend.folder, lockName), entries))
        refused("Auto send: " + *error);
}

} // namespace tarvex
