#include "network/dapnet/dapnet_link.h"

#include "encoder/conversions.h"

#include <QDateTime>

#include <cstdio>

#ifndef TARVEX_PROJECT_VERSION
#define TARVEX_PROJECT_VERSION "0.0"
#endif

namespace tarvex {

namespace {

/// Answers the link may owe the server before it counts as not reading them.
constexpr qint64 WriteBacklogLimit = 64 * 1024;
constexpr int GarbageLogLimit = 10;

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

DapnetLink::DapnetLink(PageSink& sink, ServiceLogger log, QObject* parent)
    : QObject(parent), m_sink(sink), m_log(std::move(log)), m_backoff(m_timing), m_socket(this),
      m_connectTimer(this), m_silenceTimer(this), m_retryTimer(this) {
    m_socket.setReadBufferSize(64 * 1024);
    for (QTimer* timer : {&m_connectTimer, &m_silenceTimer, &m_retryTimer})
        timer->setSingleShot(true);
    connect(&m_socket, &QTcpSocket::connected, this, &DapnetLink::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &DapnetLink::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this,
            [this] { linkLost("the server closed the connection"); });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        linkLost(m_socket.errorString().toStdString());
    });
    connect(&m_connectTimer, &QTimer::timeout, this,
            [this] { linkLost("no connection within " + seconds(m_timing.connectTimeoutMs)); });
    connect(&m_silenceTimer, &QTimer::timeout, this, [this] {
        linkLost("no line from the server for " + seconds(m_timing.silenceTimeoutMs));
    });
    connect(&m_retryTimer, &QTimer::timeout, this, &DapnetLink::connectNow);
}

DapnetLink::~DapnetLink() {
    m_socket.disconnect(this);
    m_socket.abort();
}

std::string DapnetLink::apply(const DapnetSettings& settings) {
    stop();
    m_settings = settings;
    m_status.server = settings.host + ":" + std::to_string(settings.port);
    m_status.callsign = settings.callsign;
    m_status.refusal.clear();
    m_status.lastError.clear();
    if (!settings.enabled) {
        emit statusChanged();
        return {};
    }
    if (const std::string problem = dapnetSettingsProblem(settings); !problem.empty()) {
        m_status.lastError = problem;
        log("link not started: " + problem, LogLevel::Error);
        emit statusChanged();
        return problem;
    }
    m_backoff = DapnetBackoff(m_timing);
    connectNow();
    return {};
}

void DapnetLink::stop() {
    const bool wasOn = m_status.state != DapnetLinkState::Off;
    m_connected = false;
    m_connectTimer.stop();
    m_silenceTimer.stop();
    m_retryTimer.stop();
    setState(DapnetLinkState::Off); // before abort(): its signals then find the link off
    m_status.clockWarning.clear();
    m_socket.abort();
    m_splitter.clear();
    if (wasOn)
        log("link off");
}

void DapnetLink::connectNow() {
    m_splitter.clear();
    m_garbageLogged = 0;
    m_status.nextAttemptMs = 0;
    setState(DapnetLinkState::Connecting);
    log("connecting to " + m_status.server);
    checkClock();
    m_connectTimer.start(static_cast<int>(m_timing.connectTimeoutMs));
    m_socket.connectToHost(QString::fromStdString(m_settings.host), m_settings.port);
}

void DapnetLink::onConnected() {
    if (m_status.state != DapnetLinkState::Connecting)
        return;
    m_connectTimer.stop();
    m_connected = true;
    DapnetIdentity id;
    id.version = tarvexVersion();
    id.callsign = m_settings.callsign;
    id.authKey = m_settings.authKey;
    setState(DapnetLinkState::LoggingIn);
    log("connected to " + m_status.server + "; logging in as " + m_settings.callsign);
    m_silenceTimer.start(static_cast<int>(m_timing.silenceTimeoutMs));
    send(m_session.begin(id)); // the login line: sent, never logged
}

void DapnetLink::onReadyRead() {
    std::vector<LineSplitter::Line> lines;
    while (m_connected && m_socket.bytesAvailable() > 0) {
        const QByteArray chunk = m_socket.read(16 * 1024);
        lines.clear();
        m_splitter.feed(std::string_view(chunk.constData(), static_cast<size_t>(chunk.size())),
                        lines);
        for (const LineSplitter::Line& line : lines) {
            if (!m_connected)
                return;
            handleLine(line);
        }
    }
}

void DapnetLink::handleLine(const LineSplitter::Line& line) {
    m_silenceTimer.start(static_cast<int>(m_timing.silenceTimeoutMs));
    carryOut(line.overlong ? m_session.handleOverlong(line.text)
                           : m_session.handleLine(line.text, nowMs()));
    if (m_connected && m_socket.bytesToWrite() > WriteBacklogLimit)
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
    QueuedPage queued;
    queued.acceptedAtMs = nowMs();
    queued.source = "dapnet";
    queued.origin = "DAPNET " + m_status.server;
    queued.recipient = page.page.ric;
    queued.page = page.page;
    std::string error;
    const std::optional<int64_t> id = m_sink.accept(queued, &error);
    const std::string what = "page #" + hex2(page.sequence);
    if (id) {
        send(m_session.pageQueued(nowMs()));
        ++m_status.pagesReceived;
        log(what + " for RIC " + page.page.ric + " queued as #" + std::to_string(*id));
    } else {
        send(m_session.pageNotQueued());
        ++m_status.pagesRefused;
        log(what + " for RIC " + page.page.ric + " could not be queued (" + error +
            "); the server is asked to send it again");
    }
    emit statusChanged();
}

void DapnetLink::noteEvent(const DapnetEvent& event) {
    switch (event.kind) {
    case DapnetEventKind::TimeSync:
    case DapnetEventKind::Page: // logged once its fate is known
        return;
    case DapnetEventKind::TimeCorrection:
        m_status.lastCorrectionTenths = event.value;
        break;
    case DapnetEventKind::Slots:
        m_status.allowedSlots = event.allowed;
        m_status.slotsAssigned = true;
        emit slotsChanged(event.allowed.mask());
        if (m_status.state == DapnetLinkState::Online)
            log(event.text);
        emit statusChanged();
        return;
    case DapnetEventKind::Online:
        m_status.onlineSinceMs = nowMs();
        m_status.refusal.clear();
        setState(DapnetLinkState::Online);
        checkClock();
        log("logged in to " + m_status.server + " as " + m_settings.callsign + "; " +
            event.text.substr(event.text.find(',') + 2));
        return;
    case DapnetEventKind::Duplicate:
        ++m_status.duplicates;
        break;
    case DapnetEventKind::PageRefused:
        ++m_status.pagesRefused;
        break;
    case DapnetEventKind::Refusal:
        m_status.refusal = shown(event.text); // the status is shown as well as the log
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
    const std::string framed = line + "\r\n";
    m_socket.write(framed.data(), static_cast<qint64>(framed.size()));
}

void DapnetLink::linkLost(const std::string& reason) {
    if (m_status.state == DapnetLinkState::Off || m_status.state == DapnetLinkState::BackingOff ||
        (m_status.state == DapnetLinkState::Refused && !m_connected))
        return; // already handled, or stopped on purpose
    const bool wasOnline = m_status.state == DapnetLinkState::Online;
    m_connected = false;
    m_connectTimer.stop();
    m_silenceTimer.stop();
    const DapnetOutput end = m_session.end(m_splitter.pending());
    m_splitter.clear();
    for (const DapnetEvent& event : end.events)
        noteEvent(event);
    const bool refused = m_session.state() == DapnetSession::State::Refused;
    if (wasOnline && nowMs() - m_status.onlineSinceMs >= m_timing.goodSessionMs)
        m_backoff.reset();
    const int64_t wait = m_backoff.next();
    m_status.lastError = refused ? "refused: " + m_status.refusal : reason;
    m_status.nextAttemptMs = nowMs() + wait;
    setState(refused ? DapnetLinkState::Refused : DapnetLinkState::BackingOff);
    m_socket.abort();
    log("link to " + m_status.server + " ended (" + m_status.lastError + "); next attempt in " +
            seconds(wait),
        LogLevel::Warning);
    m_retryTimer.start(static_cast<int>(wait));
    emit statusChanged();
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
    if (warning == m_status.clockWarning)
        return;
    if (!warning.empty())
        log(warning);
    else
        log("the system clock is synchronised again");
    m_status.clockWarning = warning;
    emit statusChanged();
}

void DapnetLink::setState(DapnetLinkState state) {
    if (m_status.state == state)
        return;
    m_status.state = state;
    emit statusChanged();
}

int64_t DapnetLink::nowMs() const {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace tarvex
