// Fuzz target: what the web API reads from a request besides its HTTP framing. The first byte
// chooses the reader: a JSON body, a query string or a Cookie header. A JSON object read is
// within its bounds, holds UTF-8 only, and reads back the same when written out again; the
// query and cookie readers keep to their bounds whatever arrives.
#include "fuzz_check.h"
#include "network/web/web_request.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;

namespace {

/// A JSON string written apart from the program's own writer.
std::string written(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static const char Hex[] = "0123456789abcdef";
            out += "\\u00";
            out += Hex[(c >> 4) & 0xF];
            out += Hex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0: {
        std::string error;
        const auto object = readJsonObject(text, &error, 8);
        if (!object) {
            FUZZ_CHECK(!error.empty(), fuzz::quoted(text));
            break;
        }
        FUZZ_CHECK(object->size() <= 8, std::to_string(object->size()));
        std::string again = "{";
        for (const auto& [name, value] : *object) {
            FUZZ_CHECK(isUtf8(name) && isUtf8(value.text), fuzz::quoted(text));
            again += (again.size() > 1 ? "," : "") + written(name) + ":" +
                     (value.type == JsonValue::Type::String ? written(value.text)
                      : value.type == JsonValue::Type::Null ? std::string("null")
                                                            : value.text);
        }
        again += "}";
        const auto reread = readJsonObject(again, &error, 8);
        FUZZ_CHECK(reread && *reread == *object, fuzz::quoted(again) + " " + error);
        break;
    }
    case 1: {
        const auto fields = readQuery(text, 4);
        FUZZ_CHECK(fields.size() <= 4, std::to_string(fields.size()));
        for (const auto& [name, value] : fields)
            FUZZ_CHECK(!name.empty() && name.size() <= text.size() && value.size() <= text.size(),
                       fuzz::quoted(text));
        break;
    }
    default: {
        const std::string value = cookieValue(text, "tarvex_session");
        FUZZ_CHECK(value.size() <= text.size() && value.find(';') == std::string::npos,
                   fuzz::quoted(text));
    }
    }
    return 0;
}
