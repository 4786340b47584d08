#include "glowctl/brightness.h"
#include "glowctl/log.h"
#include "glowctl/night_mode.h"
#include "glowctl/ubus_service.h"

#include <cstdio>

namespace {

enum { ARG_ON_NS, ARG_OFF_NS, ARG_LEVEL };
const glow_arg_policy kDimPolicy[] = {
    {"on_ns", GLOW_ARG_INT32},
    {"off_ns", GLOW_ARG_INT32},
    {"level", GLOW_ARG_INT32},
};

enum { ARG_START, ARG_END, ARG_ENABLED, ARG_SCHEDULE };
const glow_arg_policy kNightPolicy[] = {
    {"start", GLOW_ARG_STRING},
    {"end", GLOW_ARG_STRING},
    {"enabled", GLOW_ARG_INT32},
    {"schedule", GLOW_ARG_INT32},
};

int m_set_dim(const glow_arg *a, glow_reply *)
{
    if (!a) return set_dim(nullptr);
    dim_args d{a[ARG_ON_NS].present != 0, a[ARG_OFF_NS].present != 0, a[ARG_LEVEL].present != 0,
               a[ARG_ON_NS].i,          a[ARG_OFF_NS].i,          a[ARG_LEVEL].i};
    return set_dim(&d);
}

int m_get_dim(const glow_arg *, glow_reply *r)
{
    dim_snapshot s{};
    get_dim(&s);
    int rc = glow_reply_int(r, "on_ns", s.on_ns) | glow_reply_int(r, "off_ns", s.off_ns) |
             glow_reply_int(r, "running_leds", s.running) |
             (s.level < 0 ? glow_reply_string(r, "level", "custom") : glow_reply_int(r, "level", s.level)) |
             glow_reply_string(r, "mode", brightness_mode_name(s.mode));
    return rc == 0 ? GLOW_STATUS_OK : GLOW_STATUS_UNKNOWN_ERROR;
}

int m_set_night_mode(const glow_arg *a, glow_reply *)
{
    if (!a) return set_night_mode(nullptr);
    night_args n{a[ARG_START].present ? a[ARG_START].s : nullptr,
                 a[ARG_END].present ? a[ARG_END].s : nullptr,
                 a[ARG_ENABLED].present != 0,
                 a[ARG_SCHEDULE].present != 0,
                 a[ARG_ENABLED].i,
                 a[ARG_SCHEDULE].i};
    return set_night_mode(&n);
}

int m_get_night_mode(const glow_arg *, glow_reply *r)
{
    night_snapshot s{};
    int rc = get_night_mode(&s);
    if (rc != 0) return rc;
    rc = glow_reply_int(r, "enabled", s.enabled) | glow_reply_int(r, "schedule", s.schedule) |
         glow_reply_string(r, "start", s.start) | glow_reply_string(r, "end", s.end) |
         glow_reply_int(r, "active", s.active) | glow_reply_int(r, "should_run", s.should_run) |
         glow_reply_int(r, "minutes_local", s.minutes_local);
    return rc == 0 ? GLOW_STATUS_OK : GLOW_STATUS_UNKNOWN_ERROR;
}

const glow_method kGlowctlMethods[] = {
    {"set_dim", kDimPolicy, 3, m_set_dim},
    {"get_dim", nullptr, 0, m_get_dim},
};

const glow_method kNightMethods[] = {
    {"set_night_mode", kNightPolicy, 4, m_set_night_mode},
    {"get_night_mode", nullptr, 0, m_get_night_mode},
};

}  // namespace

extern "C" {

const glow_object glow_object_glowctl = {"glowctl", kGlowctlMethods, 2};
const glow_object glow_object_night_mode = {"night_mode", kNightMethods, 2};

int glow_reply_int(glow_reply *reply, const char *name, int32_t value)
{
    if (reply->n >= GLOW_MAX_REPLY) return -1;
    glow_reply_field &f = reply->f[reply->n++];
    f = glow_reply_field{};
    f.name = name;
    f.i = value;
    return 0;
}

int glow_reply_string(glow_reply *reply, const char *name, const char *value)
{
    if (reply->n >= GLOW_MAX_REPLY) return -1;
    glow_reply_field &f = reply->f[reply->n++];
    f = glow_reply_field{};
    f.name = name;
    f.is_string = 1;
    snprintf(f.s, sizeof f.s, "%s", value);
    return 0;
}

void glow_ubus_service(void)
{
    void *bus = glow_bus_connect();
    if (!bus) {
        glow_log(LOG_ERR, "night_mode: failed to connect ubus");
        return;
    }
    if (glow_bus_add(bus, &glow_object_night_mode) != 0) {
        glow_log(LOG_ERR, "night_mode: failed to register ubus object");
        glow_bus_free(bus);
        return;
    }
    static bool glowctl_added = false;
    if (!glowctl_added) {
        if (glow_bus_add(bus, &glow_object_glowctl) != 0) {
            glow_log(LOG_ERR, "led_brightness: failed to register ubus object");
            glow_log(LOG_ERR, "night_mode: failed to register glowctl ubus object");
        } else {
            glowctl_added = true;
            glow_log(LOG_INFO, "led_brightness: ubus object registered");
        }
    }
    glow_log(LOG_INFO, "night_mode: ubus service started");
    glow_bus_run(bus);
    glow_bus_free(bus);
}

}  // extern "C"
