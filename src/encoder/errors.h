#pragma once
// Error values of the core. Each carries the exact text that the operator is shown;
// the core never shows anything itself, the front ends decide how to report it.
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvex {

/// Base of every error whose what() is the exact text for the operator.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A failed text-to-number conversion: "'%s' is not a valid integer value".
class ConversionError : public Error {
public:
    explicit ConversionError(std::string_view text);
};

/// The encoder refuses a page it cannot put on the air correctly
/// (message too long, RIC out of range, an address no pager can receive).
class PageRefused : public Error {
public:
    using Error::Error;
};

} // namespace tarvex
