#include "app/SettingsCarryOver.h"

#include "components/LauncherSettings.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

using Paths = std::vector<std::string>;
constexpr int kMax = LauncherSettings::kMaxRecentFiles;

class SettingsCarryOverTest : public ::testing::Test {
protected:
    std::string File() const { return m_dir.File("zarn.conf"); }

    test::ScratchRegistry m_scratch;
    test::TempDir m_dir;
};

// A file as Qt writes one: its texts arrive in the registry, and the file is renamed so that the next run does not
// carry it over again over what the launcher has stored since.
TEST_F(SettingsCarryOverTest, AQtSettingsFileIsCarriedOverOnce) {
    test::WriteFile(File(), "[General]\r\ncaFile=/home/ann/vendor-ca.pem\r\n\r\n"
                            "[Recent%20File%20List]\r\nFile1=/home/ann/plan b.dsn\r\n"
                            "File2=\"/home/ann/plans, old/a.dsn\"\r\nFile3=/home/ann/Caf\xc3\xa9.dsn\r\n");
    ASSERT_EQ(CarryOverSettingsFile(File(), kMax), 1);
    EXPECT_EQ(LauncherSettings::StoredCaFile(), "/home/ann/vendor-ca.pem");
    EXPECT_EQ(LauncherSettings::RecentFiles(kMax),
              (Paths{"/home/ann/plan b.dsn", "/home/ann/plans, old/a.dsn", "/home/ann/Caf\xc3\xa9.dsn"}));
    EXPECT_FALSE(std::filesystem::exists(File()));
    EXPECT_TRUE(std::filesystem::exists(File() + kCarriedOverSuffix));

    ASSERT_EQ(LauncherSettings::StoreCaFile("/etc/later.pem"), 1);
    ASSERT_EQ(LauncherSettings::StoreRecentFiles({"/home/ann/later.dsn"}, kMax), 1);
    EXPECT_EQ(CarryOverSettingsFile(File(), kMax), 1);
    EXPECT_EQ(LauncherSettings::StoredCaFile(), "/etc/later.pem");
    EXPECT_EQ(LauncherSettings::RecentFiles(kMax), Paths{"/home/ann/later.dsn"});
}

// Values as Qt escapes them; what is no single text (a list, a typed value) leaves the stored value alone.
TEST_F(SettingsCarryOverTest, ValuesAreReadAsQtWritesThem) {
    const struct {
        const char* line;
        const char* caFile;
    } cases[] = {
        {"caFile=  /plain.pem  ", "/plain.pem"},
        {"caFile=\" /spaced, quoted.pem \"", " /spaced, quoted.pem "},
        {"caFile=C:\\\\certs\\\\\\\"q\\\".pem", "C:\\certs\\\"q\".pem"},
        {"caFile=/tab\\there\\x1f.pem", "/tab\there\x1f.pem"},
        {"caFile=@@at.pem", "@at.pem"},
        {"caFile=/a.pem, /b.pem", "/stored.pem"},
        {"caFile=@Invalid()", "/stored.pem"},
        {"caFile=@ByteArray(/c.pem)", "/stored.pem"},
        {"; caFile=/comment.pem", "/stored.pem"},
        {"[Other]\ncaFile=/grouped.pem", "/stored.pem"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(LauncherSettings::StoreCaFile("/stored.pem"), 1);
        test::WriteFile(File(), std::string("[General]\n") + c.line + "\n");
        ASSERT_EQ(CarryOverSettingsFile(File(), kMax), 1);
        EXPECT_EQ(LauncherSettings::StoredCaFile(), c.caFile);
    }
}

TEST_F(SettingsCarryOverTest, NoFileIsNothingToDo) {
    EXPECT_EQ(CarryOverSettingsFile(File(), kMax), 1);
    EXPECT_EQ(CarryOverSettingsFile("", kMax), 1);
    EXPECT_EQ(LauncherSettings::StoredCaFile(), "");
    EXPECT_TRUE(m_dir.Entries().empty());
}

} // namespace
} // namespace zarn
