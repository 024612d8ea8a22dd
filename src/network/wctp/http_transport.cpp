#include "network/wctp/http_transport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvex {

namespace {

/// Waits for the socket to become readable (POLLIN) or writable; false on timeout or error.
bool waitFor(int fd, short events, int timeoutMs) {
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

void addressOf(const sockaddr_storage& address, socklen_t length, std::string& ip, int& port) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host,
                      service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Internal Server Error";
    }
}

} // namespace

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
    return m_begin < m_end || waitFor(m_fd, POLLIN, waitMs);
}

bool DeadlineStream::writable() const {
    return waitFor(m_fd, POLLOUT, m_writeMs);
}

ssize_t DeadlineStream::read(char* ptr, size_t size) {
    if (m_begin == m_end) {
        const int waitMs = readWaitMs();
        if (!waitFor(m_fd, POLLIN, waitMs)) {
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
        if (!waitFor(m_fd, POLLIN, static_cast<int>(left)))
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
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    std::string ip;
    int port = 0;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        addressOf(address, length, ip, port);
    return ip;
}

std::string DeadlineStream::localAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    std::string ip;
    int port = 0;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        addressOf(address, length, ip, port);
    return ip;
}

BoundedPool::BoundedPool(std::size_t maxThreads, std::size_t maxWaiting)
    : m_maxThreads(std::max<std::size_t>(maxThreads, 1)), m_maxWaiting(maxWaiting) {}

BoundedPool::~BoundedPool() {
    shutdown();
}

void BoundedPool::enqueue(std::function<void()> fn) {
    std::unique_lock lock(m_mutex);
    m_roomFree.wait(lock, [&] {
        const std::size_t takers = m_idle + (m_maxThreads - m_threads.size());
        return m_jobs.size() < m_maxWaiting + takers || m_shutdown;
    });
    m_jobs.push_back(std::move(fn));
    // An idle thread counts until it has woken: jobs beyond the idle threads need new ones, or
    // a job queued right after another would wait for a connection that may last (a stream).
    if (m_jobs.size() > m_idle && m_threads.size() < m_maxThreads)
        m_threads.emplace_back([this] { work(); });
    else
        m_jobReady.notify_one();
}

void BoundedPool::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_roomFree.notify_one();
        m_jobReady.wait(lock, [&] { return !m_jobs.empty() || m_shutdown; });
        --m_idle;
        if (m_jobs.empty())
            return; // shutting down with nothing left to serve
        auto job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job(); // serves and closes one connection
        lock.lock();
    }
}

void BoundedPool::shutdown() {
    std::vector<std::thread> threads;
    {
        const std::lock_guard lock(m_mutex);
        m_shutdown = true;
        threads.swap(m_threads);
    }
    m_jobReady.notify_all();
    m_roomFree.notify_all();
    for (auto& thread : threads)
        thread.join();
}

bool ConnectionBook::enter(int fd, const std::string& address) {
    const std::lock_guard lock(m_mutex);
    m_open[fd] = address;
    const int fromThere = ++m_perKey[address];
    return !m_stopping && static_cast<int>(m_open.size()) <= m_limit && fromThere <= m_perAddress;
}

void ConnectionBook::leave(int fd) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_open.find(fd);
    if (it == m_open.end())
        return;
    if (--m_perKey[it->second] <= 0)
        m_perKey.erase(it->second);
    m_open.erase(it);
}

bool ConnectionBook::stopping() {
    const std::lock_guard lock(m_mutex);
    return m_stopping;
}

void ConnectionBook::cutAll() {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    for (const auto& entry : m_open)
        ::shutdown(entry.first, SHUT_RDWR);
}

std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         bool close,
                         const std::vector<std::pair<std::string, std::string>>& headers) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : headers)
        text += name + ": " + value + "\r\n";
    if (!contentType.empty())
        text += "Content-Type: " + std::string(contentType) + "\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    text += body;
    return text;
}

} // namespace tarvex
