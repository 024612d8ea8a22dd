#pragma once
// Doubles and fixtures shared by the server tests and fuzz targets: a page sink that records
// (and can be told to fail), an authenticator with passwords in memory, a temporary station
// folder and a small pager directory written to it.
#include "network/intake/authenticator.h"
#include "network/page_sink.h"
#include "network/pager_directory.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvex::testing {

class RecordingSink : public PageSink {
public:
    std::optional<int64_t> accept(const QueuedPage& page, std::string* error) override {
        const std::lock_guard lock(m_mutex);
        if (failAfter >= 0 && static_cast<int>(m_pages.size()) >= failAfter) {
            *error = "disk full";
            return std::nullopt;
        }
        m_pages.push_back(page);
        m_pages.back().id = static_cast<int64_t>(m_pages.size());
        return m_pages.back().id;
    }
    std::vector<QueuedPage> pages() const {
        const std::lock_guard lock(m_mutex);
        return m_pages;
    }
    std::size_t count() const {
        const std::lock_guard lock(m_mutex);
        return m_pages.size();
    }
    int failAfter = -1; ///< refuse every page after this many

private:
    mutable std::mutex m_mutex;
    std::vector<QueuedPage> m_pages;
};

class FakeAuthenticator : public Authenticator {
public:
    std::map<std::string, std::string, std::less<>> passwords;
    AuthResult verify(std::string_view user, std::string_view password) override {
        const auto it = passwords.find(user);
        if (it == passwords.end())
            return AuthResult::UnknownUser;
        return it->second == password ? AuthResult::Accepted : AuthResult::WrongPassword;
    }
};

/// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvex-servers-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline Pager makePager(std::string id, uint32_t ric, PagerCoding coding, Charset charset,
                       int maxLength) {
    Pager pager;
    pager.id = std::move(id);
    pager.ric = ric;
    pager.coding = coding;
    pager.charset = charset;
    pager.maxLength = maxLength;
    return pager;
}

/// 1001 German alphanumeric (40), 1002 numeric (20), 1003 tone only, 1004 US-ASCII (80).
inline std::vector<Pager> samplePagers() {
    return {makePager("1001", 1001, PagerCoding::Alphanumeric, Charset::German, 40),
            makePager("1002", 1002, PagerCoding::Numeric, Charset::UsAscii, 20),
            makePager("1003", 1003, PagerCoding::ToneOnly, Charset::UsAscii, 0),
            makePager("1004", 1004, PagerCoding::Alphanumeric, Charset::UsAscii, 80)};
}

inline void writeDirectory(const std::string& path, const std::vector<Pager>& pagers) {
    PagerDirectory directory;
    std::string error;
    for (const auto& pager : pagers) {
        if (!directory.add(pager, &error))
            throw std::runtime_error(error);
    }
    if (!directory.save(path, &error))
        throw std::runtime_error(error);
}

/// A directory file of the sample pagers, written once for the whole process.
inline const std::string& sampleDirectoryFile() {
    static TempFolder folder;
    static const std::string path = [] {
        std::string p = folder.file("Pagers.txt");
        writeDirectory(p, samplePagers());
        return p;
    }();
    return path;
}

} // namespace tarvex::testing
