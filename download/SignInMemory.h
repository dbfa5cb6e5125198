// What the user said when a proxy or a web server asked for a sign-in, kept for the run: one prompt per host at
// most (the credentials given then answer every later request to it), and no prompt at all once the user has
// declined one. Shared by every transfer of the process.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace zarn {

class SignInMemory {
public:
    // The process's memory. Any thread.
    static SignInMemory& Instance();

    // The credentials the user gave for `host` (proxy: as a proxy); false when none were given. Any thread.
    bool Recall(bool proxy, const std::string& host, std::string& user, std::string& password) const;
    // Whether the user may be asked about `host`: not asked about it before, and never declined. Any thread.
    bool MayAsk(bool proxy, const std::string& host) const;
    // Notes that the user was asked about `host` and what came of it. Any thread.
    void NoteAnswer(bool proxy, const std::string& host, bool given, const std::string& user,
                    const std::string& password);
    // Forgets everything (tests run several sessions in one process). Any thread.
    void Forget();

private:
    using Key = std::pair<bool, std::string>;
    mutable std::mutex m_mutex;
    std::map<Key, std::pair<std::string, std::string>> m_given;
    std::map<Key, bool> m_asked;
    bool m_declined = false;
};

} // namespace zarn
