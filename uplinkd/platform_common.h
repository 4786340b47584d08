// The router-side configuration records and their code tables.
//
// The same five records are read from the router, overlaid by translation,
// compared, written back and sent to the ONT as status TLV values, so their
// layout is fixed to the byte: packed, no pointers, integers in host order in
// memory (the status reply converts a copy to network order).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#pragma pack(push, 1)

// One WAN connection (status subtype 12).
struct lldp_wan_config {
    uint8_t valid;
    uint8_t wan_id;  // 1-based; 0 is written as 1
    char wan_name[40];
    uint8_t service;  // ONT numbering 0..7; 100 = router-only service
    uint8_t wan_mode;
    uint16_t vlan_id;  // 1..4095, 0xFFFF untagged
    uint8_t priority;
    uint8_t nat_enable;
    uint8_t ip_mode;  // 0 DHCP, 1 static, 2 PPPoE
    uint8_t qos_enable;
    uint8_t conn_status;
    uint8_t pppoe_proxy_enable;
    uint8_t pppoe_dial_pattern;
    char ppp_username[32];
    char ppp_password[32];
    char ppp_service_name[32];
    uint8_t oam_entry_tag[2];
    uint32_t ipv4_addr;
    uint32_t ipv4_mask;
    uint32_t ipv4_gateway;
    uint32_t ipv4_dns1;
    uint32_t ipv4_dns2;
    uint16_t mtu;  // 0 = not set
    uint8_t ip_protocol;  // 0 IPv4, 1 IPv6, 2 both
    uint8_t mac[6];
    uint8_t ipv6_addr[16];
    uint32_t ipv6_prefix_len;
    uint8_t ipv6_gateway[16];
    uint8_t dns_manual;
    uint8_t ipv6_dns1[16];
    uint8_t ipv6_dns2[16];
    uint8_t ipv6_addr_mode;  // 0 DHCPv6, 1 SLAAC
    uint8_t dhcpv6_req_addr;
    uint8_t dhcpv6_req_prefix;
    uint8_t dslite_enable;
    uint8_t dslite_aftr_mode;
    uint8_t dslite_addr_type;  // 1 host name text, 0 IPv6 address bytes
    uint8_t dslite_aftr[128];
    uint8_t sixrd_enable;
    uint32_t sixrd_relay_addr;
    uint32_t sixrd_ipv4_mask;
    uint8_t sixrd_prefix[16];
    uint32_t sixrd_prefix_len;
    uint16_t vlan_mode;
    uint8_t translation_enable;
    uint16_t translation_vlan;
    uint16_t translation_cos;
    uint8_t qinq_enable;
    uint16_t tpid;
    uint16_t svlan;
    uint16_t svlan_cos;
};

// Radio part of one band (status subtypes 13 and 14, first frame).
struct lldp_wlan_radio {
    uint8_t radio_valid;  // set by translation: compare and apply the radio part
    uint8_t read_mark;    // 1 when filled by the reader
    uint8_t band;         // 0 = 2.4 GHz, 1 = 5 GHz
    uint8_t radio_enable;
    uint8_t country;  // index into the country table
    uint8_t channel;  // channel number, 0 = automatic
    uint8_t mode;     // wireless standard code
    uint8_t tx_power; // 0 = leave unchanged
    uint8_t chan_width;
    uint8_t mesh_enable;
};

// One SSID; only the first of the four in a record is used.
struct lldp_wlan_ssid {
    uint8_t ssid_valid;  // set by translation: compare and apply the SSID part
    uint8_t read_mark[2];
    char ssid[32];
    uint8_t ssid_enable;
    uint8_t hidden;
    uint8_t auth_mode;
    uint8_t encryption;
    char key[64];
    uint32_t rekey_interval;
    uint8_t radius_ip_type;
    uint8_t radius_ip_len;
    char radius_server[128];
    uint32_t radius_prefix_len;
    uint16_t radius_port;
    char radius_key[32];
    uint8_t wep_level;
    uint8_t wep_key_index;
    char wep_keys[4][32];
    uint32_t reserved[6];
};

struct lldp_wlan_config {
    lldp_wlan_radio radio;
    lldp_wlan_ssid ssid[4];
};

// TR-069 client (status subtype 15).
struct lldp_tr069_config {
    uint8_t cwmp_enable;
    uint8_t inform_enable;
    uint32_t inform_interval;
    uint8_t certificate_enable;
    char project_id[20];
    char acs_url[128];
    char acs_username[64];
    char acs_password[64];
    uint16_t conn_req_port;  // not kept by the router: 0 as read
    char conn_req_username[64];
    char conn_req_password[64];
};

// STUN client (status subtype 16).
struct lldp_stun_config {
    uint8_t stun_enable;
    char server_addr[128];
    uint16_t server_port;
    char username[64];
    char password[64];
};

// Cloud MQTT agent (status subtype 17).
struct lldp_mqtt_config {
    uint8_t connect_status;  // read-only, from the agent's state file
    uint8_t enable;
    char server_addr[64];
    char username[64];
    char password[64];
    char project_id[20];
};

#pragma pack(pop)

// ---- layout pins: these records are wire formats towards the ONT ----

#define LLDP_PIN(rec, field, off) static_assert(offsetof(rec, field) == (off), #rec "." #field)

static_assert(sizeof(lldp_wan_config) == 426);
LLDP_PIN(lldp_wan_config, valid, 0);
LLDP_PIN(lldp_wan_config, wan_id, 1);
LLDP_PIN(lldp_wan_config, wan_name, 2);
LLDP_PIN(lldp_wan_config, service, 42);
LLDP_PIN(lldp_wan_config, wan_mode, 43);
LLDP_PIN(lldp_wan_config, vlan_id, 44);
LLDP_PIN(lldp_wan_config, priority, 46);
LLDP_PIN(lldp_wan_config, nat_enable, 47);
LLDP_PIN(lldp_wan_config, ip_mode, 48);
LLDP_PIN(lldp_wan_config, qos_enable, 49);
LLDP_PIN(lldp_wan_config, conn_status, 50);
LLDP_PIN(lldp_wan_config, pppoe_proxy_enable, 51);
LLDP_PIN(lldp_wan_config, pppoe_dial_pattern, 52);
LLDP_PIN(lldp_wan_config, ppp_username, 53);
LLDP_PIN(lldp_wan_config, ppp_password, 85);
LLDP_PIN(lldp_wan_config, ppp_service_name, 117);
LLDP_PIN(lldp_wan_config, oam_entry_tag, 149);
LLDP_PIN(lldp_wan_config, ipv4_addr, 151);
LLDP_PIN(lldp_wan_config, ipv4_mask, 155);
LLDP_PIN(lldp_wan_config, ipv4_gateway, 159);
LLDP_PIN(lldp_wan_config, ipv4_dns1, 163);
LLDP_PIN(lldp_wan_config, ipv4_dns2, 167);
LLDP_PIN(lldp_wan_config, mtu, 171);
LLDP_PIN(lldp_wan_config, ip_protocol, 173);
LLDP_PIN(lldp_wan_config, mac, 174);
LLDP_PIN(lldp_wan_config, ipv6_addr, 180);
LLDP_PIN(lldp_wan_config, ipv6_prefix_len, 196);
LLDP_PIN(lldp_wan_config, ipv6_gateway, 200);
LLDP_PIN(lldp_wan_config, dns_manual, 216);
LLDP_PIN(lldp_wan_config, ipv6_dns1, 217);
LLDP_PIN(lldp_wan_config, ipv6_dns2, 233);
LLDP_PIN(lldp_wan_config, ipv6_addr_mode, 249);
LLDP_PIN(lldp_wan_config, dhcpv6_req_addr, 250);
LLDP_PIN(lldp_wan_config, dhcpv6_req_prefix, 251);
LLDP_PIN(lldp_wan_config, dslite_enable, 252);
LLDP_PIN(lldp_wan_config, dslite_aftr_mode, 253);
LLDP_PIN(lldp_wan_config, dslite_addr_type, 254);
LLDP_PIN(lldp_wan_config, dslite_aftr, 255);
LLDP_PIN(lldp_wan_config, sixrd_enable, 383);
LLDP_PIN(lldp_wan_config, sixrd_relay_addr, 384);
LLDP_PIN(lldp_wan_config, sixrd_ipv4_mask, 388);
LLDP_PIN(lldp_wan_config, sixrd_prefix, 392);
LLDP_PIN(lldp_wan_config, sixrd_prefix_len, 408);
LLDP_PIN(lldp_wan_config, vlan_mode, 412);
LLDP_PIN(lldp_wan_config, translation_enable, 414);
LLDP_PIN(lldp_wan_config, translation_vlan, 415);
LLDP_PIN(lldp_wan_config, translation_cos, 417);
LLDP_PIN(lldp_wan_config, qinq_enable, 419);
LLDP_PIN(lldp_wan_config, tpid, 420);
LLDP_PIN(lldp_wan_config, svlan, 422);
LLDP_PIN(lldp_wan_config, svlan_cos, 424);

static_assert(sizeof(lldp_wlan_radio) == 10);
LLDP_PIN(lldp_wlan_radio, radio_valid, 0);
LLDP_PIN(lldp_wlan_radio, read_mark, 1);
LLDP_PIN(lldp_wlan_radio, band, 2);
LLDP_PIN(lldp_wlan_radio, radio_enable, 3);
LLDP_PIN(lldp_wlan_radio, country, 4);
LLDP_PIN(lldp_wlan_radio, channel, 5);
LLDP_PIN(lldp_wlan_radio, mode, 6);
LLDP_PIN(lldp_wlan_radio, tx_power, 7);
LLDP_PIN(lldp_wlan_radio, chan_width, 8);
LLDP_PIN(lldp_wlan_radio, mesh_enable, 9);

static_assert(sizeof(lldp_wlan_ssid) == 429);
LLDP_PIN(lldp_wlan_ssid, ssid_valid, 0);
LLDP_PIN(lldp_wlan_ssid, read_mark, 1);
LLDP_PIN(lldp_wlan_ssid, ssid, 3);
LLDP_PIN(lldp_wlan_ssid, ssid_enable, 35);
LLDP_PIN(lldp_wlan_ssid, hidden, 36);
LLDP_PIN(lldp_wlan_ssid, auth_mode, 37);
LLDP_PIN(lldp_wlan_ssid, encryption, 38);
LLDP_PIN(lldp_wlan_ssid, key, 39);
LLDP_PIN(lldp_wlan_ssid, rekey_interval, 103);
LLDP_PIN(lldp_wlan_ssid, radius_ip_type, 107);
LLDP_PIN(lldp_wlan_ssid, radius_ip_len, 108);
LLDP_PIN(lldp_wlan_ssid, radius_server, 109);
LLDP_PIN(lldp_wlan_ssid, radius_prefix_len, 237);
LLDP_PIN(lldp_wlan_ssid, radius_port, 241);
LLDP_PIN(lldp_wlan_ssid, radius_key, 243);
LLDP_PIN(lldp_wlan_ssid, wep_level, 275);
LLDP_PIN(lldp_wlan_ssid, wep_key_index, 276);
LLDP_PIN(lldp_wlan_ssid, wep_keys, 277);
LLDP_PIN(lldp_wlan_ssid, reserved, 405);

static_assert(sizeof(lldp_wlan_config) == 1726);
LLDP_PIN(lldp_wlan_config, radio, 0);
static_assert(offsetof(lldp_wlan_config, ssid) == 10);
static_assert(offsetof(lldp_wlan_config, ssid) + 1 * sizeof(lldp_wlan_ssid) == 439);
static_assert(offsetof(lldp_wlan_config, ssid) + 2 * sizeof(lldp_wlan_ssid) == 868);
static_assert(offsetof(lldp_wlan_config, ssid) + 3 * sizeof(lldp_wlan_ssid) == 1297);

static_assert(sizeof(lldp_tr069_config) == 413);
LLDP_PIN(lldp_tr069_config, cwmp_enable, 0);
LLDP_PIN(lldp_tr069_config, inform_enable, 1);
LLDP_PIN(lldp_tr069_config, inform_interval, 2);
LLDP_PIN(lldp_tr069_config, certificate_enable, 6);
LLDP_PIN(lldp_tr069_config, project_id, 7);
LLDP_PIN(lldp_tr069_config, acs_url, 27);
LLDP_PIN(lldp_tr069_config, acs_username, 155);
LLDP_PIN(lldp_tr069_config, acs_password, 219);
LLDP_PIN(lldp_tr069_config, conn_req_port, 283);
LLDP_PIN(lldp_tr069_config, conn_req_username, 285);
LLDP_PIN(lldp_tr069_config, conn_req_password, 349);

static_assert(sizeof(lldp_stun_config) == 259);
LLDP_PIN(lldp_stun_config, stun_enable, 0);
LLDP_PIN(lldp_stun_config, server_addr, 1);
LLDP_PIN(lldp_stun_config, server_port, 129);
LLDP_PIN(lldp_stun_config, username, 131);
LLDP_PIN(lldp_stun_config, password, 195);

static_assert(sizeof(lldp_mqtt_config) == 214);
LLDP_PIN(lldp_mqtt_config, connect_status, 0);
LLDP_PIN(lldp_mqtt_config, enable, 1);
LLDP_PIN(lldp_mqtt_config, server_addr, 2);
LLDP_PIN(lldp_mqtt_config, username, 66);
LLDP_PIN(lldp_mqtt_config, password, 130);
LLDP_PIN(lldp_mqtt_config, project_id, 194);

#undef LLDP_PIN

static_assert(std::is_standard_layout_v<lldp_wan_config> && std::is_trivially_copyable_v<lldp_wan_config>);
static_assert(std::is_standard_layout_v<lldp_wlan_config> && std::is_trivially_copyable_v<lldp_wlan_config>);
static_assert(std::is_standard_layout_v<lldp_tr069_config> && std::is_trivially_copyable_v<lldp_tr069_config>);
static_assert(std::is_standard_layout_v<lldp_stun_config> && std::is_trivially_copyable_v<lldp_stun_config>);
static_assert(std::is_standard_layout_v<lldp_mqtt_config> && std::is_trivially_copyable_v<lldp_mqtt_config>);

// ---- code tables ----

// Wireless bands as the records number them.
inline constexpr uint8_t LLDP_BAND_24G = 0;
inline constexpr uint8_t LLDP_BAND_5G = 1;

// Authentication codes (`auth_mode`) that have a text in the wireless configuration.
inline constexpr uint8_t LLDP_AUTH_OPEN = 1;
inline constexpr uint8_t LLDP_AUTH_PSK = 4;
inline constexpr uint8_t LLDP_AUTH_PSK2 = 6;
inline constexpr uint8_t LLDP_AUTH_PSK_MIXED = 9;
inline constexpr uint8_t LLDP_AUTH_SAE = 10;
inline constexpr uint8_t LLDP_AUTH_SAE_MIXED = 11;

// Cipher codes (`encryption`).
inline constexpr uint8_t LLDP_CIPHER_NONE = 1;
inline constexpr uint8_t LLDP_CIPHER_WEP = 2;
inline constexpr uint8_t LLDP_CIPHER_TKIP = 3;
inline constexpr uint8_t LLDP_CIPHER_AES = 4;
inline constexpr uint8_t LLDP_CIPHER_TKIP_AES = 5;

// Group rekey interval the router uses when none is configured.
inline constexpr uint32_t LLDP_DEFAULT_REKEY_INTERVAL = 86400;

// Country table: 142 two-letter codes; some occur more than once and a code
// always maps to its first index.
inline constexpr unsigned LLDP_COUNTRY_COUNT = 142;
inline constexpr uint8_t LLDP_COUNTRY_FALLBACK = 10;  // "CN"
extern const char *const lldp_country_codes[LLDP_COUNTRY_COUNT];
// First index holding `code`; LLDP_COUNTRY_FALLBACK for null, empty or unlisted.
uint8_t platform_country_index(const char *code);
// The code at `index`; "CN" for an index past the table.
const char *platform_country_code(unsigned index);

// 5 GHz channel table: the ONT carries a 5 GHz channel as an index into it.
inline constexpr unsigned LLDP_5G_CHANNEL_COUNT = 30;
extern const uint8_t lldp_5g_channels[LLDP_5G_CHANNEL_COUNT];
// Index 0..29 to its channel number; larger values are channel numbers already.
uint8_t platform_5g_channel_from_index(uint8_t index);
// First table position holding `channel` (0 for automatic); a channel not in
// the table is returned unchanged.
uint8_t platform_5g_channel_to_index(uint8_t channel);

// Wireless standard code to the `zkhwmode` text, any band; null for an unknown code.
const char *platform_wlan_mode_text(uint8_t mode);
// The text written for `mode` on `band`; null when the code does not belong
// to that band (nothing is written then).
const char *platform_wlan_mode_text_for_band(uint8_t mode, uint8_t band);
// `zkhwmode` text to code; unmatched or null texts give 14 (2.4 GHz) or 12 (5 GHz).
uint8_t platform_wlan_mode_from_text(const char *text, uint8_t band);

// Channel width in MHz for a `chan_width` code on `band` (2.4 GHz: 20 or 40 only).
unsigned platform_wlan_width_mhz(uint8_t chan_width, uint8_t band);

// `encryption` text of the wireless configuration for an `auth_mode`; null
// for codes without one (2, 3, 5, 7, 8 and anything unknown).
const char *platform_wlan_auth_text(uint8_t auth_mode);

// ---- provisioning source ----

// 1 when the latest provisioning came as OAM data, 0 for OMCI. Set by the
// dispatcher at every delivery and read by the apply pass on another thread
// without a lock, hence atomic (plain `g_status_oam = 1` still works).
extern std::atomic<int> g_status_oam;

// The group rekey interval takes part in wireless writes and comparisons
// only after OAM provisioning.
int platform_wifi_rekey_apply_enabled(void);
