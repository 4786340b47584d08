// glowctl: the LED daemon. No arguments; everything comes from UCI and the
// state files.
#include "glowctl/daemon.h"

#include <csignal>
#include <ctime>
#include <unistd.h>

int main()
{
    signal(SIGPIPE, SIG_IGN);
    daemon_state d;
    glow_read_board(d);
    glow_startup(d, true);
    for (;;) {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        glow_pass(d, static_cast<int64_t>(ts.tv_sec));
        sleep(1);
    }
}
