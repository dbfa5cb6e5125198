// The status words a component record carries, compared as exact text and shown as they stand.
#pragma once

namespace zarn {

inline constexpr const char* kStatusNotInstalled = "NOT_INSTALLED";
inline constexpr const char* kStatusOutOfDate = "OUT_OF_DATE";
inline constexpr const char* kStatusNewer = "NEWER THAN SPECIFIED";
inline constexpr const char* kStatusCurrent = "CURRENT";

} // namespace zarn
