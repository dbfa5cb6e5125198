// A directory held open, beneath which folders and files are made, replaced and removed one level at a time
// without following any link: a symbolic link (or, on Windows, any reparse point: a junction, a mount point) met
// at a name is never gone through. While held, the directory cannot be swapped for a link: on POSIX every name
// is taken relative to the open directory itself; on Windows it is held open without delete sharing, so it
// cannot be renamed or removed. Errors come back as the system's code.
#pragma once

#include "platform/File.h"

#include <cstdint>
#include <string>

namespace zarn::platform {

class DirectoryHandle {
public:
    // What a name directly beneath the directory is, the name itself and not what a link at it points to.
    enum class Kind { Missing, File, Directory, Link };

    DirectoryHandle() = default;
    ~DirectoryHandle();
    DirectoryHandle(DirectoryHandle&& other) noexcept;
    DirectoryHandle& operator=(DirectoryHandle&& other) noexcept;
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;

    // Opens the existing directory `path`; one that is itself a link is refused. Returns 0 or the system's
    // code. Any thread.
    [[nodiscard]] unsigned long Open(const std::string& path);
    // Opens the directory `name` directly beneath as `child`, making it first when it is missing (`made`
    // then says so, also when the open fails after); a link at the name is refused. Returns 0 or the system's
    // code.
    [[nodiscard]] unsigned long OpenChild(const std::string& name, DirectoryHandle& child, bool& made);
    // What `name` directly beneath is. Returns 0 or the system's code of a failed look (Missing is no failure).
    [[nodiscard]] unsigned long KindOf(const std::string& name, Kind& kind) const;
    // Creates a new, empty file beneath, named `name` + UniqueFileSuffix(), as File::CreateBeside does (held
    // while open, with the permissions of a file `name` when there is one) and never through a link; its
    // name goes to `createdName`. Returns 0 or the system's code.
    [[nodiscard]] unsigned long CreateBeside(const std::string& name, File& file, std::string& createdName);
    // Renames `from` over `to`, both directly beneath; a link at `to` is replaced, not followed. Returns 0 or
    // the system's code.
    [[nodiscard]] unsigned long Replace(const std::string& from, const std::string& to);
    // Deletes the file `name` directly beneath. Returns 0 or the system's code.
    [[nodiscard]] unsigned long RemoveFile(const std::string& name);
    // Deletes the empty directory `name` directly beneath; a handle of it must be closed first. Returns 0 or
    // the system's code.
    [[nodiscard]] unsigned long RemoveEmptyDirectory(const std::string& name);
    // The bytes the calling user may still write on the directory's file system, in `bytes`. Returns 0 or the
    // system's code.
    [[nodiscard]] unsigned long FreeSpace(std::uint64_t& bytes) const;
    // Lets the directory go; a second call does nothing. Returns 0, or the system's code when the close
    // reported a failure (the directory is let go anyway).
    unsigned long Close();

    bool IsOpen() const { return m_handle != -1; }

private:
    std::intptr_t m_handle = -1; // directory descriptor (POSIX) or handle (Windows); -1 when closed
    std::wstring m_path;         // Windows only: the directory's full path in the system's long form
};

} // namespace zarn::platform
