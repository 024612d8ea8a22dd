// HamlibApi on the real library.
#include "txcontrol/ptt/hamlib_ptt.h"

#include <hamlib/rig.h>

namespace tarvex {
namespace {

class RealHamlib : public HamlibApi {
public:
    ~RealHamlib() override { close(); }

    bool init(int model) override {
        close();
        m_rig = rig_init(static_cast<rig_model_t>(model));
        if (!m_rig)
            return false;
        // A model that names no PTT method (the dummy rig, for one) would refuse
        // rig_set_ptt; this backend keys through CAT, so say so.
        if (m_rig->state.pttport.type.ptt == RIG_PTT_NONE)
            setConf("ptt_type", "RIG");
        return true;
    }
    int setConf(const char* name, const char* value) override {
        if (!m_rig)
            return -RIG_EINVAL;
        const token_t token = rig_token_lookup(m_rig, name);
        if (token == RIG_CONF_END)
            return HamlibNoSuchSetting;
        return rig_set_conf(m_rig, token, value);
    }
    int open() override {
        if (!m_rig)
            return -RIG_EINVAL;
        const int r = rig_open(m_rig);
        m_opened = r == RIG_OK;
        return r;
    }
    int setPtt(bool on) override {
        if (!m_rig)
            return -RIG_EINVAL;
        return rig_set_ptt(m_rig, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
    }
    int getPtt(bool* on) override {
        if (!m_rig)
            return -RIG_EINVAL;
        ptt_t ptt = RIG_PTT_OFF;
        const int r = rig_get_ptt(m_rig, RIG_VFO_CURR, &ptt);
        *on = ptt != RIG_PTT_OFF;
        return r;
    }
    void close() override {
        if (!m_rig)
            return;
        if (m_opened)
            rig_close(m_rig);
        rig_cleanup(m_rig);
        m_rig = nullptr;
        m_opened = false;
    }
    std::string errorText(int code) override {
        // rigerror() appends hamlib's debug buffer; rigerror2() is the message alone.
        const char* text = rigerror2(code);
        std::string out = text ? text : "hamlib error " + std::to_string(code);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        return out;
    }

private:
    RIG* m_rig = nullptr;
    bool m_opened = false;
};

} // namespace

std::unique_ptr<HamlibApi> HamlibApi::create() {
    rig_set_debug(RIG_DEBUG_NONE);
    return std::make_unique<RealHamlib>();
}

} // namespace tarvex
