#pragma once
// Push-to-talk on a single line (a serial port's RTS or DTR, a CM108 GPIO pin, a GPIO chip
// line, a rig's CAT PTT): the common base of those backends, which applies the polarity
// once (keyed drives the line to !inverted) and opens the device on demand.
#include "txcontrol/keying_line.h"

#include <functional>
#include <string>
#include <string_view>

namespace tarvex {

class PttLine : public KeyingLine {
public:
    /// Asked at every call, so a polarity change applies at the next one.
    using InvertedProvider = std::function<bool()>;

    static constexpr bool lineLevel(bool keyed, bool inverted) { return keyed != inverted; }

    void setInverted(InvertedProvider inverted) { m_inverted = std::move(inverted); }
    bool inverted() const { return m_inverted ? m_inverted() : false; }

    bool setKeyed(bool keyed) override { return setLine(lineLevel(keyed, inverted())); }
    /// Drives the line to its electrical level (true = asserted), opening the device first
    /// when it is not open.
    bool setLine(bool asserted) {
        if (!isOpen())
            return openAt(asserted);
        return drive(asserted);
    }
    void close() override {
        if (isOpen())
            shut();
    }

protected:
    /// Opens the device and leaves the line at `asserted` (as early as the device allows).
    virtual bool openAt(bool asserted) = 0;
    virtual bool drive(bool asserted) = 0;
    virtual void shut() = 0;

private:
    InvertedProvider m_inverted;
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

/// "<what>: <strerror>[ — <hint>]"; the hint is left out when hint is empty.
std::string pttErrorText(std::string_view what, int error, std::string_view hint);

} // namespace tarvex
