#include "download/curl/ConnectionCache.h"

#include <cstddef>
#include <new>

namespace zarn {

namespace {

// As many as the update check runs downloads at once (DownloadQueue::kMostAtOnce): each keeps its connection.
constexpr std::size_t kMostIdle = 16;

} // namespace

ConnectionCache& ConnectionCache::Instance() {
    static ConnectionCache cache;
    return cache;
}

CURLSH* ConnectionCache::Share() {
    return Instance().m_share;
}

CURL* ConnectionCache::TakeHandle() {
    ConnectionCache& cache = Instance();
    {
        const std::lock_guard<std::mutex> lock(cache.m_idleLock);
        if (!cache.m_idle.empty()) {
            CURL* handle = cache.m_idle.back();
            cache.m_idle.pop_back();
            return handle;
        }
    }
    return curl_easy_init();
}

void ConnectionCache::ReturnHandle(CURL* handle) {
    if (!handle) {
        return;
    }
    curl_easy_reset(handle);
    ConnectionCache& cache = Instance();
    {
        const std::lock_guard<std::mutex> lock(cache.m_idleLock);
        if (cache.m_idle.size() < kMostIdle) {
            try {
                cache.m_idle.push_back(handle);
                return;
            } catch (const std::bad_alloc&) {
                // Not kept: cleaned up below.
            }
        }
    }
    curl_easy_cleanup(handle);
}

void ConnectionCache::CloseIdle() {
    ConnectionCache& cache = Instance();
    {
        // The idle handles use the share: they go first, or the share would refuse to.
        const std::lock_guard<std::mutex> lock(cache.m_idleLock);
        for (CURL* handle : cache.m_idle) {
            curl_easy_cleanup(handle);
        }
        cache.m_idle.clear();
    }
    // A share still held by a transfer refuses to go (CURLSHE_IN_USE) and stays as it is.
    if (cache.m_share && curl_share_cleanup(cache.m_share) == CURLSHE_OK) {
        cache.m_share = MakeShare(cache);
    }
}

ConnectionCache::ConnectionCache() : m_share(MakeShare(*this)) {}

CURLSH* ConnectionCache::MakeShare(ConnectionCache& cache) {
    CURLSH* share = curl_share_init();
    if (!share) {
        return nullptr;
    }
    // Connections stay with their easy handle rather than in the share: libcurl's shared connection cache is not
    // safe for transfers running at once on several threads (its known bugs say so), and the share's other data
    // is. libcurl keeps apart what must not mix: a connection or TLS session is reused only for the same host,
    // port, proxy and TLS settings (certificate checks and trusted authorities included), and credentials go
    // with each request, never with the connection.
    const curl_lock_data shared[] = {CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_DNS};
    bool ok = curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &ConnectionCache::Lock) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &ConnectionCache::Unlock) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_USERDATA, &cache) == CURLSHE_OK;
    for (const curl_lock_data data : shared) {
        ok = ok && curl_share_setopt(share, CURLSHOPT_SHARE, data) == CURLSHE_OK;
    }
    if (!ok) {
        curl_share_cleanup(share);
        return nullptr;
    }
    return share;
}

ConnectionCache::~ConnectionCache() {
    for (CURL* handle : m_idle) {
        curl_easy_cleanup(handle);
    }
    if (m_share) {
        curl_share_cleanup(m_share);
    }
}

void ConnectionCache::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<ConnectionCache*>(self)->m_locks.at(static_cast<std::size_t>(data)).lock();
}

void ConnectionCache::Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<ConnectionCache*>(self)->m_locks.at(static_cast<std::size_t>(data)).unlock();
}

} // namespace zarn
