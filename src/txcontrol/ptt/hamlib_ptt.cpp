#include "txcontrol/ptt/hamlib_ptt.h"

#include <stdexcept>

namespace tarvex {
namespace {
constexpr int RigInvalidParameter = 1; // hamlib's RIG_EINVAL
} // namespace

HamlibPtt::HamlibPtt(int model, std::string device, int speed, std::unique_ptr<HamlibApi> api)
    : m_model(model), m_device(std::move(device)), m_speed(speed), m_api(std::move(api)) {
    if (!m_api)
        throw std::invalid_argument("HamlibPtt needs the hamlib calls");
}

HamlibPtt::~HamlibPtt() {
    close();
}

std::string HamlibPtt::name() const {
    std::string text = "rig CAT model " + std::to_string(m_model);
    if (!m_device.empty())
        text += " on " + m_device;
    return text;
}

bool HamlibPtt::failWith(int code, const std::string& what, const char* hint) {
    std::string text = name() + ": " + what + ": " + m_api->errorText(code);
    if (hint && *hint)
        text += std::string(" \u2014 ") + hint;
    return fail(code < 0 ? -code : code, text);
}

bool HamlibPtt::openAt(bool asserted) {
    if (const std::string why = m_api->loadError(); !why.empty())
        return fail(1, name() + ": " + why);
    if (!m_api->init(m_model))
        return fail(1, name() + ": hamlib has no rig model " + std::to_string(m_model) +
                           " \u2014 choose a model from the list that rigctl -l prints");
    if (!m_device.empty()) {
        if (const int r = m_api->setConf("rig_pathname", m_device.c_str()); r != 0) {
            m_api->close();
            return failWith(r < 0 ? r : -RigInvalidParameter, "setting the device", "");
        }
    }
    if (m_speed > 0) {
        // A rig reached without a serial port (the dummy, a network rig) has no speed.
        if (const int r = m_api->setConf("serial_speed", std::to_string(m_speed).c_str());
            r != 0 && r != HamlibNoSuchSetting) {
            m_api->close();
            return failWith(r, "setting the speed " + std::to_string(m_speed),
                            "choose a speed the rig's CAT port supports");
        }
    }
    if (const int r = m_api->open(); r != 0) {
        m_api->close();
        return failWith(r, "opening the rig",
                        "check that the rig is on, and its device, speed and model");
    }
    m_open = true;
    return drive(asserted);
}

bool HamlibPtt::drive(bool asserted) {
    if (const int r = m_api->setPtt(asserted); r != 0)
        return failWith(r, asserted ? "setting PTT on" : "setting PTT off",
                        "check the CAT cable and the rig's CAT settings");
    return succeed();
}

void HamlibPtt::shut() {
    m_api->close();
    m_open = false;
}

std::optional<bool> HamlibPtt::readBack() {
    if (!m_open)
        return std::nullopt;
    bool on = false;
    if (const int r = m_api->getPtt(&on); r != 0) {
        failWith(r, "reading PTT", "");
        return std::nullopt;
    }
    return on;
}

} // namespace tarvex
