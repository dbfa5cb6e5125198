// A guard for code that might never return: a deadlock then fails the test run at once instead of holding CI until
// its own time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace zarn::test {

// Ends the test run when the code under watch does not return within `limit`: a deadlock then fails
// the test instead of holding CI until its own time-out.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, const char* what)
        : m_thread([this, limit, what] {
              std::unique_lock lock(m_mutex);
              if (!m_changed.wait_for(lock, limit, [this] { return m_returned; })) {
                  std::fprintf(stderr, "no return within %lld s: %s\n", static_cast<long long>(limit.count()), what);
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_returned = true;
        }
        m_changed.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_returned = false;
    std::thread m_thread;
};

} // namespace zarn::test
