#pragma once
// Transmitter keying: KeyTransmitter / UnkeyTransmitter on the keying line in force. The
// parallel port is one line among several; it writes the whole data register with the key
// byte for the port, pin and polarity in force at the moment of the call. A new line takes
// over only while the transmitter is released, so a transmission is never keyed on one line
// and released on another.
#include "txcontrol/keying_line.h"
#include "txcontrol/port_writer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarvex {

/// The Keying dialog's values.
struct KeyingSettings {
    int Port = 0;             ///< 0 LPT1, 1 LPT2 (-1: none chosen, treated as LPT1)
    int Pin = 0;              ///< 0..7 for D0..D7; -1 (none chosen) keys no pin
    int KeyDelay = 200;       ///< ms between keying and sending, 100..900
    bool AllowKeying = false; ///< stored and shown; the line is keyed whatever it holds
    bool InvKey = false;      ///< active-low keying
};

/// The bit of the chosen data pin (D0 = 0x01 .. D7 = 0x80); 0 when no valid pin is chosen.
constexpr uint8_t pinMask(int pin) {
    return (pin >= 0 && pin <= 7) ? static_cast<uint8_t>(1u << pin) : uint8_t{0};
}

/// The whole data-register byte: keyed = mask (inverted: 0), released = 0 (inverted: mask).
constexpr uint8_t keyByte(int pin, bool invKey, bool keyed) {
    return keyed != invKey ? pinMask(pin) : uint8_t{0};
}

/// A data pin of a parallel port: each call writes the whole data register of the port
/// chosen now with the key byte for the pin and polarity chosen now.
class ParallelPortLine : public KeyingLine {
public:
    /// Port, Pin and InvKey are read from `settings` at every call.
    using SettingsProvider = std::function<KeyingSettings()>;

    /// portName: how the status line names the port ("" names the device node of the
    /// chosen port, "/dev/parport0").
    ParallelPortLine(std::shared_ptr<PortWriter> port, SettingsProvider settings,
                     std::string portName = {});

    bool setKeyed(bool keyed) override;
    void close() override {}
    bool isOpen() const override { return true; }
    std::string name() const override;

    PortWriter& port() { return *m_port; }

private:
    std::shared_ptr<PortWriter> m_port;
    SettingsProvider m_settings;
    std::string m_portName;
};

class Keyer {
public:
    explicit Keyer(std::unique_ptr<KeyingLine> line);
    /// Releases the transmitter and closes the line.
    ~Keyer();
    Keyer(const Keyer&) = delete;
    Keyer& operator=(const Keyer&) = delete;

    void KeyTransmitter() { write(true); }
    void UnkeyTransmitter() { write(false); }

    /// For a program that is ending (window closed, told to end by a signal): releases now,
    /// and from then on KeyTransmitter releases too, so nothing that is still unwinding (a
    /// queued page, a search step, an ident) can key again.
    void holdReleased();
    bool heldReleased() const { return m_holdReleased; }
    /// Whether the last write keyed the transmitter.
    bool keyed() const { return m_keyed; }

    /// Hands over to another line: at once while released (the old line is released and
    /// closed first, the new one opened released), else straight after the next release.
    /// Returns true when it took over at once.
    bool switchLine(std::unique_ptr<KeyingLine> next);
    bool switchPending() const { return m_pending != nullptr; }
    /// Runs after each switch (for the status line).
    void setSwitchedAction(std::function<void()> action) { m_switched = std::move(action); }

    KeyingLine& line() { return *m_line; }
    const KeyingLine& line() const { return *m_line; }
    /// The outcome of the last operation on the line, for a status line.
    const PortStatus& lastStatus() const { return m_line->lastStatus(); }

private:
    void write(bool keyed);
    void takeOver();

    std::unique_ptr<KeyingLine> m_line;
    std::unique_ptr<KeyingLine> m_pending;
    std::function<void()> m_switched;
    bool m_holdReleased = false;
    bool m_keyed = false;
};

/// Keys the transmitter for its lifetime: every way out of a scope, an exception included,
/// releases it.
class KeyedTransmitter {
public:
    explicit KeyedTransmitter(Keyer& keyer) : m_keyer(keyer) { m_keyer.KeyTransmitter(); }
    ~KeyedTransmitter() {
        try {
            m_keyer.UnkeyTransmitter();
        } catch (...) {
            // Port failures are silent; nothing may escape while unwinding.
        }
    }
    KeyedTransmitter(const KeyedTransmitter&) = delete;
    KeyedTransmitter& operator=(const KeyedTransmitter&) = delete;

private:
    Keyer& m_keyer;
};

} // namespace tarvex
