#pragma once
// Fault injection for the fault tests: run as an ordinary user (so a folder's permission
// bits stop writes even when the suite runs as root), flip a folder between read-only and
// writable, run a piece of code in a child process under a file-size limit (a full disk),
// and a hook that runs just before the program removes or renames a file.
#include <functional>
#include <string>
#include <string_view>

namespace tarvex::faults {

/// Called first in main(): when running as root, continue as the unprivileged user 65534,
/// for whom permission bits count; then checks that a read-only folder really refuses a
/// new file. Ends the process with a message when neither can be arranged.
void runAsOrdinaryUser();

/// True when a new file can be created in the folder right now.
bool canCreateIn(const std::string& folder);

/// Makes a folder read-only (0555) or writable (0755); the destructor leaves it writable
/// so that the temporary folders can be removed.
class FolderLock {
public:
    explicit FolderLock(std::string folder) : m_folder(std::move(folder)) {}
    ~FolderLock() { writable(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    void readOnly();
    void writable();

private:
    std::string m_folder;
};

/// Runs body in a forked child whose files may not grow beyond limitBytes (SIGXFSZ
/// ignored, so a write past the limit fails with EFBIG as on a full disk). Returns what
/// body returned, or "child failed: ..." when the child crashed or could not be started.
std::string runWithFileSizeLimit(long limitBytes, const std::function<std::string()>& body);

/// The hook sees ("remove", path) or ("rename", from) just before the C library does it.
using FileOpHook = std::function<void(std::string_view op, std::string_view path)>;
void setFileOpHook(FileOpHook hook);

/// The whole file ("" when missing) and a plain write, for checking and setting up.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view text);

} // namespace tarvex::faults
