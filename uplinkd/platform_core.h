// The router-side layer of the agent: the session's hooks, the apply
// scheduler run from the main loop, and the status replies to the ONT.
#pragma once

#include <cstdint>

#include "uplinkd/platform_common.h"

// Apply delay after the last provisioning delivery.
inline constexpr uint64_t PLATFORM_APPLY_DELAY_MS = 5000;

extern uint64_t g_omci_apply_deadline_ms;
extern uint64_t g_oam_apply_deadline_ms;

void platform_init();
// Runs the apply passes that are due (main thread, once a second).
void platform_poll();
// Drops whatever is still waiting to be applied.
void platform_shutdown();

// Configuration hook: OMCI data (6), OAM data (8), status request (11). Always 0.
int platform_cfg_update(void *arg, int subtype, const uint8_t *data, int len);

// Status replies on port `ifname`, each read fresh from the router.
void platform_wan_status_reply(const char *ifname);
void platform_wifi_status_reply(const char *ifname);
void platform_tr069_status_reply(const char *ifname);
void platform_stun_status_reply(const char *ifname);
void platform_mqtt_status_reply(const char *ifname);

// In-place conversion of a record's multi-byte integers to network order;
// null is a no-op.
void platform_wan_config_status_host_to_net(lldp_wan_config *rec);
void platform_wifi_base_config_status_host_to_net(lldp_wlan_ssid *ssid);
void platform_tr069_config_status_host_to_net(lldp_tr069_config *rec);
void platform_stun_config_status_host_to_net(lldp_stun_config *rec);
