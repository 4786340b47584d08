// uplinkd: the LLDP agent between the router and the ONT.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "uplinkd/lldp_api.h"
#include "uplinkd/platform_core.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

}  // namespace

int main() {
    g_stop = 0;
    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: the signal must cut the sleep short
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // Blocked from the check of g_stop until the wait, so a signal in
    // between still ends the wait at once. The worker threads inherit the
    // block and leave both signals to this thread.
    sigset_t stop_sigs;
    sigset_t wait_mask;
    sigemptyset(&stop_sigs);
    sigaddset(&stop_sigs, SIGINT);
    sigaddset(&stop_sigs, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop_sigs, &wait_mask);
    sigdelset(&wait_mask, SIGINT);
    sigdelset(&wait_mask, SIGTERM);

    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);

    if (lldp_start() != 0) {
        std::printf("uplinkd: lldp_start failed\n");
        return 1;
    }
    platform_init();
    std::printf("uplinkd: lldp started (pid %d)\n", static_cast<int>(getpid()));

    while (!g_stop) {
        // Open during the poll, whose commands must not inherit the block.
        pthread_sigmask(SIG_UNBLOCK, &stop_sigs, nullptr);
        platform_poll();
        pthread_sigmask(SIG_BLOCK, &stop_sigs, nullptr);
        if (g_stop) break;
        const timespec second{1, 0};
        ppoll(nullptr, 0, &second, &wait_mask);
    }

    platform_shutdown();
    lldp_stop();
    std::printf("uplinkd: stopped\n");
    return 0;
}
