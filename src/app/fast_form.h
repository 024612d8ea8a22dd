#pragma once
// Fast RIC search: one packed transmission of address codewords reaches 256 consecutive
// RIC/CAP codes; the search sends one after the other until the stop value is reached or
// Stop is pressed. While the dialog is open after a search, the transmit command sends the
// fast-search buffer.
#include <QDialog>

#include <chrono>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tarvex {

class TMainForm;

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

    /// Start: sends transmissions while the stop value (read anew each time) is above the
    /// next start.
    void Button1Click();
    /// Stop: silences the generator, ends the search and the current wait; the stop value
    /// stays for the next Start.
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
    void showProgress(long long start, long long next, long long stop,
                      std::chrono::steady_clock::time_point started);

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
    bool m_windowStop = false; ///< the main window's Stop ended the search
    bool m_stopped = false;    ///< the dialog's Stop ended the search
    int m_closeResult = QDialog::Rejected;
    int m_transmissions = 0;
};

} // namespace tarvex
