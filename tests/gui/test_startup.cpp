// The start-up sequence through the real window: its steps in order, the settings it acts
// on, a stored sync or idle text that is not hexadecimal, and the refused platform.
#include "gui_test_support.h"

#include "app/auto_form.h"
#include "app/ident_form.h"
#include "app/picture_button.h"
#include "app/sync_idle_form.h"
#include "encoder/codeword.h"
#include "signal/signal_gen.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

using namespace tarvex;
using namespace tarvex::test;

namespace {

void writeStore(const QString& file, const QList<QPair<QString, QString>>& values) {
    QSettings store(file, QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Tarvex"));
    for (const auto& [name, value] : values)
        store.setValue(name, value);
    store.sync();
}

RigOptions withStore(const QString& file, std::optional<int> platformCode = std::nullopt) {
    RigOptions options;
    options.settingsFile = file;
    options.platformCode = platformCode;
    return options;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartEndsIdleAndReleased();
    void storedSettingsReachTimersAndGenerator();
    void inversionLoadedReleasesTwiceInTheNewPolarity();
    void nonHexSyncFallsBackAndCarriesOn();
    void refusedPlatformWarnsRunsTheRestAndCloses();
};

void StartupTest::firstStartEndsIdleAndReleased() {
    Rig rig;
    TMainForm& f = *rig.form;
    QVERIFY(f.started());
    QVERIFY(!f.optionsShown());
    QCOMPARE(control<QAction>(f, "Options1").text(), QStringLiteral("Show &Options"));
    QCOMPARE(f.focusWidget(), static_cast<QWidget*>(&control<QLineEdit>(f, "RicEdit")));
    QCOMPARE(f.PlatformCode, 2);
    QVERIFY(!f.autoSend().status().timer);
    QVERIFY(!f.station().status().identTimer); // on, but without a period
    QVERIFY(f.dialogs().ident->timerEnabled());
    QVERIFY(f.station().signal().async);
    // Loading the tune time set Duration to 5000 ms; the sequence then sets 1000 ms.
    QCOMPARE(f.station().signal().durationMs, 1000u);
    QCOMPARE(f.station().encoding().sync, StockSyncCodeword);
    QCOMPARE(f.dialogs().syncIdle->edSync()->text(), QStringLiteral("7CD215D8"));
    QCOMPARE(f.dialogs().syncIdle->edIdle()->text(), QStringLiteral("7A89C197"));
    // The only port write is the final release.
    QCOMPARE(rig.port->writes().size(), size_t{1});
    QCOMPARE(rig.port->writes().back(), (RecordingPortWriter::Write{0x378, 0x00}));
}

void StartupTest::storedSettingsReachTimersAndGenerator() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, {{"Baud1", "1"},
                      {"Baud2", "0"},
                      {"Vol1", "25"},
                      {"AutoSend", "1"},
                      {"CheckRate", "7"},
                      {"Frequency", "3"},
                      {"Idle", "0000abcd"},
                      {"A-N2", "1"}});
    Rig rig(withStore(file));
    TMainForm& f = *rig.form;
    QVERIFY(control<PictureButton>(f, "BR1").isChecked());
    QCOMPARE(control<QSlider>(f, "Volume").value(), 25);
    QCOMPARE(f.station().signal().baud, 512);
    QCOMPARE(f.station().signal().level, 25);
    QVERIFY(f.autoSend().status().timer);
    QCOMPARE(f.autoSend().settings().checkRateSeconds, 7);
    QVERIFY(f.station().status().identTimer);
    QCOMPARE(f.station().identSettings().minutes, 3);
    QCOMPARE(f.station().encoding().idle, 0x0000ABCDu);
    QCOMPARE(f.dialogs().syncIdle->edIdle()->text(), QStringLiteral("0000abcd"));
}

void StartupTest::inversionLoadedReleasesTwiceInTheNewPolarity() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    // Pin and Port come before InvKey, so the release while loading already uses them.
    writeStore(file, {{"Port", "1"}, {"Pin", "3"}, {"InvKey", "1"}});
    Rig rig(withStore(file));
    const auto& writes = rig.port->writes();
    QCOMPARE(writes.size(), size_t{2});
    QCOMPARE(writes[0], (RecordingPortWriter::Write{0x278, 0x08}));
    QCOMPARE(writes[1], (RecordingPortWriter::Write{0x278, 0x08}));
}

void StartupTest::nonHexSyncFallsBackAndCarriesOn() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, {{"Sync", "XYZ"}, {"Idle", "12345678"}, {"Frequency", "2"}});
    {
        Rig rig(withStore(file));
        TMainForm& f = *rig.form;
        QCOMPARE(f.station().encoding().syncText, std::string("7CD215D8"));
        QCOMPARE(f.station().encoding().sync, StockSyncCodeword);
        QCOMPARE(f.station().encoding().idle, 0x12345678u); // the good one is kept
        QCOMPARE(f.dialogs().syncIdle->edSync()->text(), QStringLiteral("7CD215D8"));
        QVERIFY(f.statusLine().currentMessage().contains(QStringLiteral("Sync \"XYZ\"")));
        // The remaining steps ran.
        QVERIFY(f.station().status().identTimer);
        QCOMPARE(f.station().signal().durationMs, 1000u);
        QCOMPARE(rig.port->writes().size(), size_t{1});
    }
    QSettings store(file, QSettings::IniFormat);
    QCOMPARE(store.value(QStringLiteral("Tarvex/Sync")).toString(), QStringLiteral("7CD215D8"));
}

void StartupTest::refusedPlatformWarnsRunsTheRestAndCloses() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    QString seen;
    onNextModal([&](QWidget* w) {
        seen = boxText(w);
        pressOk(w);
    });
    Rig rig(withStore(file, -1));
    TMainForm& f = *rig.form;
    QCOMPARE(seen, QStringLiteral("Tarvex can only be run on a 32bit OS, Win9x/ME/NT/2000/XP\r\n"
                                  "Tarvex will now close."));
    QCOMPARE(f.PlatformCode, -1);
    QCOMPARE(f.station().signal().durationMs, 1000u);
    QVERIFY(!rig.port->writes().empty());
    QTRY_VERIFY_WITH_TIMEOUT(!f.isVisible(), 2000);
    QVERIFY(QFile::exists(file)); // the close saved the settings
    // The start-up release, then the close's: nothing else reached the port.
    QCOMPARE(rig.port->writes().size(), size_t{2});
    for (const auto& w : rig.port->writes())
        QCOMPARE(w.value, uint8_t{0});
}

TARVEX_GUI_TEST_MAIN(StartupTest)
#include "test_startup.moc"
