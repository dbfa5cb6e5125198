// The process's one libcurl share, TLS sessions and resolved names, and its idle easy handles, each with the
// connections it keeps open: what successive downloads take over from each other, as the platform's HTTP stack
// keeps them. Downloads may run at once on several threads.
#pragma once

#include <array>
#include <curl/curl.h>
#include <mutex>
#include <vector>

namespace zarn {

class ConnectionCache {
public:
    // The process-wide share for CURLOPT_SHARE, made on first use; null if libcurl could not make
    // it (a download then simply resolves and negotiates anew). Any thread, after curl_global_init.
    static CURLSH* Share();
    // Closes the connections kept open for reuse (a server waits on each until its keep-alive
    // time runs out). Call between downloads; while one runs, nothing is closed.
    static void CloseIdle();
    // An easy handle for the next download: the one a download gave back last, reset to libcurl's defaults
    // (which keeps its open connections and its own bookkeeping, so a download does not build them anew), or a
    // new one; null when libcurl cannot make one. Give it back with ReturnHandle. Any thread, after
    // curl_global_init.
    static CURL* TakeHandle();
    // Takes back a handle from TakeHandle once its download has ended: reset at once (nothing of that download's
    // options, credentials or callbacks stays in it) and kept for the next, up to as many as downloads run at
    // once; one more is cleaned up.
    static void ReturnHandle(CURL* handle);

    ConnectionCache(const ConnectionCache&) = delete;
    ConnectionCache& operator=(const ConnectionCache&) = delete;

private:
    ConnectionCache();
    ~ConnectionCache();
    static ConnectionCache& Instance();
    static CURLSH* MakeShare(ConnectionCache& cache);

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
    static void Unlock(CURL*, curl_lock_data data, void* self);

    CURLSH* m_share = nullptr;
    std::mutex m_idleLock;
    std::vector<CURL*> m_idle; // the easy handles kept between downloads, the last given back at the end
    // One lock per kind of shared data, as libcurl asks: downloads follow each other on different threads.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
};

} // namespace zarn
