#include "paging/message_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tarvex {

std::vector<std::string> splitMessageList(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

std::string messageListText(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

MessageListRead readMessageList(const std::string& path) {
    MessageListRead result;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return result;
    result.exists = true;
    std::string error;
    const auto text = file_io::readAll(path, &error);
    if (!text) {
        result.error = error;
        return result;
    }
    result.lines = splitMessageList(*text);
    return result;
}

std::optional<std::string> writeMessageList(const std::string& path,
                                            const std::vector<std::string>& lines) {
    // The replacement goes through a new file, which would also get past a list file
    // that was made read-only: such a file is left as it is and the reason reported.
    errno = 0;
    if (std::FILE* existing = std::fopen(path.c_str(), "r+b"))
        std::fclose(existing);
    else if (errno == EACCES || errno == EPERM || errno == EROFS)
        return file_io::reason(path, errno);
    return file_io::replaceWhole(path, messageListText(lines));
}

namespace file_io {

std::string reason(const std::string& path, int errnoValue) {
    return path + ": " + std::strerror(errnoValue);
}

std::optional<std::string> readAll(const std::string& path, std::string* error) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = reason(path, errno != 0 ? errno : EIO);
        return std::nullopt;
    }
    std::string text;
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno != 0 ? errno : EIO;
    std::fclose(file);
    if (failed) {
        *error = reason(path, readErrno);
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> replaceWhole(const std::string& path, std::string_view text) {
    const std::string temp = path + ".new";
    errno = 0;
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr)
        return reason(path, errno != 0 ? errno : EIO);
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const int writeErrno = errno != 0 ? errno : EIO;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temp.c_str());
        return reason(path, !written ? writeErrno : (errno != 0 ? errno : EIO));
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        return path + ": " + ec.message();
    }
    return std::nullopt;
}

} // namespace file_io

} // namespace tarvex
