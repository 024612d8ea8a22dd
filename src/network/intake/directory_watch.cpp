#include "network/intake/directory_watch.h"

#include <sys/stat.h>
#include <utility>

namespace tarvex {

DirectoryWatch::DirectoryWatch(std::string path, Logger log)
    : m_path(std::move(path)), m_log(std::move(log)),
      m_directory(std::make_shared<PagerDirectory>()) {
    const std::lock_guard lock(m_mutex);
    reload(stampNow());
}

DirectoryWatch::Stamp DirectoryWatch::stampNow() const {
    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0)
        return {};
    Stamp stamp;
    stamp.exists = true;
    stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.size = static_cast<int64_t>(st.st_size);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    return stamp;
}

bool DirectoryWatch::reload(const Stamp& stamp) {
    // Remember the state even when it is refused, so a bad file is read (and reported) once
    // and not again at every page until it changes.
    m_seen = stamp;
    auto fresh = std::make_shared<PagerDirectory>();
    std::string error;
    if (!fresh->load(m_path, &error)) {
        if (!m_loaded)
            m_problem = error;
        m_log.warning("pager directory " + m_path +
                      " not read again, the previous one is kept: " + error);
        return false;
    }
    m_directory = std::move(fresh);
    // A missing file reads as an empty directory; until a file is there it is no directory.
    m_loaded = m_loaded || stamp.exists;
    m_problem = m_loaded ? std::string() : m_path + ": does not exist (tarvex-cli pager add)";
    return true;
}

std::shared_ptr<const PagerDirectory> DirectoryWatch::current() {
    const Stamp now = stampNow();
    const std::lock_guard lock(m_mutex);
    if (!(now == m_seen) && reload(now) && m_log)
        m_log("pager directory " + m_path +
              " read again: " + std::to_string(m_directory->pagers().size()) + " pagers");
    return m_directory;
}

} // namespace tarvex
