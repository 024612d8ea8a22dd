#pragma once
// Linux parallel-port device (ppdev) helpers shared by the port backends: one data-register
// write (claim, write, release) and the operator text for each failure with a fix hint.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

struct PpdevFailure {
    const char* step; ///< "claiming the port", "writing the data register", ...
    int error;        ///< errno
};

/// Claims the port on an open ppdev descriptor, writes its data register and releases it.
/// Empty on success.
std::optional<PpdevFailure> ppdevWriteData(int fd, uint8_t value);

/// "<path>: [<step>: ]<strerror> — <hint>", e.g.
/// "/dev/parport0: Permission denied — add the user to the lp group".
std::string ppdevErrorText(std::string_view path, std::string_view step, int error);

} // namespace tarvex
