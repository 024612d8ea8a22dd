#include "network/web/web_board.h"

#include "encoder/conversions.h"

#include <cmath>

namespace tarvex {

std::string webStatusJson(const HealthFacts& facts, const std::vector<HealthFault>& faults,
                          const std::vector<QueuedPage>& waiting, const WebStatusExtras& extras) {
    const int64_t nowMs = extras.nowMs;
    const StationStatus& s = facts.station;
    std::string j = "{\"health\":" + healthJson(facts, faults);
    j += ",\"lamp\":{\"state\":" + jsonText(stateName(s.state)) +
         ",\"source\":" + jsonText(s.state == OnAirState::Idle ? "" : sourceName(s.source)) +
         ",\"held_ms\":" + std::to_string(s.heldMs);
    if (extras.totalSeconds > 0)
        j += ",\"elapsed_ms\":" + std::to_string(std::lround(extras.elapsedSeconds * 1000)) +
             ",\"total_ms\":" + std::to_string(std::lround(extras.totalSeconds * 1000));
    j += "}";
    j += ",\"queue\":[";
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        const QueuedPage& p = waiting[i];
        j += std::string(i == 0 ? "" : ",") + "{\"id\":" + std::to_string(p.id) +
             ",\"source\":" + jsonText(escapeControls(p.source)) +
             ",\"origin\":" + jsonText(escapeControls(p.origin)) +
             ",\"pager\":" + jsonText(escapeControls(p.recipient)) +
             ",\"ric\":" + jsonText(p.page.ric) + ",\"age_seconds\":" +
             std::to_string(std::max<int64_t>(0, (nowMs - p.acceptedAtMs) / 1000)) + "}";
    }
    j += "],\"now_ms\":" + std::to_string(nowMs);
    j += ",\"pages\":" + extras.fatesJson + ",\"hours\":" + extras.hoursJson;
    if (extras.dapnetSlots)
        j += ",\"dapnet_slots\":" + jsonText(*extras.dapnetSlots);
    return j + "}";
}

void WebBoard::publish(std::string statusJson) {
    {
        const std::lock_guard lock(m_mutex);
        if (statusJson == m_status)
            return;
        m_status = std::move(statusJson);
        ++m_version;
    }
    m_changed.notify_all();
}

std::pair<uint64_t, std::string> WebBoard::status() {
    const std::lock_guard lock(m_mutex);
    return {m_version, m_status};
}

std::pair<uint64_t, std::string> WebBoard::waitForChange(uint64_t seen,
                                                         std::chrono::milliseconds most) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, most, [&] { return m_version != seen || m_closed; });
    return {m_version, m_status};
}

void WebBoard::close() {
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

bool WebBoard::closed() {
    const std::lock_guard lock(m_mutex);
    return m_closed;
}

bool WebBoard::enterStream(int limit) {
    const std::lock_guard lock(m_mutex);
    if (m_streams >= limit)
        return false;
    ++m_streams;
    return true;
}

void WebBoard::leaveStream() {
    const std::lock_guard lock(m_mutex);
    --m_streams;
}

void WebBoard::addServiceLine(std::string_view level, std::string text, int64_t unixMs) {
    const std::lock_guard lock(m_mutex);
    if (m_serviceLines.size() >= MaxServiceLines)
        m_serviceLines.pop_front();
    m_serviceLines.push_back({unixMs, std::string(level), std::move(text)});
}

std::string WebBoard::serviceLogJson() {
    const std::lock_guard lock(m_mutex);
    std::string j;
    for (auto it = m_serviceLines.rbegin(); it != m_serviceLines.rend(); ++it)
        j += std::string(j.empty() ? "" : ",") + "{\"time_ms\":" + std::to_string(it->unixMs) +
             ",\"level\":" + jsonText(it->level) + ",\"text\":" + jsonText(it->text) + "}";
    return "{\"lines\":[" + j + "]}";
}

void WebBoard::setLogPath(std::string path) {
    const std::lock_guard lock(m_mutex);
    m_logPath = std::move(path);
}

std::string WebBoard::logPath() {
    const std::lock_guard lock(m_mutex);
    return m_logPath;
}

void WebBoard::setSearchAction(SearchAction action) {
    const std::lock_guard lock(m_mutex);
    m_search = std::move(action);
}

WebBoard::SearchAnswer WebBoard::search(const std::string& request, const std::string& who) {
    SearchAction search;
    {
        const std::lock_guard lock(m_mutex);
        search = m_search;
    }
    return search ? search(request, who) : SearchAnswer{};
}

void WebBoard::setStopAction(std::function<void(const std::string&)> stop) {
    const std::lock_guard lock(m_mutex);
    m_stop = std::move(stop);
}

bool WebBoard::stop(const std::string& who) {
    std::function<void(const std::string&)> stop;
    {
        const std::lock_guard lock(m_mutex);
        stop = m_stop;
    }
    if (!stop)
        return false;
    stop(who);
    return true;
}

} // namespace tarvex
