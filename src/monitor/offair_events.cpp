#include "monitor/offair_events.h"

#include <chrono>

namespace tarvex {

int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* verdictText(Verdict verdict) {
    return verdict == Verdict::Confirmed ? "confirmed" : "not heard";
}

const std::string& HeardElsewhere::text() const {
    if (hasNumeric && (functionBits == 0 || !hasAlpha))
        return numericText;
    return alphaText;
}

} // namespace tarvex
