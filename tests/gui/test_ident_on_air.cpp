// tarvex-gui-ident: sends the station ident through the real main window (the Station Ident
// dialog's Test button), or with --tune the tune-up (TUNE-UP, optionally during a manual
// key-up from the menu), with the chosen audio output and a recording port. Prints the port
// writes, the generator state afterwards, the key-up mark and any failure, and writes the
// played image to a file, for the end-to-end test that records and decodes it.
//
//   tarvex-gui-ident --work DIR --callsign CALL [--level 0..100] [--audio default|wav:FILE]
//   tarvex-gui-ident --work DIR --tune SECONDS [--baud 512|1200|2400] [--keyup] [--audio A]
#include "gui_test_support.h"

#include "app/ident_form.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "app/program_entry.h"
#include "app/status_line.h"
#include "signal/signal_gen.h"
#include "txcontrol/port_writer.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>

using namespace tarvex;
using tarvex::test::control;

namespace {

void sendIdent(TMainForm& form, const QCommandLineParser& args) {
    TIdentForm& ident = *form.dialogs().ident;
    ident.edIdent()->setText(args.value(QStringLiteral("callsign")));
    ident.SetVolume()->setValue(args.value(QStringLiteral("level")).toInt());
    ident.btTest()->click();
}

void sendTuneUp(TMainForm& form, const QCommandLineParser& args) {
    const QString baud = args.value(QStringLiteral("baud"));
    control<PictureButton>(form, baud == QLatin1String("512")    ? "BR1"
                                 : baud == QLatin1String("2400") ? "BR3"
                                                                 : "BR2")
        .click();
    control<QSlider>(form, "Volume").setValue(100);
    control<QSpinBox>(form, "TuneTime").setValue(args.value(QStringLiteral("tune")).toInt());
    if (args.isSet(QStringLiteral("keyup")))
        control<QAction>(form, "KeyTx1").trigger();
    control<PictureButton>(form, "btPa").click();
}

int run(TMainForm& form, const QCommandLineParser& args, const RecordingPortWriter& port) {
    const auto before = port.writes().size();
    if (args.isSet(QStringLiteral("tune")))
        sendTuneUp(form, args);
    else
        sendIdent(form, args);

    QFile image(args.value(QStringLiteral("work")) + QStringLiteral("/played.wav"));
    const auto bytes = form.station().lastSound();
    if (!image.open(QIODevice::WriteOnly) ||
        image.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        return 1;
    for (auto i = before; i < port.writes().size(); ++i)
        std::printf("port %03X=%02X\n", port.writes()[i].port, port.writes()[i].value);
    std::printf("duration %u\nbaud %d\nlevel %d\nmark %d\n", form.station().signal().durationMs,
                form.station().signal().baud, form.station().signal().level,
                control<QAction>(form, "KeyTx1").isChecked() ? 1 : 0);
    const QString failure = form.statusLine().failureText();
    std::printf("failure %s\n", qPrintable(failure));
    return failure.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser args;
    for (const char* option : {"work", "callsign", "level", "audio", "tune", "baud"})
        args.addOption(
            {QString::fromLatin1(option), QString::fromLatin1(option), QStringLiteral("value")});
    args.addOption({QStringLiteral("keyup"), QStringLiteral("manual key-up before the tune-up")});
    args.process(app);

    auto port = std::make_shared<RecordingPortWriter>();
    MainFormSetup setup;
    setup.programFolder = args.value(QStringLiteral("work"));
    setup.audioChoice = args.isSet(QStringLiteral("audio"))
                            ? args.value(QStringLiteral("audio")).toStdString()
                            : std::string("default");
    setup.port = port;
    setup.portName = QStringLiteral("recording port");
    // A fresh settings store in the work folder, never the user's own.
    setup.settingsFile = args.value(QStringLiteral("work")) + QStringLiteral("/Tarvex.ini");
    QFile::remove(setup.settingsFile);
    TMainForm form(std::move(setup));
    createDialogs(form);
    form.show();
    int result = 1;
    QTimer::singleShot(200, [&] {
        if (!form.started())
            form.FormActivate(); // platforms that do not activate windows
        result = run(form, args, *port);
        form.close();
        QApplication::quit();
    });
    app.exec();
    std::fflush(stdout);
    return result;
}
