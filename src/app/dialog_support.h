#pragma once
// Small helpers the windows share: the program's default error report (the box that shows
// a failed conversion), plain message boxes with fixed texts, and centring a dialog over
// the main window before it opens.
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <vector>

class QLabel;
class QWidget;

namespace tarvex {

/// Caption of the program's own message boxes.
inline constexpr const char* ProgramTitle = "Tarvex";

/// The default error report: a stop-sign box captioned "Tarvex" with the text and OK.
void showErrorReport(QWidget* parent, const QString& text);

/// A box without icon, captioned "Tarvex", with the text and an OK button.
void showPlainMessage(QWidget* parent, const QString& text);

/// Places the dialog's frame centred over the owner's frame.
void centreOver(QWidget* dialog, const QWidget* owner);

/// A label with the text at (left, top), sized to its text.
QLabel* placeLabel(QWidget* parent, const QString& text, int left, int top);

/// Seconds as "h:mm:ss", for the searches' time left.
QString durationText(double seconds);

/// Builds a message box that callers may move before running it.
QMessageBox* makeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                            const QString& text);

/// What the operator can change in a dialog whose changes apply as they are made, as it stood
/// when the dialog opened. Done keeps the changes; Esc and the close box put these values
/// back, through the controls' own signals, so the restored values apply as typed ones do.
/// Controls that are disabled (locked while the transmitter is keyed) are left alone.
class DialogValues {
public:
    void take(const QWidget& dialog);
    void restore() const;

private:
    struct Value {
        QPointer<QWidget> control;
        QVariant value;
    };
    std::vector<Value> m_values;
};

} // namespace tarvex
