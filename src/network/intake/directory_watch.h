#pragma once
// The pager directory as the servers see it while the station runs: the file is read again
// when it changes on disk (tarvex-cli pager add), checked with one stat() per look-up; a
// file that no longer reads keeps the directory that was loaded before and is reported
// once. Thread-safe: each look-up gets a snapshot that stays valid while it is held.
#include "network/pager_directory.h"
#include "network/service_logger.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tarvex {

class DirectoryWatch {
public:
    using Logger = ServiceLogger;

    /// Reads the file at once; a bad file starts an empty directory (reported through log).
    DirectoryWatch(std::string path, Logger log);

    /// The directory as of now, read again first when the file changed since the last look.
    std::shared_ptr<const PagerDirectory> current();
    const std::string& path() const { return m_path; }
    /// Why no directory from the file is in use (missing, unreadable, a bad entry), as of the
    /// last current(); empty once one has been read (a later bad file keeps that one).
    std::string problem() const {
        const std::lock_guard lock(m_mutex);
        return m_problem;
    }

private:
    struct Stamp {
        bool exists = false;
        int64_t mtimeNs = 0;
        int64_t size = 0;
        uint64_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stampNow() const;
    bool reload(const Stamp& stamp);

    std::string m_path;
    Logger m_log;
    mutable std::mutex m_mutex;
    std::shared_ptr<const PagerDirectory> m_directory;
    Stamp m_seen; ///< the file state last read (or last refused)
    bool m_loaded = false;
    std::string m_problem;
};

} // namespace tarvex
