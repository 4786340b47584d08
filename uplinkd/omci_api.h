// Entry points of the OMCI intake used by the provisioning dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>

// Creates the store with room for 8 entities; the result is not used.
int omci_init();
// Decodes one 48-byte message and applies it to the store: the result of
// omci_parse_msg, or -1 when the payload is not exactly 48 bytes.
int omci_data_handle(const uint8_t *data, size_t len);
// Empties the store and leaves it unallocated.
void omci_all_data_cleanup();
