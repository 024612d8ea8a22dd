// The main window with a keying port that is missing or is no port, and with a settings
// store whose every value is damaged or whose file is random bytes: the page still goes
// out, the reason is in the status line, damaged values give defaults and clamps, and the
// close saves a sound store without a word.
#include "fault_support.h"
#include "window_fault_support.h"

#include "app/auto_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/picture_button.h"
#include "app/program_entry.h"
#include "signal/signal_gen.h"
#include "station/settings_values.h"
#include "txcontrol/system_port.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <random>

using namespace tarvex;
using namespace tarvex::test;
using namespace tarvex::test::faults;

class StorePortFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void missingOrFakePortStillPlaysAndSaysWhy();
    void everySettingDamagedGivesDefaultsAndClamps();
    void settingsFileOfRandomBytesOpensTheWindow();
};

void StorePortFaultsTest::missingOrFakePortStillPlaysAndSaysWhy() {
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("parport0"));
    for (const bool fake : {false, true}) {
        if (fake)
            putFile(plain, "not a port\n");
        Trace trace;
        auto port = std::make_shared<SystemPort>();
        port->PlatformCode = SystemPort::Driver;
        port->setDeviceFolder(dir.path().toStdString() + "/");
        std::string error;
        auto audio = std::make_shared<TracingAudio>(
            trace, makeCoreAudioOutput(
                       "wav:" + dir.filePath(QStringLiteral("page.wav")).toStdString(), &error));
        MainFormSetup setup;
        setup.programFolder = dir.path();
        setup.audio = audio;
        setup.port = port;
        setup.portName = QStringLiteral("LPT1");
        setup.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
        setup.platformCode = 2;
        TMainForm form(std::move(setup));
        createDialogs(form);
        form.FormActivate();
        form.dialogs().keying->Port()->setCurrentIndex(0);
        control<QCheckBox>(form, "logpages").setChecked(true);
        QCOMPARE(form.TxButtonClick(), SendResult::Sent);
        QVERIFY(audio->lastImageBytes() > 44);                          // played whole
        QVERIFY(logLines(form.pageLogPath()).size() == (fake ? 2 : 1)); // and logged
        const QString failure = form.statusLine().failureText();
        QVERIFY2(failure.startsWith(QStringLiteral("Port: ")) &&
                     failure.contains(QStringLiteral("parport0")),
                 qPrintable(failure));
        QVERIFY2(failure.contains(fake ? QStringLiteral("Inappropriate ioctl")
                                       : QStringLiteral("No such file")),
                 qPrintable(failure));
        if (fake)
            QCOMPARE(fileBytes(plain), QByteArray("not a port\n"));
        form.close();
    }
}

void StorePortFaultsTest::everySettingDamagedGivesDefaultsAndClamps() {
    const QList<QByteArray> damages{"x7!",
                                    "",
                                    QByteArray("\x01\xfe\x00\xff\"\\=;[", 10),
                                    "99999999999999999999",
                                    "-2147483649",
                                    "12xyz",
                                    "5 5",
                                    "0x10"};
    for (const QByteArray& damage : damages) {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Tarvex.ini"));
        QByteArray text = "[Tarvex]\n";
        for (const auto name : SettingNames)
            text +=
                QByteArray(name.data(), static_cast<qsizetype>(name.size())) + "=" + damage + "\n";
        putFile(ini, text);
        Rig rig(storeIn(dir));
        TMainForm& f = *rig.form;
        const QString what = QString::fromLatin1(damage.toHex());
        QVERIFY2(f.pos() == QPoint(10, 10) || f.pos() != QPoint(), qPrintable(what));
        QVERIFY2(control<PictureButton>(f, "BR2").isChecked() &&
                     control<PictureButton>(f, "FB4").isChecked() &&
                     control<PictureButton>(f, "AN1").isChecked() &&
                     control<PictureButton>(f, "NI1").isChecked(),
                 qPrintable(what));
        QCOMPARE(control<QSlider>(f, "Volume").value(), 20);
        QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 5);
        QCOMPARE(f.dialogs().autoSend->CheckRate()->value(), 2);
        QCOMPARE(f.dialogs().autoSend->AutoDelay()->value(), 0);
        QVERIFY(!f.dialogs().autoSend->AutoSend()->isChecked());
        QVERIFY(!f.autoSend().status().timer);
        QVERIFY(!f.station().status().identTimer);
        QCOMPARE(f.dialogs().keying->Pin()->checkedId(), 0);
        QVERIFY(!control<QCheckBox>(f, "logpages").isChecked());
        // Texts are taken as stored; a sync or idle that is no hexadecimal falls back.
        QCOMPARE(f.station().encoding().sync, StockSyncCodeword);
        QCOMPARE(f.station().encoding().idle, StockIdleCodeword);
        QCOMPARE(f.dialogs().autoSend->edFileName()->text().isEmpty(), false);
        // A page still goes out (the RIC field's damage gives the conversion message).
        control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("8"));
        QCOMPARE(sendAndWatch(rig), QString());
    }
}

void StorePortFaultsTest::settingsFileOfRandomBytesOpensTheWindow() {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 4; ++round) {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Tarvex.ini"));
        QByteArray bytes(4096, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(rng());
        if (round % 2 == 1) // damage under a proper section header too
            bytes = "[Tarvex]\nDelay=5000\nTuneTime=-3\nMorseDev=1000\nFrequency=-1\n"
                    "AutoDelay=99\nCheckRate=" +
                    bytes;
        putFile(ini, bytes);
        BoxWatcher closing; // outlives the window: catches a box its close may show
        {
            Rig rig(storeIn(dir));
            TMainForm& f = *rig.form;
            QVERIFY(control<QSpinBox>(f, "TuneTime").value() >= 1 &&
                    control<QSpinBox>(f, "TuneTime").value() <= 15);
            QVERIFY(f.dialogs().keying->KeyDelay()->value() >= 100);
            QVERIFY(f.dialogs().keying->KeyDelay()->value() <= 900);
            if (round % 2 == 1) {
                QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 1);
                QCOMPARE(f.dialogs().keying->KeyDelay()->value(), 900);
                QCOMPARE(f.dialogs().ident->SetVolume()->value(), 100);
                QCOMPARE(f.dialogs().ident->IdentFrequency()->value(), 0);
                QCOMPARE(f.dialogs().autoSend->AutoDelay()->value(), 10);
            }
            control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("8"));
            QCOMPARE(sendAndWatch(rig), QString());
        }
        // The close wrote a readable store with sane values, and said nothing.
        QCOMPARE(closing.texts, QStringList());
        QCOMPARE(storedValue(ini, "LastRIC"), QStringLiteral("8"));
        const int delay = storedValue(ini, "Delay").toInt();
        QVERIFY(delay >= 100 && delay <= 900);
    }
}

int main(int argc, char** argv) {
    tarvex::faults::runAsOrdinaryUser();
    privateHome();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("dovrik-apps"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvex"));
    StorePortFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "store_port_faults_test.moc"
