// What the user said when a proxy or a web server asked for a sign-in, kept for the run: one prompt per host at
// most (the credentials given then answer every later request to it), and no prompt at all once the user has
// declined one. Shared by every transfer of the process.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace zarn {

class SignInMemory {
public:
    // The process's memory. Any thread.
    static SignInMemory& Instance();

    // The credentials the user gave for `host` (proxy: as a proxy); false when none were given. Any thread.
    bool Recall(bool proxy, const std::string& host, std::string& user, std::string& password) const;
    // Gives the caller the one prompt about `host` (true: it asks the user, then must call NoteAnswer), when the
    // user was never asked about it and never declined. While another transfer's prompt about it is open, waits for
    // its answer (or until `stopped` says so), then returns false: Recall has that answer then, if any. Any thread
    // but the one that shows the prompt.
    bool TakePrompt(bool proxy, const std::string& host, const std::function<bool()>& stopped);
    // Notes that the user was asked about `host` and what came of it, and wakes whoever waits for it. Any thread.
    void NoteAnswer(bool proxy, const std::string& host, bool given, const std::string& user,
                    const std::string& password);
    // Forgets everything (tests run several sessions in one process). Any thread.
    void Forget();

private:
    using Key = std::pair<bool, std::string>;
    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    std::map<Key, std::pair<std::string, std::string>> m_given;
    std::map<Key, bool> m_asked;
    std::set<Key> m_open; // prompts being asked now
    bool m_declined = false;
};

} // namespace zarn
