#include "platform/posix/VersionInfoReader.h"

#include "platform/posix/ElfPackageReader.h"
#include "platform/posix/PackageMetadata.h"
#include "platform/posix/PeVersionReader.h"
#include "platform/posix/VersionBlockBuilder.h"
#include "platform/posix/ZarnVersionApi.h"

namespace zarn::platform {

namespace {

constexpr uint16_t kElfExecutable = 2;
constexpr uint16_t kElfShared = 3;
constexpr uint32_t kVftApp = 1;
constexpr uint32_t kVftDll = 2;

} // namespace

std::vector<uint8_t> VersionInfoReader::Read(const ByteSource& source) {
    if (!source.IsOpen()) {
        return {};
    }
    std::vector<uint8_t> block = PeVersionReader(source).ReadVersionBlock(GetUserDefaultLangID());
    if (!block.empty()) {
        return block;
    }
    ElfPackageReader elf(source);
    const std::optional<std::string> json = elf.ReadPackageJson();
    if (!json) {
        return {};
    }
    const std::optional<PackageMetadata> metadata = PackageMetadata::Parse(*json);
    if (!metadata || !metadata->Version()) {
        return {};
    }
    const uint32_t fileType = elf.FileType() == kElfExecutable ? kVftApp : (elf.FileType() == kElfShared ? kVftDll : 0);
    return VersionBlockBuilder::Build(*metadata->Version(), metadata->Name(), fileType);
}

std::vector<uint8_t> VersionInfoReader::ReadFile(const std::string& path) {
    const ByteSource source(path);
    return Read(source);
}

} // namespace zarn::platform
