#include "encoder/conversions.h"
#include "encoder/page_encoder.h"

namespace tarvex {

std::string codewordListing(const SlotBuffer& buffer, int first, int last,
                            std::string_view syncText) {
    std::string text;
    text.reserve(static_cast<std::size_t>(last - first + 1) * 10);
    // The counter starts at each sync codeword and breaks the line after the first four frames.
    int counter = 0;
    for (int slot = first; slot <= last; ++slot) {
        const std::string digits = formatHex8(buffer[slot]);
        if (counter > 0)
            ++counter;
        if (counter == 10) {
            text += "\r\n";
            counter = 0;
        }
        if (digits == syncText) {
            text += "\r\n";
            text += digits;
            text += "\r\n";
            counter = 1;
        } else {
            text += digits;
            text += ' ';
        }
    }
    return text;
}

} // namespace tarvex
