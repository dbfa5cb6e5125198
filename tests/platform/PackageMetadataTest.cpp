// The package note's JSON: the members kept, the escapes decoded, and malformed or hostile texts refused.
#include "platform/posix/PackageMetadata.h"

#include <gtest/gtest.h>
#include <string>

namespace zarn::platform {
namespace {

std::optional<std::string> VersionOf(const std::string& json) {
    const std::optional<PackageMetadata> metadata = PackageMetadata::Parse(json);
    return metadata ? metadata->Version() : std::nullopt;
}

TEST(PackageMetadata, NameAndVersionOfATypicalNote) {
    const auto metadata = PackageMetadata::Parse(
        " {\n\t\"type\" : \"deb\", \"os\":\"debian\", \"name\": \"zarn-sample\" ,\"version\":\"1.2.3.4\" }\r\n");
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->Name(), "zarn-sample");
    EXPECT_EQ(metadata->Version(), "1.2.3.4");
}

TEST(PackageMetadata, EscapesAreDecodedToUtf8) {
    EXPECT_EQ(VersionOf(R"({"version":"a\"b\\c\/d\n\t\b\f\r"})"), "a\"b\\c/d\n\t\b\f\r");
    EXPECT_EQ(VersionOf(R"({"version":"\u0031.\u00e9\u2713"})"), "1.\xC3\xA9\xE2\x9C\x93");
    EXPECT_EQ(VersionOf(R"({"version":"\ud83d\ude00"})"), "\xF0\x9F\x98\x80");
    // Unpaired surrogates become U+FFFD; the character after a lone high one is kept.
    EXPECT_EQ(VersionOf(R"({"version":"\ud83dx\ude00"})"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(VersionOf(R"({"version":"\ud83d\u0041"})"), "\xEF\xBF\xBD"
                                                          "A");
}

TEST(PackageMetadata, OnlyTopLevelStringMembersCount) {
    EXPECT_EQ(VersionOf(R"({"deps":{"version":"9"},"list":[{"version":"8"},[1,2]],"version":"1.0"})"), "1.0");
    EXPECT_EQ(VersionOf(R"({"deps":{"version":"9"}})"), std::nullopt);
    EXPECT_EQ(VersionOf(R"({"version":1.5})"), std::nullopt);
    EXPECT_EQ(VersionOf(R"({"version":null,"x":[true,false,-0.5e+3,0,1E9]})"), std::nullopt);
    EXPECT_EQ(VersionOf(R"({})"), std::nullopt);
    // The last of duplicated members wins, also when it is not a string.
    EXPECT_EQ(VersionOf(R"({"version":"1","version":"2"})"), "2");
    EXPECT_EQ(VersionOf(R"({"version":"1","version":2})"), std::nullopt);
    const auto metadata = PackageMetadata::Parse(R"({"name":["x"],"version":"3"})");
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->Name(), "");
}

TEST(PackageMetadata, MalformedTextIsRefused) {
    const char* const texts[] = {
        "",
        "version",
        R"(["version","1"])",
        R"({"version":"1",})",
        R"({"version" "1"})",
        R"({"version":"1")",
        R"({"version":"1"}})",
        R"({"version":"1"} x)",
        R"({"version":"1)",
        R"({"version":"1\x"})",
        R"({"version":"1\u12"})",
        R"({"version":"1\u12g4"})",
        "{\"version\":\"1\n\"}",
        R"({version:"1"})",
        R"({"a":01,"version":"1"})",
        R"({"a":1.,"version":"1"})",
        R"({"a":-,"version":"1"})",
        R"({"a":1e,"version":"1"})",
        R"({"a":tru,"version":"1"})",
        R"({"a":[1,],"version":"1"})",
        R"({"a":[1 2],"version":"1"})",
        R"({"a":{"b"},"version":"1"})",
        R"({"a":{"b":1,},"version":"1"})",
        R"({"a":[}],"version":"1"})",
        R"({"a":{]},"version":"1"})",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(PackageMetadata::Parse(text));
    }
}

TEST(PackageMetadata, DeepNestingIsBoundedWithoutRecursion) {
    const std::string shallow = R"({"a":)" + std::string(200, '[') + std::string(200, ']') + R"(,"version":"1"})";
    EXPECT_EQ(VersionOf(shallow), "1");
    const std::string deep = R"({"a":)" + std::string(1000000, '[') + std::string(1000000, ']') + R"(,"version":"1"})";
    EXPECT_FALSE(PackageMetadata::Parse(deep));
    EXPECT_FALSE(PackageMetadata::Parse(R"({"a":)" + std::string(1000000, '{')));
}

} // namespace
} // namespace zarn::platform
