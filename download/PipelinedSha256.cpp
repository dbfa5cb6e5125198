#include "download/PipelinedSha256.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace zarn {

namespace {

// Large enough that handing a block over costs little against hashing it, small enough that the waiting blocks
// stay a few MiB at most.
constexpr std::size_t kBlockSize = 1024 * 1024;
constexpr std::size_t kMaxQueued = 3;

} // namespace

PipelinedSha256::PipelinedSha256() {
    m_current.reserve(kBlockSize);
}

PipelinedSha256::~PipelinedSha256() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void PipelinedSha256::Update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const std::size_t piece = std::min(size, kBlockSize - m_current.size());
        m_current.insert(m_current.end(), bytes, bytes + piece);
        bytes += piece;
        size -= piece;
        if (m_current.size() == kBlockSize) {
            Submit();
        }
    }
}

void PipelinedSha256::Submit() {
    std::unique_lock lock(m_mutex);
    // The thread starts with the first full block: a small body is hashed at the end without one.
    if (!m_thread.joinable() && !m_inline) {
        try {
            m_thread = std::thread(&PipelinedSha256::HashBlocks, this);
        } catch (const std::system_error&) {
            // No thread to be had: the blocks are hashed here, as they fill, which is slower but as sound.
            m_inline = true;
        }
    }
    if (m_inline) {
        m_hash.Update(m_current.data(), m_current.size());
        m_current.clear();
        return;
    }
    m_changed.wait(lock, [this] { return m_queued.size() < kMaxQueued; });
    m_queued.push_back(std::move(m_current));
    if (m_spare.empty()) {
        m_current = std::vector<char>();
        m_current.reserve(kBlockSize);
    } else {
        m_current = std::move(m_spare.back());
        m_spare.pop_back();
    }
    lock.unlock();
    m_changed.notify_all();
}

void PipelinedSha256::HashBlocks() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_ending || !m_queued.empty(); });
        if (m_queued.empty()) {
            return;
        }
        std::vector<char> block = std::move(m_queued.front());
        m_queued.pop_front();
        m_busy = true;
        lock.unlock();
        m_changed.notify_all();
        m_hash.Update(block.data(), block.size());
        block.clear();
        lock.lock();
        m_spare.push_back(std::move(block));
        m_busy = false;
        m_changed.notify_all();
    }
}

void PipelinedSha256::Drain() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queued.empty() && !m_busy; });
}

std::string PipelinedSha256::FinishHex() {
    Drain();
    m_hash.Update(m_current.data(), m_current.size());
    m_current.clear();
    return m_hash.FinishHex();
}

void PipelinedSha256::Reset() {
    Drain();
    m_current.clear();
    m_hash.Reset();
}

} // namespace zarn
