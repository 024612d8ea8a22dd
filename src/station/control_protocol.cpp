#include "station/control_protocol.h"

#include "encoder/codeword.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace tarvex {

namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string printable(std::string_view text, std::size_t limit = 40) {
    std::string out;
    for (const char c : text.substr(0, limit)) {
        const auto b = static_cast<unsigned char>(c);
        out += b >= 0x20 && b < 0x7F ? c : '?';
    }
    return text.size() > limit ? out + "..." : out;
}

std::string outcomeWord(const TxOutcome& out) {
    if (!out.built)
        return out.stopped ? "stopped" : "refused";
    if (out.stopped)
        return "stopped";
    if (!out.played)
        return "not sent";
    return out.portError.empty() ? "sent" : "keying failed";
}

/// A whole number of at most seven digits in 0..max.
std::optional<int64_t> boundedNumber(const std::string& word, int64_t max) {
    if (word.empty() || word.size() > 7 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int64_t value = std::stoll(word);
    return value <= max ? std::optional<int64_t>(value) : std::nullopt;
}

ControlParse parseSearch(std::string_view rest) {
    std::istringstream in{std::string(rest)};
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(upper(word));
    ControlRequest r;
    r.kind = ControlRequest::Kind::Search;
    std::size_t at = 0;
    if (at < words.size() && words[at] == "FAST") {
        r.fast = true;
        ++at;
    }
    const std::string usage = "SEARCH [FAST] <from> <to> [512|1200|2400] [INVERTED]";
    if (words.size() < at + 2 || words.size() > at + 4)
        return {std::nullopt, "SEARCH needs " + usage};
    const auto from = boundedNumber(words[at], MaxRic);
    const auto to = boundedNumber(words[at + 1], MaxRic);
    if (!from || !to)
        return {std::nullopt, "search codes are whole numbers from 0 to " + std::to_string(MaxRic)};
    if (*from > *to)
        return {std::nullopt, "the search's first code " + std::to_string(*from) +
                                  " is above its last " + std::to_string(*to)};
    r.from = *from;
    r.to = *to;
    at += 2;
    if (at < words.size() && (words[at] == "512" || words[at] == "1200" || words[at] == "2400"))
        r.baud = std::stoi(words[at++]);
    if (at < words.size() && words[at] == "INVERTED") {
        r.inverted = true;
        ++at;
    }
    if (at != words.size())
        return {std::nullopt, "SEARCH: '" + printable(words[at]) +
                                  "' is not a bit rate (512, 1200, 2400) or INVERTED; " + usage};
    return {r, {}};
}

} // namespace

ControlParse parseControlRequest(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() + 1 > MaxControlRequest)
        return {std::nullopt,
                "request longer than " + std::to_string(MaxControlRequest) + " bytes"};
    const std::size_t space = line.find(' ');
    const std::string word = upper(line.substr(0, space));
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (word == "STATUS" && rest.empty())
        return {ControlRequest{ControlRequest::Kind::Status, {}}, {}};
    if (word == "STATUS" && upper(rest) == "JSON")
        return {ControlRequest{ControlRequest::Kind::StatusJson, {}}, {}};
    if (word == "STOP" && rest.empty())
        return {ControlRequest{ControlRequest::Kind::Stop, {}}, {}};
    if (word == "RESUME" && rest.empty())
        return {ControlRequest{ControlRequest::Kind::Resume, {}}, {}};
    if (word == "QUEUE") {
        if (rest.empty())
            return {std::nullopt, "QUEUE needs an entry-format line"};
        if (std::any_of(rest.begin(), rest.end(), [](char c) { return c == '\n' || c == 0; }))
            return {std::nullopt, "the entry holds a line break or a zero byte"};
        return {ControlRequest{ControlRequest::Kind::Queue, std::string(rest)}, {}};
    }
    if (word == "SEARCH")
        return parseSearch(rest);
    if (word == "STATUS" || word == "STOP" || word == "RESUME")
        return {std::nullopt, word + " takes no arguments"};
    return {std::nullopt, "unknown request '" + printable(word) +
                              "' (STATUS, STOP, RESUME, QUEUE <entry> or SEARCH ...)"};
}

RequestedSearch startRequestedSearch(Station& station, const ControlRequest& request,
                                     const std::string& origin) {
    SearchJob job;
    job.fast = request.fast;
    job.from = request.from;
    job.to = request.to;
    const int level = station.rateLevel(request.baud);
    if (request.fast) {
        job.block.baud = request.baud;
        job.block.inverted = request.inverted;
        job.block.level = level;
        job.block.log = station.options().logPages;
        job.block.logRic = std::to_string(request.from);
        job.block.logMessage = "fast search from " + origin;
    } else {
        // Each code goes as an ordinary page whose RIC and message are the code.
        job.page.page.baud = request.baud;
        job.page.page.inverted = request.inverted;
        job.page.level = level;
        job.page.log = station.options().logPages;
        job.page.origin = origin;
    }
    RequestedSearch out;
    out.what = std::string(request.fast ? "fast search from " : "search of codes ") +
               std::to_string(request.from) + (request.fast ? " until " : " to ") +
               std::to_string(request.to) + " at " + std::to_string(request.baud) + " bit/s" +
               (request.inverted ? ", inverted" : "");
    out.started = station.startSearch(std::move(job), &out.why);
    return out;
}

std::string statusText(const HealthFacts& facts) {
    const StationStatus& s = facts.station;
    std::string text;
    text += "state: " + std::string(stateName(s.state));
    if (s.state != OnAirState::Idle)
        text += " (" + std::string(sourceName(s.source)) + ")";
    text += "\nqueue: " + std::to_string(s.queued + facts.waiting) + "\n";
    text += "keying: " + s.keying +
            (s.keyingError.empty() ? ", ok" : ", failing: " + s.keyingError) + "\n";
    text +=
        "audio: " + s.audio + (s.audioError.empty() ? ", ok" : ", failing: " + s.audioError) + "\n";
    if (s.audioRetryMs > 0)
        text += "audio retry: the page queue waits " +
                std::to_string((s.audioRetryMs + 999) / 1000) + " s for the next try\n";
    text += std::string("auto send: ") + (facts.autoSend ? "on" : "off");
    if (facts.autoSendWaiting > 0)
        text += ", " + std::to_string(facts.autoSendWaiting) + " taken entries waiting";
    text += "\n";
    if (s.search)
        text += std::string("search: ") + (s.search->fast ? "fast, next block " : "codes, next ") +
                s.search->nextText + (s.search->fast ? ", stop at " : " of ") +
                std::to_string(s.search->to) + ", " + std::to_string(s.search->sent) + " sent\n";
    if (s.heldMs > 0)
        text += "held: after STOP, pages from other systems wait " +
                std::to_string((s.heldMs + 999) / 1000) + " s more (tarvex-cli resume ends it)\n";
    if (s.last)
        text += "last: " + serviceLogLine(*s.last) + "\n";
    else
        text += "last: none\n";
    return text;
}

std::vector<std::string> serviceLogLines(const TxOutcome& out) {
    if (out.pages.size() <= 1)
        return {serviceLogLine(out)};
    // A transmission of several pages: a line for each, then what they shared.
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < out.pages.size(); ++i) {
        TxOutcome one = out;
        const SentPage& page = out.pages[i];
        one.ric = page.ric;
        one.message = page.message;
        one.source = page.source;
        one.origin = page.origin;
        one.repeat = page.repeat;
        one.pages = {page};
        lines.push_back(serviceLogLine(one) + " (page " + std::to_string(i + 1) + " of " +
                        std::to_string(out.pages.size()) + " in one key-up)");
    }
    return lines;
}

std::string serviceLogLine(const TxOutcome& out) {
    std::string line;
    switch (out.kind) {
    case TxKind::Page:
        line = "page RIC " + out.ric;
        break;
    case TxKind::FastSearch:
        line = "fast search";
        break;
    case TxKind::TuneUp:
        line = "tune-up";
        break;
    case TxKind::Ident:
        line = "ident";
        break;
    }
    line += " from " + std::string(sourceName(out.source));
    if (!out.origin.empty())
        line += " (" + out.origin + ")";
    line += ": " + outcomeWord(out);
    if (out.built)
        line += ", " + std::to_string(out.codewords) + " codewords, Duration " +
                std::to_string(out.durationMs) + " ms";
    line += ", port " + (out.portError.empty() ? std::string("ok") : out.portError);
    if (!out.error.empty())
        line += ", " + std::string(out.built ? "audio " : "") + out.error;
    else if (out.built && !out.stopped)
        line += ", audio ok";
    if (out.repeat)
        line += " (repeat)";
    return line;
}

} // namespace tarvex
