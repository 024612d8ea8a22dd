#pragma once
// A page built field by field, for the encoder tests.
#include "encoder/page_encoder.h"

#include <string>

namespace tarvex::test {

inline PageParams page(const std::string& ric, int fb, Coding coding, const std::string& message) {
    PageParams p;
    p.ric = ric;
    p.functionBits = fb;
    p.coding = coding;
    p.message = message;
    return p;
}

} // namespace tarvex::test
