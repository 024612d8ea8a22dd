#pragma once
// Push-to-talk on a serial port's RTS or DTR line (a USB serial adapter, /dev/ttyUSB0):
// TIOCMBIS asserts and TIOCMBIC de-asserts the chosen line; the other line is never touched.
#include "txcontrol/ptt/posix_io.h"
#include "txcontrol/ptt/ptt_line.h"

#include <string>

namespace tarvex {

enum class SerialPttLine { Rts, Dtr };

class SerialPtt : public PttLine {
public:
    SerialPtt(std::string device, SerialPttLine which, PosixIo& io = PosixIo::system());
    ~SerialPtt() override;
    SerialPtt(const SerialPtt&) = delete;
    SerialPtt& operator=(const SerialPtt&) = delete;

    bool isOpen() const override { return m_fd >= 0; }
    std::string name() const override;
    /// TIOCM_RTS or TIOCM_DTR.
    int modemBit() const;

protected:
    /// Opening a terminal raises RTS and DTR on Linux; the chosen line is put at the wanted
    /// level straight after. HUPCL is cleared so that closing leaves it there: with
    /// active-low keying a hang-up at close would key the transmitter.
    bool openAt(bool asserted) override;
    bool drive(bool asserted) override;
    void shut() override;

private:
    std::string m_device;
    SerialPttLine m_which;
    PosixIo& m_io;
    int m_fd = -1;
};

} // namespace tarvex
