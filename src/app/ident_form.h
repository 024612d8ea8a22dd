#pragma once
// The Station Ident dialog and the ident itself: the callsign, how many minutes apart it is
// sent, its deviation level, and the run that keys the transmitter and plays the callsign in
// Morse at 800 bit/s, blocking, from the ident's own slots.
#include <QDialog>

class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

namespace tarvex {

class TMainForm;

class TIdentForm : public QDialog {
    Q_OBJECT
public:
    /// The dialog drives the main window's Ident timer and sends through its transmitter.
    explicit TIdentForm(TMainForm& main, QWidget* parent = nullptr);

    QLineEdit* edIdent() const { return m_ident; }
    QSpinBox* IdentFrequency() const { return m_frequency; }
    QSlider* SetVolume() const { return m_volume; }
    QPushButton* btTest() const { return m_test; }
    QPushButton* btDone() const { return m_done; }

    /// Ident timer interval := minutes × 60000 ms; 0 never fires.
    void IdentFrequencyChange();
    /// Sets the test request and sends the ident at once; the dialog stays open.
    void btTestClick();
    /// The ident, on each expiry of the Ident timer and from btTest.
    void IdentTimer();
    /// The Ident timer's on/off switch. A timer that is on but has no period never fires,
    /// and starts firing as soon as it is given one.
    void setTimerEnabled(bool on);
    bool timerEnabled() const { return m_timerEnabled; }
    bool testRequested() const { return m_testRequest; }

    /// While a page or tune-up is on air the ident waits, and tries again after this long.
    static constexpr int RetryMs = 1000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void applyTimer();
    void runIdent();

    TMainForm& m_main;
    QTimer* m_timer;
    QTimer* m_retry;
    QLineEdit* m_ident = nullptr;
    QSpinBox* m_frequency = nullptr;
    QSlider* m_volume = nullptr;
    QPushButton* m_test = nullptr;
    QPushButton* m_done = nullptr;
    bool m_timerEnabled = true;
    bool m_testRequest = false;
};

} // namespace tarvex
