// A sink that keeps every call of a transfer, in order, for the download tests to look at.
#pragma once

#include "download/TransferSink.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zarn::test {

class RecordingSink : public TransferSink {
public:
    struct TimeLeft {
        std::uint64_t seconds;
        std::uint64_t copied;
        std::uint64_t total;
    };

    void StartAnimation() override { Add("animation"); }
    void ShowStatusText(const std::string& text) override {
        Add("status:" + text);
        std::lock_guard lock(m_mutex);
        statusLines.push_back(text);
    }
    void SetProgressRange(int low, int high) override {
        Add("range:" + std::to_string(low) + ".." + std::to_string(high));
    }
    void ShowPercentDone(int percent) override {
        {
            std::lock_guard lock(m_mutex);
            percents.push_back(percent);
        }
        if (onPercent) {
            onPercent(percent);
        }
    }
    void ShowTimeRemaining(std::uint64_t seconds, std::uint64_t copied, std::uint64_t total) override {
        std::lock_guard lock(m_mutex);
        timeLeft.push_back({seconds, copied, total});
    }
    void ShowRate(double bytesPerMs) override {
        std::lock_guard lock(m_mutex);
        rates.push_back(bytesPerMs);
    }
    bool AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) override {
        std::lock_guard lock(m_mutex);
        prompts.push_back((proxy ? "proxy:" : "site:") + host);
        if (answers.empty()) {
            return false;
        }
        const auto answer = answers.front();
        answers.erase(answers.begin());
        user = answer.first;
        password = answer.second;
        return true;
    }
    void NoteAnswer(bool notModifiedArg, const std::string& etagArg, const std::string& lastModifiedArg) override {
        std::lock_guard lock(m_mutex);
        noted = {notModifiedArg, etagArg, lastModifiedArg};
    }
    void NoteAttempt(const std::string& note) override {
        std::lock_guard lock(m_mutex);
        notes.push_back(note);
    }
    void TransferEnded(bool failedArg, const std::string& failTextArg) override {
        Add("ended");
        std::lock_guard lock(m_mutex);
        ++endCount;
        failed = failedArg;
        failText = failTextArg;
    }

    // Forgets every call (for a second transfer in the same test).
    void Reset() {
        std::lock_guard lock(m_mutex);
        events.clear();
        statusLines.clear();
        percents.clear();
        rates.clear();
        timeLeft.clear();
        prompts.clear();
        notes.clear();
        endCount = 0;
        failed = false;
        failText.clear();
        noted.reset();
        notes.clear();
    }

    std::vector<std::string> events; // status lines, animation, range and end, in order
    std::vector<std::string> statusLines;
    std::vector<int> percents;
    std::vector<double> rates;
    std::vector<TimeLeft> timeLeft;
    std::vector<std::string> prompts;
    std::vector<std::string> notes;                           // the log's lines
    std::vector<std::pair<std::string, std::string>> answers; // given to the prompts in turn
    std::function<void(int)> onPercent;                       // called after each percentage
    int endCount = 0;
    bool failed = false;
    std::string failText;
    // What NoteAnswer said; none before it.
    struct Answer {
        bool notModified = false;
        std::string etag;
        std::string lastModified;
        bool operator==(const Answer&) const = default;
    };
    std::optional<Answer> noted;

private:
    void Add(const std::string& event) {
        std::lock_guard lock(m_mutex);
        events.push_back(event);
    }
    std::mutex m_mutex;
};

} // namespace zarn::test
