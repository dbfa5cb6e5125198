#include "download/SignInMemory.h"

#include "text/AsciiText.h"

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

bool SignInMemory::MayAsk(bool proxy, const std::string& host) const {
    std::lock_guard lock(m_mutex);
    return !m_declined && m_asked.count({proxy, ToLowerAscii(host)}) == 0;
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
}

void SignInMemory::Forget() {
    std::lock_guard lock(m_mutex);
    m_given.clear();
    m_asked.clear();
    m_declined = false;
}

} // namespace zarn
