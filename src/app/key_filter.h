#pragma once
// Keystroke filters for one-line fields: every typed character is offered to a rule,
// which may discard it. Editing keys (arrows, Delete, shortcuts) are not characters and
// always pass, as do backspace (8) and character 127.
#include <QObject>

#include <functional>

namespace tarvex {

class KeyFilter : public QObject {
    Q_OBJECT
public:
    using Rule = std::function<bool(QChar)>;

    /// Installs itself on the field; it is owned by the field.
    static KeyFilter* install(QObject* field, Rule accepts);

    static bool isDecimalDigit(QChar c) { return c >= '0' && c <= '9'; }
    static bool isHexDigit(QChar c) {
        return isDecimalDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyFilter(QObject* field, Rule accepts);
    Rule m_accepts;
};

} // namespace tarvex
