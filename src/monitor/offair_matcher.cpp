#include "monitor/offair_matcher.h"

#include "monitor/multimon_text.h"

#include <algorithm>
#include <utility>

namespace tarvex {
namespace {

/// The rendering the decoder gives a page when it decodes it right.
DecodeKind kindOf(const PageRecord& page) {
    if (page.coding == Coding::Alphanumeric)
        return DecodeKind::Alpha;
    return page.bytes.empty() ? DecodeKind::ToneOnly : DecodeKind::Numeric;
}

} // namespace

bool isIdleArtifact(const Decode& decode) {
    return decode.kind == DecodeKind::ToneOnly && decode.functionBits == 0 && decode.ric <= 7;
}

bool decodeMatchesPage(const Decode& decode, const PageRecord& page,
                       std::string_view decoderCharset) {
    if (decode.ric != page.ric || decode.functionBits != page.functionBits ||
        decode.kind != kindOf(page))
        return false;
    switch (decode.kind) {
    case DecodeKind::Alpha:
        return withoutAlphaPadding(decode.text) ==
               withoutAlphaPadding(decoderAlphaText(page.bytes, decoderCharset));
    case DecodeKind::Numeric:
        return withoutNumericPadding(decode.text) ==
               withoutNumericPadding(decoderNumericText(page.bytes));
    case DecodeKind::ToneOnly:
        return true;
    }
    return false;
}

OffAirMatcher::OffAirMatcher(OffAirListener& listener, MatcherSettings settings)
    : m_listener(listener) {
    setSettings(std::move(settings));
}

void OffAirMatcher::setSettings(MatcherSettings settings) {
    m_settings = std::move(settings);
    m_settings.alarmCount = std::max(1, m_settings.alarmCount);
}

int64_t OffAirMatcher::windowEnd(const Open& open) const {
    const auto& r = open.record;
    const int64_t release = r.releaseMs >= 0 ? r.releaseMs : r.keyUpMs + m_settings.maxKeyedMs;
    return release + m_settings.marginMs + m_settings.inputLatencyMs;
}

bool OffAirMatcher::expect(TransmissionRecord record, std::string* error) {
    auto refuse = [&](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    if (record.pages.size() > MaxPagesPerTransmission)
        return refuse("too many pages in one transmission");
    if (std::any_of(m_open.begin(), m_open.end(),
                    [&](const Open& o) { return o.record.id == record.id; }))
        return refuse("a transmission with this id is still open");
    if (record.pages.empty())
        return true; // nothing on the air to confirm (tune-up, ident)
    if (m_open.size() >= MaxOpenTransmissions) {
        closeWindow(m_open.front(), record.keyUpMs);
        m_open.erase(m_open.begin());
    }
    Open open;
    open.pages.resize(record.pages.size());
    open.record = std::move(record);
    m_open.push_back(std::move(open));
    flush();
    return true;
}

bool OffAirMatcher::released(uint64_t id, int64_t timeMs) {
    const auto it = std::find_if(m_open.begin(), m_open.end(),
                                 [&](const Open& o) { return o.record.id == id && !o.closed; });
    if (it == m_open.end())
        return false;
    it->record.releaseMs = std::max(timeMs, it->record.keyUpMs);
    for (std::size_t i = 0; i < it->pages.size(); ++i) {
        if (it->pages[i].decided)
            report(*it, i, Verdict::Confirmed, it->pages[i].confirmedMs);
    }
    flush();
    return true;
}

void OffAirMatcher::decoded(const Decode& decode, int64_t timeMs) {
    poll(timeMs);
    if (!claimedByOwnPage(decode, timeMs)) {
        if (isIdleArtifact(decode) || ownSignalMisread(decode, timeMs))
            ++m_counts.ignored;
        else
            addElsewhere(decode, timeMs);
    }
    flush();
}

bool OffAirMatcher::claimedByOwnPage(const Decode& decode, int64_t timeMs) {
    bool claimed = false;
    for (auto& open : m_open) {
        const int64_t end = windowEnd(open);
        if (timeMs < open.record.keyUpMs || timeMs > end + m_settings.mergeMs)
            continue;
        for (std::size_t i = 0; i < open.pages.size(); ++i) {
            const PageRecord& page = open.record.pages[i];
            if (page.ric != decode.ric || page.functionBits != decode.functionBits)
                continue;
            PageState& state = open.pages[i];
            if (!state.decided && timeMs <= end &&
                decodeMatchesPage(decode, page, m_settings.decoderCharset)) {
                confirm(open, i, timeMs, decode.text);
                return true;
            }
            // The same address in our own window: the decoder's other rendering of our page,
            // a repeat, or our page garbled. Never another station's.
            claimed = true;
            if (!state.decided &&
                (decode.kind == kindOf(page) || decode.kind == DecodeKind::ToneOnly)) {
                state.garbled = true;
                state.heardText = decode.text;
            }
        }
    }
    if (claimed)
        ++m_counts.ignored;
    return claimed;
}

bool OffAirMatcher::ownSignalMisread(const Decode& decode, int64_t timeMs) const {
    // While we are keyed the receiver hears only us: a page of another station sent over ours
    // would not be readable at all. What a decoder prints then, under an address we did not
    // send, is our own signal misread: a decoder of another rate finding a sync word in our
    // bits, or our page with errors in its address. The decoders lag the air a little, so the
    // keyed span runs on briefly past the release.
    //
    // When a transmission ends the decoder is still in step and reads whatever follows as
    // codewords; with two bit errors corrected, about one noise word in four passes as an
    // address. Such an address arrives inside our window, with no message after it. A page of
    // another station needs its preamble and sync first and could not be decoded that soon.
    return std::any_of(m_open.begin(), m_open.end(), [&](const Open& o) {
        if (timeMs < o.record.keyUpMs)
            return false;
        if (decode.kind == DecodeKind::ToneOnly)
            return timeMs <= windowEnd(o) + m_settings.mergeMs;
        return o.record.releaseMs < 0 ||
               timeMs <= o.record.releaseMs + m_settings.inputLatencyMs + DecoderLagMs;
    });
}

void OffAirMatcher::addElsewhere(const Decode& decode, int64_t timeMs) {
    // The decoders print one page once per rendering, at the same moment.
    auto same = std::find_if(m_pending.begin(), m_pending.end(), [&](const HeardElsewhere& h) {
        return h.baud == decode.baud && h.ric == decode.ric &&
               h.functionBits == decode.functionBits && timeMs - h.timeMs <= m_settings.mergeMs;
    });
    if (same == m_pending.end()) {
        if (m_pending.size() >= MaxPendingElsewhere) {
            m_events.emplace_back(m_pending.front());
            ++m_counts.elsewhere;
            m_pending.erase(m_pending.begin());
        }
        HeardElsewhere heard;
        heard.timeMs = timeMs;
        heard.baud = decode.baud;
        heard.ric = decode.ric;
        heard.functionBits = decode.functionBits;
        m_pending.push_back(std::move(heard));
        same = m_pending.end() - 1;
    }
    switch (decode.kind) {
    case DecodeKind::Alpha:
        same->hasAlpha = true;
        same->alphaText = decode.text;
        break;
    case DecodeKind::Numeric:
        same->hasNumeric = true;
        same->numericText = decode.text;
        break;
    case DecodeKind::ToneOnly:
        same->toneOnly = true;
        break;
    }
}

void OffAirMatcher::poll(int64_t nowMs) {
    for (auto& open : m_open) {
        if (!open.closed && nowMs > windowEnd(open))
            closeWindow(open, nowMs);
    }
    std::erase_if(m_open, [&](const Open& o) {
        return o.closed && nowMs > windowEnd(o) + m_settings.mergeMs;
    });
    std::erase_if(m_pending, [&](const HeardElsewhere& h) {
        if (nowMs < h.timeMs + m_settings.mergeMs)
            return false;
        m_events.emplace_back(h);
        ++m_counts.elsewhere;
        return true;
    });
    flush();
}

std::optional<int64_t> OffAirMatcher::nextDeadline() const {
    std::optional<int64_t> next;
    auto consider = [&](int64_t t) {
        if (!next || t < *next)
            next = t;
    };
    for (const auto& open : m_open)
        consider(windowEnd(open) + (open.closed ? m_settings.mergeMs + 1 : 1));
    for (const auto& h : m_pending)
        consider(h.timeMs + m_settings.mergeMs);
    return next;
}

void OffAirMatcher::closeWindow(Open& open, int64_t nowMs) {
    for (std::size_t i = 0; i < open.pages.size(); ++i) {
        PageState& state = open.pages[i];
        if (state.decided)
            report(open, i, Verdict::Confirmed, state.confirmedMs); // never released
        else
            report(open, i, Verdict::NotHeard, nowMs);
    }
    open.closed = true;
}

void OffAirMatcher::confirm(Open& open, std::size_t index, int64_t timeMs,
                            const std::string& text) {
    PageState& state = open.pages[index];
    state.decided = true;
    state.garbled = false;
    state.confirmedMs = timeMs;
    state.heardText = text;
    if (open.record.releaseMs >= 0)
        report(open, index, Verdict::Confirmed, timeMs);
}

void OffAirMatcher::report(Open& open, std::size_t index, Verdict verdict, int64_t timeMs) {
    PageState& state = open.pages[index];
    if (state.reported)
        return;
    state.reported = true;
    state.decided = true;
    PageVerdict v;
    v.transmissionId = open.record.id;
    v.pageIndex = index;
    v.page = open.record.pages[index];
    v.baud = open.record.baud;
    v.inverted = open.record.inverted;
    v.verdict = verdict;
    v.decidedMs = timeMs;
    v.releaseMs = open.record.releaseMs;
    v.sinceReleaseMs = open.record.releaseMs >= 0 ? timeMs - open.record.releaseMs : 0;
    v.heardText = state.heardText;
    v.heardGarbled = verdict == Verdict::NotHeard && state.garbled;
    m_events.emplace_back(v);
    countForAlarm(v);
}

void OffAirMatcher::countForAlarm(const PageVerdict& v) {
    if (v.verdict == Verdict::Confirmed) {
        ++m_counts.confirmed;
        m_consecutive = 0;
        m_missed.clear();
        if (m_alarmRaised) {
            m_alarmRaised = false;
            AlarmEvent cleared;
            cleared.timeMs = v.decidedMs;
            cleared.clearedBy = v;
            m_events.emplace_back(std::move(cleared));
        }
        return;
    }
    ++m_counts.notHeard;
    ++m_consecutive;
    m_missed.push_back(v);
    const auto keep = static_cast<std::size_t>(m_settings.alarmCount);
    if (m_missed.size() > keep)
        m_missed.erase(m_missed.begin());
    if (!m_alarmRaised && m_consecutive >= m_settings.alarmCount) {
        m_alarmRaised = true;
        AlarmEvent raised;
        raised.raised = true;
        raised.timeMs = v.decidedMs;
        raised.consecutive = m_consecutive;
        raised.missed = m_missed;
        m_events.emplace_back(std::move(raised));
    }
}

void OffAirMatcher::flush() {
    // A listener may call back in (a new transmission keyed from a verdict handler); its
    // events join the queue this loop is draining.
    if (m_flushing)
        return;
    m_flushing = true;
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        const Event event = m_events[i];
        if (const auto* v = std::get_if<PageVerdict>(&event))
            m_listener.pageDecided(*v);
        else if (const auto* h = std::get_if<HeardElsewhere>(&event))
            m_listener.heardElsewhere(*h);
        else
            m_listener.alarmChanged(std::get<AlarmEvent>(event));
    }
    m_events.clear();
    m_flushing = false;
}

} // namespace tarvex
