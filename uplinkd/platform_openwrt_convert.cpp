#include "uplinkd/platform_openwrt_convert.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

constexpr std::size_t TEXT_MAX = 127;

bool any_set(const uint8_t *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != 0) return true;
    return false;
}

uint8_t flag(unsigned v) { return v != 0 ? 1 : 0; }

// Only the low 8 bits of OAM's 16-bit codes travel into the record.
uint8_t low8(unsigned v) { return static_cast<uint8_t>(v & 0xFF); }

void vlan_rule(lldp_wan_config *rec, unsigned vlan)
{
    if (vlan >= 1 && vlan <= 4085) {
        rec->vlan_id = static_cast<uint16_t>(vlan);
        rec->vlan_mode = 1;
    } else if (vlan == 0) {
        rec->vlan_id = 0xFFFF;
        rec->vlan_mode = 0;
    }
}

void priority_rule(lldp_wan_config *rec, unsigned prio)
{
    if (prio <= 7) rec->priority = static_cast<uint8_t>(prio);
}

void ipv4_dns_rule(lldp_wan_config *rec, uint32_t dns1, uint32_t dns2)
{
    if (dns1 == 0 && dns2 == 0) {
        rec->dns_manual = 0;
        rec->ipv4_dns1 = 0;
        rec->ipv4_dns2 = 0;
    } else {
        rec->dns_manual = 1;
        rec->ipv4_dns1 = dns1;
        rec->ipv4_dns2 = dns2;
    }
}

void clear_ipv4(lldp_wan_config *rec)
{
    rec->ipv4_addr = 0;
    rec->ipv4_mask = 0;
    rec->ipv4_gateway = 0;
}

void clear_ipv4_dns(lldp_wan_config *rec)
{
    rec->dns_manual = 0;
    rec->ipv4_dns1 = 0;
    rec->ipv4_dns2 = 0;
}

// ---- OMCI WAN families ----

bool zelk_configured(const omci_wan_entry &e) { return e.name[0] || e.connection_mode || e.address_mode; }

bool iphost_configured(const omci_iphost_wan_entry &e)
{
    return e.ip_address || e.ip_options || e.ipv6_ip_options || e.pppoe_username[0] || e.pppoe_password[0];
}

bool fh_configured(const omci_fh_wan_entry &e) { return e.wan_name[0] || e.connect_mode || e.achieve_addr_mode; }

template <typename Entry, typename Pred>
const Entry &pick_entry(const Entry (&area)[OMCI_WAN_ENTRIES], unsigned count, Pred configured)
{
    unsigned n = count < OMCI_WAN_ENTRIES ? count : OMCI_WAN_ENTRIES;
    for (unsigned i = 0; i < n; ++i)
        if (configured(area[i])) return area[i];
    return area[0];
}

void zelk_to_lldp(const omci_wan_entry &e, lldp_wan_config *rec)
{
    rec->valid = 1;
    rec->wan_id = e.wan_index ? e.wan_index : 1;
    router_copy_omci_str(rec->wan_name, sizeof rec->wan_name, e.name, sizeof e.name);
    rec->service = e.connection_mode;
    rec->wan_mode = 1;
    rec->ip_mode = e.address_mode;
    rec->ip_protocol = e.ip_protocol;
    rec->nat_enable = flag(e.nat_enable);
    rec->qos_enable = flag(e.qos_enable);
    priority_rule(rec, e.priority);
    vlan_rule(rec, e.vlan_id);
    if (e.mtu != 0) rec->mtu = e.mtu;

    if (e.address_mode == 2) {
        clear_ipv4(rec);
        router_take_text(rec->ppp_username, sizeof rec->ppp_username, e.pppoe_username, sizeof e.pppoe_username);
        router_take_text(rec->ppp_password, sizeof rec->ppp_password, e.pppoe_pwd, sizeof e.pppoe_pwd);
        router_take_text(rec->ppp_service_name, sizeof rec->ppp_service_name, e.pppoe_servicename,
                         sizeof e.pppoe_servicename);
        rec->pppoe_dial_pattern = e.pppoe_dia_pattern;
        clear_ipv4_dns(rec);
    } else if (e.address_mode == 1) {
        ipv4_dns_rule(rec, e.primary_dns, e.secondary_dns);
        rec->ipv4_addr = e.ip_address;
        rec->ipv4_mask = router_ipv4_mask(e.mask);
        rec->ipv4_gateway = e.gateway;
    } else {
        ipv4_dns_rule(rec, e.primary_dns, e.secondary_dns);
        clear_ipv4(rec);
    }

    if (e.ip_protocol == 0) return;
    router_wan_lldp_clear_ipv6_static(rec);
    rec->ipv6_addr_mode = e.wan_ipv6_address_mode;
    rec->dhcpv6_req_addr = flag(e.wan_dhcpv6_client_request_addr);
    rec->dhcpv6_req_prefix = flag(e.wan_dhcpv6_client_request_prefix);
    if (any_set(e.ipv6_address, 16)) {
        std::memcpy(rec->ipv6_addr, e.ipv6_address, 16);
        rec->ipv6_prefix_len = e.ipv6_prefix_len;
        std::memcpy(rec->ipv6_gateway, e.ipv6_gateway, 16);
    }
    router_wan_lldp_set_ipv6_dns(rec, e.request_dns_mode, e.ipv6_primary_dns, e.ipv6_secondary_dns);

    rec->dslite_enable = flag(e.wan_ds_lite_enable);
    rec->dslite_aftr_mode = e.wan_ds_lite_aftr_mode;
    rec->dslite_addr_type = e.wan_ds_lite_address_type;
    router_copy_aftr_field(rec->dslite_aftr, e.wan_ds_lite_address, e.wan_ds_lite_address_type);
}

void iphost_to_lldp(const omci_iphost_wan_entry &e, lldp_wan_config *rec)
{
    bool ppp = e.pppoe_username[0] || e.pppoe_password[0] || e.pppoe_mode || e.pppoe_connect;
    if (!(e.ip_options & 1) && e.ip_address == 0 && !ppp) return;

    rec->valid = 1;
    rec->wan_mode = 1;
    rec->wan_id = 1;
    router_copy_omci_str(rec->wan_name, sizeof rec->wan_name, e.host_name, sizeof e.host_name);
    if (rec->wan_name[0] == '\0') std::memcpy(rec->wan_name, "WAN", 4);

    if (ppp) {
        rec->ip_mode = 2;
        clear_ipv4(rec);
        router_take_text(rec->ppp_username, sizeof rec->ppp_username, e.pppoe_username, sizeof e.pppoe_username);
        router_take_text(rec->ppp_password, sizeof rec->ppp_password, e.pppoe_password, sizeof e.pppoe_password);
        clear_ipv4_dns(rec);
    } else if (e.ip_options & 1) {
        rec->ip_mode = 0;
        clear_ipv4(rec);
        ipv4_dns_rule(rec, e.primary_dns, e.secondary_dns);
    } else {
        rec->ip_mode = 1;
        rec->ipv4_addr = e.ip_address;
        rec->ipv4_mask = router_ipv4_mask(e.mask);
        rec->ipv4_gateway = e.gateway;
        ipv4_dns_rule(rec, e.primary_dns, e.secondary_dns);
    }

    if (!(e.ipv6_ip_options & 1)) {
        rec->ip_protocol = 0;
    } else {
        rec->ip_protocol = 2;
        router_wan_lldp_clear_ipv6_static(rec);
        if (e.ipv6_ip_options & 4) {
            rec->ipv6_addr_mode = 0;
            rec->dhcpv6_req_addr = 1;
        } else if (e.ipv6_ip_options & 2) {
            rec->ipv6_addr_mode = 1;
        }
        if (any_set(e.ipv6_addr, 16)) {
            std::memcpy(rec->ipv6_addr, e.ipv6_addr, 16);
            rec->ipv6_prefix_len = e.onlink_prefix_len ? e.onlink_prefix_len : 64;
            std::memcpy(rec->ipv6_gateway, e.ipv6_default_router, 16);
        }
        router_wan_lldp_set_ipv6_dns(rec, 0, e.ipv6_primary_dns, e.ipv6_secondary_dns);
    }
    rec->nat_enable = 1;
    rec->mtu = rec->ip_mode == 2 ? 1492 : 1500;
}

void fh_to_lldp(const omci_fh_wan_entry &e, lldp_wan_config *rec)
{
    rec->valid = 1;
    rec->wan_id = e.wan_index ? e.wan_index : 1;
    router_copy_omci_str(rec->wan_name, sizeof rec->wan_name, e.wan_name, sizeof e.wan_name);
    rec->service = e.connect_mode;
    rec->wan_mode = 1;
    rec->ip_mode = e.achieve_addr_mode;
    rec->nat_enable = flag(e.nat_enable);
    rec->qos_enable = flag(e.qos_enable);
    vlan_rule(rec, e.vlan_id);
    priority_rule(rec, e.priority);
    if (e.wan_protocol_type <= 2) rec->ip_protocol = e.wan_protocol_type;

    if (e.achieve_addr_mode == 2) {
        clear_ipv4(rec);
        router_take_text(rec->ppp_username, sizeof rec->ppp_username, e.username, sizeof e.username);
        router_take_text(rec->ppp_password, sizeof rec->ppp_password, e.password, sizeof e.password);
        router_take_text(rec->ppp_service_name, sizeof rec->ppp_service_name, e.servername, sizeof e.servername);
        rec->pppoe_proxy_enable = flag(e.proxy_enable);
        rec->pppoe_dial_pattern = e.dial_pattern;
        clear_ipv4_dns(rec);
    } else if (e.achieve_addr_mode == 1) {
        rec->ipv4_addr = e.ipv4_addr;
        rec->ipv4_mask = router_ipv4_mask(e.ipv4_mask);
        rec->ipv4_gateway = e.ipv4_gateway;
        // An FH static entry without DNS servers keeps the router's.
        if (e.ipv4_pri_dns || e.ipv4_sec_dns) {
            rec->dns_manual = 1;
            rec->ipv4_dns1 = e.ipv4_pri_dns;
            rec->ipv4_dns2 = e.ipv4_sec_dns;
        }
    } else {
        clear_ipv4(rec);
    }

    if (rec->ip_protocol == 0) return;
    router_wan_lldp_clear_ipv6_static(rec);
    uint8_t addr[16], gw[16], dns1[16], dns2[16];
    router_wan_ipv6_blob_to_bytes(e.ipv6_addr, sizeof e.ipv6_addr, addr);
    router_wan_ipv6_blob_to_bytes(e.ipv6_gateway, sizeof e.ipv6_gateway, gw);
    router_wan_ipv6_blob_to_bytes(e.ipv6_pri_dns, sizeof e.ipv6_pri_dns, dns1);
    router_wan_ipv6_blob_to_bytes(e.ipv6_sec_dns, sizeof e.ipv6_sec_dns, dns2);
    if (any_set(addr, 16)) {
        std::memcpy(rec->ipv6_addr, addr, 16);
        std::memcpy(rec->ipv6_gateway, gw, 16);
        rec->ipv6_prefix_len = 64;
    }
    router_wan_lldp_set_ipv6_dns(rec, 0, dns1, dns2);
}

// ---- OAM WAN ----

template <typename Entry>
void oam_common(const Entry &e, lldp_wan_config *rec)
{
    rec->valid = 1;
    uint16_t wan_id = e.wan_id;
    rec->wan_id = low8(wan_id ? wan_id : 1);
    router_copy_omci_str(rec->wan_name, sizeof rec->wan_name, e.wan_name, sizeof e.wan_name);
    rec->service = low8(e.service);
    rec->wan_mode = low8(e.wan_mode);
    uint16_t ip_mode = e.ip_mode;
    rec->ip_mode = low8(ip_mode);
    rec->nat_enable = flag(e.nat_enable);
    rec->qos_enable = flag(e.qos_enable);
    std::memcpy(rec->oam_entry_tag, e.entry_tag, 2);
    rec->mtu = e.mtu;
    rec->conn_status = low8(e.conn_status);
    std::memcpy(rec->mac, e.mac, 6);

    uint16_t vlan = e.vlan_id;
    if (vlan >= 1 && vlan <= 4085) rec->vlan_id = vlan;
    uint16_t prio = e.priority;
    if (prio <= 7) rec->priority = static_cast<uint8_t>(prio);

    rec->vlan_mode = e.vlan_mode;
    rec->translation_enable = flag(e.translation_enable);
    rec->translation_vlan = e.translation_vlan;
    rec->translation_cos = e.translation_cos;
    rec->qinq_enable = flag(e.qinq_enable);
    rec->tpid = e.tpid;
    rec->svlan = e.svlan;
    rec->svlan_cos = e.svlan_cos;

    if (ip_mode == 2) {
        clear_ipv4(rec);
        rec->pppoe_proxy_enable = flag(e.pppoe_proxy_enable);
        router_take_text(rec->ppp_username, sizeof rec->ppp_username, e.ppp_username, sizeof e.ppp_username);
        router_take_text(rec->ppp_password, sizeof rec->ppp_password, e.ppp_password, sizeof e.ppp_password);
        router_take_text(rec->ppp_service_name, sizeof rec->ppp_service_name, e.ppp_service_name,
                         sizeof e.ppp_service_name);
        rec->pppoe_dial_pattern = low8(e.pppoe_dial_pattern);
    } else if (ip_mode == 1) {
        rec->ipv4_addr = e.ipv4_addr;
        rec->ipv4_mask = router_ipv4_mask(e.ipv4_mask);
        rec->ipv4_gateway = e.ipv4_gateway;
    } else {
        clear_ipv4(rec);
    }
}

void oam_v4_to_lldp(const oam_wan_v4_entry &e, lldp_wan_config *rec)
{
    oam_common(e, rec);
    rec->ip_protocol = 0;
    if (rec->ip_mode == 1) {
        rec->dns_manual = 1;
        rec->ipv4_dns1 = e.ipv4_dns1;
        rec->ipv4_dns2 = e.ipv4_dns2;
    } else {
        clear_ipv4_dns(rec);
    }
}

void oam_dual_to_lldp(const oam_wan_v46_entry &e, lldp_wan_config *rec)
{
    oam_common(e, rec);
    uint16_t proto = e.ip_protocol;
    rec->ip_protocol = proto <= 2 ? static_cast<uint8_t>(proto) : 0;
    uint16_t ip_mode = e.ip_mode;

    if (ip_mode == 2) {
        clear_ipv4_dns(rec);
    } else if (ip_mode == 1 || e.ipv4_dns_set) {
        rec->dns_manual = 1;
        rec->ipv4_dns1 = e.ipv4_dns1;
        rec->ipv4_dns2 = e.ipv4_dns2;
    } else {
        clear_ipv4_dns(rec);
    }

    if (rec->ip_protocol == 0) return;
    uint8_t manual_before = rec->dns_manual;
    router_wan_lldp_clear_ipv6_static(rec);
    rec->dhcpv6_req_addr = flag(e.dhcpv6_req_addr);
    rec->dhcpv6_req_prefix = flag(e.dhcpv6_req_prefix);
    if (ip_mode == 1) {
        if (any_set(e.ipv6_addr, 16)) {
            std::memcpy(rec->ipv6_addr, e.ipv6_addr, 16);
            rec->ipv6_prefix_len = e.ipv6_prefix_len;
            std::memcpy(rec->ipv6_gateway, e.ipv6_gateway, 16);
        }
        router_wan_lldp_set_ipv6_dns(rec, 1, e.ipv6_dns1, e.ipv6_dns2);
    } else {
        rec->ipv6_addr_mode = e.ipv6_addr_mode;
        if (ip_mode == 2 || e.ipv6_dns_set == 0) {
            std::memset(rec->ipv6_dns1, 0, 16);
            std::memset(rec->ipv6_dns2, 0, 16);
            if (rec->ipv4_dns1 == 0 && rec->ipv4_dns2 == 0) rec->dns_manual = 0;
        } else {
            router_wan_lldp_set_ipv6_dns(rec, 1, e.ipv6_dns1, e.ipv6_dns2);
        }
    }
    // Only an IPv6-only connection takes the IPv6 decision on dns_manual.
    if (rec->ip_protocol != 1) rec->dns_manual = manual_before;

    rec->dslite_enable = flag(e.dslite_enable);
    rec->dslite_aftr_mode = e.dslite_aftr_mode;
    rec->dslite_addr_type = e.dslite_addr_type;
    router_copy_aftr_field(rec->dslite_aftr, e.dslite_aftr, e.dslite_addr_type);

    rec->sixrd_enable = flag(e.sixrd_enable);
    rec->sixrd_relay_addr = e.sixrd_relay_addr;
    rec->sixrd_ipv4_mask = e.sixrd_ipv4_mask;
    std::memcpy(rec->sixrd_prefix, e.sixrd_prefix, 16);
    rec->sixrd_prefix_len = e.sixrd_prefix_len;
}

// The TR-069 writer leaves an option alone when its text is empty, so an
// empty provisioned text must keep the router's value here too: otherwise the
// copy differs from what the router can ever hold, and every repetition of
// the same provisioning commits and reloads the client again.
void take_tr069_text(char *dst, std::size_t dst_size, const void *src, std::size_t src_len)
{
    if (src_len != 0 && static_cast<const uint8_t *>(src)[0] == 0) return;
    router_take_text(dst, dst_size, src, src_len);
}

// ---- wireless ----

// Power 0 means "leave it" to the writer; taken literally it would differ
// from the router's power at every pass and reload Wi-Fi (dropping every
// client) for provisioning that changed nothing.
void take_tx_power(lldp_wlan_radio &d, uint8_t power)
{
    if (power != 0) d.tx_power = power;
}

void omci_ssid_to_lldp(const omci_wlan_entry &s, lldp_wlan_ssid *d)
{
    d->ssid_valid = 1;
    d->read_mark[0] = 0;
    d->read_mark[1] = 0;
    router_take_text(d->ssid, 32, s.ssid_name, sizeof s.ssid_name);
    d->ssid_enable = s.ssid_enable;
    d->hidden = s.hide;
    d->auth_mode = s.auth_mode;
    d->encryption = s.encryp_type;
    router_take_text(d->key, 64, s.key, sizeof s.key);
    d->wep_level = s.wep_encryp_level;
    d->wep_key_index = s.wep_key_index;
    for (int i = 0; i < 4; ++i) router_take_text(d->wep_keys[i], 32, s.wep_key[i], 32);
}

uint8_t oam_5g_mode(unsigned m)
{
    switch (m) {
    case 5: return 5;
    case 6: return 6;
    case 7: return 8;
    case 8: return 9;
    case 9: return 10;
    case 10: return 8;
    case 11: return 11;
    default: return 12;
    }
}

bool mode_rule_differs(const lldp_wlan_radio &n, const lldp_wlan_radio &r)
{
    uint8_t rm = r.mode;
    if (r.band == LLDP_BAND_24G && rm == 13) rm = 14;
    else if (r.band != LLDP_BAND_24G && rm == 11) rm = 12;

    if (n.band == LLDP_BAND_24G) {
        if (n.mode <= 4 || n.mode == 14 || n.mode == 15) return rm != n.mode;
        if (n.mode == 13) {
            if (r.band == LLDP_BAND_24G && r.mode == 13) return false;
            if (r.band != LLDP_BAND_24G && r.mode == 11) return true;
            return r.mode != 14;
        }
        return false;
    }
    if (n.mode >= 5 && n.mode <= 12) {
        if (n.mode != 11) return rm != n.mode;
        if (r.band == LLDP_BAND_24G && r.mode == 13) return true;
        if (r.band != LLDP_BAND_24G && r.mode == 11) return false;
        return r.mode != 12;
    }
    return false;
}

bool radio_differs(const lldp_wlan_radio &n, const lldp_wlan_radio &r)
{
    if (n.country <= 141 && n.country != r.country) return true;
    // Widths compare by what they set on the band: codes 1 and 3 are both
    // 40 MHz and the router reads back 1, so a literal comparison would
    // rewrite and reload Wi-Fi on every identical delivery.
    if (n.radio_enable != r.radio_enable || n.channel != r.channel || n.tx_power != r.tx_power ||
        platform_wlan_width_mhz(n.chan_width, n.band) != platform_wlan_width_mhz(r.chan_width, n.band))
        return true;
    if (mode_rule_differs(n, r)) return true;
    return n.band == LLDP_BAND_5G && n.mesh_enable != r.mesh_enable;
}

uint32_t rekey_or_default(uint32_t v) { return v ? v : LLDP_DEFAULT_REKEY_INTERVAL; }

bool ssid_differs(const lldp_wlan_ssid &n, const lldp_wlan_ssid &r)
{
    if (std::memcmp(n.ssid, r.ssid, sizeof n.ssid) != 0) return true;
    if (n.ssid_enable != r.ssid_enable || n.hidden != r.hidden) return true;
    switch (n.auth_mode) {
    case 1:
        if (r.auth_mode != 1) return true;
        return (n.encryption == 0 || n.encryption == 1) && n.encryption != r.encryption;
    case 4:
    case 6:
    case 9:
    case 10:
    case 11:
        if (r.auth_mode != n.auth_mode) return true;
        if ((n.encryption >= 3 && n.encryption <= 5) && n.encryption != r.encryption) return true;
        if (std::memcmp(n.key, r.key, sizeof n.key) != 0) return true;
        if (platform_wifi_rekey_apply_enabled())
            return rekey_or_default(n.rekey_interval) != rekey_or_default(r.rekey_interval);
        return false;
    default:
        return false;
    }
}

}  // namespace

// ---- conversion routines ----

void router_copy_omci_str(char *dst, std::size_t dst_size, const void *src, std::size_t src_len)
{
    if (dst == nullptr || dst_size == 0) return;
    std::size_t n = 0;
    if (src != nullptr) {
        const auto *s = static_cast<const uint8_t *>(src);
        std::size_t limit = src_len < TEXT_MAX ? src_len : TEXT_MAX;
        if (limit > dst_size - 1) limit = dst_size - 1;
        while (n < limit && s[n] != 0) ++n;
        std::memcpy(dst, s, n);
    }
    std::memset(dst + n, 0, dst_size - n);
}

int router_text_has_control(const void *text, std::size_t len)
{
    if (text == nullptr) return 0;
    const auto *s = static_cast<const uint8_t *>(text);
    for (std::size_t i = 0; i < len && s[i] != 0; ++i)
        if (s[i] < 0x20 || s[i] == 0x7F) return 1;
    return 0;
}

int router_take_text(char *dst, std::size_t dst_size, const void *src, std::size_t src_len)
{
    if (dst == nullptr || dst_size == 0 || dst_size > TEXT_MAX + 1) return 0;
    char tmp[TEXT_MAX + 1];
    router_copy_omci_str(tmp, dst_size, src, src_len);
    if (router_text_has_control(tmp, dst_size)) return 0;
    std::memcpy(dst, tmp, dst_size);
    return 1;
}

void router_wan_ipv6_blob_to_bytes(const void *src, std::size_t len, uint8_t out[16])
{
    if (out == nullptr) return;
    std::memset(out, 0, 16);
    if (src == nullptr) return;
    char text[64];
    router_copy_omci_str(text, sizeof text, src, len);
    if (text[0] != '\0' && inet_pton(AF_INET6, text, out) != 1) std::memset(out, 0, 16);
    if (!any_set(out, 16)) std::memcpy(out, src, len < 16 ? len : 16);
}

void router_copy_aftr_field(uint8_t dst[128], const void *src, uint8_t addr_type)
{
    if (dst == nullptr || src == nullptr) return;
    if (addr_type != 0) {
        router_copy_omci_str(reinterpret_cast<char *>(dst), 128, src, 128);
        return;
    }
    std::memset(dst, 0, 128);
    uint8_t addr[16];
    router_wan_ipv6_blob_to_bytes(src, 128, addr);
    if (any_set(addr, 16)) std::memcpy(dst, addr, 16);
}

void router_wan_lldp_set_ipv6_dns(lldp_wan_config *rec, int manual, const uint8_t *dns1, const uint8_t *dns2)
{
    if (rec == nullptr) return;
    bool given = (dns1 && any_set(dns1, 16)) || (dns2 && any_set(dns2, 16));
    if (manual || given) {
        rec->dns_manual = 1;
        if (dns1) std::memcpy(rec->ipv6_dns1, dns1, 16);
        else std::memset(rec->ipv6_dns1, 0, 16);
        if (dns2) std::memcpy(rec->ipv6_dns2, dns2, 16);
        else std::memset(rec->ipv6_dns2, 0, 16);
        return;
    }
    std::memset(rec->ipv6_dns1, 0, 16);
    std::memset(rec->ipv6_dns2, 0, 16);
    if (rec->ipv4_dns1 == 0 && rec->ipv4_dns2 == 0) rec->dns_manual = 0;
}

void router_wan_lldp_clear_ipv6_static(lldp_wan_config *rec)
{
    if (rec == nullptr) return;
    std::memset(rec->ipv6_addr, 0, 16);
    rec->ipv6_prefix_len = 0;
    std::memset(rec->ipv6_gateway, 0, 16);
    std::memset(rec->ipv6_dns1, 0, 16);
    std::memset(rec->ipv6_dns2, 0, 16);
}

uint32_t router_ipv4_mask(uint32_t v)
{
    if (v >= 1 && v <= 32) return v == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> v);
    return v;
}

// ---- translations ----

void platform_omci_mib_to_lldp_wan_config(const omci_wan_view *view, lldp_wan_config *rec)
{
    if (view == nullptr || rec == nullptr || view->wan_count == 0) return;
    switch (view->source) {
    case OMCI_WAN_SOURCE_ZELK: zelk_to_lldp(pick_entry(view->zelk_wan, view->wan_count, zelk_configured), rec); break;
    case OMCI_WAN_SOURCE_IPHOST: iphost_to_lldp(pick_entry(view->iphost, view->wan_count, iphost_configured), rec); break;
    case OMCI_WAN_SOURCE_FH: fh_to_lldp(pick_entry(view->fh, view->wan_count, fh_configured), rec); break;
    default: break;
    }
}

void platform_oam_mib_to_lldp_wan_config(const oam_wan_view *view, lldp_wan_config *rec)
{
    if (view == nullptr || rec == nullptr) return;
    if (view->source == OAM_WAN_SOURCE_IPV4) oam_v4_to_lldp(view->ipv4_entry, rec);
    else if (view->source == OAM_WAN_SOURCE_DUAL) oam_dual_to_lldp(view->dual_entry, rec);
}

void router_omci_wlan_band_to_lldp(const omci_wlan_entry *r, const omci_wlan_entry *s, int band,
                                   lldp_wlan_config *rec)
{
    if (rec == nullptr) return;
    if (r != nullptr && r->radio_valid) {
        lldp_wlan_radio &d = rec->radio;
        d.band = static_cast<uint8_t>(band);
        d.radio_valid = 1;
        d.read_mark = 0;
        d.radio_enable = r->enable;
        d.country = r->country;
        d.channel = band == LLDP_BAND_5G ? platform_5g_channel_from_index(r->channel) : r->channel;
        d.mode = r->mode;
        take_tx_power(d, r->power);
        d.chan_width = r->chan_width;
        d.mesh_enable = r->mesh_enable;
    }
    if (s != nullptr && s->ssid_valid) omci_ssid_to_lldp(*s, &rec->ssid[0]);
}

void platform_omci_mib_to_lldp_wlan_config(const omci_wlan_view *view, lldp_wlan_config *rec24,
                                           lldp_wlan_config *rec5)
{
    if (view == nullptr) return;
    if (rec5) router_omci_wlan_band_to_lldp(&view->entries[0], &view->entries[0], LLDP_BAND_5G, rec5);
    if (rec24) router_omci_wlan_band_to_lldp(&view->entries[1], &view->entries[4], LLDP_BAND_24G, rec24);
}

void router_oam_mib_to_lldp_wlan_ssid(const oam_ssid_object *o, lldp_wlan_ssid *s)
{
    if (o == nullptr || s == nullptr) return;
    s->ssid_valid = 1;
    s->read_mark[0] = 0;
    s->read_mark[1] = 0;
    router_take_text(s->ssid, sizeof s->ssid, o->ssid, sizeof o->ssid);
    s->ssid_enable = o->ssid_enable;
    s->hidden = o->hidden;
    s->auth_mode = low8(o->auth_mode);
    s->encryption = low8(o->encryption);
    router_take_text(s->key, sizeof s->key, o->key, sizeof o->key);
    s->rekey_interval = o->rekey_interval;
    s->wep_level = low8(o->wep_level);
    s->wep_key_index = low8(o->wep_key_index);
    for (int i = 0; i < 4; ++i) router_take_text(s->wep_keys[i], 32, o->wep_keys[i], 32);
}

void platform_oam_mib_to_lldp_wlan_config(const oam_wlan_view *view, lldp_wlan_config *rec24,
                                          lldp_wlan_config *rec5)
{
    if (view == nullptr) return;
    if (rec24) {
        if (view->radio24_valid) {
            const oam_radio_object &o = view->radio24;
            lldp_wlan_radio &d = rec24->radio;
            d.radio_valid = 1;
            d.read_mark = 0;
            d.band = LLDP_BAND_24G;
            d.radio_enable = o.radio_enable;
            d.country = low8(o.country);
            d.channel = low8(o.channel);
            take_tx_power(d, low8(o.tx_power));
            d.chan_width = low8(o.chan_width);
            uint16_t mode = o.mode;
            d.mode = mode <= 4 ? static_cast<uint8_t>(mode) : mode == 5 ? 13 : 14;
            d.mesh_enable = 0;
        }
        if (view->ssid24_valid[0]) router_oam_mib_to_lldp_wlan_ssid(&view->ssid24[0], &rec24->ssid[0]);
    }
    if (rec5) {
        if (view->radio5_valid) {
            const oam_radio_object &o = view->radio5;
            lldp_wlan_radio &d = rec5->radio;
            d.radio_valid = 1;
            d.read_mark = 0;
            d.band = LLDP_BAND_5G;
            d.radio_enable = o.radio_enable;
            d.country = low8(o.country);
            d.channel = platform_5g_channel_from_index(low8(o.channel));
            d.mode = oam_5g_mode(o.mode);
            take_tx_power(d, low8(o.tx_power));
            d.chan_width = low8(o.chan_width);
            d.mesh_enable = o.mesh_enable;
        }
        if (view->ssid5_valid[0]) router_oam_mib_to_lldp_wlan_ssid(&view->ssid5[0], &rec5->ssid[0]);
    }
}

uint8_t platform_oam_5g_channel_to_index(uint8_t channel) { return platform_5g_channel_to_index(channel); }

void platform_omci_mib_to_lldp_tr069_config(const omci_tr069_view *v, lldp_tr069_config *rec)
{
    if (v == nullptr || rec == nullptr) return;
    rec->cwmp_enable = flag(v->tr069_ind);
    rec->inform_enable = flag(v->inform_enable);
    rec->inform_interval = v->inform_interval;
    rec->certificate_enable = flag(v->certificate_enable);
    take_tr069_text(rec->project_id, sizeof rec->project_id, v->id, sizeof v->id);
    take_tr069_text(rec->acs_url, sizeof rec->acs_url, v->acs_server_url, sizeof v->acs_server_url);
    take_tr069_text(rec->acs_username, sizeof rec->acs_username, v->acs_username, sizeof v->acs_username);
    take_tr069_text(rec->acs_password, sizeof rec->acs_password, v->acs_password, sizeof v->acs_password);
    take_tr069_text(rec->conn_req_username, sizeof rec->conn_req_username, v->conn_req_username,
                    sizeof v->conn_req_username);
    take_tr069_text(rec->conn_req_password, sizeof rec->conn_req_password, v->conn_req_password,
                    sizeof v->conn_req_password);
    rec->conn_req_port = v->middleware_port;
}

void platform_oam_mib_to_lldp_tr069_config(const oam_tr069_view *v, lldp_tr069_config *rec)
{
    if (v == nullptr || rec == nullptr) return;
    rec->cwmp_enable = flag(v->cwmp_enable);
    rec->inform_enable = flag(v->inform_enable);
    rec->inform_interval = v->inform_interval;
    rec->certificate_enable = flag(v->certificate_enable);
    take_tr069_text(rec->project_id, sizeof rec->project_id, v->project_id, sizeof v->project_id);
    take_tr069_text(rec->acs_url, sizeof rec->acs_url, v->acs_url, sizeof v->acs_url);
    take_tr069_text(rec->acs_username, sizeof rec->acs_username, v->acs_username, sizeof v->acs_username);
    take_tr069_text(rec->acs_password, sizeof rec->acs_password, v->acs_password, sizeof v->acs_password);
    take_tr069_text(rec->conn_req_username, sizeof rec->conn_req_username, v->conn_req_username,
                    sizeof v->conn_req_username);
    take_tr069_text(rec->conn_req_password, sizeof rec->conn_req_password, v->conn_req_password,
                    sizeof v->conn_req_password);
}

void platform_omci_mib_to_lldp_stun_config(const omci_stun_view *v, lldp_stun_config *rec)
{
    if (v == nullptr || rec == nullptr) return;
    rec->stun_enable = flag(v->stun_status);
    router_take_text(rec->server_addr, sizeof rec->server_addr, v->stun_server_addr, sizeof v->stun_server_addr);
    rec->server_port = v->stun_server_port;
    router_take_text(rec->username, sizeof rec->username, v->stun_username, sizeof v->stun_username);
    router_take_text(rec->password, sizeof rec->password, v->stun_password, sizeof v->stun_password);
}

void platform_oam_mib_to_lldp_stun_config(const oam_stun_view *v, lldp_stun_config *rec)
{
    if (v == nullptr || rec == nullptr) return;
    rec->stun_enable = flag(v->stun_enable);
    router_take_text(rec->server_addr, sizeof rec->server_addr, v->server_addr, sizeof v->server_addr);
    rec->server_port = v->server_port;
    router_take_text(rec->username, sizeof rec->username, v->username, sizeof v->username);
    router_take_text(rec->password, sizeof rec->password, v->password, sizeof v->password);
}

void platform_omci_mib_to_lldp_mqtt_config(const omci_mqtt_view *v, lldp_mqtt_config *rec)
{
    if (v == nullptr || rec == nullptr) return;
    rec->enable = flag(v->enable);
    router_take_text(rec->server_addr, sizeof rec->server_addr, v->address, sizeof v->address);
    router_take_text(rec->username, sizeof rec->username, v->username, sizeof v->username);
    router_take_text(rec->password, sizeof rec->password, v->password, sizeof v->password);
    router_take_text(rec->project_id, sizeof rec->project_id, v->id, sizeof v->id);
}

void platform_oam_mib_to_lldp_mqtt_config(const oam_mqtt_view *v, lldp_mqtt_config *rec)
{
    if (v == nullptr || rec == nullptr) return;
    rec->enable = flag(v->enable);
    router_take_text(rec->server_addr, sizeof rec->server_addr, v->server_addr, sizeof v->server_addr);
    router_take_text(rec->username, sizeof rec->username, v->username, sizeof v->username);
    router_take_text(rec->password, sizeof rec->password, v->password, sizeof v->password);
    router_take_text(rec->project_id, sizeof rec->project_id, v->project_id, sizeof v->project_id);
}

// ---- change detection ----

int router_wan_bytes_diff(const void *a, const void *b, std::size_t len)
{
    if (a == nullptr || b == nullptr) return 0;
    return std::memcmp(a, b, len) != 0 ? 1 : 0;
}

int router_wan_ipv6_dns_diff(const lldp_wan_config *n, const lldp_wan_config *r)
{
    if (n == nullptr || r == nullptr) return 0;
    if (n->dns_manual != r->dns_manual) return 1;
    if (n->dns_manual == 0) return 0;
    return router_wan_bytes_diff(n->ipv6_dns1, r->ipv6_dns1, 16) || router_wan_bytes_diff(n->ipv6_dns2, r->ipv6_dns2, 16);
}

int platform_wan_config_status_diff(const lldp_wan_config *n, const lldp_wan_config *r)
{
    if (n == nullptr || r == nullptr) return 0;
    if (n->valid != r->valid || n->ip_mode != r->ip_mode || n->ip_protocol != r->ip_protocol ||
        n->vlan_id != r->vlan_id || n->priority != r->priority)
        return 1;
    if (n->ip_protocol != 1 && n->nat_enable != r->nat_enable) return 1;

    auto effective_mtu = [](const lldp_wan_config *c) -> unsigned {
        if (c->mtu != 0) return c->mtu;
        return c->ip_mode == 2 ? 1492 : 1500;
    };
    if (effective_mtu(n) != effective_mtu(r)) return 1;
    if (n->ipv4_addr != r->ipv4_addr || n->ipv4_mask != r->ipv4_mask || n->ipv4_gateway != r->ipv4_gateway) return 1;

    if (n->ip_mode == 2) {
        if (router_wan_bytes_diff(n->ppp_username, r->ppp_username, 32) ||
            router_wan_bytes_diff(n->ppp_password, r->ppp_password, 32) ||
            router_wan_bytes_diff(n->ppp_service_name, r->ppp_service_name, 32))
            return 1;
        if (n->pppoe_dial_pattern != r->pppoe_dial_pattern) return 1;
    }
    if (n->ip_protocol != 1) {
        if (n->dns_manual != r->dns_manual) return 1;
        if (n->dns_manual && (n->ipv4_dns1 != r->ipv4_dns1 || n->ipv4_dns2 != r->ipv4_dns2)) return 1;
    }
    if (n->ip_protocol == 0) return 0;

    if (n->ipv6_addr_mode != r->ipv6_addr_mode || n->dhcpv6_req_addr != r->dhcpv6_req_addr ||
        n->dhcpv6_req_prefix != r->dhcpv6_req_prefix)
        return 1;
    bool n_addr = any_set(n->ipv6_addr, 16), r_addr = any_set(r->ipv6_addr, 16);
    if (n_addr != r_addr) return 1;
    if (n_addr) {
        if (router_wan_bytes_diff(n->ipv6_addr, r->ipv6_addr, 16) || n->ipv6_prefix_len != r->ipv6_prefix_len ||
            router_wan_bytes_diff(n->ipv6_gateway, r->ipv6_gateway, 16))
            return 1;
    } else if (any_set(n->ipv6_gateway, 16) != any_set(r->ipv6_gateway, 16)) {
        return 1;
    }
    if (router_wan_ipv6_dns_diff(n, r)) return 1;

    if (n->dslite_enable != r->dslite_enable || n->dslite_aftr_mode != r->dslite_aftr_mode ||
        n->dslite_addr_type != r->dslite_addr_type)
        return 1;
    if (n->dslite_enable)
        return router_wan_bytes_diff(n->dslite_aftr, r->dslite_aftr, n->dslite_addr_type == 0 ? 16 : 128);
    return 0;
}

int platform_wlan_config_status_diff(const lldp_wlan_config *n, const lldp_wlan_config *r)
{
    if (n == nullptr || r == nullptr) return 0;
    if (n->radio.radio_valid && radio_differs(n->radio, r->radio)) return 1;
    if (!n->ssid[0].ssid_valid) return 0;
    return ssid_differs(n->ssid[0], r->ssid[0]) ? 1 : 0;
}

int platform_tr069_config_status_diff(const lldp_tr069_config *n, const lldp_tr069_config *r)
{
    if (n == nullptr || r == nullptr) return 0;
    if (n->cwmp_enable != r->cwmp_enable || n->inform_enable != r->inform_enable ||
        n->inform_interval != r->inform_interval || n->certificate_enable != r->certificate_enable ||
        n->conn_req_port != r->conn_req_port)
        return 1;
    return router_wan_bytes_diff(n->project_id, r->project_id, sizeof n->project_id) ||
           router_wan_bytes_diff(n->acs_url, r->acs_url, sizeof n->acs_url) ||
           router_wan_bytes_diff(n->acs_username, r->acs_username, 64) ||
           router_wan_bytes_diff(n->acs_password, r->acs_password, 64) ||
           router_wan_bytes_diff(n->conn_req_username, r->conn_req_username, 64) ||
           router_wan_bytes_diff(n->conn_req_password, r->conn_req_password, 64);
}

int platform_stun_config_status_diff(const lldp_stun_config *n, const lldp_stun_config *r)
{
    if (n == nullptr || r == nullptr) return 0;
    if (n->stun_enable != r->stun_enable || n->server_port != r->server_port) return 1;
    return router_wan_bytes_diff(n->server_addr, r->server_addr, 128) ||
           router_wan_bytes_diff(n->username, r->username, 64) || router_wan_bytes_diff(n->password, r->password, 64);
}

int platform_mqtt_config_status_diff(const lldp_mqtt_config *n, const lldp_mqtt_config *r)
{
    if (n == nullptr || r == nullptr) return 0;
    if (n->enable != r->enable) return 1;
    return router_wan_bytes_diff(n->server_addr, r->server_addr, 64) ||
           router_wan_bytes_diff(n->username, r->username, 64) || router_wan_bytes_diff(n->password, r->password, 64) ||
           router_wan_bytes_diff(n->project_id, r->project_id, 20);
}
