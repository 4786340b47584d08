// Release of the records made by lldp_parse_packet.
#pragma once

#include "uplinkd/lldp_parse.h"

void lldp_free_info(lldp_info *info);

// Each frees one separately allocated record and what it owns; null is ignored.
void lldp_free_chassis_id(lldp_id_tlv *tlv);
void lldp_free_port_id(lldp_id_tlv *tlv);
void lldp_free_ttl(lldp_ttl_tlv *tlv);
void lldp_free_port_desc(lldp_text_tlv *tlv);
void lldp_free_system_name(lldp_text_tlv *tlv);
void lldp_free_system_desc(lldp_text_tlv *tlv);
void lldp_free_system_cap(lldp_cap_tlv *tlv);
void lldp_free_mgmt_addr(lldp_mgmt_tlv *tlv);
void lldp_free_org_tlv(lldp_org_tlv *tlv);
void lldp_free_end_tlv(lldp_tlv_hdr *tlv);
