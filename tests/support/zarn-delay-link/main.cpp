// zarn-delay-link: holds every packet of a netfilter queue for a fixed delay, dropping a share at random; with a
// rule queueing the loopback device's packets to it, in a network namespace of a test's own, a far and lossy link
// on kernels without netem. Prints "ready" on stdout once the queue is bound, and its counts on stderr when
// stopped by SIGTERM or SIGINT.
//   zarn-delay-link [--queue N] [--delay-ms MS] [--loss SHARE] [--seed N]
#include "DelayQueue.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

int Usage() {
    std::fprintf(stderr, "usage: zarn-delay-link [--queue N] [--delay-ms MS] [--loss SHARE] [--seed N]\n");
    return 2;
}

// Reads a whole number or a share in [low, high]; 1 done, 0 not a number in range.
int ParseNumber(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && value >= low && value <= high;
}

} // namespace

int main(int argc, char** argv) {
    DelayQueue::Settings settings;
    settings.seed = std::random_device{}();
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        double value = 0;
        if (i + 1 == argc) {
            return Usage();
        }
        const char* text = argv[++i];
        if (option == "--queue" && ParseNumber(text, 0, 65535, value)) {
            settings.queue = static_cast<std::uint16_t>(value);
        } else if (option == "--delay-ms" && ParseNumber(text, 0, 60000, value)) {
            settings.delay = std::chrono::microseconds(static_cast<long long>(value * 1000));
        } else if (option == "--loss" && ParseNumber(text, 0, 1, value)) {
            settings.loss = value;
        } else if (option == "--seed" && ParseNumber(text, 0, 4294967295.0, value)) {
            settings.seed = static_cast<std::uint32_t>(value);
        } else {
            return Usage();
        }
    }

    // The stopping signals are let through only while the queue waits, so a stop is never missed between a
    // check of the flag and the wait.
    sigset_t stopping;
    sigset_t unblocked;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    if (sigemptyset(&stopping) != 0 || sigaddset(&stopping, SIGTERM) != 0 || sigaddset(&stopping, SIGINT) != 0 ||
        sigprocmask(SIG_BLOCK, &stopping, &unblocked) != 0 || sigaction(SIGTERM, &action, nullptr) != 0 ||
        sigaction(SIGINT, &action, nullptr) != 0) {
        std::perror("zarn-delay-link: cannot handle the stopping signals");
        return 1;
    }

    DelayQueue queue(settings);
    if (!queue.Open()) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const int done = queue.Run(unblocked, g_stop);
    const DelayQueue::Counts& counts = queue.GetCounts();
    std::fprintf(stderr,
                 "zarn-delay-link: %llu packets accepted after %lld ms, %llu dropped at random, %llu socket "
                 "overflows\n",
                 static_cast<unsigned long long>(counts.held), static_cast<long long>(settings.delay.count() / 1000),
                 static_cast<unsigned long long>(counts.dropped), static_cast<unsigned long long>(counts.unread));
    return done ? 0 : 1;
}
