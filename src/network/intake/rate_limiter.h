#pragma once
// Counts events per key (a login or a peer address) over a sliding minute so that a sender
// can be refused before it floods the station. Bounded: at most a fixed number of keys and,
// per key, at most the limit's own count of times are kept. Not thread-safe by itself.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

namespace tarvex {

class RateLimiter {
public:
    /// `perMinute` events per key in any 60 s; at most `maxKeys` keys are tracked.
    explicit RateLimiter(int perMinute, std::size_t maxKeys = 4096);

    /// Takes `count` events for the key at nowMs when all fit; false (nothing taken) otherwise.
    bool take(const std::string& key, int count, int64_t nowMs);
    /// Events the key may still take at nowMs.
    int remaining(const std::string& key, int64_t nowMs);
    int perMinute() const { return m_perMinute; }

private:
    void prune(std::deque<int64_t>& times, int64_t nowMs) const;
    void forgetIdleKeys(int64_t nowMs);

    int m_perMinute;
    std::size_t m_maxKeys;
    std::unordered_map<std::string, std::deque<int64_t>> m_times;
};

} // namespace tarvex
