#include "components/LauncherPolicy.h"

#include "components/PolicyNames.h"
#include "components/Registry.h"
#include "components/RegistryValue.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

using Lines = std::vector<std::string>;

class LauncherPolicyTest : public ::testing::Test {
protected:
    void Write(const char* key, const char* name, const CRegistryValue& value) {
        ASSERT_EQ(CRegistry(HKEY_LOCAL_MACHINE).WriteValue(key, name, value), 1);
    }

    test::ScratchRegistry m_scratch;
};

TEST_F(LauncherPolicyTest, ReadsEachValueFromTheMachinePolicyKeyOnly) {
    // The user's own key of the same path is no policy.
    ASSERT_EQ(CRegistry(HKEY_CURRENT_USER).WriteString(policy::kKey, policy::kServerValue, "http://user.test"), 1);
    EXPECT_EQ(LauncherPolicy::Read().AppliedLines(), Lines{});

    Write(policy::kKey, policy::kServerValue, CRegistryValue("http://policy.test"));
    Write(policy::kKey, policy::kMirrorsValue,
          CRegistryValue(std::vector<std::string>{"http://a.test", "http://b.test"}));
    Write(policy::kKey, policy::kProxyServerValue, CRegistryValue("proxy.test:3128"));
    Write(policy::kKey, policy::kProxyPacUrlValue, CRegistryValue("http://wpad.test/proxy.pac"));
    Write(policy::kKey, policy::kCaFileValue, CRegistryValue("/etc/company-ca.pem"));
    Write(policy::kKey, policy::kUpdatesDisabledValue, CRegistryValue(DWORD{1}));
    Write(policy::kTargetVersionKey, "Design", CRegistryValue("2.0.10.4"));
    // A key below TargetVersion holds no pins.
    Write((std::string(policy::kTargetVersionKey) + "\\Deeper").c_str(), "Viewer", CRegistryValue("1.0.0.0"));

    const LauncherPolicy read = LauncherPolicy::Read();
    EXPECT_EQ(read.Ignored(), Lines{});
    EXPECT_EQ(read.AppliedLines(), (Lines{
                                       "Server = http://policy.test",
                                       "Mirrors = http://a.test http://b.test",
                                       "ProxyServer = proxy.test:3128",
                                       "ProxyPacUrl = http://wpad.test/proxy.pac",
                                       "CaFile = /etc/company-ca.pem",
                                       "UpdatesDisabled = 1",
                                       "TargetVersion\\Design = 2.0.10.4",
                                   }));
    EXPECT_EQ(read.Mirrors(), (Lines{"http://a.test", "http://b.test"}));
    EXPECT_EQ(read.TargetVersion("DESIGN"), (LauncherPolicy::Version{2, 0, 10, 4}));
    EXPECT_EQ(read.TargetVersion("Viewer"), std::nullopt);
}

TEST_F(LauncherPolicyTest, ValuesOfAnotherTypeOrMalformedAreIgnoredAndSaid) {
    CRegistryValue expandable;
    expandable.SetString("/etc/ca.pem", 1);
    const struct {
        const char* key;
        const char* name;
        CRegistryValue value;
        const char* ignored;
    } cases[] = {
        {policy::kKey, "Server", CRegistryValue(DWORD{1}), "policy value Server ignored: it is no REG_SZ"},
        {policy::kKey, "Server", CRegistryValue(""), "policy value Server ignored: \"\" is not a server"},
        {policy::kKey, "Mirrors", CRegistryValue("http://a.test"),
         "policy value Mirrors ignored: it is no REG_MULTI_SZ"},
        {policy::kKey, "ProxyServer", CRegistryValue("proxy.test 3128"),
         "policy value ProxyServer ignored: \"proxy.test 3128\" is not host:port"},
        {policy::kKey, "ProxyPacUrl", CRegistryValue("wpad.test/proxy.pac"),
         "policy value ProxyPacUrl ignored: \"wpad.test/proxy.pac\" is not an http, https or file URL"},
        {policy::kKey, "CaFile", expandable, "policy value CaFile ignored: it is no REG_SZ"},
        {policy::kKey, "UpdatesDisabled", CRegistryValue(DWORD{2}),
         "policy value UpdatesDisabled ignored: it is no REG_DWORD 0 or 1"},
        {policy::kTargetVersionKey, "Design", CRegistryValue(DWORD{2}),
         "policy value TargetVersion\\Design ignored: it is no REG_SZ"},
        {policy::kTargetVersionKey, "Design", CRegistryValue("2.0.10"),
         "policy value TargetVersion\\Design ignored: \"2.0.10\" is not a version a.b.c.d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ignored);
        CRegistry(HKEY_LOCAL_MACHINE).Delete(policy::kKey, nullptr);
        Write(c.key, c.name, c.value);
        const LauncherPolicy read = LauncherPolicy::Read();
        EXPECT_EQ(read.Ignored(), Lines{c.ignored});
        EXPECT_EQ(read.AppliedLines(), Lines{});
    }
}

TEST(LauncherPolicyVersion, TakesExactlyFourDecimalNumbers) {
    using V = LauncherPolicy::Version;
    EXPECT_EQ(LauncherPolicy::ParseVersion("1.2.3.4"), (V{1, 2, 3, 4}));
    EXPECT_EQ(LauncherPolicy::ParseVersion("0.0.0.2147483647"), (V{0, 0, 0, 2147483647}));
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.", ".1.2.3", "1..2.3", "1.2.3.2147483648", "1.2.3.-4",
                            "1.2.3.4 ", "a.b.c.d", "1,2,3,4", "1.2.3.99999999999"}) {
        EXPECT_EQ(LauncherPolicy::ParseVersion(bad), std::nullopt) << bad;
    }
}

} // namespace
} // namespace zarn
