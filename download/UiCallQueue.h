// A window thread's loop for a front end without a toolkit of its own (the console, tests): calls posted from any
// thread run on the thread that runs the loop, in the order they were posted, until the loop is ended.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace zarn {

class UiCallQueue {
public:
    // Queues `call` for Run; returns at once. Any thread.
    void Post(std::function<void()> call);
    // Runs posted calls, waiting for more, until one of them (or another thread) calls End; returns End's result.
    // Calls still queued then stay for the next Run.
    int Run();
    // Makes Run return `result` once the call running now has returned. Any thread.
    void End(int result);

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_calls;
    bool m_ended = false;
    int m_result = 0;
};

} // namespace zarn
