#pragma once
// Fast RIC search: one packed transmission of address codewords reaches 256 consecutive
// RIC/CAP codes; the search sends one after the other until the stop value is reached or
// Stop is pressed. The station engine runs the search; this dialog starts it and follows its
// events.
#include <QDialog>

#include <chrono>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tarvex {

class TMainForm;
struct StationEvent;

class TFastForm : public QDialog {
    Q_OBJECT
public:
    explicit TFastForm(TMainForm& form);

    QPlainTextEdit* Memo1() const { return m_memo; }
    QLineEdit* edStart() const { return m_start; }
    QLineEdit* edStop() const { return m_stop; }
    QPushButton* Button1() const { return m_btStart; }
    QPushButton* Button2() const { return m_btStop; }
    QLabel* Info() const { return m_info; }
    QLabel* Progress() const { return m_progress; }
    bool searching() const { return m_searching; }
    /// Transmissions the last search sent.
    int transmissions() const { return m_transmissions; }

    /// Start: starts the engine's search, which sends transmissions while the stop value is
    /// above the next start, and returns.
    void Button1Click();
    /// Stop: STOP for the station, which ends the search at once (the block it cut short goes
    /// again at the next Start); the stop value stays for the next Start.
    void Button2Click();
    /// Refuses a stop value above 2097151 (the value becomes 0).
    void edStopExit();

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormClose();
    void onStationEvent(const StationEvent& e);
    void showProgress(long long stop);

    TMainForm& m_form;
    QPlainTextEdit* m_memo = nullptr;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_stop = nullptr;
    QPushButton* m_btStart = nullptr;
    QPushButton* m_btStop = nullptr;
    QLabel* m_info = nullptr;
    QLabel* m_progress = nullptr;
    bool m_searching = false;
    bool m_closeRequested = false;
    int m_closeResult = QDialog::Rejected;
    int m_transmissions = 0;
    int64_t m_first = 0; ///< where the search started
    int64_t m_next = 0;  ///< the next block's start
    int64_t m_stopAt = 0;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace tarvex
