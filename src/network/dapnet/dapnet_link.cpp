#include "network/dapnet/dapnet_link.h"

#include "encoder/conversions.h"
#include "network/intake/page_intake.h"
#include "network/tcp/tcp_client.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef TARVEX_PROJECT_VERSION
#define TARVEX_PROJECT_VERSION "0.0"
#endif

namespace tarvex {

namespace {

/// Answers the link may owe the server before it counts as not reading them.
constexpr std::size_t WriteBacklogLimit = 64 * 1024;
constexpr int GarbageLogLimit = 10;
constexpr std::size_t ReadChunkBytes = 16 * 1024;

std::string hex2(int value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string seconds(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

} // namespace

std::string tarvexVersion() {
    return TARVEX_PROJECT_VERSION;
}

DapnetLink::DapnetLink(PageIntake& intake, ServiceLogger log)
    : m_intake(intake), m_log(std::move(log)), m_backoff(m_timing),
      m_stopFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DapnetLink::~DapnetLink() {
    stop();
    if (m_stopFd >= 0)
        ::close(m_stopFd);
}

template <typename F> void DapnetLink::update(F change, bool tell) {
    {
        const std::lock_guard lock(m_statusMutex);
        change(m_status);
    }
    if (tell && m_changed)
        m_changed();
}

DapnetLinkStatus DapnetLink::status() const {
    const std::lock_guard lock(m_statusMutex);
    return m_status;
}

TimeSlots DapnetLink::allowedSlots() const {
    const std::lock_guard lock(m_statusMutex);
    return m_status.allowedSlots;
}

std::string DapnetLink::apply(const DapnetSettings& settings) {
    stop();
    m_settings = settings;
    const std::string problem = settings.enabled ? dapnetSettingsProblem(settings) : "";
    // A link that starts tells of its first state, connecting; one that stays off tells now.
    update(
        [&](DapnetLinkStatus& s) {
            s.server = settings.host + ":" + std::to_string(settings.port);
            s.callsign = settings.callsign;
            s.refusal.clear();
            s.lastError = problem;
        },
        !settings.enabled || !problem.empty());
    if (!settings.enabled)
        return {};
    if (!problem.empty()) {
        log("link not started: " + problem, LogLevel::Error);
        return problem;
    }
    m_backoff = DapnetBackoff(m_timing);
    uint64_t drained = 0;
    (void)!::read(m_stopFd, &drained, sizeof drained); // a stop asked for before is done
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return {};
}

void DapnetLink::stop() {
    if (m_thread.joinable()) {
        m_stop = true;
        const uint64_t one = 1;
        (void)!::write(m_stopFd, &one, sizeof one);
        m_thread.join();
    }
    const bool wasOn = status().state != DapnetLinkState::Off;
    update(
        [](DapnetLinkStatus& s) {
            s.state = DapnetLinkState::Off;
            s.clockWarning.clear();
        },
        wasOn);
    if (wasOn)
        log("link off");
}

void DapnetLink::run() {
    while (!stopping()) {
        connectOnce();
        if (stopping())
            break;
        // The back-off linkLost() chose; a stop ends it at once.
        pollfd entry{m_stopFd, POLLIN, 0};
        while (::poll(&entry, 1, static_cast<int>(m_retryMs)) < 0 && errno == EINTR) {
        }
    }
}

void DapnetLink::connectOnce() {
    m_splitter.clear();
    m_garbageLogged = 0;
    m_out.clear();
    update([](DapnetLinkStatus& s) {
        s.nextAttemptMs = 0;
        s.state = DapnetLinkState::Connecting;
    });
    const std::string server = status().server;
    log("connecting to " + server);
    checkClock();
    const TcpConnectResult result = connectWithin(
        m_settings.host, m_settings.port, static_cast<int>(m_timing.connectTimeoutMs), m_stopFd);
    if (result.stopped)
        return;
    if (result.fd < 0) {
        linkLost(result.timedOut ? "no connection within " + seconds(m_timing.connectTimeoutMs)
                                 : result.error);
        return;
    }
    m_fd = result.fd;
    onConnected();
    converse();
    ::close(m_fd);
    m_fd = -1;
    m_connected = false;
}

void DapnetLink::onConnected() {
    m_connected = true;
    DapnetIdentity id;
    id.version = tarvexVersion();
    id.callsign = m_settings.callsign;
    id.authKey = m_settings.authKey;
    setState(DapnetLinkState::LoggingIn);
    log("connected to " + status().server + "; logging in as " + m_settings.callsign);
    send(m_session.begin(id)); // the login line: sent, never logged
}

void DapnetLink::converse() {
    using Clock = std::chrono::steady_clock;
    auto silentUntil = Clock::now() + std::chrono::milliseconds(m_timing.silenceTimeoutMs);
    std::vector<LineSplitter::Line> lines;
    char chunk[ReadChunkBytes];
    while (m_connected) {
        const short events = static_cast<short>(POLLIN | (m_out.empty() ? 0 : POLLOUT));
        pollfd entries[2] = {{m_fd, events, 0}, {m_stopFd, POLLIN, 0}};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(silentUntil - Clock::now())
                .count();
        const int n = ::poll(entries, 2, static_cast<int>(std::max<int64_t>(left, 0)));
        if (n < 0 && errno == EINTR)
            continue;
        if (stopping())
            return;
        if (n == 0) {
            linkLost("no line from the server for " + seconds(m_timing.silenceTimeoutMs));
            return;
        }
        if ((entries[0].revents & POLLOUT) != 0 && !flush())
            return;
        if ((entries[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (got <= 0) {
            linkLost(got == 0 ? "the server closed the connection" : std::strerror(errno));
            return;
        }
        lines.clear();
        m_splitter.feed(std::string_view(chunk, static_cast<std::size_t>(got)), lines);
        for (const LineSplitter::Line& line : lines) {
            if (!m_connected)
                return;
            silentUntil = Clock::now() + std::chrono::milliseconds(m_timing.silenceTimeoutMs);
            handleLine(line);
        }
    }
}

void DapnetLink::handleLine(const LineSplitter::Line& line) {
    carryOut(line.overlong ? m_session.handleOverlong(line.text)
                           : m_session.handleLine(line.text, nowMs()));
    if (m_connected && m_out.size() > WriteBacklogLimit)
        linkLost("the server does not read the answers");
}

void DapnetLink::carryOut(const DapnetOutput& out) {
    for (const std::string& line : out.send)
        send(line);
    for (const DapnetEvent& event : out.events)
        noteEvent(event);
    if (out.page)
        commitPage(*out.page);
    if (m_connected && m_session.state() == DapnetSession::State::Refused) {
        // The server closes after a refusal; do not wait for it.
        linkLost("the server refused the login");
    }
}

void DapnetLink::commitPage(const DapnetPage& page) {
    // The link's own pages: no login, checked by the session as the transmitter will check
    // them, and acknowledged only once the intake has them in the durable queue.
    Submission submission;
    submission.source = "dapnet";
    submission.peer = "DAPNET " + status().server;
    submission.reference = "#" + hex2(page.sequence);
    submission.ready = page.page;
    const IntakeResult result = m_intake.submit(submission);
    if (result.status == IntakeStatus::Queued) {
        send(m_session.pageQueued(nowMs()));
        update([](DapnetLinkStatus& s) { ++s.pagesReceived; });
    } else {
        send(m_session.pageNotQueued()); // the server sends it again
        update([](DapnetLinkStatus& s) { ++s.pagesRefused; });
    }
}

void DapnetLink::noteEvent(const DapnetEvent& event) {
    switch (event.kind) {
    case DapnetEventKind::TimeSync:
    case DapnetEventKind::Page: // logged once its fate is known
        return;
    case DapnetEventKind::TimeCorrection:
        update([&](DapnetLinkStatus& s) { s.lastCorrectionTenths = event.value; });
        break;
    case DapnetEventKind::Slots: {
        bool online = false;
        update([&](DapnetLinkStatus& s) {
            s.allowedSlots = event.allowed;
            s.slotsAssigned = true;
            online = s.state == DapnetLinkState::Online;
        });
        if (online)
            log(event.text);
        return;
    }
    case DapnetEventKind::Online:
        update([&](DapnetLinkStatus& s) {
            s.onlineSinceMs = nowMs();
            s.refusal.clear();
        });
        setState(DapnetLinkState::Online);
        checkClock();
        log("logged in to " + status().server + " as " + m_settings.callsign + "; " +
            event.text.substr(event.text.find(',') + 2));
        return;
    case DapnetEventKind::Duplicate:
        update([](DapnetLinkStatus& s) { ++s.duplicates; });
        break;
    case DapnetEventKind::PageRefused:
        update([](DapnetLinkStatus& s) { ++s.pagesRefused; });
        break;
    case DapnetEventKind::Refusal:
        // The status is shown as well as the log: with the key hidden.
        update([&](DapnetLinkStatus& s) { s.refusal = shown(event.text); });
        log("the server refused the login: " + event.text, LogLevel::Error);
        return;
    case DapnetEventKind::Garbage:
    case DapnetEventKind::Overlong:
        if (++m_garbageLogged > GarbageLogLimit) {
            if (m_garbageLogged == GarbageLogLimit + 1)
                log("more unexpected lines on this connection are not logged");
            return;
        }
        break;
    case DapnetEventKind::SequenceGap:
        break;
    }
    log(event.text);
}

void DapnetLink::send(const std::string& line) {
    if (!m_connected || line.empty())
        return;
    m_out += line + "\r\n";
    flush();
}

bool DapnetLink::flush() {
    while (!m_out.empty()) {
        const ssize_t n = ::send(m_fd, m_out.data(), m_out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true; // the rest goes when the socket takes it
        if (n <= 0) {
            linkLost(std::strerror(errno));
            return false;
        }
        m_out.erase(0, static_cast<std::size_t>(n));
    }
    return true;
}

void DapnetLink::linkLost(const std::string& reason) {
    const DapnetLinkStatus now = status();
    if (!m_connected && now.state != DapnetLinkState::Connecting)
        return; // already handled
    const bool wasOnline = now.state == DapnetLinkState::Online;
    m_connected = false;
    const DapnetOutput end = m_session.end(m_splitter.pending());
    m_splitter.clear();
    for (const DapnetEvent& event : end.events)
        noteEvent(event);
    const bool refused = m_session.state() == DapnetSession::State::Refused;
    if (wasOnline && nowMs() - now.onlineSinceMs >= m_timing.goodSessionMs)
        m_backoff.reset();
    m_retryMs = m_backoff.next();
    std::string error;
    update([&](DapnetLinkStatus& s) {
        s.lastError = refused ? "refused: " + s.refusal : reason;
        s.nextAttemptMs = nowMs() + m_retryMs;
        s.state = refused ? DapnetLinkState::Refused : DapnetLinkState::BackingOff;
        error = s.lastError;
    });
    log("link to " + now.server + " ended (" + error + "); next attempt in " + seconds(m_retryMs),
        LogLevel::Warning);
}

void DapnetLink::log(const std::string& line, LogLevel level) {
    m_log.log(level, shown("DAPNET: " + line));
}

std::string DapnetLink::shown(std::string text) const {
    // Nothing the server sends should hold the key, but a line it echoes could: hide it.
    const std::string& key = m_settings.authKey;
    if (!key.empty())
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at))
            text.replace(at, key.size(), "[key]");
    return escapeControls(text);
}

void DapnetLink::checkClock() {
    // Logged when it changes, not at every attempt.
    const std::string warning = m_clockCheck ? clockSyncWarning(m_clockCheck()) : std::string();
    if (warning == status().clockWarning)
        return;
    if (!warning.empty())
        log(warning);
    else
        log("the system clock is synchronised again");
    update([&](DapnetLinkStatus& s) { s.clockWarning = warning; });
}

void DapnetLink::setState(DapnetLinkState state) {
    if (status().state == state)
        return;
    update([state](DapnetLinkStatus& s) { s.state = state; });
}

int64_t DapnetLink::nowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace tarvex
