// Placeholder until the WinInet engine lands on this branch: every transfer fails.
#include "download/TransferEngine.h"

namespace zarn {

TransferEngine::TransferEngine(const TransferSettings& settings, TargetFile& target, TransferSink& sink,
                               const std::atomic<bool>& stopRequested)
    : m_settings(settings), m_target(target), m_sink(sink), m_stopRequested(stopRequested) {}

void TransferEngine::Run() {
    m_target.Discard();
    m_sink.TransferEnded(true, "no transfer engine");
}

} // namespace zarn
