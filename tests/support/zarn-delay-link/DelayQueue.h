#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <vector>

struct nfq_handle;
struct nfq_q_handle;
struct nfgenmsg;
struct nfq_data;

// Holds every packet of one netfilter queue for a fixed time before accepting it, in arrival order, and drops a
// given share at random: with the loopback device's packets queued to it, a far and lossy link without the
// kernel's netem. Linux only; needs CAP_NET_ADMIN in the network namespace.
class DelayQueue {
public:
    struct Settings {
        std::uint16_t queue = 0;
        std::chrono::microseconds delay{100000};
        double loss = 0.0; // share of packets dropped, 0 to 1
        std::uint32_t seed = 0;
    };
    struct Counts {
        std::uint64_t held = 0;    // accepted after the delay
        std::uint64_t dropped = 0; // dropped at random
        std::uint64_t unread = 0;  // times the socket's buffer overflowed (the kernel dropped those packets)
    };

    explicit DelayQueue(const Settings& settings);
    DelayQueue(const DelayQueue&) = delete;
    DelayQueue& operator=(const DelayQueue&) = delete;

    // Binds the queue. Any thread; 1 done, 0 not done (the reason on stderr).
    int Open();
    // Holds and releases packets until a signal handler sets `stop`; the caller blocks the stopping signals, and
    // they are delivered only while waiting, with the mask `unblocked`, so none is lost between a check and a wait.
    // Returns 1 after a stop, 0 when a system call failed (the reason on stderr).
    int Run(const sigset_t& unblocked, const volatile std::sig_atomic_t& stop);
    const Counts& GetCounts() const { return m_counts; }

private:
    struct Held {
        std::uint32_t id;
        std::chrono::steady_clock::time_point due;
    };
    struct HandleClose {
        void operator()(nfq_handle* handle) const;
    };
    struct QueueDestroy {
        void operator()(nfq_q_handle* queue) const;
    };

    static int OnPacket(nfq_q_handle* queue, nfgenmsg* message, nfq_data* data, void* self);
    int ReadPackets();
    int AcceptDue();

    Settings m_settings;
    std::unique_ptr<nfq_handle, HandleClose> m_handle;
    std::unique_ptr<nfq_q_handle, QueueDestroy> m_queue; // after m_handle: destroyed before the socket it uses
    std::deque<Held> m_held;
    std::mt19937 m_random;
    std::bernoulli_distribution m_drop;
    std::vector<char> m_buffer; // one read of the socket: many queued packets' messages
    Counts m_counts;
    int m_failed = 0;
};
