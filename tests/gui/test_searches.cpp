// The two address searches through the real window: the pages and transmissions they send,
// where they stop, Cancel and Stop, and the limit on the stop value.
#include "gui_test_support.h"

#include "app/fast_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "app/rs_form.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QStringList pages(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& call : spy)
        out << call.at(0).toString() + QLatin1Char('|') + call.at(1).toString();
    return out;
}

/// Clicks the button once the dialog's modal loop runs.
void clickWhenShown(QPushButton* button) {
    QTimer::singleShot(50, button, [button] { button->click(); });
}

} // namespace

class SearchesTest : public QObject {
    Q_OBJECT
private slots:
    void ricSearchSendsTheRangeAndRemembersTheNextCode();
    void ricSearchStartAsTypedAndStartEqualToEnd();
    void ricSearchCancelFinishesThePageInProgress();
    void fastSearchSendsFourTransmissionsFrom1000To2000();
    void fastSearchStartsAtTheMultipleOfEightBelow();
    void fastSearchStopDuringPlayback();
    void fastSearchStopLimitAndClose();
};

void SearchesTest::ricSearchSendsTheRangeAndRemembersTheNextCode() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "BR3").click();
    TRSForm& rs = *f.dialogs().ricSearch;
    rs.edERic()->setText(QStringLiteral("0000002"));
    const QString ric = control<QLineEdit>(f, "RicEdit").text();
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("operator's"));
    QSignalSpy sent(&f, &TMainForm::pageSent);
    clickWhenShown(rs.btStart());
    QTest::qWait(0);
    rs.exec();
    QCOMPARE(pages(sent), (QStringList{"0000000|0000000", "0000001|0000001", "0000002|0000002"}));
    QVERIFY(!rs.isVisible());
    QCOMPARE(rs.edCRic()->text(), QStringLiteral("0000003"));
    QVERIFY2(rs.Progress()->text().startsWith(QStringLiteral("Codes sent: 3")),
             qPrintable(rs.Progress()->text()));
    // The operator's RIC and message stay as they were; the listing shows the last code.
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), ric);
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("operator's"));
    QVERIFY(!control<QPlainTextEdit>(f, "DataOut").toPlainText().isEmpty());
    QCOMPARE(rs.edSRIC()->text(), QStringLiteral("0000000")); // fields keep their values
}

void SearchesTest::ricSearchStartAsTypedAndStartEqualToEnd() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "BR3").click();
    TRSForm& rs = *f.dialogs().ricSearch;
    rs.edSRIC()->setText(QStringLiteral("5"));
    rs.edERic()->setText(QStringLiteral("0000006"));
    QSignalSpy sent(&f, &TMainForm::pageSent);
    clickWhenShown(rs.btStart());
    rs.exec();
    QCOMPARE(pages(sent), (QStringList{"5|5", "0000006|0000006"}));

    rs.edSRIC()->setText(QStringLiteral("0000009"));
    rs.edERic()->setText(QStringLiteral("0000009"));
    sent.clear();
    clickWhenShown(rs.btStart());
    rs.exec();
    QCOMPARE(pages(sent), QStringList{QStringLiteral("0000009|0000009")});

    // The end is a number, written with or without its leading zeros: "100" to "105" sends
    // six codes and ends (Cancel after a seventh would mean it ran past its end).
    rs.edSRIC()->setText(QStringLiteral("100"));
    rs.edERic()->setText(QStringLiteral("105"));
    sent.clear();
    QMetaObject::Connection guard = connect(&f, &TMainForm::pageSent, [&] {
        if (sent.count() >= 7)
            rs.btCancel()->click();
    });
    clickWhenShown(rs.btStart());
    rs.exec();
    disconnect(guard);
    QCOMPARE(pages(sent), (QStringList{"100|100", "0000101|0000101", "0000102|0000102",
                                       "0000103|0000103", "0000104|0000104", "0000105|0000105"}));

    QCOMPARE(TRSForm::codesLeft(QStringLiteral("0000010"), QStringLiteral("0000019")), 10);
    QCOMPARE(TRSForm::codesLeft(QStringLiteral("0000000"), QStringLiteral("6")), 7);
    QCOMPARE(TRSForm::codesLeft(QStringLiteral("0000009"), QStringLiteral("0000008")), 0);
}

void SearchesTest::ricSearchCancelFinishesThePageInProgress() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "BR3").click();
    TRSForm& rs = *f.dialogs().ricSearch;
    rs.edSRIC()->setText(QStringLiteral("0000000"));
    rs.edERic()->setText(QStringLiteral("2097151")); // runs until Cancel
    QSignalSpy sent(&f, &TMainForm::pageSent);
    int sentAtCancel = -1;
    QTimer cancel;
    cancel.setSingleShot(true);
    connect(&cancel, &QTimer::timeout, [&] {
        sentAtCancel = static_cast<int>(sent.count());
        rs.btCancel()->click();
    });
    connect(&f, &TMainForm::pageSent, [&] {
        if (sent.count() == 2)
            cancel.start(1); // during the search's own wait after the second page
    });
    clickWhenShown(rs.btStart());
    rs.exec();
    QCOMPARE(sentAtCancel, 2);
    QCOMPARE(sent.count(), 2);
    QCOMPARE(rs.edCRic()->text(), QStringLiteral("0000002")); // the step was completed
    QVERIFY(!rs.SearchRunning);
}

void SearchesTest::fastSearchSendsFourTransmissionsFrom1000To2000() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "BR3").click();
    TFastForm& fast = *f.dialogs().fastSearch;
    QSignalSpy sent(&f, &TMainForm::pageSent);
    QElapsedTimer clock;
    clock.start();
    clickWhenShown(fast.Button1());
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        if (!fast.searching() && sent.count() > 0)
            fast.reject();
    });
    closer.start(200);
    fast.exec();
    QCOMPARE(fast.transmissions(), 4);
    QCOMPARE(sent.count(), 4);
    QCOMPARE(fast.edStart()->text(), QStringLiteral("2024"));
    QVERIFY(fast.Info()->text().startsWith(QStringLiteral("Started with RIC 1000 at ")));
    QVERIFY(fast.Info()->text().endsWith(QStringLiteral(" Sending 3764.7 RICs per minute")));
    QVERIFY2(fast.Progress()->text().startsWith(QStringLiteral("Codes reached: 1024")),
             qPrintable(fast.Progress()->text()));
    QCOMPARE(f.station().status().last->durationMs, 3888u); // (416 us x 32 x 292) div 1000 + 1
    QVERIFY(fast.Memo1()->toPlainText().isEmpty());         // the dialog's close step
}

void SearchesTest::fastSearchStartsAtTheMultipleOfEightBelow() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "BR3").click();
    TFastForm& fast = *f.dialogs().fastSearch;
    fast.edStart()->setText(QStringLiteral("1003"));
    fast.edStop()->setText(QStringLiteral("1004"));
    fast.show();
    fast.Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(!fast.searching(), 20000);
    QCOMPARE(fast.transmissions(), 1);
    QCOMPARE(fast.edStart()->text(), QStringLiteral("1259"));
    const QStringList lines = fast.Memo1()->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 17);
    QVERIFY(lines[0].startsWith(QStringLiteral("000FA8B9 000FCD5E 000FA8B9")));
    QVERIFY(lines[0].endsWith(QStringLiteral("7CD215D8")));
    // Stop equal to start: no transmission, but the start line is shown.
    fast.edStart()->setText(QStringLiteral("1000"));
    fast.edStop()->setText(QStringLiteral("1000"));
    fast.Info()->clear();
    fast.Button1Click();
    QVERIFY(!fast.searching());
    QCOMPARE(fast.transmissions(), 0);
    QVERIFY(fast.Info()->text().startsWith(QStringLiteral("Started with RIC 1000")));
    fast.reject();
}

void SearchesTest::fastSearchStopDuringPlayback() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<PictureButton>(f, "BR1").click(); // 512 bit/s: 18 s per transmission unless stopped
    control<QCheckBox>(f, "logpages").setChecked(true);
    TFastForm& fast = *f.dialogs().fastSearch;
    fast.show();
    // Stop in the settle before the key: that transmission is not sent at all.
    QTimer::singleShot(100, fast.Button2(), [&] { fast.Button2()->click(); });
    rig.trace.clear();
    fast.Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(!fast.searching(), 5000);
    QVERIFY(rig.trace.events().empty());
    fast.edStart()->setText(QStringLiteral("1000"));
    fast.edStop()->setText(QStringLiteral("2000"));

    // Stop on air: the search ends at once, and the block it cut short goes again next time.
    QTimer::singleShot(1500, fast.Button2(), [&] { fast.Button2()->click(); });
    QElapsedTimer clock;
    clock.start();
    fast.Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(!fast.searching(), 25000);
    const qint64 took = clock.elapsed();
    QVERIFY2(took < 1500 + 2000, qPrintable(QString::number(took)));
    QCOMPARE(fast.transmissions(), 0);
    QCOMPARE(fast.edStop()->text(), QStringLiteral("2000")); // kept for the next Start
    QCOMPARE(fast.edStart()->text(), QStringLiteral("1000"));
    QCOMPARE(rig.port->writes().back().value, uint8_t{0}); // released
    // The log line of a transmission Stop cut short says so after its usual form.
    QFile log(f.pageLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().endsWith(" - stopped\r\n"));
    fast.reject();
}

void SearchesTest::fastSearchStopLimitAndClose() {
    Rig rig;
    TFastForm& fast = *rig.form->dialogs().fastSearch;
    fast.edStop()->setText(QStringLiteral("2097152"));
    auto seen = std::make_shared<QString>();
    onNextModal([seen](QWidget* box) {
        *seen = boxText(box);
        pressOk(box);
    });
    fast.edStopExit();
    QCOMPARE(*seen, QStringLiteral("Maximum RIC/CAP Code value is 2097151 !"));
    QCOMPARE(fast.edStop()->text(), QStringLiteral("0"));
    fast.edStop()->setText(QStringLiteral("2097151"));
    fast.edStopExit(); // accepted without a message
    QCOMPARE(fast.edStop()->text(), QStringLiteral("2097151"));

    // Stop while no search runs leaves nothing behind to cut the next page short.
    fast.Button2()->click();
    QCOMPARE(fast.edStop()->text(), QStringLiteral("2097151"));
    control<QLineEdit>(*rig.form, "RicEdit").setText(QStringLiteral("1234"));
    control<MessageEdit>(*rig.form, "MsgEdit").setPlainText(QStringLiteral("whole"));
    QCOMPARE(rig.form->TxButtonClick(), SendResult::Sent);
    QVERIFY(!rig.form->station().status().last->stopped);
}

TARVEX_GUI_TEST_MAIN(SearchesTest)
#include "test_searches.moc"
