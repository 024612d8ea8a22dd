#pragma once
// The web interface's sessions: a random token in an HttpOnly cookie names a session, which
// carries its login (empty on loopback without one), its CSRF token and when it ends. Bounded:
// the oldest session makes room for a new one. Thread-safe. Standard C++ on libsodium's random
// bytes.
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tarvex {

struct WebSession {
    std::string login; ///< the checked login; empty for a loopback visitor without one
    std::string csrf;  ///< sent back in X-CSRF-Token with every change
    int64_t endsAtMs = 0;
};

class WebSessions {
public:
    WebSessions(int64_t lifetimeMs, std::size_t most) : m_lifetimeMs(lifetimeMs), m_most(most) {}

    /// A new session for the login; returns its cookie token.
    std::string open(const std::string& login, int64_t nowMs, WebSession* session);
    /// The session the token names, if it has not ended.
    std::optional<WebSession> find(const std::string& token, int64_t nowMs);
    void close(const std::string& token);
    int64_t lifetimeMs() const { return m_lifetimeMs; }

private:
    std::mutex m_mutex;
    std::map<std::string, WebSession> m_sessions;
    int64_t m_lifetimeMs;
    std::size_t m_most;
};

/// 32 random bytes as 64 hexadecimal digits.
std::string randomToken();
/// Compares in a time that does not depend on where the texts differ.
bool sameSecret(const std::string& a, const std::string& b);

} // namespace tarvex
