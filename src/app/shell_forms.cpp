#include "app/shell_forms.h"

#include <QLabel>
#include <QPushButton>

namespace tarvex {

ShellForm::ShellForm(const QString& objectName, const QString& caption, QSize clientSize,
                     QWidget* parent)
    : QDialog(parent) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(clientSize);
    auto* note =
        new QLabel(QStringLiteral("This function is not available in this version."), this);
    note->setAlignment(Qt::AlignCenter);
    note->setWordWrap(true);
    note->setGeometry(10, 10, clientSize.width() - 20, clientSize.height() - 55);
    auto* done = new QPushButton(QStringLiteral("&Done"), this);
    done->setGeometry((clientSize.width() - 75) / 2, clientSize.height() - 35, 75, 25);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
}

ShellForm* makeMessForm(QWidget* parent) {
    return new ShellForm(QStringLiteral("MessForm"), QStringLiteral("Tarvex"), {632, 378}, parent);
}
ShellForm* makeRSForm(QWidget* parent) {
    return new ShellForm(QStringLiteral("RSForm"), QStringLiteral("RIC/CAP Search"), {228, 207},
                         parent);
}
ShellForm* makeFastForm(QWidget* parent) {
    return new ShellForm(QStringLiteral("FastForm"), QStringLiteral("Fast Search"), {564, 347},
                         parent);
}

} // namespace tarvex
