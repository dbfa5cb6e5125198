// The parts of File that are the same on every system.
#include "platform/File.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn::platform {

File::~File() {
    Close();
}

File::File(File&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

namespace {
constexpr std::string_view kSuffixMark = ".zarn-";
constexpr std::string_view kSuffixAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kSuffixLetters = 6;

// True when `name` is some file's name followed by a suffix of the form UniqueFileSuffix gives.
bool HasUniqueSuffix(std::string_view name) {
    if (name.size() <= kSuffixMark.size() + kSuffixLetters) {
        return false;
    }
    const std::string_view suffix = name.substr(name.size() - kSuffixMark.size() - kSuffixLetters);
    return suffix.starts_with(kSuffixMark) &&
           suffix.substr(kSuffixMark.size()).find_first_not_of(kSuffixAlphabet) == std::string_view::npos;
}

// splitmix64: spreads a seed and a counter over all bits.
std::uint64_t Mix(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
} // namespace

std::string UniqueFileSuffix() {
    // Random bits drawn once and a counter: unique within the process, hard to guess outside it, and no
    // random device opened for every download.
    static const std::uint64_t seed = [] {
        std::random_device random;
        return (static_cast<std::uint64_t>(random()) << 32) ^ random();
    }();
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t mix = Mix(seed + counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string suffix(kSuffixMark);
    for (std::size_t i = 0; i < kSuffixLetters; ++i) {
        suffix += kSuffixAlphabet[mix % kSuffixAlphabet.size()];
        mix /= kSuffixAlphabet.size();
    }
    return suffix;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // In pieces, so that a file far larger than allowed costs no more memory than the limit.
    std::string bytes;
    std::vector<char> piece(64 * 1024);
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (bytes.size() + got > maxBytes) {
            return std::nullopt;
        }
        bytes.append(piece.data(), got);
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

void File::RemoveStaleBeside(const std::string& path, std::chrono::seconds minAge) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // Once per directory and process: what died before this process started is gone after the first sweep,
    // and a hundred downloads into one folder do not read it a hundred times.
    static std::mutex sweptLock;
    static std::set<std::string> swept;
    {
        const std::lock_guard<std::mutex> lock(sweptLock);
        if (!swept.insert(directory.lexically_normal().string()).second) {
            return;
        }
    }
    RemoveStaleIn(directory.string(), minAge);
}

void File::RemoveStaleIn(const std::string& directoryPath, std::chrono::seconds minAge) {
    namespace fs = std::filesystem;
    const fs::path directory(directoryPath);
    const auto now = fs::file_time_type::clock::now();
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        if (!HasUniqueSuffix(it->path().filename().string())) {
            continue;
        }
        // Only plain files of our naming; a young one may belong to a download that is just starting.
        std::error_code entryError;
        if (!fs::is_regular_file(it->symlink_status(entryError))) {
            continue;
        }
        const auto written = fs::last_write_time(it->path(), entryError);
        if (!entryError && now - written >= minAge) {
            RemoveUnheld(it->path().string());
        }
    }
}

} // namespace zarn::platform
