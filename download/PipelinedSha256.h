// SHA-256 of a body as it arrives, computed on a thread of its own so that hashing overlaps the transfer instead
// of adding to it: the caller copies each piece into a block and goes on receiving while full blocks are hashed
// behind it. At most a few blocks wait, so memory stays bounded whatever the body's length.
#pragma once

#include "platform/Signature.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zarn {

class PipelinedSha256 {
public:
    PipelinedSha256();
    // Waits for the hashing thread to end.
    ~PipelinedSha256();
    PipelinedSha256(const PipelinedSha256&) = delete;
    PipelinedSha256& operator=(const PipelinedSha256&) = delete;

    // Adds the next bytes; waits only while every block is full and queued. One thread (the caller's) at a time.
    void Update(const void* data, std::size_t size);
    // The digest of everything added since construction or the last Reset, as 64 lower-case hex digits, once
    // every block has been hashed; starts again afterwards. Empty only when the system's cryptography failed.
    std::string FinishHex();
    // Forgets what was added.
    void Reset();

private:
    void HashBlocks();
    // Hands the current block to the hashing thread.
    void Submit();
    // Waits until every submitted block has been hashed.
    void Drain();

    platform::Sha256 m_hash; // the hashing thread's while blocks are queued; the caller's once drained
    std::vector<char> m_current;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<char>> m_queued;
    std::vector<std::vector<char>> m_spare;
    bool m_busy = false; // the hashing thread holds a block
    bool m_ending = false;
    bool m_inline = false; // no thread could be started

    std::thread m_thread;
};

} // namespace zarn
