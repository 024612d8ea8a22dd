#include "monitor/offair_monitor.h"

#include "monitor/sample_convert.h"

#include <algorithm>
#include <span>

namespace tarvex {

OffAirMonitor::OffAirMonitor(QObject* parent) : QObject(parent), m_matcher(m_relay) {
    m_relay.owner = this;
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, [this] { m_matcher.poll(monotonicMs()); });
    m_inputRestart.setSingleShot(true);
    connect(&m_inputRestart, &QTimer::timeout, this, [this] {
        if (m_running && !startInput())
            restartInputLater();
    });
    connect(&m_alarm, &AlarmCommand::problem, this, &OffAirMonitor::report);
    connect(&m_alarm, &AlarmCommand::finished, this, &OffAirMonitor::alarmCommandFinished);
}

OffAirMonitor::~OffAirMonitor() {
    stop();
}

void OffAirMonitor::configure(const MonitorSettings& settings, const DecoderConfig& station) {
    const bool inputChanged = settings.input != m_settings.input;
    m_settings = settings;
    m_alarm.setCommand(QString::fromStdString(settings.alarmCommand));
    if (!m_running) {
        m_station = station;
        m_station.receiverInverts = settings.receiverInverts;
        applyMatcherSettings();
        return;
    }
    if (!settings.enabled) {
        stop();
        return;
    }
    if (inputChanged) {
        m_inputRestart.stop();
        if (m_input)
            m_input->stop();
        m_input.reset();
        if (!startInput())
            restartInputLater();
    }
    setStation(station); // the receiver's polarity is part of the decoders' command lines
}

void OffAirMonitor::setStation(const DecoderConfig& station) {
    DecoderConfig next = station;
    next.receiverInverts = m_settings.receiverInverts;
    std::vector<std::vector<std::string>> before, after;
    for (const auto& c : decoderCommands(m_station))
        before.push_back(c.arguments);
    for (const auto& c : decoderCommands(next))
        after.push_back(c.arguments);
    const bool changed = before != after;
    m_station = next;
    applyMatcherSettings();
    if (m_running && changed) {
        stopDecoders();
        startDecoders();
    }
}

void OffAirMonitor::applyMatcherSettings() {
    MatcherSettings ms = m_matcher.settings();
    ms.marginMs = m_settings.marginMs;
    ms.alarmCount = m_settings.alarmCount;
    ms.inputLatencyMs = m_input ? m_input->latencyMs() : 0;
    ms.decoderCharset = decoderCharsetArgument(m_station.charset);
    m_matcher.setSettings(ms);
}

bool OffAirMonitor::start() {
    if (m_running)
        return true;
    if (!m_settings.enabled) {
        m_status.problem = "the off-air monitor is switched off";
        return false;
    }
    if (const auto why = validateMonitorSettings(m_settings)) {
        m_status.problem = *why;
        return false;
    }
    if (decoderCommands(m_station).empty()) {
        m_status.problem = "no bit rate to decode";
        return false;
    }
    m_running = true;
    m_status.problem.clear();
    startDecoders();
    if (!startInput())
        restartInputLater();
    m_poll.start();
    return true;
}

void OffAirMonitor::stop() {
    if (!m_running)
        return;
    m_running = false;
    m_poll.stop();
    m_inputRestart.stop();
    if (m_input)
        m_input->stop();
    m_input.reset();
    stopDecoders();
    m_inputDelivering = false;
    m_block.clear();
}

bool OffAirMonitor::expect(const TransmissionRecord& record, QString* error) {
    if (!m_running)
        return true;
    std::string why;
    if (!m_matcher.expect(record, &why)) {
        if (error)
            *error = QString::fromStdString(why);
        return false;
    }
    return true;
}

void OffAirMonitor::released(uint64_t id, int64_t timeMs) {
    if (m_running)
        m_matcher.released(id, timeMs);
}

// Decoders -------------------------------------------------------------------------------

void OffAirMonitor::startDecoders() {
    for (auto& command : decoderCommands(m_station)) {
        Decoder d;
        d.process = std::make_unique<DecoderProcess>(std::move(command));
        DecoderProcess* p = d.process.get();
        connect(p, &DecoderProcess::decoded, this, &OffAirMonitor::onDecoded);
        connect(p, &DecoderProcess::exited, this,
                [this, p](const QString& reason) { decoderExited(p, reason); });
        m_decoders.push_back(std::move(d));
        startDecoder(m_decoders.back());
    }
}

void OffAirMonitor::stopDecoders() {
    for (auto& d : m_decoders)
        d.process->stop();
    m_decoders.clear(); // pending restarts go with their processes
}

void OffAirMonitor::startDecoder(Decoder& d) {
    d.startedMs = monotonicMs();
    if (d.process->start())
        return;
    DecoderProcess* p = d.process.get();
    report(QStringLiteral("decoder %1: %2")
               .arg(QString::fromStdString(p->command().name), p->lastError()));
    decoderExited(p, QString());
}

void OffAirMonitor::decoderExited(DecoderProcess* process, const QString& reason) {
    const auto it = std::find_if(m_decoders.begin(), m_decoders.end(),
                                 [&](const Decoder& d) { return d.process.get() == process; });
    if (it == m_decoders.end() || !m_running)
        return;
    it->pauseMs = nextPause(it->pauseMs, monotonicMs() - it->startedMs);
    if (!reason.isEmpty()) {
        ++m_status.decoderRestarts;
        report(QStringLiteral("decoder %1 %2; restarting in %3 ms")
                   .arg(QString::fromStdString(process->command().name), reason)
                   .arg(it->pauseMs));
    }
    // The timer belongs to the process: a decoder stopped meanwhile takes it along.
    QTimer::singleShot(it->pauseMs, process, [this, process] {
        const auto d = std::find_if(m_decoders.begin(), m_decoders.end(),
                                    [&](const Decoder& x) { return x.process.get() == process; });
        if (m_running && d != m_decoders.end())
            startDecoder(*d);
    });
}

int OffAirMonitor::nextPause(int pauseMs, int64_t ranMs) {
    if (ranMs >= 60000)
        return FirstRestartMs;
    return std::min(LastRestartMs, pauseMs * 2);
}

void OffAirMonitor::onDecoded(const Decode& decode) {
    const int64_t now = monotonicMs();
    m_status.lastDecodeMs = now;
    emit decoded(decode);
    m_matcher.decoded(decode, now);
}

// Input ------------------------------------------------------------------------------------

bool OffAirMonitor::startInput() {
    std::string why;
    const auto spec = parseMonitorInput(m_settings.input, &why);
    if (!spec) {
        report(QStringLiteral("input: ") + QString::fromStdString(why));
        return false;
    }
    m_input = makeMonitorInput(*spec);
    connect(m_input.get(), &MonitorInput::samples, this, &OffAirMonitor::feed);
    connect(m_input.get(), &MonitorInput::failed, this, &OffAirMonitor::inputFailed);
    m_inputDelivering = false;
    m_inputStartedMs = monotonicMs();
    if (!m_input->start()) {
        report(m_input->lastError());
        m_inputFailed = true;
        return false;
    }
    m_inputFailed = false;
    applyMatcherSettings(); // the input's latency
    return true;
}

void OffAirMonitor::inputFailed(const QString& reason) {
    if (!m_running)
        return;
    m_inputFailed = true;
    ++m_status.inputRestarts;
    m_inputPauseMs = nextPause(m_inputPauseMs, monotonicMs() - m_inputStartedMs);
    report(reason + QStringLiteral("; restarting the input in %1 ms").arg(m_inputPauseMs));
    // Not from inside the input's own signal: it is replaced on restart.
    QTimer::singleShot(0, this, [this] {
        if (m_input)
            m_input->stop();
        restartInputLater();
    });
}

void OffAirMonitor::restartInputLater() {
    if (m_running)
        m_inputRestart.start(m_inputPauseMs);
}

void OffAirMonitor::feed(const QByteArray& samples) {
    m_inputDelivering = true;
    constexpr qsizetype BlockBytes = DecoderBlockSamples * 2;
    m_block.append(samples);
    while (m_block.size() >= BlockBytes) {
        QByteArray block = m_block.left(BlockBytes);
        m_block.remove(0, BlockBytes);
        // Digital silence would hold the decoder in step on the all-zero codeword.
        addDither(std::span(reinterpret_cast<int16_t*>(block.data()),
                            static_cast<std::size_t>(BlockBytes / 2)),
                  m_dither);
        for (auto& d : m_decoders)
            d.process->feed(block);
    }
}

// Events and status --------------------------------------------------------------------------

void OffAirMonitor::report(const QString& text) {
    m_status.problem = text.toStdString();
    m_status.problemMs = monotonicMs();
    emit problem(text);
}

void OffAirMonitor::Relay::pageDecided(const PageVerdict& verdict) {
    owner->m_status.lastVerdict = verdictLine(verdict);
    emit owner->pageDecided(verdict);
}

void OffAirMonitor::Relay::heardElsewhere(const HeardElsewhere& heard) {
    emit owner->heardElsewhere(heard);
}

void OffAirMonitor::Relay::alarmChanged(const AlarmEvent& alarm) {
    owner->m_alarm.run(alarm);
    emit owner->alarmChanged(alarm);
}

std::vector<qint64> OffAirMonitor::decoderPids() const {
    std::vector<qint64> pids;
    for (const auto& d : m_decoders)
        if (d.process->running())
            pids.push_back(d.process->pid());
    return pids;
}

MonitorStatus OffAirMonitor::status() const {
    MonitorStatus s = m_status;
    s.input = m_settings.input;
    s.counts = m_matcher.counts();
    s.alarmRaised = m_matcher.alarmRaised();
    s.consecutiveNotHeard = m_matcher.consecutiveNotHeard();
    bool anyDecoder = false;
    for (const auto& d : m_decoders) {
        std::string line = d.process->command().name;
        if (d.process->running()) {
            line += " pid " + std::to_string(d.process->pid());
            anyDecoder = true;
        } else {
            line += " restarting";
        }
        s.decoders.push_back(line);
    }
    if (!m_running)
        s.state = MonitorStatus::State::Off;
    else if (m_inputFailed || !anyDecoder)
        s.state = MonitorStatus::State::Failed;
    else
        s.state =
            m_inputDelivering ? MonitorStatus::State::Running : MonitorStatus::State::Starting;
    return s;
}

} // namespace tarvex
