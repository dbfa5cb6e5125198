// Whether a transfer keeps receiving at least a floor of bytes over a sliding window of time. A server that
// sends a byte every few seconds is never silent, yet it would hold a download for ever; the floor ends it.
// The count is kept in slots of a twelfth of the window and always spans at least a whole window (at most
// one slot more), so a link that meets the floor over every window is never taken for a starved one.
// Worker thread only.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace zarn {

class ThroughputFloor {
public:
    using Clock = std::chrono::steady_clock;

    // A window of 0 or a floor of 0 bytes: never starved.
    ThroughputFloor(std::chrono::milliseconds window, std::uint64_t floorBytes);

    // Starts watching at `now` with nothing received (the request has just gone out).
    void Restart(Clock::time_point now);
    // Stops watching until the next Restart (while a connection is being made: the connect time-out watches it).
    void Pause() { m_running = false; }
    // Counts `bytes` received at `now`.
    void Add(std::size_t bytes, Clock::time_point now);
    // True when a whole window has passed since Restart and the last window brought fewer bytes than the floor.
    bool Starved(Clock::time_point now);

private:
    static constexpr std::size_t kSlots = 12;
    // Starts every slot begun by `now`; a slot passed without a call begins with the count as it stands.
    void Advance(Clock::time_point now);

    Clock::duration m_slot;
    std::uint64_t m_floorBytes;
    bool m_running = false;
    Clock::time_point m_start;
    std::uint64_t m_total = 0;     // bytes since Restart
    std::uint64_t m_slotIndex = 0; // the slot `now` was in at the last Advance, counted from Restart
    // The total at the start of each of the last kSlots + 1 slots, by slot index modulo their number.
    std::array<std::uint64_t, kSlots + 1> m_marks{};
};

} // namespace zarn
