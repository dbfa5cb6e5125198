// zarn-serve: a static file server for the demo vendor repository and the tests.
//   zarn-serve --root DIR [--port N] [--bind ADDRESS]
// Serves the files under DIR to GET and HEAD, with byte ranges; prints the port it listens on.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 256 * 1024;

int Usage() {
    std::cerr << "usage: zarn-serve --root DIR [--port N] [--bind ADDRESS]\n";
    return 1;
}

// The file a request path names under the root, or nothing when the path would leave the root.
// Empty segments are skipped, so the vendor's "//quillornacc//complist//complist.txt" works.
std::optional<fs::path> Resolve(const fs::path& root, const std::string& requestPath) {
    fs::path path = root;
    std::string segment;
    auto take = [&]() -> bool {
        if (segment == "..") {
            return false;
        }
        if (!segment.empty() && segment != ".") {
            path /= segment;
        }
        segment.clear();
        return true;
    };
    for (const char c : requestPath) {
        if (c == '/' || c == '\\') {
            if (!take()) {
                return std::nullopt;
            }
        } else if (c == '\0') {
            return std::nullopt;
        } else {
            segment += c;
        }
    }
    if (!take()) {
        return std::nullopt;
    }
    return path;
}

void ServeFile(const fs::path& root, const httplib::Request& req, httplib::Response& res) {
    const auto path = Resolve(root, req.path);
    std::error_code error;
    if (!path || !fs::is_regular_file(*path, error)) {
        res.status = 404;
        res.set_content("Not Found\n", "text/plain");
        return;
    }
    const auto size = fs::file_size(*path, error);
    auto file = std::make_shared<std::ifstream>(*path, std::ios::binary);
    if (error || !*file) {
        res.status = 403;
        res.set_content("Forbidden\n", "text/plain");
        return;
    }
    // The library cuts the requested range out of this provider and answers 206 for a Range request.
    res.set_content_provider(static_cast<std::size_t>(size), "application/octet-stream",
                             [file, buffer = std::vector<char>(kChunk)](std::size_t offset, std::size_t length,
                                                                        httplib::DataSink& sink) mutable {
                                 file->clear();
                                 file->seekg(static_cast<std::streamoff>(offset));
                                 const std::size_t want = std::min(length, buffer.size());
                                 file->read(buffer.data(), static_cast<std::streamsize>(want));
                                 const auto got = static_cast<std::size_t>(file->gcount());
                                 return got > 0 && sink.write(buffer.data(), got);
                             });
}

} // namespace

int main(int argc, char** argv) {
    std::string root;
    std::string bind = "127.0.0.1";
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        if (arg == "--root") {
            root = argv[++i];
        } else if (arg == "--bind") {
            bind = argv[++i];
        } else if (arg == "--port") {
            try {
                port = std::stoi(argv[++i]);
            } catch (const std::exception&) {
                return Usage();
            }
            if (port < 0 || port > 65535) {
                return Usage();
            }
        } else {
            return Usage();
        }
    }
    std::error_code error;
    if (root.empty() || !fs::is_directory(root, error)) {
        std::cerr << "zarn-serve: --root must name a directory\n";
        return Usage();
    }
    const fs::path rootPath = fs::canonical(root, error);
    if (error) {
        std::cerr << "zarn-serve: " << root << ": " << error.message() << "\n";
        return 1;
    }

    httplib::Server server;
    // Headers and body go out in separate writes; on a kept-alive connection, Nagle's algorithm would hold the
    // second one back until the client's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    server.Get(".*", [&](const httplib::Request& req, httplib::Response& res) { ServeFile(rootPath, req, res); });
    if (port == 0) {
        port = server.bind_to_any_port(bind);
        if (port <= 0) {
            std::cerr << "zarn-serve: cannot listen on " << bind << "\n";
            return 1;
        }
    } else if (!server.bind_to_port(bind, port)) {
        std::cerr << "zarn-serve: cannot listen on " << bind << ":" << port << "\n";
        return 1;
    }
    // The port alone on the first line of standard output, for scripts that start the server.
    std::cout << port << std::endl;
    std::cerr << "zarn-serve: serving " << rootPath.string() << " on http://" << bind << ":" << port << "/\n";
    return server.listen_after_bind() ? 0 : 1;
}
