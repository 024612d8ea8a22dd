#include "network/inputs/network_input.h"

namespace tarvex {

std::string listeningText(const std::string& name, const std::vector<std::string>& addresses,
                          uint16_t port) {
    std::string text = name + " on ";
    for (std::size_t i = 0; i < addresses.size(); ++i)
        text += (i ? ", " : "") +
                (addresses[i].find(':') != std::string::npos ? "[" + addresses[i] + "]"
                                                             : addresses[i]) +
                ":" + std::to_string(port);
    return text;
}

} // namespace tarvex
