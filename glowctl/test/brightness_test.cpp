#include "glowctl/test/fake_tree.h"

#include <chrono>
#include <cmath>
#include <thread>
#include <unistd.h>

using namespace glowtest;

namespace {

struct Write {
    int fd;
    bool on;
};
std::mutex g_writes_lock;
std::vector<Write> g_writes;

ssize_t recording_writer(int fd, const void *buf, std::size_t len)
{
    {
        std::lock_guard<std::mutex> g(g_writes_lock);
        g_writes.push_back({fd, len == 4 && memcmp(buf, "255\n", 4) == 0});
    }
    return pwrite(fd, buf, len, 0);
}

std::vector<Write> writes_taken()
{
    std::lock_guard<std::mutex> g(g_writes_lock);
    return g_writes;
}

class Dimming : public FakeTree {
protected:
    void SetUp() override
    {
        FakeTree::SetUp();
        {
            std::lock_guard<std::mutex> g(g_writes_lock);
            g_writes.clear();
        }
        ASSERT_EQ(brightness_init(), 0);
    }

    void register_leds(std::initializer_list<const char *> names)
    {
        for (const char *n : names) {
            add_led(n, "none [default-on] timer");
            ASSERT_EQ(led_register(n), 0) << n;
        }
    }

    static dim_snapshot snap()
    {
        dim_snapshot s{};
        get_dim(&s);
        return s;
    }

    static bool timer_armed()
    {
        std::lock_guard<std::mutex> g(g_state_lock);
        itimerspec its{};
        timer_gettime(g_brightness.timer, &its);
        return its.it_value.tv_sec != 0 || its.it_value.tv_nsec != 0;
    }

    // The value last written (plain files keep the tail of a longer earlier value).
    std::string brightness(const char *name) const
    {
        std::string b = led(name, "brightness");
        return b.substr(0, b.find('\n') + 1);
    }
};

TEST(DimLevelTable, GammaCurveOverATenMillisecondPeriod)
{
    for (const dim_level_row &r : dim_level_table) {
        EXPECT_EQ(r.on_ns + r.off_ns, 10000000) << r.level;
        const long want = r.level == 10 ? 100000 : std::lround(std::pow(r.level / 100.0, 2.2) * 1e7);
        EXPECT_EQ(r.on_ns, want) << r.level;
    }
}

TEST_F(Dimming, SetDimArgumentRules)
{
    struct Case {
        const char *what;
        dim_args args;
        int status;
        int32_t on_ns, off_ns, level;
        brightness_mode mode;
    } cases[] = {
        {"level 55 is not a row", {false, false, true, 0, 0, 55}, 2, 707403, 9292597, 30, MODE_PWM},
        {"level 50", {false, false, true, 0, 0, 50}, 0, 2176376, 7823624, 50, MODE_PWM},
        {"durations ignored beside a level", {true, true, true, 5000000, 5000000, 30}, 0, 707403, 9292597, 30,
         MODE_PWM},
        {"only on_ns", {true, false, false, 100000, 0, 0}, 2, 707403, 9292597, 30, MODE_PWM},
        {"off_ns zero", {true, true, false, 100000, 0, 0}, 2, 707403, 9292597, 30, MODE_PWM},
        {"negative", {true, true, false, -5, 100000, 0}, 2, 707403, 9292597, 30, MODE_PWM},
        {"1 ns would flood the timer", {true, true, false, 1, 1, 0}, 2, 707403, 9292597, 30, MODE_PWM},
        {"just under the floor", {true, true, false, 9999, 100000, 0}, 2, 707403, 9292597, 30, MODE_PWM},
        {"at the floor", {true, true, false, 10000, 10000, 0}, 0, 10000, 10000, -1, MODE_PWM},
        {"a row's durations are still custom", {true, true, false, 707403, 9292597, 0}, 0, 707403, 9292597, -1,
         MODE_PWM},
        {"level 0 ignores on_ns", {true, false, true, 1000, 0, 0}, 0, 707403, 9292597, 0, MODE_FORCE_OFF},
        {"level 100", {false, false, true, 0, 0, 100}, 0, 707403, 9292597, 100, MODE_FORCE_ON},
    };
    EXPECT_EQ(set_dim(nullptr), 2);
    for (const Case &c : cases) {
        brightness_reset();
        EXPECT_EQ(set_dim(&c.args), c.status) << c.what;
        dim_snapshot s = snap();
        EXPECT_EQ(s.on_ns, c.on_ns) << c.what;
        EXPECT_EQ(s.off_ns, c.off_ns) << c.what;
        EXPECT_EQ(s.level, c.level) << c.what;
        EXPECT_EQ(s.mode, c.mode) << c.what;
    }
}

TEST_F(Dimming, AttachDetachCountsAndTheLastLedStopsTheTimer)
{
    register_leds({"led_power", "led_internet"});
    EXPECT_EQ(led_attach("led_wifi1"), -1) << "not registered";
    EXPECT_EQ(led_attach("led_power"), 0);
    EXPECT_EQ(led_attach("led_power"), 0) << "attaching again only re-arms";
    EXPECT_EQ(snap().running, 1);
    EXPECT_EQ(led("led_power", "trigger").substr(0, 5), "none\n") << "kernel trigger taken away";
    EXPECT_TRUE(timer_armed());
    EXPECT_EQ(led_attach("led_internet"), 0);
    EXPECT_EQ(snap().running, 2);

    led_detach("led_power");
    EXPECT_EQ(snap().running, 1);
    EXPECT_TRUE(timer_armed());
    led_detach("led_power");
    EXPECT_EQ(snap().running, 1) << "detaching twice counts once";
    led_detach("led_internet");
    EXPECT_EQ(snap().running, 0);
    EXPECT_FALSE(timer_armed());
    std::lock_guard<std::mutex> g(g_state_lock);
    EXPECT_FALSE(g_brightness.phase);
    EXPECT_EQ(g_led_slots[SLOT_POWER].fd, -1);
}

TEST_F(Dimming, NewLedStartsInTheStateOfTheMode)
{
    register_leds({"led_power", "led_internet", "led_pon"});
    dim_args on{false, false, true, 0, 0, 100};
    ASSERT_EQ(set_dim(&on), 0);
    EXPECT_EQ(brightness("led_power"), "255\n");
    EXPECT_FALSE(timer_armed()) << "force modes do not toggle";
    EXPECT_EQ(snap().running, 3) << "level 100 attaches every registered LED";

    led_detach("led_pon");
    dim_args off{false, false, true, 0, 0, 0};
    ASSERT_EQ(set_dim(&off), 0);
    EXPECT_EQ(brightness("led_power"), "0\n");
    led_detach("led_pon");
    ASSERT_EQ(led_attach("led_pon"), 0);
    EXPECT_EQ(brightness("led_pon"), "0\n") << "force_off starts off";

    // Back to pwm: the phase is off until the first expiry.
    dim_args level{false, false, true, 0, 0, 50};
    ASSERT_EQ(set_dim(&level), 0);
    EXPECT_TRUE(timer_armed());
    EXPECT_EQ(snap().mode, MODE_PWM);
}

TEST_F(Dimming, AllOffAndReleaseWithTheLanMonitor)
{
    register_leds({"led_power", "led_lan"});  // a single LAN LED: the monitor owns it
    led_all_off();
    led_all_off();
    EXPECT_EQ(count_log("all_leds_off: force all registered LEDs off"), 1);
    EXPECT_EQ(shell_calls(), std::vector<std::string>{"monitor_lan_led stop"});
    EXPECT_EQ(snap().running, 2);
    EXPECT_EQ(snap().mode, MODE_FORCE_OFF);
    EXPECT_EQ(brightness("led_lan"), "0\n");
    EXPECT_FALSE(timer_armed());

    brightness_release_force_off();
    dim_snapshot s = snap();
    EXPECT_EQ(s.mode, MODE_PWM);
    EXPECT_EQ(s.level, 30);
    EXPECT_EQ(s.running, 2) << "the LEDs stay attached and start alternating";
    EXPECT_TRUE(timer_armed());
    brightness_release_force_off();
    EXPECT_EQ(count_log("all_leds_off: release force off mode"), 1);
}

TEST_F(Dimming, LeavingForceOffHandsTheLanLedBack)
{
    register_leds({"led_power", "led_lan"});
    write("/var/run/led_night_mode", "0\n");
    dim_args off{false, false, true, 0, 0, 0};
    ASSERT_EQ(set_dim(&off), 0);
    dim_args level{false, false, true, 0, 0, 40};
    ASSERT_EQ(set_dim(&level), 0);
    EXPECT_EQ(snap().running, 1) << "led_lan detached";
    EXPECT_EQ(shell_calls(), (std::vector<std::string>{"monitor_lan_led stop", "monitor_lan_led start"}));

    // While night mode is active the monitor is not restarted.
    write("/var/run/led_night_mode", "1\n");
    ASSERT_EQ(set_dim(&off), 0);
    ASSERT_EQ(set_dim(&level), 0);
    EXPECT_EQ(shell_calls().size(), 3u);
    EXPECT_EQ(count_log("skip monitor_lan_led start while night mode is active"), 1);
}

TEST_F(Dimming, RealExpiriesAlternateBothLedsAndStopWhenDisarmed)
{
    register_leds({"led_power", "led_internet"});
    brightness_set_writer(recording_writer);
    dim_args fast{true, true, false, 5000000, 5000000, 0};  // 5 ms phases: 200 expiries a second
    ASSERT_EQ(set_dim(&fast), 0);
    ASSERT_EQ(led_attach("led_power"), 0);
    ASSERT_EQ(led_attach("led_internet"), 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    led_detach("led_power");
    led_detach("led_internet");
    const std::vector<Write> during = writes_taken();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(writes_taken().size(), during.size()) << "a write while disarmed";

    std::map<int, std::vector<bool>> per_fd;
    for (const Write &w : during) per_fd[w.fd].push_back(w.on);
    ASSERT_EQ(per_fd.size(), 2u);
    for (const auto &[fd, states] : per_fd) {
        // One write at attach, then at most one per expiry.
        EXPECT_GT(states.size(), 20u);
        EXPECT_LE(states.size(), 1u + 210u);
        for (std::size_t i = 1; i < states.size(); ++i)
            ASSERT_NE(states[i], states[i - 1]) << "phase repeated at write " << i;
    }
}

}  // namespace
