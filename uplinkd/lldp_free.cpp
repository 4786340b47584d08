#include "uplinkd/lldp_free.h"

#include <cstdlib>

void lldp_free_chassis_id(lldp_id_tlv *tlv) {
    if (!tlv) return;
    std::free(tlv->value);
    std::free(tlv);
}

void lldp_free_port_id(lldp_id_tlv *tlv) { lldp_free_chassis_id(tlv); }

void lldp_free_ttl(lldp_ttl_tlv *tlv) { std::free(tlv); }

// Text, management and vendor records carry their buffers in the same
// block, so freeing the record releases everything it owns.
void lldp_free_port_desc(lldp_text_tlv *tlv) { std::free(tlv); }

void lldp_free_system_name(lldp_text_tlv *tlv) { lldp_free_port_desc(tlv); }

void lldp_free_system_desc(lldp_text_tlv *tlv) { lldp_free_port_desc(tlv); }

void lldp_free_system_cap(lldp_cap_tlv *tlv) { std::free(tlv); }

void lldp_free_mgmt_addr(lldp_mgmt_tlv *tlv) { std::free(tlv); }

void lldp_free_org_tlv(lldp_org_tlv *tlv) { std::free(tlv); }

void lldp_free_end_tlv(lldp_tlv_hdr *tlv) { std::free(tlv); }

void lldp_free_info(lldp_info *info) {
    if (!info) return;
    std::free(info->chassis_id.value);
    std::free(info->port_id.value);
    lldp_free_port_desc(info->port_desc);
    lldp_free_system_name(info->system_name);
    lldp_free_system_desc(info->system_desc);
    lldp_free_system_cap(info->system_cap);
    for (int32_t i = 0; i < info->mgmt_count; ++i) lldp_free_mgmt_addr(info->mgmt_addrs[i]);
    std::free(info->mgmt_addrs);
    for (int32_t i = 0; i < info->org_count; ++i) lldp_free_org_tlv(info->org_tlvs[i]);
    std::free(info->org_tlvs);
    std::free(info);
}
