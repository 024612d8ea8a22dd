#include "network/intake/listen_address.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

namespace tarvex {

bool isLoopbackAddress(std::string_view address) {
    const std::string text(address);
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6) != 1)
        return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

bool reachesBeyondLoopback(const std::vector<std::string>& addresses) {
    for (const auto& address : addresses) {
        if (!isLoopbackAddress(address))
            return true;
    }
    return false;
}

} // namespace tarvex
