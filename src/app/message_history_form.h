#pragma once
// The message history: every message the status line has shown (the last 1,000), each with
// the date and time it appeared, oldest first, so that nothing the station reported is lost
// when the next message takes its place.
#include "app/status_line.h"

#include <QDialog>

class QPlainTextEdit;

namespace tarvex {

class MessageHistoryForm : public QDialog {
    Q_OBJECT
public:
    MessageHistoryForm(const std::deque<StatusLine::Entry>& history, QWidget* parent = nullptr);

    /// One line per message: "yyyy-MM-dd hh:mm:ss  text", and "  ×N (last hh:mm:ss)" for a
    /// message that came N times in a row.
    static QString lines(const std::deque<StatusLine::Entry>& history);

private:
    QPlainTextEdit* m_text = nullptr;
};

} // namespace tarvex
