// Provisioning end to end: ontsim authenticates on the ONT side of eth3 and
// delivers OMCI messages or OAM objects; the agent applies them through the
// stand-in WAN service, UCI, commits and reloads, and reports them back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/runner.h"
#include "tests/sandbox/sandbox.h"

namespace {

std::string bin(const char *name)
{
    const char *dir = std::getenv("RT_BINARY_DIR");
    return std::string(dir && dir[0] ? dir : PROV_E2E_BINARY_DIR) + "/bin/" + name;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// provgen's messages for a profile text (run on the host: it only prints).
std::vector<std::string> messages_of(const std::string &profile_text)
{
    char path[] = "/tmp/prov_e2e_profile_XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, profile_text.data(), profile_text.size()), static_cast<ssize_t>(profile_text.size()));
    close(fd);
    const std::string provgen = bin("provgen");
    platform::RunOptions opt;
    opt.capture = true;
    opt.max_output = 1 << 20;
    platform::RunResult res;
    EXPECT_EQ(platform::run({provgen.c_str(), path}, opt, &res), 0) << profile_text;
    EXPECT_FALSE(res.truncated);
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < res.output.size()) {
        std::size_t end = res.output.find('\n', at);
        if (end == std::string::npos) end = res.output.size();
        if (end > at) out.push_back(res.output.substr(at, end - at));
        at = end + 1;
    }
    unlink(path);
    return out;
}

std::string profile(const char *name)
{
    std::string text;
    FILE *f = std::fopen((std::string(PROV_E2E_PROFILES) + "/" + name).c_str(), "r");
    char buf[4096];
    size_t n;
    while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    if (f) std::fclose(f);
    return text;
}

// The router's configuration changes: WAN writes, commits, reloads.
bool is_write(const rt::Call &c)
{
    const std::string a = c.args();
    return (c.is("ubus") && a.find("syswan modify") != std::string::npos) ||
           (c.is("uci") && a.rfind("commit", 0) == 0) || (c.is("wifi") && a == "reload") ||
           (c.prog.rfind("/etc/init.d/", 0) == 0);
}

class ProvE2e : public ::testing::Test {
protected:
    std::unique_ptr<rt::Sandbox> sb;
    pid_t pid = -1;

    void SetUp() override
    {
        RT_SANDBOX_REQUIRE();
        sb = std::make_unique<rt::Sandbox>();
        ASSERT_TRUE(sb->up()) << "the sandbox did not come up";
        pid = sb->spawn({bin("uplinkd")}, "uplinkd.log");
        ASSERT_GT(pid, 0);
        for (int i = 0; i < 100 && sb->read("uplinkd.log").find("lldp started") == std::string::npos; ++i) sleep_ms(50);
    }
    void TearDown() override
    {
        if (pid > 0) rt::Sandbox::stop(pid);
        sb.reset();
    }

    int ontsim(std::vector<std::string> args, std::string *out = nullptr)
    {
        args.insert(args.begin(), {bin("ontsim"), "-i", "p-eth3"});
        return sb->exec(args, out);
    }

    // The agent opens its ports a moment after start.
    void authenticate()
    {
        std::string out;
        for (int i = 0; i < 10; ++i) {
            if (ontsim({"-t", "1000", "auth"}, &out) == 0) break;
            sleep_ms(200);
        }
        ASSERT_NE(out.find("auth: ok"), std::string::npos) << out;
        sleep_ms(300);  // the first authentication changes the device mode: keep it out of the counts
    }

    // Each message is its own delivery; the agent answers none of them.
    void provision(const char *kind, const std::vector<std::string> &msgs)
    {
        ASSERT_FALSE(msgs.empty());
        std::vector<std::string> args = {"-t", "10"};
        for (const std::string &m : msgs) {
            args.push_back(kind);
            args.push_back(m);
        }
        std::string out;
        ASSERT_EQ(ontsim(args, &out), 0) << out;
    }

    std::vector<std::string> writes_since(size_t from)
    {
        std::vector<std::string> w;
        auto calls = sb->calls();
        for (size_t i = from; i < calls.size(); ++i)
            if (is_write(calls[i])) w.push_back(calls[i].prog + " " + calls[i].args());
        return w;
    }

    // Waits for the last reload an apply pass of these kinds makes, then a
    // little longer so nothing that follows it is missed.
    void wait_for_apply(size_t from, const char *last_prog, const char *last_args)
    {
        ASSERT_TRUE(sb->wait_for_call(last_prog, last_args, 12000, from)) << sb->read("calls.log");
        sleep_ms(500);
    }

    std::string uci(const char *key) { return sb->uci_get(key).value_or("<missing>"); }

    std::string wan()
    {
        std::string out;
        sb->exec({"env", "RT_SANDBOX_NOLOG=1", "ubus", "call", "syswan", "get", "{\"wanId\": 1}"}, &out);
        return out;
    }

    // The payload of status record `subtype` as hex, from ontsim's listing.
    static std::string record_hex(const std::string &listing, int subtype, size_t nth = 0)
    {
        const std::string tag = "status " + std::to_string(subtype) + ": ";
        size_t at = 0;
        for (size_t k = 0;; ++k) {
            at = listing.find(tag, at);
            if (at == std::string::npos) return {};
            if (k == nth) break;
            at += tag.size();
        }
        size_t hex = listing.find("bytes ", at) + 6;
        return listing.substr(hex, listing.find('\n', hex) - hex);
    }
};

const std::vector<std::string> kFullApply = {
    "ubus call syswan modify",
    "uci commit wireless", "wifi reload", "uci commit wireless", "wifi reload",
    "uci commit easycwmp", "/etc/init.d/easycwmpd reload",
    "uci commit stun", "/etc/init.d/stun-client reload",
    "uci commit mqtt_kpsm", "/etc/init.d/mqtt_kpsm reload",
};

// Drops the WAN document so the lists compare by command.
std::vector<std::string> commands_only(std::vector<std::string> w)
{
    for (auto &s : w)
        if (s.rfind("ubus call syswan modify", 0) == 0) s = "ubus call syswan modify";
    return w;
}

TEST_F(ProvE2e, OmciOperatorProfileIsAppliedOnceReportedAndNotRewritten)
{
    authenticate();
    const auto msgs = messages_of(profile("operator.omci"));
    size_t from = sb->calls().size();
    provision("omci", msgs);
    EXPECT_TRUE(writes_since(from).empty()) << "applied before the quiet period";
    wait_for_apply(from, "/etc/init.d/mqtt_kpsm", "reload");
    EXPECT_EQ(commands_only(writes_since(from)), kFullApply);

    // Hostile texts arrive intact and run nothing.
    const std::string w = wan();
    EXPECT_NE(w.find("\"vid\": 100"), std::string::npos) << w;
    EXPECT_NE(w.find("\"prio\": 5"), std::string::npos) << w;
    EXPECT_NE(w.find("\"pppUser\": \"fibre-4711@operator.example\""), std::string::npos) << w;
    EXPECT_NE(w.find(R"("pppPwd": "pa\"ss$(touch \/tmp\/pwned)\\w0rd")"), std::string::npos) << w;
    EXPECT_NE(access(sb->path("tmp/pwned").c_str(), F_OK), 0) << "a provisioned text was executed";
    EXPECT_EQ(uci("wireless.default_radio1.ssid"), "Operator-5G");
    EXPECT_EQ(uci("wireless.default_radio1.key"), "correct-horse-5g");
    EXPECT_EQ(uci("wireless.radio1.channel"), "149");
    EXPECT_EQ(uci("wireless.default_radio0.ssid"), "Operator-2G");
    EXPECT_EQ(uci("wireless.default_radio0.wpa_group_rekey"), "3600");  // OMCI leaves the rekey interval
    EXPECT_EQ(uci("easycwmp.@acs[0].url"), "http://acs.operator.example:7547/cwmp");
    EXPECT_EQ(uci("easycwmp.@acs[0].password"), "acs'pw`uname`\\n");
    EXPECT_EQ(uci("stun.@stun[0].serveraddress"), "stun.operator.example");
    EXPECT_EQ(uci("mqtt_kpsm.mqtt_kpsm.addr"), "mqtt.operator.example");

    // The eight status records read back what was applied.
    std::string listing;
    ASSERT_EQ(ontsim({"-t", "1500", "status"}, &listing), 0);
    EXPECT_NE(listing.find("status: 8 records"), std::string::npos) << listing;
    const std::string wan_rec = record_hex(listing, 12);
    ASSERT_EQ(wan_rec.size(), 852u) << listing;
    EXPECT_EQ(wan_rec.substr(44 * 2, 4), "0064");   // vlan_id
    EXPECT_EQ(wan_rec.substr(171 * 2, 4), "05d4");  // mtu
    EXPECT_EQ(record_hex(listing, 14, 0).substr(5 * 2, 2), "09");  // 5 GHz channel 149 as index 9
    EXPECT_NE(listing.find("@3=\"Operator-2G\""), std::string::npos);
    EXPECT_NE(listing.find("@27=\"http://acs.operator.example:7547/cwmp\""), std::string::npos);
    EXPECT_NE(listing.find("@2=\"mqtt.operator.example\""), std::string::npos);

    // The same provisioning again: read and compared, nothing written.
    from = sb->calls().size();
    provision("omci", msgs);
    sleep_ms(7500);
    EXPECT_TRUE(writes_since(from).empty()) << writes_since(from)[0];
    EXPECT_TRUE(sb->wait_for_call("ubus", "syswan all", 100, from)) << "no apply pass ran\n" << sb->read("calls.log");
}

TEST_F(ProvE2e, OamOperatorProfileWithCompressedContainers)
{
    authenticate();
    size_t from = sb->calls().size();
    provision("oam", messages_of(profile("operator.oam")));
    wait_for_apply(from, "/etc/init.d/mqtt_kpsm", "reload");
    auto w = commands_only(writes_since(from));
    // The OAM TR-069 object carries a project id, which lives in the cloud agent's package.
    std::vector<std::string> want = kFullApply;
    want.insert(want.begin() + 6, "uci commit mqtt_kpsm");
    EXPECT_EQ(w, want);
    const std::string wan_doc = wan();
    EXPECT_NE(wan_doc.find("\"vid\": 300"), std::string::npos) << wan_doc;
    EXPECT_NE(wan_doc.find(R"("pppPwd": "oam\"pw$(id)\\x")"), std::string::npos) << wan_doc;
    EXPECT_EQ(uci("wireless.radio0.channel"), "11");
    EXPECT_EQ(uci("wireless.default_radio1.ssid"), "Operator-EPON-5G");
    EXPECT_EQ(uci("wireless.default_radio0.wpa_group_rekey"), "7200");  // rekey only under OAM
    EXPECT_EQ(uci("easycwmp.@local[0].username"), "epon-cr");
    EXPECT_EQ(uci("stun.@stun[0].username"), "epon-stun");
    EXPECT_EQ(uci("mqtt_kpsm.mqtt_kpsm.project_id"), "op-project-8");
}

TEST_F(ProvE2e, BurstIsAppliedOnceAfterTheLastDeliveryAndTouchesOnlyItsKind)
{
    authenticate();
    auto stun = [](const char *addr) { return messages_of(std::string("omci 30314 0 stun_server_addr ") + addr + "\n"); };
    size_t from = sb->calls().size();
    provision("omci", stun("t0.example"));  // T
    sleep_ms(3000);
    provision("omci", stun("t3.example"));  // T + 3 s
    sleep_ms(4000);
    provision("omci", stun("t7.example"));  // T + 7 s
    sleep_ms(3000);                          // T + 10 s: 5 s after T + 3 s, still quiet
    EXPECT_TRUE(writes_since(from).empty()) << writes_since(from)[0];
    wait_for_apply(from, "/etc/init.d/stun-client", "reload");
    EXPECT_EQ(writes_since(from), (std::vector<std::string>{"uci commit stun", "/etc/init.d/stun-client reload"}));
    EXPECT_EQ(uci("stun.@stun[0].serveraddress"), "t7.example");
}

TEST_F(ProvE2e, FhAndIpHostWanFamilies)
{
    authenticate();
    size_t from = sb->calls().size();
    provision("omci", messages_of(profile("fh.omci")));
    wait_for_apply(from, "ubus", "syswan modify");
    std::string w = wan();
    EXPECT_NE(w.find("\"vid\": 200"), std::string::npos) << w;
    EXPECT_NE(w.find("\"ipMode\": 1"), std::string::npos) << w;
    EXPECT_NE(w.find("\"ip\": \"203.0.113.10\""), std::string::npos) << w;
    EXPECT_NE(w.find("\"mask\": \"255.255.255.0\""), std::string::npos) << w;
    EXPECT_NE(w.find("\"priDns\": \"203.0.113.53\""), std::string::npos) << w;
    EXPECT_EQ(writes_since(from).size(), 1u);

    from = sb->calls().size();
    provision("omci", messages_of(profile("iphost.omci")));
    wait_for_apply(from, "ubus", "syswan modify");
    w = wan();
    EXPECT_NE(w.find("\"ipMode\": 0"), std::string::npos) << w;
    EXPECT_NE(w.find("\"mtu\": 1500"), std::string::npos) << w;
    EXPECT_NE(w.find("\"priDns\": \"192.0.2.53\""), std::string::npos) << w;
}

TEST_F(ProvE2e, StoppingDiscardsPendingProvisioning)
{
    authenticate();
    size_t from = sb->calls().size();
    provision("omci", messages_of("omci 30314 0 stun_status 1\n"));
    ASSERT_TRUE(rt::Sandbox::stop(pid));  // SIGTERM within the quiet period
    pid = -1;
    sleep_ms(6000);
    EXPECT_TRUE(writes_since(from).empty()) << writes_since(from)[0];
    EXPECT_EQ(uci("stun.@stun[0].stun_enable"), "0");
}

TEST_F(ProvE2e, NothingBeforeAuthentication)
{
    // Give the agent time to open its ports, then speak without authenticating.
    sleep_ms(1000);
    std::string listing;
    ASSERT_EQ(ontsim({"-t", "1000", "status"}, &listing), 0);
    EXPECT_NE(listing.find("status: 0 records"), std::string::npos) << listing;
    size_t from = sb->calls().size();
    provision("omci", messages_of("omci 30314 0 stun_status 1\n"));
    sleep_ms(7000);
    EXPECT_TRUE(writes_since(from).empty()) << writes_since(from)[0];
    EXPECT_EQ(uci("stun.@stun[0].stun_enable"), "0");
}

}  // namespace
