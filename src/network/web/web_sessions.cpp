#include "network/web/web_sessions.h"

#include <sodium.h>

namespace tarvex {

std::string randomToken() {
    if (sodium_init() < 0)
        return {};
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[2 * sizeof bytes + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

bool sameSecret(const std::string& a, const std::string& b) {
    return a.size() == b.size() && !a.empty() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string WebSessions::open(const std::string& login, int64_t nowMs, WebSession* session) {
    WebSession fresh{login, randomToken(), nowMs + m_lifetimeMs};
    std::string token = randomToken();
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_sessions,
                  [nowMs](const auto& entry) { return entry.second.endsAtMs <= nowMs; });
    while (m_sessions.size() >= m_most) {
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
            if (it->second.endsAtMs < oldest->second.endsAtMs)
                oldest = it;
        m_sessions.erase(oldest);
    }
    m_sessions[token] = fresh;
    if (session != nullptr)
        *session = fresh;
    return token;
}

std::optional<WebSession> WebSessions::find(const std::string& token, int64_t nowMs) {
    if (token.size() != 64)
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return std::nullopt;
    if (it->second.endsAtMs <= nowMs) {
        m_sessions.erase(it);
        return std::nullopt;
    }
    return it->second;
}

void WebSessions::close(const std::string& token) {
    const std::lock_guard lock(m_mutex);
    m_sessions.erase(token);
}

} // namespace tarvex
