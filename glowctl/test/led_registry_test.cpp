#include "glowctl/test/fake_tree.h"

using namespace glowtest;

namespace {

class Registry : public FakeTree {};

TEST_F(Registry, PresenceNeedsBothNodesAndAKnownName)
{
    write("/sys/class/leds/led_power/brightness", "");
    write("/sys/class/leds/led_power/trigger", "[none]");
    write("/sys/class/leds/led_pon/brightness", "");  // no trigger node
    write("/sys/class/leds/led_los/trigger", "[none]");  // no brightness node
    write("/sys/class/leds/led_usb/brightness", "");  // present but not ours
    write("/sys/class/leds/led_usb/trigger", "[none]");

    struct Case {
        const char *name;
        int want;
    } cases[] = {{"led_power", 0}, {"led_pon", -1}, {"led_los", -1}, {"led_usb", -1}, {"led_wifi1", -1}};
    for (const Case &c : cases) EXPECT_EQ(led_register(c.name), c.want) << c.name;
    EXPECT_EQ(led_register(nullptr), -1);

    EXPECT_TRUE(led_registered(SLOT_POWER));
    EXPECT_FALSE(led_registered(SLOT_PON));
    EXPECT_EQ(count_log("LED 'led_usb' not part of predefined slots"), 1);
    EXPECT_EQ(count_log("skip unavailable LED 'led_pon' on this board"), 1);

    int slot = -1;
    EXPECT_EQ(led_find("led_power", &slot), 0);
    EXPECT_EQ(slot, SLOT_POWER);
    EXPECT_EQ(std::string(g_led_slots[SLOT_POWER].brightness_path), path("/sys/class/leds/led_power/brightness"));
    EXPECT_EQ(led_find("led_pon", &slot), -1);
    EXPECT_EQ(count_log("LED 'led_pon' not registered"), 1);
}

TEST_F(Registry, RegisteringTwiceAnnouncesOnceAndSurvivesAClear)
{
    add_led("led_internet");
    EXPECT_EQ(led_register("led_internet"), 0);
    EXPECT_EQ(led_register("led_internet"), 0);
    EXPECT_EQ(count_log("registered LED 'led_internet'"), 1);

    // Start-up clears the flags; the slot's texts stay, so lookups still work.
    led_clear_registered();
    EXPECT_FALSE(led_registered(SLOT_INTERNET));
    EXPECT_EQ(led_find("led_internet", nullptr), 0);
}

TEST_F(Registry, ActiveTriggerIsTheBracketedName)
{
    struct Case {
        const char *file;
        const char *want;  // nullptr: failure
    } cases[] = {
        {"none [default-on] timer\n", "default-on"},
        {"[none] timer netdev\n", "none"},
        {"none timer [netdev]", "netdev"},
        {"none [] timer\n", nullptr},
        {"none default-on timer\n", nullptr},
        {"none [default-on timer\n", nullptr},
        {"none ] x [timer\n", nullptr},
        {"", nullptr},
        {"[a-trigger-name-that-is-longer-than-thirty-one]", "a-trigger-name-that-is-longer-t"},
    };
    for (const Case &c : cases) {
        write("/sys/class/leds/led_pon/trigger", c.file);
        char out[32] = "unchanged";
        int rc = led_read_trigger("led_pon", out);
        if (c.want) {
            EXPECT_EQ(rc, 0) << c.file;
            EXPECT_STREQ(out, c.want) << c.file;
        } else {
            EXPECT_EQ(rc, -1) << c.file;
        }
    }
    char out[32];
    EXPECT_EQ(led_read_trigger("led_lan4", out), -1) << "missing node";
}

TEST_F(Registry, NetdevTriggerInBothKernelForms)
{
    // Older kernels: one "mode" node.
    write("/sys/class/leds/led_lan/trigger", "");
    write("/sys/class/leds/led_lan/device_name", "");
    write("/sys/class/leds/led_lan/mode", "");
    write("/sys/class/leds/led_lan/interval", "");
    EXPECT_EQ(led_setup_netdev("led_lan", "eth0"), 0);
    EXPECT_EQ(led("led_lan", "trigger"), "netdev\n");
    EXPECT_EQ(led("led_lan", "device_name"), "eth0\n");
    EXPECT_EQ(led("led_lan", "mode"), "link tx rx\n");
    EXPECT_EQ(led("led_lan", "interval"), "50\n");

    // Newer kernels: one node per flag, and no interval node here.
    write("/sys/class/leds/led_lan2/trigger", "");
    write("/sys/class/leds/led_lan2/device_name", "");
    for (const char *flag : {"link", "tx", "rx"}) write(std::string("/sys/class/leds/led_lan2/") + flag, "");
    EXPECT_EQ(led_setup_netdev("led_lan2", "eth1"), 0);
    for (const char *flag : {"link", "tx", "rx"}) EXPECT_EQ(led("led_lan2", flag), "1\n") << flag;  // cleared, then set
    EXPECT_FALSE(exists("/sys/class/leds/led_lan2/interval"));
    EXPECT_EQ(count_log("led_lan2: configured netdev trigger (if=eth1 mode=link tx rx)"), 1);

    // Neither: the trigger and device are set, then it fails.
    write("/sys/class/leds/led_lan3/trigger", "");
    write("/sys/class/leds/led_lan3/device_name", "");
    EXPECT_EQ(led_setup_netdev("led_lan3", "eth2"), -1);
    EXPECT_EQ(led("led_lan3", "trigger"), "netdev\n");
    EXPECT_EQ(led("led_lan3", "device_name"), "eth2\n");
    EXPECT_EQ(count_log("led_lan3: no usable netdev mode controls for 'link tx rx'"), 1);

    // No trigger node at all.
    EXPECT_EQ(led_setup_netdev("led_lan4", "eth3"), -1);
    EXPECT_EQ(count_log("led_lan4: failed to set trigger=netdev"), 1);
    EXPECT_EQ(led_setup_netdev(nullptr, "eth3"), -1);
}

TEST_F(Registry, LinkFromCarrierElseOperstate)
{
    struct Case {
        const char *carrier;  // nullptr: no node
        const char *operstate;
        int want;
    } cases[] = {
        {"1\n", "down\n", 1},
        {"0\n", "up\n", 0},
        {nullptr, "up\n", 1},
        {nullptr, "unknown\n", 1},
        {nullptr, "down\n", 0},
        {"", "up\n", 1},  // carrier unreadable while administratively down
        {nullptr, "", 0},
        {nullptr, nullptr, 0},
    };
    int i = 0;
    for (const Case &c : cases) {
        std::string ifname = "if" + std::to_string(i++);
        if (c.carrier) write("/sys/class/net/" + ifname + "/carrier", c.carrier);
        if (c.operstate) write("/sys/class/net/" + ifname + "/operstate", c.operstate);
        EXPECT_EQ(iface_link_up(ifname.c_str()), c.want) << ifname;
    }
}

TEST_F(Registry, NodeWritesNeitherCreateNorTruncate)
{
    EXPECT_EQ(write_line(path("/missing").c_str(), "1"), -1);
    EXPECT_FALSE(exists("/missing"));
    EXPECT_EQ(write_line(path("/missing").c_str(), nullptr), -1);

    write("/node", "abcdef");
    EXPECT_EQ(write_line(path("/node").c_str(), "0"), 0);
    EXPECT_EQ(read("/node"), "0\ncdef");

    int v = -5;
    write("/num", "");
    EXPECT_EQ(read_int_file(path("/num").c_str(), &v), -1);
    write("/num", "255\n");
    EXPECT_EQ(read_int_file(path("/num").c_str(), &v), 0);
    EXPECT_EQ(v, 255);
}

}  // namespace
