#include "app/fast_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/main_form.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "paging/fast_search.h"
#include "signal/signal_gen.h"
#include "station/qt/qt_log_clock.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTime>

#include <optional>

namespace tarvex {

TFastForm::TFastForm(TMainForm& form) : QDialog(&form), m_form(form) {
    setObjectName(QStringLiteral("FastForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Fast Search"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(564, 347);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setGeometry(2, 2, 559, 283);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setFont(listingFont(13));

    placeLabel(this, QStringLiteral("Current RIC"), 4, 295);
    m_start = new QLineEdit(QStringLiteral("1000"), this);
    m_start->setObjectName(QStringLiteral("edStart"));
    m_start->setGeometry(80, 291, 64, 22);
    placeLabel(this, QStringLiteral("Stop at"), 152, 295);
    m_stop = new QLineEdit(QStringLiteral("2000"), this);
    m_stop->setObjectName(QStringLiteral("edStop"));
    m_stop->setGeometry(200, 291, 64, 22);
    m_stop->installEventFilter(this);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setWordWrap(true);
    m_progress->setGeometry(272, 287, 126, 30);
    m_progress->setFont(uiFont(9));

    m_btStop = new QPushButton(QStringLiteral("&Stop"), this);
    m_btStop->setObjectName(QStringLiteral("Button2"));
    m_btStop->setAutoDefault(false); // Enter in a field presses no button
    m_btStop->setGeometry(402, 290, 75, 25);
    m_btStart = new QPushButton(QStringLiteral("S&tart"), this);
    m_btStart->setObjectName(QStringLiteral("Button1"));
    m_btStart->setAutoDefault(false); // Enter in a field presses no button
    m_btStart->setGeometry(484, 290, 75, 25);

    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("Info"));
    m_info->setAlignment(Qt::AlignCenter);
    m_info->setGeometry(0, 319, 564, 26);
    m_info->setFont(uiFont(13));

    // The engine lists each transmission it builds for the search.
    m_form.station().subscribe([this](const StationEvent& e) {
        if (e.kind == StationEvent::Kind::Listing && e.source == TxSource::FastSearch)
            m_memo->appendPlainText(
                QString::fromLatin1(e.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    });
    // The main window's Stop stops a search as this dialog's own Stop does, and at once:
    // the block it cut short goes again at the next Start.
    connect(&m_form, &TMainForm::stopRequested, this, [this] {
        if (!m_searching)
            return;
        m_windowStop = true;
        Button2Click();
    });
    connect(m_btStart, &QPushButton::clicked, this, &TFastForm::Button1Click);
    connect(m_btStop, &QPushButton::clicked, this, &TFastForm::Button2Click);
}

void TFastForm::Button1Click() {
    if (m_searching)
        return;
    const int baud = m_form.rateIndex() == 0 ? 512 : m_form.rateIndex() == 2 ? 2400 : 1200;
    int64_t s = 0;
    try {
        s = StrToInt(m_start->text().toStdString());
    } catch (const ConversionError& e) {
        showErrorReport(this, QString::fromStdString(e.what()));
        return;
    }
    m_info->setText(QString::fromStdString(fastSearchInfoText(
        m_start->text().toStdString(),
        longTimeText(QLocale::system(), QTime::currentTime()).toStdString(), baud)));
    m_searching = true;
    m_windowStop = false;
    m_stopped = false;
    m_transmissions = 0;
    m_btStart->setEnabled(false);
    const int64_t first = s;
    const auto started = std::chrono::steady_clock::now();
    while (!m_stopped) { // Stop at stays as the operator wrote it, for the next Start
        const auto stop = tryStrToInt(m_stop->text().toStdString());
        if (!stop) {
            showErrorReport(
                this, QStringLiteral("'%1' is not a valid integer value").arg(m_stop->text()));
            break;
        }
        if (*stop <= s)
            break;
        m_memo->clear();
        m_form.FastSearchActive = true;
        const SendResult result = m_form.sendFastSearch(s);
        if (result == SendResult::Skipped) {
            m_form.DelayMs(100); // the station ident is on air: this block again afterwards
            continue;
        }
        if ((result != SendResult::Sent && result != SendResult::Queued) || m_windowStop)
            break;
        ++m_transmissions;
        m_form.DelayMs(m_form.station().signal().durationMs + 100);
        s += FastSearchCodesPerTransmission;
        m_start->setText(QString::number(s));
        showProgress(first, s, *stop, started);
    }
    m_searching = false;
    m_btStart->setEnabled(true);
    if (m_transmissions > 0)
        showProgress(first, s, s, started); // the codes reached, without a time left
    if (m_closeRequested) {
        m_closeRequested = false;
        done(m_closeResult);
    }
}

void TFastForm::showProgress(long long start, long long next, long long stop,
                             std::chrono::steady_clock::time_point started) {
    const long long reached = next - 8 * (start / 8);
    QString text = QStringLiteral("Codes reached: %1").arg(reached);
    if (stop > next && m_transmissions > 0) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const long long left = (stop - next + 255) / 256;
        text += QStringLiteral("\nTime left about %1")
                    .arg(durationText(elapsed / m_transmissions * static_cast<double>(left)));
    }
    m_progress->setText(text);
}

void TFastForm::Button2Click() {
    m_form.station().stop();
    m_stopped = m_searching; // the search ends; Stop at keeps the operator's value
    // Between transmissions the search's own wait ends too; a request left pending while
    // idle would cut short the next page sent from the main window.
    if (m_searching && !m_form.pageOnAir())
        m_form.endDelay();
}

bool TFastForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_stop && event->type() == QEvent::FocusOut)
        edStopExit();
    return QDialog::eventFilter(watched, event);
}

void TFastForm::edStopExit() {
    const auto value = tryStrToInt(m_stop->text().toStdString());
    if (!value) {
        showErrorReport(this,
                        QStringLiteral("'%1' is not a valid integer value").arg(m_stop->text()));
        return;
    }
    if (*value <= MaxRic)
        return;
    QMessageBox* box = makeMessageBox(this, QMessageBox::Warning, QString::fromLatin1(ProgramTitle),
                                      QStringLiteral("Maximum RIC/CAP Code value is 2097151 !"));
    box->setObjectName(QStringLiteral("StopLimit"));
    box->move(frameGeometry().topLeft() + QPoint(50, 50));
    box->exec();
    delete box;
    m_stop->setText(QStringLiteral("0"));
}

void TFastForm::showEvent(QShowEvent* event) {
    // The search owns the transmitter while this dialog is open: auto-send polls wait.
    m_form.station().holdAutoSend(true);
    QDialog::showEvent(event);
}

void TFastForm::done(int result) {
    if (m_searching) {
        // Closing takes effect when the search has ended.
        m_closeRequested = true;
        m_closeResult = result;
        return;
    }
    FormClose();
    QDialog::done(result);
}

void TFastForm::FormClose() {
    m_memo->clear();
    m_form.FastSearchActive = false;
    m_form.station().holdAutoSend(false);
}

} // namespace tarvex
