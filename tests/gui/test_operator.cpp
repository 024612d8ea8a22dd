// The window as an operator meets it: the on-air lamp and Stop in every kind of
// transmission, the end of each transmission on the status line, the message history, the
// 256-character limit through every way text enters the message field, Ctrl+Enter, the
// numeric page's characters, the Keying dialog's fields and the fast search's progress.
#include "gui_test_support.h"

#include "app/auto_form.h"
#include "app/fast_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/message_edit.h"
#include "app/on_air_bar.h"
#include "app/picture_button.h"
#include "app/rs_form.h"
#include "station/keying_method.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QString lamp(TMainForm& f) {
    return f.statusLine().lampText();
}

QStringList history(TMainForm& f) {
    QStringList out;
    for (const StatusLine::Entry& e : f.statusLine().history())
        out << e.text;
    return out;
}

} // namespace

class OperatorTest : public QObject {
    Q_OBJECT
private slots:
    void stopEndsEveryKindOfTransmission();
    void stopReachesTheStationUnderAModalDialog();
    void watchdogReleasesAManualKeyUp();
    void endOfEachTransmissionIsShownAndProgressStopsAtItsTotal();
    void statusMessagesAreElidedAndKept();
    void messageLimitHoldsForEveryWayTextEnters();
    void ctrlEnterSendsFromTheMessageField();
    void numericPageNamesWhatAPagerCannotShow();
    void autoSendLeavesTheOperatorsTextAlone();
    void keyingDialogEnablesOnlyTheChosenMethodsFields();
    void fastSearchStoppedShowsNoTimeLeft();
};

void OperatorTest::stopEndsEveryKindOfTransmission() {
    // Each runs far longer than a second unless stopped (512 bit/s, long texts, 5 s tune-up,
    // endless searches); Stop comes at 1 s, on air.
    struct Case {
        const char* name;
        const char* lamp;
        bool escape; ///< Esc on the main window rather than the Stop button
        std::function<void(Rig&)> run;
    };
    const Case cases[] = {
        {"page", "ON AIR \u2014 operator", false,
         [](Rig& r) {
             control<MessageEdit>(*r.form, "MsgEdit").setPlainText(QString(200, QChar('x')));
             r.form->TxButtonClick();
         }},
        {"page by Esc", "ON AIR \u2014 operator", true,
         [](Rig& r) {
             control<MessageEdit>(*r.form, "MsgEdit").setPlainText(QString(200, QChar('y')));
             r.form->TxButtonClick();
         }},
        {"tune-up", "ON AIR \u2014 tune-up", false,
         [](Rig& r) { control<PictureButton>(*r.form, "btPa").click(); }},
        {"ident", "ON AIR \u2014 ident", false,
         [](Rig& r) { r.form->dialogs().ident->btTest()->click(); }},
        {"manual key-up", "KEYED \u2014 manual key-up", true,
         [](Rig& r) {
             control<QAction>(*r.form, "KeyTx1").trigger();
             QTest::qWait(1500);
         }},
        {"RIC/CAP search", "ON AIR \u2014 search", false,
         [](Rig& r) {
             TRSForm& rs = *r.form->dialogs().ricSearch;
             rs.edSRIC()->setText(QStringLiteral("0000100"));
             rs.edERic()->setText(QStringLiteral("2097151"));
             rs.show();
             rs.btStartClick();
             QTRY_VERIFY_WITH_TIMEOUT(!rs.SearchRunning, 5000);
             QVERIFY(!rs.isVisible());
         }},
        {"fast search", "ON AIR \u2014 fast search", false,
         [](Rig& r) {
             TFastForm& fast = *r.form->dialogs().fastSearch;
             fast.edStop()->setText(QStringLiteral("2000000"));
             fast.show();
             fast.Button1Click();
             QTRY_VERIFY_WITH_TIMEOUT(!fast.searching(), 5000);
             QCOMPARE(fast.edStart()->text(), QStringLiteral("1000")); // the block goes again
             fast.reject();
         }},
    };
    for (const Case& c : cases) {
        Rig rig;
        TMainForm& f = *rig.form;
        control<PictureButton>(f, "BR1").click();
        f.dialogs().ident->edIdent()->setText(QStringLiteral("GXZYX"));
        QString seen;
        QTimer::singleShot(1000, &f, [&] {
            seen = lamp(f);
            if (c.escape)
                QTest::keyClick(&f, Qt::Key_Escape);
            else
                f.statusLine().stopButton()->click();
        });
        rig.trace.clear();
        QElapsedTimer clock;
        clock.start();
        c.run(rig);
        const qint64 took = clock.elapsed();
        QVERIFY2(seen == QString::fromUtf8(c.lamp),
                 qPrintable(QStringLiteral("%1: lamp \"%2\"").arg(c.name, seen)));
        QVERIFY2(took < 2800, qPrintable(QStringLiteral("%1: %2 ms").arg(c.name).arg(took)));
        // The recording port proves the release, and nothing keys again afterwards.
        QTest::qWait(300);
        QVERIFY2(!rig.trace.events().empty() && rig.trace.events().back().what == "release",
                 c.name);
        QCOMPARE(rig.port->writes().back().value, uint8_t{0});
        // Pages from other systems wait a while after STOP, and the lamp says so.
        QCOMPARE(lamp(f), QStringLiteral("HELD AFTER STOP"));
        // The operator's own pages go at once meanwhile: SEND and TUNE-UP stay usable.
        QVERIFY(control<PictureButton>(f, "TxButton").isEnabled());
        QVERIFY(control<PictureButton>(f, "btPa").isEnabled());
        f.station().resume();
        QCOMPARE(lamp(f), QStringLiteral("IDLE"));
        QVERIFY(!control<QAction>(f, "KeyTx1").isChecked());
        // One STOP, one line in the history.
        const QStringList stops = history(f).filter(QStringLiteral("Stopped"));
        QVERIFY2(stops.size() == 1, qPrintable(QStringLiteral("%1: %2").arg(
                                        c.name, stops.join(QStringLiteral(" | ")))));
    }
    // A transmitter that keys only in its time slots shows that it waits for one.
    Rig rig;
    rig.form->statusLine().setOnAir(OnAirState::Waiting, TxSource::Dapnet);
    QCOMPARE(lamp(*rig.form), QStringLiteral("WAITING FOR A SLOT \u2014 DAPNET"));
}

void OperatorTest::stopReachesTheStationUnderAModalDialog() {
    Rig rig;
    TMainForm& f = *rig.form;
    // The ident's Test (about 8 s at this callsign), then Esc in the Station Ident dialog:
    // the ident stops at once and the dialog stays open.
    TIdentForm& ident = *f.dialogs().ident;
    ident.edIdent()->setText(QStringLiteral("GXZYX"));
    QString identLamp;
    bool openAfterStop = false;
    qint64 took = -1;
    QTimer::singleShot(1000, &f, [&] {
        if (auto* bar = ident.findChild<OnAirBar*>())
            identLamp = bar->lampText();
        QTest::keyClick(ident.btDone(), Qt::Key_Escape);
    });
    QTimer::singleShot(50, &f, [&] {
        QElapsedTimer clock;
        clock.start();
        ident.btTest()->click();
        took = clock.elapsed();
        openAfterStop = ident.isVisible();
        ident.reject();
    });
    ident.exec();
    QCOMPARE(identLamp, QStringLiteral("ON AIR \u2014 ident"));
    QVERIFY2(took >= 0 && took < 2800, qPrintable(QString::number(took)));
    QVERIFY(openAfterStop);
    QCOMPARE(rig.port->writes().back().value, uint8_t{0});

    // A manual key-up under the Keying dialog: the lamp shows it, the pin cannot change
    // while keyed, and the dialog's STOP releases.
    f.station().resume();
    control<QAction>(f, "KeyTx1").trigger();
    TKeyingForm& keying = *f.dialogs().keying;
    QString keyingLamp;
    bool pinLocked = false;
    bool pinFreeAfter = false;
    QTimer::singleShot(50, &f, [&] {
        auto* bar = keying.findChild<OnAirBar*>();
        if (bar == nullptr) {
            keying.reject();
            return;
        }
        keyingLamp = bar->lampText();
        pinLocked = !keying.findChild<QWidget*>(QStringLiteral("PinBox"))->isEnabled();
        bar->stopButton()->click();
        pinFreeAfter = keying.findChild<QWidget*>(QStringLiteral("PinBox"))->isEnabled();
        keying.reject();
    });
    keying.exec();
    QCOMPARE(keyingLamp, QStringLiteral("KEYED \u2014 manual key-up"));
    QVERIFY(pinLocked);
    QVERIFY(pinFreeAfter);
    QCOMPARE(rig.port->writes().back().value, uint8_t{0});
    QVERIFY(!control<QAction>(f, "KeyTx1").isChecked());
}

void OperatorTest::watchdogReleasesAManualKeyUp() {
    QTemporaryDir dir;
    RigOptions options;
    options.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
    QSettings(options.settingsFile, QSettings::IniFormat)
        .setValue(QStringLiteral("Tarvex/TxWatchdog"), QStringLiteral("1"));
    Rig rig(options);
    TMainForm& f = *rig.form;
    QCOMPARE(f.dialogs().keying->TxWatchdog()->value(), 1);
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(f.statusLine().progressText(), QStringLiteral("Keyed 0:00 / 0:01"));
    QTRY_VERIFY_WITH_TIMEOUT(!control<QAction>(f, "KeyTx1").isChecked(), 3000);
    QCOMPARE(rig.port->writes().back().value, uint8_t{0});
    QVERIFY2(f.statusLine().currentMessage().startsWith(
                 QStringLiteral("Transmit watchdog: the transmitter was keyed for 1 s")),
             qPrintable(f.statusLine().currentMessage()));
    QVERIFY(f.statusLine().progressText().isEmpty());
}

void OperatorTest::endOfEachTransmissionIsShownAndProgressStopsAtItsTotal() {
    Rig rig;
    TMainForm& f = *rig.form;
    QStringList progress;
    f.station().subscribe([&](const StationEvent& e) {
        if (e.kind == StationEvent::Kind::Progress)
            progress << f.statusLine().progressText();
    });
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("1234567"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("Hello pager"));
    f.TxButtonClick();
    QVERIFY(!progress.isEmpty());
    for (const QString& p : progress) {
        const QStringList parts = p.mid(7).split(QStringLiteral(" / "));
        QVERIFY2(parts.size() == 2 && parts[0].toDouble() <= parts[1].chopped(2).toDouble(),
                 qPrintable(p));
    }
    QCOMPARE(f.statusLine().currentMessage(),
             QStringLiteral("Sent: RIC 1234567, %1 codewords, %2 s")
                 .arg(f.station().encoding().lastSlot)
                 .arg(f.station().signal().durationMs / 1000.0, 0, 'f', 2));
    QVERIFY(f.statusLine().progressText().isEmpty());
    f.dialogs().ident->edIdent()->setText(QStringLiteral("E"));
    f.dialogs().ident->btTest()->click();
    QCOMPARE(f.statusLine().currentMessage(), QStringLiteral("Sent: ident E, 9 codewords, 0.36 s"));
}

void OperatorTest::statusMessagesAreElidedAndKept() {
    Rig rig;
    TMainForm& f = *rig.form;
    const QString longText = QStringLiteral("A very long failure ") + QString(300, QChar('z'));
    f.statusLine().setFailure(longText);
    auto& shown = control<QLabel>(f, "StatusMessage");
    QVERIFY(shown.text().endsWith(QChar(0x2026)));
    QVERIFY(shown.fontMetrics().horizontalAdvance(shown.text()) <= shown.contentsRect().width());
    QCOMPARE(shown.toolTip(), longText);
    for (int i = 0; i < 1005; ++i)
        f.statusLine().note(QStringLiteral("note %1").arg(i));
    QCOMPARE(f.statusLine().history().size(), StatusLine::MaxHistory);
    QCOMPARE(f.statusLine().history().back().text, QStringLiteral("note 1004"));
    QCOMPARE(f.statusLine().history().front().text, QStringLiteral("note 5"));
    // The failure holds the line against the notes that followed it; they show after it.
    QCOMPARE(f.statusLine().currentMessage(), longText);
    // Beside the DAPNET link's state the message keeps room to be read.
    f.statusLine().setStation(QStringLiteral("DAPNET: connected to dapnet.example.org, next "
                                             "slot in 12 s"));
    QApplication::processEvents();
    QVERIFY2(shown.width() >= StatusLine::MessageMinWidth,
             qPrintable(QString::number(shown.width())));
    // Help > Message history lists them with their times.
    QString listed;
    onNextModal([&](QWidget* w) {
        listed = control<QPlainTextEdit>(*w, "HistoryText").toPlainText();
        qobject_cast<QDialog*>(w)->accept();
    });
    control<QAction>(f, "MessageHistory1").trigger();
    const QStringList lines = listed.split('\n');
    QCOMPARE(lines.size(), qsizetype(StatusLine::MaxHistory));
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  note 1004$"))
            .match(lines.back())
            .hasMatch(),
        qPrintable(lines.back()));
}

void OperatorTest::messageLimitHoldsForEveryWayTextEnters() {
    Rig rig;
    TMainForm& f = *rig.form;
    auto& msg = control<MessageEdit>(f, "MsgEdit");
    const QString full(256, QChar('a'));
    const auto atLimit = [&] {
        msg.setPlainText(full);
        msg.moveCursor(QTextCursor::End);
        msg.setFocus();
    };
    const std::function<void()> inputs[] = {
        [&] { QTest::keyClick(&msg, Qt::Key_B, Qt::AltModifier); },
        [&] { typeInto(&msg, QStringLiteral("bc")); },
        [&] {
            QInputMethodEvent composed;
            composed.setCommitString(QStringLiteral("bcd"));
            QApplication::sendEvent(&msg, &composed);
        },
        [&] {
            QApplication::clipboard()->setText(QStringLiteral("pasted"));
            msg.paste();
        },
        [&] {
            QMimeData dropped;
            dropped.setText(QStringLiteral("dropped"));
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
            QApplication::sendEvent(msg.viewport(), &drop);
        },
        [&] { msg.setPlainText(full + QStringLiteral("by code")); },
        [&] { msg.insertPlainText(QStringLiteral("inserted")); },
    };
    QSignalSpy refused(&msg, &MessageEdit::lengthRefused);
    int i = 0;
    for (const auto& input : inputs) {
        atLimit();
        input();
        QVERIFY2(
            msg.toPlainText() == full,
            qPrintable(
                QStringLiteral("input %1: %2 characters").arg(i).arg(msg.toPlainText().size())));
        ++i;
    }
    QVERIFY(refused.count() >= 1);
    // What is sent and logged holds 256 characters at most.
    control<QCheckBox>(f, "logpages").setChecked(true);
    QSignalSpy sent(&f, &TMainForm::pageSent);
    f.TxButtonClick();
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.first().at(1).toString().size(), 256);
    // The listing of what was sent cannot be typed into.
    auto& listing = control<QPlainTextEdit>(f, "DataOut");
    const QString before = listing.toPlainText();
    listing.setFocus();
    typeInto(&listing, QStringLiteral("typed"));
    QCOMPARE(listing.toPlainText(), before);
    QVERIFY(listing.isReadOnly());
}

void OperatorTest::ctrlEnterSendsFromTheMessageField() {
    Rig rig;
    TMainForm& f = *rig.form;
    auto& msg = control<MessageEdit>(f, "MsgEdit");
    msg.setPlainText(QStringLiteral("by keyboard"));
    msg.setFocus();
    QSignalSpy sent(&f, &TMainForm::pageSent);
    QTest::keyClick(&msg, Qt::Key_Return); // Enter alone: no new line, nothing sent
    QCOMPARE(sent.count(), 0);
    QCOMPARE(msg.toPlainText(), QStringLiteral("by keyboard"));
    QTest::keyClick(&msg, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(sent.count(), 1);
    QTest::keyClick(&msg, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(sent.count(), 2);
    QCOMPARE(sent.first().at(1).toString(), QStringLiteral("by keyboard"));
    // The picture buttons never take the focus from a click (Tab reaches them).
    for (const char* name : {"TxButton", "btPreset", "btPa", "FB1", "BR2"})
        QVERIFY(!(control<PictureButton>(f, name).focusPolicy() & Qt::ClickFocus));
}

void OperatorTest::numericPageNamesWhatAPagerCannotShow() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "AN2").click();
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("12 U-3 [4]"));
    QSignalSpy sent(&f, &TMainForm::pageSent);
    f.TxButtonClick();
    QCOMPARE(sent.count(), 1); // sent as typed all the same
    QCOMPARE(sent.first().at(1).toString(), QStringLiteral("12 U-3 [4]"));
    const QStringList said = history(f);
    QVERIFY(said.size() >= 2);
    const QString warning = said[said.size() - 2];
    QVERIFY2(warning.contains(QStringLiteral("' ' as '0'")) &&
                 warning.contains(QStringLiteral("'U' as '5'")) && !warning.contains("'-'") &&
                 !warning.contains("'['"),
             qPrintable(warning));
    QVERIFY(said.back().startsWith(QStringLiteral("Sent: ")));
    // The warning stays on the line after the page (it lasted only while keyed).
    QCOMPARE(f.statusLine().currentMessage(), warning);
    // Digits and the characters a numeric pager shows: nothing to say.
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("0123-456[]"));
    f.TxButtonClick();
    QVERIFY(history(f)[history(f).size() - 2].startsWith(QStringLiteral("Sent: ")));
}

void OperatorTest::autoSendLeavesTheOperatorsTextAlone() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("0000042"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("half-typed page"));
    TAutoForm& autoForm = *f.dialogs().autoSend;
    autoForm.AutoSend()->setChecked(true);
    QFile file(QDir(f.ProgramFolder).filePath(QStringLiteral("AutoSend.Txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("00N0512I0000007999\r\nbad entry\r\n");
    file.close();
    BoxWatcher boxes;
    QSignalSpy sent(&f, &TMainForm::pageSent);
    autoForm.TxTimerTimer();
    QTRY_COMPARE(sent.count(), 1);
    QVERIFY(boxes.texts.isEmpty()); // the refused entry goes to the status line
    QVERIFY(f.statusLine().failureText().contains(QStringLiteral("bad entry")));
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("0000042"));
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("half-typed page"));
    QVERIFY(control<PictureButton>(f, "AN1").isChecked() &&
            control<PictureButton>(f, "BR2").isChecked() &&
            control<PictureButton>(f, "NI1").isChecked());
}

void OperatorTest::keyingDialogEnablesOnlyTheChosenMethodsFields() {
    Rig rig;
    TKeyingForm& k = *rig.form->dialogs().keying;
    for (int i = 0; i < k.Method()->count(); ++i) {
        k.Method()->setCurrentIndex(i);
        const QString method = k.Method()->itemData(i).toString();
        const bool parallel = method == QStringLiteral("parallel");
        const QString name = k.Method()->itemText(i);
        QVERIFY2(k.Port()->isEnabled() == parallel, qPrintable(name));
        QVERIFY2(control<QWidget>(k, "PinBox").isEnabled() == parallel, qPrintable(name));
        QVERIFY2(k.InvKey()->isEnabled() == (method != QStringLiteral("none")), qPrintable(name));
        QVERIFY2(k.KeyDelay()->isEnabled(), qPrintable(name));
    }
    // AllowKeying keeps its stored meaning and says so where the operator looks.
    QVERIFY(k.AllowKeying()->toolTip().contains(QStringLiteral("Not a safety switch")));
    QVERIFY(control<QLabel>(k, "AllowKeyingNote")
                .text()
                .contains(QStringLiteral("Keying is set by Method; this box is kept for older "
                                         "settings")));
}

void OperatorTest::fastSearchStoppedShowsNoTimeLeft() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "BR3").click();
    TFastForm& fast = *f.dialogs().fastSearch;
    fast.edStart()->setText(QStringLiteral("1000"));
    fast.edStop()->setText(QStringLiteral("100000"));
    fast.show();
    // Once the first transmission has gone (the time left is shown), Stop.
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (fast.Progress()->text().contains(QStringLiteral("Time left"))) {
            poll.stop();
            fast.Button2()->click();
        }
    });
    poll.start(50);
    fast.Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(!fast.searching(), 20000);
    QVERIFY(fast.transmissions() >= 1);
    QVERIFY2(!fast.Progress()->text().contains(QStringLiteral("Time left")),
             qPrintable(fast.Progress()->text()));
    QVERIFY(fast.Progress()->text().startsWith(QStringLiteral("Codes reached: ")));
    fast.reject();
}

TARVEX_GUI_TEST_MAIN(OperatorTest)
#include "test_operator.moc"
