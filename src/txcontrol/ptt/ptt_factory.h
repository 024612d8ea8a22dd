#pragma once
// The keying method chosen by name ("parallel", "serial-rts", "cm108", ...) and its
// parameters, turned into the keying line the Keyer drives.
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_line.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

enum class PttMethod { ParallelPort, None, SerialRts, SerialDtr, Cm108, Gpio, Hamlib };

struct PttSettings {
    PttMethod method = PttMethod::ParallelPort;
    std::string device; ///< serial device, hidraw device, GPIO chip, or the rig's device
    int cm108Pin = 3;   ///< 1..8
    unsigned gpioLine = 0;
    int rigModel = 1; ///< hamlib model number (1: the dummy rig)
    int rigSpeed = 0; ///< 0: the model's default
};

/// "parallel", "none", "serial-rts", "serial-dtr", "cm108", "gpio", "hamlib".
std::string_view pttMethodName(PttMethod method);
/// The method of a name above (case matters not); nullopt for any other text.
std::optional<PttMethod> parsePttMethod(std::string_view name);
/// The methods this build offers, in the order a choice lists them.
std::vector<PttMethod> availablePttMethods();

/// The line for a method other than the parallel port, with no polarity set. nullptr, with
/// *error set (when not null), for the parallel port, a method this build lacks, or a
/// missing device name.
std::unique_ptr<PttLine> makePttLine(const PttSettings& settings, std::string* error);

/// The operator's name of a method: "Parallel port", "Serial RTS", ...
std::string_view pttMethodCaption(PttMethod method);
/// Whether a method uses the device field.
bool pttUsesDevice(PttMethod method);
/// "Serial RTS on /dev/ttyUSB0", "Rig CAT (hamlib) model 1", for the status line.
std::string pttDescription(const PttSettings& settings);

/// The keying line for the chosen method. The parallel port writes `parallelPort` (named
/// `parallelName` on the status line, "" for its device node); every method takes Port,
/// Pin and InvKey from `keying`, asked at every call. A method that cannot be set up gives
/// a line that fails with the reason at every call, so pages still play and the status
/// line says why the transmitter is not keyed.
std::unique_ptr<KeyingLine> makeKeyingLine(const PttSettings& settings,
                                           std::shared_ptr<PortWriter> parallelPort,
                                           std::string parallelName,
                                           std::function<KeyingSettings()> keying);

} // namespace tarvex
