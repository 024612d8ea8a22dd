#pragma once
// Push-to-talk on a GPIO pin of a CM108/CM119-family USB sound card through its hidraw
// device (/dev/hidrawN): one HID output report sets the pin.
#include "txcontrol/ptt/posix_io.h"
#include "txcontrol/ptt/ptt_line.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarvex {

inline constexpr int Cm108DefaultPin = 3;
inline constexpr int Cm108MaxPin = 8;

/// The output report that drives GPIO `pin` (1..8) to `asserted`, as written to hidraw:
///   byte 0  report number 0
///   byte 1  HID_OR0 = 0: the report writes the GPIO pins
///   byte 2  HID_OR1, the GPIO data: 1 << (pin - 1) when asserted, else 0
///   byte 3  HID_OR2, the GPIO direction mask: 1 << (pin - 1), that pin an output
/// The other pins stay inputs and are not driven. HID_OR3 is left out, as common ham
/// software does; the card takes the short report.
std::array<uint8_t, 4> cm108Report(int pin, bool asserted);

class Cm108Ptt : public PttLine {
public:
    Cm108Ptt(std::string device, int pin = Cm108DefaultPin, PosixIo& io = PosixIo::system());
    ~Cm108Ptt() override;
    Cm108Ptt(const Cm108Ptt&) = delete;
    Cm108Ptt& operator=(const Cm108Ptt&) = delete;

    bool isOpen() const override { return m_fd >= 0; }
    std::string name() const override;

protected:
    bool openAt(bool asserted) override;
    bool drive(bool asserted) override;
    void shut() override;

private:
    std::string m_device;
    int m_pin;
    PosixIo& m_io;
    int m_fd = -1;
};

} // namespace tarvex
