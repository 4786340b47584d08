// The OAM entity store: the last value received for each object identity
// since the last apply pass. One per process, without a lock of its own: the
// dispatcher's mutex keeps deliveries and view passes apart.
#pragma once

#include <cstdint>

#include "uplinkd/oam_parse.h"

// Counters are 8 bits wide, so the store never holds more.
inline constexpr unsigned OAM_STORE_MAX_ENTITIES = 128;

struct oam_entity {
    uint8_t has_instance;
    uint8_t instance_branch;
    uint16_t instance_type;
    uint32_t instance_value;
    uint8_t branch;
    uint16_t leaf;
    uint8_t *payload;  // the store's copy of the value; none when it was empty
    uint32_t payload_len;
};

struct oam_entity_mgr {
    oam_entity **items;  // in store order
    uint8_t count;
    uint8_t capacity;
};

extern oam_entity_mgr g_oam_entity_mgr;

// Allocates that many slots (dropping anything stored); 0, or -1 when the
// array could not be had (the first insertion then allocates one).
int oam_entity_manager_init(uint8_t initial_capacity);
// Frees every value, every entity and the array.
void oam_entity_manager_cleanup();

// The stored entity with msg's identity, or nullptr. With an object instance
// the key is the instance branch and value; without, the branch and leaf
// among the entities stored without instance.
oam_entity *entity_find_ptr(const oam_msg *msg);
// Gives the entity msg's identity and a copy of its value, freeing the old
// copy; -1 when memory ran out, and the entity is then unchanged.
int entity_apply_payload(oam_entity *entity, const oam_msg *msg);
// Updates the entity with msg's identity in place, or appends one; -1 when
// memory ran out or the store is full.
int oam_entity_upsert(const oam_msg *msg);
// Removes the entity with msg's identity; -1 when absent.
int oam_entity_delete(const oam_msg *msg);
// Copies the first min(max, count) entities in store order and returns how
// many; their payloads still belong to the store. -1 when out is missing or
// max is not positive.
int oam_entity_snapshot(oam_entity *out, int max);
