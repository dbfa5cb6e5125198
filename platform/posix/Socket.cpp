#include "platform/Socket.h"

#include <SocketHeaders.h>

namespace zarn::platform {

std::intptr_t CreateSocket(int family, int type, int protocol) {
    return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

} // namespace zarn::platform
