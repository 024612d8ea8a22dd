#pragma once
// The message field of the main window: several lines on screen, but Enter does not start
// a new line, and at most a set number of characters can be typed or pasted.
#include <QPlainTextEdit>

namespace tarvex {

class MessageEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MessageEdit(QWidget* parent = nullptr);

    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length) { m_maxLength = length; }

signals:
    /// A keystroke or paste was refused because the text would grow past maxLength().
    void lengthRefused();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int roomLeft() const;
    int m_maxLength = 256;
};

} // namespace tarvex
