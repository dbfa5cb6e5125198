// Little- and big-endian integers from byte buffers; the caller has checked that the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn::platform {

inline uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Le32(const uint8_t* p) {
    return Le16(p) | static_cast<uint32_t>(Le16(p + 2)) << 16;
}
inline uint64_t Le64(const uint8_t* p) {
    return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

inline uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(Be16(p)) << 16 | Be16(p + 2);
}
inline uint64_t Be64(const uint8_t* p) {
    return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4);
}

inline void PutLe16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    PutLe16(out, at, v & 0xFFFF);
    PutLe16(out, at + 2, v >> 16);
}

} // namespace zarn::platform
