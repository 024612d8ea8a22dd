// SEND: the transmit-page command through which every page leaves. The window reads its
// controls, the encoder builds the transmission, the framing keys, plays and releases, and
// the page log records the page.
#include "app/dialog_support.h"
#include "app/main_form.h"
#include "app/message_edit.h"
#include "app/page_log.h"
#include "app/picture_button.h"
#include "app/status_line.h"
#include "encoder/errors.h"
#include "paging/transmission.h"
#include "signal/signal_gen.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <chrono>

namespace tarvex {

namespace {

/// Pages that may wait while another is on air (an auto-send file holds at most 500).
constexpr size_t MaxQueuedPages = 500;

QString trimControlText(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 32)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 32)
        --last;
    return text.mid(first, last - first);
}

} // namespace

PageParams TMainForm::pageParams() const {
    PageParams page;
    page.ric = RicEdit->text().toStdString();
    page.functionBits = FB1->isChecked() ? 0 : FB2->isChecked() ? 1 : FB3->isChecked() ? 2 : 3;
    page.coding = AN2->isChecked() ? Coding::Numeric : Coding::Alphanumeric;
    page.baud = rateIndex() == 0 ? 512 : rateIndex() == 2 ? 2400 : 1200;
    page.inverted = NI2->isChecked();
    // The encoder works on 8-bit text; characters beyond Latin-1 become '?'.
    page.message = MsgEdit->toPlainText().toLatin1().toStdString();
    return page;
}

TMainForm::SendResult TMainForm::TxButtonClick() {
    if (m_closing)
        return SendResult::Refused; // searches, polls and the queue end here
    if (IdentInProgress)
        return SendResult::Skipped;
    if (m_pageOnAir) {
        // Another transmission is on air (this request came from a timer or a dialog during
        // its waits): keep the page and send it once the transmitter has been released.
        if (FastSearchActive || m_queue.size() >= MaxQueuedPages) {
            m_status->note(QStringLiteral("A page is on air; the new page was not sent."));
            return SendResult::Refused;
        }
        m_queue.push_back(pageParams());
        m_status->note(QStringLiteral("A page is on air; %1 page(s) waiting.").arg(m_queue.size()));
        return SendResult::Queued;
    }
    SendResult result = SendResult::Failed;
    runOnAir([&] { result = sendOnePage(); });
    return result;
}

void TMainForm::runOnAir(const std::function<void()>& transmission) {
    m_pageOnAir = true;
    TxButton->setEnabled(false);
    btPa->setEnabled(false);
    const auto done = qScopeGuard([this] {
        m_pageOnAir = false;
        TxButton->setEnabled(true);
        btPa->setEnabled(true);
        m_status->clearProgress();
        switchAudioWhenIdle(); // an output chosen while on air takes over now
    });
    transmission();
    while (!m_queue.empty() && !m_closing) {
        const PageParams next = m_queue.front();
        m_queue.pop_front();
        loadPage(next);
        sendOnePage();
    }
}

void TMainForm::btPaClick() {
    if (m_closing)
        return;
    if (m_pageOnAir) {
        m_status->note(QStringLiteral("A page is on air; the tune-up was not started."));
        return;
    }
    runOnAir([this] {
        const int baud = rateIndex() == 0 ? 512 : rateIndex() == 2 ? 2400 : 1200;
        const auto progress = showProgress();
        try {
            m_transmitter->TuneUp(m_encoder.CodewordBuffer, TuneTime->value(), baud);
        } catch (const Error& e) {
            showErrorReport(this, QString::fromStdString(e.what()));
        }
        reportOnAirFailures();
    });
}

std::unique_ptr<QTimer> TMainForm::showProgress() {
    auto timer = std::make_unique<QTimer>();
    const auto started = std::chrono::steady_clock::now();
    connect(timer.get(), &QTimer::timeout, this, [this, started] {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        m_status->setProgress(elapsed, m_signalGen->Duration() / 1000.0);
    });
    timer->start(100);
    return timer;
}

void TMainForm::loadPage(const PageParams& page) {
    RicEdit->setText(QString::fromStdString(page.ric));
    MsgEdit->setPlainText(QString::fromLatin1(page.message));
    PictureButton* fb[] = {FB1, FB2, FB3, FB4};
    fb[std::clamp(page.functionBits, 0, 3)]->setChecked(true);
    (page.coding == Coding::Numeric ? AN2 : AN1)->setChecked(true);
    (page.baud == 512 ? BR1 : page.baud == 2400 ? BR3 : BR2)->setChecked(true);
    (page.inverted ? NI2 : NI1)->setChecked(true);
    m_signalGen->setInverted(page.inverted);
}

TMainForm::SendResult TMainForm::sendOnePage() {
    KeyTx1->setChecked(false); // the release after the page ends a manual key-up
    const QString message = trimControlText(MsgEdit->toPlainText());
    if (message != MsgEdit->toPlainText())
        MsgEdit->setPlainText(message);
    applyRate(rateIndex());
    m_signalGen->setLevel(Volume->value());
    DelayMs(250);

    // The page as it is built now is the page that goes on air and into the log.
    const QString ric = RicEdit->text();
    const QString sentMessage = MsgEdit->toPlainText();
    if (!FastSearchActive && !buildListing())
        return SendResult::Failed;
    transmitBuffer();
    if (logpages->isChecked())
        writeLogLine(ric, sentMessage);
    emit pageSent(ric, sentMessage);
    return SendResult::Sent;
}

bool TMainForm::buildListing() {
    std::string listing;
    try {
        listing = m_encoder.BuildTransmission(pageParams());
    } catch (const ConversionError& e) {
        showErrorReport(this, QString::fromStdString(e.what()));
        return false;
    } catch (const PageRefused& e) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(ProgramTitle),
                        QString::fromStdString(e.what()), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("PageRefused"));
        box.exec();
        return false;
    }
    QString text = QString::fromLatin1(listing);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    DataOut->setPlainText(text);
    return true;
}

void TMainForm::transmitBuffer() {
    m_encoder.CodewordBuffer[m_encoder.LastSlot + 1] = EndMarker;
    const auto progress = showProgress();
    m_transmitter->transmit(m_encoder.CodewordBuffer.from(SlotBuffer::FirstSlot));
    reportOnAirFailures();
}

void TMainForm::writeLogLine(const QString& ric, const QString& message) {
    const QDate date = QDate::currentDate();
    const QTime time = QTime::currentTime();
    QString reason;
    if (!appendPageLog(pageLogPath(), pageLogLine(ric, message, date, time), &reason)) {
        m_status->setFailure(QStringLiteral("Page log: %1").arg(reason));
        showPlainMessage(this, QString::fromLatin1(PageLogFailureText));
    }
}

QString TMainForm::pageLogPath() const {
    return tarvex::pageLogPath(DataFolder);
}

void TMainForm::reportOnAirFailures() {
    QStringList failures;
    const PortStatus& port = m_keyer->lastStatus();
    if (!port.success && !port.text.empty())
        failures << QStringLiteral("Port: %1").arg(QString::fromStdString(port.text));
    if (!m_signalGen->lastError().empty())
        failures
            << QStringLiteral("Audio: %1").arg(QString::fromStdString(m_signalGen->lastError()));
    else if (!m_audio->lastError().empty())
        failures << QStringLiteral("Audio: %1").arg(QString::fromStdString(m_audio->lastError()));
    if (!failures.isEmpty())
        m_status->setFailure(failures.join(QStringLiteral("; ")));
    else if (m_status->failureText().startsWith(QStringLiteral("Port:")) ||
             m_status->failureText().startsWith(QStringLiteral("Audio:")))
        m_status->setFailure({});
}

} // namespace tarvex
