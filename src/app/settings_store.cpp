// LoadSettings and SaveSettings: every value goes straight into (and comes straight back
// from) the control or field that holds it while the program runs. Controls take their
// values through their own setters, so the change actions that belong to them run.
#include "app/settings_store.h"

#include "app/auto_form.h"
#include "app/dialog_support.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "app/window_placement.h"
#include "signal/signal_gen.h"
#include "station/keying_method.h"
#include "station/station_settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

namespace tarvex {

namespace {

QString qname(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

/// A text field shows a stored text whole, even when it is longer than what can be typed.
void setWholeText(QLineEdit* field, const QString& text) {
    if (text.size() > field->maxLength())
        field->setMaxLength(static_cast<int>(text.size()));
    field->setText(text);
}

void setFlag(QCheckBox* box, bool on) {
    box->setChecked(on);
}

/// A true flag selects its button (deselecting the rest of its group); false does nothing.
void selectIf(bool flag, QAbstractButton* button) {
    if (flag)
        button->setChecked(true);
}

/// Writes values in order; the store keeps them as text.
class Writer {
public:
    explicit Writer(QSettings& store) : m_store(store) {}
    void integer(std::string_view name, int32_t v) { text(name, QString::number(v)); }
    void flag(std::string_view name, bool v) {
        text(name, v ? QStringLiteral("1") : QStringLiteral("0"));
    }
    void text(std::string_view name, const QString& v) { m_store.setValue(qname(name), v); }

private:
    QSettings& m_store;
};

} // namespace

/// Reads and writes the window's settings: it may reach the window's private controls.
class MainFormStore {
public:
    static void loadWindow(TMainForm& f, const StationSettings& s);
    static void loadAutoSend(TAutoForm& a, const StationSettings& s);
    static void loadIdent(TIdentForm& i, const StationSettings& s);
    static void loadKeying(TMainForm& f, TKeyingForm& k, const StationSettings& s);
    static void loadPageButtons(TMainForm& f, const StationSettings& s);
    static void loadAudio(TMainForm& f, const StationSettings& s);
    static void alignDerivedState(TMainForm& f);
    static void saveWindow(TMainForm& f, Writer& w);
    static void saveDialogs(const MainFormDialogs& d, Writer& w);
    static void savePageButtons(TMainForm& f, Writer& w);
    static void saveAudio(TMainForm& f, Writer& w);
};

void MainFormStore::loadWindow(TMainForm& f, const StationSettings& s) {
    moveFrameTo(f, QPoint(s.left, s.top));
    f.DeviationLevels = s.levels;
    f.m_storedSync = s.syncText;
    f.m_storedIdle = s.idleText;
    f.TuneTime->setValue(s.tuneTime);
    f.BitLen = s.bitLen;
    f.DataFolder = QString::fromStdString(s.dataFolder);
    setFlag(f.logpages, s.logPages);
    f.pushPageLog();
}

void MainFormStore::loadAutoSend(TAutoForm& a, const StationSettings& s) {
    setFlag(a.AutoSend(), s.autoSend);
    a.CheckRate()->setValue(s.checkRate);
    setWholeText(a.edFileName(), QString::fromStdString(s.autoFile));
    setWholeText(a.edLockFile(), QString::fromStdString(s.lockFile));
    a.AutoDelay()->setValue(s.autoDelay);
}

void MainFormStore::loadIdent(TIdentForm& i, const StationSettings& s) {
    i.IdentFrequency()->setValue(s.identMinutes);
    setWholeText(i.edIdent(), QString::fromStdString(s.stationId));
    i.SetVolume()->setValue(s.morseDev);
}

void MainFormStore::loadKeying(TMainForm& f, TKeyingForm& k, const StationSettings& s) {
    k.Port()->setCurrentIndex(s.keying.Port);
    k.setPin(s.keying.Pin);
    k.KeyDelay()->setValue(s.keying.KeyDelay);
    k.TxWatchdog()->setValue(s.txWatchdog);
    k.setPttSettings(s.ptt);
    const bool flipped = s.keying.InvKey != k.InvKey()->isChecked();
    if (flipped)
        k.InvKey()->setChecked(s.keying.InvKey);
    // A stored keying method opens with the stored polarity, so it starts released.
    f.applyKeyingMethod();
    if (flipped)
        f.station().releaseNow(); // the released level follows the new polarity
    setFlag(k.AllowKeying(), s.keying.AllowKeying);
}

void MainFormStore::loadPageButtons(TMainForm& f, const StationSettings& s) {
    selectIf(s.baud[0], f.BR1);
    selectIf(s.baud[1], f.BR2);
    selectIf(s.baud[2], f.BR3);
    selectIf(s.func[0], f.FB1);
    selectIf(s.func[1], f.FB2);
    selectIf(s.func[2], f.FB3);
    selectIf(s.func[3], f.FB4);
    selectIf(s.alphaNumeric[0], f.AN1);
    selectIf(s.alphaNumeric[1], f.AN2);
    selectIf(s.polarity[0], f.NI1);
    selectIf(s.polarity[1], f.NI2);
    setWholeText(f.RicEdit, QString::fromStdString(s.lastRic));
}

/// The audio output by name; an empty backend is the stock one.
void MainFormStore::loadAudio(TMainForm& f, const StationSettings& s) {
    f.AudioBackend = QString::fromStdString(s.audioBackend);
    f.AudioDevice = QString::fromStdString(s.audioDevice);
}

/// The state that follows from the loaded controls: numeric check, rate, polarity.
void MainFormStore::alignDerivedState(TMainForm& f) {
    if (f.AN2->isChecked())
        f.AN2Click();
    if (f.BR1->isChecked())
        f.BR1Click();
    if (f.BR2->isChecked())
        f.BR2Click();
    if (f.BR3->isChecked())
        f.BR3Click();
    f.station().setSignal({.inverted = !f.NI1->isChecked()});
    f.pushIdentPolarity();
}

void MainFormStore::saveWindow(TMainForm& f, Writer& w) {
    w.integer("Left", f.x());
    w.integer("Top", f.y());
    w.integer("Vol1", f.DeviationLevels[0]);
    w.integer("Vol2", f.DeviationLevels[1]);
    w.integer("Vol3", f.DeviationLevels[2]);
    const EncodingState encoding = f.station().encoding();
    w.text("Sync", QString::fromStdString(encoding.syncText));
    w.text("Idle", QString::fromStdString(encoding.idleText));
    w.integer("TuneTime", f.TuneTime->value());
    w.integer("BitLen512", f.BitLen[0]);
    w.integer("BitLen1200", f.BitLen[1]);
    w.integer("BitLen2400", f.BitLen[2]);
    w.text("DataFolder", f.DataFolder);
    w.flag("LogPages", f.logpages->isChecked());
}

void MainFormStore::saveDialogs(const MainFormDialogs& d, Writer& w) {
    w.flag("AutoSend", d.autoSend->AutoSend()->isChecked());
    w.integer("CheckRate", d.autoSend->CheckRate()->value());
    w.text("AutoFile", d.autoSend->edFileName()->text());
    w.text("LockFile", d.autoSend->edLockFile()->text());
    w.integer("AutoDelay", d.autoSend->AutoDelay()->value());
    w.integer("Frequency", d.ident->IdentFrequency()->value());
    w.text("StationID", d.ident->edIdent()->text());
    w.integer("MorseDev", d.ident->SetVolume()->value());
    w.integer("Port", d.keying->Port()->currentIndex());
    w.integer("Pin", d.keying->Pin()->checkedId());
    w.integer("Delay", d.keying->KeyDelay()->value());
    w.flag("InvKey", d.keying->InvKey()->isChecked());
    w.flag("Keying", d.keying->AllowKeying()->isChecked());
    const auto ptt = pttSettingsTexts(d.keying->pttSettings());
    for (size_t i = 0; i < ptt.size(); ++i)
        w.text(PttSettingNames[i], QString::fromStdString(ptt[i]));
}

void MainFormStore::savePageButtons(TMainForm& f, Writer& w) {
    w.flag("Baud1", f.BR1->isChecked());
    w.flag("Baud2", f.BR2->isChecked());
    w.flag("Baud3", f.BR3->isChecked());
    w.flag("Func1", f.FB1->isChecked());
    w.flag("Func2", f.FB2->isChecked());
    w.flag("Func3", f.FB3->isChecked());
    w.flag("Func4", f.FB4->isChecked());
    w.flag("A-N1", f.AN1->isChecked());
    w.flag("A-N2", f.AN2->isChecked());
    w.flag("NI1", f.NI1->isChecked());
    w.flag("NI2", f.NI2->isChecked());
    w.text("LastRIC", f.RicEdit->text());
}

void MainFormStore::saveAudio(TMainForm& f, Writer& w) {
    w.text("AudioBackend", f.AudioBackend);
    w.text("AudioDevice", f.AudioDevice);
}

QString TMainForm::settingsLocation() const {
    return settingsStoreName(m_settingsFile);
}

void TMainForm::LoadSettings() {
    const auto store = openSettingsStore(m_settingsFile);
    const StationSettings s =
        readStationSettings([&store](std::string_view name) { return storedValue(*store, name); },
                            ProgramFolder.toStdString());
    MainFormStore::loadWindow(*this, s);
    if (m_dialogs.autoSend != nullptr)
        MainFormStore::loadAutoSend(*m_dialogs.autoSend, s);
    if (m_dialogs.ident != nullptr)
        MainFormStore::loadIdent(*m_dialogs.ident, s);
    if (m_dialogs.keying != nullptr)
        MainFormStore::loadKeying(*this, *m_dialogs.keying, s);
    MainFormStore::loadPageButtons(*this, s);
    MainFormStore::loadAudio(*this, s);
    MainFormStore::alignDerivedState(*this);
    const auto lookup = [&store](std::string_view name) { return storedValue(*store, name); };
    NetworkChoice = readNetworkSettings(lookup, false);
    MonitorChoice = readMonitorSettings(lookup);
    m_storedExtras.clear();
    for (const QString& key : store->childKeys())
        m_storedExtras.insert(key.toStdString());
}

bool TMainForm::SaveSettings() {
    auto store = openSettingsStore(m_settingsFile);
    Writer writer(*store);
    MainFormStore::saveWindow(*this, writer);
    if (m_dialogs.autoSend != nullptr && m_dialogs.ident != nullptr && m_dialogs.keying != nullptr)
        MainFormStore::saveDialogs(m_dialogs, writer);
    MainFormStore::savePageButtons(*this, writer);
    MainFormStore::saveAudio(*this, writer);
    if (m_dialogs.keying != nullptr &&
        (m_dialogs.keying->TxWatchdog()->value() != Station::DefaultTxWatchdogSeconds ||
         m_storedExtras.count(std::string(TxWatchdogSetting)) != 0))
        writer.integer(TxWatchdogSetting, m_dialogs.keying->TxWatchdog()->value());
    // The network inputs' and the monitor's values go in only once they are set (or were
    // there): a station that never used them keeps the store it had.
    const auto none = [](std::string_view) { return std::optional<std::string>(); };
    const auto networkDefaults = networkSettingValues(readNetworkSettings(none, false));
    const auto monitorDefaults = monitorSettingValues(readMonitorSettings(none));
    const auto writeChanged = [&](const auto& values, const auto& defaults) {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i].second != defaults[i].second ||
                m_storedExtras.count(std::string(values[i].first)) != 0)
                writer.text(values[i].first, QString::fromStdString(values[i].second));
    };
    writeChanged(networkSettingValues(NetworkChoice), networkDefaults);
    writeChanged(monitorSettingValues(MonitorChoice), monitorDefaults);
    store->sync();
    // A damaged file is rewritten whole by this save, yet the store still reports the format
    // error it met on reading; read it back to learn whether the values are now stored.
    if (store->status() == QSettings::FormatError) {
        store = openSettingsStore(m_settingsFile);
        store->sync();
    }
    if (store->status() == QSettings::NoError)
        return true;
    showErrorReport(this, QStringLiteral("Failed to create key %1").arg(settingsLocation()));
    return false;
}

} // namespace tarvex
