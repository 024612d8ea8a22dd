// SEND and the other commands that go on the air from the window: each reads the controls
// into a plain request, as the transmit command does, and hands it to the station engine.
// Stop ends whatever is on air.
#include "app/dialog_support.h"
#include "app/main_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "app/status_line.h"
#include "encoder/codeword.h"
#include "encoder/message_packing.h"
#include "host/station_host.h"
#include "station/page_log.h"
#include "station/station_wait.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <utility>

namespace tarvex {

namespace {

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
    page.baud = baud();
    page.inverted = NI2->isChecked();
    // The encoder works on 8-bit text; characters beyond Latin-1 become '?'.
    page.message = MsgEdit->toPlainText().toLatin1().toStdString();
    return page;
}

PageJob TMainForm::jobFromControls(TxSource source) {
    PageJob job;
    job.source = source;
    job.page = pageParams();
    job.level = Volume->value();
    job.log = logpages->isChecked();
    job.logRic = RicEdit->text().toStdString();
    job.logMessage = MsgEdit->toPlainText().toStdString();
    return job;
}

SendResult TMainForm::TxButtonClick(TxSource source) {
    if (m_closing)
        return SendResult::Refused; // searches, polls and the queue end here
    if (IdentInProgress())
        return SendResult::Skipped;
    KeyTx1->setChecked(false); // the release after the page ends a manual key-up
    const QString message = trimControlText(MsgEdit->toPlainText());
    if (message != MsgEdit->toPlainText())
        MsgEdit->setPlainText(message);
    applyRate(rateIndex());
    m_station->setSignal({.level = Volume->value()});
    if (source == TxSource::Operator && !refuseUnusableRic())
        return SendResult::Failed;
    if (AN2->isChecked())
        noteNumericCharacters(message);
    PageJob job = jobFromControls(source);
    applyPagerCharset(job);
    return sendAndWait(*m_station, m_host->waits(), std::move(job));
}

bool TMainForm::sendIdent(bool test) {
    if (m_closing)
        return false;
    return identAndWait(*m_station, m_host->waits(), test);
}

bool TMainForm::refuseUnusableRic() {
    // Said in the operator's words before anything is keyed; the field keeps what was typed.
    QString problem = ricProblem(RicEdit->text());
    if (problem.isEmpty() && RicEdit->text().toLongLong() > MaxRic)
        problem = QStringLiteral("RIC/CAP code %1 is too large: the largest is 2097151.")
                      .arg(RicEdit->text());
    if (problem.isEmpty())
        return true;
    m_status->warn(QStringLiteral("Not sent: %1").arg(problem));
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(ProgramTitle), problem,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("RicRefused"));
    box.exec();
    RicEdit->setFocus(Qt::OtherFocusReason);
    RicEdit->selectAll();
    return false;
}

void TMainForm::noteNumericCharacters(const QString& message) {
    // The page goes as typed; the operator learns first what the pager will show instead.
    QStringList odd;
    QString seen;
    for (const QChar c : message) {
        const auto byte = static_cast<unsigned char>(c.unicode() > 0xFF ? '?' : c.toLatin1());
        const QChar shown = QChar::fromLatin1(numericShownAs(byte));
        if (shown == c || seen.contains(c))
            continue;
        seen += c;
        odd << QStringLiteral("'%1' as '%2'").arg(c, shown);
    }
    if (!odd.isEmpty())
        m_status->hold(QStringLiteral("A numeric pager cannot show every character of this "
                                      "page: it shows %1.")
                           .arg(odd.join(QStringLiteral(", "))));
}

bool TMainForm::startSearch(SearchJob job, QWidget* dialog) {
    std::string why;
    if (m_station->startSearch(std::move(job), &why))
        return true;
    showPlainMessage(
        dialog, QStringLiteral("The search did not start: %1").arg(QString::fromStdString(why)));
    return false;
}

PageJob TMainForm::searchPage() {
    KeyTx1->setChecked(false);
    applyRate(rateIndex());
    return jobFromControls(TxSource::Search);
}

FastSearchJob TMainForm::fastSearchJob(int64_t start) {
    KeyTx1->setChecked(false);
    applyRate(rateIndex());
    FastSearchJob job;
    job.start = start;
    job.baud = baud();
    job.inverted = NI2->isChecked();
    job.level = Volume->value();
    // The log records the window's own RIC and message for each transmission.
    job.log = logpages->isChecked();
    job.logRic = RicEdit->text().toStdString();
    job.logMessage = trimControlText(MsgEdit->toPlainText()).toStdString();
    return job;
}

void TMainForm::btPaClick() {
    if (m_closing)
        return;
    TuneJob job;
    job.seconds = TuneTime->value();
    job.baud = baud();
    job.inverted = NI2->isChecked();
    job.level = m_station->signal().level;
    tuneUpAndWait(*m_station, m_host->waits(), std::move(job));
}

void TMainForm::stopTransmission() {
    const std::size_t waiting = m_station->queued();
    KeyTx1->setChecked(false);
    // One STOP is one line in the history: the engine's note and the dropped pages go into
    // the line of the transmission it cut short, or into one line of its own.
    m_stopNote.clear();
    m_stopping = true;
    m_station->stop();
    m_stopping = false;
    QString after;
    if (waiting > 0)
        after = QStringLiteral(" %1 waiting page(s) dropped, not sent.").arg(waiting);
    if (!m_stopNote.isEmpty()) {
        QString note = m_stopNote;
        note.remove(QRegularExpression(QStringLiteral("^Stopped: ")));
        if (!note.isEmpty()) {
            note[0] = note[0].toUpper();
            after += QLatin1Char(' ') + note + QLatin1Char('.');
        }
    }
    if (m_station->busy()) {
        // The transmission's end says it; should none come, the line still does.
        m_stopAfter = after;
        m_stopDropped = waiting > 0;
        QTimer::singleShot(5000, this, [this] {
            if (m_stopAfter)
                showStopped(QStringLiteral("Stopped: the transmitter is released.") +
                                *std::exchange(m_stopAfter, std::nullopt),
                            m_stopDropped);
        });
        return;
    }
    m_station->releaseNow();
    showStopped(QStringLiteral("Stopped: the transmitter is released.") + after, waiting > 0);
}

void TMainForm::showStopped(const QString& text, bool dropped, const QString& record) {
    // Pages that will never go out are a warning that waits to be read.
    if (dropped)
        m_status->warn(text, record);
    else
        m_status->hold(text, record);
}

QString TMainForm::pageLogPath() const {
    return QString::fromStdString(tarvex::pageLogPath(DataFolder.toStdString()));
}

} // namespace tarvex
