#pragma once
// The keying method chosen by name ("serial-rts", "cm108", ...) and its parameters, turned
// into a line backend. The parallel port is not a line: it stays with the Keyer's own
// PortWriter, and makePttLine gives no line for it.
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

/// The line for a method other than the parallel port. nullptr, with *error set (when not
/// null), for the parallel port, a method this build lacks, or a missing device name.
std::unique_ptr<PttLine> makePttLine(const PttSettings& settings, std::string* error);

/// The port writer a Keyer drives for a line method: the line, released at once (with the
/// polarity that invKey gives, asked again at every call) and again when the writer is
/// destroyed. nullptr, with *error set, where makePttLine gives no line.
std::unique_ptr<PortWriter> makePttPortWriter(const PttSettings& settings,
                                              std::function<bool()> invKey, std::string* error);

} // namespace tarvex
