#include "txcontrol/ptt/gpiod_ptt.h"

#include <cerrno>
#include <stdexcept>

namespace tarvex {
namespace {

const char* chipHint(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "add the user to the gpio group, or give it access to /dev/gpiochip*";
    case ENOENT:
    case ENODEV:
    case ENOTTY:
        return "check the chip name (gpiodetect lists the chips)";
    default:
        return "";
    }
}

const char* lineHint(int error) {
    switch (error) {
    case EBUSY:
        return "another program or driver holds the line (gpioinfo shows who)";
    case EINVAL:
        return "the chip has no such line (gpioinfo lists its lines)";
    case EACCES:
    case EPERM:
        return "add the user to the gpio group, or give it access to /dev/gpiochip*";
    default:
        return "";
    }
}

} // namespace

GpiodPtt::GpiodPtt(std::string chip, unsigned line, std::unique_ptr<GpiodApi> api)
    : m_chip(std::move(chip)), m_line(line), m_api(std::move(api)) {
    if (!m_api)
        throw std::invalid_argument("GpiodPtt needs the libgpiod calls");
}

GpiodPtt::~GpiodPtt() {
    close();
}

std::string GpiodPtt::name() const {
    return "GPIO " + m_chip + " line " + std::to_string(m_line);
}

bool GpiodPtt::openAt(bool asserted) {
    if (const int r = m_api->openChip(m_chip); r < 0) {
        m_api->close();
        return fail(-r, pttErrorText("cannot open GPIO chip " + m_chip, -r, chipHint(-r)));
    }
    if (const int r = m_api->requestOutput(m_line, "tarvex", asserted ? 1 : 0); r < 0) {
        m_api->close();
        return fail(-r,
                    pttErrorText(name() + ": requesting the line as an output", -r, lineHint(-r)));
    }
    m_open = true;
    return succeed();
}

bool GpiodPtt::drive(bool asserted) {
    if (const int r = m_api->setValue(asserted ? 1 : 0); r < 0) {
        shut();
        return fail(-r, pttErrorText(name(), -r, ""));
    }
    return succeed();
}

void GpiodPtt::shut() {
    m_api->close();
    m_open = false;
}

} // namespace tarvex
