// The body of a download: one HTTP(S) GET into an open TargetFile, reporting through a TransferSink.
// On libcurl on POSIX, on the system's WinInet on Windows (its proxy settings, proxy discovery and
// integrated proxy authentication). Run it on a worker thread; it never touches a widget.
#pragma once

#include "download/TargetFile.h"
#include "download/TransferSettings.h"
#include "download/TransferSink.h"

#include <atomic>

namespace zarn {

class TransferEngine {
public:
    TransferEngine(const TransferSettings& settings, TargetFile& target, TransferSink& sink,
                   const std::atomic<bool>& stopRequested)
        : m_settings(settings), m_target(target), m_sink(sink), m_stopRequested(stopRequested) {}

    // Runs the whole transfer; ends with exactly one sink.TransferEnded(). Worker thread.
    // On success the target has been committed (unless the sink defers that); on failure or stop it
    // has been discarded.
    // The failure text's %1: the HTTP status for 213; the system's error number for a failed write
    // (214); otherwise WinInet's number for the failure on both systems (TransferErrors.h), and on
    // Windows 50 when a certificate authority file is given (WinInet trusts the system's store only).
    void Run();

    // Closes the connections that finished downloads keep open for the next one (a server waits on
    // each until its keep-alive time runs out). Call between downloads.
    static void CloseIdleConnections();

    // Lets `count` transfers to one server run at once, each on a connection of its own (the platform's HTTP
    // stack may hold the others back otherwise). Call before they start. Any thread.
    static void AllowConnectionsPerServer(int count);

private:
    const TransferSettings& m_settings;
    TargetFile& m_target;
    TransferSink& m_sink;
    const std::atomic<bool>& m_stopRequested;
};

} // namespace zarn
