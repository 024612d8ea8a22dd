// The web API's pages, pager directory and page log: a page goes through the same intake as
// SNPP and WCTP (directory, length, character set, rate limit, durable queue); the directory
// takes the same fields and gives the same "field: reason" messages as tarvex-cli pager; the
// page log is read from its end, newest line first, and searched by its text or by a pager's ID
// or name (through the pager's RIC, which is how the log names it).
#include "network/intake/page_intake.h"
#include "network/pager_directory.h"
#include "network/web/web_api.h"
#include "station/settings_values.h"
#include "station/station.h"

#include <algorithm>
#include <fstream>
#include <set>

namespace tarvex {

namespace {

constexpr std::size_t LogTailBytes = 1 << 20; ///< the page log is searched this far back
constexpr std::size_t LogPageLines = 50;
constexpr std::size_t MaxTypedLength = 256; ///< a directory entry's own bound

std::string pagerJson(const Pager& p) {
    return "{\"id\":" + jsonText(p.id) + ",\"name\":" + jsonText(p.name) +
           ",\"ric\":" + std::to_string(p.ric) + ",\"function\":" + std::to_string(p.functionBits) +
           ",\"coding\":" + jsonText(pagerCodingName(p.coding)) +
           ",\"baud\":" + std::to_string(p.baud) +
           ",\"polarity\":" + jsonText(p.inverted ? "inverted" : "normal") +
           ",\"charset\":" + jsonText(charsetCode(p.charset)) +
           ",\"max-length\":" + std::to_string(p.maxLength) + "}";
}

/// The refusal for a "field: reason" message, the field named apart for the form.
HttpReply fieldError(const std::string& message) {
    const auto colon = message.find(':');
    return jsonReply(400, "{\"error\":" + jsonText(message) + ",\"field\":" +
                              jsonText(colon == std::string::npos ? "" : message.substr(0, colon)) +
                              "}");
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

/// The last lines of the file (at most LogTailBytes of it), oldest first.
std::vector<std::string> tailLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    if (!in)
        return lines;
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(std::max<std::streamoff>(0, in.tellg()));
    const std::size_t from = size > LogTailBytes ? size - LogTailBytes : 0;
    in.seekg(static_cast<std::streamoff>(from));
    std::string line;
    if (from > 0)
        std::getline(in, line); // a line cut by the window's start is left out
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(isUtf8(line) ? line : latin1ToUtf8(line));
    }
    return lines;
}

/// The RICs of the pagers whose ID or name holds the (lowered) needle: the page log names a
/// page's pager by its RIC alone.
std::set<int32_t> ricsOfPagers(const std::string& directoryPath, const std::string& needle) {
    std::set<int32_t> rics;
    PagerDirectory directory;
    if (needle.empty() || !directory.load(directoryPath, nullptr))
        return rics;
    for (const Pager& p : directory.pagers())
        if (lowered(p.id).find(needle) != std::string::npos ||
            lowered(p.name).find(needle) != std::string::npos)
            rics.insert(static_cast<int32_t>(p.ric));
    return rics;
}

std::string logLineJson(const std::string& line) {
    static constexpr std::string_view Markers[] = {" - confirmed", " - not heard", " - stopped",
                                                   " - not sent", " - repeat"};
    std::string markers;
    for (const std::string_view marker : Markers)
        if (line.find(marker) != std::string::npos)
            markers += std::string(markers.empty() ? "" : ",") + jsonText(marker.substr(3));
    const auto dash = line.find(" - ");
    return "{\"ric\":" + jsonText(dash == std::string::npos ? "" : line.substr(0, dash)) +
           ",\"line\":" + jsonText(line) + ",\"markers\":[" + markers + "]}";
}

/// A pager typed in full (RIC, function, coding, baud, polarity, charset), checked as a
/// directory entry is, field by field; it takes as long a message as the inputs allow.
std::optional<std::string> readTypedPager(const JsonObject& body, const InboundLimits& limits,
                                          Pager& typed) {
    typed.maxLength =
        static_cast<int>(std::min<std::size_t>(MaxTypedLength, limits.maxMessageLength));
    for (const auto& [key, value] : body) {
        if (key == "message" || value.type == JsonValue::Type::Null)
            continue;
        if (key != "ric" && key != "function" && key != "coding" && key != "baud" &&
            key != "polarity" && key != "charset")
            return key.substr(0, 32) + ": not a field of a typed page";
        if (auto problem = setPagerField(typed, key, value.text))
            return problem;
    }
    if (typed.coding == PagerCoding::ToneOnly)
        typed.maxLength = 0;
    typed.id = "ric-" + std::to_string(typed.ric);
    return validatePager(typed);
}

} // namespace

HttpReply WebApi::send(Call& call) {
    std::string error;
    const auto body = readJsonObject(call.ex.request.body, &error, 8);
    if (!body)
        return jsonError(400, error);
    const auto pager = body->find("pager");
    const auto ric = body->find("ric");
    const auto message = body->find("message");
    if ((pager == body->end()) == (ric == body->end()) ||
        (pager != body->end() &&
         (pager->second.type != JsonValue::Type::String || pager->second.text.empty())) ||
        (message != body->end() && message->second.type != JsonValue::Type::String))
        return jsonError(400, "a page is {\"pager\": ID, \"message\": text} or {\"ric\": "
                              "number, \"function\", \"coding\", \"baud\", \"polarity\", "
                              "\"charset\", \"message\"}");
    Submission s;
    s.source = "web";
    s.login = call.session ? call.session->login : std::string();
    s.verified = !s.login.empty();
    s.peer = call.ex.peer;
    if (ric != body->end()) {
        Pager typed;
        if (auto problem = readTypedPager(*body, call.ex.intake.limits(), typed))
            return fieldError(*problem);
        s.typed = typed;
        s.recipients = {typed.id};
    } else {
        s.recipients = {pager->second.text};
    }
    s.text = message == body->end() ? std::string() : message->second.text;
    if (s.text.size() > call.ex.intake.limits().maxMessageLength)
        return jsonError(413, "a message is at most " +
                                  std::to_string(call.ex.intake.limits().maxMessageLength) +
                                  " bytes");
    const IntakeResult result = call.ex.intake.submit(s);
    int status = 202;
    switch (result.status) {
    case IntakeStatus::Queued:
        break;
    case IntakeStatus::RateLimited:
        status = 429;
        break;
    case IntakeStatus::QueueFailed:
    case IntakeStatus::QueueFull:
        status = 503;
        break;
    default:
        status = 400;
    }
    if (status != 202)
        return jsonError(status, result.detail);
    std::string ids;
    for (const auto& [recipient, id] : result.queued)
        ids += std::string(ids.empty() ? "" : ",") + std::to_string(id);
    return jsonReply(202,
                     "{\"queued\":[" + ids + "],\"changes\":" + jsonText(result.changes) + "}");
}

/// What the pager will show for a message: the text in pieces, each changed character apart
/// with what was typed, the count of characters it shows and the pager's limit.
HttpReply WebApi::preview(Call& call) {
    std::string error;
    const auto body = readJsonObject(call.ex.request.body, &error, 8);
    if (!body)
        return jsonError(400, error);
    const auto id = body->find("pager");
    const auto message = body->find("message");
    if (message == body->end() || message->second.type != JsonValue::Type::String)
        return jsonError(400, "a preview is {\"pager\": ID, \"message\": text} or a typed "
                              "page's fields with its message");
    const std::string& text = message->second.text;
    if (text.size() > call.ex.intake.limits().maxMessageLength)
        return jsonError(413, "a message is at most " +
                                  std::to_string(call.ex.intake.limits().maxMessageLength) +
                                  " bytes");
    std::optional<Pager> pager;
    if (id != body->end()) {
        pager = call.ex.intake.find(id->second.text);
        if (!pager)
            return jsonError(404, "no pager '" + id->second.text + "'");
    } else {
        pager.emplace();
        if (auto problem = readTypedPager(*body, call.ex.intake.limits(), *pager))
            return fieldError(*problem);
    }
    const PagerText mapped = toPagerText(text, pager->charset);
    std::string pieces;
    std::size_t at = 0;
    const auto piece = [&](std::string_view shown, std::string_view typed) {
        if (shown.empty() && typed.empty())
            return;
        pieces += std::string(pieces.empty() ? "" : ",") + "{\"text\":" + jsonText(shown) +
                  (typed.empty() ? "" : ",\"typed\":" + jsonText(typed)) + "}";
    };
    for (const CharChange& change : mapped.changes) {
        if (change.offset < at || change.offset > text.size())
            continue;
        piece(std::string_view(text).substr(at, change.offset - at), {});
        piece(change.to, change.from.empty() ? std::string_view("?") : change.from);
        at = change.offset + change.from.size();
    }
    if (at < text.size())
        piece(std::string_view(text).substr(at), {});
    const std::size_t shown = pager->coding == PagerCoding::ToneOnly ? 0 : mapped.bytes.size();
    return jsonReply(200, "{\"pieces\":[" + pieces + "],\"length\":" + std::to_string(shown) +
                              ",\"limit\":" + std::to_string(pager->maxLength) + "}");
}

HttpReply WebApi::pagers(Call& call) {
    const std::string path = m_config.folder + PagerDirectoryFile;
    if (call.method() == "POST")
        return changePager(call, {});
    PagerDirectory directory;
    std::string error;
    if (!directory.load(path, &error))
        return jsonError(500, error);
    std::string list;
    for (const Pager& p : directory.pagers())
        list += std::string(list.empty() ? "" : ",") + pagerJson(p);
    return jsonReply(200, "{\"pagers\":[" + list + "]}");
}

/// POST /api/pagers adds (id in the body), PUT /api/pagers/ID replaces, DELETE removes.
HttpReply WebApi::changePager(Call& call, const std::string& pathId) {
    const std::string path = m_config.folder + PagerDirectoryFile;
    const std::lock_guard lock(m_directoryMutex);
    PagerDirectory directory;
    std::string error;
    if (!directory.load(path, &error))
        return jsonError(500, error);
    const std::string& method = call.method();
    std::string id = pathId;
    if (method == "DELETE") {
        if (!directory.remove(pathId))
            return jsonError(404, "no pager '" + pathId + "'");
    } else {
        const auto body = readJsonObject(call.ex.request.body, &error, 16);
        if (!body)
            return jsonError(400, error);
        // An edit changes the fields it names and keeps the others.
        Pager pager;
        if (const Pager* known = directory.find(pathId); known != nullptr && method == "PUT")
            pager = *known;
        pager.id = pathId;
        for (const auto& [key, value] : *body) {
            if (value.type == JsonValue::Type::Null)
                continue;
            if (key == "id") {
                if (method == "PUT" && value.text != pathId)
                    return fieldError("id: a pager's ID is not changed; add it anew instead");
                pager.id = value.text;
            } else if (auto problem = setPagerField(pager, key, value.text)) {
                return fieldError(*problem);
            }
        }
        if (auto problem = validatePager(pager))
            return fieldError(*problem);
        const bool known = directory.find(pager.id) != nullptr;
        if (method == "POST" && known)
            return jsonError(409, "pager '" + pager.id + "' is already in the directory");
        if (method == "PUT" && !known)
            return jsonError(404, "no pager '" + pathId + "'");
        if (!directory.add(pager, &error))
            return fieldError(error);
        id = pager.id;
    }
    if (!directory.save(path, &error))
        return jsonError(500, error);
    const std::string what = method == "POST" ? "added" : method == "PUT" ? "changed" : "removed";
    call.ex.intake.log("web: " + call.who() + " " + what + " pager " + id);
    return jsonReply(method == "POST" ? 201 : 200, "{\"" + what + "\":true}");
}

HttpReply WebApi::log(Call& call) {
    auto query = readQuery(call.query);
    const std::string needle = lowered(query["q"]);
    std::size_t page = 0;
    for (const char c : query["page"].substr(0, 6))
        if (c >= '0' && c <= '9')
            page = page * 10 + static_cast<std::size_t>(c - '0');
    const std::set<int32_t> rics = ricsOfPagers(m_config.folder + PagerDirectoryFile, needle);
    const std::vector<std::string> lines = tailLines(m_board.logPath());
    std::vector<const std::string*> found;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (needle.empty() || lowered(*it).find(needle) != std::string::npos ||
            rics.contains(parseDecimal(it->substr(0, it->find(" - "))).value_or(-1)))
            found.push_back(&*it);
    std::string items;
    for (std::size_t i = page * LogPageLines; i < found.size() && i < (page + 1) * LogPageLines;
         ++i)
        items += std::string(items.empty() ? "" : ",") + logLineJson(*found[i]);
    return jsonReply(
        200, "{\"total\":" + std::to_string(found.size()) + ",\"page\":" + std::to_string(page) +
                 ",\"per_page\":" + std::to_string(LogPageLines) + ",\"lines\":[" + items + "]}");
}

} // namespace tarvex
