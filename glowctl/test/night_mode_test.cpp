#include "glowctl/test/fake_tree.h"

#include <dirent.h>

using namespace glowtest;

namespace {

int g_minutes = 0;
bool g_clock_ok = true;
bool fake_clock(int *m)
{
    *m = g_minutes;
    return g_clock_ok;
}

TEST(ParseHhmm, WhollyOneOrTwoDigitsAColonOneOrTwoDigits)
{
    struct Case {
        const char *text;
        int want;  // -1: rejected
    } cases[] = {
        {"7:05", 425},   {"07:5", 425},   {"0:0", 0},       {"23:59", 1439}, {"22:00", 1320},
        {"24:00", -1},   {"7:60", -1},    {"7:05; anything", -1}, {"7:05\n...", -1},
        {"7:05 ", -1},   {" 7:05", -1},   {"007:05", -1},   {"7:005", -1},   {"7:", -1},
        {":05", -1},     {"-1:05", -1},   {"+7:05", -1},    {"7.05", -1},    {"", -1},
    };
    for (const Case &c : cases) {
        int m = -7;
        EXPECT_EQ(parse_hhmm(c.text, &m), c.want >= 0 ? 1 : 0) << c.text;
        if (c.want >= 0) {
            EXPECT_EQ(m, c.want) << c.text;
        }
    }
    int m;
    EXPECT_EQ(parse_hhmm(nullptr, &m), 0);
    EXPECT_EQ(parse_hhmm("7:05", nullptr), 0);
}

TEST(NightWindow, OpenWhileInsideTheWindow)
{
    night_set_clock(fake_clock);
    struct Case {
        int enabled, schedule, start, end, now;
        bool clock_ok;
        int want;
    } cases[] = {
        {1, 1, 1320, 420, 23 * 60 + 30, true, 1},  // crossing midnight
        {1, 1, 1320, 420, 6 * 60 + 59, true, 1},
        {1, 1, 1320, 420, 7 * 60, true, 0},
        {1, 1, 1320, 420, 21 * 60 + 59, true, 0},
        {1, 1, 1320, 420, 22 * 60, true, 1},
        {1, 1, 480, 1020, 480, true, 1},  // same-day window
        {1, 1, 480, 1020, 1020, true, 0},
        {1, 1, 480, 480, 480, true, 0},  // empty window, not a full day
        {1, 0, 480, 480, 480, true, 1},  // schedule 0: all the time
        {1, 0, 1320, 420, 720, false, 1},
        {0, 0, 1320, 420, 23 * 60, true, 0},
        {1, 1, 1320, 420, 23 * 60, false, 0},  // no local time
    };
    for (const Case &c : cases) {
        night_mode_ctx ctx;
        ctx.enabled = c.enabled;
        ctx.schedule = c.schedule;
        ctx.start = c.start;
        ctx.end = c.end;
        g_minutes = c.now;
        g_clock_ok = c.clock_ok;
        EXPECT_EQ(night_should_run(&ctx), c.want)
            << c.enabled << "/" << c.schedule << " " << c.start << "-" << c.end << " at " << c.now;
    }
    EXPECT_EQ(night_should_run(nullptr), 0);
    g_clock_ok = true;
    night_set_clock(nullptr);
}

class NightMode : public FakeTree {
protected:
    void SetUp() override
    {
        FakeTree::SetUp();
        night_set_clock(fake_clock);
        g_minutes = 12 * 60;
        g_clock_ok = true;
        write("/var/run/.keep", "");
        ASSERT_EQ(brightness_init(), 0);
    }

    void load(std::map<std::string, std::string> opts = {})
    {
        fake_zkuci::reset();
        for (auto &[k, v] : opts) fake_zkuci::g_values["glowctl.night_mode." + k] = v;
        night_mode_load();
        fake_zkuci::g_writes.clear();
    }
};

TEST_F(NightMode, LoadOverlaysStoredValuesOnDefaults)
{
    load();
    EXPECT_EQ(g_night->enabled, 0);
    EXPECT_EQ(g_night->schedule, 1);
    EXPECT_EQ(g_night->start, 1320);
    EXPECT_EQ(g_night->end, 420);

    load({{"enabled", "5"}, {"schedule", "0"}, {"start", "7:05; x"}, {"end", "6:30"}});
    EXPECT_EQ(g_night->enabled, 1) << "any non-zero integer";
    EXPECT_EQ(g_night->schedule, 0);
    EXPECT_EQ(g_night->start, 1320) << "an invalid time keeps the default";
    EXPECT_EQ(g_night->end, 390);
    EXPECT_FALSE(g_night->active);
}

TEST_F(NightMode, SetNightModePaths)
{
    auto S = [](const char *s) { return s; };
    struct Case {
        const char *what;
        int enabled0;  // stored before the call
        night_args args;
        int status;
        std::vector<std::string> writes;
        std::vector<std::string> shell;
        int start, end, enabled;  // context after
    } cases[] = {
        {"only start", 0, {S("6:00"), nullptr, false, false, 0, 0}, 2, {}, {}, 1320, 420, 0},
        {"nothing given", 0, {nullptr, nullptr, false, false, 0, 0}, 2, {}, {}, 1320, 420, 0},
        {"hour out of range", 0, {S("24:00"), S("06:00"), false, false, 0, 0}, 9, {}, {}, 1320, 420, 0},
        {"trailing text", 0, {S("7:05; rm -rf /"), S("06:00"), true, false, 1, 0}, 9, {}, {}, 1320, 420, 0},
        {"trailing line", 0, {S("21:00"), S("7:05\nfoo"), false, false, 0, 0}, 9, {}, {}, 1320, 420, 0},
        {"enabled equal to stored", 1, {nullptr, nullptr, true, false, 1, 0}, 0, {}, {}, 1320, 420, 1},
        {"times equal to stored", 0, {S("22:0"), S("7:00"), false, false, 0, 0}, 0, {}, {}, 1320, 420, 0},
        {"new times and enabled",
         1,
         {S("21:30"), S("07:5"), true, false, 0, 0},
         0,
         {"set glowctl.night_mode.start=21:30", "set glowctl.night_mode.end=07:5",
          "set glowctl.night_mode.enabled=0"},
         {"uci commit glowctl", "(sleep 1; /etc/init.d/glowctl restart >/dev/null 2>&1) &"},
         1290,
         425,
         0},
        {"enabled non-zero counts as 1",
         0,
         {nullptr, nullptr, true, true, 7, 0},
         0,
         {"set glowctl.night_mode.enabled=1", "set glowctl.night_mode.schedule=0"},
         {"uci commit glowctl"},
         1320,
         420,
         1},
    };
    for (const Case &c : cases) {
        load({{"enabled", c.enabled0 ? "1" : "0"}});
        {
            std::lock_guard<std::mutex> g(g_rec_lock);
            g_shell.clear();
        }
        EXPECT_EQ(set_night_mode(&c.args), c.status) << c.what;
        EXPECT_EQ(fake_zkuci::g_writes, c.writes) << c.what;
        EXPECT_EQ(shell_calls(), c.shell) << c.what;
        EXPECT_EQ(g_night->start, c.start) << c.what;
        EXPECT_EQ(g_night->end, c.end) << c.what;
        EXPECT_EQ(g_night->enabled, c.enabled) << c.what;
    }
    EXPECT_EQ(set_night_mode(nullptr), 2);
    night_mode_reset();
    night_args any{nullptr, nullptr, true, false, 1, 0};
    EXPECT_EQ(set_night_mode(&any), 2) << "no context";
}

TEST_F(NightMode, PersistenceFailureKeepsOldTimesAndSkipsTheCommit)
{
    load();
    fake_zkuci::g_fail_set = "glowctl.night_mode.end";
    night_args a{"21:00", "6:00", true, false, 1, 0};
    EXPECT_EQ(set_night_mode(&a), 9);
    EXPECT_EQ(g_night->start, 1320);
    EXPECT_EQ(g_night->enabled, 0);
    EXPECT_TRUE(shell_calls().empty());
    EXPECT_EQ(count_log("night_mode: failed to persist schedule"), 1);

    fake_zkuci::g_fail_set = "glowctl.night_mode.schedule";
    night_args b{nullptr, nullptr, true, true, 1, 0};
    EXPECT_EQ(set_night_mode(&b), 9);
    EXPECT_EQ(g_night->enabled, 1) << "an earlier step's change stays";
    EXPECT_TRUE(shell_calls().empty());
    EXPECT_EQ(count_log("night_mode: failed to persist schedule flag"), 1);
}

TEST_F(NightMode, ActivationFollowsTheWindowAndWritesTheStateFile)
{
    load();
    night_args on{nullptr, nullptr, true, true, 1, 0};  // enabled, all the time
    ASSERT_EQ(set_night_mode(&on), 0);
    EXPECT_TRUE(g_night->active);
    EXPECT_EQ(read("/var/run/led_night_mode"), "1\n");

    night_snapshot s{};
    ASSERT_EQ(get_night_mode(&s), 0);
    EXPECT_EQ(s.active, 1);
    EXPECT_EQ(s.should_run, 1);
    EXPECT_STREQ(s.start, "22:00");
    EXPECT_STREQ(s.end, "07:00");
    EXPECT_EQ(s.minutes_local, 720);

    night_args sched{nullptr, nullptr, false, true, 0, 1};  // back to the window; noon is outside it
    ASSERT_EQ(set_night_mode(&sched), 0);
    EXPECT_FALSE(g_night->active);
    EXPECT_EQ(read("/var/run/led_night_mode"), "0\n");
    EXPECT_EQ(count_log("night_mode enabled"), 1);
    EXPECT_EQ(count_log("night_mode disabled"), 1);

    night_mode_reset();
    EXPECT_EQ(get_night_mode(&s), 2);
}

// The per-LED policy, pass by pass. Plain files do not bracket the active
// trigger as the kernel does, so settle() puts back what the kernel shows.
class NightPolicy : public NightMode {
protected:
    void settle()
    {
        DIR *d = opendir(path("/sys/class/leds").c_str());
        if (!d) return;
        while (dirent *e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::string rel = std::string("/sys/class/leds/") + e->d_name + "/trigger";
            std::string t = read(rel);
            if (t.find('[') != std::string::npos && t.find('[') < t.find('\n')) continue;
            kernel_trigger(e->d_name, t.substr(0, t.find('\n')));
        }
        closedir(d);
    }
    void kernel_trigger(const std::string &led, const std::string &active)
    {
        std::string list;
        for (const char *t : {"none", "timer", "default-on", "netdev"})
            list += (list.empty() ? "" : " ") + (active == t ? "[" + std::string(t) + "]" : std::string(t));
        write("/sys/class/leds/" + led + "/trigger", list + "\n");
    }
    void pass(bool night)
    {
        night_apply(night);
        settle();
    }
    std::string brightness(const char *name) const
    {
        std::string b = led(name, "brightness");
        return b.substr(0, b.find('\n') + 1);
    }
    bool attached(int slot)
    {
        std::lock_guard<std::mutex> g(g_led_slots[slot].lock);
        return g_led_slots[slot].attached;
    }
    void reg(const char *name, const char *active)
    {
        write(std::string("/sys/class/leds/") + name + "/brightness", "");
        kernel_trigger(name, active);
        ASSERT_EQ(led_register(name), 0);
    }
};

TEST_F(NightPolicy, PowerLedDimmedAtNightAndRestoredInTheMorning)
{
    load();
    reg("led_power", "default-on");
    pass(true);
    EXPECT_TRUE(attached(SLOT_POWER));
    pass(true);
    EXPECT_TRUE(attached(SLOT_POWER)) << "trigger none while attached keeps it";
    EXPECT_EQ(count_log("night_mode: dimming led_power"), 1);
    pass(false);
    EXPECT_FALSE(attached(SLOT_POWER));
    EXPECT_EQ(brightness("led_power"), "255\n");
    EXPECT_NE(led("led_power", "trigger").find("[default-on]"), std::string::npos);
    EXPECT_EQ(count_log("night_mode: releasing led_power dimming control"), 1);
}

TEST_F(NightPolicy, UnlitLedsAreNeverAttached)
{
    load();
    static bool lit = false;
    night_set_probes({[] { return lit; }, [] { return lit; }, [] { return 1; }});
    reg("led_power", "none");
    reg("led_internet", "none");
    pass(true);
    EXPECT_FALSE(attached(SLOT_POWER));
    EXPECT_FALSE(attached(SLOT_INTERNET));
    lit = true;
    pass(true);
    EXPECT_TRUE(attached(SLOT_INTERNET));
    EXPECT_FALSE(attached(SLOT_POWER)) << "an LED showing trigger none is not taken";
    // Internet with the WAN probe: the trigger is put back by WAN state.
    pass(false);
    EXPECT_FALSE(attached(SLOT_INTERNET));
    lit = false;
}

TEST_F(NightPolicy, PonForcedOffWhileLosFlashes)
{
    load();
    reg("led_pon", "default-on");
    reg("led_los", "none");
    pass(true);
    EXPECT_TRUE(attached(SLOT_PON));
    kernel_trigger("led_los", "timer");
    pass(true);
    EXPECT_FALSE(attached(SLOT_PON));
    EXPECT_EQ(brightness("led_pon"), "0\n");
    EXPECT_NE(led("led_pon", "trigger").find("[none]"), std::string::npos);
    EXPECT_EQ(count_log("night_mode: stop dimming led_pon due to LOS flashing"), 1);
    EXPECT_EQ(count_log("night_mode: force led_pon off while led_los flashing"), 1);

    // Registered again at night, then morning: handed back lit.
    kernel_trigger("led_los", "none");
    kernel_trigger("led_pon", "default-on");
    pass(true);
    ASSERT_TRUE(attached(SLOT_PON));
    pass(false);
    EXPECT_FALSE(attached(SLOT_PON));
    EXPECT_EQ(brightness("led_pon"), "255\n");
    EXPECT_NE(led("led_pon", "trigger").find("[default-on]"), std::string::npos);
}

TEST_F(NightPolicy, WifiLedsFollowTheirRadioAndGetNetdevBack)
{
    load();
    reg("led_wifi1", "netdev");
    reg("led_wifi2", "netdev");
    write("/sys/class/leds/led_wifi1/device_name", "");
    write("/sys/class/leds/led_wifi1/mode", "");
    set_carrier("default_radio1", 1);
    set_carrier("default_radio0", 0);
    pass(true);
    EXPECT_TRUE(attached(SLOT_WIFI1));
    EXPECT_FALSE(attached(SLOT_WIFI2)) << "radio without link";
    EXPECT_TRUE(g_wifi_bindings[0].dimming);
    pass(false);
    EXPECT_FALSE(attached(SLOT_WIFI1));
    EXPECT_FALSE(g_wifi_bindings[0].dimming);
    EXPECT_EQ(led("led_wifi1", "device_name"), "default_radio1\n");
    EXPECT_NE(led("led_wifi1", "trigger").find("[netdev]"), std::string::npos);
    EXPECT_EQ(brightness("led_wifi1"), "255\n");
}

TEST_F(NightPolicy, SingleLanLedFollowsAnyPortAndIsSetOffWhenAllGoDown)
{
    load();
    reg("led_lan", "none");
    for (const char *p : {"eth0", "eth1", "eth2", "eth3"}) set_carrier(p, 0);
    set_carrier("eth2", 1);
    pass(true);
    EXPECT_TRUE(attached(SLOT_LAN));
    set_carrier("eth2", 0);
    pass(true);
    EXPECT_FALSE(attached(SLOT_LAN));
    EXPECT_EQ(brightness("led_lan"), "0\n");
    EXPECT_NE(led("led_lan", "trigger").find("[none]"), std::string::npos) << "the monitor owns the trigger";
    EXPECT_EQ(count_log("night_mode: releasing led_lan dimming control"), 1);
}

TEST_F(NightPolicy, InternetLedDimmedWhileWanUp)
{
    load();
    reg("led_internet", "default-on");
    write("/tmp/wan_status", "1\n");
    pass(true);
    EXPECT_TRUE(attached(SLOT_INTERNET));
    write("/tmp/wan_status", "0\n");
    pass(true);
    EXPECT_FALSE(attached(SLOT_INTERNET));
    write("/tmp/wan_status", "1\n");
    pass(true);
    EXPECT_TRUE(attached(SLOT_INTERNET));
    pass(false);
    EXPECT_FALSE(attached(SLOT_INTERNET));
    EXPECT_EQ(count_log("night_mode: releasing led_internet dimming control"), 2);
}

TEST_F(NightPolicy, ForceModeAttachmentsAreNotReleasedHere)
{
    load();
    reg("led_internet", "default-on");
    dim_args off{false, false, true, 0, 0, 0};
    ASSERT_EQ(set_dim(&off), 0);
    pass(false);
    EXPECT_TRUE(attached(SLOT_INTERNET));
}

}  // namespace
