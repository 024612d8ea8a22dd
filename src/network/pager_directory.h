#pragma once
// The station's pager directory: the pagers network systems page by ID (an SNPP PIN or a WCTP
// recipientID), each with its address, coding, rate, polarity, character set and the longest
// message it takes. Kept as a text file a person can read, edit and back up. Standard C++ only.
#include "encoder/page_encoder.h"
#include "network/charset.h"

#include <cstdint>
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
};

/// The reason a pager entry is refused, "field: reason" (e.g. "ric: 2500000 is above
/// 2097151"); nullopt when it is valid.
std::optional<std::string> validatePager(const Pager& pager);

/// The page that goes on air for a message to this pager (bytes already in the pager's set).
PageParams pageFor(const Pager& pager, std::string_view bytes);

class PagerDirectory {
public:
    /// Reads the file; a missing file is an empty directory. False, with *error naming the
    /// line and field, when the file cannot be read or holds a bad entry (nothing is loaded
    /// then).
    bool load(const std::string& path, std::string* error);
    /// Writes the whole directory through a temporary file that replaces the old one.
    bool save(const std::string& path, std::string* error) const;

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
};

/// "Pagers.txt" in the station's program folder.
inline constexpr char PagerDirectoryFile[] = "Pagers.txt";

} // namespace tarvex
