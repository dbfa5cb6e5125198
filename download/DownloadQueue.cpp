#include "download/DownloadQueue.h"

#include "download/ProgressText.h"
#include "download/TransferEngine.h"
#include "download/TransferSink.h"
#include "download/UrlSplit.h"
#include "platform/FileSystem.h"
#include "res/StringTable.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <utility>

namespace zarn {

namespace {

// How often an attached dialog hears of the other transfers' figures (their count changes at once).
constexpr std::chrono::milliseconds kOthersRefresh{250};

} // namespace

// One planned download. Its worker reports here; what it shows is kept, so that a dialog attaching later starts
// from where the transfer stands, and passed on to the attached dialog, if any.
struct DownloadQueue::Transfer : TransferSink {
    Transfer(DownloadQueue& queue, Item item, TransferSettings settings)
        : m_queue(queue), m_item(std::move(item)), m_settings(std::move(settings)) {}

    enum class State { Pending, Running, Ended };

    void StartAnimation() override {
        Report([this] { m_animating = true; }, [](TransferSink& sink) { sink.StartAnimation(); });
    }
    void ShowStatusText(const std::string& text) override {
        Report([this, &text] { m_status = text; },
               [this](TransferSink& sink) { sink.ShowStatusText(StatusWithOthers(m_othersShown.size())); });
    }
    void SetProgressRange(int low, int high) override {
        Report([this] { m_haveRange = true; }, [low, high](TransferSink& sink) { sink.SetProgressRange(low, high); });
    }
    void ShowPercentDone(int value) override {
        Report(
            [this, value] {
                m_percent = value;
                m_caption = FormatPercentCaption(value, m_shownName);
            },
            [value](TransferSink& sink) { sink.ShowPercentDone(value); });
    }
    void ShowTimeRemaining(std::uint64_t secondsLeft, std::uint64_t bytesCopied, std::uint64_t bytesTotal) override {
        Report(
            [&] {
                m_timeLeft = {secondsLeft, bytesCopied, bytesTotal};
                m_timeLeftText = FormatTimeLeftLine(secondsLeft, bytesCopied, bytesTotal);
            },
            [&](TransferSink& sink) { sink.ShowTimeRemaining(secondsLeft, bytesCopied, bytesTotal); });
    }
    void ShowRate(double bytesPerMs) override {
        Report(
            [this, bytesPerMs] {
                m_rate = bytesPerMs;
                m_rateText = FormatRate(bytesPerMs);
            },
            [bytesPerMs](TransferSink& sink) { sink.ShowRate(bytesPerMs); });
    }
    // Waits under `lock` until a dialog shows this transfer; false when the queue stopped instead.
    bool WaitForDialog(std::unique_lock<std::mutex>& lock) {
        m_queue.m_changed.wait(lock, [this] { return m_attached != nullptr || m_queue.m_stop; });
        return !m_queue.m_stop;
    }
    // A transfer ahead of its turn may ask once its dialog shows it (or never, after a stop).
    bool ReadyToAsk() override {
        std::unique_lock lock(m_queue.m_mutex);
        return WaitForDialog(lock);
    }
    // Asked only of the user who sees this transfer: a transfer ahead of its turn waits for its dialog (or a stop).
    // Outside the lock, as the answer takes the user's time; Detach waits for it to return.
    bool AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) override {
        TransferSink* sink = nullptr;
        {
            std::unique_lock lock(m_queue.m_mutex);
            if (!WaitForDialog(lock)) {
                return false;
            }
            sink = m_attached;
            ++m_queue.m_inFlight;
        }
        const bool answered = sink->AskCredentials(proxy, host, user, password);
        std::lock_guard lock(m_queue.m_mutex);
        --m_queue.m_inFlight;
        m_queue.m_changed.notify_all();
        return answered;
    }
    void TransferEnded(bool failedNow, const std::string& failTextNow) override {
        Report(
            [&] {
                m_state = State::Ended;
                m_failed = failedNow;
                m_failText = failTextNow;
                m_stopped = m_queue.m_stop;
            },
            [&](TransferSink& sink) { sink.TransferEnded(failedNow, failTextNow); });
    }
    void NoteAttempt(const std::string& note) override {
        Report([&] { m_attempts.push_back(note); }, [&](TransferSink& sink) { sink.NoteAttempt(note); });
    }
    // The dialog that takes the file decides, on its own thread, whether it replaces the m_target.
    bool DefersCommit() const override { return true; }

    // Records what `record` changes, passes the report on through `forward` to the m_attached sink, and brings the
    // sink of whichever transfer is m_attached up to date with the others. Under the lock, so that every sink hears
    // the reports in the order they were made; the sinks only post.
    template <typename Record, typename Forward> void Report(Record record, Forward forward) {
        std::lock_guard lock(m_queue.m_mutex);
        record();
        if (m_attached) {
            forward(*m_attached);
        }
        m_queue.RefreshOthersLocked();
        m_queue.m_changed.notify_all();
    }

    std::string StatusWithOthers(std::size_t others) const {
        return others == 0 ? m_status : FormatString(IDS_MORE_DOWNLOADING, m_status, std::to_string(others));
    }

    // The console's line for this transfer: as the download window's own, or its name before it has figures.
    std::string Line() const {
        const std::string line = FormatProgressLine(m_caption, m_shownName, m_timeLeftText, m_rateText);
        return line.empty() ? m_shownName : line;
    }

    DownloadQueue& m_queue;
    const Item m_item;
    const TransferSettings m_settings;
    std::string m_shownName;
    TargetFile m_target;

    // Under the m_queue's lock.
    State m_state = State::Pending;
    bool m_failed = false;
    bool m_stopped = false;
    std::string m_failText;
    std::vector<std::string> m_attempts; // the notes of failed attempts, for the log
    TransferSink* m_attached = nullptr;
    std::vector<std::string> m_othersShown; // what the m_attached sink was last told of the others
    std::chrono::steady_clock::time_point m_othersSentAt;

    // What the transfer has shown so far, for a sink that attaches later.
    bool m_animating = false;
    std::string m_status;
    bool m_haveRange = false;
    int m_percent = -1;
    struct TimeLeft {
        std::uint64_t seconds = 0;
        std::uint64_t copied = 0;
        std::uint64_t total = 0;
    };
    std::optional<TimeLeft> m_timeLeft;
    std::optional<double> m_rate;
    std::string m_caption;
    std::string m_timeLeftText;
    std::string m_rateText;
};

DownloadQueue::DownloadQueue() = default;

DownloadQueue::~DownloadQueue() {
    Finish();
}

void DownloadQueue::Start(const std::vector<Item>& items, const std::string& caFile, int atOnce) {
    Finish();
    for (const Item& item : items) {
        const bool sameTarget = std::any_of(m_transfers.begin(), m_transfers.end(), [&](const auto& transfer) {
            return transfer->m_item.targetPath == item.targetPath;
        });
        std::string url = item.sourceUrl;
        UrlParts parts;
        if (sameTarget || !SplitDownloadUrl(url, parts)) {
            continue;
        }
        // As the download dialog makes them from the same inputs.
        TransferSettings settings = TransferSettings::ForUrl(parts);
        settings.expectedSize = item.expectedSize;
        settings.expectedSha256 = item.expectedSha256;
        settings.alternateUrls = item.mirrorUrls;
        settings.caFile = caFile;
        if (!m_proxyServer.empty()) {
            settings.accessMode = 2;
            settings.proxyHost = m_proxyServer;
        }
        settings.proxyPacUrl = m_proxyPacUrl;
        auto transfer = std::make_unique<Transfer>(*this, item, std::move(settings));
        transfer->m_shownName = ShownNameOf(parts.objectPath);
        m_transfers.push_back(std::move(transfer));
    }
    if (m_transfers.empty()) {
        return;
    }
    const auto workers = static_cast<std::size_t>(std::clamp(atOnce, 1, kMostAtOnce));
    TransferEngine::AllowConnectionsPerServer(static_cast<int>(workers));
    for (std::size_t i = 0; i < std::min(workers, m_transfers.size()); ++i) {
        try {
            m_workers.emplace_back(&DownloadQueue::WorkerMain, this);
        } catch (const std::exception&) {
            // No thread for one more worker: those already made take its share.
            break;
        }
    }
    if (m_workers.empty()) {
        // Nothing would ever fetch them: each download runs in its own dialog, as without a plan.
        m_transfers.clear();
    }
}

void DownloadQueue::WorkerMain() {
    for (;;) {
        Transfer* transfer = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop || m_next >= m_transfers.size()) {
                return;
            }
            transfer = m_transfers[m_next++].get();
            transfer->m_state = Transfer::State::Running;
        }
        // Nothing may escape the thread, and the transfer's dialog must hear of its end however it left.
        try {
            const Item& item = transfer->m_item;
            const auto origin = TargetFile::OriginOf(item.sourceUrl, item.expectedSize, item.expectedSha256);
            if (const auto opened = transfer->m_target.Open(item.targetPath, 0, origin ? &*origin : nullptr);
                opened.messageId != 0) {
                transfer->TransferEnded(true, FormatString(opened.messageId, std::to_string(opened.systemCode)));
                continue;
            }
            TransferEngine engine(transfer->m_settings, transfer->m_target, *transfer, m_stop);
            engine.Run();
        } catch (...) {
            // Its end may have been reported already, and its file taken by the UI thread since.
            bool ended = false;
            {
                std::lock_guard lock(m_mutex);
                ended = transfer->m_state == Transfer::State::Ended;
            }
            if (!ended) {
                transfer->m_target.Discard();
                // As the download dialog words a worker that ended that way.
                transfer->TransferEnded(true,
                                        FormatString(IDS_TRANSFER_FAILED, std::to_string(platform::LastErrorCode())));
            }
        }
    }
}

void DownloadQueue::Finish() {
    StopAll();
    for (std::thread& worker : m_workers) {
        if (worker.joinable()) {
            worker.join();
        }
    }
    m_workers.clear();
    // A committed file has no temporary file left, so this throws away only what no dialog took.
    for (const auto& transfer : m_transfers) {
        transfer->m_target.Discard();
    }
    m_transfers.clear();
    m_next = 0;
    m_stop = false;
}

int DownloadQueue::Find(const std::string& sourceUrl, const std::string& targetPath) const {
    for (std::size_t i = 0; i < m_transfers.size(); ++i) {
        if (m_transfers[i]->m_item.sourceUrl == sourceUrl && m_transfers[i]->m_item.targetPath == targetPath) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void DownloadQueue::StopAll() {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_changed.notify_all();
}

bool DownloadQueue::HasArrived(int id) const {
    std::lock_guard lock(m_mutex);
    const Transfer& transfer = *m_transfers.at(static_cast<std::size_t>(id));
    return transfer.m_state == Transfer::State::Ended && !transfer.m_failed && !transfer.m_stopped;
}

std::vector<std::string> DownloadQueue::AttemptNotes(int id) const {
    std::lock_guard lock(m_mutex);
    return m_transfers.at(static_cast<std::size_t>(id))->m_attempts;
}

TargetFile& DownloadQueue::Target(int id) {
    return m_transfers.at(static_cast<std::size_t>(id))->m_target;
}

void DownloadQueue::Attach(int id, TransferSink& sink) {
    Transfer& transfer = *m_transfers.at(static_cast<std::size_t>(id));
    std::lock_guard lock(m_mutex);
    transfer.m_othersShown = OtherLinesLocked(transfer);
    if (transfer.m_animating) {
        sink.StartAnimation();
    }
    if (!transfer.m_status.empty()) {
        sink.ShowStatusText(transfer.StatusWithOthers(transfer.m_othersShown.size()));
    }
    if (transfer.m_haveRange) {
        sink.SetProgressRange(0, 100);
    }
    if (transfer.m_percent >= 0) {
        sink.ShowPercentDone(transfer.m_percent);
    }
    if (transfer.m_timeLeft) {
        sink.ShowTimeRemaining(transfer.m_timeLeft->seconds, transfer.m_timeLeft->copied, transfer.m_timeLeft->total);
    }
    if (transfer.m_rate) {
        sink.ShowRate(*transfer.m_rate);
    }
    sink.ShowOtherTransfers(transfer.m_othersShown);
    for (const std::string& note : transfer.m_attempts) {
        sink.NoteAttempt(note);
    }
    if (transfer.m_state == Transfer::State::Ended) {
        sink.TransferEnded(transfer.m_failed, transfer.m_failText);
    }
    transfer.m_attached = &sink;
    m_changed.notify_all();
}

void DownloadQueue::Detach(int id) {
    Transfer& transfer = *m_transfers.at(static_cast<std::size_t>(id));
    std::unique_lock lock(m_mutex);
    transfer.m_attached = nullptr;
    m_changed.wait(lock, [this] { return m_inFlight == 0; });
}

void DownloadQueue::RefreshOthersLocked() {
    if (m_stop) {
        // The dialog says that it stops them; the others' ends must not write over that.
        return;
    }
    for (const auto& transfer : m_transfers) {
        if (!transfer->m_attached) {
            continue;
        }
        // The count at once; the others' figures as often as a reader can follow them, which also keeps the
        // window's thread from waking for every piece of every transfer.
        const auto running = static_cast<std::size_t>(
            std::count_if(m_transfers.begin(), m_transfers.end(), [&transfer](const auto& other) {
                return other != transfer && other->m_state == Transfer::State::Running;
            }));
        const bool countChanged = running != transfer->m_othersShown.size();
        const auto now = std::chrono::steady_clock::now();
        if (!countChanged && now - transfer->m_othersSentAt < kOthersRefresh) {
            continue;
        }
        std::vector<std::string> others = OtherLinesLocked(*transfer);
        if (others == transfer->m_othersShown) {
            continue;
        }
        transfer->m_othersShown = std::move(others);
        transfer->m_othersSentAt = now;
        transfer->m_attached->ShowOtherTransfers(transfer->m_othersShown);
        if (countChanged && !transfer->m_status.empty()) {
            transfer->m_attached->ShowStatusText(transfer->StatusWithOthers(transfer->m_othersShown.size()));
        }
    }
}

std::vector<std::string> DownloadQueue::OtherLinesLocked(const Transfer& self) const {
    std::vector<std::string> lines;
    for (const auto& transfer : m_transfers) {
        if (transfer.get() != &self && transfer->m_state == Transfer::State::Running) {
            lines.push_back(transfer->Line());
        }
    }
    return lines;
}

} // namespace zarn
