#include "paging/auto_send.h"

#include "encoder/conversions.h"

#include <array>
#include <ctime>
#include <stdexcept>
#include <string>

namespace tarvex {

int32_t SecondsSince2000(int year, int month, int day, int hour, int minute, int second) {
    static constexpr std::array<int, 12> start = {0,   31,  59,  90,  120, 151,
                                                  181, 212, 243, 273, 304, 334};
    if (month < 1 || month > 12)
        throw std::out_of_range("month " + std::to_string(month) + " outside 1..12");
    int64_t leaps = 0;
    for (int y = 2000; y <= year; ++y)
        if (y % 4 == 0)
            ++leaps;
    const int64_t days = start[static_cast<std::size_t>(month - 1)] + (day - 1) +
                         (int64_t{year} - 2000) * 365 + leaps;
    const int64_t seconds = days * 86400 + int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
    return static_cast<int32_t>(static_cast<uint32_t>(seconds)); // 32-bit, as the file holds
}

int32_t SecondsSince2000() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return SecondsSince2000(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                            local.tm_min, local.tm_sec);
}

std::vector<std::string> readAutoSendLines(std::string_view text) {
    if (const auto eof = text.find('\x1A'); eof != std::string_view::npos)
        text = text.substr(0, eof);
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (lf == std::string_view::npos)
            break;
        text.remove_prefix(lf + 1);
    }
    return lines;
}

std::optional<TimedEntry> splitTimedEntry(std::string_view line) {
    if (line.empty() || line.front() != 'T')
        return std::nullopt;
    const auto due = tryStrToInt(line.substr(1, 10));
    if (!due)
        return std::nullopt;
    return TimedEntry{*due, std::string(line.size() > 11 ? line.substr(11) : std::string_view{})};
}

AutoSendSort sortAutoSendLines(const std::vector<std::string>& lines, int32_t now,
                               std::size_t maxLines) {
    AutoSendSort out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (i >= maxLines) {
            out.keep.push_back(line);
            continue;
        }
        if (const auto timed = splitTimedEntry(line)) {
            if (timed->due > now)
                out.keep.push_back(line);
            else if (!timed->entry.empty())
                out.send.push_back(timed->entry);
            continue;
        }
        if (!line.empty())
            out.send.push_back(line);
    }
    return out;
}

std::string autoSendFileText(const std::vector<std::string>& keep) {
    std::string text;
    for (const auto& line : keep) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace tarvex
