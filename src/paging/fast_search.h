#pragma once
// The fast RIC search transmission: one packed transmission of address codewords only that
// reaches 256 consecutive RIC/CAP codes, with the listing the search dialog shows.
#include "encoder/codeword.h"
#include "encoder/codeword_buffer.h"
#include "encoder/page_encoder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

inline constexpr int FastSearchBatches = 16;
inline constexpr int FastSearchCodesPerTransmission = 256;
/// Slot of the EndMarker that closes the built stream (preamble, 16 batches, 16 idle).
inline constexpr int FastSearchEndSlot = 307;
/// Last slot sent: the 16 batches and two idle codewords after them. A decoder reports an
/// address only once the codeword after it has arrived; with a single idle codeword the
/// rendered length at 2400 bit/s (whole microseconds per bit) cuts that codeword short and
/// the last address of every transmission is lost.
inline constexpr int FastSearchLastSlot = 292;

/// The address codeword A(code): the address of code div 8 with function bits 1. Empty for
/// codes outside 0..2097151, which no pager can hold.
std::optional<Codeword> fastSearchAddress(int64_t code);

struct FastSearchTransmission {
    int LastSlot = FastSearchLastSlot;
    std::string listing;   ///< 16 batch lines (CR LF after each) and one line of idle texts
    int64_t nextStart = 0; ///< start + 256
};

/// Builds the transmission for start code S into slots 1..307 of the buffer: preamble in
/// 1..18; batch k (slot 19 + 17k) = sync, then 8 pairs A(S + 16k), A(S + 16k + 8); 16 idle
/// codewords; EndMarker in 307. An address for a code outside 0..2097151 becomes the idle
/// codeword, in the buffer and (as idleText) in the listing.
FastSearchTransmission BuildFastSearch(SlotBuffer& buffer, int64_t start, Codeword sync,
                                       Codeword idle, std::string_view syncText,
                                       std::string_view idleText);

/// The same with the encoder's sync and idle values; sets the encoder's LastSlot.
FastSearchTransmission BuildFastSearch(PageEncoder& encoder, int64_t start);

/// The fixed rate text of the status line: "803.1", "1882.32" or "3764.7" (empty otherwise).
std::string_view fastSearchRateText(int baud);

/// "Started with RIC <start> at <time> Sending <rate> RICs per minute".
std::string fastSearchInfoText(std::string_view startText, std::string_view timeText, int baud);

} // namespace tarvex
