// A real HTTP(S) server on a random 127.0.0.1 port, listening on a thread of its own while a test runs.
#pragma once

#include <atomic>
#include <chrono>
#include <httplib.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace zarn::test {

class LocalServer {
public:
    explicit LocalServer(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
        : m_server(std::move(server)) {}
    ~LocalServer() { Stop(); }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // Routes are added here before Start.
    httplib::Server& Http() { return *m_server; }

    // Binds to a free port and serves until the object goes; returns the port.
    int Start() {
        m_port = m_server->bind_to_any_port("127.0.0.1");
        if (m_port <= 0) {
            throw std::runtime_error("no free port on 127.0.0.1");
        }
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        while (!m_server->is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return m_port;
    }

    // Lets handlers that wait for the end of the test return, then stops serving.
    void Stop() {
        m_releasing = true;
        if (m_thread.joinable()) {
            m_server->stop();
            m_thread.join();
        }
    }

    int Port() const { return m_port; }
    std::string Url(const std::string& path, const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // True once the test is over: a handler that stalls on purpose returns then.
    bool Releasing() const { return m_releasing; }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_releasing{false};
};

} // namespace zarn::test
