#include "app/rs_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/main_form.h"
#include "encoder/conversions.h"
#include "signal/signal_gen.h"

#include <QLabel>
#include <QLineEdit>
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
    // The main window's Stop ends the search at once: the code it cut short is not counted
    // as sent and shows again at the next Start.
    connect(&m_form, &TMainForm::stopRequested, this, [this] {
        if (!SearchRunning)
            return;
        SearchRunning = false;
        m_stopped = true;
        if (!m_form.pageOnAir())
            m_form.endDelay(); // the gap between two codes ends too
    });
    connect(m_btStart, &QPushButton::clicked, this, &TRSForm::btStartClick);
    connect(m_btCancel, &QPushButton::clicked, this, &TRSForm::btCancelClick);
}

std::optional<QString> TRSForm::nextCode(const QString& code) {
    const auto value = tryStrToInt(code.toStdString());
    if (!value)
        return std::nullopt;
    return QString::number(static_cast<long long>(*value) + 1)
        .rightJustified(7, QLatin1Char('0'))
        .left(7);
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
    if (start && *start > *end) {
        showPlainMessage(this, QStringLiteral("End RIC is below Start RIC: nothing to send."));
        return;
    }
    SearchRunning = true;
    m_stopped = false;
    m_btStart->setEnabled(false);
    m_current->setText(m_start->text());
    const auto started = std::chrono::steady_clock::now();
    int sent = 0;
    showProgress(sent, started);
    while (SearchRunning) {
        const QString code = m_current->text();
        const auto value = tryStrToInt(code.toStdString());
        if (value && *value > *end)
            break; // an end below the start: nothing to send
        const bool last = value && *value >= *end;
        const SendResult result = m_form.sendSearchCode(code);
        if (result == SendResult::Skipped) {
            // The station ident is on air: this code goes again once it is over.
            m_form.DelayMs(100);
            continue;
        }
        if (result == SendResult::Failed || result == SendResult::Refused || m_stopped)
            break; // the transmit command has shown why, or Stop ended the search
        ++sent;
        m_form.DelayMs(m_form.station().signal().durationMs + 100);
        const auto next = nextCode(code);
        if (!next) {
            showErrorReport(this, QStringLiteral("'%1' is not a valid integer value").arg(code));
            break;
        }
        m_current->setText(*next);
        showProgress(sent, started);
        if (last)
            break;
    }
    SearchRunning = false;
    m_btStart->setEnabled(true);
    QDialog::done(QDialog::Accepted);
}

void TRSForm::showProgress(int sent, std::chrono::steady_clock::time_point started) {
    const auto left = codesLeft(m_current->text(), m_end->text());
    QString text = QStringLiteral("Codes sent: %1").arg(sent);
    if (left && *left > 0) {
        text += QStringLiteral(", left: %1").arg(*left);
        if (sent > 0) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            text += QStringLiteral(", time left about %1")
                        .arg(durationText(elapsed / sent * static_cast<double>(*left)));
        }
    }
    m_progress->setText(text);
}

void TRSForm::btCancelClick() {
    SearchRunning = false;
    QDialog::done(QDialog::Rejected);
}

void TRSForm::done(int result) {
    // Closing the window during a search ends it like Cancel.
    SearchRunning = false;
    QDialog::done(result);
}

} // namespace tarvex
