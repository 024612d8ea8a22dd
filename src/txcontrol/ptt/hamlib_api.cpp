// HamlibApi on the real library, opened at run time: a station without hamlib installed
// still runs, and programs that never key through CAT never load it (with its own chain of
// libraries). The header gives the types; every call goes through the table below.
#include "txcontrol/ptt/hamlib_ptt.h"

#include <hamlib/rig.h>

#include <dlfcn.h>

#include <algorithm>
#include <tuple>

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
    decltype(&::rig_load_all_backends) loadAll = nullptr; // for the model list only
    decltype(&::rig_list_foreach) forEach = nullptr;
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
        // An older library without them still keys; only the list of names is missing.
        loadAll = reinterpret_cast<decltype(loadAll)>(::dlsym(library, "rig_load_all_backends"));
        forEach = reinterpret_cast<decltype(forEach)>(::dlsym(library, "rig_list_foreach"));
    }
    bool loaded() const { return loadError.empty(); }
};

const HamlibCalls& calls() {
    static const HamlibCalls table;
    return table;
}

int collectModel(const struct rig_caps* caps, rig_ptr_t data) {
    auto* out = static_cast<std::vector<HamlibModel>*>(data);
    out->push_back({static_cast<int>(caps->rig_model), caps->mfg_name ? caps->mfg_name : "",
                    caps->model_name ? caps->model_name : ""});
    return 1; // go on
}

} // namespace

std::vector<HamlibModel> hamlibModels(std::string* error) {
    const HamlibCalls& c = calls();
    std::vector<HamlibModel> models;
    if (!c.loaded() || c.loadAll == nullptr || c.forEach == nullptr) {
        if (error != nullptr)
            *error = c.loaded() ? "this hamlib cannot list its rigs" : c.loadError;
        return models;
    }
    c.loadAll();
    c.forEach(&collectModel, &models);
    std::sort(models.begin(), models.end(), [](const HamlibModel& a, const HamlibModel& b) {
        return std::tie(a.maker, a.name, a.model) < std::tie(b.maker, b.name, b.model);
    });
    return models;
}

namespace {

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
