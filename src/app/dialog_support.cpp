#include "app/dialog_support.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

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
    // A dialog laid out by a layout takes its size when first shown; it is sized now, as the
    // showing would, so that it is centred at that size rather than at a default one.
    if (!dialog->testAttribute(Qt::WA_Resized))
        dialog->adjustSize();
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

void DialogValues::take(const QWidget& dialog) {
    m_values.clear();
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (auto* combo = qobject_cast<QComboBox*>(w))
            m_values.push_back({w, combo->isEditable() ? QVariant(combo->currentText())
                                                       : QVariant(combo->currentIndex())});
        else if (auto* spin = qobject_cast<QSpinBox*>(w))
            m_values.push_back({w, spin->value()});
        else if (auto* slider = qobject_cast<QAbstractSlider*>(w))
            m_values.push_back({w, slider->value()});
        else if (auto* edit = qobject_cast<QLineEdit*>(w);
                 edit != nullptr && qobject_cast<QComboBox*>(w->parentWidget()) == nullptr &&
                 qobject_cast<QAbstractSpinBox*>(w->parentWidget()) == nullptr)
            m_values.push_back({w, edit->text()});
        else if (auto* button = qobject_cast<QAbstractButton*>(w);
                 button != nullptr && button->isCheckable())
            m_values.push_back({w, button->isChecked()});
    }
}

void DialogValues::restore() const {
    // In the order taken: a method before its device, so the device list is the method's.
    for (const Value& v : m_values) {
        QWidget* w = v.control;
        if (w == nullptr || !w->isEnabled())
            continue;
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (combo->isEditable())
                combo->setEditText(v.value.toString());
            else
                combo->setCurrentIndex(v.value.toInt());
        } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
            spin->setValue(v.value.toInt());
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
            slider->setValue(v.value.toInt());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setText(v.value.toString());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setChecked(v.value.toBool());
        }
    }
}

} // namespace tarvex
