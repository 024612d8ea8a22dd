#pragma once
// The message field of the main window: several lines on screen, but Enter does not start
// a new line (Ctrl+Enter asks for the page to be sent), and it never holds more than a set
// number of characters, however the text arrives: typed, pasted, dropped, composed by an
// input method, put in by code or brought back by undo.
#include <QPlainTextEdit>

namespace tarvex {

class MessageEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MessageEdit(QWidget* parent = nullptr);

    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length);

signals:
    /// Text was refused or cut because the field would hold more than maxLength().
    void lengthRefused();
    /// Ctrl+Enter: the operator asks for the page to be sent.
    void sendRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int roomLeft() const;
    /// Cuts what an edit put in past the limit (the end of what it inserted goes first).
    void keepLimit();

    int m_maxLength = 256;
    int m_lastChangeEnd = 0; ///< where the last edit's inserted text ends
    bool m_cutting = false;
};

} // namespace tarvex
