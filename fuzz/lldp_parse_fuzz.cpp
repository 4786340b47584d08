// Any bytes as a received frame: the parser must reject or decode without
// reading outside the input, and the record must free cleanly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "uplinkd/lldp_free.h"
#include "uplinkd/lldp_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint8_t *pdu = nullptr;
    size_t n = 0;
    if (lldp_parse_eth_lldpdu(data, size, &pdu, &n) != 0) {
        pdu = data;  // also take the input as a bare LLDPDU
        n = size;
    }
    lldp_info *info = lldp_parse_packet(pdu, n);
    if (!info) return 0;
    // Touch every owned buffer so ASan sees a wrong length.
    volatile uint8_t sink = 0;
    for (int i = 0; i + 1 < info->chassis_id.hdr.length; ++i) sink = sink ^ info->chassis_id.value[i];
    for (int i = 0; i + 1 < info->port_id.hdr.length; ++i) sink = sink ^ info->port_id.value[i];
    for (auto *t : {info->port_desc, info->system_name, info->system_desc})
        if (t) sink = sink ^ static_cast<uint8_t>(std::strlen(t->text));
    for (int32_t i = 0; i < info->mgmt_count; ++i) {
        const lldp_mgmt_tlv *m = info->mgmt_addrs[i];
        for (int b = 0; b + 1 < m->addr_str_len; ++b) sink = sink ^ m->addr[b];
        if (m->oid_len) sink = sink ^ m->oid[m->oid_len];
    }
    for (int32_t i = 0; i < info->org_count; ++i) {
        const lldp_org_tlv *o = info->org_tlvs[i];
        for (int b = 0; b + 4 < o->hdr.length; ++b) sink = sink ^ o->data[b];
    }
    lldp_free_info(info);
    return 0;
}
