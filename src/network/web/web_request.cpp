#include "network/web/web_request.h"

#include "network/charset.h"

#include <cstdint>

namespace tarvex {

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (extra == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

namespace {

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    std::optional<JsonObject> object(std::size_t maxFields, std::string* error) {
        JsonObject out;
        skipSpace();
        if (!take('{'))
            return fail(error, "the body is not a JSON object");
        skipSpace();
        if (!take('}')) {
            for (;;) {
                std::string name;
                skipSpace();
                if (!string(name))
                    return fail(error, "a member name is not a JSON string");
                skipSpace();
                if (!take(':'))
                    return fail(error, "':' missing after \"" + name.substr(0, 32) + "\"");
                skipSpace();
                JsonValue value;
                if (!scalar(value))
                    return fail(error, "\"" + name.substr(0, 32) +
                                           "\" is not a string, number, true, false or null");
                if (out.size() >= maxFields)
                    return fail(error, "more than " + std::to_string(maxFields) + " members");
                if (!out.emplace(std::move(name), std::move(value)).second)
                    return fail(error, "a member is named twice");
                skipSpace();
                if (take('}'))
                    break;
                if (!take(','))
                    return fail(error, "',' or '}' expected");
            }
        }
        skipSpace();
        if (m_at != m_text.size())
            return fail(error, "text after the object");
        return out;
    }

private:
    static std::optional<JsonObject> fail(std::string* error, std::string why) {
        if (error != nullptr)
            *error = std::move(why);
        return std::nullopt;
    }
    bool take(char c) {
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool word(std::string_view w) {
        if (m_text.substr(m_at, w.size()) != w)
            return false;
        m_at += w.size();
        return true;
    }
    void skipSpace() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\n' || m_text[m_at] == '\r'))
            ++m_at;
    }
    std::optional<uint32_t> hex4() {
        if (m_at + 4 > m_text.size())
            return std::nullopt;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_at++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return std::nullopt;
        }
        return v;
    }
    bool escape(std::string& out) {
        if (m_at >= m_text.size())
            return false;
        const char c = m_text[m_at++];
        static constexpr std::string_view From = "\"\\/bfnrt";
        static constexpr std::string_view To = "\"\\/\b\f\n\r\t";
        if (const auto at = From.find(c); at != std::string_view::npos) {
            out += To[at];
            return true;
        }
        if (c != 'u')
            return false;
        auto code = hex4();
        if (!code || (*code >= 0xDC00 && *code <= 0xDFFF))
            return false;
        if (*code >= 0xD800 && *code <= 0xDBFF) { // a pair of surrogates makes one character
            if (!word("\\u"))
                return false;
            const auto low = hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF)
                return false;
            code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
        }
        appendUtf8(out, static_cast<char32_t>(*code));
        return true;
    }
    bool string(std::string& out) {
        if (!take('"'))
            return false;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c == '\\') {
                if (!escape(out))
                    return false;
            } else {
                out += c;
            }
        }
        return false;
    }
    bool digits() {
        const std::size_t from = m_at;
        while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9')
            ++m_at;
        return m_at > from;
    }
    bool number(std::string& out) {
        const std::size_t from = m_at;
        take('-');
        if (take('0')) {
            // a leading zero stands alone
        } else if (!digits()) {
            return false;
        }
        if (take('.') && !digits())
            return false;
        if (take('e') || take('E')) {
            if (!take('+'))
                take('-');
            if (!digits())
                return false;
        }
        out = std::string(m_text.substr(from, m_at - from));
        return out.size() <= 32;
    }
    bool scalar(JsonValue& value) {
        if (m_at >= m_text.size())
            return false;
        const char c = m_text[m_at];
        if (c == '"') {
            value.type = JsonValue::Type::String;
            return string(value.text);
        }
        if (word("true") || word("false")) {
            value.type = JsonValue::Type::Bool;
            value.text = m_text[m_at - 1] == 'e' && m_text[m_at - 2] == 'u' ? "true" : "false";
            return true;
        }
        if (word("null")) {
            value.type = JsonValue::Type::Null;
            return true;
        }
        value.type = JsonValue::Type::Number;
        return number(value.text);
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::optional<JsonObject> readJsonObject(std::string_view body, std::string* error,
                                         std::size_t maxFields) {
    if (!isUtf8(body)) {
        if (error != nullptr)
            *error = "the body is not UTF-8";
        return std::nullopt;
    }
    return JsonReader(body).object(maxFields, error);
}

std::map<std::string, std::string, std::less<>> readQuery(std::string_view query,
                                                          std::size_t maxFields) {
    std::map<std::string, std::string, std::less<>> out;
    while (!query.empty() && out.size() < maxFields) {
        const auto amp = query.find('&');
        const std::string_view field = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const auto eq = field.find('=');
        std::string name = percentDecoded(field.substr(0, eq));
        if (name.empty())
            continue;
        out.emplace(std::move(name), eq == std::string_view::npos
                                         ? std::string()
                                         : percentDecoded(field.substr(eq + 1)));
    }
    return out;
}

std::string cookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const auto semi = header.find(';');
        std::string_view pair = header.substr(0, semi);
        header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
        while (pair.starts_with(' ') || pair.starts_with('\t'))
            pair.remove_prefix(1);
        const auto eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name)
            return std::string(pair.substr(eq + 1));
    }
    return {};
}

} // namespace tarvex
