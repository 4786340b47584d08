#include <gtest/gtest.h>

#include <string>

#include "uplinkd/omci_api.h"
#include "uplinkd/omci_entity.h"
#include "uplinkd/omci_mib_build.h"
#include "uplinkd/test/omci_test_util.h"

namespace {

using namespace omci_test;

class OmciViews : public ::testing::Test {
protected:
    void SetUp() override { omci_all_data_cleanup(); }
    void TearDown() override { omci_all_data_cleanup(); }

    static int wan_number(uint8_t n) { return set(30001, 0, 0x8000, {n}); }
    // 30002 with its `index` attribute and name1.
    static int wan_cfg(uint16_t instance, std::string_view name, uint8_t index_attr = 9)
    {
        return set(30002, instance, 0xC000, cat({{index_attr}, text(name, 20)}));
    }

    omci_wan_view wan{};
};

TEST(OmciHandlerMap, EveryClassHasOneHandler)
{
    size_t rows = 0;
    for (const omci_handler_entry *h = g_handler_map; h->handler != nullptr; ++h, ++rows) {
        EXPECT_NE(get_attr_desc_by_classid(h->class_id), nullptr) << h->class_id;
        for (const omci_handler_entry *g = g_handler_map; g != h; ++g)
            EXPECT_NE(g->class_id, h->class_id);
    }
    EXPECT_EQ(rows, OMCI_CLASS_COUNT);
    EXPECT_EQ(g_handler_map[OMCI_CLASS_COUNT].class_id, 0u);
}

TEST_F(OmciViews, MissingViewsAndEmptyStore)
{
    EXPECT_EQ(omci_build_wan_config(nullptr), -1);
    EXPECT_EQ(omci_build_wan_config_zelk(nullptr, 4, nullptr), -1);
    EXPECT_EQ(omci_build_wan_config_zelk(wan.zelk_wan, 0, nullptr), -1);
    EXPECT_EQ(omci_build_wlan_config_zelk(nullptr, nullptr), -1);
    EXPECT_EQ(omci_build_tr069_config_zelk(nullptr), -1);
    EXPECT_EQ(omci_build_stun_config_zelk(nullptr), -1);
    EXPECT_EQ(omci_build_mqtt_config_zelk(nullptr), -1);

    wan.source = 7;
    EXPECT_EQ(omci_build_wan_config(&wan), 0);
    EXPECT_EQ(wan.source, OMCI_WAN_SOURCE_NONE);
    omci_stun_view stun{};
    EXPECT_EQ(omci_build_stun_config_zelk(&stun), 0);
    omci_wlan_view wlan{};
    uint8_t count = 9;
    EXPECT_EQ(omci_build_wlan_config_zelk(&wlan, &count), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(OmciViews, ZelkCountFromWanNumber)
{
    ASSERT_EQ(wan_number(2), 0);
    for (uint16_t i = 0; i < 3; ++i)
        ASSERT_EQ(wan_cfg(i, "wan" + std::to_string(i)), 0);
    ASSERT_EQ(set(30005, 2, 0x8000, {10, 0, 0, 2}), 0);
    EXPECT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(wan.source, OMCI_WAN_SOURCE_ZELK);
    EXPECT_EQ(wan.wan_count, 2);
    EXPECT_EQ(field_text(wan.zelk_wan[1].name), "wan1");
    EXPECT_EQ(wan.zelk_wan[1].wan_index, 2);  // instance + 1, not the index attribute
    const omci_wan_entry zero{};
    EXPECT_EQ(std::memcmp(&wan.zelk_wan[2], &zero, sizeof zero), 0);

    ASSERT_EQ(wan_number(6), 0);
    EXPECT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(wan.wan_count, 4);
    EXPECT_EQ(wan.zelk_wan[2].ip_address, 0x0A000002u);
}

TEST_F(OmciViews, ZelkWithoutWanNumberHoldsNothing)
{
    ASSERT_EQ(wan_cfg(0, "wan0"), 0);
    EXPECT_EQ(omci_build_wan_config(&wan), 0);
    EXPECT_EQ(wan.source, OMCI_WAN_SOURCE_ZELK);
    EXPECT_EQ(wan.wan_count, 0);
}

TEST_F(OmciViews, ZelkFieldsAndJoins)
{
    ASSERT_EQ(wan_number(1), 0);
    ASSERT_EQ(set(30002, 0, 0x4000, text("0123456789abcdefghij", 20)), 0);
    ASSERT_EQ(set(30002, 0, 0x2000, text("KLMN", 20)), 0);
    ASSERT_EQ(set(30004, 0, 0xF000, {0x05, 0x02, 0x01, 0x03}), 0);
    ASSERT_EQ(set(30007, 0, 0x4000, {0, 0, 0, 0x40}), 0);
    ASSERT_EQ(set(30011, 0, 0x8000, {0x00, 0x02}), 0);
    ASSERT_EQ(omci_build_wan_config(&wan), 1);
    const omci_wan_entry &e = wan.zelk_wan[0];
    EXPECT_EQ(field_text(e.name), "0123456789abcdefghijKLMN");  // fixed join: name2 at byte 20
    EXPECT_EQ(e.fe_bind, 0x0105);
    EXPECT_EQ(e.ssid_bind, 0x0302);
    EXPECT_EQ(e.ipv6_prefix_len, 64);
    EXPECT_EQ(e.vlan_mode, 2);
    EXPECT_EQ(e.wan_index, 1);
}

TEST_F(OmciViews, FamilySelection)
{
    struct Case {
        const char *what;
        std::vector<std::pair<uint16_t, uint16_t>> entities;  // (class, instance), in store order
        uint32_t source;
        uint8_t count;
        int result;
    };
    const Case cases[] = {
        {"zelk wins over ip-host", {{134, 0}, {30005, 0}}, OMCI_WAN_SOURCE_ZELK, 0, 0},
        {"fh wins over ip-host", {{134, 0}, {65322, 0}}, OMCI_WAN_SOURCE_FH, 1, 1},
        {"fh instances 0 and 2", {{65322, 0}, {65322, 2}}, OMCI_WAN_SOURCE_FH, 3, 1},
        {"fh profile of instance 4 skipped", {{65321, 4}, {65322, 0}}, OMCI_WAN_SOURCE_FH, 1, 1},
        {"fh entity of instance 4 only", {{65323, 4}}, OMCI_WAN_SOURCE_FH, 0, 0},
        {"ip-host last handled wins", {{134, 1}, {250, 0}}, OMCI_WAN_SOURCE_IPHOST, 1, 1},
        {"ip-host 134 then 347", {{134, 0}, {347, 0}}, OMCI_WAN_SOURCE_IPHOST, 1, 1},
        {"ip-host 134/2 then 250/0", {{134, 2}, {250, 0}}, OMCI_WAN_SOURCE_IPHOST, 1, 1},
        {"ip-host 65417/3", {{65417, 3}}, OMCI_WAN_SOURCE_IPHOST, 4, 1},
        {"no wan class", {{30100, 0}, {30314, 0}}, OMCI_WAN_SOURCE_NONE, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        omci_all_data_cleanup();
        for (auto [cls, inst] : c.entities)
            ASSERT_EQ(set(cls, inst, 0, {}), 0);
        EXPECT_EQ(omci_build_wan_config(&wan), c.result);
        EXPECT_EQ(wan.source, c.source);
        EXPECT_EQ(wan.wan_count, c.count);
    }
}

TEST_F(OmciViews, FhProfileAndNames)
{
    ASSERT_EQ(set(65321, 0, 0xC000, {0x00, 0x03, 0x00, 0x01}), 0);
    ASSERT_EQ(set_attr(65322, 0, "wan_name1", text("inter", 16)), 0);
    ASSERT_EQ(set_attr(65322, 0, "wan_name2", text("net", 16)), 0);
    // A 64-character name: four full pieces, no terminating zero.
    const std::string long_name(64, 'x');
    for (const char *piece : {"wan_name1", "wan_name2", "wan_name3", "wan_name4"})
        ASSERT_EQ(set_attr(65322, 1, piece, text(long_name, 16)), 0);
    ASSERT_EQ(set(65322, 1, 0x0400, {0x01}), 0);
    ASSERT_EQ(set_attr(65323, 1, "username1", text("user", 16)), 0);
    ASSERT_EQ(set_attr(65323, 1, "username2", text("name", 16)), 0);
    EXPECT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(wan.wan_count, 3);
    EXPECT_EQ(wan.fh_wan_num, 3);
    EXPECT_EQ(wan.fh_wan_num_ipv6, 1);
    EXPECT_EQ(field_text(wan.fh[0].wan_name), "internet");
    EXPECT_EQ(field_text(wan.fh[1].wan_name), long_name);
    EXPECT_EQ(wan.fh[1].connect_mode, 1);  // the full name did not run into its neighbour
    EXPECT_EQ(std::string_view(reinterpret_cast<const char *>(wan.fh[1].username), 20),
              std::string_view("user\0\0\0\0\0\0\0\0\0\0\0\0name", 20));

    // The profile counter takes the whole wan_num, without a cap at 4.
    ASSERT_EQ(set(65321, 0, 0x8000, {0x00, 0x06}), 0);
    EXPECT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(wan.wan_count, 6);
}

TEST_F(OmciViews, IphostPppoeCredentials)
{
    // 65417 joins its pieces as text.
    ASSERT_EQ(set(65417, 0, 0x4000, text("ab", 25)), 0);
    ASSERT_EQ(set(65417, 0, 0x2000, text("cd", 25)), 0);
    ASSERT_EQ(set(65417, 0, 0x1000, text("ef", 25)), 0);
    ASSERT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(field_text(wan.iphost[0].pppoe_username), "abcdef");

    // 250 alone: its 25-byte user name.
    omci_all_data_cleanup();
    const std::string name25(25, 'u');
    ASSERT_EQ(set(250, 0, 0x0800, text(name25, 25)), 0);
    ASSERT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(field_text(wan.iphost[0].pppoe_username), name25);

    // 65417 handled after 250: its text wins.
    ASSERT_EQ(set(65417, 0, 0x4000, text("hw", 25)), 0);
    ASSERT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(field_text(wan.iphost[0].pppoe_username), "hw");

    // 250 handled after a long 65417 name: its text wins, with nothing of
    // the other left behind it.
    omci_all_data_cleanup();
    const std::string full(25, 'h');
    ASSERT_EQ(set(65417, 0, 0x4000, text(full, 25)), 0);
    ASSERT_EQ(set(65417, 0, 0x2000, text("tail", 25)), 0);
    ASSERT_EQ(set(250, 0, 0x0800, text(name25, 25)), 0);
    ASSERT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(field_text(wan.iphost[0].pppoe_username), name25);
}

TEST_F(OmciViews, IphostIpv6OnlinkPrefix)
{
    bytes prefix = cat({{56}, {0x20, 0x01, 0x0d, 0xb8}, bytes(12, 0)});
    ASSERT_EQ(set(347, 0, 0x0008, prefix), 0);
    ASSERT_EQ(set(347, 0, 0x8000, {0x05}), 0);
    ASSERT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(wan.iphost[0].ipv6_ip_options, 5);
    EXPECT_EQ(wan.iphost[0].onlink_prefix_len, 56);
    EXPECT_EQ(wan.iphost[0].onlink_prefix[0], 0x20);
    EXPECT_EQ(wan.iphost[0].onlink_prefix[3], 0xb8);
}

// Instance numbers are 16 bits, the handlers' index 8: instance 256 must not
// land on (and overwrite) the entity of instance 0.
TEST_F(OmciViews, InstancesAbove255LandNowhere)
{
    ASSERT_EQ(wan_number(1), 0);
    ASSERT_EQ(wan_cfg(0, "real"), 0);
    ASSERT_EQ(wan_cfg(256, "ghost"), 0);
    ASSERT_EQ(omci_build_wan_config(&wan), 1);
    EXPECT_EQ(field_text(wan.zelk_wan[0].name), "real");

    omci_all_data_cleanup();
    ASSERT_EQ(set(30314, 0, 0x8000, {1}), 0);
    ASSERT_EQ(set(30314, 256, 0x8000, {0}), 0);
    ASSERT_EQ(set(30101, 0, 0x8000, text("home", 16)), 0);
    ASSERT_EQ(set(30101, 256, 0x8000, text("ghost", 16)), 0);
    ASSERT_EQ(set(30310, 512, 0x4000, {1}), 0);
    omci_stun_view stun{};
    EXPECT_EQ(omci_build_stun_config_zelk(&stun), 1);
    EXPECT_EQ(stun.stun_status, 1);
    omci_wlan_view wlan{};
    uint8_t count = 0;
    ASSERT_EQ(omci_build_wlan_config_zelk(&wlan, &count), 0);
    EXPECT_EQ(field_text(wlan.entries[0].ssid_name), "home");
    EXPECT_EQ(count, 1);
    omci_tr069_view tr{};
    EXPECT_EQ(omci_build_tr069_config_zelk(&tr), 0);
    EXPECT_EQ(tr.inform_enable, 0);
}

TEST_F(OmciViews, Wireless)
{
    ASSERT_EQ(set(30100, 0, 0xF800, {1, 2, 6, 4, 100}), 0);
    ASSERT_EQ(set(30104, 0, 0x8000, {2}), 0);
    ASSERT_EQ(set(30105, 5, 0x8000, {1}), 0);
    ASSERT_EQ(set(30101, 8, 0x8000, text("nowhere", 16)), 0);
    ASSERT_EQ(set_attr(30101, 0, "ssid_name1", text("0123456789abcdef", 16)), 0);
    ASSERT_EQ(set_attr(30101, 0, "ssid_name2", text("XY", 16)), 0);
    ASSERT_EQ(set(30101, 0, 0x0240, cat({bytes(22, 'a'), {0, 0, 0x0E, 0x10}})), 0);
    ASSERT_EQ(set_attr(30101, 0, "key2", bytes(22, 'b')), 0);
    ASSERT_EQ(set_attr(30101, 0, "key3", bytes(22, 'c')), 0);
    ASSERT_EQ(set_attr(30103, 0, "wep_key1_1", text("wep1", 16)), 0);
    ASSERT_EQ(set_attr(30103, 0, "wep_key1_2", text("more", 16)), 0);
    omci_wlan_view wlan{};
    uint8_t count = 0;
    ASSERT_EQ(omci_build_wlan_config_zelk(&wlan, &count), 0);
    EXPECT_EQ(count, 6);
    const omci_wlan_entry &e = wlan.entries[0];
    EXPECT_EQ(e.radio_valid, 1);
    EXPECT_EQ(e.ssid_valid, 1);
    EXPECT_EQ(e.channel, 6);
    EXPECT_EQ(e.power, 100);
    EXPECT_EQ(e.chan_width, 2);
    EXPECT_EQ(field_text(e.ssid_name), "0123456789abcdefXY");
    // key1 (22) + key2 (22) + the stored 20 bytes of key3 fill the 64-byte key.
    EXPECT_EQ(field_text(e.key), std::string(22, 'a') + std::string(22, 'b') + std::string(20, 'c'));
    EXPECT_EQ(e.re_key_interval, 3600u);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char *>(e.wep_key[0]), 20),
              std::string_view("wep1\0\0\0\0\0\0\0\0\0\0\0\0more", 20));
    EXPECT_EQ(wlan.entries[5].radio_valid, 1);
    EXPECT_EQ(wlan.entries[5].mesh_enable, 1);
    EXPECT_EQ(wlan.entries[1].radio_valid | wlan.entries[1].ssid_valid, 0);
}

TEST_F(OmciViews, Tr069StunMqtt)
{
    // Middleware alone changes no view.
    ASSERT_EQ(set(30313, 0, 0x8000, {1}), 0);
    omci_tr069_view tr{};
    EXPECT_EQ(omci_build_tr069_config_zelk(&tr), 0);

    ASSERT_EQ(set(30310, 0, 0x7000, {1, 0, 0, 0x0E, 0x10}), 0);
    ASSERT_EQ(set_attr(30311, 0, "acs_username1", text("user", 22)), 0);
    ASSERT_EQ(set_attr(30311, 0, "acs_username2", text("name", 22)), 0);
    EXPECT_EQ(omci_build_tr069_config_zelk(&tr), 1);
    EXPECT_EQ(tr.inform_enable, 1);
    EXPECT_EQ(tr.inform_interval, 3600u);
    EXPECT_EQ(tr.acs_username[0], 'u');
    EXPECT_EQ(tr.acs_username[22], 'n');  // fixed join
    EXPECT_EQ(tr.middleware_enable, 0);

    // A STUN entity of instance 1 is found but lands nowhere.
    ASSERT_EQ(set(30314, 1, 0x8000, {1}), 0);
    omci_stun_view stun{};
    stun.stun_status = 9;
    EXPECT_EQ(omci_build_stun_config_zelk(&stun), 1);
    const omci_stun_view zero_stun{};
    EXPECT_EQ(std::memcmp(&stun, &zero_stun, sizeof stun), 0);

    ASSERT_EQ(set_attr(30422, 0, "username1", bytes(16, 'u')), 0);
    ASSERT_EQ(set_attr(30422, 0, "username2", bytes(16, 'v')), 0);
    ASSERT_EQ(set(30422, 0, 0x4000, {1}), 0);
    omci_mqtt_view mqtt{};
    EXPECT_EQ(omci_build_mqtt_config_zelk(&mqtt), 1);
    EXPECT_EQ(mqtt.enable, 1);
    EXPECT_EQ(field_text(mqtt.username), std::string(16, 'u') + std::string(16, 'v'));
    EXPECT_EQ(std::memcmp(mqtt.username + 32, bytes(32, 0).data(), 32), 0);
}

TEST_F(OmciViews, OnlyTheFirst32EntitiesAreSeen)
{
    for (uint16_t i = 0; i < 34; ++i)
        ASSERT_EQ(set(30100, i, 0x8000, {1}), 0);
    ASSERT_EQ(set(30314, 0, 0x8000, {1}), 0);  // the 35th
    for (uint16_t i = 0; i < 5; ++i)
        ASSERT_EQ(set(30422, i, 0x8000, {1}), 0);
    omci_stun_view stun{};
    EXPECT_EQ(omci_build_stun_config_zelk(&stun), 0);
    omci_mqtt_view mqtt{};
    EXPECT_EQ(omci_build_mqtt_config_zelk(&mqtt), 0);

    omci_all_data_cleanup();
    ASSERT_EQ(set(30314, 0, 0x8000, {1}), 0);
    EXPECT_EQ(omci_build_stun_config_zelk(&stun), 1);
}

}  // namespace
