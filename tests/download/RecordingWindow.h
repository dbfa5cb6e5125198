// A download window that keeps what the dialog told it, runs the dialog's posted calls on the test's thread
// (through the console's loop), answers message boxes at once and the credentials prompt from a list.
#pragma once

#include "download/DownloadWindow.h"
#include "download/UiCallQueue.h"

#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace zarn::test {

class RecordingWindow : public DownloadWindow {
public:
    void SetStatusText(const std::string& text) override { Changed(status = text); }
    void SetSourceText(const std::string& text, const std::string& name) override {
        source = text;
        shownName = name;
        Changed(text);
    }
    void SetCaption(const std::string& text) override {
        captions.push_back(text);
        Changed(caption = text);
    }
    void SetProgressRange(int low, int high) override {
        range = {low, high};
        Changed("range");
    }
    void SetProgressPos(int pos) override {
        position = pos;
        Changed("position");
    }
    void SetTimeLeftText(const std::string& text) override { Changed(timeLeft = text); }
    void SetRateText(const std::string& text) override { Changed(rate = text); }
    void OpenAnimation() override { animationOpen = true; }
    void StartAnimation() override { playing = true; }
    void StopAnimation() override { playing = false; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskCredentials(const std::string& question, std::string& user, std::string& password) override {
        questions.push_back(question);
        if (answers.empty())
            return false;
        std::tie(user, password) = answers.front();
        answers.erase(answers.begin());
        return true;
    }
    int RunModal() override {
        ++runs;
        running = true;
        const int result = m_queue.Run();
        running = false;
        return result;
    }
    void EndModal(int result) override {
        running = false;
        m_queue.End(result);
    }
    void Post(std::function<void()> call) override { m_queue.Post(std::move(call)); }

    // Ends the run without a result, as the application's quitting does. Any thread.
    void Quit() { m_queue.End(0); }
    // Runs the calls posted so far (outside a run). Test thread.
    void Flush() {
        m_queue.Post([this] { m_queue.End(0); });
        m_queue.Run();
    }

    std::string status, source, shownName, caption, timeLeft, rate;
    std::pair<int, int> range{0, 0};
    int position = 0;
    bool animationOpen = false;
    bool playing = false;
    bool running = false; // between RunModal and EndModal: the window is shown
    int runs = 0;
    std::vector<std::string> captions; // every caption set, in order
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::pair<std::string, std::string>> answers; // given to the prompts in turn; none left: declined
    std::function<void(const std::string&)> onChange;         // after each text, range or position, with the text

private:
    void Changed(const std::string& what) {
        if (onChange)
            onChange(what);
    }
    UiCallQueue m_queue;
};

} // namespace zarn::test
