#include "uplinkd/platform_core.h"

#include "uplinkd/lldp_sm.h"

void platform_auth_event(void *, int) {}

int platform_cfg_update(void *, int, const uint8_t *, int) { return 0; }

void platform_init() {
    lldp_sm_ctx *ctx = lldp_sm_get_ctx();
    lldp_sm_register_auth_hook(ctx, platform_auth_event, nullptr);
    lldp_sm_register_cfg_update_hook(ctx, platform_cfg_update, nullptr);
}

void platform_poll() {}

void platform_shutdown() {}
