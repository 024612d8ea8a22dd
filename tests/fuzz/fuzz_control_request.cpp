// The control socket's request reader on any bytes: it never crashes, takes a request only
// when it is one of the three, and never gives an error longer than a line.
#include "fuzz_check.h"
#include "station/control_protocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const tarvex::ControlParse parsed = tarvex::parseControlRequest(line);
    FUZZ_CHECK(parsed.request.has_value() != !parsed.error.empty(), parsed.error);
    FUZZ_CHECK(parsed.error.size() < 200, parsed.error);
    if (parsed.request && parsed.request->kind == tarvex::ControlRequest::Kind::Queue)
        FUZZ_CHECK(!parsed.request->entry.empty() && parsed.request->entry.size() < size, "");
    return 0;
}
