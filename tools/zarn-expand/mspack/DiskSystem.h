// The mspack_system that zarn-expand gives libmspack: the cabinet is read with <cstdio>, and output goes only
// to the files registered beforehand (our temporary files), written through platform::File.
#pragma once

#include "platform/File.h"

#include <cstdint>
#include <map>
#include <mspack.h>
#include <string>

namespace zarn {

class DiskSystem {
public:
    DiskSystem();
    DiskSystem(const DiskSystem&) = delete;
    DiskSystem& operator=(const DiskSystem&) = delete;

    // The table to hand to libmspack; valid while this object lives.
    mspack_system* Table() { return &m_table; }
    // The next open for writing of `name` writes to `file` (which stays the caller's), at most `limit` bytes,
    // and closes it when the library closes its output. Any other name cannot be opened for writing.
    void Expect(const std::string& name, zarn::platform::File& file, std::uint64_t limit);
    // The system code of the first failed write or close of an output since the last call, 0 when none;
    // resets it.
    unsigned long TakeOutputError();
    // Whether a write was refused since the last call because it would have passed its output's limit;
    // resets it.
    bool TakeOverrun();

private:
    struct OwnedTable : mspack_system {
        DiskSystem* owner = nullptr;
    };
    struct Handle;
    static Handle* AsHandle(mspack_file* file);

    static mspack_file* Open(mspack_system* self, const char* filename, int mode);
    static void Close(mspack_file* file);
    static int Read(mspack_file* file, void* buffer, int bytes);
    static int Write(mspack_file* file, void* buffer, int bytes);
    static int Seek(mspack_file* file, off_t offset, int mode);
    static off_t Tell(mspack_file* file);
    static void Message(mspack_file* file, const char* format, ...);
    static void* Alloc(mspack_system* self, size_t bytes);
    static void Free(void* pointer);
    static void Copy(void* source, void* destination, size_t bytes);

    void NoteOutputError(unsigned long code);

    OwnedTable m_table;
    struct Expected {
        zarn::platform::File* file = nullptr;
        std::uint64_t limit = 0;
    };
    std::map<std::string, Expected> m_expected;
    unsigned long m_outputError = 0;
    bool m_overrun = false;
};

} // namespace zarn
