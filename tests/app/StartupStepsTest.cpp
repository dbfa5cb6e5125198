#include "app/StartupSteps.h"

#include "platform/FileSystem.h"
#include "tests/support/TempAppDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace zarn {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(AppDirectory, IsTheExecutablesDirectoryWhateverItsName) {
    EXPECT_EQ(AppDirectoryFromExecutablePath("C:\\Apps\\QuillornaCC.exe", '\\'), "C:\\Apps\\");
    EXPECT_EQ(AppDirectoryFromExecutablePath("D:\\Program Files\\Tool\\Q.exe", '\\'), "D:\\Program Files\\Tool\\");
    EXPECT_EQ(AppDirectoryFromExecutablePath("/opt/quillorna/bin/QuillornaCC", '/'), "/opt/quillorna/bin/");
    EXPECT_EQ(AppDirectoryFromExecutablePath("/x", '/'), "/");
    EXPECT_EQ(AppDirectoryFromExecutablePath("/opt/we\\ird/zarn", '/'), "/opt/we\\ird/");
    EXPECT_EQ(AppDirectoryFromExecutablePath("Q.exe", '\\'), "");
    EXPECT_EQ(AppDirectoryFromExecutablePath("", '/'), "");
}

TEST(AppDirectory, OfTheRunningExecutable) {
    const std::string dir = InitAppDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), platform::PathSeparator());
    const std::filesystem::path self = platform::ExecutablePath();
    EXPECT_EQ(std::filesystem::path(dir), self.parent_path() / "");
    EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST(CommandLineDocument, FirstArgumentThatIsNoSwitch) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(DocumentFromCommandLine({}), "");
    EXPECT_EQ(DocumentFromCommandLine(Args{"kitchen.dsn"}), "kitchen.dsn");
    EXPECT_EQ(DocumentFromCommandLine(Args{"-x", "--check", "first.dsn", "second.dsn"}), "first.dsn");
    EXPECT_EQ(DocumentFromCommandLine(Args{"C:\\Plans\\my kitchen.dsn"}), "C:\\Plans\\my kitchen.dsn");
    EXPECT_EQ(DocumentFromCommandLine(Args{"", "late.dsn"}), "late.dsn");
    // The values of --server and --ca-file are no document.
    EXPECT_EQ(DocumentFromCommandLine(Args{"--server", "http://127.0.0.1:9", "plan.dsn"}), "plan.dsn");
    EXPECT_EQ(DocumentFromCommandLine(Args{"--server", "http://127.0.0.1:9"}), "");
    EXPECT_EQ(DocumentFromCommandLine(Args{"--ca-file", "vendor.pem", "plan.dsn"}), "plan.dsn");
    EXPECT_EQ(DocumentFromCommandLine(Args{"--server"}), "");
    EXPECT_EQ(DocumentFromCommandLine(Args{"--check", "--json"}), "");
}

TEST(CommandLineDocument, AbsolutePosixPathIsADocument) {
#ifdef _WIN32
    // On Windows "/" begins a switch, as the system's own programs read it.
    EXPECT_EQ(DocumentFromCommandLine({"/home/ana/kitchen.dsn"}), "");
#else
    // On POSIX "/" begins a path, never a switch.
    EXPECT_EQ(DocumentFromCommandLine({"/home/ana/kitchen.dsn"}), "/home/ana/kitchen.dsn");
#endif
}

TEST(StartFile, HoldsExactlyTheDocumentPath) {
    test::TempAppDir app;
    std::filesystem::create_directory(app.Path("temp"));
    const std::filesystem::path startFile = app.Path("temp/startfile.txt");
    EXPECT_EQ(StartFilePath(app.AppDir()), startFile.string());

    EXPECT_EQ(WriteStartFile(app.AppDir(), "C:\\Plans\\kitchen.dsn"), 1);
    EXPECT_EQ(ReadAll(startFile), "C:\\Plans\\kitchen.dsn");
    EXPECT_EQ(std::filesystem::file_size(startFile), 20u);

    // A shorter path replaces the longer one completely.
    EXPECT_EQ(WriteStartFile(app.AppDir(), "a b"), 1);
    EXPECT_EQ(ReadAll(startFile), "a b");

    // No document: the file keeps what an earlier run left.
    EXPECT_EQ(WriteStartFile(app.AppDir(), ""), 0);
    EXPECT_EQ(ReadAll(startFile), "a b");
}

TEST(StartFile, MissingTempFolderIsNeitherCreatedNorReported) {
    test::TempAppDir app;
    EXPECT_EQ(WriteStartFile(app.AppDir(), "/plans/kitchen.dsn"), 0);
    EXPECT_FALSE(std::filesystem::exists(app.Path("temp")));
    EXPECT_EQ(WriteStartFile(app.AppDir(), ""), 0);
    EXPECT_FALSE(std::filesystem::exists(app.Path("temp")));
}

} // namespace
} // namespace zarn
