// LLDPDU construction: the sending port's identity followed by the vendor
// TLVs of the ONT protocol, written into a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t LLDP_ORG_MAX_PAYLOAD = 507;
constexpr size_t LLDP_FRAME_MAX = 1600;

struct lldp_org_entry {
    int subtype;  // only the low byte goes on the wire
    const uint8_t *data;
    uint32_t len;
};

struct lldp_packer {
    uint8_t *start;
    uint8_t *cur;
    uint32_t capacity;
    uint32_t used;
    int error;  // sticky: -1 once a write did not fit
};

struct lldp_frame_desc {
    const uint8_t *chassis_mac;
    const uint8_t *port_mac;
    uint16_t ttl;
    const char *port_desc;
    const char *system_name;
    const char *system_desc;
    uint16_t sys_caps;
    uint16_t sys_caps_enabled;
    uint8_t mgmt_addr_subtype;
    const uint8_t *mgmt_addr;
    uint8_t mgmt_addr_len;
    uint8_t mgmt_if_subtype;
    uint32_t mgmt_if_number;
    const uint8_t *mgmt_oid;
    uint8_t mgmt_oid_len;
    const lldp_org_entry *orgs;
    uint8_t org_count;
};

extern const uint8_t g_lldp_org_oui[3];
const uint8_t *lldp_build_default_org_oui();

int lldp_build_prepare_org(int subtype, const uint8_t *data, uint32_t len, lldp_org_entry *entry);
// A null or empty port name builds for "br-lan".
int lldp_build_frame_by_ifname(const char *ifname, const lldp_org_entry *orgs, uint8_t org_count, uint8_t *out,
                               size_t out_size, size_t *out_len);
int lldp_build_frame(lldp_packer *packer, const lldp_frame_desc *desc);
void lldp_build_packer_init(lldp_packer *packer, uint8_t *buf, uint32_t size);
void lldp_build_write(lldp_packer *packer, const void *bytes, uint32_t count);
void lldp_build_append_text_tlv(lldp_packer *packer, uint8_t type, const char *text);
