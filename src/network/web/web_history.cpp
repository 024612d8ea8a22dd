#include "network/web/web_history.h"

#include "encoder/conversions.h"
#include "station/health.h"

#include <algorithm>

namespace tarvex {

namespace {

constexpr int64_t HourMs = 3600 * 1000;
constexpr std::size_t MaxDetailBytes = 200;

/// The counters only grow; a smaller total (none so far) adds nothing.
uint64_t added(uint64_t now, uint64_t then) {
    return now >= then ? now - then : 0;
}

} // namespace

void PageFates::note(int64_t id, std::string fate, std::string detail, int64_t unixMs) {
    std::string verdict;
    const auto known =
        std::find_if(m_fates.begin(), m_fates.end(), [id](const Fate& f) { return f.id == id; });
    if (known != m_fates.end()) {
        verdict = std::move(known->verdict);
        m_fates.erase(known);
    }
    if (m_fates.size() >= MaxPages)
        m_fates.pop_front();
    detail = escapeControls(detail);
    if (detail.size() > MaxDetailBytes) {
        detail.resize(MaxDetailBytes);
        while (!detail.empty() && (static_cast<unsigned char>(detail.back()) & 0xC0) == 0x80)
            detail.pop_back(); // not a character cut in two
        if (!detail.empty() && static_cast<unsigned char>(detail.back()) >= 0xC0)
            detail.pop_back();
        detail += "...";
    }
    m_fates.push_back({id, std::move(fate), std::move(verdict), std::move(detail), unixMs});
}

void PageFates::judge(int64_t id, bool confirmed, int64_t unixMs) {
    const auto it =
        std::find_if(m_fates.begin(), m_fates.end(), [id](const Fate& f) { return f.id == id; });
    if (it == m_fates.end())
        return;
    it->verdict = confirmed ? "confirmed" : "not heard";
    it->unixMs = unixMs;
}

std::string PageFates::json() const {
    std::string j;
    for (auto it = m_fates.rbegin(); it != m_fates.rend(); ++it)
        j += std::string(j.empty() ? "" : ",") + "{\"id\":" + std::to_string(it->id) +
             ",\"fate\":" +
             jsonText(it->fate == "sent" && !it->verdict.empty() ? it->verdict : it->fate) +
             ",\"detail\":" + jsonText(it->detail) + ",\"time_ms\":" + std::to_string(it->unixMs) +
             "}";
    return "[" + j + "]";
}

void HourlyTotals::note(const StationTotals& now, int64_t unixMs) {
    const int64_t hour = unixMs - unixMs % HourMs;
    if (!m_marks.empty() && m_marks.back().hourStartMs >= hour)
        return;
    m_marks.push_back({hour, now});
    while (m_marks.size() > Hours)
        m_marks.pop_front();
}

std::string HourlyTotals::json(const StationTotals& now) const {
    std::string j;
    for (std::size_t i = 0; i < m_marks.size(); ++i) {
        const StationTotals& from = m_marks[i].totals;
        const StationTotals& to = i + 1 < m_marks.size() ? m_marks[i + 1].totals : now;
        j += std::string(j.empty() ? "" : ",") +
             "{\"start_ms\":" + std::to_string(m_marks[i].hourStartMs) +
             ",\"pages\":" + std::to_string(added(to.pages, from.pages)) +
             ",\"failed\":" + std::to_string(added(to.failed, from.failed)) +
             ",\"keyed_ms\":" + std::to_string(added(to.keyedMs, from.keyedMs)) +
             ",\"confirmed\":" + std::to_string(added(to.confirmed, from.confirmed)) +
             ",\"not_heard\":" + std::to_string(added(to.notHeard, from.notHeard)) + "}";
    }
    return "[" + j + "]";
}

} // namespace tarvex
