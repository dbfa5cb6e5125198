// A loopback TCP server that answers every connection with one fixed byte string, whatever was asked:
// for answers a well-behaved HTTP server library would never give.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zarn::test {

class RawServer {
public:
    explicit RawServer(std::string reply) : m_reply(std::move(reply)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 8) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~RawServer() {
        m_stopping = true;
        m_thread.join();
        ::close(m_listener);
    }
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int Port() const { return m_port; }
    // The last request's header block, as received.
    std::string LastRequest() const {
        while (!m_answered) {
            std::this_thread::yield();
        }
        return m_request;
    }

private:
    void Serve() {
        while (!m_stopping) {
            pollfd waiting{m_listener, POLLIN, 0};
            if (::poll(&waiting, 1, 20) <= 0) {
                continue;
            }
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0) {
                continue;
            }
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                request.append(buffer, static_cast<std::size_t>(n));
            }
            m_request = request;
            std::size_t sent = 0;
            while (sent < m_reply.size()) {
                const ssize_t n = ::send(client, m_reply.data() + sent, m_reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    break;
                }
                sent += static_cast<std::size_t>(n);
            }
            ::close(client);
            m_answered = true;
        }
    }

    std::string m_reply;
    std::string m_request;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_answered{false};
    std::thread m_thread;
};

} // namespace zarn::test
