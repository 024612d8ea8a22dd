#include "app/dialog_support.h"

#include <QWidget>

namespace tarvex {

QMessageBox* makeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                            const QString& text) {
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("MessageBox"));
    return box;
}

void showErrorReport(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ProgramTitle), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.exec();
}

void showPlainMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(ProgramTitle), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("PlainMessage"));
    box.exec();
}

void centreOver(QWidget* dialog, const QWidget* owner) {
    if (dialog == nullptr || owner == nullptr)
        return;
    const QRect ownerFrame = owner->frameGeometry();
    const QSize size = dialog->frameGeometry().size();
    dialog->move(ownerFrame.center() - QPoint(size.width() / 2, size.height() / 2));
}

} // namespace tarvex
