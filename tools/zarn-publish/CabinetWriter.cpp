#include "tools/zarn-publish/CabinetWriter.h"

#include <algorithm>
#include <libgcab.h>
#include <memory>
#include <utility>
#include <vector>

namespace zarn {

namespace {

namespace fs = std::filesystem;

template <typename T> struct GObjectDeleter {
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectDeleter<T>>;

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};

// The entries of the cabinet: each file's name inside it and its path on disk.
bool CollectEntries(const fs::path& source, std::vector<std::pair<std::string, fs::path>>& entries,
                    std::string& error) {
    std::error_code code;
    if (fs::is_regular_file(source, code)) {
        entries.emplace_back(source.filename().string(), source);
        return true;
    }
    if (!fs::is_directory(source, code)) {
        error = source.string() + ": no such file or folder";
        return false;
    }
    for (fs::recursive_directory_iterator it(source, code), end; !code && it != end; it.increment(code)) {
        if (it->is_regular_file(code)) {
            std::string name;
            for (const fs::path& segment : fs::relative(it->path(), source, code)) {
                name += (name.empty() ? "" : "\\") + segment.string();
            }
            entries.emplace_back(std::move(name), it->path());
        }
    }
    if (code) {
        error = source.string() + ": " + code.message();
        return false;
    }
    if (entries.empty()) {
        error = source.string() + ": the folder holds no file to pack";
        return false;
    }
    std::sort(entries.begin(), entries.end());
    return true;
}

} // namespace

bool CabinetWriter::Write(const fs::path& source, bool compress, const fs::path& cabinet, std::string& error) {
    std::vector<std::pair<std::string, fs::path>> entries;
    if (!CollectEntries(source, entries, error)) {
        return false;
    }
    GObjectPtr<GCabFolder> folder(gcab_folder_new(compress ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
    GError* rawError = nullptr;
    for (const auto& [name, path] : entries) {
        GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
        GObjectPtr<GCabFile> entry(gcab_file_new_with_file(name.c_str(), file.get()));
        if (!gcab_folder_add_file(folder.get(), entry.get(), FALSE, nullptr, &rawError)) {
            const std::unique_ptr<GError, GErrorDeleter> owned(rawError);
            error = path.string() + ": " + (owned ? owned->message : "cannot be added to the cabinet");
            return false;
        }
    }
    GObjectPtr<GCabCabinet> cab(gcab_cabinet_new());
    if (!gcab_cabinet_add_folder(cab.get(), folder.get(), &rawError)) {
        const std::unique_ptr<GError, GErrorDeleter> owned(rawError);
        error = cabinet.string() + ": " + (owned ? owned->message : "cannot be made");
        return false;
    }
    GObjectPtr<GFile> out(g_file_new_for_path(cabinet.c_str()));
    GObjectPtr<GFileOutputStream> stream(
        g_file_replace(out.get(), nullptr, FALSE, G_FILE_CREATE_REPLACE_DESTINATION, nullptr, &rawError));
    bool written =
        stream != nullptr &&
        gcab_cabinet_write_simple(cab.get(), G_OUTPUT_STREAM(stream.get()), nullptr, nullptr, nullptr, &rawError) &&
        g_output_stream_close(G_OUTPUT_STREAM(stream.get()), nullptr, &rawError);
    if (!written) {
        const std::unique_ptr<GError, GErrorDeleter> owned(rawError);
        error = cabinet.string() + ": " + (owned ? owned->message : "cannot be written");
        std::error_code ignored;
        fs::remove(cabinet, ignored);
        return false;
    }
    return true;
}

} // namespace zarn
