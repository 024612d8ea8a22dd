// The pager directory file: "[ID]" sections of "key = value" lines with "#" comments, read
// strictly (a bad entry refuses the whole file, naming its line and field) and written in
// one canonical form, so that a saved file reads back to the same directory and text.
#include "network/pager_directory.h"

#include "encoder/codeword.h"
#include "network/charset_tables.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <unordered_map>

namespace tarvex {
namespace {

constexpr std::size_t MaxIdLength = 32;
constexpr std::size_t MaxNameCharacters = 64;
constexpr int MaxMessageLength = 256;
constexpr std::size_t MaxPagers = 10000;
constexpr std::size_t MaxFileBytes = 1024 * 1024;

constexpr std::array<std::string_view, 3> CodingNames = {"alphanumeric", "numeric", "tone"};

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<std::string> idProblem(std::string_view id) {
    if (id.empty())
        return "id: empty";
    if (id.size() > MaxIdLength)
        return "id: longer than 32 characters";
    for (const char c : id) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                        (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.';
        if (!ok)
            return "id: '" + std::string(id) + "' may hold only letters, digits, '-', '_' and '.'";
    }
    return std::nullopt;
}

std::optional<std::string> nameProblem(std::string_view name) {
    if (!charset_tables::isValidUtf8(name))
        return "name: not valid UTF-8";
    std::size_t characters = 0;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return "name: holds a control character";
        characters += (b & 0xC0) != 0x80;
    }
    if (characters > MaxNameCharacters)
        return "name: longer than 64 characters";
    if (trim(name) != name)
        return "name: begins or ends with a blank";
    return std::nullopt;
}

/// "ric: with function bits 2 ..." when the address codeword is one the encoder refuses.
std::optional<std::string> addressProblem(const Pager& p) {
    const Codeword address = addressCodeword(p.ric, p.functionBits);
    if (address != StockSyncCodeword && address != StockIdleCodeword)
        return std::nullopt;
    return "ric: " + std::to_string(p.ric) + " with function bits " +
           std::to_string(p.functionBits) + " gives the " +
           (address == StockSyncCodeword ? "sync" : "idle") +
           " codeword as its address, which no pager can receive";
}

std::optional<std::string> lengthProblem(const Pager& p) {
    if (p.coding == PagerCoding::ToneOnly) {
        if (p.maxLength != 0)
            return "max-length: a tone-only pager takes no message, so it must be 0";
    } else if (p.maxLength < 1 || p.maxLength > MaxMessageLength) {
        return "max-length: must be 1 to 256, not " + std::to_string(p.maxLength);
    }
    return std::nullopt;
}

/// A whole number of at most `digits` digits, nothing else.
std::optional<long> number(std::string_view text, std::size_t digits) {
    long value = 0;
    if (text.empty() || text.size() > digits || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

constexpr std::array<std::string_view, 8> Keys = {"name", "ric",      "function", "coding",
                                                  "baud", "polarity", "charset",  "max-length"};

} // namespace

std::optional<std::string> validatePager(const Pager& p) {
    if (auto problem = idProblem(p.id))
        return problem;
    if (auto problem = nameProblem(p.name))
        return problem;
    if (p.ric > static_cast<uint32_t>(MaxRic))
        return "ric: " + std::to_string(p.ric) + " is above " + std::to_string(MaxRic);
    if (p.functionBits < 0 || p.functionBits > 3)
        return "function: must be 0 to 3, not " + std::to_string(p.functionBits);
    if (static_cast<std::size_t>(p.coding) >= CodingNames.size())
        return "coding: not alphanumeric, numeric or tone";
    if (p.baud != 512 && p.baud != 1200 && p.baud != 2400)
        return "baud: must be 512, 1200 or 2400, not " + std::to_string(p.baud);
    if (!parseCharset(charsetCode(p.charset)))
        return "charset: not one of us, de, se, dk, fr, si";
    if (auto problem = addressProblem(p))
        return problem;
    return lengthProblem(p);
}

std::optional<std::string> setPagerField(Pager& p, std::string_view key, std::string_view value) {
    if (std::find(Keys.begin(), Keys.end(), key) == Keys.end())
        return std::string(key) + ": unknown key";
    const std::string v = lower(value);
    const auto bad = [&](const char* expected) {
        return std::string(key) + ": must be " + expected + ", not '" + std::string(value) + "'";
    };
    if (key == "name") {
        p.name = value;
    } else if (key == "ric") {
        const auto n = number(value, 8);
        if (!n)
            return "ric: '" + std::string(value) + "' is not a number";
        if (*n > MaxRic)
            return "ric: " + std::to_string(*n) + " is above " + std::to_string(MaxRic);
        p.ric = static_cast<uint32_t>(*n);
    } else if (key == "function") {
        const auto n = number(value, 1);
        if (!n || *n > 3)
            return bad("0 to 3");
        p.functionBits = static_cast<int>(*n);
    } else if (key == "coding") {
        std::size_t i = 0;
        while (i < CodingNames.size() && CodingNames[i] != v)
            ++i;
        if (i == CodingNames.size())
            return bad("alphanumeric, numeric or tone");
        p.coding = static_cast<PagerCoding>(i);
    } else if (key == "baud") {
        const auto n = number(value, 4);
        if (!n || (*n != 512 && *n != 1200 && *n != 2400))
            return bad("512, 1200 or 2400");
        p.baud = static_cast<int>(*n);
    } else if (key == "polarity") {
        if (v != "normal" && v != "inverted")
            return bad("normal or inverted");
        p.inverted = v == "inverted";
    } else if (key == "charset") {
        const auto set = parseCharset(v);
        if (!set)
            return bad("us, de, se, dk, fr or si");
        p.charset = *set;
    } else { // max-length
        const auto n = number(value, 3);
        if (!n)
            return bad("a number from 0 to 256");
        p.maxLength = static_cast<int>(*n);
    }
    return std::nullopt;
}

std::string_view pagerCodingName(PagerCoding coding) {
    return CodingNames.at(static_cast<std::size_t>(coding));
}

PageParams pageFor(const Pager& pager, std::string_view bytes) {
    PageParams page;
    page.ric = std::to_string(pager.ric);
    page.functionBits = pager.functionBits;
    page.coding =
        pager.coding == PagerCoding::Alphanumeric ? Coding::Alphanumeric : Coding::Numeric;
    page.baud = pager.baud;
    page.inverted = pager.inverted;
    page.message = pager.coding == PagerCoding::ToneOnly ? std::string() : std::string(bytes);
    return page;
}

namespace {

/// Reads the file's text section by section into a fresh directory.
class DirectoryParser {
public:
    std::optional<std::string> run(std::string_view text) {
        if (text.size() > MaxFileBytes)
            return "larger than 1 MiB";
        if (text.substr(0, 3) == "\xEF\xBB\xBF") // a byte order mark from a Windows editor
            text.remove_prefix(3);
        int lineNumber = 0;
        while (!text.empty()) {
            const auto end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == text.npos ? text.size() : end + 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            m_line = ++lineNumber;
            if (auto problem = readLine(line))
                return "line " + std::to_string(m_line) + ": " + *problem;
        }
        if (auto problem = finishSection())
            return "line " + std::to_string(m_line) + ": " + *problem;
        return std::nullopt;
    }

    std::vector<Pager> pagers;
    std::vector<std::string> header;
    std::map<std::string, std::vector<std::string>, std::less<>> comments;

private:
    std::optional<std::string> readLine(std::string_view raw) {
        if (!charset_tables::isValidUtf8(raw))
            return "not valid UTF-8";
        for (const char c : raw)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                return "holds a control character";
        const std::string_view line = trim(raw);
        if (line.empty())
            return std::nullopt;
        if (line.front() == '#') {
            (m_inSection ? comments[m_current.id] : header).emplace_back(line);
            return std::nullopt;
        }
        if (line.front() == '[') {
            if (line.back() != ']')
                return "id: a section line is [ID]";
            if (auto problem = finishSection())
                return problem;
            return startSection(trim(line.substr(1, line.size() - 2)));
        }
        const auto equals = line.find('=');
        if (equals == line.npos || trim(line.substr(0, equals)).empty())
            return "expected [ID], key = value or a # comment";
        return readKey(lower(trim(line.substr(0, equals))), trim(line.substr(equals + 1)));
    }

    std::optional<std::string> startSection(std::string_view id) {
        if (auto problem = idProblem(id))
            return problem;
        if (const auto seen = m_ids.find(std::string(id)); seen != m_ids.end())
            return "id: " + std::string(id) + " is already defined on line " +
                   std::to_string(seen->second);
        if (pagers.size() >= MaxPagers)
            return "id: more than 10000 pagers";
        m_ids.emplace(id, m_line);
        m_current = Pager{};
        m_current.id = id;
        m_inSection = true;
        m_sectionLine = m_line;
        m_keyLines.clear();
        return std::nullopt;
    }

    std::optional<std::string> readKey(const std::string& key, std::string_view value) {
        if (std::find(Keys.begin(), Keys.end(), key) == Keys.end())
            return key + ": unknown key";
        if (!m_inSection)
            return key + ": comes before the first [ID] section";
        if (const auto seen = m_keyLines.find(key); seen != m_keyLines.end())
            return key + ": given twice in [" + m_current.id + "] (first on line " +
                   std::to_string(seen->second) + ")";
        m_keyLines.emplace(key, m_line);
        return setPagerField(m_current, key, value);
    }

    /// Checks the section just read; on a problem m_line becomes the line of the field it
    /// names (the [ID] line for a missing one).
    std::optional<std::string> finishSection() {
        if (!m_inSection)
            return std::nullopt;
        m_inSection = false;
        if (!m_keyLines.count("ric")) {
            m_line = m_sectionLine;
            return "ric: missing in [" + m_current.id + "]";
        }
        if (m_current.coding == PagerCoding::ToneOnly && !m_keyLines.count("max-length"))
            m_current.maxLength = 0;
        if (auto problem = validatePager(m_current)) {
            const auto at = m_keyLines.find(problem->substr(0, problem->find(':')));
            m_line = at == m_keyLines.end() ? m_sectionLine : at->second;
            return problem;
        }
        pagers.push_back(std::move(m_current));
        return std::nullopt;
    }

    int m_line = 0;
    bool m_inSection = false;
    int m_sectionLine = 0;
    Pager m_current;
    std::map<std::string, int> m_keyLines;
    std::unordered_map<std::string, int> m_ids;
};

} // namespace

bool PagerDirectory::parse(std::string_view text, std::string* error) {
    DirectoryParser parser;
    if (auto problem = parser.run(text)) {
        if (error)
            *error = *problem;
        return false;
    }
    m_pagers = std::move(parser.pagers);
    m_header = std::move(parser.header);
    m_comments = std::move(parser.comments);
    return true;
}

bool PagerDirectory::add(const Pager& pager, std::string* error) {
    if (auto problem = validatePager(pager)) {
        if (error)
            *error = *problem;
        return false;
    }
    for (Pager& p : m_pagers) {
        if (p.id == pager.id) {
            p = pager;
            return true;
        }
    }
    if (m_pagers.size() >= MaxPagers) {
        if (error)
            *error = "id: the directory already holds 10000 pagers";
        return false;
    }
    m_pagers.push_back(pager);
    return true;
}

bool PagerDirectory::remove(std::string_view id) {
    for (auto it = m_pagers.begin(); it != m_pagers.end(); ++it) {
        if (it->id == id) {
            m_pagers.erase(it);
            if (const auto c = m_comments.find(id); c != m_comments.end())
                m_comments.erase(c);
            return true;
        }
    }
    return false;
}

const Pager* PagerDirectory::find(std::string_view id) const {
    for (const Pager& p : m_pagers)
        if (p.id == id)
            return &p;
    return nullptr;
}

const Pager* PagerDirectory::findByRic(uint32_t ric) const {
    for (const Pager& p : m_pagers)
        if (p.ric == ric)
            return &p;
    return nullptr;
}

} // namespace tarvex
