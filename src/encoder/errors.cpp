#include "encoder/errors.h"

namespace tarvex {

namespace {

std::string conversionText(std::string_view text) {
    std::string message;
    message.reserve(text.size() + 32);
    message.push_back('\'');
    message.append(text);
    message.append("' is not a valid integer value");
    return message;
}

} // namespace

ConversionError::ConversionError(std::string_view text) : Error(conversionText(text)) {}

} // namespace tarvex
