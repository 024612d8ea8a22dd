#include "app/fast_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/main_form.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "paging/fast_search.h"
#include "station/qt/qt_log_clock.h"
#include "station/station.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
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

    // The engine lists each transmission it builds for the search, and tells where the
    // search is and when it ends (STOP in the main window included).
    m_form.station().subscribe([self = QPointer<TFastForm>(this)](const StationEvent& e) {
        if (self)
            self->onStationEvent(e);
    });
    connect(m_btStart, &QPushButton::clicked, this, &TFastForm::Button1Click);
    connect(m_btStop, &QPushButton::clicked, this, &TFastForm::Button2Click);
    // Stop at may be changed while the search runs: the search ends where it now says.
    connect(m_stop, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (const auto stop = tryStrToInt(text.toStdString()); stop && m_searching) {
            m_stopAt = *stop;
            m_form.station().setSearchEnd(*stop);
        }
    });
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
    m_transmissions = 0;
    const auto stop = tryStrToInt(m_stop->text().toStdString());
    if (!stop) {
        showErrorReport(this,
                        QStringLiteral("'%1' is not a valid integer value").arg(m_stop->text()));
        return;
    }
    if (*stop <= s)
        return; // nothing to send; the start line is shown
    SearchJob job;
    job.fast = true;
    job.from = s;
    job.to = *stop; // Stop at stays as the operator wrote it, for the next Start
    job.block = m_form.fastSearchJob(s);
    m_first = m_next = s;
    m_stopAt = *stop;
    m_started = std::chrono::steady_clock::now();
    m_searching = true;
    m_btStart->setEnabled(false);
    if (!m_form.startSearch(std::move(job), this)) {
        m_searching = false;
        m_btStart->setEnabled(true);
    }
}

void TFastForm::onStationEvent(const StationEvent& e) {
    if (e.kind == StationEvent::Kind::Listing && e.source == TxSource::FastSearch) {
        m_memo->setPlainText(
            QString::fromLatin1(e.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        return;
    }
    if (!m_searching || e.search == nullptr || !e.search->fast)
        return;
    if (e.kind == StationEvent::Kind::SearchProgress && e.search->sent > 0) {
        m_transmissions = static_cast<int>(e.search->sent);
        m_next = e.search->next;
        m_start->setText(QString::number(m_next));
        showProgress(m_stopAt);
    } else if (e.kind == StationEvent::Kind::SearchEnded) {
        m_searching = false;
        m_btStart->setEnabled(true);
        if (m_transmissions > 0)
            showProgress(m_next); // the codes reached, without a time left
        if (m_closeRequested) {
            m_closeRequested = false;
            done(m_closeResult);
        }
    }
}

void TFastForm::showProgress(long long stop) {
    const long long reached = m_next - 8 * (m_first / 8);
    QString text = QStringLiteral("Codes reached: %1").arg(reached);
    if (stop > m_next && m_transmissions > 0) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        const long long left = (stop - m_next + 255) / 256;
        text += QStringLiteral("\nTime left about %1")
                    .arg(durationText(elapsed / m_transmissions * static_cast<double>(left)));
    }
    m_progress->setText(text);
}

void TFastForm::Button2Click() {
    m_form.station().stop(); // ends the search too
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
    // The operator searches with this dialog open: auto-send polls wait until it closes (the
    // engine also holds them while any search runs).
    m_form.autoSend().hold(true);
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
    m_form.autoSend().hold(false);
}

} // namespace tarvex
