// The parts of File that are the same on every system.
#include "platform/File.h"

#include <atomic>
#include <random>
#include <utility>

namespace zarn::platform {

File::~File() {
    unsigned long ignored = 0;
    Close(ignored);
}

File::File(File&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        unsigned long ignored = 0;
        Close(ignored);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

std::string UniqueFileSuffix() {
    // Random bits and a counter: unique within the process, hard to guess outside it.
    static std::atomic<std::uint64_t> counter{0};
    std::random_device random;
    std::uint64_t mix = (static_cast<std::uint64_t>(random()) << 32) ^ random() ^
                        (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix = ".zarn-";
    for (int i = 0; i < 6; ++i) {
        suffix += alphabet[mix % 36];
        mix /= 36;
    }
    return suffix;
}

} // namespace zarn::platform
