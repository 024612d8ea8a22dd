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
        if (!m_running)
            return;
        ++m_status.inputRestarts;
        startInput();
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
        startInput();
    }
    setStation(station); // the receiver's polarity is part of the decoders' command lines
}

void OffAirMonitor::setStation(const DecoderConfig& station) {
    DecoderConfig next = station;
    next.receiverInverts = m_settings.receiverInverts;
    m_station = next;
    applyMatcherSettings();
    if (m_running)
        syncDecoders();
}

void OffAirMonitor::applyMatcherSettings() {
    MatcherSettings ms = m_matcher.settings();
    ms.marginMs = m_settings.marginMs;
    ms.alarmCount = m_settings.alarmCount;
    // The input's own buffering and the blocks the decoders are fed in.
    ms.inputLatencyMs =
        (m_input ? m_input->latencyMs() : 0) + DecoderBlockSamples * 1000 / DecoderSampleRate;
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
    syncDecoders();
    m_inputPauseMs = FirstRestartMs / 2; // the first retry waits FirstRestartMs
    startInput();
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
    for (auto& d : m_decoders)
        d.process->stop();
    m_decoders.clear(); // pending restarts go with their processes
    m_inputDelivering = false;
    m_block.clear();
}

bool OffAirMonitor::expect(const TransmissionRecord& record, QString* error) {
    if (!m_running)
        return true;
    coverTransmission(record);
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

void OffAirMonitor::coverTransmission(const TransmissionRecord& record) {
    // A transmission the decoders cannot hear would only ever be "not heard": listen at its
    // rate and polarity too (pagers of both polarities in the directory, a rate the station
    // was not set up for). Decoders already running keep running.
    DecoderConfig wanted = m_station;
    if (std::find(wanted.rates.begin(), wanted.rates.end(), record.baud) == wanted.rates.end())
        wanted.rates.push_back(record.baud);
    if (record.inverted != wanted.stationInverted)
        wanted.bothPolarities = true;
    if (wanted.rates != m_station.rates || wanted.bothPolarities != m_station.bothPolarities) {
        m_station = wanted;
        syncDecoders();
    }
}

void OffAirMonitor::syncDecoders() {
    const auto wanted = decoderCommands(m_station);
    auto isWanted = [&](const Decoder& d) {
        return std::any_of(wanted.begin(), wanted.end(), [&](const DecoderCommand& c) {
            return c.arguments == d.process->command().arguments;
        });
    };
    if (!std::all_of(m_decoders.begin(), m_decoders.end(), isWanted)) {
        // What the input delivered so far goes to the decoders that are about to stop; they
        // finish it before they end.
        for (auto& d : m_decoders)
            d.process->feed(m_block);
        m_block.clear();
        for (auto& d : m_decoders)
            if (!isWanted(d))
                d.process->stop();
        std::erase_if(m_decoders, [&](const Decoder& d) { return !isWanted(d); });
    }
    for (auto command : wanted) {
        const bool running =
            std::any_of(m_decoders.begin(), m_decoders.end(), [&](const Decoder& d) {
                return d.process->command().arguments == command.arguments;
            });
        if (running)
            continue;
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
    if (!isIdleArtifact(decode)) {
        m_status.lastDecodeMs = now;
        emit decoded(decode);
    }
    m_matcher.decoded(decode, now);
}

// Input ------------------------------------------------------------------------------------

bool OffAirMonitor::startInput() {
    std::string why;
    const auto choice = parseMonitorInput(m_settings.input, &why);
    if (!choice) {
        inputDown(QStringLiteral("input: ") + QString::fromStdString(why));
        return false;
    }
    m_input = makeMonitorInput(*choice);
    connect(m_input.get(), &MonitorInput::samples, this, &OffAirMonitor::feed);
    MonitorInput* input = m_input.get();
    connect(input, &MonitorInput::failed, this, [this, input](const QString& reason) {
        // Not from inside the input's own signal: the input is replaced on restart. An input
        // already replaced (settings changed meanwhile) takes the call with it.
        QTimer::singleShot(0, input, [this, input, reason] {
            if (m_input.get() != input)
                return;
            input->stop();
            inputDown(reason);
        });
    });
    m_inputDelivering = false;
    m_inputStartedMs = monotonicMs();
    if (!m_input->start()) {
        inputDown(m_input->lastError());
        return false;
    }
    m_inputFailed = false;
    applyMatcherSettings(); // the input's latency
    return true;
}

void OffAirMonitor::inputDown(const QString& reason) {
    if (!m_running)
        return;
    m_inputFailed = true;
    m_inputDelivering = false;
    m_inputPauseMs = nextPause(m_inputPauseMs, monotonicMs() - m_inputStartedMs);
    report(reason + QStringLiteral("; trying the input again in %1 ms").arg(m_inputPauseMs));
    m_inputRestart.start(m_inputPauseMs);
}

void OffAirMonitor::feed(const QByteArray& samples) {
    m_inputDelivering = true;
    m_status.lastAudioMs = monotonicMs();
    constexpr qsizetype BlockBytes = DecoderBlockSamples * 2;
    m_block.append(samples);
    while (m_block.size() >= BlockBytes) {
        QByteArray block = m_block.left(BlockBytes);
        m_block.remove(0, BlockBytes);
        // A step of dither: in digital silence (a null sink, a receiver with its squelch shut)
        // the decoders then fall out of step instead of reading the silence as codewords,
        // and a transmission at another rate cannot be misread as one at theirs.
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
    // Logged and shown first: the alarm is on record before its command can act on it (a
    // quick command used to finish before the service had written its alarm line).
    emit owner->alarmChanged(alarm);
    owner->m_alarm.run(alarm);
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
