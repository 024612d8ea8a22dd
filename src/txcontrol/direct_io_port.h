#pragma once
// Direct I/O-port output (x86 Linux ioperm/outb): the path of PlatformCode 1. It needs root
// or CAP_SYS_RAWIO and is used only when configured; elsewhere it reports itself unavailable.
#include "txcontrol/port_writer.h"

namespace tarvex {

class DirectIoPortWriter : public PortWriter {
public:
    /// Only the data registers of the parallel ports are ever written: 0x378, 0x278, 0x3BC.
    static bool isParallelDataRegister(uint16_t port);
    /// Whether this build can write I/O ports directly at all.
    static bool available();

    bool writeByte(uint16_t port, uint8_t value) override;
};

} // namespace tarvex
