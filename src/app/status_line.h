#pragma once
// The strips along the bottom of the main window. The on-air strip: a lamp that shows from
// across the room whether the transmitter is idle, keyed or on air and for what, the
// progress of the transmission on air, and Stop. The status line: the last message (cut
// short with its whole text in a tooltip; every message is kept, with its time, for the
// message history), and the audio output and keying port in use, marked when they fail.
// It never asks anything of the operator.
#include "station/station_events.h"

#include <QDateTime>
#include <QStatusBar>

#include <deque>
#include <optional>

class QLabel;
class QPushButton;
class QTimer;

namespace tarvex {

class ElidingLabel;

class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    /// The messages kept for the history.
    static constexpr std::size_t MaxHistory = 1000;
    /// A message and how often it came in a row (a stuck key, a refused keystroke): repeats
    /// are one entry with a count and the time of the last, so they cannot flush the rest.
    struct Entry {
        QDateTime when;
        QString text;
        int count = 1;
        QDateTime last;
    };
    /// The file the history is kept in between runs, in the program folder.
    static constexpr const char* HistoryFileName = "MessageHistory.txt";

    explicit StatusLine(QWidget* parent = nullptr);

    /// The output in use and why it last failed (empty: it works).
    void setAudio(const QString& name, const QString& failure = {});
    void setPort(const QString& name, const QString& failure = {});
    void setFolder(const QString& folder);
    /// A failure the operation went on without: shown and kept; empty clears it.
    void setFailure(const QString& text);
    /// An audio or port failure: kept (and in the history when new), shown by the audio and
    /// port texts rather than in place of the last message; empty clears it.
    void setProblem(const QString& text);
    /// Progress of the transmission on air, never past its total; a negative total clears it.
    void setProgress(double elapsedSeconds, double totalSeconds);
    void clearProgress() { setProgress(0, -1); }
    /// Time keyed by hand, and the watchdog's limit (0: none).
    void setKeyedTime(int seconds, int limitSeconds);
    /// How long a warning stays on the line before a plain message may replace it.
    static constexpr int HoldMs = 8000;
    /// The narrowest the message gets beside the other texts, so it is never squeezed away.
    /// The texts beside it give way first (they elide, with their whole text as a tooltip).
    static constexpr int MessageMinWidth = 160;

    /// A message, shown until the next one (after a warning's hold; it is in the history at
    /// once either way).
    /// `record`, when given, is what the history keeps in place of the text (a sent page's
    /// line with the page itself).
    void note(const QString& text, const QString& record = {});
    /// A message the operator must see (what did not go out, what a pager will show
    /// otherwise): it holds the line for HoldMs against plain messages.
    void hold(const QString& text, const QString& record = {}) {
        showMessage(text, false, true, record);
    }
    /// A message about something that failed: in red, and it stands until the operator
    /// acknowledges it (the OK beside it) or the failure is cleared; plain messages that come
    /// meanwhile wait behind it (they are in the history at once).
    void warn(const QString& text, const QString& record = {}) {
        showMessage(text, true, true, record);
    }
    /// The operator has read the standing warning: the line goes back to plain messages.
    void acknowledge();
    bool awaitingAcknowledgement() const { return m_standing; }
    /// The DAPNET link's state and next slot; empty hides it.
    void setStation(const QString& text);
    QString stationText() const;
    /// The off-air alarm, in red while it stands; empty clears it.
    void setAlarm(const QString& text);
    /// The lamp: the transmitter's state and what it is keyed for.
    void setOnAir(OnAirState state, TxSource source);
    /// The last transmission did not go out (why, for the lamp's tooltip): the released
    /// lamp reads NOT SENT until the next transmission or STOP; empty clears it.
    void setNotSent(const QString& why);

    /// "Audio: NAME" and "Port: NAME", the output and port in force.
    QString audioText() const;
    QString portText() const;
    /// The audio and port texts as shown, with the failure when there is one.
    QString shownAudioText() const;
    QString shownPortText() const;
    QString failureText() const { return m_failure; }
    QString progressText() const;
    /// The last message, whole.
    QString currentMessage() const;
    QString lampText() const;
    QPushButton* stopButton() const { return m_stop; }
    const std::deque<Entry>& history() const { return m_history; }
    /// Puts the history of earlier runs before this run's messages; false when the file
    /// exists but cannot be read.
    bool loadHistory(const QString& path);
    /// Writes the history for the next run; false with the reason in *reason.
    bool saveHistory(const QString& path, QString* reason) const;

signals:
    /// Stop was clicked.
    void stopClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildOnAirStrip();
    void fitLampText();
    void placeStrip();
    void remember(const QString& text);
    void showMessage(const QString& text, bool failure, bool held = false,
                     const QString& record = {});
    void setMessage(const QString& text, bool failure);
    void setStanding(bool standing);
    void refreshOutputs();

    QWidget* m_strip = nullptr;
    QLabel* m_lamp = nullptr;
    QLabel* m_progress = nullptr;
    QPushButton* m_stop = nullptr;
    ElidingLabel* m_message = nullptr;
    ElidingLabel* m_audio = nullptr;
    ElidingLabel* m_port = nullptr;
    ElidingLabel* m_station = nullptr;
    ElidingLabel* m_alarm = nullptr;
    QString m_folder;
    QString m_failure;
    QString m_notSent;
    QTimer* m_holdTimer = nullptr;
    QPushButton* m_ack = nullptr;
    bool m_standing = false;          ///< a warning waits for its acknowledgement
    std::optional<QString> m_waiting; ///< the plain message a held one keeps back
    OnAirState m_state = OnAirState::Idle;
    QString m_audioName;
    QString m_portName;
    QString m_audioFailure;
    QString m_portFailure;
    std::deque<Entry> m_history;
};

} // namespace tarvex
