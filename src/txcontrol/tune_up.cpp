#include "txcontrol/tune_up.h"

#include "encoder/errors.h"

#include <string>

namespace tarvex {

int codewordsPerSecond(int baud) {
    switch (baud) {
    case 512:
        return 16;
    case 1200:
        return 38;
    case 2400:
        return 75;
    default:
        throw Error("Tune-up: the bit rate " + std::to_string(baud) + " is not 512, 1200 or 2400.");
    }
}

int tuneUpCodewordCount(int tuneTime, int baud) {
    if (tuneTime < MinTuneTime || tuneTime > MaxTuneTime)
        throw Error("Tune-up: the tune time must be 1 to 15 seconds, not " +
                    std::to_string(tuneTime) + ".");
    return tuneTime * codewordsPerSecond(baud);
}

int BuildTuneUp(SlotBuffer& buffer, int tuneTime, int baud) {
    const int n = tuneUpCodewordCount(tuneTime, baud);
    buffer.fill(SlotBuffer::FirstSlot, n, PreambleCodeword);
    buffer[n + 1] = EndMarker;
    return n;
}

} // namespace tarvex
