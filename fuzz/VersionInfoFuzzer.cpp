// Feeds arbitrary bytes to the version readers, as an installed file of any origin could hold them, and walks
// whatever block they yield with the queries the version detection makes.
#include "platform/posix/ByteOrder.h"
#include "platform/posix/ByteSource.h"
#include "platform/posix/ElfPackageReader.h"
#include "platform/posix/PackageMetadata.h"
#include "platform/posix/VersionBlock.h"
#include "platform/posix/VersionInfoReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

using zarn::platform::VersionBlock;

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Every answer lies inside the stored block; string answers are terminated where their length says.
void Walk(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> buffer(VersionBlock::BufferSize(raw));
    VersionBlock::Store(raw, buffer.data());
    const uint8_t* begin = buffer.data();
    const uint8_t* end = begin + buffer.size();
    auto query = [&](const char* path, bool text) -> const uint8_t* {
        uint8_t* value = nullptr;
        unsigned length = 0;
        if (!VersionBlock::Query(buffer.data(), path, &value, &length)) {
            return nullptr;
        }
        Require(value >= begin && value <= end && length <= static_cast<size_t>(end - value));
        if (text && length != 0) {
            Require(value[length - 1] == 0 && std::strlen(reinterpret_cast<char*>(value)) == length - 1);
        }
        return length >= 4 ? value : nullptr;
    };
    query("\\", false);
    query("\\StringFileInfo\\040904B0\\ProductName", true);
    query("\\StringFileInfo", true);
    query("\\VarFileInfo", false);
    char path[64];
    if (const uint8_t* translation = query("\\VarFileInfo\\Translation", false)) {
        const unsigned language = zarn::platform::Le16(translation);
        const unsigned codePage = zarn::platform::Le16(translation + 2);
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\FileVersion", language, codePage);
        query(path, true);
    }
    query("\\StringFileInfo\\040904B0\\FileVersion", true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const zarn::platform::ByteSource source(data, size);

    const std::vector<uint8_t> raw = zarn::platform::VersionInfoReader::Read(source);
    if (!raw.empty()) {
        Require(raw.size() >= 6 && raw.size() <= 0xFFFF && zarn::platform::Le16(raw.data()) == raw.size());
        Walk(raw);
    }

    // The ELF reader and the JSON reader also on their own: a PE answer above hides them otherwise.
    zarn::platform::ElfPackageReader(source).ReadPackageJson();
    zarn::platform::PackageMetadata::Parse(std::string_view(reinterpret_cast<const char*>(data), size));

    // The input itself as a stored block with any contents, its first word made to match its size.
    if (size >= 6) {
        std::vector<uint8_t> block(data, data + std::min<size_t>(size, 0xFFFF));
        zarn::platform::PutLe16(block, 0, static_cast<uint32_t>(block.size()));
        Walk(block);
    }
    return 0;
}
