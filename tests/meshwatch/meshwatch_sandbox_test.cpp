// The real meshwatch in the sandboxed router: stand-in ubus (EasyMesh agent,
// network daemon), uci and init scripts, the real ip on a real br-lan.
// A pass takes 2-3 s, so each test runs only a few.

#include "tests/sandbox/sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kSource = RT_SOURCE_DIR_;
const std::string kFixtures = kSource + "/tests/meshwatch/fixtures";

Lines split_lines(const std::string &text)
{
    Lines v;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        if (!l.empty()) v.push_back(l);
    return v;
}

class MeshwatchSandbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        RT_SANDBOX_REQUIRE();
        char d[] = "/tmp/meshwatch_sb.XXXXXX";
        ASSERT_NE(mkdtemp(d), nullptr);
        state_ = d;
        // A state directory of our own, so a failed test can leave it behind.
        sb_.emplace(state_);
        sb_->set_binary_dir(RT_BINARY_DIR_);
    }
    void TearDown() override
    {
        if (state_.empty()) return;
        sb_.reset();
        if (!HasFailure()) {
            std::error_code ec;
            std::filesystem::remove_all(state_, ec);
        } else {
            std::fprintf(stderr, "sandbox state kept in %s\n", state_.c_str());
        }
    }

    void up(const Lines &fixtures)
    {
        Lines dirs;
        for (const auto &f : fixtures) dirs.push_back(kFixtures + "/" + f);
        ASSERT_TRUE(sb_->up(dirs));
    }
    int exec(const Lines &argv, std::string *out = nullptr) { return sb_->exec(argv, out); }
    void start_meshwatch()
    {
        ASSERT_GT(sb_->spawn({std::string(RT_BINARY_DIR_) + "/bin/meshwatch"}, "meshwatch.out"), 0);
    }
    std::string path(const std::string &rel) const { return sb_->path(rel); }
    std::string read(const std::string &rel) const { return sb_->read(rel); }
    // Replaced whole, so a stand-in reading meanwhile never sees half of it.
    void write(const std::string &rel, const std::string &text) const
    {
        std::string tmp = path(rel) + ".new";
        std::ofstream(tmp) << text;
        ASSERT_EQ(std::rename(tmp.c_str(), path(rel).c_str()), 0) << rel;
    }

    // What the EasyMesh agent answers from now on.
    void agent(const char *status_desc)
    {
        if (status_desc)
            write("fix/ubus/em.mesh_status.get.json",
                  std::string("{\"status\": 1, \"status_desc\": \"") + status_desc + "\"}\n");
        else
            std::remove(path("fix/ubus/em.mesh_status.get.json").c_str());
    }

    // The stand-in calls so far, one line each: the program's base name and
    // its arguments.
    Lines calls()
    {
        Lines v;
        for (const auto &c : sb_->calls()) {
            std::string line = std::filesystem::path(c.prog).filename();
            if (c.argv.size() > 1) line += " " + c.args();
            v.push_back(std::move(line));
        }
        return v;
    }
    // The calls of the set-up and tear-down, without the per-pass queries.
    Lines edge_calls()
    {
        Lines v;
        for (const auto &c : calls())
            if (c.rfind("uci get", 0) != 0 && c.rfind("ubus -S list", 0) != 0 &&
                c != "ubus call em.mesh_status get")
                v.push_back(c);
        return v;
    }
    std::size_t count(const std::string &call)
    {
        std::size_t n = 0;
        for (const auto &c : calls()) n += c == call;
        return n;
    }
    Lines lan_addresses()
    {
        std::string out;
        exec({"ip", "-4", "-o", "addr", "show", "dev", "br-lan"}, &out);
        Lines v;
        for (const auto &l : split_lines(out)) {
            std::istringstream in(l);
            std::string w;
            while (in >> w)
                if (w == "inet" && in >> w) v.push_back(w);
        }
        return v;
    }
    // Waits (a bound, not an assertion on speed) until cond holds.
    bool wait_until(const std::function<bool()> &cond, int seconds = 20)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (cond()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return cond();
    }
    // Waits until `n` more mesh queries have been made: that many passes.
    void passes(std::size_t n, const std::string &marker = "ubus call em.mesh_status get")
    {
        std::size_t target = count(marker) + n;
        ASSERT_TRUE(wait_until([&] { return count(marker) >= target; }))
            << "meshwatch made no progress; its output: " << read("meshwatch.out");
    }

    std::string state_;
    std::optional<rt::Sandbox> sb_;
};

const Lines kJoin = {
    "ubus call network.interface down {\"interface\":\"MESH\"}",
    "ubus call network.interface up {\"interface\":\"MESH\"}",
    "dnsmasq stop",
    "odhcpd stop",
};
const Lines kLeave = {
    "ubus call network.interface down {\"interface\":\"MESH\"}",
    "dnsmasq restart",
    "odhcpd start",
};

Lines concat(std::initializer_list<Lines> parts)
{
    Lines v;
    for (const auto &p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

TEST_F(MeshwatchSandbox, FollowsTheAgentAcrossEdges)
{
    up({"base"});
    write("root/meshwatch.log", "");  // logging on
    ASSERT_EQ(exec({"ip", "addr", "add", "192.168.10.1/24", "dev", "br-lan"}), 0);  // as the network daemon left it
    agent("connected");
    start_meshwatch();

    passes(2);
    EXPECT_EQ(read("tmp/mesh_status"), "connected\n");
    EXPECT_EQ(edge_calls(), kJoin);
    EXPECT_EQ(lan_addresses(), Lines{}) << "the static address leaves br-lan when meshed";

    agent("disconnected");
    ASSERT_TRUE(wait_until([&] { return read("tmp/mesh_status") == "disconnect\n"; }));
    passes(1);
    EXPECT_EQ(edge_calls(), concat({kJoin, kLeave}));
    EXPECT_EQ(lan_addresses(), Lines{"192.168.10.1/24"});

    agent("connected");
    ASSERT_TRUE(wait_until([&] { return read("tmp/mesh_status") == "connected\n"; }));
    passes(1);
    EXPECT_EQ(lan_addresses(), Lines{});

    // The agent gone: the status file keeps its last word, the set-up goes.
    agent(nullptr);
    const Lines all = concat({kJoin, kLeave, kJoin, kLeave});
    EXPECT_TRUE(wait_until([&] { return edge_calls() == all; })) << ::testing::PrintToString(edge_calls());
    passes(1);
    EXPECT_EQ(read("tmp/mesh_status"), "connected\n");
    EXPECT_EQ(lan_addresses(), Lines{"192.168.10.1/24"});

    std::string log = read("root/meshwatch.log");
    EXPECT_EQ(log.rfind("=== Device Mode Manager Log Started ===\n", 0), 0u) << log;
    EXPECT_NE(log.find("] [INFO] Init setup_flag: 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] [INFO] Starting MESH interface via ubus\n"), std::string::npos) << log;
    EXPECT_EQ(read("meshwatch.out"), "");
}

TEST_F(MeshwatchSandbox, NoMeshRoleTearsDownAConfiguredMeshOnce)
{
    up({"base", "mesh_configured"});
    write("config/easymesh", "\nconfig easymesh 'easymesh_default'\n\toption mesh_switch '1'\n\toption mesh_mode '0'\n");
    agent("connected");  // never asked
    start_meshwatch();

    ASSERT_TRUE(wait_until([&] { return read("tmp/mesh_status") == "disconnect\n"; }));
    passes(2, "uci get network.MESH");
    EXPECT_EQ(edge_calls(), kLeave);
    EXPECT_EQ(count("ubus call em.mesh_status get"), 0u);
    EXPECT_EQ(lan_addresses(), Lines{"192.168.10.1/24"});
}

TEST_F(MeshwatchSandbox, UnparsableNetmaskGivesNoAddressCommand)
{
    up({"base", "mesh_configured"});
    write("config/network", "\nconfig interface 'lan'\n\toption ipaddr '192.168.10.1'\n"
                            "\toption netmask '255.255.255.x'\n\nconfig interface 'MESH'\n\toption proto 'dhcp'\n");
    agent("disconnected");
    start_meshwatch();

    ASSERT_TRUE(wait_until([&] { return read("tmp/mesh_status") == "disconnect\n"; }));
    passes(1);
    EXPECT_EQ(edge_calls(), kLeave);
    EXPECT_EQ(lan_addresses(), Lines{});
}

}  // namespace
