// The OMCI managed-entity store: one node per (class, instance) received since
// the last apply pass, each owning its attribute object. One per process, no
// lock of its own: the dispatcher's mutex keeps the decoder (state-machine
// thread) and the view builders (main thread) apart.
#pragma once

#include <cstddef>
#include <cstdint>

struct omci_entity {
    uint16_t class_id;
    uint16_t instance_id;
    void *data;  // attribute object, laid out by the class's descriptor
};

struct omci_entity_mgr {
    omci_entity **items;  // nodes in insertion order; nullptr while unallocated
    uint8_t count;
    uint8_t capacity;
};

// Capacity doubles 4, 8, ... 128; the 8-bit count cannot go further.
constexpr uint8_t OMCI_ENTITY_MAX = 128;

extern omci_entity_mgr g_entity_mgr;

// Allocates `capacity` slots (releasing any previous store). Returns the
// array, or nullptr when allocation failed: the store is then left
// unallocated and the next insertion allocates as after a cleanup.
omci_entity **omci_entity_manager_init(uint8_t capacity);
// Frees every object, node and the array; the store is empty and unallocated.
void omci_entity_manager_cleanup();

// 0 and a copy of the node; -1 when absent, the store is empty or `out` is nullptr.
int omci_entity_find(uint16_t class_id, uint16_t instance_id, omci_entity *out);
// 0 on success: the store owns `data`, and a node already stored for the pair
// has its old object freed in place. -1 when `data` is nullptr, memory ran out
// or the store already holds OMCI_ENTITY_MAX nodes; the caller keeps `data`.
int omci_entity_upsert(uint16_t class_id, uint16_t instance_id, void *data);
// 0 after removing the node and freeing its object; -1 when absent.
int omci_entity_delete(uint16_t class_id, uint16_t instance_id);
// Copies the first min(max, count) nodes in store order; returns that number,
// or -1 when `out` is nullptr or `max` is 0. The copies' data stays owned by
// the store and is valid until the store replaces, deletes or frees it.
int omci_entity_snapshot(omci_entity *out, int max);

// Heap used by the store and the decoder. Tests swap it to make a chosen
// allocation fail; nullptr restores the C library's.
struct omci_mem_ops {
    void *(*calloc_fn)(size_t count, size_t size);
    void *(*realloc_fn)(void *ptr, size_t size);
    void (*free_fn)(void *ptr);
};
void omci_set_mem_ops(const omci_mem_ops *ops);
void *omci_calloc(size_t count, size_t size);
void omci_free(void *ptr);
