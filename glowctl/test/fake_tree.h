// A scratch root holding the sysfs, /tmp and /var/run files glowctl reads,
// plus a log recorder and a shell recorder, for the unit tests.
#pragma once

#include "glowctl/brightness.h"
#include "glowctl/led_registry.h"
#include "glowctl/log.h"
#include "glowctl/night_mode.h"
#include "glowctl/sys.h"
#include "glowctl/test/fake_zkuci.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace glowtest {

inline std::mutex g_rec_lock;
inline std::vector<std::string> g_log;
inline std::vector<std::string> g_shell;
inline std::string g_shell_output;  // what a captured command prints
inline int g_shell_status = 0;
// Per-command answers, ahead of the two above.
inline std::map<std::string, std::string> g_shell_outputs;
inline std::map<std::string, int> g_shell_statuses;

inline void record_log(int, const char *line)
{
    std::lock_guard<std::mutex> g(g_rec_lock);
    g_log.push_back(line);
}

inline int record_shell(const char *command, std::string *output)
{
    std::lock_guard<std::mutex> g(g_rec_lock);
    g_shell.push_back(command);
    if (output) {
        auto it = g_shell_outputs.find(command);
        *output = it != g_shell_outputs.end() ? it->second : g_shell_output;
    }
    auto st = g_shell_statuses.find(command);
    return st != g_shell_statuses.end() ? st->second : g_shell_status;
}

inline int count_log(const std::string &needle)
{
    std::lock_guard<std::mutex> g(g_rec_lock);
    int n = 0;
    for (const std::string &l : g_log)
        if (l.find(needle) != std::string::npos) ++n;
    return n;
}

inline std::vector<std::string> shell_calls()
{
    std::lock_guard<std::mutex> g(g_rec_lock);
    return g_shell;
}

inline void clear_records()
{
    std::lock_guard<std::mutex> g(g_rec_lock);
    g_shell.clear();
    g_log.clear();
    fake_zkuci::g_writes.clear();
}

class FakeTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/glowXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        glow_set_root(root_.c_str());
        glow_set_log_sink(record_log);
        glow_set_shell_hook(record_shell);
        {
            std::lock_guard<std::mutex> g(g_rec_lock);
            g_log.clear();
            g_shell.clear();
            g_shell_output.clear();
            g_shell_status = 0;
            g_shell_outputs.clear();
            g_shell_statuses.clear();
        }
        fake_zkuci::reset();
        brightness_reset();
        brightness_set_writer(nullptr);
        led_registry_reset();
        night_mode_reset();
        night_set_clock(nullptr);
    }

    void TearDown() override
    {
        brightness_reset();
        brightness_set_writer(nullptr);
        led_registry_reset();
        night_mode_reset();
        night_set_clock(nullptr);
        glow_set_log_sink(nullptr);
        glow_set_shell_hook(nullptr);
        glow_set_root("");
        std::string cmd = "rm -rf '" + root_ + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
    }

    std::string path(const std::string &rel) const { return root_ + rel; }

    void write(const std::string &rel, const std::string &text)
    {
        std::string p = path(rel);
        for (std::size_t i = 1; (i = p.find('/', i)) != std::string::npos; ++i) mkdir(p.substr(0, i).c_str(), 0755);
        std::ofstream(p, std::ios::trunc) << text;
    }

    std::string read(const std::string &rel) const
    {
        std::ifstream f(path(rel));
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

    bool exists(const std::string &rel) const
    {
        struct stat st;
        return stat(path(rel).c_str(), &st) == 0;
    }

    // An LED with empty brightness and the given trigger list.
    void add_led(const std::string &name, const std::string &triggers = "[none] timer default-on netdev")
    {
        write("/sys/class/leds/" + name + "/brightness", "");
        write("/sys/class/leds/" + name + "/trigger", triggers);
    }
    std::string led(const std::string &name, const std::string &node) const
    {
        return read("/sys/class/leds/" + name + "/" + node);
    }
    void set_carrier(const std::string &ifname, int up) { write("/sys/class/net/" + ifname + "/carrier", up ? "1\n" : "0\n"); }

    std::string root_;
};

}  // namespace glowtest
