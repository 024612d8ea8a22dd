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

bool DeadlineStream::is_readable() const {
    return m_begin < m_end || waitFor(m_fd, POLLIN, readWaitMs());
}

bool DeadlineStream::is_writable() const {
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

ssize_t DeadlineStream::write(const char* ptr, size_t size) {
    if (!is_writable())
        return -1;
    ssize_t n = 0;
    do {
        n = ::send(m_fd, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
}

void DeadlineStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        addressOf(address, length, ip, port);
}

void DeadlineStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        addressOf(address, length, ip, port);
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
    if (m_idle == 0 && m_threads.size() < m_maxThreads)
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

bool ConnectionBook::enter(int fd) {
    const std::lock_guard lock(m_mutex);
    m_open.insert(fd);
    return !m_stopping && static_cast<int>(m_open.size()) <= m_limit;
}

void ConnectionBook::leave(int fd) {
    const std::lock_guard lock(m_mutex);
    m_open.erase(fd);
}

bool ConnectionBook::stopping() {
    const std::lock_guard lock(m_mutex);
    return m_stopping;
}

void ConnectionBook::cutAll() {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    for (const int fd : m_open)
        ::shutdown(fd, SHUT_RDWR);
}

} // namespace tarvex
