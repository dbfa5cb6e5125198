#include "components/RegistryValue.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

std::vector<BYTE> Bytes(const CRegistryValue& value) {
    if (value.GetData() == nullptr) {
        return {};
    }
    return std::vector<BYTE>(value.GetData(), value.GetData() + value.GetSize());
}

std::vector<BYTE> Bytes(const char* text, std::size_t size) {
    return std::vector<BYTE>(reinterpret_cast<const BYTE*>(text), reinterpret_cast<const BYTE*>(text) + size);
}

// A value of `type` whose block holds exactly `size` bytes of `raw`, as the platform could hand it over.
CRegistryValue Raw(DWORD type, const char* raw, DWORD size) {
    CRegistryValue value;
    BYTE* block = value.Allocate(size);
    std::memcpy(block, raw, size);
    value.SetType(type);
    return value;
}

TEST(RegistryValue, FreshValueIsEmptyAndAnswersNothing) {
    const CRegistryValue value;
    EXPECT_EQ(value.GetData(), nullptr);
    EXPECT_EQ(value.GetSize(), 0u);
    EXPECT_EQ(value.GetType(), 0u);

    DWORD number = 77;
    const char* pointer = "kept";
    std::string text = "kept";
    std::vector<std::string> texts{"kept"};
    BYTE buffer[1] = {9};
    EXPECT_EQ(value.GetDword(number), 0);
    EXPECT_EQ(value.GetString(pointer), 0);
    EXPECT_EQ(value.GetString(text), 0);
    EXPECT_EQ(value.GetMultiString(texts), 0);
    EXPECT_EQ(value.GetBinary(buffer, 1), 0);
    EXPECT_EQ(number, 77u);
    EXPECT_STREQ(pointer, "kept");
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(texts, std::vector<std::string>{"kept"});
    EXPECT_EQ(buffer[0], 9);
}

TEST(RegistryValue, ConstructorsSetDataAndType) {
    const CRegistryValue number(DWORD{0x01020304});
    EXPECT_EQ(number.GetType(), REG_DWORD);
    EXPECT_EQ(number.GetSize(), 4u);

    const CRegistryValue text("abc");
    EXPECT_EQ(text.GetType(), REG_SZ);
    EXPECT_EQ(Bytes(text), Bytes("abc", 4));

    const BYTE raw[] = {1, 0, 2};
    const CRegistryValue binary(raw, 3);
    EXPECT_EQ(binary.GetType(), REG_BINARY);
    EXPECT_EQ(Bytes(binary), (std::vector<BYTE>{1, 0, 2}));

    const CRegistryValue list(std::vector<std::string>{"x", "yz"});
    EXPECT_EQ(list.GetType(), REG_MULTI_SZ);
    EXPECT_EQ(Bytes(list), Bytes("x\0yz\0", 6));
}

TEST(RegistryValue, DwordKeepsItsBytesForBothByteOrders) {
    CRegistryValue value;
    value.SetDword(0xA1B2C3D4u);
    DWORD read = 0;
    ASSERT_EQ(value.GetDword(read), 1);
    EXPECT_EQ(read, 0xA1B2C3D4u);

    // Big-endian data comes back exactly as stored: no swap.
    const CRegistryValue big = Raw(REG_DWORD_BIG_ENDIAN, "\x11\x22\x33\x44", 4);
    ASSERT_EQ(big.GetDword(read), 1);
    DWORD expected = 0;
    std::memcpy(&expected, "\x11\x22\x33\x44", 4);
    EXPECT_EQ(read, expected);

    // A block shorter than a number is refused rather than read past its end.
    const CRegistryValue shortBlock = Raw(REG_DWORD, "\x01\x02", 2);
    read = 5;
    EXPECT_EQ(shortBlock.GetDword(read), 0);
    EXPECT_EQ(read, 5u);

    const CRegistryValue text("1234");
    EXPECT_EQ(text.GetDword(read), 0);
    EXPECT_EQ(read, 5u);
}

TEST(RegistryValue, StringStoresItsZeroByte) {
    CRegistryValue value;
    value.SetString("C:\\Program Files", 0);
    EXPECT_EQ(value.GetType(), REG_SZ);
    EXPECT_EQ(value.GetSize(), 17u);
    EXPECT_EQ(value.GetData()[16], 0);

    value.SetString("%WINDIR%\\x", 1);
    EXPECT_EQ(value.GetType(), REG_EXPAND_SZ);
    std::string text;
    ASSERT_EQ(value.GetString(text), 1);
    EXPECT_EQ(text, "%WINDIR%\\x");

    value.SetString(nullptr, 0);
    EXPECT_EQ(value.GetType(), REG_SZ);
    EXPECT_EQ(Bytes(value), std::vector<BYTE>{0});
    ASSERT_EQ(value.GetString(text), 1);
    EXPECT_EQ(text, "");
}

TEST(RegistryValue, StringFormsAcceptTheirTypes) {
    std::string text = "kept";
    const char* pointer = nullptr;

    const CRegistryValue link = Raw(REG_LINK, "target", 7);
    EXPECT_EQ(link.GetString(text), 1);
    EXPECT_EQ(text, "target");

    // Only the pointer form takes a multi-string; it points at the first text.
    const CRegistryValue list(std::vector<std::string>{"first", "second"});
    text = "kept";
    EXPECT_EQ(list.GetString(text), 0);
    EXPECT_EQ(text, "kept");
    ASSERT_EQ(list.GetString(pointer), 1);
    EXPECT_STREQ(pointer, "first");

    const BYTE raw[] = {'a', 0};
    const CRegistryValue binary(raw, 2);
    pointer = nullptr;
    EXPECT_EQ(binary.GetString(pointer), 0);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(binary.GetString(text), 0);
    EXPECT_EQ(text, "kept");
}

TEST(RegistryValue, TextWithoutZeroByteStillEndsAtTheBlock) {
    const CRegistryValue value = Raw(REG_SZ, "abc", 3);
    const char* pointer = nullptr;
    ASSERT_EQ(value.GetString(pointer), 1);
    EXPECT_EQ(std::strlen(pointer), 3u);
    EXPECT_STREQ(pointer, "abc");
    std::string text;
    ASSERT_EQ(value.GetString(text), 1);
    EXPECT_EQ(text, "abc");

    // The copy stops at the first zero byte, not at the block's end.
    const CRegistryValue inner = Raw(REG_SZ, "ab\0cd", 5);
    ASSERT_EQ(inner.GetString(text), 1);
    EXPECT_EQ(text, "ab");

    const CRegistryValue empty = Raw(REG_SZ, "", 0);
    ASSERT_EQ(empty.GetString(pointer), 1);
    EXPECT_STREQ(pointer, "");
    ASSERT_EQ(empty.GetString(text), 1);
    EXPECT_EQ(text, "");
}

TEST(RegistryValue, MultiStringLayoutAndSizes) {
    CRegistryValue value;
    value.SetMultiString(std::vector<std::string>{});
    EXPECT_EQ(value.GetType(), REG_MULTI_SZ);
    EXPECT_EQ(Bytes(value), (std::vector<BYTE>{0, 0}));

    value.SetMultiString(std::vector<std::string>{"a", "bc"});
    EXPECT_EQ(value.GetSize(), 6u);
    EXPECT_EQ(Bytes(value), Bytes("a\0bc\0", 6));

    const char* const texts[] = {"one", nullptr, "three"};
    value.SetMultiString(texts, 3);
    EXPECT_EQ(Bytes(value), Bytes("one\0\0three\0", 12));

    value.SetMultiString(nullptr, 4);
    EXPECT_EQ(Bytes(value), (std::vector<BYTE>{0, 0}));
    value.SetMultiString(texts, -1);
    EXPECT_EQ(Bytes(value), (std::vector<BYTE>{0, 0}));
}

TEST(RegistryValue, MultiStringReadsBackInOrderAndReplacesTheList) {
    const std::vector<std::string> written{"alpha", "b", "gamma delta"};
    const CRegistryValue value(written);
    std::vector<std::string> read{"old", "entries"};
    ASSERT_EQ(value.GetMultiString(read), 1);
    EXPECT_EQ(read, written);

    const CRegistryValue empty(std::vector<std::string>{});
    ASSERT_EQ(empty.GetMultiString(read), 1);
    EXPECT_TRUE(read.empty());

    // An empty text ends the list.
    const CRegistryValue gap = Raw(REG_MULTI_SZ, "a\0\0b\0\0", 6);
    ASSERT_EQ(gap.GetMultiString(read), 1);
    EXPECT_EQ(read, std::vector<std::string>{"a"});

    read = {"kept"};
    const CRegistryValue text("a");
    EXPECT_EQ(text.GetMultiString(read), 0);
    EXPECT_EQ(read, std::vector<std::string>{"kept"});
}

TEST(RegistryValue, MultiStringNeverReadsPastTheBlock) {
    std::vector<std::string> read;
    const CRegistryValue unterminated = Raw(REG_MULTI_SZ, "a\0bc", 4);
    ASSERT_EQ(unterminated.GetMultiString(read), 1);
    EXPECT_EQ(read, (std::vector<std::string>{"a", "bc"}));

    const CRegistryValue noZero = Raw(REG_MULTI_SZ, "xyz", 3);
    ASSERT_EQ(noZero.GetMultiString(read), 1);
    EXPECT_EQ(read, std::vector<std::string>{"xyz"});

    const CRegistryValue singleTerminator = Raw(REG_MULTI_SZ, "p\0", 2);
    ASSERT_EQ(singleTerminator.GetMultiString(read), 1);
    EXPECT_EQ(read, std::vector<std::string>{"p"});

    const CRegistryValue nothing = Raw(REG_MULTI_SZ, "", 0);
    read = {"old"};
    ASSERT_EQ(nothing.GetMultiString(read), 1);
    EXPECT_TRUE(read.empty());
}

TEST(RegistryValue, BinaryNeedsTheExactCount) {
    const BYTE raw[] = {0xDE, 0xAD, 0xBE, 0xEF};
    CRegistryValue value(raw, 4);

    BYTE buffer[5] = {1, 1, 1, 1, 1};
    EXPECT_EQ(value.GetBinary(buffer, 3), 0);
    EXPECT_EQ(value.GetBinary(buffer, 5), 0);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 5), (std::vector<BYTE>{1, 1, 1, 1, 1}));

    ASSERT_EQ(value.GetBinary(buffer, 4), 1);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 5), (std::vector<BYTE>{0xDE, 0xAD, 0xBE, 0xEF, 1}));

    for (const DWORD type : {REG_RESOURCE_LIST, REG_FULL_RESOURCE_DESCRIPTOR}) {
        value.SetType(type);
        BYTE again[4] = {};
        EXPECT_EQ(value.GetBinary(again, 4), 1) << type;
        EXPECT_EQ(again[3], 0xEF) << type;
    }
    value.SetType(REG_SZ);
    BYTE untouched[4] = {};
    EXPECT_EQ(value.GetBinary(untouched, 4), 0);
    EXPECT_EQ(untouched[0], 0);

    // A null source stores zero bytes of the length asked for; a null target is refused.
    value.SetBinary(nullptr, 3);
    EXPECT_EQ(Bytes(value), (std::vector<BYTE>{0, 0, 0}));
    EXPECT_EQ(value.GetBinary(nullptr, 3), 0);

    const CRegistryValue empty(nullptr, 0);
    EXPECT_EQ(empty.GetBinary(nullptr, 0), 1);
}

TEST(RegistryValue, AllocateAndFreeKeepTheType) {
    CRegistryValue value("text");
    BYTE* block = value.Allocate(10);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(value.GetData(), block);
    EXPECT_EQ(value.GetSize(), 10u);
    EXPECT_EQ(value.GetType(), REG_SZ);

    value.Free();
    EXPECT_EQ(value.GetData(), nullptr);
    EXPECT_EQ(value.GetSize(), 0u);
    EXPECT_EQ(value.GetType(), REG_SZ);
    const char* pointer = nullptr;
    EXPECT_EQ(value.GetString(pointer), 0);

    // A block of no bytes still exists and reads as the empty text.
    ASSERT_NE(value.Allocate(0), nullptr);
    ASSERT_EQ(value.GetString(pointer), 1);
    EXPECT_STREQ(pointer, "");
}

TEST(RegistryValue, CopiesAreIndependent) {
    CRegistryValue original("first");
    CRegistryValue copy(original);
    original.SetString("changed", 1);
    std::string text;
    ASSERT_EQ(copy.GetString(text), 1);
    EXPECT_EQ(text, "first");
    EXPECT_NE(copy.GetData(), original.GetData());

    CRegistryValue assigned(DWORD{3});
    assigned = original;
    EXPECT_EQ(assigned.GetType(), REG_EXPAND_SZ);
    ASSERT_EQ(assigned.GetString(text), 1);
    EXPECT_EQ(text, "changed");

    CRegistryValue& alias = assigned;
    assigned = alias;
    ASSERT_EQ(assigned.GetString(text), 1);
    EXPECT_EQ(text, "changed");

    CRegistryValue typedOnly;
    typedOnly.SetType(REG_BINARY);
    assigned = typedOnly;
    EXPECT_EQ(assigned.GetData(), nullptr);
    EXPECT_EQ(assigned.GetType(), REG_BINARY);

    CRegistryValue moved(std::move(copy));
    ASSERT_EQ(moved.GetString(text), 1);
    EXPECT_EQ(text, "first");
    // A moved-from value is left empty, not sharing the block.
    EXPECT_EQ(copy.GetData(), nullptr);
    EXPECT_EQ(copy.GetSize(), 0u);
}

TEST(RegistryValue, SettingFromItsOwnBlockKeepsTheData) {
    CRegistryValue value(std::vector<std::string>{"ab", "c"});
    value.SetBinary(value.GetData(), value.GetSize());
    EXPECT_EQ(value.GetType(), REG_BINARY);
    EXPECT_EQ(Bytes(value), Bytes("ab\0c\0", 6));

    value.SetString(reinterpret_cast<const char*>(value.GetData()) + 1, 0);
    std::string text;
    ASSERT_EQ(value.GetString(text), 1);
    EXPECT_EQ(text, "b");
}

} // namespace
} // namespace zarn
