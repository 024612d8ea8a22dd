#include "app/key_filter.h"

#include <QKeyEvent>

namespace tarvex {

KeyFilter::KeyFilter(QObject* field, Rule accepts)
    : QObject(field), m_accepts(std::move(accepts)) {}

KeyFilter* KeyFilter::install(QObject* field, Rule accepts) {
    auto* filter = new KeyFilter(field, std::move(accepts));
    field->installEventFilter(filter);
    return filter;
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    // Shortcuts such as Ctrl+C carry control characters; they are not typed text.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = key->text();
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code == 8 || code == 127)
            continue;
        if (code < 32)
            continue; // Enter, Tab, Escape: handled by the field and the window
        if (!m_accepts(c))
            return true; // discarded
    }
    return false;
}

} // namespace tarvex
