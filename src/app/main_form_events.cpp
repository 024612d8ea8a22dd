// What the window shows of the station engine: the listing of each page built, the on-air
// lamp and the progress on air, the buttons while the transmitter is busy, the status line's
// notes and failures, and the outcome of each transmission. The operator's own requests get their
// message boxes; what an unattended input refused goes to the status line (and the log).
#include "app/dialog_support.h"
#include "app/keying_form.h"
#include "app/main_form.h"
#include "app/on_air_bar.h"
#include "app/picture_button.h"
#include "app/status_line.h"
#include "station/page_log.h"

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <utility>

namespace tarvex {

namespace {

QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

/// Requests an operator made at the window, who is there to read a message box.
bool fromOperator(TxSource source) {
    return source == TxSource::Operator || source == TxSource::Preset ||
           source == TxSource::Search || source == TxSource::FastSearch ||
           source == TxSource::TuneUp;
}

} // namespace

void TMainForm::onStationEvent(const StationEvent& e) {
    switch (e.kind) {
    case StationEvent::Kind::State: {
        // After STOP the station holds only the pages of other systems: the operator's own
        // go at once, so SEND and TUNE-UP stay usable through the hold.
        const bool free = e.state == OnAirState::Idle || e.state == OnAirState::ManualKey ||
                          e.state == OnAirState::Held;
        TxButton->setEnabled(free);
        btPa->setEnabled(free);
        if (m_dialogs.keying != nullptr)
            m_dialogs.keying->setKeyed(!(e.state == OnAirState::Idle ||
                                         e.state == OnAirState::Held ||
                                         e.state == OnAirState::Waiting));
        m_status->setOnAir(e.state, e.source);
        if (free)
            m_status->clearProgress();
        showKeyedTime(e.state == OnAirState::ManualKey);
        break;
    }
    case StationEvent::Kind::Listing:
        // The fast search shows its own listing; the window's stays as it was.
        if (e.source != TxSource::FastSearch) {
            QString text = QString::fromLatin1(e.text);
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            DataOut->setPlainText(text);
        }
        break;
    case StationEvent::Kind::Progress:
        m_status->setProgress(e.elapsed, e.total);
        break;
    case StationEvent::Kind::Ended:
        if (e.outcome != nullptr)
            showOutcome(*e.outcome);
        break;
    case StationEvent::Kind::Note:
        if (m_stopping)
            m_stopNote = qtext(e.text); // goes into the stop's own line
        else if (!(m_stopAfter && e.text.starts_with("Stopped:")))
            m_status->note(qtext(e.text)); // (a search ending repeats the stop: said once)
        break;
    case StationEvent::Kind::Problem:
        showProblem(qtext(e.text));
        break;
    case StationEvent::Kind::LogFailed:
        m_status->setFailure(QStringLiteral("Page log: %1").arg(qtext(e.text)));
        if (fromOperator(e.source) && !m_closing)
            showPlainMessage(this, QString::fromLatin1(PageLogFailureText));
        break;
    case StationEvent::Kind::Refused:
        m_status->setFailure(qtext(e.text));
        break;
    case StationEvent::Kind::Backend:
        describeBackends();
        break;
    case StationEvent::Kind::KeyedUp:
    case StationEvent::Kind::SearchProgress: // the search dialogs follow these
    case StationEvent::Kind::SearchEnded:
        break;
    case StationEvent::Kind::Watchdog:
        KeyTx1->setChecked(false);
        m_status->setFailure(qtext(e.text));
        break;
    }
}

void TMainForm::showKeyedTime(bool manualKey) {
    // A manual key-up has no end of its own: the strip counts its time up to the watchdog.
    if (!manualKey) {
        if (m_keyedTicker != nullptr && m_keyedTicker->isActive()) {
            m_keyedTicker->stop();
            m_status->clearProgress();
        }
        return;
    }
    if (m_keyedTicker == nullptr) {
        m_keyedTicker = new QTimer(this);
        m_keyedTicker->setInterval(1000);
        connect(m_keyedTicker, &QTimer::timeout, this, [this] {
            m_status->setKeyedTime(static_cast<int>(m_keyedSince.elapsed() / 1000),
                                   m_station->options().txWatchdogSeconds);
        });
    }
    if (m_keyedTicker->isActive())
        return;
    m_keyedSince.start();
    m_keyedTicker->start();
    m_status->setKeyedTime(0, m_station->options().txWatchdogSeconds);
}

QString TMainForm::outcomeText(const TxOutcome& out) const {
    QString what;
    switch (out.kind) {
    case TxKind::Page:
        what = out.pages.size() > 1 ? QStringLiteral("%1 pages").arg(out.pages.size())
                                    : QStringLiteral("RIC %1").arg(qtext(out.ric));
        break;
    case TxKind::FastSearch:
        what = QStringLiteral("fast search");
        break;
    case TxKind::TuneUp:
        what = QStringLiteral("tune-up");
        break;
    case TxKind::Ident:
        what = QStringLiteral("ident %1").arg(qtext(m_station->identSettings().callsign));
        break;
    }
    if (out.stopped)
        return QStringLiteral("Stopped: %1; the transmitter is released.").arg(what);
    if (out.built && out.played && !out.portError.empty())
        return QStringLiteral("Not sent: %1 - the transmitter could not be keyed (%2); the sound "
                              "played to a radio that was probably not on the air")
            .arg(what, qtext(out.portError));
    if (!out.built || !out.played)
        return QStringLiteral("Not sent: %1 - %2")
            .arg(what,
                 out.error.empty() ? QStringLiteral("the sound did not play") : qtext(out.error));
    return QStringLiteral("Sent: %1, %2 codewords, %3 s")
        .arg(what)
        .arg(out.codewords)
        .arg(out.durationMs / 1000.0, 0, 'f', 2);
}

void TMainForm::showOutcome(const TxOutcome& out) {
    m_status->clearProgress();
    // A transmission that did not go out as it should is a failure, on the lamp too.
    const bool failed = notSent(out) && !m_closing;
    QString text = outcomeText(out);
    const bool stopLine = out.stopped && m_stopAfter.has_value();
    if (stopLine)
        text += *std::exchange(m_stopAfter, std::nullopt);
    // The history keeps each page with its text, which the status line has no room for.
    QString record;
    if (out.kind == TxKind::Page && out.pages.size() <= 1 && !m_closing)
        record =
            QStringLiteral("%1  [RIC %2: \"%3\"]").arg(text, qtext(out.ric), qtext(out.message));
    if (stopLine && !m_closing) {
        showStopped(text, m_stopDropped, record);
    } else if (failed) {
        m_status->warn(text, record);
        m_status->setNotSent(
            out.played ? QStringLiteral("Keying failed: %1").arg(qtext(out.portError))
                       : QStringLiteral("The sound did not play: %1").arg(qtext(out.error)));
    } else if (!m_closing) {
        m_status->note(text, record);
    }
    if (!out.built) {
        if (out.stopped || m_closing)
            return;
        if (out.kind == TxKind::Ident) {
            m_status->setFailure(QStringLiteral("Station ident: %1").arg(qtext(out.error)));
            return;
        }
        if (!fromOperator(out.source))
            return; // the engine has reported it as refused
        if (out.refusal == Refusal::Encoder) {
            QMessageBox box(QMessageBox::Warning, QString::fromLatin1(ProgramTitle),
                            qtext(out.error), QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("PageRefused"));
            box.exec();
        } else if (out.refusal != Refusal::None) {
            showErrorReport(this, qtext(out.error));
        }
        return;
    }
    if (out.kind == TxKind::Page || out.kind == TxKind::FastSearch)
        emit pageSent(qtext(out.ric), qtext(out.message));
}

void TMainForm::showProblem(const QString& text) {
    // Audio and port failures show on the audio and port texts; the last message stays.
    if (!text.isEmpty())
        m_status->setProblem(text);
    else if (m_status->failureText().startsWith(QStringLiteral("Port:")) ||
             m_status->failureText().startsWith(QStringLiteral("Audio:")))
        m_status->setProblem({});
    describeBackends();
}

} // namespace tarvex
