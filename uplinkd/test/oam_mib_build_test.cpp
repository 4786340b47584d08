#include "uplinkd/oam_mib_build.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "uplinkd/test/oam_test_util.h"

using namespace oamtest;

namespace {

class OamViews : public ::testing::Test {
protected:
    void SetUp() override { oam_init(); }
    void TearDown() override { oam_all_data_cleanup(); }
};

// Packed fields are read by value: gtest would bind a reference to a misaligned number.
template <typename T>
T num(T v)
{
    return v;
}

void set_be(Bytes &b, std::size_t off, int width, uint32_t v)
{
    for (int i = width - 1; i >= 0; --i, v >>= 8) b[off + i] = static_cast<uint8_t>(v);
}

void set_text(Bytes &b, std::size_t off, const std::string &s) { std::memcpy(&b[off], s.data(), s.size()); }

struct WanEntry {
    uint16_t service;
    uint16_t wan_mode;
    uint16_t vlan_id;
};

// A WAN list as the ONT sends it: the count, then the entries, big-endian.
// Offsets are those of the wire format, independent of the record layouts.
Bytes wan_list(bool dual, std::vector<WanEntry> entries, int announced = -1, std::size_t extra = 0)
{
    const std::size_t size = dual ? 488 : 231;
    Bytes v(2 + entries.size() * size + extra, 0);
    set_be(v, 0, 2, announced < 0 ? entries.size() : static_cast<uint32_t>(announced));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t e = 2 + i * size;
        set_be(v, e + 4, 2, entries[i].service);
        set_be(v, e + 6, 2, entries[i].wan_mode);
        set_be(v, e + 8, 2, entries[i].vlan_id);
        set_be(v, e + (dual ? 457 : 222), 2, 1492);
        set_text(v, e + (dual ? 384 : 149), "wan" + std::to_string(i));
    }
    return v;
}

TEST_F(OamViews, WanTakesFirstInternetEntryOfTheWinningList)
{
    struct Case {
        const char *name;
        std::vector<Bytes> deliveries;
        int rc;
        uint32_t source;
        uint16_t vlan;
    } cases[] = {
        {"ipv4 list, second entry fits",
         {set_request(0x2203, wan_list(false, {{1, 1, 10}, {0, 1, 20}, {0, 1, 30}}))}, 1, 1, 20},
        {"dual-stack list hides the ipv4 one",
         {set_request(0x2203, wan_list(false, {{0, 1, 10}})), set_request(0x2209, wan_list(true, {{0, 1, 40}}))},
         1, 2, 40},
        {"unsuitable dual-stack list still hides the ipv4 one",
         {set_request(0x2203, wan_list(false, {{0, 1, 10}})), set_request(0x2209, wan_list(true, {{1, 1, 40}}))},
         0, 0, 0},
        {"later list in store order wins",
         {set_request(0x2209, wan_list(true, {{0, 1, 50}}), true, 1),
          set_request(0x2209, wan_list(true, {{0, 1, 60}}), true, 2)},
         1, 2, 60},
        {"entry past the announced count is not taken",
         {set_request(0x2203, wan_list(false, {{1, 1, 10}, {0, 1, 20}}, 1))}, 0, 0, 0},
        {"announced count beyond the value",
         {set_request(0x2203, wan_list(false, {{1, 0, 10}, {0, 1, 20}}, 7, 100))}, 1, 1, 20},
        {"count of zero", {set_request(0x2203, wan_list(false, {{0, 1, 10}}, 0))}, 0, 0, 0},
        {"too short for one entry", {set_request(0x2203, Bytes(232, 0))}, 0, 0, 0},
        {"nothing stored", {}, 0, 0, 0},
    };
    for (const auto &c : cases) {
        oam_all_data_cleanup();
        for (const Bytes &d : c.deliveries) ASSERT_EQ(deliver(d), 0) << c.name;
        oam_wan_view view;
        std::memset(&view, 0xEE, sizeof view);  // the builder must clear it
        EXPECT_EQ(oam_build_wan_config_zelk(&view), c.rc) << c.name;
        EXPECT_EQ(num(view.source), c.source) << c.name;
        if (c.source == 1) {
            EXPECT_EQ(num(view.ipv4_entry.vlan_id), c.vlan) << c.name;
            EXPECT_EQ(num(view.ipv4_entry.mtu), 1492) << c.name;
            EXPECT_EQ(num(view.dual_entry.vlan_id), 0) << c.name;
        } else if (c.source == 2) {
            EXPECT_EQ(num(view.dual_entry.vlan_id), c.vlan) << c.name;
            EXPECT_EQ(num(view.dual_entry.mtu), 1492) << c.name;
            EXPECT_EQ(oam_text(view.dual_entry.wan_name), "wan0") << c.name;
        } else {
            EXPECT_EQ(num(view.ipv4_entry.vlan_id), 0) << c.name;
        }
    }
    EXPECT_EQ(oam_build_wan_config_zelk(nullptr), -1);
}

TEST_F(OamViews, WirelessRadiosAndSsidSlots)
{
    Bytes radio24 = pattern(10);  // too short to be converted: copied as sent
    Bytes radio5(41, 0);
    radio5[0] = 1;
    set_be(radio5, 3, 2, 149);
    radio5[11] = 1;
    Bytes ssid(667, 0);
    set_text(ssid, 0, "home-5g");
    set_be(ssid, 34, 2, 4);
    set_be(ssid, 102, 4, 86400);
    set_text(ssid, 411 + 32, "wep-key-2");
    ASSERT_EQ(deliver(set_request(0x2201, radio24)), 0);
    ASSERT_EQ(deliver(set_request(0x2208, radio5)), 0);
    ASSERT_EQ(deliver(set_request(0x2202, ssid, true, 106)), 0);
    ASSERT_EQ(deliver(set_request(0x2202, pattern(667), true, 109)), 0);
    ASSERT_EQ(deliver(set_request(0x2202, pattern(667), true, 0x165)), 0);  // low byte 101
    ASSERT_EQ(deliver(set_request(0x2202, pattern(667))), 0);              // no instance
    ASSERT_EQ(deliver(set_request(0x2202, Bytes{'a', 'b'}, true, 104)), 0);

    oam_wlan_view view;
    std::memset(&view, 0xEE, sizeof view);
    ASSERT_EQ(oam_build_wlan_config_zelk(&view), 1);

    EXPECT_EQ(view.radio24_valid, 1);
    EXPECT_EQ(std::memcmp(&view.radio24, radio24.data(), radio24.size()), 0);
    const auto *r24 = reinterpret_cast<const uint8_t *>(&view.radio24);
    for (std::size_t i = 10; i < sizeof view.radio24; ++i) ASSERT_EQ(r24[i], 0) << i;

    EXPECT_EQ(view.radio5_valid, 1);
    EXPECT_EQ(num(view.radio5.channel), 149);
    EXPECT_EQ(view.radio5.mesh_enable, 1);

    const uint8_t want24[4] = {0, 0, 0, 1};
    const uint8_t want5[4] = {0, 1, 0, 0};
    EXPECT_EQ(std::memcmp(view.ssid24_valid, want24, 4), 0);
    EXPECT_EQ(std::memcmp(view.ssid5_valid, want5, 4), 0);
    EXPECT_EQ(oam_text(view.ssid5[1].ssid), "home-5g");
    EXPECT_EQ(num(view.ssid5[1].auth_mode), 4);
    EXPECT_EQ(num(view.ssid5[1].rekey_interval), 86400u);
    EXPECT_EQ(oam_text(view.ssid5[1].wep_keys[1]), "wep-key-2");
    // Slot 0 untouched by instance 0x165; a two-byte SSID value fills two bytes.
    const oam_ssid_object zero{};
    EXPECT_EQ(std::memcmp(&view.ssid24[0], &zero, sizeof zero), 0);
    EXPECT_EQ(oam_text(view.ssid24[3].ssid), "ab");
    EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t *>(&view.ssid24[3]) + 2,
                          reinterpret_cast<const uint8_t *>(&zero) + 2, sizeof zero - 2),
              0);

    oam_all_data_cleanup();
    EXPECT_EQ(oam_build_wlan_config_zelk(&view), 0);
    EXPECT_EQ(view.radio24_valid, 0);
    EXPECT_EQ(oam_build_wlan_config_zelk(nullptr), -1);
}

TEST_F(OamViews, FlatViewsOverlayValuesInStoreOrder)
{
    // An empty TR-069 object still counts, and leaves the view zero.
    Bytes empty = header();
    container(empty, 0xC7, 0x2029, 0x80);
    ASSERT_EQ(deliver(empty), 0);
    oam_tr069_view tr;
    ASSERT_EQ(oam_build_tr069_config_zelk(&tr), 1);
    const oam_tr069_view tr_zero{};
    EXPECT_EQ(std::memcmp(&tr, &tr_zero, sizeof tr), 0);

    Bytes t(423, 0);
    t[0] = 1;
    set_text(t, 1, "http://acs.example:7547/");
    set_be(t, 259, 4, 3600);
    set_text(t, 391, "project-id-20-bytes!");  // fills the field, no NUL
    ASSERT_EQ(deliver(set_request(0x2029, t)), 0);
    ASSERT_EQ(oam_build_tr069_config_zelk(&tr), 1);
    EXPECT_EQ(tr.cwmp_enable, 1);
    EXPECT_EQ(oam_text(tr.acs_url), "http://acs.example:7547/");
    EXPECT_EQ(num(tr.inform_interval), 3600u);
    EXPECT_EQ(oam_text(tr.project_id), "project-id-20-bytes!");
    char id[8];
    EXPECT_EQ(oam_copy_text(id, sizeof id, tr.project_id), 7u);
    EXPECT_STREQ(id, "project");

    // A second STUN object with a shorter value overwrites only its own length.
    Bytes s(291, 0);
    s[0] = 1;
    set_text(s, 1, "stun.example.net");
    set_be(s, 129, 2, 3478);
    set_text(s, 131, "user");
    ASSERT_EQ(deliver(set_request(0x202A, s, true, 1)), 0);
    ASSERT_EQ(deliver(set_request(0x202A, Bytes{0}, true, 2)), 0);
    oam_stun_view stun;
    ASSERT_EQ(oam_build_stun_config_zelk(&stun), 1);
    EXPECT_EQ(stun.stun_enable, 0);
    EXPECT_EQ(oam_text(stun.server_addr), "stun.example.net");
    EXPECT_EQ(num(stun.server_port), 3478);
    EXPECT_EQ(oam_text(stun.username), "user");

    oam_mqtt_view mqtt;
    EXPECT_EQ(oam_build_mqtt_config_zelk(&mqtt), 0);
    Bytes q(166, 0);
    q[1] = 1;
    set_text(q, 2, "mqtt.example.net");
    ASSERT_EQ(deliver(set_request(0x2032, q)), 0);
    ASSERT_EQ(oam_build_mqtt_config_zelk(&mqtt), 1);
    EXPECT_EQ(mqtt.enable, 1);
    EXPECT_EQ(oam_text(mqtt.server_addr), "mqtt.example.net");

    EXPECT_EQ(oam_build_tr069_config_zelk(nullptr), -1);
    EXPECT_EQ(oam_build_stun_config_zelk(nullptr), -1);
    EXPECT_EQ(oam_build_mqtt_config_zelk(nullptr), -1);
}

TEST_F(OamViews, OnlyTheFirst32EntitiesAreVisible)
{
    for (uint32_t i = 0; i < 40; ++i) {
        const uint16_t leaf = i == 34 ? 0x202A : 0x2202;
        ASSERT_EQ(deliver(set_request(leaf, {1}, true, 1000 + i)), 0);
    }
    oam_stun_view stun;
    EXPECT_EQ(oam_build_stun_config_zelk(&stun), 0);
}

TEST(OamText, StopsAtNulOrFieldEnd)
{
    char full[4] = {'a', 'b', 'c', 'd'};
    char part[4] = {'a', 0, 'c', 0};
    EXPECT_EQ(oam_text(full), "abcd");
    EXPECT_EQ(oam_text(part), "a");
    char out[8];
    EXPECT_EQ(oam_copy_text(out, sizeof out, full), 4u);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(oam_copy_text(out, 0, full), 0u);
}

}  // namespace
