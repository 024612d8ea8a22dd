#pragma once
// Help > Page log: the page log of the data folder inside the program, newest last, with the
// marks the station added to its lines (confirmed, not heard, stopped, not sent, keying
// failed) and a choice that shows only the lines with one of them.
#include <QDialog>

class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace tarvex {

class PageLogForm : public QDialog {
    Q_OBJECT
public:
    PageLogForm(QString path, QWidget* parent = nullptr);

    /// Reads the file again and shows the lines the choice lets through.
    void reload();
    QComboBox* filter() const { return m_filter; }
    QString shownText() const;

    /// The most lines shown: the end of a long log.
    static constexpr int MaxLines = 5000;

private:
    QString m_path;
    QComboBox* m_filter = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QLabel* m_count = nullptr;
};

} // namespace tarvex
