// The built version block and the walk over stored blocks: numbers, lengths, and blocks whose lengths lie.
#include "platform/posix/VersionBlock.h"

#include "platform/posix/ByteOrder.h"
#include "platform/posix/VersionBlockBuilder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace zarn::platform {
namespace {

const char* const kFileVersion = "\\StringFileInfo\\040904B0\\FileVersion";

// A stored block in a buffer of exactly the size the API reports, so that any step outside it is caught by
// the address sanitizer.
struct Stored {
    explicit Stored(const std::vector<uint8_t>& raw) : buffer(VersionBlock::BufferSize(raw)) {
        VersionBlock::Store(raw, buffer.data());
    }

    std::optional<std::pair<std::string, unsigned>> Query(const char* path) {
        uint8_t* value = nullptr;
        unsigned length = 0;
        if (!VersionBlock::Query(buffer.data(), path, &value, &length)) {
            return std::nullopt;
        }
        EXPECT_GE(value, buffer.data());
        EXPECT_LE(value + length, buffer.data() + buffer.size());
        return std::make_pair(std::string(reinterpret_cast<char*>(value), length), length);
    }

    std::vector<uint8_t> buffer;
};

std::vector<uint16_t> Numbers(const char* text) {
    return VersionBlockBuilder::FixedNumbers(text);
}

TEST(VersionBlockBuilder, FixedNumbersFromTheLeadingDottedPart) {
    EXPECT_EQ(Numbers("1.2.3.4"), (std::vector<uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(Numbers("2.40-1"), (std::vector<uint16_t>{2, 40, 0, 0}));
    EXPECT_EQ(Numbers("1.2.3.4.5"), (std::vector<uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(Numbers("65535.0.1"), (std::vector<uint16_t>{65535, 0, 1, 0}));
    EXPECT_EQ(Numbers("7"), (std::vector<uint16_t>{7, 0, 0, 0}));
    EXPECT_EQ(Numbers("1.65536"), (std::vector<uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(Numbers("v1.2"), (std::vector<uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(Numbers(""), (std::vector<uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(Numbers("99999999999999999999"), (std::vector<uint16_t>{0, 0, 0, 0}));
}

TEST(VersionBlockBuilder, BlockAnswersEveryUsualQuery) {
    Stored block(VersionBlockBuilder::Build("2.5.1.7", "sample", 1));
    EXPECT_EQ(block.Query(kFileVersion), std::make_pair(std::string("2.5.1.7", 8), 8u));
    EXPECT_EQ(block.Query("\\StringFileInfo\\040904B0\\ProductName"), std::make_pair(std::string("sample", 7), 7u));
    const auto translation = block.Query("\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation);
    ASSERT_EQ(translation->second, 4u);
    EXPECT_EQ(Le16(reinterpret_cast<const uint8_t*>(translation->first.data())), 0x0409);
    EXPECT_EQ(Le16(reinterpret_cast<const uint8_t*>(translation->first.data()) + 2), 0x04B0);
    const auto fixed = block.Query("\\");
    ASSERT_TRUE(fixed);
    ASSERT_EQ(fixed->second, 52u);
    const auto* f = reinterpret_cast<const uint8_t*>(fixed->first.data());
    EXPECT_EQ(Le32(f), 0xFEEF04BDu);
    EXPECT_EQ(Le32(f + 8), 0x00020005u);
    EXPECT_EQ(Le32(f + 12), 0x00010007u);
    EXPECT_EQ(Le32(f + 36), 1u);
    // A table exists but has no value of its own; a missing name is no answer.
    EXPECT_EQ(block.Query("\\StringFileInfo\\040904B0"), std::make_pair(std::string(), 0u));
    EXPECT_EQ(block.Query("\\StringFileInfo\\040904B0\\CompanyName"), std::nullopt);
    EXPECT_EQ(block.Query("\\VarFileInfo\\Translation\\More"), std::nullopt);
    // Without a product name there is no such string.
    Stored bare(VersionBlockBuilder::Build("1", "", 0));
    EXPECT_EQ(bare.Query("\\StringFileInfo\\040904B0\\ProductName"), std::nullopt);
    EXPECT_EQ(bare.Query(kFileVersion), std::make_pair(std::string("1", 2), 2u));
}

TEST(VersionBlockBuilder, LongestTextsFitAndLongerOnesAreRefused) {
    const std::string text(20000, '7');
    Stored block(VersionBlockBuilder::Build(text, "", 2));
    const auto answer = block.Query(kFileVersion);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->second, 20001u);
    EXPECT_EQ(answer->first.substr(0, 20000), text);
    EXPECT_TRUE(VersionBlockBuilder::Build(std::string(33000, '7'), "", 2).empty());
    EXPECT_TRUE(VersionBlockBuilder::Build("1.0", std::string(70000, 'x'), 2).empty());
}

TEST(VersionBlockBuilder, InvalidUtf8BecomesReplacementAndThenAQuestionMark) {
    // A stray continuation byte, a truncated sequence, an overlong form and an encoded surrogate.
    Stored block(VersionBlockBuilder::Build("a\x80"
                                            "b\xE2\x9C"
                                            "c\xC0\xAF"
                                            "d\xED\xA0\x80"
                                            "e\xC3",
                                            "", 0));
    const auto answer = block.Query(kFileVersion);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->first, std::string("a?b??c??d???e?", 15));
}

// Node layout used below: wLength, wValueLength, wType, UTF-16 key, padding to 4, value.
std::vector<uint8_t> RawNode(const std::string& key, uint16_t valueLength, uint16_t type,
                             const std::vector<uint8_t>& value) {
    std::vector<uint8_t> out(6, 0);
    for (const char c : key) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    out.insert(out.end(), {0, 0});
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }
    out.insert(out.end(), value.begin(), value.end());
    PutLe16(out, 0, static_cast<uint32_t>(out.size()));
    PutLe16(out, 2, valueLength);
    PutLe16(out, 4, type);
    return out;
}

TEST(VersionBlock, TextLengthCountedInBytesStillEndsAtTheTerminator) {
    std::vector<uint8_t> raw = VersionBlockBuilder::Build("1.2.3.4", "", 0);
    // Find the FileVersion node's wValueLength (8 units) and double it, as some compilers wrote it.
    const std::vector<uint8_t> key = {'F', 0, 'i', 0, 'l', 0, 'e', 0, 'V', 0};
    const auto at = std::search(raw.begin(), raw.end(), key.begin(), key.end()) - raw.begin() - 6;
    ASSERT_EQ(Le16(raw.data() + at + 2), 8);
    PutLe16(raw, static_cast<size_t>(at) + 2, 16);
    Stored block(raw);
    EXPECT_EQ(block.Query(kFileVersion), std::make_pair(std::string("1.2.3.4", 8), 8u));
}

TEST(VersionBlock, LengthsThatLieNeverLeadOutside) {
    const std::vector<uint8_t> good = VersionBlockBuilder::Build("1.2.3.4", "name", 2);
    const char* const paths[] = {"\\",
                                 kFileVersion,
                                 "\\StringFileInfo\\040904B0\\ProductName",
                                 "\\VarFileInfo\\Translation",
                                 "\\StringFileInfo\\040904B0",
                                 "\\VarFileInfo"};
    // Every shorter declared length, and every word of the block set to 0, 1, 0xFFFF in turn: each query either
    // fails or answers inside the block (the sanitizers watch every read and write).
    for (size_t length = 6; length < good.size(); ++length) {
        std::vector<uint8_t> raw(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        PutLe16(raw, 0, static_cast<uint32_t>(length));
        Stored block(raw);
        for (const char* path : paths) {
            block.Query(path);
        }
    }
    size_t answered = 0;
    for (size_t at = 2; at + 2 <= good.size(); at += 2) {
        for (const uint32_t value : {0u, 1u, 0xFFFFu}) {
            std::vector<uint8_t> raw = good;
            PutLe16(raw, at, value);
            Stored block(raw);
            for (const char* path : paths) {
                answered += block.Query(path) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(answered, 0u);
}

TEST(VersionBlock, ChildrenThatDoNotFitTheirParentAreNotFound) {
    const std::vector<uint8_t> value = {'1', 0, 0, 0};
    std::vector<uint8_t> child = RawNode("FileVersion", 2, 1, value);
    std::vector<uint8_t> root = RawNode("VS_VERSION_INFO", 0, 0, {});
    root.insert(root.end(), child.begin(), child.end());
    PutLe16(root, 0, static_cast<uint32_t>(root.size()));
    ASSERT_TRUE(Stored(root).Query("\\FileVersion"));
    EXPECT_FALSE(Stored(root).Query("\\")); // no fixed information

    std::vector<uint8_t> raw = root;
    PutLe16(raw, 40, static_cast<uint32_t>(child.size() + 4)); // the child claims more than its parent holds
    EXPECT_FALSE(Stored(raw).Query("\\FileVersion"));
    raw = root;
    PutLe16(raw, 40, 0); // a zero length must not make the walk stand still
    EXPECT_FALSE(Stored(raw).Query("\\FileVersion"));
    raw = root;
    PutLe16(raw, 40, 5); // shorter than a node header
    EXPECT_FALSE(Stored(raw).Query("\\FileVersion"));
    raw = root;
    PutLe16(raw, 42, 200); // binary value longer than its node
    PutLe16(raw, 44, 0);
    EXPECT_FALSE(Stored(raw).Query("\\FileVersion"));
    raw = root;
    PutLe16(raw, 40, 28); // the key's terminator lies beyond the node
    EXPECT_FALSE(Stored(raw).Query("\\FileVersion"));
}

} // namespace
} // namespace zarn::platform
