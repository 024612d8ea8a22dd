#include "network/tcp/tcp_server.h"

#include "network/intake/listen_address.h"
#include "network/intake/rate_limiter.h"
#include "network/tcp/tcp_stream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvex {

namespace {

/// A listening socket for the numeric address; -1 with *error on failure.
int listenOn(const std::string& address, uint16_t port, std::string* error) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
        found == nullptr) {
        *error = "not a numeric address";
        return -1;
    }
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    bool ok = fd >= 0;
    if (ok) {
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        // Each address gets its own socket: an IPv6 one takes IPv6 only.
        if (found->ai_family == AF_INET6)
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        ok = ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 64) == 0;
    }
    if (!ok) {
        *error = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        ::freeaddrinfo(found);
        return -1;
    }
    ::freeaddrinfo(found);
    return fd;
}

uint16_t boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

} // namespace

// ---- BoundedPool ---------------------------------------------------------------------------

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

// ---- ConnectionBook ------------------------------------------------------------------------

Admission ConnectionBook::enter(int fd, const std::string& address) {
    const std::lock_guard lock(m_mutex);
    m_open[fd] = address;
    const int fromThere = ++m_perKey[address];
    if (m_stopping)
        return Admission::Stopping;
    if (fromThere > m_perAddress)
        return Admission::OverAddressLimit;
    return static_cast<int>(m_open.size()) <= m_limit ? Admission::Admitted : Admission::OverLimit;
}

void ConnectionBook::leave(int fd) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_open.find(fd);
    if (it == m_open.end())
        return;
    if (--m_perKey[it->second] <= 0)
        m_perKey.erase(it->second);
    m_open.erase(it);
    m_left.notify_all();
}

bool ConnectionBook::stopping() {
    const std::lock_guard lock(m_mutex);
    return m_stopping;
}

void ConnectionBook::cutAll(int how) {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    for (const auto& entry : m_open)
        ::shutdown(entry.first, how);
}

void ConnectionBook::waitEmpty(int ms) {
    std::unique_lock lock(m_mutex);
    m_left.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_open.empty(); });
}

// ---- TcpServer -----------------------------------------------------------------------------

/// What the accepting threads and the workers share while the server runs.
struct TcpServer::Running {
    Running(const TcpServerConfig& config)
        : book(config.maxConnections, config.perAddress),
          pool(static_cast<std::size_t>(config.maxConnections) + config.spareThreads, 8) {}
    ConnectionBook book;
    BoundedPool pool;
    std::vector<int> listeners;
    std::vector<std::thread> threads;
    int wake = -1; ///< an eventfd that ends the accepting threads
};

TcpServer::TcpServer(TcpServerConfig config, Serve serve, Refused refused, Note note)
    : m_config(std::move(config)), m_serve(std::move(serve)), m_refused(std::move(refused)),
      m_note(std::move(note)) {}

TcpServer::~TcpServer() {
    stop();
}

bool TcpServer::stopping() {
    return !m_running || m_running->book.stopping();
}

bool TcpServer::start(std::string* error) {
    stop();
    m_running = std::make_unique<Running>(m_config);
    uint16_t port = m_config.port;
    m_addresses.clear();
    for (const auto& address : m_config.addresses) {
        if (!addressAvailable(address) && m_config.addresses.size() > 1) {
            if (m_note)
                m_note("not listening on " + address + ": no such address on this computer");
            continue;
        }
        std::string why;
        const int fd = listenOn(address, port, &why);
        if (fd < 0) {
            if (error != nullptr)
                *error = m_config.name + " server cannot listen on " + address + " port " +
                         std::to_string(port) + ": " + why;
            stop();
            return false;
        }
        if (port == 0)
            port = boundPort(fd); // every further address gets the same port
        m_running->listeners.push_back(fd);
        m_addresses.push_back(address);
    }
    if (m_running->listeners.empty()) {
        if (error != nullptr)
            *error = m_config.name + " server has no address to listen on";
        m_running.reset();
        return false;
    }
    m_running->wake = ::eventfd(0, EFD_CLOEXEC);
    m_port = port;
    for (const int listener : m_running->listeners)
        m_running->threads.emplace_back([this, listener] { acceptOn(listener); });
    return true;
}

void TcpServer::acceptOn(int listener) {
    // A connection over a limit is answered here at once, without waiting for its first
    // bytes: a flood of silent connections then holds no worker and never blocks accepting.
    // Its socket is kept a second to take what the client still sends (closing with unread
    // bytes would reset the connection and could destroy the answer), a bounded number at once.
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t MaxClosing = 256;
    Running& running = *m_running;
    std::vector<std::pair<int, Clock::time_point>> closing;
    for (;;) {
        std::vector<pollfd> entries = {{listener, POLLIN, 0}, {running.wake, POLLIN, 0}};
        for (const auto& entry : closing)
            entries.push_back({entry.first, POLLIN, 0});
        if (::poll(entries.data(), entries.size(), closing.empty() ? -1 : 200) < 0 &&
            errno != EINTR)
            break;
        if (entries[1].revents != 0)
            break;
        const auto now = Clock::now();
        for (std::size_t i = closing.size(); i-- > 0;) {
            char sink[4096];
            const bool readable = entries[i + 2].revents != 0;
            if ((readable && ::recv(closing[i].first, sink, sizeof sink, MSG_DONTWAIT) <= 0) ||
                now > closing[i].second) {
                ::close(closing[i].first);
                closing.erase(closing.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if ((entries[0].revents & POLLIN) == 0)
            continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Every answer goes out in one write; small writes (an event stream's, a line
        // protocol's) must not wait for the client's delayed acknowledgement.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const std::string peer = socketPeer(fd);
        // Entered here, not by the worker, so that the count is right for the next accept.
        const Admission admission = running.book.enter(fd, addressKey(peer));
        if (admission == Admission::Admitted) {
            running.pool.enqueue([this, fd, &running] {
                m_serve(fd);
                running.book.leave(fd);
                ::shutdown(fd, SHUT_RDWR);
                ::close(fd);
            });
            continue;
        }
        running.book.leave(fd);
        const std::string& busy = m_config.busyReply;
        (void)!::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(fd, SHUT_WR);
        if (closing.size() < MaxClosing)
            closing.emplace_back(fd, now + std::chrono::seconds(1));
        else
            ::close(fd);
        if (m_refused)
            m_refused(peer, admission);
    }
    for (const auto& entry : closing)
        ::close(entry.first);
}

void TcpServer::stop() {
    if (!m_running)
        return;
    Running& running = *m_running;
    if (m_config.goodbyeMs > 0) {
        running.book.cutAll(SHUT_RD);
        running.book.waitEmpty(m_config.goodbyeMs);
    }
    running.book.cutAll(SHUT_RDWR);
    if (running.wake >= 0) {
        const uint64_t one = 1;
        (void)!::write(running.wake, &one, sizeof one);
    }
    for (auto& thread : running.threads)
        thread.join();
    running.pool.shutdown(); // serves what was accepted (cut at once) and joins the workers
    for (const int fd : running.listeners)
        ::close(fd);
    if (running.wake >= 0)
        ::close(running.wake);
    m_running.reset();
}

} // namespace tarvex
