// The LEDs glowctl knows, which of them the running board has, and the small
// sysfs routines every other part of the daemon uses.
#pragma once

#include <cstddef>
#include <mutex>

constexpr int kLedSlots = 10;
constexpr std::size_t kSysfsPathMax = 4096;

enum led_slot_index : int {
    SLOT_INTERNET = 0,
    SLOT_PON = 1,
    SLOT_LOS = 2,
    SLOT_POWER = 3,
    SLOT_WIFI1 = 4,
    SLOT_WIFI2 = 5,
    SLOT_LAN = 6,
    SLOT_LAN2 = 7,
    SLOT_LAN3 = 8,
    SLOT_LAN4 = 9,
};

struct led_binding {
    const char *led;
    const char *ifname;
    bool dimming;  // night mode holds this LED under dimming control
};

struct led_slot {
    char name[64];  // empty while the slot was never registered
    char brightness_path[kSysfsPathMax];
    char trigger_path[kSysfsPathMax];
    int fd = -1;  // brightness node, open while attached to the dimming engine
    bool attached = false;
    std::mutex lock;  // guards fd and attached
};

extern const char *const g_led_names[kLedSlots];
extern led_binding g_lan_bindings[4];
extern led_binding g_wifi_bindings[2];
extern led_slot g_led_slots[kLedSlots];

int led_register(const char *name);
int led_find(const char *name, int *slot);
bool led_registered(int slot);
void led_clear_registered();
// Forgets every slot (closing attached nodes); for unit tests.
void led_registry_reset();

int led_build_paths(const char *name, char *brightness, char *trigger);
int write_line(const char *path, const char *text);
int read_int_file(const char *path, int *value);
void led_set_brightness(const char *name, bool on);
void led_set_trigger(const char *name, const char *trigger);
int led_read_trigger(const char *name, char out[32]);
int led_setup_netdev(const char *name, const char *ifname);
int iface_link_up(const char *ifname);
