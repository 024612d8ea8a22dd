#include "network/intake/page_intake.h"

#include "network/charset.h"

#include "encoder/conversions.h"

#include <chrono>
#include <utility>

namespace tarvex {

namespace {

int64_t systemNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

/// The characters a numeric pager shows: digits, space, '-', '[' and ']'.
bool isNumericText(std::string_view text) {
    for (const char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && c != ' ' && c != '-' && c != '[' && c != ']')
            return false;
    }
    return true;
}

/// Only a checked login is counted as itself: a name anyone may claim is counted with the
/// address it came from, so that rotating names buys no more pages.
std::string rateKey(const Submission& s) {
    return s.verified && !s.login.empty() ? "login " + s.login : "peer " + addressKey(s.peer);
}

constexpr int TroubleLinesPerPeer = 3;
constexpr int TroubleLinesInAll = 20;

} // namespace

std::string originOf(std::string_view login, std::string_view peer, bool verified) {
    // The origin travels with the page into the queue, the logs and the station's status.
    std::string origin(peer);
    if (!login.empty())
        origin = verified ? std::string(login) + "@" + origin
                          : origin + " (claims " + std::string(login) + ")";
    return escapeControls(origin);
}

struct PageIntake::Prepared {
    Pager pager;
    std::string bytes;
    std::vector<CharChange> changes;
};

PageIntake::PageIntake(DirectoryWatch& directory, PageSink& sink, InboundLimits limits,
                       ServiceLogger log, Clock clock)
    : m_directory(directory), m_sink(sink), m_limits(limits), m_log(std::move(log)),
      m_clock(clock ? std::move(clock) : Clock(systemNowMs)), m_pages(limits.pagesPerMinute),
      m_loginFailures(limits.loginFailuresPerMinute),
      m_troubleLines(TroubleLinesPerPeer, TroubleLinesInAll) {}

int64_t PageIntake::nowMs() const {
    return m_clock();
}

void PageIntake::log(const std::string& line, LogLevel level) {
    if (!m_log)
        return;
    const std::lock_guard lock(m_logMutex);
    m_log.log(level, escapeControls(line)); // names and IDs from clients must not break the line
}

std::optional<Pager> PageIntake::find(std::string_view id) {
    const auto directory = m_directory.current();
    const Pager* pager = directory->find(id);
    return pager != nullptr ? std::optional<Pager>(*pager) : std::nullopt;
}

bool PageIntake::loginAttemptAllowed(const std::string& peer) {
    const std::lock_guard lock(m_rateMutex);
    return m_loginFailures.remaining(addressKey(peer), nowMs()) > 0;
}

void PageIntake::loginFailed(const std::string& peer) {
    const std::lock_guard lock(m_rateMutex);
    m_loginFailures.take(addressKey(peer), 1, nowMs());
}

void PageIntake::logRefusal(const std::string& peer, const std::string& line) {
    std::optional<std::string> admitted;
    {
        const std::lock_guard lock(m_rateMutex);
        admitted = m_troubleLines.admit(addressKey(peer), line, nowMs());
    }
    if (admitted)
        log(*admitted, LogLevel::Warning);
}

IntakeResult PageIntake::prepare(const Submission& s, std::vector<Prepared>& pages) {
    IntakeResult result;
    const auto directory = m_directory.current();
    for (const auto& id : s.recipients) {
        const Pager* pager = s.typed && s.typed->id == id ? &*s.typed : directory->find(id);
        result.recipient = id;
        if (pager == nullptr) {
            result.status = IntakeStatus::UnknownPager;
            result.detail = "unknown pager " + id;
            return result;
        }
        Prepared page{*pager, {}, {}};
        if (pager->coding == PagerCoding::Alphanumeric) {
            PagerText text = toPagerText(s.text, pager->charset);
            page.bytes = std::move(text.bytes);
            page.changes = std::move(text.changes);
        } else {
            page.bytes = s.text;
            if (pager->coding == PagerCoding::Numeric && !isNumericText(page.bytes)) {
                result.status = IntakeStatus::NotNumeric;
                result.detail = "pager " + id + " is numeric: digits, space, '-', '[' and ']' only";
                return result;
            }
        }
        const int limit = pager->coding == PagerCoding::ToneOnly ? 0 : pager->maxLength;
        if (page.bytes.size() > static_cast<std::size_t>(limit)) {
            result.status = IntakeStatus::TooLong;
            result.limit = limit;
            result.detail = limit == 0
                                ? "pager " + id + " is tone only and takes no text"
                                : "message too long for pager " + id + ": " +
                                      std::to_string(page.bytes.size()) +
                                      " characters, it takes at most " + std::to_string(limit);
            return result;
        }
        pages.push_back(std::move(page));
    }
    result.recipient.clear();
    return result;
}

IntakeResult PageIntake::commit(const Submission& s, const std::vector<Prepared>& pages) {
    IntakeResult result;
    std::vector<CharChange> allChanges;
    // The sender's own name for the message travels with the origin, so that every line
    // about the page (queued, sent, confirmed) carries it; a long one is marked as cut.
    constexpr std::size_t LongestReference = 64;
    const std::string reference = s.reference.size() > LongestReference
                                      ? s.reference.substr(0, LongestReference) + "... (" +
                                            std::to_string(s.reference.size()) + " bytes)"
                                      : s.reference;
    const std::string origin = originOf(s.login, s.peer, s.verified) +
                               (reference.empty() ? "" : " messageID " + escapeControls(reference));
    for (const auto& page : pages) {
        QueuedPage entry;
        entry.acceptedAtMs = nowMs();
        entry.source = s.source;
        entry.origin = origin;
        entry.recipient = page.pager.id;
        entry.page = pageFor(page.pager, page.bytes);
        std::string error;
        const auto id = m_sink.accept(entry, &error);
        if (!id) {
            result.status = error.rfind(PageQueueFull, 0) == 0 ? IntakeStatus::QueueFull
                                                               : IntakeStatus::QueueFailed;
            result.recipient = page.pager.id;
            result.detail = "page for " + page.pager.id + " not queued: " + error;
            log(s.source + ": " + result.detail + " (from " + origin + ")");
            break;
        }
        result.queued.emplace_back(page.pager.id, *id);
        const std::string changed =
            page.changes.empty() ? std::string() : "; changed " + describeChanges(page.changes);
        log(s.source + ": page for " + page.pager.id + " from " + origin + " queued as #" +
            std::to_string(*id) + " (" + std::to_string(page.bytes.size()) + " characters" +
            changed + ")");
        allChanges.insert(allChanges.end(), page.changes.begin(), page.changes.end());
    }
    result.changes = allChanges.empty() ? std::string() : describeChanges(allChanges);
    return result;
}

IntakeResult PageIntake::commitReady(const Submission& s) {
    IntakeResult result;
    QueuedPage entry;
    entry.acceptedAtMs = nowMs();
    entry.source = s.source;
    entry.origin = originOf(s.login, s.peer, s.verified);
    entry.recipient = s.ready->ric;
    entry.page = *s.ready;
    const std::string what = s.source + ": page" + (s.reference.empty() ? "" : " " + s.reference) +
                             " for RIC " + s.ready->ric;
    std::string error;
    const auto id = m_sink.accept(entry, &error);
    if (!id) {
        result.status = error.rfind(PageQueueFull, 0) == 0 ? IntakeStatus::QueueFull
                                                           : IntakeStatus::QueueFailed;
        result.recipient = s.ready->ric;
        result.detail = error;
        log(what + " could not be queued (" + error + ")");
        return result;
    }
    result.queued.emplace_back(s.ready->ric, *id);
    log(what + " queued as #" + std::to_string(*id) + " (" +
        std::to_string(s.ready->message.size()) + " characters)");
    return result;
}

IntakeResult PageIntake::submit(const Submission& s) {
    if (s.ready)
        return commitReady(s);
    const std::string origin = originOf(s.login, s.peer, s.verified);
    if (s.recipients.empty())
        return {IntakeStatus::NoRecipients, "no recipient", {}, 0, {}, {}};
    std::vector<Prepared> pages;
    IntakeResult checked = prepare(s, pages);
    if (checked.status != IntakeStatus::Queued) {
        log(s.source + ": refused a message from " + origin + ": " + checked.detail);
        return checked;
    }
    {
        const std::lock_guard lock(m_rateMutex);
        if (!m_pages.take(rateKey(s), static_cast<int>(pages.size()), nowMs())) {
            IntakeResult limited{IntakeStatus::RateLimited,
                                 "more than " + std::to_string(m_limits.pagesPerMinute) +
                                     " pages a minute from " + origin,
                                 {},
                                 m_limits.pagesPerMinute,
                                 {},
                                 {}};
            log(s.source + ": refused a message from " + origin + ": " + limited.detail);
            return limited;
        }
    }
    return commit(s, pages);
}

} // namespace tarvex
