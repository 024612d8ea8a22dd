// The audio output chosen under Setup, through the real window: the menu item opens the
// dialog with the stored choice, Done opens the new output and plays the next page through
// it, the choice comes back after a restart, a choice made while a page is on air waits for
// the release, one that cannot be opened changes nothing, a stored device that is gone falls
// back to the default and says so, and an output the setup forces wins at start-up.
#include "gui_test_support.h"

#include "app/audio_form.h"
#include "app/ident_form.h"
#include "app/message_edit.h"
#include "app/program_entry.h"
#include "signal/audio_choice.h"
#include "signal/null_output.h"
#include "signal/signal_gen.h"
#include "station/settings_values.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>

using namespace tarvex;
using namespace tarvex::test;

namespace {

/// A recording output that carries the name of the choice it was opened for and notes each
/// play in a log that outlives it.
class NamedOutput : public NullOutput {
public:
    NamedOutput(std::string name, std::vector<std::string>& plays)
        : m_name(std::move(name)), m_plays(plays) {}
    std::string name() const override { return m_name; }
    bool play(std::span<const uint8_t> image, PlayMode mode) override {
        m_plays.push_back(m_name);
        return NullOutput::play(image, mode);
    }

private:
    std::string m_name;
    std::vector<std::string>& m_plays;
};

/// Opens NamedOutputs ("fake:BACKEND:DEVICE") and remembers every call; the device named in
/// `refuse` cannot be opened.
struct FakeOpener {
    std::vector<std::string> calls;
    std::vector<std::string> plays; ///< the output of each play, by name
    std::string refuse;

    MainFormSetup::OpenAudio function() {
        return [this](std::string_view backend, std::string_view device, std::string*,
                      std::string* error) -> std::unique_ptr<AudioOutput> {
            calls.push_back(std::string(backend) + ":" + std::string(device));
            if (!refuse.empty() && device == refuse) {
                *error = "device busy";
                return nullptr;
            }
            return std::make_unique<NamedOutput>("fake:" + calls.back(), plays);
        };
    }
};

std::vector<std::string> fakeDevices(const std::string& backend) {
    if (backend == "alsa")
        return {"default", "null"};
    return {"Built-in Audio", "USB Audio CODEC"};
}

/// A main window that plays through the operator's stored choice (nothing forced), with its
/// settings in `file` and the Audio output dialog listing fakeDevices.
std::unique_ptr<TMainForm> storedChoiceWindow(const QString& file, MainFormSetup setup = {}) {
    setup.programFolder = QFileInfo(file).absolutePath();
    setup.port = std::make_shared<RecordingPortWriter>();
    setup.portName = QStringLiteral("recording port");
    setup.settingsFile = file;
    auto form = std::make_unique<TMainForm>(std::move(setup));
    MainFormDialogs dialogs = createDialogs(*form);
    delete dialogs.audio;
    dialogs.audio = new TAudioForm(form.get(), fakeDevices);
    form->setDialogs(dialogs);
    form->show();
    if (!form->started())
        form->FormActivate();
    QApplication::processEvents();
    return form;
}

void writeStore(const QString& file, const QString& backend, const QString& device) {
    QSettings store(file, QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Tarvex"));
    store.setValue(QStringLiteral("AudioBackend"), backend);
    store.setValue(QStringLiteral("AudioDevice"), device);
    store.sync();
}

QString storedText(const QString& file, const QString& name) {
    QSettings store(file, QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Tarvex"));
    return store.value(name).toString();
}

/// Opens Setup > Audio Output, lets `act` work on the dialog, and returns what it showed.
std::pair<std::string, std::string> throughDialog(TMainForm& form,
                                                  const std::function<void(TAudioForm&)>& act) {
    std::pair<std::string, std::string> shown;
    bool seen = false;
    onNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<TAudioForm*>(w);
        if (dialog == nullptr) {
            pressOk(w);
            return;
        }
        seen = true;
        shown = {dialog->backend(), dialog->device()};
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    control<QAction>(form, "AudioOutput1").trigger();
    if (!seen)
        qWarning("the Audio output dialog did not open");
    return shown;
}

void chooseDevice(TAudioForm& dialog, const QString& device) {
    dialog.cbDevice()->setCurrentIndex(dialog.cbDevice()->findData(device));
    dialog.btDone()->click();
}

} // namespace

class AudioChoiceTest : public QObject {
    Q_OBJECT
private slots:
    void menuItemFollowsTheSetupItems();
    void doneSwitchesTheOutputAndTheChoiceSurvivesARestart();
    void choiceWhileOnAirWaitsForTheRelease();
    void choiceThatCannotBeOpenedChangesNothing();
    void goneDeviceFallsBackToTheDefaultAndSaysSo_data();
    void goneDeviceFallsBackToTheDefaultAndSaysSo();
    void forcedOutputWinsAtStartUp();
#ifdef TARVEX_HAVE_ALSA
    void chosenAlsaNullPlaysAPageWithoutASoundCard();
#endif
};

void AudioChoiceTest::menuItemFollowsTheSetupItems() {
    Rig rig;
    QMenu* setupMenu = nullptr;
    for (QAction* a : rig.form->menuBar()->actions()) {
        if (a->text() == QStringLiteral("Setup"))
            setupMenu = a->menu();
    }
    QVERIFY(setupMenu != nullptr);
    const QList<QAction*> items = setupMenu->actions();
    QStringList captions;
    for (const QAction* a : items)
        captions << a->text();
    // The stock items first, then the program's own, and last (the bar has no File menu)
    // the way out.
    QCOMPARE(captions,
             (QStringList{"&Auto Send Setup", "&Station Ident", "&Keying", "Sync && Idle &Values",
                          "Audio &Output", "&Pagers", "&DAPNET", "Off-air &monitor", "", "E&xit"}));
}

void AudioChoiceTest::doneSwitchesTheOutputAndTheChoiceSurvivesARestart() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, QStringLiteral("qt"), QStringLiteral("Built-in Audio"));
    FakeOpener opener;
    MainFormSetup setup;
    setup.openAudio = opener.function();
    {
        auto form = storedChoiceWindow(file, setup);
        QCOMPARE(opener.calls, (std::vector<std::string>{"qt:Built-in Audio"}));
        QCOMPARE(form->statusLine().audioText(), QStringLiteral("Audio: fake:qt:Built-in Audio"));

        const auto shown = throughDialog(
            *form, [](TAudioForm& d) { chooseDevice(d, QStringLiteral("USB Audio CODEC")); });
        QCOMPARE(shown, (std::pair<std::string, std::string>{"qt", "Built-in Audio"}));
        QCOMPARE(opener.calls.back(), std::string("qt:USB Audio CODEC"));
        QCOMPARE(form->station().status().audio, std::string("fake:qt:USB Audio CODEC"));
        QCOMPARE(form->statusLine().audioText(), QStringLiteral("Audio: fake:qt:USB Audio CODEC"));

        // The next page plays through the new output, none through the old one.
        control<QLineEdit>(*form, "RicEdit").setText(QStringLiteral("1234"));
        QCOMPARE(form->TxButtonClick(), SendResult::Sent);
        QCOMPARE(opener.plays, std::vector<std::string>{"fake:qt:USB Audio CODEC"});

        // Done without a change opens nothing.
        throughDialog(*form, [](TAudioForm& d) { d.btDone()->click(); });
        QCOMPARE(opener.calls.size(), size_t{2});
        form->close();
    }
    QCOMPARE(storedText(file, QStringLiteral("AudioBackend")), QStringLiteral("qt"));
    QCOMPARE(storedText(file, QStringLiteral("AudioDevice")), QStringLiteral("USB Audio CODEC"));

    opener.calls.clear();
    auto again = storedChoiceWindow(file, setup);
    QCOMPARE(opener.calls, (std::vector<std::string>{"qt:USB Audio CODEC"}));
    QCOMPARE(again->station().status().audio, std::string("fake:qt:USB Audio CODEC"));
    const auto shown = throughDialog(*again, [](TAudioForm&) {});
    QCOMPARE(shown, (std::pair<std::string, std::string>{"qt", "USB Audio CODEC"}));
    again->close();
}

void AudioChoiceTest::choiceWhileOnAirWaitsForTheRelease() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, QStringLiteral("qt"), QStringLiteral("Built-in Audio"));
    FakeOpener opener;
    MainFormSetup setup;
    setup.openAudio = opener.function();
    auto form = storedChoiceWindow(file, setup);
    bool pendingDuringPage = false;
    std::string outputDuringPage;
    QTimer::singleShot(300, form.get(), [&] {
        QVERIFY(form->pageOnAir());
        form->applyAudioChoice(QStringLiteral("alsa"), QStringLiteral("null"));
        pendingDuringPage = form->audioSwitchPending();
        outputDuringPage = form->station().status().audio;
    });
    control<QLineEdit>(*form, "RicEdit").setText(QStringLiteral("1234"));
    QCOMPARE(form->TxButtonClick(), SendResult::Sent);
    QVERIFY(pendingDuringPage);
    QCOMPARE(outputDuringPage, std::string("fake:qt:Built-in Audio"));
    // The whole page went out through the old output; the new one took over at the release.
    QCOMPARE(opener.plays, std::vector<std::string>{"fake:qt:Built-in Audio"});
    QVERIFY(!form->audioSwitchPending());
    QCOMPARE(form->station().status().audio, std::string("fake:alsa:null"));
    QCOMPARE(form->statusLine().audioText(), QStringLiteral("Audio: fake:alsa:null"));
    QCOMPARE(form->AudioBackend, QStringLiteral("alsa"));

    // A Morse ident on air holds the switch back the same way, until it has ended.
    form->dialogs().ident->edIdent()->setText(QStringLiteral("E"));
    bool pendingDuringIdent = false;
    std::string outputDuringIdent;
    QTimer::singleShot(100, form.get(), [&] {
        QVERIFY(form->IdentInProgress());
        form->applyAudioChoice(QStringLiteral("qt"), QStringLiteral("USB Audio CODEC"));
        pendingDuringIdent = form->audioSwitchPending();
        outputDuringIdent = form->station().status().audio;
    });
    QVERIFY(form->sendIdent(true));
    QVERIFY(pendingDuringIdent);
    QCOMPARE(outputDuringIdent, std::string("fake:alsa:null"));
    QCOMPARE(form->station().status().audio, std::string("fake:qt:USB Audio CODEC"));
    QVERIFY(!form->audioSwitchPending());
    form->close();
}

void AudioChoiceTest::choiceThatCannotBeOpenedChangesNothing() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, QStringLiteral("qt"), QStringLiteral("Built-in Audio"));
    FakeOpener opener;
    opener.refuse = "USB Audio CODEC";
    MainFormSetup setup;
    setup.openAudio = opener.function();
    {
        auto form = storedChoiceWindow(file, setup);
        throughDialog(*form,
                      [](TAudioForm& d) { chooseDevice(d, QStringLiteral("USB Audio CODEC")); });
        QCOMPARE(form->station().status().audio, std::string("fake:qt:Built-in Audio"));
        QCOMPARE(form->statusLine().failureText(),
                 QStringLiteral("Audio output qt:USB Audio CODEC cannot be opened (device busy); "
                                "still playing through fake:qt:Built-in Audio."));
        QCOMPARE(form->AudioDevice, QStringLiteral("Built-in Audio"));
        form->close();
    }
    QCOMPARE(storedText(file, QStringLiteral("AudioDevice")), QStringLiteral("Built-in Audio"));
}

void AudioChoiceTest::goneDeviceFallsBackToTheDefaultAndSaysSo_data() {
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("output");
    // Through ALSA's device list where the build has it (it needs no sound server), else
    // through the Qt backend's.
    if (std::ranges::count(audioBackends(), "alsa") > 0)
        QTest::newRow("alsa") << QStringLiteral("alsa") << QStringLiteral("Audio: alsa:default");
    else
        QTest::newRow("qt") << QStringLiteral("qt") << QStringLiteral("Audio: qt:default");
}

void AudioChoiceTest::goneDeviceFallsBackToTheDefaultAndSaysSo() {
    QFETCH(QString, backend);
    QFETCH(QString, output);
    // No card has this name: the real device listing cannot find it.
    const QString gone = QStringLiteral("plughw:CARD=TarvexGone,DEV=0");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, backend, gone);
    {
        auto form = storedChoiceWindow(file);
        QCOMPARE(form->statusLine().failureText(),
                 QStringLiteral("Audio device \"%1\" is not there any more; using the default "
                                "output.")
                     .arg(gone));
        QCOMPARE(form->statusLine().audioText(), output);
        // Kept as chosen, so that the device is used again once it is back.
        QCOMPARE(form->AudioDevice, gone);
        const auto shown = throughDialog(*form, [](TAudioForm&) {});
        QCOMPARE(QString::fromStdString(shown.second), gone);
        form->close();
    }
    QCOMPARE(storedText(file, QStringLiteral("AudioDevice")), gone);
}

void AudioChoiceTest::forcedOutputWinsAtStartUp() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, QStringLiteral("alsa"), QStringLiteral("null"));
    FakeOpener opener;
    MainFormSetup setup;
    setup.openAudio = opener.function();
    setup.audioChoice = "null";
    auto form = storedChoiceWindow(file, setup);
    QVERIFY(opener.calls.empty());
    QCOMPARE(form->station().status().audio, std::string("null"));
    // The stored choice is still what the dialog shows, and what is saved.
    QCOMPARE(form->AudioBackend, QStringLiteral("alsa"));
    QCOMPARE(form->AudioDevice, QStringLiteral("null"));
    // A choice the operator makes now is the operator's: it is opened.
    throughDialog(*form, [](TAudioForm& d) {
        d.cbBackend()->setCurrentIndex(0);
        chooseDevice(d, QStringLiteral("USB Audio CODEC"));
    });
    QCOMPARE(form->station().status().audio, std::string("fake:qt:USB Audio CODEC"));
    form->close();
}

#ifdef TARVEX_HAVE_ALSA
void AudioChoiceTest::chosenAlsaNullPlaysAPageWithoutASoundCard() {
    // The real opener and ALSA's "null" device, which takes samples with no card at all.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvex.ini"));
    writeStore(file, QStringLiteral("qt"), QString());
    auto form = storedChoiceWindow(file);
    QCOMPARE(form->statusLine().audioText(), QStringLiteral("Audio: qt:default"));
    throughDialog(*form, [](TAudioForm& d) {
        d.cbBackend()->setCurrentIndex(d.cbBackend()->findData(QStringLiteral("alsa")));
        chooseDevice(d, QStringLiteral("null"));
    });
    QCOMPARE(form->statusLine().audioText(), QStringLiteral("Audio: alsa:null"));
    control<QLineEdit>(*form, "RicEdit").setText(QStringLiteral("1234"));
    control<MessageEdit>(*form, "MsgEdit").setPlainText(QStringLiteral("via ALSA"));
    QCOMPARE(form->TxButtonClick(), SendResult::Sent);
    QCOMPARE(form->station().status().audioError, std::string());
    QCOMPARE(form->statusLine().failureText(), QString());
    QCOMPARE(form->station().state(), OnAirState::Idle);
    form->close();
    QCOMPARE(storedText(file, QStringLiteral("AudioBackend")), QStringLiteral("alsa"));
    QCOMPARE(storedText(file, QStringLiteral("AudioDevice")), QStringLiteral("null"));
}
#endif

TARVEX_GUI_TEST_MAIN(AudioChoiceTest)
#include "test_audio_choice.moc"
