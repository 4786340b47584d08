// Test fixture for the UCI readers and writers: a scratch configuration
// directory with package files written by the test, and a command runner
// that records every command instead of running it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/zkuci.h"
#include "uplinkd/platform_openwrt_cfg.h"

namespace cfgtest {

struct Command {
    std::vector<std::string> argv;
    std::string input;
    std::string line() const
    {
        std::string s;
        for (const auto &a : argv) s += (s.empty() ? "" : " ") + a;
        return s;
    }
};

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/uplinkd_cfg_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        zkuci_set_config_dir(dir_.c_str());
        commands().clear();
        statuses().clear();
        ow_set_command_runner(&record);
        g_status_oam = 0;
    }
    void TearDown() override
    {
        ow_set_command_runner(nullptr);
        zkuci_set_config_dir("/etc/config");
        g_status_oam = 0;
        std::filesystem::remove_all(dir_);
    }

    void write(const std::string &package, const std::string &text)
    {
        std::ofstream(dir_ + "/" + package) << text;
    }
    std::string file(const std::string &package)
    {
        std::ifstream f(dir_ + "/" + package);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    // The option's value, or "<missing>".
    static std::string get(const char *pkg, const char *sec, const char *opt)
    {
        char buf[512] = {};
        return zkuci_get(pkg, sec, opt, buf, sizeof buf) == 0 ? std::string(buf) : std::string("<missing>");
    }
    // Exit statuses the next runs of `program` report, in order (then 0).
    static void exit_with(const std::string &program, std::initializer_list<int> st)
    {
        for (int s : st) statuses()[program].push_back(s);
    }
    static std::vector<Command> &commands()
    {
        static std::vector<Command> c;
        return c;
    }
    static std::vector<std::string> command_lines()
    {
        std::vector<std::string> v;
        for (const auto &c : commands()) v.push_back(c.line());
        return v;
    }

    std::string dir_;

private:
    static std::map<std::string, std::deque<int>> &statuses()
    {
        static std::map<std::string, std::deque<int>> s;
        return s;
    }
    static int record(std::span<const char *const> argv, std::string_view input)
    {
        Command c;
        for (const char *a : argv) c.argv.emplace_back(a);
        c.input = std::string(input);
        commands().push_back(c);
        auto &q = statuses()[c.argv.empty() ? std::string() : c.argv[0]];
        if (q.empty()) return 0;
        int st = q.front();
        q.pop_front();
        return st;
    }
};

}  // namespace cfgtest
