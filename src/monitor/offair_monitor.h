#pragma once
// The off-air monitor as the station runs it: the receiver's input, the multimon-ng
// processes it feeds (restarted with a growing pause when they die), the matcher that turns
// their decodes and the station's transmissions into verdicts, and the alarm command. The
// station engine calls expect() at key-up and released() at release and shows the signals.
// Qt.
#include "monitor/alarm_command.h"
#include "monitor/decoder_command.h"
#include "monitor/decoder_process.h"
#include "monitor/monitor_input.h"
#include "monitor/monitor_settings.h"
#include "monitor/offair_matcher.h"
#include "monitor/offair_report.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace tarvex {

class OffAirMonitor : public QObject {
    Q_OBJECT
public:
    /// Pause before restarting a dead decoder or input: doubles from the first to the last,
    /// back to the first once a process has run a minute.
    static constexpr int FirstRestartMs = 500;
    static constexpr int LastRestartMs = 30000;

    explicit OffAirMonitor(QObject* parent = nullptr);
    ~OffAirMonitor() override;

    /// The monitor's settings and the station's decoder choices (rates, polarity, character
    /// set; receiverInverts comes from the settings). A running monitor restarts what changed,
    /// and stops when the settings disable it.
    void configure(const MonitorSettings& settings, const DecoderConfig& station);
    /// Only the station's part, e.g. when the polarity buttons change.
    void setStation(const DecoderConfig& station);

    /// Starts the input and the decoders when enabled. False, with the reason in
    /// status().problem, when disabled or the settings are unusable; a dead input or decoder
    /// later is restarted, not a reason to give up.
    bool start();
    /// Stops input, decoders and timers; waits for every process it started to end.
    void stop();
    bool running() const { return m_running; }
    /// Verdicts so far, and whether pages in a row not heard have raised the alarm.
    OffAirMatcher::Counts counts() const { return m_matcher.counts(); }
    bool alarmRaised() const { return m_matcher.alarmRaised(); }

    /// The station keyed a transmission (record times from monotonicMs()). Does nothing and
    /// returns true while the monitor is not running. A rate or polarity the decoders do not
    /// cover yet is added to them (the decoders already running keep running).
    bool expect(const TransmissionRecord& record, QString* error = nullptr);
    /// The transmission was released.
    void released(uint64_t id, int64_t timeMs);

    MonitorStatus status() const;
    const MonitorSettings& settings() const { return m_settings; }
    /// The process ids of the running decoders (status, tests).
    std::vector<qint64> decoderPids() const;

signals:
    void pageDecided(const tarvex::PageVerdict& verdict);
    void heardElsewhere(const tarvex::HeardElsewhere& heard);
    void alarmChanged(const tarvex::AlarmEvent& alarm);
    /// Every page the decoders printed, before matching (idle artifacts left out).
    void decoded(const tarvex::Decode& decode);
    /// A decoder or the input died or could not start, or the alarm command failed.
    void problem(const QString& text);
    void alarmCommandFinished(int exitCode);

private:
    struct Decoder {
        std::unique_ptr<DecoderProcess> process;
        int pauseMs = FirstRestartMs;
        int64_t startedMs = 0;
    };

    /// The matcher's events, passed on as signals.
    struct Relay : OffAirListener {
        OffAirMonitor* owner = nullptr;
        void pageDecided(const PageVerdict& verdict) override;
        void heardElsewhere(const HeardElsewhere& heard) override;
        void alarmChanged(const AlarmEvent& alarm) override;
    };

    /// Runs exactly the decoders the station's configuration asks for.
    void syncDecoders();
    void coverTransmission(const TransmissionRecord& record);
    void startDecoder(Decoder& decoder);
    void decoderExited(DecoderProcess* process, const QString& reason);
    bool startInput();
    /// The input failed to start or stopped: report it and try again after a pause.
    void inputDown(const QString& reason);
    void feed(const QByteArray& samples);
    void onDecoded(const Decode& decode);
    void report(const QString& text);
    void applyMatcherSettings();
    static int nextPause(int pauseMs, int64_t ranMs);

    MonitorSettings m_settings;
    DecoderConfig m_station;
    Relay m_relay;
    OffAirMatcher m_matcher;
    AlarmCommand m_alarm;
    std::unique_ptr<MonitorInput> m_input;
    std::vector<Decoder> m_decoders;
    QTimer m_poll;
    QTimer m_inputRestart;
    bool m_running = false;
    bool m_inputDelivering = false;
    bool m_inputFailed = false;
    int m_inputPauseMs = FirstRestartMs;
    int64_t m_inputStartedMs = 0;
    uint32_t m_dither = 1;
    QByteArray m_block; ///< audio gathered until a whole decoder block is there
    MonitorStatus m_status;
};

} // namespace tarvex
