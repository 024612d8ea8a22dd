#pragma once
// The keying methods, in one table: the name the settings store and --ptt take, the Keying
// dialog's caption and hint, the fields each reads, where its devices are found and how its
// line is built. The dialog, tarvex-cli, the settings checks and the factory all read it; a
// new method is its backend plus one row in ptt_methods.cpp.
#include "txcontrol/ptt/ptt_devices.h"
#include "txcontrol/ptt/ptt_line.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// The method a store without one (or with a name no method has) keys with.
inline constexpr std::string_view DefaultPttMethod = "parallel";

/// The chosen method, by name, and the values of every field a method may read.
struct PttSettings {
    std::string method{DefaultPttMethod};
    std::string device; ///< serial device, hidraw device, GPIO chip, or the rig's device
    int cm108Pin = 3;   ///< 1..8
    unsigned gpioLine = 0;
    int rigModel = 1; ///< hamlib model number (1: the dummy rig)
    int rigSpeed = 0; ///< 0: the model's default
};

/// What a method reads and offers besides its name.
enum PttField : unsigned {
    /// The parallel port's Port and Pin: the key byte goes through the port writer.
    PttPortField = 1u << 0,
    /// InvKey; a method without it keys nothing.
    PttPolarityField = 1u << 1,
    PttDeviceField = 1u << 2,
    /// The device may be left empty (the backend has its own default).
    PttDeviceOptional = 1u << 3,
    PttCm108PinField = 1u << 4,
    PttGpioLineField = 1u << 5,
    /// The rig's hamlib model and serial speed.
    PttRigFields = 1u << 6,
};

/// The devices a method can use, under a heading ("Serial ports"); methods sharing a lister
/// are listed together.
struct PttDeviceLister {
    std::string_view what;
    std::vector<PttDevice> (*list)() = nullptr;
};

/// The line of a method with no polarity set; nullptr with *error (when not null) set.
using PttLineMaker = std::unique_ptr<PttLine> (*)(const PttSettings& settings, std::string* error);

struct PttMethodInfo {
    std::string_view name;       ///< stored as PttMethod, given to --ptt
    std::string_view caption;    ///< the Keying dialog's choice and the status line
    std::string_view hint;       ///< the dialog's line under the method's fields
    unsigned fields = 0;         ///< PttField bits
    bool available = true;       ///< false: this build lacks the library it needs
    PttDeviceLister devices;     ///< empty: the device is typed in
    PttLineMaker make = nullptr; ///< nullptr: the parallel port, keyed through the port writer

    bool uses(PttField field) const { return (fields & field) != 0; }
};

/// Every method, in the order a list of names gives them, those this build lacks included.
std::span<const PttMethodInfo> pttMethods();
/// Every method's name in table order, separated by `separator`.
std::string pttMethodNames(std::string_view separator);
/// The method of a name (case matters not); nullptr for any other text.
const PttMethodInfo* findPttMethod(std::string_view name);
/// The method of a name, or the default method for a name no method has.
const PttMethodInfo& pttMethod(std::string_view name);

} // namespace tarvex
