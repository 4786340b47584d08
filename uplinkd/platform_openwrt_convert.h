// Translation of the provisioning views onto the router's configuration
// records, and the partial comparisons that decide whether a translated copy
// is written at all.
//
// A translation overlays a view onto a record that holds the router's current
// values: whatever the provisioning does not carry keeps the value read.
// Texts that would reach generated service files (SSID, keys, PPPoE, TR-069,
// STUN and MQTT texts) are refused when they hold a control character; the
// field then keeps the router's value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "uplinkd/oam_mib_build.h"
#include "uplinkd/omci_mib_build.h"
#include "uplinkd/platform_common.h"

// ---- conversion routines ----

// Text up to the first zero of src, at most src_len and 127 bytes, cut to
// dst_size - 1 characters; the rest of dst is zero-filled.
void router_copy_omci_str(char *dst, std::size_t dst_size, const void *src, std::size_t src_len);
// As router_copy_omci_str, but a text holding a byte 0x01-0x1F or 0x7F is
// refused and dst keeps its value. 1 taken, 0 refused or nothing to do.
int router_take_text(char *dst, std::size_t dst_size, const void *src, std::size_t src_len);
// 1 when the first `len` bytes (up to a zero) hold a control character.
int router_text_has_control(const void *text, std::size_t len);
// A provisioned IPv6 address as text or as 16 raw bytes.
void router_wan_ipv6_blob_to_bytes(const void *src, std::size_t len, uint8_t out[16]);
// `dslite_aftr` from a 128-byte source: host name text, or IPv6 bytes for type 0.
void router_copy_aftr_field(uint8_t dst[128], const void *src, uint8_t addr_type);
void router_wan_lldp_set_ipv6_dns(lldp_wan_config *rec, int manual, const uint8_t *dns1, const uint8_t *dns2);
void router_wan_lldp_clear_ipv6_static(lldp_wan_config *rec);
// 1-32 is a prefix length; anything else is the mask itself.
uint32_t router_ipv4_mask(uint32_t provisioned);

// ---- WAN ----

void platform_omci_mib_to_lldp_wan_config(const omci_wan_view *view, lldp_wan_config *rec);
void platform_oam_mib_to_lldp_wan_config(const oam_wan_view *view, lldp_wan_config *rec);

// ---- wireless ----

void router_omci_wlan_band_to_lldp(const omci_wlan_entry *radio, const omci_wlan_entry *ssid, int band,
                                   lldp_wlan_config *rec);
void platform_omci_mib_to_lldp_wlan_config(const omci_wlan_view *view, lldp_wlan_config *rec24,
                                           lldp_wlan_config *rec5);
void router_oam_mib_to_lldp_wlan_ssid(const oam_ssid_object *o, lldp_wlan_ssid *s);
void platform_oam_mib_to_lldp_wlan_config(const oam_wlan_view *view, lldp_wlan_config *rec24,
                                          lldp_wlan_config *rec5);
uint8_t platform_oam_5g_channel_to_index(uint8_t channel);

// ---- TR-069, STUN, MQTT ----

void platform_omci_mib_to_lldp_tr069_config(const omci_tr069_view *view, lldp_tr069_config *rec);
void platform_oam_mib_to_lldp_tr069_config(const oam_tr069_view *view, lldp_tr069_config *rec);
void platform_omci_mib_to_lldp_stun_config(const omci_stun_view *view, lldp_stun_config *rec);
void platform_oam_mib_to_lldp_stun_config(const oam_stun_view *view, lldp_stun_config *rec);
void platform_omci_mib_to_lldp_mqtt_config(const omci_mqtt_view *view, lldp_mqtt_config *rec);
void platform_oam_mib_to_lldp_mqtt_config(const oam_mqtt_view *view, lldp_mqtt_config *rec);

// ---- change detection: translated copy first, record as read second ----
// 1 when they differ in a field that counts, 0 otherwise or when one is null.

int router_wan_bytes_diff(const void *a, const void *b, std::size_t len);
int router_wan_ipv6_dns_diff(const lldp_wan_config *n, const lldp_wan_config *r);
int platform_wan_config_status_diff(const lldp_wan_config *n, const lldp_wan_config *r);
// Compares the group rekey interval only when platform_wifi_rekey_apply_enabled().
int platform_wlan_config_status_diff(const lldp_wlan_config *n, const lldp_wlan_config *r);
int platform_tr069_config_status_diff(const lldp_tr069_config *n, const lldp_tr069_config *r);
int platform_stun_config_status_diff(const lldp_stun_config *n, const lldp_stun_config *r);
int platform_mqtt_config_status_diff(const lldp_mqtt_config *n, const lldp_mqtt_config *r);
