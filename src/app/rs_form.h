#pragma once
// RIC/CAP search: pages every code of a range, one ordinary page per code with the code as
// its message, so a pager shows its own address when it is reached. The loop runs inside
// the Start handler; the transmit command's waits keep Cancel and the timers live.
#include <QDialog>

#include <chrono>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvex {

class TMainForm;

class TRSForm : public QDialog {
    Q_OBJECT
public:
    explicit TRSForm(TMainForm& form);

    QLineEdit* edSRIC() const { return m_start; }
    QLineEdit* edERic() const { return m_end; }
    QLineEdit* edCRic() const { return m_current; }
    QPushButton* btStart() const { return m_btStart; }
    QPushButton* btCancel() const { return m_btCancel; }
    QLabel* Progress() const { return m_progress; }

    bool SearchRunning = false;

    /// Runs the search until the end code (a number) has been sent or Cancel; then closes
    /// the dialog.
    void btStartClick();
    /// Ends the search after the step in progress and closes the dialog.
    void btCancelClick();

    /// The code text after `code`: the number plus 1, seven digits with leading zeros (a
    /// longer number cut to its first seven characters). Empty when code is no number.
    static std::optional<QString> nextCode(const QString& code);
    /// Codes from current to end inclusive (0 when the end is below); empty when either is
    /// not a number.
    static std::optional<long long> codesLeft(const QString& current, const QString& end);

public slots:
    void done(int result) override;

private:
    void showProgress(int sent, std::chrono::steady_clock::time_point started);

    TMainForm& m_form;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_end = nullptr;
    QLineEdit* m_current = nullptr;
    QPushButton* m_btStart = nullptr;
    QPushButton* m_btCancel = nullptr;
    QLabel* m_progress = nullptr;
    bool m_stopped = false; ///< the main window's Stop ended the search
};

} // namespace tarvex
