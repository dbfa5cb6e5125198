// Downloads fetched ahead of their turn. The update check plans every component file it will install; the queue
// fetches them in that order, a few at once, each transfer on a worker thread of its own into a TargetFile of its
// own, while the UI thread installs one component after another. When a component's turn comes, its download
// dialog attaches to the transfer already running (or takes the file that has arrived) instead of starting another.
// A transfer's file is never put in place by the queue: only the dialog that takes it commits it, once its size and
// hash have passed. Nothing here touches a window; the attached dialog posts what it is told to its own.
#pragma once

#include "download/TargetFile.h"
#include "download/TransferSettings.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zarn {

class TransferSink;

class DownloadQueue {
public:
    // One planned download: what the dialog of its turn would be given.
    struct Item {
        std::string sourceUrl;
        std::string targetPath;
        std::optional<std::uint64_t> expectedSize;
        std::string expectedSha256;
        std::vector<std::string> mirrorUrls = {}; // the same file on the next servers, in order
    };

    // The most transfers at once when nothing else is said: browsers and HTTP/1.1 keep a handful of connections
    // per server, and three already hide the round trips of a far server behind each other's bodies.
    static constexpr int kDefaultAtOnce = 3;
    static constexpr int kMostAtOnce = 16;

    DownloadQueue();
    ~DownloadQueue(); // Finish()
    DownloadQueue(const DownloadQueue&) = delete;
    DownloadQueue& operator=(const DownloadQueue&) = delete;

    // Finishes what an earlier Start began, then fetches `items` in their order, at most `atOnce` (1 to
    // kMostAtOnce) at a time, each trusting `caFile` besides the system's authorities. An item whose URL cannot be
    // split or whose target an earlier item already has is left out (its dialog downloads it as ever). UI thread.
    void Start(const std::vector<Item>& items, const std::string& caFile, int atOnce);

    // The proxy ("host:port") the transfers of later Starts go through instead of the system's settings; empty: the
    // system's settings, with `pacUrl` (when not empty) a PAC file asked before them. UI thread.
    void SetProxy(std::string proxyServer, std::string pacUrl) {
        m_proxyServer = std::move(proxyServer);
        m_proxyPacUrl = std::move(pacUrl);
    }

    // Stops every transfer still running, waits for the workers and throws away every file no dialog committed.
    // UI thread; no dialog may be attached.
    void Finish();

    // The planned transfer of `sourceUrl` into `targetPath`, or -1 when none is planned. UI thread.
    int Find(const std::string& sourceUrl, const std::string& targetPath) const;

    // Stops every transfer of the queue, and leaves those not yet started unstarted; each ends within about a
    // second. Any thread.
    void StopAll();
    bool StopRequested() const { return m_stop; }

    // True when transfer `id` has ended with its whole body (size and hash passed) and was not stopped. UI thread.
    bool HasArrived(int id) const;

    // The notes of transfer `id`'s failed attempts so far, for the update log. UI thread.
    std::vector<std::string> AttemptNotes(int id) const;

    // Transfer `id`'s file: written by its worker until the transfer has ended, then the attached dialog's to
    // commit or discard. UI thread, once the transfer has ended.
    TargetFile& Target(int id);

    // Makes `sink` hear transfer `id`: first what it has shown so far (its end too, when it has ended), then
    // every report as it comes, with the other running transfers folded in (ShowOtherTransfers, and the count
    // behind the status line). UI thread; `sink` must take every call on any thread and stay until Detach.
    void Attach(int id, TransferSink& sink);
    // Stops forwarding to the sink of transfer `id` and returns once no call to it is under way. UI thread.
    void Detach(int id);

private:
    struct Transfer;

    void WorkerMain();
    // Tells the attached sink, if any, of the other running transfers when they changed. Under m_mutex.
    void RefreshOthersLocked();
    // The lines of the running transfers other than `self`, each as the console shows one. Under m_mutex.
    std::vector<std::string> OtherLinesLocked(const Transfer& self) const;

    std::string m_proxyServer;
    std::string m_proxyPacUrl;
    std::vector<std::unique_ptr<Transfer>> m_transfers;
    std::vector<std::thread> m_workers;
    std::size_t m_next = 0; // the next transfer a worker takes
    std::atomic<bool> m_stop{false};
    // Guards every transfer's state and the forwarding to attached sinks.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_inFlight = 0; // questions passed on to an attached sink and not yet answered
};

} // namespace zarn
