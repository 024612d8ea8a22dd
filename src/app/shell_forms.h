#pragma once
// Placeholder windows for the dialogs whose contents live in other parts of the program
// (message list, auto send, station ident, the two searches). Each has its caption
// and size and a Done button, so the menu can open it modally like the finished dialog.
#include <QDialog>

namespace tarvex {

class ShellForm : public QDialog {
    Q_OBJECT
public:
    ShellForm(const QString& objectName, const QString& caption, QSize clientSize,
              QWidget* parent = nullptr);
};

/// The five dialogs, with their captions and client sizes.
ShellForm* makeMessForm(QWidget* parent);
ShellForm* makeRSForm(QWidget* parent);
ShellForm* makeFastForm(QWidget* parent);

} // namespace tarvex
