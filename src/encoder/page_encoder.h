#pragma once
// The page encoder: lays out a complete POCSAG transmission (preamble, batches with the
// address codeword in its frame, message codewords, idle fill) in the codeword buffer
// and produces the hexadecimal listing shown in "Data Being Sent".
#include "encoder/codeword.h"
#include "encoder/codeword_buffer.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvex {

enum class Coding { Alphanumeric, Numeric };

/// The page as the main window's controls hold it.
struct PageParams {
    std::string ric = "1234567"; ///< RIC/CAP field text, converted when the page is built
    int functionBits = 3;        ///< 0..3 (FB1..FB4)
    Coding coding = Coding::Alphanumeric;
    int baud = 1200;       ///< 512, 1200 or 2400
    bool inverted = false; ///< polarity, applied to the generator by its own buttons
    std::string message;   ///< 8-bit text
};

/// Encoder state. One instance lives with the main window (or the command-line program).
class PageEncoder {
public:
    /// Slots each build clears and fills.
    static constexpr int DefaultSlotCount = 200;
    /// Preamble length and the first slot of batch 1 (the sync codeword).
    static constexpr int PreambleSlots = 18;
    static constexpr int FirstBatchSlot = PreambleSlots + 1;
    static constexpr int BatchSlots = 17;

    SlotBuffer CodewordBuffer;
    int SlotCount = DefaultSlotCount;
    int WritePosition = 0;
    int FrameNumber = 0;
    int LastSlot = 0;
    std::string SyncText = StockSyncText;
    std::string IdleText = StockIdleText;
    Codeword SyncCodeword = StockSyncCodeword;
    Codeword IdleCodeword = StockIdleCodeword;

    /// Sets both texts and values at once; false (nothing changed) when either text is
    /// not 1 to 8 hexadecimal digits.
    bool setSyncIdle(std::string_view syncText, std::string_view idleText);

    /// Address codeword of the RIC text with the function bits; sets FrameNumber.
    /// Throws ConversionError for text that is not a number, PageRefused outside 0..MaxRic.
    Codeword BuildAddressCodeword(std::string_view ricText, int functionBits);

    /// Packs the message from WritePosition on and fills the work slots behind it.
    void PackAlphaMessage(std::string_view message);
    void PackNumericMessage(std::string_view message);

    /// Builds the page into slots 1..LastSlot and returns its listing. Refuses (PageRefused)
    /// a page that would not end by lastUsableSlot() or whose address codeword equals the
    /// sync or idle codeword; nothing in the buffer changes then.
    std::string BuildTransmission(const PageParams& page);

    /// What BuildTransmission needs to know about a page before it writes anything.
    struct CheckedPage {
        Codeword address = 0;
        int frame = 0;
    };
    /// Checks a page as BuildTransmission does and throws as it would (ConversionError,
    /// PageRefused with the operator's text); changes nothing.
    CheckedPage checkPage(const PageParams& page) const;

    /// The listing of slots 1..LastSlot as "Data Being Sent" shows it.
    std::string listing() const;

    /// Last slot a page transmission may use: the end of the last whole batch that fits
    /// in the SlotCount work slots.
    int lastUsableSlot() const;

    /// LastSlot that a page on the given frame with messageLength characters would get.
    static int predictedLastSlot(int frame, Coding coding, std::size_t messageLength);

    /// Longest message (characters) that fits on the given frame within lastUsableSlot().
    int maxMessageLength(int frame, Coding coding) const;

private:
    void fillWorkSlots(int nextSyncSlot);
};

/// The listing of slots first..last of a buffer: CR LF between lines, the sync codeword
/// (compared with syncText as text) on a line of its own, no line break at the end.
std::string codewordListing(const SlotBuffer& buffer, int first, int last,
                            std::string_view syncText);

} // namespace tarvex
