#pragma once
// Push-to-talk through the radio's own CAT commands, by way of hamlib: the rig model,
// its device and speed, PTT set with rig_set_ptt. The hamlib calls sit behind HamlibApi so
// that tests can script failures; the real calls are tested against hamlib's dummy rig.
#include "txcontrol/ptt/ptt_line.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

/// setConf's result for a setting the rig does not have (a serial speed on a rig without
/// a serial port).
inline constexpr int HamlibNoSuchSetting = 1;

/// The hamlib calls one rig needs. Results are hamlib's codes: 0 (RIG_OK) or negative.
class HamlibApi {
public:
    virtual ~HamlibApi() = default;
    /// Why the library cannot be used at all (not installed); empty when it can.
    virtual std::string loadError() const { return {}; }
    /// rig_init(model); false when hamlib knows no such model. A model that names no PTT
    /// method is set to key through CAT.
    virtual bool init(int model) = 0;
    /// rig_set_conf with the token of `name` ("rig_pathname", "serial_speed");
    /// HamlibNoSuchSetting when the rig has no such setting.
    virtual int setConf(const char* name, const char* value) = 0;
    virtual int open() = 0;
    virtual int setPtt(bool on) = 0;
    virtual int getPtt(bool* on) = 0;
    /// rig_close when open, then rig_cleanup; harmless when there is no rig.
    virtual void close() = 0;
    /// rigerror(code).
    virtual std::string errorText(int code) = 0;

    /// The library's calls (loaded at the first use), its debug output silenced.
    static std::unique_ptr<HamlibApi> create();
};

/// A rig model as hamlib lists it.
struct HamlibModel {
    int model = 0;
    std::string maker;
    std::string name;
};

/// Every rig model the installed hamlib knows, by maker and name; empty (with *error) when
/// hamlib cannot be loaded.
std::vector<HamlibModel> hamlibModels(std::string* error = nullptr);

/// hamlib's dummy rig, which keys nothing and remembers its PTT.
inline constexpr int HamlibDummyRig = 1;

class HamlibPtt : public PttLine {
public:
    /// device empty: the model's own default; speed 0: the model's default speed.
    HamlibPtt(int model, std::string device, int speed,
              std::unique_ptr<HamlibApi> api = HamlibApi::create());
    ~HamlibPtt() override;
    HamlibPtt(const HamlibPtt&) = delete;
    HamlibPtt& operator=(const HamlibPtt&) = delete;

    bool isOpen() const override { return m_open; }
    std::string name() const override;
    /// The rig's PTT as it reports it (rig_get_ptt); nullopt when closed or on failure.
    std::optional<bool> readBack();

protected:
    bool openAt(bool asserted) override;
    bool drive(bool asserted) override;
    void shut() override;

private:
    bool failWith(int code, const std::string& what, const char* hint);

    int m_model;
    std::string m_device;
    int m_speed;
    std::unique_ptr<HamlibApi> m_api;
    bool m_open = false;
};

} // namespace tarvex
