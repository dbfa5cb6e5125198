#include "DelayQueue.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Far above what a test's transfers keep in flight for the delay; the kernel drops what does not fit.
constexpr std::uint32_t kQueueLength = 65536;
constexpr int kSocketBuffer = 32 * 1024 * 1024;

void Complain(const char* what) {
    std::fprintf(stderr, "zarn-delay-link: %s: %s\n", what, std::strerror(errno));
}

} // namespace

void DelayQueue::HandleClose::operator()(nfq_handle* handle) const {
    nfq_close(handle);
}

void DelayQueue::QueueDestroy::operator()(nfq_q_handle* queue) const {
    nfq_destroy_queue(queue);
}

DelayQueue::DelayQueue(const Settings& settings)
    : m_settings(settings), m_random(settings.seed), m_drop(settings.loss), m_buffer(256 * 1024) {}

int DelayQueue::Open() {
    m_handle.reset(nfq_open());
    if (!m_handle) {
        Complain("cannot open the netfilter queue socket");
        return 0;
    }
    m_queue.reset(nfq_create_queue(m_handle.get(), m_settings.queue, &DelayQueue::OnPacket, this));
    if (!m_queue) {
        Complain("cannot bind the queue");
        return 0;
    }
    // Only the packet's id is needed for a verdict, so nothing of its contents is copied.
    if (nfq_set_mode(m_queue.get(), NFQNL_COPY_META, 0) < 0) {
        Complain("cannot set the copy mode");
        return 0;
    }
    if (nfq_set_queue_maxlen(m_queue.get(), kQueueLength) < 0) {
        Complain("cannot set the queue's length");
        return 0;
    }
    // Nor are large loopback packets cut into segments for us: they are held whole.
    if (nfq_set_queue_flags(m_queue.get(), NFQA_CFG_F_GSO, NFQA_CFG_F_GSO) < 0) {
        Complain("cannot set the queue's flags");
        return 0;
    }
    // A burst of a whole window must fit in the socket, or the kernel drops what does not. Going past the
    // system's limit needs CAP_NET_ADMIN outside any user namespace; as root of one only, the limit stands.
    const int size = kSocketBuffer;
    const int socket = nfq_fd(m_handle.get());
    if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0 &&
        (errno != EPERM || setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)) {
        Complain("cannot enlarge the socket's receive buffer");
        return 0;
    }
    return 1;
}

int DelayQueue::OnPacket(nfq_q_handle* queue, nfgenmsg*, nfq_data* data, void* self) {
    auto& delay = *static_cast<DelayQueue*>(self);
    const nfqnl_msg_packet_hdr* header = nfq_get_msg_packet_hdr(data);
    if (!header) {
        return 0;
    }
    const std::uint32_t id = ntohl(header->packet_id);
    if (delay.m_settings.loss > 0.0 && delay.m_drop(delay.m_random)) {
        ++delay.m_counts.dropped;
        if (nfq_set_verdict(queue, id, NF_DROP, 0, nullptr) < 0) {
            Complain("cannot drop a packet");
            delay.m_failed = 1;
        }
        return 0;
    }
    delay.m_held.push_back({id, std::chrono::steady_clock::now() + delay.m_settings.delay});
    return 0;
}

int DelayQueue::ReadPackets() {
    for (;;) {
        const ssize_t got = recv(nfq_fd(m_handle.get()), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return 1;
            }
            if (errno == ENOBUFS) {
                ++m_counts.unread;
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            Complain("cannot read the queue");
            return 0;
        }
        nfq_handle_packet(m_handle.get(), m_buffer.data(), static_cast<int>(got));
        if (m_failed) {
            return 0;
        }
    }
}

int DelayQueue::AcceptDue() {
    const auto now = std::chrono::steady_clock::now();
    std::size_t due = 0;
    while (due < m_held.size() && m_held[due].due <= now) {
        ++due;
    }
    if (due == 0) {
        return 1;
    }
    // Held packets are in arrival order and ids grow with arrival, and the dropped ones already have their
    // verdict, so one batch verdict up to the last due id accepts exactly the due ones.
    if (nfq_set_verdict_batch(m_queue.get(), m_held[due - 1].id, NF_ACCEPT) < 0) {
        Complain("cannot accept packets");
        return 0;
    }
    m_counts.held += due;
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(due));
    return 1;
}

int DelayQueue::Run(const sigset_t& unblocked, const volatile std::sig_atomic_t& stop) {
    pollfd socket{nfq_fd(m_handle.get()), POLLIN, 0};
    while (!stop) {
        timespec wait{};
        timespec* timeout = nullptr;
        if (!m_held.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(m_held.front().due -
                                                                                   std::chrono::steady_clock::now());
            if (left.count() > 0) {
                wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
                wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
            }
            timeout = &wait;
        }
        const int ready = ppoll(&socket, 1, timeout, &unblocked);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            Complain("cannot wait for packets");
            return 0;
        }
        if (ready > 0 && !ReadPackets()) {
            return 0;
        }
        if (!AcceptDue()) {
            return 0;
        }
    }
    return 1;
}
