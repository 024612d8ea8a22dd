#include "app/program_entry.h"

#include "app/about_form.h"
#include "app/audio_form.h"
#include "app/auto_form.h"
#include "app/dapnet_form.h"
#include "app/dialog_support.h"
#include "app/fast_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/main_form.h"
#include "app/mess_form.h"
#include "app/monitor_form.h"
#include "app/pagers_form.h"
#include "app/rs_form.h"
#include "app/single_instance.h"
#include "app/station_busy.h"
#include "app/status_line.h"
#include "app/sync_idle_form.h"
#include "encoder/errors.h"
#include "network/dapnet/auth_key_file.h"
#include "paging/release_on_signal.h"
#include "signal/signal_gen.h"
#include "station/qt/settings_file.h"
#include "station/station_hold.h"
#include "station/station_settings.h"
#include "txcontrol/recording_file_port.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <cstdio>
#include <exception>

namespace tarvex {

MainFormDialogs createDialogs(TMainForm& form) {
    MainFormDialogs d;
    d.about = new TAboutForm(&form);
    d.about->setFolderNote(QStringLiteral("Program folder: %1").arg(form.ProgramFolder));
    d.mess = new TMessForm(form);
    d.autoSend = new TAutoForm(form);
    d.ident = new TIdentForm(form, &form);
    d.keying = new TKeyingForm(&form);
    d.ricSearch = new TRSForm(form);
    d.fastSearch = new TFastForm(form);
    d.syncIdle =
        new TSIForm([&form](const std::string& sync,
                            const std::string& idle) { form.station().setSyncIdle(sync, idle); },
                    &form);
    d.audio = new TAudioForm(&form);
    d.pagers = new TPagersForm(form.ProgramFolder, &form);
    d.dapnet = new TDapnetForm(QString::fromStdString(defaultAuthKeyFile()), &form);
    d.monitor = new TMonitorForm(&form);
    form.setDialogs(d);
    return d;
}

namespace {

/// Chooses the port from TARVEX_PORT: "record:FILE" appends every key byte to FILE (tests
/// and stations without a parallel port). False, after the reason on stderr, when the
/// value is not understood or the file cannot be opened.
bool choosePortFromEnvironment(MainFormSetup& setup) {
    const QByteArray port = qgetenv("TARVEX_PORT");
    if (port.isEmpty())
        return true;
    if (!port.startsWith("record:") || port.size() == 7) {
        std::fprintf(stderr, "tarvex: TARVEX_PORT must be record:FILE, not '%s'\n",
                     port.constData());
        return false;
    }
    try {
        setup.port = std::make_shared<RecordingFilePort>(port.mid(7).toStdString());
    } catch (const Error& e) {
        std::fprintf(stderr, "tarvex: TARVEX_PORT: %s\n", e.what());
        return false;
    }
    setup.portName = QStringLiteral("record %1").arg(QString::fromLocal8Bit(port.mid(7)));
    return true;
}

/// The station hold's lock files for the keying the stored settings choose (or the
/// recording port the environment forces).
std::vector<std::string> holdPathsFor(const MainFormSetup& setup) {
    if (setup.port) {
        PttSettings recorded;
        recorded.method = "none";
        return stationHoldPaths(recorded, {});
    }
    const auto store = openSettingsStore(setup.settingsFile);
    const StationSettings stored = readStationSettings(
        [&store](std::string_view name) { return storedValue(*store, name); }, {});
    return stationHoldPaths(
        stored.ptt, parportDeviceForAddress(lptDataAddress(stored.keying.Port)).value_or(""));
}

} // namespace

void closeOnSignals(TMainForm& form) {
    std::string error;
    if (!ReleaseSignals::install(&error)) {
        std::fprintf(stderr, "tarvex: %s\n", error.c_str());
        return;
    }
    if (ReleaseSignals::wakeFd() < 0)
        return;
    auto* notifier = new QSocketNotifier(ReleaseSignals::wakeFd(), QSocketNotifier::Read, &form);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
        ReleaseSignals::drain();
        const int signal = ReleaseSignals::received();
        if (signal == 0)
            return;
        // Runs on the window's thread, possibly inside the waits of a page: the close stops
        // the sound, releases and holds the transmitter, ends the running commands and saves
        // the settings; then every event loop ends with 128 + the signal.
        form.close();
        QCoreApplication::exit(ReleaseSignals::exitStatus(signal));
    });
}

int execReleasing(QCoreApplication& app, TMainForm& form) {
    try {
        const int status = app.exec();
        if (!form.closing())
            form.close(); // the loop ended without the window: close it as the operator would
        return status;
    } catch (const std::exception& e) {
        form.station().close();
        std::fprintf(stderr, "tarvex: %s (transmitter released)\n", e.what());
    } catch (...) {
        form.station().close();
        std::fprintf(stderr, "tarvex: unexpected failure (transmitter released)\n");
    }
    return 1;
}

int runProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("dovrik-apps"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarvex/tarvex.png")));

    // A second copy of the same program hands over to the first and ends quietly.
    SingleInstanceGuard guard(
        SingleInstanceGuard::titleFor(QCoreApplication::applicationFilePath()));
    if (guard.handOver())
        return 0;

    MainFormSetup setup;
    if (!choosePortFromEnvironment(setup))
        return 2;
    // Only one program keys the transmitter: while a running tarvexd (or another station on
    // the same keying device) holds it, a window says so and waits for the station.
    StationHold hold;
    std::string holder;
    if (!hold.acquire(holdPathsFor(setup), &holder) &&
        !waitForStation(hold, holdPathsFor(setup), holder))
        return 1;
    // Headless stations and tests may choose the output (e.g. "wav:/tmp/page.wav").
    const QByteArray audio = qgetenv("TARVEX_AUDIO");
    if (!audio.isEmpty())
        setup.audioChoice = audio.toStdString();
    TMainForm form(std::move(setup));
    createDialogs(form);
    QObject::connect(&guard, &SingleInstanceGuard::activationRequested, &form,
                     &TMainForm::bringForward);
    closeOnSignals(form);
    form.show();
    return execReleasing(app, form);
}

} // namespace tarvex
