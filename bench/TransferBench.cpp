// Fetches one URL into one file with the transfer engine, as the launcher does, and prints the
// throughput and the process's peak resident memory:
//   TransferBench URL TARGET
// Output: "bytes=N seconds=S mib_per_s=R peak_rss_mib=M" on one line; exit status 1 on failure.
#include "download/TargetFile.h"
#include "download/TransferEngine.h"
#include "download/UrlSplit.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// Prints nothing while the body runs: the figures are cheap, and the run measures the engine.
class ConsoleSink : public zarn::TransferSink {
public:
    void StartAnimation() override {}
    void ShowStatusText(const std::string&) override {}
    void SetProgressRange(int, int) override {}
    void ShowPercentDone(int percent) override { lastPercent = percent; }
    void ShowTimeRemaining(std::uint64_t, std::uint64_t, std::uint64_t) override {}
    void ShowRate(double) override {}
    bool AskCredentials(bool, const std::string&, std::string&, std::string&) override { return false; }
    void TransferEnded(bool failedArg, const std::string& text) override {
        failed = failedArg;
        failText = text;
    }

    int lastPercent = 0;
    bool failed = true;
    std::string failText;
};

// VmHWM: the largest resident set the process has had, in KiB (Linux reports it in /proc).
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: TransferBench URL TARGET\n";
        return 1;
    }
    zarn::UrlParts parts;
    if (!zarn::SplitUrl(argv[1], parts)) {
        std::cerr << "TransferBench: cannot split " << argv[1] << "\n";
        return 1;
    }
    zarn::TransferSettings settings;
    settings.hostName = parts.hostName;
    settings.port = parts.port;
    settings.objectPath = parts.objectPath;
    settings.secure = parts.service == zarn::kServiceHttps;
    settings.accessMode = 1;

    zarn::TargetFile target;
    if (const auto opened = target.Open(argv[2], 0); opened.messageId != 0) {
        std::cerr << "TransferBench: cannot open " << argv[2] << " (" << opened.messageId << ", error "
                  << opened.systemCode << ")\n";
        return 1;
    }
    ConsoleSink sink;
    std::atomic<bool> stop{false};
    const auto start = std::chrono::steady_clock::now();
    zarn::TransferEngine(settings, target, sink, stop).Run();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    if (sink.failed) {
        std::cerr << "TransferBench: " << sink.failText << "\n";
        return 1;
    }
    std::error_code error;
    const auto bytes = std::filesystem::file_size(argv[2], error);
    std::printf("bytes=%llu seconds=%.3f mib_per_s=%.1f peak_rss_mib=%.1f\n", static_cast<unsigned long long>(bytes),
                seconds.count(), static_cast<double>(bytes) / 1048576.0 / seconds.count(),
                static_cast<double>(PeakResidentKiB()) / 1024.0);
    return 0;
}
