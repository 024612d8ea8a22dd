#pragma once
// Auto Send Setup and the poll it governs: how often the auto-send file is polled, the
// pause after each page sent from it, the on/off switch and the two hidden file names the
// settings store keeps. The poll (TxTimerTimer) runs from the main window's TxTimer.
#include "paging/auto_send_poll.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace tarvex {

class TMainForm;

class TAutoForm : public QDialog {
    Q_OBJECT
public:
    /// Drives txTimer (the main window's TxTimer); the poll works on the owner's page
    /// controls and transmit command when the parent is the main window.
    TAutoForm(QTimer* txTimer, QWidget* parent);

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
    /// One poll: takes the auto-send file's due entries under the lock file and sends them.
    /// Does nothing while the ident is on air or the fast search dialog is open.
    void TxTimerTimer();
    bool pollRunning() const { return m_pollRunning; }
    /// Polls that ended on an input/output error (the timer then stays off).
    int failedPolls() const { return m_failedPolls; }

private:
    TMainForm* m_form;
    QTimer* m_txTimer;
    QSpinBox* m_checkRate = nullptr;
    QSpinBox* m_autoDelay = nullptr;
    QCheckBox* m_autoSend = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLineEdit* m_lockFile = nullptr;
    QPushButton* m_done = nullptr;
    bool m_pollRunning = false;
    int m_failedPolls = 0;
    LeftLock m_leftLock; ///< a lock file a poll could not remove, for the next poll
};

} // namespace tarvex
