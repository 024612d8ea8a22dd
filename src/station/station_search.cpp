// The searches: a range of RIC/CAP codes, one page per code, or fast-search blocks of 256
// codes. Each step sends one code as an ordinary transmission; the gap after it is a timer,
// so the event loop, STOP and every other input stay live between codes.
#include "station/station.h"

#include "encoder/codeword.h"
#include "paging/fast_search.h"

#include <algorithm>

namespace tarvex {

std::string_view searchEndName(SearchEnd end) {
    switch (end) {
    case SearchEnd::Done:
        return "done";
    case SearchEnd::Stopped:
        return "stopped";
    case SearchEnd::Cancelled:
        return "cancelled";
    case SearchEnd::Closing:
        return "closing";
    case SearchEnd::Failed:
        return "failed";
    }
    return "done";
}

std::string Station::searchCodeText(int64_t code) {
    std::string text = std::to_string(code);
    if (text.size() < 7)
        text.insert(0, 7 - text.size(), '0');
    return text;
}

bool Station::startSearch(SearchJob job, std::string* why) {
    const auto refuse = [why](std::string text) {
        if (why != nullptr)
            *why = std::move(text);
        return false;
    };
    if (m_closing)
        return refuse("the station is closing");
    if (m_search.running)
        return refuse("a search is already running");
    if (job.from < 0 || job.from > MaxRic || job.to < 0 || job.to > MaxRic)
        return refuse("search codes run from 0 to " + std::to_string(MaxRic));
    if (job.from > job.to)
        return refuse(job.fast ? "the start is above the stop value"
                               : "the first code is above the last");
    m_search = SearchState{};
    m_search.running = true;
    m_search.fast = job.fast;
    m_search.next = job.from;
    m_search.nextText = job.fast               ? std::to_string(job.from)
                        : job.fromText.empty() ? searchCodeText(job.from)
                                               : job.fromText;
    m_search.to = job.to;
    m_searchCancelAfterStep = false;
    m_searchJob = std::move(job);
    publishSearch(StationEvent::Kind::SearchProgress);
    m_searchTimer->start(0); // the first code from the event loop: the caller returns now
    return true;
}

void Station::cancelSearch() {
    if (!m_search.running)
        return;
    if (m_searchStepping)
        m_searchCancelAfterStep = true; // the code on air goes out whole, then the end
    else
        endSearch(SearchEnd::Cancelled);
}

bool Station::setSearchEnd(int64_t to) {
    if (!m_search.running)
        return false;
    m_search.to = std::clamp<int64_t>(to, 0, MaxRic);
    if (!m_searchStepping && !m_search.fast && m_search.next > m_search.to)
        endSearch(SearchEnd::Done);
    return true;
}

void Station::searchStep() {
    if (!m_search.running || m_closing)
        return;
    // Whatever is on air (the ident, a page from another input) goes first; this code after.
    if (m_busy || m_identInProgress) {
        m_searchTimer->start(SearchRetryMs);
        return;
    }
    if (m_search.fast && m_search.next >= m_search.to) {
        endSearch(SearchEnd::Done);
        return;
    }
    const uint64_t run = m_searchRun;
    const bool fast = m_search.fast;
    const int64_t code = m_search.next;
    m_searchOutcome.reset();
    m_searchStepping = true;
    m_busy = true;
    auto stepped = [this, run, fast, code] { searchStepped(run, fast, code); };
    if (fast) {
        FastSearchJob block = m_searchJob->block;
        block.start = code;
        launchFastSearch(block, std::move(stepped));
        return;
    }
    PageJob page = m_searchJob->page;
    const std::string& text = m_search.nextText;
    page.source = TxSource::Search;
    page.page.ric = text;
    page.page.message = text;
    page.logRic = page.logMessage = text;
    SendResult result;
    if (!launchPage(std::move(page), std::move(stepped), &result))
        runNext(); // refused before keying: the search has ended, whatever waits goes
}

void Station::searchStepped(uint64_t run, bool fast, int64_t code) {
    m_searchStepping = false;
    if (run != m_searchRun || !m_search.running)
        return; // STOP or the program's end finished the search while the code was on air
    if (!m_searchOutcome || !m_searchOutcome->built) {
        endSearch(SearchEnd::Failed, m_searchOutcome ? m_searchOutcome->error
                                                     : std::string("the station did not take it"));
        return;
    }
    // A code that did not go out says the rest would not either: a search left running on a
    // dead sound output or keying line would key (or try to) for days, sending nothing.
    if (!m_searchOutcome->stopped &&
        (!m_searchOutcome->played || !m_searchOutcome->portError.empty())) {
        endSearch(SearchEnd::Failed,
                  !m_searchOutcome->played
                      ? "not sent: " + (m_searchOutcome->error.empty()
                                            ? std::string("the sound did not play")
                                            : m_searchOutcome->error)
                      : "the transmitter could not be keyed: " + m_searchOutcome->portError);
        return;
    }
    ++m_search.sent;
    m_search.lastDurationMs = m_searchOutcome->durationMs;
    m_search.next = code + (fast ? FastSearchCodesPerTransmission : 1);
    m_search.nextText = fast ? std::to_string(m_search.next) : searchCodeText(m_search.next);
    publishSearch(StationEvent::Kind::SearchProgress);
    if (m_searchCancelAfterStep) {
        endSearch(SearchEnd::Cancelled);
        return;
    }
    if ((!fast && code >= m_search.to) || (fast && m_search.next >= m_search.to)) {
        endSearch(SearchEnd::Done);
        return;
    }
    m_searchTimer->start(m_search.lastDurationMs + SearchGapMs);
}

void Station::endSearch(SearchEnd end, std::string error) {
    if (!m_search.running)
        return;
    m_search.running = false;
    m_search.end = end;
    m_search.error = std::move(error);
    m_searchCancelAfterStep = false;
    m_searchTimer->stop();
    ++m_searchRun;
    publishSearch(StationEvent::Kind::SearchEnded);
}

void Station::publishSearch(StationEvent::Kind kind) {
    const SearchState shown = m_search; // a listener may start the next search
    StationEvent e;
    e.kind = kind;
    e.source = shown.fast ? TxSource::FastSearch : TxSource::Search;
    e.text = kind == StationEvent::Kind::SearchEnded ? std::string(searchEndName(shown.end))
                                                     : shown.nextText;
    e.search = &shown;
    publish(std::move(e));
}

} // namespace tarvex
