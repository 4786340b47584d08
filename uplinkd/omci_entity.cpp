#include "uplinkd/omci_entity.h"

#include <cstdlib>
#include <cstring>

omci_entity_mgr g_entity_mgr = {nullptr, 0, 0};

namespace {

const omci_mem_ops libc_mem_ops = {std::calloc, std::realloc, std::free};
const omci_mem_ops *mem = &libc_mem_ops;

int find_slot(uint16_t class_id, uint16_t instance_id)
{
    for (int i = 0; i < g_entity_mgr.count; ++i) {
        const omci_entity *e = g_entity_mgr.items[i];
        if (e != nullptr && e->class_id == class_id && e->instance_id == instance_id)
            return i;
    }
    return -1;
}

// Room for one more node; -1 leaves the store as it was.
int reserve_one()
{
    omci_entity_mgr &m = g_entity_mgr;
    if (m.count >= OMCI_ENTITY_MAX)
        return -1;
    if (m.items != nullptr && m.count < m.capacity)
        return 0;
    unsigned want = m.capacity == 0 ? 4u : 2u * m.capacity;
    if (want > OMCI_ENTITY_MAX)
        want = OMCI_ENTITY_MAX;
    void *grown = mem->realloc_fn(m.items, want * sizeof(omci_entity *));
    if (grown == nullptr)
        return -1;
    m.items = static_cast<omci_entity **>(grown);
    m.capacity = static_cast<uint8_t>(want);
    return 0;
}

}  // namespace

void omci_set_mem_ops(const omci_mem_ops *ops)
{
    mem = ops != nullptr ? ops : &libc_mem_ops;
}

void *omci_calloc(size_t count, size_t size)
{
    return mem->calloc_fn(count, size);
}

void omci_free(void *ptr)
{
    mem->free_fn(ptr);
}

omci_entity **omci_entity_manager_init(uint8_t capacity)
{
    omci_entity_manager_cleanup();
    if (capacity == 0)
        return nullptr;
    void *items = mem->calloc_fn(capacity, sizeof(omci_entity *));
    if (items == nullptr)
        return nullptr;
    g_entity_mgr.items = static_cast<omci_entity **>(items);
    g_entity_mgr.capacity = capacity;
    return g_entity_mgr.items;
}

void omci_entity_manager_cleanup()
{
    omci_entity_mgr &m = g_entity_mgr;
    for (int i = 0; i < m.count; ++i) {
        if (m.items[i] != nullptr) {
            mem->free_fn(m.items[i]->data);
            mem->free_fn(m.items[i]);
        }
    }
    mem->free_fn(m.items);
    m = {nullptr, 0, 0};
}

int omci_entity_find(uint16_t class_id, uint16_t instance_id, omci_entity *out)
{
    if (out == nullptr)
        return -1;
    int i = find_slot(class_id, instance_id);
    if (i < 0)
        return -1;
    *out = *g_entity_mgr.items[i];
    return 0;
}

int omci_entity_upsert(uint16_t class_id, uint16_t instance_id, void *data)
{
    if (data == nullptr)
        return -1;
    int i = find_slot(class_id, instance_id);
    if (i >= 0) {
        omci_entity *e = g_entity_mgr.items[i];
        if (e->data != data)
            mem->free_fn(e->data);
        e->data = data;
        return 0;
    }
    if (reserve_one() != 0)
        return -1;
    auto *e = static_cast<omci_entity *>(mem->calloc_fn(1, sizeof(omci_entity)));
    if (e == nullptr)
        return -1;
    *e = {class_id, instance_id, data};
    g_entity_mgr.items[g_entity_mgr.count++] = e;
    return 0;
}

int omci_entity_delete(uint16_t class_id, uint16_t instance_id)
{
    int i = find_slot(class_id, instance_id);
    if (i < 0)
        return -1;
    omci_entity_mgr &m = g_entity_mgr;
    omci_entity *e = m.items[i];
    std::memmove(&m.items[i], &m.items[i + 1], (m.count - i - 1) * sizeof(omci_entity *));
    --m.count;
    mem->free_fn(e->data);
    mem->free_fn(e);
    return 0;
}

int omci_entity_snapshot(omci_entity *out, int max)
{
    if (out == nullptr || max <= 0)
        return -1;
    int n = g_entity_mgr.count < max ? g_entity_mgr.count : max;
    for (int i = 0; i < n; ++i) {
        const omci_entity *e = g_entity_mgr.items[i];
        out[i] = e != nullptr ? *e : omci_entity{0, 0, nullptr};
    }
    return n;
}
