// SEND from end to end through the real window: keyed through the recording port, played
// into a WAV file, released, listed and logged; and the ways it refuses or fails.
#include "gui_test_support.h"

#include "app/message_edit.h"
#include "app/page_log.h"
#include "app/picture_button.h"
#include "encoder/page_encoder.h"
#include "signal/signal_gen.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>

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
    f.logpages->setChecked(true);
    f.RicEdit->setText(QStringLiteral("1234567"));
    f.MsgEdit->setPlainText(QStringLiteral("  Hello pager\t\n"));
    QSignalSpy sent(&f, &TMainForm::pageSent);
    QTest::mouseClick(f.TxButton, Qt::LeftButton);

    // The message was trimmed in the field itself.
    QCOMPARE(f.MsgEdit->toPlainText(), QStringLiteral("Hello pager"));
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
    const uint32_t duration = f.SignalGen().Duration();
    QVERIFY2(onAirMs >= duration + 99 && onAirMs < duration + 2500,
             qPrintable(QString::number(onAirMs)));

    // The image that was played is in the WAV file: header plus Duration x 96 samples.
    QCOMPARE(QFileInfo(rig.wavPath()).size(), qint64{44} + qint64{duration} * 96);
    QCOMPARE(rig.audio->lastImageBytes(), size_t(44 + duration * 96));
    QCOMPARE(f.SignalGen().Baud(), int16_t{1200});

    // The listing is the encoder's listing of this page.
    PageEncoder reference;
    PageParams page;
    page.ric = "1234567";
    page.message = "Hello pager";
    QString expected = QString::fromStdString(reference.BuildTransmission(page));
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QCOMPARE(f.DataOut->toPlainText(), expected);
    QVERIFY(expected.startsWith(QStringLiteral("AAAAAAAA")));

    // One log line: RIC - message - date - time, CR LF.
    const QStringList lines = logLines(f.pageLogPath());
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines[0].startsWith(QStringLiteral("1234567 - Hello pager - ")));
    QCOMPARE(lines[0].count(QStringLiteral(" - ")), 3);
    QVERIFY(f.TxButton->isEnabled());
    QVERIFY(f.statusLine().progressText().isEmpty());
}

void SendTest::logsOneLinePerPage() {
    Rig rig;
    TMainForm& f = *rig.form;
    QVERIFY(!QFile::exists(f.pageLogPath()));
    f.MsgEdit->setPlainText(QStringLiteral("not logged"));
    f.TxButtonClick(); // logging off: no file
    QVERIFY(!QFile::exists(f.pageLogPath()));
    f.logpages->setChecked(true);
    f.Options1->trigger();
    QTest::mouseClick(f.BR3, Qt::LeftButton);
    f.RicEdit->setText(QStringLiteral("8"));
    f.MsgEdit->setPlainText(QStringLiteral("first"));
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Sent);
    f.MsgEdit->setPlainText(QStringLiteral("second"));
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Sent);
    const QStringList lines = logLines(f.pageLogPath());
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("8 - first - ")));
    QVERIFY(lines[1].startsWith(QStringLiteral("8 - second - ")));
    QCOMPARE(f.SignalGen().Baud(), int16_t{2400});
}

void SendTest::logFailureIsReportedAfterThePageLeft() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.logpages->setChecked(true);
    f.DataFolder = rig.folder.filePath(QStringLiteral("missing/folder"));
    QString text;
    bool releasedBefore = false;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        releasedBefore = rig.trace.events().back().what == "release";
        QCOMPARE(qobject_cast<QMessageBox*>(w)->icon(), QMessageBox::NoIcon);
        pressOk(w);
    });
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Sent);
    QCOMPARE(text, QString::fromLatin1(PageLogFailureText));
    QVERIFY(text.contains(QStringLiteral("Read Only\r\nTry changing")));
    QVERIFY(releasedBefore);
    QVERIFY(f.statusLine().failureText().contains(QStringLiteral("Tarvex-LOG.txt")));
}

void SendTest::emptyRicIsRefusedWithoutKeying() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.logpages->setChecked(true);
    f.DataOut->setPlainText(QStringLiteral("previous listing"));
    f.RicEdit->clear();
    f.Options1->trigger();
    QTest::mouseClick(f.BR1, Qt::LeftButton);
    f.Volume->setValue(33);
    QTest::mouseClick(f.BR2, Qt::LeftButton);
    QString text;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        pressOk(w);
    });
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Failed);
    QCOMPARE(text, QStringLiteral("'' is not a valid integer value"));
    QCOMPARE(onAir(rig).size(), size_t{0}); // never keyed, nothing played
    QVERIFY(!QFile::exists(f.pageLogPath()));
    QCOMPARE(f.DataOut->toPlainText(), QStringLiteral("previous listing"));
    QCOMPARE(f.SignalGen().Level(), int16_t{20}); // the rate's level stays applied
}

void SendTest::encoderRefusalShowsItsMessage() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.RicEdit->setText(QStringLiteral("2097152")); // typed and sent without leaving the field
    QString text;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        pressOk(w);
    });
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Failed);
    QVERIFY(!text.isEmpty());
    QCOMPARE(onAir(rig).size(), size_t{0});
}

void SendTest::sendDuringIdentDoesNothing() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.logpages->setChecked(true);
    f.IdentInProgress = true;
    f.MsgEdit->setPlainText(QStringLiteral("  padded  "));
    QTest::mouseClick(f.TxButton, Qt::LeftButton);
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Skipped);
    QCOMPARE(onAir(rig).size(), size_t{0});
    QVERIFY(f.DataOut->toPlainText().isEmpty());
    QCOMPARE(f.MsgEdit->toPlainText(), QStringLiteral("  padded  ")); // not even trimmed
    QVERIFY(!QFile::exists(f.pageLogPath()));
}

void SendTest::pageAskedForDuringAPageIsSentAfterwards() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.logpages->setChecked(true);
    f.RicEdit->setText(QStringLiteral("100"));
    f.MsgEdit->setPlainText(QStringLiteral("one"));
    bool disabledMeanwhile = false;
    TMainForm::SendResult nested{};
    // While the first page is on air, a timer asks for a second one.
    QString progress;
    QTimer::singleShot(800, [&] {
        disabledMeanwhile = !f.TxButton->isEnabled();
        progress = f.statusLine().progressText();
        f.RicEdit->setText(QStringLiteral("200"));
        f.MsgEdit->setPlainText(QStringLiteral("two"));
        nested = f.TxButtonClick();
    });
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Sent);
    QVERIFY(disabledMeanwhile);
    QVERIFY2(progress.startsWith(QStringLiteral("On air ")), qPrintable(progress));
    QCOMPARE(nested, TMainForm::SendResult::Queued);
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
    f.DataOut->setPlainText(QStringLiteral("fast search listing"));
    PageEncoder& enc = f.encoder();
    enc.CodewordBuffer.fill(1, 40, PreambleCodeword);
    enc.LastSlot = 40;
    f.FastSearchActive = true;
    QCOMPARE(f.TxButtonClick(), TMainForm::SendResult::Sent);
    QCOMPARE(f.DataOut->toPlainText(), QStringLiteral("fast search listing"));
    QCOMPARE(enc.CodewordBuffer[41], EndMarker);
    // 40 codewords at 1200 bit/s: (833 x 32 x 40) div 1000 + 1 ms.
    QCOMPARE(f.SignalGen().Duration(), 1067u);
    QCOMPARE(onAir(rig).size(), size_t{3});
}

TARVEX_GUI_TEST_MAIN(SendTest)
#include "test_send.moc"
