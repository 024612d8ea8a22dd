// tarvex-gui-send: sends one page through the real main window, the way the operator would
// (page buttons, RIC/CAP field, message, SEND), with the chosen audio output and a recording
// port. Prints the port writes and the page log, and writes the played image to a file, for
// the end-to-end test that records and decodes what the sound server played. "keyed" goes to
// standard error the moment the port is first keyed, for tests that act while on air.
//
//   tarvex-gui-send --work DIR --ric R --message M [--baud 512|1200|2400] [--numeric]
//                   [--inverted] [--func 0..3] [--audio default|wav:FILE|null]
#include "gui_test_support.h"

#include "app/main_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "app/program_entry.h"
#include "app/status_line.h"
#include "signal/signal_gen.h"
#include "txcontrol/port_writer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QFile>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>

#include <cstdio>

using namespace tarvex;
using tarvex::test::control;

namespace {

int sendPage(TMainForm& form, const QCommandLineParser& args, const RecordingPortWriter& port,
             const QString& work) {
    control<QAction>(form, "Options1").trigger();
    const QString baud = args.value(QStringLiteral("baud"));
    control<PictureButton>(form, baud == QLatin1String("512")    ? "BR1"
                                 : baud == QLatin1String("2400") ? "BR3"
                                                                 : "BR2")
        .click();
    control<PictureButton>(form, args.isSet(QStringLiteral("inverted")) ? "NI2" : "NI1").click();
    control<PictureButton>(form, args.isSet(QStringLiteral("numeric")) ? "AN2" : "AN1").click();
    const char* fb[] = {"FB1", "FB2", "FB3", "FB4"};
    control<PictureButton>(form, fb[std::clamp(args.value(QStringLiteral("func")).toInt(), 0, 3)])
        .click();
    control<QSlider>(form, "Volume").setValue(100);
    control<QLineEdit>(form, "RicEdit").setText(args.value(QStringLiteral("ric")));
    control<MessageEdit>(form, "MsgEdit").setPlainText(args.value(QStringLiteral("message")));
    control<QCheckBox>(form, "logpages").setChecked(true);

    const auto before = port.writes().size();
    control<PictureButton>(form, "TxButton").click();

    QFile image(work + QStringLiteral("/played.wav"));
    const auto bytes = form.station().lastSound();
    if (!image.open(QIODevice::WriteOnly) ||
        image.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        return 1;
    for (auto i = before; i < port.writes().size(); ++i)
        std::printf("port %03X=%02X\n", port.writes()[i].port, port.writes()[i].value);
    QFile log(form.pageLogPath());
    if (log.open(QIODevice::ReadOnly))
        std::printf("log %s", log.readAll().replace("\r\n", "<CRLF>\n").constData());
    const QString failure = form.statusLine().failureText();
    std::printf("audio %s\nfailure %s\n", qPrintable(form.statusLine().audioText()),
                qPrintable(failure));
    return failure.isEmpty() ? 0 : 1;
}

/// The recording port, telling standard error when it is first keyed.
class AnnouncingPort : public RecordingPortWriter {
public:
    bool writeByte(uint16_t port, uint8_t value) override {
        if (value != 0 && !m_announced) {
            m_announced = true;
            std::fputs("keyed\n", stderr);
            std::fflush(stderr);
        }
        return RecordingPortWriter::writeByte(port, value);
    }

private:
    bool m_announced = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser args;
    for (const char* option : {"work", "ric", "message", "baud", "func", "audio"})
        args.addOption(
            {QString::fromLatin1(option), QString::fromLatin1(option), QStringLiteral("value")});
    args.addOption({QStringLiteral("numeric"), QStringLiteral("numeric coding")});
    args.addOption({QStringLiteral("inverted"), QStringLiteral("inverted polarity")});
    args.process(app);

    auto port = std::make_shared<AnnouncingPort>();
    MainFormSetup setup;
    setup.programFolder = args.value(QStringLiteral("work"));
    setup.audioChoice = args.isSet(QStringLiteral("audio"))
                            ? args.value(QStringLiteral("audio")).toStdString()
                            : std::string("default");
    setup.port = port;
    setup.portName = QStringLiteral("recording port");
    // The window loads and saves its settings: a fresh store in the work folder, never the
    // user's own.
    setup.settingsFile = args.value(QStringLiteral("work")) + QStringLiteral("/Tarvex.ini");
    QFile::remove(setup.settingsFile);
    TMainForm form(std::move(setup));
    createDialogs(form);
    form.show();
    int result = 1;
    QTimer::singleShot(200, [&] {
        if (!form.started())
            form.FormActivate(); // platforms that do not activate windows
        result = sendPage(form, args, *port, args.value(QStringLiteral("work")));
        form.close();
        QApplication::quit();
    });
    app.exec();
    std::fflush(stdout);
    return result;
}
