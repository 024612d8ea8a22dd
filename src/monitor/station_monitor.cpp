#include "monitor/station_monitor.h"

#include "monitor/decoder_command.h"
#include "monitor/offair_monitor.h"
#include "monitor/offair_report.h"

#include <QTimer>

namespace tarvex {

StationMonitor::StationMonitor(Station& station, ServiceLogger log, QObject* parent)
    : QObject(parent), m_station(station), m_log(std::move(log)),
      m_monitor(std::make_unique<OffAirMonitor>()) {
    m_listener = m_station.subscribe([this](const StationEvent& e) { onEvent(e); });
    connect(m_monitor.get(), &OffAirMonitor::pageDecided, this, &StationMonitor::onVerdict);
    connect(m_monitor.get(), &OffAirMonitor::heardElsewhere, this,
            [this](const HeardElsewhere& heard) { say(elsewhereLine(heard)); });
    connect(m_monitor.get(), &OffAirMonitor::alarmChanged, this,
            [this](const AlarmEvent& alarm) { say(alarmLine(alarm), alarm.raised); });
    connect(m_monitor.get(), &OffAirMonitor::problem, this,
            [this](const QString& text) { say("Off-air monitor: " + text.toStdString()); });
    m_flush = new QTimer(this);
    m_flush->setInterval(1000);
    connect(m_flush, &QTimer::timeout, this, [this] { flush(false); });
}

StationMonitor::~StationMonitor() {
    m_station.unsubscribe(m_listener);
    m_station.setPageLogHook(nullptr);
    flush(true);
}

bool StationMonitor::running() const {
    return m_monitor->running();
}

void StationMonitor::apply(const MonitorSettings& settings, bool inverted,
                           const std::string& charset) {
    m_settings = settings;
    m_monitor->stop();
    m_station.setPageLogHook(nullptr);
    flush(true);
    if (!settings.enabled) {
        m_flush->stop();
        return;
    }
    DecoderConfig decoder;
    decoder.stationInverted = inverted;
    decoder.receiverInverts = settings.receiverInverts;
    decoder.charset = decoderCharsetArgument(charset);
    m_monitor->configure(settings, decoder);
    if (!m_monitor->start()) {
        say("Off-air monitor not running: see the messages above");
        return;
    }
    m_station.setPageLogHook(
        [this](const TxOutcome& page, const std::string& marker) { onLogLine(page, marker); });
    m_flush->start();
    say("Off-air monitor listening on " + settings.input);
}

std::string StationMonitor::statusText() const {
    std::string text;
    for (const std::string& line : statusLines(m_monitor->status(), monotonicMs()))
        text += "monitor: " + line + "\n";
    return text;
}

void StationMonitor::onEvent(const StationEvent& e) {
    if (!m_monitor->running())
        return;
    if (e.kind == StationEvent::Kind::KeyedUp && e.outcome != nullptr &&
        !e.outcome->pages.empty()) {
        TransmissionRecord record;
        record.id = ++m_nextId;
        record.keyUpMs = monotonicMs();
        record.baud = e.outcome->baud;
        record.inverted = e.outcome->inverted;
        for (const SentPage& sent : e.outcome->pages)
            record.pages.push_back({sent.address, sent.functionBits,
                                    sent.numeric ? Coding::Numeric : Coding::Alphanumeric,
                                    sent.bytes, sent.charset});
        QString error;
        if (!m_monitor->expect(record, &error)) {
            say("Off-air monitor: " + error.toStdString());
            return;
        }
        m_current = record.id;
        m_currentPages = e.outcome->pages;
        std::vector<int64_t> ids;
        for (const SentPage& sent : m_currentPages)
            ids.push_back(sent.queueId);
        if (m_queueIds.size() >= MaxTransmissions)
            m_queueIds.pop_front();
        m_queueIds.emplace_back(record.id, std::move(ids));
        m_logged.assign(m_currentPages.size(), false);
    } else if (e.kind == StationEvent::Kind::Ended && m_current != 0) {
        m_monitor->released(m_current, monotonicMs());
        m_current = 0;
    }
}

void StationMonitor::onLogLine(const TxOutcome& page, const std::string& marker) {
    // Only a page that went on air whole can be heard; the rest get their line now.
    if (m_current == 0 || !page.played) {
        m_station.writePageLog(page, marker);
        return;
    }
    for (std::size_t i = 0; i < m_currentPages.size(); ++i) {
        if (m_logged[i] || m_currentPages[i].ric != page.ric ||
            m_currentPages[i].message != page.message)
            continue;
        m_logged[i] = true;
        m_pending.push_back({page, marker, m_current, i, monotonicMs()});
        return;
    }
    m_station.writePageLog(page, marker);
}

void StationMonitor::onVerdict(const PageVerdict& verdict) {
    say(verdictLine(verdict));
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->transmission != verdict.transmissionId || it->index != verdict.pageIndex)
            continue;
        m_station.writePageLog(it->page, it->marker + pageLogMarker(verdict.verdict));
        m_pending.erase(it);
        break;
    }
    // Told after the page log has the line, so whoever is told finds it there.
    for (const auto& [transmission, ids] : m_queueIds)
        if (transmission == verdict.transmissionId && verdict.pageIndex < ids.size() &&
            ids[verdict.pageIndex] != 0)
            emit pageHeard(ids[verdict.pageIndex], verdict.verdict == Verdict::Confirmed);
}

void StationMonitor::flush(bool all) {
    // A line whose verdict never came (the monitor stopped, its decoder died) is written
    // without one rather than lost.
    const int64_t now = monotonicMs();
    const int64_t due = m_settings.marginMs + VerdictTimeoutMs;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (all || now - it->since > due) {
            m_station.writePageLog(it->page, it->marker);
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
}

void StationMonitor::say(const std::string& text, bool alarm) {
    if (m_log)
        m_log(text);
    emit report(QString::fromStdString(text), alarm);
}

} // namespace tarvex
