#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "uplinkd/omci_api.h"
#include "uplinkd/omci_attr.h"
#include "uplinkd/omci_entity.h"
#include "uplinkd/omci_parse.h"
#include "uplinkd/test/omci_test_util.h"

namespace {

using namespace omci_test;

bytes host16(uint16_t v)
{
    bytes b(2);
    std::memcpy(b.data(), &v, 2);
    return b;
}

bytes host32(uint32_t v)
{
    bytes b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

bytes seq(uint8_t first, size_t n)
{
    bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

const omci_attr_desc *attr(uint16_t class_id, std::string_view name)
{
    const omci_me_desc *d = get_attr_desc_by_classid(class_id);
    for (uint32_t k = 0; d != nullptr && k < d->attr_count; ++k)
        if (name == d->attrs[k].name)
            return &d->attrs[k];
    return nullptr;
}

// The object of (class, instance) as bytes, empty when absent.
bytes object_bytes(uint16_t class_id, uint16_t instance)
{
    omci_entity e;
    if (omci_entity_find(class_id, instance, &e) != 0)
        return {};
    const auto *p = static_cast<const uint8_t *>(e.data);
    return bytes(p, p + get_attr_desc_by_classid(class_id)->obj_size);
}

bytes stored_attr(uint16_t class_id, uint16_t instance, std::string_view name)
{
    const omci_attr_desc *a = attr(class_id, name);
    bytes obj = object_bytes(class_id, instance);
    if (a == nullptr || obj.empty())
        return {};
    return bytes(obj.begin() + a->offset, obj.begin() + a->offset + a->stored);
}

class OmciParse : public ::testing::Test {
protected:
    void SetUp() override { omci_all_data_cleanup(); }
    void TearDown() override
    {
        omci_set_mem_ops(nullptr);
        FailingHeap::calloc_ok = FailingHeap::realloc_ok = -1;
        omci_all_data_cleanup();
    }
};

TEST_F(OmciParse, DecodesHeaderFieldsToHostOrder)
{
    bytes m = message(0x48, 30002, 0x0102, 0x0400, {0x00, 0x64});
    m[40] = 0xAB;
    m[44] = 0xDE;
    m[47] = 0xEF;
    omci_msg msg{};
    ASSERT_EQ(omci_parse_data_to_msg(&msg, m.data(), m.size()), 0);
    EXPECT_EQ(msg.transaction_id, 0x1234);
    EXPECT_EQ(msg.msg_type, 0x48);
    EXPECT_EQ(msg.device_id, 0x0A);
    EXPECT_EQ(msg.class_id, 30002);
    EXPECT_EQ(msg.instance_id, 0x0102);
    EXPECT_EQ(msg.contents[0], 0x04);  // contents stay as received
    EXPECT_EQ(msg.contents[3], 0x64);
    EXPECT_EQ(msg.trailer_field1, 0xAB00);
    EXPECT_EQ(msg.trailer_field2, 0x0028);
    EXPECT_EQ(msg.trailer_check[0], 0xDE);
    EXPECT_EQ(msg.trailer_check[3], 0xEF);
}

TEST_F(OmciParse, AcceptsExactlyOneFortyEightByteMessage)
{
    bytes one = message(0x04, 30001, 0, 0x8000, {3});
    bytes two = cat({one, one});
    for (size_t len : {size_t{0}, size_t{1}, size_t{47}, size_t{49}, size_t{96}}) {
        bytes payload = two;
        payload.resize(len);
        EXPECT_EQ(omci_data_handle(payload.data(), payload.size()), -1) << len;
        EXPECT_EQ(g_entity_mgr.count, 0) << len;
    }
    EXPECT_EQ(omci_data_handle(nullptr, 48), -1);
    EXPECT_EQ(omci_data_handle(one.data(), one.size()), 0);
    EXPECT_EQ(g_entity_mgr.count, 1);
}

TEST_F(OmciParse, ActionsAndTheirResults)
{
    struct Case {
        uint8_t type;
        int result;
        uint8_t count_after;
    };
    const Case cases[] = {
        {0x04, 0, 1},  // Create
        {0x08, 0, 1},  // Set creates what was never created
        {0x48, 0, 1},  // Set with acknowledge request
        {0xE8, 0, 1},  // upper three bits ignored
        {0x49, -7, 0}, // Get
        {0x00, -7, 0},
        {0x09, -7, 0},
        {0x06, -6, 0}, // Delete of nothing stored
    };
    for (const Case &c : cases) {
        omci_all_data_cleanup();
        EXPECT_EQ(send(c.type, 30001, 0, 0x8000, {2}), c.result) << int(c.type);
        EXPECT_EQ(g_entity_mgr.count, c.count_after) << int(c.type);
    }
    ASSERT_EQ(send(0x04, 30001, 3, 0x8000, {2}), 0);
    EXPECT_EQ(send(0x06, 30001, 3, 0, {}), 0);
    EXPECT_EQ(g_entity_mgr.count, 0);
    EXPECT_EQ(send(0x04, 9999, 0, 0x8000, {1}), -1);
    EXPECT_EQ(g_entity_mgr.count, 0);
}

// One message per attribute-size kind and family: numbers land in host
// order, everything else in wire order, cut to the stored width.
TEST_F(OmciParse, AttributeValuesByteOrder)
{
    struct Case {
        uint16_t class_id;
        const char *name;
        bytes wire;
        bytes stored;
    };
    const bytes v6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    const bytes mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const Case cases[] = {
        // zelk WAN
        {30002, "connection_mode", {0x02}, {0x02}},
        {30002, "vlan_id", {0x00, 0x64}, host16(100)},
        {30005, "ip_address", {0xC0, 0xA8, 0x01, 0x01}, host32(0xC0A80101)},
        {30002, "wan_mac", mac, mac},
        {30007, "ip_address", v6, v6},
        {30009, "wan_ds_lite_address6", seq(1, 18), seq(1, 18)},
        {30002, "name1", text("internet", 20), text("internet", 20)},
        {30009, "wan_ds_lite_address1", seq(0x41, 22), seq(0x41, 22)},
        // IP-host WAN
        {134, "ip_options", {0x01}, {0x01}},
        {250, "release_time", {0x01, 0x2C}, host16(300)},
        {250, "online_duration", {0x00, 0x01, 0x51, 0x80}, host32(86400)},
        {134, "mac_addr", mac, mac},
        {347, "ipv6_addr", v6, v6},
        {347, "onlink_prefix", cat({{0x40}, v6}), cat({{0x40}, v6})},
        {65417, "username1", seq(0x61, 25), seq(0x61, 25)},
        {65417, "password3", seq(0x30, 26), seq(0x30, 25)},
        // FH WAN
        {65322, "connect_mode", {0x01}, {0x01}},
        {65322, "priority", {0x00, 0x05}, host16(5)},
        {65321, "wan_num", {0x01, 0x03}, host16(0x0103)},
        {65329, "ipv4_addr", {0x0A, 0x00, 0x00, 0x02}, host32(0x0A000002)},
        {65322, "dhcp_remoteID", seq(0x70, 10), seq(0x70, 10)},
        {65322, "wan_name1", text("internet_wan_abc", 16), text("internet_wan_abc", 16)},
        {65329, "ipv6_addr", text("2001:db8::1", 19), text("2001:db8::1", 19)},
        // wireless
        {30100, "channel", {0x06}, {0x06}},
        {30102, "radius_port", {0x07, 0x14}, host16(1812)},
        {30101, "re_key_interval", {0x00, 0x00, 0x0E, 0x10}, host32(3600)},
        {30101, "ssid_name1", text("home", 16), text("home", 16)},
        {30101, "key1", seq(0x21, 22), seq(0x21, 22)},
        {30101, "key3", seq(0x21, 22), seq(0x21, 20)},
        {30102, "radius_serv_ip6", seq(0x31, 18), seq(0x31, 18)},
        // TR-069, STUN, MQTT
        {30310, "inform_enable", {0x01}, {0x01}},
        {30310, "inform_interval", {0x00, 0x00, 0x0E, 0x10}, host32(3600)},
        {30310, "id", text("project-1", 20), text("project-1", 20)},
        {30311, "acs_server_url1", text("http://acs.example/", 22), text("http://acs.example/", 22)},
        {30313, "middleware_port", {0x1F, 0x90}, host16(8080)},
        {30314, "stun_server_port", {0x0D, 0x96}, host16(3478)},
        {30422, "address3", seq(0x50, 20), seq(0x50, 20)},
        {30422, "username1", text("user", 16), text("user", 16)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.class_id) + "." + c.name);
        omci_all_data_cleanup();
        ASSERT_NE(attr(c.class_id, c.name), nullptr);
        ASSERT_EQ(attr(c.class_id, c.name)->size, c.wire.size());
        ASSERT_EQ(set(c.class_id, 0, bit(c.class_id, c.name), c.wire), 0);
        EXPECT_EQ(stored_attr(c.class_id, 0, c.name), c.stored);
    }
}

TEST_F(OmciParse, ValuesFollowTheMaskBackToBack)
{
    ASSERT_EQ(set(30002, 0, 0x4400, cat({text("internet", 20), {0x00, 0x64}})), 0);
    const auto *o = stored<omci_wan_cfg_obj>(30002, 0);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(field_text(o->name1), "internet");
    EXPECT_EQ(o->vlan_id, 100);
    EXPECT_EQ(o->mtu, 0);

    // 192.168.1.1 is held as a number whose most significant byte is 192.
    ASSERT_EQ(set(30005, 0, 0xC000, {0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00}), 0);
    const auto *ip = stored<omci_wan_static_ip_obj>(30005, 0);
    EXPECT_EQ(ip->ip_address >> 24, 192u);
    EXPECT_EQ(ip->mask, 0xFFFFFF00u);
}

TEST_F(OmciParse, StoredWidthDropsConsumeTheWholeWireValue)
{
    struct Case {
        uint16_t class_id;
        const char *dropped;
        const char *after;  // an attribute decoded right after the dropped one
        bytes after_value;
        const char *kept;   // the neighbour the dropped bytes must not reach
        bytes kept_value;
    };
    const Case cases[] = {
        {30101, "key3", "re_key_interval", {0, 0, 0x0E, 0x10}, "re_key_interval", {0, 0, 0x0E, 0x10}},
        {65417, "password3", "attr2", {0x07}, "attr2", {0x07}},
        {347, "DUID", "cur_onlink_prefix_tab", {0x05}, "onlink_prefix", seq(0x90, 17)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dropped);
        omci_all_data_cleanup();
        const uint32_t wire = attr(c.class_id, c.dropped)->size;
        const uint32_t kept_width = attr(c.class_id, c.dropped)->stored;

        // The value after the dropped bytes is read from the right place.
        ASSERT_EQ(set(c.class_id, 0, bit(c.class_id, c.dropped) | bit(c.class_id, c.after),
                      cat({seq(0x41, wire), c.after_value})),
                  0);
        bytes after_stored = stored_attr(c.class_id, 0, c.after);
        bytes expected_after = c.after_value.size() == 4
                                   ? host32(uint32_t(c.after_value[2]) << 8 | c.after_value[3])
                                   : c.after_value;
        EXPECT_EQ(after_stored, expected_after);
        EXPECT_EQ(stored_attr(c.class_id, 0, c.dropped), seq(0x41, kept_width));

        // Storing the dropped attribute alone leaves its neighbour alone.
        ASSERT_EQ(set(c.class_id, 0, bit(c.class_id, c.kept), c.kept_value), 0);
        bytes neighbour = stored_attr(c.class_id, 0, c.kept);
        ASSERT_EQ(set(c.class_id, 0, bit(c.class_id, c.dropped), seq(0xC1, wire)), 0);
        EXPECT_EQ(stored_attr(c.class_id, 0, c.dropped), seq(0xC1, kept_width));
        EXPECT_EQ(stored_attr(c.class_id, 0, c.kept), neighbour);
    }
}

// A mask whose values need more than the 30 value bytes is refused whole:
// nothing from outside the message may reach the store.
TEST_F(OmciParse, ValuesPastTheMessageAreRefusedWhole)
{
    // index, name1, connection_mode .. connection_status: exactly 30 bytes.
    const bytes full = cat({{0x01}, text("wan-name-of-twenty!!", 20), seq(1, 9)});
    ASSERT_EQ(full.size(), 30u);
    EXPECT_EQ(set(30002, 0, 0xDFE0, full), 0);
    const bytes before = object_bytes(30002, 0);

    struct Case {
        uint16_t class_id;
        uint16_t mask;
    };
    const Case cases[] = {
        {30002, 0xDFF0},  // one attribute (mtu) more: 32 bytes
        {30002, 0x6000},  // name1 + name2: 40 bytes
        {30009, 0x1C00},  // three 22-byte address pieces
        {347, 0x0018},    // DUID + onlink_prefix: 43 bytes
        {30101, 0x0380},  // key1, key2, key3
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.class_id) + " mask " + std::to_string(c.mask));
        // Absent entity: nothing stored.
        EXPECT_EQ(set(c.class_id, 7, c.mask, seq(0x80, 30)), -1);
        EXPECT_TRUE(object_bytes(c.class_id, 7).empty());
    }
    // Existing entity: not one byte changed.
    EXPECT_EQ(set(30002, 0, 0xDFF0, seq(0x80, 30)), -1);
    EXPECT_EQ(object_bytes(30002, 0), before);
    EXPECT_EQ(g_entity_mgr.count, 1);
}

TEST_F(OmciParse, CreateAndSetMergeIntoAnExistingEntity)
{
    // Mask 0 for an absent entity stores a zeroed one; for a present one it changes nothing.
    ASSERT_EQ(set(30002, 1, 0x0000, {}), 0);
    EXPECT_EQ(object_bytes(30002, 1), bytes(get_attr_desc_by_classid(30002)->obj_size, 0));
    ASSERT_EQ(set(30002, 1, 0x0400, {0x00, 0x0A}), 0);
    ASSERT_EQ(set(30002, 1, 0x0000, seq(1, 30)), 0);
    EXPECT_EQ(stored<omci_wan_cfg_obj>(30002, 1)->vlan_id, 10);

    // A repeated Create keeps what it does not carry.
    ASSERT_EQ(send(0x04, 30002, 1, 0x0010, {0x05, 0xDC}), 0);
    const auto *o = stored<omci_wan_cfg_obj>(30002, 1);
    EXPECT_EQ(o->vlan_id, 10);
    EXPECT_EQ(o->mtu, 1500);
    EXPECT_EQ(g_entity_mgr.count, 1);
}

TEST_F(OmciParse, StoreAndMemoryFailures)
{
    for (uint16_t i = 0; i < OMCI_ENTITY_MAX; ++i)
        ASSERT_EQ(set(30001, i, 0x8000, {1}), 0) << i;
    EXPECT_EQ(set(30001, 500, 0x8000, {1}), -2);  // refused object freed (ASan build)
    EXPECT_EQ(g_entity_mgr.count, OMCI_ENTITY_MAX);
    EXPECT_EQ(set(30001, 5, 0x8000, {3}), 0);  // updates still land
    EXPECT_EQ(stored<omci_wan_number_obj>(30001, 5)->wan_number, 3);

    omci_all_data_cleanup();
    omci_set_mem_ops(&FailingHeap::ops);
    FailingHeap::calloc_ok = 0;  // the object
    EXPECT_EQ(set(30001, 0, 0x8000, {1}), -1);
    FailingHeap::calloc_ok = 1;  // the node, after the object
    EXPECT_EQ(set(30001, 0, 0x8000, {1}), -2);
    FailingHeap::calloc_ok = -1;
    EXPECT_EQ(g_entity_mgr.count, 0);
    EXPECT_EQ(set(30001, 0, 0x8000, {1}), 0);
}

}  // namespace
