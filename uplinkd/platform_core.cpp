#include "uplinkd/platform_core.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "uplinkd/device_api.h"
#include "uplinkd/lldp_build.h"
#include "uplinkd/lldp_sm.h"
#include "uplinkd/oam_api.h"
#include "uplinkd/oam_mib_build.h"
#include "uplinkd/omci_api.h"
#include "uplinkd/omci_mib_build.h"
#include "uplinkd/platform_openwrt_cfg.h"
#include "uplinkd/platform_openwrt_convert.h"

uint64_t g_omci_apply_deadline_ms = 0;
uint64_t g_oam_apply_deadline_ms = 0;

namespace {

constexpr int SUBTYPE_OMCI_DATA = 6;
constexpr int SUBTYPE_OAM_DATA = 8;
constexpr int SUBTYPE_STATUS_REQUEST = 11;
constexpr int SUBTYPE_WAN_STATUS = 12;
constexpr int SUBTYPE_WIFI24_STATUS = 13;
constexpr int SUBTYPE_WIFI5_STATUS = 14;
constexpr int SUBTYPE_TR069_STATUS = 15;
constexpr int SUBTYPE_STUN_STATUS = 16;
constexpr int SUBTYPE_MQTT_STATUS = 17;

// A delivery that arrives while no time has ever been read cannot be given a
// deadline; the first poll with a clock sets it.
constexpr uint64_t DEADLINE_UNTIMED = UINT64_MAX;

// Guards both stores, both deadlines and the clock fallback. Held by a
// delivery while it decodes and by a pass while it builds its views, never
// while the router is read or written.
std::mutex g_lock;
uint64_t g_last_good_ms = 0;

// Called with g_lock held.
uint64_t clock_now()
{
    uint64_t now = lldp_dev_now_ms();
    if (now != 0) g_last_good_ms = now;
    return g_last_good_ms;
}

uint64_t next_deadline(uint64_t now) { return now != 0 ? now + PLATFORM_APPLY_DELAY_MS : DEADLINE_UNTIMED; }

// ---- apply passes ----

struct Records {
    lldp_wan_config wan, wan_copy;
    lldp_wlan_config w24, w24_copy, w5, w5_copy;
    lldp_tr069_config tr069, tr069_copy;
    lldp_stun_config stun, stun_copy;
    lldp_mqtt_config mqtt, mqtt_copy;
};

struct OmciViews {
    omci_wan_view wan;
    omci_wlan_view wlan;
    omci_tr069_view tr069;
    omci_stun_view stun;
    omci_mqtt_view mqtt;
};

struct OamViews {
    oam_wan_view wan;
    oam_wlan_view wlan;
    oam_tr069_view tr069;
    oam_stun_view stun;
    oam_mqtt_view mqtt;
};

struct Present {
    bool wan, wlan, tr069, stun, mqtt;
};

template <typename Views>
struct WorkBlock {
    Views views;
    Records rec;
};

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

template <typename Views>
using BlockPtr = std::unique_ptr<WorkBlock<Views>, FreeDeleter>;

template <typename Views>
BlockPtr<Views> alloc_block()
{
    return BlockPtr<Views>(static_cast<WorkBlock<Views> *>(std::calloc(1, sizeof(WorkBlock<Views>))));
}

Present build_views(OmciViews &v)
{
    Present p{};
    p.wan = omci_build_wan_config(&v.wan) == 1;
    uint8_t count = 0;
    p.wlan = omci_build_wlan_config_zelk(&v.wlan, &count) == 0 && count != 0;
    p.tr069 = omci_build_tr069_config_zelk(&v.tr069) == 1;
    p.stun = omci_build_stun_config_zelk(&v.stun) == 1;
    p.mqtt = omci_build_mqtt_config_zelk(&v.mqtt) == 1;
    omci_all_data_cleanup();
    return p;
}

Present build_views(OamViews &v)
{
    Present p{};
    p.wan = oam_build_wan_config_zelk(&v.wan) == 1;
    p.wlan = oam_build_wlan_config_zelk(&v.wlan) == 1;
    p.tr069 = oam_build_tr069_config_zelk(&v.tr069) == 1;
    p.stun = oam_build_stun_config_zelk(&v.stun) == 1;
    p.mqtt = oam_build_mqtt_config_zelk(&v.mqtt) == 1;
    oam_all_data_cleanup();
    return p;
}

void translate_wan(const OmciViews &v, lldp_wan_config *r) { platform_omci_mib_to_lldp_wan_config(&v.wan, r); }
void translate_wan(const OamViews &v, lldp_wan_config *r) { platform_oam_mib_to_lldp_wan_config(&v.wan, r); }
void translate_wlan(const OmciViews &v, lldp_wlan_config *a, lldp_wlan_config *b)
{
    platform_omci_mib_to_lldp_wlan_config(&v.wlan, a, b);
}
void translate_wlan(const OamViews &v, lldp_wlan_config *a, lldp_wlan_config *b)
{
    platform_oam_mib_to_lldp_wlan_config(&v.wlan, a, b);
}
void translate_tr069(const OmciViews &v, lldp_tr069_config *r) { platform_omci_mib_to_lldp_tr069_config(&v.tr069, r); }
void translate_tr069(const OamViews &v, lldp_tr069_config *r) { platform_oam_mib_to_lldp_tr069_config(&v.tr069, r); }
void translate_stun(const OmciViews &v, lldp_stun_config *r) { platform_omci_mib_to_lldp_stun_config(&v.stun, r); }
void translate_stun(const OamViews &v, lldp_stun_config *r) { platform_oam_mib_to_lldp_stun_config(&v.stun, r); }
void translate_mqtt(const OmciViews &v, lldp_mqtt_config *r) { platform_omci_mib_to_lldp_mqtt_config(&v.mqtt, r); }
void translate_mqtt(const OamViews &v, lldp_mqtt_config *r) { platform_oam_mib_to_lldp_mqtt_config(&v.mqtt, r); }

// Reads, translates, compares and writes each kind the views hold. Runs
// without the lock: service reloads take seconds.
template <typename Views>
void apply_block(WorkBlock<Views> &b, const Present &p)
{
    Records &r = b.rec;
    if (p.wan && platform_wan_config_status_get(&r.wan) == 0) {
        r.wan_copy = r.wan;
        translate_wan(b.views, &r.wan_copy);
        if (platform_wan_config_status_diff(&r.wan_copy, &r.wan)) platform_wan_config_status_set(&r.wan_copy);
    }
    if (p.wlan && platform_24g_config_status_get(&r.w24) == 0 && platform_5g_config_status_get(&r.w5) == 0) {
        r.w24_copy = r.w24;
        r.w5_copy = r.w5;
        translate_wlan(b.views, &r.w24_copy, &r.w5_copy);
        if (platform_wlan_config_status_diff(&r.w24_copy, &r.w24)) platform_wlan_config_status_set(&r.w24_copy);
        if (platform_wlan_config_status_diff(&r.w5_copy, &r.w5)) platform_wlan_config_status_set(&r.w5_copy);
    }
    if (p.tr069 && platform_tr069_config_status_get(&r.tr069) == 0) {
        r.tr069_copy = r.tr069;
        translate_tr069(b.views, &r.tr069_copy);
        if (platform_tr069_config_status_diff(&r.tr069_copy, &r.tr069))
            platform_tr069_config_status_set(&r.tr069_copy);
    }
    if (p.stun && platform_stun_config_status_get(&r.stun) == 0) {
        r.stun_copy = r.stun;
        translate_stun(b.views, &r.stun_copy);
        if (platform_stun_config_status_diff(&r.stun_copy, &r.stun)) platform_stun_config_status_set(&r.stun_copy);
    }
    if (p.mqtt && platform_mqtt_config_status_get(&r.mqtt) == 0) {
        r.mqtt_copy = r.mqtt;
        translate_mqtt(b.views, &r.mqtt_copy);
        if (platform_mqtt_config_status_diff(&r.mqtt_copy, &r.mqtt)) platform_mqtt_config_status_set(&r.mqtt_copy);
    }
}

void cleanup_store(OmciViews *) { omci_all_data_cleanup(); }
void cleanup_store(OamViews *) { oam_all_data_cleanup(); }

template <typename Views>
void run_pass(uint64_t *deadline)
{
    BlockPtr<Views> block;
    Present present{};
    int source_oam = 0;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        uint64_t now = clock_now();
        if (*deadline == DEADLINE_UNTIMED && now != 0) *deadline = next_deadline(now);
        if (*deadline == 0 || now == 0 || now < *deadline) return;
        *deadline = 0;
        block = alloc_block<Views>();
        if (!block) {
            cleanup_store(static_cast<Views *>(nullptr));
            return;
        }
        present = build_views(block->views);
        source_oam = g_status_oam.load();
    }
    platform_wifi_rekey_pin(source_oam);
    apply_block(*block, present);
    platform_wifi_rekey_pin(-1);
}

// ---- status replies ----

// One frame with one vendor TLV; false when it could not be built.
bool send_record(const char *ifname, int subtype, const void *payload, uint32_t len)
{
    lldp_org_entry entry{};
    if (lldp_build_prepare_org(subtype, static_cast<const uint8_t *>(payload), len, &entry) != 0) return false;
    uint8_t frame[LLDP_FRAME_MAX];
    std::size_t frame_len = 0;
    if (lldp_build_frame_by_ifname(ifname, &entry, 1, frame, sizeof frame, &frame_len) != 0) return false;
    if (frame_len != 0) lldp_dev_tx_send(ifname, frame, frame_len);
    return true;
}

}  // namespace

// ---- byte order ----

void platform_wan_config_status_host_to_net(lldp_wan_config *r)
{
    if (r == nullptr) return;
    r->vlan_id = htons(r->vlan_id);
    r->ipv4_addr = htonl(r->ipv4_addr);
    r->ipv4_mask = htonl(r->ipv4_mask);
    r->ipv4_gateway = htonl(r->ipv4_gateway);
    r->ipv4_dns1 = htonl(r->ipv4_dns1);
    r->ipv4_dns2 = htonl(r->ipv4_dns2);
    r->mtu = htons(r->mtu);
    r->ipv6_prefix_len = htonl(r->ipv6_prefix_len);
    r->sixrd_relay_addr = htonl(r->sixrd_relay_addr);
    r->sixrd_ipv4_mask = htonl(r->sixrd_ipv4_mask);
    r->sixrd_prefix_len = htonl(r->sixrd_prefix_len);
    r->vlan_mode = htons(r->vlan_mode);
    r->translation_vlan = htons(r->translation_vlan);
    r->translation_cos = htons(r->translation_cos);
    r->tpid = htons(r->tpid);
    r->svlan = htons(r->svlan);
    r->svlan_cos = htons(r->svlan_cos);
}

void platform_wifi_base_config_status_host_to_net(lldp_wlan_ssid *s)
{
    if (s == nullptr) return;
    s->rekey_interval = htonl(s->rekey_interval);
    s->radius_prefix_len = htonl(s->radius_prefix_len);
    s->radius_port = htons(s->radius_port);
    // Indexed, not by reference: the record is packed and its words unaligned.
    for (std::size_t i = 0; i < sizeof s->reserved / sizeof s->reserved[0]; ++i)
        s->reserved[i] = htonl(s->reserved[i]);
}

void platform_tr069_config_status_host_to_net(lldp_tr069_config *r)
{
    if (r == nullptr) return;
    r->inform_interval = htonl(r->inform_interval);
    r->conn_req_port = htons(r->conn_req_port);
}

void platform_stun_config_status_host_to_net(lldp_stun_config *r)
{
    if (r == nullptr) return;
    r->server_port = htons(r->server_port);
}

void platform_wan_status_reply(const char *ifname)
{
    lldp_wan_config rec{};
    if (platform_wan_config_status_get(&rec) != 0) return;
    platform_wan_config_status_host_to_net(&rec);
    send_record(ifname, SUBTYPE_WAN_STATUS, &rec, sizeof rec);
}

void platform_wifi_status_reply(const char *ifname)
{
    lldp_wlan_config w24{}, w5{};
    if (platform_24g_config_status_get(&w24) != 0 || platform_5g_config_status_get(&w5) != 0) return;
    w5.radio.channel = platform_oam_5g_channel_to_index(w5.radio.channel);
    // The ONT shows an SSID as on only when its radio is on as well.
    w24.ssid[0].ssid_enable = (w24.ssid[0].ssid_enable && w24.radio.radio_enable) ? 1 : 0;
    w5.ssid[0].ssid_enable = (w5.ssid[0].ssid_enable && w5.radio.radio_enable) ? 1 : 0;
    platform_wifi_base_config_status_host_to_net(&w24.ssid[0]);
    platform_wifi_base_config_status_host_to_net(&w5.ssid[0]);
    if (!send_record(ifname, SUBTYPE_WIFI24_STATUS, &w24.radio, sizeof w24.radio)) return;
    if (!send_record(ifname, SUBTYPE_WIFI24_STATUS, &w24.ssid[0], sizeof w24.ssid[0])) return;
    if (!send_record(ifname, SUBTYPE_WIFI5_STATUS, &w5.radio, sizeof w5.radio)) return;
    send_record(ifname, SUBTYPE_WIFI5_STATUS, &w5.ssid[0], sizeof w5.ssid[0]);
}

void platform_tr069_status_reply(const char *ifname)
{
    lldp_tr069_config rec{};
    if (platform_tr069_config_status_get(&rec) != 0) return;
    platform_tr069_config_status_host_to_net(&rec);
    send_record(ifname, SUBTYPE_TR069_STATUS, &rec, sizeof rec);
}

void platform_stun_status_reply(const char *ifname)
{
    lldp_stun_config rec{};
    if (platform_stun_config_status_get(&rec) != 0) return;
    platform_stun_config_status_host_to_net(&rec);
    send_record(ifname, SUBTYPE_STUN_STATUS, &rec, sizeof rec);
}

void platform_mqtt_status_reply(const char *ifname)
{
    lldp_mqtt_config rec{};
    if (platform_mqtt_config_status_get(&rec) != 0) return;
    send_record(ifname, SUBTYPE_MQTT_STATUS, &rec, sizeof rec);
}

// ---- dispatcher ----

int platform_cfg_update(void *, int subtype, const uint8_t *data, int len)
{
    if (subtype == SUBTYPE_OMCI_DATA || subtype == SUBTYPE_OAM_DATA) {
        std::size_t size = len > 0 ? static_cast<std::size_t>(len) : 0;
        std::lock_guard<std::mutex> hold(g_lock);
        uint64_t deadline = next_deadline(clock_now());
        if (subtype == SUBTYPE_OMCI_DATA) {
            g_status_oam = 0;
            if (data != nullptr && size != 0) omci_data_handle(data, size);
            g_omci_apply_deadline_ms = deadline;
        } else {
            g_status_oam = 1;
            if (data != nullptr && size != 0) oam_data_handle(data, size);
            g_oam_apply_deadline_ms = deadline;
        }
        return 0;
    }
    if (subtype == SUBTYPE_STATUS_REQUEST) {
        char port[sizeof lldp_sm_get_ctx()->session_ifname];
        std::memcpy(port, lldp_sm_get_ctx()->session_ifname, sizeof port);
        port[sizeof port - 1] = '\0';
        if (port[0] == '\0') return 0;
        platform_wan_status_reply(port);
        platform_wifi_status_reply(port);
        platform_tr069_status_reply(port);
        platform_stun_status_reply(port);
        platform_mqtt_status_reply(port);
    }
    return 0;
}

void platform_init()
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        omci_init();
        oam_init();
        g_omci_apply_deadline_ms = 0;
        g_oam_apply_deadline_ms = 0;
    }
    lldp_sm_ctx *ctx = lldp_sm_get_ctx();
    lldp_sm_register_auth_hook(ctx, platform_auth, nullptr);
    lldp_sm_register_cfg_update_hook(ctx, platform_cfg_update, nullptr);
}

void platform_poll()
{
    run_pass<OmciViews>(&g_omci_apply_deadline_ms);
    run_pass<OamViews>(&g_oam_apply_deadline_ms);
}

void platform_shutdown()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_omci_apply_deadline_ms = 0;
    g_oam_apply_deadline_ms = 0;
    omci_all_data_cleanup();
    oam_all_data_cleanup();
}
