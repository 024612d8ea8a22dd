#pragma once
// The status line along the bottom of the main window: the audio output and the port in
// use, the last silent audio or port failure with its reason, and the progress of the page
// on air. It never asks anything of the operator.
#include <QStatusBar>

class QLabel;

namespace tarvex {

class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    void setAudio(const QString& name);
    void setPort(const QString& name);
    void setFolder(const QString& folder);
    /// The last failure that the operation went on without; empty clears it.
    void setFailure(const QString& text);
    /// Progress of the page on air; a negative total clears it.
    void setProgress(double elapsedSeconds, double totalSeconds);
    void clearProgress() { setProgress(0, -1); }
    /// A passing note (shown until the next one).
    void note(const QString& text);
    /// The DAPNET link's state and next slot; empty hides it.
    void setStation(const QString& text);
    QString stationText() const;
    /// The off-air alarm, in red while it stands; empty clears it.
    void setAlarm(const QString& text);
    QString alarmText() const;

    QString audioText() const;
    QString portText() const;
    QString failureText() const { return m_failure; }
    QString progressText() const;
    QString folderText() const { return m_folder; }

private:
    void refreshMessage();

    QLabel* m_audio = nullptr;
    QLabel* m_port = nullptr;
    QLabel* m_progress = nullptr;
    QLabel* m_station = nullptr;
    QLabel* m_alarm = nullptr;
    QString m_folder;
    QString m_failure;
};

} // namespace tarvex
