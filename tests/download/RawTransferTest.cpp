// Transfers against a server that answers every connection with one fixed byte string: for answers a
// well-behaved HTTP server library would never give. These run on Windows too.
#include "platform/Signature.h"
#include "tests/download/RawServer.h"
#include "tests/download/TransferFixture.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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
    sink.answers = {{"proxyuser", "proxypw"}}; // refused again: the proxy is not asked about a second time

    Run();

    ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:407");
    ExpectPreviousTarget();
    EXPECT_EQ(sink.prompts.size(), 1u);
    const std::string request = proxy.LastRequest();
    EXPECT_EQ(request.rfind("CONNECT 127.0.0.1:443 ", 0), 0u) << request;
    EXPECT_NE(request.find("Proxy-Authorization: " + kProxyAuth), std::string::npos) << request;
}

TEST_F(RawTransferTest, WholeAnswerToARangedRequestRestartsTheFile) {
    // A server that knows nothing of ranges: the whole body with a 200.
    test::RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 11\r\nConnection: close\r\n\r\nwhole file!");
    settings.port = static_cast<std::uint16_t>(server.Port());
    settings.objectPath = "/r.bin";
    // Offsets past 4 GiB go out whole (the target is then a sparse file of that length until the answer replaces it).
    for (const std::uint64_t offset : {std::uint64_t{10}, std::uint64_t{5} << 30}) {
        SCOPED_TRACE(offset);
        sink.Reset();
        WriteFile(target, "0123456789");

        Run(offset);

        ExpectSuccess();
        EXPECT_NE(server.LastRequest().find("Range: bytes=" + std::to_string(offset) + "-\r\n"), std::string::npos);
        EXPECT_EQ(ReadFile(target), "whole file!");
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
    }
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
        settings.maxAttempts = 1; // one attempt's limits; trying again is tested on its own
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
        settings.maxAttempts = 1;
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

// A server that answers the n-th connection with the n-th of its replies (the last one again after them) and
// keeps every request it got.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> replies)
        : m_replies(std::move(replies)), m_server([this](const std::string& request) {
              std::lock_guard lock(m_mutex);
              m_requests.push_back(request);
              return m_replies[std::min(m_requests.size(), m_replies.size()) - 1];
          }) {}
    std::uint16_t Port() const { return static_cast<std::uint16_t>(m_server.Port()); }
    std::vector<std::string> Requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_replies;
    std::vector<std::string> m_requests;
    test::RawServer m_server; // last: it calls back into the members above until it is gone
};

std::string Reply(const std::string& status, const std::string& headers, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\n" + headers + "Connection: close\r\n\r\n" + body;
}

std::string Sha256Of(const std::string& data) {
    platform::Sha256 hash;
    hash.Update(data.data(), data.size());
    return hash.FinishHex();
}

// A download cut short goes on from the bytes held, when the server vouches for them, and only then; whatever
// the server answers, the file ends as the listed one or the previous target stays as it was.
TEST_F(RawTransferTest, CutDownloadResumesOnlyWhereTheServerVouchesForTheBytesHeld) {
    std::string file;
    for (int i = 0; i < 2000; ++i) {
        file += static_cast<char>('a' + (i * 7) % 26);
    }
    const std::string strong = "Content-Length: 2000\r\nETag: \"v1\"\r\n";
    const std::string cut = Reply("200 OK", strong, file.substr(0, 800));
    const std::string rest = file.substr(800);
    const std::string restOk =
        Reply("206 Partial Content", "Content-Range: bytes 800-1999/2000\r\nContent-Length: 1200\r\n", rest);
    const std::string whole = Reply("200 OK", strong, file);
    const std::string lastModified = "Sat, 05 Dec 2026 10:00:00 GMT";
    const std::string ifV1 = "\"v1\"";
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        // Each request's Range start and If-Range value; empty: that header is absent.
        std::vector<std::pair<std::string, std::string>> ranges;
        bool arrives; // else the previous target stays
    };
    const Case cases[] = {
        {"a correct 206", {cut, restOk}, {{"", ""}, {"800", ifV1}}, true},
        {"a 200 ignoring the range", {cut, whole}, {{"", ""}, {"800", ifV1}}, true},
        {"a 206 starting early",
         {cut,
          Reply("206 Partial Content", "Content-Range: bytes 700-1999/2000\r\nContent-Length: 1300\r\n",
                file.substr(700)),
          whole},
         {{"", ""}, {"800", ifV1}, {"", ""}},
         true},
        {"a 206 starting late",
         {cut,
          Reply("206 Partial Content", "Content-Range: bytes 900-1999/2000\r\nContent-Length: 1100\r\n",
                file.substr(900)),
          whole},
         {{"", ""}, {"800", ifV1}, {"", ""}},
         true},
        {"a 206 whose total changed",
         {cut,
          Reply("206 Partial Content", "Content-Range: bytes 800-2099/2100\r\nContent-Length: 1300\r\n",
                rest + std::string(100, 'x')),
          whole},
         {{"", ""}, {"800", ifV1}, {"", ""}},
         true},
        {"a short 206, then a clean close",
         {cut,
          Reply("206 Partial Content", "Content-Range: bytes 800-1999/2000\r\nContent-Length: 1200\r\n",
                rest.substr(0, 400)),
          Reply("206 Partial Content", "Content-Range: bytes 1200-1999/2000\r\nContent-Length: 800\r\n",
                rest.substr(400))},
         {{"", ""}, {"800", ifV1}, {"1200", ifV1}},
         true},
        {"a 416 with the file already whole",
         {cut, Reply("206 Partial Content", "Content-Range: bytes 800-1999/2000\r\nContent-Length: 1300\r\n", rest),
          Reply("416 Range Not Satisfiable", "Content-Range: bytes */2000\r\nContent-Length: 0\r\n", "")},
         {{"", ""}, {"800", ifV1}, {"2000", ifV1}},
         true},
        {"an ETag that changed",
         {cut, Reply("200 OK", "Content-Length: 2000\r\nETag: \"v2\"\r\n", std::string(2000, 'n'))},
         {{"", ""}, {"800", ifV1}},
         false},
        {"a weak ETag",
         {Reply("200 OK", "Content-Length: 2000\r\nETag: W/\"v1\"\r\n", file.substr(0, 800)), whole},
         {{"", ""}, {"", ""}},
         true},
        {"Last-Modified only",
         {Reply("200 OK", "Content-Length: 2000\r\nLast-Modified: " + lastModified + "\r\n", file.substr(0, 800)),
          restOk},
         {{"", ""}, {"800", lastModified}},
         true},
        {"a redirect on the resumed request",
         {cut, Reply("302 Found", "Location: /moved.bin\r\nContent-Length: 0\r\n", ""), restOk},
         {{"", ""}, {"800", ifV1}, {"800", ifV1}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Reset();
        ScriptedServer server(c.replies);
        settings.port = server.Port();
        settings.objectPath = "/file.bin";
        settings.expectedSize = file.size();
        settings.expectedSha256 = Sha256Of(file);
        WriteFile(target, "previous content");

        Run();

        EXPECT_EQ(sink.endCount, 1);
        EXPECT_EQ(sink.failed, !c.arrives) << sink.failText;
        if (c.arrives) {
            EXPECT_EQ(Sha256Of(ReadFile(target)), Sha256Of(file));
            EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
        } else {
            ExpectPreviousTarget();
        }
        const std::vector<std::string> requests = server.Requests();
        ASSERT_EQ(requests.size(), c.ranges.size());
        for (std::size_t i = 0; i < requests.size(); ++i) {
            SCOPED_TRACE("request " + std::to_string(i + 1));
            const auto& [start, validator] = c.ranges[i];
            EXPECT_EQ(requests[i].find("\r\nRange: bytes=" + start + "-\r\n") != std::string::npos, !start.empty())
                << requests[i];
            EXPECT_EQ(requests[i].find("\r\nRange:") != std::string::npos, !start.empty()) << requests[i];
            EXPECT_EQ(requests[i].find("\r\nIf-Range: " + validator + "\r\n") != std::string::npos, !validator.empty())
                << requests[i];
        }
    }
}

// A component's download that ended for good keeps its bytes and their record beside the target; the next download
// of the same file, in this process or a later one, continues them when the record names that file and the server
// vouches for them, and starts over otherwise. The file always ends as the listed one, and no partial stays at last.
TEST_F(RawTransferTest, PartialDownloadOfAnEarlierRunIsContinuedOnlyWhenItIsTheSameFile) {
    std::string file;
    for (int i = 0; i < 2000; ++i) {
        file += static_cast<char>('a' + (i * 11) % 26);
    }
    const std::string strong = "Content-Length: 2000\r\nETag: \"v1\"\r\n";
    const std::string partialPath = TargetFile::PartialPathOf(target);
    const TargetFile::Origin listed{"http://127.0.0.1/file.bin", file.size(), Sha256Of(file)};
    settings.objectPath = "/file.bin";
    settings.expectedSize = listed.size;
    settings.expectedSha256 = listed.sha256;
    origin = listed;
    WriteFile(target, "previous content");
    {
        // One attempt only: the cut ends the download, as the kill of a process would.
        settings.maxAttempts = 1;
        ScriptedServer server({Reply("200 OK", strong, file.substr(0, 800))});
        settings.port = server.Port();
        Run();
        EXPECT_TRUE(sink.failed);
        EXPECT_EQ(ReadFile(target), "previous content");
        EXPECT_EQ(ReadFile(partialPath), file.substr(0, 800));
        const auto record = TargetFile::ParseRecord(ReadFile(partialPath + ".rec"));
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->origin, listed);
        EXPECT_EQ(record->validator, "\"v1\"");
        EXPECT_EQ(record->held, 800u);
        settings.maxAttempts = 4;
    }
    const std::string restOk = Reply(
        "206 Partial Content", "Content-Range: bytes 800-1999/2000\r\nContent-Length: 1200\r\n", file.substr(800));
    const std::string whole = Reply("200 OK", "Content-Length: 2000\r\nETag: \"v2\"\r\n", file);
    struct Case {
        const char* name;
        std::string held;          // the partial file's bytes
        TargetFile::Record record; // its record's
        std::string reply;
        bool ranged; // the request asks for bytes=800- with If-Range: "v1"
        bool arrives;
    };
    const auto other = [&](auto change) {
        TargetFile::Record record{listed, "\"v1\"", 800};
        change(record);
        return record;
    };
    const Case cases[] = {
        {"the same file", file.substr(0, 800), other([](auto&) {}), restOk, true, true},
        {"a validator that changed", file.substr(0, 800), other([](auto&) {}), whole, true, true},
        {"another URL", file.substr(0, 800), other([](auto& r) { r.origin.url += "?2"; }), whole, false, true},
        {"another size", file.substr(0, 800), other([](auto& r) { r.origin.size = 2001; }), whole, false, true},
        {"another hash", file.substr(0, 800), other([](auto& r) { r.origin.sha256[0] ^= 1; }), whole, false, true},
        {"fewer bytes than the record counts", file.substr(0, 700), other([](auto&) {}), whole, false, true},
        {"bytes past the record's count", file.substr(0, 900), other([](auto&) {}), restOk, true, true},
        {"held bytes that are not the file's", std::string(800, 'z'), other([](auto&) {}), restOk, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Reset();
        WriteFile(partialPath, c.held);
        WriteFile(partialPath + ".rec", TargetFile::FormatRecord(c.record));
        ScriptedServer server({c.reply});
        settings.port = server.Port();

        Run();

        EXPECT_EQ(sink.failed, !c.arrives) << sink.failText;
        if (c.arrives) {
            EXPECT_EQ(Sha256Of(ReadFile(target)), listed.sha256);
        } else {
            EXPECT_EQ(ReadFile(target), "previous content");
        }
        // A file that arrived, or held bytes that proved not to be it, leave nothing to continue.
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
        const std::vector<std::string> requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].find("\r\nRange: bytes=800-\r\n") != std::string::npos, c.ranged) << requests[0];
        EXPECT_EQ(requests[0].find("\r\nIf-Range: \"v1\"\r\n") != std::string::npos, c.ranged) << requests[0];
        WriteFile(target, "previous content");
    }
    // A stop while the held bytes are hashed ends the download before any request, and keeps them for the next run.
    sink.Reset();
    WriteFile(partialPath, file.substr(0, 800));
    WriteFile(partialPath + ".rec", TargetFile::FormatRecord({listed, "\"v1\"", 800}));
    ScriptedServer server({restOk});
    settings.port = server.Port();
    stop = true;
    Run();
    EXPECT_EQ(sink.endCount, 1);
    EXPECT_FALSE(sink.failed) << sink.failText;
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(ReadFile(target), "previous content");
    EXPECT_EQ(ReadFile(partialPath), file.substr(0, 800));
    EXPECT_EQ(TargetFile::ParseRecord(ReadFile(partialPath + ".rec")).value_or(TargetFile::Record{}).held, 800u);
}

// A resumed download's progress goes on from the bytes held.
TEST_F(RawTransferTest, ResumedProgressGoesOnFromTheBytesHeld) {
    const std::string file(2000, 'p');
    ScriptedServer server(
        {Reply("200 OK", "Content-Length: 2000\r\nETag: \"v1\"\r\n", file.substr(0, 1000)),
         Reply("206 Partial Content", "Content-Range: bytes 1000-1999/2000\r\nContent-Length: 1000\r\n",
               file.substr(1000))});
    settings.port = server.Port();
    settings.objectPath = "/file.bin";

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), file);
    ASSERT_FALSE(sink.percents.empty());
    EXPECT_TRUE(std::is_sorted(sink.percents.begin(), sink.percents.end()));
    EXPECT_EQ(sink.percents.back(), 100);
    EXPECT_NE(std::find(sink.statusLines.begin(), sink.statusLines.end(), "Waiting 1 sec to try again (error 12030)"),
              sink.statusLines.end());
}

// Busy answers are tried again after the wait the server asks for; other refusals are final.
TEST_F(RawTransferTest, BusyAnswersAreTriedAgainAndOtherRefusalsAreNot) {
    const std::string busy = Reply("503 Service Unavailable", "Retry-After: 1\r\nContent-Length: 0\r\n", "");
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        std::size_t requests;
        std::string failText; // empty: the file arrives
    };
    const Case cases[] = {
        {"503 twice, then 200", {busy, busy, Reply("200 OK", "Content-Length: 4\r\n", "done")}, 3, ""},
        {"503 for ever", {busy}, 4, "Failed to receive a valid HTTP response from the server, Response Code:503"},
        {"404",
         {Reply("404 Not Found", "Content-Length: 0\r\n", "")},
         1,
         "Failed to receive a valid HTTP response from the server, Response Code:404"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Reset();
        ScriptedServer server(c.replies);
        settings.port = server.Port();
        settings.objectPath = "/busy";
        WriteFile(target, "previous content");

        Run();

        EXPECT_EQ(server.Requests().size(), c.requests);
        if (c.failText.empty()) {
            ExpectSuccess();
            EXPECT_EQ(ReadFile(target), "done");
            EXPECT_EQ(
                std::count(sink.statusLines.begin(), sink.statusLines.end(), "Waiting 1 sec to try again (HTTP 503)"),
                2);
        } else {
            ExpectFailure(c.failText);
            ExpectPreviousTarget();
        }
    }
}

// A stop while the download waits to try again ends it at once, as a stop, with the previous target kept.
TEST_F(RawTransferTest, StopDuringTheWaitBeforeAnotherAttemptEndsIt) {
    ScriptedServer server({Reply("503 Service Unavailable", "Retry-After: 30\r\nContent-Length: 0\r\n", "")});
    settings.port = server.Port();
    settings.objectPath = "/busy";
    settings.retryDelayScale = 1.0;
    WriteFile(target, "previous content");
    std::thread stopper = StopAfter(500);
    const auto started = std::chrono::steady_clock::now();

    Run();

    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(sink.endCount, 1);
    EXPECT_FALSE(sink.failed) << sink.failText;
    EXPECT_EQ(sink.statusLines.back(), "Waiting 30 sec to try again (HTTP 503)");
    ExpectPreviousTarget();
}

// A request for a file with a copy on disk carries its validators; a 304 keeps the copy as it is and succeeds, a
// 200 replaces it and gives the new validators.
TEST_F(RawTransferTest, ConditionalRequestKeepsAnUnchangedCopyAsItIs) {
    const std::string date = "Sat, 05 Dec 2026 10:00:00 GMT";
    struct Case {
        const char* name;
        std::string reply;
        std::string received;
        test::RecordingSink::Answer answer;
    };
    const Case cases[] = {
        {"not modified", Reply("304 Not Modified", "ETag: \"v1\"\r\n", ""), "previous content", {true, "", ""}},
        {"changed",
         Reply("200 OK", "Content-Length: 8\r\nETag: \"v2\"\r\nLast-Modified: " + date + "\r\n", "new list"),
         "new list",
         {false, "\"v2\"", date}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Reset();
        ScriptedServer server({c.reply});
        settings.port = server.Port();
        settings.objectPath = "/complist.txt";
        settings.ifNoneMatch = "\"v1\"";
        settings.ifModifiedSince = "Fri, 04 Dec 2026 10:00:00 GMT";
        WriteFile(target, "previous content");

        Run();

        ExpectSuccess();
        EXPECT_EQ(ReadFile(target), c.received);
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
        EXPECT_EQ(sink.noted, c.answer);
        const std::vector<std::string> requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_NE(requests[0].find("\r\nIf-None-Match: \"v1\"\r\n"), std::string::npos) << requests[0];
        EXPECT_NE(requests[0].find("\r\nIf-Modified-Since: Fri, 04 Dec 2026 10:00:00 GMT\r\n"), std::string::npos)
            << requests[0];
    }

    // Without a copy's validators a 304 is no answer to take.
    sink.Reset();
    ScriptedServer server({Reply("304 Not Modified", "", "")});
    settings.port = server.Port();
    settings.ifNoneMatch.clear();
    settings.ifModifiedSince.clear();
    WriteFile(target, "previous content");
    Run();
    ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:304");
    ExpectPreviousTarget();
}

} // namespace
} // namespace zarn
