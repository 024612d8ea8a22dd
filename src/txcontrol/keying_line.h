#pragma once
// The keying line: what keys and releases the transmitter, whatever the hardware (a
// parallel-port data pin, a serial line, a CM108 or GPIO pin, a rig's CAT command, nothing
// at all for VOX). Each backend applies the polarity itself and keeps the outcome of its
// last operation, with the reason and a hint, for a status line; nothing here throws.
#include "txcontrol/port_writer.h"

#include <cerrno>
#include <string>
#include <utility>

namespace tarvex {

class KeyingLine : public KeepsPortStatus {
public:
    virtual ~KeyingLine() = default;

    /// Keys (true) or releases (false) the transmitter, opening the device first when it is
    /// not open (also after a failure closed it, so a re-plugged adapter works again).
    /// False on failure; lastStatus() says why.
    virtual bool setKeyed(bool keyed) = 0;
    /// Closes the device, leaving the line at its last level where the hardware allows.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    /// "serial RTS /dev/ttyUSB0", "LPT1 /dev/parport0", for status lines.
    virtual std::string name() const = 0;
};

/// Stands in for a keying method that could not be set up at all (a device name missing,
/// a library this build lacks): every operation fails with the reason, so pages still play
/// and the status line says why the transmitter is not keyed.
class UnavailableLine : public KeyingLine {
public:
    UnavailableLine(std::string name, std::string reason)
        : m_name(std::move(name)), m_reason(std::move(reason)) {
        fail(EINVAL, m_reason);
    }
    bool setKeyed(bool) override { return fail(EINVAL, m_reason); }
    void close() override {}
    bool isOpen() const override { return false; }
    std::string name() const override { return m_name; }

private:
    std::string m_name;
    std::string m_reason;
};

} // namespace tarvex
