// OAM object layouts and the configuration views built from the OAM store.
//
// An OAM object's value already has the layout of its view, so the builders
// pick stored objects by leaf and copy their bytes. The decoder has turned the
// numbers of the known objects into host order, which is what the fields
// below hold. Texts sit in fixed fields and are not always terminated: read
// them with oam_text(), never with strlen().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// Leaves of the objects the views read.
inline constexpr uint16_t OAM_LEAF_TR069 = 0x2029;
inline constexpr uint16_t OAM_LEAF_STUN = 0x202A;
inline constexpr uint16_t OAM_LEAF_MQTT = 0x2032;
inline constexpr uint16_t OAM_LEAF_RADIO24 = 0x2201;
inline constexpr uint16_t OAM_LEAF_SSID = 0x2202;
inline constexpr uint16_t OAM_LEAF_WAN_V4_LIST = 0x2203;
inline constexpr uint16_t OAM_LEAF_RADIO5 = 0x2208;
inline constexpr uint16_t OAM_LEAF_WAN_V46_LIST = 0x2209;

// A WAN list holds a 16-bit count and then at most this many entries.
inline constexpr unsigned OAM_WAN_LIST_MAX_ENTRIES = 8;
inline constexpr std::size_t OAM_WAN_LIST_HEADER = 2;

// Bytes of a radio object that the 2.4 GHz and 5 GHz views take.
inline constexpr std::size_t OAM_RADIO24_LEN = 25;
inline constexpr std::size_t OAM_RADIO5_LEN = 41;

// Instances of the SSID objects: 101-104 are the 2.4 GHz slots, 105-108 the 5 GHz ones.
inline constexpr uint32_t OAM_SSID_INSTANCE_FIRST = 101;
inline constexpr unsigned OAM_SSID_SLOTS = 4;

// Entities a view pass can see, in store order.
inline constexpr int OAM_VIEW_SNAPSHOT_MAX = 32;

#pragma pack(push, 1)

struct oam_wan_v4_entry {
    uint16_t wan_id;
    uint8_t entry_tag[2];
    uint16_t service;
    uint16_t wan_mode;
    uint16_t vlan_id;
    uint16_t priority;
    uint8_t nat_enable;
    uint16_t ip_mode;
    uint32_t ipv4_addr;
    uint32_t ipv4_mask;
    uint32_t ipv4_gateway;
    uint32_t ipv4_dns1;
    uint32_t ipv4_dns2;
    uint8_t pppoe_proxy_enable;
    char ppp_username[32];
    char ppp_password[32];
    char ppp_service_name[32];
    uint16_t pppoe_dial_pattern;
    uint8_t qos_enable;
    uint16_t vlan_mode;
    uint8_t translation_enable;
    uint16_t translation_vlan;
    uint16_t translation_cos;
    uint8_t qinq_enable;
    uint16_t tpid;
    uint16_t svlan;
    uint16_t svlan_cos;
    char wan_name[64];
    uint16_t conn_status;
    uint8_t mac[6];
    uint8_t reserved1;
    uint16_t mtu;
    uint8_t reserved2[7];
};

struct oam_wan_v46_entry {
    uint16_t wan_id;
    uint8_t entry_tag[2];
    uint16_t service;
    uint16_t wan_mode;
    uint16_t vlan_id;
    uint16_t priority;
    uint16_t ip_protocol;
    uint8_t nat_enable;
    uint16_t ip_mode;
    uint32_t ipv4_addr;
    uint32_t ipv4_mask;
    uint32_t ipv4_gateway;
    uint8_t ipv4_dns_set;
    uint32_t ipv4_dns1;
    uint32_t ipv4_dns2;
    uint8_t ipv6_addr[16];
    uint32_t ipv6_prefix_len;
    uint8_t ipv6_gateway[16];
    uint8_t ipv6_dns_set;
    uint8_t ipv6_dns1[16];
    uint8_t ipv6_dns2[16];
    uint8_t pppoe_proxy_enable;
    char ppp_username[32];
    char ppp_password[32];
    char ppp_service_name[32];
    uint16_t pppoe_dial_pattern;
    uint8_t ipv6_addr_mode;
    uint8_t dhcpv6_req_addr;
    uint8_t dhcpv6_req_prefix;
    uint8_t dslite_enable;
    uint8_t dslite_aftr_mode;
    uint8_t dslite_addr_type;
    char dslite_aftr[128];
    uint8_t sixrd_enable;
    uint32_t sixrd_relay_addr;
    uint32_t sixrd_ipv4_mask;
    uint8_t sixrd_prefix[16];
    uint32_t sixrd_prefix_len;
    uint8_t qos_enable;
    uint16_t vlan_mode;
    uint8_t translation_enable;
    uint16_t translation_vlan;
    uint16_t translation_cos;
    uint8_t qinq_enable;
    uint16_t tpid;
    uint16_t svlan;
    uint16_t svlan_cos;
    char wan_name[64];
    uint16_t conn_status;
    uint8_t mac[6];
    uint8_t reserved1;
    uint16_t mtu;
    uint8_t reserved2[29];
};

// Both radios share this layout; the 2.4 GHz object is 25 bytes long and has
// no mesh switch, so in its view bytes 25 and up stay zero and mesh_enable
// is not meaningful.
struct oam_radio_object {
    uint8_t radio_enable;
    uint16_t country;
    uint16_t channel;
    uint16_t mode;
    uint16_t tx_power;
    uint16_t chan_width;
    uint8_t mesh_enable;
    uint8_t reserved[29];
};

struct oam_ssid_object {
    char ssid[32];
    uint8_t ssid_enable;
    uint8_t hidden;
    uint16_t auth_mode;
    uint16_t encryption;
    char key[64];
    uint32_t rekey_interval;
    // Numbers the ONT sends in host order like the rest, but nothing reads.
    uint32_t unused_num1;
    uint32_t unused_num2;
    uint8_t reserved1[255];
    uint32_t unused_num3;
    uint16_t unused_num4;
    uint8_t reserved2[32];
    uint16_t wep_level;
    uint16_t wep_key_index;
    char wep_keys[4][32];
    uint8_t reserved3[128];
};

struct oam_tr069_view {
    uint8_t cwmp_enable;
    char acs_url[128];
    char acs_username[64];
    char acs_password[64];
    uint8_t certificate_enable;
    uint8_t inform_enable;
    uint32_t inform_interval;
    char conn_req_username[64];
    char conn_req_password[64];
    char project_id[20];
    uint8_t reserved[12];
};

struct oam_stun_view {
    uint8_t stun_enable;
    char server_addr[128];
    uint16_t server_port;
    char username[64];
    char password[64];
    uint8_t reserved[32];
};

struct oam_mqtt_view {
    uint8_t connect_status;  // sent by the ONT, not read
    uint8_t enable;
    char server_addr[64];
    char username[32];
    char password[32];
    char project_id[20];
    uint8_t reserved[16];
};

// Which entry filled the WAN view.
enum : uint32_t {
    OAM_WAN_SOURCE_NONE = 0,
    OAM_WAN_SOURCE_IPV4 = 1,
    OAM_WAN_SOURCE_DUAL = 2,
};

struct oam_wan_view {
    uint32_t source;
    oam_wan_v4_entry ipv4_entry;
    oam_wan_v46_entry dual_entry;
};

struct oam_wlan_view {
    uint8_t radio24_valid;
    oam_radio_object radio24;
    oam_ssid_object ssid24[OAM_SSID_SLOTS];
    uint8_t ssid24_valid[OAM_SSID_SLOTS];
    uint8_t radio5_valid;
    oam_radio_object radio5;
    oam_ssid_object ssid5[OAM_SSID_SLOTS];
    uint8_t ssid5_valid[OAM_SSID_SLOTS];
};

#pragma pack(pop)

// The value layouts are the ONT's wire format: pin every size and the offset
// of every field the decoder converts or a reader uses.
#define OAM_PIN(type, field, off) static_assert(offsetof(type, field) == (off), #type "." #field)

static_assert(sizeof(oam_wan_v4_entry) == 231);
OAM_PIN(oam_wan_v4_entry, entry_tag, 2);
OAM_PIN(oam_wan_v4_entry, service, 4);
OAM_PIN(oam_wan_v4_entry, wan_mode, 6);
OAM_PIN(oam_wan_v4_entry, vlan_id, 8);
OAM_PIN(oam_wan_v4_entry, priority, 10);
OAM_PIN(oam_wan_v4_entry, nat_enable, 12);
OAM_PIN(oam_wan_v4_entry, ip_mode, 13);
OAM_PIN(oam_wan_v4_entry, ipv4_addr, 15);
OAM_PIN(oam_wan_v4_entry, ipv4_mask, 19);
OAM_PIN(oam_wan_v4_entry, ipv4_gateway, 23);
OAM_PIN(oam_wan_v4_entry, ipv4_dns1, 27);
OAM_PIN(oam_wan_v4_entry, ipv4_dns2, 31);
OAM_PIN(oam_wan_v4_entry, pppoe_proxy_enable, 35);
OAM_PIN(oam_wan_v4_entry, ppp_username, 36);
OAM_PIN(oam_wan_v4_entry, ppp_password, 68);
OAM_PIN(oam_wan_v4_entry, ppp_service_name, 100);
OAM_PIN(oam_wan_v4_entry, pppoe_dial_pattern, 132);
OAM_PIN(oam_wan_v4_entry, qos_enable, 134);
OAM_PIN(oam_wan_v4_entry, vlan_mode, 135);
OAM_PIN(oam_wan_v4_entry, translation_enable, 137);
OAM_PIN(oam_wan_v4_entry, translation_vlan, 138);
OAM_PIN(oam_wan_v4_entry, translation_cos, 140);
OAM_PIN(oam_wan_v4_entry, qinq_enable, 142);
OAM_PIN(oam_wan_v4_entry, tpid, 143);
OAM_PIN(oam_wan_v4_entry, svlan, 145);
OAM_PIN(oam_wan_v4_entry, svlan_cos, 147);
OAM_PIN(oam_wan_v4_entry, wan_name, 149);
OAM_PIN(oam_wan_v4_entry, conn_status, 213);
OAM_PIN(oam_wan_v4_entry, mac, 215);
OAM_PIN(oam_wan_v4_entry, mtu, 222);

static_assert(sizeof(oam_wan_v46_entry) == 488);
OAM_PIN(oam_wan_v46_entry, service, 4);
OAM_PIN(oam_wan_v46_entry, wan_mode, 6);
OAM_PIN(oam_wan_v46_entry, vlan_id, 8);
OAM_PIN(oam_wan_v46_entry, priority, 10);
OAM_PIN(oam_wan_v46_entry, ip_protocol, 12);
OAM_PIN(oam_wan_v46_entry, nat_enable, 14);
OAM_PIN(oam_wan_v46_entry, ip_mode, 15);
OAM_PIN(oam_wan_v46_entry, ipv4_addr, 17);
OAM_PIN(oam_wan_v46_entry, ipv4_mask, 21);
OAM_PIN(oam_wan_v46_entry, ipv4_gateway, 25);
OAM_PIN(oam_wan_v46_entry, ipv4_dns_set, 29);
OAM_PIN(oam_wan_v46_entry, ipv4_dns1, 30);
OAM_PIN(oam_wan_v46_entry, ipv4_dns2, 34);
OAM_PIN(oam_wan_v46_entry, ipv6_addr, 38);
OAM_PIN(oam_wan_v46_entry, ipv6_prefix_len, 54);
OAM_PIN(oam_wan_v46_entry, ipv6_gateway, 58);
OAM_PIN(oam_wan_v46_entry, ipv6_dns_set, 74);
OAM_PIN(oam_wan_v46_entry, ipv6_dns1, 75);
OAM_PIN(oam_wan_v46_entry, ipv6_dns2, 91);
OAM_PIN(oam_wan_v46_entry, pppoe_proxy_enable, 107);
OAM_PIN(oam_wan_v46_entry, ppp_username, 108);
OAM_PIN(oam_wan_v46_entry, ppp_password, 140);
OAM_PIN(oam_wan_v46_entry, ppp_service_name, 172);
OAM_PIN(oam_wan_v46_entry, pppoe_dial_pattern, 204);
OAM_PIN(oam_wan_v46_entry, ipv6_addr_mode, 206);
OAM_PIN(oam_wan_v46_entry, dhcpv6_req_addr, 207);
OAM_PIN(oam_wan_v46_entry, dhcpv6_req_prefix, 208);
OAM_PIN(oam_wan_v46_entry, dslite_enable, 209);
OAM_PIN(oam_wan_v46_entry, dslite_aftr_mode, 210);
OAM_PIN(oam_wan_v46_entry, dslite_addr_type, 211);
OAM_PIN(oam_wan_v46_entry, dslite_aftr, 212);
OAM_PIN(oam_wan_v46_entry, sixrd_enable, 340);
OAM_PIN(oam_wan_v46_entry, sixrd_relay_addr, 341);
OAM_PIN(oam_wan_v46_entry, sixrd_ipv4_mask, 345);
OAM_PIN(oam_wan_v46_entry, sixrd_prefix, 349);
OAM_PIN(oam_wan_v46_entry, sixrd_prefix_len, 365);
OAM_PIN(oam_wan_v46_entry, qos_enable, 369);
OAM_PIN(oam_wan_v46_entry, vlan_mode, 370);
OAM_PIN(oam_wan_v46_entry, translation_enable, 372);
OAM_PIN(oam_wan_v46_entry, translation_vlan, 373);
OAM_PIN(oam_wan_v46_entry, translation_cos, 375);
OAM_PIN(oam_wan_v46_entry, qinq_enable, 377);
OAM_PIN(oam_wan_v46_entry, tpid, 378);
OAM_PIN(oam_wan_v46_entry, svlan, 380);
OAM_PIN(oam_wan_v46_entry, svlan_cos, 382);
OAM_PIN(oam_wan_v46_entry, wan_name, 384);
OAM_PIN(oam_wan_v46_entry, conn_status, 448);
OAM_PIN(oam_wan_v46_entry, mac, 450);
OAM_PIN(oam_wan_v46_entry, mtu, 457);

static_assert(sizeof(oam_radio_object) == OAM_RADIO5_LEN);
OAM_PIN(oam_radio_object, country, 1);
OAM_PIN(oam_radio_object, channel, 3);
OAM_PIN(oam_radio_object, mode, 5);
OAM_PIN(oam_radio_object, tx_power, 7);
OAM_PIN(oam_radio_object, chan_width, 9);
OAM_PIN(oam_radio_object, mesh_enable, 11);

static_assert(sizeof(oam_ssid_object) == 667);
OAM_PIN(oam_ssid_object, ssid_enable, 32);
OAM_PIN(oam_ssid_object, hidden, 33);
OAM_PIN(oam_ssid_object, auth_mode, 34);
OAM_PIN(oam_ssid_object, encryption, 36);
OAM_PIN(oam_ssid_object, key, 38);
OAM_PIN(oam_ssid_object, rekey_interval, 102);
OAM_PIN(oam_ssid_object, unused_num1, 106);
OAM_PIN(oam_ssid_object, unused_num2, 110);
OAM_PIN(oam_ssid_object, unused_num3, 369);
OAM_PIN(oam_ssid_object, unused_num4, 373);
OAM_PIN(oam_ssid_object, wep_level, 407);
OAM_PIN(oam_ssid_object, wep_key_index, 409);
OAM_PIN(oam_ssid_object, wep_keys, 411);
OAM_PIN(oam_ssid_object, reserved3, 539);

static_assert(sizeof(oam_tr069_view) == 423);
OAM_PIN(oam_tr069_view, acs_url, 1);
OAM_PIN(oam_tr069_view, acs_username, 129);
OAM_PIN(oam_tr069_view, acs_password, 193);
OAM_PIN(oam_tr069_view, certificate_enable, 257);
OAM_PIN(oam_tr069_view, inform_enable, 258);
OAM_PIN(oam_tr069_view, inform_interval, 259);
OAM_PIN(oam_tr069_view, conn_req_username, 263);
OAM_PIN(oam_tr069_view, conn_req_password, 327);
OAM_PIN(oam_tr069_view, project_id, 391);

static_assert(sizeof(oam_stun_view) == 291);
OAM_PIN(oam_stun_view, server_addr, 1);
OAM_PIN(oam_stun_view, server_port, 129);
OAM_PIN(oam_stun_view, username, 131);
OAM_PIN(oam_stun_view, password, 195);

static_assert(sizeof(oam_mqtt_view) == 166);
OAM_PIN(oam_mqtt_view, enable, 1);
OAM_PIN(oam_mqtt_view, server_addr, 2);
OAM_PIN(oam_mqtt_view, username, 66);
OAM_PIN(oam_mqtt_view, password, 98);
OAM_PIN(oam_mqtt_view, project_id, 130);

static_assert(sizeof(oam_wan_view) == 4 + 231 + 488);
static_assert(sizeof(oam_wlan_view) == 2 * (1 + OAM_RADIO5_LEN + OAM_SSID_SLOTS * (667 + 1)));
OAM_PIN(oam_wlan_view, ssid24, 42);
OAM_PIN(oam_wlan_view, radio5_valid, 2714);

#undef OAM_PIN

// The text of a fixed field: up to its first NUL, or the whole field when it
// holds none (the ONT may fill a field to the last byte).
template <std::size_t N>
inline std::string_view oam_text(const char (&field)[N])
{
    const void *nul = std::memchr(field, 0, N);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - field) : N};
}

// Copies a field's text into dst (dst_size bytes), cut to dst_size - 1 and
// NUL-terminated. Returns the number of characters copied.
template <std::size_t N>
inline std::size_t oam_copy_text(char *dst, std::size_t dst_size, const char (&field)[N])
{
    if (dst == nullptr || dst_size == 0) return 0;
    std::string_view t = oam_text(field);
    std::size_t n = t.size() < dst_size - 1 ? t.size() : dst_size - 1;
    std::memcpy(dst, t.data(), n);
    dst[n] = '\0';
    return n;
}

// Builders: each zeroes its view, reads a snapshot of the first 32 stored
// entities and never changes the store.
// WAN: 1 when an entry with service 0 and WAN mode 1 was found, 0 when not,
// -1 on a missing view or failed snapshot.
int oam_build_wan_config_zelk(oam_wan_view *view);
// Wireless: 1 when any radio or SSID was found, 0 when none, -1 as above.
int oam_build_wlan_config_zelk(oam_wlan_view *view);
// TR-069, STUN, MQTT: 1 when an object of the leaf is stored (even with an
// empty value), 0 when not, -1 as above.
int oam_build_tr069_config_zelk(oam_tr069_view *view);
int oam_build_stun_config_zelk(oam_stun_view *view);
int oam_build_mqtt_config_zelk(oam_mqtt_view *view);
