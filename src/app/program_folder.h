#pragma once
// Where the program keeps its files (message list, auto-send and lock files, the default
// data folder): the executable's own folder when the user may write there, as in a
// portable install; otherwise the user's data folder for this program.
#include <QString>

namespace tarvex {

/// The folder text with exactly one trailing '/'.
QString withTrailingSeparator(const QString& folder);

/// ProgramFolder for an executable in exeFolder; appDataFolder is the fallback, created
/// when missing. Both arguments default to the running program's folders.
QString resolveProgramFolder(const QString& exeFolder = {}, const QString& appDataFolder = {});

/// True when a file can be created in the folder (checked by creating and removing one).
bool folderIsWritable(const QString& folder);

} // namespace tarvex
