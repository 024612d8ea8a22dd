#include "app/rs_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/main_form.h"
#include "encoder/conversions.h"
#include "station/station.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

namespace tarvex {

TRSForm::TRSForm(TMainForm& form) : QDialog(&form), m_form(form) {
    setObjectName(QStringLiteral("RSForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("RIC/CAP Search"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(228, 207);

    const auto field = [this](const char* name, const QString& text, int top) {
        auto* edit = new QLineEdit(text, this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setGeometry(84, top, 96, 22);
        return edit;
    };
    placeLabel(this, QStringLiteral("Start RIC"), 10, 10);
    m_start = field("edSRIC", QStringLiteral("0000000"), 6);
    placeLabel(this, QStringLiteral("End RIC"), 10, 36);
    m_end = field("edERic", QStringLiteral("2097151"), 32);
    placeLabel(this, QStringLiteral("Sending"), 10, 62);
    m_current = field("edCRic", QString(), 58);
    m_current->setReadOnly(true);

    auto* note1 =
        new QLabel(QStringLiteral("The message sent to the pager is its RIC/CAP code"), this);
    note1->setWordWrap(true);
    note1->setGeometry(8, 84, 212, 28);
    auto* note2 = new QLabel(
        QStringLiteral("NOTE :- At 1200 baud it will take about 30 days to send every possible "
                       "RIC/CAP"),
        this);
    note2->setWordWrap(true);
    note2->setGeometry(8, 110, 212, 42);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setWordWrap(true);
    m_progress->setGeometry(8, 150, 212, 26);
    for (QLabel* label : {note1, note2, m_progress})
        label->setFont(uiFont(10));

    m_btStart = new QPushButton(QStringLiteral("&Start"), this);
    m_btStart->setObjectName(QStringLiteral("btStart"));
    m_btStart->setAutoDefault(false); // Enter in a field presses no button
    m_btStart->setGeometry(26, 178, 75, 25);
    m_btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_btCancel->setObjectName(QStringLiteral("btCancel"));
    m_btCancel->setAutoDefault(false); // Enter in a field presses no button
    m_btCancel->setGeometry(126, 178, 75, 25);
    // The engine's search events: the dialog shows the next code and the count, and closes
    // when the search ends (STOP in the main window included).
    m_form.station().subscribe([self = QPointer<TRSForm>(this)](const StationEvent& e) {
        if (self)
            self->onStationEvent(e);
    });
    connect(m_btStart, &QPushButton::clicked, this, &TRSForm::btStartClick);
    connect(m_btCancel, &QPushButton::clicked, this, &TRSForm::btCancelClick);
}

std::optional<long long> TRSForm::codesLeft(const QString& current, const QString& end) {
    const auto from = tryStrToInt(current.toStdString());
    const auto to = tryStrToInt(end.toStdString());
    if (!from || !to)
        return std::nullopt;
    return std::max(0LL, static_cast<long long>(*to) - *from + 1);
}

void TRSForm::btStartClick() {
    if (SearchRunning)
        return;
    // The end is a number: the search stops once it has sent it, however it was written.
    const auto end = tryStrToInt(m_end->text().toStdString());
    if (!end) {
        showErrorReport(this,
                        QStringLiteral("'%1' is not a valid integer value").arg(m_end->text()));
        return;
    }
    const auto start = tryStrToInt(m_start->text().toStdString());
    if (!start) {
        showErrorReport(this,
                        QStringLiteral("'%1' is not a valid integer value").arg(m_start->text()));
        return;
    }
    if (*start > *end) {
        showPlainMessage(this, QStringLiteral("End RIC is below Start RIC: nothing to send."));
        return;
    }
    SearchJob job;
    job.from = *start;
    job.to = *end;
    job.fromText = m_start->text().toStdString(); // the first code goes as typed
    job.page = m_form.searchPage();
    m_current->setText(m_start->text());
    m_sent = 0;
    m_started = std::chrono::steady_clock::now();
    SearchRunning = true; // before the start: its first event comes at once
    m_btStart->setEnabled(false);
    if (!m_form.startSearch(std::move(job), this)) {
        SearchRunning = false;
        m_btStart->setEnabled(true);
        return;
    }
    showProgress();
}

void TRSForm::onStationEvent(const StationEvent& e) {
    if (!SearchRunning || e.search == nullptr || e.search->fast)
        return;
    if (e.kind == StationEvent::Kind::SearchProgress) {
        m_current->setText(QString::fromStdString(e.search->nextText));
        m_sent = e.search->sent;
        showProgress();
    } else if (e.kind == StationEvent::Kind::SearchEnded) {
        // Done, STOP, a code that could not be sent (the window has shown why) or the end of
        // the program: the next code stays in the field for the next Start.
        SearchRunning = false;
        m_btStart->setEnabled(true);
        QDialog::done(QDialog::Accepted);
    }
}

void TRSForm::showProgress() {
    const auto left = codesLeft(m_current->text(), m_end->text());
    QString text = QStringLiteral("Codes sent: %1").arg(m_sent);
    if (left && *left > 0) {
        text += QStringLiteral(", left: %1").arg(*left);
        if (m_sent > 0) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
            text += QStringLiteral(", time left about %1")
                        .arg(durationText(elapsed / static_cast<double>(m_sent) *
                                          static_cast<double>(*left)));
        }
    }
    m_progress->setText(text);
}

void TRSForm::btCancelClick() {
    done(QDialog::Rejected);
}

void TRSForm::done(int result) {
    // Cancel, or closing the window, during a search ends it.
    if (SearchRunning) {
        SearchRunning = false;
        m_btStart->setEnabled(true);
        m_form.station().cancelSearch();
    }
    QDialog::done(result);
}

} // namespace tarvex
