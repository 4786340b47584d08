// The 64-slot receive ring between the receive and state-machine threads:
// one producer, one consumer, the count shared atomically.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr uint16_t LLDP_QUEUE_SLOTS = 64;
constexpr uint16_t LLDP_QUEUE_MASK = LLDP_QUEUE_SLOTS - 1;
constexpr size_t LLDP_QUEUE_FRAME_MAX = 1600;

struct lldp_queue_entry {
    uint16_t length;
    char ifname[32];
    uint8_t data[LLDP_QUEUE_FRAME_MAX];
};
static_assert(offsetof(lldp_queue_entry, ifname) == 2);
static_assert(offsetof(lldp_queue_entry, data) == 34);
static_assert(sizeof(lldp_queue_entry) == 1634);

struct lldp_queue {
    uint16_t head;  // written by the consumer only
    uint16_t tail;  // written by the producer only
    std::atomic<uint16_t> count;
    lldp_queue_entry entries[LLDP_QUEUE_SLOTS];
};
static_assert(std::atomic<uint16_t>::is_always_lock_free);

void lldp_queue_init(lldp_queue *q);
int lldp_queue_push(lldp_queue *q, const uint8_t *data, size_t len, const char *ifname);
int lldp_queue_pop(lldp_queue *q, lldp_queue_entry *out);
