#include "platform/Socket.h"

#include <SocketHeaders.h>

namespace zarn::platform {

std::string NumericAddress(const void* address) {
    const auto* generic = static_cast<const sockaddr*>(address);
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (generic->sa_family == AF_INET) {
        raw = &static_cast<const sockaddr_in*>(address)->sin_addr;
    } else if (generic->sa_family == AF_INET6) {
        raw = &static_cast<const sockaddr_in6*>(address)->sin6_addr;
    } else {
        return {};
    }
    if (::inet_ntop(generic->sa_family, raw, text, sizeof text) == nullptr) {
        return {};
    }
    return text;
}

} // namespace zarn::platform
