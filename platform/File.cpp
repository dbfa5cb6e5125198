// The parts of File that are the same on every system.
#include "platform/File.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <string_view>
#include <utility>

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

// True when `name` is `base` followed by a suffix of the form UniqueFileSuffix gives.
bool HasUniqueSuffix(const std::string& name, const std::string& base) {
    const std::string_view view(name);
    if (view.size() != base.size() + kSuffixMark.size() + kSuffixLetters || !view.starts_with(base) ||
        view.substr(base.size(), kSuffixMark.size()) != kSuffixMark) {
        return false;
    }
    return view.substr(base.size() + kSuffixMark.size()).find_first_not_of(kSuffixAlphabet) == std::string_view::npos;
}
} // namespace

std::string UniqueFileSuffix() {
    // Random bits and a counter: unique within the process, hard to guess outside it.
    static std::atomic<std::uint64_t> counter{0};
    std::random_device random;
    std::uint64_t mix =
        (static_cast<std::uint64_t>(random()) << 32) ^ random() ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string suffix(kSuffixMark);
    for (std::size_t i = 0; i < kSuffixLetters; ++i) {
        suffix += kSuffixAlphabet[mix % kSuffixAlphabet.size()];
        mix /= kSuffixAlphabet.size();
    }
    return suffix;
}

void File::RemoveStaleBeside(const std::string& path, std::chrono::seconds minAge) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string base = target.filename().string();
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const auto now = fs::file_time_type::clock::now();
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        if (!HasUniqueSuffix(it->path().filename().string(), base)) {
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
