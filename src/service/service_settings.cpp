#include "service/service_settings.h"

#include "station/qt/settings_file.h"

namespace tarvex {

ServiceSettings readServiceSettings(const QString& file) {
    ServiceSettings out;
    out.store = openSettingsStore(file);
    out.storeName = settingsStoreName(file).toStdString();
    const StoreInspection inspection = inspectSettingsStore(file);
    const std::string prefix = "settings " + out.storeName + ": ";
    QSettings* store = out.store.get();
    out.checked =
        checkStoredSettings([store](std::string_view name) { return storedValue(*store, name); },
                            inspection.keys, ReadByService);
    for (std::string* fault : {&out.checked.keyingFault, &out.checked.audioFault})
        if (!fault->empty())
            *fault = prefix + *fault;
    if (!inspection.fault.empty()) {
        out.lines.push_back(prefix + inspection.fault + "; nothing is keyed or played");
        out.checked.keyingFault = out.checked.audioFault = prefix + inspection.fault;
        out.faulty = true;
    } else if (!inspection.note.empty()) {
        out.lines.push_back(prefix + inspection.note);
    }
    for (const SettingProblem& problem : out.checked.problems) {
        out.lines.push_back(prefix + problem.text());
        out.faulty = out.faulty || problem.fault;
    }
    return out;
}

} // namespace tarvex
