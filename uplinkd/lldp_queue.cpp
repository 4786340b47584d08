#include "uplinkd/lldp_queue.h"

#include <cstring>

void lldp_queue_init(lldp_queue *q) {
    if (!q) return;
    q->head = 0;
    q->tail = 0;
    q->count.store(0, std::memory_order_relaxed);
    std::memset(q->entries, 0, sizeof(q->entries));
    std::atomic_thread_fence(std::memory_order_release);
}

int lldp_queue_push(lldp_queue *q, const uint8_t *data, size_t len, const char *ifname) {
    if (!q || !data || len == 0 || len > LLDP_QUEUE_FRAME_MAX) return -1;
    if (q->count.load(std::memory_order_acquire) >= LLDP_QUEUE_SLOTS) return -1;
    lldp_queue_entry &e = q->entries[q->tail];
    e.length = static_cast<uint16_t>(len);
    std::memset(e.ifname, 0, sizeof(e.ifname));
    if (ifname) std::strncpy(e.ifname, ifname, sizeof(e.ifname) - 1);
    std::memcpy(e.data, data, len);
    q->tail = static_cast<uint16_t>((q->tail + 1) & LLDP_QUEUE_MASK);
    // Release: the slot is complete before the consumer can see it counted.
    q->count.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

int lldp_queue_pop(lldp_queue *q, lldp_queue_entry *out) {
    if (!q || !out || q->count.load(std::memory_order_acquire) == 0) return -1;
    std::memcpy(out, &q->entries[q->head], sizeof(*out));
    q->head = static_cast<uint16_t>((q->head + 1) & LLDP_QUEUE_MASK);
    // Release: the slot is copied out before the producer may refill it.
    q->count.fetch_sub(1, std::memory_order_acq_rel);
    return 0;
}
