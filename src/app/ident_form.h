#pragma once
// The Station Ident dialog: the callsign, how many minutes apart it is sent and its
// deviation level, handed to the station engine, which keeps the interval and sends the
// ident; Test sends it at once.
#include "app/dialog_support.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace tarvex {

class TMainForm;

class TIdentForm : public QDialog {
    Q_OBJECT
public:
    /// The dialog keeps the main window's station up to date with its values.
    explicit TIdentForm(TMainForm& main, QWidget* parent = nullptr);

    QLineEdit* edIdent() const { return m_ident; }
    QSpinBox* IdentFrequency() const { return m_frequency; }
    QSlider* SetVolume() const { return m_volume; }
    QPushButton* btTest() const { return m_test; }
    QPushButton* btDone() const { return m_done; }

    /// The ident's interval := minutes; 0 never sends at an interval.
    void IdentFrequencyChange();
    /// Sets the test request and sends the ident at once; the dialog stays open.
    void btTestClick();
    /// The ident as the interval sends it: nothing when the interval is 0 (and no test was
    /// asked for) or the callsign is empty.
    void IdentTimer();
    /// The ident timer's on/off switch (on from the start-up sequence).
    void setTimerEnabled(bool on);
    bool timerEnabled() const { return m_timerEnabled; }

    /// Esc and the close box put back what the dialog opened with; Done keeps the changes.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    /// The callsign, interval and level as the station should use them.
    void pushSettings();

    TMainForm& m_main;
    QLineEdit* m_ident = nullptr;
    QSpinBox* m_frequency = nullptr;
    QSlider* m_volume = nullptr;
    QPushButton* m_test = nullptr;
    QPushButton* m_done = nullptr;
    bool m_timerEnabled = false;
    DialogValues m_opened;
};

} // namespace tarvex
