#include "download/UrlSplit.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

UrlParts Split(const std::string& url) {
    UrlParts parts;
    EXPECT_TRUE(SplitUrl(url, parts)) << url;
    return parts;
}

bool Fails(const std::string& url) {
    UrlParts parts;
    return !SplitUrl(url, parts);
}

TEST(UrlSplit, SchemesGiveTheirServiceAndDefaultPort) {
    struct Case {
        const char* url;
        std::uint32_t service;
        std::uint16_t port;
    };
    const Case cases[] = {
        {"http://vendor.example/a", kServiceHttp, 80},    {"https://vendor.example/a", kServiceHttps, 443},
        {"ftp://vendor.example/a", kServiceFtp, 21},      {"gopher://vendor.example/a", kServiceGopher, 70},
        {"file://vendor.example/a", kServiceFile, 80},    {"HTTP://vendor.example/a", kServiceHttp, 80},
        {"HttpS://vendor.example/a", kServiceHttps, 443},
    };
    for (const auto& c : cases) {
        const UrlParts parts = Split(c.url);
        EXPECT_EQ(parts.service, c.service) << c.url;
        EXPECT_EQ(parts.port, c.port) << c.url;
        EXPECT_EQ(parts.hostName, "vendor.example") << c.url;
        EXPECT_EQ(parts.objectPath, "/a") << c.url;
    }
    EXPECT_EQ(kServiceHttps, 0x100Bu);
    EXPECT_EQ(kServiceHttp, 3u);
}

TEST(UrlSplit, HostPortAndPath) {
    UrlParts parts = Split("http://127.0.0.1:8080//quillornacc//complist//complist.txt");
    EXPECT_EQ(parts.hostName, "127.0.0.1");
    EXPECT_EQ(parts.port, 8080);
    EXPECT_EQ(parts.objectPath, "//quillornacc//complist//complist.txt");

    parts = Split("https://vendor.example:65535/dir/file.cab?x=1&y=2");
    EXPECT_EQ(parts.port, 65535);
    EXPECT_EQ(parts.objectPath, "/dir/file.cab?x=1&y=2");

    EXPECT_EQ(Split("http://vendor.example").objectPath, "/");
    EXPECT_EQ(Split("http://vendor.example:81").port, 81);
    EXPECT_EQ(Split("http://vendor.example:81").objectPath, "/");
    EXPECT_EQ(Split("http://vendor.example?q=1").objectPath, "/?q=1");
    EXPECT_EQ(Split("http://vendor.example\\dir\\file.txt").objectPath, "\\dir\\file.txt");
    EXPECT_EQ(Split("http://vendor.example\\dir\\file.txt").hostName, "vendor.example");

    // Only a file URL may leave its host out: it names a file of this computer.
    parts = Split("file:///srv/repo//quillornacc/a b.cab");
    EXPECT_EQ(parts.service, kServiceFile);
    EXPECT_EQ(parts.hostName, "");
    EXPECT_EQ(parts.objectPath, "/srv/repo//quillornacc/a b.cab");
}

TEST(UrlSplit, CredentialsInTheUrlAreNotTheHost) {
    const UrlParts parts = Split("http://user:p@ss@vendor.example:8000/f");
    EXPECT_EQ(parts.hostName, "vendor.example");
    EXPECT_EQ(parts.port, 8000);
    EXPECT_EQ(parts.objectPath, "/f");
}

TEST(UrlSplit, Ipv6LiteralKeepsItsBrackets) {
    UrlParts parts = Split("http://[::1]:9000/f.txt");
    EXPECT_EQ(parts.hostName, "[::1]");
    EXPECT_EQ(parts.port, 9000);
    EXPECT_EQ(parts.objectPath, "/f.txt");
    EXPECT_EQ(Split("https://[fe80::1]/").port, 443);
    EXPECT_TRUE(Fails("http://[::1/f"));
    EXPECT_TRUE(Fails("http://[::1]x/f"));
    EXPECT_TRUE(Fails("http://[]/f"));
    EXPECT_TRUE(Fails("http://[::1 ]/f"));
}

TEST(UrlSplit, SurroundingBlanksAreDropped) {
    const UrlParts parts = Split("  http://vendor.example/f.txt\r\n");
    EXPECT_EQ(parts.hostName, "vendor.example");
    EXPECT_EQ(parts.objectPath, "/f.txt");
}

TEST(UrlSplit, RefusesWhatIsNoUsableUrl) {
    // No scheme: the dialog retries these with "http://" in front.
    EXPECT_TRUE(Fails("vendor.example/f.txt"));
    EXPECT_TRUE(Fails("http:/vendor.example/f.txt"));
    EXPECT_TRUE(Fails(""));
    EXPECT_TRUE(Fails("://vendor.example/f"));
    EXPECT_TRUE(Fails("mailto://vendor.example/f"));
    // Host.
    EXPECT_TRUE(Fails("http:///f.txt"));
    EXPECT_TRUE(Fails("http://:80/f.txt"));
    EXPECT_TRUE(Fails("http://user@/f.txt"));
    EXPECT_TRUE(Fails("http://ven dor.example/f.txt"));
    // Port.
    EXPECT_TRUE(Fails("http://vendor.example:/f"));
    EXPECT_TRUE(Fails("http://vendor.example:0/f"));
    EXPECT_TRUE(Fails("http://vendor.example:65536/f"));
    EXPECT_TRUE(Fails("http://vendor.example:123456/f"));
    EXPECT_TRUE(Fails("http://vendor.example:8o/f"));
    EXPECT_TRUE(Fails("http://vendor.example:-1/f"));
    EXPECT_TRUE(Fails("http://vendor.example:80:81/f"));
    // Control characters anywhere, which would let the path spill into the request's headers.
    EXPECT_TRUE(Fails("http://vendor.example/f\r\nX-Injected: 1"));
    EXPECT_TRUE(Fails("http://vendor.example/f\x01"));
    EXPECT_TRUE(Fails("http://vendor\x7f.example/f"));
    EXPECT_TRUE(Fails(std::string("http://vendor.example/f\0g", 25)));
}

TEST(UrlSplit, SchemeRetryTextSplits) {
    // What the dialog does with a URL that has no scheme.
    EXPECT_TRUE(Fails("127.0.0.1:8080/dir/file.txt"));
    const UrlParts parts = Split("http://127.0.0.1:8080/dir/file.txt");
    EXPECT_EQ(parts.port, 8080);
    EXPECT_EQ(parts.objectPath, "/dir/file.txt");
    // An unknown scheme does not become usable by the retry.
    EXPECT_TRUE(Fails("http://news://vendor.example/f"));
}

TEST(ShownName, FollowsTheLastSeparator) {
    EXPECT_EQ(ShownNameOf("/dir/file.txt"), "file.txt");
    EXPECT_EQ(ShownNameOf("/file.txt"), "file.txt");
    EXPECT_EQ(ShownNameOf("//quillornacc//complist//complist.txt"), "complist.txt");
    EXPECT_EQ(ShownNameOf("\\dir\\file.txt"), "file.txt");
    // A slash wins over any backslash, wherever they stand.
    EXPECT_EQ(ShownNameOf("/dir\\sub/a\\b.txt"), "a\\b.txt");
    EXPECT_EQ(ShownNameOf("/dir/"), "");
    EXPECT_EQ(ShownNameOf("/"), "/");
    EXPECT_EQ(ShownNameOf("\\"), "\\");
    EXPECT_EQ(ShownNameOf("file.txt"), "file.txt");
    EXPECT_EQ(ShownNameOf(""), "");
    EXPECT_EQ(ShownNameOf("/f.cab?x=1"), "f.cab?x=1");
}

} // namespace
} // namespace zarn
