// zarn-publish run as the vendor runs it: a key pair, a repository built from a manifest and verified, and verify
// catching each thing a launcher with the keys would refuse.
#include "components/ComponentListReader.h"
#include "platform/Signature.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

constexpr const char* kServer = "http://vendor.test:8080";

class ZarnPublish : public testing::Test {
protected:
    ZarnPublish() {
        fs::create_directories(m_dir.Path() / "src/lib/sub");
        WriteFile(m_dir.File("src/lib/a.txt"), "first file");
        WriteFile(m_dir.File("src/lib/sub/b.txt"), "second file, one folder down");
        WriteFile(m_dir.File("src/ctl.ocx"), std::string(3000, 'c'));
        WriteFile(m_dir.File("src/setup.exe"), "#!/bin/sh\nexit 0\n");
        WriteFile(m_dir.File("src/tool"), "tool bytes");
        WriteFile(Manifest(),
                  "# the test's repository\nserver=" + std::string(kServer) +
                      "\n\n[component]\ndesc=Control\nname=Ctl\nclassid={0B5C1F00-0000-4000-8000-0000000000C1}"
                      "\nversion=1.2.3.4\nkind=REG\ndir=ctl\nsource=src/ctl.ocx\ncompress=no\n"
                      "[component]\ndesc=Library\nversion=2.0.0.1\nkind=LIB\ndir=lib\nsource=src/lib\n"
                      "[component]\ndesc=Tool\nversion=3.1.0.0\nkind=APP\ndir=tool\nsource=src/tool\n"
                      "[component]\ndesc=Setup\nversion=4.0.0.9\nkind=EXE\ndir=setup\nsource=src/setup.exe\n");
    }

    std::string Manifest() const { return m_dir.File("repository.manifest"); }
    fs::path Out() const { return m_dir.Path() / "out"; }
    std::string ListFile() const { return (Out() / "quillornacc/complist/complist.txt").string(); }
    std::string Component(const std::string& name) const { return (Out() / "quillornacc/components" / name).string(); }

    test::ProgramOutcome Run(const std::string& program, const std::vector<std::string>& arguments) const {
        test::ProgramOutcome run = test::RunProgram(program, arguments, test::EnvironmentWith({}),
                                                    m_dir.File("stdout.txt"), m_dir.File("stderr.txt"));
        EXPECT_EQ(run.problem, "");
        return run;
    }
    test::ProgramOutcome Publish(const std::vector<std::string>& arguments) const {
        return Run(ZARN_PUBLISH_PATH, arguments);
    }
    void KeygenAndBuild() const {
        ASSERT_EQ(Publish({"keygen", m_dir.File("keys")}).exitCode, 0);
        const test::ProgramOutcome build = Publish({"build", Manifest(), Out().string(), "--key", PrivateKey()});
        ASSERT_EQ(build.exitCode, 0) << build.err;
    }
    std::string PrivateKey() const { return m_dir.File("keys/private.pem"); }
    std::string PublicKey() const { return m_dir.File("keys/public.pem"); }

    test::TempDir m_dir;
};

TEST_F(ZarnPublish, KeygenBuildAndVerifyMakeARepositoryTheLauncherAccepts) {
    KeygenAndBuild();
    EXPECT_EQ(fs::status(PrivateKey()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    const std::string privatePem = ReadFile(PrivateKey());
    EXPECT_NE(Publish({"keygen", m_dir.File("keys")}).exitCode, 0) << "a key pair is never replaced";
    EXPECT_EQ(ReadFile(PrivateKey()), privatePem);

    const std::string list = ReadFile(ListFile());
    EXPECT_TRUE(platform::VerifyEcdsaP256Sha256(ReadFile(PublicKey()), list, ReadFile(ListFile() + ".sig")));
    ComponentList records;
    ComponentListReader reader(records, {});
    reader.Feed(list);
    reader.Finish();
    EXPECT_EQ(reader.Header().serial, 1u);
    ASSERT_TRUE(reader.Header().expires);
    EXPECT_NEAR(static_cast<double>(*reader.Header().expires - std::time(nullptr)), 30.0 * 86400, 120);
    const struct {
        const char* kind;
        const char* version;
        const char* file;
        const char* regFile;
    } expected[] = {{"REG", "1.2.3.4", "ctl.cab", "ctl.ocx"},
                    {"LIB", "2.0.0.1", "lib.cab", "lib"},
                    {"APP", "3.1.0.0", "tool", "app"},
                    {"EXE", "4.0.0.9", "setup.exe", ""}};
    ASSERT_EQ(records.size(), std::size(expected));
    auto record = records.begin();
    for (const auto& e : expected) {
        const CCompObj& r = **record++;
        SCOPED_TRACE(r.m_desc);
        EXPECT_EQ(r.m_installType, e.kind);
        EXPECT_EQ(r.GetVersionString(), e.version);
        EXPECT_EQ(r.m_regFile, e.regFile);
        EXPECT_EQ(r.m_codebase, std::string(kServer) + "/quillornacc/components/" + e.file);
        const std::string bytes = ReadFile(Component(e.file));
        EXPECT_EQ(r.m_sha256, test::Sha256Hex(bytes));
        EXPECT_EQ(r.m_size, bytes.size());
    }
    // The folder's cabinet unpacks, with the launcher's expander, into the folder's files.
    fs::create_directory(m_dir.Path() / "unpacked");
    EXPECT_EQ(Run(ZARN_EXPAND_PATH, {"-F:*", Component("lib.cab"), m_dir.File("unpacked")}).exitCode, 0);
    EXPECT_EQ(ReadFile(m_dir.File("unpacked/a.txt")), "first file");
    EXPECT_EQ(ReadFile(m_dir.File("unpacked/sub/b.txt")), "second file, one folder down");

    // The next publication raises the serial, for another server and span.
    const test::ProgramOutcome again = Publish({"build", Manifest(), Out().string(), "--key", PrivateKey(), "--server",
                                                "https://cdn.vendor.test/", "--valid-days", "7"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ReadFile(ListFile()).rfind("serial=2\n", 0), 0u);
    EXPECT_NE(ReadFile(ListFile()).find("codebase=https://cdn.vendor.test/quillornacc/components/tool\n"),
              std::string::npos);
    const test::ProgramOutcome verify = Publish({"verify", Out().string(), "--key", PublicKey()});
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_NE(verify.out.find("serial 2"), std::string::npos) << verify.out;
}

// Each change that makes a launcher with the keys refuse the list or a component makes verify fail and say why;
// the list re-signed after a change stands for a vendor who signed a faulty list.
TEST_F(ZarnPublish, VerifyCatchesWhatTheLauncherRefuses) {
    KeygenAndBuild();
    ASSERT_EQ(Publish({"keygen", m_dir.File("other")}).exitCode, 0);
    const std::string list = ReadFile(ListFile());
    const auto resign = [this](const std::string& text) {
        WriteFile(ListFile(), text);
        WriteFile(ListFile() + ".sig", platform::SignEcdsaP256Sha256(ReadFile(PrivateKey()), text));
    };
    const auto replaced = [&list](const std::string& from, const std::string& to) {
        std::string text = list;
        return text.replace(text.find(from), from.size(), to);
    };
    const struct {
        const char* name;
        std::function<void()> change;
        std::string said;
    } cases[] = {
        {"a component file changed in one byte",
         [&] {
             std::string bytes = ReadFile(Component("tool"));
             bytes[3] ^= 0x20;
             WriteFile(Component("tool"), bytes);
         },
         "tool is 10 bytes, SHA-256 "},
        {"a component file missing", [&] { fs::remove(Component("setup.exe")); }, "setup.exe cannot be read"},
        {"a list byte changed", [&] { WriteFile(ListFile(), replaced("desc=Tool", "desc=TooL")); },
         "the signature does not verify with the given key"},
        {"the signature missing", [&] { fs::remove(ListFile() + ".sig"); }, "complist.txt.sig: missing"},
        {"the signature empty", [&] { WriteFile(ListFile() + ".sig", ""); }, "complist.txt.sig: empty"},
        {"the signature truncated",
         [&] {
             const std::string signature = ReadFile(ListFile() + ".sig");
             WriteFile(ListFile() + ".sig", signature.substr(0, signature.size() - 2));
         },
         "the signature does not verify"},
        {"signed with another key",
         [&] {
             WriteFile(ListFile() + ".sig",
                       platform::SignEcdsaP256Sha256(ReadFile(m_dir.File("other/private.pem")), list));
         },
         "the signature does not verify"},
        {"expired", [&] { resign(replaced(list.substr(list.find("expires="), 29), "expires=2020-02-29T12:00:00Z\n")); },
         "the list expired at 2020-02-29T12:00:00Z"},
        {"no serial", [&] { resign(replaced("serial=1\n", "")); }, "the list has no serial="},
        {"an installing block without sha256=",
         [&] {
             const size_t at = list.find("sha256=", list.find("desc=Tool"));
             resign(replaced(list.substr(at, 72), ""));
         },
         "component \"Tool\": its block lacks a valid sha256= and size="},
    };
    const fs::path pristine = m_dir.Path() / "pristine";
    fs::copy(Out(), pristine, fs::copy_options::recursive);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Out());
        fs::copy(pristine, Out(), fs::copy_options::recursive);
        c.change();
        const test::ProgramOutcome verify = Publish({"verify", Out().string(), "--key", PublicKey()});
        EXPECT_EQ(verify.exitCode, 2);
        EXPECT_NE(verify.err.find(c.said), std::string::npos) << verify.err;
    }
    // While keys rotate, a list signed with either of the two verifies.
    fs::remove_all(Out());
    fs::copy(pristine, Out(), fs::copy_options::recursive);
    const test::ProgramOutcome rotating =
        Publish({"verify", Out().string(), "--key", m_dir.File("other/public.pem"), "--key", PublicKey()});
    EXPECT_EQ(rotating.exitCode, 0) << rotating.err;
}

TEST_F(ZarnPublish, ManifestMistakesAreRefusedWithTheirLineBeforeAnythingIsWritten) {
    ASSERT_EQ(Publish({"keygen", m_dir.File("keys")}).exitCode, 0);
    const std::string good = "[component]\ndesc=Tool\nversion=1.0.0.0\nkind=APP\ndir=tool\nsource=src/tool\n";
    const struct {
        std::string manifest;
        std::string said;
    } cases[] = {
        {"server=http://v.test\n" + good + "colour=red\n", "repository.manifest:8: unknown key colour="},
        {good + "[component]\ndesc=X\nkind=DLL\n", "repository.manifest:9: kind= must be REG, LIB, APP or EXE"},
        {good + "version=1.2\n", "repository.manifest:7: version= is given twice"},
        {"[component]\ndesc=Tool\nversion=1.2\n", "repository.manifest:3: version= must be four numbers a.b.c.d"},
        {"[component]\ndesc=Tool\nversion=1.0.0.0\nkind=APP\ndir=../tool\nsource=src/tool\n",
         "repository.manifest:1: dir= must name a folder below the application directory"},
        {"[component]\ndesc=Setup\nversion=1.0.0.0\nkind=EXE\ndir=s\nsource=src/tool\n",
         "repository.manifest:1: an EXE component's published name must end in \"exe\""},
        {"[component]\ndesc=Ctl\nversion=1.0.0.0\nkind=REG\ndir=c\nsource=src/lib\n",
         "repository.manifest:1: a REG component's regfile= must end in \"ocx\""},
        {"server=http://v.test\n[component]\ndesc=Tool\nversion=1.0.0.0\nkind=APP\ndir=tool\nsource=src/none\n",
         "src/none: no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.manifest);
        WriteFile(Manifest(), c.manifest);
        const test::ProgramOutcome build = Publish({"build", Manifest(), Out().string(), "--key", PrivateKey()});
        EXPECT_EQ(build.exitCode, 2);
        EXPECT_NE(build.err.find(c.said), std::string::npos) << build.err;
        EXPECT_FALSE(fs::exists(ListFile()));
    }
}

} // namespace
} // namespace zarn
