#include "glowctl/daemon.h"
#include "glowctl/test/fake_tree.h"

#include <algorithm>
#include <chrono>
#include <thread>

using namespace glowtest;

namespace {

const char *const kHostapd0 = "hostapd_cli -i default_radio0 wps_get_status 2>/dev/null";
const char *const kHostapd1 = "hostapd_cli -i default_radio1 wps_get_status 2>/dev/null";

class Daemon : public FakeTree {
protected:
    void SetUp() override
    {
        FakeTree::SetUp();
        night_set_clock([](int *m) {
            *m = 12 * 60;
            return true;
        });
        write("/var/run/.keep", "");
        write("/tmp/.keep", "");
    }

    daemon_state start(const char *board, std::initializer_list<const char *> leds)
    {
        write("/sys/firmware/devicetree/base/board_name_alias", std::string(board) + "\n");
        for (const char *l : leds) add_led(l, "none [default-on] timer netdev");
        daemon_state d;
        glow_read_board(d);
        glow_startup(d, false);
        return d;
    }

    static std::vector<std::string> led_writes()
    {
        std::vector<std::string> w;
        for (const std::string &s : fake_zkuci::g_writes)
            if (s.find("system.") != std::string::npos) w.push_back(s);
        return w;
    }

    static std::vector<std::string> section(const char *led, const char *trigger, int delay = 0)
    {
        std::string p = std::string("system.") + led;
        std::vector<std::string> w = {"del " + p, "add " + p + "=led", "set " + p + ".name=" + led,
                                      "set " + p + ".sysfs=" + led, "set " + p + ".trigger=" + trigger};
        if (std::string(trigger) == "none") w.push_back("set " + p + ".default=0");
        if (delay) {
            w.push_back("set " + p + ".delayon=" + std::to_string(delay));
            w.push_back("set " + p + ".delayoff=" + std::to_string(delay));
        }
        return w;
    }

    static std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts)
    {
        std::vector<std::string> all;
        for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    }

    static int commits()
    {
        auto calls = shell_calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), "uci commit system"));
    }
};

TEST_F(Daemon, BoardIdentity)
{
    struct Case {
        const char *file;  // nullptr: missing
        const char *board;
        board_kind kind;
    } cases[] = {
        {"rt8100ac\n", "rt8100ac", BOARD_RT8100AC},
        {"rt2200ach", "rt2200ach", BOARD_RT2200ACH},
        {"rt8110_4g_h1\n\n", "rt8110_4g_h1\n", BOARD_OTHER},
        {"rt8110_4g", "rt8110_4g", BOARD_RT8110_4G},
        {"", "", BOARD_OTHER},
        {nullptr, "", BOARD_OTHER},
    };
    for (const Case &c : cases) {
        const std::string rel = "/sys/firmware/devicetree/base/board_name_alias";
        if (c.file)
            write(rel, c.file);
        else
            unlink(path(rel).c_str());
        daemon_state d;
        glow_read_board(d);
        EXPECT_STREQ(d.board, c.board) << (c.file ? c.file : "(missing)");
        EXPECT_EQ(d.kind, c.kind) << (c.file ? c.file : "(missing)");
        EXPECT_EQ(d.led_policy, c.kind != BOARD_OTHER);
    }
}

TEST_F(Daemon, StatusLedFollowsWanWpsAndFactoryReset)
{
    daemon_state d = start("rt8100ac", {"led_internet", "led_power"});
    EXPECT_EQ(led_writes(), section("led_internet", "timer", 1000)) << "start-up indication";
    dim_snapshot s{};
    get_dim(&s);
    EXPECT_EQ(s.on_ns, 2176376);
    EXPECT_EQ(s.level, -1);
    clear_records();

    write("/tmp/wan_status", "1\n");
    glow_pass(d, 100);
    EXPECT_EQ(led_writes(), concat({section("led_power", "default-on"), section("led_internet", "default-on")}));
    EXPECT_EQ(commits(), 2);
    EXPECT_EQ(d.prev_status, LED_KEEP_ON);

    clear_records();
    glow_pass(d, 101);
    EXPECT_TRUE(led_writes().empty()) << "a stable state writes nothing";

    // Push-button WPS on one radio blinks fast until it ends.
    g_shell_outputs[kHostapd0] = "PBC Status: Active\nLast WPS result: None\n";
    glow_pass(d, 102);
    EXPECT_EQ(d.prev_status, LED_FAST_BLINKING);
    g_shell_outputs[kHostapd0] = "PBC Status: Disabled\n";
    glow_pass(d, 103);
    EXPECT_EQ(d.prev_status, LED_KEEP_ON);

    clear_records();
    write("/tmp/factory_reset", "1\n");
    glow_pass(d, 104);
    EXPECT_EQ(d.prev_status, LED_KEEP_OFF);
    EXPECT_EQ(led_writes(), concat({section("led_power", "none"), section("led_internet", "none")}));
}

TEST_F(Daemon, WpsLatchFollowsStartsAndEnds)
{
    daemon_state d = start("rt8100ac", {"led_internet"});
    // Radio 0 keeps running while radio 1 starts and ends: the end clears the latch.
    g_shell_outputs[kHostapd0] = "PBC Status: Active\n";
    glow_pass(d, 1);
    EXPECT_TRUE(d.wps_latch);
    g_shell_outputs[kHostapd1] = "PBC Status: Active\n";
    glow_pass(d, 2);
    g_shell_outputs[kHostapd1] = "PBC Status: Timed-out\n";
    glow_pass(d, 3);
    EXPECT_FALSE(d.wps_latch);
    EXPECT_EQ(d.prev_status, LED_SLOW_BLINKING);
}

TEST_F(Daemon, MeshSlaveShowsItsBackhaul)
{
    daemon_state d = start("rt8110_4g_h2", {"led_internet", "led_power"});
    fake_zkuci::g_values["easymesh.easymesh_default.mesh_switch"] = "1";
    fake_zkuci::g_values["easymesh.easymesh_default.mesh_mode"] = "1";
    glow_pass(d, 1);
    EXPECT_EQ(d.prev_status, LED_SLOW_BLINKING);

    write("/tmp/mesh_slave_wps_status", "WPS-PBC-ACTIVE\n");
    glow_pass(d, 2);
    EXPECT_EQ(d.prev_status, LED_FAST_BLINKING);
    EXPECT_TRUE(wps_timer_running());

    // A connected backhaul station wins even while WPS runs.
    g_shell_outputs[kHostapd0] = "PBC Status: Active\n";
    write("/proc/em_bh_5g_sta/sta_info", "Station list\nTotal user nums: 1\n");
    glow_pass(d, 3);
    EXPECT_EQ(d.prev_status, LED_KEEP_ON);

    write("/tmp/mesh_slave_wps_status", "WPS-SUCCESS\n");
    glow_pass(d, 4);
    EXPECT_FALSE(wps_timer_running());
    EXPECT_EQ(count_log("WPS timer stop requested"), 1);

    // Another mesh role keeps the previous status.
    fake_zkuci::g_values["easymesh.easymesh_default.mesh_mode"] = "2";
    unlink(path("/proc/em_bh_5g_sta/sta_info").c_str());
    glow_pass(d, 5);
    EXPECT_EQ(d.prev_status, LED_KEEP_ON);
}

TEST_F(Daemon, StaInfoCount)
{
    struct Case {
        const char *file;
        int want;
    } cases[] = {
        {"Total user nums: 2\n", 2},
        {"header\n  Total user nums: 0\nTotal user nums: 3\n", 0},
        {"Total user nums: x\nTotal user nums: 4\n", 4},
        {"no count here\n", -1},
    };
    for (const Case &c : cases) {
        write("/sta", c.file);
        EXPECT_EQ(sta_count(path("/sta").c_str()), c.want) << c.file;
    }
    EXPECT_EQ(sta_count(path("/missing").c_str()), -1);
}

TEST_F(Daemon, BridgeAddressLightsTheStatusLed)
{
    daemon_state d = start("rt8110_4g_h1", {"led_internet"});
    fake_zkuci::g_values["device_mode_manager.device_mode_manager.mode"] = "1";
    fake_zkuci::g_values["custom.custom_page.bridge_mode_open_lan_dhcpclient"] = "1";
    write("/tmp/bridge_mgmt_dhcpc_filter.ready", "");
    struct Case {
        const char *ip;
        int want;
    } cases[] = {
        {"192.168.10.23\r\n", LED_KEEP_ON}, {"0.0.0.0\n", LED_KEEP_OFF},   {"\n", LED_KEEP_OFF},
        {"300.1.1.1\n", LED_KEEP_OFF},      {"10.0.0.1 x\n", LED_KEEP_OFF}, {"10.0.0.1", LED_KEEP_ON},
    };
    for (const Case &c : cases) {
        write("/tmp/lan_dhcpc_ip.txt", c.ip);
        glow_pass(d, 1);
        EXPECT_EQ(d.prev_status, c.want) << "'" << c.ip << "'";
    }
    // A factory reset overrides a valid address.
    write("/tmp/factory_reset", "1");
    glow_pass(d, 2);
    EXPECT_EQ(d.prev_status, LED_KEEP_OFF);
}

TEST_F(Daemon, AllOffEnterAndLeave)
{
    daemon_state d = start("rt8100ac", {"led_internet", "led_power"});
    write("/tmp/wan_status", "1\n");
    glow_pass(d, 1);
    fake_zkuci::g_values["glowctl.night_mode.all_leds_off_enable"] = "1";
    clear_records();
    glow_pass(d, 2);
    glow_pass(d, 3);
    EXPECT_EQ(count_log("all_leds_off: enter persistent force off"), 1);
    dim_snapshot s{};
    get_dim(&s);
    EXPECT_EQ(s.mode, MODE_FORCE_OFF);
    EXPECT_EQ(s.running, 2);
    EXPECT_TRUE(led_writes().empty()) << "the UCI LED sections stay as they are";

    fake_zkuci::g_values["glowctl.night_mode.all_leds_off_enable"] = "0";
    glow_pass(d, 4);
    EXPECT_EQ(count_log("all_leds_off: exit persistent force off"), 1);
    get_dim(&s);
    EXPECT_EQ(s.mode, MODE_PWM);
    EXPECT_EQ(led_writes(), concat({section("led_power", "default-on"), section("led_internet", "default-on")}))
        << "the pattern is written again though the status did not change";
}

TEST_F(Daemon, LanMonitorFollowsNightEdgesOnH2)
{
    fake_zkuci::g_values["glowctl.night_mode.enabled"] = "1";
    fake_zkuci::g_values["glowctl.night_mode.schedule"] = "0";
    daemon_state d = start("rt8110_4g_h2", {"led_internet", "led_lan"});
    EXPECT_EQ(count_log("led_block startup: stop monitor_lan_led"), 1);
    clear_records();
    g_shell_statuses["ps | grep -q '[m]onitor_lan_led.sh'"] = 1;  // not running
    glow_pass(d, 100);
    glow_pass(d, 101);
    auto calls = shell_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "monitor_lan_led stop"), 1) << "once at the edge";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ps | grep -q '[m]onitor_lan_led.sh'"), 1);

    g_shell_statuses["ps | grep -q '[m]onitor_lan_led.sh'"] = 0;  // someone restarted it
    glow_pass(d, 105);
    glow_pass(d, 110);
    calls = shell_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ps | grep -q '[m]onitor_lan_led.sh'"), 2) << "every 10 s";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "monitor_lan_led stop"), 2);
    EXPECT_EQ(read("/var/run/led_night_mode"), "1\n");
}

TEST_F(Daemon, UnknownBoardTouchesNoLedButClearsWpsBlinkOnce)
{
    fake_zkuci::g_values["system.wps_wifi_blink_led_wifi1.sysfs"] = "led_wifi1";
    daemon_state d = start("rt9999", {"led_internet", "led_power", "led_wifi1"});
    write("/tmp/wan_status", "1\n");
    glow_pass(d, 1);
    glow_pass(d, 2);
    EXPECT_EQ(fake_zkuci::g_writes,
              (std::vector<std::string>{"del system.wps_wifi_blink_led_wifi1", "del system.wps_wifi_blink_led_wifi2"}));
    EXPECT_EQ(commits(), 1);
    EXPECT_FALSE(led_registered(SLOT_INTERNET));
    EXPECT_EQ(led("led_power", "brightness"), "");
    EXPECT_EQ(led("led_power", "trigger"), "none [default-on] timer netdev");
}

TEST_F(Daemon, WifiLedsBlinkDuringWpsOnRt2200ach)
{
    fake_zkuci::g_values["custom.custom_page.wps_wifi_led_blink"] = "1";
    daemon_state d = start("rt2200ach", {"led_wifi1", "led_wifi2"});
    glow_pass(d, 1);
    EXPECT_TRUE(fake_zkuci::g_writes.empty()) << "no sections to clear";
    g_shell_outputs[kHostapd1] = "PBC Status: Active\n";
    glow_pass(d, 2);
    glow_pass(d, 3);
    EXPECT_EQ(d.wifi_blink, 1);
    EXPECT_EQ(fake_zkuci::g_values["system.wps_wifi_blink_led_wifi2.sysfs"], "led_wifi2");
    EXPECT_EQ(fake_zkuci::g_values["system.wps_wifi_blink_led_wifi1.delayon"], "50");
    EXPECT_EQ(commits(), 1);
    g_shell_outputs[kHostapd1] = "";
    glow_pass(d, 4);
    EXPECT_EQ(d.wifi_blink, 0);
    EXPECT_EQ(fake_zkuci::g_values.count("system.wps_wifi_blink_led_wifi2.sysfs"), 0u);
}

TEST_F(Daemon, StartupSetsNetdevTriggersOnRt2200ach)
{
    write("/sys/class/leds/led_lan/device_name", "");
    write("/sys/class/leds/led_lan/mode", "");
    daemon_state d = start("rt2200ach", {"led_lan"});
    EXPECT_EQ(led("led_lan", "device_name"), "eth0\n");
    EXPECT_EQ(count_log("skip unavailable LAN LED led_lan2 for default netdev trigger"), 1);
    EXPECT_TRUE(fake_zkuci::g_writes.empty()) << "no status LED on this board";
    (void)d;
}

TEST_F(Daemon, StoppedAndRestartedCountdownWritesTheTimeoutOnce)
{
    wps_timer_set_tick_ms(5);  // a 0.6 s countdown
    wps_timer_start();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    wps_timer_stop();
    wps_timer_start();  // within one tick: the first thread has not looked yet
    while (wps_timer_running()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Long enough for a second countdown, 100 ms behind the first, to end too.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto calls = shell_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "echo 'WPS-TIMEOUT' > /tmp/mesh_slave_wps_status"), 1);
    wps_timer_set_tick_ms(1000);
}

}  // namespace
