#include "app/auto_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/main_form.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace tarvex {

TAutoForm::TAutoForm(TMainForm& form) : QDialog(&form), m_form(form) {
    setObjectName(QStringLiteral("AutoForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Tarvex"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(279, 134);

    placeLabel(this, QStringLiteral("Check for pages every"), 8, 12);
    m_checkRate = new QSpinBox(this);
    m_checkRate->setObjectName(QStringLiteral("CheckRate"));
    m_checkRate->setGeometry(152, 8, 56, 22);
    m_checkRate->setRange(2, 600);
    placeLabel(this, QStringLiteral("Seconds"), 214, 12);

    auto* delayLabel =
        new QLabel(QStringLiteral("Delay between each transmission in seconds"), this);
    delayLabel->setWordWrap(true);
    delayLabel->setGeometry(8, 36, 200, 34);
    m_autoDelay = new QSpinBox(this);
    m_autoDelay->setObjectName(QStringLiteral("AutoDelay"));
    m_autoDelay->setGeometry(214, 42, 56, 22);
    m_autoDelay->setRange(0, 10);

    m_autoSend = new QCheckBox(QStringLiteral("Enable auto send feature"), this);
    m_autoSend->setObjectName(QStringLiteral("AutoSend"));
    m_autoSend->setGeometry(8, 74, 200, 20);

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
    connect(m_autoDelay, &QSpinBox::valueChanged, this, [this] { pushSettings(); });
    connect(m_fileName, &QLineEdit::textChanged, this, [this] { pushSettings(); });
    connect(m_lockFile, &QLineEdit::textChanged, this, [this] { pushSettings(); });
    CheckRateChange();
}

void TAutoForm::pushSettings() {
    AutoSendSettings s;
    s.enabled = m_autoSend->isChecked();
    s.checkRateSeconds = m_checkRate->value();
    s.autoDelaySeconds = m_autoDelay->value();
    s.folder = QFileInfo(m_form.ProgramFolder).filePath().toStdString();
    // An empty name stands for the stock one ("AutoSend.Txt", "Lock.Lck").
    s.fileName = m_fileName->text().toStdString();
    s.lockName = m_lockFile->text().toStdString();
    m_form.autoSend().setSettings(s);
}

void TAutoForm::CheckRateChange() {
    pushSettings();
}

void TAutoForm::AutoSendClick() {
    pushSettings();
}

void TAutoForm::TxTimerTimer() {
    pushSettings();
    m_form.autoSend().poll();
}

void TAutoForm::showEvent(QShowEvent* event) {
    m_opened.take(*this);
    QDialog::showEvent(event);
}

void TAutoForm::reject() {
    m_opened.restore();
    QDialog::reject();
}

} // namespace tarvex
