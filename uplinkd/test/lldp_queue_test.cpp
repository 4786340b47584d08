#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "uplinkd/lldp_queue.h"

namespace {

struct Ring {
    std::unique_ptr<lldp_queue> q = std::make_unique<lldp_queue>();
    Ring() { lldp_queue_init(q.get()); }
};

TEST(LldpQueue, FullRingRefusesAndKeepsArrivalOrder) {
    Ring r;
    lldp_queue_entry e{};
    EXPECT_EQ(lldp_queue_pop(r.q.get(), &e), -1);
    for (int i = 0; i < 64; ++i) {
        const uint8_t frame[2] = {static_cast<uint8_t>(i), 0xAB};
        ASSERT_EQ(lldp_queue_push(r.q.get(), frame, 1 + (i % 2), "eth3"), 0) << i;
    }
    const uint8_t extra[1] = {0xFF};
    EXPECT_EQ(lldp_queue_push(r.q.get(), extra, 1, "eth3"), -1);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(lldp_queue_pop(r.q.get(), &e), 0);
        EXPECT_EQ(e.data[0], i);
        EXPECT_EQ(e.length, 1 + (i % 2));
        EXPECT_STREQ(e.ifname, "eth3");
    }
    EXPECT_EQ(lldp_queue_pop(r.q.get(), &e), -1);
    EXPECT_EQ(r.q->head, 0);
    EXPECT_EQ(r.q->tail, 0);
    EXPECT_EQ(r.q->count.load(), 0);
    ASSERT_EQ(lldp_queue_push(r.q.get(), extra, 1, nullptr), 0);
    EXPECT_EQ(r.q->tail, 1);  // the next push used slot 0
    ASSERT_EQ(lldp_queue_pop(r.q.get(), &e), 0);
    EXPECT_STREQ(e.ifname, "");
}

TEST(LldpQueue, PushLimits) {
    Ring r;
    static uint8_t big[1601];
    const struct {
        size_t len;
        int rc;
    } cases[] = {{0, -1}, {1, 0}, {1600, 0}, {1601, -1}};
    for (const auto &c : cases) EXPECT_EQ(lldp_queue_push(r.q.get(), big, c.len, "eth0"), c.rc) << c.len;
    EXPECT_EQ(lldp_queue_push(r.q.get(), nullptr, 1, "eth0"), -1);
    EXPECT_EQ(lldp_queue_push(nullptr, big, 1, "eth0"), -1);
    EXPECT_EQ(lldp_queue_pop(r.q.get(), nullptr), -1);

    const std::string forty(40, 'n');
    lldp_queue_entry e{};
    while (lldp_queue_pop(r.q.get(), &e) == 0) {
    }
    ASSERT_EQ(lldp_queue_push(r.q.get(), big, 1, forty.c_str()), 0);
    ASSERT_EQ(lldp_queue_pop(r.q.get(), &e), 0);
    EXPECT_EQ(std::string(e.ifname), forty.substr(0, 31));
}

// One producer, one consumer on two threads: every frame arrives once, in
// order and intact (run under TSan/ASan this also checks the hand-over).
TEST(LldpQueue, ProducerAndConsumerThreads) {
    Ring r;
    constexpr int kFrames = 20000;
    std::thread producer([&] {
        uint8_t frame[64];
        for (int i = 0; i < kFrames;) {
            for (size_t b = 0; b < sizeof(frame); ++b) frame[b] = static_cast<uint8_t>(i + b);
            if (lldp_queue_push(r.q.get(), frame, 8 + (i % 56), "eth1") == 0)
                ++i;
            else
                std::this_thread::yield();
        }
    });
    lldp_queue_entry e{};
    int bad = 0;
    for (int i = 0; i < kFrames;) {
        if (lldp_queue_pop(r.q.get(), &e) != 0) {
            std::this_thread::yield();
            continue;
        }
        if (e.length != 8 + (i % 56) || e.data[0] != static_cast<uint8_t>(i) ||
            e.data[e.length - 1] != static_cast<uint8_t>(i + e.length - 1))
            ++bad;
        ++i;
    }
    producer.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(r.q->count.load(), 0);
}

}  // namespace
