#include "download/UiCallQueue.h"

#include <utility>

namespace zarn {

void UiCallQueue::Post(std::function<void()> call) {
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    m_posted.notify_one();
}

int UiCallQueue::Run() {
    std::unique_lock lock(m_mutex);
    m_ended = false;
    for (;;) {
        m_posted.wait(lock, [this] { return m_ended || !m_calls.empty(); });
        if (m_ended)
            return m_result;
        std::function<void()> call = std::move(m_calls.front());
        m_calls.pop_front();
        // Unlocked while it runs: a call may post, end the loop, or wait for a thread that posts.
        lock.unlock();
        call();
        lock.lock();
    }
}

void UiCallQueue::End(int result) {
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_result = result;
    }
    m_posted.notify_one();
}

} // namespace zarn
