// SEND from end to end through the real window: keyed through the recording port, played
// into a WAV file, released, listed and logged; and the ways it refuses or fails.
#include "gui_test_support.h"

#include "app/ident_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "encoder/page_encoder.h"
#include "signal/signal_gen.h"
#include "station/page_log.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include <optional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QStringList logLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

// Events of the trace after the start-up release.
std::vector<TraceEvent> onAir(const Rig& rig) {
    auto events = rig.trace.events();
    events.erase(events.begin()); // the release written by the start-up sequence
    return events;
}

} // namespace

class SendTest : public QObject {
    Q_OBJECT
private slots:
    void sendsKeysPlaysReleasesAndLogs();
    void logsOneLinePerPage();
    void logFailureIsReportedAfterThePageLeft();
    void emptyRicIsRefusedWithoutKeying();
    void encoderRefusalShowsItsMessage();
    void sendDuringIdentDoesNothing();
    void pageAskedForDuringAPageIsSentAfterwards();
    void fastSearchBufferIsSentUnchanged();
};

void SendTest::sendsKeysPlaysReleasesAndLogs() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QCheckBox>(f, "logpages").setChecked(true);
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("1234567"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("  Hello pager\t\n"));
    QSignalSpy sent(&f, &TMainForm::pageSent);
    QTest::mouseClick(&control<PictureButton>(f, "TxButton"), Qt::LeftButton);

    // The message was trimmed in the field itself.
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("Hello pager"));
    QCOMPARE(sent.count(), 1);

    // Key (pin D0 on LPT1), play after the key delay, release after Duration + 100 ms.
    const auto events = onAir(rig);
    QCOMPARE(events.size(), size_t{3});
    QCOMPARE(events[0].what, std::string("key"));
    QCOMPARE(events[0].value, uint8_t{0x01});
    QCOMPARE(events[1].what, std::string("play"));
    QCOMPARE(events[2].what, std::string("release"));
    QCOMPARE(rig.port->writes().back(), (RecordingPortWriter::Write{0x378, 0x00}));
    const double keyDelay = events[1].atMs - events[0].atMs;
    const double onAirMs = events[2].atMs - events[1].atMs;
    // Never early (waits count whole milliseconds of the tick, so allow part of one); the
    // upper bounds only catch waits that went badly wrong on a busy machine.
    QVERIFY2(keyDelay >= 199 && keyDelay < 1500, qPrintable(QString::number(keyDelay)));
    const uint32_t duration = f.station().signal().durationMs;
    QVERIFY2(onAirMs >= duration + 99 && onAirMs < duration + 2500,
             qPrintable(QString::number(onAirMs)));

    // The image that was played is in the WAV file: header plus Duration x 96 samples.
    QCOMPARE(QFileInfo(rig.wavPath()).size(), qint64{44} + qint64{duration} * 96);
    QCOMPARE(rig.audio->lastImageBytes(), size_t(44 + duration * 96));
    QCOMPARE(f.station().signal().baud, 1200);

    // The listing is the encoder's listing of this page.
    PageEncoder reference;
    PageParams page;
    page.ric = "1234567";
    page.message = "Hello pager";
    QString expected = QString::fromStdString(reference.BuildTransmission(page));
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QCOMPARE(control<QPlainTextEdit>(f, "DataOut").toPlainText(), expected);
    QVERIFY(expected.startsWith(QStringLiteral("AAAAAAAA")));

    // One log line: RIC - message - date - time, CR LF.
    const QStringList lines = logLines(f.pageLogPath());
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines[0].startsWith(QStringLiteral("1234567 - Hello pager - ")));
    QCOMPARE(lines[0].count(QStringLiteral(" - ")), 3);
    QVERIFY(control<PictureButton>(f, "TxButton").isEnabled());
    QVERIFY(f.statusLine().progressText().isEmpty());
}

void SendTest::logsOneLinePerPage() {
    Rig rig;
    TMainForm& f = *rig.form;
    QVERIFY(!QFile::exists(f.pageLogPath()));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("not logged"));
    f.TxButtonClick(); // logging off: no file
    QVERIFY(!QFile::exists(f.pageLogPath()));
    control<QCheckBox>(f, "logpages").setChecked(true);
    control<QAction>(f, "Options1").trigger();
    QTest::mouseClick(&control<PictureButton>(f, "BR3"), Qt::LeftButton);
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("8"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("first"));
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("second"));
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    const QStringList lines = logLines(f.pageLogPath());
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("8 - first - ")));
    QVERIFY(lines[1].startsWith(QStringLiteral("8 - second - ")));
    QCOMPARE(f.station().signal().baud, 2400);
}

void SendTest::logFailureIsReportedAfterThePageLeft() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QCheckBox>(f, "logpages").setChecked(true);
    setDataFolder(f, rig.folder.filePath(QStringLiteral("missing/folder")));
    QString text;
    bool releasedBefore = false;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        releasedBefore = rig.trace.events().back().what == "release";
        QCOMPARE(qobject_cast<QMessageBox*>(w)->icon(), QMessageBox::NoIcon);
        pressOk(w);
    });
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    QCOMPARE(text, QString::fromLatin1(PageLogFailureText));
    QVERIFY(text.contains(QStringLiteral("Read Only\r\nTry changing")));
    QVERIFY(releasedBefore);
    QVERIFY(f.statusLine().failureText().contains(QStringLiteral("Tarvex-LOG.txt")));
}

void SendTest::emptyRicIsRefusedWithoutKeying() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QCheckBox>(f, "logpages").setChecked(true);
    control<QPlainTextEdit>(f, "DataOut").setPlainText(QStringLiteral("previous listing"));
    control<QLineEdit>(f, "RicEdit").clear();
    control<QAction>(f, "Options1").trigger();
    QTest::mouseClick(&control<PictureButton>(f, "BR1"), Qt::LeftButton);
    control<QSlider>(f, "Volume").setValue(33);
    QTest::mouseClick(&control<PictureButton>(f, "BR2"), Qt::LeftButton);
    QString text;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        pressOk(w);
    });
    QCOMPARE(f.TxButtonClick(), SendResult::Failed);
    QCOMPARE(text,
             QStringLiteral("Type the pager's RIC/CAP code (a number from 0 to 2097151) first."));
    QCOMPARE(onAir(rig).size(), size_t{0}); // never keyed, nothing played
    QVERIFY(!QFile::exists(f.pageLogPath()));
    QCOMPARE(control<QPlainTextEdit>(f, "DataOut").toPlainText(),
             QStringLiteral("previous listing"));
    QCOMPARE(f.station().signal().level, 20); // the rate's level stays applied
}

void SendTest::encoderRefusalShowsItsMessage() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QLineEdit>(f, "RicEdit")
        .setText(QStringLiteral("2097152")); // typed and sent without leaving the field
    QString text;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        pressOk(w);
    });
    QCOMPARE(f.TxButtonClick(), SendResult::Failed);
    QVERIFY(!text.isEmpty());
    QCOMPARE(onAir(rig).size(), size_t{0});
}

void SendTest::sendDuringIdentDoesNothing() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QCheckBox>(f, "logpages").setChecked(true);
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("  padded  "));
    f.dialogs().ident->edIdent()->setText(QStringLiteral("T"));
    std::optional<SendResult> during;
    // SEND pressed while the ident is keyed.
    QTimer::singleShot(50, &f, [&] {
        QVERIFY(f.IdentInProgress());
        QTest::mouseClick(&control<PictureButton>(f, "TxButton"), Qt::LeftButton);
        during = f.TxButtonClick();
    });
    rig.trace.clear();
    QVERIFY(f.sendIdent(true));
    QVERIFY(during == SendResult::Skipped);
    QCOMPARE(rig.trace.events().size(), size_t{3}); // the ident's key, play, release only
    QVERIFY(control<QPlainTextEdit>(f, "DataOut").toPlainText().isEmpty());
    // not even trimmed
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("  padded  "));
    QVERIFY(!QFile::exists(f.pageLogPath()));
}

void SendTest::pageAskedForDuringAPageIsSentAfterwards() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QCheckBox>(f, "logpages").setChecked(true);
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("100"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("one"));
    bool disabledMeanwhile = false;
    SendResult nested{};
    // While the first page is on air, a timer asks for a second one.
    QString progress;
    QTimer::singleShot(800, [&] {
        disabledMeanwhile = !control<PictureButton>(f, "TxButton").isEnabled();
        progress = f.statusLine().progressText();
        control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("200"));
        control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("two"));
        nested = f.TxButtonClick();
    });
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    QVERIFY(disabledMeanwhile);
    QVERIFY2(progress.startsWith(QStringLiteral("On air ")), qPrintable(progress));
    QCOMPARE(nested, SendResult::Queued);
    const QStringList lines = logLines(f.pageLogPath());
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("100 - one - ")));
    QVERIFY(lines[1].startsWith(QStringLiteral("200 - two - ")));
    // Two complete frames, one after the other: never keyed twice without a release.
    std::vector<std::string> order;
    for (const auto& e : onAir(rig))
        order.push_back(e.what);
    QCOMPARE(order, (std::vector<std::string>{"key", "play", "release", "key", "play", "release"}));
}

void SendTest::fastSearchBufferIsSentUnchanged() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QPlainTextEdit>(f, "DataOut").setPlainText(QStringLiteral("fast search listing"));
    SearchJob job;
    job.fast = true;
    job.from = 1000;
    job.to = 1001; // one block
    job.block = f.fastSearchJob(1000);
    QVERIFY(f.station().startSearch(std::move(job)));
    QTRY_VERIFY_WITH_TIMEOUT(!f.station().status().search && !f.station().busy(), 30000);
    // The window's listing stays; the search's buffer went out as built, end marker after it.
    QCOMPARE(control<QPlainTextEdit>(f, "DataOut").toPlainText(),
             QStringLiteral("fast search listing"));
    const EncodingState enc = f.station().encoding();
    QVERIFY(enc.lastSlot > 0);
    QCOMPARE(f.station().lastCodewords()[enc.lastSlot + 1], EndMarker);
    // At 1200 bit/s: (833 x 32 x codewords) div 1000 + 1 ms.
    QCOMPARE(f.station().signal().durationMs, uint32_t(833 * 32 * enc.lastSlot / 1000 + 1));
    QCOMPARE(onAir(rig).size(), size_t{3});
}

TARVEX_GUI_TEST_MAIN(SendTest)
#include "test_send.moc"
