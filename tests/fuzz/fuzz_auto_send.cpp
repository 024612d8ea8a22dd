// Fuzz target: the auto-send file as another program may leave it, read and sorted by
// polls. The lines read give the text back exactly (up to a Ctrl-Z); a poll sends or keeps
// every line it takes, once, keeps later lines and held-back timed entries unchanged and in
// order, takes at most its limit, and the rewritten file reads back as the kept lines.
// Polls run until everything is due must send every page of the file exactly once.
#include "fuzz_check.h"
#include "paging/auto_send.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace tarvex;
using tarvex::fuzz::quoted;
using Lines = std::vector<std::string>;

namespace {

/// The lines must spell the text out again, each followed by the ending the reader took
/// off: CR LF where the LF had a CR before it, else LF; only the last line may lack one.
void checkLinesSpellText(std::string_view text, const Lines& lines) {
    const std::string_view whole = text.substr(0, text.find('\x1A'));
    std::size_t pos = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        FUZZ_CHECK(line.find('\n') == std::string::npos && line.find('\x1A') == std::string::npos,
                   quoted(line));
        FUZZ_CHECK(whole.substr(pos, line.size()) == line, "line " + std::to_string(i));
        pos += line.size();
        if (pos == whole.size()) {
            FUZZ_CHECK(i + 1 == lines.size(), "lines after the end of " + quoted(whole));
            break;
        }
        if (whole.substr(pos, 2) == "\r\n") {
            pos += 2;
        } else {
            FUZZ_CHECK(whole[pos] == '\n' && (line.empty() || line.back() != '\r'),
                       "line " + std::to_string(i) + " of " + quoted(whole));
            pos += 1;
        }
    }
    FUZZ_CHECK(pos == whole.size(), "text left over in " + quoted(whole));
}

/// What one poll must do with the lines, written from the file protocol's rules.
AutoSendSort referenceSort(const Lines& lines, int32_t now, std::size_t maxLines) {
    AutoSendSort out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const auto due = !line.empty() && line[0] == 'T'
                             ? fuzz::referenceDecimal(std::string_view(line).substr(1, 10))
                             : std::nullopt;
        if (i >= maxLines || (due && *due > now))
            out.keep.push_back(line);
        else if (due && line.size() > 11)
            out.send.push_back(line.substr(11));
        else if (!due && !line.empty())
            out.send.push_back(line);
    }
    return out;
}

void checkPoll(const Lines& lines, int32_t now, std::size_t maxLines, const AutoSendSort& got) {
    const AutoSendSort want = referenceSort(lines, now, maxLines);
    const std::string what = std::to_string(lines.size()) + " lines, now " + std::to_string(now) +
                             ", limit " + std::to_string(maxLines);
    FUZZ_CHECK(got.send == want.send, "send differs: " + what);
    FUZZ_CHECK(got.keep == want.keep, "keep differs: " + what);
    FUZZ_CHECK(got.send.size() <= std::min(lines.size(), maxLines), what);
    FUZZ_CHECK(std::none_of(got.send.begin(), got.send.end(),
                            [](const std::string& s) { return s.empty(); }),
               what);

    // The rewritten file holds the kept lines and nothing else.
    const std::string file = autoSendFileText(got.keep);
    FUZZ_CHECK(file.empty() == got.keep.empty(), what);
    FUZZ_CHECK(readAutoSendLines(file) == got.keep, "rewritten file reads back otherwise: " + what);
}

/// Every page the file holds: its entries, and its timed entries without their prefix.
Lines pagesOf(const Lines& lines) {
    Lines pages;
    for (const auto& line : lines) {
        if (const auto timed = splitTimedEntry(line)) {
            if (!timed->entry.empty())
                pages.push_back(timed->entry);
        } else if (!line.empty()) {
            pages.push_back(line);
        }
    }
    return pages;
}

/// Polls at growing times until everything is due; each page must leave exactly once.
void checkPollsSendEverythingOnce(const Lines& lines, FuzzedDataProvider& in, std::size_t limit) {
    if (limit == 0)
        return;
    // A limit of at least a quarter of the file keeps the polls few (and the target fast).
    const std::size_t maxLines = std::max(limit, lines.size() / 4 + 1);
    Lines file = lines;
    Lines sent;
    int32_t now = in.ConsumeIntegral<int32_t>();
    // A few polls at times from the input, then enough polls for the limit at the last
    // time there is, when every timed entry is due.
    constexpr std::size_t EarlyPolls = 4;
    const std::size_t polls = EarlyPolls + lines.size() / maxLines + 1;
    for (std::size_t poll = 0; poll < polls && !file.empty(); ++poll) {
        if (poll >= EarlyPolls)
            now = INT32_MAX;
        const AutoSendSort sort = sortAutoSendLines(file, now, maxLines);
        sent.insert(sent.end(), sort.send.begin(), sort.send.end());
        file = readAutoSendLines(autoSendFileText(sort.keep));
        const int32_t step = in.ConsumeIntegralInRange<int32_t>(0, 1 << 30);
        now = now > INT32_MAX - step ? INT32_MAX : now + step;
    }
    FUZZ_CHECK(file.empty(), std::to_string(file.size()) + " lines never sent");
    Lines expected = pagesOf(lines);
    std::sort(expected.begin(), expected.end());
    std::sort(sent.begin(), sent.end());
    FUZZ_CHECK(sent == expected, "pages lost or sent twice");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool ownLimit = in.ConsumeBool();
    const std::size_t maxLines =
        ownLimit ? in.ConsumeIntegralInRange<std::size_t>(0, 12) : AutoSendMaxLines;
    int32_t now = in.ConsumeIntegral<int32_t>();
    const bool nearDueTime = in.ConsumeBool();
    const int32_t offset = in.ConsumeIntegralInRange(-1, 1);
    const std::string text = in.ConsumeRandomLengthString(size);

    const Lines lines = readAutoSendLines(text);
    checkLinesSpellText(text, lines);
    if (nearDueTime) // the moment of the first due time in the file, or a second either side
        for (const auto& line : lines)
            if (const auto timed = splitTimedEntry(line)) {
                now = static_cast<int32_t>(
                    std::clamp<int64_t>(int64_t{timed->due} + offset, INT32_MIN, INT32_MAX));
                break;
            }

    const AutoSendSort sort =
        ownLimit ? sortAutoSendLines(lines, now, maxLines) : sortAutoSendLines(lines, now);
    checkPoll(lines, now, maxLines, sort);
    checkPollsSendEverythingOnce(lines, in, maxLines);
    return 0;
}
