// The Station Ident dialog and the ident through the real window: the callsign field, the
// interval driving the station's ident timer, the keyed play at 800 bit/s from slot 1001 at
// the ident's own level, the generator put back, and pages refused while it runs.
#include "gui_test_support.h"

#include "app/ident_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "app/program_entry.h"
#include "encoder/codeword.h"
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <QAction>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

using namespace tarvex;
using namespace tarvex::test;

namespace {

/// Wraps the rig's audio to see each play's mode and the device level it played at.
struct PlayLog {
    std::vector<PlayMode> modes;
    std::vector<uint16_t> levels;
};

class ModeRecordingAudio : public AudioOutput {
public:
    ModeRecordingAudio(std::shared_ptr<AudioOutput> inner, PlayLog& log)
        : m_inner(std::move(inner)), m_log(log) {}
    bool play(std::span<const uint8_t> image, PlayMode mode) override {
        m_log.modes.push_back(mode);
        m_log.levels.push_back(static_cast<uint16_t>(m_inner->deviceLevel() & 0xFFFF));
        return m_inner->play(image, mode);
    }
    void stop() override { m_inner->stop(); }
    bool playing() const override { return m_inner->playing(); }
    void setDeviceLevel(DeviceLevel level) override { m_inner->setDeviceLevel(level); }
    DeviceLevel deviceLevel() const override { return m_inner->deviceLevel(); }
    std::string lastError() const override { return m_inner->lastError(); }
    std::string name() const override { return m_inner->name(); }

private:
    std::shared_ptr<AudioOutput> m_inner;
    PlayLog& m_log;
};

std::vector<std::string> kinds(const Rig& rig) {
    std::vector<std::string> out;
    for (const auto& e : rig.trace.events())
        out.push_back(e.what);
    return out;
}

} // namespace

class IdentTest : public QObject {
    Q_OBJECT
private slots:
    void dialogControls();
    void callsignFieldFiltersAndTrims();
    void intervalDrivesTheTimer();
    void letterEIsNineCodewords();
    void defaultCallsignAndGeneratorRestored();
    void pageIsRefusedWhileTheIdentRuns();
    void timerExpirySendsAndRestartsTheInterval();
    void identDuringManualKeyUpReleasesAndKeepsTheMark();
    void charactersWithoutMorseAreSkipped();
    void identDuringAPageWaitsUntilThePageHasLeft();
};

void IdentTest::dialogControls() {
    Rig rig;
    TIdentForm& d = *rig.form->dialogs().ident;
    QCOMPARE(d.windowTitle(), QStringLiteral("Station Ident"));
    QCOMPARE(d.IdentFrequency()->minimum(), 0);
    QCOMPARE(d.IdentFrequency()->maximum(), 60);
    QCOMPARE(d.SetVolume()->value(), 10);
    d.SetVolume()->setValue(37); // the level is shown as a number too
    QCOMPARE(control<QLabel>(d, "SetVolumeText").text(), QStringLiteral("37"));
    QCOMPARE(d.btTest()->text(), QStringLiteral("&Test"));
    QCOMPARE(d.btDone()->text(), QStringLiteral("&Done"));
    bool opened = false;
    onNextModal([&](QWidget* w) {
        opened = w == &d;
        d.btDone()->click();
    });
    control<QAction>(*rig.form, "StationIdent1").trigger();
    QVERIFY(opened);
    QVERIFY(!d.isVisible());
}

void IdentTest::callsignFieldFiltersAndTrims() {
    Rig rig;
    TIdentForm& d = *rig.form->dialogs().ident;
    QLineEdit* field = d.edIdent();
    field->clear();
    d.show();
    field->setFocus();
    typeInto(field, QStringLiteral("g4/ x-y0")); // a portable callsign keeps its '/'
    QCOMPARE(field->text(), QStringLiteral("G4/XY0"));
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QStringLiteral("G4/XY"));
    typeInto(field, QStringLiteral("abcdefghij"));
    QCOMPARE(field->text(), QStringLiteral("G4/XYABCDE")); // ten characters at most
    const size_t writes = rig.port->writes().size();
    QTest::keyClick(field, Qt::Key_Return); // presses no button: nothing is keyed
    QCOMPARE(rig.port->writes().size(), writes);
    QVERIFY(d.isVisible());

    // A stored text may carry spaces; leaving the field trims them.
    field->setText(QStringLiteral("  m0abc "));
    QCOMPARE(field->text(), QStringLiteral("  M0ABC "));
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(field, &leave);
    QCOMPARE(field->text(), QStringLiteral("M0ABC"));
    d.hide();
}

void IdentTest::intervalDrivesTheTimer() {
    Rig rig;
    TIdentForm& d = *rig.form->dialogs().ident;
    Station& station = rig.form->station();
    QVERIFY(!station.status().identTimer);
    d.IdentFrequency()->setValue(5);
    QCOMPARE(station.identSettings().minutes, 5);
    QVERIFY(station.status().identTimer);
    d.IdentFrequency()->setValue(0);
    QVERIFY(!station.status().identTimer);
    // With no interval and no test request, an expiry sends nothing.
    d.IdentTimer();
    QCOMPARE(rig.trace.events().size(), size_t{1}); // the start-up release only
}

void IdentTest::letterEIsNineCodewords() {
    Rig rig;
    TMainForm& f = *rig.form;
    TIdentForm& d = *f.dialogs().ident;
    d.edIdent()->setText(QStringLiteral("E"));
    rig.trace.clear();
    d.btTest()->click();

    QCOMPARE(kinds(rig), (std::vector<std::string>{"key", "play", "release"}));
    QCOMPARE(f.station().signal().durationMs, 361u);
    const SlotBuffer b = f.station().lastCodewords();
    const std::vector<Codeword> expected{0xAAAAAAAA, 0xAAAAAAAA, 0,         0,        0, 0, 0, 0,
                                         0,          EndMarker,  EndMarker, EndMarker};
    for (size_t i = 0; i < expected.size(); ++i)
        QCOMPARE(b[SlotBuffer::IdentFirstSlot + static_cast<int>(i)], expected[i]);
    QCOMPARE(rig.audio->lastImageBytes(), size_t{44 + 361 * 96}); // 96 samples a millisecond
    QVERIFY(!f.station().status().identTimer); // interval 0: the test sent it once
    rig.trace.clear();
    d.IdentTimer(); // the test request is used up: an expiry sends nothing
    QVERIFY(rig.trace.events().empty());
}

void IdentTest::defaultCallsignAndGeneratorRestored() {
    QTemporaryDir folder;
    PlayLog log;
    Trace trace;
    auto port = std::make_shared<TracingPort>(trace);
    std::string error;
    auto wav = std::shared_ptr<AudioOutput>(
        makeCoreAudioOutput("wav:" + folder.filePath("i.wav").toStdString(), &error));
    MainFormSetup setup;
    setup.programFolder = folder.path();
    setup.audio = std::make_shared<ModeRecordingAudio>(wav, log);
    setup.port = port;
    setup.settingsFile = folder.filePath(QStringLiteral("Tarvex.ini"));
    TMainForm f(std::move(setup));
    createDialogs(f);
    f.FormActivate();
    TIdentForm& d = *f.dialogs().ident;
    control<PictureButton>(f, "BR1").click();
    control<QSlider>(f, "Volume").setValue(33);
    d.SetVolume()->setValue(60);
    d.btTest()->click();

    QCOMPARE(f.station().signal().durationMs, 5241u); // GXZYX: 131 codewords
    // Played like a page, so the window stays live while it plays.
    QCOMPARE(log.modes, std::vector<PlayMode>{PlayMode::Async});
    QCOMPARE(log.levels, std::vector<uint16_t>{static_cast<uint16_t>(60 * 65535 / 100)});
    QCOMPARE(f.station().signal().level, 33);
    QCOMPARE(f.station().signal().baud, 512);
    QVERIFY(f.station().signal().async);
    QVERIFY(!f.IdentInProgress());
    QCOMPARE(port->writes().back(), (RecordingPortWriter::Write{0x378, 0x00}));
    f.close();
}

void IdentTest::pageIsRefusedWhileTheIdentRuns() {
    Rig rig;
    TMainForm& f = *rig.form;
    TIdentForm& d = *f.dialogs().ident;
    d.edIdent()->setText(QStringLiteral("T"));
    std::optional<SendResult> during;
    bool flagDuring = false;
    // Fires inside the key delay of the ident, as the auto-send poll or SEND would.
    QTimer::singleShot(50, &f, [&] {
        flagDuring = f.IdentInProgress();
        during = f.TxButtonClick();
    });
    rig.trace.clear();
    d.btTest()->click();
    QVERIFY(during.has_value());
    QVERIFY(flagDuring);
    QCOMPARE(*during, SendResult::Skipped);
    QCOMPARE(kinds(rig), (std::vector<std::string>{"key", "play", "release"}));
    QVERIFY(!f.IdentInProgress());
    // After it, pages go again.
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
}

void IdentTest::timerExpirySendsAndRestartsTheInterval() {
    Rig rig;
    TMainForm& f = *rig.form;
    TIdentForm& d = *f.dialogs().ident;
    d.edIdent()->setText(QStringLiteral("E"));
    d.IdentFrequency()->setValue(1);
    QVERIFY(f.station().status().identTimer);
    bool activeDuring = true;
    QTimer::singleShot(100, &f, [&] { activeDuring = f.station().status().identTimer; });
    rig.trace.clear();
    d.IdentTimer(); // the expiry (a minute is too long for a test)
    QCOMPARE(kinds(rig), (std::vector<std::string>{"key", "play", "release"}));
    QVERIFY(!activeDuring);                   // the timer is off while the ident is keyed
    QVERIFY(f.station().status().identTimer); // and runs a new interval after it
    d.IdentFrequency()->setValue(0);
}

void IdentTest::identDuringManualKeyUpReleasesAndKeepsTheMark() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QAction>(f, "KeyTx1").trigger();
    QVERIFY(control<QAction>(f, "KeyTx1").isChecked());
    QCOMPARE(rig.port->writes().back().value, uint8_t{0x01});
    f.dialogs().ident->edIdent()->setText(QStringLiteral("E"));
    f.dialogs().ident->btTest()->click();
    QCOMPARE(rig.port->writes().back().value, uint8_t{0x00});
    QVERIFY(control<QAction>(f, "KeyTx1").isChecked());
    control<QAction>(f, "KeyTx1").trigger();
    QVERIFY(!control<QAction>(f, "KeyTx1").isChecked());
    QCOMPARE(rig.port->writes().back().value, uint8_t{0x00});
}

void IdentTest::charactersWithoutMorseAreSkipped() {
    Rig rig;
    TMainForm& f = *rig.form;
    // Only a stored setting can hold these; the sendable characters still go.
    f.dialogs().ident->edIdent()->setText(QStringLiteral("E-?"));
    f.dialogs().ident->btTest()->click();
    QCOMPARE(f.station().signal().durationMs, 361u);
    // '/' is sent as -..-. : E (9 codewords) and the bar (23 + 6), 40 ms each, plus 1 ms.
    f.dialogs().ident->edIdent()->setText(QStringLiteral("E/"));
    f.dialogs().ident->btTest()->click();
    QCOMPARE(f.station().signal().durationMs, 1521u);
    // Nothing sendable: nothing is keyed.
    f.dialogs().ident->edIdent()->setText(QStringLiteral("-"));
    rig.trace.clear();
    f.dialogs().ident->btTest()->click();
    QVERIFY(rig.trace.events().empty());
}

void IdentTest::identDuringAPageWaitsUntilThePageHasLeft() {
    Rig rig;
    TMainForm& f = *rig.form;
    TIdentForm& d = *f.dialogs().ident;
    d.edIdent()->setText(QStringLiteral("E"));
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("8"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("on air"));
    // The test button (or the timer) fires while the page is keyed and playing.
    QTimer::singleShot(400, &f, [&] { d.btTestClick(); });
    rig.trace.clear();
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    QCOMPARE(rig.trace.events().size(), size_t{3}); // the page alone, not cut short
    QTRY_COMPARE_WITH_TIMEOUT(rig.trace.events().size(), size_t{6}, 5000);
    const auto& e = rig.trace.events();
    const std::vector<std::string> order{e[3].what, e[4].what, e[5].what};
    QCOMPARE(order, (std::vector<std::string>{"key", "play", "release"}));
    QCOMPARE(f.station().signal().durationMs, 361u); // the ident was the last sound
}

TARVEX_GUI_TEST_MAIN(IdentTest)
#include "test_ident.moc"
