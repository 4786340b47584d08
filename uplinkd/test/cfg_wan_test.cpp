#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "uplinkd/platform_openwrt_cfg.h"
#include "uplinkd/test/cfg_json_reader.h"

using cfgtest::FlatJson;
using cfgtest::JsonMembers;
using cfgtest::JsonValue;
using cfgtest::member;

namespace {

uint32_t v4(const char *s)
{
    in_addr a{};
    EXPECT_EQ(inet_pton(AF_INET, s, &a), 1) << s;
    return ntohl(a.s_addr);
}

void v6(const char *s, uint8_t out[16]) { ASSERT_EQ(inet_pton(AF_INET6, s, out), 1) << s; }

std::string str_of(const uint8_t a[16])
{
    char buf[64];
    ow_ipv6_bytes_to_str(a, buf);
    return buf;
}

// What `ubus call syswan all` prints for an Internet and an IPTV connection.
const char kTwoConnections[] =
    "{\n"
    "\t\"1\": {\n"
    "\t\t\"wanId\": 1,\n"
    "\t\t\"wanName\": \"1_INTERNET_R_VID_100\",\n"
    "\t\t\"wanMode\": 1,\n"
    "\t\t\"ipProtocol\": 3,\n"
    "\t\t\"ipMode\": 2,\n"
    "\t\t\"ipv6Mode\": 0,\n"
    "\t\t\"napt\": true,\n"
    "\t\t\"vlanMode\": true,\n"
    "\t\t\"vid\": 100,\n"
    "\t\t\"prio\": 5,\n"
    "\t\t\"mtu\": 1492,\n"
    "\t\t\"service\": 1,\n"
    "\t\t\"autoDns\": false,\n"
    "\t\t\"priDns\": \"8.8.8.8\",\n"
    "\t\t\"secDns\": \"1.1.1.1\",\n"
    "\t\t\"autoDnsV6\": true,\n"
    "\t\t\"priDnsV6\": \"2001:4860:4860::8888\",\n"
    "\t\t\"secDnsV6\": \"\",\n"
    "\t\t\"ip\": \"100.64.1.2\",\n"
    "\t\t\"mask\": \"255.255.255.0\",\n"
    "\t\t\"gateway\": \"100.64.1.1\",\n"
    "\t\t\"ipv6Addr\": \"2001:db8::1\\/56\",\n"
    "\t\t\"ipv6Gateway\": \"fe80::1\",\n"
    "\t\t\"pppUser\": \"user@isp\",\n"
    "\t\t\"pppPwd\": \"p\\\"w\\\\d\",\n"
    "\t\t\"pppServName\": \"\",\n"
    "\t\t\"status\": \"connected\",\n"
    "\t\t\"mac\": \"a0:b1:c2:d3:e4:f5\"\n"
    "\t},\n"
    "\t\"2\": {\n"
    "\t\t\"wanId\": 2,\n"
    "\t\t\"wanName\": \"2_IPTV_B_VID_200\",\n"
    "\t\t\"wanMode\": 0,\n"
    "\t\t\"service\": 3,\n"
    "\t\t\"vid\": 200,\n"
    "\t\t\"isIptvWan\": 1\n"
    "\t}\n"
    "}\n";

}  // namespace

TEST(CfgJsonScanner, Values)
{
    struct Case {
        const char *text, *key;
        std::size_t size;
        int rc;
        std::string value;
    } cases[] = {
        {"{\"a\": \"x y\"}", "a", 32, 0, "x y"},
        {"{\"a\": 12, \"b\": 1}", "a", 32, 0, "12"},
        {"{\"a\":true}", "a", 32, 0, "true"},
        {"{\"a\":\t  \"v\"}", "a", 32, 0, "v"},
        {"{\"a\": -3\n}", "a", 32, 0, "-3"},
        {"{\"a\" : 1}", "a", 32, -1, ""},  // no blank before the colon
        {"{\"xa\": 1, \"a\": 2}", "a", 32, 0, "2"},
        {"{\"ab\": 1}", "a", 32, -1, ""},
        {"{\"b\": \"a\"}", "a", 32, -1, ""},  // the key only as a value
        {"{\"a\": ,}", "a", 32, -1, ""},      // empty bare value
        {"{\"a\": \"\"}", "a", 32, 0, ""},
        {"{\"a\": \"abc", "a", 32, -1, ""},  // unterminated
        {"{\"a\": \"abc\"}", "a", 4, 0, "abc"},
        {"{\"a\": \"abcd\"}", "a", 4, -1, ""},
        {"{\"a\": abcd}", "a", 4, -1, ""},
        // Escapes: a quote inside does not end the value and no key hides in it.
        {"{\"n\": \"\\\"a\\\": 5\", \"a\": 7}", "a", 32, 0, "7"},
        {"{\"n\": \"\\\"a\\\": 5\", \"a\": 7}", "n", 32, 0, "\"a\": 5"},
        {"{\"p\": \"q\\\"u\\\\o\\/x\\n\\t\\u0041\"}", "p", 32, 0, "q\"u\\o/x\n\tA"},
        {"{\"p\": \"caf\\u00e9\"}", "p", 32, 0, "caf\xc3\xa9"},
        {"{\"p\": \"a\\u0000b\"}", "p", 32, 0, "a\\u0000b"},  // no NUL in a C text
        {"{\"p\": \"a\\qb\"}", "p", 32, 0, "a\\qb"},
        {"{\"p\": \"\\\"\\\"\\\"\"}", "p", 4, 0, "\"\"\""},  // decoded length counts
        {"{\"p\": \"\\\"\\\"\\\"\\\"\"}", "p", 4, -1, ""},
        {"{\"p\": \"end\\", "p", 32, -1, ""},
    };
    for (const auto &c : cases) {
        char out[64];
        std::memset(out, 'z', sizeof out);
        EXPECT_EQ(ow_json_get_str(c.text, c.key, out, c.size), c.rc) << c.text;
        EXPECT_EQ(std::string(out), c.value) << c.text;
    }
    char out[8] = "keep";
    EXPECT_EQ(ow_json_get_str(nullptr, "a", out, sizeof out), -1);
}

TEST(CfgJsonScanner, BooleanLike)
{
    struct Case {
        const char *text;
        int rc;
        uint8_t value;
    } cases[] = {
        {"{\"b\": true}", 0, 1},    {"{\"b\": \"true\"}", 0, 1}, {"{\"b\": 1}", 0, 1},   {"{\"b\": \"1\"}", 0, 1},
        {"{\"b\": false}", 0, 0},   {"{\"b\": \"0\"}", 0, 0},    {"{\"b\": 7}", 0, 1},   {"{\"b\": 00}", 0, 0},
        {"{\"b\": \"yes\"}", -1, 9}, {"{\"b\": True}", -1, 9},   {"{\"c\": 1}", -1, 9}, {"{\"b\": \"\"}", -1, 9},
    };
    for (const auto &c : cases) {
        uint8_t v = 9;
        EXPECT_EQ(ow_json_get_u8(c.text, "b", &v), c.rc) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST(CfgWanReader, CapturedOutput)
{
    lldp_wan_config r;
    std::memset(&r, 0xAA, sizeof r);
    ASSERT_EQ(ow_wan_config_parse(kTwoConnections, &r), 0);
    EXPECT_EQ(r.valid, 1);
    EXPECT_EQ(r.wan_id, 1);
    EXPECT_STREQ(r.wan_name, "1_INTERNET_R_VID_100");
    EXPECT_EQ(r.wan_mode, 1);
    EXPECT_EQ(r.ip_protocol, 2);
    EXPECT_EQ(r.ip_mode, 2);
    EXPECT_EQ(r.ipv6_addr_mode, 1);
    EXPECT_EQ(r.nat_enable, 1);
    EXPECT_EQ(+r.vlan_id, 100);
    EXPECT_EQ(+r.vlan_mode, 1);
    EXPECT_EQ(r.priority, 5);
    EXPECT_EQ(+r.mtu, 1492);
    EXPECT_EQ(r.service, 0);
    EXPECT_EQ(+r.ipv4_addr, v4("100.64.1.2"));
    EXPECT_EQ(+r.ipv4_mask, v4("255.255.255.0"));
    EXPECT_EQ(+r.ipv4_gateway, v4("100.64.1.1"));
    EXPECT_EQ(+r.ipv4_dns1, v4("8.8.8.8"));
    EXPECT_EQ(+r.ipv4_dns2, v4("1.1.1.1"));
    EXPECT_EQ(str_of(r.ipv6_dns1), "2001:4860:4860::8888");
    EXPECT_EQ(str_of(r.ipv6_dns2), "");
    EXPECT_EQ(str_of(r.ipv6_addr), "2001:db8::1");  // the client prints '/' as "\/"
    EXPECT_EQ(+r.ipv6_prefix_len, 56u);
    EXPECT_EQ(str_of(r.ipv6_gateway), "fe80::1");
    EXPECT_STREQ(r.ppp_username, "user@isp");
    EXPECT_STREQ(r.ppp_password, "p\"w\\d");
    EXPECT_STREQ(r.ppp_service_name, "");
    EXPECT_EQ(r.conn_status, 0);  // neither boolean-like nor a number
    const uint8_t mac[6] = {0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5};
    EXPECT_EQ(std::memcmp(r.mac, mac, 6), 0);
    EXPECT_EQ(r.dns_manual, 1);  // both protocols, autoDns false
    // What the reader does not fill stays zero, whatever was there before.
    EXPECT_EQ(r.qos_enable, 0);
    EXPECT_EQ(r.dslite_enable, 0);
    EXPECT_EQ(+r.svlan_cos, 0);
}

TEST(CfgWanReader, KeysAndMappings)
{
    // Each text is connection 1 alone; `check` looks at one field.
    struct Case {
        const char *text;
        int (*get)(const lldp_wan_config &);
        int want;
    } cases[] = {
        // service: router value to ONT code
        {"{\"1\": {\"service\": 0}}", [](const lldp_wan_config &r) -> int { return r.service; }, 3},
        {"{\"1\": {\"service\": 3}}", [](const lldp_wan_config &r) -> int { return r.service; }, 100},
        {"{\"1\": {\"service\": 4}}", [](const lldp_wan_config &r) -> int { return r.service; }, 7},
        {"{\"1\": {\"service\": 7}}", [](const lldp_wan_config &r) -> int { return r.service; }, 6},
        {"{\"1\": {\"service\": 8}}", [](const lldp_wan_config &r) -> int { return r.service; }, 0},
        {"{\"1\": {\"ipProtocol\": 1}}", [](const lldp_wan_config &r) -> int { return r.ip_protocol; }, 0},
        {"{\"1\": {\"ipProtocol\": 2}}", [](const lldp_wan_config &r) -> int { return r.ip_protocol; }, 1},
        {"{\"1\": {\"ipProtocol\": 9}}", [](const lldp_wan_config &r) -> int { return r.ip_protocol; }, 2},
        {"{\"1\": {\"ipv6Mode\": 2}}", [](const lldp_wan_config &r) -> int { return r.ipv6_addr_mode; }, 0},
        // vid: untagged forms
        {"{\"1\": {\"vid\": 0}}", [](const lldp_wan_config &r) -> int { return r.vlan_id * 10 + r.vlan_mode; }, 0xFFFF * 10},
        {"{\"1\": {\"vid\": -5}}", [](const lldp_wan_config &r) -> int { return r.vlan_id * 10 + r.vlan_mode; }, 0xFFFF * 10},
        {"{\"1\": {\"vid\": 4096}}", [](const lldp_wan_config &r) -> int { return r.vlan_id * 10 + r.vlan_mode; }, 0xFFFF * 10},
        {"{\"1\": {\"mtu\": 1500}}", [](const lldp_wan_config &r) -> int { return r.vlan_id * 10 + r.vlan_mode; }, 0xFFFF * 10},
        {"{\"1\": {\"vid\": 4095}}", [](const lldp_wan_config &r) -> int { return r.vlan_id * 10 + r.vlan_mode; }, 40951},
        // napt: "yes" is not boolean-like, so nat decides
        {"{\"1\": {\"napt\": \"true\"}}", [](const lldp_wan_config &r) -> int { return r.nat_enable; }, 1},
        {"{\"1\": {\"napt\": \"yes\", \"nat\": 1}}", [](const lldp_wan_config &r) -> int { return r.nat_enable; }, 1},
        {"{\"1\": {\"napt\": false, \"nat\": 1}}", [](const lldp_wan_config &r) -> int { return r.nat_enable; }, 0},
        {"{\"1\": {\"nat\": true}}", [](const lldp_wan_config &r) -> int { return r.nat_enable; }, 1},
        // alternative keys, the first present wins
        {"{\"1\": {\"cos\": 6}}", [](const lldp_wan_config &r) -> int { return r.priority; }, 6},
        {"{\"1\": {\"cos\": 6, \"priority\": 2}}", [](const lldp_wan_config &r) -> int { return r.priority; }, 2},
        {"{\"1\": {\"ipaddr\": \"10.0.0.2\"}}", [](const lldp_wan_config &r) -> int { return r.ipv4_addr == 0x0A000002; }, 1},
        {"{\"1\": {\"ip\": \"\", \"ipaddr\": \"10.0.0.2\"}}", [](const lldp_wan_config &r) -> int { return r.ipv4_addr; }, 0},
        {"{\"1\": {\"ip\": \"10.0.0.256\"}}", [](const lldp_wan_config &r) -> int { return r.ipv4_addr; }, 0},
        {"{\"1\": {\"netmask\": \"255.0.0.0\"}}", [](const lldp_wan_config &r) -> int { return r.ipv4_mask == 0xFF000000; }, 1},
        {"{\"1\": {\"ipv4Gateway\": \"10.0.0.1\"}}", [](const lldp_wan_config &r) -> int { return r.ipv4_gateway == 0x0A000001; }, 1},
        {"{\"1\": {\"dns\": \"9.9.9.9\", \"dns2\": \"8.8.4.4\"}}",
         [](const lldp_wan_config &r) -> int { return r.ipv4_dns1 == 0x09090909 && r.ipv4_dns2 == 0x08080404; }, 1},
        {"{\"1\": {\"ipv6Dns1\": \"2001:db8::53\"}}", [](const lldp_wan_config &r) -> int { return r.ipv6_dns1[15]; }, 0x53},
        {"{\"1\": {\"username\": \"u2\"}}", [](const lldp_wan_config &r) -> int { return std::strcmp(r.ppp_username, "u2"); }, 0},
        {"{\"1\": {\"pppPassword\": \"s3\"}}", [](const lldp_wan_config &r) -> int { return std::strcmp(r.ppp_password, "s3"); }, 0},
        {"{\"1\": {\"pppUser\": \"0123456789012345678901234567890123456789\"}}",
         [](const lldp_wan_config &r) -> int { return static_cast<int>(std::strlen(r.ppp_username)); }, 31},
        // status: boolean-like, else a number
        {"{\"1\": {\"status\": true}}", [](const lldp_wan_config &r) -> int { return r.conn_status; }, 1},
        {"{\"1\": {\"status\": 3}}", [](const lldp_wan_config &r) -> int { return r.conn_status; }, 1},
        {"{\"1\": {\"status\": -2}}", [](const lldp_wan_config &r) -> int { return r.conn_status; }, 254},
        // MAC only when all six groups parse
        {"{\"1\": {\"macaddr\": \"0:1:2:3:4:5f\"}}", [](const lldp_wan_config &r) -> int { return r.mac[5]; }, 0x5f},
        {"{\"1\": {\"mac\": \"00:11:22:33:44\"}}", [](const lldp_wan_config &r) -> int { return r.mac[0] | r.mac[4]; }, 0},
        // ipv6Addr: without a prefix, or empty
        {"{\"1\": {\"ipv6Addr\": \"2001:db8::9\"}}",
         [](const lldp_wan_config &r) -> int { return r.ipv6_addr[15] * 1000 + static_cast<int>(r.ipv6_prefix_len); }, 9000},
        {"{\"1\": {\"ipv6Addr\": \"\"}}",
         [](const lldp_wan_config &r) -> int { return r.ipv6_addr[0] + static_cast<int>(r.ipv6_prefix_len); }, 0},
        {"{\"1\": {\"ipv6Addr\": \"2001:db8::1/56\"}}", [](const lldp_wan_config &r) -> int { return static_cast<int>(r.ipv6_prefix_len); }, 56},
    };
    for (const auto &c : cases) {
        lldp_wan_config r;
        ASSERT_EQ(ow_wan_config_parse(c.text, &r), 0) << c.text;
        EXPECT_EQ(c.get(r), c.want) << c.text;
    }
}

TEST(CfgWanReader, StartPoint)
{
    lldp_wan_config r;
    // Connection 1 is printed after connection 2: its values win.
    ASSERT_EQ(ow_wan_config_parse("{\"2\": {\"wanId\": 2, \"mtu\": 1400}, \"1\": {\"wanId\": 1, \"mtu\": 1492}}", &r), 0);
    EXPECT_EQ(+r.mtu, 1492);
    // A key connection 1 lacks is taken from a later connection.
    ASSERT_EQ(ow_wan_config_parse("{\"1\": {\"wanId\": 1}, \"2\": {\"wanId\": 2, \"mtu\": 1400}}", &r), 0);
    EXPECT_EQ(+r.mtu, 1400);
    // Without "1" the lookups start at the first wanId key.
    ASSERT_EQ(ow_wan_config_parse("{\"wanMode\": 0, \"wanId\": 7, \"wanMode\": 1}", &r), 0);
    EXPECT_EQ(r.wan_mode, 1);
    EXPECT_EQ(r.wan_id, 1);
    // Without either, from the beginning.
    ASSERT_EQ(ow_wan_config_parse("{\"wanMode\": 1}", &r), 0);
    EXPECT_EQ(r.wan_mode, 1);
    EXPECT_EQ(r.valid, 1);

    EXPECT_EQ(ow_wan_config_parse("", &r), -1);
    EXPECT_EQ(r.valid, 0);
    EXPECT_EQ(ow_wan_config_parse(nullptr, &r), -1);
}

TEST(CfgWanReader, ManualDnsFromAutoFlags)
{
    struct Case {
        const char *keys;
        uint8_t dns_manual;
    } cases[] = {
        {"\"ipProtocol\": 1", 0},
        {"\"ipProtocol\": 1, \"autoDns\": true", 0},
        {"\"ipProtocol\": 1, \"autoDns\": false", 1},
        {"\"ipProtocol\": 2, \"autoDnsV6\": false", 1},
        {"\"ipProtocol\": 2, \"autoDns\": false", 0},
        {"\"ipProtocol\": 3, \"autoDns\": true, \"autoDnsV6\": false", 1},
        {"\"ipProtocol\": 3, \"autoDns\": true, \"autoDnsV6\": true", 0},
        {"\"ipProtocol\": 3, \"autoDns\": false, \"autoDnsV6\": true", 1},
        {"\"ipProtocol\": 3", 0},
        {"\"ipProtocol\": 1, \"autoDns\": \"maybe\"", 0},  // not boolean-like: as absent
    };
    for (const auto &c : cases) {
        const std::string text = std::string("{\"1\": {") + c.keys + "}}";
        lldp_wan_config r;
        ASSERT_EQ(ow_wan_config_parse(text.c_str(), &r), 0);
        EXPECT_EQ(r.dns_manual, c.dns_manual) << c.keys;
    }
}

namespace {

lldp_wan_config ordinary_record()
{
    lldp_wan_config r{};
    r.valid = 1;
    r.wan_id = 1;
    r.wan_mode = 1;
    r.service = 0;
    r.ip_mode = 2;
    r.ip_protocol = 0;
    r.nat_enable = 1;
    r.vlan_id = 100;
    r.vlan_mode = 1;
    r.priority = 3;
    r.mtu = 1492;
    std::strcpy(r.ppp_username, "user@isp");
    std::strcpy(r.ppp_password, "secret");
    return r;
}

JsonMembers document(const lldp_wan_config &r)
{
    std::string doc;
    EXPECT_EQ(ow_wan_config_document(&r, &doc), 0);
    JsonMembers m;
    EXPECT_TRUE(FlatJson().parse(doc, &m)) << doc;
    return m;
}

std::string text_of(const JsonMembers &m, const char *key)
{
    const JsonValue *v = member(m, key);
    return v ? v->text : std::string("<absent>");
}

}  // namespace

TEST(CfgWanWriter, OrdinaryRecordGivesTheServiceDocument)
{
    std::string doc;
    const lldp_wan_config r = ordinary_record();
    ASSERT_EQ(ow_wan_config_document(&r, &doc), 0);
    EXPECT_EQ(doc,
              "{\"wanId\":1,\"wanMode\":1,\"ipProtocol\":1,\"ipMode\":2,\"ipv6Mode\":2,\"napt\":true,"
              "\"vlanMode\":true,\"vid\":100,\"prio\":3,\"mtu\":1492,\"service\":1,\"autoDns\":true,"
              "\"priDns\":\"\",\"secDns\":\"\",\"autoDnsV6\":true,\"priDnsV6\":\"\",\"secDnsV6\":\"\","
              "\"ipv6Addr\":\"\",\"ipv6Gateway\":\"\",\"pppUser\":\"user@isp\",\"pppPwd\":\"secret\","
              "\"pppServName\":\"\",\"ip\":\"0.0.0.0\",\"mask\":\"0.0.0.0\",\"gateway\":\"0.0.0.0\"}");

    // Without a priority the key goes away and the order stays.
    lldp_wan_config n = r;
    n.priority = 9;
    n.vlan_id = 0xFFFF;
    const JsonMembers m = document(n);
    const char *order[] = {"wanId", "wanMode", "ipProtocol", "ipMode", "ipv6Mode", "napt", "vlanMode", "vid",
                           "mtu", "service", "autoDns", "priDns", "secDns", "autoDnsV6", "priDnsV6", "secDnsV6",
                           "ipv6Addr", "ipv6Gateway", "pppUser", "pppPwd", "pppServName", "ip", "mask", "gateway"};
    ASSERT_EQ(m.size(), std::size(order));
    for (std::size_t i = 0; i < m.size(); ++i) EXPECT_EQ(m[i].first, order[i]);
    EXPECT_EQ(text_of(m, "vlanMode"), "false");
    EXPECT_EQ(text_of(m, "vid"), "0");
}

TEST(CfgWanWriter, ValueMappings)
{
    const uint8_t service_out[] = {1, 3, 2, 0, 5, 6, 7, 4, 3};
    for (uint8_t s = 0; s < 9; ++s) {
        lldp_wan_config r = ordinary_record();
        r.service = s == 8 ? 100 : s;
        EXPECT_EQ(text_of(document(r), "service"), std::to_string(service_out[s])) << int(s);
    }
    const char *proto_out[] = {"1", "2", "3", "3"};
    for (uint8_t p = 0; p < 4; ++p) {
        lldp_wan_config r = ordinary_record();
        r.ip_protocol = p;
        EXPECT_EQ(text_of(document(r), "ipProtocol"), proto_out[p]) << int(p);
    }

    struct Vlan {
        uint16_t vlan_id;
        uint8_t priority;
        const char *vlan_mode, *vid, *prio;
    } vlans[] = {{100, 3, "true", "100", "3"},      {4095, 0, "true", "4095", "0"}, {0, 7, "false", "0", "7"},
                 {0xFFFF, 8, "false", "0", "<absent>"}, {4096, 9, "false", "0", "<absent>"}};
    for (const auto &v : vlans) {
        lldp_wan_config r = ordinary_record();
        r.vlan_id = v.vlan_id;
        r.priority = v.priority;
        const JsonMembers m = document(r);
        EXPECT_EQ(text_of(m, "vlanMode"), v.vlan_mode) << v.vlan_id;
        EXPECT_EQ(text_of(m, "vid"), v.vid) << v.vlan_id;
        EXPECT_EQ(text_of(m, "prio"), v.prio) << v.vlan_id;
    }

    lldp_wan_config r = ordinary_record();
    r.mtu = 0;  // not set: 1500, also for PPPoE
    r.wan_id = 0;
    r.nat_enable = 2;
    JsonMembers m = document(r);
    EXPECT_EQ(text_of(m, "mtu"), "1500");
    EXPECT_EQ(text_of(m, "wanId"), "1");
    EXPECT_EQ(text_of(m, "napt"), "true");
}

TEST(CfgWanWriter, Ipv6Addressing)
{
    lldp_wan_config r = ordinary_record();
    r.ip_protocol = 2;
    v6("2001:db8::1", r.ipv6_addr);
    r.ipv6_prefix_len = 56;
    v6("2001:db8::fffe", r.ipv6_gateway);
    JsonMembers m = document(r);
    EXPECT_EQ(text_of(m, "ipv6Addr"), "2001:db8::1/56");
    EXPECT_EQ(text_of(m, "ipv6Mode"), "1");
    EXPECT_EQ(text_of(m, "ipv6Gateway"), "2001:db8::fffe");

    r.ipv6_prefix_len = 0;
    EXPECT_EQ(text_of(document(r), "ipv6Addr"), "2001:db8::1/64");

    // Without a static address the gateway is not sent and the mode says how
    // the address is learned.
    std::memset(r.ipv6_addr, 0, 16);
    r.ipv6_addr_mode = 1;
    m = document(r);
    EXPECT_EQ(text_of(m, "ipv6Addr"), "");
    EXPECT_EQ(text_of(m, "ipv6Gateway"), "");
    EXPECT_EQ(text_of(m, "ipv6Mode"), "0");
    r.ipv6_addr_mode = 0;
    EXPECT_EQ(text_of(document(r), "ipv6Mode"), "2");
}

TEST(CfgWanWriter, AutomaticDnsDecisions)
{
    struct Case {
        uint8_t ip_mode, ip_protocol, dns_manual;
        bool dns4, dns6, static6;
        const char *auto_dns, *auto_dns6;
    } cases[] = {
        // PPPoE: automatic exactly when not manual
        {2, 0, 0, true, false, false, "true", "true"},
        {2, 0, 1, false, false, false, "false", "true"},
        // DHCP/static: manual, or servers present, turn it off
        {0, 0, 1, false, false, false, "false", "true"},
        {0, 0, 0, false, false, false, "true", "true"},
        {1, 0, 0, true, false, false, "false", "true"},
        // IPv6 only: automatic exactly when not manual
        {0, 1, 0, false, true, false, "true", "true"},
        {0, 1, 1, false, false, false, "false", "false"},
        // IPv6 servers present turn it off; a static address asks dns_manual
        {0, 2, 0, false, true, false, "true", "false"},
        {0, 2, 1, false, false, true, "false", "false"},
        {0, 2, 0, false, false, true, "true", "true"},
    };
    for (const auto &c : cases) {
        lldp_wan_config r = ordinary_record();
        r.ip_mode = c.ip_mode;
        r.ip_protocol = c.ip_protocol;
        r.dns_manual = c.dns_manual;
        if (c.dns4) {
            r.ipv4_dns1 = 0x08080808;
            r.ipv4_dns2 = 0x01010101;
        }
        if (c.dns6) v6("2001:db8::53", r.ipv6_dns1);
        if (c.static6) v6("2001:db8::2", r.ipv6_addr);
        const JsonMembers m = document(r);
        const std::string tag = std::to_string(c.ip_mode) + "/" + std::to_string(c.ip_protocol) + "/" +
                                std::to_string(c.dns_manual) + "/" + std::to_string(c.dns4) + std::to_string(c.dns6) +
                                std::to_string(c.static6);
        EXPECT_EQ(text_of(m, "autoDns"), c.auto_dns) << tag;
        EXPECT_EQ(text_of(m, "autoDnsV6"), c.auto_dns6) << tag;
        // Automatic DNS sends no servers; manual sends the record's.
        const bool a4 = std::string(c.auto_dns) == "true";
        EXPECT_EQ(text_of(m, "priDns"), a4 ? "" : (c.dns4 ? "8.8.8.8" : "0.0.0.0")) << tag;
        EXPECT_EQ(text_of(m, "secDns"), a4 ? "" : (c.dns4 ? "1.1.1.1" : "0.0.0.0")) << tag;
        const bool a6 = std::string(c.auto_dns6) == "true";
        EXPECT_EQ(text_of(m, "priDnsV6"), a6 || !c.dns6 ? "" : "2001:db8::53") << tag;
    }
}

TEST(CfgWanWriter, HostileTextsArriveIntactAndReadBack)
{
    lldp_wan_config r = ordinary_record();
    const char *user = "a\"b'c\\d$(reboot)`x`";
    const char *pwd = "p}\",\"mtu\":1,\n\t'";
    const char *svc = "\x01\x7f;|&";
    std::strcpy(r.ppp_username, user);
    std::strcpy(r.ppp_password, pwd);
    std::strcpy(r.ppp_service_name, svc);
    JsonMembers m = document(r);
    EXPECT_EQ(text_of(m, "pppUser"), user);
    EXPECT_EQ(text_of(m, "pppPwd"), pwd);
    EXPECT_EQ(text_of(m, "pppServName"), svc);
    EXPECT_EQ(text_of(m, "mtu"), "1492");

    // A full field without its terminator is sent as its 32 characters.
    std::memset(r.ppp_password, 'x', sizeof r.ppp_password);
    EXPECT_EQ(text_of(document(r), "pppPwd"), std::string(32, 'x'));

    // What the writer sends reads back the same (the scanner needs no
    // blank before a colon, so the document itself is readable).
    std::strcpy(r.ppp_password, pwd);
    std::string doc;
    ASSERT_EQ(ow_wan_config_document(&r, &doc), 0);
    lldp_wan_config back;
    ASSERT_EQ(ow_wan_config_parse(("{\"1\": " + doc + "}").c_str(), &back), 0);
    EXPECT_STREQ(back.ppp_username, user);
    EXPECT_STREQ(back.ppp_password, pwd);
    EXPECT_STREQ(back.ppp_service_name, svc);
    EXPECT_EQ(+back.mtu, 1492);
    EXPECT_EQ(+back.vlan_id, 100);
    EXPECT_EQ(back.priority, 3);
    EXPECT_EQ(back.service, 0);

    // A record whose service 1 writes as router value 3, which reads as 100.
    r.service = 1;
    ASSERT_EQ(ow_wan_config_document(&r, &doc), 0);
    ASSERT_EQ(ow_wan_config_parse(("{\"1\": " + doc + "}").c_str(), &back), 0);
    EXPECT_EQ(back.service, 100);

    EXPECT_EQ(ow_wan_config_document(nullptr, &doc), -1);
}

TEST(CfgWanWriter, Ipv6TextForms)
{
    uint8_t a[16] = {};
    EXPECT_EQ(str_of(a), "");
    v6("::ffff:10.0.0.1", a);
    EXPECT_EQ(str_of(a), "::ffff:10.0.0.1");
    v6("fe80::1", a);
    EXPECT_EQ(str_of(a), "fe80::1");
}
