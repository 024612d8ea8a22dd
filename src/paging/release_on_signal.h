#pragma once
// Ending the program on SIGTERM, SIGINT or SIGHUP without leaving the transmitter keyed. The
// handler only records the signal and writes a byte to a pipe; the program's own thread
// sees the pipe (or checks at its next wait), stops the sound and releases through the Keyer.
#include "paging/event_wait.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace tarvex {

/// What a program prints when a signal ended it mid-transmission.
inline constexpr char InterruptedText[] = "interrupted: transmitter released";

class ReleaseSignals {
public:
    /// Installs the handlers for SIGTERM, SIGINT and SIGHUP, once per process (later calls
    /// return the first result). False, with *error set, when the pipe or a handler could
    /// not be set up; the signals then keep their default action.
    static bool install(std::string* error = nullptr);
    /// Read end of the wake-up pipe, non-blocking; -1 before install (or without pipes).
    static int wakeFd();
    /// The first signal received since install or reset (0: none).
    static int received();
    /// Reads whatever is waiting in the pipe, so a watcher on wakeFd() quietens.
    static void drain();
    /// For a service: SIGHUP asks for a reload instead of the end (call after install()).
    /// False with *error when the handler could not be set.
    static bool reloadOnHangUp(std::string* error = nullptr);
    /// True once per SIGHUP received since reloadOnHangUp().
    static bool takeReload();
    /// Forgets a received signal (tests).
    static void reset();
    /// The exit status of a program that a signal ended: 128 + the signal.
    static int exitStatus(int signal) { return 128 + signal; }
};

/// Thrown out of a wait once a signal has asked the program to end.
class Interrupted : public std::runtime_error {
public:
    explicit Interrupted(int signal) : std::runtime_error(InterruptedText), m_signal(signal) {}
    int signal() const { return m_signal; }

private:
    int m_signal;
};

/// Throws Interrupted when a signal has arrived.
void throwIfInterrupted();

/// The event pump of a program that has no window: each pass throws Interrupted once a
/// signal has arrived, so the transmission unwinds (its KeyedTransmitter releases) and the
/// program ends. Between passes it waits in `inner` (which must wake on wakeFd(), e.g. a
/// Qt pump with a socket notifier on it) or, without one, on the wake-up pipe itself.
class InterruptiblePump : public EventPump {
public:
    explicit InterruptiblePump(EventPump* inner = nullptr) : m_inner(inner) {}

    /// Runs before Interrupted is thrown (e.g. to silence the output at once).
    std::function<void(int)> onInterrupt;

    void processEvents() override;
    void waitForEvents(uint32_t maxMs) override;

private:
    void check();

    EventPump* m_inner;
};

} // namespace tarvex
