#include "txcontrol/ptt/ptt_line.h"

#include <cstring>

namespace tarvex {

std::string pttErrorText(std::string_view what, int error, std::string_view hint) {
    std::string text(what);
    text += ": ";
    text += std::strerror(error);
    if (!hint.empty()) {
        text += " \u2014 ";
        text += hint;
    }
    return text;
}

} // namespace tarvex
