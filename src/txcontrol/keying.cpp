#include "txcontrol/keying.h"

#include <stdexcept>

namespace tarvex {

ParallelPortLine::ParallelPortLine(std::shared_ptr<PortWriter> port, SettingsProvider settings,
                                   std::string portName)
    : m_port(std::move(port)), m_settings(std::move(settings)), m_portName(std::move(portName)) {
    if (!m_port || !m_settings)
        throw std::invalid_argument("ParallelPortLine needs a port and its keying settings");
}

bool ParallelPortLine::setKeyed(bool keyed) {
    const KeyingSettings s = m_settings();
    if (m_port->writeByte(lptDataAddress(s.Port), keyByte(s.Pin, s.InvKey, keyed)))
        return succeed();
    return fail(m_port->lastStatus().errorCode, m_port->lastStatus().text);
}

std::string ParallelPortLine::name() const {
    const int port = m_settings().Port;
    const uint16_t address = lptDataAddress(port);
    std::string where = m_portName;
    if (where.empty())
        where = parportDeviceForAddress(address).value_or("direct I/O");
    return std::string(port == 1 ? "LPT2 " : "LPT1 ") + where;
}

Keyer::Keyer(std::unique_ptr<KeyingLine> line) : m_line(std::move(line)) {
    if (!m_line)
        throw std::invalid_argument("Keyer needs a keying line");
}

Keyer::~Keyer() {
    try {
        m_line->setKeyed(false);
        m_line->close();
    } catch (...) {
        // A provider that throws must not escape a destructor.
    }
}

void Keyer::write(bool keyed) {
    const bool key = keyed && !m_holdReleased;
    m_line->setKeyed(key);
    m_keyed = key;
    if (!key && m_pending)
        takeOver();
}

void Keyer::holdReleased() {
    m_holdReleased = true;
    write(false);
}

bool Keyer::switchLine(std::unique_ptr<KeyingLine> next) {
    if (!next)
        throw std::invalid_argument("Keyer needs a keying line");
    m_pending = std::move(next);
    if (m_keyed)
        return false;
    // Released once more before it closes: a line closes at its last level, and a release
    // that failed earlier must not leave the transmitter keyed on a line nobody drives.
    m_line->setKeyed(false);
    takeOver();
    return true;
}

void Keyer::takeOver() {
    // Only ever while released. The old line closes first (its device may be the one the
    // next line opens); the new line then starts released, with its outcome reported.
    m_line->close();
    m_line = std::move(m_pending);
    m_line->setKeyed(false);
    m_keyed = false;
    if (m_switched)
        m_switched();
}

} // namespace tarvex
