#include "components/Registry.h"

#include "tests/support/ScratchRegistry.h"
#include "tests/support/SystemTraits.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zarn {
namespace {

// Every test works on a registry of its own, removed at the end.
class RegistryTest : public ::testing::Test {
protected:
    test::ScratchRegistry m_scratch;
    CRegistry m_reg{HKEY_CURRENT_USER};
};

// Writes a value with a type of the caller's choosing, which the typed writers do not offer.
void WriteTyped(CRegistry& reg, const char* subKey, const char* name, DWORD type, const char* data, DWORD size) {
    CRegistryValue value;
    std::memcpy(value.Allocate(size), data, size);
    value.SetType(type);
    ASSERT_EQ(reg.WriteValue(subKey, name, value), 1);
}

TEST_F(RegistryTest, StringsRoundTripThroughNestedKeys) {
    ASSERT_EQ(m_reg.WriteString("Software\\Ostrevant\\Test", "Path", "C:\\Quillorna\\bin"), 1);
    std::string text;
    ASSERT_EQ(m_reg.ReadString("Software\\Ostrevant\\Test", "Path", text), 1);
    EXPECT_EQ(text, "C:\\Quillorna\\bin");

    // Overwriting with a shorter text leaves nothing of the longer one.
    ASSERT_EQ(m_reg.WriteString("Software\\Ostrevant\\Test", "Path", "D:"), 1);
    ASSERT_EQ(m_reg.ReadString("Software\\Ostrevant\\Test", "Path", text), 1);
    EXPECT_EQ(text, "D:");

    ASSERT_EQ(m_reg.WriteString("Software\\Ostrevant\\Test", "Empty", nullptr), 1);
    CRegistryValue value;
    ASSERT_EQ(m_reg.ReadValue("Software\\Ostrevant\\Test", "Empty", value), 1);
    EXPECT_EQ(value.GetType(), REG_SZ);
    EXPECT_EQ(value.GetSize(), 1u);
}

TEST_F(RegistryTest, DefaultValueIsTheEmptyName) {
    ASSERT_EQ(m_reg.WriteString("CLSID\\{1234}\\ProgID", "Other", "not the default"), 1);
    std::string text = "kept";
    EXPECT_EQ(m_reg.ReadString("CLSID\\{1234}\\ProgID", "", text), 0);
    EXPECT_EQ(text, "kept");

    ASSERT_EQ(m_reg.WriteString("CLSID\\{1234}\\ProgID", "", "Quillorna.Design.1"), 1);
    ASSERT_EQ(m_reg.ReadString("CLSID\\{1234}\\ProgID", "", text), 1);
    EXPECT_EQ(text, "Quillorna.Design.1");
    text.clear();
    ASSERT_EQ(m_reg.ReadString("CLSID\\{1234}\\ProgID", nullptr, text), 1);
    EXPECT_EQ(text, "Quillorna.Design.1");
}

TEST_F(RegistryTest, ReadStringTakesOnlyTextTypes) {
    ASSERT_EQ(m_reg.WriteDword("Key", "Number", 7), 1);
    ASSERT_EQ(m_reg.WriteMultiString("Key", "List", {"a", "b"}), 1);
    WriteTyped(m_reg, "Key", "Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);

    std::string text = "kept";
    EXPECT_EQ(m_reg.ReadString("Key", "Number", text), 0);
    EXPECT_EQ(m_reg.ReadString("Key", "List", text), 0);
    EXPECT_EQ(m_reg.ReadString("Key", "Missing", text), 0);
    EXPECT_EQ(m_reg.ReadString("NoSuchKey", "Number", text), 0);
    EXPECT_EQ(text, "kept");

    ASSERT_EQ(m_reg.ReadString("Key", "Expand", text), 1);
    EXPECT_EQ(text, "%TEMP%\\x");
}

TEST_F(RegistryTest, DwordsReadAsStored) {
    ASSERT_EQ(m_reg.WriteDword("Key", "Count", 0xCAFEF00Du), 1);
    DWORD number = 0;
    ASSERT_EQ(m_reg.ReadDword("Key", "Count", number), 1);
    EXPECT_EQ(number, 0xCAFEF00Du);
    CRegistryValue value;
    ASSERT_EQ(m_reg.ReadValue("Key", "Count", value), 1);
    EXPECT_EQ(value.GetType(), REG_DWORD);
    EXPECT_EQ(value.GetSize(), 4u);

    WriteTyped(m_reg, "Key", "Big", REG_DWORD_BIG_ENDIAN, "\x00\x00\x01\x02", 4);
    ASSERT_EQ(m_reg.ReadDword("Key", "Big", number), 1);
    DWORD unswapped = 0;
    std::memcpy(&unswapped, "\x00\x00\x01\x02", 4);
    EXPECT_EQ(number, unswapped);

    ASSERT_EQ(m_reg.WriteString("Key", "Text", "12"), 1);
    number = 99;
    EXPECT_EQ(m_reg.ReadDword("Key", "Text", number), 0);
    EXPECT_EQ(m_reg.ReadDword("Key", "Missing", number), 0);
    EXPECT_EQ(number, 99u);
}

TEST_F(RegistryTest, BinaryReadsOnlyWithTheExactCount) {
    const BYTE stored[] = {0, 1, 2, 3, 4};
    ASSERT_EQ(m_reg.WriteBinary("Key", "Blob", stored, 5), 1);

    BYTE buffer[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(m_reg.ReadBinary("Key", "Blob", buffer, 4), 0);
    EXPECT_EQ(m_reg.ReadBinary("Key", "Blob", buffer, 6), 0);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 6), std::vector<BYTE>(6, 9));

    ASSERT_EQ(m_reg.ReadBinary("Key", "Blob", buffer, 5), 1);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 6), (std::vector<BYTE>{0, 1, 2, 3, 4, 9}));

    ASSERT_EQ(m_reg.WriteString("Key", "Text", "abcd"), 1);
    EXPECT_EQ(m_reg.ReadBinary("Key", "Text", buffer, 5), 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST_F(RegistryTest, MultiStringsRoundTrip) {
    const std::vector<std::string> written{"first", "second", "x"};
    ASSERT_EQ(m_reg.WriteMultiString("Key", "List", written), 1);
    std::vector<std::string> read{"old"};
    ASSERT_EQ(m_reg.ReadMultiString("Key", "List", read), 1);
    EXPECT_EQ(read, written);

    ASSERT_EQ(m_reg.WriteMultiString("Key", "None", {}), 1);
    CRegistryValue value;
    ASSERT_EQ(m_reg.ReadValue("Key", "None", value), 1);
    EXPECT_EQ(value.GetSize(), 2u);
    ASSERT_EQ(m_reg.ReadMultiString("Key", "None", read), 1);
    EXPECT_TRUE(read.empty());

    // Stored by some other writer without its final zero bytes.
    WriteTyped(m_reg, "Key", "Ragged", REG_MULTI_SZ, "ab\0cd", 5);
    ASSERT_EQ(m_reg.ReadMultiString("Key", "Ragged", read), 1);
    EXPECT_EQ(read, (std::vector<std::string>{"ab", "cd"}));

    ASSERT_EQ(m_reg.WriteString("Key", "Text", "one"), 1);
    read = {"kept"};
    EXPECT_EQ(m_reg.ReadMultiString("Key", "Text", read), 0);
    EXPECT_EQ(read, std::vector<std::string>{"kept"});
}

TEST_F(RegistryTest, ReadValueFillsDataSizeAndTypeOrLeavesTheValueAlone) {
    WriteTyped(m_reg, "Key", "Res", REG_RESOURCE_LIST, "\x01\x02\x03", 3);
    CRegistryValue value("before");
    ASSERT_EQ(m_reg.ReadValue("Key", "Res", value), 1);
    EXPECT_EQ(value.GetType(), REG_RESOURCE_LIST);
    ASSERT_EQ(value.GetSize(), 3u);
    EXPECT_EQ(std::memcmp(value.GetData(), "\x01\x02\x03", 3), 0);

    CRegistryValue untouched("before");
    EXPECT_EQ(m_reg.ReadValue("Key", "Missing", untouched), 0);
    EXPECT_EQ(m_reg.ReadValue("Missing", "Res", untouched), 0);
    std::string text;
    ASSERT_EQ(untouched.GetString(text), 1);
    EXPECT_EQ(text, "before");

    // A stored text without its zero byte still reads as a terminated text.
    WriteTyped(m_reg, "Key", "Bare", REG_SZ, "bare", 4);
    ASSERT_EQ(m_reg.ReadValue("Key", "Bare", value), 1);
    const char* pointer = nullptr;
    ASSERT_EQ(value.GetString(pointer), 1);
    EXPECT_STREQ(pointer, "bare");
}

TEST_F(RegistryTest, ReadsSurviveAValueChangingSizeUnderThem) {
    const std::string small = "s";
    const std::string large(20000, 'L');
    ASSERT_EQ(m_reg.WriteString("Busy", "Value", small.c_str()), 1);

    std::atomic<bool> done{false};
    std::atomic<int> writeFailures{0};
    std::thread writer([&] {
        CRegistry other(HKEY_CURRENT_USER);
        for (int i = 0; i < 3000; ++i) {
            if (other.WriteString("Busy", "Value", (i % 2 ? small : large).c_str()) != 1) {
                ++writeFailures;
            }
        }
        done = true;
    });
    int reads = 0;
    int failures = 0;
    int wrong = 0;
    while (!done || reads == 0) {
        std::string text;
        if (m_reg.ReadString("Busy", "Value", text) != 1) {
            ++failures;
        } else if (text != small && text != large) {
            ++wrong;
        }
        ++reads;
    }
    writer.join();
    EXPECT_EQ(writeFailures, 0);
    EXPECT_EQ(failures, 0) << "of " << reads << " reads";
    EXPECT_EQ(wrong, 0) << "of " << reads << " reads";
}

TEST_F(RegistryTest, DeleteRemovesValuesAndWholeTrees) {
    ASSERT_EQ(m_reg.WriteString("Tree", "Top", "t"), 1);
    ASSERT_EQ(m_reg.WriteString("Tree\\A", "Name", "a"), 1);
    ASSERT_EQ(m_reg.WriteString("Tree\\A\\Deep\\Deeper", "Name", "d"), 1);
    ASSERT_EQ(m_reg.WriteDword("Tree\\B", "Name", 2), 1);
    ASSERT_EQ(m_reg.WriteString("Tree\\C", nullptr, "c"), 1);
    ASSERT_EQ(m_reg.WriteString("Sibling", "Name", "s"), 1);

    EXPECT_EQ(m_reg.Delete("Tree\\A", "Name"), 1);
    std::string text;
    EXPECT_EQ(m_reg.ReadString("Tree\\A", "Name", text), 0);
    EXPECT_EQ(m_reg.Delete("Tree\\A", "Name"), 0);
    EXPECT_EQ(m_reg.Delete("NoSuchKey", "Name"), 0);

    ASSERT_EQ(m_reg.Delete("Tree", nullptr), 1);
    DWORD subKeys = 99;
    EXPECT_EQ(m_reg.QueryCounts("Tree", &subKeys, nullptr), 0);
    EXPECT_EQ(m_reg.ReadString("Tree\\A\\Deep\\Deeper", "Name", text), 0);
    EXPECT_EQ(m_reg.Delete("Tree", nullptr), 0);

    ASSERT_EQ(m_reg.ReadString("Sibling", "Name", text), 1);
    EXPECT_EQ(text, "s");
}

TEST_F(RegistryTest, DeleteNeverEmptiesTheRootItself) {
    ASSERT_EQ(m_reg.WriteString("Keep", "Name", "k"), 1);
    EXPECT_EQ(m_reg.Delete(nullptr, nullptr), 0);
    EXPECT_EQ(m_reg.Delete("", nullptr), 0);
    std::string text;
    ASSERT_EQ(m_reg.ReadString("Keep", "Name", text), 1);
    EXPECT_EQ(text, "k");

    // A value directly under the root may still be deleted.
    ASSERT_EQ(m_reg.WriteString(nullptr, "AtRoot", "r"), 1);
    EXPECT_EQ(m_reg.Delete(nullptr, "AtRoot"), 1);
    EXPECT_EQ(m_reg.ReadString(nullptr, "AtRoot", text), 0);
}

TEST_F(RegistryTest, QueryCountsReportsSubkeysAndValues) {
    ASSERT_EQ(m_reg.WriteString("Counted", "One", "1"), 1);
    ASSERT_EQ(m_reg.WriteDword("Counted", "Two", 2), 1);
    ASSERT_EQ(m_reg.WriteString("Counted\\Child1", "X", "x"), 1);
    ASSERT_EQ(m_reg.WriteString("Counted\\Child2\\Grandchild", "X", "x"), 1);
    ASSERT_EQ(m_reg.WriteString("OnlyKeys\\Child", "X", "x"), 1);

    DWORD subKeys = 0;
    DWORD values = 0;
    ASSERT_EQ(m_reg.QueryCounts("Counted", &subKeys, &values), 1);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(values, 2u);
    ASSERT_EQ(m_reg.QueryCounts("OnlyKeys", &subKeys, &values), 1);
    EXPECT_EQ(subKeys, 1u);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(m_reg.QueryCounts("Counted", nullptr, nullptr), 1);

    ASSERT_EQ(m_reg.Delete("Counted\\Child1", "X"), 1);
    subKeys = values = 7;
    EXPECT_EQ(m_reg.QueryCounts("Counted\\Child1", &subKeys, &values), 0);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 0u);

    subKeys = values = 7;
    EXPECT_EQ(m_reg.QueryCounts("Missing", &subKeys, &values), 0);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 0u);
}

// Records every visit as one line, in order.
class RecordingWalker : public CRegistry {
public:
    using CRegistry::CRegistry;

    int OnValue(const char* path, const char* valueName, const CRegistryValue& value, std::uint16_t depth) override {
        std::string text;
        DWORD number = 0;
        std::string shown;
        if (value.GetString(text) == 1) {
            shown = "'" + text + "'";
        } else if (value.GetDword(number) == 1) {
            shown = std::to_string(number);
        } else {
            shown = "type " + std::to_string(value.GetType()) + " size " + std::to_string(value.GetSize());
        }
        m_seen.push_back("value " + std::to_string(depth) + " [" + path + "] " + valueName + "=" + shown);
        return m_stopAt == m_seen.size() ? 0 : 1;
    }
    int OnKey(const char* subKeyName, std::uint16_t depth) override {
        m_seen.push_back("key " + std::to_string(depth) + " " + subKeyName);
        return m_stopAt == m_seen.size() ? 0 : 1;
    }

    std::vector<std::string> m_seen;
    std::size_t m_stopAt = 0; // the visit that answers 0; 0: none
};

class RegistryWalkTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        ASSERT_EQ(m_reg.WriteString("Top", "", "default"), 1);
        ASSERT_EQ(m_reg.WriteDword("Top", "Count", 3), 1);
        ASSERT_EQ(m_reg.WriteString("Top\\A", "Name", "a"), 1);
        ASSERT_EQ(m_reg.WriteString("Top\\A\\Inner", "Deep", "i"), 1);
        ASSERT_EQ(m_reg.WriteMultiString("Top\\B", "List", {"x"}), 1);
        ASSERT_EQ(m_reg.WriteString("Top\\B\\Empty", "Gone", "g"), 1);
        ASSERT_EQ(m_reg.Delete("Top\\B\\Empty", "Gone"), 1);
    }
};

TEST_F(RegistryWalkTest, VisitsValuesThenSubkeysDepthFirst) {
    RecordingWalker walker(HKEY_CURRENT_USER);
    ASSERT_EQ(walker.Walk("Top", CRegistry::kWalkValues | CRegistry::kWalkKeys), 1);
    const std::vector<std::string> expected{
        "value 0 [Top] ='default'",
        "value 0 [Top] Count=3",
        "key 0 A",
        "value 1 [Top\\A] Name='a'",
        "key 1 Inner",
        "value 2 [Top\\A\\Inner] Deep='i'",
        "key 0 B",
        "value 1 [Top\\B] List=type 7 size 3",
        "key 1 Empty",
    };
    EXPECT_EQ(walker.m_seen, expected);
}

TEST_F(RegistryWalkTest, FlagsChooseTheVisitorsButEverySubkeyIsEntered) {
    RecordingWalker values(HKEY_CURRENT_USER);
    ASSERT_EQ(values.Walk("Top", CRegistry::kWalkValues), 1);
    EXPECT_EQ(values.m_seen.size(), 5u);
    EXPECT_EQ(values.m_seen.back(), "value 1 [Top\\B] List=type 7 size 3");

    RecordingWalker keys(HKEY_CURRENT_USER);
    ASSERT_EQ(keys.Walk("Top", CRegistry::kWalkKeys), 1);
    EXPECT_EQ(keys.m_seen, (std::vector<std::string>{"key 0 A", "key 1 Inner", "key 0 B", "key 1 Empty"}));

    RecordingWalker none(HKEY_CURRENT_USER);
    EXPECT_EQ(none.Walk("Top", 0), 1);
    EXPECT_TRUE(none.m_seen.empty());
}

TEST_F(RegistryWalkTest, BaseVisitorsStopAtTheFirstVisit) {
    CRegistry plain(HKEY_CURRENT_USER);
    EXPECT_EQ(plain.Walk("Top", CRegistry::kWalkValues), 0);
    EXPECT_EQ(plain.Walk("Top", CRegistry::kWalkKeys), 0);
    EXPECT_EQ(plain.Walk("Top", 0), 1);
    // A key without values or subkeys gives the visitors nothing to refuse.
    EXPECT_EQ(plain.Walk("Top\\B\\Empty", CRegistry::kWalkValues | CRegistry::kWalkKeys), 1);
}

TEST_F(RegistryWalkTest, AVisitorAnsweringZeroEndsTheWalk) {
    RecordingWalker walker(HKEY_CURRENT_USER);
    walker.m_stopAt = 4;
    EXPECT_EQ(walker.Walk("Top", CRegistry::kWalkValues | CRegistry::kWalkKeys), 0);
    ASSERT_EQ(walker.m_seen.size(), 4u);
    EXPECT_EQ(walker.m_seen.back(), "value 1 [Top\\A] Name='a'");

    RecordingWalker keyStop(HKEY_CURRENT_USER);
    keyStop.m_stopAt = 2;
    EXPECT_EQ(keyStop.Walk("Top", CRegistry::kWalkKeys), 0);
    EXPECT_EQ(keyStop.m_seen, (std::vector<std::string>{"key 0 A", "key 1 Inner"}));
}

TEST_F(RegistryWalkTest, WalkFromTheRootGivesPathsFromTheRoot) {
    ASSERT_EQ(m_reg.WriteString(nullptr, "AtRoot", "r"), 1);
    RecordingWalker walker(HKEY_CURRENT_USER);
    ASSERT_EQ(walker.Walk(nullptr, CRegistry::kWalkValues), 1);
    ASSERT_FALSE(walker.m_seen.empty());
    EXPECT_EQ(walker.m_seen.front(), "value 0 [] AtRoot='r'");
    EXPECT_EQ(walker.m_seen[1], "value 1 [Top] ='default'");
    EXPECT_EQ(walker.m_seen.back(), "value 2 [Top\\B] List=type 7 size 3");

    // The predefined root stays usable after a walk over it.
    std::string text;
    ASSERT_EQ(walker.ReadString("Top", "", text), 1);
    EXPECT_EQ(text, "default");

    EXPECT_EQ(walker.Walk("NoSuchKey", CRegistry::kWalkValues), 0);
}

// Grows a later value and adds a longer-named one while the walk is inside their key.
class GrowingWalker : public RecordingWalker {
public:
    using RecordingWalker::RecordingWalker;

    int OnValue(const char* path, const char* valueName, const CRegistryValue& value, std::uint16_t depth) override {
        if (std::string(valueName) == "a") {
            CRegistry writer(HKEY_CURRENT_USER);
            m_grown = writer.WriteString("Grow", "b", std::string(5000, 'B').c_str()) == 1 &&
                      writer.WriteString("Grow", "a-much-longer-value-name-than-any-before", "late") == 1;
        }
        if (std::string(valueName) == "b") {
            m_bSize = value.GetSize();
        }
        return RecordingWalker::OnValue(path, valueName, value, depth);
    }

    bool m_grown = false;
    DWORD m_bSize = 0;
};

TEST_F(RegistryTest, WalkReadsValuesLargerThanTheKeyFirstReported) {
    ASSERT_EQ(m_reg.WriteString("Grow", "a", "1"), 1);
    ASSERT_EQ(m_reg.WriteString("Grow", "b", "2"), 1);
    GrowingWalker walker(HKEY_CURRENT_USER);
    ASSERT_EQ(walker.Walk("Grow", CRegistry::kWalkValues), 1);
    ASSERT_TRUE(walker.m_grown);
    EXPECT_EQ(walker.m_bSize, 5001u);
    ASSERT_EQ(walker.m_seen.size(), 3u);
    const std::string late = "value 0 [Grow] a-much-longer-value-name-than-any-before='late'";
    if (test::RunningUnderWine()) {
        // Wine enumerates values by name; Windows, as the POSIX store, in the order they were written.
        EXPECT_NE(std::find(walker.m_seen.begin(), walker.m_seen.end(), late), walker.m_seen.end());
    } else {
        EXPECT_EQ(walker.m_seen[2], late);
    }
}

// Adds a subkey with a longer name than any before while the walk is inside their parent.
class KeyAddingWalker : public RecordingWalker {
public:
    using RecordingWalker::RecordingWalker;

    int OnKey(const char* subKeyName, std::uint16_t depth) override {
        if (std::string(subKeyName) == "a") {
            CRegistry writer(HKEY_CURRENT_USER);
            m_added = writer.WriteString("Parent\\a-subkey-with-a-much-longer-name", "v", "x") == 1;
        }
        return RecordingWalker::OnKey(subKeyName, depth);
    }

    bool m_added = false;
};

TEST_F(RegistryTest, WalkEntersSubkeysAddedWithLongerNames) {
    ASSERT_EQ(m_reg.WriteString("Parent\\a", "v", "x"), 1);
    KeyAddingWalker walker(HKEY_CURRENT_USER);
    ASSERT_EQ(walker.Walk("Parent", CRegistry::kWalkKeys | CRegistry::kWalkValues), 1);
    ASSERT_TRUE(walker.m_added);
    EXPECT_EQ(walker.m_seen, (std::vector<std::string>{"key 0 a", "value 1 [Parent\\a] v='x'",
                                                       "key 0 a-subkey-with-a-much-longer-name",
                                                       "value 1 [Parent\\a-subkey-with-a-much-longer-name] v='x'"}));
}

// Keeps each value's text as the pointer form gives it.
class PointerWalker : public CRegistry {
public:
    using CRegistry::CRegistry;

    int OnValue(const char*, const char*, const CRegistryValue& value, std::uint16_t) override {
        const char* text = nullptr;
        m_texts.push_back(value.GetString(text) == 1 ? text : "-");
        return 1;
    }

    std::vector<std::string> m_texts;
};

TEST_F(RegistryTest, WalkGivesEachTextItsOwnEnd) {
    // The walk reuses one block for every value: a short text stored without its zero byte must not run
    // on into what a longer value before it left there.
    WriteTyped(m_reg, "Texts", "Long", REG_SZ, "ABCDEFGHIJ", 10);
    WriteTyped(m_reg, "Texts", "Short", REG_SZ, "xy", 2);
    WriteTyped(m_reg, "Texts", "List", REG_MULTI_SZ, "m", 1);
    PointerWalker walker(HKEY_CURRENT_USER);
    ASSERT_EQ(walker.Walk("Texts", CRegistry::kWalkValues), 1);
    // Wine enumerates values by name (List, Long, Short); Windows, as the POSIX store, in the order written.
    const std::vector<std::string> written = {"ABCDEFGHIJ", "xy", "m"};
    const std::vector<std::string> byName = {"m", "ABCDEFGHIJ", "xy"};
    EXPECT_EQ(walker.m_texts, test::RunningUnderWine() ? byName : written);
}

TEST_F(RegistryTest, TheDeepestTreesAreWalkedAndDeleted) {
#ifdef _WIN32
    GTEST_SKIP() << "the scratch registry lies five levels down: the depth limit cannot be reached from it";
#endif
    // A component's registration code can ask for any depth in one call; the registry refuses what it cannot
    // hold instead of making a chain that a walk or a deletion could not get through.
    std::string chain = "Chain";
    for (int level = 1; level <= 100000; ++level) {
        chain += "\\k";
    }
    HKEY key = nullptr;
    const LONG made = RegCreateKeyExA(HKEY_CURRENT_USER, chain.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
    EXPECT_EQ(made, ERROR_INVALID_PARAMETER);
    if (made == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    EXPECT_EQ(m_reg.Delete("Chain", nullptr), 0);

    // The deepest chain the registry holds: 512 levels below the root.
    chain.resize(std::string("Chain").size() + 2 * 511);
    ASSERT_EQ(m_reg.WriteString(chain.c_str(), "Deepest", "d"), 1);
    RecordingWalker walker(HKEY_CURRENT_USER);
    EXPECT_EQ(walker.Walk(nullptr, CRegistry::kWalkKeys | CRegistry::kWalkValues), 1);
    ASSERT_EQ(walker.m_seen.size(), std::size_t{CRegistry::kMaxWalkDepth} + 1);
    EXPECT_EQ(walker.m_seen.back(), "value 512 [" + chain + "] Deepest='d'");

    EXPECT_EQ(m_reg.Delete("Chain", nullptr), 1);
    EXPECT_EQ(m_reg.QueryCounts("Chain", nullptr, nullptr), 0);
}

TEST_F(RegistryTest, RootKeyCanBeSwappedAndConnected) {
    ASSERT_EQ(m_reg.WriteString("Shared", "Name", "user"), 1);
    CRegistry classes(HKEY_CLASSES_ROOT);
    ASSERT_EQ(classes.WriteString("Shared", "Name", "classes"), 1);

    EXPECT_EQ(classes.GetRootKey(), HKEY_CLASSES_ROOT);
    EXPECT_EQ(classes.SetRootKey(HKEY_CURRENT_USER), HKEY_CLASSES_ROOT);
    std::string text;
    ASSERT_EQ(classes.ReadString("Shared", "Name", text), 1);
    EXPECT_EQ(text, "user");

    EXPECT_EQ(classes.Connect("far-away-host", HKEY_CLASSES_ROOT), 0);
    EXPECT_EQ(classes.GetRootKey(), HKEY_CURRENT_USER);

    ASSERT_EQ(classes.Connect(nullptr, HKEY_CLASSES_ROOT), 1);
    const HKEY connected = classes.GetRootKey();
    EXPECT_NE(connected, HKEY_CURRENT_USER);
    ASSERT_EQ(classes.ReadString("Shared", "Name", text), 1);
    EXPECT_EQ(text, "classes");

    // The connection stays open while the object lives, even when another root is set meanwhile.
    EXPECT_EQ(classes.SetRootKey(HKEY_CURRENT_USER), connected);
    EXPECT_EQ(classes.SetRootKey(connected), HKEY_CURRENT_USER);
    ASSERT_EQ(classes.ReadString("Shared", "Name", text), 1);
    EXPECT_EQ(text, "classes");
}

TEST_F(RegistryTest, ACopyKeepsTheConnectionOpen) {
    ASSERT_EQ(m_reg.WriteString("Shared", "Name", "user"), 1);
    auto original = std::make_unique<CRegistry>(HKEY_CLASSES_ROOT);
    ASSERT_EQ(original->Connect(nullptr, HKEY_CURRENT_USER), 1);
    const CRegistry copy(*original);
    EXPECT_EQ(copy.GetRootKey(), original->GetRootKey());
    original.reset();

    CRegistry reader(copy);
    std::string text;
    ASSERT_EQ(reader.ReadString("Shared", "Name", text), 1);
    EXPECT_EQ(text, "user");

    // A second connection replaces the first; reads go through the new one.
    ASSERT_EQ(reader.Connect(nullptr, HKEY_CURRENT_USER), 1);
    ASSERT_EQ(reader.ReadString("Shared", "Name", text), 1);
    EXPECT_EQ(text, "user");
}

} // namespace
} // namespace zarn
