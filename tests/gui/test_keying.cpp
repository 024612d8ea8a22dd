// Keying from the window: the key bytes of the Keying dialog's pin and polarity, the manual
// key-up and its check mark, and the tune-up's stream, length and framing.
#include "gui_test_support.h"

#include "app/keying_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "encoder/codeword.h"
#include "signal/signal_gen.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

using namespace tarvex;
using namespace tarvex::test;

namespace {

uint8_t lastByte(const Rig& rig) {
    return rig.port->writes().back().value;
}

} // namespace

class KeyingTest : public QObject {
    Q_OBJECT
private slots:
    void keyBytesFollowPinAndPolarity();
    void manualKeyUpTogglesWithItsMark();
    void sendClearsTheMarkWithoutAPortWrite();
    void tuneUpSendsItsStreamAndReleases();
    void tuneUpDuringManualKeyUpKeepsTheMark();
};

void KeyingTest::keyBytesFollowPinAndPolarity() {
    Rig rig;
    TMainForm& f = *rig.form;
    TKeyingForm& k = *f.dialogs().keying;
    k.Pin()->button(3)->click(); // D3 (pin5)
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(lastByte(rig), uint8_t{0x08});
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(lastByte(rig), uint8_t{0x00});

    // Ticking Inverted Keying releases at once in the new polarity.
    const size_t before = rig.port->writes().size();
    k.InvKey()->click();
    QCOMPARE(rig.port->writes().size(), before + 1);
    QCOMPARE(lastByte(rig), uint8_t{0x08});
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(lastByte(rig), uint8_t{0x00}); // keyed, active low
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(lastByte(rig), uint8_t{0x08});

    // LPT2 and AllowKeying off: the port is written all the same.
    k.Port()->setCurrentIndex(1);
    k.InvKey()->click();
    QVERIFY(!k.AllowKeying()->isChecked());
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(rig.port->writes().back(), (RecordingPortWriter::Write{0x278, 0x08}));
    control<QAction>(f, "KeyTx1").trigger();
}

void KeyingTest::manualKeyUpTogglesWithItsMark() {
    Rig rig;
    TMainForm& f = *rig.form;
    QVERIFY(control<QAction>(f, "KeyTx1").isCheckable());
    QVERIFY(!control<QAction>(f, "KeyTx1").isChecked());
    control<QAction>(f, "KeyTx1").trigger();
    QVERIFY(control<QAction>(f, "KeyTx1").isChecked());
    QCOMPARE(lastByte(rig), uint8_t{0x01});
    control<QAction>(f, "KeyTx1").trigger();
    QVERIFY(!control<QAction>(f, "KeyTx1").isChecked());
    QCOMPARE(lastByte(rig), uint8_t{0x00});
}

void KeyingTest::sendClearsTheMarkWithoutAPortWrite() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QAction>(f, "KeyTx1").trigger();
    rig.trace.clear();
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("8"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("A"));
    bool markDuring = true;
    QTimer::singleShot(20, &f, [&] { markDuring = control<QAction>(f, "KeyTx1").isChecked(); });
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    QVERIFY(!markDuring); // cleared before the page went on air
    QVERIFY(!control<QAction>(f, "KeyTx1").isChecked());
    // Only the page's own key and release reached the port.
    std::vector<std::string> kinds;
    for (const auto& e : rig.trace.events())
        kinds.push_back(e.what);
    QCOMPARE(kinds, (std::vector<std::string>{"key", "play", "release"}));
}

void KeyingTest::tuneUpSendsItsStreamAndReleases() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QSpinBox>(f, "TuneTime").setValue(3);
    QCOMPARE(f.station().signal().durationMs, 3000u); // the change action, before any Send
    control<PictureButton>(f, "BR2").click();
    control<QSlider>(f, "Volume").setValue(42);
    rig.trace.clear();
    QTest::mouseClick(&control<PictureButton>(f, "btPa"), Qt::LeftButton);

    const auto& events = rig.trace.events();
    QCOMPARE(events.size(), size_t{3});
    QCOMPARE(events[0].what, std::string("key"));
    QCOMPARE(events[1].what, std::string("play"));
    QCOMPARE(events[2].what, std::string("release"));
    QVERIFY(events[1].atMs - events[0].atMs >= 199); // the key delay
    QVERIFY(events[2].atMs - events[1].atMs >= 3039 + 99);
    // 3 seconds at 1200 bit/s: 114 codewords of the alternating pattern from slot 1.
    const SlotBuffer b = f.station().lastCodewords();
    QCOMPARE(b[1], PreambleCodeword);
    QCOMPARE(b[114], PreambleCodeword);
    QCOMPARE(b[115], EndMarker);
    QCOMPARE(f.station().signal().durationMs, 3039u);
    QCOMPARE(f.station().signal().level, 42);
    QCOMPARE(f.station().signal().baud, 1200);
    QCOMPARE(rig.audio->lastImageBytes(), size_t{44 + 3039 * 96}); // 96 samples a millisecond
}

void KeyingTest::tuneUpDuringManualKeyUpKeepsTheMark() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QSpinBox>(f, "TuneTime").setValue(1);
    control<PictureButton>(f, "BR3").click();
    control<QAction>(f, "KeyTx1").trigger();
    QTest::mouseClick(&control<PictureButton>(f, "btPa"), Qt::LeftButton);
    QCOMPARE(f.station().lastCodewords()[76], EndMarker); // 75 codewords at 2400 bit/s
    QCOMPARE(lastByte(rig), uint8_t{0x00});               // released at its end
    QVERIFY(control<QAction>(f, "KeyTx1").isChecked());
    const size_t before = rig.port->writes().size();
    control<QAction>(f, "KeyTx1").trigger();
    QVERIFY(!control<QAction>(f, "KeyTx1").isChecked());
    QCOMPARE(rig.port->writes().size(), before + 1);
    QCOMPARE(lastByte(rig), uint8_t{0x00});
}

TARVEX_GUI_TEST_MAIN(KeyingTest)
#include "test_keying.moc"
