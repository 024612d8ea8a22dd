// tarvex-cli devices: what this station could use — audio outputs for --audio and the
// keying methods with the devices found for them.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "txcontrol/ptt/ptt_methods.h"

#ifdef TARVEX_HAVE_ALSA
#include "signal/alsa_audio_output.h"
#endif
#ifdef TARVEX_WITH_QT
#include "signal/qt_audio_output.h"
#include <QCoreApplication>
#endif

#include <algorithm>
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

/// Each lister once, under "Serial ports (--ptt serial-rts / serial-dtr --ptt-device):",
/// naming every method that shares it.
void listMethodDevices() {
    const auto methods = pttMethods();
    for (auto m = methods.begin(); m != methods.end(); ++m) {
        if (m->devices.list == nullptr)
            continue;
        const bool first = std::find_if(methods.begin(), m, [m](const PttMethodInfo& e) {
                               return e.devices.list == m->devices.list;
                           }) == m;
        if (!first)
            continue;
        std::string title = std::string(m->devices.what) + " (--ptt ";
        std::string names;
        for (auto same = m; same != methods.end(); ++same)
            if (same->devices.list == m->devices.list)
                names += (names.empty() ? "" : " / ") + std::string(same->name);
        title += names + (m->uses(PttDeviceField) ? " --ptt-device):" : "):");
        listDevices(title.c_str(), m->devices.list());
    }
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
    for (const PttMethodInfo& m : pttMethods())
        if (m.available)
            std::cout << " " << m.name;
    std::cout << "\n";
    listMethodDevices();
    return 0;
}

} // namespace tarvex::cli
