// LoadSettings and SaveSettings: every value goes straight into (and comes straight back
// from) the control or field that holds it while the program runs. Controls take their
// values through their own setters, so the change actions that belong to them run.
#include "app/settings_store.h"

#include "app/auto_form.h"
#include "app/dialog_support.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/keying_method.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "signal/signal_gen.h"

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

/// Reads values by name with the store's encoding rules.
class Reader {
public:
    explicit Reader(const QSettings& store) : m_store(store) {}
    int32_t integer(std::string_view name, int32_t fallback) const {
        const auto raw = storedValue(m_store, name);
        return readInteger(raw ? StoredText(*raw) : std::nullopt, fallback);
    }
    bool flag(std::string_view name, bool fallback) const {
        const auto raw = storedValue(m_store, name);
        return readFlag(raw ? StoredText(*raw) : std::nullopt, fallback);
    }
    QString text(std::string_view name, const QString& fallback) const {
        const auto raw = storedValue(m_store, name);
        return raw ? QString::fromStdString(*raw) : fallback;
    }
    std::optional<std::string> raw(std::string_view name) const {
        return storedValue(m_store, name);
    }

private:
    const QSettings& m_store;
};

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

void loadWindow(TMainForm& f, const Reader& r) {
    f.move(r.integer("Left", 10), f.y());
    f.move(f.x(), r.integer("Top", 10));
    f.DeviationLevels[0] = lowByte(r.integer("Vol1", 25));
    f.DeviationLevels[1] = lowByte(r.integer("Vol2", 20));
    f.DeviationLevels[2] = lowByte(r.integer("Vol3", 30));
    f.encoder().SyncText = r.text("Sync", QString::fromLatin1(StockSyncText)).toStdString();
    f.encoder().IdleText = r.text("Idle", QString::fromLatin1(StockIdleText)).toStdString();
    f.TuneTime->setValue(r.integer("TuneTime", 5)); // the box clamps to 1..15
    f.BitLen[0] = r.integer("BitLen512", 750);
    f.BitLen[1] = r.integer("BitLen1200", 640);
    f.BitLen[2] = r.integer("BitLen2400", 320);
    f.DataFolder = r.text("DataFolder", f.ProgramFolder);
    setFlag(f.logpages, r.flag("LogPages", false));
}

void loadAutoSend(TAutoForm& a, const Reader& r) {
    setFlag(a.AutoSend(), r.flag("AutoSend", false));
    a.CheckRate()->setValue(r.integer("CheckRate", 2)); // clamps to 2..600
    setWholeText(a.edFileName(), r.text("AutoFile", qname(DefaultAutoFile)));
    setWholeText(a.edLockFile(), r.text("LockFile", QStringLiteral("Lock.Lck")));
    a.AutoDelay()->setValue(r.integer("AutoDelay", 0)); // clamps to 0..10
}

void loadIdent(TIdentForm& i, const Reader& r) {
    i.IdentFrequency()->setValue(r.integer("Frequency", 0)); // clamps to 0..60
    setWholeText(i.edIdent(), r.text("StationID", QStringLiteral("GXZYX")));
    i.SetVolume()->setValue(r.integer("MorseDev", 10)); // clamps to 0..100
}

void loadKeying(TMainForm& f, TKeyingForm& k, const Reader& r) {
    k.Port()->setCurrentIndex(listIndex(r.integer("Port", 0), k.Port()->count()));
    k.setPin(std::clamp(r.integer("Pin", 0), -1, 7));
    k.KeyDelay()->setValue(r.integer("Delay", 200)); // clamps to 100..900
    k.setPttSettings(readPttSettings([&r](std::string_view name) { return r.raw(name); }));
    const bool inverted = r.flag("InvKey", false);
    const bool flipped = inverted != k.InvKey()->isChecked();
    if (flipped)
        k.InvKey()->setChecked(inverted);
    // A stored keying method opens with the stored polarity, so it starts released.
    f.applyKeyingMethod();
    if (flipped)
        f.keyer().UnkeyTransmitter(); // the released level follows the new polarity
    setFlag(k.AllowKeying(), r.flag("Keying", false));
}

void loadPageButtons(TMainForm& f, const Reader& r) {
    selectIf(r.flag("Baud1", false), f.BR1);
    selectIf(r.flag("Baud2", true), f.BR2);
    selectIf(r.flag("Baud3", false), f.BR3);
    selectIf(r.flag("Func1", false), f.FB1);
    selectIf(r.flag("Func2", false), f.FB2);
    selectIf(r.flag("Func3", false), f.FB3);
    selectIf(r.flag("Func4", true), f.FB4);
    selectIf(r.flag("A-N1", true), f.AN1);
    selectIf(r.flag("A-N2", false), f.AN2);
    selectIf(r.flag("NI1", true), f.NI1);
    selectIf(r.flag("NI2", false), f.NI2);
    setWholeText(f.RicEdit, r.text("LastRIC", QStringLiteral("1234567")));
}

/// The audio output by name; an empty backend is the stock one.
void loadAudio(TMainForm& f, const Reader& r) {
    f.AudioBackend = r.text("AudioBackend", qname(DefaultAudioBackend));
    if (f.AudioBackend.isEmpty())
        f.AudioBackend = qname(DefaultAudioBackend);
    f.AudioDevice = r.text("AudioDevice", QString());
}

/// The state that follows from the loaded controls: numeric check, rate, polarity.
void alignDerivedState(TMainForm& f) {
    if (f.AN2->isChecked())
        f.AN2Click();
    if (f.BR1->isChecked())
        f.BR1Click();
    if (f.BR2->isChecked())
        f.BR2Click();
    if (f.BR3->isChecked())
        f.BR3Click();
    f.SignalGen().setInverted(!f.NI1->isChecked());
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

void saveWindow(TMainForm& f, Writer& w) {
    w.integer("Left", f.x());
    w.integer("Top", f.y());
    w.integer("Vol1", f.DeviationLevels[0]);
    w.integer("Vol2", f.DeviationLevels[1]);
    w.integer("Vol3", f.DeviationLevels[2]);
    w.text("Sync", QString::fromStdString(f.encoder().SyncText));
    w.text("Idle", QString::fromStdString(f.encoder().IdleText));
    w.integer("TuneTime", f.TuneTime->value());
    w.integer("BitLen512", f.BitLen[0]);
    w.integer("BitLen1200", f.BitLen[1]);
    w.integer("BitLen2400", f.BitLen[2]);
    w.text("DataFolder", f.DataFolder);
    w.flag("LogPages", f.logpages->isChecked());
}

void saveDialogs(const MainFormDialogs& d, Writer& w) {
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

void savePageButtons(TMainForm& f, Writer& w) {
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

void saveAudio(TMainForm& f, Writer& w) {
    w.text("AudioBackend", f.AudioBackend);
    w.text("AudioDevice", f.AudioDevice);
}

} // namespace

std::unique_ptr<QSettings> openSettingsStore(const QString& file) {
    std::unique_ptr<QSettings> store;
#ifdef Q_OS_WIN
    if (file.isEmpty())
        store = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\") +
                                                qname(SettingsKeyPath),
                                            QSettings::NativeFormat);
#endif
    if (!store && file.isEmpty())
        store = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("dovrik-apps"), qname(SettingsSection));
    if (!store)
        store = std::make_unique<QSettings>(file, QSettings::IniFormat);
    store->beginGroup(qname(SettingsSection));
    return store;
}

QString settingsStoreName(const QString& file) {
#ifdef Q_OS_WIN
    if (file.isEmpty())
        return qname(SettingsKeyPath);
#endif
    if (!file.isEmpty())
        return file;
    return openSettingsStore(file)->fileName();
}

std::optional<std::string> storedValue(const QSettings& store, std::string_view name) {
    const QVariant v = store.value(qname(name));
    if (!v.isValid())
        return std::nullopt;
    if (v.typeId() == QMetaType::QStringList) // an unquoted text with commas, edited by hand
        return v.toStringList().join(QLatin1Char(',')).toStdString();
    return v.toString().toStdString();
}

QString TMainForm::settingsLocation() const {
    return settingsStoreName(m_settingsFile);
}

void TMainForm::LoadSettings() {
    const auto store = openSettingsStore(m_settingsFile);
    const Reader reader(*store);
    loadWindow(*this, reader);
    if (m_dialogs.autoSend != nullptr)
        loadAutoSend(*m_dialogs.autoSend, reader);
    if (m_dialogs.ident != nullptr)
        loadIdent(*m_dialogs.ident, reader);
    if (m_dialogs.keying != nullptr)
        loadKeying(*this, *m_dialogs.keying, reader);
    loadPageButtons(*this, reader);
    loadAudio(*this, reader);
    if (m_dialogs.autoSend != nullptr && m_dialogs.autoSend->edFileName()->text().isEmpty())
        m_dialogs.autoSend->edFileName()->setText(qname(DefaultAutoFile));
    alignDerivedState(*this);
}

bool TMainForm::SaveSettings() {
    auto store = openSettingsStore(m_settingsFile);
    Writer writer(*store);
    saveWindow(*this, writer);
    if (m_dialogs.autoSend != nullptr && m_dialogs.ident != nullptr && m_dialogs.keying != nullptr)
        saveDialogs(m_dialogs, writer);
    savePageButtons(*this, writer);
    saveAudio(*this, writer);
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
