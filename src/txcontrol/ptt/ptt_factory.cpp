#include "txcontrol/ptt/ptt_factory.h"

#include <utility>

namespace tarvex {
namespace {

std::unique_ptr<PttLine> refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return nullptr;
}

} // namespace

std::unique_ptr<PttLine> makePttLine(const PttSettings& settings, std::string* error) {
    const PttMethodInfo* method = findPttMethod(settings.method);
    if (method == nullptr)
        return refuse(error, "unknown keying method");
    if (method->uses(PttDeviceField) && !method->uses(PttDeviceOptional) && settings.device.empty())
        return refuse(error, "keying method " + std::string(method->name) + " needs a device name");
    if (method->make == nullptr)
        return refuse(error, "the parallel port keys through the port writer, not a line");
    return method->make(settings, error);
}

std::string pttDescription(const PttSettings& s) {
    const PttMethodInfo& method = pttMethod(s.method);
    std::string text(method.caption);
    if (method.uses(PttCm108PinField))
        text += " pin " + std::to_string(s.cm108Pin);
    if (method.uses(PttGpioLineField))
        text += " line " + std::to_string(s.gpioLine);
    if (method.uses(PttRigFields))
        text += " model " + std::to_string(s.rigModel);
    if (method.uses(PttDeviceField) && !s.device.empty())
        text += " on " + s.device;
    return text;
}

std::unique_ptr<KeyingLine> makeKeyingLine(const PttSettings& settings,
                                           std::shared_ptr<PortWriter> parallelPort,
                                           std::string parallelName,
                                           std::function<KeyingSettings()> keying) {
    if (pttMethod(settings.method).uses(PttPortField))
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
