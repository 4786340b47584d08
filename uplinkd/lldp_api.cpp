#include "uplinkd/lldp_api.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "uplinkd/device_api.h"
#include "uplinkd/lldp_sm.h"

lldp_queue g_rx_q;

namespace {

std::atomic<int> g_stop_req{0};
std::atomic<int> g_running{0};
pthread_t g_rx_tid;
pthread_t g_sm_tid;

constexpr int kRxTimeoutMs = 200;
constexpr uint64_t kTickMs = 1000;

void sleep_ms(long ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

// The workers leave SIGINT and SIGTERM to the main thread, whose sleep they
// must interrupt for a prompt stop.
int create_worker(pthread_t *tid, void *(*fn)(void *)) {
    sigset_t block;
    sigset_t old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    const int rc = pthread_create(tid, nullptr, fn, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return rc;
}

}  // namespace

void *lldp_rx_thread_main(void *) {
    lldp_dev_rx_init();
    uint8_t frame[LLDP_QUEUE_FRAME_MAX];
    char ifname[32];
    while (g_stop_req.load() == 0) {
        std::memset(frame, 0, sizeof(frame));
        std::memset(ifname, 0, sizeof(ifname));
        uint16_t len = 0;
        if (lldp_dev_rx_get(frame, sizeof(frame), &len, ifname, sizeof(ifname), kRxTimeoutMs) != 0) {
            sleep_ms(100);
            continue;
        }
        lldp_queue_push(&g_rx_q, frame, len, ifname);
    }
    return nullptr;
}

void *lldp_sm_thread_main(void *) {
    uint64_t last_tick_ms = 0;
    lldp_queue_entry entry;
    while (g_stop_req.load() == 0) {
        lldp_sm_ctx *ctx = lldp_sm_get_ctx();
        const uint64_t now = lldp_dev_now_ms();
        if (now != 0 && (last_tick_ms == 0 || now - last_tick_ms >= kTickMs)) {
            lldp_sm_on_tick(ctx, now);
            last_tick_ms = now;
        }
        if (lldp_queue_pop(&g_rx_q, &entry) == 0) {
            lldp_sm_on_rx(ctx, entry.data, entry.length, entry.ifname);
            continue;
        }
        sleep_ms(100);
    }
    return nullptr;
}

int lldp_start() {
    if (g_running.load()) return 0;
    g_stop_req.store(0);
    g_running.store(1);

    lldp_sm_init(lldp_sm_get_ctx());
    // Emptied before either worker starts: cleared from the receive thread,
    // the ring could be wiped under a pop of the session thread.
    lldp_queue_init(&g_rx_q);
    std::printf("lldp_sm_thread_main init success\n");

    if (create_worker(&g_rx_tid, lldp_rx_thread_main) != 0) {
        g_running.store(0);
        return -1;
    }
    if (create_worker(&g_sm_tid, lldp_sm_thread_main) != 0) {
        g_stop_req.store(1);
        pthread_join(g_rx_tid, nullptr);
        g_running.store(0);
        return -1;
    }
    std::printf("lldp_start: success pid is %d\n", static_cast<int>(getpid()));
    return 0;
}

int lldp_stop() {
    if (!g_running.load()) return 0;
    g_stop_req.store(1);
    pthread_join(g_rx_tid, nullptr);
    pthread_join(g_sm_tid, nullptr);
    g_running.store(0);
    return 0;
}

int lldp_is_running() { return g_running.load() ? 1 : 0; }
