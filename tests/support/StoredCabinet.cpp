#include "tests/support/StoredCabinet.h"

#include <cstdint>

namespace zarn::test {

namespace {

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

} // namespace

std::string StoredCabinet(const std::vector<std::pair<std::string, std::string>>& entries) {
    constexpr std::size_t kHeaderSize = 36;
    constexpr std::size_t kFolderSize = 8;
    constexpr std::size_t kBlockSize = 32768; // the most one data block may hold
    std::string files;
    std::string data;
    for (const auto& [name, content] : entries) {
        Put32(files, static_cast<std::uint32_t>(content.size()));
        Put32(files, static_cast<std::uint32_t>(data.size())); // offset in the folder's uncompressed data
        Put16(files, 0);                                       // folder 0
        Put16(files, 0x5A21);                                  // 2025-01-01
        Put16(files, 0);
        Put16(files, 0x20); // archive
        files += name;
        files += '\0';
        data += content;
    }
    std::string blocks;
    std::uint32_t blockCount = 0;
    for (std::size_t at = 0; at < data.size(); at += kBlockSize, ++blockCount) {
        const std::string block = data.substr(at, kBlockSize);
        Put32(blocks, 0); // no checksum
        Put16(blocks, static_cast<std::uint32_t>(block.size()));
        Put16(blocks, static_cast<std::uint32_t>(block.size()));
        blocks += block;
    }
    const std::size_t filesAt = kHeaderSize + kFolderSize;
    const std::size_t blocksAt = filesAt + files.size();
    std::string cabinet = "MSCF";
    Put32(cabinet, 0);
    Put32(cabinet, static_cast<std::uint32_t>(blocksAt + blocks.size()));
    Put32(cabinet, 0);
    Put32(cabinet, static_cast<std::uint32_t>(filesAt));
    Put32(cabinet, 0);
    cabinet += '\x03'; // version 1.3
    cabinet += '\x01';
    Put16(cabinet, 1); // folders
    Put16(cabinet, static_cast<std::uint32_t>(entries.size()));
    Put16(cabinet, 0);      // flags: no reserve, no previous or next cabinet
    Put16(cabinet, 0x2A2A); // set id
    Put16(cabinet, 0);      // first cabinet of its set
    Put32(cabinet, static_cast<std::uint32_t>(blocksAt));
    Put16(cabinet, blockCount);
    Put16(cabinet, 0); // stored
    return cabinet + files + blocks;
}

} // namespace zarn::test
