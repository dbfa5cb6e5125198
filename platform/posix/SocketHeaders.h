// The system headers that declare sockets, socket addresses and inet_ntop on POSIX.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
