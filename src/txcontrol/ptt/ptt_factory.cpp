#include "txcontrol/ptt/ptt_factory.h"

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
#include <utility>

namespace tarvex {
namespace {

constexpr std::array<std::pair<PttMethod, std::string_view>, 7> Names{{
    {PttMethod::ParallelPort, "parallel"},
    {PttMethod::None, "none"},
    {PttMethod::SerialRts, "serial-rts"},
    {PttMethod::SerialDtr, "serial-dtr"},
    {PttMethod::Cm108, "cm108"},
    {PttMethod::Gpio, "gpio"},
    {PttMethod::Hamlib, "hamlib"},
}};

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::unique_ptr<PttLine> refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return nullptr;
}

} // namespace

std::string_view pttMethodName(PttMethod method) {
    for (const auto& [m, name] : Names)
        if (m == method)
            return name;
    return "parallel";
}

std::optional<PttMethod> parsePttMethod(std::string_view name) {
    for (const auto& [m, text] : Names)
        if (sameText(text, name))
            return m;
    return std::nullopt;
}

std::vector<PttMethod> availablePttMethods() {
    std::vector<PttMethod> methods{PttMethod::ParallelPort, PttMethod::None, PttMethod::SerialRts,
                                   PttMethod::SerialDtr, PttMethod::Cm108};
#ifdef TARVEX_HAVE_GPIOD
    methods.push_back(PttMethod::Gpio);
#endif
#ifdef TARVEX_HAVE_HAMLIB
    methods.push_back(PttMethod::Hamlib);
#endif
    return methods;
}

std::unique_ptr<PttLine> makePttLine(const PttSettings& settings, std::string* error) {
    const std::string_view method = pttMethodName(settings.method);
    const bool needsDevice =
        settings.method == PttMethod::SerialRts || settings.method == PttMethod::SerialDtr ||
        settings.method == PttMethod::Cm108 || settings.method == PttMethod::Gpio;
    if (needsDevice && settings.device.empty())
        return refuse(error, "keying method " + std::string(method) + " needs a device name");
    switch (settings.method) {
    case PttMethod::ParallelPort:
        return refuse(error, "the parallel port keys through the port writer, not a line");
    case PttMethod::None:
        return std::make_unique<NoPttLine>();
    case PttMethod::SerialRts:
        return std::make_unique<SerialPtt>(settings.device, SerialPttLine::Rts);
    case PttMethod::SerialDtr:
        return std::make_unique<SerialPtt>(settings.device, SerialPttLine::Dtr);
    case PttMethod::Cm108:
        return std::make_unique<Cm108Ptt>(settings.device, settings.cm108Pin);
    case PttMethod::Gpio:
#ifdef TARVEX_HAVE_GPIOD
        return std::make_unique<GpiodPtt>(settings.device, settings.gpioLine);
#else
        return refuse(error, "this build has no GPIO keying (libgpiod was not found)");
#endif
    case PttMethod::Hamlib:
#ifdef TARVEX_HAVE_HAMLIB
        return std::make_unique<HamlibPtt>(settings.rigModel, settings.device, settings.rigSpeed);
#else
        return refuse(error, "this build has no rig CAT keying (hamlib was not found)");
#endif
    }
    return refuse(error, "unknown keying method");
}

std::unique_ptr<PortWriter> makePttPortWriter(const PttSettings& settings,
                                              std::function<bool()> invKey, std::string* error) {
    auto line = makePttLine(settings, error);
    if (!line)
        return nullptr;
    return std::make_unique<PttPortWriter>(
        std::make_unique<PttSwitch>(std::move(line), std::move(invKey)));
}

} // namespace tarvex
