#pragma once
// Push-to-talk on a single line (a serial port's RTS or DTR, a CM108 GPIO pin, a GPIO chip
// line, a rig's CAT PTT): the backend interface, the wrapper that applies the polarity once
// and releases the transmitter when it opens and when it closes, and the adaptor that lets
// the parallel-port Keyer drive such a line.
#include "txcontrol/port_writer.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tarvex {

/// One keying line. The level is the line's electrical state: true = asserted (high, on).
/// Nothing here throws at the operator: a failure returns false and lastStatus() keeps the
/// reason with a fix hint.
class PttLine : public KeepsPortStatus {
public:
    virtual ~PttLine() = default;

    /// Drives the line to `asserted`, opening the device first when it is not open (also
    /// after a failure that closed it, so a re-plugged adapter works again).
    bool setLine(bool asserted) {
        if (!isOpen())
            return openAt(asserted);
        return drive(asserted);
    }
    /// Closes the device, leaving the line at its last level where the hardware allows.
    void close() {
        if (isOpen())
            shut();
    }

    virtual bool isOpen() const = 0;
    /// "serial RTS /dev/ttyUSB0", for status lines.
    virtual std::string name() const = 0;

protected:
    /// Opens the device and leaves the line at `asserted` (as early as the device allows).
    virtual bool openAt(bool asserted) = 0;
    virtual bool drive(bool asserted) = 0;
    virtual void shut() = 0;
};

/// "None (VOX)": no line at all; the radio keys on the audio. Always succeeds.
class NoPttLine : public PttLine {
public:
    bool isOpen() const override { return m_open; }
    std::string name() const override { return "none (VOX)"; }

protected:
    bool openAt(bool) override {
        m_open = true;
        return succeed();
    }
    bool drive(bool) override { return succeed(); }
    void shut() override { m_open = false; }

private:
    bool m_open = false;
};

/// Keys and releases a line with the polarity applied here and nowhere else: keyed drives
/// the line to !inverted, released to inverted. Opening the switch releases the
/// transmitter, and so does destroying it (before the device is closed).
class PttSwitch {
public:
    using InvertedProvider = std::function<bool()>;

    /// inverted is asked at every call, so a polarity change applies at the next one.
    PttSwitch(std::unique_ptr<PttLine> line, InvertedProvider inverted);
    ~PttSwitch();
    PttSwitch(const PttSwitch&) = delete;
    PttSwitch& operator=(const PttSwitch&) = delete;

    static constexpr bool lineLevel(bool keyed, bool inverted) { return keyed != inverted; }

    bool setKeyed(bool keyed) { return m_line->setLine(lineLevel(keyed, m_inverted())); }
    bool key() { return setKeyed(true); }
    bool release() { return setKeyed(false); }

    PttLine& line() { return *m_line; }
    const PortStatus& lastStatus() const { return m_line->lastStatus(); }
    std::string name() const { return m_line->name(); }

private:
    std::unique_ptr<PttLine> m_line;
    InvertedProvider m_inverted;
};

/// Lets the parallel-port Keyer drive a line. The Keyer's byte already carries InvKey
/// (keyed != InvKey gives the pin's mask, else 0), so a non-zero byte asserts the line and
/// zero de-asserts it; the port address is ignored. The switch's own polarity provider
/// should give InvKey too, so that the opening and closing releases match the Keyer's.
/// A Keyer with no valid pin chosen writes 0 only and so never asserts the line.
class PttPortWriter : public PortWriter {
public:
    explicit PttPortWriter(std::unique_ptr<PttSwitch> ptt);

    bool writeByte(uint16_t port, uint8_t value) override;
    PttSwitch& ptt() { return *m_ptt; }

private:
    std::unique_ptr<PttSwitch> m_ptt;
};

/// "<what>: <strerror>[ — <hint>]"; the hint is left out when hint is empty.
std::string pttErrorText(std::string_view what, int error, std::string_view hint);

} // namespace tarvex
