// The few socket calls the transfer engine makes itself, to report each connection step by address.
#pragma once

#include <cstdint>
#include <string>

namespace zarn::platform {

// Creates a socket of the given family, type and protocol (as the system's socket() takes them).
// Returns the descriptor, or -1 with the system's last error set. Any thread.
std::intptr_t CreateSocket(int family, int type, int protocol);

// The numeric text of a socket address ("127.0.0.1", "::1"); empty for a family it does not know.
// `address` points to the system's socket address structure. Any thread.
std::string NumericAddress(const void* address);

} // namespace zarn::platform
