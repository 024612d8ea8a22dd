#include "network/tcp/tcp_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvex {

namespace {

std::string numericAddress(const sockaddr_storage& address, socklen_t length) {
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host,
                      nullptr, 0, NI_NUMERICHOST) != 0)
        return {};
    return host;
}

} // namespace

bool waitForSocket(int fd, short events, int timeoutMs) {
    if (timeoutMs <= 0)
        return false;
    pollfd entry{fd, events, 0};
    for (;;) {
        const int n = ::poll(&entry, 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

std::string socketPeer(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return numericAddress(address, length);
}

DeadlineStream::DeadlineStream(int fd, int idleMs, int writeMs)
    : m_fd(fd), m_idleMs(idleMs), m_writeMs(writeMs), m_deadline(std::chrono::steady_clock::now()) {
}

void DeadlineStream::startRequest(int requestMs) {
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(requestMs);
}

int DeadlineStream::readWaitMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          m_deadline - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<long long>(left, 0, m_idleMs));
}

bool DeadlineStream::nextRequestWithin(int waitMs) {
    return m_begin < m_end || waitForSocket(m_fd, POLLIN, waitMs);
}

bool DeadlineStream::writable() const {
    return waitForSocket(m_fd, POLLOUT, m_writeMs);
}

ssize_t DeadlineStream::read(char* ptr, size_t size) {
    if (m_begin == m_end) {
        const int waitMs = readWaitMs();
        if (!waitForSocket(m_fd, POLLIN, waitMs)) {
            m_timedOut = waitMs < m_idleMs ? Timeout::Request : Timeout::Idle;
            return -1;
        }
        ssize_t n = 0;
        do {
            n = ::recv(m_fd, m_buffer, sizeof m_buffer, 0);
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            return n;
        m_begin = 0;
        m_end = static_cast<std::size_t>(n);
    }
    const std::size_t count = std::min(size, m_end - m_begin);
    std::memcpy(ptr, m_buffer + m_begin, count);
    m_begin += count;
    return static_cast<ssize_t>(count);
}

bool DeadlineStream::writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        if (!writable())
            return false;
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void DeadlineStream::lingerClose() {
    ::shutdown(m_fd, SHUT_WR);
    // Closing with unread bytes makes the kernel reset the connection, and a reset can
    // destroy the answer before the client reads it.
    constexpr int LingerMs = 1000;
    constexpr std::size_t LingerBytes = 256 * 1024;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(LingerMs);
    std::size_t dropped = 0;
    char sink[4096];
    while (dropped < LingerBytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        if (!waitForSocket(m_fd, POLLIN, static_cast<int>(left)))
            break;
        const ssize_t n = ::recv(m_fd, sink, sizeof sink, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        dropped += static_cast<std::size_t>(n);
    }
}

std::string DeadlineStream::peerAddress() const {
    return socketPeer(m_fd);
}

std::string DeadlineStream::localAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return numericAddress(address, length);
}

} // namespace tarvex
