#pragma once
// The message list file ("MessList.txt"): preset entries, one per line. Reading accepts
// CR LF, CR or LF line ends; writing replaces the file whole with CR LF after every line.
// Failures come back with the operating system's reason, never silently.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

inline constexpr char MessageListFileName[] = "MessList.txt";

/// The text split into lines; a line ends at CR LF, CR or LF; a last line without an ending
/// counts, an empty text has no lines.
std::vector<std::string> splitMessageList(std::string_view text);

/// Every line followed by CR LF.
std::string messageListText(const std::vector<std::string>& lines);

struct MessageListRead {
    bool exists = false;              ///< false: no such file (not an error)
    std::vector<std::string> lines;   ///< the file's lines when it was read
    std::optional<std::string> error; ///< "<path>: <reason>" when it exists but cannot be read
};

MessageListRead readMessageList(const std::string& path);

/// Writes the list whole. Returns "<path>: <reason>" on failure; an existing file is then
/// left as it was (the text goes to a temporary file that replaces it only when complete).
/// An existing file that may not be written (read-only) is not replaced.
std::optional<std::string> writeMessageList(const std::string& path,
                                            const std::vector<std::string>& lines);

/// Small file helpers shared by the paging files, reporting the system's reason.
namespace file_io {
/// The whole file; empty and *error set on failure.
std::optional<std::string> readAll(const std::string& path, std::string* error);
/// Replaces the file whole through a temporary file in the same folder.
std::optional<std::string> replaceWhole(const std::string& path, std::string_view text);
/// "<path>: <strerror(errno)>".
std::string reason(const std::string& path, int errnoValue);
} // namespace file_io

} // namespace tarvex
