#include "paging/release_on_signal.h"

#include <csignal>
#include <cstring>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#else
#include <chrono>
#include <thread>
#endif

namespace tarvex {

namespace {

volatile std::sig_atomic_t g_received = 0;
volatile std::sig_atomic_t g_reloads = 0;
int g_pipe[2] = {-1, -1};

void wake(int signal) {
#ifndef _WIN32
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already wakes the watcher; the byte may then be dropped.
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
#else
    (void)signal;
#endif
}

extern "C" void recordSignal(int signal) {
    if (g_received == 0)
        g_received = signal;
    wake(signal);
}

extern "C" void recordReload(int signal) {
    g_reloads = 1;
    wake(signal);
}

bool installOnce(std::string* error) {
#ifndef _WIN32
    if (::pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = std::string("cannot create the signal pipe: ") + std::strerror(errno);
        g_pipe[0] = g_pipe[1] = -1;
        return false;
    }
    struct sigaction action {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        if (::sigaction(signal, &action, nullptr) != 0) {
            if (error)
                *error = std::string("cannot handle signal ") + std::to_string(signal) + ": " +
                         std::strerror(errno);
            return false;
        }
    }
    return true;
#else
    std::signal(SIGTERM, recordSignal);
    std::signal(SIGINT, recordSignal);
    (void)error;
    return true;
#endif
}

} // namespace

bool ReleaseSignals::install(std::string* error) {
    static std::string firstError;
    static const bool installed = installOnce(&firstError);
    if (!installed && error)
        *error = firstError;
    return installed;
}

bool ReleaseSignals::reloadOnHangUp(std::string* error) {
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = recordReload;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGHUP, &action, nullptr) != 0) {
        if (error)
            *error = std::string("cannot handle SIGHUP: ") + std::strerror(errno);
        return false;
    }
#else
    (void)error;
#endif
    return true;
}

bool ReleaseSignals::takeReload() {
    if (g_reloads == 0)
        return false;
    g_reloads = 0;
    return true;
}

int ReleaseSignals::wakeFd() {
    return g_pipe[0];
}

int ReleaseSignals::received() {
    return static_cast<int>(g_received);
}

void ReleaseSignals::drain() {
#ifndef _WIN32
    if (g_pipe[0] < 0)
        return;
    unsigned char buffer[64];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
#endif
}

void ReleaseSignals::reset() {
    drain();
    g_received = 0;
}

void throwIfInterrupted() {
    if (const int signal = ReleaseSignals::received())
        throw Interrupted(signal);
}

void InterruptiblePump::check() {
    if (const int signal = ReleaseSignals::received()) {
        if (onInterrupt)
            onInterrupt(signal);
        throw Interrupted(signal);
    }
}

void InterruptiblePump::processEvents() {
    check();
    if (m_inner)
        m_inner->processEvents();
    check();
}

void InterruptiblePump::waitForEvents(uint32_t maxMs) {
    check();
    if (m_inner) {
        m_inner->waitForEvents(maxMs);
        return;
    }
#ifndef _WIN32
    const int fd = ReleaseSignals::wakeFd();
    if (fd >= 0) {
        pollfd watch{fd, POLLIN, 0};
        ::poll(&watch, 1, static_cast<int>(maxMs)); // EINTR or a byte: the next pass checks
        return;
    }
#endif
    SleepingEventPump().waitForEvents(maxMs);
}

} // namespace tarvex
