// Entry points of the OAM intake for the provisioning dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>

#include "uplinkd/oam_parse.h"

// Creates the store with 8 slots.
void oam_init();
// Decodes one delivery and, when it decodes, applies it. Returns the last
// result (the decoder's, or the store's).
int oam_data_handle(const uint8_t *payload, std::size_t len);
// Empties the store after an apply pass and at shutdown.
void oam_all_data_cleanup();
// Applies a set request to the store (other opcodes: -1) and releases the
// message's value either way.
int oam_process_msg(oam_msg *msg);
