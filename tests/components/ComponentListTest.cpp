#include "components/ComponentListReader.h"
#include "components/InstallPathCheck.h"
#include "components/ZarnDoc.h"
#include "tests/support/TempAppDir.h"
#include "text/AsciiText.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

namespace zarn {
namespace {

ComponentList Parse(std::string_view text, std::vector<std::string>* dirs = nullptr) {
    ComponentList list;
    ComponentListReader::ParseText(text, list, [dirs](const std::string& dir) {
        if (dirs != nullptr) {
            dirs->push_back(dir);
        }
    });
    return list;
}

std::vector<std::string> Descriptions(const ComponentList& list) {
    std::vector<std::string> result;
    for (const auto& record : list) {
        result.push_back(record->m_desc);
    }
    return result;
}

TEST(ComponentRecord, StartsWithInitialValuesAndFormatsItsVersion) {
    CCompObj record;
    EXPECT_EQ(record.m_status, "NOT_INSTALLED");
    EXPECT_EQ(record.GetVersionString(), "0.0.0.0");
    record.m_majorVer = 3;
    record.m_minorVer = 1;
    record.m_custNum = 0;
    record.m_buildNum = 27;
    EXPECT_EQ(record.GetVersionString(), "3.1.0.27");
    record.m_majorVer = -3;
    record.m_buildNum = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(record.GetVersionString(), "-3.1.0.-2147483648");
}

TEST(ComponentListReader, ReadsEveryFieldOfABlock) {
    const ComponentList list = Parse("[STARTCOMP]\n"
                                     "desc=Design Control\n"
                                     "name=cad\n"
                                     "classid={1234-AB}\n"
                                     "major_ver=3\n"
                                     "minor_ver=1\n"
                                     "cust_num=0\n"
                                     "build_num=27\n"
                                     "codebase=http://host/files/cad.cab\n"
                                     "dir=cad\n"
                                     "regfile=cad.ocx\n"
                                     "[ENDCOMP]\n");
    ASSERT_EQ(list.size(), 1u);
    const CCompObj& r = *list.front();
    EXPECT_EQ(r.m_desc, "Design Control");
    EXPECT_EQ(r.m_name, "cad");
    EXPECT_EQ(r.m_classId, "{1234-AB}");
    EXPECT_EQ(r.GetVersionString(), "3.1.0.27");
    EXPECT_EQ(r.m_codebase, "http://host/files/cad.cab");
    EXPECT_EQ(r.m_fileName, "cad.cab");
    EXPECT_EQ(r.m_dir, "cad");
    EXPECT_EQ(r.m_regFile, "cad.ocx");
    EXPECT_EQ(r.m_installType, "REG");
    EXPECT_EQ(r.m_status, "NOT_INSTALLED");
}

// The integrity and header additions: kept when well-formed, dropped and noted when not, and without effect on
// any other key.
TEST(ComponentListReader, IntegrityAndHeaderValues) {
    const std::string hash(64, 'a');
    struct Case {
        const char* value;
        bool valid;
    };
    for (const Case& c : {Case{"0123456789ABCDEFabcdef0123456789abcdef0123456789abcdef0123456789", true},
                          Case{"0123456789abcdef", false},
                          Case{"g123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", false},
                          Case{" 123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", false}}) {
        const ComponentList list = Parse(std::string("[STARTCOMP]\ndesc=a\nsha256=") + c.value + "\n[ENDCOMP]\n");
        ASSERT_EQ(list.size(), 1u) << c.value;
        EXPECT_EQ(list.front()->m_sha256, c.valid ? ToLowerAscii(c.value) : "") << c.value;
        EXPECT_EQ(list.front()->m_integrityMalformed, !c.valid) << c.value;
        EXPECT_EQ(list.front()->m_desc, "a");
    }
    for (const auto& [value, size] :
         std::vector<std::pair<std::string, std::optional<std::uint64_t>>>{{"0", 0},
                                                                           {"1234", 1234},
                                                                           {"18446744073709551615", UINT64_MAX},
                                                                           {"18446744073709551616", {}},
                                                                           {"-1", {}},
                                                                           {"12abc", {}},
                                                                           {"", {}},
                                                                           {" 7", {}}}) {
        const ComponentList list = Parse("[STARTCOMP]\nsize=" + value + "\nmajor_ver=2\n[ENDCOMP]\n");
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list.front()->m_size, size) << value;
        EXPECT_EQ(list.front()->m_integrityMalformed, !size) << value;
        EXPECT_EQ(list.front()->m_majorVer, 2);
    }
    const ComponentList plain = Parse("[STARTCOMP]\ncodebase=http://h/a.exe\n[ENDCOMP]\n");
    EXPECT_TRUE(plain.front()->m_sha256.empty());
    EXPECT_FALSE(plain.front()->m_size.has_value());
    EXPECT_FALSE(plain.front()->m_integrityMalformed);
    EXPECT_EQ(plain.front()->m_installType, "EXE");

    struct HeaderCase {
        const char* text;
        std::optional<std::uint64_t> serial;
        std::optional<std::int64_t> expires;
        bool malformed;
    };
    for (const HeaderCase& c : {
             HeaderCase{"serial=7\nexpires=2030-01-02T03:04:05Z\n", 7, 1893553445, false},
             HeaderCase{"expires=1970-01-01T00:00:00Z\n", {}, 0, false},
             HeaderCase{"expires=2024-02-29T23:59:59Z\n", {}, 1709251199, false},
             HeaderCase{"expires=2023-02-29T00:00:00Z\n", {}, {}, true},
             HeaderCase{"expires=2030-01-02 03:04:05Z\n", {}, {}, true},
             HeaderCase{"expires=2030-13-02T03:04:05Z\n", {}, {}, true},
             HeaderCase{"serial=0\n", {}, {}, true},
             HeaderCase{"serial=+3\n", {}, {}, true},
             HeaderCase{"serial=3\nserial=9\n", 9, {}, false},
             // Only the lines before the first block belong to the list.
             HeaderCase{"[STARTCOMP]\n[ENDCOMP]\nserial=4\n", {}, {}, false},
         }) {
        ComponentList list;
        ComponentListReader reader(list, {});
        reader.Feed(c.text);
        reader.Finish();
        EXPECT_EQ(reader.Header().serial, c.serial) << c.text;
        EXPECT_EQ(reader.Header().expires, c.expires) << c.text;
        EXPECT_EQ(reader.Header().malformed, c.malformed) << c.text;
    }
}

TEST(ComponentListReader, EmptyBlockKeepsInitialValues) {
    const ComponentList list = Parse("[STARTCOMP]\n[ENDCOMP]\n");
    ASSERT_EQ(list.size(), 1u);
    const CCompObj& r = *list.front();
    EXPECT_EQ(r.GetVersionString(), "0.0.0.0");
    EXPECT_EQ(r.m_status, "NOT_INSTALLED");
    EXPECT_TRUE(r.m_desc.empty() && r.m_name.empty() && r.m_classId.empty() && r.m_codebase.empty() &&
                r.m_dir.empty() && r.m_regFile.empty() && r.m_installType.empty() && r.m_fileName.empty());
}

TEST(ComponentListReader, BlockBoundaries) {
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(Parse("\n\n   \t\n\r\n").empty());
    // Unended block at the end of the file is dropped, the ones before stay.
    EXPECT_EQ(Descriptions(Parse("[STARTCOMP]\ndesc=a\n[ENDCOMP]\n[STARTCOMP]\ndesc=b\n")),
              std::vector<std::string>{"a"});
    // A second start discards the first block.
    EXPECT_EQ(Descriptions(Parse("[STARTCOMP]\ndesc=a\n[STARTCOMP]\nname=n\n[ENDCOMP]\n")),
              std::vector<std::string>{""});
    // Text after the markers on the same line does not matter.
    EXPECT_EQ(Descriptions(Parse("[STARTCOMP] first\ndesc=a\n[ENDCOMP]trailing text\n")),
              std::vector<std::string>{"a"});
    // File order.
    EXPECT_EQ(Descriptions(Parse("[STARTCOMP]\ndesc=1\n[ENDCOMP]\n[STARTCOMP]\ndesc=2\n[ENDCOMP]\n"
                                 "[STARTCOMP]\ndesc=3\n[ENDCOMP]")),
              (std::vector<std::string>{"1", "2", "3"}));
}

TEST(ComponentListReader, LinesOutsideABlockTouchNoRecord) {
    std::vector<std::string> dirs;
    const ComponentList list = Parse("desc=before\n[ENDCOMP]\ndir=outside1\n"
                                     "[STARTCOMP]\ndesc=a\ndir=inside\n[ENDCOMP]\n"
                                     "desc=changed\ndir=outside2\n[ENDCOMP]\n[ENDCOMP]\n",
                                     &dirs);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front()->m_desc, "a");
    EXPECT_EQ(list.front()->m_dir, "inside");
    EXPECT_EQ(dirs, std::vector<std::string>{"inside"});
    for (const auto& record : list) {
        EXPECT_NE(record, nullptr);
    }
}

TEST(ComponentListReader, RepeatedKeysLastWins) {
    std::vector<std::string> dirs;
    const ComponentList list = Parse("[STARTCOMP]\ndesc=a\ndesc=b\ncodebase=http://h/x/setup.exe\n"
                                     "codebase=http://h/y/data.cab\ndir=one\ndir=two\n[ENDCOMP]\n",
                                     &dirs);
    ASSERT_EQ(list.size(), 1u);
    const CCompObj& r = *list.front();
    EXPECT_EQ(r.m_desc, "b");
    EXPECT_EQ(r.m_fileName, "data.cab");
    // The type set by the first codebase stays: only a matching test changes it.
    EXPECT_EQ(r.m_installType, "EXE");
    EXPECT_EQ(r.m_dir, "two");
    EXPECT_EQ(dirs, (std::vector<std::string>{"one", "two"}));
}

TEST(ComponentListReader, TrimsLinesButKeepsValuesByteForByte) {
    const ComponentList list = Parse("  \t [STARTCOMP]  \n"
                                     "   desc=Design   Tools \t \v\f\n"
                                     "desc2=x\n"
                                     "\tname=  two blanks\n"
                                     "classid=\n"
                                     "[ENDCOMP]\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front()->m_desc, "Design   Tools");
    EXPECT_EQ(list.front()->m_name, "  two blanks");
    EXPECT_EQ(list.front()->m_classId, "");
}

TEST(ComponentListReader, PrefixesAreCaseSensitiveAndExact) {
    const ComponentList list = Parse("[STARTCOMP]\nDesc=upper\ndesc =blank\nname=n\n[endcomp]\nName=x\n[ENDCOMP]\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front()->m_desc, "");
    EXPECT_EQ(list.front()->m_name, "n");
}

TEST(ComponentListReader, NumbersReadLikeAtoi) {
    const ComponentList list = Parse("[STARTCOMP]\nmajor_ver=12abc\nminor_ver=\ncust_num= 7\nbuild_num=-3\n[ENDCOMP]\n"
                                     "[STARTCOMP]\nmajor_ver=+5\nminor_ver=abc\ncust_num=\t\t42x9\nbuild_num=--1\n"
                                     "[ENDCOMP]\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.front()->GetVersionString(), "12.0.7.-3");
    EXPECT_EQ(list.back()->GetVersionString(), "5.0.42.0");
}

TEST(ComponentListReader, NumbersOutsideInt32Saturate) {
    EXPECT_EQ(ParseLeadingInt32("2147483647"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ParseLeadingInt32("2147483648"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ParseLeadingInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseLeadingInt32("-2147483649"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseLeadingInt32("99999999999999999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ParseLeadingInt32("-00000000000000000000000000000012"), -12);
    EXPECT_EQ(ParseLeadingInt32("4294967297"), std::numeric_limits<std::int32_t>::max());
    const ComponentList list = Parse("[STARTCOMP]\nmajor_ver=4294967296\nminor_ver=-9999999999\n[ENDCOMP]\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front()->m_majorVer, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(list.front()->m_minorVer, std::numeric_limits<std::int32_t>::min());
}

struct InstallTypeCase {
    const char* lines;
    const char* expected;
};

// Names the case by its lines, so that test listings are readable and the same in every build.
void PrintTo(const InstallTypeCase& c, std::ostream* out) {
    for (const char* p = c.lines; *p != '\0'; ++p) {
        *out << (*p == '\n' ? '|' : *p);
    }
}

class DerivedInstallType : public testing::TestWithParam<InstallTypeCase> {};

TEST_P(DerivedInstallType, LastMatchingLineWins) {
    const ComponentList list = Parse(std::string("[STARTCOMP]\n") + GetParam().lines + "[ENDCOMP]\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front()->m_installType, GetParam().expected) << GetParam().lines;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DerivedInstallType,
    testing::Values(InstallTypeCase{"codebase=http://h/setup.exe\nregfile=ctl.ocx\n", "REG"},
                    InstallTypeCase{"regfile=ctl.ocx\ncodebase=http://h/setup.exe\n", "EXE"},
                    InstallTypeCase{"regfile=lib\n", "LIB"}, InstallTypeCase{"regfile=app\n", "APP"},
                    InstallTypeCase{"regfile=ocx\n", "REG"}, InstallTypeCase{"regfile=lib\nregfile=mylib\n", "LIB"},
                    InstallTypeCase{"regfile=mylib\n", ""}, InstallTypeCase{"regfile=LIB\n", ""},
                    InstallTypeCase{"regfile=ctl.OCX\n", ""}, InstallTypeCase{"codebase=http://h/SETUP.EXE\n", ""},
                    InstallTypeCase{"codebase=setup.exe\n", ""}, InstallTypeCase{"codebase=http://h/a.cab\n", ""},
                    InstallTypeCase{"codebase=http://h/exe\n", "EXE"},
                    InstallTypeCase{"regfile=app\nregfile=x.dll\n", "APP"}));

TEST(ComponentListReader, LineEndsOfEveryKindGiveTheSameList) {
    const std::string lf = "[STARTCOMP]\ndesc=a\nmajor_ver=2\n[ENDCOMP]\n[STARTCOMP]\ndesc=b\n[ENDCOMP]";
    std::string crlf;
    std::string cr;
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    for (const std::string& text : {lf, crlf, cr, lf + "\n"}) {
        const ComponentList list = Parse(text);
        EXPECT_EQ(Descriptions(list), (std::vector<std::string>{"a", "b"}));
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.front()->m_majorVer, 2);
    }
}

TEST(ComponentListReader, FeedingInPiecesGivesTheSameList) {
    const std::string text = "[STARTCOMP]\r\ndesc=split across pieces\r\nmajor_ver=17\r\ndir=d\r\n[ENDCOMP]\r\n"
                             "[STARTCOMP]\rdesc=second\r[ENDCOMP]";
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}}) {
        ComponentList list;
        std::vector<std::string> dirs;
        ComponentListReader reader(list, [&dirs](const std::string& dir) { dirs.push_back(dir); });
        for (size_t at = 0; at < text.size(); at += piece) {
            reader.Feed(std::string_view(text).substr(at, piece));
        }
        reader.Finish();
        EXPECT_EQ(Descriptions(list), (std::vector<std::string>{"split across pieces", "second"})) << piece;
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.front()->m_majorVer, 17);
        EXPECT_EQ(dirs, std::vector<std::string>{"d"});
    }
}

TEST(ComponentListReader, BadBytesAreKeptAndDoNotDisturbOtherLines) {
    using namespace std::string_literals;
    const std::string text = "[STARTCOMP]\ndesc=nul\0inside\nname=\xff\xfe\xc3(bad utf8\n\0\0\0\n"
                             "classid=ok\n[ENDCOMP]\n\0garbage\n[STARTCOMP]\ndesc=next\n[ENDCOMP]\n"s;
    const ComponentList list = Parse(text);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.front()->m_desc, "nul\0inside"s);
    EXPECT_EQ(list.front()->m_name, "\xff\xfe\xc3(bad utf8");
    EXPECT_EQ(list.front()->m_classId, "ok");
    EXPECT_EQ(list.back()->m_desc, "next");
}

TEST(ComponentListReader, HugeLineAndManyBlocks) {
    const std::string big(10 * 1024 * 1024, 'x');
    const ComponentList one = Parse("[STARTCOMP]\ndesc=" + big + "\n[ENDCOMP]\n");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.front()->m_desc.size(), big.size());

    std::string many;
    constexpr int kBlocks = 100000;
    for (int i = 0; i < kBlocks; ++i) {
        many += "[STARTCOMP]\nmajor_ver=" + std::to_string(i) + "\n[ENDCOMP]\n";
    }
    const ComponentList list = Parse(many);
    ASSERT_EQ(list.size(), static_cast<size_t>(kBlocks));
    int expected = 0;
    for (const auto& record : list) {
        ASSERT_EQ(record->m_majorVer, expected++);
    }
}

TEST(FileNameFromUrl, TakesTheTextAfterTheLastSlash) {
    EXPECT_EQ(CZarnDoc::GetFileNameFromUrl("http://host/files/setup.exe"), "setup.exe");
    EXPECT_EQ(CZarnDoc::GetFileNameFromUrl("http://host/files/"), "");
    EXPECT_EQ(CZarnDoc::GetFileNameFromUrl("setup.exe"), "FAIL");
    EXPECT_EQ(CZarnDoc::GetFileNameFromUrl(""), "FAIL");
    EXPECT_EQ(CZarnDoc::GetFileNameFromUrl("/setup.exe"), "setup.exe");
    EXPECT_EQ(CZarnDoc::GetFileNameFromUrl("http://host/dir\\name.cab"), "dir\\name.cab");
    EXPECT_EQ(CZarnDoc::GetFileNameFromUrl("http://host/a.cab?x=1/b"), "b");
}

TEST(InstallPathCheck, DirectoriesThatLeaveTheApplicationDirectoryAreRefused) {
    for (const char* dir : {"", "cad", "cad/sub", "cad\\sub", "./cad", "a..b", "..cad", "cad..", ".hidden"}) {
        EXPECT_TRUE(IsSafeInstallDir(dir)) << dir;
    }
    for (const char* dir : {"..", "../x", "..\\x", "a/../../b", "a\\..\\..\\b", "a/..", "/etc", "\\Windows",
                            "\\\\server\\share", "C:", "C:\\Windows", "c:cad", "a/.../b", "a/.. /b", "a\\. .\\b"}) {
        EXPECT_FALSE(IsSafeInstallDir(dir)) << dir;
    }
    EXPECT_FALSE(IsSafeInstallDir(std::string_view("cad\0/../x", 9)));
}

TEST(InstallPathCheck, FileNamesMustNameAFileInTheirDirectory) {
    for (const char* name : {"setup.exe", "FAIL", "a..b", ".profile", "x"}) {
        EXPECT_TRUE(IsSafeInstallFileName(name)) << name;
    }
    for (const char* name : {".", "..", "...", ". .", "a/b", "a\\b", "C:x.exe", "x:stream", "\\x"}) {
        EXPECT_FALSE(IsSafeInstallFileName(name)) << name;
    }
    EXPECT_FALSE(IsSafeInstallFileName(std::string_view("a\0b", 3)));

    test::TempAppDir app;
    CCompObj record;
    record.m_dir = "cad";
    record.m_fileName = "cad.cab";
    EXPECT_TRUE(IsSafeToInstall(record, app.AppDir()));
    record.m_dir = "../cad";
    EXPECT_FALSE(IsSafeToInstall(record, app.AppDir()));
    record.m_dir = "cad";
    record.m_fileName = "..";
    EXPECT_FALSE(IsSafeToInstall(record, app.AppDir()));
}

TEST(InstallPathCheck, LinksAreJudgedByWhereTheyLead) {
    namespace fs = std::filesystem;
    test::TempAppDir app;
    if (!test::CanMakeSymlinks(app.Outside())) {
        GTEST_SKIP() << "no symbolic links here (Wine cannot make them)";
    }
    fs::create_directory(app.Outside() / "target");
    std::ofstream(app.Outside() / "file") << "outside";
    fs::create_directory_symlink(app.Outside() / "target", app.Path("link"));
    fs::create_directory(app.Path("real"));
    fs::create_directory_symlink("real", app.Path("inlink"));
    fs::create_symlink(app.Outside() / "file", app.Path("real/evil.cab"));
    fs::create_symlink(app.Outside() / "none", app.Path("real/dangling.cab"));
    fs::create_symlink("loop", app.Path("loop"));
    // The application directory itself reached through a link: the check compares real paths on both sides.
    fs::create_directory_symlink(app.Path(""), app.Outside() / "applink");
    const std::string linkedAppDir = (app.Outside() / "applink").string() + "/";

    struct Case {
        const char* dir;
        const char* fileName;
        bool dirSafe;
        bool installSafe;
    };
    const Case cases[] = {
        {"", "x.cab", true, true},
        {"link", "x.cab", false, false},
        {"link/sub", "x.cab", false, false},
        {"inlink", "x.cab", true, true},
        {"inlink/new/deeper", "x.cab", true, true},
        {"real", "evil.cab", true, false},     // the file is a link to a file outside
        {"real", "dangling.cab", true, false}, // a link to nothing: writing it would create its target
        {"", "link", true, false},
        {"loop/x", "x.cab", false, false},
    };
    for (const std::string& appDir : {app.AppDir(), linkedAppDir}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(appDir + " " + c.dir + " " + c.fileName);
            CCompObj record;
            record.m_dir = c.dir;
            record.m_fileName = c.fileName;
            EXPECT_EQ(IsSafeInstallDir(appDir, c.dir), c.dirSafe);
            EXPECT_EQ(IsSafeToInstall(record, appDir), c.installSafe);
        }
    }
}

TEST(ZarnDocList, ParsesTheListFileUnderTheApplicationDirectory) {
    test::TempAppDir app;
    CZarnDoc doc(app.AppDir());
    EXPECT_EQ(doc.m_listMode, 0);
    EXPECT_EQ(doc.GetComponentListPath(), app.Path("complist/complist.txt").string());

    EXPECT_EQ(doc.ParseComponentList(), 0);
    EXPECT_TRUE(doc.m_compList.empty());

    app.WriteList("[STARTCOMP]\rdesc=a\r[ENDCOMP]\r[STARTCOMP]\rdesc=b\r[ENDCOMP]");
    EXPECT_EQ(doc.ParseComponentList(), 1);
    EXPECT_EQ(Descriptions(doc.m_compList), (std::vector<std::string>{"a", "b"}));

    // A second parse replaces the first list completely.
    app.WriteList("serial=12\n[STARTCOMP]\ndesc=c\nsize=5\n[ENDCOMP]\n");
    EXPECT_EQ(doc.ParseComponentList(), 1);
    EXPECT_EQ(Descriptions(doc.m_compList), std::vector<std::string>{"c"});
    EXPECT_EQ(doc.GetListHeader().serial, 12u);
    EXPECT_EQ(doc.m_compList.front()->m_size, 5u);

    // The list file removed: no list, and the old records are gone too.
    std::filesystem::remove(app.Path("complist/complist.txt"));
    EXPECT_EQ(doc.ParseComponentList(), 0);
    EXPECT_TRUE(doc.m_compList.empty());
    EXPECT_FALSE(doc.GetListHeader().serial.has_value());

    // A directory where the file should be is no list file.
    std::filesystem::create_directory(app.Path("complist/complist.txt"));
    EXPECT_EQ(doc.ParseComponentList(), 0);
    EXPECT_TRUE(doc.m_compList.empty());
}

TEST(ZarnDocList, EmptyFileGivesAnEmptyListAndResultOne) {
    test::TempAppDir app;
    CZarnDoc doc(app.AppDir());
    app.WriteList("");
    EXPECT_EQ(doc.ParseComponentList(), 1);
    EXPECT_TRUE(doc.m_compList.empty());
    app.WriteList("\r\n \r\n\t\r\n");
    EXPECT_EQ(doc.ParseComponentList(), 1);
    EXPECT_TRUE(doc.m_compList.empty());
}

TEST(ZarnDocList, DirLinesCreateTheLastLevelInsideTheApplicationDirectoryOnly) {
    test::TempAppDir app;
    if (!test::CanMakeSymlinks(app.Outside())) {
        GTEST_SKIP() << "no symbolic links here (Wine cannot make them)";
    }
    CZarnDoc doc(app.AppDir());
    const std::string outsideAbs = (app.Outside() / "absolute").string();
    // Links inside the application directory: two that lead out of it and one that stays in.
    std::filesystem::create_directory(app.Outside() / "target");
    std::filesystem::create_directory_symlink(app.Outside() / "target", app.Path("link"));
    std::filesystem::create_directory_symlink("..", app.Path("up"));
    std::filesystem::create_directory(app.Path("real"));
    std::filesystem::create_directory_symlink("real", app.Path("inlink"));
    app.WriteList("[STARTCOMP]\ndir=cad\n[ENDCOMP]\n"
                  "[STARTCOMP]\ndir=link/sub\ndir=up/viaup\ndir=inlink/sub\n[ENDCOMP]\n"
                  "[STARTCOMP]\ndir=missing/deeper\n[ENDCOMP]\n"
                  "[STARTCOMP]\ndir=../escaped\n[ENDCOMP]\n"
                  "[STARTCOMP]\ndir=cad/../../escaped2\n[ENDCOMP]\n"
                  "[STARTCOMP]\ndir=" +
                  outsideAbs +
                  "\n[ENDCOMP]\n"
                  "[STARTCOMP]\ndir=never ended\n"
                  "dir=cad\n");
    EXPECT_EQ(doc.ParseComponentList(), 1);
    EXPECT_EQ(doc.m_compList.size(), 6u);
    EXPECT_TRUE(std::filesystem::is_directory(app.Path("cad")));
    EXPECT_FALSE(std::filesystem::exists(app.Outside() / "target" / "sub"));
    EXPECT_FALSE(std::filesystem::exists(app.Outside() / "viaup"));
    EXPECT_TRUE(std::filesystem::is_directory(app.Path("real/sub")));
    // Directories are made at once, also for a block that never ends.
    EXPECT_TRUE(std::filesystem::is_directory(app.Path("never ended")));
    EXPECT_FALSE(std::filesystem::exists(app.Path("missing")));
    EXPECT_FALSE(std::filesystem::exists(app.Outside() / "escaped"));
    EXPECT_FALSE(std::filesystem::exists(app.Outside() / "escaped2"));
    EXPECT_FALSE(std::filesystem::exists(outsideAbs));
    // The refused values stay in the records, for the installer to refuse as well.
    EXPECT_EQ(doc.m_compList.back()->m_dir, outsideAbs);
}

TEST(ZarnDocList, ReadsFilesLargerThanOneReadPiece) {
    test::TempAppDir app;
    CZarnDoc doc(app.AppDir());
    // Lines much longer than one read of the file, and line ends that fall on every possible offset.
    const std::string big(300 * 1024 + 1, 'd');
    std::string text = "[STARTCOMP]\r\ndesc=" + big + "\r\n[ENDCOMP]\r\n";
    for (int i = 0; i < 20000; ++i) {
        text += "[STARTCOMP]\r\nname=" + std::to_string(i) + "\r\n[ENDCOMP]\r\n";
    }
    app.WriteList(text);
    ASSERT_EQ(doc.ParseComponentList(), 1);
    ASSERT_EQ(doc.m_compList.size(), 20001u);
    EXPECT_EQ(doc.m_compList.front()->m_desc, big);
    EXPECT_EQ(doc.m_compList.back()->m_name, "19999");
    int expected = -1;
    for (const auto& record : doc.m_compList) {
        if (expected >= 0) {
            ASSERT_EQ(record->m_name, std::to_string(expected));
        }
        ++expected;
    }
}

TEST(ZarnDocList, FreeComponentListEmptiesTheList) {
    test::TempAppDir app;
    CZarnDoc doc(app.AppDir());
    app.WriteList("[STARTCOMP]\n[ENDCOMP]\n[STARTCOMP]\n[ENDCOMP]\n");
    ASSERT_EQ(doc.ParseComponentList(), 1);
    EXPECT_EQ(doc.m_compList.size(), 2u);
    doc.FreeComponentList();
    EXPECT_TRUE(doc.m_compList.empty());
    doc.FreeComponentList();
    EXPECT_TRUE(doc.m_compList.empty());
}

} // namespace
} // namespace zarn
