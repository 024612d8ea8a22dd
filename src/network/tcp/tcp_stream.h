#pragma once
// A client connection as the station's servers read and write it, on the thread that serves
// it: reads fail once the gap between bytes or the whole time a request may take has passed,
// so that a client sending a byte now and then cannot hold a thread forever, and writes give
// up when the client stops taking them. POSIX sockets, no Qt.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarvex {

/// Waits for the socket to become readable (POLLIN) or writable (POLLOUT); false on timeout
/// or error.
bool waitForSocket(int fd, short events, int timeoutMs);

class DeadlineStream {
public:
    DeadlineStream(int fd, int idleMs, int writeMs);
    /// Starts the time limit of the next request (or, for a line protocol, the next line).
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

/// The numeric address of a connected socket's peer; empty when it has none.
std::string socketPeer(int fd);

} // namespace tarvex
