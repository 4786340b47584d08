// Decoding of the OAM payload the ONT sends in vendor TLVs of subtype 8: an
// optional object-instance descriptor and variable containers whose values
// form one object, possibly zlib-compressed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

inline constexpr uint8_t OAM_OPCODE_SET = 3;
inline constexpr uint8_t OAM_INSTANCE_BRANCH = 0x37;
inline constexpr uint8_t OAM_COMPRESSED_BRANCH = 0xC7;
inline constexpr uint16_t OAM_COMPRESSED_LEAF = 0x22FF;
// Largest object a compressed container may inflate to.
inline constexpr std::size_t OAM_INFLATE_MAX = 10240;

struct oam_free_deleter {
    void operator()(uint8_t *p) const noexcept { std::free(p); }
};
// Object values live in malloc'ed blocks so that running out of memory is a
// result code, not an abort.
using oam_value = std::unique_ptr<uint8_t[], oam_free_deleter>;

// One decoded delivery; integers in host order. It owns its value until the
// message is applied or dropped.
struct oam_msg {
    uint8_t oui[3];
    uint8_t opcode;
    uint8_t has_instance;
    uint8_t instance_branch;
    uint16_t instance_type;
    uint32_t instance_value;
    uint8_t branch;
    uint16_t leaf;
    oam_value data;  // none when the value is empty
    uint32_t data_len;
};

// Result codes of oam_parse_payload.
enum : int {
    OAM_PARSE_OK = 0,
    OAM_PARSE_BAD_ARG = -1,       // missing argument, payload under 4 bytes, out of memory
    OAM_PARSE_BAD_INSTANCE = -3,  // object instance with a width other than 4
    OAM_PARSE_NO_CONTAINER = -4,
    OAM_PARSE_INFLATE = -5,       // corrupt stream, or one that inflates past OAM_INFLATE_MAX
    OAM_PARSE_NO_INFLATED_CONTAINER = -6,
};

// Decodes one payload into msg (zeroed first), decompresses a compressed
// object and converts the numbers of the known objects to host order.
int oam_parse_payload(const uint8_t *payload, std::size_t len, oam_msg *msg);

// Decodes the variable containers in bytes[0, len) into msg's branch, leaf
// and value (replacing any value msg held). Returns the bytes consumed, 0 when
// no container fits; -1 when memory ran out (msg is then left without value).
int oam_parse_data_tlv(const uint8_t *bytes, std::size_t len, oam_msg *msg);

// Converts the numbers of the objects this system reads from network to host
// order, in place; other leaves and short values stay as received. Called by
// oam_parse_payload.
void oam_convert_known_object(oam_msg *msg);

// Where the decoder and the store get their memory; tests swap in an
// allocator that fails. nullptr restores malloc.
using oam_alloc_fn = void *(*)(std::size_t);
void oam_set_allocator(oam_alloc_fn fn);
void *oam_alloc(std::size_t size);
