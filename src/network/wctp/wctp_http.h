#pragma once
// What the WCTP server decides from a request's head alone, before any body is read: the
// path and method, the Host (one of the station's own names or addresses, so that a web page
// reached by DNS rebinding cannot post), any Origin (none from another site), the content
// type (XML only, so a browser's cross-site form cannot post) and the content coding; and the
// text of an answer. Standard C++ only, with no sockets.
#include "network/wctp/http_request_reader.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

/// A refusal: the HTTP status, the WCTP failure that goes in its body, and the reason the
/// service log gives (empty when it is not worth a line).
struct HttpRefusal {
    int status = 400;
    int wctpCode = 0;
    std::string text;
    std::string description;
    std::string why;
    std::vector<std::pair<std::string, std::string>> headers;
};

/// The names a request may give as its Host: "localhost", the computer's own name (and that
/// name with ".local"), the loopback addresses and the addresses listened on. The address
/// a connection arrived at is added per connection. Lower case.
std::vector<std::string> stationNames(const std::vector<std::string>& listenAddresses);

/// True when the host of a Host header ("name", "name:port", "[v6]:port") is one of the names.
bool isStationHost(std::string_view hostHeader, const std::vector<std::string>& names);

/// An answer to GET /metrics or GET /health.
struct StatusPage {
    int status = 200;
    std::string contentType;
    std::string body;
};

/// True for the paths of the status pages.
bool isStatusPath(std::string_view target);
/// The refusal a request for a status page earns (only GET or HEAD, with no body, from the
/// station's own names), if it earns one.
std::optional<HttpRefusal> screenStatusHead(const HttpRequest& request,
                                            const std::vector<std::string>& names);

/// The refusal the head earns, if it earns one.
std::optional<HttpRefusal> screenWctpHead(const HttpRequest& request,
                                          const std::vector<std::string>& names);

/// The refusal for a request the reader could not take (status 400, 408, 413, 414, 431, ...).
HttpRefusal readerRefusal(int status, const std::string& reason);

/// An answer: the status line, the headers given and Content-Length, Connection and the body.
std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         bool close,
                         const std::vector<std::pair<std::string, std::string>>& headers = {});

} // namespace tarvex
