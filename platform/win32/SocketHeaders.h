// The system headers that declare sockets, socket addresses and inet_ntop on Windows (Winsock 2).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
