#include "app/message_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

namespace tarvex {

MessageEdit::MessageEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

int MessageEdit::roomLeft() const {
    const int selected = static_cast<int>(textCursor().selectedText().size());
    return m_maxLength - (static_cast<int>(toPlainText().size()) - selected);
}

void MessageEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    const QString text = event->text();
    const bool typesText = !text.isEmpty() && text.at(0).unicode() >= 32 &&
                           text.at(0).unicode() != 127 &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typesText && roomLeft() < text.size()) {
        emit lengthRefused();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MessageEdit::insertFromMimeData(const QMimeData* source) {
    if (source == nullptr || !source->hasText())
        return;
    // A paste that does not fit is refused whole rather than cut short.
    if (roomLeft() < source->text().size()) {
        emit lengthRefused();
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

} // namespace tarvex
