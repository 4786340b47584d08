#include "uplinkd/oam_entity.h"

#include <gtest/gtest.h>

#include "uplinkd/oam_api.h"
#include "uplinkd/test/oam_test_util.h"

using namespace oamtest;

namespace {

class OamStore : public ::testing::Test {
protected:
    void SetUp() override { oam_init(); }
    void TearDown() override
    {
        oam_set_allocator(nullptr);
        oam_all_data_cleanup();
    }

    static const oam_entity &at(unsigned i) { return *g_oam_entity_mgr.items[i]; }
    static Bytes payload(const oam_entity &e) { return Bytes(e.payload, e.payload + e.payload_len); }
};

TEST_F(OamStore, IdentityRules)
{
    // Without an object instance, branch and leaf are the key.
    EXPECT_EQ(deliver(set_request(0x2029, {1, 2})), 0);
    EXPECT_EQ(deliver(set_request(0x2029, {3, 4, 5})), 0);
    EXPECT_EQ(deliver(set_request(0x2029, {9}, false, 0, false, 0xC8)), 0);
    ASSERT_EQ(g_oam_entity_mgr.count, 2);
    EXPECT_EQ(payload(at(0)), (Bytes{3, 4, 5}));
    EXPECT_EQ(at(1).branch, 0xC8);

    // With one, the instance value is the key: the leaf is not part of it.
    EXPECT_EQ(deliver(set_request(0x2202, {1}, true, 101)), 0);
    EXPECT_EQ(deliver(set_request(0x2202, {2}, true, 102)), 0);
    EXPECT_EQ(deliver(set_request(0x2208, {3}, true, 101)), 0);
    ASSERT_EQ(g_oam_entity_mgr.count, 4);
    EXPECT_EQ(at(2).leaf, 0x2208);  // replaced in place, keeps its position
    EXPECT_EQ(at(2).instance_value, 101u);
    EXPECT_EQ(payload(at(2)), Bytes{3});
    EXPECT_EQ(at(3).instance_value, 102u);

    // The same branch and leaf without instance is another object: it must
    // not take over an entity kept per instance.
    EXPECT_EQ(deliver(set_request(0x2202, {8})), 0);
    ASSERT_EQ(g_oam_entity_mgr.count, 5);
    EXPECT_EQ(at(3).has_instance, 1);
    EXPECT_EQ(payload(at(3)), Bytes{2});
    EXPECT_EQ(at(4).has_instance, 0);
}

TEST_F(OamStore, OnlySetRequestsAreStored)
{
    EXPECT_EQ(deliver(Bytes{0x11, 0x22}), -1);
    Bytes get = header(1);
    container(get, 0xC7, 0x2029, 1, {1});
    EXPECT_EQ(deliver(get), -1);
    Bytes corrupt = header(3);
    container(corrupt, 0xC7, 0x22FF, 3, {1, 2, 3});
    EXPECT_EQ(deliver(corrupt), -5);
    EXPECT_EQ(g_oam_entity_mgr.count, 0);

    // An object without value bytes is stored without a payload.
    Bytes marker = header(3);
    container(marker, 0xC7, 0x2029, 0x86);
    EXPECT_EQ(deliver(marker), 0);
    ASSERT_EQ(g_oam_entity_mgr.count, 1);
    EXPECT_EQ(at(0).payload, nullptr);
    EXPECT_EQ(at(0).payload_len, 0u);
    // ...and a later empty value drops the earlier copy.
    EXPECT_EQ(deliver(set_request(0x2029, {1, 2, 3})), 0);
    EXPECT_EQ(deliver(marker), 0);
    EXPECT_EQ(at(0).payload, nullptr);
}

TEST_F(OamStore, HoldsAtMost128EntitiesAndRegrowsAfterCleanup)
{
    for (uint32_t i = 0; i < 128; ++i) ASSERT_EQ(deliver(set_request(0x2202, {1}, true, i)), 0) << i;
    EXPECT_EQ(g_oam_entity_mgr.capacity, 128);
    EXPECT_EQ(deliver(set_request(0x2202, {1}, true, 128)), -1);
    EXPECT_EQ(g_oam_entity_mgr.count, 128);
    EXPECT_EQ(deliver(set_request(0x2202, {7}, true, 127)), 0);  // updates still work
    EXPECT_EQ(payload(at(127)), Bytes{7});

    oam_all_data_cleanup();
    EXPECT_EQ(g_oam_entity_mgr.items, nullptr);
    EXPECT_EQ(g_oam_entity_mgr.capacity, 0);
    EXPECT_EQ(deliver(set_request(0x2029, {1})), 0);
    EXPECT_EQ(g_oam_entity_mgr.capacity, 4);
    for (uint32_t i = 0; i < 4; ++i) deliver(set_request(0x2202, {1}, true, i));
    EXPECT_EQ(g_oam_entity_mgr.capacity, 8);
    EXPECT_EQ(g_oam_entity_mgr.count, 5);
}

TEST_F(OamStore, DeleteKeepsOrderAndSnapshotCopiesTheFirstEntities)
{
    for (uint32_t i = 0; i < 40; ++i) deliver(set_request(0x2202, {static_cast<uint8_t>(i)}, true, i));
    oam_msg m{};
    m.has_instance = 1;
    m.instance_branch = 0x37;
    m.instance_value = 0;
    EXPECT_EQ(oam_entity_delete(&m), 0);
    EXPECT_EQ(oam_entity_delete(&m), -1);
    EXPECT_EQ(g_oam_entity_mgr.count, 39);

    oam_entity snap[32];
    EXPECT_EQ(oam_entity_snapshot(snap, 32), 32);
    for (uint32_t i = 0; i < 32; ++i) {
        EXPECT_EQ(snap[i].instance_value, i + 1);
        EXPECT_EQ(snap[i].payload, at(i).payload);  // still the store's copy
    }
    EXPECT_EQ(oam_entity_snapshot(snap, 0), -1);
    EXPECT_EQ(oam_entity_snapshot(nullptr, 32), -1);
    oam_all_data_cleanup();
    EXPECT_EQ(oam_entity_snapshot(snap, 32), 0);
}

int g_budget = 0;
void *budget_alloc(std::size_t n) { return g_budget-- > 0 ? std::malloc(n) : nullptr; }

TEST_F(OamStore, OutOfMemoryKeepsWhatWasStored)
{
    ASSERT_EQ(deliver(set_request(0x2029, {1, 2, 3})), 0);
    const oam_entity before = at(0);

    // Decoding needs one block for the value, storing one for the copy.
    g_budget = 1;
    oam_set_allocator(budget_alloc);
    EXPECT_EQ(deliver(set_request(0x2029, {4, 5})), -1);
    ASSERT_EQ(g_oam_entity_mgr.count, 1);
    EXPECT_EQ(at(0).payload, before.payload);
    EXPECT_EQ(payload(at(0)), (Bytes{1, 2, 3}));

    // A new entity that cannot be completed is not appended.
    for (int budget : {1, 2}) {
        g_budget = budget;
        EXPECT_EQ(deliver(set_request(0x202A, {4, 5})), -1) << budget;
        EXPECT_EQ(g_oam_entity_mgr.count, 1) << budget;
    }
    oam_set_allocator(nullptr);
    EXPECT_EQ(deliver(set_request(0x202A, {4, 5})), 0);
    EXPECT_EQ(g_oam_entity_mgr.count, 2);
}

}  // namespace
