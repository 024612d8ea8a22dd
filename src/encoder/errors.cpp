#include "encoder/errors.h"

namespace tarvex {

ConversionError::ConversionError(std::string_view text)
    : Error("'" + std::string(text) + "' is not a valid integer value") {}

} // namespace tarvex
