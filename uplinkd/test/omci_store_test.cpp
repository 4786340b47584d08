#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "uplinkd/omci_attr.h"
#include "uplinkd/omci_entity.h"
#include "uplinkd/test/omci_test_util.h"

namespace {

using omci_test::FailingHeap;

void *new_obj(uint8_t tag)
{
    auto *p = static_cast<uint8_t *>(std::calloc(1, 4));
    p[0] = tag;
    return p;
}

uint8_t tag_of(const omci_entity &e)
{
    return static_cast<const uint8_t *>(e.data)[0];
}

std::vector<uint16_t> instances()
{
    std::vector<omci_entity> snap(OMCI_ENTITY_MAX);
    int n = omci_entity_snapshot(snap.data(), OMCI_ENTITY_MAX);
    std::vector<uint16_t> out;
    for (int i = 0; i < n; ++i)
        out.push_back(snap[i].instance_id);
    return out;
}

class OmciStore : public ::testing::Test {
protected:
    void SetUp() override { omci_entity_manager_cleanup(); }
    void TearDown() override
    {
        omci_set_mem_ops(nullptr);
        FailingHeap::calloc_ok = FailingHeap::realloc_ok = -1;
        omci_entity_manager_cleanup();
    }
};

TEST(OmciRegistry, LooksUpEveryClassAndNothingElse)
{
    for (uint32_t i = 0; i < OMCI_CLASS_COUNT; ++i)
        EXPECT_EQ(get_attr_desc_by_classid(me_desc_registry[i].class_id), &me_desc_registry[i]);
    EXPECT_EQ(me_desc_registry[0].class_id, 30001u);
    EXPECT_EQ(get_attr_desc_by_classid(65417)->attr_count, 8u);
    EXPECT_EQ(get_attr_desc_by_classid(65417)->obj_size, 1u + 25 * 6 + 1);
    for (uint32_t absent : {0u, 9999u, 30012u, 65535u, 0x10000u + 30001u})
        EXPECT_EQ(get_attr_desc_by_classid(absent), nullptr) << absent;
}

TEST_F(OmciStore, UpsertReplacesInPlaceAndAppendsNew)
{
    ASSERT_EQ(omci_entity_upsert(1, 10, new_obj('a')), 0);
    ASSERT_EQ(omci_entity_upsert(1, 11, new_obj('b')), 0);
    ASSERT_EQ(omci_entity_upsert(2, 10, new_obj('c')), 0);
    ASSERT_EQ(omci_entity_upsert(1, 11, new_obj('B')), 0);  // old object freed (ASan build)
    EXPECT_EQ(g_entity_mgr.count, 3);

    omci_entity snap[3];
    ASSERT_EQ(omci_entity_snapshot(snap, 3), 3);
    EXPECT_EQ(tag_of(snap[0]), 'a');
    EXPECT_EQ(tag_of(snap[1]), 'B');
    EXPECT_EQ(tag_of(snap[2]), 'c');

    omci_entity found{};
    EXPECT_EQ(omci_entity_find(2, 10, &found), 0);
    EXPECT_EQ(tag_of(found), 'c');
    EXPECT_EQ(omci_entity_find(2, 11, &found), -1);
    EXPECT_EQ(omci_entity_find(2, 10, nullptr), -1);
    EXPECT_EQ(omci_entity_upsert(3, 0, nullptr), -1);
}

TEST_F(OmciStore, DeleteKeepsOrderOfTheRest)
{
    for (uint16_t i = 0; i < 3; ++i)
        ASSERT_EQ(omci_entity_upsert(5, i, new_obj(0)), 0);
    EXPECT_EQ(omci_entity_delete(5, 0), 0);
    EXPECT_EQ(instances(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(omci_entity_delete(5, 0), -1);
    EXPECT_EQ(omci_entity_delete(5, 2), 0);
    EXPECT_EQ(instances(), (std::vector<uint16_t>{1}));
}

TEST_F(OmciStore, SnapshotLimits)
{
    omci_entity snap[40];
    EXPECT_EQ(omci_entity_snapshot(snap, 32), 0);
    EXPECT_EQ(omci_entity_snapshot(snap, 0), -1);
    EXPECT_EQ(omci_entity_snapshot(nullptr, 32), -1);
    for (uint16_t i = 0; i < 40; ++i)
        ASSERT_EQ(omci_entity_upsert(7, i, new_obj(0)), 0);
    ASSERT_EQ(omci_entity_snapshot(snap, 32), 32);
    EXPECT_EQ(snap[0].instance_id, 0);
    EXPECT_EQ(snap[31].instance_id, 31);
}

TEST_F(OmciStore, GrowsToOneHundredTwentyEightThenRefuses)
{
    ASSERT_NE(omci_entity_manager_init(8), nullptr);
    std::vector<int> capacities;
    for (uint16_t i = 0; i < OMCI_ENTITY_MAX; ++i) {
        ASSERT_EQ(omci_entity_upsert(9, i, new_obj(0)), 0) << i;
        if (capacities.empty() || capacities.back() != g_entity_mgr.capacity)
            capacities.push_back(g_entity_mgr.capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int>{8, 16, 32, 64, 128}));

    void *extra = new_obj(0);
    EXPECT_EQ(omci_entity_upsert(9, 500, extra), -1);
    std::free(extra);  // a refused object stays with the caller
    EXPECT_EQ(g_entity_mgr.count, 128);
    EXPECT_EQ(g_entity_mgr.capacity, 128);
    // Replacing a stored entity still works when full.
    EXPECT_EQ(omci_entity_upsert(9, 127, new_obj(1)), 0);
}

TEST_F(OmciStore, CleanupLeavesItUnallocatedAndUsable)
{
    ASSERT_NE(omci_entity_manager_init(8), nullptr);
    ASSERT_EQ(omci_entity_upsert(1, 1, new_obj(0)), 0);
    omci_entity_manager_cleanup();
    EXPECT_EQ(g_entity_mgr.items, nullptr);
    EXPECT_EQ(g_entity_mgr.capacity, 0);
    omci_entity e;
    EXPECT_EQ(omci_entity_find(1, 1, &e), -1);
    EXPECT_EQ(omci_entity_snapshot(&e, 1), 0);
    EXPECT_EQ(omci_entity_delete(1, 1), -1);
    ASSERT_EQ(omci_entity_upsert(1, 1, new_obj(0)), 0);
    EXPECT_EQ(g_entity_mgr.capacity, 4);
}

TEST_F(OmciStore, AllocationFailuresLeaveTheStoreAsItWas)
{
    omci_set_mem_ops(&FailingHeap::ops);

    // A failed initial allocation leaves the store unallocated, and the next
    // insertion allocates its own array.
    FailingHeap::calloc_ok = 0;
    EXPECT_EQ(omci_entity_manager_init(8), nullptr);
    EXPECT_EQ(g_entity_mgr.items, nullptr);
    EXPECT_EQ(g_entity_mgr.capacity, 0);
    FailingHeap::calloc_ok = -1;
    ASSERT_EQ(omci_entity_upsert(1, 0, new_obj(0)), 0);
    EXPECT_EQ(g_entity_mgr.capacity, 4);

    for (uint16_t i = 1; i < 4; ++i)
        ASSERT_EQ(omci_entity_upsert(1, i, new_obj(0)), 0);

    void *obj = new_obj(0);
    FailingHeap::realloc_ok = 0;  // growth 4 -> 8
    EXPECT_EQ(omci_entity_upsert(1, 4, obj), -1);
    FailingHeap::realloc_ok = -1;
    FailingHeap::calloc_ok = 0;  // the node itself
    EXPECT_EQ(omci_entity_upsert(1, 5, obj), -1);
    FailingHeap::calloc_ok = -1;
    std::free(obj);

    EXPECT_EQ(instances(), (std::vector<uint16_t>{0, 1, 2, 3}));
}

}  // namespace
