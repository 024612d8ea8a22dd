#pragma once
// What the web API reads from a request beyond its HTTP framing: a JSON body that is one flat
// object (names to strings, numbers, true, false or null), the fields of a query string and
// the value of a cookie. Each is bounded and refuses rather than guesses. Standard C++ only,
// so it is fuzzed whole.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

struct JsonValue {
    enum class Type { String, Number, Bool, Null };
    Type type = Type::Null;
    std::string text; ///< a string's UTF-8, a number as written, "true" or "false"

    bool operator==(const JsonValue&) const = default;
};

using JsonObject = std::map<std::string, JsonValue, std::less<>>;

/// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isUtf8(std::string_view text);

/// Reads a body that is one JSON object with at most `maxFields` members, none of them an
/// object or an array, each name once; the text must be UTF-8. nullopt with *error otherwise.
std::optional<JsonObject> readJsonObject(std::string_view body, std::string* error,
                                         std::size_t maxFields = 32);

/// The fields of "a=1&b=x%20y" (after the '?'), percent- and '+'-decoded; at most
/// `maxFields` are kept, a later repeat of a name is ignored.
std::map<std::string, std::string, std::less<>> readQuery(std::string_view query,
                                                          std::size_t maxFields = 16);

/// The value of the cookie `name` in a Cookie header ("a=1; b=2"); empty when absent.
std::string cookieValue(std::string_view header, std::string_view name);

} // namespace tarvex
