#include "download/SignInMemory.h"

#include "text/AsciiText.h"

#include <chrono>

namespace zarn {

SignInMemory& SignInMemory::Instance() {
    static SignInMemory memory;
    return memory;
}

bool SignInMemory::Recall(bool proxy, const std::string& host, std::string& user, std::string& password) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_given.find({proxy, ToLowerAscii(host)});
    if (found == m_given.end()) {
        return false;
    }
    user = found->second.first;
    password = found->second.second;
    return true;
}

bool SignInMemory::TakePrompt(bool proxy, const std::string& host, const std::function<bool()>& stopped) {
    const Key key{proxy, ToLowerAscii(host)};
    std::unique_lock lock(m_mutex);
    // In slices, so that a stop is seen while the user thinks.
    while (m_open.count(key) != 0 && !stopped()) {
        m_answered.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (m_declined || m_asked.count(key) != 0 || m_open.count(key) != 0) {
        return false;
    }
    m_open.insert(key);
    return true;
}

void SignInMemory::NoteAnswer(bool proxy, const std::string& host, bool given, const std::string& user,
                              const std::string& password) {
    std::lock_guard lock(m_mutex);
    const Key key{proxy, ToLowerAscii(host)};
    m_asked[key] = true;
    if (given) {
        m_given[key] = {user, password};
    } else {
        m_declined = true;
    }
    m_open.erase(key);
    m_answered.notify_all();
}

void SignInMemory::Forget() {
    std::lock_guard lock(m_mutex);
    m_given.clear();
    m_asked.clear();
    m_open.clear();
    m_declined = false;
}

} // namespace zarn
