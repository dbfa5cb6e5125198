// Transfers against a server that answers every connection with one fixed byte string: for answers a
// well-behaved HTTP server library would never give. These run on Windows too.
#include "tests/download/RawServer.h"
#include "tests/download/TransferFixture.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>

namespace zarn {
namespace {

using test::ReadFile;
using test::WriteFile;
using RawTransferTest = test::TransferFixture;

const std::string kProxyAuth = "Basic cHJveHl1c2VyOnByb3h5cHc="; // proxyuser:proxypw

TEST_F(RawTransferTest, ProxyRefusingTheHttpsTunnelIsAChallengeToo) {
    test::RawServer proxy(
        "HTTP/1.1 407 Proxy Authentication Required\r\n"
        "Proxy-Authenticate: Basic realm=\"proxy\"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    settings.accessMode = 2;
    settings.proxyHost = "127.0.0.1:" + std::to_string(proxy.Port());
    settings.secure = true;
    settings.port = 443;
    settings.objectPath = "/file.txt";
    WriteFile(target, "previous content");
    sink.answers = {{"proxyuser", "proxypw"}}; // refused again, then the user declines

    Run();

    ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:407");
    ExpectPreviousTarget();
    EXPECT_EQ(sink.prompts.size(), 2u);
    const std::string request = proxy.LastRequest();
    EXPECT_EQ(request.rfind("CONNECT 127.0.0.1:443 ", 0), 0u) << request;
    EXPECT_NE(request.find("Proxy-Authorization: " + kProxyAuth), std::string::npos) << request;
}

TEST_F(RawTransferTest, WholeAnswerToARangedRequestRestartsTheFile) {
    // A server that knows nothing of ranges: the whole body with a 200.
    test::RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 11\r\nConnection: close\r\n\r\nwhole file!");
    settings.port = static_cast<std::uint16_t>(server.Port());
    settings.objectPath = "/r.bin";
    WriteFile(target, "0123456789");

    Run(10);

    ExpectSuccess();
    EXPECT_NE(server.LastRequest().find("Range: bytes=10-\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(target), "whole file!");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
}

TEST_F(RawTransferTest, TrailerAfterAChunkedBodyDoesNotRestartIt) {
    test::RawServer server(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Sum\r\nConnection: close\r\n\r\n"
        "5\r\nhello\r\n6\r\n world\r\n0\r\nX-Sum: 42\r\n\r\n");
    settings.port = static_cast<std::uint16_t>(server.Port());
    settings.objectPath = "/t";
    WriteFile(target, "abcdef");

    Run(3);

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "hello world");
    EXPECT_EQ(std::count(sink.statusLines.begin(), sink.statusLines.end(), "Retrieving the file"), 1);
}

TEST_F(RawTransferTest, AnswerWithoutAStatusLineFailsWith212) {
    test::RawServer server("this is not http at all\r\n\r\n");
    settings.port = static_cast<std::uint16_t>(server.Port());
    settings.objectPath = "/a";
    WriteFile(target, "previous content");

    Run();

#ifdef _WIN32
    // WinInet reads an answer without a status line as an HTTP/0.9 body, with status 200.
    ExpectSuccess();
#else
    ExpectFailure("Failed to receive a valid response from the server, Error:12152");
    ExpectPreviousTarget();
#endif
}

TEST_F(RawTransferTest, BodyShorterThanItsLengthFailsWith214) {
    // The connection drops after 4,000 of the 10,000 bytes announced.
    test::RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\nConnection: close\r\n\r\n" +
                           std::string(4000, 'p'));
    settings.port = static_cast<std::uint16_t>(server.Port());
    settings.objectPath = "/cut";
    WriteFile(target, "previous content");

    Run();

    ExpectFailure("An error occurred while downloading the file, Error:12030");
    ExpectPreviousTarget();
}

// A body that goes silent after its first bytes: the silence limit fails it, a stop ends it, both while the
// server still holds the connection. A server that drips its headers or its body never falls silent: under
// the floor it fails as silence does, above it the file arrives, however slowly.
TEST_F(RawTransferTest, SilenceOrTooFewBytesOverTheWindowFailWith214) {
    const std::string silent = "An error occurred while downloading the file, Error:12002";
    const auto every100ms = std::chrono::milliseconds(100);
    struct Case {
        const char* name;
        std::string reply;
        test::RawServer::Drip drip;
        bool holdOpen;
        int stopAfterMs; // 0: no stop
        int silenceLimitMs;
        std::string failText; // empty: no failure
        std::string received; // the target after a success
    };
    // The floor in these cases: 512 bytes over 2 seconds, 256 a second.
    const Case cases[] = {
        {"silence", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nstart", {}, true, 0, 1000, silent, ""},
        {"stop", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nstart", {}, true, 300, 60000, "", ""},
        {"body at 100 bytes a second",
         "HTTP/1.1 200 OK\r\nContent-Length: 800\r\n\r\n",
         {"0123456789", 80, every100ms},
         false,
         0,
         60000,
         silent,
         ""},
        // The window slides: a fast start does not pay for the drip after it.
        {"a burst, then 100 bytes a second",
         "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n" + std::string(2000, 'b'),
         {"0123456789", 100, every100ms},
         false,
         0,
         60000,
         silent,
         ""},
        {"headers at 110 bytes a second",
         "HTTP/1.1 200 OK\r\n",
         {"X-Drip: 0\r\n", 80, every100ms},
         false,
         0,
         60000,
         silent,
         ""},
        {"body at 1,000 bytes a second",
         "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n",
         {std::string(100, 't'), 30, every100ms},
         false,
         0,
         60000,
         "",
         std::string(3000, 't')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Reset();
        stop = false;
        test::RawServer server(c.reply, c.holdOpen, c.drip);
        settings.port = static_cast<std::uint16_t>(server.Port());
        settings.objectPath = "/stall";
        settings.silenceLimit = std::chrono::milliseconds(c.silenceLimitMs);
        settings.floorWindow = std::chrono::milliseconds(2000);
        settings.floorBytes = 512;
        WriteFile(target, "previous content");
        std::thread stopper = StopAfter(c.stopAfterMs);
        Run();
        const bool stillHolding = server.Holding();
        stopper.join();
        EXPECT_EQ(stillHolding, c.holdOpen);
        EXPECT_EQ(sink.endCount, 1);
        EXPECT_EQ(sink.failText, c.failText);
        EXPECT_EQ(sink.failed, !c.failText.empty());
        if (c.received.empty()) {
            ExpectPreviousTarget();
        } else {
            EXPECT_EQ(ReadFile(target), c.received);
        }
    }
}

// The failures a plain socket can provoke carry the same message and number on both systems.
TEST_F(RawTransferTest, FailuresCarryTheSameNumbersOnBothSystems) {
    struct Case {
        const char* name;
        const char* reply; // null: nobody listens on the port
        const char* failText;
    };
    const Case cases[] = {
        {"refused", nullptr,
         "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12029"},
        {"closed without an answer", "", "Failed to receive a valid response from the server, Error:12152"},
        {"redirect to another scheme",
         "HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1/a\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
         "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12006"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Reset();
        std::optional<test::RawServer> server(std::in_place, c.reply ? c.reply : "");
        settings.port = static_cast<std::uint16_t>(server->Port());
        settings.objectPath = "/a";
        WriteFile(target, "previous content");
        if (!c.reply) {
            server.reset(); // the port was free a moment ago and has nobody listening now
        }
        Run();
        ExpectFailure(c.failText);
        ExpectPreviousTarget();
    }
}

TEST_F(RawTransferTest, CloseDelimitedBodyEndsAtTheClose) {
    test::RawServer server("HTTP/1.0 200 OK\r\n\r\nuntil the connection closes");
    settings.port = static_cast<std::uint16_t>(server.Port());
    settings.objectPath = "/a";

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "until the connection closes");
    EXPECT_TRUE(sink.percents.empty());
}

TEST_F(RawTransferTest, SilentTlsHandshakeIsSilenceAndCanBeStopped) {
    struct Case {
        const char* name;
        int stopAfterMs; // 0: no stop
        int silenceLimitMs;
        bool failed;
        const char* failText;
    };
    const Case cases[] = {
        {"silence", 0, 1000, true, "An error occurred while downloading the file, Error:12002"},
        {"stop", 300, 60000, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Reset();
        stop = false;
        test::RawServer server(""); // takes the connection, never says a word
        settings.port = static_cast<std::uint16_t>(server.Port());
        settings.secure = true;
        settings.objectPath = "/a";
        settings.silenceLimit = std::chrono::milliseconds(c.silenceLimitMs);
        WriteFile(target, "previous content");
        std::thread stopper = StopAfter(c.stopAfterMs);
        Run();
        stopper.join();
        EXPECT_EQ(sink.endCount, 1);
        EXPECT_EQ(sink.failed, c.failed);
        EXPECT_EQ(sink.failText, c.failText);
        ExpectPreviousTarget();
    }
}

} // namespace
} // namespace zarn
