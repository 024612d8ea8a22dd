#include "txcontrol/ptt/ptt_line.h"

#include <cstring>
#include <stdexcept>

namespace tarvex {

PttSwitch::PttSwitch(std::unique_ptr<PttLine> line, InvertedProvider inverted)
    : m_line(std::move(line)), m_inverted(std::move(inverted)) {
    if (!m_line)
        throw std::invalid_argument("PttSwitch needs a line");
    if (!m_inverted)
        m_inverted = [] { return false; };
    release();
}

PttSwitch::~PttSwitch() {
    try {
        release();
        m_line->close();
    } catch (...) {
        // A polarity provider that throws must not escape a destructor.
    }
}

PttPortWriter::PttPortWriter(std::unique_ptr<PttSwitch> ptt) : m_ptt(std::move(ptt)) {
    if (!m_ptt)
        throw std::invalid_argument("PttPortWriter needs a push-to-talk switch");
}

bool PttPortWriter::writeByte(uint16_t, uint8_t value) {
    PttLine& line = m_ptt->line();
    if (line.setLine(value != 0))
        return succeed();
    return fail(line.lastStatus().errorCode, line.lastStatus().text);
}

std::string pttErrorText(std::string_view what, int error, std::string_view hint) {
    std::string text(what);
    text += ": ";
    text += std::strerror(error);
    if (!hint.empty()) {
        text += " \u2014 ";
        text += hint;
    }
    return text;
}

} // namespace tarvex
