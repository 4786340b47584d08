// Software dimming: LEDs without brightness control are switched on and off
// by a one-shot monotonic timer that alternates an on and an off phase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <time.h>

enum brightness_mode : int { MODE_PWM = 0, MODE_FORCE_OFF = 1, MODE_FORCE_ON = 2 };

struct brightness_state {
    int32_t on_ns = 707403;
    int32_t off_ns = 9292597;
    int32_t level = 30;  // -1: durations set directly
    brightness_mode mode = MODE_PWM;
    bool phase = false;  // true during the on phase
    int32_t running = 0;  // attached LEDs
    bool timer_ready = false;
    timer_t timer{};
};

struct dim_level_row {
    int32_t level, on_ns, off_ns;
};
extern const dim_level_row dim_level_table[9];

// Shortest phase a caller may ask for: each expiry starts a thread, so a
// shorter one would flood the router with threads.
constexpr int32_t kMinPhaseNs = 10000;

extern brightness_state g_brightness;
extern std::mutex g_state_lock;  // taken after a slot lock, never before

int brightness_init();
void brightness_arm();  // g_state_lock held
void brightness_tick();
int led_attach(const char *name);
void led_detach(const char *name);
void led_attach_all();
void led_write_state(int slot, bool on);  // slot lock held
void led_all_off();
void brightness_release_force_off();
void lan_monitor_control(bool start);

// Methods of the ubus object "glowctl" (status codes as ubus has them).
struct dim_args {
    bool has_on_ns, has_off_ns, has_level;
    int32_t on_ns, off_ns, level;
};
int set_dim(const dim_args *msg);  // nullptr: no message
struct dim_snapshot {
    int32_t on_ns, off_ns, running, level;
    brightness_mode mode;
};
void get_dim(dim_snapshot *out);
const char *brightness_mode_name(brightness_mode mode);

// The one system call per LED and phase; unit tests and the benchmark wrap
// it to count and time writes. nullptr restores the positioned write.
using led_node_writer = ssize_t (*)(int fd, const void *buf, std::size_t len);
void brightness_set_writer(led_node_writer writer);

// Back to the initial state with every LED detached and the timer stopped;
// for unit tests.
void brightness_reset();
