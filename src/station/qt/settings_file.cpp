#include "station/qt/settings_file.h"

#include <QFile>
#include <QFileInfo>
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

StoreInspection inspectSettingsStore(const QString& file) {
    StoreInspection out;
    const auto store = openSettingsStore(file);
    for (const QString& key : store->childKeys())
        out.keys.push_back(key.toStdString());
#ifdef Q_OS_WIN
    if (file.isEmpty())
        return out; // the registry: no file to read
#endif
    const QString path = store->fileName();
    if (!QFileInfo::exists(path)) {
        out.note = "does not exist: every setting takes its default";
        return out;
    }
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly) || (raw.read(1), raw.error() != QFileDevice::NoError)) {
        out.fault = "cannot be read: " + raw.errorString().toStdString();
        return out;
    }
    if (store->status() == QSettings::FormatError) {
        out.fault = "is not an INI file";
        return out;
    }
    if (!out.keys.empty())
        return out;
    store->endGroup();
    const QStringList groups = store->childGroups();
    for (const QString& group : groups)
        if (group.compare(qname(SettingsSection), Qt::CaseInsensitive) == 0) {
            out.fault = "has no section [Tarvex] ([" + group.toStdString() +
                        "] is not it: the name is case-sensitive)";
            return out;
        }
    if (!groups.isEmpty() || !store->childKeys().isEmpty())
        out.fault = "has no section [Tarvex]";
    else
        out.note = "holds no settings: every setting takes its default";
    return out;
}

} // namespace tarvex
