#include "network/wctp/wctp_http.h"

#include "network/intake/listen_address.h"
#include "network/wctp/wctp_request.h"

#include <algorithm>
#include <unistd.h>

namespace tarvex {

namespace {

const char* reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 202:
        return "Accepted";
    case 204:
        return "No Content";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default: // a status line may leave its phrase empty
        return "";
    }
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

/// The host of "name", "name:port", "[v6]" or "[v6]:port"; empty when it is malformed.
std::string hostPart(std::string_view authority) {
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return {};
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return {};
        return lowered(authority.substr(1, close - 1));
    }
    const auto colon = authority.find(':');
    if (colon != std::string_view::npos && authority.find(':', colon + 1) != std::string_view::npos)
        return {}; // an IPv6 address must be bracketed
    std::string host = lowered(authority.substr(0, colon));
    if (host.ends_with('.'))
        host.pop_back(); // "localhost." names the same host
    return host;
}

bool isXmlType(std::string_view contentType) {
    std::string type = lowered(contentType.substr(0, contentType.find(';')));
    type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
    type.erase(std::remove(type.begin(), type.end(), '\t'), type.end());
    return type == "text/xml" || type == "application/xml" ||
           (type.starts_with("application/") && type.ends_with("+xml"));
}

HttpRefusal refusal(int status, int code, std::string text, std::string description,
                    std::string why) {
    return {status, code, std::move(text), std::move(description), std::move(why), {}};
}

} // namespace

std::vector<std::string> stationNames(const std::vector<std::string>& listenAddresses) {
    std::vector<std::string> names = {"localhost", "127.0.0.1", "::1"};
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
        names.push_back(lowered(host));
        names.push_back(lowered(host) + ".local");
    }
    for (const auto& address : listenAddresses)
        names.push_back(lowered(address));
    return names;
}

bool isStationHost(std::string_view hostHeader, const std::vector<std::string>& names) {
    const std::string host = hostPart(hostHeader);
    return !host.empty() && std::find(names.begin(), names.end(), host) != names.end();
}

bool isStatusPath(std::string_view target) {
    return target == "/metrics" || target == "/health";
}

std::optional<HttpRefusal> screenStatusHead(const HttpRequest& req,
                                            const std::vector<std::string>& names) {
    if (req.method != "GET" && req.method != "HEAD") {
        HttpRefusal r = refusal(405, wctp::OperationNotSupported, "Operation not supported",
                                "status pages are read with GET",
                                req.method.substr(0, 16) + " for a status page");
        r.headers.emplace_back("Allow", "GET, HEAD");
        return r;
    }
    if (req.hasHeader("host") && !isStationHost(req.header("host"), names))
        return refusal(403, wctp::OperationNotSupported, "Operation not supported",
                       "this server answers only to its own names and addresses",
                       "Host " + std::string(req.header("host").substr(0, 64)) +
                           " is not one of this station's names");
    if (req.hasHeader("content-length") && req.header("content-length") != "0")
        return refusal(400, wctp::CannotParse, "Input cannot be parsed",
                       "a status page is asked for without a body", "status request with a body");
    if (req.hasHeader("transfer-encoding"))
        return refusal(400, wctp::CannotParse, "Input cannot be parsed",
                       "a status page is asked for without a body", "status request with a body");
    return std::nullopt;
}

std::optional<HttpRefusal> screenWctpHead(const HttpRequest& req,
                                          const std::vector<std::string>& names) {
    if (req.target != "/wctp")
        return refusal(404, wctp::OperationNotSupported, "Operation not supported",
                       "WCTP requests are posted to /wctp", "request for a path other than /wctp");
    if (req.method != "POST") {
        HttpRefusal r = refusal(405, wctp::OperationNotSupported, "Operation not supported",
                                "WCTP requests are sent with POST",
                                req.method.substr(0, 16) + " instead of POST");
        r.headers.emplace_back("Allow", "POST");
        return r;
    }
    if (!req.hasHeader("host") && req.minorVersion >= 1)
        return refusal(400, wctp::CannotParse, "Input cannot be parsed",
                       "an HTTP/1.1 request names its Host", "no Host header");
    // A browser sends the name the user (or a rebinding DNS) gave: only the station's own
    // names and addresses are served.
    if (req.hasHeader("host") && !isStationHost(req.header("host"), names))
        return refusal(403, wctp::OperationNotSupported, "Operation not supported",
                       "this server answers only to its own names and addresses",
                       "Host " + std::string(req.header("host").substr(0, 64)) +
                           " is not one of this station's names");
    if (req.hasHeader("origin")) {
        const std::string_view origin = req.header("origin");
        const auto scheme = origin.find("://");
        if (scheme == std::string_view::npos ||
            !isStationHost(origin.substr(scheme + 3, origin.find('/', scheme + 3) - scheme - 3),
                           names))
            return refusal(403, wctp::OperationNotSupported, "Operation not supported",
                           "requests from pages of other sites are not accepted",
                           "Origin " + std::string(origin.substr(0, 64)) + " is another site");
    }
    if (const auto coding = req.header("content-encoding");
        !coding.empty() && lowered(coding) != "identity")
        return refusal(415, wctp::CannotParse, "Input cannot be parsed",
                       "compressed request bodies are not accepted", "compressed body");
    if (!isXmlType(req.header("content-type")))
        return refusal(415, wctp::CannotParse, "Input cannot be parsed",
                       "WCTP requests are XML: Content-Type text/xml or application/xml",
                       "Content-Type " + std::string(req.header("content-type").substr(0, 64)) +
                           " instead of XML");
    return std::nullopt;
}

HttpRefusal readerRefusal(int status, const std::string& reason) {
    return refusal(status, wctp::CannotParse, "Input cannot be parsed", reason, reason);
}

std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         bool close,
                         const std::vector<std::pair<std::string, std::string>>& headers) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : headers)
        text += name + ": " + value + "\r\n";
    if (!contentType.empty())
        text += "Content-Type: " + std::string(contentType) + "\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    text += body;
    return text;
}

} // namespace tarvex
