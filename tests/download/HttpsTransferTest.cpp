#include "download/SignInMemory.h"
#include "download/TargetFile.h"
#include "download/TransferEngine.h"
#include "tests/download/RecordingSink.h"
#include "tests/support/LocalServer.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <set>

namespace zarn {
namespace {

using test::LocalServer;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// One self-signed certificate for 127.0.0.1, made with the openssl tool for this test run.
class HttpsTransferTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_keys = new TempDir;
        const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                    " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                    KeyFile() + "' -out '" + CertFile() + "' 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    static void TearDownTestSuite() {
        delete s_keys;
        s_keys = nullptr;
    }
    static std::string KeyFile() { return s_keys->File("key.pem"); }
    static std::string CertFile() { return s_keys->File("cert.pem"); }

    void SetUp() override {
        SignInMemory::Instance().Forget();
        server =
            std::make_unique<LocalServer>(std::make_unique<httplib::SSLServer>(CertFile().c_str(), KeyFile().c_str()));
        server->Http().Get("/secure.txt", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("sent over tls", "text/plain");
        });
        server->Start();
        settings.accessMode = 1;
        settings.hostName = "127.0.0.1";
        settings.port = static_cast<std::uint16_t>(server->Port());
        settings.secure = true;
        settings.objectPath = "/secure.txt";
        WriteFile(target, "previous content");
    }

    void Run() {
        TargetFile file;
        ASSERT_EQ(file.Open(target, 0).messageId, 0u);
        TransferEngine(settings, file, sink, stop).Run();
        // A kept connection would hold the test's server on its keep-alive wait when it stops.
        if (!keepConnections) {
            TransferEngine::CloseIdleConnections();
        }
    }

    void ExpectRefusedAndPreviousTarget(const std::string& failText) {
        EXPECT_EQ(sink.endCount, 1);
        EXPECT_TRUE(sink.failed);
        EXPECT_EQ(sink.failText, failText);
        EXPECT_EQ(ReadFile(target), "previous content");
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
    }

    static TempDir* s_keys;
    std::unique_ptr<LocalServer> server;
    TempDir dir;
    std::string target = dir.File("target.bin");
    test::RecordingSink sink;
    std::atomic<bool> stop{false};
    TransferSettings settings;
    bool keepConnections = false;
};

TempDir* HttpsTransferTest::s_keys = nullptr;

TEST_F(HttpsTransferTest, UntrustedCertificateIsRefused) {
    Run();
    ExpectRefusedAndPreviousTarget(
        "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12045");
}

TEST_F(HttpsTransferTest, CertificateTrustedThroughTheCaFileIsAccepted) {
    settings.caFile = CertFile();
    Run();
    EXPECT_EQ(sink.endCount, 1);
    EXPECT_FALSE(sink.failed) << sink.failText;
    EXPECT_EQ(ReadFile(target), "sent over tls");
}

TEST_F(HttpsTransferTest, SecondDownloadReusesTheVerifiedConnection) {
    std::mutex mutex;
    std::set<int> clientPorts; // one local port per TLS connection the server accepted
    server->Http().Get("/counted", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        clientPorts.insert(req.remote_port);
        res.set_content("sent over tls", "text/plain");
    });
    settings.caFile = CertFile();
    settings.objectPath = "/counted";
    keepConnections = true;
    for (int run = 0; run < 2; ++run) {
        sink.Reset();
        Run();
        EXPECT_FALSE(sink.failed) << sink.failText;
    }
    EXPECT_EQ(ReadFile(target), "sent over tls");
    std::lock_guard lock(mutex);
    EXPECT_EQ(clientPorts.size(), 1u);

    // A connection made under another trust setting is not taken for this one.
    settings.caFile.clear();
    keepConnections = false;
    sink.Reset();
    WriteFile(target, "previous content");
    Run();
    ExpectRefusedAndPreviousTarget(
        "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12045");
}

TEST_F(HttpsTransferTest, NameMismatchIsRefusedEvenWithATrustedCertificate) {
    // The certificate names 127.0.0.1 only; "localhost" reaches the same server under another name.
    settings.caFile = CertFile();
    settings.hostName = "localhost";
    Run();
    ExpectRefusedAndPreviousTarget(
        "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12038");
}

TEST_F(HttpsTransferTest, ExpiredCertificateIsRefusedEvenWhenTrusted) {
    // A certificate for 127.0.0.1 that was valid for one day in 2020, signed by itself, trusted through the CA file.
    TempDir expired;
    WriteFile(expired.File("ca.cnf"), "[ca]\ndefault_ca = expired\n[expired]\ndatabase = index.txt\nnew_certs_dir = .\n"
                                      "serial = serial\ndefault_md = sha256\npolicy = any\ncopy_extensions = copy\n"
                                      "[any]\ncommonName = supplied\n");
    WriteFile(expired.File("index.txt"), "");
    WriteFile(expired.File("serial"), "01\n");
    const std::string command =
        "cd '" + expired.File("") +
        "' && openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout key.pem -out request.pem 2>/dev/null &&"
        " openssl ca -batch -selfsign -notext -config ca.cnf -keyfile key.pem -in request.pem -out cert.pem"
        " -startdate 20200101000000Z -enddate 20200102000000Z 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    LocalServer old(
        std::make_unique<httplib::SSLServer>(expired.File("cert.pem").c_str(), expired.File("key.pem").c_str()));
    old.Http().Get("/secure.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("sent over tls", "text/plain");
    });
    settings.port = static_cast<std::uint16_t>(old.Start());
    settings.caFile = expired.File("cert.pem");
    Run();
    ExpectRefusedAndPreviousTarget(
        "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12037");
}

// A plain-http server whose /secure.txt counts the requests that reached it: none may, from an https download.
void StartPlainServer(LocalServer& plain, std::atomic<int>& requests) {
    plain.Http().Get("/secure.txt", [&requests](const httplib::Request&, httplib::Response& res) {
        ++requests;
        res.set_content("sent in the clear", "text/plain");
    });
    plain.Start();
}

TEST_F(HttpsTransferTest, RedirectFromHttpsToHttpIsRefused) {
    std::atomic<int> plainRequests{0};
    LocalServer plain;
    StartPlainServer(plain, plainRequests);
    server->Http().Get("/downgrade", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(plain.Url("/secure.txt"));
    });
    settings.caFile = CertFile();
    settings.objectPath = "/downgrade";

    Run();

    ExpectRefusedAndPreviousTarget(
        "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12040");
    EXPECT_EQ(plainRequests.load(), 0);
}

TEST_F(HttpsTransferTest, RedirectToHttpIsRefusedAfterAPromptWhateverTheRedirectsBeforeIt) {
    std::atomic<int> plainRequests{0};
    LocalServer plain;
    StartPlainServer(plain, plainRequests);
    // /hop/N takes N redirects to /auth, which asks for a password and, once given one, points to http.
    server->Http().Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        const int left = std::stoi(req.matches[1]) - 1;
        res.set_redirect(left > 0 ? "/hop/" + std::to_string(left) : "/auth");
    });
    server->Http().Get("/auth", [&](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_header("Authorization")) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"vendor\"");
            return;
        }
        res.set_redirect(plain.Url("/secure.txt"));
    });
    settings.caFile = CertFile();
    for (const int hops : {5, 10}) {
        SCOPED_TRACE(hops);
        SignInMemory::Instance().Forget(); // each round is a run of its own, which asks
        sink.Reset();
        sink.answers = {{"zarn", "secret"}};
        WriteFile(target, "previous content");
        settings.objectPath = "/hop/" + std::to_string(hops);
        Run();
        ExpectRefusedAndPreviousTarget(
            "An error occurred connecting to the server \nPlease check your Internet Connection, Error:12040");
        EXPECT_EQ(sink.prompts.size(), 1u);
    }
    EXPECT_EQ(plainRequests.load(), 0);
}

TEST_F(HttpsTransferTest, RedirectWithinHttpsIsFollowed) {
    server->Http().Get("/moved",
                       [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/secure.txt"); });
    settings.caFile = CertFile();
    settings.objectPath = "/moved";
    Run();
    EXPECT_FALSE(sink.failed) << sink.failText;
    EXPECT_EQ(ReadFile(target), "sent over tls");
}

} // namespace
} // namespace zarn
