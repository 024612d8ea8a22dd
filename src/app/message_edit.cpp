#include "app/message_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace tarvex {

MessageEdit::MessageEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { m_lastChangeEnd = position + added; });
    connect(this, &QPlainTextEdit::textChanged, this, &MessageEdit::keepLimit);
}

void MessageEdit::setMaxLength(int length) {
    m_maxLength = length;
    m_lastChangeEnd = static_cast<int>(toPlainText().size());
    keepLimit();
}

int MessageEdit::roomLeft() const {
    const int selected = static_cast<int>(textCursor().selectedText().size());
    return m_maxLength - (static_cast<int>(toPlainText().size()) - selected);
}

void MessageEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (event->modifiers() & Qt::ControlModifier) {
            event->accept();
            emit sendRequested();
            return;
        }
        event->ignore();
        return;
    }
    const QString text = event->text();
    const bool typesText = !text.isEmpty() && text.at(0).unicode() >= 32 &&
                           text.at(0).unicode() != 127 &&
                           !(event->modifiers() & Qt::ControlModifier);
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
    // A paste or drop that does not fit is refused whole rather than cut short.
    if (roomLeft() < source->text().size()) {
        emit lengthRefused();
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

void MessageEdit::keepLimit() {
    // Whatever got past the checks above (an input method's text, a key with Alt, text put
    // in by code, an undo) is cut here, from the end of what the edit inserted.
    const int length = static_cast<int>(toPlainText().size());
    if (m_cutting || length <= m_maxLength)
        return;
    m_cutting = true;
    const int excess = length - m_maxLength;
    const int end = std::clamp(m_lastChangeEnd, excess, length);
    QTextCursor cut(document());
    cut.joinPreviousEditBlock(); // undone together with the edit that overran
    cut.setPosition(end - excess);
    cut.setPosition(end, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    cut.endEditBlock();
    m_cutting = false;
    emit lengthRefused();
}

} // namespace tarvex
