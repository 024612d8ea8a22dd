#include "network/intake/rate_limiter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <utility>

namespace tarvex {

namespace {
constexpr int64_t MinuteMs = 60'000;
}

RateLimiter::RateLimiter(int perMinute, std::size_t maxKeys)
    : m_perMinute(std::max(perMinute, 0)), m_maxKeys(std::max<std::size_t>(maxKeys, 1)) {}

void RateLimiter::prune(std::deque<int64_t>& times, int64_t nowMs) const {
    while (!times.empty() && nowMs - times.front() >= MinuteMs)
        times.pop_front();
}

void RateLimiter::makeRoom(int64_t nowMs) {
    auto oldest = m_times.end();
    for (auto it = m_times.begin(); it != m_times.end();) {
        prune(it->second, nowMs);
        if (it->second.empty()) {
            it = m_times.erase(it);
            continue;
        }
        if (oldest == m_times.end() || it->second.back() < oldest->second.back())
            oldest = it;
        ++it;
    }
    if (m_times.size() < m_maxKeys || oldest == m_times.end())
        return;
    // Every key was busy within the minute: the one seen least recently goes, and its events
    // go on counting in the shared limit, so that pushing a key out does not reset it.
    for (const int64_t at : oldest->second)
        m_pushedOut.insert(std::upper_bound(m_pushedOut.begin(), m_pushedOut.end(), at), at);
    while (m_pushedOut.size() > static_cast<std::size_t>(m_perMinute))
        m_pushedOut.pop_front();
    m_times.erase(oldest);
}

int RateLimiter::remaining(const std::string& key, int64_t nowMs) {
    prune(m_pushedOut, nowMs);
    const int shared =
        m_pushedOut.empty() ? m_perMinute : m_perMinute - static_cast<int>(m_pushedOut.size());
    const auto it = m_times.find(key);
    if (it == m_times.end())
        return shared;
    prune(it->second, nowMs);
    return std::min(shared, m_perMinute - static_cast<int>(it->second.size()));
}

bool RateLimiter::take(const std::string& key, int count, int64_t nowMs) {
    if (count <= 0)
        return true;
    if (remaining(key, nowMs) < count)
        return false;
    if (!m_times.contains(key) && m_times.size() >= m_maxKeys)
        makeRoom(nowMs);
    auto& times = m_times[key];
    for (int i = 0; i < count; ++i)
        times.push_back(nowMs);
    return true;
}

LogLimit::LogLimit(int perKeyPerMinute, int inAllPerMinute)
    : m_perKey(perKeyPerMinute), m_inAll(inAllPerMinute) {}

std::optional<std::string> LogLimit::admit(const std::string& key, const std::string& line,
                                           int64_t nowMs) {
    if (m_perKey.remaining(key, nowMs) <= 0 || !m_inAll.take("all", 1, nowMs)) {
        ++m_leftOut;
        return std::nullopt;
    }
    m_perKey.take(key, 1, nowMs);
    const int leftOut = std::exchange(m_leftOut, 0);
    if (leftOut == 0)
        return line;
    return line + " (" + std::to_string(leftOut) + " more refusals before it not logged)";
}

std::string addressKey(const std::string& peer) {
    in6_addr address{};
    if (peer.find(':') == std::string::npos || ::inet_pton(AF_INET6, peer.c_str(), &address) != 1)
        return peer;
    const unsigned char* b = address.s6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&address)) {
        char v4[INET_ADDRSTRLEN];
        std::snprintf(v4, sizeof v4, "%u.%u.%u.%u", b[12], b[13], b[14], b[15]);
        return v4;
    }
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "%x:%x:%x:%x::/64", (b[0] << 8) | b[1], (b[2] << 8) | b[3],
                  (b[4] << 8) | b[5], (b[6] << 8) | b[7]);
    return prefix;
}

} // namespace tarvex
