#pragma once
// Transmitter keying: KeyTransmitter / UnkeyTransmitter write the key byte for the keying
// settings in force at the moment of the call (port, pin, polarity) to the port's data
// register. The keyed state lives only in the port; nothing is remembered here.
#include "txcontrol/port_writer.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>

namespace tarvex {

/// The Keying dialog's values.
struct KeyingSettings {
    int Port = 0;             ///< 0 LPT1, 1 LPT2 (-1: none chosen, treated as LPT1)
    int Pin = 0;              ///< 0..7 for D0..D7; -1 (none chosen) keys no pin
    int KeyDelay = 200;       ///< ms between keying and sending, 100..900
    bool AllowKeying = false; ///< stored and shown; the port is written whatever it holds
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

class Keyer {
public:
    using SettingsProvider = std::function<KeyingSettings()>;

    /// settings is asked at every call, so changes in the dialog apply at once.
    Keyer(PortWriter& port, SettingsProvider settings)
        : m_port(port), m_settings(std::move(settings)) {
        if (!m_settings)
            throw std::invalid_argument("Keyer needs a keying settings provider");
    }

    void KeyTransmitter() { write(true); }
    void UnkeyTransmitter() { write(false); }

    /// For a program that is ending (window closed, told to end by a signal): releases now,
    /// and from then on KeyTransmitter writes the released byte too, so nothing that is
    /// still unwinding (a queued page, a search step, an ident) can key again.
    void holdReleased() {
        m_holdReleased = true;
        write(false);
    }
    bool heldReleased() const { return m_holdReleased; }

    KeyingSettings settings() const { return m_settings(); }
    /// The outcome of the last port write, for a status line.
    const PortStatus& lastStatus() const { return m_port.lastStatus(); }

private:
    void write(bool keyed) {
        const KeyingSettings s = m_settings();
        m_port.writeByte(lptDataAddress(s.Port),
                         keyByte(s.Pin, s.InvKey, keyed && !m_holdReleased));
    }

    PortWriter& m_port;
    SettingsProvider m_settings;
    bool m_holdReleased = false;
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
