#include "network/tcp/tcp_client.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;

/// A name lookup shared by the thread that runs it and the caller that may stop waiting:
/// whichever lets go last frees it, and the result of a lookup nobody waits for any more.
struct Lookup {
    Lookup() : done(::eventfd(0, EFD_CLOEXEC)) {}
    ~Lookup() {
        if (found != nullptr)
            ::freeaddrinfo(found);
        if (done >= 0)
            ::close(done);
    }
    std::mutex mutex;
    int done; ///< readable once the lookup has ended
    int status = 0;
    addrinfo* found = nullptr;
};

int msLeft(Clock::time_point until) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

/// Waits for `events` on fd, or for stopFd; 1 when fd is ready, 0 on timeout, -1 on a stop.
int waitOrStop(int fd, short events, int stopFd, Clock::time_point until) {
    for (;;) {
        pollfd entries[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int n = ::poll(entries, stopFd >= 0 ? 2 : 1, msLeft(until));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        if (stopFd >= 0 && entries[1].revents != 0)
            return -1;
        return 1;
    }
}

} // namespace

TcpConnectResult connectWithin(const std::string& host, uint16_t port, int timeoutMs, int stopFd) {
    TcpConnectResult result;
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string service = std::to_string(port);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    auto lookup = std::make_shared<Lookup>();
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &lookup->found) != 0) {
        lookup->found = nullptr;
        if (lookup->done < 0) {
            result.error = std::strerror(errno);
            return result;
        }
        hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
        std::thread([lookup, host, service, hints] {
            addrinfo* found = nullptr;
            const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
            const std::lock_guard lock(lookup->mutex);
            lookup->status = status;
            lookup->found = found;
            const uint64_t one = 1;
            (void)!::write(lookup->done, &one, sizeof one);
        }).detach();
        const int waited = waitOrStop(lookup->done, POLLIN, stopFd, until);
        if (waited <= 0) {
            result.stopped = waited < 0;
            result.timedOut = waited == 0;
            result.error = result.stopped ? "stopped" : "no answer to the name lookup in time";
            return result;
        }
        const std::lock_guard lock(lookup->mutex);
        if (lookup->status != 0) {
            result.error = ::gai_strerror(lookup->status);
            return result;
        }
    }
    const std::lock_guard lock(lookup->mutex);
    result.error = "no address for " + host;
    for (const addrinfo* a = lookup->found; a != nullptr; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            result.error = std::strerror(errno);
            continue;
        }
        int error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            const int waited = waitOrStop(fd, POLLOUT, stopFd, until);
            if (waited <= 0) {
                ::close(fd);
                result.stopped = waited < 0;
                result.timedOut = waited == 0;
                result.error = result.stopped ? "stopped" : "no connection in time";
                return result;
            }
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
        if (error == 0) {
            result.fd = fd;
            result.error.clear();
            return result;
        }
        ::close(fd);
        result.error = std::strerror(error);
    }
    return result;
}

} // namespace tarvex
