#include "app/LauncherOptions.h"

#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

using Mode = LauncherOptions::Mode;
constexpr const char* kDefault = "http://vendor.test:8080";

struct GoodLine {
    std::vector<std::string> arguments;
    Mode mode;
    std::string server;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    const char* caFile = nullptr;
};

TEST(LauncherOptions, GoodCommandLinesGiveTheirOptions) {
    const std::vector<GoodLine> lines = {
        {{}, Mode::Desktop, kDefault},
        {{"drawing.qdz"}, Mode::Desktop, kDefault},
        {{"--server", "https://cdn.test", "drawing.qdz"}, Mode::Desktop, "https://cdn.test"},
        {{"--check"}, Mode::Check, kDefault},
        {{"--update", "--server", "http://127.0.0.1:9/"}, Mode::Update, "http://127.0.0.1:9"},
        {{"--check", "--json", "--quiet"}, Mode::Check, kDefault, true, true},
        {{"--verbose", "--update", "--json"}, Mode::Update, kDefault, true, false, true},
        {{"--check", "--ca-file", "/etc/vendor-ca.pem"},
         Mode::Check,
         kDefault,
         false,
         false,
         false,
         "/etc/vendor-ca.pem"},
        {{"--server", "https://[::1]:8443", "--check"}, Mode::Check, "https://[::1]:8443"},
        {{"--help"}, Mode::Help, kDefault},
        {{"--version"}, Mode::Version, kDefault},
    };
    for (const GoodLine& line : lines) {
        const std::string shown = testing::PrintToString(line.arguments);
        SCOPED_TRACE(shown);
        const ParsedCommandLine parsed = ParseCommandLine(line.arguments, kDefault);
        ASSERT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.options.mode, line.mode);
        EXPECT_EQ(parsed.options.server, line.server);
        EXPECT_EQ(parsed.options.json, line.json);
        EXPECT_EQ(parsed.options.quiet, line.quiet);
        EXPECT_EQ(parsed.options.verbose, line.verbose);
        EXPECT_EQ(parsed.options.caFile.has_value(), line.caFile != nullptr);
        if (line.caFile) {
            EXPECT_EQ(parsed.options.caFile.value_or(""), line.caFile);
        }
    }
}

// A folder holding a copy of the repository, as a path or a file URL, relative or not, becomes its absolute file URL;
// a path that is no folder is refused as a bad server is.
TEST(LauncherOptions, ServerFolderBecomesItsFileUrl) {
    const test::TempDir dir;
    const std::filesystem::path repo = dir.Path() / "repo 100%";
    std::filesystem::create_directory(repo);
    test::WriteFile(dir.File("list.txt"), "");
    const std::string url = platform::FileUrlOfPath(platform::ResolvedPath(repo.string()).value_or(""));
    ASSERT_TRUE(url.starts_with("file://")) << url;
    std::vector<std::string> givens = {repo.string(), repo.string() + "/", url, url + "/"};
    // None when the working directory is on another drive (Windows).
    if (const std::string relative = std::filesystem::relative(repo).string(); !relative.empty()) {
        givens.push_back(relative);
    }
    for (const std::string& given : givens) {
        SCOPED_TRACE(given);
        const ParsedCommandLine parsed = ParseCommandLine({"--check", "--server", given}, kDefault);
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.options.server, url);
    }
    for (const std::string& given : {dir.File("list.txt"), dir.File("missing"), url + "/missing"}) {
        EXPECT_EQ(ParseCommandLine({"--check", "--server", given}, kDefault).error,
                  "--server needs http://host[:port], https://host[:port] or an existing folder, not " + given);
    }
}

TEST(LauncherOptions, BadCommandLinesSayWhatIsWrong) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> lines = {
        {{"--chek"}, "unknown switch --chek"},
        {{"--check", "-v"}, "unknown switch -v"},
        {{"--server=http://h"}, "unknown switch --server=http://h"},
        {{"--check", "--server"}, "--server needs a value"},
        {{"--check", "--ca-file"}, "--ca-file needs a value"},
        {{"--check", "--ca-file", ""}, "--ca-file needs a value"},
        {{"--check", "--server", "ftp://h"},
         "--server needs http://host[:port], https://host[:port] or an existing folder, not ftp://h"},
        {{"--check", "--server", "vendor.test"},
         "--server needs http://host[:port], https://host[:port] or an existing folder, not vendor.test"},
        {{"--check", "--server", "http://h/path"},
         "--server needs http://host[:port], https://host[:port] or an existing folder, not http://h/path"},
        {{"--check", "--server", "http://user@h"},
         "--server needs http://host[:port], https://host[:port] or an existing folder, not http://user@h"},
        {{"--check", "--server", "http://h:0"},
         "--server needs http://host[:port], https://host[:port] or an existing folder, not http://h:0"},
        {{"--json"}, "--json needs --check or --update"},
        {{"--quiet", "drawing.qdz"}, "--quiet needs --check or --update"},
        {{"--verbose"}, "--verbose needs --check or --update"},
        {{"--check", "--update"}, "--check and --update exclude each other"},
        {{"--check", "--check"}, "--check is given twice"},
        {{"--update", "--quiet", "--verbose"}, "--quiet and --verbose exclude each other"},
        {{"--check", "drawing.qdz"}, "--check and --update take no document"},
        {{"--help", "--check"}, "--help stands alone"},
        {{"--version", "x"}, "--version stands alone"},
    };
    for (const auto& [arguments, error] : lines) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        EXPECT_EQ(ParseCommandLine(arguments, kDefault).error, error);
    }
}

} // namespace
} // namespace zarn
