#pragma once
// The entry format: a whole page in one line — 2 digits of function bits, "A"/"N", a
// 4-digit bit rate, "N"/"I", a 7-character RIC/CAP code, then the message. The parser checks
// the fields in order and reports the first one in error with the operator's message, and
// how far the line got, so the caller can load the fields that passed before showing it.
#include "encoder/page_encoder.h"

#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// How far a line got: each value means that field and all before it were valid.
enum class EntryProgress {
    None = 0,         ///< shorter than 15 characters: no entry at all
    FunctionBits = 1, ///< function bits valid
    Coding = 2,       ///< coding valid
    Baud = 3,         ///< bit rate valid
    Polarity = 4,     ///< polarity valid
    Complete = 5,     ///< RIC/CAP code valid too: the whole entry applies
};

struct PageEntry {
    int functionBits = 0;
    Coding coding = Coding::Alphanumeric;
    int baud = 512;
    bool inverted = false;
    std::string ric;     ///< the 7 characters as written, leading zeros kept
    std::string message; ///< position 16 to the end, exactly as written
};

struct EntryParse {
    PageEntry entry; ///< fields up to `progress` are filled in
    EntryProgress progress = EntryProgress::None;
    std::optional<std::string> error; ///< the message of the first field in error
    bool ok() const { return progress == EntryProgress::Complete; }
};

inline constexpr std::size_t EntryMinLength = 15;

namespace entry_messages {
inline constexpr char Format[] = "The Format of this message is not correct, cannot send!";
inline constexpr char FunctionBits[] =
    "Error in the message format! The Function bits must be 00 or 01 or 10 or 11.";
inline constexpr char Coding[] =
    "Error in the message format! The Aplha/Numeric must be either A or N.";
inline constexpr char Baud[] = "Error in the message format! The Baud Rate is out of range.";
inline constexpr char Polarity[] =
    "Error in the message format! The Normal/Inverted must be either N or I.";
inline constexpr char RicRange[] = "Error in the message format! The RIC code is out of range.";
inline constexpr char RicNotNumber[] =
    "Error in the message format! Most likely to be the RIC code.";
} // namespace entry_messages

/// Checks one entry-format line. The first four fields are compared in upper case; the RIC
/// field is read as a signed decimal number (leading blanks and a sign accepted) and must
/// lie in 0..2097151.
EntryParse parsePageEntry(std::string_view line);

/// The page an entry stands for (the RIC text and message as written).
PageParams toPageParams(const PageEntry& entry);

/// The entry-format line of a page: function bits, A/N, rate, N/I, seven-digit RIC, message.
/// nullopt when the page cannot be written as one (a RIC that is not 0..2097151, a message
/// with a line break).
std::optional<std::string> entryLine(const PageParams& page);

} // namespace tarvex
