// A real HTTP server on a random 127.0.0.1 port for the GUI tests, with a few kinds of replies that
// the download dialog meets: plain files, slow bodies, error codes and a password-protected file.
#pragma once

#include "tests/support/LocalServer.h"

#include <atomic>
#include <chrono>
#include <httplib.h>
#include <string>
#include <thread>

namespace zarn::test {

class DialogServer {
public:
    DialogServer() {
        // One request a connection, so that stopping never waits for an idle keep-alive connection.
        m_server.Http().set_keep_alive_max_count(1);
        m_server.Http().set_logger([this](const httplib::Request&, const httplib::Response&) { ++m_requests; });
    }

    // Serves `body` at `path` with a Content-Length.
    void File(const std::string& path, const std::string& body) {
        m_server.Http().Get(path, [body](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "application/octet-stream");
        });
    }

    // Serves `total` bytes of 'z' at `path` with a Content-Length, `piece` bytes every `pause`.
    void SlowFile(const std::string& path, std::size_t total, std::size_t piece, std::chrono::milliseconds pause) {
        m_server.Http().Get(path, [this, total, piece, pause](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                total, "application/octet-stream",
                [this, piece, pause](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    if (m_server.Releasing())
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
        m_server.Http().Get(path, [this, pause](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [this, pause](std::size_t, httplib::DataSink& sink) {
                                                 if (m_server.Releasing())
                                                     return false;
                                                 std::this_thread::sleep_for(pause);
                                                 const std::string chunk(512, 'e');
                                                 return sink.write(chunk.data(), chunk.size());
                                             });
        });
    }

    // Answers `path` with `status` and a short body.
    void Status(const std::string& path, int status) {
        m_server.Http().Get(path, [status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content("no such thing here", "text/plain");
        });
    }

    // Serves `body` at `path` only to Basic credentials `user`:`password`; 401 otherwise.
    void ProtectedFile(const std::string& path, const std::string& body, const std::string& user,
                       const std::string& password) {
        const std::string expected = httplib::make_basic_authentication_header(user, password).second;
        m_server.Http().Get(path, [this, body, expected](const httplib::Request& req, httplib::Response& res) {
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

    // The server listens from the first time its address is asked for, once the test's routes are in.
    int Port() {
        if (m_server.Port() == 0)
            m_server.Start();
        return m_server.Port();
    }
    std::string Url(const std::string& path) {
        Port();
        return m_server.Url(path);
    }
    int Requests() const { return m_requests; }
    int Challenges() const { return m_challenges; }

private:
    // The counters outlive the server, whose handlers count until it has stopped.
    std::atomic<int> m_requests{0};
    std::atomic<int> m_challenges{0};
    LocalServer m_server;
};

} // namespace zarn::test
