// A real HTTP server on a random 127.0.0.1 port for the GUI tests, with a few kinds of replies that
// the download dialog meets: plain files, slow bodies, error codes and a password-protected file.
#pragma once

#include <atomic>
#include <chrono>
#include <httplib.h>
#include <string>
#include <thread>

namespace zarn::test {

class LocalServer {
public:
    LocalServer() {
        // One request a connection, so that stopping never waits for an idle keep-alive connection.
        m_server.set_keep_alive_max_count(1);
        m_server.set_logger([this](const httplib::Request&, const httplib::Response&) { ++m_requests; });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~LocalServer() {
        m_closing = true;
        m_server.stop();
        m_thread.join();
    }

    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // Serves `body` at `path` with a Content-Length.
    void File(const std::string& path, const std::string& body) {
        m_server.Get(path, [body](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "application/octet-stream");
        });
    }

    // Serves `total` bytes of 'z' at `path` with a Content-Length, `piece` bytes every `pause`.
    void SlowFile(const std::string& path, std::size_t total, std::size_t piece, std::chrono::milliseconds pause) {
        m_server.Get(path, [this, total, piece, pause](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                total, "application/octet-stream",
                [this, piece, pause](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    if (m_closing)
                        return false;
                    std::this_thread::sleep_for(pause);
                    const std::string chunk(std::min(piece, length), 'z');
                    (void)offset;
                    return sink.write(chunk.data(), chunk.size());
                });
        });
    }

    // Serves a chunked body at `path` that never ends: one piece every `pause`, until the client leaves.
    void EndlessFile(const std::string& path, std::chrono::milliseconds pause) {
        m_server.Get(path, [this, pause](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [this, pause](std::size_t, httplib::DataSink& sink) {
                                                 if (m_closing)
                                                     return false;
                                                 std::this_thread::sleep_for(pause);
                                                 const std::string chunk(512, 'e');
                                                 return sink.write(chunk.data(), chunk.size());
                                             });
        });
    }

    // Answers `path` with `status` and a short body.
    void Status(const std::string& path, int status) {
        m_server.Get(path, [status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content("no such thing here", "text/plain");
        });
    }

    // Serves `body` at `path` only to Basic credentials `user`:`password`; 401 otherwise.
    void ProtectedFile(const std::string& path, const std::string& body, const std::string& user,
                       const std::string& password) {
        const std::string expected = httplib::make_basic_authentication_header(user, password).second;
        m_server.Get(path, [this, body, expected](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") == expected) {
                res.set_content(body, "application/octet-stream");
                return;
            }
            ++m_challenges;
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"zarn\"");
            res.set_content("who are you?", "text/plain");
        });
    }

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    int Requests() const { return m_requests; }
    int Challenges() const { return m_challenges; }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_closing{false};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_challenges{0};
};

} // namespace zarn::test
