#pragma once
// Auto Send Setup: how often the auto-send file is polled, the pause after each page sent
// from it, the on/off switch and the two hidden file names the settings store keeps. The
// station engine runs the poll; this dialog keeps it up to date with these values.
#include "app/dialog_support.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tarvex {

class TMainForm;

class TAutoForm : public QDialog {
    Q_OBJECT
public:
    /// Hands its values to the station of the main window it belongs to.
    explicit TAutoForm(TMainForm& form);

    QSpinBox* CheckRate() const { return m_checkRate; }
    QSpinBox* AutoDelay() const { return m_autoDelay; }
    QCheckBox* AutoSend() const { return m_autoSend; }
    QLineEdit* edFileName() const { return m_fileName; }
    QLineEdit* edLockFile() const { return m_lockFile; }
    QPushButton* btDone() const { return m_done; }

    /// The poll's interval := CheckRate seconds.
    void CheckRateChange();
    /// Polling on when the box is ticked, off when not; while a poll runs it stays off and the
    /// poll switches it on at its end after the box.
    void AutoSendClick();
    /// One poll, as the interval runs it.
    void TxTimerTimer();

    /// Esc and the close box put back what the dialog opened with; Done keeps the changes.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void pushSettings();

    TMainForm& m_form;
    QSpinBox* m_checkRate = nullptr;
    QSpinBox* m_autoDelay = nullptr;
    QCheckBox* m_autoSend = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLineEdit* m_lockFile = nullptr;
    QPushButton* m_done = nullptr;
    DialogValues m_opened;
};

} // namespace tarvex
