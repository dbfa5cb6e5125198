// Byte-wise text helpers for the single-byte texts of the list file, the registry, version resources and HTTP
// headers; a folder of their own, so that components/ and download/ share them without reaching into each other.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zarn {

// The white space the list file trims: blank, tab, carriage return, line feed, vertical tab, form feed.
inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// `text` without white space at either end. Any thread; never fails.
std::string_view TrimWhiteSpace(std::string_view text);

// The number at the start of `text` as the C library's atoi reads it (white space, optional sign, digits up to
// the first other byte; 0 without digits), except that a value outside the signed 32-bit range saturates at
// its nearest limit instead of being undefined. Any thread; never fails.
std::int32_t ParseLeadingInt32(std::string_view text);

// `text` with the letters A-Z turned into a-z; every other byte unchanged. Any thread; never fails.
std::string ToLowerAscii(std::string_view text);

// True when `a` and `b` are equal once A-Z and a-z are taken as the same. Any thread; never fails.
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

// True when `text` begins with `prefix`, A-Z and a-z taken as the same. Any thread; never fails.
bool StartsWithIgnoreCaseAscii(std::string_view text, std::string_view prefix);

} // namespace zarn
