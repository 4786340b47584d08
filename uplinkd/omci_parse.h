// Decoding of one 48-byte OMCI baseline message and applying it to the store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

constexpr size_t OMCI_MSG_LEN = 48;
constexpr size_t OMCI_CONTENTS_LEN = 32;

// Numbers in host order; every other byte as received.
struct omci_msg {
    uint16_t transaction_id;
    uint8_t msg_type;  // low 5 bits: action
    uint8_t device_id;
    uint16_t class_id;
    uint16_t instance_id;
    uint8_t contents[OMCI_CONTENTS_LEN];  // 16-bit attribute mask, then values
    uint16_t trailer_field1;
    uint16_t trailer_field2;
    uint8_t trailer_check[4];
};
static_assert(sizeof(omci_msg) == OMCI_MSG_LEN);
static_assert(offsetof(omci_msg, msg_type) == 2 && offsetof(omci_msg, class_id) == 4 &&
              offsetof(omci_msg, instance_id) == 6 && offsetof(omci_msg, contents) == 8 &&
              offsetof(omci_msg, trailer_field1) == 40 && offsetof(omci_msg, trailer_field2) == 42 &&
              offsetof(omci_msg, trailer_check) == 44);

enum omci_action : uint8_t {
    OMCI_ACTION_CREATE = 4,
    OMCI_ACTION_DELETE = 6,
    OMCI_ACTION_SET = 8,
};

// Results of omci_parse_msg (and omci_data_handle).
enum omci_result : int {
    OMCI_OK = 0,
    OMCI_ERR_INVALID = -1,  // bad length, unknown class, no memory, values past the message
    OMCI_ERR_STORE = -2,    // the store refused the new entity
    OMCI_ERR_NOT_FOUND = -6,
    OMCI_ERR_ACTION = -7,
};

// 0, or -1 when `data` is not exactly OMCI_MSG_LEN bytes.
int omci_parse_data_to_msg(omci_msg *msg, const uint8_t *data, size_t len);
// Applies a decoded message to the store; one of omci_result.
int omci_parse_msg(const omci_msg *msg);
// Decodes the contents into `obj` (laid out for `class_id`). Attributes whose
// mask bit is clear keep their bytes. -1, with `obj` untouched, when `obj` is
// nullptr, the class is unknown or the selected values need more bytes than
// the contents hold.
int omci_parse_content_to_obj(void *obj, uint32_t class_id,
                              std::span<const uint8_t, OMCI_CONTENTS_LEN> contents);
