#include "uplinkd/oam_entity.h"

#include <cstdlib>
#include <cstring>

oam_entity_mgr g_oam_entity_mgr = {nullptr, 0, 0};

namespace {

void free_entity(oam_entity *e)
{
    if (e == nullptr) return;
    std::free(e->payload);
    std::free(e);
}

// An object sent without instance never replaces one kept per instance: a
// stray SSID object would otherwise wipe out an SSID slot.
bool same_identity(const oam_entity &e, const oam_msg &m)
{
    if (m.has_instance)
        return e.has_instance && e.instance_branch == m.instance_branch && e.instance_value == m.instance_value;
    return !e.has_instance && e.branch == m.branch && e.leaf == m.leaf;
}

// Makes room for one more entity; false leaves the store as it was.
bool reserve_slot(oam_entity_mgr &mgr)
{
    if (mgr.count < mgr.capacity) return true;
    if (mgr.count >= OAM_STORE_MAX_ENTITIES) return false;
    unsigned grown = mgr.capacity ? mgr.capacity * 2u : 4u;
    if (grown > OAM_STORE_MAX_ENTITIES) grown = OAM_STORE_MAX_ENTITIES;
    auto **items = static_cast<oam_entity **>(oam_alloc(grown * sizeof(oam_entity *)));
    if (items == nullptr) return false;
    if (mgr.count) std::memcpy(items, mgr.items, mgr.count * sizeof(oam_entity *));
    std::free(mgr.items);
    mgr.items = items;
    mgr.capacity = static_cast<uint8_t>(grown);
    return true;
}

}  // namespace

int oam_entity_manager_init(uint8_t initial_capacity)
{
    oam_entity_manager_cleanup();
    if (initial_capacity > OAM_STORE_MAX_ENTITIES) initial_capacity = OAM_STORE_MAX_ENTITIES;
    if (initial_capacity == 0) return 0;
    auto **items = static_cast<oam_entity **>(oam_alloc(initial_capacity * sizeof(oam_entity *)));
    if (items == nullptr) return -1;
    g_oam_entity_mgr.items = items;
    g_oam_entity_mgr.capacity = initial_capacity;
    return 0;
}

void oam_entity_manager_cleanup()
{
    oam_entity_mgr &mgr = g_oam_entity_mgr;
    for (unsigned i = 0; i < mgr.count; ++i) free_entity(mgr.items[i]);
    std::free(mgr.items);
    mgr.items = nullptr;
    mgr.count = 0;
    mgr.capacity = 0;
}

oam_entity *entity_find_ptr(const oam_msg *msg)
{
    if (msg == nullptr) return nullptr;
    const oam_entity_mgr &mgr = g_oam_entity_mgr;
    for (unsigned i = 0; i < mgr.count; ++i)
        if (same_identity(*mgr.items[i], *msg)) return mgr.items[i];
    return nullptr;
}

int entity_apply_payload(oam_entity *entity, const oam_msg *msg)
{
    if (entity == nullptr || msg == nullptr) return -1;
    // Take the copy first so a failure leaves the entity as it was.
    uint8_t *copy = nullptr;
    const uint32_t len = msg->data ? msg->data_len : 0;
    if (len > 0) {
        copy = static_cast<uint8_t *>(oam_alloc(len));
        if (copy == nullptr) return -1;
        std::memcpy(copy, msg->data.get(), len);
    }
    entity->has_instance = msg->has_instance;
    entity->instance_branch = msg->instance_branch;
    entity->instance_type = msg->instance_type;
    entity->instance_value = msg->instance_value;
    entity->branch = msg->branch;
    entity->leaf = msg->leaf;
    std::free(entity->payload);
    entity->payload = copy;
    entity->payload_len = len;
    return 0;
}

int oam_entity_upsert(const oam_msg *msg)
{
    if (msg == nullptr) return -1;
    if (oam_entity *found = entity_find_ptr(msg)) return entity_apply_payload(found, msg);

    oam_entity_mgr &mgr = g_oam_entity_mgr;
    if (!reserve_slot(mgr)) return -1;
    auto *e = static_cast<oam_entity *>(oam_alloc(sizeof(oam_entity)));
    if (e == nullptr) return -1;
    std::memset(e, 0, sizeof *e);
    if (entity_apply_payload(e, msg) != 0) {
        free_entity(e);
        return -1;
    }
    mgr.items[mgr.count++] = e;
    return 0;
}

int oam_entity_delete(const oam_msg *msg)
{
    oam_entity *e = entity_find_ptr(msg);
    if (e == nullptr) return -1;
    oam_entity_mgr &mgr = g_oam_entity_mgr;
    unsigned i = 0;
    while (mgr.items[i] != e) ++i;
    std::memmove(&mgr.items[i], &mgr.items[i + 1], (mgr.count - i - 1) * sizeof(oam_entity *));
    --mgr.count;
    free_entity(e);
    return 0;
}

int oam_entity_snapshot(oam_entity *out, int max)
{
    if (out == nullptr || max <= 0) return -1;
    const oam_entity_mgr &mgr = g_oam_entity_mgr;
    int n = mgr.count < max ? mgr.count : max;
    for (int i = 0; i < n; ++i) out[i] = *mgr.items[i];
    return n;
}
