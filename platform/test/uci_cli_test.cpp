#include "platform/runner.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The uci program lands in build/bin, the tests in build/tests.
std::string uci_binary()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "uci";
    self[n] = '\0';
    std::string dir(self);
    dir.resize(dir.rfind('/'));
    return dir + "/../bin/uci";
}

const char *kNetwork =
    "# written by hand\n"
    "config interface 'loopback'\n"
    "\toption device 'lo'\n"
    "\toption proto 'static'\n"
    "\n"
    "config device\n"
    "\toption name 'br-lan'\n"
    "\tlist ports 'eth0'\n"
    "\tlist ports 'eth1 x'\n"
    "\n"
    "config interface 'lan'\n"
    "\toption ipaddr '192.168.1.1'\n"
    "\toption desc \"it's\"\n";

// One command line, what it prints (standard output and error) and its
// exit status. Steps run in order on the same directory.
struct Step {
    std::vector<std::string> args;
    std::string out;
    int status;
};

class UciCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/ucicliXXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        write("network", kNetwork);
        write("broken", "config t 's'\n  bogus x\n");
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void write(const char *pkg, const std::string &text)
    {
        FILE *f = std::fopen((dir_ + "/" + pkg).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    // Runs `uci -c <dir> args...` and returns standard output and error
    // together, with the exit status.
    std::string uci(const std::vector<std::string> &args, int *status)
    {
        const std::string bin = uci_binary();
        std::vector<const char *> argv = {"sh", "-c", "\"$0\" \"$@\" 2>&1", bin.c_str(), "-c", dir_.c_str()};
        for (const std::string &a : args) argv.push_back(a.c_str());
        platform::RunOptions opt;
        opt.capture = true;
        platform::RunResult res;
        *status = platform::run(std::span<const char *const>(argv.data(), argv.size()), opt, &res);
        return res.output;
    }
    void run_steps(const std::vector<Step> &steps)
    {
        for (const Step &s : steps) {
            std::string what;
            for (const std::string &a : s.args) what += a + " ";
            int status = -1;
            EXPECT_EQ(uci(s.args, &status), s.out) << what;
            EXPECT_EQ(status, s.status) << what;
        }
    }

    std::string dir_;
};

}  // namespace

TEST_F(UciCli, ReadsAsOpenWrtUciPrints)
{
    const std::vector<Step> steps = {
        {{"get", "network.lan.ipaddr"}, "192.168.1.1\n", 0},
        {{"get", "network.lan"}, "interface\n", 0},
        {{"get", "network.@device[0].ports"}, "eth0 'eth1 x'\n", 0},
        {{"get", "network.@device[-1].name"}, "br-lan\n", 0},
        {{"get", "network.cfg020f15.name"}, "br-lan\n", 0},
        {{"get", "network.lan.desc"}, "it's\n", 0},
        {{"show", "network"},
         "network.loopback=interface\n"
         "network.loopback.device='lo'\n"
         "network.loopback.proto='static'\n"
         "network.@device[0]=device\n"
         "network.@device[0].name='br-lan'\n"
         "network.@device[0].ports='eth0' 'eth1 x'\n"
         "network.lan=interface\n"
         "network.lan.ipaddr='192.168.1.1'\n"
         "network.lan.desc='it'\\''s'\n",
         0},
        {{"show", "network.@device[0]"},
         "network.cfg020f15=device\nnetwork.cfg020f15.name='br-lan'\nnetwork.cfg020f15.ports='eth0' 'eth1 x'\n", 0},
        {{"-X", "show", "network.@device[0].name"}, "network.cfg020f15.name='br-lan'\n", 0},
        {{"show", "network.lan.desc"}, "network.lan.desc='it'\\''s'\n", 0},
        {{"export", "network"},
         "package network\n"
         "\nconfig interface 'loopback'\n\toption device 'lo'\n\toption proto 'static'\n"
         "\nconfig device\n\toption name 'br-lan'\n\tlist ports 'eth0'\n\tlist ports 'eth1 x'\n"
         "\nconfig interface 'lan'\n\toption ipaddr '192.168.1.1'\n\toption desc 'it'\\''s'\n\n",
         0},
        {{"commit", "network"}, "", 0},
        // Every package: a broken one is reported, the command still succeeds.
        {{"commit"}, "uci: Parse error (invalid command) at line 2, byte 2\n", 0},
        // Errors, as uci words them.
        {{"get", "network.lan.nosuch"}, "uci: Entry not found\n", 1},
        {{"get", "network.nosuch"}, "uci: Entry not found\n", 1},
        {{"get", "nopackage.a.b"}, "uci: Entry not found\n", 1},
        {{"-q", "get", "network.lan.nosuch"}, "", 1},
        {{"get", "network.@device"}, "uci: Invalid argument\n", 1},
        {{"get", "network.lan.a.b"}, "uci: Parse error\n", 1},
        {{"get", "../network.lan"}, "uci: Parse error\n", 1},
        {{"show", "broken"}, "uci: Parse error (invalid command) at line 2, byte 2\n", 1},
        {{"commit", "nopackage"}, "uci: Entry not found\n", 1},
    };
    run_steps(steps);
}

TEST_F(UciCli, WritesAtOnce)
{
    const std::string marker = dir_ + "/pwned";
    const std::string hostile = "$(touch " + marker + ") `touch " + marker + "` 'q' \"d\" \\";
    const std::vector<Step> steps = {
        {{"set", "network.lan.ipaddr=10.0.0.1"}, "", 0},
        {{"get", "network.lan.ipaddr"}, "10.0.0.1\n", 0},
        {{"set", "network.wan=interface"}, "", 0},
        {{"set", "network.wan.proto=dhcp"}, "", 0},
        {{"set", "network.lan.x=" + hostile}, "", 0},
        {{"get", "network.lan.x"}, hostile + "\n", 0},
        {{"set", "network.nosuch.x=1"}, "uci: Invalid argument\n", 1},
        {{"set", "nopackage.s.x=1"}, "uci: Entry not found\n", 1},
        {{"set", "broken.s.x=1"}, "uci: Parse error (invalid command) at line 2, byte 2\n", 1},
        {{"add", "network", "device"}, "cfg050f15\n", 0},
        {{"set", "network.cfg050f15.name=br-wan"}, "", 0},
        {{"get", "network.@device[1].name"}, "br-wan\n", 0},
        {{"add", "nopackage", "device"}, "uci: Entry not found\n", 3},
        {{"add_list", "network.@device[0].ports=eth2"}, "", 0},
        {{"del_list", "network.@device[0].ports=eth1 x"}, "", 0},
        {{"delete", "network.@device[0].ports=0"}, "", 0},
        {{"get", "network.@device[0].ports"}, "eth2\n", 0},
        {{"delete", "network.lan.desc"}, "", 0},
        {{"delete", "network.lan.desc"}, "uci: Entry not found\n", 1},
        {{"set", "network.lan.proto="}, "", 0},
        {{"delete", "network.loopback"}, "", 0},
        {{"delete", "network.wan.proto"}, "", 0},
    };
    run_steps(steps);
    EXPECT_NE(::access(marker.c_str(), F_OK), 0);
    FILE *f = std::fopen((dir_ + "/network").c_str(), "r");
    ASSERT_NE(f, nullptr);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    EXPECT_EQ(text,
              "\nconfig device\n\toption name 'br-lan'\n\tlist ports 'eth2'\n"
              "\nconfig interface 'lan'\n\toption ipaddr '10.0.0.1'\n"
              "\toption x '$(touch " + marker + ") `touch " + marker + "` '\\''q'\\'' \"d\" \\'\n"
              "\nconfig interface 'wan'\n"
              "\nconfig device\n\toption name 'br-wan'\n\n");
}

TEST_F(UciCli, UnknownCommandShowsUsage)
{
    int status = -1;
    const std::string out = uci({"frobnicate", "x"}, &status);
    EXPECT_EQ(status, 255);
    EXPECT_EQ(out.rfind("Usage: uci", 0), 0u) << out;
}
