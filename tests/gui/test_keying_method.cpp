// The Keying dialog's method choice: the fields each method shows, the stored values, and the
// main window keying through the chosen line (a scripted serial port, hamlib's dummy rig, a
// device that is not there), switching only while the transmitter is released.
#include "gui_test_support.h"

#include "app/keying_form.h"
#include "app/message_edit.h"
#include "app/on_air_bar.h"
#include "app/picture_button.h"
#include "app/settings_store.h"
#include "fake_posix_io.h"
#include "station/keying_method.h"
#include "txcontrol/ptt/serial_ptt.h"
#ifdef TARVEX_HAVE_HAMLIB
#include "txcontrol/ptt/hamlib_ptt.h"
#endif

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>

#include <sys/ioctl.h>

#include <algorithm>
#include <map>

using namespace tarvex;
using namespace tarvex::test;

namespace {

/// A scripted serial port whose modem-line changes also go into the rig's trace.
class TracingIo : public FakePosixIo {
public:
    int ioctlInt(int fd, unsigned long request, int* arg) override {
        if (trace != nullptr && (request == TIOCMBIS || request == TIOCMBIC))
            trace->add(request == TIOCMBIS ? "line on" : "line off", static_cast<uint8_t>(*arg));
        return FakePosixIo::ioctlInt(fd, request, arg);
    }
    /// The modem-line requests in order: +RTS / -RTS / +DTR / -DTR.
    std::vector<std::string> lineChanges() const {
        std::vector<std::string> out;
        for (const auto& c : named("ioctl")) {
            if (c.request != TIOCMBIS && c.request != TIOCMBIC)
                continue;
            out.push_back(std::string(c.request == TIOCMBIS ? "+" : "-") +
                          (c.arg == TIOCM_RTS   ? "RTS"
                           : c.arg == TIOCM_DTR ? "DTR"
                                                : "?"));
        }
        return out;
    }
    Trace* trace = nullptr;
};

/// Serial methods on the scripted port; every other method as the program builds it.
KeyingLineFactory scriptedSerial(PosixIo& io) {
    return [&io](const PttSettings& s, std::shared_ptr<PortWriter> port, std::string portName,
                 std::function<KeyingSettings()> keying) -> std::unique_ptr<KeyingLine> {
        if (s.method != "serial-rts" && s.method != "serial-dtr")
            return makeKeyingLine(s, std::move(port), std::move(portName), std::move(keying));
        auto line = std::make_unique<SerialPtt>(
            s.device, s.method == "serial-rts" ? SerialPttLine::Rts : SerialPttLine::Dtr, io);
        line->setInverted([keying] { return keying().InvKey; });
        return line;
    };
}

void chooseMethod(TMainForm& f, const PttSettings& s) {
    f.dialogs().keying->setPttSettings(s);
    f.applyKeyingMethod();
}

PttSettings serialRts(const std::string& device) {
    PttSettings s;
    s.method = "serial-rts";
    s.device = device;
    return s;
}

std::vector<std::string> kinds(const Trace& trace) {
    std::vector<std::string> out;
    for (const auto& e : trace.events())
        out.push_back(e.what);
    return out;
}

SendResult sendPage(TMainForm& f) {
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("8"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("A"));
    return f.TxButtonClick();
}

bool offered(std::string_view name) {
    const PttMethodInfo* method = findPttMethod(name);
    return method != nullptr && method->available;
}

} // namespace

class KeyingMethodTest : public QObject {
    Q_OBJECT
private slots:
    void eachMethodShowsItsFields();
    void newControlsLeaveTheKeyingControlsInPlace();
    void valuesRoundTripThroughTheStore();
    void olderOrDamagedStoreGivesDefaults();
    void pageKeysTheChosenSerialLine();
    void inversionAndNoPinStillReleaseTheLine();
    void switchWaitsForTheRelease();
    void closingTheDialogTakesTheMethodOn();
    void missingDeviceStillPlaysAndSaysWhy();
    void dummyRigKeyedThroughTheWindow();
    void keyerSwitchesOnlyWhenReleased();
    void screenshot();
};

void KeyingMethodTest::eachMethodShowsItsFields() {
    Rig rig;
    TKeyingForm& k = *rig.form->dialogs().keying;
    QStringList captions;
    for (int i = 0; i < k.Method()->count(); ++i)
        captions << k.Method()->itemText(i);
    QStringList expected{QStringLiteral("Parallel port"), QStringLiteral("Serial RTS"),
                         QStringLiteral("Serial DTR"), QStringLiteral("CM108 GPIO")};
    if (offered("gpio"))
        expected << QStringLiteral("Linux GPIO");
    if (offered("hamlib"))
        expected << QStringLiteral("Rig CAT (hamlib)");
    expected << QStringLiteral("None (VOX)");
    QCOMPARE(captions, expected);
    QCOMPARE(k.Method()->currentText(), QStringLiteral("Parallel port")); // the default

    // Which of device, CM108 pin, GPIO line, rig model and speed each method shows.
    const std::map<QString, std::array<bool, 5>> shown{
        {QStringLiteral("Parallel port"), {false, false, false, false, false}},
        {QStringLiteral("Serial RTS"), {true, false, false, false, false}},
        {QStringLiteral("Serial DTR"), {true, false, false, false, false}},
        {QStringLiteral("CM108 GPIO"), {true, true, false, false, false}},
        {QStringLiteral("Linux GPIO"), {true, false, true, false, false}},
        {QStringLiteral("Rig CAT (hamlib)"), {true, false, false, true, true}},
        {QStringLiteral("None (VOX)"), {false, false, false, false, false}},
    };
    for (const QString& caption : captions) {
        k.Method()->setCurrentText(caption);
        const std::array<QWidget*, 5> fields{k.PttDevice(), k.Cm108Pin(), k.GpioLine(),
                                             k.RigModel(), k.RigSpeed()};
        for (size_t i = 0; i < fields.size(); ++i)
            QVERIFY2(fields[i]->isVisibleTo(&k) == shown.at(caption)[i],
                     qPrintable(caption + QStringLiteral(" field ") + QString::number(i)));
        QVERIFY(k.PttDevice()->isEditable());
    }
    k.Method()->setCurrentText(QStringLiteral("CM108 GPIO"));
    QCOMPARE(k.Cm108Pin()->value(), 3);
    QCOMPARE(k.Cm108Pin()->minimum(), 1);
    QCOMPARE(k.Cm108Pin()->maximum(), 8);
}

void KeyingMethodTest::newControlsLeaveTheKeyingControlsInPlace() {
    Rig rig;
    TKeyingForm& k = *rig.form->dialogs().keying;
    QCOMPARE(k.Port()->geometry(), QRect(48, 12, 80, 22));
    QCOMPARE(k.KeyDelay()->geometry(), QRect(200, 154, 56, 22));
    QCOMPARE(k.AllowKeying()->geometry(), QRect(12, 184, 130, 20));
    QCOMPARE(k.InvKey()->geometry(), QRect(150, 184, 140, 20));
    // Done closes the dialog from below every setting.
    const QRect done = k.findChild<QPushButton*>(QStringLiteral("btDone"))->geometry();
    for (QWidget* w : k.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->objectName() != QLatin1String("btDone") && w->objectName() != "OnAirBar" &&
            w->objectName() != "btTestKeying") // Test sits beside Done
            QVERIFY2(w->isHidden() || w->geometry().top() < done.top(),
                     qPrintable(w->objectName()));
    // With every method's fields shown in turn, nothing in the dialog overlaps anything else
    // at the same level, and every control lies inside the dialog.
    for (int m = 0; m < k.Method()->count(); ++m) {
        k.Method()->setCurrentIndex(m);
        for (QWidget* parent :
             {static_cast<QWidget*>(&k), k.findChild<QWidget*>(QStringLiteral("MethodPanel"))}) {
            std::vector<QWidget*> shownChildren;
            for (QObject* o : parent->children())
                if (auto* w = qobject_cast<QWidget*>(o); w != nullptr && w->isVisibleTo(&k))
                    shownChildren.push_back(w);
            for (size_t i = 0; i < shownChildren.size(); ++i) {
                QVERIFY(parent->rect().contains(shownChildren[i]->geometry()));
                for (size_t j = i + 1; j < shownChildren.size(); ++j)
                    QVERIFY2(!shownChildren[i]->geometry().intersects(shownChildren[j]->geometry()),
                             qPrintable(k.Method()->currentText() + QStringLiteral(": ") +
                                        shownChildren[i]->objectName() + QStringLiteral(" / ") +
                                        shownChildren[j]->objectName()));
            }
        }
    }
}

void KeyingMethodTest::valuesRoundTripThroughTheStore() {
    QTemporaryDir dir;
    RigOptions options;
    options.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
    PttSettings chosen;
    chosen.method = "serial-dtr";
    chosen.device = "/dev/tarvex-test-no-such-tty";
    chosen.cm108Pin = 5;
    chosen.gpioLine = 12;
    chosen.rigModel = 2;
    chosen.rigSpeed = 9600;
    {
        Rig rig(options);
        rig.form->dialogs().keying->setPttSettings(chosen);
    } // closed: saved
    {
        QSettings store(options.settingsFile, QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Tarvex"));
        QCOMPARE(store.value(QStringLiteral("PttMethod")).toString(), QStringLiteral("serial-dtr"));
        QCOMPARE(store.value(QStringLiteral("PttRigSpeed")).toString(), QStringLiteral("9600"));
        const QStringList keys = store.childKeys();
        for (auto name : SettingNames)
            QVERIFY(keys.contains(QString::fromLatin1(name.data(), qsizetype(name.size()))));
        for (auto name : PttSettingNames)
            QVERIFY(keys.contains(QString::fromLatin1(name.data(), qsizetype(name.size()))));
    }
    Rig again(options);
    TMainForm& f = *again.form;
    QVERIFY(samePttSettings(f.dialogs().keying->pttSettings(), chosen));
    // Loaded at start-up and taken on at once: the status line names it, and the device
    // that is not there is the reason shown.
    QCOMPARE(f.statusLine().portText(),
             QStringLiteral("Port: Serial DTR on /dev/tarvex-test-no-such-tty"));
    QVERIFY2(f.statusLine().failureText().contains(QStringLiteral("No such file")),
             qPrintable(f.statusLine().failureText()));
}

void KeyingMethodTest::olderOrDamagedStoreGivesDefaults() {
    // Damaged values, one by one, through the reader the store uses.
    std::map<std::string, std::string> stored{
        {"PttMethod", "laser"}, {"PttDevice", ""},      {"PttCm108Pin", "99"},
        {"PttGpioLine", "-4"},  {"PttRigModel", "abc"}, {"PttRigSpeed", "99999999999"}};
    auto lookup = [&stored](std::string_view name) -> std::optional<std::string> {
        auto it = stored.find(std::string(name));
        return it == stored.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    PttSettings s = readPttSettings(lookup);
    QCOMPARE(QString::fromStdString(s.method), QStringLiteral("parallel"));
    QCOMPARE(s.cm108Pin, 8);
    QCOMPARE(s.gpioLine, 0u);
    QCOMPARE(s.rigModel, 1);
    QCOMPARE(s.rigSpeed, 0);
    stored = {{"PttMethod", "Serial-RTS"}, {"PttCm108Pin", "0"}, {"PttRigSpeed", "-5"}};
    s = readPttSettings(lookup);
    QCOMPARE(QString::fromStdString(s.method), QStringLiteral("serial-rts"));
    QCOMPARE(s.cm108Pin, 1);
    QCOMPARE(s.rigSpeed, 0);
    // The extra names stay clear of the 38.
    for (auto name : PttSettingNames)
        QVERIFY(std::find(SettingNames.begin(), SettingNames.end(), name) == SettingNames.end());

    // An older store, with the 38 values only, loads as before and keys the parallel port.
    QTemporaryDir dir;
    RigOptions options;
    options.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
    {
        QSettings old(options.settingsFile, QSettings::IniFormat);
        old.beginGroup(QStringLiteral("Tarvex"));
        old.setValue(QStringLiteral("Pin"), QStringLiteral("2"));
        old.setValue(QStringLiteral("Delay"), QStringLiteral("300"));
        old.setValue(QStringLiteral("PttCm108Pin"), QStringLiteral("x"));
    }
    Rig rig(options);
    TMainForm& f = *rig.form;
    QVERIFY(samePttSettings(f.dialogs().keying->pttSettings(), PttSettings{}));
    QCOMPARE(f.dialogs().keying->KeyDelay()->value(), 300);
    rig.port->clear();
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(rig.port->writes().back().value, uint8_t{0x04});
    control<QAction>(f, "KeyTx1").trigger();
}

void KeyingMethodTest::pageKeysTheChosenSerialLine() {
    TracingIo io;
    Rig rig;
    io.trace = &rig.trace;
    TMainForm& f = *rig.form;
    f.setKeyingLineFactory(scriptedSerial(io));
    chooseMethod(f, serialRts("/dev/ttyUSB0"));
    QCOMPARE(io.named("open").size(), size_t{1});
    QCOMPARE(io.named("open")[0].path, std::string("/dev/ttyUSB0"));
    QCOMPARE(f.statusLine().portText(), QStringLiteral("Port: Serial RTS on /dev/ttyUSB0"));

    rig.trace.clear();
    rig.port->clear();
    QCOMPARE(sendPage(f), SendResult::Sent);
    // The line keys before the sound and releases after it; the parallel port is left alone
    // and DTR is never touched.
    QCOMPARE(kinds(rig.trace), (std::vector<std::string>{"line on", "play", "line off"}));
    QVERIFY(rig.trace.events()[1].atMs - rig.trace.events()[0].atMs >= 199); // the key delay
    QVERIFY(rig.port->writes().empty());
    for (const auto& change : io.lineChanges())
        QVERIFY(change.ends_with("RTS"));

    // The manual key-up and the tune-up go the same way.
    io.calls.clear();
    control<QAction>(f, "KeyTx1").trigger();
    control<QAction>(f, "KeyTx1").trigger();
    control<QSpinBox>(f, "TuneTime").setValue(1);
    QTest::mouseClick(&control<PictureButton>(f, "btPa"), Qt::LeftButton);
    QCOMPARE(io.lineChanges(), (std::vector<std::string>{"+RTS", "-RTS", "+RTS", "-RTS"}));
    QVERIFY(rig.port->writes().empty());

    // DTR instead: the old device is closed before the new one opens.
    PttSettings dtr = serialRts("/dev/ttyUSB1");
    dtr.method = "serial-dtr";
    io.calls.clear();
    chooseMethod(f, dtr);
    QCOMPARE(io.calls.front().what, std::string("ioctl")); // the old line released first
    QVERIFY(io.calls.size() >= 3);
    QCOMPARE(io.named("close").size(), size_t{1});
    QCOMPARE(io.named("open").back().path, std::string("/dev/ttyUSB1"));
    io.calls.clear();
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(io.lineChanges(), (std::vector<std::string>{"+DTR"}));
    control<QAction>(f, "KeyTx1").trigger();

    // Back to the parallel port: the line is released and closed, the port keys again.
    io.calls.clear();
    chooseMethod(f, PttSettings{});
    QCOMPARE(io.named("close").size(), size_t{1});
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(rig.port->writes().back().value, uint8_t{0x01});
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(f.statusLine().portText(), QStringLiteral("Port: LPT1 recording port"));
}

void KeyingMethodTest::inversionAndNoPinStillReleaseTheLine() {
    TracingIo io;
    Rig rig;
    TMainForm& f = *rig.form;
    TKeyingForm& k = *f.dialogs().keying;
    f.setKeyingLineFactory(scriptedSerial(io));
    chooseMethod(f, serialRts("/dev/ttyUSB0"));
    io.calls.clear();
    k.InvKey()->click(); // active low: released is the asserted line, at once
    QCOMPARE(io.lineChanges(), (std::vector<std::string>{"+RTS"}));
    // No pin chosen (a stored -1): the line still keys and releases, inverted or not.
    k.setPin(-1);
    io.calls.clear();
    control<QAction>(f, "KeyTx1").trigger();
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(io.lineChanges(), (std::vector<std::string>{"-RTS", "+RTS"}));
    k.InvKey()->click();
    io.calls.clear();
    control<QAction>(f, "KeyTx1").trigger();
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(io.lineChanges(), (std::vector<std::string>{"+RTS", "-RTS"}));
}

void KeyingMethodTest::switchWaitsForTheRelease() {
    TracingIo io;
    Rig rig;
    TMainForm& f = *rig.form;
    f.setKeyingLineFactory(scriptedSerial(io));
    control<QAction>(f, "KeyTx1").trigger(); // keyed on the parallel port
    QCOMPARE(rig.port->writes().back().value, uint8_t{0x01});
    chooseMethod(f, serialRts("/dev/ttyUSB0"));
    QVERIFY(f.station().status().keyingSwitchPending);
    QVERIFY(io.calls.empty()); // nothing opened while on air
    QCOMPARE(f.statusLine().portText(), QStringLiteral("Port: LPT1 recording port"));

    rig.port->clear();
    control<QAction>(f, "KeyTx1")
        .trigger(); // the release goes where the key went, then the line takes over
    QCOMPARE(rig.port->writes().size(), size_t{1});
    QCOMPARE(rig.port->writes().back().value, uint8_t{0x00});
    QVERIFY(!f.station().status().keyingSwitchPending);
    QCOMPARE(io.named("open").size(), size_t{1});
    QCOMPARE(io.lineChanges().back(), std::string("-RTS"));
    QCOMPARE(f.statusLine().portText(), QStringLiteral("Port: Serial RTS on /dev/ttyUSB0"));

    io.calls.clear();
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(io.lineChanges(), (std::vector<std::string>{"+RTS"}));
    QCOMPARE(rig.port->writes().size(), size_t{1});
    control<QAction>(f, "KeyTx1").trigger();
}

void KeyingMethodTest::closingTheDialogTakesTheMethodOn() {
    TracingIo io;
    Rig rig;
    TMainForm& f = *rig.form;
    f.setKeyingLineFactory(scriptedSerial(io));
    bool openedWhileShown = false;
    onNextModal([&io, &openedWhileShown](QWidget* w) {
        auto* k = qobject_cast<TKeyingForm*>(w);
        QVERIFY(k != nullptr);
        k->Method()->setCurrentText(QStringLiteral("Serial DTR"));
        k->PttDevice()->setEditText(QStringLiteral("  /dev/ttyACM0 "));
        QApplication::processEvents();
        openedWhileShown = !io.calls.empty(); // taken on when the dialog closes, not before
        QTest::mouseClick(k->findChild<QPushButton*>(QStringLiteral("btDone")), Qt::LeftButton);
    });
    control<QAction>(f, "Keying1").trigger();
    QVERIFY(!openedWhileShown);
    QCOMPARE(io.named("open").size(), size_t{1});
    QCOMPARE(io.named("open")[0].path, std::string("/dev/ttyACM0")); // trimmed
    QCOMPARE(f.statusLine().portText(), QStringLiteral("Port: Serial DTR on /dev/ttyACM0"));
    io.calls.clear();
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(io.lineChanges(), (std::vector<std::string>{"+DTR"}));
    control<QAction>(f, "KeyTx1").trigger();
    // Opening and closing it again with nothing changed leaves the line alone.
    io.calls.clear();
    onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    control<QAction>(f, "Keying1").trigger();
    QVERIFY(io.calls.empty());
}

void KeyingMethodTest::missingDeviceStillPlaysAndSaysWhy() {
    Rig rig;
    TMainForm& f = *rig.form;
    chooseMethod(f, serialRts("/dev/tarvex-test-no-such-tty"));
    rig.trace.clear();
    QStringList lamps;
    const int listener = f.station().subscribe([&](const StationEvent& e) {
        if (e.kind == StationEvent::Kind::State)
            lamps << f.statusLine().lampText();
    });
    QCOMPARE(sendPage(f), SendResult::Sent);
    f.station().unsubscribe(listener);
    QCOMPARE(kinds(rig.trace), (std::vector<std::string>{"play"}));
    QVERIFY(rig.audio->lastImageBytes() > 44);
    // Neither the lamp nor the last message calls it sent or on the air.
    QVERIFY2(lamps.contains(QStringLiteral("KEYING FAILED \u2014 operator")) &&
                 !lamps.join('|').contains(QStringLiteral("ON AIR")),
             qPrintable(lamps.join('|')));
    QCOMPARE(f.statusLine().lampText(), QStringLiteral("NOT SENT"));
    QVERIFY2(f.statusLine().currentMessage().startsWith(
                 QStringLiteral("Not sent: RIC 8 - the transmitter could not be keyed")),
             qPrintable(f.statusLine().currentMessage()));
    const QString failure = f.statusLine().failureText();
    QVERIFY2(failure.startsWith(QStringLiteral("Port: cannot open /dev/tarvex-test-no-such-tty: "
                                               "No such file or directory \u2014 check that")),
             qPrintable(failure));
    QCOMPARE(f.statusLine().portText(),
             QStringLiteral("Port: Serial RTS on /dev/tarvex-test-no-such-tty"));

    // No device named at all: the reason is shown, the page plays all the same.
    chooseMethod(f, serialRts(""));
    QVERIFY(f.statusLine().failureText().contains(QStringLiteral("needs a device name")));
    rig.trace.clear();
    QCOMPARE(sendPage(f), SendResult::Sent);
    QCOMPARE(kinds(rig.trace), (std::vector<std::string>{"play"}));

    // A method that opens clears the reason.
    PttSettings vox;
    vox.method = "none";
    chooseMethod(f, vox);
    QVERIFY(f.statusLine().failureText().isEmpty());
    QCOMPARE(f.statusLine().portText(), QStringLiteral("Port: None (VOX)"));
}

void KeyingMethodTest::dummyRigKeyedThroughTheWindow() {
#ifdef TARVEX_HAVE_HAMLIB
    Rig rig;
    TMainForm& f = *rig.form;
    HamlibPtt* rigLine = nullptr;
    f.setKeyingLineFactory(
        [&rigLine](const PttSettings& s, std::shared_ptr<PortWriter> port, std::string portName,
                   std::function<KeyingSettings()> keying) -> std::unique_ptr<KeyingLine> {
            auto line = makeKeyingLine(s, std::move(port), std::move(portName), std::move(keying));
            rigLine = dynamic_cast<HamlibPtt*>(line.get());
            return line;
        });
    PttSettings cat;
    cat.method = "hamlib";
    cat.rigModel = HamlibDummyRig;
    chooseMethod(f, cat);
    QVERIFY(rigLine != nullptr);
    QCOMPARE(rigLine->readBack(), std::optional<bool>(false));
    QCOMPARE(f.statusLine().portText(), QStringLiteral("Port: Rig CAT (hamlib) model 1"));
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(rigLine->readBack(), std::optional<bool>(true));
    control<QAction>(f, "KeyTx1").trigger();
    QCOMPARE(rigLine->readBack(), std::optional<bool>(false));

    // During the page the rig reports PTT on (polled while it waits); after it, off.
    bool keyedDuringPage = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &f, [&] {
        const auto ptt = rigLine->readBack();
        if (ptt == std::optional<bool>(true))
            keyedDuringPage = true;
    });
    poll.start(20);
    QCOMPARE(sendPage(f), SendResult::Sent);
    poll.stop();
    QVERIFY(keyedDuringPage);
    QCOMPARE(rigLine->readBack(), std::optional<bool>(false));
    QVERIFY(f.statusLine().failureText().isEmpty());

    // Stored, the dummy rig is opened at start-up by the program's own factory.
    QTemporaryDir dir;
    RigOptions options;
    options.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
    {
        QSettings store(options.settingsFile, QSettings::IniFormat);
        store.setValue(QStringLiteral("Tarvex/PttMethod"), QStringLiteral("hamlib"));
        store.setValue(QStringLiteral("Tarvex/PttRigModel"), QStringLiteral("1"));
    }
    Rig stored(options);
    TMainForm& g = *stored.form;
    QCOMPARE(g.statusLine().portText(), QStringLiteral("Port: Rig CAT (hamlib) model 1"));
    stored.trace.clear();
    QCOMPARE(sendPage(g), SendResult::Sent);
    QCOMPARE(kinds(stored.trace), (std::vector<std::string>{"play"})); // not the parallel port
    QVERIFY2(g.statusLine().failureText().isEmpty(), qPrintable(g.statusLine().failureText()));
#else
    QSKIP("this build has no hamlib");
#endif
}

void KeyingMethodTest::keyerSwitchesOnlyWhenReleased() {
    auto first = std::make_shared<RecordingPortWriter>();
    auto second = std::make_shared<RecordingPortWriter>();
    const auto pin4 = [] {
        KeyingSettings s;
        s.Pin = 4;
        return s;
    };
    Keyer keyer(std::make_unique<ParallelPortLine>(first, pin4));
    keyer.KeyTransmitter();
    QVERIFY(keyer.keyed());
    QVERIFY(!keyer.switchLine(std::make_unique<ParallelPortLine>(second, pin4)));
    QVERIFY(keyer.switchPending());
    keyer.KeyTransmitter();   // still keyed: still the first line
    keyer.UnkeyTransmitter(); // released: the second takes over, released too
    QVERIFY(!keyer.switchPending());
    QCOMPARE(first->values(), (std::vector<uint8_t>{0x10, 0x10, 0x00}));
    QCOMPARE(second->values(), (std::vector<uint8_t>{0x00}));

    // A method that cannot be set up: every write fails with the reason, nothing crashes.
    QVERIFY(keyer.switchLine(std::make_unique<UnavailableLine>("Serial RTS", "no such method")));
    keyer.KeyTransmitter();
    QVERIFY(!keyer.lastStatus().success);
    QCOMPARE(keyer.lastStatus().text, std::string("no such method"));
    keyer.UnkeyTransmitter();
    // A failing port's reason comes through.
    second->failWith(5);
    QVERIFY(keyer.switchLine(std::make_unique<ParallelPortLine>(second, pin4)));
    keyer.UnkeyTransmitter();
    QCOMPARE(keyer.lastStatus().errorCode, 5);
}

void KeyingMethodTest::screenshot() {
    Rig rig;
    TKeyingForm& k = *rig.form->dialogs().keying;
    QDir().mkpath(QStringLiteral(TARVEX_SCREENSHOT_DIR));
    for (const QString& caption : {QStringLiteral("CM108 GPIO"), QStringLiteral("Rig CAT (hamlib)"),
                                   QStringLiteral("Parallel port")}) {
        if (k.Method()->findText(caption) < 0)
            continue;
        k.Method()->setCurrentText(caption);
        k.show();
        QApplication::processEvents();
        const QImage image = k.grab().toImage();
        // The watchdog, Done and the lamp, in the dialog's own pixels at any scale factor.
        QCOMPARE(image.deviceIndependentSize().toSize(), QSize(560, 328 + OnAirBar::Height));
        QString name = caption;
        name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")));
        QVERIFY(image.save(QStringLiteral(TARVEX_SCREENSHOT_DIR "/keying_%1.png").arg(name)));
        k.hide();
    }
}

TARVEX_GUI_TEST_MAIN(KeyingMethodTest)
#include "test_keying_method.moc"
