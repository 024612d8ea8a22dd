#pragma once
// Counts events per key (a login or a peer address) over a sliding minute so that a sender
// can be refused before it floods the station. Bounded: at most a fixed number of keys and,
// per key, at most the limit's own count of times are kept. A full table never means
// "unlimited": the key seen least recently makes room, and the events of keys pushed out
// within the minute count together against one shared limit that then applies to every key.
// Not thread-safe by itself.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
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
    std::size_t keys() const { return m_times.size(); }

private:
    void prune(std::deque<int64_t>& times, int64_t nowMs) const;
    void makeRoom(int64_t nowMs);

    int m_perMinute;
    std::size_t m_maxKeys;
    std::unordered_map<std::string, std::deque<int64_t>> m_times;
    std::deque<int64_t> m_pushedOut; ///< events of keys that had to make room, newest last
};

/// Lines about one kind of trouble (refusals, failed logins) kept to a few a minute per key
/// and a few more in all, so that a flood writes a handful of lines, not one per attempt. A
/// line written after some were left out says how many. Not thread-safe by itself.
class LogLimit {
public:
    LogLimit(int perKeyPerMinute, int inAllPerMinute);
    /// The line to write now (naming the lines left out before it), or nullopt to leave it out.
    std::optional<std::string> admit(const std::string& key, const std::string& line,
                                     int64_t nowMs);

private:
    RateLimiter m_perKey;
    RateLimiter m_inAll;
    int m_leftOut = 0;
};

/// The key a peer address is counted under: an IPv4 address as it is, an IPv6 address by its
/// /64 prefix (one client usually holds a whole /64), an IPv4-mapped IPv6 address as IPv4.
std::string addressKey(const std::string& peer);

} // namespace tarvex
