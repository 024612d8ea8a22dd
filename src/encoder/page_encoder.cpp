#include "encoder/page_encoder.h"

#include "encoder/conversions.h"
#include "encoder/errors.h"

#include <string>

namespace tarvex {
namespace {

bool isBatchStart(int slot) {
    return slot >= PageEncoder::FirstBatchSlot &&
           (slot - PageEncoder::FirstBatchSlot) % PageEncoder::BatchSlots == 0;
}

int batchEnd(int slot) {
    int t = slot - PageEncoder::PreambleSlots;
    while (t % PageEncoder::BatchSlots != 0)
        ++t;
    return t + PageEncoder::PreambleSlots;
}

std::size_t messageCodewords(Coding coding, std::size_t length) {
    const std::size_t bits = coding == Coding::Alphanumeric ? 7 * (length + 1) : 4 * length;
    return (bits + 19) / 20;
}

const char* codingName(Coding coding) {
    return coding == Coding::Alphanumeric ? "alphanumeric" : "numeric";
}

} // namespace

bool PageEncoder::setSyncIdle(std::string_view syncText, std::string_view idleText) {
    const auto sync = hexToCodeword(syncText);
    const auto idle = hexToCodeword(idleText);
    if (!sync || !idle)
        return false;
    SyncText = syncText;
    IdleText = idleText;
    SyncCodeword = *sync;
    IdleCodeword = *idle;
    return true;
}

Codeword PageEncoder::BuildAddressCodeword(std::string_view ricText, int functionBits) {
    const int32_t ric = StrToInt(ricText);
    if (ric < 0 || ric > MaxRic)
        throw PageRefused("The RIC/CAP code " + std::to_string(ric) +
                          " is out of range: it must be 0 to " + std::to_string(MaxRic) + ".");
    FrameNumber = ric % 8;
    return addressCodeword(static_cast<uint32_t>(ric), functionBits & 3);
}

int PageEncoder::predictedLastSlot(int frame, Coding coding, std::size_t messageLength) {
    int last = FirstBatchSlot + 1 + 2 * frame; // the address codeword
    for (std::size_t i = messageCodewords(coding, messageLength); i > 0; --i) {
        ++last;
        if (isBatchStart(last))
            ++last;
    }
    const int end = batchEnd(last);
    // A message that fills its batch to the last slot is followed by one more batch.
    return end == last ? end + BatchSlots : end;
}

int PageEncoder::lastUsableSlot() const {
    return PreambleSlots + BatchSlots * ((SlotCount - PreambleSlots) / BatchSlots);
}

int PageEncoder::maxMessageLength(int frame, Coding coding) const {
    // The last slot never falls as the message grows: double the length until it no longer
    // fits, then halve the gap between the longest that fits and the shortest that does not.
    const auto fits = [&](int length) {
        return predictedLastSlot(frame, coding, static_cast<std::size_t>(length)) <=
               lastUsableSlot();
    };
    int longest = 0, tooLong = 1;
    while (fits(tooLong)) {
        longest = tooLong;
        tooLong *= 2;
    }
    while (tooLong - longest > 1) {
        const int middle = longest + (tooLong - longest) / 2;
        (fits(middle) ? longest : tooLong) = middle;
    }
    return longest;
}

std::string PageEncoder::BuildTransmission(const PageParams& page) {
    // Everything that can refuse the page is checked before the buffer is touched.
    PageEncoder probe;
    probe.SlotCount = SlotCount;
    const Codeword address = probe.BuildAddressCodeword(page.ric, page.functionBits);
    const int frame = probe.FrameNumber;
    if (address == SyncCodeword || address == IdleCodeword) {
        const bool sync = address == SyncCodeword;
        throw PageRefused("RIC/CAP code " + std::string(trimControl(page.ric)) +
                          " with function bits " + std::to_string(page.functionBits & 3) +
                          " gives the address codeword " + formatHex8(address) + ", the " +
                          (sync ? "sync" : "idle") +
                          " codeword: no pager can receive this page. Choose other function "
                          "bits or another " +
                          (sync ? "sync" : "idle") + " codeword.");
    }
    const int predicted = predictedLastSlot(frame, page.coding, page.message.size());
    if (predicted > lastUsableSlot()) {
        throw PageRefused("The message is too long to send: its " +
                          std::to_string(page.message.size()) + " " + codingName(page.coding) +
                          " characters would end the transmission at codeword slot " +
                          std::to_string(predicted) + ", but a page must end by slot " +
                          std::to_string(lastUsableSlot()) + ". At most " +
                          std::to_string(maxMessageLength(frame, page.coding)) +
                          " characters fit on this RIC/CAP code.");
    }

    WritePosition = 0;
    CodewordBuffer.fill(1, SlotCount, 0);
    CodewordBuffer.fill(1, PreambleSlots, PreambleCodeword);
    CodewordBuffer[FirstBatchSlot] = SyncCodeword;
    WritePosition = FirstBatchSlot + 1;
    FrameNumber = frame;
    CodewordBuffer.fill(WritePosition, WritePosition + 2 * FrameNumber - 1, IdleCodeword);
    WritePosition += 2 * FrameNumber;
    CodewordBuffer[WritePosition++] = address;

    if (page.coding == Coding::Alphanumeric)
        PackAlphaMessage(page.message);
    else
        PackNumericMessage(page.message);

    LastSlot = batchEnd(WritePosition - 1);
    if (CodewordBuffer[LastSlot] != IdleCodeword) {
        CodewordBuffer[LastSlot + 1] = SyncCodeword;
        CodewordBuffer.fill(LastSlot + 2, LastSlot + BatchSlots, IdleCodeword);
        LastSlot += BatchSlots;
    }
    return listing();
}

std::string PageEncoder::listing() const {
    return codewordListing(CodewordBuffer, 1, LastSlot, SyncText);
}

} // namespace tarvex
