#include "glowctl/daemon.h"

#include "glowctl/brightness.h"
#include "glowctl/led_registry.h"
#include "glowctl/log.h"
#include "glowctl/night_mode.h"
#include "glowctl/sys.h"
#include "glowctl/ubus_service.h"
#include "platform/zkuci.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int kWpsSeconds = 120;

struct board_row {
    const char *name;
    board_kind kind;
};
const board_row kBoards[] = {
    {"rt2200ach", BOARD_RT2200ACH},       {"rt8100ac", BOARD_RT8100AC},         {"rt8110_4g", BOARD_RT8110_4G},
    {"rt8110_4g_h1", BOARD_RT8110_4G_H1}, {"rt8110_4g_h2", BOARD_RT8110_4G_H2}, {"rt8110_4g_h3", BOARD_RT8110_4G_H3},
};

bool monitor_board(board_kind k) { return k == BOARD_RT8110_4G_H2 || k == BOARD_RT8110_4G_H3; }

// The status decided in the current pass, for the night-mode probes.
int g_pass_status = LED_SLOW_BLINKING;

bool power_lit_not_off() { return g_pass_status != LED_KEEP_OFF; }
bool status_keep_on() { return g_pass_status == LED_KEEP_ON; }
int wan_hotplug_up()
{
    char path[256];
    return glow_path(path, sizeof path, "/tmp/wan_hotplut_status") ? read_flag_file(path) : 0;
}

// First line of a file, cut at CR or LF, at most max characters; false when
// the file cannot be opened or yields no line.
bool first_line(const char *rel, char *out, int max, bool *opened = nullptr)
{
    char path[512];
    out[0] = '\0';
    if (opened) *opened = false;
    if (!glow_path(path, sizeof path, rel)) return false;
    FILE *f = fopen(path, "re");
    if (!f) return false;
    if (opened) *opened = true;
    char buf[256];
    bool ok = fgets(buf, max + 1 < static_cast<int>(sizeof buf) ? max + 1 : static_cast<int>(sizeof buf), f) != nullptr;
    fclose(f);
    if (!ok) return false;
    buf[strcspn(buf, "\r\n")] = '\0';
    std::size_t len = strnlen(buf, static_cast<std::size_t>(max));
    memcpy(out, buf, len);
    out[len] = '\0';
    return true;
}

bool file_exists(const char *rel)
{
    char path[512];
    return glow_path(path, sizeof path, rel) && access(path, F_OK) == 0;
}

int flag(const char *rel)
{
    char path[512];
    return glow_path(path, sizeof path, rel) ? read_flag_file(path) : 0;
}

bool sta_present(const char *iface)
{
    char rel[128], path[512];
    snprintf(rel, sizeof rel, "/proc/%s/sta_info", iface);
    return glow_path(path, sizeof path, rel) && sta_count(path) > 0;
}

const char *status_name(int s)
{
    switch (s) {
    case LED_SLOW_BLINKING: return "LED_SLOW_BLINKING";
    case LED_FAST_BLINKING: return "LED_FAST_BLINKING";
    case LED_KEEP_ON: return "LED_KEEP_ON";
    case LED_KEEP_OFF: return "LED_KEEP_OFF";
    default: return nullptr;
    }
}

void commit_leds()
{
    run_shell("uci commit system");
    run_shell("/etc/init.d/led restart");
}

void status_pattern_apply(int status, bool with_power, bool others_off)
{
    if (with_power && status != LED_KEEP_OFF) uci_led_static("led_power", true);
    switch (status) {
    case LED_SLOW_BLINKING:
        glow_log(LOG_INFO, "set led LED_SLOW_BLINKING");
        uci_led_blink("led_internet", 1000);
        break;
    case LED_FAST_BLINKING:
        glow_log(LOG_INFO, "set led LED_FAST_BLINKING");
        uci_led_blink("led_internet", 50);
        break;
    case LED_KEEP_ON:
        glow_log(LOG_INFO, "set led LED_KEEP_ON");
        uci_led_static("led_internet", true);
        break;
    case LED_KEEP_OFF:
        glow_log(LOG_INFO, "set led LED_KEEP_OFF");
        if (with_power) uci_led_static("led_power", false);
        uci_led_static("led_internet", false);
        break;
    default:
        if (others_off) {
            glow_log(LOG_INFO, "unknown led status, set led LED_KEEP_OFF");
            uci_led_static("led_internet", false);
        } else {
            glow_log(LOG_INFO, "unknown led status, set led LED_SLOW_BLINKING");
            uci_led_blink("led_internet", 1000);
        }
    }
}

void power_pattern_apply(int status)
{
    const char *name = status_name(status);
    glow_log(LOG_INFO, "set led %s", name ? name : "LED_SLOW_BLINKING");
    switch (status) {
    case LED_KEEP_ON: uci_led_static("led_power", true); break;
    case LED_KEEP_OFF: uci_led_static("led_power", false); break;
    case LED_FAST_BLINKING: uci_led_blink("led_power", 50); break;
    default: uci_led_blink("led_power", 1000);
    }
}

void wps_wifi_blink(daemon_state &d, bool on)
{
    const int want = on ? 1 : 0;
    if (d.wifi_blink == want) return;
    if (!on && d.wifi_blink < 0) {
        char buf[32];
        if (zkuci_get("system", "wps_wifi_blink_led_wifi1", "sysfs", buf, sizeof buf) != 0 &&
            zkuci_get("system", "wps_wifi_blink_led_wifi2", "sysfs", buf, sizeof buf) != 0) {
            d.wifi_blink = 0;
            return;
        }
    }
    static const char *const kSections[2][2] = {{"wps_wifi_blink_led_wifi1", "led_wifi1"},
                                                 {"wps_wifi_blink_led_wifi2", "led_wifi2"}};
    for (const auto &s : kSections) {
        zkuci_del_section("system", s[0]);
        if (!on) continue;
        zkuci_add_section("system", "led", s[0]);
        zkuci_set("system", s[0], "name", s[0]);
        zkuci_set("system", s[0], "sysfs", s[1]);
        zkuci_set("system", s[0], "trigger", "timer");
        zkuci_set_int32(50, "system", s[0], "delayon");
        zkuci_set_int32(50, "system", s[0], "delayoff");
    }
    commit_leds();
    d.wifi_blink = want;
}

bool bridge_ok()
{
    if (zkuci_get_int32("device_mode_manager", "device_mode_manager", "mode") != 1) return false;
    if (zkuci_get_int32("custom", "custom_page", "bridge_mode_open_lan_dhcpclient") != 1) return false;
    if (!file_exists("/tmp/bridge_mgmt_dhcpc_filter.ready")) return false;
    char ip[64];
    if (!first_line("/tmp/lan_dhcpc_ip.txt", ip, 63) || ip[0] == '\0' || strcmp(ip, "0.0.0.0") == 0) return false;
    in_addr a;
    return inet_pton(AF_INET, ip, &a) == 1;
}

int slave_wps_state()
{
    char line[128];
    bool opened = false;
    if (!first_line("/tmp/mesh_slave_wps_status", line, 127, &opened)) {
        if (opened) glow_log(LOG_INFO, "Failed to read from /tmp/mesh_slave_wps_status\n");
        return 0;
    }
    if (strcmp(line, "WPS-PBC-ACTIVE") == 0) return 1;
    if (strcmp(line, "WPS-TIMEOUT") == 0) return 2;
    if (strcmp(line, "WPS-SUCCESS") == 0) return 3;
    if (strcmp(line, "WPS-FAIL") == 0) return 4;
    return 0;
}

void monitor_block_step(daemon_state &d, bool night, bool all_off, int64_t now_s)
{
    const bool block = night || all_off;
    if (static_cast<int>(night) != d.prev_night || static_cast<int>(block) != d.prev_block) {
        if (monitor_board(d.kind)) {
            if (block) {
                int ret = run_shell("monitor_lan_led stop");
                glow_log(LOG_INFO, "led_block edge: run 'monitor_lan_led stop', night=%d all_leds_off=%d ret=%d",
                         night ? 1 : 0, all_off ? 1 : 0, ret);
            } else {
                int ret = run_shell("monitor_lan_led start");
                glow_log(LOG_INFO, "led_block edge: run 'monitor_lan_led start', ret=%d", ret);
            }
        } else {
            glow_log(LOG_INFO, "led_block edge: skip monitor_lan_led control on board=%s", d.board);
        }
        d.prev_night = night;
        d.prev_block = block;
        d.refresh = true;
    } else {
        d.refresh = false;
    }
    if (block && monitor_board(d.kind) &&
        (now_s <= 0 || d.last_monitor_check <= 0 || now_s - d.last_monitor_check >= 10)) {
        d.last_monitor_check = now_s;
        if (run_shell("ps | grep -q '[m]onitor_lan_led.sh'") == 0) {
            run_shell("monitor_lan_led stop");
            glow_log(LOG_INFO, "led_block periodic(10s): detected monitor_lan_led.sh running, stop it");
        }
    }
}

// WPS countdown. Each start gets a generation; a thread whose generation is
// no longer current ends, so a stop and a restart within one second cannot
// leave the old thread running to write the time-out early.
std::mutex g_wps_lock;
bool g_wps_running = false;
bool g_wps_stop = false;
uint64_t g_wps_generation = 0;
std::atomic<int> g_wps_tick_ms{1000};

void *wps_thread(void *arg)
{
    const uint64_t gen = reinterpret_cast<uintptr_t>(arg);
    glow_log(LOG_INFO, "WPS timer thread started, will timeout in %d seconds", kWpsSeconds);
    for (int i = 0; i < kWpsSeconds; ++i) {
        usleep(static_cast<useconds_t>(g_wps_tick_ms.load()) * 1000);
        std::lock_guard<std::mutex> g(g_wps_lock);
        if (g_wps_stop || g_wps_generation != gen) {
            glow_log(LOG_INFO, "WPS timer thread stopped by request");
            return nullptr;
        }
    }
    std::lock_guard<std::mutex> g(g_wps_lock);
    if (g_wps_generation != gen || g_wps_stop) {
        glow_log(LOG_INFO, "WPS timer thread stopped by request");
        return nullptr;
    }
    glow_log(LOG_INFO, "WPS timer timeout (120s), writing WPS-TIMEOUT to file");
    run_shell("echo 'WPS-TIMEOUT' > /tmp/mesh_slave_wps_status");
    g_wps_running = false;
    return nullptr;
}

}  // namespace

int read_flag_file(const char *path)
{
    FILE *f = fopen(path, "re");
    if (!f) return 0;
    char line[16] = {};
    bool got = fgets(line, sizeof line, f) != nullptr;
    fclose(f);
    int v = 0;
    return got && sscanf(line, "%d", &v) == 1 && v == 1 ? 1 : 0;
}

int sta_count(const char *path)
{
    FILE *f = fopen(path, "re");
    if (!f) return -1;
    char line[256];
    int count = -1;
    while (fgets(line, sizeof line, f)) {
        const char *at = strstr(line, "Total user nums:");
        int n;
        if (at && sscanf(at, "Total user nums: %d", &n) == 1) {
            count = n;
            break;
        }
    }
    fclose(f);
    return count;
}

bool wps_probe(const char *ifname)
{
    char cmd[128];
    snprintf(cmd, sizeof cmd, "hostapd_cli -i %s wps_get_status 2>/dev/null", ifname);
    std::string out;
    if (!run_shell_output(cmd, out)) return false;
    return out.find("PBC Status: Active") != std::string::npos;
}

void uci_led_static(const char *led, bool on)
{
    zkuci_del_section("system", led);
    zkuci_add_section("system", "led", led);
    zkuci_set("system", led, "name", led);
    zkuci_set("system", led, "sysfs", led);
    if (on) {
        zkuci_set("system", led, "trigger", "default-on");
    } else {
        zkuci_set("system", led, "trigger", "none");
        zkuci_set_int32(0, "system", led, "default");
    }
    commit_leds();
}

void uci_led_blink(const char *led, int ms)
{
    zkuci_del_section("system", led);
    zkuci_add_section("system", "led", led);
    zkuci_set("system", led, "name", led);
    zkuci_set("system", led, "sysfs", led);
    zkuci_set("system", led, "trigger", "timer");
    zkuci_set_int32(ms, "system", led, "delayon");
    zkuci_set_int32(ms, "system", led, "delayoff");
    commit_leds();
}

void wps_timer_set_tick_ms(int ms) { g_wps_tick_ms.store(ms > 0 ? ms : 1000); }

void wps_timer_start()
{
    bool started = false;
    {
        std::lock_guard<std::mutex> g(g_wps_lock);
        if (g_wps_running) return;
        g_wps_stop = false;
        g_wps_running = true;
        const uint64_t gen = ++g_wps_generation;
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t t;
        if (pthread_create(&t, &attr, wps_thread, reinterpret_cast<void *>(static_cast<uintptr_t>(gen))) != 0) {
            glow_log(LOG_ERR, "Failed to create WPS timer thread");
            g_wps_running = false;
        } else {
            started = true;
        }
        pthread_attr_destroy(&attr);
    }
    if (started) glow_log(LOG_INFO, "WPS timer started successfully");
}

void wps_timer_stop()
{
    std::lock_guard<std::mutex> g(g_wps_lock);
    if (!g_wps_running) return;
    g_wps_stop = true;
    g_wps_running = false;
    glow_log(LOG_INFO, "WPS timer stop requested");
}

bool wps_timer_running()
{
    std::lock_guard<std::mutex> g(g_wps_lock);
    return g_wps_running;
}

void glow_read_board(daemon_state &d)
{
    d.board[0] = '\0';
    d.kind = BOARD_OTHER;
    char path[512];
    if (!glow_path(path, sizeof path, "/sys/firmware/devicetree/base/board_name_alias")) return;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "Failed to open board_name_alias: %s\n", strerror(errno));
    } else {
        char buf[32] = {};
        ssize_t n = read(fd, buf, 31);
        close(fd);
        if (n < 0) {
            fprintf(stderr, "Error reading from file\n");
        } else if (n == 0) {
            fprintf(stderr, "File is empty\n");
        } else {
            if (buf[n - 1] == '\n') buf[n - 1] = '\0';
            memcpy(d.board, buf, sizeof d.board);
        }
    }
    for (const board_row &b : kBoards)
        if (strcmp(d.board, b.name) == 0) d.kind = b.kind;
    d.led_policy = d.kind != BOARD_OTHER;
}

namespace {

void *service_thread(void *)
{
    glow_ubus_service();
    return nullptr;
}

void start_service_thread()
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t t;
    int rc = pthread_create(&t, &attr, service_thread, nullptr);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        glow_log(LOG_ERR, "night_mode: failed to start ubus thread: %s", strerror(rc));
        glow_log(LOG_ERR, "failed to start night_mode ubus service");
    }
}

}  // namespace

void glow_startup(daemon_state &d, bool start_service)
{
    if (d.led_policy) {
        night_mode_load();
        bool have_ctx;
        {
            std::lock_guard<std::mutex> g(g_night_lock);
            have_ctx = g_night != nullptr;
        }
        if (have_ctx && start_service) start_service_thread();
        brightness_init();

        night_probes probes{};
        switch (d.kind) {
        case BOARD_RT2200ACH: probes.wan_up = wan_hotplug_up; break;
        case BOARD_RT8110_4G: probes.power_lit = status_keep_on; break;
        default:
            probes.power_lit = power_lit_not_off;
            probes.internet_lit = status_keep_on;
        }
        night_set_probes(probes);

        led_clear_registered();
        int registered = 0;
        for (const char *name : g_led_names)
            if (led_register(name) == 0) ++registered;
        if (registered > 0) {
            glow_log(LOG_INFO, "led_brightness: registered %d LED(s) for current board", registered);
            glow_log(LOG_INFO, "night mode LED list registered");
        } else {
            glow_log(LOG_WARNING, "led_brightness: default LED list empty or registration failed");
            glow_log(LOG_ERR, "failed to register LED list for night mode");
        }

        if (d.kind == BOARD_RT2200ACH) {
            for (const led_binding &b : g_lan_bindings) {
                char rel[128], path[512];
                snprintf(rel, sizeof rel, "/sys/class/leds/%s/trigger", b.led);
                if (glow_path(path, sizeof path, rel) && access(path, F_OK) == 0) {
                    if (led_setup_netdev(b.led, b.ifname) != 0)
                        glow_log(LOG_ERR, "failed to set %s netdev trigger (if=%s)", b.led, b.ifname);
                } else {
                    glow_log(LOG_INFO, "skip unavailable LAN LED %s for default netdev trigger", b.led);
                }
            }
        }
        if (d.kind == BOARD_RT8100AC) {
            if (led_registered(SLOT_POWER)) {
                std::lock_guard<std::mutex> g(g_state_lock);
                g_brightness.mode = MODE_PWM;
                g_brightness.level = -1;
                g_brightness.on_ns = 2176376;
                g_brightness.off_ns = 7823624;
                glow_log(LOG_INFO, "led_brightness: global intervals on=%ldns off=%ldns", 2176376L, 7823624L);
                brightness_arm();
            } else {
                glow_log(LOG_ERR, "failed to set default dim level 50 for %s", d.board);
            }
        }
    }

    d.all_off_at_start = zkuci_get_int32("glowctl", "night_mode", "all_leds_off_enable") == 1;
    if (d.all_off_at_start) {
        glow_log(LOG_INFO, "all_leds_off startup: keep all registered LEDs off");
        led_all_off();
    } else if (d.kind == BOARD_RT8100AC || monitor_board(d.kind)) {
        uci_led_blink("led_internet", 1000);
    } else if (d.kind == BOARD_RT8110_4G) {
        uci_led_blink("led_power", 1000);
    }

    if (monitor_board(d.kind)) {
        int run;
        {
            std::lock_guard<std::mutex> g(g_night_lock);
            run = night_should_run(g_night);
        }
        if (run || d.all_off_at_start) {
            run_shell("monitor_lan_led stop");
            glow_log(LOG_INFO, "led_block startup: stop monitor_lan_led in scheduled night/all-off state");
        }
    }
}

void glow_pass(daemon_state &d, int64_t now_s)
{
    // 1. Night mode and the all-off setting.
    bool all_off = false, night = false;
    if (d.led_policy) {
        all_off = zkuci_get_int32("glowctl", "night_mode", "all_leds_off_enable") == 1;
        {
            std::lock_guard<std::mutex> g(g_night_lock);
            if (g_night) {
                const int run = night_should_run(g_night);
                if (run && !g_night->active)
                    night_activate(g_night);
                else if (!run && g_night->active)
                    night_deactivate(g_night);
                night = g_night->active;
            }
        }
        monitor_block_step(d, night, all_off, now_s);
    }

    // 2. Mesh settings.
    const int mesh_switch = zkuci_get_int32("easymesh", "easymesh_default", "mesh_switch");
    const int mesh_mode = zkuci_get_int32("easymesh", "easymesh_default", "mesh_mode");

    // 3. WPS reported by the mesh agent on a slave.
    const int slave = slave_wps_state();
    if (slave == 1 && d.wps_slave != 1) wps_timer_start();
    if (slave != 1 && d.wps_slave == 1) wps_timer_stop();
    d.wps_slave = slave;

    // 4. Push-button WPS on the radios.
    const bool radio0 = wps_probe("default_radio0");
    const bool radio1 = wps_probe("default_radio1");
    const bool started = (radio0 && !d.prev_radio0) || (radio1 && !d.prev_radio1);
    const bool ended = (!radio0 && d.prev_radio0) || (!radio1 && d.prev_radio1);
    if (started)
        d.wps_latch = true;
    else if (ended)
        d.wps_latch = false;

    // 5. Status.
    int status;
    if (mesh_switch == 1 && mesh_mode != 0) {
        if (mesh_mode == 1) {
            char line[32];
            const bool connected = first_line("/tmp/mesh_status", line, 31) && strcmp(line, "connected") == 0;
            if (sta_present("em_bh_2g_sta") || sta_present("em_bh_5g_sta") || connected)
                status = LED_KEEP_ON;
            else
                status = d.wps_slave == 1 ? LED_FAST_BLINKING : LED_SLOW_BLINKING;
        } else {
            status = d.prev_status;
        }
    } else if (d.wps_latch) {
        status = LED_FAST_BLINKING;
    } else {
        status = flag("/tmp/wan_status") == 1 ? LED_KEEP_ON : LED_SLOW_BLINKING;
    }

    // 6. A valid bridge-mode address lights the status LED.
    const bool bridge = bridge_ok();
    if (bridge && !d.wps_latch && d.wps_slave != 1) status = LED_KEEP_ON;

    // 7. Factory reset.
    char reset[16];
    int reset_flag = 0;
    const bool factory_reset =
        first_line("/tmp/factory_reset", reset, 15) && sscanf(reset, "%d", &reset_flag) == 1 && reset_flag == 1;
    if (factory_reset) status = LED_KEEP_OFF;

    // 8. Apply.
    if (all_off) {
        if (d.prev_force_off != 1) glow_log(LOG_INFO, "all_leds_off: enter persistent force off");
        led_all_off();
        d.prev_status = status;
        d.prev_force_off = 1;
        wps_wifi_blink(d, false);
    } else {
        const bool leaving = d.prev_force_off == 1;
        if (leaving) {
            glow_log(LOG_INFO, "all_leds_off: exit persistent force off");
            brightness_release_force_off();
            d.refresh = true;
            d.prev_status = -1;
        }
        switch (d.kind) {
        case BOARD_RT8100AC:
        case BOARD_RT8110_4G_H2:
        case BOARD_RT8110_4G_H3:
            if (leaving || status != d.prev_status || d.refresh) status_pattern_apply(status, true, false);
            break;
        case BOARD_RT8110_4G:
            if (leaving || status != d.prev_status || d.refresh) power_pattern_apply(status);
            break;
        case BOARD_RT8110_4G_H1:
            // A factory reset keeps the LED off here too, as on every other board.
            status = !factory_reset && (flag("/tmp/wan_status") == 1 || bridge) ? LED_KEEP_ON : LED_KEEP_OFF;
            if (status != d.prev_status || d.refresh) status_pattern_apply(status, false, true);
            break;
        default: break;
        }
        d.prev_status = status;
        if (d.led_policy) {
            g_pass_status = status;
            night_apply(night);
        }
        const bool blink = d.kind == BOARD_RT2200ACH &&
                           zkuci_get_int32("custom", "custom_page", "wps_wifi_led_blink") == 1 &&
                           (radio0 || radio1 || d.wps_slave == 1);
        wps_wifi_blink(d, blink);
        d.prev_force_off = 0;
    }
    d.prev_radio0 = radio0;
    d.prev_radio1 = radio1;
}
