// Fetches one URL into one file with the transfer engine, as the launcher does, and prints the
// throughput and the process's peak resident memory:
//   TransferBench [--repeat N] [--ca-file FILE] [--sha256 HEX --size N] URL TARGET
// With --sha256 and --size the engine checks the body as it does a component whose list block gives them: it
// hashes every piece as it arrives and compares digest and size at the end.
// Output: "bytes=N seconds=S mib_per_s=R peak_rss_mib=M" on one line; exit status 1 on failure.
// With --repeat the URL is fetched N times in a row, each by a new engine as successive downloads
// of one check are, and the line also gives "downloads=N ms_per_download=T".
#include "download/TargetFile.h"
#include "download/TransferEngine.h"
#include "download/UrlSplit.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

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
    int repeat = 0;
    std::string caFile;
    std::string sha256;
    long long size = -1;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (arg == "--ca-file" && i + 1 < argc) {
            caFile = argv[++i];
        } else if (arg == "--sha256" && i + 1 < argc) {
            sha256 = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            size = std::atoll(argv[++i]);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || repeat < 0 || sha256.empty() != (size < 0)) {
        std::cerr << "usage: TransferBench [--repeat N] [--ca-file FILE] [--sha256 HEX --size N] URL TARGET\n";
        return 1;
    }
    const std::string& url = positional[0];
    const std::string& targetPath = positional[1];
    zarn::UrlParts parts;
    if (!zarn::SplitUrl(url, parts)) {
        std::cerr << "TransferBench: cannot split " << url << "\n";
        return 1;
    }
    zarn::TransferSettings settings;
    settings.hostName = parts.hostName;
    settings.port = parts.port;
    settings.objectPath = parts.objectPath;
    settings.secure = parts.service == zarn::kServiceHttps;
    settings.accessMode = 1;
    settings.caFile = caFile;
    settings.expectedSha256 = sha256;
    if (size >= 0) {
        settings.expectedSize = static_cast<std::uint64_t>(size);
    }

    const int downloads = repeat > 0 ? repeat : 1;
    std::uintmax_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < downloads; ++i) {
        zarn::TargetFile target;
        if (const auto opened = target.Open(targetPath, 0); opened.messageId != 0) {
            std::cerr << "TransferBench: cannot open " << targetPath << " (" << opened.messageId << ", error "
                      << opened.systemCode << ")\n";
            return 1;
        }
        ConsoleSink sink;
        std::atomic<bool> stop{false};
        zarn::TransferEngine(settings, target, sink, stop).Run();
        if (sink.failed) {
            std::cerr << "TransferBench: " << sink.failText << "\n";
            return 1;
        }
        std::error_code error;
        bytes += std::filesystem::file_size(targetPath, error);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("bytes=%llu seconds=%.3f mib_per_s=%.1f peak_rss_mib=%.1f", static_cast<unsigned long long>(bytes),
                seconds.count(), static_cast<double>(bytes) / 1048576.0 / seconds.count(),
                static_cast<double>(PeakResidentKiB()) / 1024.0);
    if (repeat > 0) {
        std::printf(" downloads=%d ms_per_download=%.3f", downloads, seconds.count() * 1000.0 / downloads);
    }
    std::printf("\n");
    return 0;
}
