#pragma once
// RIC/CAP search: pages every code of a range, one ordinary page per code with the code as
// its message, so a pager shows its own address when it is reached. The station engine runs
// the search; this dialog starts it, follows its progress events and ends it.
#include <QDialog>

#include <chrono>
#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvex {

class TMainForm;
struct StationEvent;

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

    /// Starts the engine's search from the start code to the end code (a number) and
    /// returns; the dialog closes once the search has ended.
    void btStartClick();
    /// Ends the search (a code on air goes out whole) and closes the dialog.
    void btCancelClick();

    /// Codes from current to end inclusive (0 when the end is below); empty when either is
    /// not a number.
    static std::optional<long long> codesLeft(const QString& current, const QString& end);

public slots:
    void done(int result) override;

private:
    void onStationEvent(const StationEvent& e);
    void showProgress();

    TMainForm& m_form;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_end = nullptr;
    QLineEdit* m_current = nullptr;
    QPushButton* m_btStart = nullptr;
    QPushButton* m_btCancel = nullptr;
    QLabel* m_progress = nullptr;
    int64_t m_sent = 0;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace tarvex
