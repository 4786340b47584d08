// Night mode: dims the LEDs during a daily window (or all the time) by
// attaching them to the dimming engine while they would otherwise be lit.
#pragma once

#include <cstdint>
#include <mutex>

struct night_mode_ctx {
    int enabled = 0;
    int schedule = 1;  // 1: only inside the window; 0: all the time while enabled
    int start = 1320;  // minutes after local midnight
    int end = 420;
    bool active = false;
    char state_path[256] = "/var/run/led_night_mode";
};

// Created by night_mode_load; guarded by g_night_lock (main loop and ubus thread).
extern night_mode_ctx *g_night;
extern std::mutex g_night_lock;

void night_mode_load();
// Drops the context and the per-LED policy state; for unit tests.
void night_mode_reset();

int parse_hhmm(const char *text, int *minutes);
int night_should_run(const night_mode_ctx *ctx);
void night_activate(night_mode_ctx *ctx);
void night_deactivate(night_mode_ctx *ctx);
void night_apply(bool night);

// Local time of day in minutes; false when it cannot be computed. Unit tests
// replace it; nullptr restores the system clock.
using night_clock = bool (*)(int *minutes);
void night_set_clock(night_clock clock);
bool night_local_minutes(int *minutes);

// What the board knows about its LEDs' normal drivers; each may be absent.
struct night_probes {
    bool (*power_lit)();
    bool (*internet_lit)();
    int (*wan_up)();
};
void night_set_probes(const night_probes &probes);

// Methods of the ubus object "night_mode".
struct night_args {
    const char *start, *end;  // nullptr when absent
    bool has_enabled, has_schedule;
    int32_t enabled, schedule;
};
int set_night_mode(const night_args *msg);  // nullptr: no message
struct night_snapshot {
    int32_t enabled, schedule, active, should_run, minutes_local;
    char start[8], end[8];
};
int get_night_mode(night_snapshot *out);
