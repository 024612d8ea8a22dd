// What the operator types and chooses is never lost or misread: NUMERIC keeps the message,
// a bad RIC or codeword is refused in plain words with the text kept, Esc in a dialog whose
// changes apply at once puts them back, the Pagers table follows the form and Remove asks,
// DAPNET names the field it still needs, and the window can be driven from the keyboard.
#include "gui_test_support.h"

#include "app/dapnet_form.h"
#include "app/fast_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/message_edit.h"
#include "app/page_log_form.h"
#include "app/pagers_form.h"
#include "app/picture_button.h"
#include "app/rs_form.h"
#include "app/station_busy.h"
#include "app/sync_idle_form.h"
#include "encoder/page_encoder.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>

#include <cerrno>

using namespace tarvex;
using namespace tarvex::test;

class WindowInputTest : public QObject {
    Q_OBJECT
private slots:
    void dialogsCarryOneStopAndTheWatchdogAboveDone();
    void numericKeepsTheTypedMessage();
    void badRicAndCodewordsAreRefusedInPlainWordsAndKept();
    void escPutsBackWhatTheDialogOpenedWith();
    void pagersTableFollowsTheFormAndRemoveAsks();
    void dapnetJoinNamesTheMissingField();
    void keyboardReachesHelpAndExit();
    void historyCollapsesRepeatsKeepsPagesAndOutlivesTheWindow();
    void pageLogViewerShowsTheLinesWithAMark();
    void keyedStripKeepsItsPlaceAndWarningsStandUntilRead();
    void heldStationKeepsTheWindowOpenUntilItIsFree();
    void keyingTestKeysForASecondAndRigsGoByName();
};

namespace {

int visibleStops(QWidget& dialog) {
    int count = 0;
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->isVisibleTo(&dialog) &&
            b->text().remove('&').compare(QStringLiteral("stop"), Qt::CaseInsensitive) == 0)
            ++count;
    return count;
}

} // namespace

void WindowInputTest::dialogsCarryOneStopAndTheWatchdogAboveDone() {
    Rig rig;
    TKeyingForm& k = *rig.form->dialogs().keying;
    const QRect done = control<QPushButton>(k, "btDone").geometry();
    QVERIFY(k.TxWatchdog()->geometry().bottom() < done.top());
    QCOMPARE(visibleStops(*rig.form->dialogs().fastSearch), 1);
    QCOMPARE(visibleStops(k), 1);

    // A dialog's lamp says NOT SENT after a transmission that did not go out, as the window's.
    TIdentForm& ident = *rig.form->dialogs().ident;
    ident.edIdent()->setText(QStringLiteral("E"));
    rig.port->failWith(EIO);
    ident.btTest()->click();
    QTRY_COMPARE_WITH_TIMEOUT(rig.form->statusLine().lampText(), QStringLiteral("NOT SENT"), 5000);
    QCOMPARE(control<QLabel>(ident, "DialogLamp").text(), QStringLiteral("NOT SENT"));
    // A long state fits the narrowest dialog's lamp.
    control<QAction>(*rig.form, "KeyTx1").trigger();
    for (QDialog* d : std::initializer_list<QDialog*>{&ident, &k, rig.form->dialogs().ricSearch,
                                                      rig.form->dialogs().fastSearch}) {
        const auto& lamp = control<QLabel>(*d, "DialogLamp");
        QCOMPARE(lamp.text(), QStringLiteral("KEYING FAILED \u2014 manual key-up"));
        QVERIFY2(lamp.fontMetrics().horizontalAdvance(lamp.text()) <= lamp.contentsRect().width(),
                 qPrintable(d->objectName()));
    }
    control<QAction>(*rig.form, "KeyTx1").trigger();
    rig.port->failWith(0);
}

void WindowInputTest::numericKeepsTheTypedMessage() {
    Rig rig;
    TMainForm& f = *rig.form;
    auto& msg = control<MessageEdit>(f, "MsgEdit");
    msg.setPlainText(QStringLiteral("Hello 0123 test"));
    control<PictureButton>(f, "AN2").click();
    QCOMPARE(msg.toPlainText(), QStringLiteral("Hello 0123 test"));
    QVERIFY2(f.statusLine().currentMessage().startsWith(QStringLiteral("NUMERIC")),
             qPrintable(f.statusLine().currentMessage()));
    control<PictureButton>(f, "AN1").click();
    QCOMPARE(msg.toPlainText(), QStringLiteral("Hello 0123 test"));
}

void WindowInputTest::badRicAndCodewordsAreRefusedInPlainWordsAndKept() {
    Rig rig;
    TMainForm& f = *rig.form;
    auto& ric = control<QLineEdit>(f, "RicEdit");
    for (const QString& typed : {QString(), QStringLiteral("2097152")}) {
        ric.setText(typed);
        QString said;
        onNextModal([&](QWidget* box) {
            said = boxText(box);
            pressOk(box);
        });
        QCOMPARE(f.TxButtonClick(), SendResult::Failed);
        QVERIFY2(said.contains(QStringLiteral("2097151")) &&
                     !said.contains(QStringLiteral("valid")),
                 qPrintable(said));
        QCOMPARE(ric.text(), typed);
    }
    QVERIFY(rig.port->writes().empty() ||
            std::none_of(rig.port->writes().begin(), rig.port->writes().end(),
                         [](const auto& w) { return w.value != 0; }));

    // A codeword of fewer than eight digits is refused; what was typed stays.
    TSIForm& si = *f.dialogs().syncIdle;
    QString said;
    onNextModal([&](QWidget* w) {
        si.edSync()->setText(QStringLiteral("12"));
        onNextModal([&](QWidget* box) {
            said = boxText(box);
            pressOk(box);
        });
        si.btDone()->click();
        QVERIFY(si.isVisible());
        QCOMPARE(si.edSync()->text(), QStringLiteral("12"));
        qobject_cast<QDialog*>(w)->reject();
    });
    control<QAction>(f, "SyncIdleValues1").trigger();
    QVERIFY2(said.contains(QStringLiteral("eight hexadecimal digits")), qPrintable(said));
    QCOMPARE(f.station().encoding().sync, 0x7CD215D8u);
}

void WindowInputTest::escPutsBackWhatTheDialogOpenedWith() {
    Rig rig;
    TMainForm& f = *rig.form;
    TKeyingForm& k = *f.dialogs().keying;
    const QString method = k.Method()->currentText();
    const int pin = k.Pin()->checkedId();
    const QString port = f.statusLine().portText();
    onNextModal([&](QWidget*) {
        k.Method()->setCurrentText(QStringLiteral("None (VOX)"));
        k.Pin()->button(3)->click();
        QTest::keyClick(&k, Qt::Key_Escape);
    });
    control<QAction>(f, "Keying1").trigger();
    QCOMPARE(k.Method()->currentText(), method);
    QCOMPARE(k.Pin()->checkedId(), pin);
    QCOMPARE(f.statusLine().portText(), port);
    control<QAction>(f, "KeyTx1").trigger(); // keys the line the dialog opened with
    QCOMPARE(rig.port->writes().back().value, uint8_t(1u << pin));
    control<QAction>(f, "KeyTx1").trigger();

    // Done keeps the change.
    TIdentForm& ident = *f.dialogs().ident;
    onNextModal([&](QWidget*) {
        ident.IdentFrequency()->setValue(7);
        QTest::keyClick(&ident, Qt::Key_Escape);
    });
    control<QAction>(f, "StationIdent1").trigger();
    QCOMPARE(ident.IdentFrequency()->value(), 0);
    onNextModal([&](QWidget*) {
        ident.IdentFrequency()->setValue(7);
        ident.btDone()->click();
    });
    control<QAction>(f, "StationIdent1").trigger();
    QCOMPARE(ident.IdentFrequency()->value(), 7);

    // Esc in Pagers starts no server that was ticked meanwhile.
    TPagersForm& pagers = *f.dialogs().pagers;
    onNextModal([&](QWidget*) {
        control<QCheckBox>(pagers, "cbSnpp").setChecked(true);
        QTest::keyClick(&pagers, Qt::Key_Escape);
    });
    control<QAction>(f, "Pagers1").trigger();
    QVERIFY(!f.NetworkChoice.snpp.enabled);
    QVERIFY(!pagers.servers().snpp);
}

void WindowInputTest::pagersTableFollowsTheFormAndRemoveAsks() {
    Rig rig;
    TPagersForm& pagers = *rig.form->dialogs().pagers;
    auto& table = control<QTableWidget>(pagers, "PagerTable");
    QStringList left;
    QTimer::singleShot(0, &pagers, [&] {
        for (const QString& id : {QStringLiteral("1001"), QStringLiteral("1002")}) {
            control<QLineEdit>(pagers, "edPagerId").setText(id);
            control<QLineEdit>(pagers, "edPagerRic").setText(id);
            QVERIFY(pagers.btAddClick());
            QCOMPARE(table.selectedItems().value(0)->text(), id);
        }
        QString asked;
        onNextModal([&](QWidget* box) {
            asked = boxText(box);
            qobject_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
        });
        control<QPushButton>(pagers, "btRemovePager").click();
        QVERIFY2(asked.contains(QStringLiteral("1002")), qPrintable(asked));
        QCOMPARE(table.rowCount(), 2);
        onNextModal([&](QWidget* box) {
            qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
        });
        control<QPushButton>(pagers, "btRemovePager").click();
        for (int row = 0; row < table.rowCount(); ++row)
            left << table.item(row, 0)->text();
        pagers.accept();
    });
    pagers.exec();
    QCOMPARE(left, QStringList{QStringLiteral("1001")});
}

void WindowInputTest::dapnetJoinNamesTheMissingField() {
    Rig rig;
    TDapnetForm& d = *rig.form->dialogs().dapnet;
    QString said;
    bool open = false;
    QSignalSpy changed(&d, &TDapnetForm::settingsChanged);
    QTimer::singleShot(0, &d, [&] {
        control<QCheckBox>(d, "cbDapnet").setChecked(true);
        control<QLineEdit>(d, "edDapnetHost").setText(QStringLiteral("dapnet.example.org"));
        onNextModal([&](QWidget* box) {
            said = boxText(box);
            pressOk(box);
        });
        d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        open = d.isVisible();
        d.reject();
    });
    d.exec();
    QVERIFY(open);
    QVERIFY2(said.contains(QStringLiteral("Callsign")) && !said.contains('/'), qPrintable(said));
    QCOMPARE(changed.count(), 0);
}

void WindowInputTest::keyboardReachesHelpAndExit() {
    Rig rig;
    TMainForm& f = *rig.form;
    QCOMPARE(control<QAction>(f, "Help2").shortcut(), QKeySequence(Qt::Key_F1));
    QVERIFY(control<QPlainTextEdit>(f, "DataOut").textInteractionFlags() &
            Qt::TextSelectableByKeyboard);
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!f.isVisible());
}

void WindowInputTest::historyCollapsesRepeatsKeepsPagesAndOutlivesTheWindow() {
    Rig rig;
    TMainForm& f = *rig.form;
    for (int i = 0; i < 5; ++i)
        f.statusLine().note(QStringLiteral("The message holds at most 256 characters."));
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("1234567"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("Hello pager"));
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    const auto& h = f.statusLine().history();
    QCOMPARE(h.end()[-2].count, 5);
    QVERIFY2(h.back().text.contains(QStringLiteral("RIC 1234567: \"Hello pager\"")),
             qPrintable(h.back().text));
    const QString path = f.ProgramFolder + QLatin1String(StatusLine::HistoryFileName);
    f.close();
    StatusLine next;
    QVERIFY(next.loadHistory(path));
    QVERIFY(next.history().size() >= 2);
    QCOMPARE(next.history().end()[-2].text,
             QStringLiteral("The message holds at most 256 characters."));
    QCOMPARE(next.history().end()[-2].count, 5);
    QCOMPARE(next.history().back().text, h.back().text);
}

void WindowInputTest::pageLogViewerShowsTheLinesWithAMark() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tarvex-LOG.txt"));
    QFile log(path);
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write("1 - a - d - t - confirmed\r\n2 - b - d - t - not heard\r\n"
              "3 - c - d - t - stopped\r\n4 - e - d - t - not sent: no sound\r\n");
    log.close();
    PageLogForm form(path);
    QCOMPARE(form.shownText().count('\n'), 3);
    form.filter()->setCurrentText(QStringLiteral("Not heard off air"));
    QCOMPARE(form.shownText(), QStringLiteral("2 - b - d - t - not heard"));
    form.filter()->setCurrentText(QStringLiteral("Not sent"));
    QCOMPARE(form.shownText(), QStringLiteral("4 - e - d - t - not sent: no sound"));
}

void WindowInputTest::keyedStripKeepsItsPlaceAndWarningsStandUntilRead() {
    Rig rig;
    TMainForm& f = *rig.form;
    StatusLine& s = f.statusLine();
    auto& stop = control<QPushButton>(f, "btStop");
    const int width = f.width();
    const QPoint stopAt = stop.mapTo(&f, QPoint());
    s.setAlarm(QStringLiteral("2 pages not heard (last RIC 1234567 at 12:00:00)"));
    control<QAction>(f, "KeyTx1").trigger();
    QApplication::processEvents();
    QCOMPARE(f.width(), width);
    QCOMPARE(stop.mapTo(&f, QPoint()), stopAt);
    auto& lamp = control<QLabel>(f, "OnAirLamp");
    QCOMPARE(lamp.text(), QStringLiteral("KEYED \u2014 manual key-up"));
    QVERIFY(lamp.fontMetrics().horizontalAdvance(lamp.text()) <= lamp.contentsRect().width());
    // The alarm badge is read whole: nothing of it is cut.
    auto& alarm = control<QLabel>(f, "StatusAlarm");
    QVERIFY2(!alarm.text().contains(QChar(0x2026)), qPrintable(alarm.text()));
    QVERIFY(alarm.toolTip().contains(QStringLiteral("RIC 1234567")));
    control<QAction>(f, "KeyTx1").trigger();
    // The alarm's warning stands on the message line until it has been read.
    QVERIFY(s.awaitingAcknowledgement());
    QVERIFY(s.currentMessage().contains(QStringLiteral("not heard")));
    s.note(QStringLiteral("later note"));
    QTest::qWait(50);
    QVERIFY(s.currentMessage().contains(QStringLiteral("not heard")));
    // Meanwhile it has the line to itself; the texts beside it come back once it is read.
    auto& message = control<QLabel>(f, "StatusMessage");
    auto& audio = control<QLabel>(f, "StatusAudio");
    QVERIFY2(message.width() > f.width() * 3 / 4, qPrintable(QString::number(message.width())));
    control<QPushButton>(f, "StatusAck").click();
    QCOMPARE(s.currentMessage(), QStringLiteral("later note"));
    QVERIFY(audio.isVisibleTo(&f));
}

void WindowInputTest::heldStationKeepsTheWindowOpenUntilItIsFree() {
    // Another process holds the station's lock (as tarvexd does) until its input ends.
    QTemporaryDir dir;
    const QString lock = dir.filePath(QStringLiteral("station.lock"));
    QProcess service;
    service.start(QStringLiteral("python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import fcntl,sys; f=open(sys.argv[1],'a+'); "
                                  "fcntl.lockf(f, fcntl.LOCK_EX); print('held', flush=True); "
                                  "sys.stdin.read()"),
                   lock});
    QVERIFY(service.waitForReadyRead(5000));
    const std::vector<std::string> paths{lock.toStdString()};
    StationHold window;
    std::string holder;
    QVERIFY(!window.acquire(paths, &holder));
    QString said;
    bool openAfterRetries = false;
    QTimer::singleShot(300, [&] {
        if (auto* shown = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            said = control<QLabel>(*shown, "StationBusyText").text();
            openAfterRetries = shown->isVisible(); // three tries have failed by now
        }
        service.closeWriteChannel();
    });
    QVERIFY(waitForStation(window, paths, holder, 80));
    QVERIFY(openAfterRetries);
    QVERIFY2(said.contains(QString::fromStdString(holder)), qPrintable(said));
    QVERIFY(window.held());
    service.waitForFinished(5000);
}

void WindowInputTest::keyingTestKeysForASecondAndRigsGoByName() {
    Rig rig;
    TKeyingForm& k = *rig.form->dialogs().keying;
    rig.trace.clear();
    k.btTestKeying()->click();
    QCOMPARE(rig.port->writes().back().value, uint8_t{1});
    QTRY_COMPARE_WITH_TIMEOUT(rig.port->writes().back().value, uint8_t{0}, 3000);
    const auto& e = rig.trace.events();
    QVERIFY(e.size() >= 2 && e.front().what == "key" && e.back().what == "release");
    const double keyedMs = e.back().atMs - e.front().atMs;
    QVERIFY2(keyedMs >= 900 && keyedMs < 2000, qPrintable(QString::number(keyedMs)));
    // A line that fails to key is let go after the second too, not left keyed by hand.
    rig.port->failWith(EIO);
    k.btTestKeying()->click();
    QCOMPARE(rig.form->statusLine().lampText(),
             QStringLiteral("KEYING FAILED \u2014 manual key-up"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.form->statusLine().lampText(), QStringLiteral("IDLE"), 3000);
    rig.port->failWith(0);

    // A rig is chosen by its name; the number follows (and the name follows a typed number).
    k.Method()->setCurrentText(QStringLiteral("Rig CAT (hamlib)"));
    QComboBox& names = *k.RigName();
    QVERIFY(names.isVisibleTo(&k));
    if (!names.isEnabled()) { // no hamlib to ask: the list says so
        QVERIFY(names.currentText().startsWith(QStringLiteral("No list of rigs")));
        return;
    }
    const int dummy = names.findText(QStringLiteral("Dummy"), Qt::MatchContains);
    QVERIFY(dummy >= 0 && names.count() > 100);
    emit names.activated(dummy);
    QCOMPARE(k.RigModel()->value(), names.itemData(dummy).toInt());
    k.RigModel()->setValue(names.itemData(dummy + 1).toInt());
    QCOMPARE(names.currentIndex(), dummy + 1);
}

TARVEX_GUI_TEST_MAIN(WindowInputTest)
#include "test_window_input.moc"
