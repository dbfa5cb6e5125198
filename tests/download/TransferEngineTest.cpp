#include "download/TransferEngine.h"

#include "download/SignInMemory.h"
#include "download/curl/ProxyResolver.h"
#include "platform/Signature.h"
#include "tests/download/TransferFixture.h"
#include "tests/support/LocalServer.h"
#include "tests/support/ScopedEnv.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <thread>

namespace zarn {
namespace {

using test::LocalServer;
using test::ReadFile;
using test::ScopedEnv;
using test::WriteFile;

const std::string kSiteAuth = "Basic emFybjpzZWNyZXQ=";          // zarn:secret
const std::string kProxyAuth = "Basic cHJveHl1c2VyOnByb3h5cHc="; // proxyuser:proxypw

std::string Pattern(std::size_t n) {
    std::string data(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = static_cast<char>((i * 7 + i / 251) % 256);
    }
    return data;
}

// Waits until the test is over (or a long time has passed) without sending anything.
void Stall(const LocalServer& server, httplib::DataSink& out) {
    for (int i = 0; i < 2000 && !server.Releasing() && out.is_writable(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

class TransferEngineTest : public test::TransferFixture {
protected:
    void Point(const LocalServer& server, const std::string& path, bool secure = false) {
        settings.port = static_cast<std::uint16_t>(server.Port());
        settings.objectPath = path;
        settings.secure = secure;
    }
};

TEST_F(TransferEngineTest, WholeFileWithLengthArrivesWithStatusLinesInOrder) {
    const std::string body = Pattern(5000);
    httplib::Headers seen;
    LocalServer server;
    server.Http().Get("/files/a.bin", [&](const httplib::Request& req, httplib::Response& res) {
        seen = req.headers;
        res.set_content(body, "application/octet-stream");
    });
    server.Start();
    Point(server, "/files/a.bin");
    WriteFile(target, "previous content");

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
    EXPECT_EQ(sink.events,
              (std::vector<std::string>{"animation", "status:Resolving name: 127.0.0.1",
                                        "status:Resolved name to 127.0.0.1", "status:Connecting to 127.0.0.1",
                                        "status:Connected to 127.0.0.1", "status:Getting file information",
                                        "range:0..100", "status:Retrieving the file", "ended"}));
    EXPECT_EQ(sink.percents.back(), 100);
    auto header = [&](const char* name) {
        const auto it = seen.find(name);
        return it == seen.end() ? std::string("(none)") : it->second;
    };
    EXPECT_EQ(header("Accept"), "*/*");
    EXPECT_EQ(header("Cache-Control"), "no-cache");
    EXPECT_EQ(header("Pragma"), "no-cache");
    EXPECT_EQ(header("User-Agent"), "zarn");
    EXPECT_EQ(header("Range"), "(none)");
}

TEST_F(TransferEngineTest, BodyReachesTheTargetInPiecesOfAtMost1024Bytes) {
    // With 1% = 1,024 bytes, every whole percentage is seen only if no piece is larger than that.
    const std::string body = Pattern(102400);
    LocalServer server;
    server.Http().Get("/big", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    server.Start();
    Point(server, "/big");
    settings.agentName = "Quillorna Updater";

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), body);
    std::vector<int> expected;
    for (int i = 1; i <= 100; ++i) {
        expected.push_back(i);
    }
    EXPECT_EQ(sink.percents, expected);
}

// The list's size and SHA-256: a matching body is kept; any other is refused and the previous target stays. The
// large body is hashed in blocks on the hashing thread, the small one only at its end.
TEST_F(TransferEngineTest, BodyIsComparedWithTheListedSizeAndHash) {
    for (const std::size_t length : {std::size_t{5000}, std::size_t{3 * 1024 * 1024 + 4321}}) {
        SCOPED_TRACE(length);
        const std::string body = Pattern(length);
        LocalServer server;
        server.Http().Get("/a.bin", [&](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "application/octet-stream");
        });
        server.Start();
        Point(server, "/a.bin");
        platform::Sha256 hash;
        hash.Update(body.data(), body.size());
        const std::string good = hash.FinishHex();
        std::string bad = good;
        bad[10] = bad[10] == '0' ? '1' : '0';
        const std::string n = std::to_string(length);
        struct Case {
            std::optional<std::uint64_t> size;
            std::string sha256;
            std::string failText; // empty: kept
        };
        for (const Case& c : {
                 Case{length, good, ""},
                 Case{std::nullopt, good, ""},
                 Case{length, "", ""},
                 Case{length, bad,
                      "The file does not match the component list and was not kept: expected " + n +
                          " bytes, SHA-256 " + bad + ", received " + n + " bytes, SHA-256 " + good},
                 Case{length + 1, good,
                      "The file does not match the component list and was not kept: expected " +
                          std::to_string(length + 1) + " bytes, SHA-256 " + good + ", received " + n +
                          " bytes, SHA-256 " + good},
                 Case{length + 1, "",
                      "The file does not match the component list and was not kept: expected " +
                          std::to_string(length + 1) + " bytes, SHA-256 (any), received " + n +
                          " bytes, SHA-256 (any)"},
                 Case{length - 1, good,
                      "The file is larger than the component list says (" + std::to_string(length - 1) +
                          " bytes); the download was stopped and not kept"},
             }) {
            WriteFile(target, "previous content");
            settings.expectedSize = c.size;
            settings.expectedSha256 = c.sha256;
            test::RecordingSink caseSink;
            TargetFile file;
            ASSERT_EQ(file.Open(target, 0).messageId, 0u);
            TransferEngine(settings, file, caseSink, stop).Run();
            TransferEngine::CloseIdleConnections();
            EXPECT_EQ(caseSink.failed, !c.failText.empty());
            EXPECT_EQ(caseSink.failText, c.failText);
            EXPECT_EQ(ReadFile(target), c.failText.empty() ? body : "previous content");
            EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
        }
    }
}

// A server that never ends its body is cut off as soon as it passes the listed size, or the limit of a file whose
// size is not listed, nothing of it kept.
TEST_F(TransferEngineTest, EndlessBodyIsCutOffJustPastTheListedSizeOrTheLimit) {
    std::atomic<std::uint64_t> sent{0};
    LocalServer server;
    server.Http().Get("/endless", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [&](std::size_t, httplib::DataSink& out) {
            const std::string piece(64 * 1024, 'x');
            for (int i = 0; i < 100000 && !server.Releasing() && out.is_writable(); ++i) {
                if (!out.write(piece.data(), piece.size())) {
                    break;
                }
                sent += piece.size();
            }
            out.done();
            return true;
        });
    });
    server.Start();
    Point(server, "/endless");
    const struct {
        std::optional<std::uint64_t> listed;
        std::optional<std::uint64_t> limit;
        std::string failText;
    } cases[] = {
        {1000000, std::nullopt,
         "The file is larger than the component list says (1000000 bytes); the download was stopped and not kept"},
        {std::nullopt, 1000000,
         "The file is larger than its limit of 1000000 bytes; the download was stopped and not kept"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failText);
        sent = 0;
        settings.expectedSize = c.listed;
        settings.expectedSha256 = c.listed ? std::string(64, 'a') : std::string();
        settings.sizeLimit = c.limit;
        test::RecordingSink caseSink;
        TargetFile file;
        ASSERT_EQ(file.Open(target, 0).messageId, 0u);
        TransferEngine(settings, file, caseSink, stop).Run();
        TransferEngine::CloseIdleConnections();
        EXPECT_TRUE(caseSink.failed);
        EXPECT_EQ(caseSink.failText, c.failText);
        EXPECT_TRUE(dir.Entries().empty());
        // Cut off at the first piece past the size: what the server got out is bounded by the socket buffers.
        EXPECT_LT(sent.load(), 64u * 1024 * 1024);
    }
}

TEST_F(TransferEngineTest, ChunkedBodyShowsNoPercentage) {
    const std::string body = Pattern(70000);
    LocalServer server;
    server.Http().Get("/chunked", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [&](std::size_t offset, httplib::DataSink& out) {
            if (offset < body.size()) {
                out.write(body.data() + offset, std::min<std::size_t>(3000, body.size() - offset));
            } else {
                out.done();
            }
            return true;
        });
    });
    server.Start();

    Point(server, "/chunked");
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_TRUE(sink.percents.empty());
    EXPECT_TRUE(sink.timeLeft.empty());
    EXPECT_EQ(std::count(sink.events.begin(), sink.events.end(), "range:0..100"), 0);
}

TEST_F(TransferEngineTest, ZeroLengthBodyGivesAnEmptyFileAtFullPercentage) {
    LocalServer server;
    server.Http().Get("/empty",
                      [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/plain"); });
    server.Start();
    Point(server, "/empty");
    WriteFile(target, "previous content");

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "");
    EXPECT_EQ(sink.percents, (std::vector<int>{100}));
}

TEST_F(TransferEngineTest, RefusedStatusCodesFailWith213AndKeepThePreviousTarget) {
    LocalServer server;
    server.Http().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/plain");
    });
    server.Http().Get("/broken", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("broken", "text/plain");
    });
    server.Start();
    for (const auto& [path, code] : {std::pair{"/missing", "404"}, std::pair{"/broken", "500"}}) {
        SCOPED_TRACE(path);
        sink.Reset();
        WriteFile(target, "previous content");
        Point(server, path);
        Run();
        ExpectFailure(std::string("Failed to receive a valid HTTP response from the server, Response Code:") + code);
        ExpectPreviousTarget();
        EXPECT_EQ(std::count(sink.events.begin(), sink.events.end(), "status:Retrieving the file"), 0);
    }
}

TEST_F(TransferEngineTest, SuccessiveDownloadsFromOneServerShareOneConnection) {
    std::mutex mutex;
    std::set<int> clientPorts; // one local port per TCP connection the server accepted
    LocalServer server;
    server.Http().Get("/a", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        clientPorts.insert(req.remote_port);
        res.set_content("same server", "text/plain");
    });
    server.Start();
    Point(server, "/a");
    keepConnections = true;
    for (int run = 0; run < 2; ++run) {
        sink.Reset();
        Run();
        ExpectSuccess();
    }
    TransferEngine::CloseIdleConnections();
    EXPECT_EQ(ReadFile(target), "same server");
    std::lock_guard lock(mutex);
    EXPECT_EQ(clientPorts.size(), 1u);
}

TEST_F(TransferEngineTest, AccessModeOutsideTheThreeFailsAtOnceWith210) {
    int requests = 0;
    LocalServer server;
    server.Http().Get("/a", [&](const httplib::Request&, httplib::Response& res) {
        ++requests;
        res.set_content("x", "text/plain");
    });
    server.Start();
    Point(server, "/a");
    WriteFile(target, "previous content");
    settings.accessMode = 3;

    Run();

    ExpectFailure("An error occurred while attempting to download the file, Error:87");
    ExpectPreviousTarget();
    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(sink.statusLines.empty());
}

TEST_F(TransferEngineTest, RefusedConnectionFailsWith211) {
    int port = 0;
    {
        LocalServer closed; // a port that was free a moment ago and has nobody listening now
        port = closed.Start();
    }
    settings.port = static_cast<std::uint16_t>(port);
    settings.objectPath = "/a";
    WriteFile(target, "previous content");

    Run();

    ExpectFailure("An error occurred connecting to the server \nPlease check your Internet Connection, Error:12029");
    ExpectPreviousTarget();
}

class AuthTest : public TransferEngineTest {
protected:
    void SetUp() override {
        TransferEngineTest::SetUp();
        server.Http().Get("/secret.txt", [this](const httplib::Request& req, httplib::Response& res) {
            ++requests;
            NoteCredentials(req);
            if (req.get_header_value("Authorization") != kSiteAuth) {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"vendor\"");
                res.set_content(std::string(3000, 'c'), "text/plain"); // a challenge body to read away
                return;
            }
            res.set_content("the secret list", "text/plain");
        });
        // The same server under another host name: credentials for one are no business of the other.
        server.Http().Get("/elsewhere", [this](const httplib::Request& req, httplib::Response& res) {
            NoteCredentials(req);
            res.set_redirect("http://localhost:" + std::to_string(server.Port()) + "/secret.txt");
        });
        server.Start();
        Point(server, "/secret.txt");
        WriteFile(target, "previous content");
    }
    void NoteCredentials(const httplib::Request& req) {
        if (req.has_header("Authorization")) {
            std::lock_guard lock(mutex);
            credentialsSentTo.push_back(req.get_header_value("Host"));
        }
    }
    LocalServer server;
    std::atomic<int> requests{0};
    std::mutex mutex;
    std::vector<std::string> credentialsSentTo; // the Host of every request that carried credentials
};

TEST_F(AuthTest, StoredSiteCredentialsAnswerTheChallenge) {
    settings.siteLogin = "zarn";
    settings.sitePwd = "secret";
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "the secret list");
    EXPECT_TRUE(sink.prompts.empty());
}

TEST_F(AuthTest, PromptAnswersTheChallengeOnceForTheRun) {
    sink.answers = {{"zarn", "secret"}};
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "the secret list");
    // The next download from the same server signs in with the same answer, unasked.
    sink.Reset();
    WriteFile(target, "previous content");
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "the secret list");
    EXPECT_TRUE(sink.prompts.empty());
}

TEST_F(AuthTest, ChallengeAfterARedirectToAnotherHostIsAnsweredThereOnly) {
    Point(server, "/elsewhere");
    sink.answers = {{"zarn", "secret"}};
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "the secret list");
    EXPECT_EQ(sink.prompts, (std::vector<std::string>{"site:localhost"}));
    EXPECT_EQ(credentialsSentTo, (std::vector<std::string>{"localhost:" + std::to_string(server.Port())}));
}

// A wrong answer and a declined prompt each end the download with one message; neither host is asked again in
// the run, and after a decline no host is.
TEST_F(AuthTest, RefusedOrDeclinedPromptFailsWith401AndIsNotAskedAgain) {
    for (const bool declined : {false, true}) {
        SCOPED_TRACE(declined ? "declined" : "refused");
        SignInMemory::Instance().Forget();
        sink.Reset();
        requests = 0;
        sink.answers.clear();
        if (!declined) {
            sink.answers = {{"zarn", "wrong"}, {"zarn", "secret"}};
        }
        Run();
        ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:401");
        ExpectPreviousTarget();
        EXPECT_EQ(sink.prompts, (std::vector<std::string>{"site:127.0.0.1"}));
        EXPECT_LE(requests.load(), 3);
        sink.Reset();
        Point(server, declined ? "/elsewhere" : "/secret.txt");
        Run();
        ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:401");
        EXPECT_TRUE(sink.prompts.empty());
        Point(server, "/secret.txt");
    }
}

// Two transfers meeting one host's challenge at once (downloads ahead): the second waits while the first's prompt
// is open and then takes its answer, so the user is asked once; a stop ends the wait.
TEST(SignInMemoryTest, ASecondTransferWaitsForTheOpenPromptAndTakesItsAnswer) {
    SignInMemory memory;
    const auto never = [] { return false; };
    ASSERT_TRUE(memory.TakePrompt(true, "Proxy.example", never));
    std::atomic<int> second{-1};
    std::thread waiting([&] { second = memory.TakePrompt(true, "proxy.example", never) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(second.load(), -1) << "did not wait for the open prompt";
    memory.NoteAnswer(true, "proxy.example", true, "zarn", "secret");
    waiting.join();
    EXPECT_EQ(second.load(), 0);
    std::string user, password;
    EXPECT_TRUE(memory.Recall(true, "PROXY.example", user, password));
    EXPECT_EQ(user + ":" + password, "zarn:secret");

    ASSERT_TRUE(memory.TakePrompt(false, "site.example", never));
    EXPECT_FALSE(memory.TakePrompt(false, "site.example", [] { return true; }));
}

TEST_F(AuthTest, RefusedStoredCredentialsWithoutAskingFailInsteadOfLooping) {
    settings.siteLogin = "zarn";
    settings.sitePwd = "wrong";
    settings.askSiteLogin = false;
    sink.answers = {{"zarn", "secret"}}; // must not be used
    Run();
    ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:401");
    ExpectPreviousTarget();
    EXPECT_TRUE(sink.prompts.empty());
    EXPECT_LE(requests.load(), 3);
}

TEST_F(AuthTest, RefusedStoredCredentialsAskTheUserWhenAllowed) {
    settings.siteLogin = "zarn";
    settings.sitePwd = "wrong";
    sink.answers = {{"zarn", "secret"}};
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "the secret list");
    EXPECT_EQ(sink.prompts.size(), 1u);
}

TEST_F(AuthTest, NoCredentialsAndNoAskingFailWith401) {
    settings.askSiteLogin = false;
    Run();
    ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:401");
    EXPECT_TRUE(sink.prompts.empty());
    EXPECT_EQ(requests.load(), 1);
}

// A forward proxy: takes absolute-form request targets and fetches them from the origin.
class ProxyTest : public TransferEngineTest {
protected:
    void SetUp() override {
        TransferEngineTest::SetUp();
        origin.Http().Get("/file.txt", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("through the proxy", "text/plain");
        });
        origin.Http().Get("/secret.txt", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") != kSiteAuth) {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"vendor\"");
                return;
            }
            res.set_content("the secret list", "text/plain");
        });
        origin.Http().Get("/proxy.pac", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(pacScript, "application/x-ns-proxy-autoconfig");
        });
        // A PAC file whose server starts the answer and then says nothing more.
        origin.Http().Get("/silent.pac", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1000, "application/x-ns-proxy-autoconfig",
                                     [this](std::size_t, std::size_t, httplib::DataSink& out) {
                                         out.write("function", 8);
                                         Stall(origin, out);
                                         return false;
                                     });
        });
        origin.Start();
        proxy.Http().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            ++proxyRequests;
            if (requireAuth && req.get_header_value("Proxy-Authorization") != kProxyAuth) {
                res.status = 407;
                res.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
                res.set_content("authenticate first", "text/plain");
                return;
            }
            const std::string prefix = origin.Url("");
            if (req.target.rfind(prefix, 0) != 0) {
                res.status = 400;
                return;
            }
            httplib::Client client("127.0.0.1", origin.Port());
            httplib::Headers forwarded;
            if (req.has_header("Authorization")) {
                forwarded.emplace("Authorization", req.get_header_value("Authorization"));
            }
            const auto answer = client.Get(req.target.substr(prefix.size()), forwarded);
            if (!answer) {
                res.status = 502;
                return;
            }
            res.status = answer->status;
            if (answer->has_header("WWW-Authenticate")) {
                res.set_header("WWW-Authenticate", answer->get_header_value("WWW-Authenticate"));
            }
            res.set_content(answer->body, "text/plain");
        });
        proxy.Start();
        Point(origin, "/file.txt");
        settings.accessMode = 2;
        settings.proxyHost = "127.0.0.1:" + std::to_string(proxy.Port());
        WriteFile(target, "previous content");
    }
    LocalServer origin;
    LocalServer proxy;
    bool requireAuth = true;
    std::atomic<int> proxyRequests{0};
    std::string pacScript;
};

TEST_F(ProxyTest, StoredProxyCredentialsAnswerTheChallenge) {
    settings.proxyLogin = "proxyuser";
    settings.proxyPwd = "proxypw";
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "through the proxy");
    EXPECT_TRUE(sink.prompts.empty());
}

TEST_F(ProxyTest, PromptAnswersTheProxyChallenge) {
    sink.answers = {{"proxyuser", "proxypw"}};
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "through the proxy");
    EXPECT_EQ(sink.prompts, (std::vector<std::string>{"proxy:127.0.0.1"}));
}

TEST_F(ProxyTest, PromptsAndStatusLinesNameTheHostThatAskedOrIsReached) {
    settings.proxyHost = "http://localhost:" + std::to_string(proxy.Port());
    settings.objectPath = "/secret.txt";
    sink.answers = {{"proxyuser", "proxypw"}, {"zarn", "secret"}};
    Run();
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "the secret list");
    EXPECT_EQ(sink.prompts, (std::vector<std::string>{"proxy:localhost", "site:127.0.0.1"}));
    EXPECT_EQ(sink.statusLines.front(), "Resolving name: localhost");
}

TEST_F(ProxyTest, DeclinedProxyPromptFailsWith407) {
    Run();
    ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:407");
    ExpectPreviousTarget();
    EXPECT_EQ(sink.prompts.size(), 1u);
}

TEST_F(ProxyTest, SystemSettingsTakeTheProxyFromTheEnvironmentAndDirectIgnoresIt) {
    requireAuth = false;
    const std::string proxyUrl = "http://" + settings.proxyHost;
    ::setenv("http_proxy", proxyUrl.c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    settings.accessMode = 0;
    Run();
    ExpectSuccess();
    EXPECT_EQ(proxyRequests.load(), 1);

    sink.Reset();
    settings.accessMode = 1;
    Run();
    ::unsetenv("http_proxy");
    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "through the proxy");
    EXPECT_EQ(proxyRequests.load(), 1) << "a direct connection must not use the proxy";
}

// Under the system's settings each source of a proxy is followed, and the log says which one chose.
TEST_F(ProxyTest, SystemSettingsFollowPacFilesTheEnvironmentAndTheDesktop) {
    requireAuth = false;
    settings.accessMode = 0;
    const std::string proxyAt = "127.0.0.1:" + std::to_string(proxy.Port());
    const std::string pacUrl = origin.Url("/proxy.pac");
    const std::string viaPac = "function FindProxyForURL(url, host) { return \"PROXY " + proxyAt + "; DIRECT\"; }";
    const std::string directPac = "function FindProxyForURL(url, host) { return \"DIRECT\"; }";
    const std::string config = dir.File("config");
    struct Case {
        const char* name;
        std::optional<std::string> httpProxy, noProxy, allProxy;
        std::string policyPac, script, kioslaverc;
        bool viaProxy;
        std::string note;
        std::string gnome = {};    // GNOME's settings as GSettings' key file backend keeps them
        std::string nextNote = {}; // after the first proxy could not be reached
    };
    const std::string deadFirst = "PROXY 127.0.0.1:1; PROXY " + proxyAt + "; DIRECT";
    const Case cases[] = {
        {"http_proxy", "http://" + proxyAt, std::nullopt, std::nullopt, "", "", "", true,
         "through proxy http://" + proxyAt + ": environment (http_proxy)"},
        {"no_proxy names the host", "http://" + proxyAt, "localhost, .127.0.0.1", std::nullopt, "", "", "", false,
         "direct connection: environment (no_proxy names 127.0.0.1)"},
        {"all_proxy", std::nullopt, std::nullopt, proxyAt, "", "", "", true,
         "through proxy " + proxyAt + ": environment (all_proxy)"},
        {"administrator's PAC file wins over the environment", "http://127.0.0.1:9", std::nullopt, std::nullopt, pacUrl,
         viaPac, "", true,
         "through proxy http://" + proxyAt + ": PAC file " + pacUrl + " (administrator's setting) said \"PROXY " +
             proxyAt + "; DIRECT\""},
        {"PAC file saying DIRECT", std::nullopt, std::nullopt, std::nullopt, pacUrl, directPac, "", false,
         "direct connection: PAC file " + pacUrl + " (administrator's setting) said \"DIRECT\""},
        {"PAC file's next proxy when the first cannot be reached", std::nullopt, std::nullopt, std::nullopt, pacUrl,
         "function FindProxyForURL(url, host) { return \"" + deadFirst + "\"; }", "", true,
         "through proxy http://127.0.0.1:1: PAC file " + pacUrl + " (administrator's setting) said \"" + deadFirst +
             "\"",
         "",
         "proxy http://127.0.0.1:1 could not be reached; the PAC answer's next entry: through proxy http://" + proxyAt},
        {"PAC file's DIRECT when its proxy cannot be reached", std::nullopt, std::nullopt, std::nullopt, pacUrl,
         "function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:1; DIRECT\"; }", "", false,
         "through proxy http://127.0.0.1:1: PAC file " + pacUrl +
             " (administrator's setting) said \"PROXY 127.0.0.1:1; DIRECT\"",
         "", "proxy http://127.0.0.1:1 could not be reached; the PAC answer's next entry: direct connection"},
        {"PAC file that cannot be read", std::nullopt, std::nullopt, std::nullopt, origin.Url("/missing.pac"), "", "",
         false,
         "direct connection: PAC file " + origin.Url("/missing.pac") +
             " (administrator's setting) could not be read: direct"},
        {"PAC file whose server falls silent", std::nullopt, std::nullopt, std::nullopt, origin.Url("/silent.pac"), "",
         "", false,
         "direct connection: PAC file " + origin.Url("/silent.pac") +
             " (administrator's setting) could not be read: direct"},
        {"desktop PAC file", std::nullopt, std::nullopt, std::nullopt, "", viaPac,
         "[Proxy Settings]\nProxyType=2\nProxy Config Script=" + pacUrl + "\n", true,
         "through proxy http://" + proxyAt + ": PAC file " + pacUrl + " (desktop setting in " + config +
             "/kioslaverc) said \"PROXY " + proxyAt + "; DIRECT\""},
        {"desktop manual proxy", std::nullopt, std::nullopt, std::nullopt, "", "",
         "[Proxy Settings]\nProxyType=1\nhttpProxy=http://127.0.0.1 " + std::to_string(proxy.Port()) + "\n", true,
         "through proxy http://" + proxyAt + ": desktop setting in " + config + "/kioslaverc"},
        {"GNOME PAC file before KDE's manual proxy", std::nullopt, std::nullopt, std::nullopt, "", viaPac,
         "[Proxy Settings]\nProxyType=1\nhttpProxy=http://127.0.0.1 9\n", true,
         "through proxy http://" + proxyAt + ": PAC file " + pacUrl + " (GNOME desktop setting) said \"PROXY " +
             proxyAt + "; DIRECT\"",
         "[system/proxy]\nmode='auto'\nautoconfig-url='" + pacUrl + "'\n"},
        {"GNOME manual proxy not for its ignored hosts", std::nullopt, std::nullopt, std::nullopt, "", "", "", false,
         "direct connection: GNOME desktop setting (ignore-hosts names 127.0.0.1)",
         "[system/proxy]\nmode='manual'\nignore-hosts=['localhost', '127.0.0.0/8']\n[system/proxy/http]\n"
         "host='127.0.0.1'\nport=9\n"},
        {"GNOME manual proxy", std::nullopt, std::nullopt, std::nullopt, "", "", "", true,
         "through proxy http://" + proxyAt + ": GNOME desktop setting",
         "[system/proxy]\nmode='manual'\nignore-hosts=@as []\n[system/proxy/http]\nhost='127.0.0.1'\nport=" +
             std::to_string(proxy.Port()) + "\n"},
        {"nothing set", std::nullopt, std::nullopt, std::nullopt, "", "", "", false,
         "direct connection: no proxy is set"},
    };
    const bool haveGsettings = std::filesystem::exists("/usr/bin/gsettings");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.gnome.empty() && !haveGsettings) {
            continue; // GNOME's settings are read through its own tool
        }
        ProxyResolver::ForgetAnswers();
        const ScopedEnv httpProxy("http_proxy", c.httpProxy);
        const ScopedEnv noProxy("no_proxy", c.noProxy);
        const ScopedEnv noProxyUpper("NO_PROXY", std::nullopt);
        const ScopedEnv allProxy("all_proxy", c.allProxy);
        const ScopedEnv allProxyUpper("ALL_PROXY", std::nullopt);
        const ScopedEnv configHome("XDG_CONFIG_HOME", config);
        const ScopedEnv gsettingsBackend("GSETTINGS_BACKEND", "keyfile");
        std::filesystem::remove_all(config);
        if (!c.kioslaverc.empty()) {
            std::filesystem::create_directories(config);
            WriteFile(config + "/kioslaverc", c.kioslaverc);
        }
        if (!c.gnome.empty()) {
            std::filesystem::create_directories(config + "/glib-2.0/settings");
            WriteFile(config + "/glib-2.0/settings/keyfile", c.gnome);
        }
        settings.proxyPacUrl = c.policyPac;
        pacScript = c.script;
        sink.Reset();
        WriteFile(target, "previous content");
        const int before = proxyRequests.load();
        Run();
        ExpectSuccess();
        EXPECT_EQ(ReadFile(target), "through the proxy");
        EXPECT_EQ(proxyRequests.load() - before, c.viaProxy ? 1 : 0);
        std::vector<std::string> notes{c.note};
        if (!c.nextNote.empty()) {
            notes.push_back(c.nextNote);
        }
        EXPECT_EQ(sink.notes, notes);
    }
}

TEST_F(TransferEngineTest, RedirectIsFollowedAndShown) {
    LocalServer server;
    server.Http().Get("/old", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/new"); });
    server.Http().Get(
        "/new", [](const httplib::Request&, httplib::Response& res) { res.set_content("moved file", "text/plain"); });
    server.Start();
    Point(server, "/old");

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "moved file");
    EXPECT_EQ(std::count(sink.statusLines.begin(), sink.statusLines.end(), "Redirecting to " + server.Url("/new")), 1);
}

TEST_F(TransferEngineTest, RedirectToAnotherHostResolvesAndConnectsAgain) {
    LocalServer server;
    server.Http().Get("/old", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://localhost:" + std::to_string(server.Port()) + "/new");
    });
    server.Http().Get(
        "/new", [](const httplib::Request&, httplib::Response& res) { res.set_content("moved host", "text/plain"); });
    server.Start();
    Point(server, "/old");

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), "moved host");
    const auto& lines = sink.statusLines;
    const auto redirect = std::find(lines.begin(), lines.end(),
                                    "Redirecting to http://localhost:" + std::to_string(server.Port()) + "/new");
    ASSERT_GT(lines.end() - redirect, 2);
    EXPECT_EQ(*(redirect + 1), "Resolving name: localhost");
    EXPECT_EQ(std::string(*(redirect + 2)).rfind("Resolved name to ", 0), 0u);
    EXPECT_NE(std::find(redirect, lines.end(), "Connected to 127.0.0.1"), lines.end());
    EXPECT_EQ(lines.back(), "Retrieving the file");
}

TEST_F(TransferEngineTest, EndlessRedirectsStopAfterTheLimit) {
    std::atomic<int> requests{0};
    LocalServer server;
    server.Http().Get("/loop", [&](const httplib::Request&, httplib::Response& res) {
        ++requests;
        res.set_redirect("/loop");
    });
    server.Start();
    Point(server, "/loop");
    WriteFile(target, "previous content");

    Run();

    ExpectFailure("Failed to receive a valid HTTP response from the server, Response Code:302");
    ExpectPreviousTarget();
    EXPECT_EQ(requests.load(), 11);
}

TEST_F(TransferEngineTest, ResumeAsksForTheRestAndAppendsIt) {
    const std::string body = Pattern(3000);
    std::string range;
    LocalServer server;
    server.Http().Get("/r.bin", [&](const httplib::Request& req, httplib::Response& res) {
        range = req.get_header_value("Range");
        res.set_content(body, "application/octet-stream");
    });
    server.Start();
    Point(server, "/r.bin");
    WriteFile(target, body.substr(0, 1000) + "stale tail that is cut");

    Run(1000);

    ExpectSuccess();
    EXPECT_EQ(range, "bytes=1000-");
    EXPECT_EQ(ReadFile(target), body);
    // The figures count this transfer only, against the length announced for the rest.
    EXPECT_EQ(sink.percents.back(), 100);
}

TEST_F(TransferEngineTest, StopEndsATransferWhileTheServerIsSilent) {
    LocalServer server;
    std::atomic<bool> stalling{false};
    server.Http().Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(100000, "application/octet-stream",
                                 [&](std::size_t, std::size_t, httplib::DataSink& out) {
                                     out.write("start", 5);
                                     stalling = true;
                                     Stall(server, out);
                                     return false;
                                 });
    });
    server.Start();
    Point(server, "/stall");
    WriteFile(target, "previous content");
    // While the server is silent, the piece that came before the silence must reach the disk.
    std::string onDisk;
    std::thread stopper([&] {
        while (!stalling) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const auto start = std::chrono::steady_clock::now();
        while (onDisk.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const std::string& name : dir.Entries()) {
                if (name != "target.bin") {
                    onDisk = ReadFile(dir.File(name));
                }
            }
        }
        stop = true;
    });

    Run();
    const bool serverStillStalling = !server.Releasing();
    stopper.join();

    EXPECT_TRUE(serverStillStalling);
    EXPECT_EQ(onDisk, "start");
    EXPECT_EQ(sink.endCount, 1);
    EXPECT_FALSE(sink.failed) << sink.failText;
    ExpectPreviousTarget();
}

TEST_F(TransferEngineTest, StopInTheMiddleOfTheBodyEndsWithoutFailureAndKeepsThePreviousTarget) {
    const std::string body = Pattern(8 * 1024 * 1024);
    LocalServer server;
    server.Http().Get("/large", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    server.Start();
    Point(server, "/large");
    WriteFile(target, "previous content");
    sink.onPercent = [&](int percent) {
        if (percent == 10) {
            stop = true;
        }
    };

    Run();

    EXPECT_EQ(sink.endCount, 1);
    EXPECT_FALSE(sink.failed) << sink.failText;
    EXPECT_EQ(sink.percents.back(), 10) << "no piece may be written after the stop";
    ExpectPreviousTarget();
}

TEST_F(TransferEngineTest, RateCapHoldsTheAverageDown) {
    const std::string body = Pattern(12000);
    LocalServer server;
    server.Http().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    server.Start();
    Point(server, "/slow");
    settings.maxBytesPerMs = 4.0;

    Run();

    ExpectSuccess();
    EXPECT_EQ(ReadFile(target), body);
    // Without the cap, loopback delivers 12,000 bytes long before a second has passed.
    ASSERT_FALSE(sink.rates.empty());
    for (double rate : sink.rates) {
        EXPECT_LT(rate, 4.0 * 1.5);
    }
}

TEST_F(TransferEngineTest, WriteFailureFailsWith214AndTheSystemCode) {
    LocalServer server;
    const std::string body = Pattern(200000);
    server.Http().Get("/big", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    server.Start();
    Point(server, "/big");
    WriteFile(target, "previous content");

    // A file size limit makes the write fail with EFBIG, a real error of the real file system.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 50000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Run();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ExpectFailure("An error occurred while downloading the file, Error:" + std::to_string(EFBIG));
    ExpectPreviousTarget();
}

} // namespace
} // namespace zarn
