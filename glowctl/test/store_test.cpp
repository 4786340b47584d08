// glowctl against the real configuration store in a scratch directory: what
// lands in the package files, and what a restart reads back from them.
#include "glowctl/daemon.h"
#include "glowctl/log.h"
#include "glowctl/night_mode.h"
#include "glowctl/sys.h"
#include "platform/zkuci.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_commands;
int record(const char *command, std::string *)
{
    g_commands.push_back(command);
    return 0;
}
void quiet(int, const char *) {}

class Store : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/glowstoreXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        zkuci_set_config_dir(dir_.c_str());
        glow_set_root(dir_.c_str());  // state files land here too
        glow_set_shell_hook(record);
        glow_set_log_sink(quiet);
        night_set_clock([](int *m) {
            *m = 12 * 60;
            return true;
        });
        g_commands.clear();
    }
    void TearDown() override
    {
        night_mode_reset();
        night_set_clock(nullptr);
        glow_set_shell_hook(nullptr);
        glow_set_log_sink(nullptr);
        glow_set_root("");
        zkuci_set_config_dir("/etc/config");
        if (system(("rm -rf '" + dir_ + "'").c_str()) != 0) ADD_FAILURE();
    }
    void write(const std::string &name, const std::string &text) { std::ofstream(dir_ + "/" + name) << text; }
    std::string read(const std::string &name)
    {
        std::ifstream f(dir_ + "/" + name);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    static std::string get(const char *pkg, const char *sec, const char *opt)
    {
        char buf[64];
        return zkuci_get(pkg, sec, opt, buf, sizeof buf) == 0 ? buf : "(missing)";
    }
    std::string dir_;
};

TEST_F(Store, TimesAreStoredAsSentAndReadBackOnRestart)
{
    write("glowctl", "config night_mode 'night_mode'\n\toption enabled '0'\n");
    night_mode_load();
    night_args a{"21:5", "07:05", true, false, 1, 0};
    ASSERT_EQ(set_night_mode(&a), 0);
    EXPECT_EQ(get("glowctl", "night_mode", "start"), "21:5");
    EXPECT_EQ(get("glowctl", "night_mode", "end"), "07:05");
    EXPECT_EQ(get("glowctl", "night_mode", "enabled"), "1");
    EXPECT_EQ(g_commands, (std::vector<std::string>{"uci commit glowctl",
                                                    "(sleep 1; /etc/init.d/glowctl restart >/dev/null 2>&1) &"}));

    night_mode_reset();
    night_mode_load();  // what the restarted daemon sees
    night_snapshot s{};
    ASSERT_EQ(get_night_mode(&s), 0);
    EXPECT_STREQ(s.start, "21:05");
    EXPECT_STREQ(s.end, "07:05");
    EXPECT_EQ(s.enabled, 1);
}

TEST_F(Store, MissingSectionIsAPersistenceFailure)
{
    write("glowctl", "config other 'other'\n");
    const std::string before = read("glowctl");
    night_mode_load();
    night_args a{"21:00", "6:00", false, false, 0, 0};
    EXPECT_EQ(set_night_mode(&a), 9);
    EXPECT_EQ(read("glowctl"), before);
    EXPECT_TRUE(g_commands.empty());
}

TEST_F(Store, StatusLedSectionsAreRewrittenWhole)
{
    write("system", "config led 'led_internet'\n\toption name 'internet'\n\toption default '1'\n");
    uci_led_blink("led_internet", 1000);
    EXPECT_EQ(get("system", "led_internet", "trigger"), "timer");
    EXPECT_EQ(get("system", "led_internet", "delayoff"), "1000");
    EXPECT_EQ(get("system", "led_internet", "name"), "led_internet");
    EXPECT_EQ(get("system", "led_internet", "default"), "(missing)") << "nothing of the old section stays";
    uci_led_static("led_internet", false);
    EXPECT_EQ(get("system", "led_internet", "trigger"), "none");
    EXPECT_EQ(get("system", "led_internet", "default"), "0");
    EXPECT_EQ(get("system", "led_internet", "delayon"), "(missing)");
    EXPECT_EQ(g_commands, (std::vector<std::string>{"uci commit system", "/etc/init.d/led restart",
                                                    "uci commit system", "/etc/init.d/led restart"}));
}

}  // namespace
