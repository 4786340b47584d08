// The agent's one session with the ONT, driven by received frames and a
// once-a-second tick.
#pragma once

#include <cstddef>
#include <cstdint>

#include "uplinkd/lldp_auth.h"

constexpr size_t LLDP_SM_CFG_MAX = 1600;

enum : int {
    LLDP_SUB_HELLO = 0,
    LLDP_SUB_CHALLENGE = 1,
    LLDP_SUB_RESPONSE = 2,
    LLDP_SUB_SUCCESS = 3,
    LLDP_SUB_FAILURE = 4,
    LLDP_SUB_KEEPALIVE = 5,
    LLDP_SUB_OMCI = 6,
    LLDP_SUB_OAM = 8,
    LLDP_SUB_STATUS_REQ = 11,
    LLDP_SUB_STATUS_WAN = 12,
    LLDP_SUB_STATUS_WLAN_2G = 13,
    LLDP_SUB_STATUS_WLAN_5G = 14,
    LLDP_SUB_STATUS_TR069 = 15,
    LLDP_SUB_STATUS_STUN = 16,
    LLDP_SUB_STATUS_MQTT = 17,
};

using lldp_sm_auth_hook = void (*)(void *arg, int event);
using lldp_sm_cfg_update_hook = int (*)(void *arg, int subtype, const uint8_t *data, int len);

struct lldp_sm_ctx {
    int active;
    char session_ifname[32];
    lldp_auth_ctx auth;
    lldp_sm_auth_hook auth_hook;
    void *auth_hook_arg;
    lldp_sm_cfg_update_hook cfg_update_hook;
    void *cfg_update_hook_arg;
    // The peer the session was granted to (arrival port and source MAC at
    // the moment of authentication). Only it may speak for the session.
    char bound_ifname[32];
    uint8_t bound_mac[6];
};

lldp_sm_ctx *lldp_sm_get_ctx();
int lldp_sm_init(lldp_sm_ctx *ctx);
void lldp_sm_register_auth_hook(lldp_sm_ctx *ctx, lldp_sm_auth_hook fn, void *arg);
void lldp_sm_register_cfg_update_hook(lldp_sm_ctx *ctx, lldp_sm_cfg_update_hook fn, void *arg);
void lldp_sm_set_session_ifname(lldp_sm_ctx *ctx, const char *name);
int lldp_sm_on_rx(lldp_sm_ctx *ctx, const uint8_t *frame, size_t len, const char *ifname);
int lldp_sm_on_tick(lldp_sm_ctx *ctx, uint64_t now);
