#include "paging/fast_search.h"

#include "encoder/conversions.h"

namespace tarvex {

std::optional<Codeword> fastSearchAddress(int64_t code) {
    if (code < 0 || code > MaxRic)
        return std::nullopt;
    const uint32_t info = addressInfoWord(static_cast<uint32_t>(code), 1);
    return FinishCodeword(info, ComputeCheck(info));
}

FastSearchTransmission BuildFastSearch(SlotBuffer& buffer, int64_t start, Codeword sync,
                                       Codeword idle, std::string_view syncText,
                                       std::string_view idleText) {
    FastSearchTransmission out;
    std::string& listing = out.listing;
    buffer.fill(1, PageEncoder::PreambleSlots, PreambleCodeword);
    int slot = PageEncoder::FirstBatchSlot;
    int64_t s = start;
    for (int k = 0; k < FastSearchBatches; ++k) {
        buffer[slot++] = sync;
        const std::optional<Codeword> pair[2] = {fastSearchAddress(s), fastSearchAddress(s + 8)};
        for (int frame = 0; frame < 8; ++frame) {
            for (const auto& address : pair) {
                buffer[slot++] = address.value_or(idle);
                listing += address ? formatHex8(*address) : std::string(idleText);
                listing += ' ';
            }
        }
        listing += syncText;
        listing += "\r\n";
        s += 16;
    }
    for (int i = 0; i < 16; ++i) {
        buffer[slot++] = idle;
        listing += idleText;
        listing += ' ';
    }
    buffer[slot] = EndMarker; // slot 307
    out.nextStart = s;
    return out;
}

FastSearchTransmission BuildFastSearch(PageEncoder& encoder, int64_t start) {
    auto out = BuildFastSearch(encoder.CodewordBuffer, start, encoder.SyncCodeword,
                               encoder.IdleCodeword, encoder.SyncText, encoder.IdleText);
    encoder.LastSlot = out.LastSlot;
    return out;
}

std::string_view fastSearchRateText(int baud) {
    switch (baud) {
    case 512:
        return "803.1";
    case 1200:
        return "1882.32";
    case 2400:
        return "3764.7";
    default:
        return {};
    }
}

std::string fastSearchInfoText(std::string_view startText, std::string_view timeText, int baud) {
    std::string text = "Started with RIC ";
    text += startText;
    text += " at ";
    text += timeText;
    text += " Sending ";
    text += fastSearchRateText(baud);
    text += " RICs per minute";
    return text;
}

} // namespace tarvex
