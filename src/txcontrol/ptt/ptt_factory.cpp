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

std::string_view pttMethodCaption(PttMethod method) {
    switch (method) {
    case PttMethod::ParallelPort:
        return "Parallel port";
    case PttMethod::SerialRts:
        return "Serial RTS";
    case PttMethod::SerialDtr:
        return "Serial DTR";
    case PttMethod::Cm108:
        return "CM108 GPIO";
    case PttMethod::Gpio:
        return "Linux GPIO";
    case PttMethod::Hamlib:
        return "Rig CAT (hamlib)";
    case PttMethod::None:
        return "None (VOX)";
    }
    return "Parallel port";
}

bool pttUsesDevice(PttMethod method) {
    return method != PttMethod::ParallelPort && method != PttMethod::None;
}

std::string pttDescription(const PttSettings& s) {
    std::string text(pttMethodCaption(s.method));
    switch (s.method) {
    case PttMethod::Cm108:
        text += " pin " + std::to_string(s.cm108Pin);
        break;
    case PttMethod::Gpio:
        text += " line " + std::to_string(s.gpioLine);
        break;
    case PttMethod::Hamlib:
        text += " model " + std::to_string(s.rigModel);
        break;
    default:
        break;
    }
    if (pttUsesDevice(s.method) && !s.device.empty())
        text += " on " + s.device;
    return text;
}

std::unique_ptr<KeyingLine> makeKeyingLine(const PttSettings& settings,
                                           std::shared_ptr<PortWriter> parallelPort,
                                           std::string parallelName,
                                           std::function<KeyingSettings()> keying) {
    if (settings.method == PttMethod::ParallelPort)
        return std::make_unique<ParallelPortLine>(std::move(parallelPort), std::move(keying),
                                                  std::move(parallelName));
    std::string error;
    std::unique_ptr<PttLine> line = makePttLine(settings, &error);
    if (!line)
        return std::make_unique<UnavailableLine>(pttDescription(settings), error);
    line->setInverted([keying = std::move(keying)] { return keying().InvKey; });
    return line;
}

} // namespace tarvex
