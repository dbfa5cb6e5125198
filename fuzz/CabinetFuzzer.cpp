// Feeds arbitrary bytes to zarn-expand's cabinet reader as a downloaded cabinet, through an mspack_system held in
// memory, and extracts every entry into memory. No accepted entry name may name a path outside the target
// directory, whether it comes through the cabinet's headers or straight from the input.
#include "tools/zarn-expand/EntryName.h"
#include "tools/zarn-expand/mspack/Cabinet.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// An accepted name's segments are plain names, and joined below a root they stay below it.
void RequireInside(const std::vector<std::string>& segments) {
    Require(!segments.empty());
    std::filesystem::path joined = "/root";
    for (const std::string& segment : segments) {
        Require(!segment.empty() && segment != "." && segment != "..");
        Require(segment.back() != '.' && segment.back() != ' ');
        for (char c : segment) {
            const auto byte = static_cast<unsigned char>(c);
            Require(c != '/' && c != '\\' && c != ':' && byte >= 0x20 && byte != 0x7F);
        }
        joined /= segment;
    }
    const std::string normal = joined.lexically_normal().string();
    Require(normal.rfind("/root/", 0) == 0 && normal.size() > 6);
}

void CheckName(std::string_view name) {
    const zarn::EntryPath path = zarn::CheckEntryName(name);
    if (path.refusal == nullptr) {
        RequireInside(path.segments);
    } else {
        Require(path.segments.empty());
    }
}

// libmspack's warnings about odd input are of no use here.
void Quiet(mspack_file*, const char*, ...) {}

// The input as the one file to read, and output counted but not kept, up to a limit that bounds each run.
struct MemorySystem : mspack_system {
    struct Handle {
        MemorySystem* owner;
        bool output;
        std::size_t position;
        std::size_t written;
    };

    static constexpr std::size_t kOutputLimit = 1 << 20;

    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t writtenTotal = 0;
    std::size_t lastWritten = 0; // by the output closed last

    MemorySystem(const std::uint8_t* bytes, std::size_t length) : mspack_system{}, data(bytes), size(length) {
        open = [](mspack_system* self, const char*, int mode) -> mspack_file* {
            if (mode != MSPACK_SYS_OPEN_READ && mode != MSPACK_SYS_OPEN_WRITE) {
                return nullptr;
            }
            auto* handle = new Handle{static_cast<MemorySystem*>(self), mode == MSPACK_SYS_OPEN_WRITE, 0, 0};
            return reinterpret_cast<mspack_file*>(handle);
        };
        // After a failed extraction the library may hand back a handle it no longer has: no handle at all.
        close = [](mspack_file* file) {
            auto* handle = reinterpret_cast<Handle*>(file);
            if (handle == nullptr) {
                return;
            }
            if (handle->output) {
                handle->owner->lastWritten = handle->written;
            }
            delete handle;
        };
        read = [](mspack_file* file, void* buffer, int bytes) -> int {
            auto* handle = reinterpret_cast<Handle*>(file);
            if (handle == nullptr || handle->output || bytes < 0) {
                return -1;
            }
            const std::size_t length = handle->owner->size;
            const std::size_t start = std::min(handle->position, length);
            const std::size_t count = std::min(static_cast<std::size_t>(bytes), length - start);
            std::memcpy(buffer, handle->owner->data + start, count);
            handle->position = start + count;
            return static_cast<int>(count);
        };
        write = [](mspack_file* file, void*, int bytes) -> int {
            auto* handle = reinterpret_cast<Handle*>(file);
            if (handle == nullptr || !handle->output || bytes < 0 ||
                handle->owner->writtenTotal + static_cast<std::size_t>(bytes) > kOutputLimit) {
                return -1;
            }
            handle->written += static_cast<std::size_t>(bytes);
            handle->owner->writtenTotal += static_cast<std::size_t>(bytes);
            return bytes;
        };
        seek = [](mspack_file* file, off_t offset, int mode) -> int {
            auto* handle = reinterpret_cast<Handle*>(file);
            if (handle == nullptr) {
                return -1;
            }
            off_t base = 0;
            if (mode == MSPACK_SYS_SEEK_CUR) {
                base = static_cast<off_t>(handle->position);
            } else if (mode == MSPACK_SYS_SEEK_END) {
                base = static_cast<off_t>(handle->owner->size);
            } else if (mode != MSPACK_SYS_SEEK_START) {
                return -1;
            }
            if (handle->output || offset < -base || offset > (off_t{1} << 40)) {
                return -1;
            }
            handle->position = static_cast<std::size_t>(base + offset);
            return 0;
        };
        tell = [](mspack_file* file) -> off_t {
            const auto* handle = reinterpret_cast<Handle*>(file);
            return handle != nullptr ? static_cast<off_t>(handle->position) : -1;
        };
        message = &Quiet;
        alloc = [](mspack_system*, size_t bytes) { return std::malloc(bytes); };
        free = [](void* pointer) { std::free(pointer); };
        copy = [](void* source, void* destination, size_t bytes) { std::memcpy(destination, source, bytes); };
        null_ptr = nullptr;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input's NUL-separated pieces as names, as a cabinet's file table holds them.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        CheckName(text.substr(start, end - start));
        start = end + 1;
    }
    CheckName(text);

    MemorySystem system(data, size);
    zarn::Cabinet cabinet(&system);
    std::string error;
    if (!cabinet.Open("cabinet", error)) {
        return 0;
    }
    // As zarn-expand does: one refused name stops the cabinet before any entry is extracted.
    const std::vector<zarn::Cabinet::Entry> entries = cabinet.Entries();
    for (const zarn::Cabinet::Entry& entry : entries) {
        const zarn::EntryPath path = zarn::CheckEntryName(entry.name);
        if (path.refusal != nullptr) {
            Require(path.segments.empty());
            return 0;
        }
        RequireInside(path.segments);
    }
    for (const zarn::Cabinet::Entry& entry : entries) {
        if (cabinet.Extract(entry, "output", error)) {
            Require(system.lastWritten == entry.file->length);
        }
    }
    return 0;
}
