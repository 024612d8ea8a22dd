#include "encoder/page_encoder.h"

#include "encoder/batch_layout.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "encoder/message_packing.h"

#include <string>

namespace tarvex {
namespace {

const char* codingName(Coding coding) {
    return coding == Coding::Alphanumeric ? "alphanumeric" : "numeric";
}

/// The RIC text as a number in 0..MaxRic.
int32_t ricFromText(std::string_view ricText) {
    const int32_t ric = StrToInt(ricText);
    if (ric < 0 || ric > MaxRic)
        throw PageRefused("The RIC/CAP code " + std::to_string(ric) +
                          " is out of range: it must be 0 to " + std::to_string(MaxRic) + ".");
    return ric;
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
    const int32_t ric = ricFromText(ricText);
    FrameNumber = ric % 8;
    return addressCodeword(static_cast<uint32_t>(ric), functionBits & 3);
}

int PageEncoder::predictedLastSlot(int frame, Coding coding, std::size_t messageLength) {
    const int last = layout::lastMessageSlot(layout::frameSlot(FirstBatchSlot, frame),
                                             layout::messageCodewords(coding, messageLength));
    const int end = layout::batchEnd(last);
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

PageEncoder::CheckedPage PageEncoder::checkPage(const PageParams& page) const {
    const int32_t ric = ricFromText(page.ric);
    const CheckedPage checked{addressCodeword(static_cast<uint32_t>(ric), page.functionBits & 3),
                              ric % 8};
    const Codeword address = checked.address;
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
    const int predicted = predictedLastSlot(checked.frame, page.coding, page.message.size());
    if (predicted > lastUsableSlot()) {
        throw PageRefused("The message is too long to send: its " +
                          std::to_string(page.message.size()) + " " + codingName(page.coding) +
                          " characters would end the transmission at codeword slot " +
                          std::to_string(predicted) + ", but a page must end by slot " +
                          std::to_string(lastUsableSlot()) + ". At most " +
                          std::to_string(maxMessageLength(checked.frame, page.coding)) +
                          " characters fit on this RIC/CAP code.");
    }
    return checked;
}

std::string PageEncoder::BuildTransmission(const PageParams& page) {
    // Everything that can refuse the page is checked before the buffer is touched.
    const CheckedPage checked = checkPage(page);
    const Codeword address = checked.address;
    const int frame = checked.frame;

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

    LastSlot = closeLastBatch(CodewordBuffer, WritePosition - 1, SyncCodeword, IdleCodeword);
    return listing();
}

std::string PageEncoder::listing() const {
    return codewordListing(CodewordBuffer, 1, LastSlot, SyncText);
}

} // namespace tarvex
