// Wireless translation for both protocols and the wireless comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "uplinkd/platform_openwrt_convert.h"

namespace {

lldp_wlan_config router_band(uint8_t band)
{
    lldp_wlan_config c{};
    c.radio.read_mark = 1;
    c.radio.band = band;
    c.radio.radio_enable = 1;
    c.radio.country = 10;
    c.radio.channel = band ? 36 : 6;
    c.radio.mode = band ? 12 : 14;
    c.radio.chan_width = 2;
    c.radio.tx_power = 80;
    std::strcpy(c.ssid[0].ssid, "home");
    c.ssid[0].ssid_enable = 1;
    c.ssid[0].auth_mode = 6;
    c.ssid[0].encryption = 4;
    std::strcpy(c.ssid[0].key, "oldpassword");
    c.ssid[0].rekey_interval = 3600;
    std::strcpy(c.ssid[0].radius_server, "radius");
    return c;
}

struct OamFlag {
    explicit OamFlag(int v) { g_status_oam = v; }
    ~OamFlag() { g_status_oam = 0; }
};

template <size_t N>
void put(uint8_t (&f)[N], const std::string &t)
{
    std::memset(f, 0, N);
    std::memcpy(f, t.data(), std::min(N, t.size()));
}
template <size_t N>
void put(char (&f)[N], const std::string &t)
{
    std::memset(f, 0, N);
    std::memcpy(f, t.data(), std::min(N, t.size()));
}

TEST(ConvertOmciWlan, EntriesToBands)
{
    auto v = std::make_unique<omci_wlan_view>();
    std::memset(v.get(), 0, sizeof *v);
    auto &r5 = v->entries[0];
    r5.radio_valid = 1;
    r5.enable = 1;
    r5.channel = 5;  // an index on 5 GHz
    r5.mode = 11;
    r5.mesh_enable = 1;
    r5.ssid_valid = 1;
    put(r5.ssid_name, std::string(32, 'S'));  // full field, no terminator
    put(r5.key, std::string(64, 'k'));
    r5.auth_mode = 6;
    r5.re_key_interval = 1;
    auto &r24 = v->entries[1];
    r24.radio_valid = 1;
    r24.channel = 11;  // a channel number on 2.4 GHz
    r24.ssid_valid = 1;  // an SSID in entry 1 is not used
    put(r24.ssid_name, "ignored");

    lldp_wlan_config b24 = router_band(0), b5 = router_band(1);
    platform_omci_mib_to_lldp_wlan_config(v.get(), &b24, &b5);

    EXPECT_EQ(+b5.radio.radio_valid, 1);
    EXPECT_EQ(+b5.radio.read_mark, 0);
    EXPECT_EQ(+b5.radio.channel, 100);
    EXPECT_EQ(+b5.radio.mesh_enable, 1);
    EXPECT_EQ(+b5.radio.tx_power, 80);  // power 0: the router's
    EXPECT_EQ(std::string(b5.ssid[0].ssid), std::string(31, 'S'));
    EXPECT_EQ(std::string(b5.ssid[0].key), std::string(63, 'k'));
    EXPECT_EQ(+b5.ssid[0].rekey_interval, 3600u);  // OMCI keeps the router's
    EXPECT_STREQ(b5.ssid[0].radius_server, "radius");

    EXPECT_EQ(+b24.radio.channel, 11);
    EXPECT_EQ(+b24.ssid[0].ssid_valid, 0);
    EXPECT_STREQ(b24.ssid[0].ssid, "home");

    v->entries[0].channel = 36;  // already a channel number
    lldp_wlan_config again = router_band(1);
    platform_omci_mib_to_lldp_wlan_config(v.get(), nullptr, &again);
    EXPECT_EQ(+again.radio.channel, 36);
}

TEST(ConvertOamWlan, ModesChannelsAndSsid)
{
    struct {
        uint16_t mode24, mode5;
        uint8_t want24, want5;
    } modes[] = {{3, 5, 3, 5}, {5, 7, 13, 8}, {9, 10, 14, 8}, {0, 3, 0, 12}, {4, 12, 4, 12}};
    for (const auto &m : modes) {
        SCOPED_TRACE(m.mode24 * 100 + m.mode5);
        auto v = std::make_unique<oam_wlan_view>();
        std::memset(v.get(), 0, sizeof *v);
        v->radio24_valid = 1;
        v->radio24.mode = m.mode24;
        v->radio24.mesh_enable = 1;
        v->radio5_valid = 1;
        v->radio5.mode = m.mode5;
        v->radio5.channel = 9;
        v->radio5.country = 0x0101;  // low byte taken
        v->radio5.tx_power = 0x0150;
        lldp_wlan_config b24 = router_band(0), b5 = router_band(1);
        platform_oam_mib_to_lldp_wlan_config(v.get(), &b24, &b5);
        EXPECT_EQ(+b24.radio.mode, +m.want24);
        EXPECT_EQ(+b24.radio.mesh_enable, 0);
        EXPECT_EQ(+b5.radio.mode, +m.want5);
        EXPECT_EQ(+b5.radio.channel, 149);
        EXPECT_EQ(+b5.radio.country, 1);
        EXPECT_EQ(+b5.radio.tx_power, 0x50);
        EXPECT_EQ(+b24.radio.tx_power, 80);
    }

    auto v = std::make_unique<oam_wlan_view>();
    std::memset(v.get(), 0, sizeof *v);
    v->ssid5_valid[0] = 1;
    put(v->ssid5[0].ssid, "Op\"$(id)`5G");
    put(v->ssid5[0].key, "line1\nwpa_passphrase=x");
    v->ssid5[0].auth_mode = 0x0106;
    v->ssid5[0].rekey_interval = 7200;
    v->ssid24_valid[1] = 1;  // slots past 0 are not translated
    put(v->ssid24[1].ssid, "slot1");
    lldp_wlan_config b24 = router_band(0), b5 = router_band(1);
    platform_oam_mib_to_lldp_wlan_config(v.get(), &b24, &b5);
    EXPECT_STREQ(b5.ssid[0].ssid, "Op\"$(id)`5G");
    EXPECT_STREQ(b5.ssid[0].key, "oldpassword");  // control character: router's key kept
    EXPECT_EQ(+b5.ssid[0].auth_mode, 6);
    EXPECT_EQ(+b5.ssid[0].rekey_interval, 7200u);
    EXPECT_EQ(+b5.radio.radio_valid, 0);
    EXPECT_STREQ(b24.ssid[0].ssid, "home");
    EXPECT_EQ(+b24.ssid[0].ssid_valid, 0);
}

TEST(ConvertWlan, ChannelIndex)
{
    EXPECT_EQ(platform_oam_5g_channel_to_index(149), 9);
    EXPECT_EQ(platform_oam_5g_channel_to_index(0), 0);
    EXPECT_EQ(platform_oam_5g_channel_to_index(37), 37);
}

struct DiffCase {
    const char *name;
    uint8_t band;
    int oam;
    std::function<void(lldp_wlan_config &n, lldp_wlan_config &r)> edit;
    int want;
};

TEST(ConvertWlanDiff, Table)
{
    auto radio = [](lldp_wlan_config &n) { n.radio.radio_valid = 1; };
    auto ssid = [](lldp_wlan_config &n) { n.ssid[0].ssid_valid = 1; };
    const DiffCase cases[] = {
        {"nothing valid: equal", 0, 0, [](lldp_wlan_config &n, lldp_wlan_config &) { n.radio.channel = 1; n.ssid[0].key[0] = 'x'; }, 0},
        {"channel", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.channel = 1; }, 1},
        {"country above 141 not compared", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.country = 200; }, 0},
        {"country", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.country = 3; }, 1},
        {"2.4 mode 13 equals read 14", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mode = 13; }, 0},
        {"2.4 mode 14 equals read 13", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &r) { radio(n); r.radio.mode = 13; }, 0},
        {"2.4 mode 3 differs from 14", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mode = 3; }, 1},
        {"2.4 mode 8 not compared", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mode = 8; }, 0},
        {"5 mode 11 equals read 12", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mode = 11; }, 0},
        {"5 mode 12 equals read 11", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &r) { radio(n); r.radio.mode = 11; }, 0},
        {"5 mode 9 differs", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mode = 9; }, 1},
        {"5 mode 14 not compared", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mode = 14; }, 0},
        {"5 mesh counts", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mesh_enable = 1; }, 1},
        {"2.4 mesh never counts", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.mesh_enable = 1; }, 0},
        // The router reads a width back as the code of what it set (40 MHz as 1).
        {"5 width 3 equals read 1", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &r) { radio(n); n.radio.chan_width = 3; r.radio.chan_width = 1; }, 0},
        {"5 width 4 equals read 2", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.chan_width = 4; }, 0},
        {"2.4 width 2 equals read 0", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &r) { radio(n); r.radio.chan_width = 0; }, 0},
        {"5 width 80 against 40 differs", 1, 0, [&](lldp_wlan_config &n, lldp_wlan_config &r) { radio(n); r.radio.chan_width = 1; }, 1},
        {"2.4 width 40 against 20 differs", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { radio(n); n.radio.chan_width = 3; }, 1},
        {"ssid text", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { ssid(n); n.ssid[0].ssid[0] = 'H'; }, 1},
        {"psk2 key", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { ssid(n); n.ssid[0].key[0] = 'X'; }, 1},
        {"psk2 rekey under OMCI equal", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { ssid(n); n.ssid[0].rekey_interval = 60; }, 0},
        {"psk2 rekey under OAM differs", 0, 1, [&](lldp_wlan_config &n, lldp_wlan_config &) { ssid(n); n.ssid[0].rekey_interval = 60; }, 1},
        {"rekey 0 equals 86400 under OAM", 0, 1, [&](lldp_wlan_config &n, lldp_wlan_config &r) { ssid(n); n.ssid[0].rekey_interval = 0; r.ssid[0].rekey_interval = 86400; }, 0},
        {"auth 7 ignores key and cipher", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &r) {
             ssid(n); n.ssid[0].auth_mode = r.ssid[0].auth_mode = 7; n.ssid[0].key[0] = 'X'; n.ssid[0].encryption = 3; }, 0},
        {"open against psk2", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &) { ssid(n); n.ssid[0].auth_mode = 1; }, 1},
        {"open ignores key", 0, 0, [&](lldp_wlan_config &n, lldp_wlan_config &r) {
             ssid(n); n.ssid[0].auth_mode = r.ssid[0].auth_mode = 1; n.ssid[0].key[0] = 'X'; n.ssid[0].encryption = 4; }, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        OamFlag flag(c.oam);
        lldp_wlan_config n = router_band(c.band), r = router_band(c.band);
        c.edit(n, r);
        EXPECT_EQ(platform_wlan_config_status_diff(&n, &r), +c.want);
    }
}

}  // namespace
