#include "network/intake/rate_limiter.h"

#include <algorithm>

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

void RateLimiter::forgetIdleKeys(int64_t nowMs) {
    for (auto it = m_times.begin(); it != m_times.end();) {
        prune(it->second, nowMs);
        it = it->second.empty() ? m_times.erase(it) : std::next(it);
    }
}

int RateLimiter::remaining(const std::string& key, int64_t nowMs) {
    const auto it = m_times.find(key);
    if (it == m_times.end())
        return m_perMinute;
    prune(it->second, nowMs);
    return m_perMinute - static_cast<int>(it->second.size());
}

bool RateLimiter::take(const std::string& key, int count, int64_t nowMs) {
    if (count <= 0)
        return true;
    if (remaining(key, nowMs) < count)
        return false;
    if (!m_times.contains(key) && m_times.size() >= m_maxKeys) {
        forgetIdleKeys(nowMs);
        // Every tracked key has been busy within the minute: refuse rather than forget a
        // sender that is being held back.
        if (m_times.size() >= m_maxKeys)
            return false;
    }
    auto& times = m_times[key];
    for (int i = 0; i < count; ++i)
        times.push_back(nowMs);
    return true;
}

} // namespace tarvex
