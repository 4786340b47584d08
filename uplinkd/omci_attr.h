// OMCI managed-entity descriptors: for each class the operator may send, its
// attributes in mask order with their wire sizes, and the packed object the
// store keeps for one entity of that class.
//
// Every class is written once, as an attribute list X(obj, name, wire, stored);
// the object struct and the descriptor rows are both generated from it, so the
// layout the decoder writes and the layout the handlers read cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

struct omci_attr_desc {
    const char *name;
    uint32_t offset;  // place of the value in the attribute object
    uint32_t size;    // wire size: bytes the value takes in a message
    uint16_t mask;    // the attribute's bit in the message's attribute mask
    uint32_t stored;  // bytes kept in the object; below `size` the surplus is dropped
};

struct omci_me_desc {
    uint32_t class_id;
    uint32_t obj_size;
    uint32_t attr_count;
    const omci_attr_desc *attrs;
};

enum omci_class_id : uint16_t {
    OMCI_CLASS_WAN_NUMBER = 30001,
    OMCI_CLASS_WAN_CFG = 30002,
    OMCI_CLASS_WAN_PPPOE = 30003,
    OMCI_CLASS_WAN_PORT_BIND = 30004,
    OMCI_CLASS_WAN_STATIC_IP = 30005,
    OMCI_CLASS_LAN_BIND_MODE = 30006,
    OMCI_CLASS_WAN_STATIC_IPV6 = 30007,
    OMCI_CLASS_WAN_DHCP_IPV6 = 30008,
    OMCI_CLASS_WAN_DS_LITE = 30009,
    OMCI_CLASS_WAN_6RD = 30010,
    OMCI_CLASS_WAN_VLAN_MODE = 30011,
    OMCI_CLASS_WAN_PPPOE_HW = 65417,
    OMCI_CLASS_WAN_PPPOE_IPHOST = 250,
    OMCI_CLASS_WAN_CFG_IPHOST = 134,
    OMCI_CLASS_WAN_CFG_IPV6_IPHOST = 347,
    OMCI_CLASS_WAN_CFG_PROFILE_FH = 65321,
    OMCI_CLASS_WAN_CFG_FH = 65322,
    OMCI_CLASS_WAN_CFG_PPPOE_FH = 65323,
    OMCI_CLASS_WAN_CFG_IP_HOST_FH = 65329,
    OMCI_CLASS_WLAN_CTRL = 30100,
    OMCI_CLASS_WLAN_CTRL_SSID1 = 30101,
    OMCI_CLASS_WLAN_CTRL_SSID2 = 30102,
    OMCI_CLASS_WLAN_CTRL_SSID3 = 30103,
    OMCI_CLASS_WLAN_CTRL_CHAN_WIDTH = 30104,
    OMCI_CLASS_WLAN_CTRL_MESH = 30105,
    OMCI_CLASS_TR069_CFG = 30310,
    OMCI_CLASS_ACS_SERVER_DATA = 30311,
    OMCI_CLASS_REVERSE_CONN_DATA = 30312,
    OMCI_CLASS_MIDDLEWARE_CFG = 30313,
    OMCI_CLASS_STUN_CFG = 30314,
    OMCI_CLASS_MQTT_CFG = 30422,
};

constexpr uint32_t OMCI_CLASS_COUNT = 31;

// Numbers of 2 and 4 bytes are held in host order, everything else as bytes.
template <uint32_t Wire, uint32_t Stored>
struct omci_field {
    using type = uint8_t[Stored];
};
template <>
struct omci_field<1, 1> {
    using type = uint8_t;
};
template <>
struct omci_field<2, 2> {
    using type = uint16_t;
};
template <>
struct omci_field<4, 4> {
    using type = uint32_t;
};

// clang-format off
#define OMCI_WAN_NUMBER_ATTRS(X, T) \
    X(T, wan_number, 1, 1)

#define OMCI_WAN_CFG_ATTRS(X, T) \
    X(T, index, 1, 1) X(T, name1, 20, 20) X(T, name2, 20, 20) X(T, connection_mode, 1, 1) \
    X(T, connection_type, 1, 1) X(T, vlan_id, 2, 2) X(T, priority, 1, 1) X(T, nat_enable, 1, 1) \
    X(T, address_mode, 1, 1) X(T, qos_enable, 1, 1) X(T, connection_status, 1, 1) X(T, mtu, 2, 2) \
    X(T, ip_protocol, 1, 1) X(T, wan_mac, 6, 6)

#define OMCI_WAN_PPPOE_ATTRS(X, T) \
    X(T, pppoe_proxy_enable, 1, 1) X(T, pppoe_dia_pattern, 1, 1) \
    X(T, pppoe_username1, 16, 16) X(T, pppoe_username2, 16, 16) X(T, pppoe_pwd1, 16, 16) \
    X(T, pppoe_pwd2, 16, 16) X(T, pppoe_servicename1, 16, 16) X(T, pppoe_servicename2, 16, 16) \
    X(T, pppoe_username3, 16, 16) X(T, pppoe_username4, 16, 16) X(T, pppoe_pwd3, 16, 16) \
    X(T, pppoe_pwd4, 16, 16) X(T, pppoe_servicename3, 16, 16) X(T, pppoe_servicename4, 16, 16)

#define OMCI_WAN_PORT_BIND_ATTRS(X, T) \
    X(T, fe_bind, 1, 1) X(T, ssid_bind, 1, 1) X(T, fe_bind1, 1, 1) X(T, ssid_bind1, 1, 1)

#define OMCI_WAN_STATIC_IP_ATTRS(X, T) \
    X(T, ip_address, 4, 4) X(T, mask, 4, 4) X(T, gateway, 4, 4) X(T, primary_dns, 4, 4) \
    X(T, secondary_dns, 4, 4)

#define OMCI_LAN_BIND_MODE_ATTRS(X, T) \
    X(T, mode, 1, 1) X(T, vlan0, 4, 4) X(T, vlan1, 4, 4) X(T, vlan2, 4, 4) X(T, vlan3, 4, 4)

#define OMCI_WAN_STATIC_IPV6_ATTRS(X, T) \
    X(T, ip_address, 16, 16) X(T, mask, 4, 4) X(T, gateway, 16, 16) X(T, request_dns_mode, 1, 1) \
    X(T, primary_dns, 16, 16) X(T, secondary_dns, 16, 16)

#define OMCI_WAN_DHCP_IPV6_ATTRS(X, T) \
    X(T, wan_ipv6_address_mode, 1, 1) X(T, wan_dhcpv6_client_request_addr, 1, 1) \
    X(T, wan_dhcpv6_client_request_prefix, 1, 1)

#define OMCI_WAN_DS_LITE_ATTRS(X, T) \
    X(T, wan_ds_lite_enable, 1, 1) X(T, wan_ds_lite_aftr_mode, 1, 1) \
    X(T, wan_ds_lite_address_type, 1, 1) X(T, wan_ds_lite_address1, 22, 22) \
    X(T, wan_ds_lite_address2, 22, 22) X(T, wan_ds_lite_address3, 22, 22) \
    X(T, wan_ds_lite_address4, 22, 22) X(T, wan_ds_lite_address5, 22, 22) \
    X(T, wan_ds_lite_address6, 18, 18)

#define OMCI_WAN_6RD_ATTRS(X, T) \
    X(T, wan_6rd_enable, 1, 1) X(T, wan_6rd_router_addr, 4, 4) X(T, wan_6rd_ipv4_mask, 4, 4) \
    X(T, wan_6rd_ipv6_prefix, 16, 16) X(T, wan_6rd_ipv6_prefix_len, 4, 4)

#define OMCI_WAN_VLAN_MODE_ATTRS(X, T) \
    X(T, vlan_mode, 2, 2) X(T, translation_enable, 1, 1) X(T, translation_vlan, 2, 2) \
    X(T, translation_cos, 2, 2) X(T, qinq_enable, 1, 1) X(T, tpid, 2, 2) X(T, svlan, 2, 2) \
    X(T, svlan_cos, 2, 2)

#define OMCI_WAN_PPPOE_HW_ATTRS(X, T) \
    X(T, attr1, 1, 1) X(T, username1, 25, 25) X(T, username2, 25, 25) X(T, username3, 25, 25) \
    X(T, password1, 25, 25) X(T, password2, 25, 25) X(T, password3, 26, 25) X(T, attr2, 1, 1)

#define OMCI_WAN_PPPOE_IPHOST_ATTRS(X, T) \
    X(T, nat_status, 1, 1) X(T, mode, 1, 1) X(T, connect, 1, 1) X(T, release_time, 2, 2) \
    X(T, username, 25, 25) X(T, password, 25, 25) X(T, state, 1, 1) X(T, online_duration, 4, 4)

#define OMCI_WAN_CFG_IPHOST_ATTRS(X, T) \
    X(T, ip_options, 1, 1) X(T, mac_addr, 6, 6) X(T, onu_identifier, 25, 25) \
    X(T, ip_address, 4, 4) X(T, mask, 4, 4) X(T, gateway, 4, 4) X(T, primary_dns, 4, 4) \
    X(T, secondary_dns, 4, 4) X(T, cur_addr, 4, 4) X(T, cur_mask, 4, 4) X(T, cur_gateway, 4, 4) \
    X(T, cur_pri_dns, 4, 4) X(T, cur_sec_dns, 4, 4) X(T, domain_name, 25, 25) \
    X(T, host_name, 25, 25) X(T, relay_agent_option, 2, 2)

#define OMCI_WAN_CFG_IPV6_IPHOST_ATTRS(X, T) \
    X(T, ip_options, 1, 1) X(T, mac_addr, 6, 6) X(T, onu_identifier, 25, 25) \
    X(T, ipv6_link_local_addr, 16, 16) X(T, ipv6_addr, 16, 16) X(T, default_router, 16, 16) \
    X(T, primary_dns, 16, 16) X(T, secondary_dns, 16, 16) X(T, cur_addr_table, 1, 1) \
    X(T, cur_def_router_tab, 1, 1) X(T, cur_dns_tab, 1, 1) X(T, DUID, 26, 25) \
    X(T, onlink_prefix, 17, 17) X(T, cur_onlink_prefix_tab, 1, 1) X(T, relay_agent_options, 2, 2)

#define OMCI_WAN_CFG_PROFILE_FH_ATTRS(X, T) \
    X(T, wan_num, 2, 2) X(T, wan_num_ipv6, 2, 2)

#define OMCI_WAN_CFG_FH_ATTRS(X, T) \
    X(T, wan_index, 1, 1) X(T, wan_name1, 16, 16) X(T, wan_name2, 16, 16) X(T, wan_name3, 16, 16) \
    X(T, wan_name4, 16, 16) X(T, connect_mode, 1, 1) X(T, connect_type, 1, 1) X(T, vlan_id, 2, 2) \
    X(T, priority, 2, 2) X(T, nat_enable, 1, 1) X(T, achieve_addr_mode, 1, 1) \
    X(T, qos_enable, 1, 1) X(T, wan_connect_status, 1, 1) X(T, wan_gemTP_pointer, 2, 2) \
    X(T, dhcp_remoteID, 10, 10)

#define OMCI_WAN_CFG_PPPOE_FH_ATTRS(X, T) \
    X(T, proxy_enable, 1, 1) X(T, username1, 16, 16) X(T, username2, 16, 16) \
    X(T, password1, 16, 16) X(T, password2, 16, 16) X(T, servername1, 16, 16) \
    X(T, servername2, 16, 16) X(T, dial_pattern, 1, 1)

#define OMCI_WAN_CFG_IP_HOST_FH_ATTRS(X, T) \
    X(T, ipv4_addr, 4, 4) X(T, ipv4_mask, 4, 4) X(T, ipv4_gateway, 4, 4) X(T, ipv4_pri_dns, 4, 4) \
    X(T, ipv4_sec_dns, 4, 4) X(T, ipv6_addr, 19, 19) X(T, ipv6_gateway, 19, 19) \
    X(T, ipv6_pri_dns, 19, 19) X(T, ipv6_sec_dns, 19, 19) X(T, wan_protocol_type, 1, 1) \
    X(T, wan_static_prefix, 19, 19)

#define OMCI_WLAN_CTRL_ATTRS(X, T) \
    X(T, enable, 1, 1) X(T, country, 1, 1) X(T, channel, 1, 1) X(T, mode, 1, 1) X(T, power, 1, 1)

#define OMCI_WLAN_CTRL_SSID1_ATTRS(X, T) \
    X(T, ssid_name1, 16, 16) X(T, ssid_name2, 16, 16) X(T, enable, 1, 1) X(T, hide, 1, 1) \
    X(T, auth_mode, 1, 1) X(T, encryp_type, 1, 1) X(T, key1, 22, 22) X(T, key2, 22, 22) \
    X(T, key3, 22, 20) X(T, re_key_interval, 4, 4)

#define OMCI_WLAN_CTRL_SSID2_ATTRS(X, T) \
    X(T, radius_serv_ip_type, 1, 1) X(T, radius_serv_ip_len, 1, 1) \
    X(T, radius_serv_ip1, 22, 22) X(T, radius_serv_ip2, 22, 22) X(T, radius_serv_ip3, 22, 22) \
    X(T, radius_serv_ip4, 22, 22) X(T, radius_serv_ip5, 22, 22) X(T, radius_serv_ip6, 18, 18) \
    X(T, radius_serv_ip_prefix_len, 4, 4) X(T, radius_port, 2, 2) X(T, radius_key1, 16, 16) \
    X(T, radius_key2, 16, 16)

#define OMCI_WLAN_CTRL_SSID3_ATTRS(X, T) \
    X(T, wep_encryp_level, 1, 1) X(T, wep_key_index, 1, 1) X(T, wep_key1_1, 16, 16) \
    X(T, wep_key1_2, 16, 16) X(T, wep_key2_1, 16, 16) X(T, wep_key2_2, 16, 16) \
    X(T, wep_key3_1, 16, 16) X(T, wep_key3_2, 16, 16) X(T, wep_key4_1, 16, 16) \
    X(T, wep_key4_2, 16, 16)

#define OMCI_WLAN_CTRL_CHAN_WIDTH_ATTRS(X, T) \
    X(T, chan_width, 1, 1)

#define OMCI_WLAN_CTRL_MESH_ATTRS(X, T) \
    X(T, enable, 1, 1)

#define OMCI_TR069_CFG_ATTRS(X, T) \
    X(T, tr069_ind, 1, 1) X(T, inform_enable, 1, 1) X(T, inform_interval, 4, 4) \
    X(T, certificate_enable, 1, 1) X(T, id, 20, 20)

#define OMCI_ACS_SERVER_DATA_ATTRS(X, T) \
    X(T, acs_server_url1, 22, 22) X(T, acs_server_url2, 22, 22) X(T, acs_server_url3, 22, 22) \
    X(T, acs_server_url4, 22, 22) X(T, acs_server_url5, 22, 22) X(T, acs_server_url6, 18, 18) \
    X(T, acs_username1, 22, 22) X(T, acs_username2, 22, 22) X(T, acs_username3, 20, 20) \
    X(T, acs_password1, 22, 22) X(T, acs_password2, 22, 22) X(T, acs_password3, 20, 20)

#define OMCI_REVERSE_CONN_DATA_ATTRS(X, T) \
    X(T, reverse_port, 2, 2) X(T, username1, 22, 22) X(T, username2, 22, 22) \
    X(T, username3, 20, 20) X(T, password1, 22, 22) X(T, password2, 22, 22) \
    X(T, password3, 20, 20)

#define OMCI_MIDDLEWARE_CFG_ATTRS(X, T) \
    X(T, middleware_enable, 1, 1) X(T, middleware_port, 2, 2) X(T, middleware_url1, 22, 22) \
    X(T, middleware_url2, 22, 22) X(T, middleware_url3, 22, 22) X(T, middleware_url4, 22, 22) \
    X(T, middleware_url5, 22, 22) X(T, middleware_url6, 18, 18)

#define OMCI_STUN_CFG_ATTRS(X, T) \
    X(T, stun_status, 1, 1) X(T, stun_server_addr1, 22, 22) X(T, stun_server_addr2, 22, 22) \
    X(T, stun_server_addr3, 22, 22) X(T, stun_server_addr4, 22, 22) \
    X(T, stun_server_addr5, 22, 22) X(T, stun_server_addr6, 18, 18) \
    X(T, stun_server_port, 2, 2) X(T, stun_username1, 22, 22) X(T, stun_username2, 22, 22) \
    X(T, stun_username3, 20, 20) X(T, stun_password1, 22, 22) X(T, stun_password2, 22, 22) \
    X(T, stun_password3, 20, 20)

#define OMCI_MQTT_CFG_ATTRS(X, T) \
    X(T, connect_status, 1, 1) X(T, enable, 1, 1) X(T, address1, 22, 22) X(T, address2, 22, 22) \
    X(T, address3, 20, 20) X(T, username1, 16, 16) X(T, username2, 16, 16) \
    X(T, password1, 16, 16) X(T, password2, 16, 16) X(T, id, 20, 20)

// Every class as (descriptor, object struct, attribute list, class id), in registry order.
#define OMCI_CLASSES(C) \
    C(wan_number_desc, omci_wan_number_obj, OMCI_WAN_NUMBER_ATTRS, OMCI_CLASS_WAN_NUMBER) \
    C(wan_cfg_desc, omci_wan_cfg_obj, OMCI_WAN_CFG_ATTRS, OMCI_CLASS_WAN_CFG) \
    C(wan_pppoe_desc, omci_wan_pppoe_obj, OMCI_WAN_PPPOE_ATTRS, OMCI_CLASS_WAN_PPPOE) \
    C(wan_port_bind_desc, omci_wan_port_bind_obj, OMCI_WAN_PORT_BIND_ATTRS, OMCI_CLASS_WAN_PORT_BIND) \
    C(wan_static_ip_desc, omci_wan_static_ip_obj, OMCI_WAN_STATIC_IP_ATTRS, OMCI_CLASS_WAN_STATIC_IP) \
    C(lan_bind_mode_desc, omci_lan_bind_mode_obj, OMCI_LAN_BIND_MODE_ATTRS, OMCI_CLASS_LAN_BIND_MODE) \
    C(wan_static_ipv6_desc, omci_wan_static_ipv6_obj, OMCI_WAN_STATIC_IPV6_ATTRS, OMCI_CLASS_WAN_STATIC_IPV6) \
    C(wan_dhcp_ipv6_desc, omci_wan_dhcp_ipv6_obj, OMCI_WAN_DHCP_IPV6_ATTRS, OMCI_CLASS_WAN_DHCP_IPV6) \
    C(wan_ds_lite_desc, omci_wan_ds_lite_obj, OMCI_WAN_DS_LITE_ATTRS, OMCI_CLASS_WAN_DS_LITE) \
    C(wan_6rd_desc, omci_wan_6rd_obj, OMCI_WAN_6RD_ATTRS, OMCI_CLASS_WAN_6RD) \
    C(wan_vlan_mode_desc, omci_wan_vlan_mode_obj, OMCI_WAN_VLAN_MODE_ATTRS, OMCI_CLASS_WAN_VLAN_MODE) \
    C(wan_pppoe_hw_desc, omci_wan_pppoe_hw_obj, OMCI_WAN_PPPOE_HW_ATTRS, OMCI_CLASS_WAN_PPPOE_HW) \
    C(wan_pppoe_iphost_desc, omci_wan_pppoe_iphost_obj, OMCI_WAN_PPPOE_IPHOST_ATTRS, OMCI_CLASS_WAN_PPPOE_IPHOST) \
    C(wan_cfg_iphost_desc, omci_wan_cfg_iphost_obj, OMCI_WAN_CFG_IPHOST_ATTRS, OMCI_CLASS_WAN_CFG_IPHOST) \
    C(wan_cfg_ipv6_iphost_desc, omci_wan_cfg_ipv6_iphost_obj, OMCI_WAN_CFG_IPV6_IPHOST_ATTRS, OMCI_CLASS_WAN_CFG_IPV6_IPHOST) \
    C(wan_cfg_profile_fh_desc, omci_wan_cfg_profile_fh_obj, OMCI_WAN_CFG_PROFILE_FH_ATTRS, OMCI_CLASS_WAN_CFG_PROFILE_FH) \
    C(wan_cfg_fh_desc, omci_wan_cfg_fh_obj, OMCI_WAN_CFG_FH_ATTRS, OMCI_CLASS_WAN_CFG_FH) \
    C(wan_cfg_pppoe_fh_desc, omci_wan_cfg_pppoe_fh_obj, OMCI_WAN_CFG_PPPOE_FH_ATTRS, OMCI_CLASS_WAN_CFG_PPPOE_FH) \
    C(wan_cfg_ip_host_fh_desc, omci_wan_cfg_ip_host_fh_obj, OMCI_WAN_CFG_IP_HOST_FH_ATTRS, OMCI_CLASS_WAN_CFG_IP_HOST_FH) \
    C(wlan_ctrl_desc, omci_wlan_ctrl_obj, OMCI_WLAN_CTRL_ATTRS, OMCI_CLASS_WLAN_CTRL) \
    C(wlan_ctrl_ssid1_desc, omci_wlan_ctrl_ssid1_obj, OMCI_WLAN_CTRL_SSID1_ATTRS, OMCI_CLASS_WLAN_CTRL_SSID1) \
    C(wlan_ctrl_ssid2_desc, omci_wlan_ctrl_ssid2_obj, OMCI_WLAN_CTRL_SSID2_ATTRS, OMCI_CLASS_WLAN_CTRL_SSID2) \
    C(wlan_ctrl_ssid3_desc, omci_wlan_ctrl_ssid3_obj, OMCI_WLAN_CTRL_SSID3_ATTRS, OMCI_CLASS_WLAN_CTRL_SSID3) \
    C(wlan_ctrl_chan_width_desc, omci_wlan_ctrl_chan_width_obj, OMCI_WLAN_CTRL_CHAN_WIDTH_ATTRS, OMCI_CLASS_WLAN_CTRL_CHAN_WIDTH) \
    C(wlan_ctrl_mesh_desc, omci_wlan_ctrl_mesh_obj, OMCI_WLAN_CTRL_MESH_ATTRS, OMCI_CLASS_WLAN_CTRL_MESH) \
    C(tr069_cfg_desc, omci_tr069_cfg_obj, OMCI_TR069_CFG_ATTRS, OMCI_CLASS_TR069_CFG) \
    C(acs_server_data_desc, omci_acs_server_data_obj, OMCI_ACS_SERVER_DATA_ATTRS, OMCI_CLASS_ACS_SERVER_DATA) \
    C(reverse_conn_data_desc, omci_reverse_conn_data_obj, OMCI_REVERSE_CONN_DATA_ATTRS, OMCI_CLASS_REVERSE_CONN_DATA) \
    C(middleware_cfg_desc, omci_middleware_cfg_obj, OMCI_MIDDLEWARE_CFG_ATTRS, OMCI_CLASS_MIDDLEWARE_CFG) \
    C(stun_cfg_desc, omci_stun_cfg_obj, OMCI_STUN_CFG_ATTRS, OMCI_CLASS_STUN_CFG) \
    C(mqtt_cfg_desc, omci_mqtt_cfg_obj, OMCI_MQTT_CFG_ATTRS, OMCI_CLASS_MQTT_CFG)
// clang-format on

// The attribute objects: packed, so an attribute's offset is the sum of the
// stored widths before it. Handlers read them by member; the decoder writes
// them through the descriptor offsets.
#define OMCI_OBJ_FIELD(T, n, wire, stored) omci_field<wire, stored>::type n;
#define OMCI_OBJ_STRUCT(desc, obj, attrs, cls) \
    struct __attribute__((packed)) obj {       \
        attrs(OMCI_OBJ_FIELD, obj)             \
    };
OMCI_CLASSES(OMCI_OBJ_STRUCT)
#undef OMCI_OBJ_STRUCT
#undef OMCI_OBJ_FIELD

// The 31 descriptors in registry order, ended by an all-zero entry.
extern const omci_me_desc me_desc_registry[OMCI_CLASS_COUNT + 1];

// The class's descriptor, or nullptr.
const omci_me_desc *get_attr_desc_by_classid(uint32_t class_id);
