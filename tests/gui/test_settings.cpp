// The settings store through the real window: first-run defaults, stored values that need
// a default, a clamp or a group rule, a close and restart that keeps every value byte for
// byte, the per-user INI file, and a store that cannot be written.
#include "gui_test_support.h"

#include "app/auto_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/picture_button.h"
#include "app/program_entry.h"
#include "app/settings_store.h"
#include "app/window_placement.h"
#include "signal/signal_gen.h"
#include "station/settings_values.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>

using namespace tarvex;
using namespace tarvex::test;

namespace {

using Values = QList<QPair<QString, QString>>;

/// Writes the values into the section of an INI file, the way the program writes them.
void writeStore(const QString& file, const Values& values) {
    QSettings store(file, QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Tarvex"));
    for (const auto& [name, value] : values)
        store.setValue(name, value);
    store.sync();
}

/// The stored text of a value, as the program reads it back (empty QString when missing).
QString stored(const QString& file, std::string_view name) {
    QSettings store(file, QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Tarvex"));
    const auto value = storedValue(store, name);
    return value ? QString::fromStdString(*value) : QString();
}

RigOptions withStore(const QString& file) {
    RigOptions options;
    options.settingsFile = file;
    return options;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void valueEncoding();
    void firstRunDefaults();
    void lastTrueFlagOfAGroupWinsAndClampsApply();
    void levelKeepsLowEightBitsAndNoPinSurvives();
    void groupWithoutTrueFlagKeepsStartUpSelection();
    void roundTripKeepsEveryValueByteForByte();
    void perUserStoreIsReadableIni();
    void failedSaveIsReportedAndTheWindowCloses();
    void placeOffEveryScreenComesBack();
};

void SettingsTest::valueEncoding() {
    QCOMPARE(parseDecimal("750"), std::optional<int32_t>(750));
    QCOMPARE(parseDecimal("-5"), std::optional<int32_t>(-5));
    QCOMPARE(parseDecimal("+7"), std::optional<int32_t>(7));
    QCOMPARE(parseDecimal("-2147483648"), std::optional<int32_t>(INT32_MIN));
    for (const char* bad : {"", "-", "+", " 5", "5 ", "12a", "0x10", "2147483648", "--1"})
        QVERIFY2(!parseDecimal(bad), bad);
    QCOMPARE(readInteger(std::nullopt, 200), 200);
    QCOMPARE(readInteger("abc", 200), 200);
    QCOMPARE(readFlag("2", false), true);
    QCOMPARE(readFlag("x", true), true);
    QCOMPARE(readFlag("0", true), false);
    QCOMPARE(readText("", "GXZYX"), std::string());
    QCOMPARE(readText(std::nullopt, "GXZYX"), std::string("GXZYX"));
    QCOMPARE(lowByte(300), uint8_t{44});
    QCOMPARE(lowByte(-1), uint8_t{255});
    QCOMPARE(integerText(-5), std::string("-5"));
    QCOMPARE(SettingNames.front(), std::string_view("Left"));
    QCOMPARE(SettingNames.back(), std::string_view("LastRIC"));
}

void SettingsTest::firstRunDefaults() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    {
        Rig rig(withStore(file));
        TMainForm& f = *rig.form;
        QCOMPARE(f.pos(), QPoint(10, 10));
        QVERIFY(control<PictureButton>(f, "BR2").isChecked() &&
                control<PictureButton>(f, "FB4").isChecked() &&
                control<PictureButton>(f, "AN1").isChecked() &&
                control<PictureButton>(f, "NI1").isChecked());
        QCOMPARE(control<QSlider>(f, "Volume").value(), 20);
        QCOMPARE(f.station().signal().baud, 1200);
        QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("1234567"));
        QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 5);
        QCOMPARE(f.dialogs().ident->IdentFrequency()->value(), 0);
        QVERIFY(!f.station().status().identTimer); // an interval of 0: no ident is ever sent
        QCOMPARE(f.dialogs().ident->edIdent()->text(), QStringLiteral("GXZYX"));
        QCOMPARE(f.dialogs().autoSend->edFileName()->text(), QStringLiteral("AutoSend.Txt"));
        QCOMPARE(f.DataFolder, f.ProgramFolder);
        QVERIFY(!QFile::exists(file)); // nothing is written before the close
    }
    // The close wrote every value, as text in its encoding.
    QSettings store(file, QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Tarvex"));
    QCOMPARE(store.childKeys().size(), SettingCount + ExtraSettingCount);
    QCOMPARE(stored(file, "Left"), QStringLiteral("10"));
    QCOMPARE(stored(file, "Vol2"), QStringLiteral("20"));
    QCOMPARE(stored(file, "Sync"), QStringLiteral("7CD215D8"));
    QCOMPARE(stored(file, "Delay"), QStringLiteral("200"));
    QCOMPARE(stored(file, "Baud2"), QStringLiteral("1"));
    QCOMPARE(stored(file, "Baud1"), QStringLiteral("0"));
    QCOMPARE(stored(file, "A-N1"), QStringLiteral("1"));
    QCOMPARE(stored(file, "BitLen512"), QStringLiteral("750"));
    QCOMPARE(stored(file, "LastRIC"), QStringLiteral("1234567"));
}

void SettingsTest::lastTrueFlagOfAGroupWinsAndClampsApply() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, {{"Baud1", "1"},
                      {"Baud3", "1"},
                      {"Vol3", "300"},
                      {"CheckRate", "1"},
                      {"Pin", "12"},
                      {"Port", "5"},
                      {"AutoFile", ""},
                      {"LogPages", "yes"},
                      {"TuneTime", "99"},
                      {"LastRIC", "123456789"}});
    {
        Rig rig(withStore(file));
        TMainForm& f = *rig.form;
        QVERIFY(control<PictureButton>(f, "BR3").isChecked() &&
                !control<PictureButton>(f, "BR1").isChecked());
        QCOMPARE(f.station().signal().baud, 2400);
        QCOMPARE(control<QSlider>(f, "Volume").value(), 44); // 300 keeps its low 8 bits
        QCOMPARE(f.station().signal().level, 44);
        QCOMPARE(f.dialogs().autoSend->CheckRate()->value(), 2);
        QCOMPARE(f.autoSend().settings().checkRateSeconds, 2);
        QCOMPARE(f.dialogs().keying->Pin()->checkedId(), 7);
        QCOMPARE(f.dialogs().keying->Port()->currentIndex(), -1);
        QCOMPARE(f.dialogs().autoSend->edFileName()->text(), QStringLiteral("AutoSend.Txt"));
        QVERIFY(!control<QCheckBox>(f, "logpages").isChecked());
        QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 15);
        QCOMPARE(control<QLineEdit>(f, "RicEdit").text(),
                 QStringLiteral("123456789")); // shown whole
    }
    QCOMPARE(stored(file, "Baud1"), QStringLiteral("0"));
    QCOMPARE(stored(file, "Baud3"), QStringLiteral("1"));
    QCOMPARE(stored(file, "Vol3"), QStringLiteral("44"));
    QCOMPARE(stored(file, "CheckRate"), QStringLiteral("2"));
    QCOMPARE(stored(file, "Pin"), QStringLiteral("7"));
    QCOMPARE(stored(file, "Port"), QStringLiteral("-1"));
    QCOMPARE(stored(file, "AutoFile"), QStringLiteral("AutoSend.Txt"));
    QCOMPARE(stored(file, "LogPages"), QStringLiteral("0"));
    QCOMPARE(stored(file, "LastRIC"), QStringLiteral("123456789"));
}

void SettingsTest::levelKeepsLowEightBitsAndNoPinSurvives() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    // "Baud2" reads true when missing, and would win over "Baud1".
    writeStore(file,
               {{"Baud1", "1"}, {"Baud2", "0"}, {"Vol1", "300"}, {"Pin", "-4"}, {"Port", "1"}});
    {
        Rig rig(withStore(file));
        TMainForm& f = *rig.form;
        QVERIFY(control<PictureButton>(f, "BR1").isChecked());
        QCOMPARE(control<QSlider>(f, "Volume").value(), 44);
        QCOMPARE(f.DeviationLevels[0], uint8_t{44});
        QCOMPARE(f.dialogs().keying->Pin()->checkedId(), -1);
        // No pin: keying writes a byte with no pin set, in either direction.
        control<QAction>(f, "KeyTx1").trigger();
        QCOMPARE(rig.port->writes().back(), (RecordingPortWriter::Write{0x278, 0x00}));
        control<QAction>(f, "KeyTx1").trigger();
    }
    QCOMPARE(stored(file, "Pin"), QStringLiteral("-1"));
    QCOMPARE(stored(file, "Port"), QStringLiteral("1"));
}

void SettingsTest::groupWithoutTrueFlagKeepsStartUpSelection() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, {{"Baud1", "0"},
                      {"Baud2", "0"},
                      {"Baud3", "0"},
                      {"Func1", "0"},
                      {"Func4", "0"},
                      {"NI1", "0"},
                      {"NI2", "2"},
                      {"A-N2", "1"}});
    Rig rig(withStore(file));
    TMainForm& f = *rig.form;
    QVERIFY(control<PictureButton>(f, "BR2").isChecked());
    QVERIFY(control<PictureButton>(f, "FB4").isChecked());
    QVERIFY(control<PictureButton>(f, "NI2").isChecked()); // "2" reads as true
    QVERIFY(f.station().signal().inverted);
    QVERIFY(control<PictureButton>(f, "AN2").isChecked() &&
            !control<PictureButton>(f, "AN1").isChecked());
}

void SettingsTest::roundTripKeepsEveryValueByteForByte() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    const Values values{
        {"Left", "37"},         {"Top", "41"},
        {"Vol1", "11"},         {"Vol2", "0"},
        {"Vol3", "99"},         {"Sync", "1234abcd"},
        {"Idle", "7A89C198"},   {"TuneTime", "7"},
        {"BitLen512", "-5"},    {"BitLen1200", "2147483647"},
        {"BitLen2400", "0"},    {"DataFolder", dir.filePath(QStringLiteral("my logs, here"))},
        {"LogPages", "1"},      {"AutoSend", "1"},
        {"CheckRate", "600"},   {"AutoFile", "pages in.txt"},
        {"LockFile", " lock "}, {"AutoDelay", "10"},
        {"Frequency", "60"},    {"StationID", "M0ABC9"},
        {"MorseDev", "100"},    {"Port", "1"},
        {"Pin", "3"},           {"Delay", "900"},
        {"InvKey", "1"},        {"Keying", "1"},
        {"Baud1", "0"},         {"Baud2", "0"},
        {"Baud3", "1"},         {"Func1", "0"},
        {"Func2", "1"},         {"Func3", "0"},
        {"Func4", "0"},         {"A-N1", "0"},
        {"A-N2", "1"},          {"NI1", "0"},
        {"NI2", "1"},           {"LastRIC", "0000008"}};
    QCOMPARE(values.size(), SettingCount);
    for (int i = 0; i < SettingCount; ++i)
        QCOMPARE(values[i].first, QString::fromLatin1(SettingNames[static_cast<size_t>(i)]));
    // The values added since: a stored audio device that is not there now is kept as stored.
    const Values extras{{"AudioBackend", "alsa"},  {"AudioDevice", "plughw:CARD=Gone,DEV=0"},
                        {"PttMethod", "parallel"}, {"PttDevice", "/dev/ttyUSB3"},
                        {"PttCm108Pin", "5"},      {"PttGpioLine", "17"},
                        {"PttRigModel", "2"},      {"PttRigSpeed", "9600"}};
    QCOMPARE(extras.size(), ExtraSettingCount);
    for (int i = 0; i < ExtraSettingCount; ++i)
        QCOMPARE(extras[i].first, QString::fromLatin1(ExtraSettingNames[static_cast<size_t>(i)]));
    writeStore(file, values + extras);
    const QByteArray before = fileBytes(file);
    {
        Rig rig(withStore(file));
        TMainForm& f = *rig.form;
        QCOMPARE(f.station().encoding().sync, 0x1234ABCDu);
        QVERIFY(f.autoSend().status().timer);
        QCOMPARE(f.autoSend().settings().checkRateSeconds, 600);
        QCOMPARE(f.station().identSettings().minutes, 60);
        QVERIFY(f.station().status().identTimer);
        QCOMPARE(control<QSlider>(f, "Volume").value(), 99);
        QCOMPARE(rig.port->writes().back(), (RecordingPortWriter::Write{0x278, 0x08}));
    }
    for (const auto& [name, value] : values + extras)
        QCOMPARE(stored(file, name.toStdString()), value);
    QCOMPARE(fileBytes(file), before);
}

void SettingsTest::perUserStoreIsReadableIni() {
    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/dovrik-apps/Tarvex.ini");
    QVERIFY(expected.startsWith(privateHome().path())); // never the user's own
    QFile::remove(expected);
    {
        MainFormSetup setup;
        setup.programFolder = privateHome().path();
        setup.audioChoice = "null";
        setup.port = std::make_shared<RecordingPortWriter>();
        TMainForm form(std::move(setup));
        QCOMPARE(form.settingsLocation(), expected);
        createDialogs(form);
        form.FormActivate();
        form.dialogs().ident->edIdent()->setText(QStringLiteral("G4 XYZ"));
        form.close();
    }
    const QByteArray text = fileBytes(expected);
    QVERIFY(text.startsWith("[Tarvex]\n"));
    QVERIFY(text.contains("\nLeft=10\n"));
    QVERIFY(text.contains("\nA-N1=1\n"));
    QVERIFY(text.contains("\nStationID=G4 XYZ\n"));
    QVERIFY(text.contains("\nBitLen512=750\n"));
}

void SettingsTest::failedSaveIsReportedAndTheWindowCloses() {
    QTemporaryDir dir;
    // The store's folder cannot be made: a file stands where it would go.
    QFile blocker(dir.filePath(QStringLiteral("config")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString file = dir.filePath(QStringLiteral("config/Tarvex.ini"));
    Rig rig(withStore(file));
    QString seen;
    onNextModal([&](QWidget* w) {
        seen = boxText(w);
        pressOk(w);
    });
    rig.form->close();
    QCOMPARE(seen, QStringLiteral("Failed to create key %1").arg(file));
    QVERIFY(!rig.form->isVisible());
}

void SettingsTest::placeOffEveryScreenComesBack() {
    // Two screens side by side, the right one lower; a 614 x 491 frame with a 20 px title.
    const QList<QRect> screens{{0, 0, 1024, 768}, {1024, 100, 800, 600}};
    const struct {
        QPoint stored;
        QPoint shown;
    } cases[] = {
        {{10, 10}, {10, 10}},       // on the first screen: as stored
        {{1500, 300}, {1500, 300}}, // on the second screen
        {{-500, 10}, {-500, 10}},   // half off the left: enough of the title shows
        {{400, -15}, {400, 0}},     // title bar above the top: down onto the screen
        {{-3000, 5000}, {0, 277}},  // far off: the nearest corner, wholly on the screen
        {{5000, 50}, {1210, 100}},  // off the right: onto the second screen
        {{1100, 20}, {1100, 100}},  // title above the second screen's top
    };
    for (const auto& c : cases)
        QCOMPARE(placeOnScreens(QRect(c.stored, QSize(614, 491)), screens, 20), c.shown);
}

TARVEX_GUI_TEST_MAIN(SettingsTest)
#include "test_settings.moc"
