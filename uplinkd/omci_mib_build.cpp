#include "uplinkd/omci_mib_build.h"

#include <cstring>
#include <initializer_list>
#include <iterator>

#include "uplinkd/omci_attr.h"
#include "uplinkd/omci_entity.h"

namespace {

// Fixed join: each piece whole, one after the other.
template <size_t N, size_t... M>
void join_fixed(uint8_t (&dst)[N], const uint8_t (&...pieces)[M])
{
    static_assert((M + ... + 0) <= N, "pieces overflow the field");
    size_t at = 0;
    ((std::memcpy(dst + at, pieces, M), at += M), ...);
}

// Text join: each further piece goes where the text so far ends (its first
// zero byte). The field may end up full with no terminating zero, so the end
// is searched within the field only and each copy is clipped to it.
template <size_t N, size_t First, size_t... M>
void join_text(uint8_t (&dst)[N], const uint8_t (&first)[First], const uint8_t (&...rest)[M])
{
    static_assert(First <= N);
    std::memcpy(dst, first, First);
    auto append = [&dst](const uint8_t *piece, size_t len) {
        const void *zero = std::memchr(dst, 0, N);
        size_t at = zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(zero) - dst) : N;
        std::memcpy(dst + at, piece, len < N - at ? len : N - at);
    };
    (append(rest, M), ...);
}

template <size_t N, size_t M>
void copy_bytes(uint8_t (&dst)[N], const uint8_t (&src)[M])
{
    static_assert(M <= N);
    std::memcpy(dst, src, M);
}

template <typename T>
const T *obj(const void *data)
{
    return static_cast<const T *>(data);
}

// --- zelk WAN: the connection count comes from 30001; instances at or above it are ignored ---

omci_wan_entry *zelk_entry(uint8_t index, const uint8_t *counter, void *view)
{
    if (index >= *counter || index >= OMCI_WAN_ENTRIES)
        return nullptr;
    return &static_cast<omci_wan_entry *>(view)[index];
}

void handle_wan_number(uint8_t, const void *data, uint8_t *counter, void *)
{
    uint8_t n = obj<omci_wan_number_obj>(data)->wan_number;
    *counter = n < OMCI_WAN_ENTRIES ? n : OMCI_WAN_ENTRIES;
}

void handle_wan_cfg(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_cfg_obj>(data);
    e->wan_index = static_cast<uint8_t>(index + 1);
    join_fixed(e->name, o->name1, o->name2);
    e->connection_mode = o->connection_mode;
    e->connection_type = o->connection_type;
    e->vlan_id = o->vlan_id;
    e->priority = o->priority;
    e->nat_enable = o->nat_enable;
    e->qos_enable = o->qos_enable;
    e->address_mode = o->address_mode;
    e->ip_protocol = o->ip_protocol;
    e->mtu = o->mtu;
    e->connection_status = o->connection_status;
    copy_bytes(e->wan_mac, o->wan_mac);
}

void handle_wan_pppoe(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_pppoe_obj>(data);
    e->pppoe_proxy_enable = o->pppoe_proxy_enable;
    e->pppoe_dia_pattern = o->pppoe_dia_pattern;
    join_fixed(e->pppoe_username, o->pppoe_username1, o->pppoe_username2, o->pppoe_username3,
               o->pppoe_username4);
    join_fixed(e->pppoe_pwd, o->pppoe_pwd1, o->pppoe_pwd2, o->pppoe_pwd3, o->pppoe_pwd4);
    join_fixed(e->pppoe_servicename, o->pppoe_servicename1, o->pppoe_servicename2,
               o->pppoe_servicename3, o->pppoe_servicename4);
}

void handle_wan_port_bind(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_port_bind_obj>(data);
    e->fe_bind = static_cast<uint16_t>(o->fe_bind | o->fe_bind1 << 8);
    e->ssid_bind = static_cast<uint16_t>(o->ssid_bind | o->ssid_bind1 << 8);
}

void handle_wan_static_ipv4(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_static_ip_obj>(data);
    e->ip_address = o->ip_address;
    e->mask = o->mask;
    e->gateway = o->gateway;
    e->primary_dns = o->primary_dns;
    e->secondary_dns = o->secondary_dns;
}

void handle_lan_binding(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_lan_bind_mode_obj>(data);
    e->lan_bind_mode = o->mode;
    e->lan_vlan[0] = o->vlan0;
    e->lan_vlan[1] = o->vlan1;
    e->lan_vlan[2] = o->vlan2;
    e->lan_vlan[3] = o->vlan3;
}

void handle_wan_static_ipv6(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_static_ipv6_obj>(data);
    copy_bytes(e->ipv6_address, o->ip_address);
    e->ipv6_prefix_len = static_cast<uint8_t>(o->mask);
    copy_bytes(e->ipv6_gateway, o->gateway);
    e->request_dns_mode = o->request_dns_mode;
    copy_bytes(e->ipv6_primary_dns, o->primary_dns);
    copy_bytes(e->ipv6_secondary_dns, o->secondary_dns);
}

void handle_wan_dhcpv6(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_dhcp_ipv6_obj>(data);
    e->wan_ipv6_address_mode = o->wan_ipv6_address_mode;
    e->wan_dhcpv6_client_request_addr = o->wan_dhcpv6_client_request_addr;
    e->wan_dhcpv6_client_request_prefix = o->wan_dhcpv6_client_request_prefix;
}

void handle_wan_ds_lite(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_ds_lite_obj>(data);
    e->wan_ds_lite_enable = o->wan_ds_lite_enable;
    e->wan_ds_lite_aftr_mode = o->wan_ds_lite_aftr_mode;
    e->wan_ds_lite_address_type = o->wan_ds_lite_address_type;
    join_fixed(e->wan_ds_lite_address, o->wan_ds_lite_address1, o->wan_ds_lite_address2,
               o->wan_ds_lite_address3, o->wan_ds_lite_address4, o->wan_ds_lite_address5,
               o->wan_ds_lite_address6);
}

void handle_wan_6rd(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_6rd_obj>(data);
    e->wan_6rd_enable = o->wan_6rd_enable;
    e->wan_6rd_router_addr = o->wan_6rd_router_addr;
    e->wan_6rd_ipv4_mask = o->wan_6rd_ipv4_mask;
    copy_bytes(e->wan_6rd_ipv6_prefix, o->wan_6rd_ipv6_prefix);
    e->wan_6rd_ipv6_prefix_len = o->wan_6rd_ipv6_prefix_len;
}

void handle_wan_vlan_mode(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_wan_entry *e = zelk_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_vlan_mode_obj>(data);
    e->vlan_mode = o->vlan_mode;
    e->translation_enable = o->translation_enable;
    e->translation_vlan = o->translation_vlan;
    e->translation_cos = o->translation_cos;
    e->qinq_enable = o->qinq_enable;
    e->tpid = o->tpid;
    e->svlan = o->svlan;
    e->svlan_cos = o->svlan_cos;
}

// --- IP-host WAN: every entity sets the counter to its own index + 1 ---

omci_iphost_wan_entry *iphost_entry(uint8_t index, uint8_t *counter, void *view)
{
    if (index >= OMCI_WAN_ENTRIES)
        return nullptr;
    *counter = static_cast<uint8_t>(index + 1);
    return &static_cast<omci_iphost_wan_entry *>(view)[index];
}

void handle_iphost_wan_cfg(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_iphost_wan_entry *e = iphost_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_cfg_iphost_obj>(data);
    e->ip_options = o->ip_options;
    e->ip_address = o->ip_address;
    e->mask = o->mask;
    e->gateway = o->gateway;
    e->primary_dns = o->primary_dns;
    e->secondary_dns = o->secondary_dns;
    copy_bytes(e->domain_name, o->domain_name);
    copy_bytes(e->host_name, o->host_name);
    e->relay_agent_option = o->relay_agent_option;
}

// 250 and 65417 both provide the PPPoE credentials. The later one must win
// outright, so each clears the fields first: otherwise a short name from one
// would be followed by the leftover bytes of a longer one from the other.
void handle_iphost_wan_pppoe(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_iphost_wan_entry *e = iphost_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_pppoe_iphost_obj>(data);
    e->pppoe_nat_status = o->nat_status;
    e->pppoe_mode = o->mode;
    e->pppoe_connect = o->connect;
    e->pppoe_release_time = o->release_time;
    std::memset(e->pppoe_username, 0, sizeof e->pppoe_username);
    std::memset(e->pppoe_password, 0, sizeof e->pppoe_password);
    copy_bytes(e->pppoe_username, o->username);
    copy_bytes(e->pppoe_password, o->password);
    e->pppoe_state = o->state;
    e->pppoe_online_duration = o->online_duration;
}

void handle_hw_wan_pppoe(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_iphost_wan_entry *e = iphost_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_pppoe_hw_obj>(data);
    e->hw_attr1 = o->attr1;
    std::memset(e->pppoe_username, 0, sizeof e->pppoe_username);
    std::memset(e->pppoe_password, 0, sizeof e->pppoe_password);
    join_text(e->pppoe_username, o->username1, o->username2, o->username3);
    join_text(e->pppoe_password, o->password1, o->password2, o->password3);
    e->hw_attr2 = o->attr2;
}

void handle_iphost_wan_ipv6(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_iphost_wan_entry *e = iphost_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_cfg_ipv6_iphost_obj>(data);
    e->ipv6_ip_options = o->ip_options;
    copy_bytes(e->ipv6_link_local_addr, o->ipv6_link_local_addr);
    copy_bytes(e->ipv6_addr, o->ipv6_addr);
    copy_bytes(e->ipv6_default_router, o->default_router);
    copy_bytes(e->ipv6_primary_dns, o->primary_dns);
    copy_bytes(e->ipv6_secondary_dns, o->secondary_dns);
    e->onlink_prefix_len = o->onlink_prefix[0];
    std::memcpy(e->onlink_prefix, o->onlink_prefix + 1, sizeof e->onlink_prefix);
    e->relay_agent_options = o->relay_agent_options;
}

// --- FH WAN: the counter only rises, to the highest index + 1 or to wan_num ---

omci_fh_wan_entry *fh_entry(uint8_t index, uint8_t *counter, void *view)
{
    if (index >= OMCI_WAN_ENTRIES)
        return nullptr;
    if (*counter < index + 1)
        *counter = static_cast<uint8_t>(index + 1);
    return &static_cast<omci_wan_view *>(view)->fh[index];
}

void handle_wan_cfg_profile_fh(uint8_t, const void *data, uint8_t *counter, void *view)
{
    const auto *o = obj<omci_wan_cfg_profile_fh_obj>(data);
    auto *v = static_cast<omci_wan_view *>(view);
    v->fh_wan_num = static_cast<uint8_t>(o->wan_num);
    v->fh_wan_num_ipv6 = static_cast<uint8_t>(o->wan_num_ipv6);
    if (*counter < o->wan_num)
        *counter = static_cast<uint8_t>(o->wan_num);
}

void handle_wan_cfg_fh(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_fh_wan_entry *e = fh_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_cfg_fh_obj>(data);
    e->wan_index = o->wan_index;
    join_text(e->wan_name, o->wan_name1, o->wan_name2, o->wan_name3, o->wan_name4);
    e->connect_mode = o->connect_mode;
    e->connect_type = o->connect_type;
    e->vlan_id = o->vlan_id;
    e->priority = o->priority;
    e->nat_enable = o->nat_enable;
    e->achieve_addr_mode = o->achieve_addr_mode;
    e->qos_enable = o->qos_enable;
    e->wan_connect_status = o->wan_connect_status;
    e->wan_gemTP_pointer = o->wan_gemTP_pointer;
    copy_bytes(e->dhcp_remoteID, o->dhcp_remoteID);
}

void handle_wan_cfg_pppoe_fh(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_fh_wan_entry *e = fh_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_cfg_pppoe_fh_obj>(data);
    e->proxy_enable = o->proxy_enable;
    join_fixed(e->username, o->username1, o->username2);
    join_fixed(e->password, o->password1, o->password2);
    join_fixed(e->servername, o->servername1, o->servername2);
    e->dial_pattern = o->dial_pattern;
}

void handle_wan_ip_host_fh(uint8_t index, const void *data, uint8_t *counter, void *view)
{
    omci_fh_wan_entry *e = fh_entry(index, counter, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wan_cfg_ip_host_fh_obj>(data);
    e->ipv4_addr = o->ipv4_addr;
    e->ipv4_mask = o->ipv4_mask;
    e->ipv4_gateway = o->ipv4_gateway;
    e->ipv4_pri_dns = o->ipv4_pri_dns;
    e->ipv4_sec_dns = o->ipv4_sec_dns;
    copy_bytes(e->ipv6_addr, o->ipv6_addr);
    copy_bytes(e->ipv6_gateway, o->ipv6_gateway);
    copy_bytes(e->ipv6_pri_dns, o->ipv6_pri_dns);
    copy_bytes(e->ipv6_sec_dns, o->ipv6_sec_dns);
    e->wan_protocol_type = o->wan_protocol_type;
    copy_bytes(e->wan_static_prefix, o->wan_static_prefix);
}

// --- wireless: positions 0-7, the counter is not used ---

omci_wlan_entry *wlan_entry(uint8_t index, void *view)
{
    if (index >= OMCI_WLAN_ENTRIES)
        return nullptr;
    return &static_cast<omci_wlan_view *>(view)->entries[index];
}

void handle_wlan_ctrl(uint8_t index, const void *data, uint8_t *, void *view)
{
    omci_wlan_entry *e = wlan_entry(index, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wlan_ctrl_obj>(data);
    e->radio_valid = 1;
    e->enable = o->enable;
    e->country = o->country;
    e->channel = o->channel;
    e->mode = o->mode;
    e->power = o->power;
}

void handle_wlan_ctrl_ssid1(uint8_t index, const void *data, uint8_t *, void *view)
{
    omci_wlan_entry *e = wlan_entry(index, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wlan_ctrl_ssid1_obj>(data);
    e->ssid_valid = 1;
    join_fixed(e->ssid_name, o->ssid_name1, o->ssid_name2);
    e->ssid_enable = o->enable;
    e->hide = o->hide;
    e->auth_mode = o->auth_mode;
    e->encryp_type = o->encryp_type;
    join_fixed(e->key, o->key1, o->key2, o->key3);
    e->re_key_interval = o->re_key_interval;
}

void handle_wlan_ctrl_ssid2(uint8_t index, const void *data, uint8_t *, void *view)
{
    omci_wlan_entry *e = wlan_entry(index, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wlan_ctrl_ssid2_obj>(data);
    e->ssid_valid = 1;
    e->radius_serv_ip_type = o->radius_serv_ip_type;
    e->radius_serv_ip_len = o->radius_serv_ip_len;
    join_fixed(e->radius_serv_ip, o->radius_serv_ip1, o->radius_serv_ip2, o->radius_serv_ip3,
               o->radius_serv_ip4, o->radius_serv_ip5, o->radius_serv_ip6);
    e->radius_serv_ip_prefix_len = o->radius_serv_ip_prefix_len;
    e->radius_port = o->radius_port;
    join_fixed(e->radius_key, o->radius_key1, o->radius_key2);
}

void handle_wlan_ctrl_ssid3(uint8_t index, const void *data, uint8_t *, void *view)
{
    omci_wlan_entry *e = wlan_entry(index, view);
    if (e == nullptr)
        return;
    const auto *o = obj<omci_wlan_ctrl_ssid3_obj>(data);
    e->ssid_valid = 1;
    e->wep_encryp_level = o->wep_encryp_level;
    e->wep_key_index = o->wep_key_index;
    join_fixed(e->wep_key[0], o->wep_key1_1, o->wep_key1_2);
    join_fixed(e->wep_key[1], o->wep_key2_1, o->wep_key2_2);
    join_fixed(e->wep_key[2], o->wep_key3_1, o->wep_key3_2);
    join_fixed(e->wep_key[3], o->wep_key4_1, o->wep_key4_2);
}

void handle_wlan_ctrl_chan_width(uint8_t index, const void *data, uint8_t *, void *view)
{
    omci_wlan_entry *e = wlan_entry(index, view);
    if (e == nullptr)
        return;
    e->radio_valid = 1;
    e->chan_width = obj<omci_wlan_ctrl_chan_width_obj>(data)->chan_width;
}

void handle_wlan_ctrl_mesh(uint8_t index, const void *data, uint8_t *, void *view)
{
    omci_wlan_entry *e = wlan_entry(index, view);
    if (e == nullptr)
        return;
    e->radio_valid = 1;
    e->mesh_enable = obj<omci_wlan_ctrl_mesh_obj>(data)->enable;
}

// --- TR-069, STUN, MQTT: instance 0 only ---

void handle_tr069_cfg(uint8_t index, const void *data, uint8_t *, void *view)
{
    if (index != 0)
        return;
    const auto *o = obj<omci_tr069_cfg_obj>(data);
    auto *v = static_cast<omci_tr069_view *>(view);
    v->tr069_ind = o->tr069_ind;
    v->inform_enable = o->inform_enable;
    v->inform_interval = o->inform_interval;
    v->certificate_enable = o->certificate_enable;
    copy_bytes(v->id, o->id);
}

void handle_acs_server_data(uint8_t index, const void *data, uint8_t *, void *view)
{
    if (index != 0)
        return;
    const auto *o = obj<omci_acs_server_data_obj>(data);
    auto *v = static_cast<omci_tr069_view *>(view);
    join_fixed(v->acs_server_url, o->acs_server_url1, o->acs_server_url2, o->acs_server_url3,
               o->acs_server_url4, o->acs_server_url5, o->acs_server_url6);
    join_fixed(v->acs_username, o->acs_username1, o->acs_username2, o->acs_username3);
    join_fixed(v->acs_password, o->acs_password1, o->acs_password2, o->acs_password3);
}

void handle_reverse_conn_data(uint8_t index, const void *data, uint8_t *, void *view)
{
    if (index != 0)
        return;
    const auto *o = obj<omci_reverse_conn_data_obj>(data);
    auto *v = static_cast<omci_tr069_view *>(view);
    v->reverse_port = o->reverse_port;
    join_fixed(v->conn_req_username, o->username1, o->username2, o->username3);
    join_fixed(v->conn_req_password, o->password1, o->password2, o->password3);
}

void handle_middleware_cfg(uint8_t index, const void *data, uint8_t *, void *view)
{
    if (index != 0)
        return;
    const auto *o = obj<omci_middleware_cfg_obj>(data);
    auto *v = static_cast<omci_tr069_view *>(view);
    v->middleware_enable = o->middleware_enable;
    v->middleware_port = o->middleware_port;
    join_fixed(v->middleware_url, o->middleware_url1, o->middleware_url2, o->middleware_url3,
               o->middleware_url4, o->middleware_url5, o->middleware_url6);
}

void handle_stun_cfg(uint8_t index, const void *data, uint8_t *, void *view)
{
    if (index != 0)
        return;
    const auto *o = obj<omci_stun_cfg_obj>(data);
    auto *v = static_cast<omci_stun_view *>(view);
    v->stun_status = o->stun_status;
    v->stun_server_port = o->stun_server_port;
    join_fixed(v->stun_server_addr, o->stun_server_addr1, o->stun_server_addr2, o->stun_server_addr3,
               o->stun_server_addr4, o->stun_server_addr5, o->stun_server_addr6);
    join_fixed(v->stun_username, o->stun_username1, o->stun_username2, o->stun_username3);
    join_fixed(v->stun_password, o->stun_password1, o->stun_password2, o->stun_password3);
}

void handle_mqtt_cfg(uint8_t index, const void *data, uint8_t *, void *view)
{
    if (index != 0)
        return;
    const auto *o = obj<omci_mqtt_cfg_obj>(data);
    auto *v = static_cast<omci_mqtt_view *>(view);
    v->connect_status = o->connect_status;
    v->enable = o->enable;
    join_fixed(v->address, o->address1, o->address2, o->address3);
    join_fixed(v->username, o->username1, o->username2);
    join_fixed(v->password, o->password1, o->password2);
    copy_bytes(v->id, o->id);
}

omci_handler_fn find_handler(uint32_t class_id)
{
    for (const omci_handler_entry *h = g_handler_map; h->handler != nullptr; ++h)
        if (h->class_id == class_id)
            return h->handler;
    return nullptr;
}

// Instances above 255 are skipped here: cut to the handlers' 8 bits they would
// land on the entity of instance & 0xFF and overwrite it.
bool dispatch(const omci_entity &e, uint8_t *counter, void *view)
{
    if (e.data == nullptr || e.instance_id > 0xFF)
        return false;
    omci_handler_fn fn = find_handler(e.class_id);
    if (fn == nullptr)
        return false;
    fn(static_cast<uint8_t>(e.instance_id), e.data, counter, view);
    return true;
}

struct omci_snapshot {
    omci_entity nodes[OMCI_VIEW_SNAPSHOT_MAX];
    int count;

    bool take()
    {
        count = omci_entity_snapshot(nodes, OMCI_VIEW_SNAPSHOT_MAX);
        return count >= 0;
    }
};

bool in(uint32_t class_id, std::initializer_list<uint32_t> classes)
{
    for (uint32_t c : classes)
        if (c == class_id)
            return true;
    return false;
}

bool is_zelk_wan(uint32_t c)
{
    return c >= OMCI_CLASS_WAN_NUMBER && c <= OMCI_CLASS_WAN_VLAN_MODE;
}
bool is_fh_wan(uint32_t c)
{
    return in(c, {OMCI_CLASS_WAN_CFG_PROFILE_FH, OMCI_CLASS_WAN_CFG_FH, OMCI_CLASS_WAN_CFG_PPPOE_FH,
                  OMCI_CLASS_WAN_CFG_IP_HOST_FH});
}
bool is_iphost_wan(uint32_t c)
{
    return in(c, {OMCI_CLASS_WAN_CFG_IPHOST, OMCI_CLASS_WAN_PPPOE_IPHOST,
                  OMCI_CLASS_WAN_CFG_IPV6_IPHOST, OMCI_CLASS_WAN_PPPOE_HW});
}

bool any_of(const omci_snapshot &s, bool (*member)(uint32_t))
{
    for (int i = 0; i < s.count; ++i)
        if (member(s.nodes[i].class_id))
            return true;
    return false;
}

// Dispatches the family's nodes of instances 0-3; returns the family's counter.
uint8_t dispatch_family(const omci_snapshot &s, bool (*member)(uint32_t), void *area)
{
    uint8_t counter = 0;
    for (int i = 0; i < s.count; ++i)
        if (member(s.nodes[i].class_id) && s.nodes[i].instance_id < OMCI_WAN_ENTRIES)
            dispatch(s.nodes[i], &counter, area);
    return counter;
}

// Dispatches the nodes of [first, last]; 1 when any was dispatched.
int dispatch_range(uint32_t first, uint32_t last, void *view)
{
    omci_snapshot s;
    if (!s.take())
        return -1;
    uint8_t unused = 0;
    int found = 0;
    for (int i = 0; i < s.count; ++i)
        if (s.nodes[i].class_id >= first && s.nodes[i].class_id <= last &&
            dispatch(s.nodes[i], &unused, view))
            found = 1;
    return found;
}

}  // namespace

const omci_handler_entry g_handler_map[] = {
    {OMCI_CLASS_WAN_CFG_IPHOST, handle_iphost_wan_cfg},
    {OMCI_CLASS_WAN_PPPOE_IPHOST, handle_iphost_wan_pppoe},
    {OMCI_CLASS_WAN_CFG_IPV6_IPHOST, handle_iphost_wan_ipv6},
    {OMCI_CLASS_WAN_NUMBER, handle_wan_number},
    {OMCI_CLASS_WAN_CFG, handle_wan_cfg},
    {OMCI_CLASS_WAN_PPPOE, handle_wan_pppoe},
    {OMCI_CLASS_WAN_PORT_BIND, handle_wan_port_bind},
    {OMCI_CLASS_WAN_STATIC_IP, handle_wan_static_ipv4},
    {OMCI_CLASS_LAN_BIND_MODE, handle_lan_binding},
    {OMCI_CLASS_WAN_STATIC_IPV6, handle_wan_static_ipv6},
    {OMCI_CLASS_WAN_DHCP_IPV6, handle_wan_dhcpv6},
    {OMCI_CLASS_WAN_DS_LITE, handle_wan_ds_lite},
    {OMCI_CLASS_WAN_6RD, handle_wan_6rd},
    {OMCI_CLASS_WAN_VLAN_MODE, handle_wan_vlan_mode},
    {OMCI_CLASS_WLAN_CTRL, handle_wlan_ctrl},
    {OMCI_CLASS_WLAN_CTRL_SSID1, handle_wlan_ctrl_ssid1},
    {OMCI_CLASS_WLAN_CTRL_SSID2, handle_wlan_ctrl_ssid2},
    {OMCI_CLASS_WLAN_CTRL_SSID3, handle_wlan_ctrl_ssid3},
    {OMCI_CLASS_WLAN_CTRL_CHAN_WIDTH, handle_wlan_ctrl_chan_width},
    {OMCI_CLASS_WLAN_CTRL_MESH, handle_wlan_ctrl_mesh},
    {OMCI_CLASS_TR069_CFG, handle_tr069_cfg},
    {OMCI_CLASS_ACS_SERVER_DATA, handle_acs_server_data},
    {OMCI_CLASS_REVERSE_CONN_DATA, handle_reverse_conn_data},
    {OMCI_CLASS_MIDDLEWARE_CFG, handle_middleware_cfg},
    {OMCI_CLASS_STUN_CFG, handle_stun_cfg},
    {OMCI_CLASS_MQTT_CFG, handle_mqtt_cfg},
    {OMCI_CLASS_WAN_CFG_PROFILE_FH, handle_wan_cfg_profile_fh},
    {OMCI_CLASS_WAN_CFG_FH, handle_wan_cfg_fh},
    {OMCI_CLASS_WAN_CFG_PPPOE_FH, handle_wan_cfg_pppoe_fh},
    {OMCI_CLASS_WAN_CFG_IP_HOST_FH, handle_wan_ip_host_fh},
    {OMCI_CLASS_WAN_PPPOE_HW, handle_hw_wan_pppoe},
    {0, nullptr},
};
static_assert(std::size(g_handler_map) == OMCI_CLASS_COUNT + 1);

int omci_build_wan_config_zelk(omci_wan_entry *entries, int entry_count, uint8_t *wan_count)
{
    if (entries == nullptr || entry_count <= 0)
        return -1;
    std::memset(entries, 0, entry_count * sizeof *entries);
    omci_snapshot s;
    if (!s.take())
        return -1;
    uint8_t counter = 0;
    for (int i = 0; i < s.count; ++i)
        if (s.nodes[i].class_id == OMCI_CLASS_WAN_NUMBER)
            dispatch(s.nodes[i], &counter, entries);
    for (int i = 0; i < s.count; ++i) {
        const omci_entity &e = s.nodes[i];
        // The handlers index the caller's array; keep them inside it.
        if (e.class_id > OMCI_CLASS_WAN_NUMBER && e.class_id <= OMCI_CLASS_WAN_VLAN_MODE &&
            e.instance_id < entry_count)
            dispatch(e, &counter, entries);
    }
    if (wan_count != nullptr)
        *wan_count = counter;
    return 0;
}

int omci_build_wan_config(omci_wan_view *view)
{
    if (view == nullptr)
        return -1;
    *view = omci_wan_view{};
    omci_snapshot s;
    if (!s.take())
        return -1;
    if (s.count == 0)
        return 0;
    if (any_of(s, is_zelk_wan)) {
        view->source = OMCI_WAN_SOURCE_ZELK;
        if (omci_build_wan_config_zelk(view->zelk_wan, OMCI_WAN_ENTRIES, &view->wan_count) != 0)
            return -1;
    } else if (any_of(s, is_fh_wan)) {
        view->source = OMCI_WAN_SOURCE_FH;
        view->wan_count = dispatch_family(s, is_fh_wan, view);
    } else if (any_of(s, is_iphost_wan)) {
        view->source = OMCI_WAN_SOURCE_IPHOST;
        view->wan_count = dispatch_family(s, is_iphost_wan, view->iphost);
    } else {
        return 0;
    }
    return view->wan_count > 0 ? 1 : 0;
}

int omci_build_wlan_config_zelk(omci_wlan_view *view, uint8_t *count)
{
    if (view == nullptr)
        return -1;
    *view = omci_wlan_view{};
    if (dispatch_range(OMCI_CLASS_WLAN_CTRL, OMCI_CLASS_WLAN_CTRL_MESH, view) < 0)
        return -1;
    uint8_t highest = 0;
    for (int i = 0; i < OMCI_WLAN_ENTRIES; ++i)
        if (view->entries[i].radio_valid || view->entries[i].ssid_valid)
            highest = static_cast<uint8_t>(i + 1);
    if (count != nullptr)
        *count = highest;
    return 0;
}

int omci_build_tr069_config_zelk(omci_tr069_view *view)
{
    if (view == nullptr)
        return -1;
    *view = omci_tr069_view{};
    return dispatch_range(OMCI_CLASS_TR069_CFG, OMCI_CLASS_REVERSE_CONN_DATA, view);
}

int omci_build_stun_config_zelk(omci_stun_view *view)
{
    if (view == nullptr)
        return -1;
    *view = omci_stun_view{};
    return dispatch_range(OMCI_CLASS_STUN_CFG, OMCI_CLASS_STUN_CFG, view);
}

int omci_build_mqtt_config_zelk(omci_mqtt_view *view)
{
    if (view == nullptr)
        return -1;
    *view = omci_mqtt_view{};
    return dispatch_range(OMCI_CLASS_MQTT_CFG, OMCI_CLASS_MQTT_CFG, view);
}
