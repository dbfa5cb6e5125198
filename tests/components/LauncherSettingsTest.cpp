#include "components/LauncherSettings.h"

#include "components/Registry.h"
#include "components/RegistryValue.h"
#include "components/ServerUrl.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace zarn {
namespace {

using Paths = std::vector<std::string>;

class LauncherSettingsTest : public ::testing::Test {
protected:
    test::ScratchRegistry m_scratch;
};

TEST_F(LauncherSettingsTest, CaFileRoundTripsAndTheSwitchWins) {
    EXPECT_EQ(LauncherSettings::StoredCaFile(), "");
    EXPECT_EQ(LauncherSettings::CaFile(std::nullopt), "");
    ASSERT_EQ(LauncherSettings::StoreCaFile("/etc/vendor ca.pem"), 1);
    EXPECT_EQ(LauncherSettings::StoredCaFile(), "/etc/vendor ca.pem");
    EXPECT_EQ(LauncherSettings::CaFile(std::nullopt), "/etc/vendor ca.pem");
    EXPECT_EQ(LauncherSettings::CaFile(std::string("/given.pem")), "/given.pem");
    // Where the window and the console have always looked for it.
    std::string stored;
    EXPECT_EQ(CRegistry(HKEY_CURRENT_USER).ReadString("Software\\Ostrevant\\zarn", "caFile", stored), 1);
    EXPECT_EQ(stored, "/etc/vendor ca.pem");
}

// Each store replaces the whole list: a shorter one leaves none of the longer one's oldest entries behind.
TEST_F(LauncherSettingsTest, RecentFilesRoundTripNewestFirst) {
    const Paths lists[] = {
        {"/plans/a.dsn", "/plans/b.dsn", "/plans/c.dsn", "/plans/d.dsn"},
        {"/plans/e.dsn", "/plans/a.dsn"},
        {},
    };
    for (const Paths& paths : lists) {
        ASSERT_EQ(LauncherSettings::StoreRecentFiles(paths, LauncherSettings::kMaxRecentFiles), 1);
        EXPECT_EQ(LauncherSettings::RecentFiles(LauncherSettings::kMaxRecentFiles), paths);
    }
    ASSERT_EQ(LauncherSettings::StoreRecentFiles({"/plans/a.dsn", "/plans/b.dsn"}, 2), 1);
    EXPECT_EQ(LauncherSettings::RecentFiles(1), Paths{"/plans/a.dsn"});
    std::string first;
    EXPECT_EQ(CRegistry(HKEY_CURRENT_USER).ReadString("Software\\Ostrevant\\zarn\\Recent File List", "File1", first),
              1);
    EXPECT_EQ(first, "/plans/a.dsn");
}

// Only the decimal text the launcher writes counts as an accepted serial.
// The command line's server first, then each usable mirror once, in the stored order, without a trailing "/": a
// folder by path or by file URL is one server, a folder that is not there none.
TEST_F(LauncherSettingsTest, ServersAreThePrimaryThenThePolicysOrTheStoredMirrors) {
    const std::string primary = "http://vendor.test";
    EXPECT_EQ(LauncherSettings::Servers(primary), std::vector<std::string>{primary});
    const test::TempDir share;
    const std::optional<std::string> shareUrl = FolderServerUrl(share.Path().string());
    ASSERT_TRUE(shareUrl && IsFileUrl(*shareUrl));
    ASSERT_EQ(CRegistry(HKEY_CURRENT_USER)
                  .WriteMultiString("Software\\Ostrevant\\zarn", "Mirrors",
                                    {"https://m1.test:8443/", "ftp://m2.test", "http://vendor.test",
                                     "FILE:///srv/not-there", share.Path().string(), "/srv/not-there",
                                     "https://m1.test:8443", *shareUrl + "/", "http://m3.test//"}),
              1);
    EXPECT_EQ(LauncherSettings::Servers(primary),
              (std::vector<std::string>{primary, "https://m1.test:8443", *shareUrl, "http://m3.test"}));
    // The administrators' mirrors replace the user's, checked the same way.
    EXPECT_EQ(LauncherSettings::Servers(primary, {"http://policy.test/", "ftp://m2.test", primary}),
              (std::vector<std::string>{primary, "http://policy.test"}));
}

TEST_F(LauncherSettingsTest, AcceptedListSerialIsReadOnlyAsWritten) {
    EXPECT_EQ(LauncherSettings::AcceptedListSerial(), 0u);
    ASSERT_EQ(LauncherSettings::StoreAcceptedListSerial(18446744073709551615u), 1);
    EXPECT_EQ(LauncherSettings::AcceptedListSerial(), 18446744073709551615u);
    CRegistryValue expandable;
    expandable.SetString("9", 1);
    const CRegistryValue others[] = {CRegistryValue(DWORD{9}), CRegistryValue("9x"), expandable};
    for (const CRegistryValue& other : others) {
        ASSERT_EQ(CRegistry(HKEY_CURRENT_USER).WriteValue("Software\\Ostrevant\\zarn", "ListSerial", other), 1);
        EXPECT_EQ(LauncherSettings::AcceptedListSerial(), 0u);
    }
}

} // namespace
} // namespace zarn
