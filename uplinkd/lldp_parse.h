// LLDPDU decoding into an owned record (IEEE 802.1AB TLVs).
#pragma once

#include <cstddef>
#include <cstdint>

// Type in the top 7 bits, length in the low 9, as on the wire.
struct lldp_tlv_hdr {
    uint16_t type : 7;
    uint16_t length : 9;
};
static_assert(sizeof(lldp_tlv_hdr) == 2);

struct lldp_id_tlv {
    lldp_tlv_hdr hdr;
    uint8_t subtype;
    uint8_t *value;  // hdr.length - 1 bytes, not terminated
};

struct lldp_ttl_tlv {
    lldp_tlv_hdr hdr;
    uint16_t seconds;
};

// Text, management and vendor records are allocated together with the
// buffers they point to; lldp_free_* releases both in one go.

struct lldp_text_tlv {
    lldp_tlv_hdr hdr;
    char *text;  // hdr.length + 1 bytes, NUL-terminated
};

struct lldp_cap_tlv {
    lldp_tlv_hdr hdr;
    uint16_t caps;
    uint16_t enabled;
};

struct lldp_mgmt_tlv {
    lldp_tlv_hdr hdr;
    uint8_t addr_str_len;  // address length + 1, as received
    uint8_t addr_subtype;
    uint8_t *addr;  // addr_str_len - 1 bytes
    uint8_t if_subtype;
    uint32_t if_number;
    uint8_t oid_len;
    uint8_t *oid;  // oid_len + 1 bytes, NUL-terminated; null when oid_len is 0
};

struct lldp_org_tlv {
    lldp_tlv_hdr hdr;
    uint8_t oui[3];
    uint8_t subtype;
    uint8_t *data;  // hdr.length - 4 bytes; null when that is 0
};

struct lldp_info {
    lldp_id_tlv chassis_id;
    lldp_id_tlv port_id;
    lldp_ttl_tlv ttl;
    lldp_text_tlv *port_desc;
    lldp_text_tlv *system_name;
    lldp_text_tlv *system_desc;
    lldp_cap_tlv *system_cap;
    lldp_mgmt_tlv **mgmt_addrs;
    int32_t mgmt_count;
    lldp_org_tlv **org_tlvs;
    int32_t org_count;
};

// Bounds-checked big-endian reader. Every read fails (and leaves the
// cursor where it was) when fewer bytes remain than it needs.
struct lldp_reader {
    const uint8_t *p;
    size_t left;

    bool u8(uint8_t &v) {
        if (left < 1) return false;
        v = p[0];
        p += 1;
        left -= 1;
        return true;
    }
    bool u16be(uint16_t &v) {
        if (left < 2) return false;
        v = static_cast<uint16_t>((p[0] << 8) | p[1]);
        p += 2;
        left -= 2;
        return true;
    }
    bool u32be(uint32_t &v) {
        if (left < 4) return false;
        v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        p += 4;
        left -= 4;
        return true;
    }
    bool take(size_t n, const uint8_t *&out) {
        if (n > left) return false;
        out = p;
        p += n;
        left -= n;
        return true;
    }
};

int lldp_parse_eth_lldpdu(const uint8_t *frame, size_t len, const uint8_t **lldpdu, size_t *lldpdu_len);
lldp_info *lldp_parse_packet(const uint8_t *lldpdu, size_t len);

// Decoders: `cursor` and `remaining` advance past the TLV on success.
// Reads the 2 bytes at the cursor: the caller checks that they are there.
int lldp_parse_tlv_header(const uint8_t **cursor, lldp_tlv_hdr *hdr);
int lldp_parse_chassis_id(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_port_id(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_ttl(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_port_desc(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_system_name(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_system_desc(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_system_cap(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_mgmt_addr(lldp_info *info, const uint8_t **cursor, size_t *remaining);
int lldp_parse_org_tlv(lldp_info *info, const uint8_t **cursor, size_t *remaining);

struct lldp_parse_tlv_opt {
    uint8_t type;
    int (*decode)(lldp_info *, const uint8_t **, size_t *);
};
extern const lldp_parse_tlv_opt lldp_parse_tlv_opt_table[6];

// Every allocation of the decoder goes through this function (calloc
// semantics, null on exhaustion); tests swap it to exercise the
// out-of-memory paths. Passing null restores calloc.
using lldp_parse_alloc_fn = void *(*)(size_t count, size_t size);
void lldp_parse_set_allocator(lldp_parse_alloc_fn fn);
