#include "app/auto_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace tarvex {

namespace {
QLabel* placeLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}
} // namespace

TAutoForm::TAutoForm(QTimer* txTimer, QWidget* parent) : QDialog(parent), m_txTimer(txTimer) {
    setObjectName(QStringLiteral("AutoForm"));
    setWindowTitle(QStringLiteral("Tarvex"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(279, 134);

    placeLabel(this, QStringLiteral("Check for pages every"), 8, 12);
    m_checkRate = new QSpinBox(this);
    m_checkRate->setObjectName(QStringLiteral("CheckRate"));
    m_checkRate->setGeometry(140, 8, 56, 22);
    m_checkRate->setRange(2, 600);
    placeLabel(this, QStringLiteral("Seconds"), 204, 12);

    placeLabel(this, QStringLiteral("Delay between each transmission in seconds"), 8, 42);
    m_autoDelay = new QSpinBox(this);
    m_autoDelay->setObjectName(QStringLiteral("AutoDelay"));
    m_autoDelay->setGeometry(226, 38, 45, 22);
    m_autoDelay->setRange(0, 10);

    m_autoSend = new QCheckBox(QStringLiteral("Enable auto send feature"), this);
    m_autoSend->setObjectName(QStringLiteral("AutoSend"));
    m_autoSend->setGeometry(8, 70, 200, 20);

    m_fileName = new QLineEdit(QStringLiteral("Autosend.txt"), this);
    m_fileName->setObjectName(QStringLiteral("edFileName"));
    m_fileName->setVisible(false);
    m_lockFile = new QLineEdit(QStringLiteral("Lock.Lck"), this);
    m_lockFile->setObjectName(QStringLiteral("edLockFile"));
    m_lockFile->setVisible(false);

    m_done = new QPushButton(QStringLiteral("&Done"), this);
    m_done->setObjectName(QStringLiteral("btDone"));
    m_done->setGeometry(102, 100, 75, 25);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);

    // Value changes from code (the settings load) count as well as the operator's.
    connect(m_checkRate, &QSpinBox::valueChanged, this, [this] { CheckRateChange(); });
    connect(m_autoSend, &QCheckBox::toggled, this, [this] { AutoSendClick(); });
    CheckRateChange();
}

void TAutoForm::CheckRateChange() {
    if (m_txTimer != nullptr)
        m_txTimer->setInterval(m_checkRate->value() * 1000);
}

void TAutoForm::AutoSendClick() {
    if (m_txTimer == nullptr)
        return;
    if (m_autoSend->isChecked() && !m_pollRunning)
        m_txTimer->start();
    else
        m_txTimer->stop();
}

} // namespace tarvex
