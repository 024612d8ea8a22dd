// The Audio output dialog: backends and devices listed, the stored device found again by
// name, a device that is gone kept and flagged, and Done reporting only a real change.
#include "app/audio_form.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace tarvex;

class AudioFormTest : public QObject {
    Q_OBJECT
private slots:
    void storedDeviceFoundByName();
    void goneDeviceIsKeptAndFlagged();
    void doneReportsOnlyAChange();
};

namespace {

std::vector<std::string> devices(const std::string& backend) {
    if (backend == "alsa")
        return {"default", "plughw:1,0"};
    return {"Built-in Audio", "USB Audio CODEC"};
}

} // namespace

void AudioFormTest::storedDeviceFoundByName() {
    TAudioForm form(nullptr, devices);
    form.setChoice("qt", "USB Audio CODEC");
    QCOMPARE(form.backend(), std::string("qt"));
    QCOMPARE(form.device(), std::string("USB Audio CODEC"));
    // The list has the default first, then the devices the backend offers.
    QCOMPARE(form.cbDevice()->count(), 3);
    QCOMPARE(form.cbDevice()->itemText(0), QStringLiteral("(default output)"));
    if (form.cbBackend()->findData(QStringLiteral("alsa")) >= 0) {
        form.setChoice("alsa", "plughw:1,0");
        QCOMPARE(form.device(), std::string("plughw:1,0"));
    }
}

void AudioFormTest::goneDeviceIsKeptAndFlagged() {
    TAudioForm form(nullptr, devices);
    form.setChoice("qt", "Headset that was unplugged");
    QCOMPARE(form.device(), std::string("Headset that was unplugged"));
    QVERIFY(form.cbDevice()->currentText().contains(QStringLiteral("not found")));
    QVERIFY(!form.findChildren<QLabel*>().isEmpty());
}

void AudioFormTest::doneReportsOnlyAChange() {
    TAudioForm form(nullptr, devices);
    form.setChoice("qt", "");
    QSignalSpy spy(&form, &TAudioForm::choiceChanged);
    form.btDone()->click();
    QCOMPARE(spy.count(), 0);
    form.cbDevice()->setCurrentIndex(2);
    form.btDone()->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("USB Audio CODEC"));
}

QTEST_MAIN(AudioFormTest)
#include "test_audio_form.moc"
