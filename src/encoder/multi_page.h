#pragma once
// Several pages in one transmission: one preamble, then batches in which each page's address
// codeword stands in its own frame with its message behind it, packed in queue order at one
// bit rate and polarity up to a codeword budget. A single page comes out as BuildTransmission.
#include "encoder/codeword.h"
#include "encoder/page_encoder.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace tarvex {

/// Longest stream the signal generator renders (its working copy holds 1137 codewords), and
/// so the most any transmission may hold.
inline constexpr int MaxTransmissionCodewords = 1137;

/// Where a packed page stands in the transmission (slots numbered from 1).
struct PackedPage {
    std::size_t index = 0; ///< its position in the queue given
    int addressSlot = 0;   ///< its address codeword
    int lastSlot = 0;      ///< its last message codeword (the address codeword when none)
};

/// A page the encoder cannot send on its own; it is left out and never holds up the queue.
struct RefusedPage {
    std::size_t index = 0;
    std::string reason; ///< the encoder's own text, as BuildTransmission would throw it
};

/// Why packing ended before the end of the queue.
enum class PackingStop {
    QueueEnd,   ///< every page was packed or refused
    Budget,     ///< the next page would take the transmission past the budget
    RateChange, ///< the next page has another bit rate or polarity
};

struct MultiPageTransmission {
    /// Slots 1..lastSlot, then EndMarker; only EndMarker when no page was packed.
    std::vector<Codeword> stream{EndMarker};
    int lastSlot = 0; ///< codewords on the air, EndMarker not counted
    std::vector<PackedPage> pages;
    std::vector<RefusedPage> refused;
    /// Leading queue entries dealt with (packed or refused): the caller drops these from its
    /// queue and sends the rest in a later transmission.
    std::size_t consumed = 0;
    PackingStop stop = PackingStop::QueueEnd;
    int baud = 0;          ///< bit rate of the packed pages (0 when none)
    bool inverted = false; ///< their polarity
    std::string listing;   ///< as codewordListing gives it, over slots 1..lastSlot
};

/// Packs pages from the front of `queue` into one transmission of at most `budget` codewords
/// (preamble, batches and idle fill; EndMarker not counted), the budget clamped to 0..1137.
/// The encoder gives the sync and idle codewords, the sync text of the listing and its page
/// checks (range, address equal to sync or idle, message length). The first page packed is
/// taken even when it alone exceeds the budget, so a queue never sticks; every page that the
/// encoder accepts fits the generator's 1137 codewords.
MultiPageTransmission buildMultiPageTransmission(std::span<const PageParams> queue, int budget,
                                                 const PageEncoder& encoder);

} // namespace tarvex
