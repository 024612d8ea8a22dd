#pragma once
// The off-air monitor joined to the station engine: each transmission the engine keys is
// expected by the monitor with its pages, and released when it ends; each page's line in the
// page log waits for its verdict and gets " - confirmed" or " - not heard" after it. Verdicts,
// stations heard from elsewhere, the alarm and the monitor's own problems go to the service
// log and to whoever shows them (the window's status line).
#include "monitor/monitor_settings.h"
#include "monitor/offair_events.h"
#include "network/page_sink.h"
#include "station/station.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace tarvex {

class OffAirMonitor;

class StationMonitor : public QObject {
    Q_OBJECT
public:
    /// A page's line waits at most this long after its transmission's verdict was due.
    static constexpr int64_t VerdictTimeoutMs = 15000;

    StationMonitor(Station& station, ServiceLogger log, QObject* parent = nullptr);
    ~StationMonitor() override;

    /// Starts the monitor as the settings say (or stops it when off). `inverted` is the
    /// station's polarity; `charset` the pager directory's set, for the decoder.
    void apply(const MonitorSettings& settings, bool inverted, const std::string& charset = {});
    bool running() const;
    /// The monitor's state and latest verdicts, for `tarvex-cli status`.
    std::string statusText() const;
    OffAirMonitor& monitor() { return *m_monitor; }

signals:
    /// A line for the status line: a verdict, a station heard from elsewhere, the alarm (in
    /// red while raised), a problem.
    void report(const QString& text, bool alarm);
    /// The verdict on a page from the durable queue, by its number.
    void pageHeard(qint64 queueId, bool confirmed);

private:
    struct Pending {
        TxOutcome page;
        std::string marker;
        uint64_t transmission = 0;
        std::size_t index = 0;
        int64_t since = 0;
    };

    void onEvent(const StationEvent& event);
    void onLogLine(const TxOutcome& page, const std::string& marker);
    void onVerdict(const PageVerdict& verdict);
    void flush(bool all);
    void say(const std::string& text, bool alarm = false);

    Station& m_station;
    ServiceLogger m_log;
    std::unique_ptr<OffAirMonitor> m_monitor;
    QTimer* m_flush = nullptr;
    MonitorSettings m_settings;
    int m_listener = 0;
    uint64_t m_nextId = 0;
    uint64_t m_current = 0;               ///< the transmission on air (0: none)
    std::vector<SentPage> m_currentPages; ///< its pages, as expected by the monitor
    std::vector<bool> m_logged;           ///< which of them have their log line waiting
    std::vector<Pending> m_pending;
    /// The queue numbers of the pages of the last transmissions, for their verdicts.
    std::deque<std::pair<uint64_t, std::vector<int64_t>>> m_queueIds;
    static constexpr std::size_t MaxTransmissions = 32;
};

} // namespace tarvex
