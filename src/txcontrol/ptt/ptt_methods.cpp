#include "txcontrol/ptt/ptt_methods.h"

#include "txcontrol/port_writer.h"
#include "txcontrol/ptt/cm108_ptt.h"
#include "txcontrol/ptt/serial_ptt.h"
#ifdef TARVEX_HAVE_HAMLIB
#include "txcontrol/ptt/hamlib_ptt.h"
#endif
#ifdef TARVEX_HAVE_GPIOD
#include "txcontrol/ptt/gpiod_ptt.h"
#endif

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

namespace tarvex {
namespace {

#ifdef TARVEX_HAVE_GPIOD
constexpr bool HaveGpiod = true;
#else
constexpr bool HaveGpiod = false;
#endif
#ifdef TARVEX_HAVE_HAMLIB
constexpr bool HaveHamlib = true;
#else
constexpr bool HaveHamlib = false;
#endif

[[maybe_unused]] std::unique_ptr<PttLine> refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return nullptr;
}

// The listers take no arguments here; the two serial methods share one, so they are listed
// under one heading.
std::vector<PttDevice> parallelPorts() {
    std::vector<PttDevice> ports;
    for (int lpt = 0; lpt < 2; ++lpt) {
        const auto device = parportDeviceForAddress(lptDataAddress(lpt));
        if (device && std::filesystem::exists(*device))
            ports.push_back({*device, lpt == 0 ? "LPT1 (--port lpt1)" : "LPT2 (--port lpt2)"});
    }
    return ports;
}
std::vector<PttDevice> serialPorts() {
    return listSerialDevices();
}
std::vector<PttDevice> cm108Cards() {
    return listCm108Devices();
}
std::vector<PttDevice> gpioChips() {
    return listGpioChips();
}

std::unique_ptr<PttLine> noLine(const PttSettings&, std::string*) {
    return std::make_unique<NoPttLine>();
}
std::unique_ptr<PttLine> serialRts(const PttSettings& s, std::string*) {
    return std::make_unique<SerialPtt>(s.device, SerialPttLine::Rts);
}
std::unique_ptr<PttLine> serialDtr(const PttSettings& s, std::string*) {
    return std::make_unique<SerialPtt>(s.device, SerialPttLine::Dtr);
}
std::unique_ptr<PttLine> cm108Line(const PttSettings& s, std::string*) {
    return std::make_unique<Cm108Ptt>(s.device, s.cm108Pin);
}
std::unique_ptr<PttLine> gpioLine([[maybe_unused]] const PttSettings& s, std::string* error) {
#ifdef TARVEX_HAVE_GPIOD
    (void)error;
    return std::make_unique<GpiodPtt>(s.device, s.gpioLine);
#else
    return refuse(error, "this build has no GPIO keying (libgpiod was not found)");
#endif
}
std::unique_ptr<PttLine> rigLine([[maybe_unused]] const PttSettings& s, std::string* error) {
#ifdef TARVEX_HAVE_HAMLIB
    (void)error;
    return std::make_unique<HamlibPtt>(s.rigModel, s.device, s.rigSpeed);
#else
    return refuse(error, "this build has no rig CAT keying (hamlib was not found)");
#endif
}

constexpr unsigned Line = PttPolarityField | PttDeviceField;

// The order names are listed in (tarvex-cli, the settings' allowed values); the Keying
// dialog puts the methods that key nothing last.
constexpr std::array Methods{
    PttMethodInfo{"parallel",
                  "Parallel port",
                  "Keys the data pin of the Port chosen on the left.",
                  PttPortField | PttPolarityField,
                  true,
                  {"Parallel ports", parallelPorts},
                  nullptr},
    PttMethodInfo{
        "none", "None (VOX)", "No keying: the radio keys on the audio.", 0, true, {}, noLine},
    PttMethodInfo{"serial-rts",
                  "Serial RTS",
                  "Raises the line of a serial port; the other line is left alone.",
                  Line,
                  true,
                  {"Serial ports", serialPorts},
                  serialRts},
    PttMethodInfo{"serial-dtr",
                  "Serial DTR",
                  "Raises the line of a serial port; the other line is left alone.",
                  Line,
                  true,
                  {"Serial ports", serialPorts},
                  serialDtr},
    PttMethodInfo{"cm108",
                  "CM108 GPIO",
                  "Sets a GPIO pin of a CM108-family USB sound card (hidraw device).",
                  Line | PttCm108PinField,
                  true,
                  {"CM108 sound cards", cm108Cards},
                  cm108Line},
    PttMethodInfo{"gpio",
                  "Linux GPIO",
                  "Sets a line of a GPIO chip.",
                  Line | PttGpioLineField,
                  HaveGpiod,
                  {"GPIO chips", gpioChips},
                  gpioLine},
    PttMethodInfo{"hamlib",
                  "Rig CAT (hamlib)",
                  "Keys the radio through its CAT commands; an empty device is the rig's own.",
                  Line | PttDeviceOptional | PttRigFields,
                  HaveHamlib,
                  {},
                  rigLine},
};

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::span<const PttMethodInfo> pttMethods() {
    return Methods;
}

std::string pttMethodNames(std::string_view separator) {
    std::string names;
    for (const PttMethodInfo& m : Methods)
        names.append(names.empty() ? "" : separator).append(m.name);
    return names;
}

const PttMethodInfo* findPttMethod(std::string_view name) {
    for (const PttMethodInfo& m : Methods)
        if (sameText(m.name, name))
            return &m;
    return nullptr;
}

const PttMethodInfo& pttMethod(std::string_view name) {
    const PttMethodInfo* method = findPttMethod(name);
    return method != nullptr ? *method : *findPttMethod(DefaultPttMethod);
}

} // namespace tarvex
