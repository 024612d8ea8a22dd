// HamlibApi on the real library, opened at run time: a station without hamlib installed
// still runs, and programs that never key through CAT never load it (with its own chain of
// libraries). The header gives the types; every call goes through the table below.
#include "txcontrol/ptt/hamlib_ptt.h"

#include <hamlib/rig.h>

#include <dlfcn.h>

namespace tarvex {
namespace {

constexpr const char* HamlibLibrary = "libhamlib.so.4";

/// The hamlib functions this backend calls, looked up once per process.
struct HamlibCalls {
    decltype(&::rig_init) init = nullptr;
    decltype(&::rig_token_lookup) tokenLookup = nullptr;
    decltype(&::rig_set_conf) setConf = nullptr;
    decltype(&::rig_open) open = nullptr;
    decltype(&::rig_set_ptt) setPtt = nullptr;
    decltype(&::rig_get_ptt) getPtt = nullptr;
    decltype(&::rig_close) close = nullptr;
    decltype(&::rig_cleanup) cleanup = nullptr;
    decltype(&::rigerror2) error = nullptr;
    decltype(&::rig_set_debug) setDebug = nullptr;
    std::string loadError;

    template <typename F> bool find(void* library, F& slot, const char* name) {
        slot = reinterpret_cast<F>(::dlsym(library, name));
        if (slot == nullptr)
            loadError = std::string(HamlibLibrary) + " has no " + name;
        return slot != nullptr;
    }

    HamlibCalls() {
        void* library = ::dlopen(HamlibLibrary, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = ::dlerror();
            loadError = std::string("hamlib cannot be loaded (") + (why ? why : HamlibLibrary) +
                        ") \u2014 install the libhamlib4 package";
            return;
        }
        const bool all =
            find(library, init, "rig_init") && find(library, tokenLookup, "rig_token_lookup") &&
            find(library, setConf, "rig_set_conf") && find(library, open, "rig_open") &&
            find(library, setPtt, "rig_set_ptt") && find(library, getPtt, "rig_get_ptt") &&
            find(library, close, "rig_close") && find(library, cleanup, "rig_cleanup") &&
            find(library, error, "rigerror2") && find(library, setDebug, "rig_set_debug");
        if (all)
            setDebug(RIG_DEBUG_NONE);
    }
    bool loaded() const { return loadError.empty(); }
};

const HamlibCalls& calls() {
    static const HamlibCalls table;
    return table;
}

class RealHamlib : public HamlibApi {
public:
    ~RealHamlib() override { close(); }

    std::string loadError() const override { return calls().loadError; }
    bool init(int model) override {
        close();
        if (!calls().loaded())
            return false;
        m_rig = calls().init(static_cast<rig_model_t>(model));
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
        const token_t token = calls().tokenLookup(m_rig, name);
        if (token == RIG_CONF_END)
            return HamlibNoSuchSetting;
        return calls().setConf(m_rig, token, value);
    }
    int open() override {
        if (!m_rig)
            return -RIG_EINVAL;
        const int r = calls().open(m_rig);
        m_opened = r == RIG_OK;
        return r;
    }
    int setPtt(bool on) override {
        if (!m_rig)
            return -RIG_EINVAL;
        return calls().setPtt(m_rig, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
    }
    int getPtt(bool* on) override {
        if (!m_rig)
            return -RIG_EINVAL;
        ptt_t ptt = RIG_PTT_OFF;
        const int r = calls().getPtt(m_rig, RIG_VFO_CURR, &ptt);
        *on = ptt != RIG_PTT_OFF;
        return r;
    }
    void close() override {
        if (!m_rig)
            return;
        if (m_opened)
            calls().close(m_rig);
        calls().cleanup(m_rig);
        m_rig = nullptr;
        m_opened = false;
    }
    std::string errorText(int code) override {
        // rigerror() appends hamlib's debug buffer; rigerror2() is the message alone.
        const char* text = calls().loaded() ? calls().error(code) : nullptr;
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
    return std::make_unique<RealHamlib>();
}

} // namespace tarvex
