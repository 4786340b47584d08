// uplinkd in the sandboxed router, spoken to from the ONT side of its ports.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/runner.h"
#include "tests/sandbox/sandbox.h"
#include "uplinkd/device_api.h"
#include "uplinkd/lldp_auth_crypto.h"
#include "uplinkd/test/lldp_test_util.h"

using lldp_test::Bytes;
using lldp_test::ont_frame;
using lldp_test::subtypes;
using lldp_test::Tlv;
using lldp_test::vendor_tlvs;

namespace {

std::string bin(const char *name) {
    const char *dir = std::getenv("RT_BINARY_DIR");
    return std::string(dir && dir[0] ? dir : UPLINKD_E2E_BINARY_DIR) + "/bin/" + name;
}

Bytes resp_of(const Bytes &ch) {
    Bytes r(32);
    calculate_response(ch.data(), r.data());
    return r;
}

const uint8_t kOntMac[6] = {0x02, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
const uint8_t kIntruderMac[6] = {0x02, 0x66, 0x66, 0x66, 0x66, 0x66};

class UplinkdE2e : public ::testing::Test {
protected:
    // One sandbox per test: every test starts from fresh ports and a fresh agent.
    std::unique_ptr<rt::Sandbox> sb;
    pid_t pid = -1;

    void SetUp() override {
        RT_SANDBOX_REQUIRE();
        sb = std::make_unique<rt::Sandbox>();
        ASSERT_TRUE(sb->up()) << "the sandbox did not come up";
        pid = sb->spawn({bin("uplinkd")}, "uplinkd.log");
        ASSERT_GT(pid, 0);
        for (int i = 0; i < 100 && log().find("uplinkd: lldp started") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_NE(log().find("uplinkd: lldp started"), std::string::npos) << log();
    }

    void TearDown() override {
        if (pid > 0) rt::Sandbox::stop(pid);
        sb.reset();
    }

    std::string log() const { return sb->read("uplinkd.log"); }

    // The vendor TLVs of the next reply on `s` (empty when none came).
    static std::vector<Tlv> reply(const rt::PacketSocket &s, int timeout_ms = 1000) {
        for (;;) {
            auto f = s.recv_frame(timeout_ms);
            if (!f) return {};
            auto tlvs = vendor_tlvs(*f);
            if (!tlvs.empty()) return tlvs;
        }
    }

    static std::vector<Tlv> ask(const rt::PacketSocket &s, const std::vector<Tlv> &tlvs,
                                const uint8_t *src = kOntMac, int timeout_ms = 1000) {
        while (s.recv_frame(0)) {
        }
        const Bytes f = ont_frame(tlvs, src);
        EXPECT_TRUE(s.send_frame(f));
        return reply(s, timeout_ms);
    }

    // The agent opens its sockets a moment after start: say hello until it
    // answers.
    static std::vector<Tlv> first_hello(const rt::PacketSocket &s, const uint8_t *src = kOntMac) {
        for (int i = 0; i < 20; ++i) {
            auto r = ask(s, {{0, {}}}, src, 300);
            if (!r.empty()) return r;
        }
        return {};
    }

    // Hello and the right answer; returns the answer frame's TLVs.
    static std::vector<Tlv> authenticate(const rt::PacketSocket &s, const uint8_t *src = kOntMac) {
        const auto c = first_hello(s, src);
        EXPECT_EQ(subtypes(c), std::vector<int>{1});
        if (c.empty()) return {};
        std::vector<Tlv> answer = {{1, c[0].payload}, {2, resp_of(c[0].payload)}};
        EXPECT_EQ(subtypes(ask(s, answer, src)), (std::vector<int>{1, 2, 3}));
        return answer;
    }

    int ontsim(const std::vector<std::string> &args, std::string *out) {
        std::vector<std::string> argv = {bin("ontsim")};
        argv.insert(argv.end(), args.begin(), args.end());
        return sb->exec(argv, out);
    }

    // "aa:bb:..." of a router port, from the ip command inside.
    std::string mac_of(const std::string &ifname) {
        std::string out;
        sb->exec({"ip", "-o", "link", "show", "dev", ifname}, &out);
        const auto at = out.find("link/ether ");
        return at == std::string::npos ? std::string() : out.substr(at + 11, 17);
    }
};

Bytes mac_bytes(const std::string &text) {
    Bytes m;
    for (size_t i = 0; i + 1 < text.size(); i += 3) m.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return m;
}

TEST_F(UplinkdE2e, OntsimAuthenticatesWithTheKeyAndNotWithoutIt) {
    std::string out;
    // ontsim retries nothing itself: give the agent a moment to open its ports.
    auto s = sb->peer_socket("eth3");
    ASSERT_FALSE(first_hello(s).empty());
    ask(s, {{4, {}}});

    const std::string wrong(64, 'f');
    EXPECT_EQ(ontsim({"-i", "p-eth3", "-t", "3000", "-k", wrong, "auth"}, &out), 1) << out;
    EXPECT_NE(out.find("auth: FAILED"), std::string::npos) << out;

    EXPECT_EQ(ontsim({"-i", "p-eth3", "-t", "3000", "auth", "check", "hello", "expect", "5"}, &out), 0) << out;
    EXPECT_NE(out.find("auth: ok"), std::string::npos) << out;
    EXPECT_NE(out.find("check: ok"), std::string::npos) << out;

    // An ONT with another key finds out when it checks the agent.
    EXPECT_EQ(ontsim({"-i", "p-eth3", "-t", "3000", "-k", wrong, "check"}, &out), 1) << out;
    EXPECT_NE(out.find("check: FAILED"), std::string::npos) << out;
}

TEST_F(UplinkdE2e, TwoFrameAttackFromAnotherPortFails) {
    auto ont = sb->peer_socket("eth3");
    auto lan = sb->peer_socket("eth1");
    ASSERT_FALSE(first_hello(lan, kIntruderMac).empty());
    const Bytes x(32, 0x42);
    // Before any session: the agent signs nothing and takes no pair it did not issue.
    EXPECT_TRUE(ask(lan, {{1, x}}, kIntruderMac, 500).empty());
    EXPECT_EQ(subtypes(ask(lan, {{1, x}, {2, resp_of(x)}}, kIntruderMac)), std::vector<int>{4});
    EXPECT_TRUE(ask(lan, {{1, x}, {2, resp_of(x)}, {3, {}}}, kIntruderMac, 500).empty());

    authenticate(ont);
    // During the session nothing from another port gets an answer...
    for (const auto &f : std::vector<std::vector<Tlv>>{{{0, {}}}, {{1, x}}, {{1, x}, {2, resp_of(x)}}, {{4, {}}}})
        EXPECT_TRUE(ask(lan, f, kIntruderMac, 400).empty());
    // ...and the session stands on its port.
    EXPECT_EQ(subtypes(ask(ont, {{0, {}}})), std::vector<int>{5});
}

TEST_F(UplinkdE2e, ReplayedAnswerFails) {
    auto ont = sb->peer_socket("eth3");
    const auto answer = authenticate(ont);
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(subtypes(ask(ont, {{4, {}}}, kOntMac, 300)), std::vector<int>{});
    EXPECT_EQ(subtypes(ask(ont, answer)), std::vector<int>{4});
    EXPECT_EQ(subtypes(ask(ont, {{0, {}}})), std::vector<int>{1});
    EXPECT_EQ(subtypes(ask(ont, answer)), std::vector<int>{4});
    EXPECT_EQ(subtypes(ask(ont, {{5, {}}})), std::vector<int>{4});  // not authenticated
}

TEST_F(UplinkdE2e, ReplyGoesOutOnTheArrivalPort) {
    auto p1 = sb->peer_socket("eth1");
    auto p3 = sb->peer_socket("eth3");
    ASSERT_FALSE(first_hello(p1).empty());
    while (p3.recv_frame(0)) {
    }
    ASSERT_TRUE(p1.send_frame(ont_frame({{0, {}}})));
    std::optional<rt::Frame> f;
    do {
        f = p1.recv_frame(1000);
    } while (f && vendor_tlvs(*f).empty());
    ASSERT_TRUE(f);
    EXPECT_FALSE(p3.recv_frame(300)) << "a reply also went out on eth3";

    const Bytes mac = mac_bytes(mac_of("eth1"));
    ASSERT_EQ(mac.size(), 6u);
    const Bytes &r = *f;
    ASSERT_EQ(r.size(), 111u + 38u);  // the identity of "eth1" plus {1: 32 bytes}
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 6), lldp_test::hex("0180c200000e"));
    EXPECT_EQ(Bytes(r.begin() + 6, r.begin() + 12), mac);
    EXPECT_EQ(Bytes(r.begin() + 12, r.begin() + 17), lldp_test::hex("88cc 0207 04"));
    EXPECT_EQ(Bytes(r.begin() + 17, r.begin() + 23), mac);
    EXPECT_EQ(Bytes(r.begin() + 36, r.begin() + 42), lldp_test::hex("0804 65746831"));  // "eth1"
    EXPECT_EQ(Bytes(r.begin() + 109, r.begin() + 115), lldp_test::hex("fe24 5e2b9101"));
}

TEST_F(UplinkdE2e, FramesFromTheRoutersOwnMacAreNotDelivered) {
    auto p3 = sb->peer_socket("eth3");
    ASSERT_FALSE(first_hello(p3).empty());
    const Bytes own = mac_bytes(mac_of("eth3"));
    ASSERT_EQ(own.size(), 6u);
    EXPECT_TRUE(ask(p3, {{0, {}}}, own.data(), 500).empty());
    EXPECT_EQ(subtypes(ask(p3, {{0, {}}})), std::vector<int>{1});
}

TEST_F(UplinkdE2e, BurstOf64FramesIsHandledInOrder) {
    auto p3 = sb->peer_socket("eth3");
    authenticate(p3);
    std::vector<Bytes> challenges;
    for (int i = 0; i < 64; ++i) challenges.push_back(Bytes(32, static_cast<uint8_t>(i)));
    while (p3.recv_frame(0)) {
    }
    for (const auto &c : challenges) ASSERT_TRUE(p3.send_frame(ont_frame({{1, c}})));
    int next = 0;
    while (next < 64) {
        const auto r = reply(p3, 2000);
        if (r.empty()) break;
        ASSERT_EQ(subtypes(r), (std::vector<int>{1, 2}));
        EXPECT_EQ(r[0].payload, challenges[next]) << "reply " << next;
        EXPECT_EQ(r[1].payload, resp_of(challenges[next]));
        ++next;
    }
    EXPECT_EQ(next, 64);
}

TEST_F(UplinkdE2e, RecreatedInterfaceIsPickedUpAgain) {
    {
        auto p3 = sb->peer_socket("eth3");
        ASSERT_FALSE(first_hello(p3).empty());
    }
    ASSERT_EQ(sb->exec({"ip", "link", "del", "eth3"}), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(sb->exec({"ip", "link", "add", "eth3", "type", "veth", "peer", "name", "p-eth3"}), 0);
    ASSERT_EQ(sb->exec({"ip", "link", "set", "eth3", "up"}), 0);
    ASSERT_EQ(sb->exec({"ip", "link", "set", "p-eth3", "up"}), 0);
    auto p3 = sb->peer_socket("eth3");
    EXPECT_EQ(subtypes(first_hello(p3)), std::vector<int>{1});
}

TEST_F(UplinkdE2e, GarbageLeavesTheAgentAnsweringAndItsMemoryFlat) {
    auto p3 = sb->peer_socket("eth3");
    ASSERT_FALSE(first_hello(p3).empty());
    auto rss_kb = [this] {
        std::ifstream st("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(st, line))
            if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
        return 0L;
    };
    // Warm up every path once, then measure.
    const Bytes good = ont_frame({{1, Bytes(32, 1)}, {2, Bytes(32, 2)}, {6, Bytes(48, 3)}, {11, {}}});
    std::mt19937 rng(7);
    auto garbage = [&](int i) {
        Bytes f;
        switch (i % 4) {
        case 0:  // a valid frame cut short
            f.assign(good.begin(), good.begin() + static_cast<long>(14 + rng() % (good.size() - 14)));
            break;
        case 1:  // random bytes behind an LLDP header
            f = Bytes(good.begin(), good.begin() + 14);
            for (unsigned n = rng() % 600; n; --n) f.push_back(static_cast<uint8_t>(rng()));
            break;
        default:  // a valid frame with random bytes changed
            f = good;
            for (int n = 0; n < 4; ++n) f[14 + rng() % (f.size() - 14)] = static_cast<uint8_t>(rng());
            break;
        }
        f[6] = 0x02;  // never the router's own MAC
        return f;
    };
    for (int i = 0; i < 500; ++i) p3.send_frame(garbage(i));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long before = rss_kb();
    for (int i = 0; i < 10000; ++i) {
        p3.send_frame(garbage(i));
        if (i % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the ring drain
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long after = rss_kb();
    EXPECT_EQ(subtypes(first_hello(p3, lldp_test::kOntMac)).size(), 1u);
    ASSERT_GT(before, 0);
    EXPECT_LE(after - before, 256) << "VmRSS " << before << " kB -> " << after << " kB";
    RecordProperty("rss_before_kb", static_cast<int>(before));
    RecordProperty("rss_after_kb", static_cast<int>(after));
}

TEST_F(UplinkdE2e, SigtermStopsCleanly) {
    auto p3 = sb->peer_socket("eth3");
    ASSERT_FALSE(first_hello(p3).empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));  // into the idle loop
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(rt::Sandbox::stop(pid, 5000));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    RecordProperty("stop_ms", static_cast<int>(ms));
    pid = -1;
    std::string text = log();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const auto last = text.substr(text.rfind('\n') + 1);
    EXPECT_EQ(last, "uplinkd: stopped") << text;
}

}  // namespace

// The port layer on its own, inside the sandbox's network (no agent running).
class DevicePorts : public ::testing::Test {
protected:
    std::unique_ptr<rt::Sandbox> sb;
    void SetUp() override {
        RT_SANDBOX_REQUIRE();
        sb = std::make_unique<rt::Sandbox>();
        ASSERT_TRUE(sb->up());
    }
};

// Sends a hello from the ONT side of `port` (inside the sandbox).
bool send_from_peer(const char *peer, const uint8_t *src) {
    const int s = socket(AF_PACKET, SOCK_RAW, htons(0x88CC));
    if (s < 0) return false;
    sockaddr_ll a{};
    a.sll_family = AF_PACKET;
    a.sll_protocol = htons(0x88CC);
    a.sll_ifindex = static_cast<int>(if_nametoindex(peer));
    const Bytes f = ont_frame({{0, {}}}, src);
    const bool ok = sendto(s, f.data(), f.size(), 0, reinterpret_cast<sockaddr *>(&a), sizeof(a)) ==
                    static_cast<ssize_t>(f.size());
    close(s);
    return ok;
}

// Each check returns its own code so a failure names itself.
TEST_F(DevicePorts, ReceiveSendAndIdentity) {
    const int rc = sb->run_inside([] {
        uint8_t buf[1600] = {};
        uint16_t len = 0;
        char name[32] = {};
        if (lldp_dev_tx_send("nosuch0", buf, 20) != -1) return 10;
        const uint64_t t0 = lldp_dev_now_ms();
        if (t0 == 0) return 11;

        lldp_dev_caps caps{};
        uint8_t mac[6];
        if (lldp_dev_get_caps("br-lan", &caps) != 0 || lldp_dev_get_if_hwaddr("br-lan", mac) != 0) return 12;
        if (std::memcmp(caps.chassis_mac, mac, 6) != 0 || std::memcmp(caps.mgmt_addr, mac, 6) != 0) return 13;
        if (std::strcmp(caps.port_desc, "br-lan") != 0 || caps.mgmt_if_number != if_nametoindex("br-lan")) return 14;
        if (lldp_dev_get_caps("nosuch0", &caps) != -1) return 15;

        // Sockets open lazily: a first call with nothing waiting times out.
        if (lldp_dev_rx_get(buf, sizeof(buf), &len, name, sizeof(name), 50) != 1) return 20;
        // Two ports readable at once: the lower slot first.
        if (!send_from_peer("p-eth3", kOntMac) || !send_from_peer("p-eth1", kOntMac)) return 21;
        usleep(100000);
        if (lldp_dev_rx_get(buf, sizeof(buf), &len, name, sizeof(name), 500) != 0 || std::strcmp(name, "eth1") != 0)
            return 22;
        if (lldp_dev_rx_get(buf, sizeof(buf), &len, name, sizeof(name), 500) != 0 || std::strcmp(name, "eth3") != 0)
            return 23;
        if (len != ont_frame({{0, {}}}).size() || std::memcmp(buf + 6, kOntMac, 6) != 0) return 24;

        // The router's own MAC on the wire is never delivered.
        uint8_t own[6];
        lldp_dev_get_if_hwaddr("eth2", own);
        if (!send_from_peer("p-eth2", own)) return 30;
        if (lldp_dev_rx_get(buf, sizeof(buf), &len, name, sizeof(name), 300) != 1) return 31;

        // A frame the agent sends leaves on the named port only.
        const Bytes out = ont_frame({{5, {}}}, own);
        if (lldp_dev_tx_send("eth2", out.data(), out.size()) != 0) return 32;
        if (lldp_dev_tx_send_all(out.data(), out.size()) != 0) return 33;

        // With none of the ports present, every call returns at once.
        for (const char *p : {"eth0", "eth1", "eth2", "eth3", "wan1_4096"})
            if (platform::run({"ip", "link", "del", p}) != 0) return 40;
        if (lldp_dev_rx_get(buf, sizeof(buf), &len, name, sizeof(name), 5000) != 1) return 41;
        if (lldp_dev_tx_send_all(out.data(), out.size()) != -1) return 42;
        if (lldp_dev_now_ms() < t0) return 43;
        lldp_dev_rx_deinit();
        return 0;
    });
    EXPECT_EQ(rc, 0);
}
