#include "station/qt/settings_file.h"

#include <QVariant>

namespace tarvex {

namespace {

QString qname(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
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

} // namespace tarvex
