#include "glowctl/led_registry.h"

#include "glowctl/log.h"
#include "glowctl/sys.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

const char *const g_led_names[kLedSlots] = {
    "led_internet", "led_pon", "led_los", "led_power", "led_wifi1",
    "led_wifi2", "led_lan", "led_lan2", "led_lan3", "led_lan4",
};

led_binding g_lan_bindings[4] = {
    {"led_lan", "eth0", false},
    {"led_lan2", "eth1", false},
    {"led_lan3", "eth2", false},
    {"led_lan4", "eth3", false},
};

led_binding g_wifi_bindings[2] = {
    {"led_wifi1", "default_radio1", false},
    {"led_wifi2", "default_radio0", false},
};

led_slot g_led_slots[kLedSlots];

namespace {

std::mutex g_registry_lock;  // registered[], slot texts
bool g_registered[kLedSlots];

int slot_of(const char *name)
{
    for (int i = 0; i < kLedSlots; ++i)
        if (strcmp(g_led_names[i], name) == 0) return i;
    return -1;
}

bool exists(const char *path) { return access(path, F_OK) == 0; }

// "<root>/sys/class/leds/<name>/<node>"; false when it does not fit.
bool led_node(char *buf, std::size_t size, const char *name, const char *node)
{
    char rel[kSysfsPathMax];
    int n = snprintf(rel, sizeof rel, "/sys/class/leds/%s/%s", name, node);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof rel) return false;
    return glow_path(buf, size, rel);
}

}  // namespace

int led_build_paths(const char *name, char *brightness, char *trigger)
{
    if (!name || !brightness || !trigger) return -1;
    if (!led_node(brightness, kSysfsPathMax, name, "brightness")) return -1;
    if (!led_node(trigger, kSysfsPathMax, name, "trigger")) return -1;
    return 0;
}

int led_register(const char *name)
{
    if (!name) return -1;
    int slot = slot_of(name);
    if (slot < 0) {
        glow_log(LOG_ERR, "led_brightness: LED '%s' not part of predefined slots", name);
        return -1;
    }
    static char brightness[kSysfsPathMax], trigger[kSysfsPathMax];
    std::lock_guard<std::mutex> g(g_registry_lock);  // also guards the two scratch buffers
    if (led_build_paths(name, brightness, trigger) != 0) {
        glow_log(LOG_ERR, "led_brightness: failed to build sysfs paths for '%s'", name);
        return -1;
    }
    if (!exists(brightness) || !exists(trigger)) {
        glow_log(LOG_INFO, "led_brightness: skip unavailable LED '%s' on this board", name);
        return -1;
    }
    led_slot &s = g_led_slots[slot];
    if (s.name[0] == '\0') glow_log(LOG_INFO, "led_brightness: registered LED '%s'", name);
    snprintf(s.name, sizeof s.name, "%s", name);
    snprintf(s.brightness_path, sizeof s.brightness_path, "%s", brightness);
    snprintf(s.trigger_path, sizeof s.trigger_path, "%s", trigger);
    g_registered[slot] = true;
    return 0;
}

int led_find(const char *name, int *slot)
{
    if (!name) return -1;
    {
        std::lock_guard<std::mutex> g(g_registry_lock);
        int i = slot_of(name);
        if (i >= 0 && g_led_slots[i].name[0] != '\0') {
            if (slot) *slot = i;
            return 0;
        }
    }
    glow_log(LOG_ERR, "led_brightness: LED '%s' not registered", name);
    return -1;
}

bool led_registered(int slot)
{
    if (slot < 0 || slot >= kLedSlots) return false;
    std::lock_guard<std::mutex> g(g_registry_lock);
    return g_registered[slot];
}

void led_clear_registered()
{
    std::lock_guard<std::mutex> g(g_registry_lock);
    for (bool &r : g_registered) r = false;
}

void led_registry_reset()
{
    for (led_slot &s : g_led_slots) {
        std::lock_guard<std::mutex> sl(s.lock);
        if (s.fd >= 0) close(s.fd);
        s.fd = -1;
        s.attached = false;
    }
    std::lock_guard<std::mutex> g(g_registry_lock);
    for (int i = 0; i < kLedSlots; ++i) {
        led_slot &s = g_led_slots[i];
        s.name[0] = s.brightness_path[0] = s.trigger_path[0] = '\0';
        g_registered[i] = false;
    }
    for (led_binding &b : g_lan_bindings) b.dimming = false;
    for (led_binding &b : g_wifi_bindings) b.dimming = false;
}

int write_line(const char *path, const char *text)
{
    if (!path || !text) return -1;
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    // One write call, so the node sees the value and its newline together.
    iovec iov[2] = {{const_cast<char *>(text), strlen(text)}, {const_cast<char *>("\n"), 1}};
    const ssize_t want = static_cast<ssize_t>(iov[0].iov_len + 1);
    bool ok = writev(fd, iov, 2) == want;
    int saved = errno;
    close(fd);
    errno = saved;
    return ok ? 0 : -1;
}

int read_int_file(const char *path, int *value)
{
    if (!path || !value) return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char buf[32] = {};
    ssize_t n = read(fd, buf, 31);
    close(fd);
    if (n <= 0) return -1;
    *value = static_cast<int>(strtol(buf, nullptr, 10));
    return 0;
}

void led_set_brightness(const char *name, bool on)
{
    char brightness[kSysfsPathMax], trigger[kSysfsPathMax];
    if (led_build_paths(name, brightness, trigger) != 0) return;
    write_line(brightness, on ? "255" : "0");
}

void led_set_trigger(const char *name, const char *trigger_name)
{
    char brightness[kSysfsPathMax], trigger[kSysfsPathMax];
    if (led_build_paths(name, brightness, trigger) != 0) return;
    write_line(trigger, trigger_name);
}

int led_read_trigger(const char *name, char out[32])
{
    if (!name || !out) return -1;
    char rel[128], path[kSysfsPathMax];
    int n = snprintf(rel, sizeof rel, "/sys/class/leds/%s/trigger", name);
    if (n < 0 || n >= 127) return -1;
    if (!glow_path(path, sizeof path, rel)) return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char buf[256] = {};
    ssize_t got = read(fd, buf, 255);
    close(fd);
    if (got <= 0) return -1;
    const char *open_b = strchr(buf, '[');
    const char *close_b = strchr(buf, ']');
    if (!open_b || !close_b || close_b < open_b + 2) return -1;
    std::size_t len = static_cast<std::size_t>(close_b - open_b - 1);
    if (len > 31) len = 31;
    memcpy(out, open_b + 1, len);
    out[len] = '\0';
    return 0;
}

namespace {

// Opens and writes one node; errno describes a failure.
bool write_node(const char *path, const char *text) { return write_line(path, text) == 0; }

}  // namespace

int led_setup_netdev(const char *name, const char *ifname)
{
    if (!name || !ifname) return -1;
    static const char kMode[] = "link tx rx";
    char trigger[kSysfsPathMax], device[kSysfsPathMax], mode[kSysfsPathMax], interval[kSysfsPathMax];
    if (!led_node(trigger, sizeof trigger, name, "trigger") || !led_node(device, sizeof device, name, "device_name") ||
        !led_node(mode, sizeof mode, name, "mode") || !led_node(interval, sizeof interval, name, "interval"))
        return -1;

    if (!write_node(trigger, "netdev")) {
        glow_log(LOG_ERR, "%s: failed to set trigger=netdev: %s", name, strerror(errno));
        return -1;
    }
    if (!write_node(device, ifname)) {
        glow_log(LOG_ERR, "%s: failed to set device_name=%s: %s", name, ifname, strerror(errno));
        return -1;
    }

    bool mode_set = false;
    if (exists(mode)) {
        if (write_node(mode, kMode))
            mode_set = true;
        else
            glow_log(LOG_WARNING, "%s: failed to set mode=%s: %s", name, kMode, strerror(errno));
    }

    static const char *const kFlags[] = {"link", "tx", "rx"};
    bool any_flag = false;
    for (const char *flag : kFlags) {
        char path[kSysfsPathMax];
        if (!led_node(path, sizeof path, name, flag) || !exists(path)) continue;
        any_flag = true;
        if (!write_node(path, "0"))
            glow_log(LOG_WARNING, "%s: failed to clear netdev flag %s: %s", name, flag, strerror(errno));
    }
    if (any_flag) {
        char list[sizeof kMode];
        memcpy(list, kMode, sizeof kMode);
        char *save = nullptr;
        for (char *flag = strtok_r(list, " ,", &save); flag; flag = strtok_r(nullptr, " ,", &save)) {
            char path[kSysfsPathMax];
            if (!led_node(path, sizeof path, name, flag) || !exists(path)) continue;
            if (write_node(path, "1"))
                mode_set = true;
            else
                glow_log(LOG_WARNING, "%s: failed to enable netdev flag %s: %s", name, flag, strerror(errno));
        }
    }
    if (!mode_set) {
        glow_log(LOG_ERR, "%s: no usable netdev mode controls for '%s'", name, kMode);
        return -1;
    }
    if (exists(interval)) write_node(interval, "50");
    glow_log(LOG_INFO, "%s: configured netdev trigger (if=%s mode=%s)", name, ifname, kMode);
    return 0;
}

int iface_link_up(const char *ifname)
{
    if (!ifname) return 0;
    char rel[128], path[kSysfsPathMax];
    int n = snprintf(rel, sizeof rel, "/sys/class/net/%s/carrier", ifname);
    if (n >= 0 && n < 128 && glow_path(path, sizeof path, rel)) {
        int carrier = 0;
        if (read_int_file(path, &carrier) == 0) return carrier == 1 ? 1 : 0;
    }
    n = snprintf(rel, sizeof rel, "/sys/class/net/%s/operstate", ifname);
    if (n < 0 || n >= 128 || !glow_path(path, sizeof path, rel)) return 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buf[32] = {};
    ssize_t got = read(fd, buf, 31);
    close(fd);
    if (got <= 0) return 0;
    return strncmp(buf, "up", 2) == 0 || strncmp(buf, "unknown", 7) == 0 ? 1 : 0;
}
