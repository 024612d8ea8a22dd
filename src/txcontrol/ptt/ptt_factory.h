#pragma once
// The keying method chosen by name ("parallel", "serial-rts", "cm108", ...) and its
// parameters, turned into the keying line the Keyer drives.
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_line.h"
#include "txcontrol/ptt/ptt_methods.h"

#include <functional>
#include <memory>
#include <string>

namespace tarvex {

/// The line for a method other than the parallel port, with no polarity set. nullptr, with
/// *error set (when not null), for the parallel port, a method this build lacks, or a
/// missing device name.
std::unique_ptr<PttLine> makePttLine(const PttSettings& settings, std::string* error);

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
