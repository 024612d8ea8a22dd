// The bounded HTTP request reader and the WCTP head checks, without sockets: each request
// is read alike whole and a byte at a time, and nothing over a bound is ever held.
#include "network/wctp/http_request_reader.h"
#include "network/wctp/wctp_http.h"

#include <gtest/gtest.h>

using namespace tarvex;

namespace {

const HttpLimits Small{64, 64, 4, 128, 100};

/// Feeds the bytes (all at once or one by one), reading the body as soon as the head is in;
/// returns the status (0 when the request was read whole) and the body.
std::pair<int, std::string> read(std::string_view bytes, bool byteByByte) {
    HttpRequestReader reader(Small);
    auto state = HttpRequestReader::State::NeedMore;
    const std::size_t step = byteByByte ? 1 : bytes.size();
    for (std::size_t i = 0; i < bytes.size() && state == HttpRequestReader::State::NeedMore;
         i += step) {
        state = reader.feed(bytes.substr(i, step));
        if (state == HttpRequestReader::State::Head)
            state = reader.readBody();
        EXPECT_LE(reader.heldBytes(), 512u) << bytes.substr(0, 40);
    }
    if (state == HttpRequestReader::State::Failed)
        return {reader.status(), {}};
    return {state == HttpRequestReader::State::Complete ? 0 : -1, reader.request().body};
}

TEST(HttpRequestReader, BoundsEveryPartOfARequest) {
    const std::string head = "POST /wctp HTTP/1.1\r\nHost: localhost\r\n";
    const struct {
        const char* name;
        std::string bytes;
        int status;
        const char* body;
    } cases[] = {
        {"Content-Length", head + "Content-Length: 5\r\n\r\nhello", 0, "hello"},
        {"chunked", head + "Transfer-Encoding: chunked\r\n\r\n3;x=y\r\nhel\r\n2\r\nlo\r\n0\r\n\r\n",
         0, "hello"},
        {"bare LF line ends", "POST /wctp HTTP/1.0\nContent-Length: 2\n\nok", 0, "ok"},
        {"declared body over the limit", head + "Content-Length: 101\r\n\r\n", 413, ""},
        {"chunked body over the limit",
         head + "Transfer-Encoding: chunked\r\n\r\n40\r\n" + std::string(64, 'x') + "\r\n40\r\n",
         413, ""},
        {"huge chunk size", head + "Transfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n", 413,
         ""},
        {"request line", "POST /" + std::string(80, 'w') + " HTTP/1.1\r\n", 414, ""},
        {"one header line", head + "X: " + std::string(80, 'y'), 431, ""},
        {"header count", head + "A: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n", 431, ""},
        {"header bytes in all",
         "GET / HTTP/1.1\r\nA: " + std::string(50, 'a') + "\r\nB: " + std::string(50, 'b') +
             "\r\nC: " + std::string(50, 'c') + "\r\n",
         431, ""},
        {"trailers count too",
         head + "Transfer-Encoding: chunked\r\n\r\n0\r\nT: 1\r\nU: 2\r\nV: 3\r\n", 431, ""},
        {"both framings", head + "Content-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n", 400,
         ""},
        {"two lengths", head + "Content-Length: 1\r\nContent-Length: 2\r\n\r\n", 400, ""},
        {"other coding", head + "Transfer-Encoding: gzip\r\n\r\n", 501, ""},
        {"HTTP/2.0", "POST /wctp HTTP/2.0\r\n", 505, ""},
        {"folded header", head + " folded\r\n", 400, ""},
        {"control in a value", head + "X: a\rb\r\n", 400, ""},
        {"chunk without its line end", head + "Transfer-Encoding: chunked\r\n\r\n1\r\nab", 400, ""},
    };
    for (const auto& c : cases)
        for (const bool byteByByte : {false, true}) {
            const auto [status, body] = read(c.bytes, byteByByte);
            EXPECT_EQ(status, c.status) << c.name << (byteByByte ? " (byte by byte)" : "");
            EXPECT_EQ(body, c.body) << c.name;
        }
}

TEST(HttpRequestReader, PipelinedRequestsAndContinue) {
    HttpRequestReader reader(Small);
    const std::string one = "POST /wctp HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\n\r\na";
    EXPECT_EQ(
        reader.feed("POST /wctp HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\n"),
        HttpRequestReader::State::Head);
    EXPECT_TRUE(reader.expectsContinue());
    EXPECT_EQ(reader.readBody(), HttpRequestReader::State::NeedMore);
    EXPECT_EQ(reader.feed("x" + one), HttpRequestReader::State::Complete);
    EXPECT_EQ(reader.next(), HttpRequestReader::State::Head);
    EXPECT_EQ(reader.readBody(), HttpRequestReader::State::Complete);
    EXPECT_EQ(reader.request().body, "a");
    EXPECT_TRUE(reader.request().keepAlive());
}

TEST(WctpHead, OnlyTheStationsOwnNamesXmlAndNoForeignOrigin) {
    const std::vector<std::string> names = {"localhost", "127.0.0.1", "::1", "station"};
    const struct {
        std::vector<std::pair<std::string, std::string>> headers;
        int status; // 0: taken
    } cases[] = {
        {{{"host", "localhost:8444"}, {"content-type", "text/xml; charset=utf-8"}}, 0},
        {{{"host", "[::1]:8444"}, {"content-type", "application/xml"}}, 0},
        {{{"host", "Station."}, {"content-type", "text/xml"}, {"origin", "http://station:80"}}, 0},
        {{{"host", "evil.example"}, {"content-type", "text/xml"}}, 403},
        {{{"host", "localhost"}, {"content-type", "text/xml"}, {"origin", "http://evil.example"}},
         403},
        {{{"host", "localhost"}, {"content-type", "text/xml"}, {"origin", "null"}}, 403},
        {{{"host", "localhost"}, {"content-type", "text/plain"}}, 415},
        {{{"host", "localhost"}}, 415},
        {{{"content-type", "text/xml"}}, 400},
    };
    for (const auto& c : cases) {
        HttpRequest request{"POST", "/wctp", 1, c.headers, {}};
        const auto refusal = screenWctpHead(request, names);
        EXPECT_EQ(refusal ? refusal->status : 0, c.status) << c.headers.front().second;
    }
}

} // namespace
