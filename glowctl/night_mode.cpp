#include "glowctl/night_mode.h"

#include "glowctl/brightness.h"
#include "glowctl/led_registry.h"
#include "glowctl/log.h"
#include "glowctl/sys.h"
#include "platform/zkuci.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

night_mode_ctx *g_night = nullptr;
std::mutex g_night_lock;

namespace {

constexpr const char *kPkg = "glowctl";
constexpr const char *kSec = "night_mode";

std::atomic<night_clock> g_clock{nullptr};
night_probes g_probes{};

// Per-LED policy state; the main loop alone touches it.
struct policy_state {
    bool power_dimming, pon_dimming, internet_dimming;
    bool power_touched, internet_touched;
};
policy_state g_policy{};

bool system_minutes(int *minutes)
{
    time_t now = time(nullptr);
    struct tm tm {};
    if (now == static_cast<time_t>(-1) || !localtime_r(&now, &tm)) return false;
    *minutes = tm.tm_hour * 60 + tm.tm_min;
    return true;
}

void write_state(const night_mode_ctx *ctx, int value)
{
    if (ctx->state_path[0] == '\0') return;
    char path[512];
    if (!glow_path(path, sizeof path, ctx->state_path)) return;
    FILE *f = fopen(path, "we");
    if (!f) return;
    fprintf(f, "%d\n", value);
    fclose(f);
}

// One or two digits, nothing else.
bool scan_field(const char *&p, int *value)
{
    if (*p < '0' || *p > '9') return false;
    int v = *p++ - '0';
    if (*p >= '0' && *p <= '9') v = v * 10 + (*p++ - '0');
    *value = v;
    return true;
}

void format_hhmm(int minutes, char out[8])
{
    if (minutes < 0) minutes = 0;
    minutes %= 1440;
    snprintf(out, 8, "%02d:%02d", minutes / 60, minutes % 60);
}

bool read_wan_status()
{
    char path[256];
    int v = 0;
    if (!glow_path(path, sizeof path, "/tmp/wan_status")) return false;
    FILE *f = fopen(path, "re");
    if (!f) return false;
    char line[16] = {};
    bool up = fgets(line, sizeof line, f) && sscanf(line, "%d", &v) == 1 && v == 1;
    fclose(f);
    return up;
}

bool trigger_is(const char *led, const char *want)
{
    char t[32];
    return led_read_trigger(led, t) == 0 && strcmp(t, want) == 0;
}

void released(const char *led) { glow_log(LOG_INFO, "night_mode: releasing %s dimming control", led); }

void restore_power(bool night)
{
    if (night || !g_policy.power_touched) return;
    if (!g_probes.power_lit) {
        led_set_trigger("led_power", "default-on");
        led_set_brightness("led_power", true);
    }
    g_policy.power_touched = false;
}

void release_power(bool night)
{
    led_detach("led_power");
    g_policy.power_dimming = false;
    restore_power(night);
    released("led_power");
}

void apply_power(bool night)
{
    if (night) g_policy.power_touched = true;
    const bool lit = g_probes.power_lit ? g_probes.power_lit() : true;
    char trig[32];
    if (led_read_trigger("led_power", trig) != 0) {
        if (g_policy.power_dimming) release_power(night);
    } else if (strcmp(trig, "none") != 0) {
        if (night && lit) {
            if (!g_policy.power_dimming && led_attach("led_power") == 0) {
                g_policy.power_dimming = true;
                glow_log(LOG_INFO, "night_mode: dimming %s", "led_power");
            }
        } else if (g_policy.power_dimming) {
            release_power(night);
        }
    } else if (g_policy.power_dimming && !(night && lit)) {
        release_power(night);
    }
    restore_power(night);
}

void release_pon(bool night, bool los_flashing, bool restore)
{
    led_detach("led_pon");
    g_policy.pon_dimming = false;
    if (!night) {
        if (los_flashing) {
            led_set_trigger("led_pon", "none");
            led_set_brightness("led_pon", false);
        } else if (restore) {
            led_set_trigger("led_pon", "default-on");
            led_set_brightness("led_pon", true);
        }
    }
    released("led_pon");
}

void apply_pon(bool night)
{
    const bool los_flashing = trigger_is("led_los", "timer");
    if (los_flashing && night) {
        if (g_policy.pon_dimming) {
            led_detach("led_pon");
            g_policy.pon_dimming = false;
            glow_log(LOG_INFO, "night_mode: stop dimming %s due to LOS flashing", "led_pon");
        }
        led_set_trigger("led_pon", "none");
        led_set_brightness("led_pon", false);
        glow_log(LOG_INFO, "night_mode: force %s off while %s flashing", "led_pon", "led_los");
        return;
    }
    char trig[32];
    if (led_read_trigger("led_pon", trig) != 0) {
        if (g_policy.pon_dimming) release_pon(night, los_flashing, false);
    } else if (strcmp(trig, "default-on") == 0) {
        if (night) {
            if (!g_policy.pon_dimming && led_attach("led_pon") == 0) {
                g_policy.pon_dimming = true;
                glow_log(LOG_INFO, "night_mode: dimming %s for registered state", "led_pon");
            }
        } else if (g_policy.pon_dimming) {
            release_pon(night, los_flashing, false);
        }
    } else if (strcmp(trig, "none") == 0) {
        if (g_policy.pon_dimming && !night) release_pon(night, los_flashing, true);
    } else if (g_policy.pon_dimming) {
        release_pon(night, los_flashing, false);
    }
}

// An LED that follows an interface: dimmed while the interface has link at
// night, handed back to the kernel's netdev trigger otherwise.
void apply_netdev_led(led_binding &b, bool night)
{
    if (night && iface_link_up(b.ifname)) {
        if (!b.dimming && led_attach(b.led) == 0) {
            b.dimming = true;
            glow_log(LOG_INFO, "night_mode: dimming %s (if=%s)", b.led, b.ifname);
        }
        return;
    }
    if (!b.dimming) return;
    led_detach(b.led);
    b.dimming = false;
    if (led_setup_netdev(b.led, b.ifname) == 0 && iface_link_up(b.ifname)) led_set_brightness(b.led, true);
    released(b.led);
}

bool single_lan_layout()
{
    return led_registered(SLOT_LAN) && !led_registered(SLOT_LAN2) && !led_registered(SLOT_LAN3) &&
           !led_registered(SLOT_LAN4) && strcmp(g_lan_bindings[0].led, "led_lan") == 0;
}

void apply_lan(bool night)
{
    if (!single_lan_layout()) {
        for (int i = 0; i < 4; ++i)
            if (led_registered(SLOT_LAN + i)) apply_netdev_led(g_lan_bindings[i], night);
        return;
    }
    static const char *const kPorts[] = {"eth0", "eth1", "eth2", "eth3"};
    bool any_up = false;
    for (const char *p : kPorts)
        if (iface_link_up(p)) {
            any_up = true;
            break;
        }
    led_binding &b = g_lan_bindings[0];
    if (any_up && night) {
        if (!b.dimming && led_attach(b.led) == 0) {
            b.dimming = true;
            glow_log(LOG_INFO, "night_mode: dimming %s (any LAN up)", b.led);
        }
    } else if (b.dimming) {
        led_detach(b.led);
        b.dimming = false;
        // The LAN LED monitor owns the trigger; only the brightness is ours.
        led_set_brightness(b.led, any_up);
        released(b.led);
    }
}

void apply_internet(bool night)
{
    const int wan = g_probes.wan_up ? g_probes.wan_up() : (read_wan_status() ? 1 : 0);
    if (night) {
        g_policy.internet_touched = true;
        if (wan == 1 && (!g_probes.internet_lit || g_probes.internet_lit())) {
            if (!g_policy.internet_dimming && led_attach("led_internet") == 0) {
                g_policy.internet_dimming = true;
                glow_log(LOG_INFO, "night_mode: dimming %s for WAN up", "led_internet");
            }
        } else if (g_policy.internet_dimming) {
            led_detach("led_internet");
            g_policy.internet_dimming = false;
            released("led_internet");
        }
        return;
    }
    if (g_policy.internet_dimming) {
        led_detach("led_internet");
        g_policy.internet_dimming = false;
        released("led_internet");
    }
    if (g_policy.internet_touched) {
        if (!g_probes.internet_lit && g_probes.wan_up) {
            led_set_trigger("led_internet", wan == 1 ? "default-on" : "none");
            led_set_brightness("led_internet", wan == 1);
        }
        g_policy.internet_touched = false;
    }
}

int zk_flag(const char *option, int fallback)
{
    char buf[64];
    if (zkuci_get(kPkg, kSec, option, buf, sizeof buf) != 0) return fallback;
    return strtol(buf, nullptr, 10) != 0 ? 1 : 0;
}

void zk_time(const char *option, int *minutes)
{
    char buf[64];
    int m;
    if (zkuci_get(kPkg, kSec, option, buf, sizeof buf) == 0 && parse_hhmm(buf, &m)) *minutes = m;
}

}  // namespace

void night_set_clock(night_clock clock) { g_clock.store(clock); }

bool night_local_minutes(int *minutes)
{
    night_clock c = g_clock.load();
    return c ? c(minutes) : system_minutes(minutes);
}

void night_set_probes(const night_probes &probes) { g_probes = probes; }

void night_mode_load()
{
    static night_mode_ctx ctx;
    ctx = night_mode_ctx{};
    ctx.enabled = zk_flag("enabled", ctx.enabled);
    ctx.schedule = zk_flag("schedule", ctx.schedule);
    zk_time("start", &ctx.start);
    zk_time("end", &ctx.end);
    std::lock_guard<std::mutex> g(g_night_lock);
    g_night = &ctx;
}

void night_mode_reset()
{
    std::lock_guard<std::mutex> g(g_night_lock);
    g_night = nullptr;
    g_policy = policy_state{};
    g_probes = night_probes{};
}

int parse_hhmm(const char *text, int *minutes)
{
    if (!text || !minutes) return 0;
    // Wholly "H:M" with one or two digits each: the text is stored as sent,
    // so nothing may trail it.
    const char *p = text;
    int h, m;
    if (!scan_field(p, &h) || *p++ != ':' || !scan_field(p, &m) || *p != '\0') return 0;
    if (h > 23 || m > 59) return 0;
    *minutes = h * 60 + m;
    return 1;
}

int night_should_run(const night_mode_ctx *ctx)
{
    if (!ctx || !ctx->enabled) return 0;
    if (!ctx->schedule) return 1;
    int m;
    if (!night_local_minutes(&m)) return 0;
    if (ctx->start == ctx->end) return 0;
    if (ctx->start < ctx->end) return ctx->start <= m && m < ctx->end;
    return m >= ctx->start || m < ctx->end;
}

void night_activate(night_mode_ctx *ctx)
{
    if (!ctx || ctx->active) return;
    ctx->active = true;
    write_state(ctx, 1);
    glow_log(LOG_INFO, "night_mode enabled");
}

void night_deactivate(night_mode_ctx *ctx)
{
    if (!ctx || !ctx->active) return;
    ctx->active = false;
    write_state(ctx, 0);
    glow_log(LOG_INFO, "night_mode disabled");
}

void night_apply(bool night)
{
    if (led_registered(SLOT_POWER)) apply_power(night);
    if (led_registered(SLOT_PON)) apply_pon(night);
    if (led_registered(SLOT_WIFI1) || led_registered(SLOT_WIFI2))
        for (led_binding &b : g_wifi_bindings) apply_netdev_led(b, night);
    if (led_registered(SLOT_LAN) || led_registered(SLOT_LAN2) || led_registered(SLOT_LAN3) ||
        led_registered(SLOT_LAN4))
        apply_lan(night);
    if (led_registered(SLOT_INTERNET)) apply_internet(night);
}

int set_night_mode(const night_args *msg)
{
    std::lock_guard<std::mutex> g(g_night_lock);
    night_mode_ctx *ctx = g_night;
    if (!msg || !ctx) return 2;
    const bool has_times = msg->start || msg->end;
    if (has_times && !(msg->start && msg->end)) return 2;
    if (!has_times && !msg->has_enabled && !msg->has_schedule) return 2;

    bool stored = false, times_changed = false;
    if (has_times) {
        int start, end;
        if (!parse_hhmm(msg->start, &start) || !parse_hhmm(msg->end, &end)) return 9;
        if (start != ctx->start || end != ctx->end) {
            if (zkuci_set(kPkg, kSec, "start", msg->start) != 0 || zkuci_set(kPkg, kSec, "end", msg->end) != 0) {
                glow_log(LOG_ERR, "night_mode: failed to persist schedule");
                return 9;
            }
            ctx->start = start;
            ctx->end = end;
            glow_log(LOG_INFO, "night_mode: schedule updated start=%s end=%s", msg->start, msg->end);
            stored = times_changed = true;
        }
    }
    if (msg->has_enabled) {
        const int want = msg->enabled != 0;
        if (want != ctx->enabled) {
            if (zkuci_set(kPkg, kSec, "enabled", want ? "1" : "0") != 0) {
                glow_log(LOG_ERR, "night_mode: failed to persist enabled flag");
                return 9;
            }
            ctx->enabled = want;
            glow_log(LOG_INFO, "night_mode: %s", want ? "enabled" : "disabled");
            stored = true;
        }
    }
    if (msg->has_schedule) {
        const int want = msg->schedule != 0;
        if (want != ctx->schedule) {
            if (zkuci_set(kPkg, kSec, "schedule", want ? "1" : "0") != 0) {
                glow_log(LOG_ERR, "night_mode: failed to persist schedule flag");
                return 9;
            }
            ctx->schedule = want;
            glow_log(LOG_INFO, "night_mode: schedule %s", want ? "enabled" : "disabled");
            stored = true;
        }
    }
    if (stored) run_shell("uci commit glowctl");
    if (times_changed) {
        glow_log(LOG_INFO, "night_mode: schedule changed, restarting glowctl");
        run_shell("(sleep 1; /etc/init.d/glowctl restart >/dev/null 2>&1) &");
    }
    const int run = night_should_run(ctx);
    if (run && !ctx->active)
        night_activate(ctx);
    else if (!run && ctx->active)
        night_deactivate(ctx);
    return 0;
}

int get_night_mode(night_snapshot *out)
{
    std::lock_guard<std::mutex> g(g_night_lock);
    const night_mode_ctx *ctx = g_night;
    if (!out || !ctx) return 2;
    out->enabled = ctx->enabled;
    out->schedule = ctx->schedule;
    format_hhmm(ctx->start, out->start);
    format_hhmm(ctx->end, out->end);
    out->active = ctx->active ? 1 : 0;
    out->should_run = night_should_run(ctx);
    int m = 0;
    out->minutes_local = night_local_minutes(&m) ? m : 0;
    return 0;
}
