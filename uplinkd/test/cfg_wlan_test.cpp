#include <cstring>
#include <string>
#include <vector>

#include "uplinkd/test/cfg_store_fixture.h"

using cfgtest::StoreTest;

namespace {

const char kWireless[] =
    "config wifi-device 'radio0'\n"
    "\toption type 'mac80211'\n"
    "\toption disabled '0'\n"
    "\toption country 'JP'\n"
    "\toption channel '6'\n"
    "\toption htmode 'HE40'\n"
    "\toption txpower '20'\n"
    "\toption zkhwmode '2.4G-B/G/N'\n"
    "\n"
    "config wifi-device 'radio1'\n"
    "\toption type 'mac80211'\n"
    "\toption country 'JP'\n"
    "\toption channel '149'\n"
    "\toption htmode 'HE160'\n"
    "\toption zkhwmode '5G-AX'\n"
    "\n"
    "config wifi-iface 'default_radio0'\n"
    "\toption device 'radio0'\n"
    "\toption mode 'ap'\n"
    "\toption ssid 'Home-2G'\n"
    "\toption encryption 'psk2+ccmp'\n"
    "\toption key 'correct horse'\n"
    "\toption hidden '1'\n"
    "\toption wpa_group_rekey '3600'\n"
    "\n"
    "config wifi-iface 'default_radio1'\n"
    "\toption device 'radio1'\n"
    "\toption mode 'ap'\n"
    "\toption ssid 'Home-5G'\n"
    "\toption disabled '1'\n"
    "\toption encryption 'sae-mixed'\n"
    "\toption key 'k5'\n";

const char kEmptySections[] =
    "config wifi-device 'radio0'\n"
    "config wifi-device 'radio1'\n"
    "config wifi-iface 'default_radio0'\n"
    "config wifi-iface 'default_radio1'\n";

std::string easymesh(const char *mesh_switch, const char *mesh_mode)
{
    std::string s = "config easymesh 'easymesh_default'\n";
    if (mesh_switch) s += std::string("\toption mesh_switch '") + mesh_switch + "'\n";
    if (mesh_mode) s += std::string("\toption mesh_mode '") + mesh_mode + "'\n";
    return s;
}

// Section text with the given options (name, value) pairs.
std::string section(const char *type, const char *name, std::initializer_list<std::pair<const char *, const char *>> opts)
{
    std::string s = std::string("config ") + type + " '" + name + "'\n";
    for (const auto &o : opts) s += std::string("\toption ") + o.first + " '" + o.second + "'\n";
    return s;
}

}  // namespace

class CfgWlan : public StoreTest {};

TEST_F(CfgWlan, ReadsBothBands)
{
    write("wireless", kWireless);
    write("easymesh", easymesh("1", "0"));

    lldp_wlan_config r;
    std::memset(&r, 0x55, sizeof r);
    ASSERT_EQ(platform_24g_config_status_get(&r), 0);
    EXPECT_EQ(r.radio.radio_valid, 0);
    EXPECT_EQ(r.radio.read_mark, 1);
    EXPECT_EQ(r.radio.band, 0);
    EXPECT_EQ(r.radio.radio_enable, 1);
    EXPECT_EQ(r.radio.country, 5);
    EXPECT_EQ(r.radio.channel, 6);
    EXPECT_EQ(r.radio.chan_width, 1);
    EXPECT_EQ(r.radio.tx_power, 20);
    EXPECT_EQ(r.radio.mode, 4);
    EXPECT_EQ(r.radio.mesh_enable, 1);
    const lldp_wlan_ssid &s = r.ssid[0];
    EXPECT_EQ(s.ssid_valid, 0);
    EXPECT_EQ(s.read_mark[0], 1);
    EXPECT_EQ(s.read_mark[1], 1);
    EXPECT_STREQ(s.ssid, "Home-2G");
    EXPECT_EQ(s.ssid_enable, 1);
    EXPECT_EQ(s.hidden, 1);
    EXPECT_EQ(s.auth_mode, 6);
    EXPECT_EQ(s.encryption, 4);
    EXPECT_STREQ(s.key, "correct horse");
    EXPECT_EQ(+s.rekey_interval, 3600u);
    // RADIUS, WEP, reserved and the other three entries are carried as zero.
    EXPECT_EQ(+s.radius_port, 0);
    EXPECT_EQ(+s.reserved[5], 0u);
    static const lldp_wlan_ssid zero{};
    for (int i = 1; i < 4; ++i) EXPECT_EQ(std::memcmp(&r.ssid[i], &zero, sizeof zero), 0) << i;

    ASSERT_EQ(platform_5g_config_status_get(&r), 0);
    EXPECT_EQ(r.radio.band, 1);
    EXPECT_EQ(r.radio.channel, 149);
    EXPECT_EQ(r.radio.chan_width, 5);
    EXPECT_EQ(r.radio.mode, 12);
    EXPECT_STREQ(r.ssid[0].ssid, "Home-5G");
    EXPECT_EQ(r.ssid[0].ssid_enable, 0);
    EXPECT_EQ(r.ssid[0].auth_mode, 11);
    EXPECT_EQ(r.ssid[0].encryption, 4);
    EXPECT_EQ(+r.ssid[0].rekey_interval, 86400u);  // none set

    EXPECT_EQ(ow_fill_wifi_band(nullptr, 0), -1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(CfgWlan, MissingOptionsReadAsDefaults)
{
    write("wireless", kEmptySections);  // and no easymesh package at all
    for (int band = 0; band < 2; ++band) {
        lldp_wlan_config r;
        ASSERT_EQ(ow_fill_wifi_band(&r, band), 0);
        EXPECT_EQ(r.radio.radio_enable, 1);
        EXPECT_EQ(r.radio.country, 0);  // EU
        EXPECT_EQ(r.radio.channel, 0);
        EXPECT_EQ(r.radio.chan_width, 0);
        EXPECT_EQ(r.radio.tx_power, 0);
        EXPECT_EQ(r.radio.mode, band ? 12 : 14);
        EXPECT_EQ(r.radio.mesh_enable, 0);
        EXPECT_STREQ(r.ssid[0].ssid, "");
        EXPECT_EQ(r.ssid[0].ssid_enable, 1);
        EXPECT_EQ(r.ssid[0].hidden, 0);
        EXPECT_EQ(r.ssid[0].auth_mode, 1);
        EXPECT_EQ(r.ssid[0].encryption, 1);
        EXPECT_EQ(+r.ssid[0].rekey_interval, 86400u);
    }
}

TEST_F(CfgWlan, RadioOptionConversions)
{
    struct Case {
        const char *option, *value;
        int (*get)(const lldp_wlan_radio &);
        int want;
    } cases[] = {
        {"country", "ZZ", [](const lldp_wlan_radio &r) -> int { return r.country; }, 10},
        {"country", "US", [](const lldp_wlan_radio &r) -> int { return r.country; }, 1},
        {"channel", "auto", [](const lldp_wlan_radio &r) -> int { return r.channel; }, 0},
        {"channel", "300", [](const lldp_wlan_radio &r) -> int { return r.channel; }, 44},
        {"htmode", "VHT80", [](const lldp_wlan_radio &r) -> int { return r.chan_width; }, 2},
        {"htmode", "HT40", [](const lldp_wlan_radio &r) -> int { return r.chan_width; }, 1},
        {"htmode", "HT20", [](const lldp_wlan_radio &r) -> int { return r.chan_width; }, 0},
        {"txpower", "300", [](const lldp_wlan_radio &r) -> int { return r.tx_power; }, 255},
        {"txpower", "-4", [](const lldp_wlan_radio &r) -> int { return r.tx_power; }, 0},
        {"disabled", "1", [](const lldp_wlan_radio &r) -> int { return r.radio_enable; }, 0},
        {"disabled", "true", [](const lldp_wlan_radio &r) -> int { return r.radio_enable; }, 1},
        {"zkhwmode", "2.4G-G/N", [](const lldp_wlan_radio &r) -> int { return r.mode; }, 15},
        {"zkhwmode", "5G-AC", [](const lldp_wlan_radio &r) -> int { return r.mode; }, 14},
    };
    for (const auto &c : cases) {
        write("wireless", section("wifi-device", "radio0", {{c.option, c.value}}) + kEmptySections);
        lldp_wlan_config r;
        ASSERT_EQ(platform_24g_config_status_get(&r), 0);
        EXPECT_EQ(c.get(r.radio), c.want) << c.option << "=" << c.value;
    }

    struct Mesh {
        const char *value;
        uint8_t enable;
    } mesh[] = {{"1", 1}, {"0", 0}, {"01", 1}, {"2", 0}, {"on", 0}};
    write("wireless", kEmptySections);
    for (const auto &m : mesh) {
        write("easymesh", easymesh(m.value, nullptr));
        lldp_wlan_config r;
        ASSERT_EQ(platform_5g_config_status_get(&r), 0);
        EXPECT_EQ(r.radio.mesh_enable, m.enable) << m.value;
    }
}

TEST_F(CfgWlan, EncryptionTexts)
{
    struct Case {
        const char *text;
        uint8_t auth, cipher;
    } cases[] = {
        {"none", 1, 1},         {"", 1, 1},          {"psk2+ccmp", 6, 4},  {"psk-mixed+tkip+ccmp", 9, 5},
        {"psk+tkip", 4, 3},     {"sae-mixed", 11, 4}, {"sae", 10, 4},      {"wpa2", 6, 4},
        {"psk2+tkip+aes", 6, 5}, {"psk2+aes", 6, 4},  {"psk-mixed", 9, 4}, {"none+tkip", 6, 3},
    };
    for (const auto &c : cases) {
        write("wireless", section("wifi-iface", "default_radio1", {{"encryption", c.text}}) + kEmptySections);
        lldp_wlan_config r;
        ASSERT_EQ(platform_5g_config_status_get(&r), 0);
        EXPECT_EQ(r.ssid[0].auth_mode, c.auth) << c.text;
        EXPECT_EQ(r.ssid[0].encryption, c.cipher) << c.text;
    }
}

namespace {

lldp_wlan_config radio_record(uint8_t band, uint8_t mode, uint8_t width)
{
    lldp_wlan_config r{};
    r.radio.radio_valid = 1;
    r.radio.band = band;
    r.radio.radio_enable = 1;
    r.radio.country = 1;
    r.radio.channel = band ? 36 : 1;
    r.radio.mode = mode;
    r.radio.chan_width = width;
    return r;
}

}  // namespace

TEST_F(CfgWlan, WritesStandardAndChannelWidth)
{
    struct Case {
        uint8_t band, mode, width;
        const char *zkhwmode, *htmode;  // "<kept>": as in the fixture, "<missing>": deleted
    } cases[] = {
        {0, 13, 2, "2.4G-AX", "HE20"},  // 80 MHz has no meaning on 2.4 GHz
        {0, 14, 5, "2.4G-AX", "HE20"},
        {0, 13, 3, "2.4G-AX", "HE40"},
        {0, 3, 1, "2.4G-N", "HT40"},
        {0, 15, 0, "2.4G-G/N", "HT20"},
        {0, 0, 1, "2.4G-B", "<missing>"},
        {0, 2, 1, "2.4G-B/G", "<missing>"},
        {0, 5, 2, "2.4G-B/G/N", "HE40"},  // a 5 GHz code changes nothing
        {0, 16, 2, "2.4G-B/G/N", "HE40"},
        {1, 12, 5, "5G-AX", "HE160"},
        {1, 11, 4, "5G-AX", "HE80"},
        {1, 9, 1, "5G-N/AC", "VHT40"},
        {1, 5, 2, "5G-AC", "VHT80"},
        {1, 7, 0, "5G-N", "HT20"},
        {1, 6, 2, "5G-A", "<missing>"},
        {1, 13, 2, "5G-AX", "HE160"},
    };
    for (const auto &c : cases) {
        write("wireless", kWireless);
        lldp_wlan_config r = radio_record(c.band, c.mode, c.width);
        ASSERT_EQ(platform_wlan_config_status_set(&r), 0);
        const char *radio = c.band ? "radio1" : "radio0";
        const std::string tag = std::to_string(c.band) + "/" + std::to_string(c.mode) + "/" + std::to_string(c.width);
        EXPECT_EQ(get("wireless", radio, "zkhwmode"), c.zkhwmode) << tag;
        EXPECT_EQ(get("wireless", radio, "htmode"), c.htmode) << tag;
    }
}

TEST_F(CfgWlan, WritesRadioPart)
{
    write("wireless", kWireless);
    lldp_wlan_config r = radio_record(0, 4, 0);
    r.radio.radio_enable = 0;
    r.radio.country = 7;  // a later duplicate of JP
    r.radio.channel = 0;
    r.radio.tx_power = 0;  // leave unchanged
    ASSERT_EQ(platform_wlan_config_status_set(&r), 0);
    EXPECT_EQ(get("wireless", "radio0", "disabled"), "1");
    EXPECT_EQ(get("wireless", "radio0", "country"), "JP");
    EXPECT_EQ(get("wireless", "radio1", "country"), "JP");
    EXPECT_EQ(get("wireless", "radio0", "channel"), "auto");
    EXPECT_EQ(get("wireless", "radio0", "txpower"), "20");
    // The SSID part was not marked valid: untouched.
    EXPECT_EQ(get("wireless", "default_radio0", "ssid"), "Home-2G");
    EXPECT_EQ(get("wireless", "default_radio0", "disabled"), "<missing>");

    r = radio_record(1, 12, 2);
    r.radio.country = 200;  // past the table
    r.radio.channel = 100;
    r.radio.tx_power = 17;
    ASSERT_EQ(platform_wlan_config_status_set(&r), 0);
    EXPECT_EQ(get("wireless", "radio0", "country"), "CN");
    EXPECT_EQ(get("wireless", "radio1", "country"), "CN");
    EXPECT_EQ(get("wireless", "radio1", "channel"), "100");
    EXPECT_EQ(get("wireless", "radio1", "txpower"), "17");
    EXPECT_EQ(get("wireless", "radio1", "disabled"), "0");
    EXPECT_EQ(get("wireless", "radio0", "channel"), "auto");
}

TEST_F(CfgWlan, WritesSsidPartAndRekeyOnlyUnderOam)
{
    struct Case {
        uint8_t auth, cipher;
        int oam;
        uint32_t rekey;
        const char *encryption, *key, *wpa_group_rekey;
    } cases[] = {
        {6, 4, 1, 0, "psk2", "new key", "86400"},
        {6, 4, 1, 600, "psk2", "new key", "600"},
        {6, 4, 0, 600, "psk2", "new key", "3600"},  // OMCI: rekey left alone
        {11, 4, 1, 1200, "sae-mixed", "new key", "1200"},
        {1, 1, 1, 600, "none", "correct horse", "3600"},  // open: no key, no rekey
        {1, 2, 1, 600, "psk2+ccmp", "correct horse", "3600"},  // open with WEP: nothing
        {3, 4, 1, 600, "psk2+ccmp", "correct horse", "3600"},  // no text for 3
        {0, 0, 1, 600, "psk2+ccmp", "correct horse", "3600"},
    };
    for (const auto &c : cases) {
        write("wireless", kWireless);
        g_status_oam = c.oam;
        lldp_wlan_config r{};
        r.radio.band = 0;
        lldp_wlan_ssid &s = r.ssid[0];
        s.ssid_valid = 1;
        std::strcpy(s.ssid, "Guest");
        s.ssid_enable = 0;
        s.hidden = 0;
        s.auth_mode = c.auth;
        s.encryption = c.cipher;
        std::strcpy(s.key, "new key");
        s.rekey_interval = c.rekey;
        ASSERT_EQ(platform_wlan_config_status_set(&r), 0);
        const std::string tag = std::to_string(c.auth) + "/" + std::to_string(c.cipher) + "/oam" + std::to_string(c.oam);
        EXPECT_EQ(get("wireless", "default_radio0", "ssid"), "Guest") << tag;
        EXPECT_EQ(get("wireless", "default_radio0", "disabled"), "1") << tag;
        EXPECT_EQ(get("wireless", "default_radio0", "hidden"), "0") << tag;
        EXPECT_EQ(get("wireless", "default_radio0", "encryption"), c.encryption) << tag;
        EXPECT_EQ(get("wireless", "default_radio0", "key"), c.key) << tag;
        EXPECT_EQ(get("wireless", "default_radio0", "wpa_group_rekey"), c.wpa_group_rekey) << tag;
        // The radio part was not marked valid.
        EXPECT_EQ(get("wireless", "radio0", "zkhwmode"), "2.4G-B/G/N") << tag;
    }
}

TEST_F(CfgWlan, HostileTextsAreStoredAsTheyAre)
{
    write("wireless", kWireless);
    lldp_wlan_config r{};
    r.radio.band = 1;
    lldp_wlan_ssid &s = r.ssid[0];
    s.ssid_valid = 1;
    s.auth_mode = 6;
    const char *ssid = "a'b\"c$(reboot)`id`;";
    const char *key = "k'\\\"; rm -rf / #";
    std::strcpy(s.ssid, ssid);
    std::strcpy(s.key, key);
    ASSERT_EQ(platform_wlan_config_status_set(&r), 0);
    EXPECT_EQ(get("wireless", "default_radio1", "ssid"), ssid);
    EXPECT_EQ(get("wireless", "default_radio1", "key"), key);
    lldp_wlan_config back;
    ASSERT_EQ(platform_5g_config_status_get(&back), 0);
    EXPECT_STREQ(back.ssid[0].ssid, ssid);
    EXPECT_STREQ(back.ssid[0].key, key);
    // No command carries any of it.
    for (const auto &c : commands())
        for (const auto &a : c.argv) EXPECT_EQ(a.find("reboot"), std::string::npos) << c.line();
}

TEST_F(CfgWlan, CommitAndReloadAlways)
{
    write("wireless", kWireless);
    const std::string before = file("wireless");
    lldp_wlan_config r{};  // nothing valid
    ASSERT_EQ(ow_apply_wifi_band(&r, 0), 0);
    EXPECT_EQ(file("wireless"), before);
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit wireless", "wifi reload"}));

    // A failing wifi on the path falls back to /sbin/wifi.
    commands().clear();
    exit_with("wifi", {1});
    ASSERT_EQ(ow_apply_wifi_band(&r, 1), 0);
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit wireless", "wifi reload", "/sbin/wifi reload"}));

    commands().clear();
    EXPECT_EQ(ow_apply_wifi_band(nullptr, 0), -1);
    EXPECT_EQ(platform_wlan_config_status_set(nullptr), -1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(CfgWlan, MeshSwitch)
{
    struct Case {
        uint8_t band, radio_valid, mesh_enable;
        const char *mesh_switch, *mesh_mode;  // null: option missing
        const char *doc;                      // null: no mesh change
        const char *switch_after, *mode_after;
    } cases[] = {
        {1, 1, 1, "1", "0", nullptr, "1", "0"},  // already on
        {1, 1, 0, "0", "2", nullptr, "0", "2"},  // already off
        {1, 1, 1, "0", "2", "{\"mesh_switch\":1,\"mesh_mode\":0}", "1", "0"},
        {1, 1, 0, "1", "2", "{\"mesh_switch\":0,\"mesh_mode\":2}", "0", "2"},
        {1, 1, 0, "1", nullptr, "{\"mesh_switch\":0,\"mesh_mode\":0}", "0", "<missing>"},
        {1, 1, 1, nullptr, nullptr, "{\"mesh_switch\":1,\"mesh_mode\":0}", "1", "0"},
        {1, 1, 0, nullptr, nullptr, nullptr, "<missing>", "<missing>"},
        {1, 0, 1, "0", "2", nullptr, "0", "2"},  // radio part not valid
        {0, 1, 1, "0", "2", nullptr, "0", "2"},  // 2.4 GHz never switches mesh
    };
    for (const auto &c : cases) {
        write("wireless", kWireless);
        write("easymesh", easymesh(c.mesh_switch, c.mesh_mode));
        commands().clear();
        lldp_wlan_config r = radio_record(c.band, c.band ? 12 : 14, 0);
        r.radio.radio_valid = c.radio_valid;
        r.radio.mesh_enable = c.mesh_enable;
        ASSERT_EQ(platform_wlan_config_status_set(&r), 0);
        const std::string tag = std::to_string(c.band) + "/" + std::to_string(c.radio_valid) + "/" +
                                std::to_string(c.mesh_enable) + "/" + (c.mesh_switch ? c.mesh_switch : "-");
        std::vector<std::string> want = {"uci commit wireless", "wifi reload"};
        if (c.doc) {
            want.push_back("uci commit easymesh");
            want.push_back(std::string("/bin/ubus call em.web_info set ") + c.doc);
        }
        EXPECT_EQ(command_lines(), want) << tag;
        EXPECT_EQ(get("easymesh", "easymesh_default", "mesh_switch"), c.switch_after) << tag;
        EXPECT_EQ(get("easymesh", "easymesh_default", "mesh_mode"), c.mode_after) << tag;
    }
}
