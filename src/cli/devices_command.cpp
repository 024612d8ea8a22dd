// tarvex-cli devices: what this station could use — audio outputs for --audio and the
// keying methods with the devices found for them.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "txcontrol/port_writer.h"
#include "txcontrol/ptt/ptt_devices.h"
#include "txcontrol/ptt/ptt_factory.h"

#ifdef TARVEX_HAVE_ALSA
#include "signal/alsa_audio_output.h"
#endif
#ifdef TARVEX_WITH_QT
#include "signal/qt_audio_output.h"
#include <QCoreApplication>
#endif

#include <filesystem>
#include <iostream>

namespace tarvex::cli {

namespace {

void listDevices(const char* title, const std::vector<PttDevice>& devices) {
    std::cout << title << "\n";
    if (devices.empty())
        std::cout << "  (none found)\n";
    for (const auto& d : devices)
        std::cout << "  " << d.path << (d.description.empty() ? "" : "  " + d.description) << "\n";
}

} // namespace

int runDevices(const Args& argv) {
    const Arguments args(argv, {});
    std::cout << "Audio outputs (--audio):\n  default\n";
#ifdef TARVEX_WITH_QT
    static int argc = 1;
    static char name[] = "tarvex-cli";
    static char* qtArgv[] = {name, nullptr};
    QCoreApplication app(argc, qtArgv);
    for (const auto& description : QtAudioOutput::deviceDescriptions())
        std::cout << "  qt:" << description << "\n";
#endif
#ifdef TARVEX_HAVE_ALSA
    for (const auto& device : AlsaAudioOutput::deviceNames())
        std::cout << "  alsa:" << device << "\n";
#endif
    std::cout << "  wav:FILE\n";

    std::cout << "Keying methods (--ptt):";
    for (PttMethod m : availablePttMethods())
        std::cout << " " << pttMethodName(m);
    std::cout << "\n";

    std::vector<PttDevice> parports;
    for (int lpt = 0; lpt < 2; ++lpt) {
        const auto device = parportDeviceForAddress(lptDataAddress(lpt));
        if (device && std::filesystem::exists(*device))
            parports.push_back({*device, lpt == 0 ? "LPT1 (--port lpt1)" : "LPT2 (--port lpt2)"});
    }
    listDevices("Parallel ports (--ptt parallel):", parports);
    listDevices("Serial ports (--ptt serial-rts / serial-dtr --ptt-device):", listSerialDevices());
    listDevices("CM108 sound cards (--ptt cm108 --ptt-device):", listCm108Devices());
    listDevices("GPIO chips (--ptt gpio --ptt-device):", listGpioChips());
    return 0;
}

} // namespace tarvex::cli
