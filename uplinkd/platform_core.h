// The router-side layer of the agent: hooks into the session and the
// once-a-second work of the main thread.
#pragma once

#include <cstdint>

void platform_init();
void platform_poll();
void platform_shutdown();

// Session hooks registered by platform_init.
void platform_auth_event(void *arg, int event);
int platform_cfg_update(void *arg, int subtype, const uint8_t *data, int len);
