#pragma once
// Auto Send Setup: how often the auto-send file is polled, the pause after each page sent
// from it and the on/off switch, plus the two hidden file names the settings store keeps.
// Changes go straight to the main window's TxTimer.
#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace tarvex {

class TAutoForm : public QDialog {
    Q_OBJECT
public:
    /// txTimer: the main window's poll timer, which the dialog's controls drive.
    explicit TAutoForm(QTimer* txTimer, QWidget* parent = nullptr);

    QSpinBox* CheckRate() const { return m_checkRate; }
    QSpinBox* AutoDelay() const { return m_autoDelay; }
    QCheckBox* AutoSend() const { return m_autoSend; }
    QLineEdit* edFileName() const { return m_fileName; }
    QLineEdit* edLockFile() const { return m_lockFile; }
    QPushButton* btDone() const { return m_done; }

    /// TxTimer interval := CheckRate seconds.
    void CheckRateChange();
    /// TxTimer on when the box is ticked, off when not; while a poll runs the timer stays
    /// off and the poll switches it on at its end after the box.
    void AutoSendClick();
    /// Set by the poll for its whole run.
    void setPollRunning(bool running) { m_pollRunning = running; }
    bool pollRunning() const { return m_pollRunning; }

private:
    QTimer* m_txTimer;
    QSpinBox* m_checkRate = nullptr;
    QSpinBox* m_autoDelay = nullptr;
    QCheckBox* m_autoSend = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLineEdit* m_lockFile = nullptr;
    QPushButton* m_done = nullptr;
    bool m_pollRunning = false;
};

} // namespace tarvex
