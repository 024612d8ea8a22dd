#pragma once
// The station's pager directory: the pagers network systems page by ID (an SNPP PIN or a WCTP
// recipientID), each with its address, coding, rate, polarity, character set and the longest
// message it takes. Kept as a text file a person can read, edit and back up. Standard C++ only.
#include "encoder/page_encoder.h"
#include "network/charset.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

enum class PagerCoding { Alphanumeric, Numeric, ToneOnly };

struct Pager {
    std::string id;   ///< 1..32 characters: letters, digits, '-', '_', '.'
    std::string name; ///< display name, may be empty; no line breaks
    uint32_t ric = 0; ///< 0..2097151
    int functionBits = 3;
    PagerCoding coding = PagerCoding::Alphanumeric;
    int baud = 1200; ///< 512, 1200 or 2400
    bool inverted = false;
    Charset charset = Charset::UsAscii;
    int maxLength = 80; ///< longest message it takes, 1..256 characters (0 for tone only)

    bool operator==(const Pager&) const = default;
};

/// The reason a pager entry is refused, "field: reason" (e.g. "ric: 2500000 is above
/// 2097151"); nullopt when it is valid.
std::optional<std::string> validatePager(const Pager& pager);

/// Sets the field that a directory file's key names ("ric", "coding", "max-length", ...) from
/// its text as the file or a command line gives it; "key: reason" when the text is not one of
/// the field's values or the key is unknown. Ranges are checked by validatePager.
std::optional<std::string> setPagerField(Pager& pager, std::string_view key,
                                         std::string_view value);

/// "alphanumeric", "numeric" or "tone", as the directory file writes the coding.
std::string_view pagerCodingName(PagerCoding coding);

/// The page that goes on air for a message to this pager (bytes already in the pager's set).
/// A tone-only pager gets a numeric page without a message: the address codeword alone.
/// The message is not cut to maxLength: a server refuses a longer one and tells the sender.
PageParams pageFor(const Pager& pager, std::string_view bytes);

class PagerDirectory {
public:
    /// Reads the file; a missing file is an empty directory. False, with *error naming the
    /// line and field, when the file cannot be read or holds a bad entry (nothing is loaded
    /// then).
    bool load(const std::string& path, std::string* error);
    /// Writes the whole directory through a temporary file that replaces the old one.
    bool save(const std::string& path, std::string* error) const;
    /// load() and save() without the file: the file's text in, the file's text out.
    bool parse(std::string_view text, std::string* error);
    std::string text() const;

    /// Adds or replaces the entry with the same ID; refused (false, *error) when invalid.
    bool add(const Pager& pager, std::string* error);
    bool remove(std::string_view id);
    /// IDs compare exactly as written (case matters: SNPP PINs are digits anyway).
    const Pager* find(std::string_view id) const;
    /// The first pager with this RIC (the window applies its character set).
    const Pager* findByRic(uint32_t ric) const;
    const std::vector<Pager>& pagers() const { return m_pagers; }

private:
    std::vector<Pager> m_pagers;
    // Comment lines a person wrote, kept through a save: those above the first section, and
    // those inside each pager's section (written below its [ID] line).
    std::vector<std::string> m_header;
    std::map<std::string, std::vector<std::string>, std::less<>> m_comments;
};

/// "Pagers.txt" in the station's program folder.
inline constexpr char PagerDirectoryFile[] = "Pagers.txt";

} // namespace tarvex
