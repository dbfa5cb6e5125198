#include "tools/zarn-expand/mspack/DiskSystem.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zarn {

struct DiskSystem::Handle {
    DiskSystem* owner = nullptr;
    std::FILE* input = nullptr;
    zarn::platform::File* output = nullptr;
    std::uint64_t room = 0; // what the output may still take
};

DiskSystem::DiskSystem() {
    m_table.open = &DiskSystem::Open;
    m_table.close = &DiskSystem::Close;
    m_table.read = &DiskSystem::Read;
    m_table.write = &DiskSystem::Write;
    m_table.seek = &DiskSystem::Seek;
    m_table.tell = &DiskSystem::Tell;
    m_table.message = &DiskSystem::Message;
    m_table.alloc = &DiskSystem::Alloc;
    m_table.free = &DiskSystem::Free;
    m_table.copy = &DiskSystem::Copy;
    m_table.null_ptr = nullptr;
    m_table.owner = this;
}

void DiskSystem::Expect(const std::string& name, zarn::platform::File& file, std::uint64_t limit) {
    m_expected[name] = Expected{&file, limit};
}

unsigned long DiskSystem::TakeOutputError() {
    const unsigned long code = m_outputError;
    m_outputError = 0;
    return code;
}

bool DiskSystem::TakeOverrun() {
    const bool overrun = m_overrun;
    m_overrun = false;
    return overrun;
}

void DiskSystem::NoteOutputError(unsigned long code) {
    if (m_outputError == 0) {
        m_outputError = code;
    }
}

mspack_file* DiskSystem::Open(mspack_system* self, const char* filename, int mode) {
    DiskSystem* owner = static_cast<OwnedTable*>(self)->owner;
    auto* handle = new Handle{owner, nullptr, nullptr, 0};
    if (mode == MSPACK_SYS_OPEN_READ) {
        handle->input = std::fopen(filename, "rb");
    } else if (mode == MSPACK_SYS_OPEN_WRITE) {
        if (const auto it = owner->m_expected.find(filename); it != owner->m_expected.end()) {
            handle->output = it->second.file;
            handle->room = it->second.limit;
            owner->m_expected.erase(it);
        }
    }
    if (handle->input == nullptr && handle->output == nullptr) {
        delete handle;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(handle);
}

void DiskSystem::Close(mspack_file* file) {
    Handle* handle = AsHandle(file);
    if (handle == nullptr) {
        return;
    }
    if (handle->input != nullptr) {
        std::fclose(handle->input);
    }
    if (handle->output != nullptr) {
        if (const unsigned long code = handle->output->Close(); code != 0) {
            handle->owner->NoteOutputError(code);
        }
    }
    delete handle;
}

// The library may pass a null handle after a failed extraction; every operation refuses one.
int DiskSystem::Read(mspack_file* file, void* buffer, int bytes) {
    Handle* handle = AsHandle(file);
    if (handle == nullptr || handle->input == nullptr || bytes < 0) {
        return -1;
    }
    const std::size_t count = std::fread(buffer, 1, static_cast<std::size_t>(bytes), handle->input);
    if (count < static_cast<std::size_t>(bytes) && std::ferror(handle->input) != 0) {
        return -1;
    }
    return static_cast<int>(count);
}

int DiskSystem::Write(mspack_file* file, void* buffer, int bytes) {
    Handle* handle = AsHandle(file);
    if (handle == nullptr || handle->output == nullptr || bytes < 0) {
        return -1;
    }
    // The free space was weighed against the declared sizes: an output never takes more than its own.
    if (static_cast<std::uint64_t>(bytes) > handle->room) {
        handle->owner->m_overrun = true;
        return -1;
    }
    handle->room -= static_cast<std::uint64_t>(bytes);
    if (const unsigned long code =
            handle->output->Write(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
        code != 0) {
        handle->owner->NoteOutputError(code);
        return -1;
    }
    return bytes;
}

int DiskSystem::Seek(mspack_file* file, off_t offset, int mode) {
    Handle* handle = AsHandle(file);
    if (handle == nullptr || handle->input == nullptr || offset < std::numeric_limits<long>::min() ||
        offset > std::numeric_limits<long>::max()) {
        return -1;
    }
    int origin = SEEK_SET;
    if (mode == MSPACK_SYS_SEEK_CUR) {
        origin = SEEK_CUR;
    } else if (mode == MSPACK_SYS_SEEK_END) {
        origin = SEEK_END;
    } else if (mode != MSPACK_SYS_SEEK_START) {
        return -1;
    }
    return std::fseek(handle->input, static_cast<long>(offset), origin) == 0 ? 0 : -1;
}

off_t DiskSystem::Tell(mspack_file* file) {
    Handle* handle = AsHandle(file);
    return handle != nullptr && handle->input != nullptr ? static_cast<off_t>(std::ftell(handle->input)) : -1;
}

void DiskSystem::Message(mspack_file*, const char* format, ...) {
    std::fputs("zarn-expand: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

void* DiskSystem::Alloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}

void DiskSystem::Free(void* pointer) {
    std::free(pointer);
}

void DiskSystem::Copy(void* source, void* destination, size_t bytes) {
    std::memcpy(destination, source, bytes);
}

DiskSystem::Handle* DiskSystem::AsHandle(mspack_file* file) {
    return reinterpret_cast<Handle*>(file);
}

} // namespace zarn
