#include "uplinkd/lldp_build.h"

#include <cstring>

#include "uplinkd/device_api.h"

const uint8_t g_lldp_org_oui[3] = {0x5E, 0x2B, 0x91};

namespace {

const uint8_t kLldpMulticast[6] = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x0E};
constexpr uint32_t kTlvMaxLen = 511;

void write_u8(lldp_packer *p, uint8_t v) { lldp_build_write(p, &v, 1); }

void write_u16(lldp_packer *p, uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    lldp_build_write(p, b, 2);
}

void write_u32(lldp_packer *p, uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v)};
    lldp_build_write(p, b, 4);
}

void write_hdr(lldp_packer *p, uint8_t type, uint32_t len) {
    write_u16(p, static_cast<uint16_t>((type & 0x7F) << 9 | (len & 0x1FF)));
}

}  // namespace

const uint8_t *lldp_build_default_org_oui() { return g_lldp_org_oui; }

void lldp_build_packer_init(lldp_packer *packer, uint8_t *buf, uint32_t size) {
    if (!packer) return;
    packer->start = buf;
    packer->cur = buf;
    packer->capacity = size;
    packer->used = 0;
    packer->error = 0;
}

void lldp_build_write(lldp_packer *packer, const void *bytes, uint32_t count) {
    if (!packer || !bytes || count == 0) return;
    if (packer->error != 0 || !packer->start || count > packer->capacity - packer->used) {
        packer->error = -1;
        return;
    }
    std::memcpy(packer->cur, bytes, count);
    packer->cur += count;
    packer->used += count;
}

void lldp_build_append_text_tlv(lldp_packer *packer, uint8_t type, const char *text) {
    if (!text) return;
    const size_t n = std::strlen(text);
    if (n == 0 || n > kTlvMaxLen) return;
    write_hdr(packer, type, static_cast<uint32_t>(n));
    lldp_build_write(packer, text, static_cast<uint32_t>(n));
}

int lldp_build_prepare_org(int subtype, const uint8_t *data, uint32_t len, lldp_org_entry *entry) {
    if (!entry || len > LLDP_ORG_MAX_PAYLOAD || (!data && len != 0)) return -1;
    entry->subtype = subtype;
    entry->data = data;
    entry->len = len;
    return 0;
}

int lldp_build_frame(lldp_packer *packer, const lldp_frame_desc *desc) {
    if (!packer || !desc || !desc->chassis_mac || !desc->port_mac || !packer->start || packer->capacity == 0)
        return -1;

    lldp_build_write(packer, kLldpMulticast, 6);
    lldp_build_write(packer, desc->port_mac, 6);
    write_u16(packer, LLDP_DEV_ETHERTYPE);

    write_hdr(packer, 1, 7);
    write_u8(packer, 4);  // chassis ID subtype: MAC address
    lldp_build_write(packer, desc->chassis_mac, 6);
    write_hdr(packer, 2, 7);
    write_u8(packer, 3);  // port ID subtype: MAC address
    lldp_build_write(packer, desc->port_mac, 6);
    write_hdr(packer, 3, 2);
    write_u16(packer, desc->ttl);

    lldp_build_append_text_tlv(packer, 4, desc->port_desc);
    lldp_build_append_text_tlv(packer, 5, desc->system_name);
    lldp_build_append_text_tlv(packer, 6, desc->system_desc);

    write_hdr(packer, 7, 4);
    write_u16(packer, desc->sys_caps);
    write_u16(packer, desc->sys_caps_enabled);

    const uint32_t mgmt_len = uint32_t{desc->mgmt_addr_len} + desc->mgmt_oid_len + 8;
    if (desc->mgmt_addr && desc->mgmt_addr_len != 0 && mgmt_len <= kTlvMaxLen) {
        write_hdr(packer, 8, mgmt_len);
        write_u8(packer, static_cast<uint8_t>(desc->mgmt_addr_len + 1));
        write_u8(packer, desc->mgmt_addr_subtype);
        lldp_build_write(packer, desc->mgmt_addr, desc->mgmt_addr_len);
        write_u8(packer, desc->mgmt_if_subtype);
        write_u32(packer, desc->mgmt_if_number);
        write_u8(packer, desc->mgmt_oid_len);
        if (desc->mgmt_oid) lldp_build_write(packer, desc->mgmt_oid, desc->mgmt_oid_len);
    }

    for (uint8_t i = 0; desc->orgs && i < desc->org_count; ++i) {
        const lldp_org_entry &e = desc->orgs[i];
        if ((e.len != 0 && !e.data) || e.len + 4 > kTlvMaxLen) continue;
        write_hdr(packer, 127, 4 + e.len);
        lldp_build_write(packer, g_lldp_org_oui, 3);
        write_u8(packer, static_cast<uint8_t>(e.subtype));
        lldp_build_write(packer, e.data, e.len);
    }

    write_hdr(packer, 0, 0);
    return packer->error != 0 ? -1 : 0;
}

int lldp_build_frame_by_ifname(const char *ifname, const lldp_org_entry *orgs, uint8_t org_count, uint8_t *out,
                               size_t out_size, size_t *out_len) {
    if (out_len) *out_len = 0;
    if (!out_len || !out || out_size == 0) return -1;

    char port[32] = {};
    std::strncpy(port, (ifname && ifname[0]) ? ifname : "br-lan", sizeof(port) - 1);

    lldp_dev_caps caps{};
    if (lldp_dev_get_caps(port, &caps) != 0) return -1;

    lldp_frame_desc d{};
    d.chassis_mac = caps.chassis_mac;
    d.port_mac = caps.chassis_mac;
    d.ttl = caps.ttl;
    d.port_desc = caps.port_desc;
    d.system_name = caps.system_name;
    d.system_desc = caps.system_desc;
    d.sys_caps = caps.sys_caps;
    d.sys_caps_enabled = caps.sys_caps_enabled;
    d.mgmt_addr_subtype = caps.mgmt_addr_subtype;
    d.mgmt_addr = caps.mgmt_addr;
    d.mgmt_addr_len = caps.mgmt_addr_len;
    d.mgmt_if_subtype = caps.mgmt_if_subtype;
    d.mgmt_if_number = caps.mgmt_if_number;
    d.mgmt_oid = caps.mgmt_oid;
    d.mgmt_oid_len = caps.mgmt_oid_len;
    d.orgs = orgs;
    d.org_count = org_count;

    lldp_packer p{};
    const uint32_t cap = out_size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(out_size);
    lldp_build_packer_init(&p, out, cap);
    if (lldp_build_frame(&p, &d) != 0) return -1;
    *out_len = p.used;
    return 0;
}
