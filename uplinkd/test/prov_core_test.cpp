// Status records on the wire, and the apply scheduler driven by a fake clock
// against a scratch UCI store whose commands are recorded, not run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "uplinkd/lldp_sm.h"
#include "uplinkd/platform_core.h"
#include "uplinkd/test/cfg_store_fixture.h"
#include "uplinkd/test/fake_device.h"
#include "uplinkd/test/lldp_test_util.h"
#include "uplinkd/test/omci_test_util.h"

namespace {

using lldp_test::Bytes;

TEST(ProvByteOrder, WanAndSsidFieldsAtTheirOffsets)
{
    lldp_wan_config w{};
    w.vlan_id = 100;
    w.mtu = 1492;
    w.ipv4_addr = 0xC0A80101;
    platform_wan_config_status_host_to_net(&w);
    const auto *b = reinterpret_cast<const uint8_t *>(&w);
    EXPECT_EQ(b[44], 0x00);
    EXPECT_EQ(b[45], 0x64);
    EXPECT_EQ(b[171], 0x05);
    EXPECT_EQ(b[172], 0xD4);
    EXPECT_EQ(b[151], 0xC0);
    EXPECT_EQ(b[154], 0x01);

    lldp_wlan_ssid s{};
    s.rekey_interval = 3600;
    s.radius_port = 1812;
    platform_wifi_base_config_status_host_to_net(&s);
    const auto *sb = reinterpret_cast<const uint8_t *>(&s);
    EXPECT_EQ(sb[103 + 2], 0x0E);
    EXPECT_EQ(sb[103 + 3], 0x10);
    EXPECT_EQ(sb[241], 0x07);
    EXPECT_EQ(sb[242], 0x14);

    lldp_tr069_config t{};
    t.inform_interval = 0x01020304;
    platform_tr069_config_status_host_to_net(&t);
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(&t)[2], 0x01);
    lldp_stun_config st{};
    st.server_port = 3478;
    platform_stun_config_status_host_to_net(&st);
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(&st)[129], 0x0D);

    platform_wan_config_status_host_to_net(nullptr);
    platform_wifi_base_config_status_host_to_net(nullptr);
}

TEST(ProvRekeyPin, PassKeepsTheSourceItStartedWith)
{
    g_status_oam = 1;
    platform_wifi_rekey_pin(0);
    EXPECT_EQ(platform_wifi_rekey_apply_enabled(), 0);
    platform_wifi_rekey_pin(-1);
    EXPECT_EQ(platform_wifi_rekey_apply_enabled(), 1);
    g_status_oam = 0;
}

const char kWireless[] =
    "config wifi-device 'radio0'\n\toption band '2g'\n\toption disabled '0'\n\toption channel '6'\n"
    "config wifi-device 'radio1'\n\toption band '5g'\n\toption disabled '1'\n\toption channel '149'\n"
    "config wifi-iface 'default_radio0'\n\toption device 'radio0'\n\toption ssid 'two'\n\toption disabled '0'\n"
    "\toption encryption 'psk2'\n\toption key 'k2k2k2k2'\n"
    "config wifi-iface 'default_radio1'\n\toption device 'radio1'\n\toption ssid 'five'\n\toption disabled '0'\n"
    "\toption encryption 'psk2'\n\toption key 'k5k5k5k5'\n";
const char kEasycwmp[] =
    "config local\n\toption username 'cr'\n\toption password 'crp'\n"
    "config acs\n\toption enablecwmp '0'\n\toption url ''\n\toption periodic_enable '1'\n"
    "\toption periodic_interval '3600'\n";
const char kStun[] = "config stun\n\toption stun_enable '0'\n\toption serverport '3478'\n";
const char kMqtt[] = "config mqtt_kpsm 'mqtt_kpsm'\n\toption enable '1'\n\toption project_id ''\n";

class ProvCore : public cfgtest::StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        fake_dev::reset();
        write("wireless", kWireless);
        write("easycwmp", kEasycwmp);
        write("stun", kStun);
        write("mqtt_kpsm", kMqtt);
        platform_init();
        set_port("");
    }
    void TearDown() override
    {
        platform_shutdown();
        set_port("");
        StoreTest::TearDown();
    }

    // As the session records the port of the authentication frame.
    static void set_port(const char *name)
    {
        auto &port = lldp_sm_get_ctx()->session_ifname;
        std::memset(port, 0, sizeof port);
        std::strncpy(port, name, sizeof port - 1);
    }
    static void deliver(uint16_t cls, uint16_t inst, const char *attr, const omci_test::bytes &value)
    {
        omci_test::bytes m = omci_test::message(0x48, cls, inst, omci_test::bit(cls, attr), value);
        platform_cfg_update(nullptr, 6, m.data(), static_cast<int>(m.size()));
    }
    static void acs_url(const char *url) { deliver(30311, 0, "acs_server_url1", omci_test::text(url, 22)); }

    void poll_at(uint64_t ms)
    {
        fake_dev::now_ms = ms;
        platform_poll();
    }
};

TEST_F(ProvCore, BurstIsAppliedOnceFiveSecondsAfterItsLastDelivery)
{
    const uint64_t t = 10000;
    fake_dev::now_ms = t;
    acs_url("http://a.example/");
    poll_at(t + 3000);
    acs_url("http://b.example/");
    poll_at(t + 7000);
    acs_url("http://c.example/");
    poll_at(t + 11999);
    EXPECT_TRUE(commands().empty()) << command_lines()[0];
    poll_at(t + 12000);
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit easycwmp", "/etc/init.d/easycwmpd reload"}));
    EXPECT_EQ(get("easycwmp", "@acs[0]", "url"), "http://c.example/");
    poll_at(t + 20000);
    EXPECT_EQ(commands().size(), 2u);

    // The same again: read and compared, nothing written.
    commands().clear();
    fake_dev::now_ms = t + 30000;
    acs_url("http://c.example/");
    poll_at(t + 36000);
    EXPECT_TRUE(commands().empty()) << file("easycwmp");
}

TEST_F(ProvCore, OneKindTouchesNoOther)
{
    deliver(30314, 0, "stun_status", {1});
    poll_at(fake_dev::now_ms + 5000);
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit stun", "/etc/init.d/stun-client reload"}));
    EXPECT_EQ(get("stun", "@stun[0]", "stun_enable"), "1");
}

TEST_F(ProvCore, ShutdownDiscardsWhatIsPending)
{
    acs_url("http://lost.example/");
    platform_shutdown();
    platform_init();
    poll_at(fake_dev::now_ms + 60000);
    EXPECT_TRUE(commands().empty());
}

TEST_F(ProvCore, UnreadableClockDoesNotApplyAtOnce)
{
    fake_dev::now_ms = 100000;
    platform_poll();  // a good reading
    fake_dev::now_ms = 0;
    acs_url("http://late.example/");
    EXPECT_EQ(g_omci_apply_deadline_ms, 105000u);
    poll_at(104999);
    EXPECT_TRUE(commands().empty());
    poll_at(105000);
    EXPECT_FALSE(commands().empty());
}

TEST_F(ProvCore, StatusRequestNeedsASessionPortAndSkipsWhatCannotBeRead)
{
    platform_cfg_update(nullptr, 11, nullptr, 0);
    EXPECT_TRUE(fake_dev::sent.empty());

    set_port("eth3");
    platform_cfg_update(nullptr, 11, nullptr, 0);
    // No WAN service in a unit test: frames 2 to 8.
    std::vector<std::pair<int, size_t>> got;
    for (const auto &s : fake_dev::sent) {
        EXPECT_EQ(s.ifname, "eth3");
        for (const auto &t : lldp_test::vendor_tlvs(s.frame)) got.emplace_back(t.subtype, t.payload.size());
    }
    EXPECT_EQ(got, (std::vector<std::pair<int, size_t>>{
                       {13, 10}, {13, 429}, {14, 10}, {14, 429}, {15, 413}, {16, 259}, {17, 214}}));
    ASSERT_EQ(fake_dev::sent.size(), 7u);
    auto payload = [](size_t i) { return lldp_test::vendor_tlvs(fake_dev::sent[i].frame)[0].payload; };
    EXPECT_EQ(payload(2)[5], 9);  // 5 GHz channel 149 as its index
    EXPECT_EQ(payload(0)[5], 6);  // 2.4 GHz channel as the number
    EXPECT_EQ(payload(1)[35], 1);  // SSID on, radio on
    EXPECT_EQ(payload(3)[35], 0);  // SSID on, radio off
    EXPECT_TRUE(commands().empty());
}

}  // namespace
