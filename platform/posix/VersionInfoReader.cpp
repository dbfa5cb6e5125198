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

std::vector<uint8_t> CVersionInfoReader::Read(const CByteSource& source) {
    if (!source.IsOpen()) {
        return {};
    }
    std::vector<uint8_t> block = CPeVersionReader(source).ReadVersionBlock(GetUserDefaultLangID());
    if (!block.empty()) {
        return block;
    }
    CElfPackageReader elf(source);
    const std::optional<std::string> json = elf.ReadPackageJson();
    if (!json) {
        return {};
    }
    const std::optional<CPackageMetadata> metadata = CPackageMetadata::Parse(*json);
    if (!metadata || !metadata->Version()) {
        return {};
    }
    const uint32_t fileType = elf.FileType() == kElfExecutable ? kVftApp : (elf.FileType() == kElfShared ? kVftDll : 0);
    return CVersionBlockBuilder::Build(*metadata->Version(), metadata->Name(), fileType);
}

std::vector<uint8_t> CVersionInfoReader::ReadFile(const std::string& path) {
    const CByteSource source(path);
    return Read(source);
}

} // namespace zarn::platform
