#include "app/dialog_support.h"

#include <QLabel>

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

QLabel* placeLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QString durationText(double seconds) {
    const auto s = static_cast<long long>(seconds + 0.5);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace tarvex
