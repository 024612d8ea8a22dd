#include "txcontrol/port_writer.h"

#include <cstdio>

namespace tarvex {

std::optional<std::string> parportDeviceForAddress(uint16_t port, std::string_view folder) {
    switch (port) {
    case Lpt1DataRegister:
        return std::string(folder) + "parport0";
    case Lpt2DataRegister:
        return std::string(folder) + "parport1";
    default:
        return std::nullopt;
    }
}

std::string hexAddress(uint16_t port) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(port));
    return text;
}

} // namespace tarvex
