#include "download/ThroughputFloor.h"

#include <algorithm>

namespace zarn {

ThroughputFloor::ThroughputFloor(std::chrono::milliseconds window, std::uint64_t floorBytes)
    : m_slot(std::chrono::duration_cast<Clock::duration>(window) / kSlots), m_floorBytes(floorBytes) {}

void ThroughputFloor::Restart(Clock::time_point now) {
    m_running = m_floorBytes > 0 && m_slot > Clock::duration::zero();
    m_start = now;
    m_total = 0;
    m_slotIndex = 0;
    m_marks.fill(0);
}

void ThroughputFloor::Advance(Clock::time_point now) {
    const auto current = static_cast<std::uint64_t>(std::max(now - m_start, Clock::duration::zero()) / m_slot);
    if (current <= m_slotIndex) {
        return;
    }
    // Only the last kSlots + 1 slots are kept: a longer gap overwrites each of them once.
    const std::uint64_t begun = std::min<std::uint64_t>(current - m_slotIndex, m_marks.size());
    for (std::uint64_t slot = current - begun + 1; slot <= current; ++slot) {
        m_marks[slot % m_marks.size()] = m_total;
    }
    m_slotIndex = current;
}

void ThroughputFloor::Add(std::size_t bytes, Clock::time_point now) {
    if (!m_running) {
        return;
    }
    Advance(now);
    m_total += bytes;
}

bool ThroughputFloor::Starved(Clock::time_point now) {
    if (!m_running) {
        return false;
    }
    Advance(now);
    if (m_slotIndex < kSlots) {
        return false;
    }
    // From the start of the slot kSlots before the current one: between a window and a window plus a slot.
    return m_total - m_marks[(m_slotIndex - kSlots) % m_marks.size()] < m_floorBytes;
}

} // namespace zarn
