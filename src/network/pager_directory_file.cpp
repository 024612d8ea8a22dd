// Reading and writing the pager directory file: its canonical text (with an explanation at
// the top unless the person's own comments are there), a bounded read, and a write through a
// temporary file in the same folder that is flushed to disk and then renamed over the old
// file, so a crash leaves either the old directory or the new one, never half of one.
#include "network/pager_directory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <filesystem>
#include <fstream>
#endif

namespace tarvex {
namespace {

constexpr long MaxFileBytes = 1024 * 1024;

constexpr char DefaultHeader[] =
    "# Tarvex pager directory: one [ID] section per pager; the ID is what SNPP PAGE or a WCTP\n"
    "# recipientID names. Keys: name, ric (0..2097151), function (0..3), coding (alphanumeric,\n"
    "# numeric or tone), baud (512, 1200 or 2400), polarity (normal or inverted), charset\n"
    "# (us, de, se, dk, fr or si), max-length (1..256; 0 for tone only).\n";

std::string reason(const std::string& path, int errnoValue) {
    return path + ": " + std::strerror(errnoValue);
}

void setError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

/// The file's text; nullopt and *error on failure; an empty text for a missing file.
std::optional<std::string> readBounded(const std::string& path, std::string* error) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (errno == ENOENT)
            return std::string();
        setError(error, reason(path, errno ? errno : EIO));
        return std::nullopt;
    }
    std::string text;
    char chunk[16384];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 &&
           text.size() <= static_cast<std::size_t>(MaxFileBytes))
        text.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno ? errno : EIO;
    std::fclose(file);
    if (failed) {
        setError(error, reason(path, readErrno));
        return std::nullopt;
    }
    return text;
}

#ifndef _WIN32
/// Writes the text to a new file and renames it over `path`. The new file gets the old
/// one's permissions (a person may have narrowed them), 0644 less the umask otherwise.
std::optional<std::string> replaceFile(const std::string& path, const std::string& text) {
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return reason(path, errno);
    std::size_t done = 0;
    int failure = 0;
    while (done < text.size() && failure == 0) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            failure = errno;
    }
    if (failure == 0 && ::fchmod(fd, mode) != 0)
        failure = errno;
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temp.c_str());
        return reason(path, failure);
    }
    // The rename itself is made durable by flushing the folder.
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}
#else
std::optional<std::string> replaceFile(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(text.data(), static_cast<std::streamsize>(text.size())) ||
            !out.flush()) {
            std::remove(temp.c_str());
            return reason(path, errno ? errno : EIO);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        return path + ": " + ec.message();
    }
    return std::nullopt;
}
#endif

} // namespace

std::string PagerDirectory::text() const {
    std::string out;
    if (m_header.empty())
        out = DefaultHeader;
    for (const auto& line : m_header)
        out += line + "\n";
    for (const Pager& p : m_pagers) {
        out += "\n[" + p.id + "]\n";
        if (const auto c = m_comments.find(p.id); c != m_comments.end())
            for (const auto& line : c->second)
                out += line + "\n";
        if (!p.name.empty())
            out += "name = " + p.name + "\n";
        out += "ric = " + std::to_string(p.ric) + "\n";
        out += "function = " + std::to_string(p.functionBits) + "\n";
        out += "coding = " + std::string(pagerCodingName(p.coding)) + "\n";
        out += "baud = " + std::to_string(p.baud) + "\n";
        out += std::string("polarity = ") + (p.inverted ? "inverted" : "normal") + "\n";
        out += "charset = " + std::string(charsetCode(p.charset)) + "\n";
        out += "max-length = " + std::to_string(p.maxLength) + "\n";
    }
    return out;
}

bool PagerDirectory::load(const std::string& path, std::string* error) {
    const auto text = readBounded(path, error);
    if (!text)
        return false;
    if (text->size() > static_cast<std::size_t>(MaxFileBytes)) {
        setError(error, path + ": larger than 1 MiB");
        return false;
    }
    std::string problem;
    if (!parse(*text, &problem)) {
        setError(error, path + ": " + problem);
        return false;
    }
    return true;
}

bool PagerDirectory::save(const std::string& path, std::string* error) const {
    if (auto problem = replaceFile(path, text())) {
        setError(error, *problem);
        return false;
    }
    return true;
}

} // namespace tarvex
