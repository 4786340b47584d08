// The monitor's logic against a recording host: commands in order, the
// status file, the log file, and what is left alone.

#include "apps/meshwatch/meshwatch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

class FakeHost final : public meshwatch_host {
public:
    Calls calls;
    std::map<std::string, std::string> uci;  // "package.section.option"
    bool mesh_section = false;               // network.MESH exists
    bool mesh_loaded = false;                // network.interface.MESH is loaded
    std::string mesh_answer;                 // output of em.mesh_status get
    int mesh_status = 0;                     // its exit status (-1: cannot start)
    std::map<std::string, int> status;       // exit status of other commands
    std::vector<unsigned> precise, coarse;
    bool precise_fails = false;
    bool time_ok = true;

    int run(std::span<const char *const> argv, std::string *out) override
    {
        std::string cmd;
        for (const char *a : argv) cmd += (cmd.empty() ? "" : " ") + std::string(a);
        calls.push_back(cmd);
        if (cmd == "uci get network.MESH") return mesh_section ? 0 : 1;
        if (cmd == "ubus -S list network.interface.MESH") return mesh_loaded ? 0 : 1;
        if (cmd == "ubus call em.mesh_status get") {
            if (out) *out = mesh_answer;
            return mesh_status;
        }
        auto it = status.find(cmd);
        return it == status.end() ? 0 : it->second;
    }
    int uci_get(const char *p, const char *s, const char *o, char *buf, std::size_t size) override
    {
        auto it = uci.find(std::string(p) + "." + s + "." + o);
        if (it == uci.end() || size == 0) return 1;
        std::snprintf(buf, size, "%s", it->second.c_str());
        return 0;
    }
    int sleep_precise(unsigned s) override
    {
        precise.push_back(s);
        return precise_fails ? -1 : 0;
    }
    void sleep_coarse(unsigned s) override { coarse.push_back(s); }
    bool local_time(std::tm &tm) override
    {
        if (!time_ok) return false;
        tm = std::tm{};
        tm.tm_year = 2026 - 1900;
        tm.tm_mon = 2;
        tm.tm_mday = 5;
        tm.tm_hour = 7;
        tm.tm_min = 8;
        tm.tm_sec = 9;
        return true;
    }

    // The commands of the set-up and tear-down, without the per-pass queries.
    Calls edge_calls() const
    {
        Calls v;
        for (const auto &c : calls)
            if (c.rfind("uci get", 0) != 0 && c.rfind("ubus -S list", 0) != 0 && c != "ubus call em.mesh_status get")
                v.push_back(c);
        return v;
    }
};

const char kConnected[] = "\t\"status_desc\": \"connected\",\n";
const char kDisconnected[] = "\t\"status_desc\": \"disconnected\",\n";

const Calls kJoin = {
    "ip addr del 192.168.10.1/24 dev br-lan",
    "ubus call network.interface down {\"interface\":\"MESH\"}",
    "ubus call network.interface up {\"interface\":\"MESH\"}",
    "/etc/init.d/dnsmasq stop",
    "/etc/init.d/odhcpd stop",
};
const Calls kLeave = {
    "ubus call network.interface down {\"interface\":\"MESH\"}",
    "/etc/init.d/dnsmasq restart",
    "/etc/init.d/odhcpd start",
    "ip addr add 192.168.10.1/24 dev br-lan",
};

std::string slurp(const std::string &path)
{
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class MeshwatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char d[] = "/tmp/meshwatch_test.XXXXXX";
        ASSERT_NE(mkdtemp(d), nullptr);
        dir_ = d;
        ctx_.host = &host_;
        ctx_.status_path = dir_ + "/mesh_status";
        ctx_.log_path = dir_ + "/meshwatch.log";
        out_ = open_memstream(&out_buf_, &out_len_);
        ctx_.out = out_;
        host_.uci = {
            {"easymesh.easymesh_default.mesh_switch", "1"},
            {"easymesh.easymesh_default.mesh_mode", "1"},
            {"network.lan.ipaddr", "192.168.10.1"},
            {"network.lan.netmask", "255.255.255.0"},
        };
    }
    void TearDown() override
    {
        ctx_.log.reset();
        std::fclose(out_);
        std::free(out_buf_);
        std::remove(ctx_.status_path.c_str());
        std::remove(ctx_.log_path.c_str());
        rmdir(dir_.c_str());
    }

    // One pass with the agent giving `answer`; returns the edge commands.
    Calls pass(const std::string &answer)
    {
        host_.mesh_answer = answer;
        host_.calls.clear();
        meshwatch_pass(ctx_);
        return host_.edge_calls();
    }
    std::string status() { return slurp(ctx_.status_path); }
    std::string printed()
    {
        std::fflush(out_);
        return std::string(out_buf_, out_len_);
    }
    void touch_log() { std::ofstream(ctx_.log_path.c_str()); }
    std::string log() { return slurp(ctx_.log_path); }

    FakeHost host_;
    meshwatch_ctx ctx_;
    std::string dir_;
    std::FILE *out_ = nullptr;
    char *out_buf_ = nullptr;
    size_t out_len_ = 0;
};

TEST(NetmaskToPrefix, Table)
{
    const struct {
        const char *mask;
        int prefix;
    } cases[] = {
        {"255.255.255.0", 24},   {"255.255.255.255", 32}, {"0.0.0.0", 0},
        {"255.255.255.128", 25}, {"255.255.0.0", 16},     {"128.0.0.0", 1},
        {"255.0.255.0", 8},      // non-contiguous: the leading run
        {"255.255.255", -1},     {"255.255.255.0.0", -1}, {"256.255.255.0", -1},
        {"255.255.255.-1", -1},  {"255.255.255.0 ", -1},  {" 255.255.255.0", -1},
        {"255..255.0", -1},      {"0255.0.0.0", -1},      {"a.b.c.d", -1},
        {"24", -1},              {"", -1},                {nullptr, -1},
    };
    for (const auto &c : cases) EXPECT_EQ(netmask_to_prefix(c.mask), c.prefix) << (c.mask ? c.mask : "(null)");
}

TEST(MeshStatusFromOutput, Table)
{
    const struct {
        const char *out;
        int r;
    } cases[] = {
        {"{\n\t\"status\": 2,\n\t\"status_desc\": \"connected\"\n}\n", 1},
        {"{\n\t\"status\": 0,\n\t\"status_desc\": \"disconnected\"\n}\n", 0},
        {"\"status_desc\": \"connected\"", 1},  // no final newline
        {"\"status_desc\": \"disconnected\"\n\"status_desc\": \"connected\"\n", 0},  // first line decides
        {"\"status_desc\": \"connecting\"\n", -1},
        {"\"status_desc\":\"connected\"\n", -1},  // the agent's format has one blank
        {"", -1},
    };
    for (const auto &c : cases) EXPECT_EQ(mesh_status_from_output(c.out), c.r) << c.out;
}

TEST_F(MeshwatchTest, JoinAndLeaveRunTheirStepsInOrder)
{
    meshwatch_init(ctx_);
    ASSERT_FALSE(ctx_.setup_flag);

    EXPECT_EQ(pass(kConnected), kJoin);
    EXPECT_EQ(status(), "connected\n");
    EXPECT_TRUE(ctx_.setup_flag);

    EXPECT_EQ(pass(kConnected), Calls{}) << "no edge while staying meshed";
    EXPECT_EQ(pass(kDisconnected), kLeave);
    EXPECT_EQ(status(), "disconnect\n");
    EXPECT_FALSE(ctx_.setup_flag);
    EXPECT_EQ(pass(kDisconnected), Calls{});
    EXPECT_EQ(printed(), "");
}

TEST_F(MeshwatchTest, NoAnswerTearsDownButLeavesTheStatusFile)
{
    meshwatch_init(ctx_);
    pass(kConnected);
    for (const char *silent : {"", "Command failed: Not found\n"}) {
        host_.mesh_status = 4;
        EXPECT_EQ(pass(silent), ctx_.setup_flag ? kLeave : Calls{});
        EXPECT_EQ(status(), "connected\n");
        EXPECT_FALSE(ctx_.setup_flag);
    }
}

TEST_F(MeshwatchTest, AgentThatCannotBeStartedCountsAsDisconnected)
{
    host_.mesh_status = -1;
    pass(kConnected);
    EXPECT_EQ(status(), "disconnect\n");
}

TEST_F(MeshwatchTest, RestartWhileMeshedKeepsTheSetup)
{
    host_.mesh_section = true;
    meshwatch_init(ctx_);
    EXPECT_TRUE(ctx_.setup_flag);
    EXPECT_EQ(pass(kConnected), Calls{});
}

TEST_F(MeshwatchTest, RestartWithMeshConfiguredButNotMeshedTearsDownInFirstPass)
{
    host_.mesh_section = true;
    meshwatch_init(ctx_);
    EXPECT_EQ(pass(kDisconnected), kLeave);
    EXPECT_EQ(pass(kDisconnected), Calls{});
}

TEST_F(MeshwatchTest, MeshModeZeroNeverAsksTheAgent)
{
    host_.uci["easymesh.easymesh_default.mesh_mode"] = "0";
    host_.mesh_section = true;
    meshwatch_init(ctx_);
    EXPECT_EQ(pass(kConnected), kLeave);
    EXPECT_EQ(status(), "disconnect\n");
    EXPECT_EQ(pass(kConnected), Calls{});
    EXPECT_EQ(status(), "disconnect\n");
    for (const auto &c : host_.calls) EXPECT_NE(c, "ubus call em.mesh_status get");
}

// Only the text "0" means no role; anything else (even "00") asks the agent.
TEST_F(MeshwatchTest, OtherMeshModesAskTheAgent)
{
    for (const char *mode : {"1", "2", "00", ""}) {
        host_.uci["easymesh.easymesh_default.mesh_mode"] = mode;
        host_.calls.clear();
        EXPECT_EQ(platform_judge_slaveDev_is_meshed(ctx_), -1) << mode;
        EXPECT_EQ(host_.calls.back(), "ubus call em.mesh_status get") << mode;
    }
    host_.uci.erase("easymesh.easymesh_default.mesh_mode");
    host_.mesh_answer = kConnected;
    EXPECT_EQ(platform_judge_slaveDev_is_meshed(ctx_), 1);
}

TEST_F(MeshwatchTest, UnusableLanAddressGivesNoIpCommand)
{
    const struct {
        const char *ip;
        const char *mask;
    } cases[] = {
        {"192.168.10.1", "255.255.255.x"},
        {"192.168.10.1", "255.255.255"},
        {"192.168.10.1", nullptr},
        {nullptr, "255.255.255.0"},
        {"192.168.10.1/24", "255.255.255.0"},
        {"192.168.10.1 dev eth0", "255.255.255.0"},
        {"1.2.3.4;reboot", "255.255.255.0"},
        {"fd00::1", "255.255.255.0"},
        {"", "255.255.255.0"},
    };
    for (const auto &c : cases) {
        std::string label = std::string(c.ip ? c.ip : "(none)") + " " + (c.mask ? c.mask : "(none)");
        if (c.ip) host_.uci["network.lan.ipaddr"] = c.ip; else host_.uci.erase("network.lan.ipaddr");
        if (c.mask) host_.uci["network.lan.netmask"] = c.mask; else host_.uci.erase("network.lan.netmask");
        host_.calls.clear();
        EXPECT_EQ(br_lan_static_ip(ctx_, true), -1) << label;
        EXPECT_EQ(br_lan_static_ip(ctx_, false), -1) << label;
        EXPECT_EQ(host_.calls, Calls{}) << label;
    }
    // The edges still run their other steps.
    ctx_.setup_flag = false;
    Calls join(kJoin.begin() + 1, kJoin.end());
    EXPECT_EQ(pass(kConnected), join);
    Calls leave(kLeave.begin(), kLeave.end() - 1);
    EXPECT_EQ(pass(kDisconnected), leave);
}

TEST_F(MeshwatchTest, LanAddressWithOtherNetmasks)
{
    host_.uci["network.lan.netmask"] = "255.255.0.0";
    ASSERT_EQ(br_lan_static_ip(ctx_, true), 0);
    host_.uci["network.lan.netmask"] = "255.0.255.0";
    ASSERT_EQ(br_lan_static_ip(ctx_, false), 0);
    EXPECT_EQ(host_.calls, (Calls{"ip addr add 192.168.10.1/16 dev br-lan", "ip addr del 192.168.10.1/8 dev br-lan"}));
}

TEST_F(MeshwatchTest, FailedInterfaceStepsArePrintedAndTheEdgeCompletes)
{
    host_.status["ubus call network.interface up {\"interface\":\"MESH\"}"] = 4;
    host_.status["ubus call network.interface down {\"interface\":\"MESH\"}"] = 4;
    meshwatch_init(ctx_);
    EXPECT_EQ(pass(kConnected), kJoin);
    EXPECT_TRUE(ctx_.setup_flag);
    EXPECT_EQ(pass(kDisconnected), kLeave);
    EXPECT_FALSE(ctx_.setup_flag);
    EXPECT_EQ(printed(), "Failed to setup_br_lan_dhcp_client_interface ... \n"
                         "Failed to destory_br_lan_dhcp_client_interface ... \n");
}

TEST_F(MeshwatchTest, InterfaceManagementActions)
{
    touch_log();
    devmode_log_open(ctx_);
    EXPECT_EQ(safe_network_interface_management(ctx_, "MESH", 2), -1);
    EXPECT_EQ(host_.calls, Calls{});
    host_.status["ubus call network.interface up {\"interface\":\"MESH\"}"] = 7;
    EXPECT_EQ(safe_network_interface_management(ctx_, "MESH", 1), 7) << "the up command decides a restart";
    host_.calls.clear();
    // A name is quoted inside the document, never pasted into it.
    EXPECT_EQ(safe_network_interface_management(ctx_, "x\"}' ; reboot", 0), 0);
    EXPECT_EQ(host_.calls, Calls{"ubus call network.interface down {\"interface\":\"x\\\"}' ; reboot\"}"});
    std::string l = log();
    EXPECT_NE(l.find("safe_network_interface_management interface_name: MESH, action: 2\n"), std::string::npos);
    EXPECT_NE(l.find("safe_network_interface_management command: ubus call network.interface down "
                     "'{\"interface\":\"MESH\"}'; ubus call network.interface up '{\"interface\":\"MESH\"}', ret: 7\n"),
              std::string::npos);
}

TEST_F(MeshwatchTest, PaceDependsOnMeshSettings)
{
    const struct {
        const char *sw, *mode;
        std::vector<unsigned> sleeps;
    } cases[] = {
        {"1", "1", {2}},   {"1", "0", {2, 1}}, {"1", "2", {2, 1}},
        {"0", "1", {2, 1}}, {nullptr, "1", {2, 1}},
    };
    for (const auto &c : cases) {
        if (c.sw) host_.uci["easymesh.easymesh_default.mesh_switch"] = c.sw;
        else host_.uci.erase("easymesh.easymesh_default.mesh_switch");
        host_.uci["easymesh.easymesh_default.mesh_mode"] = c.mode;
        host_.precise.clear();
        pass(kDisconnected);
        EXPECT_EQ(host_.precise, c.sleeps) << (c.sw ? c.sw : "-") << "/" << c.mode;
    }
    host_.uci["easymesh.easymesh_default.mesh_switch"] = "1";
    host_.uci["easymesh.easymesh_default.mesh_mode"] = "3";
    EXPECT_EQ(get_mesh_state(ctx_), 4);
    host_.uci["easymesh.easymesh_default.mesh_switch"] = "0";
    EXPECT_EQ(get_mesh_state(ctx_), 0);
}

TEST_F(MeshwatchTest, FailedPreciseSleepFallsBackAndIsLogged)
{
    touch_log();
    host_.precise_fails = true;
    host_.uci["easymesh.easymesh_default.mesh_mode"] = "2";
    pass(kDisconnected);
    EXPECT_EQ(host_.coarse, (std::vector<unsigned>{2, 1}));
    EXPECT_NE(log().find("[INFO] nanosleep failed, use sleep instead\n"), std::string::npos);
}

TEST_F(MeshwatchTest, ConfigurationCheckMessages)
{
    const char *const kShouldExist =
        "MESH interface should exist but not found (mode=1, switch=1). Script should create it.";
    const char *const kNotLoaded = "MESH interface config exists but not loaded. Script should reload network.";
    const struct {
        const char *mode, *sw;
        bool exists, loaded;
        std::string line;  // empty: nothing logged
    } cases[] = {
        {"1", "1", false, false, kShouldExist},
        {"1", "1", true, false, kNotLoaded},
        {"1", "1", true, true, ""},
        {"2", "1", false, false, ""},
        {"2", "1", true, true, "MESH interface should not exist but found (mode=2, switch=1). Script should delete it."},
        {"1", "0", true, false, "MESH interface should not exist but found (mode=1, switch=0). Script should delete it."},
    };
    touch_log();
    devmode_log_open(ctx_);
    for (const auto &c : cases) {
        host_.uci["easymesh.easymesh_default.mesh_mode"] = c.mode;
        host_.uci["easymesh.easymesh_default.mesh_switch"] = c.sw;
        host_.mesh_section = c.exists;
        host_.mesh_loaded = c.loaded;
        ASSERT_EQ(::truncate(ctx_.log_path.c_str(), 0), 0);
        std::fseek(ctx_.log.get(), 0, SEEK_SET);
        host_.calls.clear();
        EXPECT_EQ(monitor_mesh_interface_config(ctx_), 0);
        EXPECT_EQ(log(), c.line.empty() ? "" : "[2026-03-05 07:08:09] [INFO] " + c.line + "\n") << c.mode << c.sw;
        EXPECT_EQ(host_.edge_calls(), Calls{}) << "the check never acts";
        if (!c.exists) {
            EXPECT_EQ(host_.calls, Calls{"uci get network.MESH"});
        }
    }
}

TEST_F(MeshwatchTest, LogStartsWhenTheFileIsCreated)
{
    host_.uci["easymesh.easymesh_default.mesh_mode"] = "2";  // keeps the configuration check quiet
    meshwatch_init(ctx_);
    pass(kDisconnected);
    EXPECT_NE(access(ctx_.log_path.c_str(), F_OK), 0) << "the daemon never creates its log";

    touch_log();
    pass(kConnected);
    host_.time_ok = false;
    DEVMODE_INFO(ctx_, "value %d", 5);
    std::string l = log();
    const char kHead[] = "=== Device Mode Manager Log Started ===\n"
                         "[2026-03-05 07:08:09] [INFO] file is NULL, wired connect to mesh\n"
                         "[2026-03-05 07:08:09] [INFO] Starting MESH interface via ubus\n";
    EXPECT_EQ(l.substr(0, sizeof kHead - 1), kHead);
    EXPECT_EQ(l.substr(l.size() - 9), "\nvalue 5\n") << "no prefix without local time";

    // Opening again does not repeat the start line.
    devmode_log_open(ctx_);
    EXPECT_EQ(log().find("Started", sizeof kHead), std::string::npos);
}

TEST_F(MeshwatchTest, LevelNames)
{
    touch_log();
    devmode_log_open(ctx_);
    for (int level : {0, 1, 2, 3, 4, -1}) devmode_log(ctx_, level, __FILE__, __LINE__, __func__, "x");
    EXPECT_EQ(log(), "=== Device Mode Manager Log Started ===\n"
                     "[2026-03-05 07:08:09] [DEBUG] x\n"
                     "[2026-03-05 07:08:09] [INFO] x\n"
                     "[2026-03-05 07:08:09] [WARN] x\n"
                     "[2026-03-05 07:08:09] [ERROR] x\n"
                     "[2026-03-05 07:08:09] [UNKNOWN] x\n"
                     "[2026-03-05 07:08:09] [UNKNOWN] x\n");
}

TEST_F(MeshwatchTest, InitLogsTheFlag)
{
    touch_log();
    host_.mesh_section = true;
    meshwatch_init(ctx_);
    EXPECT_EQ(log(), "=== Device Mode Manager Log Started ===\n[2026-03-05 07:08:09] [INFO] Init setup_flag: 1\n");
}

}  // namespace
