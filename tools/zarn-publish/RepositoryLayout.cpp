#include "tools/zarn-publish/RepositoryLayout.h"

#include "platform/Signature.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace zarn {

namespace fs = std::filesystem;

fs::path ListFileIn(const fs::path& root) {
    return root / "quillornacc" / "complist" / "complist.txt";
}

fs::path SignatureFileIn(const fs::path& root) {
    return root / "quillornacc" / "complist" / "complist.txt.sig";
}

fs::path ComponentsFolderIn(const fs::path& root) {
    return root / "quillornacc" / "components";
}

std::optional<FileDigest> DigestOfFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    platform::Sha256 hash;
    FileDigest digest;
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        hash.Update(buffer.data(), got);
        digest.size += got;
    }
    if (in.bad()) {
        return std::nullopt;
    }
    digest.sha256 = hash.FinishHex();
    if (digest.sha256.empty()) {
        return std::nullopt;
    }
    return digest;
}

bool WriteFileInPlace(const fs::path& path, const std::string& bytes) {
    fs::path staged = path;
    staged += ".new";
    {
        std::ofstream out(staged, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(staged, ignored);
            return false;
        }
    }
    std::error_code error;
    fs::rename(staged, path, error);
    if (error) {
        fs::remove(staged, error);
        return false;
    }
    return true;
}

std::string UtcText(std::int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss<std::chrono::seconds> clock(time - day);
    char text[64] = {};
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

} // namespace zarn
