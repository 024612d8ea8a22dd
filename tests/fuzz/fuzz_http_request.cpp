// Fuzz target: arbitrary bytes arriving on a WCTP connection, cut into pieces whose sizes the
// first bytes choose, read by the bounded HTTP reader as the server reads them (the head
// screened, then the body, then the next request). Whatever arrives, the reader never holds
// more than its bounds allow, a request it completes is within every bound, and a refusal
// carries an HTTP error status.
#include "fuzz_check.h"
#include "network/wctp/http_request_reader.h"
#include "network/wctp/wctp_http.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const HttpLimits limits{64, 96, 8, 256, 512};
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t bound =
        2 * limits.requestLine + limits.headerBytes + limits.headerLine + limits.body + piece + 64;
    const std::vector<std::string> names = {"localhost", "127.0.0.1", "::1"};
    HttpRequestReader reader(limits);
    using State = HttpRequestReader::State;
    State state = State::NeedMore;
    for (std::size_t at = 0; at < bytes.size() && state != State::Failed;) {
        if (state == State::NeedMore) {
            state = reader.feed(bytes.substr(at, piece));
            at += piece;
        } else if (state == State::Head) {
            (void)screenWctpHead(reader.request(), names);
            state = reader.readBody();
        } else {
            const HttpRequest& request = reader.request();
            FUZZ_CHECK(request.body.size() <= limits.body, std::to_string(request.body.size()));
            FUZZ_CHECK(request.headers.size() <= limits.headerCount,
                       std::to_string(request.headers.size()));
            FUZZ_CHECK(request.method.size() + request.target.size() <= limits.requestLine,
                       fuzz::quoted(request.target));
            state = reader.next();
        }
        FUZZ_CHECK(reader.heldBytes() <= bound, std::to_string(reader.heldBytes()));
    }
    if (state == State::Failed)
        FUZZ_CHECK(reader.status() >= 400 && reader.status() <= 505 && !reader.reason().empty(),
                   std::to_string(reader.status()));
    return 0;
}
