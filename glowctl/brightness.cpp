#include "glowctl/brightness.h"

#include "glowctl/led_registry.h"
#include "glowctl/log.h"
#include "glowctl/sys.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

const dim_level_row dim_level_table[9] = {
    {10, 100000, 9900000},  {20, 289912, 9710088},  {30, 707403, 9292597},
    {40, 1332085, 8667915}, {50, 2176376, 7823624}, {60, 3250370, 6749630},
    {70, 4562635, 5437365}, {80, 6120656, 3879344}, {90, 7931102, 2068898},
};

brightness_state g_brightness;
std::mutex g_state_lock;

namespace {

ssize_t positioned_write(int fd, const void *buf, std::size_t len)
{
    // Offset 0 every time: one call instead of a seek and a write.
    return pwrite(fd, buf, len, 0);
}

std::atomic<led_node_writer> g_writer{positioned_write};

void on_expiry(sigval) { brightness_tick(); }

// Step 1 of attaching: take the LED away from its kernel trigger.
void clear_trigger(led_slot &s)
{
    if (s.trigger_path[0] == '\0') return;
    int fd = open(s.trigger_path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        glow_log(LOG_ERR, "%s: failed to open trigger node: %s", s.name, strerror(errno));
        return;
    }
    if (write(fd, "none\n", 5) != 5) glow_log(LOG_ERR, "%s: failed to set trigger: %s", s.name, strerror(errno));
    close(fd);
}

// Slot lock held.
int led_open(int slot)
{
    led_slot &s = g_led_slots[slot];
    clear_trigger(s);
    int fd = open(s.brightness_path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        glow_log(LOG_ERR, "%s: failed to open brightness node: %s", s.name, strerror(errno));
        return -1;
    }
    s.fd = fd;
    bool start;
    {
        std::lock_guard<std::mutex> g(g_state_lock);
        ++g_brightness.running;
        start = g_brightness.mode == MODE_FORCE_ON    ? true
                : g_brightness.mode == MODE_FORCE_OFF ? false
                                                      : g_brightness.phase;
    }
    s.attached = true;
    led_write_state(slot, start);
    return 0;
}

void arm_locked()
{
    std::lock_guard<std::mutex> g(g_state_lock);
    brightness_arm();
}

void write_all(bool on)
{
    for (int i = 0; i < kLedSlots; ++i) {
        std::lock_guard<std::mutex> g(g_led_slots[i].lock);
        led_write_state(i, on);
    }
}

bool has_name(int slot)
{
    // A slot's name is set once and only ever refreshed with the same text.
    return g_led_slots[slot].name[0] != '\0';
}

}  // namespace

const char *brightness_mode_name(brightness_mode mode)
{
    switch (mode) {
    case MODE_FORCE_OFF: return "force_off";
    case MODE_FORCE_ON: return "force_on";
    default: return "pwm";
    }
}

void brightness_set_writer(led_node_writer writer) { g_writer.store(writer ? writer : positioned_write); }

int brightness_init()
{
    std::unique_lock<std::mutex> g(g_state_lock);
    if (g_brightness.timer_ready) return 0;
    sigevent sev{};
    sev.sigev_notify = SIGEV_THREAD;
    sev.sigev_notify_function = on_expiry;
    if (timer_create(CLOCK_MONOTONIC, &sev, &g_brightness.timer) != 0) {
        int err = errno;
        g.unlock();
        glow_log(LOG_ERR, "led_brightness: timer_create failed: %s", strerror(err));
        glow_log(LOG_ERR, "failed to initialize LED brightness controller");
        return -1;
    }
    g_brightness.timer_ready = true;
    return 0;
}

void brightness_arm()
{
    brightness_state &b = g_brightness;
    if (!b.timer_ready) return;
    itimerspec its{};
    if (b.running == 0 || b.mode != MODE_PWM) {
        if (timer_settime(b.timer, 0, &its, nullptr) != 0)
            glow_log(LOG_WARNING, "led_brightness: failed to disarm timer: %s", strerror(errno));
        return;
    }
    int32_t ns = b.phase ? b.on_ns : b.off_ns;
    its.it_value.tv_sec = ns / 1000000000;
    its.it_value.tv_nsec = ns % 1000000000;
    if (timer_settime(b.timer, 0, &its, nullptr) != 0)
        glow_log(LOG_WARNING, "led_brightness: failed to arm timer: %s", strerror(errno));
}

void brightness_tick()
{
    bool phase;
    {
        std::lock_guard<std::mutex> g(g_state_lock);
        brightness_state &b = g_brightness;
        if (b.running == 0) {
            b.phase = false;
            brightness_arm();
            return;
        }
        if (b.mode == MODE_PWM)
            b.phase = !b.phase;
        else
            b.phase = b.mode == MODE_FORCE_ON;
        brightness_arm();
        phase = b.phase;
    }
    write_all(phase);
}

void led_write_state(int slot, bool on)
{
    led_slot &s = g_led_slots[slot];
    if (!s.attached || s.fd < 0) return;
    const ssize_t want = on ? 4 : 2;
    if (g_writer.load()(s.fd, on ? "255\n" : "0\n", static_cast<std::size_t>(want)) != want)
        glow_log(LOG_WARNING, "%s: failed to write %s state: %s", s.name, on ? "ON" : "OFF", strerror(errno));
}

int led_attach(const char *name)
{
    int slot;
    if (led_find(name, &slot) != 0) return -1;
    {
        led_slot &s = g_led_slots[slot];
        std::lock_guard<std::mutex> g(s.lock);
        if (!s.attached && led_open(slot) != 0) return -1;
    }
    arm_locked();
    return 0;
}

void led_detach(const char *name)
{
    int slot;
    if (led_find(name, &slot) != 0) return;
    {
        led_slot &s = g_led_slots[slot];
        std::lock_guard<std::mutex> g(s.lock);
        if (s.attached) {
            close(s.fd);
            s.fd = -1;
            std::lock_guard<std::mutex> st(g_state_lock);
            if (g_brightness.running > 0) --g_brightness.running;
            if (g_brightness.running == 0) g_brightness.phase = false;
            s.attached = false;
        }
    }
    arm_locked();
}

void led_attach_all()
{
    for (int i = 0; i < kLedSlots; ++i) {
        if (!has_name(i)) continue;
        std::lock_guard<std::mutex> g(g_led_slots[i].lock);
        if (!g_led_slots[i].attached) led_open(i);
    }
    arm_locked();
}

void led_all_off()
{
    brightness_mode old;
    {
        std::lock_guard<std::mutex> g(g_state_lock);
        old = g_brightness.mode;
        g_brightness.level = 0;
        g_brightness.phase = false;
        g_brightness.mode = MODE_FORCE_OFF;
    }
    if (old != MODE_FORCE_OFF) lan_monitor_control(false);
    for (int i = 0; i < kLedSlots; ++i) {
        if (!has_name(i)) continue;
        std::lock_guard<std::mutex> g(g_led_slots[i].lock);
        clear_trigger(g_led_slots[i]);
    }
    led_attach_all();
    write_all(false);
    arm_locked();
    if (old != MODE_FORCE_OFF) glow_log(LOG_INFO, "all_leds_off: force all registered LEDs off");
}

void brightness_release_force_off()
{
    {
        std::lock_guard<std::mutex> g(g_state_lock);
        if (g_brightness.mode != MODE_FORCE_OFF) return;
        g_brightness.mode = MODE_PWM;
        g_brightness.phase = false;
        g_brightness.level = 30;
    }
    arm_locked();
    glow_log(LOG_INFO, "all_leds_off: release force off mode");
}

void lan_monitor_control(bool start)
{
    if (!led_registered(SLOT_LAN) || led_registered(SLOT_LAN2) || led_registered(SLOT_LAN3) ||
        led_registered(SLOT_LAN4) || strcmp(g_lan_bindings[0].led, "led_lan") != 0)
        return;
    if (start) {
        char path[256];
        int night = 0;
        if (glow_path(path, sizeof path, "/var/run/led_night_mode") && read_int_file(path, &night) == 0 &&
            night == 1) {
            glow_log(LOG_INFO, "led_brightness: skip monitor_lan_led start while night mode is active");
            return;
        }
    }
    int ret = run_shell(start ? "monitor_lan_led start" : "monitor_lan_led stop");
    glow_log(LOG_INFO, "led_brightness: run 'monitor_lan_led %s', ret=%d", start ? "start" : "stop", ret);
}

int set_dim(const dim_args *msg)
{
    if (!msg) return 2;
    int32_t on_ns, off_ns, level;
    if (msg->has_level) {
        if (msg->level == 0) {
            {
                std::lock_guard<std::mutex> g(g_state_lock);
                g_brightness.phase = false;
                g_brightness.level = 0;
                g_brightness.mode = MODE_FORCE_OFF;
            }
            lan_monitor_control(false);
            led_attach_all();
            write_all(false);
            glow_log(LOG_INFO, "led_brightness: mode=%s level=%d (ubus)", "force_off", 0);
            arm_locked();
            return 0;
        }
        if (msg->level == 100) {
            {
                std::lock_guard<std::mutex> g(g_state_lock);
                g_brightness.level = 100;
                g_brightness.mode = MODE_FORCE_ON;
                g_brightness.phase = true;
            }
            led_attach_all();
            write_all(true);
            glow_log(LOG_INFO, "led_brightness: mode=%s level=%d (ubus)", "force_on", 100);
            arm_locked();
            return 0;
        }
        const dim_level_row *row = nullptr;
        for (const dim_level_row &r : dim_level_table)
            if (r.level == msg->level) row = &r;
        if (!row) return 2;
        on_ns = row->on_ns;
        off_ns = row->off_ns;
        level = row->level;
    } else {
        if (!msg->has_on_ns || !msg->has_off_ns) return 2;
        if (msg->on_ns < kMinPhaseNs || msg->off_ns < kMinPhaseNs) return 2;
        on_ns = msg->on_ns;
        off_ns = msg->off_ns;
        level = -1;
    }

    brightness_mode old;
    {
        std::lock_guard<std::mutex> g(g_state_lock);
        old = g_brightness.mode;
        g_brightness.mode = MODE_PWM;
        g_brightness.on_ns = on_ns;
        g_brightness.off_ns = off_ns;
        g_brightness.level = level;
    }
    if (old == MODE_FORCE_OFF) {
        // The LAN LED goes back to its monitor rather than being dimmed.
        led_detach("led_lan");
        lan_monitor_control(true);
    }
    glow_log(LOG_INFO, "led_brightness: mode=%s level=%d on=%ldns off=%ldns (ubus)", "pwm", level,
             static_cast<long>(on_ns), static_cast<long>(off_ns));
    arm_locked();
    return 0;
}

void get_dim(dim_snapshot *out)
{
    std::lock_guard<std::mutex> g(g_state_lock);
    out->on_ns = g_brightness.on_ns;
    out->off_ns = g_brightness.off_ns;
    out->running = g_brightness.running;
    out->level = g_brightness.level;
    out->mode = g_brightness.mode;
}

void brightness_reset()
{
    for (int i = 0; i < kLedSlots; ++i) {
        led_slot &s = g_led_slots[i];
        std::lock_guard<std::mutex> g(s.lock);
        if (s.attached) close(s.fd);
        s.fd = -1;
        s.attached = false;
    }
    std::lock_guard<std::mutex> g(g_state_lock);
    const bool ready = g_brightness.timer_ready;
    const timer_t timer = g_brightness.timer;
    g_brightness = brightness_state{};
    g_brightness.timer_ready = ready;
    g_brightness.timer = timer;
    brightness_arm();
}
