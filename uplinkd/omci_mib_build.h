// Configuration views built from the OMCI store: the WAN connections, the
// wireless radios and SSIDs, TR-069, STUN and MQTT. The translation reads them.
//
// Numbers are in host order. Text fields are the joined pieces as the ONT sent
// them: a text that fills its field has no terminating zero, so every reader
// copies it bounded by the field's width (never strlen/strcpy on a view field).
#pragma once

#include <cstddef>
#include <cstdint>

// One WAN connection of the zelk family (classes 30001-30011).
struct omci_wan_entry {
    uint8_t wan_index;  // instance + 1 once a 30002 entity filled the entry, else 0
    uint8_t name[40];
    uint8_t connection_mode;
    uint8_t connection_type;
    uint16_t vlan_id;
    uint8_t priority;
    uint8_t nat_enable;
    uint8_t qos_enable;
    uint8_t address_mode;
    uint8_t ip_protocol;
    uint16_t mtu;
    uint8_t connection_status;
    uint8_t wan_mac[6];
    uint16_t fe_bind;    // fe_bind low byte, fe_bind1 high byte
    uint16_t ssid_bind;  // ssid_bind low byte, ssid_bind1 high byte
    uint8_t pppoe_proxy_enable;
    uint8_t pppoe_dia_pattern;
    uint8_t pppoe_username[64];
    uint8_t pppoe_pwd[64];
    uint8_t pppoe_servicename[64];
    uint32_t ip_address;
    uint32_t mask;
    uint32_t gateway;
    uint32_t primary_dns;
    uint32_t secondary_dns;
    uint8_t ipv6_address[16];
    uint8_t ipv6_prefix_len;
    uint8_t ipv6_gateway[16];
    uint8_t request_dns_mode;
    uint8_t ipv6_primary_dns[16];
    uint8_t ipv6_secondary_dns[16];
    uint8_t wan_ipv6_address_mode;
    uint8_t wan_dhcpv6_client_request_addr;
    uint8_t wan_dhcpv6_client_request_prefix;
    uint8_t wan_ds_lite_enable;
    uint8_t wan_ds_lite_aftr_mode;
    uint8_t wan_ds_lite_address_type;
    uint8_t wan_ds_lite_address[128];
    uint8_t wan_6rd_enable;
    uint32_t wan_6rd_router_addr;
    uint32_t wan_6rd_ipv4_mask;
    uint8_t wan_6rd_ipv6_prefix[16];
    uint32_t wan_6rd_ipv6_prefix_len;
    uint16_t vlan_mode;
    uint8_t translation_enable;
    uint8_t qinq_enable;
    uint16_t translation_vlan;
    uint16_t translation_cos;
    uint16_t tpid;
    uint16_t svlan;
    uint16_t svlan_cos;
    uint8_t lan_bind_mode;
    uint32_t lan_vlan[4];
};

// One WAN connection of the IP-host family (classes 134, 250, 347, 65417).
struct omci_iphost_wan_entry {
    uint8_t ip_options;
    uint32_t ip_address;
    uint32_t mask;
    uint32_t gateway;
    uint32_t primary_dns;
    uint32_t secondary_dns;
    uint8_t domain_name[25];
    uint8_t host_name[25];
    uint16_t relay_agent_option;
    uint8_t hw_attr1;
    uint8_t pppoe_nat_status;
    uint8_t pppoe_mode;
    uint8_t pppoe_connect;
    uint16_t pppoe_release_time;
    uint8_t pppoe_username[128];  // from 250 or 65417, whichever was handled last
    uint8_t pppoe_password[128];
    uint8_t pppoe_state;
    uint32_t pppoe_online_duration;
    uint8_t hw_attr2;
    uint8_t ipv6_ip_options;
    uint8_t ipv6_link_local_addr[16];
    uint8_t ipv6_addr[16];
    uint8_t ipv6_default_router[16];
    uint8_t ipv6_primary_dns[16];
    uint8_t ipv6_secondary_dns[16];
    uint8_t onlink_prefix_len;
    uint8_t onlink_prefix[16];
    uint16_t relay_agent_options;
};

// One WAN connection of the FH family (classes 65321-65323, 65329).
struct omci_fh_wan_entry {
    uint8_t wan_index;
    uint8_t wan_name[64];  // a 64-character name fills it with no terminating zero
    uint8_t connect_mode;
    uint8_t connect_type;
    uint16_t vlan_id;
    uint16_t priority;
    uint8_t nat_enable;
    uint8_t achieve_addr_mode;
    uint8_t qos_enable;
    uint8_t wan_connect_status;
    uint16_t wan_gemTP_pointer;
    uint8_t dhcp_remoteID[10];
    uint8_t proxy_enable;
    uint8_t username[32];
    uint8_t password[32];
    uint8_t servername[32];
    uint8_t dial_pattern;
    uint32_t ipv4_addr;
    uint32_t ipv4_mask;
    uint32_t ipv4_gateway;
    uint32_t ipv4_pri_dns;
    uint32_t ipv4_sec_dns;
    uint8_t ipv6_addr[19];
    uint8_t ipv6_gateway[19];
    uint8_t ipv6_pri_dns[19];
    uint8_t ipv6_sec_dns[19];
    uint8_t wan_protocol_type;
    uint8_t wan_static_prefix[19];
};

enum omci_wan_source : uint32_t {
    OMCI_WAN_SOURCE_NONE = 0,
    OMCI_WAN_SOURCE_ZELK = 1,
    OMCI_WAN_SOURCE_IPHOST = 2,
    OMCI_WAN_SOURCE_FH = 3,
};

constexpr int OMCI_WAN_ENTRIES = 4;

// Only the area of `source` is filled; entry i holds the entities of instance i.
struct omci_wan_view {
    uint32_t source;    // omci_wan_source
    uint8_t wan_count;  // as the family's counter left it (FH: may exceed 4)
    omci_wan_entry zelk_wan[OMCI_WAN_ENTRIES];
    omci_iphost_wan_entry iphost[OMCI_WAN_ENTRIES];
    uint8_t fh_wan_num;
    uint8_t fh_wan_num_ipv6;
    omci_fh_wan_entry fh[OMCI_WAN_ENTRIES];
};

// One radio/SSID position (classes 30100-30105).
struct omci_wlan_entry {
    uint8_t radio_valid;  // a 30100, 30104 or 30105 entity landed here
    uint8_t enable;
    uint8_t country;
    uint8_t channel;
    uint8_t chan_width;
    uint8_t mode;
    uint8_t power;
    uint8_t mesh_enable;
    uint8_t ssid_valid;  // a 30101, 30102 or 30103 entity landed here
    uint8_t ssid_name[32];
    uint8_t ssid_enable;
    uint8_t hide;
    uint8_t auth_mode;
    uint8_t encryp_type;
    uint8_t key[64];
    uint32_t re_key_interval;
    uint8_t wep_encryp_level;
    uint8_t wep_key_index;
    uint8_t wep_key[4][32];
    uint8_t radius_serv_ip_type;
    uint8_t radius_serv_ip_len;
    uint8_t radius_serv_ip[128];
    uint32_t radius_serv_ip_prefix_len;
    uint16_t radius_port;
    uint8_t radius_key[32];
};

constexpr int OMCI_WLAN_ENTRIES = 8;

struct omci_wlan_view {
    omci_wlan_entry entries[OMCI_WLAN_ENTRIES];
};

struct omci_tr069_view {
    uint8_t tr069_ind;
    uint8_t inform_enable;
    uint32_t inform_interval;
    uint8_t certificate_enable;
    uint8_t id[20];
    uint8_t acs_server_url[128];
    uint8_t acs_username[64];
    uint8_t acs_password[64];
    uint16_t reverse_port;
    uint8_t conn_req_username[64];
    uint8_t conn_req_password[64];
    uint8_t middleware_enable;  // no builder dispatches class 30313: stays zero
    uint16_t middleware_port;
    uint8_t middleware_url[128];
};

struct omci_stun_view {
    uint8_t stun_status;
    uint16_t stun_server_port;
    uint8_t stun_server_addr[128];
    uint8_t stun_username[64];
    uint8_t stun_password[64];
};

struct omci_mqtt_view {
    uint8_t connect_status;
    uint8_t enable;
    uint8_t address[64];
    uint8_t username[64];  // 32 meaningful bytes, then zeros
    uint8_t password[64];  // likewise
    uint8_t id[20];
};

// Layouts the translation depends on.
static_assert(sizeof(omci_wan_entry) == 544 && offsetof(omci_wan_entry, lan_vlan) == 528);
static_assert(sizeof(omci_iphost_wan_entry) == 448 && offsetof(omci_iphost_wan_entry, relay_agent_options) == 444);
static_assert(sizeof(omci_fh_wan_entry) == 304 && offsetof(omci_fh_wan_entry, wan_static_prefix) == 285);
static_assert(sizeof(omci_wan_view) == 5196 && offsetof(omci_wan_view, fh) == 3980);
static_assert(sizeof(omci_wlan_entry) == 416 && sizeof(omci_wlan_view) == 8 * 416);
static_assert(sizeof(omci_tr069_view) == 548);
static_assert(sizeof(omci_stun_view) == 260);
static_assert(sizeof(omci_mqtt_view) == 214);

// Handlers: copy one stored entity into the area of a view.
//   index   the instance number (the builders pass only 0-255)
//   data    the entity's attribute object
//   counter the builder's count of WAN connections, kept by the class's rule
//   view    the area the builder passes for the class's family
using omci_handler_fn = void (*)(uint8_t index, const void *data, uint8_t *counter, void *view);

struct omci_handler_entry {
    uint32_t class_id;
    omci_handler_fn handler;
};

// 31 rows, ended by {0, nullptr}.
extern const omci_handler_entry g_handler_map[];

// Every builder zeroes its view first, reads at most the first
// OMCI_VIEW_SNAPSHOT_MAX nodes of the store and never changes the store.
constexpr int OMCI_VIEW_SNAPSHOT_MAX = 32;

// 1 when the view holds at least one connection, 0 when none, -1 on a missing
// view or a failed snapshot.
int omci_build_wan_config(omci_wan_view *view);
// 0 on success, -1 on missing entries or a failed snapshot. `wan_count` may be nullptr.
int omci_build_wan_config_zelk(omci_wan_entry *entries, int entry_count, uint8_t *wan_count);
// 0 on success (also when nothing was found); `count` is the highest occupied
// position + 1, or 0. -1 on a missing view or a failed snapshot.
int omci_build_wlan_config_zelk(omci_wlan_view *view, uint8_t *count);
// 1 when an entity of the builder's classes was dispatched, 0 when not, -1 on
// a missing view or a failed snapshot.
int omci_build_tr069_config_zelk(omci_tr069_view *view);
int omci_build_stun_config_zelk(omci_stun_view *view);
int omci_build_mqtt_config_zelk(omci_mqtt_view *view);
