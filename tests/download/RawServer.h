// A loopback TCP server that answers every connection with one fixed byte string, whatever was asked:
// for answers a well-behaved HTTP server library would never give. A drip then sends more, a piece at a
// time; with `holdOpen` it then keeps the connection open, silent, until the server ends. Given a function
// instead, it answers each request with what the function makes of its header block.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace zarn::test {

class RawServer {
public:
    // Sent after the reply: `count` times `piece`, each after a pause. (No member initializers: a default
    // argument of the enclosing class cannot use them.)
    struct Drip {
        std::string piece;
        int count;
        std::chrono::milliseconds pause;
    };

    explicit RawServer(std::string reply, bool holdOpen = false, Drip drip = {})
        : RawServer([reply](const std::string&) { return reply; }, holdOpen, std::move(drip)) {}
    explicit RawServer(std::function<std::string(const std::string& request)> answer, bool holdOpen = false,
                       Drip drip = {})
        : m_answer(std::move(answer)), m_holdOpen(holdOpen), m_drip(std::move(drip)) {
#ifdef _WIN32
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            throw std::runtime_error("no Winsock");
        }
#endif
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener == kNoSocket || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
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
        Close(m_listener);
#ifdef _WIN32
        ::WSACleanup();
#endif
    }
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int Port() const {
        return m_port;
    }
    // How many connections have been answered or are being answered.
    int Connections() const {
        return m_connections;
    }
    // True while a connection is held open after the reply.
    bool Holding() const {
        return m_holding;
    }
    // The last request's header block, as received.
    std::string LastRequest() const {
        while (!m_answered) {
            std::this_thread::yield();
        }
        return m_request;
    }

private:
#ifdef _WIN32
    using Socket = SOCKET;
    static constexpr Socket kNoSocket = INVALID_SOCKET;
    static constexpr int kSendFlags = 0;
    static int Poll(pollfd* fds, int timeoutMs) {
        return ::WSAPoll(fds, 1, timeoutMs);
    }
    static void Close(Socket socket) {
        ::closesocket(socket);
    }
#else
    using Socket = int;
    static constexpr Socket kNoSocket = -1;
    static constexpr int kSendFlags = MSG_NOSIGNAL;
    static int Poll(pollfd* fds, int timeoutMs) {
        return ::poll(fds, 1, timeoutMs);
    }
    static void Close(Socket socket) {
        ::close(socket);
    }
#endif

    void Serve() {
        while (!m_stopping) {
            pollfd waiting{m_listener, POLLIN, 0};
            if (Poll(&waiting, 20) <= 0) {
                continue;
            }
            const Socket client = ::accept(m_listener, nullptr, nullptr);
            if (client == kNoSocket) {
                continue;
            }
            ++m_connections;
            std::string request;
            char buffer[4096];
            // A client that says nothing and keeps the connection (WinInet's blocked handshake) ends with the server.
            while (request.find("\r\n\r\n") == std::string::npos && !m_stopping) {
                pollfd readable{client, POLLIN, 0};
                if (Poll(&readable, 20) <= 0) {
                    continue;
                }
                const auto n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                request.append(buffer, static_cast<std::size_t>(n));
            }
            m_request = request;
            bool open = SendAll(client, m_answer(request));
            m_answered = true;
            for (int i = 0; open && i < m_drip.count && !m_stopping; ++i) {
                std::this_thread::sleep_for(m_drip.pause);
                open = SendAll(client, m_drip.piece);
            }
            m_holding = m_holdOpen;
            while (m_holdOpen && !m_stopping) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            m_holding = false;
            Close(client);
        }
    }

    // False when the client has gone.
    static bool SendAll(Socket client, const std::string& data) {
        for (std::size_t sent = 0; sent < data.size();) {
            const auto n = ::send(client, data.data() + sent, static_cast<int>(data.size() - sent), kSendFlags);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::function<std::string(const std::string&)> m_answer;
    bool m_holdOpen;
    Drip m_drip;
    std::string m_request;
    Socket m_listener = kNoSocket;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_answered{false};
    std::atomic<int> m_connections{0};
    std::atomic<bool> m_holding{false};
    std::thread m_thread;
};

} // namespace zarn::test
