// The window's transmission paths (SEND, tune-up, ident test, RIC/CAP search, fast search,
// auto-send poll) driven into failures through the real window: audio that cannot open,
// throws, or never drains, a failing port, Stop while the sound plays, a refused page and
// the window closed while on air. After each run the last byte on the port must be the
// release for the keying in force, and no key byte may stand without a release after it.
#include "../gui/gui_test_support.h"

#include "app/auto_form.h"
#include "app/fast_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/main_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "app/program_entry.h"
#include "app/rs_form.h"
#include "signal/signal_gen.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <stdexcept>

using namespace tarvex;
using namespace tarvex::test;

namespace {

enum class Fault {
    None,
    AudioOpenFails,
    AudioThrows,
    AudioNeverDrains,
    PortFails,
    Stop,
    Close,
    Refused
};

const char* faultName(Fault f) {
    switch (f) {
    case Fault::None:
        return "none";
    case Fault::AudioOpenFails:
        return "audio open fails";
    case Fault::AudioThrows:
        return "audio throws";
    case Fault::AudioNeverDrains:
        return "audio never drains";
    case Fault::PortFails:
        return "port fails";
    case Fault::Stop:
        return "stop during play";
    case Fault::Close:
        return "window closed on air";
    case Fault::Refused:
        return "refused page";
    }
    return "?";
}

class FaultyAudio : public AudioOutput {
public:
    explicit FaultyAudio(Fault fault) : m_fault(fault) {}
    bool play(std::span<const uint8_t>, PlayMode) override {
        if (m_fault == Fault::AudioThrows)
            throw std::runtime_error("sound server went away");
        if (m_fault == Fault::AudioOpenFails) {
            m_error = "no sound device";
            return false;
        }
        return true;
    }
    void stop() override {}
    bool playing() const override { return m_fault == Fault::AudioNeverDrains; }
    void setDeviceLevel(DeviceLevel level) override { m_level = level; }
    DeviceLevel deviceLevel() const override { return m_level; }
    std::string lastError() const override { return m_error; }
    std::string name() const override { return "faulty"; }

private:
    Fault m_fault;
    std::string m_error;
    DeviceLevel m_level = 0xFFFFFFFF;
};

/// Calls `onKey` at every key byte (the window's timers then strike inside the waits).
class WatchedPort : public RecordingPortWriter {
public:
    std::function<void()> onKey;
    uint8_t keyed = 0;
    bool writeByte(uint16_t port, uint8_t value) override {
        const bool ok = RecordingPortWriter::writeByte(port, value);
        if (value == keyed && onKey)
            onKey();
        return ok;
    }
};

/// A window wired to a faulty audio output and a watched port, keying on `pin`.
struct Bench {
    QTemporaryDir folder;
    std::shared_ptr<WatchedPort> port = std::make_shared<WatchedPort>();
    std::unique_ptr<TMainForm> form;
    Fault fault;
    int pin;
    bool inv;
    size_t writesAtClose = 0;
    bool closed = false;

    Bench(Fault f, int p, bool i) : fault(f), pin(p), inv(i) {
        MainFormSetup setup;
        setup.programFolder = folder.path();
        setup.audio = std::make_shared<FaultyAudio>(f);
        setup.port = port;
        setup.portName = QStringLiteral("watched port");
        setup.settingsFile = folder.filePath(QStringLiteral("Tarvex.ini"));
        form = std::make_unique<TMainForm>(std::move(setup));
        createDialogs(*form);
        form->show();
        form->FormActivate();
        TKeyingForm& k = *form->dialogs().keying;
        k.setPin(pin);
        k.InvKey()->setChecked(inv);
        k.KeyDelay()->setValue(100);
        control<PictureButton>(*form, "BR3").click(); // 2400 bit/s: short transmissions
        port->keyed = keyByte(pin, inv, true);
        if (f == Fault::PortFails)
            port->failWith(5);
        port->clear();
        form->station().releaseNow(); // the released level for these settings, as at start
        // Strikes inside the wait that follows the key byte: in the key delay for the ident,
        // otherwise while the sound plays.
        port->onKey = [this] {
            const int at = form->IdentInProgress() ? 40 : 100 + 150;
            QTimer::singleShot(at, form.get(), [this] { strike(); });
        };
    }
    ~Bench() {
        if (!closed)
            form->close();
    }

    void strike() {
        if (fault == Fault::Stop) {
            TFastForm* fast = form->dialogs().fastSearch;
            if (fast->isVisible()) {
                fast->Button2()->click(); // the search's own Stop
            } else {
                form->station().stop();
            }
        } else if (fault == Fault::Close && !closed) {
            closed = true;
            form->close();
            writesAtClose = port->writes().size();
        }
    }

    /// Runs a path; an exception that reaches the caller is returned as its text.
    QString run(const std::function<void()>& path) {
        try {
            path();
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
        QTest::qWait(30);
        return {};
    }

    void check(const QString& what, bool expectKeying) const {
        const auto v = port->values();
        const uint8_t released = keyByte(pin, inv, false);
        const uint8_t keyedByte = keyByte(pin, inv, true);
        const QString run = QStringLiteral("%1, %2, pin D%3%4")
                                .arg(what, QString::fromLatin1(faultName(fault)))
                                .arg(pin)
                                .arg(inv ? QStringLiteral(" inverted") : QString());
        QVERIFY2(!v.empty(), qPrintable(run + ": nothing written"));
        QVERIFY2(v.back() == released, qPrintable(run + ": left keyed"));
        int keys = 0;
        bool open = false;
        for (const uint8_t b : v) {
            if (b == keyedByte) {
                ++keys;
                open = true;
            } else {
                open = false;
            }
        }
        QVERIFY2(!open, qPrintable(run));
        if (expectKeying)
            QVERIFY2(keys > 0, qPrintable(run + ": never keyed"));
        if (closed) {
            for (size_t i = writesAtClose; i < v.size(); ++i)
                QVERIFY2(v[i] == released, qPrintable(run + ": keyed after the window closed"));
        }
    }
};

// Every failure goes through SEND; the other paths take those that act through the window
// (Stop, the close) and a failing port. The transmitter-level sweep crosses them all.
const Fault WindowFaults[] = {Fault::PortFails, Fault::Stop, Fault::Close};

} // namespace

class WindowKeyingTest : public QObject {
    Q_OBJECT
private slots:
    void sendPage();
    void tuneUp();
    void identTest();
    void ricCapSearch();
    void fastSearch();
    void autoSendPoll();
    void manualKeyUpThenClose();
    void exceptionEscapingTheEventLoop();
    void quitWhileOnAir();
};

void WindowKeyingTest::sendPage() {
    int n = 0;
    for (Fault fault :
         {Fault::None, Fault::AudioOpenFails, Fault::AudioThrows, Fault::AudioNeverDrains,
          Fault::PortFails, Fault::Stop, Fault::Close, Fault::Refused}) {
        Bench b(fault, n % 8, n % 2 == 1);
        ++n;
        control<QLineEdit>(*b.form, "RicEdit")
            .setText(fault == Fault::Refused ? QStringLiteral("12x4") : QStringLiteral("1234"));
        control<MessageEdit>(*b.form, "MsgEdit").setPlainText(QStringLiteral("safety"));
        if (fault == Fault::Refused)
            onNextModal(pressOk, 3000);
        // An output that throws is one that did not play: nothing escapes the handler.
        QCOMPARE(b.run([&] { b.form->TxButtonClick(); }), QString());
        b.check(QStringLiteral("SEND"), fault != Fault::Refused);
    }
}

void WindowKeyingTest::tuneUp() {
    int n = 3;
    for (Fault fault : WindowFaults) {
        Bench b(fault, n % 8, n % 2 == 0);
        ++n;
        control<QSpinBox>(*b.form, "TuneTime").setValue(1);
        b.run([&] { control<PictureButton>(*b.form, "btPa").click(); });
        b.check(QStringLiteral("tune-up"), true);
    }
}

void WindowKeyingTest::identTest() {
    int n = 5;
    for (Fault fault : {Fault::AudioThrows, Fault::PortFails, Fault::Stop, Fault::Close}) {
        Bench b(fault, n % 8, n % 2 == 0);
        ++n;
        TIdentForm& d = *b.form->dialogs().ident;
        d.edIdent()->setText(QStringLiteral("E"));
        QCOMPARE(b.run([&] { d.btTestClick(); }), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!b.form->IdentInProgress(), 5000);
        b.check(QStringLiteral("ident"), true);
    }
}

void WindowKeyingTest::ricCapSearch() {
    int n = 1;
    for (Fault fault : WindowFaults) {
        Bench b(fault, n % 8, n % 2 == 1);
        ++n;
        TRSForm& rs = *b.form->dialogs().ricSearch;
        rs.edSRIC()->setText(QStringLiteral("0000008"));
        rs.edERic()->setText(QStringLiteral("0000009"));
        rs.show();
        b.run([&] {
            rs.btStartClick();
            QTRY_VERIFY_WITH_TIMEOUT(!rs.SearchRunning, 15000);
        });
        QVERIFY(!rs.SearchRunning);
        b.check(QStringLiteral("RIC/CAP search"), true);
    }
}

void WindowKeyingTest::fastSearch() {
    int n = 2;
    // A failing port is left to the transmitter-level sweep: a whole fast-search block at
    // 2400 bit/s and its pause take eight seconds.
    for (Fault fault : {Fault::Stop, Fault::Close}) {
        Bench b(fault, n % 8, n % 2 == 0);
        ++n;
        TFastForm& fast = *b.form->dialogs().fastSearch;
        fast.edStart()->setText(QStringLiteral("1000"));
        fast.edStop()->setText(QStringLiteral("1001"));
        fast.show();
        b.run([&] {
            fast.Button1Click();
            QTRY_VERIFY_WITH_TIMEOUT(!fast.searching(), 20000);
        });
        fast.reject();
        b.check(QStringLiteral("fast search"), true);
    }
}

void WindowKeyingTest::autoSendPoll() {
    int n = 6;
    for (Fault fault : {Fault::Stop, Fault::Close, Fault::Refused}) {
        Bench b(fault, n % 8, n % 2 == 1);
        ++n;
        TAutoForm& a = *b.form->dialogs().autoSend;
        QFile file(QDir(b.form->ProgramFolder).filePath(a.edFileName()->text()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        // A refused entry is passed over; the good one after it still goes out.
        file.write(fault == Fault::Refused ? "11A2400N9999999Bad\r\n" : "11A2400N0000042One\r\n");
        file.write("11A2400N0000043Two\r\n");
        file.close();
        b.run([&] { a.TxTimerTimer(); }); // a refused entry shows no box now
        QTRY_VERIFY_WITH_TIMEOUT(!b.form->station().busy(), 15000);
        b.check(QStringLiteral("auto send"), true);
        if (fault == Fault::Close) {
            // The entry the close kept from the air is back in the file for the next start.
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("T000000000011A2400N0000043Two\r\n"));
            file.close();
        }
    }
}

void WindowKeyingTest::manualKeyUpThenClose() {
    // "Keyup the Tx" holds the transmitter keyed until chosen again; closing the window
    // must not leave it so.
    for (const bool inv : {false, true}) {
        Bench b(Fault::None, 4, inv);
        control<QAction>(*b.form, "KeyTx1").trigger();
        QCOMPARE(b.port->values().back(), keyByte(4, inv, true));
        b.form->close();
        b.closed = true;
        b.writesAtClose = b.port->writes().size() - 1; // the release the close wrote
        b.check(QStringLiteral("manual key-up, then close"), true);
    }
}

void WindowKeyingTest::exceptionEscapingTheEventLoop() {
    // The program's event loop with a manual key-up standing and a handler that throws.
    Bench b(Fault::None, 2, true);
    control<QAction>(*b.form, "KeyTx1").trigger();
    QCOMPARE(b.port->values().back(), keyByte(2, true, true));
    QTimer::singleShot(0, b.form.get(), [] { throw std::runtime_error("handler failed"); });
    QCOMPARE(execReleasing(*QCoreApplication::instance(), *b.form), 1);
    b.check(QStringLiteral("exception out of the event loop"), true);
    QVERIFY(b.form->station().status().releasedForGood);
}

void WindowKeyingTest::quitWhileOnAir() {
    // The loop is ended (not the window) in the middle of a page: the page unwinds, and the
    // window is then closed as the operator would, which saves and releases.
    Bench b(Fault::None, 1, false);
    control<QLineEdit>(*b.form, "RicEdit").setText(QStringLiteral("99"));
    b.port->onKey = [] { QTimer::singleShot(250, [] { QCoreApplication::quit(); }); };
    QTimer::singleShot(0, b.form.get(), [&] { b.form->TxButtonClick(); });
    QCOMPARE(execReleasing(*QCoreApplication::instance(), *b.form), 0);
    QVERIFY(b.form->closing());
    b.closed = true;
    b.writesAtClose = b.port->writes().size() - 1; // the release the close wrote
    b.check(QStringLiteral("quit while on air"), true);
    QVERIFY(QFile::exists(b.folder.filePath(QStringLiteral("Tarvex.ini"))));
}

TARVEX_GUI_TEST_MAIN(WindowKeyingTest)
#include "window_keying_test.moc"
