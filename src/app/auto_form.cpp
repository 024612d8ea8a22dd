#include "app/auto_form.h"

#include "app/dialog_support.h"
#include "app/fast_form.h"
#include "app/main_form.h"
#include "app/mess_form.h"
#include "app/status_line.h"
#include "paging/auto_send.h"
#include "paging/auto_send_poll.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>

namespace tarvex {

TAutoForm::TAutoForm(QTimer* txTimer, QWidget* parent)
    : QDialog(parent), m_form(qobject_cast<TMainForm*>(parent)), m_txTimer(txTimer) {
    setObjectName(QStringLiteral("AutoForm"));
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
    if (m_txTimer != nullptr)
        connect(m_txTimer, &QTimer::timeout, this, &TAutoForm::TxTimerTimer);
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

void TAutoForm::TxTimerTimer() {
    if (m_form == nullptr)
        return;
    TMainForm& form = *m_form;
    const QWidget* fastSearch = form.dialogs().fastSearch;
    // The fast search dialog owns the transmit buffer while it is open: the poll waits.
    if (form.IdentInProgress || m_pollRunning || (fastSearch != nullptr && fastSearch->isVisible()))
        return;
    m_txTimer->stop();
    m_pollRunning = true;
    if (m_fileName->text().isEmpty())
        m_fileName->setText(QString::fromLatin1(DefaultAutoSendFile));
    if (m_lockFile->text().isEmpty())
        m_lockFile->setText(QString::fromLatin1(DefaultLockFile));

    TMessForm* mess = form.dialogs().mess;
    AutoSendActions actions;
    actions.apply = [mess](const std::string& entry) {
        return mess != nullptr && mess->ApplyPageEntry(QString::fromLatin1(entry));
    };
    actions.send = [&form] { form.TxButtonClick(); };
    actions.delayMs = [&form](uint32_t ms) { form.DelayMs(ms); };
    actions.suppressListSave = [mess](bool on) {
        if (mess != nullptr)
            mess->SuppressListSave = on;
    };
    bool failed = false;
    actions.report = [&form, &failed](const std::string& error) {
        failed = true;
        showErrorReport(&form, QStringLiteral("Auto send: %1").arg(QString::fromLocal8Bit(error)));
    };
    // Closing the window ends the poll: what it took but never started goes back to the file.
    actions.stopped = [&form] { return form.closing(); };
    const auto result =
        runAutoSendPoll(QFileInfo(form.ProgramFolder).filePath().toStdString(),
                        m_fileName->text().toStdString(), m_lockFile->text().toStdString(),
                        SecondsSince2000(), m_autoDelay->value(), actions, &m_leftLock);
    m_pollRunning = false;
    if (result.returnError) {
        const QString text =
            QStringLiteral("Auto send: %1").arg(QString::fromLocal8Bit(*result.returnError));
        // The window is on its way out: no box, but the reason goes where it can be read.
        std::fprintf(stderr, "tarvex: %s\n", text.toLocal8Bit().constData());
        form.statusLine().note(text);
    }
    // After an input/output error the timer stays off until the box is ticked again.
    if (result.take.outcome == TakeOutcome::Failed || failed) {
        ++m_failedPolls;
        return;
    }
    if (m_autoSend->isChecked())
        m_txTimer->start();
}

} // namespace tarvex
