#pragma once
// The transport under the WCTP server: a socket stream that bounds both the silence between
// bytes and the whole time a request may take, a worker pool with a bounded backlog, the book
// of open connections that enforces the connection limit and lets stop() cut them, and the
// writing of an answer. Used only by wctp_server.cpp.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace tarvex {

/// A socket stream whose reads fail once the byte gap or the request deadline has passed, so
/// that a client sending a byte now and then cannot hold a worker forever.
class DeadlineStream {
public:
    DeadlineStream(int fd, int idleMs, int writeMs);
    /// Starts the time limit of the next request.
    void startRequest(int requestMs);
    /// True when a further request starts within waitMs (kept-alive connections).
    bool nextRequestWithin(int waitMs);

    /// Up to `size` bytes; 0 when the peer closed, -1 on an error or when time ran out.
    ssize_t read(char* ptr, size_t size);
    /// Writes all the bytes within the write time; false when they could not be.
    bool writeAll(std::string_view bytes);
    /// Ends the connection so that an answer just written reaches a client still sending:
    /// the write side is shut, and what the client sends meanwhile is read and dropped for
    /// a short, bounded while before the socket is closed.
    void lingerClose();
    /// The numeric address of the peer and of this end.
    std::string peerAddress() const;
    std::string localAddress() const;
    int socket() const { return m_fd; }

    enum class Timeout { None, Idle, Request };
    /// Why the last read failed for lack of time, if it did.
    Timeout timedOut() const { return m_timedOut; }

private:
    int readWaitMs() const;
    bool writable() const;
    int m_fd;
    int m_idleMs;
    int m_writeMs;
    std::chrono::steady_clock::time_point m_deadline;
    char m_buffer[4096];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    Timeout m_timedOut = Timeout::None;
};

/// Worker threads, started as needed up to a maximum, with a bounded backlog: when it is full
/// the accepting thread waits (new connections then wait in the kernel).
class BoundedPool {
public:
    BoundedPool(std::size_t maxThreads, std::size_t maxWaiting);
    ~BoundedPool();
    void enqueue(std::function<void()> fn);
    void shutdown();

private:
    void work();
    std::size_t m_maxThreads;
    std::size_t m_maxWaiting;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_roomFree;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_shutdown = false;
};

/// The connections being served (over every listening socket).
class ConnectionBook {
public:
    ConnectionBook(int limit, int perAddress) : m_limit(limit), m_perAddress(perAddress) {}
    /// Registers the socket of the client counted under `address`; false when it is over the
    /// limit, over the address's own limit, or the server is stopping (it is registered all
    /// the same and must be left).
    bool enter(int fd, const std::string& address);
    void leave(int fd);
    bool stopping();
    /// Marks the server as stopping and shuts every open socket down.
    void cutAll();

private:
    std::mutex m_mutex;
    std::map<int, std::string> m_open; ///< socket and the address it is counted under
    std::map<std::string, int> m_perKey;
    int m_limit;
    int m_perAddress;
    bool m_stopping = false;
};

/// An answer: the status line, the headers given and Content-Length, Connection and the body.
std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         bool close,
                         const std::vector<std::pair<std::string, std::string>>& headers = {});

} // namespace tarvex
