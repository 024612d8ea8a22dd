#include "app/program_folder.h"

#include "paging/station_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace tarvex {

QString withTrailingSeparator(const QString& folder) {
    QString out = folder;
    while (out.size() > 1 && out.endsWith('/'))
        out.chop(1);
    return out.endsWith('/') ? out : out + '/';
}

bool folderIsWritable(const QString& folder) {
    // Permission bits alone do not tell (read-only mounts, ACLs): try it.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarvex-probe-XXXXXX")));
    return probe.open();
}

QString resolveProgramFolder(const QString& exeFolder, const QString& appDataFolder) {
    // Named outright (a service's state folder, tests): the same for every Tarvex program.
    const QString forced = qEnvironmentVariable(StationFolderVariable);
    if (!forced.isEmpty()) {
        QDir().mkpath(forced);
        return withTrailingSeparator(forced);
    }
    const QString exe = exeFolder.isEmpty() ? QCoreApplication::applicationDirPath() : exeFolder;
    if (folderIsWritable(exe))
        return withTrailingSeparator(exe);
    const QString data = appDataFolder.isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                             : appDataFolder;
    QDir().mkpath(data);
    return withTrailingSeparator(data);
}

} // namespace tarvex
