// The drawing templates' installer: puts the templates into "drawings/" beside itself, tells the design control
// where they are (HKEY_CURRENT_USER\Software\Ostrevant\Quillorna\Templates, "Folder") and registers its own class,
// whose server file is this program, so that the launcher finds the installed version. Takes no arguments; exits
// 0 when everything is in place, 1 otherwise.
#include "samples/shared/ClassRegistration.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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

} // namespace

int main() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
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
    if (quillorna::SetStringValue(HKEY_CURRENT_USER, "Software\\Ostrevant\\Quillorna\\Templates", "Folder",
                                  folder.string()) != ERROR_SUCCESS) {
        return Fail("cannot record the templates folder in the registry");
    }
    const quillorna::ClassRegistration entry = {TEMPLATES_CLSID, "Quillorna Drawing Templates", "Quillorna.Templates.1",
                                                self.string(), "Apartment"};
    if (const LONG result = quillorna::RegisterClass(entry); result != ERROR_SUCCESS) {
        return Fail("cannot register its class (registry error " + std::to_string(result) + ")");
    }
    return 0;
}
