#include "components/DLLVersion.h"
#include "components/ObjectLookup.h"
#include "components/StripBraces.h"
#include "components/ZarnDoc.h"
#include "platform/RegistryApi.h"
#include "platform/VersionInfo.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/VersionedFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace zarn {
namespace {

using test::ScopedEnv;

void SetDefaultValue(const std::string& key, const std::string& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS)
        << key;
    EXPECT_EQ(RegSetValueExA(handle, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
}

// Registers a COM class the way a control's DllRegisterServer does; an empty progId leaves the ProgID key out.
void RegisterClass(const std::string& classId, const std::string& progId, const std::string& serverPath) {
    if (!progId.empty()) {
        SetDefaultValue("CLSID\\{" + classId + "}\\ProgID", progId);
        SetDefaultValue(progId, "Description of " + progId);
    }
    SetDefaultValue("CLSID\\{" + classId + "}\\InprocServer32", serverPath);
}

// Every test gets an application directory and a registry of its own.
class VersionDetection : public testing::Test {
protected:
    std::string AppFile(const std::string& relative) const { return m_app.Path(relative).string(); }

    test::TempAppDir m_app;
    test::ScratchRegistry m_registry;
};

struct ParseResult {
    int result;
    std::int32_t major;
    std::int32_t minor;
    std::int32_t third;
};

ParseResult Dotted(std::string_view text) {
    ParseResult r{0, -1, -1, -1};
    r.result = CDLLVersion::ParseDotted(text, r.major, r.minor, r.third);
    return r;
}

ParseResult Comma(std::string_view text) {
    ParseResult r{0, -1, -1, -1};
    r.result = CDLLVersion::ParseCommaSeparated(text, r.major, r.minor, r.third);
    return r;
}

void ExpectParse(const ParseResult& r, int result, std::int32_t major, std::int32_t minor, std::int32_t third) {
    EXPECT_EQ(r.result, result);
    EXPECT_EQ(r.major, major);
    EXPECT_EQ(r.minor, minor);
    EXPECT_EQ(r.third, third);
}

TEST(VersionTextParse, FieldsSplitAtRunsOfTheSeparator) {
    ExpectParse(Dotted("1.2.3.4"), 1, 1, 2, 3);
    ExpectParse(Dotted("..10...20.30"), 1, 10, 20, 30);
    ExpectParse(Dotted(" 5.-6.+7x.9"), 1, 5, -6, 7);
    ExpectParse(Dotted("a.b.c"), 1, 0, 0, 0);
    // Numbers found before a missing field stay stored; the rest are left alone.
    ExpectParse(Dotted("3.1"), 0, 3, 1, -1);
    ExpectParse(Dotted("7"), 0, 7, -1, -1);
    ExpectParse(Dotted("..."), 0, -1, -1, -1);
    ExpectParse(Dotted(""), 0, -1, -1, -1);
    ExpectParse(Comma("1, 2, 3, 4"), 1, 1, 2, 3);
    ExpectParse(Comma(",,4,,5"), 0, 4, 5, -1);
    ExpectParse(Dotted("99999999999.1.2"), 1, 2147483647, 1, 2);
}

TEST(StripBraces, RemovesOneBraceAtEachEndThenTrims) {
    const std::pair<std::string, std::string> cases[] = {
        {"{ABC-1}", "ABC-1"}, {"ABC-1", "ABC-1"}, {"{ABC-1", "ABC-1"},
        {"ABC-1}", "ABC-1"},  {"{{x}}", "{x}"},   {"  ABC  ", "ABC"},
        {"{}", ""},           {"{", ""},          {"", ""},
        {" {ABC} ", "{ABC}"}, {"{ A }", "A"},
    };
    for (const auto& [input, expected] : cases) {
        std::string text = input;
        StripBraces(text);
        EXPECT_EQ(text, expected) << '"' << input << '"';
    }
}

TEST_F(VersionDetection, ReadsVersionResourcesOfRealFiles) {
    const std::string pe = AppFile("control.dll");
    ASSERT_TRUE(test::WriteVersionedPe(pe, "1.2.3.4"));
    CDLLVersion version;
    EXPECT_EQ(version.Init(pe), 1);
    EXPECT_EQ(version.GetMajor(), 1);
    EXPECT_EQ(version.GetMinor(), 2);
    EXPECT_EQ(version.GetThird(), 3);
    EXPECT_EQ(version.m_valid, 1);
    EXPECT_EQ(version.GetVersionText(), "1.2.3.4");
    EXPECT_EQ(CDLLVersion::GetFileVersionText(pe), "1.2.3.4");

    const std::string elf = AppFile("libcontrol.so");
    ASSERT_TRUE(test::WriteVersionedElf(elf, "5.6.7"));
    CDLLVersion elfVersion;
#ifdef _WIN32
    // Windows reads version resources only: an ELF library's package note is no version information there.
    EXPECT_EQ(elfVersion.Init(elf), 0);
#else
    EXPECT_EQ(elfVersion.Init(elf), 1);
    EXPECT_EQ(elfVersion.GetMajor(), 5);
    EXPECT_EQ(elfVersion.GetMinor(), 6);
    EXPECT_EQ(elfVersion.GetThird(), 7);
#endif
}

TEST_F(VersionDetection, CommaAndShortVersionTexts) {
    // The comma parse only sees the text up to the end of the first dotted field: "1,2.3,4" splits into the
    // dotted fields "1,2" and "3,4" (two, not enough), and then by commas into "1" and "2" alone.
    const std::pair<std::string, ParseResult> cases[] = {
        {"1, 2, 0, 5", {1, 1, 2, 0}}, {"1, 2, 3, 4", {1, 1, 2, 3}}, {"3.1", {0, 3, 1, 0}},
        {"7", {0, 7, 0, 0}},          {"1,2.3,4", {0, 1, 2, 0}},    {"..9,8,7", {1, 0, 8, 7}},
    };
    for (const auto& [text, expected] : cases) {
        const std::string path = AppFile("v.dll");
        ASSERT_TRUE(test::WriteVersionedPe(path, text));
        CDLLVersion version;
        EXPECT_EQ(version.Init(path), expected.result) << text;
        EXPECT_EQ(version.GetVersionText(), text);
        EXPECT_EQ(version.m_valid, expected.result) << text;
        EXPECT_EQ(version.GetMajor(), expected.major) << text;
        EXPECT_EQ(version.GetMinor(), expected.minor) << text;
        EXPECT_EQ(version.GetThird(), expected.third) << text;
    }
}

TEST_F(VersionDetection, FilesWithoutVersionInformation) {
    CDLLVersion missing;
    EXPECT_EQ(missing.Init(AppFile("absent.dll")), 0);
    EXPECT_EQ(missing.GetMajor(), 0);
    EXPECT_EQ(missing.GetVersionText(), "");
    EXPECT_EQ(CDLLVersion::GetFileVersionText(AppFile("absent.dll")), std::nullopt);

    const std::string plain = AppFile("plain.dll");
    ASSERT_TRUE(test::WriteUnversionedPe(plain));
    CDLLVersion unversioned;
    EXPECT_EQ(unversioned.Init(plain), 0);
    EXPECT_EQ(unversioned.GetMajor(), 0);

    const std::string text = AppFile("readme.txt");
    ASSERT_TRUE(test::WriteBytes(text, {'1', '.', '2', '.', '3'}));
    CDLLVersion notBinary;
    EXPECT_EQ(notBinary.Init(text), 0);

    // A failed read leaves the text of an earlier one.
    CDLLVersion reused;
    const std::string pe = AppFile("x.dll");
    ASSERT_TRUE(test::WriteVersionedPe(pe, "4.5.6.7"));
    EXPECT_EQ(reused.Init(pe), 1);
    EXPECT_EQ(reused.Init(plain), 0);
    EXPECT_EQ(reused.GetVersionText(), "4.5.6.7");
    EXPECT_EQ(reused.GetMajor(), 0);
}

TEST_F(VersionDetection, LongVersionTextIsKeptWhole) {
    std::string text = "2.3.4.";
    text.append(300 - text.size(), '9');
    const std::string path = AppFile("long.dll");
    ASSERT_TRUE(test::WriteVersionedPe(path, text));
    CDLLVersion version;
    EXPECT_EQ(version.Init(path), 1);
    EXPECT_EQ(version.GetVersionText(), text);
    EXPECT_EQ(version.GetVersionText().size(), 300u);
    EXPECT_EQ(version.GetMajor(), 2);
}

TEST_F(VersionDetection, TranslationChoosesTheStringTable) {
    // One translation, whatever it is, names the table to read.
    const std::string german = AppFile("german.dll");
    ASSERT_TRUE(test::WriteVersionedPe(german, "8.1.0.0", {{0x0407, 0x04E4}}));
    EXPECT_EQ(CDLLVersion::GetFileVersionText(german), "8.1.0.0");

    // Two translations: the user's language with code page 04B0, which the second table does not match.
    const std::string two = AppFile("two.dll");
    ASSERT_TRUE(test::WriteVersionedPe(two, "9.2.0.0", {{0x0409, 0x04B0}, {0x0407, 0x04E4}}));
#ifdef _WIN32
    // Windows takes the user's language from the account, not the environment: only its own can be tried.
    EXPECT_EQ(CDLLVersion::GetFileVersionText(two),
              GetUserDefaultLangID() == 0x0409 ? std::optional<std::string>("9.2.0.0") : std::nullopt);
#else
    {
        ScopedEnv lang("LC_ALL", "en_US.UTF-8");
        EXPECT_EQ(CDLLVersion::GetFileVersionText(two), "9.2.0.0");
    }
    {
        ScopedEnv lang("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(CDLLVersion::GetFileVersionText(two), std::nullopt);
        CDLLVersion version;
        EXPECT_EQ(version.Init(two), 0);
        EXPECT_EQ(version.GetMajor(), 0);
    }
#endif
}

TEST_F(VersionDetection, LookupFollowsProgIdAndServerPath) {
    const std::string server = AppFile("ctl.ocx");
    ASSERT_TRUE(test::WriteVersionedPe(server, "3.4.5.6"));
    RegisterClass("AAAA-1111", "Quill.Control", server);

    for (const std::string id : {"AAAA-1111", "{AAAA-1111}", "  AAAA-1111 ", "{aaaa-1111}"}) {
        CObjectLookup lookup;
        lookup.m_classId = id;
        EXPECT_EQ(lookup.Lookup(), 1) << id;
        EXPECT_EQ(lookup.m_classId, id == "{aaaa-1111}" ? "aaaa-1111" : "AAAA-1111");
        EXPECT_EQ(lookup.m_progId, "Quill.Control");
        EXPECT_EQ(lookup.m_serverPath, server);
        EXPECT_EQ(lookup.m_description, "Description of Quill.Control");
        EXPECT_EQ(lookup.m_version.GetMajor(), 3);
        EXPECT_EQ(lookup.m_version.GetMinor(), 4);
    }

    // Blanks outside the braces keep the braces, so the keys are not found.
    CObjectLookup padded;
    padded.m_classId = " {AAAA-1111} ";
    EXPECT_EQ(padded.Lookup(), 0);
    EXPECT_EQ(padded.m_serverPath, "");

    CObjectLookup reader;
    EXPECT_EQ(reader.ReadServerPath("{AAAA-1111}"), server);
    EXPECT_EQ(reader.ReadServerPath("BBBB"), "");
    EXPECT_EQ(reader.ReadDescription("Quill.Control"), "Description of Quill.Control");
    EXPECT_EQ(reader.ReadDescription("No.Such"), "");
}

TEST_F(VersionDetection, LookupWithoutProgIdOrServerFile) {
    const std::string server = AppFile("noprog.dll");
    ASSERT_TRUE(test::WriteVersionedPe(server, "1.0.0.0"));
    RegisterClass("NOPROG", "", server);
    CObjectLookup noProgId;
    noProgId.m_classId = "NOPROG";
    noProgId.m_serverPath = "stale";
    noProgId.m_description = "stale";
    EXPECT_EQ(noProgId.Lookup(), 0);
    EXPECT_EQ(noProgId.m_serverPath, "");
    EXPECT_EQ(noProgId.m_description, "");

    RegisterClass("GONE", "Quill.Gone", AppFile("deleted.dll"));
    CObjectLookup gone;
    gone.m_classId = "GONE";
    EXPECT_EQ(gone.Lookup(), 0);
    EXPECT_EQ(gone.m_serverPath, AppFile("deleted.dll"));
    EXPECT_EQ(gone.m_description, "Description of Quill.Gone");

    // A directory registered as the server is no server file.
    RegisterClass("DIR", "Quill.Dir", m_app.Path("").string());
    CObjectLookup dir;
    dir.m_classId = "DIR";
    EXPECT_EQ(dir.Lookup(), 0);

    CObjectLookup empty;
    EXPECT_EQ(empty.Lookup(), 0);
}

// A record for the registered-server route with its own class, server file and listed version.
CCompObj& AddRegistered(CZarnDoc& doc, const std::string& classId, std::int32_t major, std::int32_t minor,
                        const std::string& regFile = "ctl.dll") {
    auto record = std::make_unique<CCompObj>();
    record->m_classId = classId;
    record->m_majorVer = major;
    record->m_minorVer = minor;
    record->m_regFile = regFile;
    doc.m_compList.push_back(std::move(record));
    return *doc.m_compList.back();
}

TEST_F(VersionDetection, ComparesTheFirstTwoNumbersOnly) {
    struct Case {
        std::int32_t listedMajor;
        std::int32_t listedMinor;
        const char* installed;
        const char* status;
    };
    const Case cases[] = {
        {2, 0, "1.9.0.0", "OUT_OF_DATE"},
        {1, 5, "1.4.0.0", "OUT_OF_DATE"},
        {1, 5, "2.0.0.0", "NEWER THAN SPECIFIED"},
        {1, 5, "1.6.0.0", "NEWER THAN SPECIFIED"},
        {1, 5, "1.5.0.0", "CURRENT"},
        {1, 2, "1.2.99.99", "CURRENT"},
        {1, 2, "1, 2, 0, 5", "CURRENT"},
        {3, 1, "3.1", "CURRENT"},
        {7, 0, "7", "CURRENT"},
        {0, 0, "", "CURRENT"},
        {1, 0, "", "OUT_OF_DATE"},
        {-1, 0, "0.0.0.0", "NEWER THAN SPECIFIED"},
        {2147483647, 0, "2147483647.0.0.0", "CURRENT"},
    };
    CZarnDoc doc(m_app.AppDir());
    int n = 0;
    for (const Case& c : cases) {
        const std::string id = "CLASS-" + std::to_string(n);
        const std::string server = AppFile("server" + std::to_string(n++) + ".dll");
        if (*c.installed == '\0') {
            ASSERT_TRUE(test::WriteUnversionedPe(server));
        } else {
            ASSERT_TRUE(test::WriteVersionedPe(server, c.installed));
        }
        RegisterClass(id, "Quill." + id, server);
        CCompObj& record = AddRegistered(doc, id, c.listedMajor, c.listedMinor);
        record.m_custNum = 7;
        record.m_buildNum = 9;
        record.m_status = "stale";
    }
    EXPECT_EQ(doc.CheckInstalledVersions(), 1);
    auto record = doc.m_compList.begin();
    for (const Case& c : cases) {
        EXPECT_EQ((*record)->m_status, c.status)
            << "listed " << c.listedMajor << '.' << c.listedMinor << " installed " << c.installed;
        ++record;
    }
}

TEST_F(VersionDetection, RegisteredRouteFindsNothingWithoutClassProgIdOrFile) {
    const std::string server = AppFile("noprog.dll");
    ASSERT_TRUE(test::WriteVersionedPe(server, "1.0.0.0"));
    RegisterClass("NOPROG", "", server);
    RegisterClass("GONE", "Quill.Gone", AppFile("deleted.dll"));
    CZarnDoc doc(m_app.AppDir());
    AddRegistered(doc, "", 1, 0).m_status = "stale";
    AddRegistered(doc, "NOPROG", 1, 0).m_status = "stale";
    AddRegistered(doc, "GONE", 1, 0).m_status = "stale";
    AddRegistered(doc, "NEVER-REGISTERED", 1, 0).m_status = "stale";
    doc.m_compList.push_back(nullptr);
    EXPECT_EQ(doc.CheckInstalledVersions(), 1);
    for (const auto& record : doc.m_compList) {
        if (record) {
            EXPECT_EQ(record->m_status, "NOT_INSTALLED") << record->m_classId;
        }
    }
}

#ifndef _WIN32
// The registry database is the POSIX store's own; Windows keeps its registry itself.
TEST_F(VersionDetection, DamagedRegistryDatabaseMeansNothingIsInstalled) {
    const std::string server = AppFile("ctl.dll");
    ASSERT_TRUE(test::WriteVersionedPe(server, "1.0.0.0"));
    RegisterClass("FINE", "Quill.Fine", server);
    CZarnDoc doc(m_app.AppDir());
    AddRegistered(doc, "FINE", 1, 0);
    ASSERT_EQ(doc.CheckInstalledVersions(), 1);
    ASSERT_EQ(doc.m_compList.front()->m_status, "CURRENT") << "the class is found in a sound database";

    const std::filesystem::path damaged = m_app.Outside() / "damaged.sqlite3";
    {
        std::ofstream out(damaged, std::ios::binary);
        out << std::string(4096, '\x5a') << "this is not a registry";
    }
    ScopedEnv useDamaged("ZARN_REGISTRY", damaged.string());
    EXPECT_EQ(doc.CheckInstalledVersions(), 1);
    EXPECT_EQ(doc.m_compList.front()->m_status, "NOT_INSTALLED");
}
#endif

TEST_F(VersionDetection, ControlsCountOnlyFromInsideTheApplicationDirectory) {
    const std::string outside = (m_app.Outside() / "elsewhere.ocx").string();
    const std::string inside = AppFile("inside.ocx");
    ASSERT_TRUE(test::WriteVersionedPe(outside, "1.0.0.0"));
    ASSERT_TRUE(test::WriteVersionedPe(inside, "1.0.0.0"));
    RegisterClass("OUT", "Quill.Out", outside);
    RegisterClass("IN", "Quill.In", inside);

    CZarnDoc doc(m_app.AppDir());
    CCompObj& controlOutside = AddRegistered(doc, "OUT", 1, 0, "elsewhere.ocx");
    CCompObj& controlOutsideUpper = AddRegistered(doc, "OUT", 1, 0, "ELSEWHERE.OCX");
    CCompObj& libraryOutside = AddRegistered(doc, "OUT", 1, 0, "elsewhere.dll");
    CCompObj& bareOcx = AddRegistered(doc, "OUT", 1, 0, ".ocx");
    CCompObj& controlInside = AddRegistered(doc, "IN", 1, 0, "inside.ocx");
    doc.CheckInstalledVersions();
    EXPECT_EQ(controlOutside.m_status, "NOT_INSTALLED");
    EXPECT_EQ(controlOutsideUpper.m_status, "NOT_INSTALLED");
    EXPECT_EQ(libraryOutside.m_status, "CURRENT");
    EXPECT_EQ(bareOcx.m_status, "CURRENT");
    EXPECT_EQ(controlInside.m_status, "CURRENT");

    // The application directory is matched without regard to letter case.
    std::string upperAppDir = m_app.AppDir();
    for (char& c : upperAppDir) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    CZarnDoc upper(upperAppDir);
    CCompObj& control = AddRegistered(upper, "IN", 1, 0, "inside.ocx");
    upper.CheckInstalledVersions();
    EXPECT_EQ(control.m_status, "CURRENT");
}

// A record for the application-file route: the file at dir/fileName under the application directory.
CCompObj& AddAppFile(CZarnDoc& doc, const std::string& regFile, const std::string& dir, const std::string& fileName,
                     std::int32_t major, std::int32_t minor) {
    auto record = std::make_unique<CCompObj>();
    record->m_regFile = regFile;
    record->m_dir = dir;
    record->m_fileName = fileName;
    record->m_majorVer = major;
    record->m_minorVer = minor;
    record->m_status = "stale";
    doc.m_compList.push_back(std::move(record));
    return *doc.m_compList.back();
}

TEST_F(VersionDetection, ApplicationFileRoute) {
    std::filesystem::create_directory(m_app.Path("tools"));
    ASSERT_TRUE(test::WriteVersionedPe(AppFile("tools/current.exe"), "2.1.0.0"));
    ASSERT_TRUE(test::WriteVersionedPe(AppFile("tools/old.exe"), "2.0.5.5"));
    ASSERT_TRUE(test::WriteVersionedPe(AppFile("tools/newer"), "3.0.0.0"));
    ASSERT_TRUE(test::WriteVersionedPe(AppFile("tools/zero.exe"), "0.9.0.0"));
    ASSERT_TRUE(test::WriteUnversionedPe(AppFile("tools/plain.exe")));
    // Registered under a class too: the app route never looks at the registry.
    RegisterClass("APPCLASS", "Quill.App", AppFile("tools/old.exe"));

    CZarnDoc doc(m_app.AppDir());
    CCompObj& current = AddAppFile(doc, "app", "tools", "current.exe", 2, 1);
    CCompObj& upper = AddAppFile(doc, "APP", "tools", "current.exe", 2, 1);
    CCompObj& mixed = AddAppFile(doc, "aPp", "tools", "old.exe", 2, 1);
    mixed.m_classId = "APPCLASS";
    CCompObj& newer = AddAppFile(doc, "app", "tools", "newer", 2, 9);
    CCompObj& zero = AddAppFile(doc, "app", "tools", "zero.exe", 0, 9);
    CCompObj& plain = AddAppFile(doc, "app", "tools", "plain.exe", 0, 0);
    CCompObj& missing = AddAppFile(doc, "app", "tools", "missing.exe", 1, 0);
    CCompObj& fail = AddAppFile(doc, "app", "tools", "FAIL", 1, 0);
    CCompObj& notApp = AddAppFile(doc, "apps", "tools", "current.exe", 2, 1);
    doc.CheckInstalledVersions();
    EXPECT_EQ(current.m_status, "CURRENT");
    EXPECT_EQ(upper.m_status, "CURRENT");
    EXPECT_EQ(mixed.m_status, "OUT_OF_DATE");
    EXPECT_EQ(newer.m_status, "NEWER THAN SPECIFIED");
    EXPECT_EQ(zero.m_status, "NOT_INSTALLED");
    EXPECT_EQ(plain.m_status, "NOT_INSTALLED");
    EXPECT_EQ(missing.m_status, "NOT_INSTALLED");
    EXPECT_EQ(fail.m_status, "NOT_INSTALLED");
    EXPECT_EQ(notApp.m_status, "NOT_INSTALLED");
}

TEST_F(VersionDetection, PathsLongerThanOldBuffersAreReadWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows' version functions take paths of at most MAX_PATH characters";
#endif
    // A directory path of about 800 characters: beyond 511 and 1023 characters once joined with the file name.
    std::string deep;
    for (int level = 0; level < 8; ++level) {
        deep += (level == 0 ? "" : "/") + std::string(100, static_cast<char>('a' + level));
    }
    std::filesystem::create_directories(m_app.Path(deep));
    const std::string server = AppFile(deep + "/" + std::string(200, 's') + ".ocx");
    ASSERT_GT(server.size(), 1024u);
    ASSERT_TRUE(test::WriteVersionedPe(server, "6.5.0.0"));
    RegisterClass("DEEP", "Quill.Deep", server);
    ASSERT_TRUE(test::WriteVersionedPe(AppFile(deep + "/tool.exe"), "6.5.0.0"));

    CZarnDoc doc(m_app.AppDir());
    CCompObj& control = AddRegistered(doc, "DEEP", 6, 5, "deep.ocx");
    CCompObj& tool = AddAppFile(doc, "app", deep, "tool.exe", 6, 4);
    doc.CheckInstalledVersions();
    EXPECT_EQ(control.m_status, "CURRENT");
    EXPECT_EQ(tool.m_status, "NEWER THAN SPECIFIED");
}

TEST_F(VersionDetection, ParsedListThenDetectedStatuses) {
    std::filesystem::create_directory(m_app.Path("cad"));
    const std::string server = AppFile("cad/cad.ocx");
    ASSERT_TRUE(test::WriteVersionedPe(server, "4.2.0.1"));
    RegisterClass("CAD-0001", "Quill.Cad", server);
    m_app.WriteList("[STARTCOMP]\r\ndesc=Design\r\nclassid={CAD-0001}\r\nmajor_ver=4\r\nminor_ver=3\r\n"
                    "codebase=http://h/cad.cab\r\ndir=cad\r\nregfile=cad.ocx\r\n[ENDCOMP]\r\n"
                    "[STARTCOMP]\r\ndesc=Tool\r\nmajor_ver=1\r\ncodebase=http://h/tool.exe\r\ndir=tool\r\n"
                    "regfile=App\r\n[ENDCOMP]\r\n");
    CZarnDoc doc(m_app.AppDir());
    ASSERT_EQ(doc.ParseComponentList(), 1);
    ASSERT_EQ(doc.m_compList.size(), 2u);
    ASSERT_TRUE(test::WriteVersionedPe(AppFile("tool/tool.exe"), "1.0.0.0"));
    EXPECT_EQ(doc.CheckInstalledVersions(), 1);
    EXPECT_EQ(doc.m_compList.front()->m_status, "OUT_OF_DATE");
    EXPECT_EQ(doc.m_compList.back()->m_status, "CURRENT");
    // Everything but the status stays as the file gave it.
    EXPECT_EQ(doc.m_compList.front()->m_classId, "{CAD-0001}");
}

} // namespace
} // namespace zarn
