// The drawing templates' installer: puts the templates into "drawings/" beside itself, tells the design control
// where they are (HKEY_CURRENT_USER\Software\Ostrevant\Quillorna\Templates, "Folder") and registers its own class,
// whose server file is this program, so that the launcher finds the installed version. Takes no arguments; exits
// 0 when everything is in place, 1 otherwise.
#include "samples/shared/ClassRegistration.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#ifdef _WIN32
#include <vector>
#endif

namespace {

namespace fs = std::filesystem;

struct Template {
    const char* fileName;
    const char* content;
};

constexpr Template kTemplates[] = {
    {"A4-landscape.qdt", "sheet=A4\norientation=landscape\nwidth_mm=297\nheight_mm=210\nmargin_mm=10\n"},
    {"A3-landscape.qdt", "sheet=A3\norientation=landscape\nwidth_mm=420\nheight_mm=297\nmargin_mm=10\n"},
};

int Fail(const std::string& what) {
    std::fprintf(stderr, "qtemplates-setup: %s\n", what.c_str());
    return 1;
}

// Written beside and renamed into place, so an interrupted run never leaves half a template.
bool WriteWhole(const fs::path& path, const std::string& content) {
    const fs::path partial = path.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << content;
        out.close();
        if (!out) {
            return false;
        }
    }
    std::error_code error;
    fs::rename(partial, path, error);
    return !error;
}

// This program's own file, as the system started it.
#ifdef _WIN32
fs::path OwnFile(std::error_code& error) {
    // A path longer than the buffer comes back cut off (with the buffer's full length): try a larger one.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
            return {};
        }
        if (length < size) {
            return fs::path(std::wstring(buffer.data(), length));
        }
    }
    error = std::make_error_code(std::errc::filename_too_long);
    return {};
}
#else
fs::path OwnFile(std::error_code& error) {
    return fs::read_symlink("/proc/self/exe", error);
}
#endif

} // namespace

int main() {
    std::error_code error;
    const fs::path self = OwnFile(error);
    if (error) {
        return Fail("cannot find its own file: " + error.message());
    }
    const fs::path folder = self.parent_path() / "drawings";
    fs::create_directories(folder, error);
    if (error) {
        return Fail("cannot create " + folder.string() + ": " + error.message());
    }
    for (const Template& drawing : kTemplates) {
        if (!WriteWhole(folder / drawing.fileName, drawing.content)) {
            return Fail("cannot write " + (folder / drawing.fileName).string());
        }
    }
    const std::string folderText = quillorna::RegistryText(folder);
    const std::string selfText = quillorna::RegistryText(self);
    if (folderText.empty() || selfText.empty()) {
        return Fail("its folder's name cannot be written in the registry's code page");
    }
    if (quillorna::SetStringValue(HKEY_CURRENT_USER, "Software\\Ostrevant\\Quillorna\\Templates", "Folder",
                                  folderText) != ERROR_SUCCESS) {
        return Fail("cannot record the templates folder in the registry");
    }
    const quillorna::ClassRegistration entry = {TEMPLATES_CLSID, "Quillorna Drawing Templates", "Quillorna.Templates.1",
                                                selfText, "Apartment"};
    if (const LONG result = quillorna::RegisterClass(entry); result != ERROR_SUCCESS) {
        return Fail("cannot register its class (registry error " + std::to_string(result) + ")");
    }
    return 0;
}
