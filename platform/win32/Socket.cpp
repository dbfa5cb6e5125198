#include "platform/Socket.h"

#include <SocketHeaders.h>

namespace zarn::platform {

std::intptr_t CreateSocket(int family, int type, int protocol) {
    const SOCKET socket = ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return socket == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(socket);
}

} // namespace zarn::platform
