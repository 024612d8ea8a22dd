// Fuzz target: the settings store's value readings. A stored integer reads as its value
// exactly when it is a sign and digits within 32 bits (no blanks), otherwise as the default;
// integer text reads back to the same value; a flag is an integer that is not 0; a stored
// text comes back unchanged; a stored level keeps its low 8 bits.
#include "fuzz_check.h"
#include "station/settings_values.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;
using tarvex::fuzz::quoted;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The program takes no leading blanks; otherwise it agrees with the reference reading.
    const auto value = parseDecimal(text);
    const auto reference =
        !text.empty() && text.front() == ' ' ? std::nullopt : tarvex::fuzz::referenceDecimal(text);
    FUZZ_CHECK(value == reference, quoted(text));

    constexpr int32_t fallback = 750;
    const int32_t read = readInteger(text, fallback);
    FUZZ_CHECK(read == (value ? *value : fallback), quoted(text));
    FUZZ_CHECK(readFlag(text, true) == (readInteger(text, 1) != 0), quoted(text));
    FUZZ_CHECK(readFlag(text, false) == (readInteger(text, 0) != 0), quoted(text));
    FUZZ_CHECK(readText(text, "GXZYX") == text, quoted(text));

    // What is written reads back as the same value, and a level as its low byte.
    const std::string written = integerText(read);
    FUZZ_CHECK(parseDecimal(written) == read, quoted(written));
    FUZZ_CHECK(lowByte(read) == static_cast<uint8_t>(read & 0xFF), quoted(written));
    const int index = listIndex(read, 2);
    FUZZ_CHECK(index == (read == 0 || read == 1 ? read : -1), quoted(written));
    return 0;
}
