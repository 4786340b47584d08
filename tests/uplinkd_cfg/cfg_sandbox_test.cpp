// The readers and writers inside the sandboxed router: what reaches the
// stand-in WAN service, uci, wifi, init scripts and chpasswd, and what the
// configuration files hold afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/sandbox/sandbox.h"
#include "uplinkd/platform_openwrt_cfg.h"

namespace {

// Calls of `prog` in the call log.
std::vector<rt::Call> calls_of(const rt::Sandbox &sb, const char *prog)
{
    std::vector<rt::Call> out;
    for (const auto &c : sb.calls())
        if (c.is(prog)) out.push_back(c);
    return out;
}

// "prog args" of every call, in order.
std::vector<std::string> call_lines(const rt::Sandbox &sb)
{
    std::vector<std::string> out;
    for (const auto &c : sb.calls()) out.push_back(c.prog + (c.args().empty() ? "" : " " + c.args()));
    return out;
}

const rt::json::Value *connection1(const rt::Sandbox &sb, std::optional<rt::json::Value> &state)
{
    state = rt::json::parse(sb.read("syswan.json"));
    return state ? state->get("1") : nullptr;
}

constexpr const char kHostileUser[] = "a\"b'c\\d$(reboot)`x`";
constexpr const char kHostilePassword[] = "p}\",\"mtu\":1,'\\/";

}  // namespace

TEST(CfgSandbox, WanRoundTripThroughTheService)
{
    RT_SANDBOX_REQUIRE();
    rt::Sandbox sb;
    ASSERT_TRUE(sb.up());

    // Read connection 1, change the PPPoE texts to hostile ones, write it back.
    ASSERT_EQ(sb.run_inside([] {
        lldp_wan_config r;
        if (platform_wan_config_status_get(&r) != 0) return 10;
        if (std::strcmp(r.ppp_username, "user@isp") != 0 || r.mtu != 1492 || r.ip_mode != 2) return 11;
        std::strcpy(r.ppp_username, kHostileUser);
        std::strcpy(r.ppp_password, kHostilePassword);
        r.vlan_id = 100;
        r.priority = 3;
        return platform_wan_config_status_set(&r) == 0 ? 0 : 12;
    }), 0);

    const auto modify = calls_of(sb, "ubus");
    ASSERT_EQ(modify.size(), 2u);  // all, then one modify
    EXPECT_EQ(modify[0].args(), "call syswan all");
    ASSERT_EQ(modify[1].argv.size(), 5u);
    EXPECT_EQ(modify[1].argv[3], "modify");
    const auto doc = rt::json::parse(modify[1].argv[4]);
    ASSERT_TRUE(doc) << modify[1].argv[4];
    ASSERT_FALSE(doc->members.empty());
    EXPECT_EQ(doc->members[0].first, "wanId");
    ASSERT_NE(doc->get("pppUser"), nullptr);
    EXPECT_EQ(doc->get("pppUser")->text, kHostileUser);
    EXPECT_EQ(doc->get("pppPwd")->text, kHostilePassword);
    EXPECT_EQ(doc->get("vid")->number, 100);
    EXPECT_EQ(doc->get("prio")->number, 3);
    EXPECT_EQ(doc->get("mtu")->number, 1492);

    std::optional<rt::json::Value> state;
    const rt::json::Value *c1 = connection1(sb, state);
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c1->get("pppUser")->text, kHostileUser);
    EXPECT_EQ(c1->get("pppPwd")->text, kHostilePassword);
    EXPECT_TRUE(calls_of(sb, "reboot").empty());

    // Read back as the client prints it ("\/" included): the same texts, so
    // the next pass sees no difference.
    EXPECT_EQ(sb.run_inside([] {
        lldp_wan_config r;
        if (platform_wan_config_status_get(&r) != 0) return 20;
        if (std::strcmp(r.ppp_username, kHostileUser) != 0) return 21;
        if (std::strcmp(r.ppp_password, kHostilePassword) != 0) return 22;
        return r.vlan_id == 100 && r.vlan_mode == 1 && r.priority == 3 ? 0 : 23;
    }), 0);
}

TEST(CfgSandbox, WanServiceFailureAndAbsence)
{
    RT_SANDBOX_REQUIRE();
    rt::Sandbox sb;
    ASSERT_TRUE(sb.up());
    ASSERT_TRUE(sb.write("fix/exit/ubus.syswan.modify", "1"));
    EXPECT_EQ(sb.run_inside([] {
        lldp_wan_config r;
        if (platform_wan_config_status_get(&r) != 0) return 10;
        return platform_wan_config_status_set(&r) == -1 ? 0 : 11;
    }), 0);

    // No WAN service: nothing printed, the reader fails with a zeroed record.
    ASSERT_TRUE(sb.write("fix/exit/ubus.syswan.all", "4"));
    EXPECT_EQ(sb.run_inside([] {
        lldp_wan_config r;
        std::memset(&r, 0x5A, sizeof r);
        const int rc = platform_wan_config_status_get(&r);
        return r.valid == 0 ? (rc == -1 ? 0 : 30 + rc) : 40;
    }), 0);
}

TEST(CfgSandbox, WirelessWriterAndMeshSwitch)
{
    RT_SANDBOX_REQUIRE();
    rt::Sandbox sb;
    ASSERT_TRUE(sb.up());
    ASSERT_EQ(sb.run_inside([] {
        g_status_oam = 1;
        lldp_wlan_config r;
        if (platform_5g_config_status_get(&r) != 0) return 10;
        r.radio.radio_valid = 1;
        r.radio.mode = 12;
        r.radio.chan_width = 5;
        r.radio.channel = 100;
        r.radio.country = 7;
        r.radio.mesh_enable = 1;
        r.ssid[0].ssid_valid = 1;
        std::strcpy(r.ssid[0].ssid, "it's \"5G\" $(reboot)");
        r.ssid[0].auth_mode = 10;
        r.ssid[0].rekey_interval = 0;
        return platform_wlan_config_status_set(&r);
    }), 0);

    EXPECT_EQ(call_lines(sb),
              (std::vector<std::string>{"uci commit wireless", "wifi reload", "uci commit easymesh",
                                        "/bin/ubus call em.web_info set {\"mesh_switch\":1,\"mesh_mode\":0}"}));
    EXPECT_EQ(sb.uci_get("wireless.radio1.htmode"), "HE160");
    EXPECT_EQ(sb.uci_get("wireless.radio1.zkhwmode"), "5G-AX");
    EXPECT_EQ(sb.uci_get("wireless.radio1.channel"), "100");
    EXPECT_EQ(sb.uci_get("wireless.radio0.country"), "JP");
    EXPECT_EQ(sb.uci_get("wireless.radio1.country"), "JP");
    EXPECT_EQ(sb.uci_get("wireless.default_radio1.ssid"), "it's \"5G\" $(reboot)");
    EXPECT_EQ(sb.uci_get("wireless.default_radio1.encryption"), "sae");
    EXPECT_EQ(sb.uci_get("wireless.default_radio1.wpa_group_rekey"), "86400");
    EXPECT_EQ(sb.uci_get("easymesh.easymesh_default.mesh_switch"), "1");
    EXPECT_TRUE(calls_of(sb, "reboot").empty());

    // Mesh already on: a second write runs no EasyMesh command.
    const std::size_t before = sb.calls().size();
    ASSERT_EQ(sb.run_inside([] {
        lldp_wlan_config r;
        if (platform_5g_config_status_get(&r) != 0) return 10;
        r.radio.radio_valid = 1;
        r.radio.mesh_enable = 1;
        return platform_wlan_config_status_set(&r);
    }), 0);
    const auto lines = call_lines(sb);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{"uci commit wireless", "wifi reload"}));
}

TEST(CfgSandbox, ClientWritersCommitAndReload)
{
    RT_SANDBOX_REQUIRE();
    rt::Sandbox sb;
    ASSERT_TRUE(sb.up());
    ASSERT_TRUE(sb.write("tmp/kpsm_connect_status", "1\n"));
    ASSERT_EQ(sb.run_inside([] {
        lldp_tr069_config t;
        lldp_stun_config s;
        lldp_mqtt_config m;
        if (platform_tr069_config_status_get(&t) || platform_stun_config_status_get(&s) ||
            platform_mqtt_config_status_get(&m))
            return 10;
        if (m.connect_status != 1 || t.inform_interval != 3600 || s.server_port != 3478) return 11;
        std::strcpy(t.project_id, "proj-42");
        std::strcpy(t.acs_url, "http://acs/';reboot;'");
        t.acs_password[0] = '\0';  // keeps the router's
        s.stun_enable = 1;
        std::strcpy(s.server_addr, "stun.example");
        if (platform_tr069_config_status_set(&t) || platform_stun_config_status_set(&s)) return 12;
        return 0;
    }), 0);
    EXPECT_EQ(call_lines(sb), (std::vector<std::string>{"uci commit easycwmp", "uci commit mqtt_kpsm",
                                                        "/etc/init.d/easycwmpd reload", "uci commit stun",
                                                        "/etc/init.d/stun-client reload"}));
    EXPECT_EQ(sb.uci_get("mqtt_kpsm.mqtt_kpsm.project_id"), "proj-42");
    EXPECT_EQ(sb.uci_get("easycwmp.@acs[0].url"), "http://acs/';reboot;'");
    EXPECT_EQ(sb.uci_get("easycwmp.@acs[0].password"), "acs");
    EXPECT_EQ(sb.uci_get("stun.@stun[0].serveraddress"), "stun.example");
    EXPECT_EQ(sb.uci_get("stun.@stun[0].stun_enable"), "1");
    EXPECT_EQ(sb.read("tmp/kpsm_connect_status"), "1\n");
}

TEST(CfgSandbox, DeviceModeChangeOnFirstAuthentication)
{
    RT_SANDBOX_REQUIRE();
    struct Case {
        std::vector<std::string> fixtures;
        const char *clear_password;
    } cases[] = {
        {{}, nullptr},
        {{std::string(CFG_FIXTURES) + "/clear_password"}, "pqrGTW735"},
    };
    for (const auto &c : cases) {
        rt::Sandbox sb;
        ASSERT_TRUE(sb.up(c.fixtures));
        for (int i = 0; i < 2; ++i) ASSERT_EQ(sb.run_inside([] { platform_auth(nullptr, 1); return 0; }), 0);

        const auto chpasswd = calls_of(sb, "chpasswd");
        ASSERT_EQ(chpasswd.size(), 1u);  // the second authentication does nothing
        EXPECT_EQ(chpasswd[0].argv.size(), 1u);
        EXPECT_EQ(chpasswd[0].stdin_text.value_or(""), "admin:pqrGTW735\n");
        EXPECT_EQ(call_lines(sb), (std::vector<std::string>{"chpasswd", "uci commit rpcd", "uci commit custom"}));
        EXPECT_EQ(sb.uci_get("custom.first_login.first_admin_login_flag"), "0");
        EXPECT_EQ(sb.uci_get("rpcd.@login[0].clear_password"),
                  c.clear_password ? std::optional<std::string>(c.clear_password) : std::nullopt);
    }
}

TEST(CfgSandbox, FailedChpasswdKeepsTheFirstLoginPending)
{
    RT_SANDBOX_REQUIRE();
    rt::Sandbox sb;
    ASSERT_TRUE(sb.up());
    ASSERT_TRUE(sb.write("fix/exit/chpasswd", "1 0"));
    ASSERT_EQ(sb.run_inside([] { return platform_device_mode_change() == -1 ? 0 : 1; }), 0);
    EXPECT_EQ(sb.uci_get("custom.first_login.first_admin_login_flag"), "1");
    EXPECT_EQ(call_lines(sb), std::vector<std::string>{"chpasswd"});

    ASSERT_EQ(sb.run_inside([] { return platform_device_mode_change(); }), 0);
    EXPECT_EQ(sb.uci_get("custom.first_login.first_admin_login_flag"), "0");
    EXPECT_EQ(calls_of(sb, "chpasswd").size(), 2u);
}
